#include "trends/TrendCsv.h"

#include <QDateTime>
#include <QIODevice>
#include <limits>

#include "trends/TrendChart.h"

QByteArray TrendCsvTime(std::int64_t ms) {
  const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
  // With its offset: the hour repeated when clocks go back stays two hours.
  return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs).toUtf8();
}

TrendCsvWriter::TrendCsvWriter(const TrendStore& store, const QStringList& columns, QIODevice& out)
    : store_(store), out_(out), generation_(store.Generation()), endMs_(store.NewestMs()) {
  QByteArray header = "Hora";
  for (const QString& column : columns) header += ',' + column.toUtf8();
  header += "\r\n";
  if (!Write(header)) return;
  if (!endMs_) done_ = true;
}

bool TrendCsvWriter::Write(const QByteArray& bytes) {
  if (out_.write(bytes) == bytes.size()) return true;
  failed_ = true;
  return false;
}

bool TrendCsvWriter::Step(int moments) {
  if (done_ || failed_) return false;
  if (store_.Generation() != generation_) {
    failed_ = true;  // "Borrar" took the samples away half-way
    return false;
  }
  // Where each series stands; found afresh, since old samples may have gone
  // from the front of the rings since the last slice.
  std::array<std::size_t, kTrendSeriesCount> at{};
  for (int s = 0; s < kTrendSeriesCount; ++s)
    at[std::size_t(s)] = lastMs_ ? store_.Ring(s).LowerBound(*lastMs_ + 1) : 0;
  QByteArray row;
  for (int m = 0; m < moments; ++m) {
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    for (int s = 0; s < kTrendSeriesCount; ++s) {
      const TrendRing& ring = store_.Ring(s);
      if (at[std::size_t(s)] < ring.Size()) next = std::min(next, ring.TimeAt(at[std::size_t(s)]));
    }
    if (next > *endMs_) {
      done_ = true;
      return false;
    }
    bool changed = false;
    for (int s = 0; s < kTrendSeriesCount; ++s) {
      const TrendRing& ring = store_.Ring(s);
      std::size_t& i = at[std::size_t(s)];
      if (i >= ring.Size() || ring.TimeAt(i) != next) continue;
      // Several samples at one moment: the last one is what held.
      while (i + 1 < ring.Size() && ring.TimeAt(i + 1) == next) ++i;
      const std::int32_t value = ring.ValueAt(i++);
      changed = changed || held_[std::size_t(s)] != value;
      held_[std::size_t(s)] = value;
    }
    lastMs_ = next;
    if (!changed) continue;
    row = TrendCsvTime(next);
    for (int s = 0; s < kTrendSeriesCount; ++s) {
      row += ',';
      if (held_[std::size_t(s)]) row += TrendValueText(s, *held_[std::size_t(s)]).toLatin1();
    }
    row += "\r\n";
    if (!Write(row)) return false;
    ++rows_;
  }
  return true;
}
