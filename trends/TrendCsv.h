// The trend export: a header, then one row per moment a value changed, each
// with every series' value in force then. Written a slice at a time straight
// to the device, so a day of samples never becomes one big text.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

#include "trends/TrendStore.h"

class QIODevice;

// "2026-12-10T14:03:07.250-03:00": local time with its offset, milliseconds.
QByteArray TrendCsvTime(std::int64_t ms);

class TrendCsvWriter {
 public:
  // columns: the series' names, in series order. Takes what the store holds
  // up to its newest sample at this moment.
  TrendCsvWriter(const TrendStore& store, const QStringList& columns, QIODevice& out);

  // Goes on for at most `moments` moments of the samples; false once the
  // export has ended (Done() or Failed()).
  bool Step(int moments);
  bool Done() const { return done_; }
  // A write failed, or the store was emptied under the export.
  bool Failed() const { return failed_; }
  std::int64_t Rows() const { return rows_; }

 private:
  bool Write(const QByteArray& bytes);

  const TrendStore& store_;
  QIODevice& out_;
  std::uint64_t generation_;
  std::optional<std::int64_t> endMs_;
  std::optional<std::int64_t> lastMs_;  // the moment written up to
  std::array<std::optional<std::int32_t>, kTrendSeriesCount> held_{};
  std::int64_t rows_ = 0;
  bool done_ = false;
  bool failed_ = false;
};
