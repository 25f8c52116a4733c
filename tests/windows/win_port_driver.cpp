// Runs the Windows build of the port layer (port_win_test.exe) under Wine
// against pseudo-terminals: \\.\COM12 is a pty this program holds and works
// on the test's request, \\.\COM5 is the virtual unit, \\.\COM9 is missing.
//   win_port_driver WINE EXE WINEPREFIX
// The test's lines go to stdout; its "? command" lines are answered on its
// stdin. Exit status: the test's.
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "sim/VirtualUnit.h"
#include "tests/Harness.h"

namespace fs = std::filesystem;
using std::chrono::milliseconds;

namespace {

constexpr int kRawCom = 12;
constexpr int kUnitCom = 5;
constexpr int kMissingCom = 9;

fs::path DosDevice(const fs::path& prefix, int number) {
  return prefix / "dosdevices" / ("com" + std::to_string(number));
}

void LinkCom(const fs::path& prefix, int number, const std::string& target) {
  const fs::path link = DosDevice(prefix, number);
  fs::remove(link);
  fs::create_symlink(target, link);
}

// The line as the far end sees it; on Linux the master reaches the slave's settings.
std::string Settings(int fd) {
  termios tio{};
  tcgetattr(fd, &tio);
  const speed_t speed = cfgetospeed(&tio);
  const char* size = "?";
  switch (tio.c_cflag & CSIZE) {
    case CS5: size = "5"; break;
    case CS6: size = "6"; break;
    case CS7: size = "7"; break;
    case CS8: size = "8"; break;
  }
  const bool raw = !(tio.c_lflag & (ICANON | ECHO | ISIG)) && !(tio.c_oflag & OPOST) &&
                   !(tio.c_iflag & (ICRNL | INLCR | IGNCR));
  std::ostringstream out;
  out << "speed=" << (speed == B19200 ? "19200" : speed == B9600 ? "9600" : "other")
      << " size=" << size
      << " parity=" << (!(tio.c_cflag & PARENB) ? "none" : (tio.c_cflag & PARODD) ? "odd" : "even")
      << " stop=" << ((tio.c_cflag & CSTOPB) ? "2" : "1") << " raw=" << (raw ? 1 : 0)
      << " crtscts=" << ((tio.c_cflag & CRTSCTS) ? 1 : 0) << " ixon=" << ((tio.c_iflag & IXON) ? 1 : 0)
      << " ixoff=" << ((tio.c_iflag & IXOFF) ? 1 : 0);
  return out.str();
}

std::string Answer(const std::string& request, PtyPair& raw, sim::VirtualUnit& unit) {
  std::istringstream in(request);
  std::string command;
  in >> command;
  if (command == "cook") {
    return raw.LeaveCooked() ? "ok" : "failed";
  }
  if (command == "settings") return Settings(raw.master());
  if (command == "write") {
    std::string rest;
    std::getline(in, rest);
    raw.Write(HexBytes(rest.c_str()));
    return "ok";
  }
  if (command == "read") {
    std::size_t count = 0;
    in >> count;
    return Hex(raw.Read(count, milliseconds(5000)));
  }
  if (command == "drain") {
    // Everything until the line stays quiet: how much, and its last 8 bytes.
    const Bytes all = raw.ReadUntilQuiet();
    const std::size_t tail = std::min<std::size_t>(all.size(), 8);
    return std::to_string(all.size()) + "|" + Hex(Bytes(all.end() - std::ptrdiff_t(tail), all.end()));
  }
  if (command == "registers") {
    unsigned first = 0;
    unsigned count = 0;
    in >> first >> count;
    Bytes bytes;
    for (unsigned a = first; a < first + count; ++a) {
      const std::uint16_t value = unit.Register(std::uint16_t(a));
      bytes.push_back(std::uint8_t(value >> 8));
      bytes.push_back(std::uint8_t(value));
    }
    return Hex(bytes);
  }
  return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: win_port_driver WINE EXE WINEPREFIX\n");
    return 2;
  }
  const std::string wine = argv[1];
  const std::string exe = argv[2];
  const fs::path prefix = argv[3];
  signal(SIGPIPE, SIG_IGN);

  PtyPair raw;
  sim::UnitOptions options;
  options.com = 0;  // reached through Wine's dosdevices only
  sim::VirtualUnit unit(options);
  unit.Start();
  LinkCom(prefix, kRawCom, raw.slavePath());
  LinkCom(prefix, kUnitCom, unit.SlavePath());
  fs::remove(DosDevice(prefix, kMissingCom));

  int toChild[2];
  int fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) return 2;
  const pid_t child = fork();
  if (child == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    close(toChild[1]);
    close(fromChild[0]);
    setenv("WINEPREFIX", prefix.c_str(), 1);
    execl(wine.c_str(), wine.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);

  FILE* fromTest = fdopen(fromChild[0], "r");
  char* buffer = nullptr;
  std::size_t size = 0;
  while (getline(&buffer, &size, fromTest) > 0) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.rfind("? ", 0) == 0) {
      const std::string answer = Answer(line.substr(2), raw, unit) + "\n";
      if (write(toChild[1], answer.data(), answer.size()) < 0) break;
    } else {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    }
  }
  std::free(buffer);
  std::fclose(fromTest);
  close(toChild[1]);

  int status = 0;
  waitpid(child, &status, 0);
  unit.Stop();
  for (int number : {kRawCom, kUnitCom}) fs::remove(DosDevice(prefix, number));
  if (!WIFEXITED(status)) return 1;
  return WEXITSTATUS(status);
}
