// The port over the Win32 comm API. As on POSIX, the handle in use is kept
// apart from portHandle and closed only while no other call is using it: the
// reader thread reads while the GUI thread may close, and Windows hands out a
// closed handle's value again.
#include "link/Port.h"

#ifdef _WIN32

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <shared_mutex>

PortHandle portHandle = INVALID_HANDLE_VALUE;

namespace {

// A read returns once the line is quiet for more than 1 ms, and after 10 ms
// at most, with whatever came.
constexpr DWORD kReadInterval = 1;
constexpr DWORD kReadTotalMultiplier = 0;
constexpr DWORD kReadTotalConstant = 10;
// Whatever its size, a write that hasn't gone in 2 s (flow control holding
// the line, a dead adapter) gives up rather than freeze the window.
constexpr DWORD kWriteTotalMultiplier = 0;
constexpr DWORD kWriteTotalConstant = 2000;

// Never destroyed: a reader thread may still be running while the process exits.
std::shared_mutex& PortLock() {
  static auto* lock = new std::shared_mutex;
  return *lock;
}
HANDLE openHandle = INVALID_HANDLE_VALUE;  // guarded by PortLock()
OpenFailure lastFailure;                   // guarded by PortLock()

void NoteFailure(OpenStep step, const std::string& device) {
  lastFailure = {step, int(GetLastError()), device};
}

void Purge(HANDLE handle) {
  PurgeComm(handle, PURGE_RXCLEAR);
  PurgeComm(handle, PURGE_TXCLEAR);
  FlushFileBuffers(handle);
}

void Release(HANDLE handle) {
  // Purged first, so the flush has nothing left to wait for.
  Purge(handle);
  CloseHandle(handle);
}

}  // namespace

std::string ComPortPath(int number) { return "\\\\.\\COM" + std::to_string(number); }

// The device namespace is the path itself here.
std::string ResolvePortPath(const std::string& path) { return path; }

std::uint8_t OpenPort(const std::string& path, std::uint32_t baud, std::uint8_t dataBits,
                      std::uint8_t parity, std::uint8_t stopBits) {
  std::unique_lock lock(PortLock());
  // Exclusive (no sharing), an existing device, synchronous I/O.
  const HANDLE handle = CreateFileA(ResolvePortPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  portHandle = handle;
  if (handle == INVALID_HANDLE_VALUE) {
    NoteFailure(OpenStep::Open, path);
    return 1;
  }

  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) {
    NoteFailure(OpenStep::Settings, path);
    CloseHandle(handle);
    return 2;
  }
  // Only the framing changes; flow control and the rest stay as the driver has them.
  dcb.BaudRate = baud;
  dcb.ByteSize = dataBits;
  dcb.Parity = parity;
  dcb.StopBits = stopBits;
  if (!SetCommState(handle, &dcb)) {
    std::printf("SetCommState failed with error %d.\n", int(GetLastError()));
    std::fflush(stdout);
    NoteFailure(OpenStep::Framing, path);
    CloseHandle(handle);
    return 3;
  }

  COMMTIMEOUTS timeouts;
  ZeroMemory(&timeouts, sizeof timeouts);
  if (!GetCommTimeouts(handle, &timeouts)) {
    NoteFailure(OpenStep::Settings, path);
    CloseHandle(handle);
    return 4;
  }
  timeouts.ReadIntervalTimeout = kReadInterval;
  timeouts.ReadTotalTimeoutMultiplier = kReadTotalMultiplier;
  timeouts.ReadTotalTimeoutConstant = kReadTotalConstant;
  timeouts.WriteTotalTimeoutMultiplier = kWriteTotalMultiplier;
  timeouts.WriteTotalTimeoutConstant = kWriteTotalConstant;
  if (!SetCommTimeouts(handle, &timeouts)) {
    NoteFailure(OpenStep::Framing, path);
    CloseHandle(handle);
    return 5;
  }

  if (openHandle != INVALID_HANDLE_VALUE) Release(openHandle);
  openHandle = handle;
  lastFailure = {};
  return 0;
}

std::uint8_t WritePort(const std::uint8_t* buffer, std::uint32_t count) {
  std::shared_lock lock(PortLock());
  DWORD written = 0;
  if (openHandle != INVALID_HANDLE_VALUE) {
    // Output still waiting belongs to an earlier request; a pending read
    // would hold the synchronous handle.
    PurgeComm(openHandle, PURGE_TXCLEAR);
    PurgeComm(openHandle, PURGE_RXABORT);
    if (!WriteFile(openHandle, buffer, count, &written, nullptr)) written = 0;
  }
  return written == count ? 0 : 1;
}

bool ReadPort(std::uint8_t* buffer, std::uint32_t maxCount, std::uint32_t& received) {
  received = 0;
  std::shared_lock lock(PortLock());
  if (openHandle == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  if (!ReadFile(openHandle, buffer, maxCount, &n, nullptr)) return false;
  received = n;
  return received == maxCount;
}

void PurgePort() {
  std::shared_lock lock(PortLock());
  if (openHandle != INVALID_HANDLE_VALUE) Purge(openHandle);
}

void PurgeOutput() {
  std::shared_lock lock(PortLock());
  if (openHandle != INVALID_HANDLE_VALUE) PurgeComm(openHandle, PURGE_TXCLEAR);
}

void ClosePort() {
  std::unique_lock lock(PortLock());
  if (openHandle == INVALID_HANDLE_VALUE) return;
  Release(openHandle);
  openHandle = INVALID_HANDLE_VALUE;
}

OpenFailure LastOpenFailure() {
  std::shared_lock lock(PortLock());
  return lastFailure;
}

// A removed USB adapter's handle fails every call from then on.
bool PortHungUp() {
  std::shared_lock lock(PortLock());
  if (openHandle == INVALID_HANDLE_VALUE) return false;
  DWORD errors = 0;
  COMSTAT status;
  return !ClearCommError(openHandle, &errors, &status);
}

#endif  // _WIN32
