// Time left of a download session, from the pace at which the unit has asked
// for its records so far; the total time once it is over.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

class DownloadEta {
 public:
  using Clock = std::chrono::steady_clock;

  // Where the time comes from (tests replace it).
  std::function<Clock::time_point()> now = [] { return Clock::now(); };

  void Start();
  // The unit's request for `chunk` of `chunkCount` was answered.
  void Served(int chunk, int chunkCount);
  void Stop();
  std::string Text() const;

 private:
  enum class Phase { Idle, Running, Done, Interrupted };
  Phase phase_ = Phase::Idle;
  Clock::time_point started_{};
  std::optional<int> firstChunk_;
  Clock::time_point firstAt_{};
  bool lastServed_ = false;
  std::optional<double> left_;  // seconds
  double total_ = 0;
};
