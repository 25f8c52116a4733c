#include "trends/Trends.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "app/Controls.h"

namespace {
constexpr std::int64_t kMinute = 60 * 1000;
const std::int64_t kSpans[] = {kMinute, 10 * kMinute, 60 * kMinute, 8 * 60 * kMinute,
                               24 * 60 * kMinute};
constexpr int kFirstSpan = 1;  // "10 min"
// Moments of samples per slice of an export: a few milliseconds of work, so
// the receiver's next tick is never held up for long.
constexpr int kCsvMomentsPerSlice = 2000;

QString SeriesCaption(int series) {
  const TrendSeriesInfo info = TrendSeries(series);
  switch (info.kind) {
    case TrendKind::Analog:
      return QString("AI%1").arg(info.input + 1);
    case TrendKind::Current:
      return QString("AI%1 mV").arg(info.input + 1);
    case TrendKind::Level:
      return series == kTrendSignal ? QString::fromUtf8("Señal dB") : QString("Alimentacion V");
    case TrendKind::Digital:
      return series >= kTrendRelays ? QString("Coil %1").arg(info.input + 1)
                                    : QString("DI%1").arg(info.input + 1);
  }
  return {};
}

// Where each check box goes: a row per kind, the level series at the end.
QPoint SeriesCell(int series) {
  const TrendSeriesInfo info = TrendSeries(series);
  switch (info.kind) {
    case TrendKind::Analog:
      return {info.input, 0};
    case TrendKind::Current:
      return {info.input, 1};
    case TrendKind::Level:
      return {8, series == kTrendSignal ? 0 : 1};
    case TrendKind::Digital:
      if (series >= kTrendRelays) return {8, 2 + info.input};
      return {info.input % 8, 2 + info.input / 8};
  }
  return {};
}

QIcon Swatch(const QColor& colour) {
  QPixmap pixmap(12, 12);
  pixmap.fill(colour);
  return QIcon(pixmap);
}
}  // namespace

std::int32_t TrendValue(long value) {
  return std::int32_t(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

Trends::Trends(QWidget* page) : QObject(page) {
  clock = [start = QDateTime::currentMSecsSinceEpoch(), steady = [] {
    QElapsedTimer timer;
    timer.start();
    return timer;
  }()] { return start + steady.elapsed(); };
  chart = new TrendChart(store_, page);
  spanCombo = MakeCombo("trendSpan", {"1 min", "10 min", "1 h", "8 h", "24 h"}, kFirstSpan, page);
  followButton = MakeButton("trendFollowButton", "Seguir", page);
  followButton->setEnabled(false);  // it follows already
  clearButton = MakeButton("trendClearButton", "Borrar", page);
  exportButton = MakeButton("trendExportButton", "Exportar CSV", page);
  imageButton = MakeButton("trendImageButton", "Guardar imagen", page);
  chart->SetSpan(kSpans[kFirstSpan]);

  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(6, 6, 6, 6);
  auto* top = new QHBoxLayout();
  top->addWidget(spanCombo);
  top->addWidget(followButton);
  top->addStretch(1);
  for (QPushButton* button : {clearButton, exportButton, imageButton}) top->addWidget(button);
  column->addLayout(top);
  column->addWidget(chart, 1);
  auto* grid = new QGridLayout();
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(0);
  for (int s = 0; s < kTrendSeriesCount; ++s) {
    const QString caption = SeriesCaption(s);
    QCheckBox* box = MakeCheck(QString("trendSeries%1").arg(s + 1), caption, page,
                               TrendSeries(s).kind == TrendKind::Analog);
    box->setIcon(Swatch(TrendColour(s)));
    seriesChecks[std::size_t(s)] = box;
    chart->SetCaption(s, caption);
    chart->ShowSeries(s, box->isChecked());
    const QPoint cell = SeriesCell(s);
    grid->addWidget(box, cell.y(), cell.x());
    connect(box, &QCheckBox::toggled, chart, [this, s](bool on) { chart->ShowSeries(s, on); });
  }
  column->addLayout(grid);

  exportDialog.name = "SaveDialogTendencias";
  exportDialog.kind = FileDialog::Kind::Save;
  exportDialog.fileName = "Tendencias.csv";
  exportDialog.defaultExt = ".csv";
  exportDialog.filter = "CSV|*.csv";
  imageDialog.name = "SaveDialogImagen";
  imageDialog.kind = FileDialog::Kind::Save;
  imageDialog.fileName = "Tendencias.png";
  imageDialog.defaultExt = ".png";
  imageDialog.filter = "PNG|*.png";

  // At most a frame of the screen, and only after a change.
  frame_.setSingleShot(true);
  const double rate = page->screen() ? page->screen()->refreshRate() : 60.0;
  frame_.setInterval(std::max(8, int(1000.0 / std::max(rate, 1.0))));
  connect(&frame_, &QTimer::timeout, this, &Trends::Frame);
  csvSlice_.setInterval(0);
  connect(&csvSlice_, &QTimer::timeout, this, &Trends::ExportSlice);

  connect(spanCombo, &QComboBox::currentIndexChanged, this, &Trends::SpanChosen);
  connect(followButton, &QPushButton::clicked, chart, &TrendChart::Follow);
  connect(chart, &TrendChart::followingChanged, followButton,
          [this](bool following) { followButton->setEnabled(!following); });
  connect(clearButton, &QPushButton::clicked, this, &Trends::Clear);
  connect(exportButton, &QPushButton::clicked, this, &Trends::Export);
  connect(imageButton, &QPushButton::clicked, this, &Trends::SaveImage);
}

Trends::~Trends() = default;

void Trends::Append(int series, std::int64_t ms, std::int32_t value, std::uint8_t flags) {
  store_.Append(series, ms, value, flags);
  Changed();
}

void Trends::Changed() {
  if (frameQueued_) return;
  frameQueued_ = true;
  frame_.start();
}

void Trends::Frame() {
  frameQueued_ = false;
  // A hidden page draws when it is shown.
  if (chart->isVisible()) chart->update();
}

void Trends::Analog(int input, std::optional<long> current, bool milliamps,
                    std::optional<long> value, TrendAlarm alarm, std::int64_t ms) {
  if (current)
    Append(kTrendCurrents + input, ms, TrendValue(*current), milliamps ? trendflag::kMilliamps : 0);
  if (value) Append(kTrendAnalogValues + input, ms, TrendValue(*value), std::uint8_t(alarm));
}

void Trends::Signal(long db, std::int64_t ms) { Append(kTrendSignal, ms, TrendValue(db)); }

void Trends::Supply(std::uint16_t millivolts, std::int64_t ms) {
  Append(kTrendSupply, ms, millivolts);
}

void Trends::DigitalInput(int input, bool on, std::int64_t ms) {
  Append(kTrendDigitalInputs + input, ms, on ? 1 : 0);
}

void Trends::Relay(int relay, bool on, std::int64_t ms) {
  Append(kTrendRelays + relay, ms, on ? 1 : 0);
}

void Trends::Limits(int input, std::int32_t low, std::int32_t high) {
  store_.SetLimits(input, {low, high});
  Changed();
}

void Trends::CurrentUnit(int input, bool milliamps) {
  const int series = kTrendCurrents + input;
  const QString caption = QString("AI%1 %2").arg(input + 1).arg(milliamps ? "mA" : "mV");
  seriesChecks[std::size_t(series)]->setText(caption);
  chart->SetCaption(series, caption);
}

QStringList Trends::Captions() const {
  QStringList captions;
  for (const QCheckBox* box : seriesChecks) captions << box->text();
  return captions;
}

void Trends::Clear() {
  store_.Clear();
  chart->SetCursorTime(std::nullopt);
  Changed();
}

void Trends::SpanChosen(int index) {
  if (index >= 0 && index < int(std::size(kSpans))) chart->SetSpan(kSpans[index]);
}

void Trends::Export() {
  if (Exporting()) return;
  if (!exportDialog.execute()) return;
  if (!ExportTo(exportDialog.fileName))
    CurrentDialogs().Message("No se puede crear el archivo CSV");
}

bool Trends::ExportTo(const QString& path) {
  if (Exporting()) return false;
  // Whole or nothing: the file appears under its name once every row is in.
  csvFile_ = std::make_unique<QSaveFile>(path);
  if (!csvFile_->open(QIODevice::WriteOnly)) {
    csvFile_.reset();
    return false;
  }
  csv_ = std::make_unique<TrendCsvWriter>(store_, Captions(), *csvFile_);
  exportButton->setEnabled(false);
  csvSlice_.start();
  return true;
}

void Trends::ExportSlice() {
  if (csv_->Step(kCsvMomentsPerSlice)) return;
  EndExport(csv_->Done() && !csv_->Failed() && csvFile_->commit());
}

void Trends::EndExport(bool ok) {
  csvSlice_.stop();
  if (!ok && csvFile_) csvFile_->cancelWriting();
  csv_.reset();
  csvFile_.reset();
  exportButton->setEnabled(true);
  if (!ok) CurrentDialogs().Message("No se pudo exportar el archivo CSV");
  emit exportFinished(ok);
}

void Trends::SaveImage() {
  if (!imageDialog.execute()) return;
  QImage image(chart->size() * chart->devicePixelRatio(), QImage::Format_RGB32);
  image.setDevicePixelRatio(chart->devicePixelRatio());
  QPainter painter(&image);
  chart->Render(painter, chart->rect());
  painter.end();
  QSaveFile file(imageDialog.fileName);
  if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
    CurrentDialogs().Message("No se pudo guardar la imagen");
}
