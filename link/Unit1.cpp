#include "link/Unit1.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "link/Port.h"

PortInbox portInbox;
std::uint8_t readerIdleCount = 0;
Serial* serialThread = nullptr;

namespace {

constexpr std::uint8_t kIdleReadsBeforePurge = 100;  // the next empty read purges
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr unsigned long kPassPauseMs = 25;

void HoldInbox() {
  // The other side holds it only for one copy of at most 511 bytes.
  while (portInbox.busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
}

void ReleaseInbox() { portInbox.busy.clear(std::memory_order_release); }

// One reader at a time: a thread asked to stop may still be in its last pass
// when the next connect starts a new one, which waits for it; a thread nobody
// stopped gives way to the newer one. Never destroyed: a reader may outlive main().
std::mutex& ReaderTurn() {
  static auto* turn = new std::mutex;
  return *turn;
}
std::atomic<const Serial*> newestReader{nullptr};

}  // namespace

bool ReaderPass() {
  // The GUI thread is taking bytes: leave the port alone this pass.
  if (portInbox.busy.test(std::memory_order_relaxed)) return false;

  std::uint8_t buffer[2048];
  std::uint32_t n = 0;
  ReadPort(buffer, sizeof buffer, n);

  if (n > 0) {
    readerIdleCount = 0;
    HoldInbox();
    if (portInbox.count + std::int64_t(n) >= kInboxLimit) {
      // Too much to keep: drop it all, but end the receiver's line where the
      // loss is.
      portInbox.data[0] = kLineFeed;
      portInbox.count = 1;
    } else {
      std::memcpy(portInbox.data + portInbox.count, buffer, n);
      portInbox.count += std::int32_t(n);
    }
    ReleaseInbox();
    return true;
  }

  if (++readerIdleCount > kIdleReadsBeforePurge) {
    readerIdleCount = 0;
    PurgePort();
    HoldInbox();
    portInbox.count = 0;
    ReleaseInbox();
  }
  return false;
}

Serial::Serial(bool CreateSuspended) {
  newestReader.store(this);
  connect(this, &QThread::finished, this, &QObject::deleteLater);
  if (!CreateSuspended) start();
}

void Serial::Terminate() { requestInterruption(); }

void Serial::run() {
  // Wait for the previous reader's last pass, unless a newer one took over
  // meanwhile (it would hold the turn for as long as it runs).
  std::unique_lock turn(ReaderTurn(), std::defer_lock);
  while (!turn.try_lock()) {
    if (isInterruptionRequested() || newestReader.load() != this) return;
    msleep(1);
  }
  while (!isInterruptionRequested() && newestReader.load() == this) {
    if (ReaderPass()) emit Arrived();
    msleep(kPassPauseMs);
  }
}

std::int32_t TakeInbox(std::uint8_t* out) {
  if (portInbox.busy.test_and_set(std::memory_order_acquire)) return 0;
  const std::int32_t count = portInbox.count;
  std::memcpy(out, portInbox.data, std::size_t(count));
  portInbox.count = 0;
  ReleaseInbox();
  return count;
}

void ClearInbox() {
  HoldInbox();
  portInbox.count = 0;
  std::memset(portInbox.data, 0, sizeof portInbox.data);
  ReleaseInbox();
}
