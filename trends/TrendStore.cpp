#include "trends/TrendStore.h"

#include <algorithm>

TrendRing::TrendRing(std::size_t capacity, std::int64_t keepMs)
    : capacity_(std::max<std::size_t>(capacity, 1)), keepMs_(keepMs) {}

namespace {
std::size_t BlocksFor(std::size_t capacity) {
  return (capacity + TrendRing::kBlock - 1) / TrendRing::kBlock;
}
std::uint8_t AlarmBit(std::uint8_t flags) {
  return std::uint8_t(1u << (flags & trendflag::kAlarmMask));
}
}  // namespace

std::size_t TrendRing::Bytes() const {
  return capacity_ * (sizeof(std::uint32_t) + sizeof(std::int32_t) + sizeof(std::uint8_t)) +
         BlocksFor(capacity_) * (sizeof(Block) + sizeof(std::uint8_t));
}

void TrendRing::Append(std::int64_t ms, std::int32_t value, std::uint8_t flags) {
  if (!times_) {
    // Pages are only touched as samples arrive; no zeroing of the whole day.
    times_ = std::make_unique_for_overwrite<std::uint32_t[]>(capacity_);
    values_ = std::make_unique_for_overwrite<std::int32_t[]>(capacity_);
    flags_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity_);
    // Writes go on from slot to slot and start over at slot 0, so every
    // block's first slot is written, and its summary set, before the rest.
    blocks_ = std::make_unique_for_overwrite<Block[]>(BlocksFor(capacity_));
    blockAlarms_ = std::make_unique_for_overwrite<std::uint8_t[]>(BlocksFor(capacity_));
  }
  if (size_ > 0 && ms < newestMs_) ms = newestMs_;
  newestMs_ = ms;
  newestLow_ = std::uint32_t(std::uint64_t(ms));
  // At most a sample or two go per append at the unit's pace; a jump ahead
  // (a replay after a pause) drops more, each once.
  while (size_ > 0 && TimeAt(0) < ms - keepMs_) DropOldest();
  if (size_ == capacity_) DropOldest();
  const std::size_t at = Physical(size_);
  times_[at] = newestLow_;
  values_[at] = value;
  flags_[at] = flags;
  Block& block = blocks_[at / kBlock];
  std::uint8_t& alarms = blockAlarms_[at / kBlock];
  if (at % kBlock == 0) {
    block = {value, value};
    alarms = AlarmBit(flags);
  } else {
    block.min = std::min(block.min, value);
    block.max = std::max(block.max, value);
    alarms |= AlarmBit(flags);
  }
  ++size_;
}

void TrendRing::DropOldest() {
  head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
  --size_;
}

void TrendRing::Clear() {
  head_ = size_ = 0;
  newestMs_ = 0;
  newestLow_ = 0;
}

std::size_t TrendRing::LowerBound(std::int64_t ms, std::size_t from) const {
  // Gallop forward from `from`, then halve: the next column's boundary is
  // usually a few dozen samples on.
  std::size_t low = from;
  if (low >= size_ || TimeAt(low) >= ms) return low;
  std::size_t step = 1;
  std::size_t high = low + step;
  while (high < size_ && TimeAt(high) < ms) {
    low = high;
    step *= 2;
    high = low + step;
  }
  high = std::min(high, size_);
  // TimeAt(low) < ms; TimeAt(high) >= ms or high == size_.
  while (high - low > 1) {
    const std::size_t mid = low + (high - low) / 2;
    if (TimeAt(mid) < ms)
      low = mid;
    else
      high = mid;
  }
  return high;
}

TrendRing::Runs TrendRing::RunsOf(std::size_t first, std::size_t last) const {
  Runs runs;
  if (first >= last) return runs;
  const std::size_t start = Physical(first);
  const std::size_t count = last - first;
  const std::size_t head = std::min(count, capacity_ - start);
  runs.values[0] = {values_.get() + start, head};
  runs.flags[0] = {flags_.get() + start, head};
  if (head < count) {
    runs.values[1] = {values_.get(), count - head};
    runs.flags[1] = {flags_.get(), count - head};
  }
  return runs;
}

void TrendRing::SpanInto(std::size_t first, std::size_t last, bool alarms,
                         TrendColumn& column) const {
  std::int32_t low = ValueAt(first);
  std::int32_t high = low;
  std::uint8_t states = 0;
  const Runs runs = RunsOf(first, last);
  for (const std::span<const std::int32_t>& run : runs.values) {
    if (run.empty()) continue;
    // A block wholly inside one run has all its slots kept and written in
    // order since its first, so its summary is exactly theirs.
    std::size_t at = std::size_t(run.data() - values_.get());
    const std::size_t end = at + run.size();
    const std::size_t aligned = std::min(end, (at + kBlock - 1) / kBlock * kBlock);
    for (; at < aligned; ++at) {
      low = std::min(low, values_[at]);
      high = std::max(high, values_[at]);
      if (alarms) states |= AlarmBit(flags_[at]);
    }
    for (; at + kBlock <= end; at += kBlock) {
      low = std::min(low, blocks_[at / kBlock].min);
      high = std::max(high, blocks_[at / kBlock].max);
      if (alarms) states |= blockAlarms_[at / kBlock];
    }
    for (; at < end; ++at) {
      low = std::min(low, values_[at]);
      high = std::max(high, values_[at]);
      if (alarms) states |= AlarmBit(flags_[at]);
    }
  }
  // Stored field by field: a struct handed back whole cost a stall a column.
  column.min = low;
  column.max = high;
  column.alarms = states;
}

TrendSeriesInfo TrendSeries(int series) {
  if (series < kTrendCurrents) return {TrendKind::Analog, series - kTrendAnalogValues};
  if (series < kTrendSignal) return {TrendKind::Current, series - kTrendCurrents};
  if (series < kTrendDigitalInputs) return {TrendKind::Level, series - kTrendSignal};
  if (series < kTrendRelays) return {TrendKind::Digital, series - kTrendDigitalInputs};
  return {TrendKind::Digital, series - kTrendRelays};
}

TrendStore::TrendStore(std::size_t capacity, std::int64_t keepMs) {
  rings_.reserve(kTrendSeriesCount);
  for (int s = 0; s < kTrendSeriesCount; ++s) rings_.emplace_back(capacity, keepMs);
}

void TrendStore::Append(int series, std::int64_t ms, std::int32_t value, std::uint8_t flags) {
  const std::uint64_t bit = std::uint64_t(1) << series;
  if (breakPending_ & bit) {
    flags |= trendflag::kBreak;
    breakPending_ &= ~bit;
  }
  rings_[std::size_t(series)].Append(ms, value, flags);
  ++version_;
}

void TrendStore::Clear() {
  for (TrendRing& ring : rings_) ring.Clear();
  breakPending_ = 0;
  ++version_;
  ++generation_;
}

std::optional<std::int64_t> TrendStore::OldestMs() const {
  std::optional<std::int64_t> oldest;
  for (const TrendRing& ring : rings_)
    if (!ring.Empty()) oldest = std::min(oldest.value_or(ring.TimeAt(0)), ring.TimeAt(0));
  return oldest;
}

std::optional<std::int64_t> TrendStore::NewestMs() const {
  std::optional<std::int64_t> newest;
  for (const TrendRing& ring : rings_)
    if (!ring.Empty()) newest = std::max(newest.value_or(ring.NewestMs()), ring.NewestMs());
  return newest;
}

std::size_t TrendStore::Bytes() const {
  std::size_t bytes = sizeof *this + rings_.capacity() * sizeof(TrendRing);
  for (const TrendRing& ring : rings_) bytes += ring.Bytes();
  return bytes;
}

void TrendStore::SetLimits(int input, Limits limits) {
  limits_[std::size_t(input)] = limits;
  ++version_;
}

void DecimateTrend(const TrendRing& ring, std::int64_t fromMs, std::int64_t toMs, int columns,
                   std::vector<TrendColumn>& out, std::optional<std::int32_t>* before,
                   bool alarms) {
  out.assign(std::size_t(std::max(columns, 0)), TrendColumn{});
  if (before) before->reset();
  if (columns <= 0 || toMs <= fromMs || ring.Empty()) return;
  std::size_t at = ring.LowerBound(fromMs);
  if (before && at > 0) *before = ring.ValueAt(at - 1);
  const std::int64_t width = toMs - fromMs;
  std::size_t expected = 0;  // samples in the last column, most likely the next one's count
  for (int c = 0; c < columns && at < ring.Size(); ++c) {
    // Integer boundaries, so every sample falls in exactly one column.
    const std::int64_t end = fromMs + (width * (c + 1)) / columns;
    std::size_t stop = std::min(at + expected, ring.Size());
    // Samples come at a steady pace: the guess is right or a step or two off.
    if (stop > at && ring.TimeAt(stop - 1) >= end)
      stop = ring.LowerBound(end, at);
    else
      for (int step = 0; step < 3 && stop < ring.Size() && ring.TimeAt(stop) < end; ++step) ++stop;
    if (stop < ring.Size() && ring.TimeAt(stop) < end) stop = ring.LowerBound(end, stop);
    expected = stop - at;
    if (stop == at) continue;
    TrendColumn& column = out[std::size_t(c)];
    column.any = true;
    column.first = ring.ValueAt(at);
    column.last = ring.ValueAt(stop - 1);
    column.breakBefore = (ring.FlagsAt(at) & trendflag::kBreak) != 0;
    ring.SpanInto(at, stop, alarms, column);
    at = stop;
  }
}

std::optional<std::size_t> TrendSampleAt(const TrendRing& ring, std::int64_t ms) {
  const std::size_t after = ring.LowerBound(ms + 1);
  if (after == 0) return std::nullopt;
  return after - 1;
}
