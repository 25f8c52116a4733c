// A virtual unit on a pseudo-terminal, running on its own thread: the
// command line's program, and the tests' unit in-process.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/Options.h"
#include "sim/UnitCore.h"

namespace sim {

class PseudoTerminal;
class PortLink;

class VirtualUnit {
 public:
  explicit VirtualUnit(const UnitOptions& options);
  ~VirtualUnit();
  VirtualUnit(const VirtualUnit&) = delete;
  VirtualUnit& operator=(const VirtualUnit&) = delete;

  // Opens the pty, links the COM port and starts serving; throws
  // std::system_error when the pty or the link cannot be made.
  void Start();
  void Stop();

  const std::string& SlavePath() const { return slavePath_; }
  const std::string& LinkPath() const { return linkPath_; }

  // Runs `action` on the unit's core under its lock.
  template <typename Action>
  auto WithCore(Action&& action) {
    std::lock_guard lock(mutex_);
    return action(core_);
  }

  std::uint16_t Register(std::uint16_t address);
  void SetRegister(std::uint16_t address, std::uint16_t value);
  bool Relay(int index);
  bool ManualMode();
  UnitCounters Counters();
  std::chrono::system_clock::time_point UnitTime();

  void SetStoreFaults(const StoreFaults& faults);
  void FaultNext(Fault fault, int count);
  void FaultEvery(Fault fault, int every);
  void SendGarbage(std::size_t count);
  void GoSilent(std::chrono::milliseconds duration);
  // The bytes written to the line since the last call (with keepWritten).
  std::string TakeWritten();

  // The firmware download, from the unit's side.
  void AnnounceDownload();
  void SetDownloadFaults(const DownloadFaults& faults);
  bool Downloading();
  LoaderCounters DownloadCounters();
  std::vector<Bytes> ReceivedChunks();
  Bytes ReceivedImage();  // the image's data records, without the repeated one

 private:
  void Loop();

  UnitOptions options_;
  std::mutex mutex_;
  UnitCore core_;
  std::unique_ptr<PseudoTerminal> pty_;
  std::unique_ptr<PortLink> link_;
  std::string slavePath_;
  std::string linkPath_;
  std::string written_;  // guarded by mutex_
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace sim
