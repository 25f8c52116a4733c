// The one serial port of the tool: a thin layer over termios (POSIX) or the
// Win32 comm API, with the result codes and timing the tool relies on.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
using PortHandle = void*;
#else
using PortHandle = int;
#endif

// Set by every OpenPort attempt; not cleared by ClosePort.
extern PortHandle portHandle;

// "\\.\COMn" for port n.
std::string ComPortPath(int number);
// Where the device path leads on this machine: ~/.qirel/ports/COMn when that
// exists, else /dev/ttyS<n-1>; any other path is used as it is.
std::string ResolvePortPath(const std::string& path);

// 0 open, 1 open failed, 2 settings unreadable, 3 settings refused,
// 4 time-outs unreadable, 5 time-outs refused.
std::uint8_t OpenPort(const std::string& path, std::uint32_t baud, std::uint8_t dataBits,
                      std::uint8_t parity, std::uint8_t stopBits);
// 0 when all bytes were written, 1 otherwise (also after 2 s stuck).
std::uint8_t WritePort(const std::uint8_t* buffer, std::uint32_t count);
// Returns within about 10 ms with what arrived; true when exactly maxCount was read.
bool ReadPort(std::uint8_t* buffer, std::uint32_t maxCount, std::uint32_t& received);
void PurgePort();
// Discards only what was not sent yet; what the unit sent stays readable.
void PurgeOutput();
void ClosePort();

// Where the last failed OpenPort stopped and the system's error number there
// (errno, or GetLastError on Windows), for telling the user why.
enum class OpenStep { None, Open, Lock, Settings, Exclusive, Framing };
struct OpenFailure {
  OpenStep step = OpenStep::None;
  int error = 0;
  std::string device;  // the path that was opened; empty for port 0
};
OpenFailure LastOpenFailure();
// True once the open port's device has gone (adapter pulled, other end closed).
bool PortHungUp();
