#include "trends/TrendChart.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QLine>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kLeftMargin = 64;
constexpr int kRightMargin = 10;
constexpr int kTopMargin = 8;
constexpr int kLaneHeight = 12;
constexpr int kLaneGap = 2;
constexpr std::int64_t kMaxSpanMs = kTrendDayMs;
const QColor kAlarmMark(0xD7, 0x25, 0x0E, 110);  // the page's red-orange, see-through

bool IsLane(int series) { return TrendSeries(series).kind == TrendKind::Digital; }

// What an analog sample is worth on the axis.
double Scaled(int series, std::int32_t value) {
  return series == kTrendSupply ? value / 1000.0 : double(value);
}

const char* AlarmText(std::uint8_t flags) {
  switch (TrendAlarm(flags & trendflag::kAlarmMask)) {
    case TrendAlarm::Bajo:
      return "Bajo";
    case TrendAlarm::Alto:
      return "Alto";
    case TrendAlarm::Ausente:
      return "Ausente";
    default:
      return nullptr;
  }
}

std::int64_t NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

// The image under the painter when its pixels can be written directly: a
// plain 32-bit image, painted one to one.
QImage* PlainImage(QPainter& painter) {
  QPaintDevice* device = painter.device();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  const QImage::Format format = image->format();
  if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
      format != QImage::Format_ARGB32_Premultiplied)
    return nullptr;
  if (image->devicePixelRatio() != 1.0 || painter.deviceTransform().type() != QTransform::TxNone)
    return nullptr;
  return image;
}

// A day of columns is tens of thousands of one-pixel-wide vertical lines, and
// a busy lane as many short level ones: on a plain image they are written
// straight into its pixels, the rest is drawn.
void DrawColumnLines(QPainter& painter, std::vector<QLine>& lines, const QColor& colour,
                     const QRect& clip) {
  if (QImage* image = PlainImage(painter)) {
    const QRect bounds = clip & image->rect();
    const QRgb pixel = colour.rgb();
    uchar* const bits = image->bits();
    const qsizetype stride = image->bytesPerLine();
    auto kept = lines.begin();
    for (const QLine& line : lines) {
      if (line.x1() == line.x2()) {
        const int x = line.x1();
        if (x < bounds.left() || x > bounds.right()) continue;
        const int top = std::max(std::min(line.y1(), line.y2()), bounds.top());
        const int bottom = std::min(std::max(line.y1(), line.y2()), bounds.bottom());
        for (int y = top; y <= bottom; ++y) reinterpret_cast<QRgb*>(bits + y * stride)[x] = pixel;
      } else if (line.y1() == line.y2()) {
        const int y = line.y1();
        if (y < bounds.top() || y > bounds.bottom()) continue;
        const int left = std::max(std::min(line.x1(), line.x2()), bounds.left());
        const int right = std::min(std::max(line.x1(), line.x2()), bounds.right());
        QRgb* const row = reinterpret_cast<QRgb*>(bits + y * stride);
        for (int x = left; x <= right; ++x) row[x] = pixel;
      } else {
        *kept++ = line;
      }
    }
    lines.erase(kept, lines.end());
  }
  painter.save();
  painter.setClipRect(clip);
  painter.setPen(QPen(colour, 1));
  painter.drawLines(lines.data(), int(lines.size()));
  painter.restore();
}

// Tick steps of the time axis, the smallest that leaves room for a label.
constexpr std::int64_t kSteps[] = {1000,    2000,    5000,     10000,    15000,    30000,
                                   60000,   120000,  300000,   600000,   900000,   1800000,
                                   3600000, 7200000, 10800000, 21600000, 43200000, 86400000};
}  // namespace

QColor TrendColour(int series) {
  // Analog values in strong colours, their currents the same hue paler.
  static const QColor analog[8] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                   QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd),
                                   QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
                                   QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
  const TrendSeriesInfo info = TrendSeries(series);
  switch (info.kind) {
    case TrendKind::Analog:
      return analog[info.input];
    case TrendKind::Current:
      return analog[info.input].lighter(150);
    case TrendKind::Level:
      return series == kTrendSignal ? QColor(0x7f, 0x7f, 0x7f) : QColor(0xbc, 0xbd, 0x22);
    case TrendKind::Digital:
      return series >= kTrendRelays ? QColor(0xd6, 0x27, 0x28) : QColor(0x00, 0x80, 0x00);
  }
  return Qt::black;
}

QString TrendValueText(int series, std::int32_t value) {
  if (series == kTrendSupply) {
    const char* sign = value < 0 ? "-" : "";
    const std::int64_t v = std::abs(std::int64_t(value));
    return QString("%1%2.%3").arg(sign).arg(v / 1000).arg(v % 1000, 3, 10, QChar('0'));
  }
  return QString::number(value);
}

TrendChart::TrendChart(const TrendStore& store, QWidget* parent) : QWidget(parent), store_(store) {
  setObjectName("trendChart");
  setMouseTracking(true);
  setMinimumSize(400, 200);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::WheelFocus);
}

void TrendChart::ShowSeries(int series, bool shown) {
  shown_[std::size_t(series)] = shown;
  update();
}

void TrendChart::SetCaption(int series, const QString& caption) {
  captions_[std::size_t(series)] = caption;
  update();
}

std::pair<std::int64_t, std::int64_t> TrendChart::ViewRange() const {
  std::int64_t end = endMs_;
  if (following_) end = store_.NewestMs().value_or(NowMs()) + 1;
  return {end - widthMs_, end};
}

void TrendChart::SetSpan(std::int64_t ms) {
  const std::int64_t end = ViewRange().second;
  widthMs_ = std::clamp(ms, kMinSpanMs, kMaxSpanMs);
  if (!following_) endMs_ = end;
  update();
}

void TrendChart::Follow() {
  if (!following_) {
    following_ = true;
    emit followingChanged(true);
  }
  update();
}

void TrendChart::StopFollowing() {
  if (!following_) return;
  endMs_ = ViewRange().second;
  following_ = false;
  emit followingChanged(false);
}

void TrendChart::ZoomTo(std::int64_t fromMs, std::int64_t toMs) {
  if (toMs < fromMs) std::swap(fromMs, toMs);
  StopFollowing();
  widthMs_ = std::clamp(toMs - fromMs, kMinSpanMs, kMaxSpanMs);
  endMs_ = fromMs + widthMs_;
  update();
}

void TrendChart::ZoomAround(std::int64_t centreMs, double factor) {
  const auto [from, to] = ViewRange();
  const std::int64_t width =
      std::clamp(std::int64_t(double(to - from) * factor), kMinSpanMs, kMaxSpanMs);
  // The time under the mouse stays under the mouse.
  const double at = to > from ? double(centreMs - from) / double(to - from) : 1.0;
  const std::int64_t newFrom = centreMs - std::int64_t(at * double(width));
  ZoomTo(newFrom, newFrom + width);
}

void TrendChart::ScrollBy(std::int64_t ms) {
  StopFollowing();
  endMs_ += ms;
  // Not beyond what is kept, on either side.
  if (const auto newest = store_.NewestMs()) {
    const std::int64_t first = *store_.OldestMs() + kMinSpanMs;
    endMs_ = std::clamp(endMs_, first, std::max(first, *newest + widthMs_ / 2));
  }
  update();
}

void TrendChart::SetCursorTime(std::optional<std::int64_t> ms) {
  cursorMs_ = ms;
  update();
}

QString TrendChart::ValueText(int series, std::size_t index) const {
  const TrendRing& ring = store_.Ring(series);
  const std::int32_t value = ring.ValueAt(index);
  const std::uint8_t flags = ring.FlagsAt(index);
  QString text = TrendValueText(series, value);
  const TrendSeriesInfo info = TrendSeries(series);
  if (info.kind == TrendKind::Current) text += (flags & trendflag::kMilliamps) ? " mA" : " mV";
  if (series == kTrendSupply) text += " V";
  if (series == kTrendSignal) text += " dB";
  if (info.kind == TrendKind::Digital) text = value ? "ON" : "OFF";
  if (const char* alarm = AlarmText(flags)) text += QString(" (%1)").arg(alarm);
  return text;
}

QStringList TrendChart::CursorReadout() const {
  QStringList lines;
  if (!cursorMs_) return lines;
  lines << QDateTime::fromMSecsSinceEpoch(*cursorMs_).toString("dd/MM/yyyy HH:mm:ss.zzz");
  for (int s = 0; s < kTrendSeriesCount; ++s) {
    if (!shown_[std::size_t(s)]) continue;
    if (const auto index = TrendSampleAt(store_.Ring(s), *cursorMs_))
      lines << captions_[std::size_t(s)] + ": " + ValueText(s, *index);
  }
  return lines;
}

TrendChart::Layout TrendChart::LayoutFor(const QRect& area) const {
  Layout layout;
  const int axis = QFontMetrics(font()).height() + 8;
  const QRect inner = area.adjusted(kLeftMargin, kTopMargin, -kRightMargin, -axis);
  for (int s = 0; s < kTrendSeriesCount; ++s)
    if (shown_[std::size_t(s)] && IsLane(s)) layout.laneSeries.push_back(s);
  bool analog = false;
  for (int s = 0; s < kTrendSeriesCount; ++s)
    analog = analog || (shown_[std::size_t(s)] && !IsLane(s));
  const int lanes = int(layout.laneSeries.size());
  layout.laneHeight = kLaneHeight;
  int lanesHeight = lanes * (kLaneHeight + kLaneGap);
  if (!analog && lanes > 0) {
    layout.laneHeight = std::clamp(inner.height() / lanes - kLaneGap, kLaneHeight, 40);
    lanesHeight = lanes * (layout.laneHeight + kLaneGap);
  }
  // The analog plot keeps at least half of the room.
  if (analog && lanesHeight > inner.height() / 2) {
    layout.laneHeight = std::max(3, inner.height() / 2 / std::max(lanes, 1) - kLaneGap);
    lanesHeight = lanes * (layout.laneHeight + kLaneGap);
  }
  layout.plot = QRect(inner.left(), inner.top(), inner.width(), inner.height() - lanesHeight);
  layout.lanes = QRect(inner.left(), layout.plot.bottom() + 1, inner.width(), lanesHeight);
  return layout;
}

QRect TrendChart::PlotRect(const QRect& area) const {
  const Layout layout = LayoutFor(area);
  return layout.plot.united(layout.lanes);
}

std::int64_t TrendChart::TimeAtX(int x) const {
  const QRect plot = PlotRect(rect());
  const auto [from, to] = ViewRange();
  const double at = plot.width() > 0 ? double(x - plot.left()) / plot.width() : 0;
  return from + std::int64_t(at * double(to - from));
}

void TrendChart::Render(QPainter& painter, const QRect& area) const {
  painter.save();
  painter.fillRect(area, Qt::white);
  painter.setFont(font());
  const Layout layout = LayoutFor(area);
  const auto [from, to] = ViewRange();
  const int columns = std::max(1, layout.plot.width());
  const QRect full = layout.plot.united(layout.lanes);
  painter.setPen(QColor(0xc0, 0xc0, 0xc0));
  painter.drawRect(full.adjusted(0, 0, -1, -1));

  // The analog axis spans what the shown series reach, and their limits.
  struct Shown {
    int series;
    std::vector<TrendColumn> columns;
    std::optional<std::int32_t> before;
  };
  std::vector<Shown> analog;
  double low = INFINITY;
  double high = -INFINITY;
  for (int s = 0; s < kTrendSeriesCount; ++s) {
    if (!shown_[std::size_t(s)] || IsLane(s)) continue;
    Shown shown{s, {}, {}};
    DecimateTrend(store_.Ring(s), from, to, columns, shown.columns, &shown.before,
                  TrendSeries(s).kind == TrendKind::Analog);
    for (const TrendColumn& c : shown.columns) {
      if (!c.any) continue;
      low = std::min(low, Scaled(s, c.min));
      high = std::max(high, Scaled(s, c.max));
    }
    if (TrendSeries(s).kind == TrendKind::Analog)
      if (const auto& limits = store_.LimitsOf(TrendSeries(s).input)) {
        low = std::min({low, double(limits->low), double(limits->high)});
        high = std::max({high, double(limits->low), double(limits->high)});
      }
    analog.push_back(std::move(shown));
  }
  if (!(low <= high)) {
    low = 0;
    high = 1;
  }
  if (high - low < 1e-9) {
    low -= 1;
    high += 1;
  }
  const double pad = (high - low) * 0.05;
  low -= pad;
  high += pad;
  const QRect plot = layout.plot;
  const auto yOf = [&](double v) {
    return plot.bottom() - int(std::lround((v - low) / (high - low) * (plot.height() - 1)));
  };

  // Value axis: a few round numbers.
  if (!analog.empty() && plot.height() > 20) {
    const double raw = (high - low) / std::max(2, plot.height() / 40);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude;
    for (const double m : {1.0, 2.0, 5.0, 10.0})
      if (m * magnitude >= raw) {
        step = m * magnitude;
        break;
      }
    const QFontMetrics metrics(font());
    for (double v = std::ceil(low / step) * step; v <= high; v += step) {
      const int y = yOf(v);
      painter.setPen(QColor(0xe8, 0xe8, 0xe8));
      painter.drawLine(plot.left() + 1, y, plot.right() - 1, y);
      painter.setPen(Qt::black);
      const QString label = QString::number(v, 'g', 6);
      painter.drawText(
          QRect(area.left(), y - metrics.height() / 2, kLeftMargin - 6, metrics.height()),
          Qt::AlignRight | Qt::AlignVCenter, label);
    }
  }
  DrawTimeAxis(painter, full, from, to);

  std::vector<QLine> lines;
  lines.reserve(std::size_t(columns) * 2 + 2);
  painter.setClipRect(plot);
  // Alarm states first, under the lines they mark.
  for (const Shown& shown : analog) {
    if (TrendSeries(shown.series).kind != TrendKind::Analog) continue;
    lines.clear();
    constexpr std::uint8_t kInAlarm = (1u << std::uint8_t(TrendAlarm::Bajo)) |
                                      (1u << std::uint8_t(TrendAlarm::Alto)) |
                                      (1u << std::uint8_t(TrendAlarm::Ausente));
    for (int c = 0; c < columns; ++c) {
      const TrendColumn& col = shown.columns[std::size_t(c)];
      if (!col.any || !(col.alarms & kInAlarm)) continue;
      const int x = plot.left() + c;
      lines.emplace_back(x, yOf(Scaled(shown.series, col.max)) - 3, x,
                         yOf(Scaled(shown.series, col.min)) + 3);
    }
    if (lines.empty()) continue;
    painter.setPen(QPen(kAlarmMark, 5));
    painter.drawLines(lines.data(), int(lines.size()));
  }
  // Limits, dashed, in the colour of their input.
  for (const Shown& shown : analog) {
    if (TrendSeries(shown.series).kind != TrendKind::Analog) continue;
    const auto& limits = store_.LimitsOf(TrendSeries(shown.series).input);
    if (!limits) continue;
    painter.setPen(QPen(TrendColour(shown.series), 1, Qt::DashLine));
    for (const std::int32_t limit : {limits->low, limits->high}) {
      const int y = yOf(limit);
      painter.drawLine(plot.left() + 1, y, plot.right() - 1, y);
    }
  }

  // Joins each column to the last one that had samples, then spans its own
  // minimum to maximum.
  const auto trace = [&](int series, const std::vector<TrendColumn>& cols,
                         std::optional<std::int32_t> before) {
    lines.clear();
    std::optional<int> lastX;
    std::optional<std::int32_t> lastValue = before;
    if (before) lastX = plot.left();
    const auto y = [&](std::int32_t v) { return yOf(Scaled(series, v)); };
    for (int c = 0; c < columns; ++c) {
      const TrendColumn& col = cols[std::size_t(c)];
      if (!col.any) continue;
      const int x = plot.left() + c;
      const bool joined = lastX && lastValue && !col.breakBefore;
      if (joined && *lastX == x - 1) {
        // Next to the last column: one line from there to this column's range.
        lines.emplace_back(x, y(std::max(col.max, *lastValue)), x,
                           y(std::min(col.min, *lastValue)));
      } else {
        if (joined) lines.emplace_back(*lastX, y(*lastValue), x, y(col.first));
        // A flat column is already drawn by its join.
        if (!joined || col.min != col.max) lines.emplace_back(x, y(col.max), x, y(col.min));
      }
      lastX = x;
      lastValue = col.last;
    }
    DrawColumnLines(painter, lines, TrendColour(series), plot);
  };
  // Lanes change seldom: one line per level held, one per change.
  const auto steps = [&](int series, const std::vector<TrendColumn>& cols,
                         std::optional<std::int32_t> before, const QRect& lane) {
    lines.clear();
    const auto y = [&](std::int32_t v) { return v ? lane.top() + 1 : lane.bottom() - 1; };
    std::optional<int> runX;  // where the level now held started
    std::optional<std::int32_t> level = before;
    int lastX = plot.left();
    if (before) runX = plot.left();
    const auto endRun = [&](int x) {
      if (runX && level) lines.emplace_back(*runX, y(*level), x, y(*level));
    };
    for (int c = 0; c < columns; ++c) {
      const TrendColumn& col = cols[std::size_t(c)];
      if (!col.any) continue;
      const int x = plot.left() + c;
      const bool joined = runX && level && !col.breakBefore;
      if (joined && col.min == col.max && col.first == *level) {
        lastX = x;
        continue;
      }
      if (joined) {
        endRun(x);
        if (col.first != *level) lines.emplace_back(x, y(*level), x, y(col.first));
      } else {
        endRun(lastX);
      }
      if (col.min != col.max) lines.emplace_back(x, y(col.max), x, y(col.min));
      runX = x;
      level = col.last;
      lastX = x;
    }
    endRun(lastX);
    DrawColumnLines(painter, lines, TrendColour(series), lane);
  };
  painter.setClipping(false);
  for (const Shown& shown : analog) trace(shown.series, shown.columns, shown.before);

  // Lanes: low at the bottom of the lane, high at its top.
  int top = layout.lanes.top() + kLaneGap;
  const QFontMetrics metrics(font());
  for (const int s : layout.laneSeries) {
    const QRect lane(plot.left(), top, plot.width(), layout.laneHeight);
    painter.fillRect(lane, QColor(0xf6, 0xf6, 0xf6));
    if (layout.laneHeight >= metrics.height() - 4) {
      painter.setPen(Qt::black);
      painter.drawText(QRect(area.left(), top, kLeftMargin - 6, layout.laneHeight),
                       Qt::AlignRight | Qt::AlignVCenter, captions_[std::size_t(s)]);
    }
    std::optional<std::int32_t> before;
    DecimateTrend(store_.Ring(s), from, to, columns, columns_, &before);
    steps(s, columns_, before, lane);
    top += layout.laneHeight + kLaneGap;
  }

  if (dragFromX_ && dragToX_) {
    const int left = std::min(*dragFromX_, *dragToX_);
    const int right = std::max(*dragFromX_, *dragToX_);
    painter.fillRect(QRect(left, full.top(), right - left, full.height()), QColor(0, 0, 255, 40));
  }
  DrawCursor(painter, layout, from, to);
  painter.restore();
}

void TrendChart::DrawTimeAxis(QPainter& painter, const QRect& plot, std::int64_t from,
                              std::int64_t to) const {
  const QFontMetrics metrics(font());
  const int labelWidth = metrics.horizontalAdvance("00:00:00") + 16;
  const double msPerPixel = double(to - from) / std::max(1, plot.width());
  std::int64_t step = kSteps[std::size(kSteps) - 1];
  for (const std::int64_t candidate : kSteps)
    if (double(candidate) / msPerPixel >= labelWidth) {
      step = candidate;
      break;
    }
  const bool seconds = step < 60000;
  // Round steps in local time, not in UTC.
  const std::int64_t offset =
      std::int64_t(QDateTime::fromMSecsSinceEpoch(from).offsetFromUtc()) * 1000;
  std::int64_t t = ((from + offset) / step) * step - offset;
  if (t < from) t += step;
  for (; t < to; t += step) {
    const int x = plot.left() + int(double(t - from) / msPerPixel);
    painter.setPen(QColor(0xe8, 0xe8, 0xe8));
    painter.drawLine(x, plot.top() + 1, x, plot.bottom() - 1);
    painter.setPen(Qt::black);
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(t);
    QString label = local.toString(seconds ? "HH:mm:ss" : "HH:mm");
    if (local.time().msecsSinceStartOfDay() == 0) label = local.toString("dd/MM");
    painter.drawText(QRect(x - labelWidth / 2, plot.bottom() + 4, labelWidth, metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, label);
  }
}

void TrendChart::DrawCursor(QPainter& painter, const Layout& layout, std::int64_t from,
                            std::int64_t to) const {
  if (!cursorMs_ || *cursorMs_ < from || *cursorMs_ >= to) return;
  const QRect full = layout.plot.united(layout.lanes);
  const int x = full.left() + int(double(*cursorMs_ - from) / double(to - from) * full.width());
  painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
  painter.drawLine(x, full.top(), x, full.bottom());
  const QStringList readout = CursorReadout();
  const QFontMetrics metrics(font());
  int width = 0;
  for (const QString& line : readout) width = std::max(width, metrics.horizontalAdvance(line));
  const int height = int(readout.size()) * metrics.lineSpacing() + 8;
  QRect box(x + 8, full.top() + 4, width + 12, height);
  if (box.right() > full.right()) box.moveRight(x - 8);
  painter.setPen(Qt::black);
  painter.setBrush(QColor(255, 255, 255, 230));
  painter.drawRect(box);
  painter.setBrush(Qt::NoBrush);
  int y = box.top() + 4;
  for (int i = 0; i < readout.size(); ++i) {
    // Each series' line in its own colour, the time in black.
    if (i > 0) {
      for (int s = 0; s < kTrendSeriesCount; ++s)
        if (shown_[std::size_t(s)] && readout[i].startsWith(captions_[std::size_t(s)] + ":"))
          painter.setPen(TrendColour(s).darker(120));
    }
    painter.drawText(QRect(box.left() + 6, y, width, metrics.lineSpacing()), Qt::AlignLeft,
                     readout[i]);
    y += metrics.lineSpacing();
  }
}

void TrendChart::paintEvent(QPaintEvent*) {
  // Drawn into an image of our own first, whose pixels the columns can be
  // written to, then shown in one go.
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = size() * ratio;
  if (frame_.size() != pixels) frame_ = QImage(pixels, QImage::Format_RGB32);
  frame_.setDevicePixelRatio(ratio);
  {
    QPainter painter(&frame_);
    Render(painter, rect());
  }
  QPainter painter(this);
  painter.drawImage(0, 0, frame_);
}

void TrendChart::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  const int x = int(event->position().x());
  if (delta.x() != 0 || (event->modifiers() & Qt::ShiftModifier)) {
    // Sideways: back and forth in time, a tenth of the view a notch.
    const int notches = (delta.x() != 0 ? delta.x() : delta.y()) / 120;
    ScrollBy(-std::int64_t(notches) * widthMs_ / 10);
  } else if (delta.y() != 0) {
    ZoomAround(TimeAtX(x), std::pow(0.8, delta.y() / 120.0));
  }
  event->accept();
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragFromX_ = int(event->position().x());
  dragToX_.reset();
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
  const int x = int(event->position().x());
  if (dragFromX_ && std::abs(x - *dragFromX_) > 3) dragToX_ = x;
  const QRect plot = PlotRect(rect());
  SetCursorTime(plot.contains(event->position().toPoint()) ? std::optional(TimeAtX(x))
                                                           : std::nullopt);
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (dragFromX_ && dragToX_) ZoomTo(TimeAtX(*dragFromX_), TimeAtX(*dragToX_));
  dragFromX_.reset();
  dragToX_.reset();
  update();
}

void TrendChart::leaveEvent(QEvent*) { SetCursorTime(std::nullopt); }
