// Timings counted in steps of 0.01 of their unit, up to a ceiling: a day of
// samples kept one by one would add to the memory a bench measures.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

struct StepHistogram {
  explicit StepHistogram(std::size_t steps) : counts(steps) {}
  std::vector<std::uint64_t> counts;
  std::uint64_t total = 0;
  double sum = 0;
  double worst = 0;
  void Add(double value, std::uint64_t times = 1) {
    counts[std::min<std::size_t>(counts.size() - 1, std::size_t(value * 100))] += times;
    total += times;
    sum += value * double(times);
    worst = std::max(worst, value);
  }
  // The value that this fraction of the samples stays under.
  double At(double fraction) const {
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < counts.size(); ++i)
      if ((seen += counts[i]) >= std::uint64_t(fraction * double(total)))
        return double(i + 1) / 100;
    return worst;
  }
};
