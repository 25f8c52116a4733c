// The Win32 port layer and the reader pass, built with MinGW-w64 and run under
// Wine by win_port_driver. The driver links \\.\COM12 to a pseudo-terminal it
// holds itself and \\.\COM5 to the virtual unit; it answers this program's
// "? command" lines on stdin, so the checks about the far end of the line are
// made here too. Prints one PASS/FAIL line per check and the totals.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/AppendFile.h"
#include "link/Port.h"
#include "link/ReaderPass.h"
#include "protocol/Frames.h"
#include "tests/PortTesting.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr int kRawCom = 12;  // two digits: the device namespace works past COM9
constexpr int kUnitCom = 5;
constexpr int kMissingCom = 9;

int passed = 0;
int failed = 0;
int skipped = 0;

void Check(bool ok, const std::string& name, const std::string& detail = {}) {
  ++(ok ? passed : failed);
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), ok || detail.empty() ? "" : ": ",
              ok ? "" : detail.c_str());
  std::fflush(stdout);
}

// Asks the driver; its answer is one line.
std::string Ask(const std::string& request) {
  std::printf("? %s\n", request.c_str());
  std::fflush(stdout);
  std::string answer;
  std::getline(std::cin, answer);
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return answer;
}

// "key=value key=value" from the driver.
std::map<std::string, std::string> Fields(const std::string& line) {
  std::map<std::string, std::string> out;
  std::istringstream in(line);
  std::string item;
  while (in >> item) {
    const auto eq = item.find('=');
    if (eq != std::string::npos) out[item.substr(0, eq)] = item.substr(eq + 1);
  }
  return out;
}

long ElapsedMs(Clock::time_point since) {
  return long(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

// Waits until the driver's bytes are in the port's receive queue.
bool Waiting(std::size_t count) {
  const auto deadline = Clock::now() + milliseconds(5000);
  for (;;) {
    COMSTAT status{};
    DWORD errors = 0;
    if (ClearCommError(portHandle, &errors, &status) && status.cbInQue >= count) return true;
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(5));
  }
}

void PortOnRawLine() {
  const std::string path = ComPortPath(kRawCom);
  // Another program left the line slow, 7E2, cooked and with both kinds of
  // flow control.
  Ask("cook");
  Check(OpenPort(path, 19200, 8, 0, 0) == 0, "COM12 opens through \\\\.\\COM12");

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  Check(GetCommState(portHandle, &dcb) && dcb.BaudRate == 19200 && dcb.ByteSize == 8 &&
            dcb.Parity == NOPARITY && dcb.StopBits == ONESTOPBIT,
        "settings read back: 19200 8N1",
        std::to_string(dcb.BaudRate) + " " + std::to_string(dcb.ByteSize) + " " +
            std::to_string(dcb.Parity) + " " + std::to_string(dcb.StopBits));
  Check(dcb.fOutxCtsFlow && dcb.fOutX && dcb.fInX, "flow control kept as the driver had it",
        "cts " + std::to_string(dcb.fOutxCtsFlow) + " outx " + std::to_string(dcb.fOutX) +
            " inx " + std::to_string(dcb.fInX));
  COMMTIMEOUTS timeouts{};
  Check(GetCommTimeouts(portHandle, &timeouts) && timeouts.ReadIntervalTimeout == 1 &&
            timeouts.ReadTotalTimeoutMultiplier == 0 && timeouts.ReadTotalTimeoutConstant == 10 &&
            timeouts.WriteTotalTimeoutMultiplier == 0 &&
            timeouts.WriteTotalTimeoutConstant == 2000,
        "time-outs read back: 1/0/10, writes 0/2000");

  const std::string peerLine = Ask("settings");
  auto peer = Fields(peerLine);
  Check(peer["speed"] == "19200" && peer["size"] == "8" && peer["parity"] == "none" &&
            peer["stop"] == "1",
        "the far end sees 19200 8N1", peerLine);
  Check(peer["raw"] == "1", "the far end sees a raw line", peerLine);
  Check(peer["crtscts"] == "1" && peer["ixon"] == "1" && peer["ixoff"] == "1",
        "the far end keeps its flow control", peerLine);

  const Bytes frame = {0x01, 0x03, 0x4E, 0x40, 0x00, 0x03, 0xD2, 0xD5};
  Check(WritePort(frame.data(), std::uint32_t(frame.size())) == 0, "a frame is written whole");
  const std::string seen = Ask("read 8");
  Check(seen == Hex(frame), "the far end gets the frame", seen);

  Ask("write 44 61 74 61 2D 2D 3E");
  const Bytes text = ReadFromPort(7);
  Check(text == Bytes{'D', 'a', 't', 'a', '-', '-', '>'}, "what the far end sent is read",
        Hex(text));
  // Raw for real: no line editing, no CR translation, no signals.
  Ask("write 0D 03 0A");
  const Bytes raw = ReadFromPort(3);
  Check(raw == Bytes{0x0D, 0x03, 0x0A}, "CR, ^C and LF arrive unchanged", Hex(raw));

  std::uint8_t buffer[2048];
  std::uint32_t received = 99;
  auto start = Clock::now();
  const bool full = ReadPort(buffer, sizeof buffer, received);
  const long quiet = ElapsedMs(start);
  Check(!full && received == 0 && quiet < 1000, "a read with nothing arriving returns, empty",
        std::to_string(received) + " bytes after " + std::to_string(quiet) + " ms");
  // The 10 ms are a floor as well: a read that returned at once would make
  // the reader spin and purge too soon.
  Check(quiet >= 5, "and waits for the read time-out first", std::to_string(quiet) + " ms");

  Ask("write " + Hex(Bytes(100, 0x41)));
  Check(Waiting(100), "100 bytes wait in the driver");
  start = Clock::now();
  const bool exact = ReadPort(buffer, 10, received);
  const long took = ElapsedMs(start);
  Check(exact && received == 10 && took < 1000, "a read takes no more than asked for",
        std::to_string(received) + " in " + std::to_string(took) + " ms");
  const bool rest = ReadPort(buffer, sizeof buffer, received);
  Check(!rest && received == 90, "the rest waits for the next read", std::to_string(received));

  Ask("write " + Hex(Bytes(50, 0x42)));
  Check(Waiting(50), "50 more bytes wait in the driver");
  PurgePort();
  COMSTAT status{};
  DWORD errors = 0;
  ClearCommError(portHandle, &errors, &status);
  ReadPort(buffer, sizeof buffer, received);
  Check(status.cbInQue == 0 && received == 0, "a purge discards what was waiting",
        std::to_string(status.cbInQue) + " queued, " + std::to_string(received) + " read");

  // The far end reads nothing, so this can't all go: it gives up at the write
  // time-out and leaves the driver's buffers full of unsent output.
  const Bytes filler(256 * 1024, 0x46);
  start = Clock::now();
  const bool stuck = WritePort(filler.data(), std::uint32_t(filler.size())) == 1;
  const long stuckMs = ElapsedMs(start);
  Check(stuck && stuckMs >= 1500 && stuckMs < 10000, "a write that can't go gives up in 2 s",
        std::to_string(stuckMs) + " ms");
  const Bytes coil = {0x01, 0x05, 0x00, 0x08, 0xFF, 0x00, 0x0D, 0xF8};
  Check(WritePort(coil.data(), std::uint32_t(coil.size())) == 0, "the next frame goes out whole");
  // The far end gets it last, after only what the line had already taken in.
  const std::string drained = Ask("drain");
  const auto bar = drained.find('|');
  const std::size_t count = std::strtoul(drained.c_str(), nullptr, 10);
  Check(bar != std::string::npos && drained.substr(bar + 1) == Hex(coil) && count <= 8192 + 8,
        "and the unsent output before it was discarded", drained.substr(0, bar) + " bytes");

  // Held by someone else, here the tool itself: the second open fails and the
  // first one goes on working.
  if (OpenPort(path, 19200, 8, 0, 0) == 1) {
    Check(true, "a port in use gives code 1");
  } else {
    ++skipped;
    std::printf("SKIP a port in use gives code 1: Wine lets a second open of a COM port through, "
                "the Windows serial driver refuses it\n");
  }
  const std::uint8_t byte = 0x55;
  Check(WritePort(&byte, 1) == 0 && Ask("read 1") == "55", "and the open port still works");

  ClosePort();
  Check(!ReadPort(buffer, sizeof buffer, received) && received == 0,
        "a closed port reads nothing");
  Check(WritePort(&byte, 1) == 1, "a closed port writes nothing");
  PurgePort();
  PurgeOutput();
  Check(OpenPort(ComPortPath(kMissingCom), 19200, 8, 0, 0) == 1 &&
            portHandle == INVALID_HANDLE_VALUE,
        "a missing port gives code 1");
  Check(WritePort(&byte, 1) == 1, "and leaves nothing open");

  Check(OpenPort(path, 19200, 8, 0, 0) == 0, "the port opens again after closing");
  ClosePort();
}

// The reader thread as the tool runs it: a pass, then its pause.
class Reader {
 public:
  Reader()
      : thread_([this] {
          while (!stop_) {
            ReaderPass();
            std::this_thread::sleep_for(milliseconds(kReaderPauseMs));
          }
        }) {}
  ~Reader() {
    stop_ = true;
    thread_.join();
  }

  // Complete lines the reader delivered, taken as the receiver tick would;
  // waits until `until` accepts one of them or `ceiling` passed.
  template <typename Until>
  bool Lines(Until until, milliseconds ceiling) {
    const auto deadline = Clock::now() + ceiling;
    std::uint8_t take[kInboxLimit];
    while (Clock::now() < deadline) {
      const std::int32_t n = TakeInbox(take);
      for (std::int32_t i = 0; i < n; ++i) {
        const char c = char(take[i]);
        if (c != '\r' && c != '\n') {
          line_ += c;
          continue;
        }
        if (line_.empty()) continue;
        const std::string line = line_;
        line_.clear();
        ++lines_;
        if (until(line)) return true;
      }
      std::this_thread::sleep_for(milliseconds(20));
    }
    return false;
  }
  int lineCount() const { return lines_; }

 private:
  std::atomic<bool> stop_{false};
  std::string line_;
  int lines_ = 0;
  std::thread thread_;
};

void ReaderOnVirtualUnit() {
  Check(OpenPort(ComPortPath(kUnitCom), 19200, 8, 0, 0) == 0, "COM5, the virtual unit, opens");
  {
    Reader reader;
    const bool trace = reader.Lines(
        [](const std::string& line) { return line.rfind(">> DI Status 1", 0) == 0; },
        milliseconds(20000));
    Check(trace, "the reader thread delivers the unit's trace",
          std::to_string(reader.lineCount()) + " lines");

    const ByteVector request = BuildReadRequest(kSlave, kReadHolding, 1000, 45);
    Check(WritePort(request.data(), std::uint32_t(request.size())) == 0,
          "the identification request goes out");
    ByteVector reply;
    const bool answered = reader.Lines(
        [&](const std::string& line) {
          const LineContent content = ExtractFrame(line);
          if (content.kind != LineContent::Kind::Frame || content.frame.size() != 95) return false;
          reply = content.frame;
          return true;
        },
        milliseconds(20000));
    Check(answered, "its reply comes through the reader");
    if (answered) {
      const auto crc = ModbusCrc(ByteSpan(reply).first(93));
      Check(reply[0] == 1 && reply[1] == 3 && reply[2] == 90 && crc[0] == reply[93] &&
                crc[1] == reply[94],
            "a whole identification frame with a good CRC", Hex(reply));
      const std::string registers = Ask("registers 1000 45");
      Check(Hex(Bytes(reply.begin() + 3, reply.begin() + 93)) == registers,
            "it holds the unit's identification registers", Hex(reply));
    }
  }
  ClosePort();
}

// The debug log's path comes from a file dialog as UTF-8; a narrow fopen would
// read it in the ANSI code page.
void LogFileUnderUnicodePath() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring wide = std::wstring(folder) + L"registro-\u00f1\u20ac.txt";
  DeleteFileW(wide.c_str());
  char utf8[4 * MAX_PATH];
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
  const bool written = AppendToFile(utf8, "uno\r\n") && AppendToFile(utf8, "dos\r\n");
  std::string content;
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    char buffer[64];
    DWORD n = 0;
    if (ReadFile(file, buffer, sizeof buffer, &n, nullptr)) content.assign(buffer, n);
    CloseHandle(file);
  }
  DeleteFileW(wide.c_str());
  Check(written && content == "uno\r\ndos\r\n", "the log file appends under a name with n-tilde and the euro sign",
        content);
}

}  // namespace

int main() {
  try {
    PortOnRawLine();
    ReaderOnVirtualUnit();
    LogFileUnderUnicodePath();
  } catch (const std::exception& error) {
    Check(false, "no exception", error.what());
  }
  std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}
