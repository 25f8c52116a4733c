// Lets the unit's output out at the pace of its serial line, in small
// pieces, so lines reach the tool in parts as they do from a real port.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

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

// The tool's bytes as the unit's UART takes them in: a byte is there only
// once its time on the line has passed.
class ToolLine {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // bytesPerSecond 0: every byte is there at once.
  explicit ToolLine(int bytesPerSecond) : rate_(bytesPerSecond) {}

  void Push(const std::uint8_t* bytes, std::size_t count, TimePoint now);
  // The bytes that have arrived by `now`.
  std::vector<std::uint8_t> Take(TimePoint now);
  // How long until the next byte is in, if any is on its way.
  std::chrono::microseconds Wait(TimePoint now) const;

 private:
  std::size_t Underway(TimePoint now) const;

  int rate_;
  std::deque<std::uint8_t> bytes_;
  TimePoint lineFree_{};  // when the last byte pushed is in
};

}  // namespace sim
