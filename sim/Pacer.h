// Lets the unit's output out at the pace of its serial line, in small
// pieces, so lines reach the tool in parts as they do from a real port.
#pragma once

#include <chrono>
#include <deque>
#include <string>

#include "sim/UnitCore.h"

namespace sim {

class Pacer {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // bytesPerSecond 0: everything goes at once.
  Pacer(int bytesPerSecond, std::size_t piece, TimePoint start);

  void Push(Outgoing item);
  // The bytes the line can carry by `now`: at most one piece.
  std::string Take(TimePoint now);
  // Bytes the port did not accept go out first next time.
  void PutBack(const std::string& bytes);
  std::size_t Pending() const;
  // How long until Take has something, if anything waits.
  std::chrono::microseconds Wait(TimePoint now) const;

 private:
  bool NextItem(TimePoint now);

  int rate_;
  std::size_t piece_;
  double credit_ = 0;
  TimePoint last_;
  TimePoint traceHeldUntil_;
  std::string current_;
  Channel currentChannel_ = Channel::Trace;
  std::deque<Outgoing> urgent_;
  std::deque<Outgoing> trace_;
};

}  // namespace sim
