// The samples behind the "Tendencias" page: one ring per series, a day deep
// at a sample a second, appended in constant time from the receiver's tick.
// No Qt and no window here, so the tick's cost is what this file does.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// What a sample carries besides its value.
namespace trendflag {
inline constexpr std::uint8_t kAlarmMask = 0x07;  // TrendAlarm
inline constexpr std::uint8_t kMilliamps = 0x08;  // a current series' sample is in mA, else mV
inline constexpr std::uint8_t kBreak = 0x10;      // not joined to the sample before it
}  // namespace trendflag

// The alarm state the "Estado" page showed after the sample's line.
enum class TrendAlarm : std::uint8_t { Unknown = 0, Normal = 1, Bajo = 2, Alto = 3, Ausente = 4 };

inline constexpr std::int64_t kTrendDayMs = 24LL * 3600 * 1000;
// A day at a sample a second, and some room for a unit that runs a little fast.
inline constexpr std::size_t kTrendDaySamples = 86400;
inline constexpr std::size_t kTrendRingCapacity = kTrendDaySamples + kTrendDaySamples / 64;

// One pixel column of a series: what the samples falling there span.
struct TrendColumn {
  std::int32_t min = 0;
  std::int32_t max = 0;
  std::int32_t first = 0;
  std::int32_t last = 0;
  std::uint8_t alarms = 0;  // bit n set: a sample in alarm state n
  bool any = false;
  bool breakBefore = false;  // its first sample is not joined to the one before
};

// One series. Times are kept as the low 32 bits of the milliseconds since 1970:
// every kept sample lies within `keepMs` of the newest, far less than 2^32 ms,
// so the difference to the newest is exact and no rebasing is ever needed.
class TrendRing {
 public:
  explicit TrendRing(std::size_t capacity = kTrendRingCapacity, std::int64_t keepMs = kTrendDayMs);

  // Times never go back: an earlier one is taken as the newest so far. Drops
  // what is older than keepMs before the new sample, and the oldest when full.
  void Append(std::int64_t ms, std::int32_t value, std::uint8_t flags);
  void Clear();

  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  std::size_t Capacity() const { return capacity_; }
  // Bytes this ring holds once it has taken its first sample.
  std::size_t Bytes() const;
  // Logical index: 0 is the oldest kept sample.
  std::int64_t TimeAt(std::size_t i) const {
    return newestMs_ - std::int64_t(std::uint32_t(newestLow_ - times_[Physical(i)]));
  }
  std::int32_t ValueAt(std::size_t i) const { return values_[Physical(i)]; }
  std::uint8_t FlagsAt(std::size_t i) const { return flags_[Physical(i)]; }
  std::int64_t NewestMs() const { return newestMs_; }
  // First index whose time is at or after ms (Size() when none), searching
  // forward from `from`, which must not be past the answer.
  std::size_t LowerBound(std::int64_t ms, std::size_t from = 0) const;

  // The samples [first, last) as at most two runs of physical storage.
  struct Runs {
    std::span<const std::int32_t> values[2];
    std::span<const std::uint8_t> flags[2];
  };
  Runs RunsOf(std::size_t first, std::size_t last) const;

  // The minimum, maximum and, when asked for, alarm states of the samples
  // [first, last), which must not be empty, into those fields of `column`.
  void SpanInto(std::size_t first, std::size_t last, bool alarms, TrendColumn& column) const;

  // Samples a block summary covers: a column at the 24 h span reads a few
  // summaries and its two edges instead of every sample.
  static constexpr std::size_t kBlock = 8;

 private:
  std::size_t Physical(std::size_t i) const {
    const std::size_t at = head_ + i;
    return at < capacity_ ? at : at - capacity_;
  }
  void DropOldest();

  std::size_t capacity_;
  std::int64_t keepMs_;
  // Allocated on the first sample, whole: no copy while the tick appends.
  std::unique_ptr<std::uint32_t[]> times_;
  std::unique_ptr<std::int32_t[]> values_;
  std::unique_ptr<std::uint8_t[]> flags_;
  // Per block of kBlock physical slots: what has been written to it since its
  // first slot was. Read only for a block whose slots are all kept, in order.
  struct Block {
    std::int32_t min;
    std::int32_t max;
  };
  std::unique_ptr<Block[]> blocks_;
  std::unique_ptr<std::uint8_t[]> blockAlarms_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
  std::int64_t newestMs_ = 0;
  std::uint32_t newestLow_ = 0;
};

// The series of the page, in the order of their check boxes.
enum class TrendKind : std::uint8_t { Analog, Current, Level, Digital };
struct TrendSeriesInfo {
  TrendKind kind;
  int input;  // 0-based input, coil or 0
};
inline constexpr int kTrendAnalogValues = 0;    // 8 values ("AI1"...)
inline constexpr int kTrendCurrents = 8;        // 8 currents in mA or mV
inline constexpr int kTrendSignal = 16;         // "Señal", dB
inline constexpr int kTrendSupply = 17;         // supply, mV stored, shown in V
inline constexpr int kTrendDigitalInputs = 18;  // 16 inputs
inline constexpr int kTrendRelays = 34;         // 2 relays
inline constexpr int kTrendSeriesCount = 36;
TrendSeriesInfo TrendSeries(int series);

class TrendStore {
 public:
  explicit TrendStore(std::size_t capacity = kTrendRingCapacity, std::int64_t keepMs = kTrendDayMs);

  // The receiver's tick: constant time.
  void Append(int series, std::int64_t ms, std::int32_t value, std::uint8_t flags = 0);
  // The link went quiet or away: the next sample of every series starts anew.
  void Break() { breakPending_ = kAllSeries; }
  void Clear();

  const TrendRing& Ring(int series) const { return rings_[std::size_t(series)]; }
  // Oldest and newest time over all series; nothing while empty.
  std::optional<std::int64_t> OldestMs() const;
  std::optional<std::int64_t> NewestMs() const;
  // Count of changes since it was built: appends and clears.
  std::uint64_t Version() const { return version_; }
  // Bumped by Clear only, so a job walking the samples knows they went.
  std::uint64_t Generation() const { return generation_; }
  std::size_t Bytes() const;

  // The alarm limits of an analog input as its block was last read.
  struct Limits {
    std::int32_t low = 0;
    std::int32_t high = 0;
  };
  void SetLimits(int input, Limits limits);
  const std::optional<Limits>& LimitsOf(int input) const { return limits_[std::size_t(input)]; }

 private:
  static constexpr std::uint64_t kAllSeries = (std::uint64_t(1) << kTrendSeriesCount) - 1;
  std::vector<TrendRing> rings_;
  std::array<std::optional<Limits>, 8> limits_{};
  std::uint64_t breakPending_ = 0;
  std::uint64_t version_ = 0;
  std::uint64_t generation_ = 0;
};

// Min/max of the samples in each of `columns` equal slices of [fromMs, toMs).
// `before` gets the last sample ahead of the range, if any, so the line can
// come in from the left edge. Alarm states are gathered only when asked for.
void DecimateTrend(const TrendRing& ring, std::int64_t fromMs, std::int64_t toMs, int columns,
                   std::vector<TrendColumn>& out, std::optional<std::int32_t>* before = nullptr,
                   bool alarms = false);

// The sample in force at ms: the last one at or before it. Index into the ring.
std::optional<std::size_t> TrendSampleAt(const TrendRing& ring, std::int64_t ms);
