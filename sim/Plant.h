// The field the unit is wired to: input levels, analog signals, supply and
// radio signal, drifting a little so the live page looks alive.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "sim/Registers.h"
#include "sim/Trace.h"

namespace sim {

class Plant {
 public:
  // slow: the analog signals wander over hours instead of minutes, and now
  // and then one jumps for a single second (a day on the trend page).
  explicit Plant(std::uint32_t seed, bool slow = false);

  // Moves the field on to `seconds` after start.
  void Advance(double seconds);

  std::uint16_t Inputs() const { return inputs_; }  // bit k = input k+1
  const std::array<std::uint32_t, 16>& Counters() const { return counters_; }
  void ZeroCounters() { counters_.fill(0); }
  // Fraction of full scale, 0..1; below 0 when nothing is wired.
  double Analog(int input) const { return analog_[input]; }
  int SignalDbm() const { return static_cast<int>(signal_); }
  int SupplyMillivolts() const { return static_cast<int>(supply_); }
  std::uint32_t Random() { return rng_(); }

 private:
  double Walk(double value, double step, double low, double high);
  bool Chance(double probability);

  std::mt19937 rng_;
  double seconds_ = 0;
  double nextDrift_ = 1;
  std::uint16_t inputs_ = 0;
  std::uint16_t randomInputs_ = 0;
  std::array<std::uint32_t, 16> counters_{};
  std::array<double, 8> analog_{};
  std::array<double, 8> base_{0.55, 0.2, 0.5, 0.0, 0.4, 0.7, 0.1, -1.0};
  bool slow_ = false;
  std::array<double, 8> spikeUntil_{};
  std::array<double, 8> spike_{};
  double signal_ = -71;
  double supply_ = 12345;
};

// One analog input's settings, from its configuration block.
struct AnalogConfig {
  int zero = 0;
  int span = 0;
  int low = 0;   // 0: no low alarm
  int high = 0;  // 0: no high alarm
  int hysteresis = 0;
  bool current = false;
};

AnalogConfig AnalogConfigOf(const RegisterMap& registers, int input);  // input 0..7

// What the unit reports for a signal: 4-20 mA or 0-10 V scaled between zero
// and span. Alarms keep their previous state inside the hysteresis band; a
// current input under 3 mA is absent and raises no threshold alarm.
AnalogReading Measure(double fraction, const AnalogConfig& config, const AnalogReading& previous);

}  // namespace sim
