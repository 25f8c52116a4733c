#include "link/ReaderPass.h"

#include <cstring>
#include <thread>

#include "link/Port.h"

PortInbox portInbox;
std::uint8_t readerIdleCount = 0;

namespace {

constexpr std::uint8_t kIdleReadsBeforePurge = 100;  // the next empty read purges
constexpr std::uint8_t kLineFeed = 0x0A;

void HoldInbox() {
  // The other side holds it only for one copy of at most 511 bytes.
  while (portInbox.busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
}

void ReleaseInbox() { portInbox.busy.clear(std::memory_order_release); }

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
