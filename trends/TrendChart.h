// The strip chart of the "Tendencias" page, drawn with QPainter: analog
// series on one scaled axis, digital inputs and relays as step lanes under
// it, local time along the bottom. Every pixel column shows the minimum and
// maximum of the samples falling there, so a one-sample spike stays visible
// at any zoom.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "trends/TrendStore.h"

QColor TrendColour(int series);

class TrendChart : public QWidget {
  Q_OBJECT

 public:
  TrendChart(const TrendStore& store, QWidget* parent);

  void ShowSeries(int series, bool shown);
  bool SeriesShown(int series) const { return shown_[std::size_t(series)]; }
  void SetCaption(int series, const QString& caption);
  const QString& Caption(int series) const { return captions_[std::size_t(series)]; }

  // The width of the view; the right edge stays, or keeps following.
  void SetSpan(std::int64_t ms);
  std::int64_t Span() const { return widthMs_; }
  // Back to the newest values at the chosen span.
  void Follow();
  bool Following() const { return following_; }
  // The time range shown: [first, second).
  std::pair<std::int64_t, std::int64_t> ViewRange() const;
  // The technician's moves; each one stops following.
  void ZoomTo(std::int64_t fromMs, std::int64_t toMs);
  void ZoomAround(std::int64_t centreMs, double factor);
  void ScrollBy(std::int64_t ms);

  void SetCursorTime(std::optional<std::int64_t> ms);
  std::optional<std::int64_t> CursorTime() const { return cursorMs_; }
  // The cursor's box: its time, then one line per shown series with a value there.
  QStringList CursorReadout() const;

  // Draws the whole chart into `area`: the widget's paint, the saved image
  // and the benchmark all come here.
  void Render(QPainter& painter, const QRect& area) const;
  // The plot's rectangle inside `area` (no axes, no labels).
  QRect PlotRect(const QRect& area) const;
  std::int64_t TimeAtX(int x) const;

  static constexpr std::int64_t kMinSpanMs = 5000;

 signals:
  void followingChanged(bool following);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  struct Layout {
    QRect plot;   // analog plot
    QRect lanes;  // step lanes
    int laneHeight = 0;
    std::vector<int> laneSeries;  // shown digital series, top to bottom
  };
  Layout LayoutFor(const QRect& area) const;
  void StopFollowing();
  void DrawTimeAxis(QPainter& painter, const QRect& plot, std::int64_t from, std::int64_t to) const;
  void DrawCursor(QPainter& painter, const Layout& layout, std::int64_t from,
                  std::int64_t to) const;
  QString ValueText(int series, std::size_t index) const;

  const TrendStore& store_;
  std::bitset<kTrendSeriesCount> shown_;
  std::array<QString, kTrendSeriesCount> captions_;
  std::int64_t widthMs_ = 10 * 60 * 1000;
  std::int64_t endMs_ = 0;  // right edge when not following
  bool following_ = true;
  std::optional<std::int64_t> cursorMs_;
  std::optional<int> dragFromX_;
  std::optional<int> dragToX_;
  mutable std::vector<TrendColumn> columns_;  // reused by every paint
  QImage frame_;
};

// Value as shown and exported: supply in volts, everything else as sent.
QString TrendValueText(int series, std::int32_t value);
