#include "sim/Pty.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace sim {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master_ < 0) Fail("posix_openpt");
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
    const int error = errno;
    close(master_);
    errno = error;
    Fail("grantpt/unlockpt");
  }
  slavePath_ = ptsname(master_);
  termios settings{};
  if (tcgetattr(master_, &settings) == 0) {
    cfmakeraw(&settings);
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    tcsetattr(master_, TCSANOW, &settings);
  }
  // Until a slave has been opened once the master shows no hang-up, and
  // what we write would wait for the first reader; open and close it once
  // so "nobody listening" is visible from the start.
  const int slave = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave >= 0) close(slave);
}

PseudoTerminal::~PseudoTerminal() {
  if (master_ >= 0) close(master_);
}

void PseudoTerminal::DrainSlave() {
  const int slave = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave < 0) return;  // taken again already (exclusive), or gone
  char buffer[4096];
  while (read(slave, buffer, sizeof buffer) > 0) {
  }
  close(slave);
}

std::string PortsDirectory() {
  const char* home = getenv("HOME");
  std::string base = home && *home ? home : "";
  if (base.empty()) {
    if (const passwd* user = getpwuid(getuid())) base = user->pw_dir;
  }
  return base + "/.qirel/ports";
}

PortLink::PortLink(int number, const std::string& target) : target_(target) {
  const std::string directory = PortsDirectory();
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) throw std::system_error(error, "create " + directory);
  path_ = directory + "/COM" + std::to_string(number);
  // A link left by a unit that did not end cleanly is replaced.
  unlink(path_.c_str());
  if (symlink(target.c_str(), path_.c_str()) != 0) Fail("symlink " + path_);
}

PortLink::~PortLink() {
  char buffer[4096];
  const ssize_t length = readlink(path_.c_str(), buffer, sizeof buffer);
  if (length >= 0 && std::string(buffer, static_cast<std::size_t>(length)) == target_)
    unlink(path_.c_str());
}

}  // namespace sim
