#include "sim/VirtualUnit.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "sim/Pacer.h"
#include "sim/Pty.h"

namespace sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPiece = 16;         // bytes per write when paced
constexpr std::size_t kFloodLevel = 2048;  // keep this much queued when flooding
constexpr auto kTickEvery = 5ms;

}  // namespace

VirtualUnit::VirtualUnit(const UnitOptions& options)
    : options_(options), core_(options, Clock::now()) {}

VirtualUnit::~VirtualUnit() { Stop(); }

void VirtualUnit::Start() {
  if (thread_.joinable()) return;
  pty_ = std::make_unique<PseudoTerminal>();
  slavePath_ = pty_->slavePath();
  if (options_.com > 0) {
    link_ = std::make_unique<PortLink>(options_.com, slavePath_);
    linkPath_ = link_->path();
  }
  stop_ = false;
  thread_ = std::thread(&VirtualUnit::Loop, this);
}

void VirtualUnit::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  link_.reset();
  pty_.reset();
}

void VirtualUnit::Loop() {
  Pacer pacer(options_.bytesPerSecond, kPiece, Clock::now());
  ToolLine input(options_.paceInput ? options_.bytesPerSecond : 0);
  std::vector<std::uint8_t> buffer(4096);
  const int master = pty_->master();
  bool listening = false;
  bool blocked = false;  // the tool's side is full

  while (!stop_) {
    auto now = Clock::now();
    auto wait = std::min({pacer.Wait(now), input.Wait(now),
                          std::chrono::duration_cast<std::chrono::microseconds>(kTickEvery)});
    if (blocked) wait = kTickEvery;
    pollfd poller{master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0};
    poll(&poller, 1, static_cast<int>((wait.count() + 999) / 1000));
    const bool hangUp = (poller.revents & POLLHUP) != 0;
    if (hangUp) {
      // Nobody has the port open: poll would not wait, so sleep instead.
      if (listening) pty_->DrainSlave();
      std::this_thread::sleep_for(std::max<std::chrono::microseconds>(wait, 1ms));
    }
    listening = !hangUp;
    blocked = blocked && !hangUp && !(poller.revents & POLLOUT);
    now = Clock::now();

    if (poller.revents & POLLIN) {
      const ssize_t count = read(master, buffer.data(), buffer.size());
      if (count > 0) input.Push(buffer.data(), static_cast<std::size_t>(count), now);
    }
    const std::vector<std::uint8_t> received = input.Take(now);
    {
      std::lock_guard lock(mutex_);
      if (!received.empty()) core_.Receive(received, now);
      core_.Tick(now);
      if (options_.flood && pacer.Pending() < kFloodLevel) core_.FloodBurst();
      for (Outgoing& item : core_.TakeOutput()) pacer.Push(std::move(item));
    }

    if (blocked) continue;
    const std::string bytes = pacer.Take(now);
    if (bytes.empty() || !listening) continue;  // with nobody on the line the bytes are lost
    const ssize_t written = write(master, bytes.data(), bytes.size());
    const std::size_t sent = written > 0 ? static_cast<std::size_t>(written) : 0;
    if (sent > 0 && options_.keepWritten) {
      std::lock_guard lock(mutex_);
      written_.append(bytes, 0, sent);
    }
    if (sent < bytes.size()) {
      pacer.PutBack(bytes.substr(sent));
      blocked = written >= 0 || errno == EAGAIN;
    }
  }
}

std::uint16_t VirtualUnit::Register(std::uint16_t address) {
  return WithCore([&](UnitCore& core) { return core.registers().Get(address); });
}

void VirtualUnit::SetRegister(std::uint16_t address, std::uint16_t value) {
  WithCore([&](UnitCore& core) { core.registers().Set(address, value); });
}

bool VirtualUnit::Relay(int index) {
  return WithCore([&](UnitCore& core) { return core.Relay(index); });
}

bool VirtualUnit::ManualMode() {
  return WithCore([](UnitCore& core) { return core.ManualMode(); });
}

UnitCounters VirtualUnit::Counters() {
  return WithCore([](UnitCore& core) { return core.counters(); });
}

std::chrono::system_clock::time_point VirtualUnit::UnitTime() {
  return WithCore([](UnitCore& core) { return core.UnitTime(); });
}

void VirtualUnit::SetStoreFaults(const StoreFaults& faults) {
  WithCore([&](UnitCore& core) { core.SetStoreFaults(faults); });
}

void VirtualUnit::FaultNext(Fault fault, int count) {
  WithCore([&](UnitCore& core) { core.FaultNext(fault, count); });
}

void VirtualUnit::FaultEvery(Fault fault, int every) {
  WithCore([&](UnitCore& core) { core.FaultEvery(fault, every); });
}

void VirtualUnit::SendGarbage(std::size_t count) {
  WithCore([&](UnitCore& core) { core.SendGarbage(count); });
}

void VirtualUnit::GoSilent(std::chrono::milliseconds duration) {
  WithCore([&](UnitCore& core) { core.GoSilent(duration, Clock::now()); });
}

std::string VirtualUnit::TakeWritten() {
  std::lock_guard lock(mutex_);
  std::string taken;
  taken.swap(written_);
  return taken;
}

void VirtualUnit::AnnounceDownload() {
  WithCore([](UnitCore& core) { core.AnnounceDownload(Clock::now()); });
}

void VirtualUnit::SetDownloadFaults(const DownloadFaults& faults) {
  WithCore([&](UnitCore& core) { core.SetDownloadFaults(faults); });
}

bool VirtualUnit::Downloading() {
  return WithCore([](UnitCore& core) { return core.Downloading(); });
}

LoaderCounters VirtualUnit::DownloadCounters() {
  return WithCore([](UnitCore& core) { return core.loader().counters(); });
}

std::vector<Bytes> VirtualUnit::ReceivedChunks() {
  return WithCore([](UnitCore& core) { return core.loader().Chunks(); });
}

Bytes VirtualUnit::ReceivedImage() {
  return WithCore([](UnitCore& core) { return core.loader().ImageData(); });
}

}  // namespace sim
