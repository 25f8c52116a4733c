// The port over termios. The fd is kept here, apart from portHandle: the
// reader thread uses it while the GUI thread may close it, and a closed fd
// number is soon handed out again by the OS (a log file, a pipe), so every use
// of the fd holds the port lock shared and closing holds it exclusive. A read lasts
// at most about 10 ms, so closing never waits longer than that.
#include "link/Port.h"

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <shared_mutex>

PortHandle portHandle = -1;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kReadTotal = milliseconds(10);  // a read returns after this at most
constexpr auto kReadGap = milliseconds(1);     // or once the line is quiet this long
constexpr auto kWriteLimit = milliseconds(2000);

// Never destroyed: a reader thread may still be running while the process exits.
std::shared_mutex& PortLock() {
  static auto* lock = new std::shared_mutex;
  return *lock;
}
int portFd = -1;  // guarded by PortLock(); -1 while closed
OpenFailure lastFailure;  // guarded by PortLock()

// Records why the open stopped; closes the fd when one was opened.
std::uint8_t Failed(OpenStep step, int error, const std::string& device, int fd, std::uint8_t code) {
  lastFailure = {step, error, device};
  if (fd >= 0) close(fd);
  return code;
}

void Release(int fd) {
  tcflush(fd, TCIOFLUSH);
  ioctl(fd, TIOCNXCL);
  close(fd);
}

std::optional<speed_t> SpeedCode(std::uint32_t baud) {
  struct Rate {
    std::uint32_t baud;
    speed_t code;
  };
  static constexpr Rate kRates[] = {
      {110, B110},       {300, B300},     {600, B600},       {1200, B1200},
      {2400, B2400},     {4800, B4800},   {9600, B9600},     {19200, B19200},
      {38400, B38400},   {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
      {460800, B460800},
#endif
#ifdef B921600
      {921600, B921600},
#endif
  };
  for (const Rate& rate : kRates)
    if (rate.baud == baud) return rate.code;
  return std::nullopt;
}

// Raw line with the given framing; flow control, special characters and the
// rest of the driver's settings stay as they were. Parity and stop bits come
// in the Win32 encoding (parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop
// bits 0 one, 1 one and a half, 2 two). Nothing when the framing can't be had.
std::optional<termios> RawSettings(termios tio, std::uint32_t baud, std::uint8_t dataBits,
                                   std::uint8_t parity, std::uint8_t stopBits) {
  const auto speed = SpeedCode(baud);
  if (!speed) return std::nullopt;

  tio.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK);
  tio.c_oflag &= ~tcflag_t(OPOST);
  tio.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag |= CREAD | CLOCAL;  // a three-wire debug cable has no carrier
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;

  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  if (dataBits < 5 || dataBits > 8) return std::nullopt;
  tio.c_cflag = (tio.c_cflag & ~tcflag_t(CSIZE)) | kSizes[dataBits - 5];

  tio.c_cflag &= ~tcflag_t(PARENB | PARODD);
#ifdef CMSPAR
  tio.c_cflag &= ~tcflag_t(CMSPAR);
#endif
  switch (parity) {
    case 0:
      break;
    case 1:
      tio.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      tio.c_cflag |= PARENB;
      break;
#ifdef CMSPAR
    case 3:
      tio.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case 4:
      tio.c_cflag |= PARENB | CMSPAR;
      break;
#endif
    default:
      return std::nullopt;
  }
  if (parity != 0) tio.c_iflag |= INPCK;

  switch (stopBits) {
    case 0:
      tio.c_cflag &= ~tcflag_t(CSTOPB);
      break;
    case 1:  // one and a half exists only with 5 data bits, where CSTOPB means it
      if (dataBits != 5) return std::nullopt;
      tio.c_cflag |= CSTOPB;
      break;
    case 2:
      tio.c_cflag |= CSTOPB;
      break;
    default:
      return std::nullopt;
  }

  if (cfsetispeed(&tio, *speed) != 0 || cfsetospeed(&tio, *speed) != 0) return std::nullopt;
  return tio;
}

// tcsetattr succeeds when any part was taken; the framing must have been.
bool FramingTaken(int fd, const termios& wanted) {
  termios now{};
  if (tcgetattr(fd, &now) != 0) return false;
  tcflag_t framing = CSIZE | PARENB | PARODD | CSTOPB;
#ifdef CMSPAR
  framing |= CMSPAR;
#endif
  return (now.c_cflag & framing) == (wanted.c_cflag & framing) &&
         cfgetospeed(&now) == cfgetospeed(&wanted);
}

int MillisLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? int(left.count()) : 0;
}

}  // namespace

std::string ComPortPath(int number) { return "\\\\.\\COM" + std::to_string(number); }

std::string ResolvePortPath(const std::string& path) {
  static const std::string kPrefix = "\\\\.\\COM";
  if (path.compare(0, kPrefix.size(), kPrefix) != 0) return path;
  const std::string digits = path.substr(kPrefix.size());
  if (digits.empty() || digits.size() > 9 || digits[0] == '0') {
    // COM0 names no port at all; an empty path never opens.
    return digits == "0" ? std::string() : path;
  }
  for (const char c : digits)
    if (c < '0' || c > '9') return path;
  const int number = std::atoi(digits.c_str());

  if (const char* home = std::getenv("HOME"); home && *home) {
    const std::filesystem::path link =
        std::filesystem::path(home) / ".qirel" / "ports" / ("COM" + digits);
    // A link whose device is gone still names the port: the open fails rather
    // than falling through to some unrelated ttyS.
    std::error_code error;
    const auto type = std::filesystem::symlink_status(link, error).type();
    if (!error && type != std::filesystem::file_type::not_found) return link.string();
  }
  return "/dev/ttyS" + std::to_string(number - 1);
}

std::uint8_t OpenPort(const std::string& path, std::uint32_t baud, std::uint8_t dataBits,
                      std::uint8_t parity, std::uint8_t stopBits) {
  std::unique_lock lock(PortLock());
  const std::string device = ResolvePortPath(path);
  // Non-blocking throughout: the open doesn't wait for a carrier, reads and
  // writes are bounded by poll.
  const int fd =
      device.empty() ? -1 : open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  portHandle = fd;
  if (fd < 0) return Failed(OpenStep::Open, device.empty() ? ENOENT : errno, device, -1, 1);

  // TIOCEXCL doesn't stop a privileged second opener; the lock does, for any
  // program that asks for it as well.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return Failed(OpenStep::Lock, errno, device, fd, 1);
  termios current{};
  if (tcgetattr(fd, &current) != 0) return Failed(OpenStep::Settings, errno, device, fd, 2);
  if (ioctl(fd, TIOCEXCL) != 0) return Failed(OpenStep::Exclusive, errno, device, fd, 1);

  const auto wanted = RawSettings(current, baud, dataBits, parity, stopBits);
  int error = EINVAL;
  if (wanted) {
    if (tcsetattr(fd, TCSANOW, &*wanted) != 0)
      error = errno;
    else if (FramingTaken(fd, *wanted))
      error = 0;
  }
  if (error != 0) {
    std::printf("SetCommState failed with error %d.\n", error);
    std::fflush(stdout);
    lastFailure = {OpenStep::Framing, error, device};
    Release(fd);
    return 3;
  }

  if (portFd >= 0) Release(portFd);
  portFd = fd;
  lastFailure = {};
  return 0;
}

OpenFailure LastOpenFailure() {
  std::shared_lock lock(PortLock());
  return lastFailure;
}

bool PortHungUp() {
  std::shared_lock lock(PortLock());
  if (portFd < 0) return false;
  pollfd pfd{portFd, POLLIN, 0};
  return poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

std::uint8_t WritePort(const std::uint8_t* buffer, std::uint32_t count) {
  std::shared_lock lock(PortLock());
  std::uint32_t written = 0;
  if (portFd >= 0) {
    tcflush(portFd, TCOFLUSH);
    const auto deadline = Clock::now() + kWriteLimit;
    while (written < count) {
      const ssize_t n = write(portFd, buffer + written, count - written);
      if (n > 0) {
        written += std::uint32_t(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
      const int left = MillisLeft(deadline);
      if (left == 0) break;
      pollfd pfd{portFd, POLLOUT, 0};
      const int ready = poll(&pfd, 1, left);
      if (ready < 0 && errno != EINTR) break;
      if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL))) break;
    }
  }
  return written == count ? 0 : 1;
}

bool ReadPort(std::uint8_t* buffer, std::uint32_t maxCount, std::uint32_t& received) {
  received = 0;
  std::shared_lock lock(PortLock());
  if (portFd < 0) return false;

  const auto deadline = Clock::now() + kReadTotal;
  while (received < maxCount) {
    int wait = MillisLeft(deadline);
    if (wait == 0) break;
    if (received > 0 && wait > int(kReadGap.count())) wait = int(kReadGap.count());
    pollfd pfd{portFd, POLLIN, 0};
    const int ready = poll(&pfd, 1, wait);
    if (ready == 0) break;
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    const ssize_t n = read(portFd, buffer + received, maxCount - received);
    if (n > 0) {
      received += std::uint32_t(n);
      continue;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    // Hang-up or error: what came before it still counts.
    break;
  }
  return received == maxCount;
}

void PurgePort() {
  std::shared_lock lock(PortLock());
  if (portFd >= 0) tcflush(portFd, TCIOFLUSH);
}

void PurgeOutput() {
  std::shared_lock lock(PortLock());
  if (portFd >= 0) tcflush(portFd, TCOFLUSH);
}

void ClosePort() {
  std::unique_lock lock(PortLock());
  if (portFd < 0) return;
  Release(portFd);
  portFd = -1;
}

#endif  // _WIN32
