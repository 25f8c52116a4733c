// The unit's firmware loader: it takes the debug port over when a download
// starts, introduces itself, asks the tool for the image chunk by chunk and
// keeps what it gets. Bytes and time in, messages out, no threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/Download.h"
#include "sim/Modbus.h"
#include "sim/Options.h"
#include "sim/Output.h"
#include "sim/Registers.h"

namespace sim {

enum class LoaderState {
  Idle,        // the firmware runs
  Announced,   // start text printed, First Report due
  WaitAnswer,  // First Report sent, waiting for accept or reject
  WaitChunk,   // chunk requested
  Finishing,   // final packet sent, closing note due
  Stalled,     // stopped asking (a fault); back to the firmware later
};

struct LoaderCounters {
  unsigned sessions = 0;
  unsigned completed = 0;
  unsigned failed = 0;
  unsigned firstReports = 0;
  unsigned rejects = 0;
  unsigned requests = 0;    // chunk requests sent, repeats included
  unsigned repeats = 0;     // requests sent again after silence or a bad reply
  unsigned badReplies = 0;  // tool messages thrown away as damaged or foreign
};

class Loader {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  Loader(Identity identity, DownloadFaults faults);

  // Takes the port (again, if a session runs): prints the start text, then
  // sends the First Report. `station`: the prefix the tool puts in front of
  // each of its messages, in a remote session.
  void Begin(std::optional<std::uint16_t> station, TimePoint now, std::vector<Outgoing>& out);
  void Receive(std::span<const std::uint8_t> bytes, TimePoint now, std::vector<Outgoing>& out);
  void Tick(TimePoint now, std::vector<Outgoing>& out);

  bool Busy() const { return state_ != LoaderState::Idle; }
  LoaderState State() const { return state_; }
  void SetFaults(const DownloadFaults& faults) { faults_ = faults; }
  const LoaderCounters& counters() const { return counters_; }

  // The last session: the image as its accept message described it, the
  // data of every chunk received, in order, and whether it ran to the end.
  const ImageHeader& Image() const { return image_; }
  const std::vector<Bytes>& Chunks() const { return chunks_; }
  bool Complete() const { return complete_; }
  // The image's data records: the chunks without the last data chunk,
  // which repeats the one before it. Padded to whole chunks as served.
  Bytes ImageData() const;

 private:
  // Takes the messages at the front of the input; bytes that begin none
  // are dropped one by one until one fits.
  void Parse(TimePoint now, std::vector<Outgoing>& out);
  bool TakeAnswer(std::size_t skip, TimePoint now, std::vector<Outgoing>& out);
  bool TakeChunk(std::size_t skip, TimePoint now, std::vector<Outgoing>& out);
  void Drop(std::size_t count);

  void SendFirstReport(TimePoint now, std::vector<Outgoing>& out);
  void AnswerMissing(TimePoint now, std::vector<Outgoing>& out);
  void RequestChunk(TimePoint now, std::vector<Outgoing>& out);
  void SendRequest(TimePoint now, std::vector<Outgoing>& out);
  void Fail(std::vector<Outgoing>& out);
  void Send(std::span<const std::uint8_t> message, std::vector<Outgoing>& out);

  Identity identity_;
  DownloadFaults faults_;
  LoaderState state_ = LoaderState::Idle;
  std::optional<std::uint16_t> station_;
  TimePoint deadline_{};
  int tries_ = 0;
  std::uint16_t next_ = 0;
  Bytes request_;
  Bytes input_;
  ImageHeader image_;
  std::vector<Bytes> chunks_;
  bool complete_ = false;
  LoaderCounters counters_;
};

}  // namespace sim
