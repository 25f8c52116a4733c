// The unit's behaviour without threads or ports: bytes from the tool go in,
// bytes for the tool come out, time is whatever the caller says it is.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/Loader.h"
#include "sim/Modbus.h"
#include "sim/Options.h"
#include "sim/Output.h"
#include "sim/Plant.h"
#include "sim/Registers.h"
#include "sim/Telemetry.h"
#include "sim/Trace.h"

namespace sim {

struct UnitCounters {
  unsigned requests = 0;  // frames addressed to this unit
  unsigned replies = 0;   // replies sent, exceptions included
  unsigned exceptions = 0;
  unsigned dropped = 0;  // replies withheld by a fault
  unsigned ignored = 0;  // bad CRC, another slave or station, noise, or while silent
  unsigned telemetry = 0;
  unsigned traceLines = 0;
  unsigned resets = 0;
  unsigned writes = 0;  // register writes received, stored or not
};

class UnitCore {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;

  UnitCore(const UnitOptions& options, TimePoint start);

  // Bytes from the tool. Frames are cut by their own length; a gap of
  // silence throws away an incomplete one, as on a real line.
  void Receive(std::span<const std::uint8_t> bytes, TimePoint now);
  // Trace, telemetry, timers; call often.
  void Tick(TimePoint now);
  std::vector<Outgoing> TakeOutput();
  // A burst of traffic lines, for flooding the link.
  void FloodBurst();

  RegisterMap& registers() { return registers_; }
  const RegisterMap& registers() const { return registers_; }
  const UnitCounters& counters() const { return counters_; }
  bool Relay(int index) const { return relays_[index]; }
  bool ManualMode() const { return manual_; }
  bool GsmRegistered() const { return link_.gsm; }
  bool InternetConnected() const { return link_.internet; }
  bool ServerConnected() const { return link_.server; }
  const std::array<std::uint32_t, 16>& InputCounters() const { return plant_.Counters(); }
  std::chrono::system_clock::time_point UnitTime() const;
  TelemetryData Telemetry() const;

  // The firmware download: the unit starts one by itself (as on the tool's
  // start command); its faults; the loader with the image it received.
  void AnnounceDownload(TimePoint now);
  void SetDownloadFaults(const DownloadFaults& faults) { loader_.SetFaults(faults); }
  const Loader& loader() const { return loader_; }
  bool Downloading() const { return loader_.Busy(); }

  void SetStoreFaults(const StoreFaults& faults) { options_.store = faults; }
  void FaultNext(Fault fault, int count);
  void FaultEvery(Fault fault, int every);
  void SendGarbage(std::size_t count);
  void GoSilent(std::chrono::milliseconds duration, TimePoint now);
  bool Silent(TimePoint now) const { return now < silentUntil_; }

 private:
  struct Link {
    bool gsm = true;
    bool internet = true;
    bool server = true;
    std::uint8_t technology = tech::k4G;
    TimePoint gsmAt, internetAt, serverAt;
  };
  struct FaultState {
    FaultRule rule;
    int seen = 0;
  };

  void Handle(std::span<const std::uint8_t> frame, std::size_t offset, TimePoint now);
  void StartCommand(std::span<const std::uint8_t> frame, std::size_t offset, TimePoint now);
  void ReadRegisters(std::uint16_t first, std::uint16_t count, bool raw);
  void WriteRegisters(std::span<const std::uint8_t> pdu, bool raw);
  void WriteCoil(std::uint16_t coil, std::uint16_t value, std::span<const std::uint8_t> pdu,
                 bool raw, TimePoint now);
  bool SetClock(std::span<const std::uint16_t> values);
  void Reply(Bytes frame, bool raw);
  void Exception(std::uint8_t function, std::uint8_t code, bool raw);
  bool Fire(Fault fault);
  void Send(Outgoing item);

  void Line(std::string text);
  void EmitTrace(TimePoint now);
  void EmitTelemetry();
  void Reboot(TimePoint now);
  void UpdateLink(TimePoint now);
  void UpdateRelays(TimePoint now);
  void UpdateInputs(TimePoint now);
  void UpdateAnalog();
  std::uint8_t InputStates(int group) const;
  std::tm UnitCalendar() const;
  Traffic TrafficNow() const;
  std::string ServerName() const;
  unsigned ServerPort() const;

  UnitOptions options_;
  RegisterMap registers_;
  Plant plant_;
  TimePoint start_;
  TimePoint bootedAt_;
  std::vector<Outgoing> output_;
  UnitCounters counters_;

  Bytes input_;
  TimePoint lastInput_;

  std::array<bool, 2> relays_{};
  std::array<std::optional<TimePoint>, 2> relayOffAt_;
  bool manual_ = false;
  std::uint16_t inputStates_ = 0;
  std::uint16_t latched_ = 0;
  std::array<TimePoint, 16> latchedAt_{};
  std::array<AnalogReading, 8> analog_{};
  Link link_;
  std::chrono::system_clock::duration clockOffset_{};

  bool booting_ = false;
  TimePoint bootUntil_;
  TimePoint nextTrace_, nextTelemetry_, nextGarbage_;
  TimePoint silentUntil_;
  bool silenceDone_ = false;
  unsigned traceCount_ = 0;
  unsigned trafficStep_ = 0;
  std::array<FaultState, kFaultKinds> faults_{};
  Loader loader_;
  bool selfDownloadDone_ = false;
  TimePoint now_;
  std::vector<std::pair<TimePoint, Outgoing>> delayed_;  // replies held back
};

// Everything the core has to say, as one byte string (for tests).
std::string Concatenate(const std::vector<Outgoing>& output);

}  // namespace sim
