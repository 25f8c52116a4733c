#include "sim/Plant.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {

Plant::Plant(std::uint32_t seed, bool slow) : rng_(seed), slow_(slow) { Advance(0); }

double Plant::Walk(double value, double step, double low, double high) {
  std::uniform_real_distribution<double> move(-step, step);
  return std::clamp(value + move(rng_), low, high);
}

bool Plant::Chance(double probability) {
  return std::uniform_real_distribution<double>(0, 1)(rng_) < probability;
}

void Plant::Advance(double seconds) {
  const double dt = std::max(0.0, seconds - seconds_);
  seconds_ = seconds;
  const auto period = [&](double length) { return std::fmod(seconds, length) < length / 2; };
  const auto wave = [&](double length) {
    return std::sin(2 * std::numbers::pi * seconds / length);
  };

  // Some inputs follow slow cycles, a few flip now and then.
  if (dt > 0) {
    if (Chance(0.05 * dt)) randomInputs_ ^= 1u << 2;   // input 3
    if (Chance(0.02 * dt)) randomInputs_ ^= 1u << 6;   // input 7
    if (Chance(0.03 * dt)) randomInputs_ ^= 1u << 15;  // input 16
  }
  std::uint16_t levels = randomInputs_;
  if (period(26)) levels |= 1u << 0;                     // a door
  if (std::fmod(seconds, 3.0) < 0.5) levels |= 1u << 1;  // a meter's pulses
  levels |= 1u << 3;
  if (period(58)) levels |= 1u << 5;
  levels |= 1u << 8;
  if (period(14)) levels |= 1u << 9;
  levels |= 1u << 11;
  const std::uint16_t rising = static_cast<std::uint16_t>(levels & ~inputs_);
  for (int k = 0; k < 16; ++k)
    if ((rising >> k) & 1) ++counters_[k];
  inputs_ = levels;

  // One drift step a second, however often the unit looks.
  for (; nextDrift_ <= seconds; nextDrift_ += 1) {
    for (double& base : base_)
      if (base >= 0) base = Walk(base, 0.004, 0.05, 0.95);
    signal_ = Walk(signal_, 1.0, -95, -55);
    supply_ = Walk(supply_, 15.0, 11800, 13600);
  }
  analog_ = base_;
  if (slow_) {
    // Periods of three to nine hours, each input its own; a spike about
    // every two hours per input, up or down, lasting one second.
    for (std::size_t i = 0; i < analog_.size(); ++i) {
      if (base_[i] < 0) continue;
      const double length = (3.0 + 0.85 * double(i)) * 3600;
      const double slow = std::sin(2 * std::numbers::pi * (seconds / length + 0.13 * double(i)));
      // The drifting base adds a little wander of its own.
      analog_[i] = std::clamp(0.5 + 0.3 * slow + 0.1 * (base_[i] - 0.5), 0.0, 1.0);
    }
    if (dt > 0)
      for (std::size_t i = 0; i < analog_.size(); ++i)
        if (base_[i] >= 0 && seconds >= spikeUntil_[i] && Chance(dt / 7200)) {
          spikeUntil_[i] = seconds + 1;
          spike_[i] = Chance(0.5) ? 0.98 : 0.02;
        }
    for (std::size_t i = 0; i < analog_.size(); ++i)
      if (base_[i] >= 0 && seconds < spikeUntil_[i]) analog_[i] = spike_[i];
    return;
  }
  analog_[1] = std::clamp(base_[1] + 0.15 * wave(120), 0.0, 1.0);  // crosses its low alarm
  analog_[2] = std::clamp(base_[2] + 0.35 * wave(90), 0.0, 1.0);   // crosses its high alarm
  analog_[3] = 0;
  analog_[6] = std::clamp(base_[6] + 0.05 * wave(40), 0.0, 1.0);
}

AnalogConfig AnalogConfigOf(const RegisterMap& registers, int input) {
  const std::uint16_t block = input < 4 ? reg::kAnalogInputs1 : reg::kAnalogInputs2;
  const auto at = [&](int row) {
    return registers.Get(static_cast<std::uint16_t>(block + row + input % 4));
  };
  const std::uint16_t hysteresis = at(16);
  return {at(0), at(4), at(8), at(12), hysteresis & 0x7FFF, (hysteresis & 0x8000) != 0};
}

AnalogReading Measure(double fraction, const AnalogConfig& config, const AnalogReading& previous) {
  AnalogReading reading;
  double scale = std::clamp(fraction, 0.0, 1.0);
  if (config.current) {
    const double milliamps = fraction < 0 ? 0.0 : 4 + 16 * scale;
    reading.measured = static_cast<int>(std::lround(milliamps));
    reading.absent = milliamps < 3;
  } else {
    reading.measured = static_cast<int>(std::lround(10000 * scale));
  }
  if (fraction < 0) scale = 0;
  reading.value = static_cast<int>(std::lround(config.zero + scale * (config.span - config.zero)));
  if (reading.absent) return reading;
  if (config.low > 0)
    reading.low =
        previous.low ? reading.value < config.low + config.hysteresis : reading.value < config.low;
  if (config.high > 0)
    reading.high = previous.high ? reading.value > config.high - config.hysteresis
                                 : reading.value > config.high;
  return reading;
}

}  // namespace sim
