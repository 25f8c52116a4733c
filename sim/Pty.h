// The unit's end of the cable: a pseudo-terminal, and the COM link the tool
// finds it by.
#pragma once

#include <string>

namespace sim {

class PseudoTerminal {
 public:
  PseudoTerminal();  // throws std::system_error
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  // Throws away what a program that closed the port left unread, so the
  // next one starts on a clean line.
  void DrainSlave();

 private:
  int master_ = -1;
  std::string slavePath_;
};

// ~/.qirel/ports/COM<number> pointing at `target`; removed on destruction
// if it still points there.
class PortLink {
 public:
  PortLink(int number, const std::string& target);  // throws std::system_error
  ~PortLink();
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string target_;
};

std::string PortsDirectory();

}  // namespace sim
