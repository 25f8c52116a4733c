// The "Tendencias" page: values from the trace and telemetry in their series
// at the time they were taken, the day-deep rings, min/max columns that keep
// a one-sample spike, the CSV export, and a replay filling the page.
#include "trends/Trends.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <ctime>
#include <limits>
#include <random>

#include "app/Log.h"
#include "protocol/Capture.h"
#include "tests/Harness.h"
#include "tests/RestingForm.h"

namespace {
constexpr std::int64_t kStart = 1765380000000;  // 2025-12-10 12:20:00 at UTC-3

const char kAdc1[] =
    ">> ADC 1 Med[-12 -7 -3000 -0] Val[-500 -250 -75 --5] Aus[-0 -1 -0 -0] Baj[-1 -0 -0 -0] "
    "Alt[-0 -0 -1 -0]";

Bytes Telemetry(std::uint16_t millivolts) {
  Bytes frame(79, 0);
  frame[0] = 0x01;
  frame[1] = 0x03;
  frame[2] = 0x4C;
  frame[75] = std::uint8_t(millivolts >> 8);
  frame[76] = std::uint8_t(millivolts);
  return FrameWithCrc(frame);
}

struct Sample {
  std::int64_t ms;
  std::int32_t value;
  std::uint8_t flags;
  bool operator==(const Sample&) const = default;
};
QList<Sample> Samples(const TrendStore& store, int series) {
  QList<Sample> samples;
  const TrendRing& ring = store.Ring(series);
  for (std::size_t i = 0; i < ring.Size(); ++i)
    samples.append({ring.TimeAt(i), ring.ValueAt(i), ring.FlagsAt(i)});
  return samples;
}
char* Show(const QList<Sample>& samples) {
  QString text;
  for (const Sample& s : samples) text += QString("(%1 %2 %3)").arg(s.ms).arg(s.value).arg(s.flags);
  return qstrdup(qPrintable(text));
}
#define COMPARE_SAMPLES(actual, expected)                                                \
  do {                                                                                   \
    const QList<Sample> a = (actual), e = (expected);                                    \
    if (a != e) QFAIL(qPrintable(QString("got %1, want %2").arg(Show(a)).arg(Show(e)))); \
  } while (0)

// The receiver's takes, one a call.
class Takes : public ByteSource {
 public:
  explicit Takes(std::vector<std::string> takes) : takes_(std::move(takes)) {}
  std::int32_t Take(std::uint8_t* out) override {
    if (next_ >= takes_.size()) return 0;
    const std::string& take = takes_[next_++];
    std::memcpy(out, take.data(), take.size());
    return std::int32_t(take.size());
  }

 private:
  std::vector<std::string> takes_;
  std::size_t next_ = 0;
};

std::string Line(const std::string& text) { return text + "\r\n"; }
std::string FrameLine(const Bytes& frame) { return Line("Data-->" + HexText(frame) + " <--Data"); }
}  // namespace

class TrendsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> form;
  std::int64_t now = kStart;
  int clockCalls = 0;
  QTemporaryDir dir;

  Trends& T() { return *form->trends; }

 private slots:
  void init() {
    form = RestingForm();
    now = kStart;
    clockCalls = 0;
    T().clock = [this] {
      ++clockCalls;
      return now;
    };
  }
  void cleanup() { form.reset(); }

  // Each line kind feeds its series with the numbers "Estado" shows, and
  // every value of one take carries the take's single time.
  void traceAndTelemetryLandInTheirSeriesAtTheTakesTime() {
    form->currentChecks[0]->setChecked(true);
    form->voltageChecks[1]->setChecked(true);
    // The telemetry line starts in the first take and ends in the second.
    const std::string telemetry = FrameLine(Telemetry(12345));
    Takes takes({Line(kAdc1) + Line(">> ADC 2 Med[-4 -5 -6 -7] Val[-40 -50 -60 -70]") +
                     Line("GSM SE\xD1"
                          "AL: -71 dBm") +
                     Line(">> DO -1 -0") + Line(">> DI Status 1 -1 -0 -1 -0 -0 -0 -0 -1") +
                     Line(">> DI Status 2 -0 -0 -0 -0 -0 -0 -0 -1") + telemetry.substr(0, 100),
                 telemetry.substr(100)});
    form->ReceiveFrom(takes);
    now += 50;
    form->ReceiveFrom(takes);
    QCOMPARE(clockCalls, 2);
    QCOMPARE(form->LabeledEdit13->text(), QString("12,345V"));
    const TrendStore& store = T().Store();
    const std::uint8_t normal = std::uint8_t(TrendAlarm::Normal);
    COMPARE_SAMPLES(Samples(store, 0),
                    (QList<Sample>{{kStart, 500, std::uint8_t(TrendAlarm::Bajo)}}));
    COMPARE_SAMPLES(Samples(store, 1),
                    (QList<Sample>{{kStart, 250, std::uint8_t(TrendAlarm::Ausente)}}));
    COMPARE_SAMPLES(Samples(store, 2),
                    (QList<Sample>{{kStart, 75, std::uint8_t(TrendAlarm::Alto)}}));
    COMPARE_SAMPLES(Samples(store, 3), (QList<Sample>{{kStart, -5, normal}}));
    COMPARE_SAMPLES(Samples(store, 7), (QList<Sample>{{kStart, 70, normal}}));
    COMPARE_SAMPLES(Samples(store, kTrendCurrents),
                    (QList<Sample>{{kStart, 12, trendflag::kMilliamps}}));
    COMPARE_SAMPLES(Samples(store, kTrendCurrents + 1), (QList<Sample>{{kStart, 7, 0}}));
    COMPARE_SAMPLES(Samples(store, kTrendCurrents + 7), (QList<Sample>{{kStart, 7, 0}}));
    COMPARE_SAMPLES(Samples(store, kTrendSignal), (QList<Sample>{{kStart, -71, 0}}));
    COMPARE_SAMPLES(Samples(store, kTrendSupply), (QList<Sample>{{kStart + 50, 12345, 0}}));
    COMPARE_SAMPLES(Samples(store, kTrendRelays), (QList<Sample>{{kStart, 1, 0}}));
    COMPARE_SAMPLES(Samples(store, kTrendRelays + 1), (QList<Sample>{{kStart, 0, 0}}));
    const int inputs[16] = {1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i)
      COMPARE_SAMPLES(Samples(store, kTrendDigitalInputs + i),
                      (QList<Sample>{{kStart, inputs[i], 0}}));

    // A sum the page leaves as it was keeps the state it showed; a signal
    // line without a number and a bad telemetry frame give no sample.
    now = kStart + 1000;
    form->InterpretTraceLine(
        ">> ADC 1 Med[-12 -7 -3000 -0] Val[-501 -250 -75 --5] Aus[-1 -1 -0 -0] Baj[-0 -0 -0 -0] "
        "Alt[-1 -0 -1 -0]");
    form->InterpretTraceLine(
        "GSM SE\xD1"
        "AL: buscando");
    Bytes bad = Telemetry(9000);
    bad[80] ^= 1;
    form->DecodeTelemetry(bad.data(), int(bad.size()));
    QCOMPARE(form->alarmaLabels[0]->text(), QString("Bajo"));
    COMPARE_SAMPLES(Samples(store, 0),
                    (QList<Sample>{{kStart, 500, std::uint8_t(TrendAlarm::Bajo)},
                                   {kStart + 1000, 501, std::uint8_t(TrendAlarm::Bajo)}}));
    QCOMPARE(store.Ring(kTrendSignal).Size(), std::size_t(1));
    QCOMPARE(store.Ring(kTrendSupply).Size(), std::size_t(1));

    // The link lost: the next samples are not joined to the ones before.
    form->ShowDisconnected();
    now = kStart + 20000;
    form->InterpretTraceLine(">> DO -0 -0");
    QCOMPARE(store.Ring(kTrendRelays).FlagsAt(1), trendflag::kBreak);
    form->InterpretTraceLine(">> DO -1 -0");
    QCOMPARE(store.Ring(kTrendRelays).FlagsAt(2), std::uint8_t(0));
  }

  // The current is in mA or mV as "Corriente"/"Tension" say at that moment,
  // and the series' caption follows the choice, also when a block read sets it.
  void currentUnitFollowsTheInputsType() {
    QCheckBox* box = form->findChild<QCheckBox*>("trendSeries9");
    QCOMPARE(box->text(), QString("AI1 mV"));
    form->InterpretTraceLine(">> ADC 1 Med[-4100]");
    form->currentChecks[0]->setChecked(true);
    QCOMPARE(box->text(), QString("AI1 mA"));
    QCOMPARE(form->currentLabels[0]->text(), QString("4100mV"));
    form->InterpretTraceLine(">> ADC 1 Med[-4]");
    QCOMPARE(form->currentLabels[0]->text(), QString("4mA"));
    const TrendRing& ring = T().Store().Ring(kTrendCurrents);
    QCOMPARE(ring.FlagsAt(0) & trendflag::kMilliamps, 0);
    QCOMPARE(ring.FlagsAt(1) & trendflag::kMilliamps, int(trendflag::kMilliamps));

    // A block read: input 6 becomes a current input, limits 100 and 900.
    std::uint8_t payload[40] = {};
    payload[16 + 2] = 0;
    payload[16 + 3] = 100;
    payload[24 + 2] = 0x03;
    payload[24 + 3] = 0x84;
    payload[32 + 2] = 0x80;
    QVERIFY(!T().Store().LimitsOf(5));
    form->DecodeAnalogInputs(2, payload);
    QCOMPARE(form->findChild<QCheckBox*>("trendSeries14")->text(), QString("AI6 mA"));
    QCOMPARE(form->findChild<QCheckBox*>("trendSeries13")->text(), QString("AI5 mV"));
    QCOMPARE(T().Store().LimitsOf(5)->low, 100);
    QCOMPARE(T().Store().LimitsOf(5)->high, 900);
    QCOMPARE(T().Store().LimitsOf(4)->low, 0);
    QVERIFY(!T().Store().LimitsOf(0));
  }

  // Times keep their low 32 bits only: across a wrap of those bits and at
  // the ring's limits they must come back exact.
  void ringsKeepExactTimesAndTheirBounds() {
    const std::int64_t wrap = (std::int64_t(1) << 32) * 400;
    TrendRing ring(100, 10000);
    for (int i = 0; i < 20; ++i) ring.Append(wrap - 5000 + 1000 * i, i, 0);
    QCOMPARE(ring.Size(), std::size_t(11));  // the last ten seconds and the newest
    for (std::size_t i = 0; i < ring.Size(); ++i) {
      QCOMPARE(ring.TimeAt(i), wrap + 4000 + 1000 * std::int64_t(i));
      QCOMPARE(ring.ValueAt(i), std::int32_t(9 + i));
    }
    QCOMPARE(ring.LowerBound(wrap + 4500), std::size_t(1));
    QCOMPARE(ring.LowerBound(wrap + 4000), std::size_t(0));
    QCOMPARE(ring.LowerBound(wrap + 99999), ring.Size());
    ring.Append(wrap, 99, 0);  // the clock went back: taken as the newest time
    QCOMPARE(ring.TimeAt(ring.Size() - 1), wrap + 14000);

    TrendRing full(8);
    for (int i = 0; i < 20; ++i) full.Append(kStart + i, i, 0);
    QCOMPARE(full.Size(), std::size_t(8));
    QCOMPARE(full.ValueAt(0), 12);
    QCOMPARE(full.ValueAt(7), 19);
    const TrendRing::Runs runs = full.RunsOf(0, 8);
    QCOMPARE(runs.values[0].size() + runs.values[1].size(), std::size_t(8));
    QCOMPARE(runs.values[0].front(), 12);
    QCOMPARE(runs.values[1].back(), 19);
  }

  // A day and more at a sample a second in every series: no more than a day
  // is kept and the memory does not grow past its first day.
  void aDayKeepsMemoryBounded() {
    TrendStore store;
    const std::int64_t day = 86400;
    std::size_t firstDay = 0;
    for (std::int64_t second = 0; second < day + day / 4; ++second) {
      for (int s = 0; s < kTrendSeriesCount; ++s)
        store.Append(s, kStart + 1000 * second, int(second));
      if (second == day - 1) firstDay = store.Bytes();
    }
    QCOMPARE(store.Bytes(), firstDay);
    QVERIFY2(store.Bytes() < 40u * 1000 * 1000, qPrintable(QString::number(store.Bytes())));
    for (int s = 0; s < kTrendSeriesCount; ++s) {
      const TrendRing& ring = store.Ring(s);
      QVERIFY(ring.Size() <= kTrendDaySamples + 1);
      QVERIFY(ring.TimeAt(0) >= ring.NewestMs() - kTrendDayMs);
    }
  }

  // One sample among a day of them, up or down, reaches its column at the
  // 24 h span, and shows on the chart drawn at 1920 pixels.
  void aOneSampleSpikeShowsAtTheDaySpan() {
    TrendStore store;
    const int spike = 43210;
    const int drop = 70001;
    for (int i = 0; i < 86400; ++i)
      store.Append(0, kStart + 1000LL * i, i == spike ? 1000 : i == drop ? -1000 : 100);
    TrendChart chart(store, nullptr);
    chart.ShowSeries(0, true);
    chart.SetCaption(0, "AI1");
    chart.SetSpan(kTrendDayMs);
    const auto [from, to] = chart.ViewRange();
    QCOMPARE(to - from, kTrendDayMs);

    std::vector<TrendColumn> columns;
    DecimateTrend(store.Ring(0), from, to, 1920, columns);
    const auto columnOf = [&](int i) {
      return int((kStart + 1000LL * i - from) * 1920 / (to - from));
    };
    int spikes = 0, drops = 0;
    for (const TrendColumn& c : columns) {
      spikes += c.max == 1000;
      drops += c.min == -1000;
    }
    QCOMPARE(spikes, 1);
    QCOMPARE(drops, 1);
    QCOMPARE(columns[std::size_t(columnOf(spike))].max, 1000);
    QCOMPARE(columns[std::size_t(columnOf(drop))].min, -1000);

    const QRect wide(0, 0, 2000, 400);
    const QRect area(0, 0, 1920 + wide.width() - chart.PlotRect(wide).width(), 400);
    const QRect plot = chart.PlotRect(area);
    QCOMPARE(plot.width(), 1920);
    QImage image(area.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    chart.Render(painter, area);
    painter.end();
    const QRgb colour = TrendColour(0).rgb();
    // The plot's top and bottom tenth hold nothing but the spike and the drop.
    const auto reached = [&](int x, int y0, int y1) {
      for (int y = y0; y < y1; ++y)
        if (image.pixel(x, y) == colour) return true;
      return false;
    };
    const int band = plot.height() / 10;
    for (int c = 0; c < 1920; ++c) {
      const int x = plot.left() + c;
      QCOMPARE(reached(x, plot.top(), plot.top() + band), c == columnOf(spike));
      QCOMPARE(reached(x, plot.bottom() - band, plot.bottom()), c == columnOf(drop));
    }
  }

  // Irregular times (bursts, gaps, several at one moment) across the ring's
  // wrap: every column holds exactly the samples whose time falls in it. The
  // min/max come from block summaries where a column holds whole blocks, so
  // views start and end anywhere, and rings drop by age, empty, start over.
  void columnsHoldExactlyTheirSamples() {
    // A plain walk over every sample against DecimateTrend: the first difference.
    const auto differs = [](const TrendRing& ring, std::int64_t from, std::int64_t to, int columns,
                            bool alarms) {
      std::vector<TrendColumn> cols;
      std::optional<std::int32_t> before;
      DecimateTrend(ring, from, to, columns, cols, &before, alarms);
      std::vector<TrendColumn> want(static_cast<std::size_t>(columns));
      std::optional<std::int32_t> wantBefore;
      std::size_t c = 0;
      for (std::size_t i = 0; i < ring.Size(); ++i) {
        const std::int64_t at = ring.TimeAt(i);
        if (at < from) wantBefore = ring.ValueAt(i);
        if (at < from || at >= to) continue;
        while (from + (to - from) * std::int64_t(c + 1) / columns <= at) ++c;
        TrendColumn& w = want[c];
        const std::int32_t v = ring.ValueAt(i);
        const std::uint8_t f = ring.FlagsAt(i);
        if (!w.any) w = {v, v, v, v, 0, true, (f & trendflag::kBreak) != 0};
        w.min = std::min(w.min, v);
        w.max = std::max(w.max, v);
        w.last = v;
        if (alarms) w.alarms |= std::uint8_t(1u << (f & trendflag::kAlarmMask));
      }
      const QString view = QString("%1 samples, [%2, %3) in %4 columns")
                               .arg(ring.Size())
                               .arg(from)
                               .arg(to)
                               .arg(columns);
      if (before != wantBefore) return view + ": the sample before";
      for (c = 0; c < want.size(); ++c) {
        const TrendColumn& a = cols[c];
        const TrendColumn& w = want[c];
        if (a.any != w.any ||
            (a.any && (a.min != w.min || a.max != w.max || a.first != w.first || a.last != w.last ||
                       a.alarms != w.alarms || a.breakBefore != w.breakBefore)))
          return view + QString(": column %1").arg(c);
      }
      return QString();
    };

    std::mt19937 random(27);
    TrendRing ring(5000);
    std::int64_t t = kStart;
    for (int i = 0; i < 7000; ++i) {
      const int kind = int(random() % 10);
      t += kind == 0 ? 0 : kind < 7 ? 1000 : kind < 9 ? 37 : 60000;
      ring.Append(t, std::int32_t(random() % 2001) - 1000, std::uint8_t(random() % 5));
    }
    for (const int columns : {1, 7, 333, 1920}) {
      const QString difference =
          differs(ring, ring.TimeAt(0) + 12345, ring.NewestMs() - 54321, columns, true);
      QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // Ten minutes kept: dense stretches fill the ring, sparse ones drop by age
    // (a jump past ten minutes leaves the new sample alone), "Borrar" starts
    // over at the first slot; breaks, and values at both ends of the range.
    TrendRing kept(1000, 600000);
    for (int i = 1; i <= 20000; ++i) {
      const int kind = int(random() % 1000);
      if ((i / 2500) % 2 == 0)
        t += kind < 200 ? 0 : kind < 500 ? 37 : 1000;
      else
        t += kind < 100 ? 0 : kind < 600 ? 1000 : kind < 900 ? 37 : kind < 990 ? 20000 : 700000;
      if (kind == 999 && i % 3 == 0) kept.Clear();
      const int pick = int(random() % 50);
      const std::int32_t value = pick == 0   ? std::numeric_limits<std::int32_t>::min()
                                 : pick == 1 ? std::numeric_limits<std::int32_t>::max()
                                             : std::int32_t(random() % 2001) - 1000;
      const std::uint8_t flags =
          std::uint8_t(random() % 5 | (random() % 20 == 0 ? trendflag::kBreak : 0));
      kept.Append(t, value, flags);
      if (i % 250 != 0) continue;
      const std::int64_t oldest = kept.TimeAt(0);
      const std::int64_t room = kept.NewestMs() - oldest + 20000;
      for (const int most : {1, 64, 600, 1920}) {
        const std::int64_t from = oldest - 10000 + std::int64_t(random() % std::uint64_t(room));
        const std::int64_t to = from + 1 + std::int64_t(random() % std::uint64_t(room));
        const int columns = most == 1920 ? most : 1 + int(random() % std::uint32_t(most));
        const QString difference = differs(kept, from, to, columns, random() % 2 == 0);
        QVERIFY2(difference.isEmpty(), qPrintable(QString("append %1, ").arg(i) + difference));
      }
    }
  }

  // The columns written straight into an image's pixels look exactly as the
  // painter draws them on any other device.
  void columnPixelsMatchThePainters() {
    TrendStore store;
    std::mt19937 random(5);
    for (int i = 0; i < 5000; ++i) {
      store.Append(0, kStart + 1000LL * i, std::int32_t(random() % 1000));
      store.Append(kTrendRelays, kStart + 1000LL * i, (i / 300) % 2);
    }
    TrendChart chart(store, nullptr);
    chart.ShowSeries(0, true);
    chart.ShowSeries(kTrendRelays, true);
    chart.SetSpan(3600 * 1000);
    const QRect area(0, 0, 900, 300);
    QImage direct(area.size(), QImage::Format_RGB32);
    QImage painted(area.size(), QImage::Format_RGB888);
    for (QImage* image : {&direct, &painted}) {
      QPainter painter(image);
      chart.Render(painter, area);
    }
    QCOMPARE(direct.convertToFormat(QImage::Format_RGB888), painted);
  }

  // The export: the header, one row per moment a value changed with every
  // series' value held then, local ISO times with milliseconds.
  void csvExportIsExact() {
    form->currentChecks[0]->setChecked(true);
    T().Analog(0, 12, true, 500, TrendAlarm::Normal, kStart);
    T().Relay(0, true, kStart);
    T().Analog(0, 12, true, 500, TrendAlarm::Bajo, kStart + 250);  // no value changed
    T().Supply(12345, kStart + 1000);
    T().Analog(0, 13, true, 501, TrendAlarm::Normal, kStart + 1500);
    T().Relay(0, true, kStart + 2000);
    T().DigitalInput(2, false, kStart + 2000);
    T().Signal(-71, kStart + 61001);

    const QString path = dir.filePath("t.csv");
    QSignalSpy done(form->trends, &Trends::exportFinished);
    QVERIFY(T().ExportTo(path));
    QVERIFY(!T().exportButton->isEnabled());
    QVERIFY(done.wait(20000));
    QCOMPARE(done.first().first().toBool(), true);
    QVERIFY(T().exportButton->isEnabled());

    const auto row = [](const char* time, std::map<int, const char*> values) {
      QByteArray line = time;
      for (int s = 0; s < kTrendSeriesCount; ++s) {
        line += ',';
        if (values.count(s)) line += values[s];
      }
      return line + "\r\n";
    };
    QByteArray expected =
        "Hora,AI1,AI2,AI3,AI4,AI5,AI6,AI7,AI8,AI1 mA,AI2 mV,AI3 mV,AI4 mV,AI5 mV,AI6 mV,AI7 mV,"
        "AI8 mV,Se\xC3\xB1"
        "al dB,Alimentacion V,DI1,DI2,DI3,DI4,DI5,DI6,DI7,DI8,DI9,DI10,DI11,"
        "DI12,DI13,DI14,DI15,DI16,Coil 1,Coil 2\r\n";
    expected += row("2025-12-10T12:20:00.000-03:00", {{0, "500"}, {8, "12"}, {34, "1"}});
    expected +=
        row("2025-12-10T12:20:01.000-03:00", {{0, "500"}, {8, "12"}, {17, "12.345"}, {34, "1"}});
    expected +=
        row("2025-12-10T12:20:01.500-03:00", {{0, "501"}, {8, "13"}, {17, "12.345"}, {34, "1"}});
    expected += row("2025-12-10T12:20:02.000-03:00",
                    {{0, "501"}, {8, "13"}, {17, "12.345"}, {20, "0"}, {34, "1"}});
    expected += row("2025-12-10T12:21:01.001-03:00",
                    {{0, "501"}, {8, "13"}, {16, "-71"}, {17, "12.345"}, {20, "0"}, {34, "1"}});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
    QCOMPARE(TrendCsvTime(kStart + 86399999), QByteArray("2025-12-11T12:19:59.999-03:00"));
  }

  // Emptied half-way, the export is refused as a whole: no file, a message.
  void anExportCutByBorrarLeavesNoFile() {
    DialogScript dialogs;
    for (int i = 0; i < 20000; ++i)
      T().Analog(0, i, false, i, TrendAlarm::Normal, kStart + 1000LL * i);
    const QString path = dir.filePath("cut.csv");
    QSignalSpy done(form->trends, &Trends::exportFinished);
    QVERIFY(T().ExportTo(path));
    T().clearButton->click();
    QVERIFY(done.wait(20000));
    QCOMPARE(done.first().first().toBool(), false);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(dialogs->messages, QStringList{"No se pudo exportar el archivo CSV"});
  }

  // The page's two files go where their dialogs say; a place that cannot be
  // written is said so.
  void buttonsSaveThroughTheirDialogs() {
    DialogScript dialogs;
    T().Relay(1, true, kStart);
    const QString csv = dir.filePath("button.csv");
    const QString png = dir.filePath("button.png");
    dialogs->files = {csv, png, dir.filePath("no/such/folder/x.png"),
                      dir.filePath("no/such/folder/x.csv")};
    QSignalSpy done(form->trends, &Trends::exportFinished);
    T().exportButton->click();
    QVERIFY(done.wait(20000));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("\r\n"), 2);
    T().chart->resize(640, 300);
    T().imageButton->click();
    QImage image(png);
    QCOMPARE(image.size(), QSize(640, 300));
    QCOMPARE(image.pixel(0, 0), qRgb(255, 255, 255));
    QVERIFY(dialogs->messages.isEmpty());
    T().imageButton->click();
    T().exportButton->click();
    QCOMPARE(dialogs->messages,
             (QStringList{"No se pudo guardar la imagen", "No se puede crear el archivo CSV"}));
  }

  // "&Limpiar" empties the consoles only; "Borrar" empties the page.
  void onlyBorrarClearsThePage() {
    form->InterpretTraceLine(">> DO -1 -0");
    form->BitBtn23->click();
    QCOMPARE(T().Store().Ring(kTrendRelays).Size(), std::size_t(1));
    T().clearButton->click();
    QVERIFY(T().Store().Ring(kTrendRelays).Empty());
    QVERIFY(!T().Store().NewestMs());
  }

  // Zooming stops following the newest values; "Seguir" goes back to them.
  void followZoomAndSpan() {
    TrendChart& chart = *T().chart;
    for (int i = 0; i <= 3600; ++i) T().Supply(12000, kStart + 1000LL * i);
    QVERIFY(chart.Following());
    QVERIFY(!T().followButton->isEnabled());
    QCOMPARE(chart.ViewRange().second, kStart + 3600 * 1000 + 1);
    QCOMPARE(chart.Span(), 10 * 60 * 1000LL);
    T().spanCombo->setCurrentIndex(2);
    QCOMPARE(chart.Span(), 3600 * 1000LL);
    chart.ZoomTo(kStart + 60000, kStart + 120000);
    QVERIFY(!chart.Following());
    QVERIFY(T().followButton->isEnabled());
    T().Supply(12000, kStart + 4000 * 1000LL);  // new values leave the view where it is
    QCOMPARE(chart.ViewRange(), std::make_pair(kStart + 60000, kStart + 120000));
    chart.ZoomAround(kStart + 90000, 0.5);
    QCOMPARE(chart.ViewRange(), std::make_pair(kStart + 75000, kStart + 105000));
    T().followButton->click();
    QVERIFY(chart.Following());
    QCOMPARE(chart.ViewRange().second, kStart + 4000 * 1000 + 1);
    QCOMPARE(chart.Span(), 30000LL);

    // Back in time no further than what is kept; the wheel zooms, with Shift it scrolls.
    chart.ScrollBy(-30 * 3600 * 1000LL);
    QVERIFY(!chart.Following());
    QCOMPARE(chart.ViewRange().second, kStart + TrendChart::kMinSpanMs);
    chart.resize(800, 300);
    const QPointF middle(chart.PlotRect(chart.rect()).center());
    QWheelEvent in(middle, chart.mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &in);
    QCOMPARE(chart.Span(), 24000LL);
    const std::int64_t end = chart.ViewRange().second;
    QWheelEvent back(middle, chart.mapToGlobal(middle), {}, {0, 120}, Qt::NoButton,
                     Qt::ShiftModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &back);
    QCOMPARE(chart.Span(), 24000LL);
    QCOMPARE(chart.ViewRange().second, std::max(end - 2400, kStart + TrendChart::kMinSpanMs));
    TrendStore one;
    one.Append(0, kStart, 1);
    TrendChart single(one, nullptr);
    single.SetSpan(TrendChart::kMinSpanMs);
    single.ScrollBy(-1000);  // one sample and the narrowest view: still a sound range
    QCOMPARE(single.ViewRange().second, kStart + TrendChart::kMinSpanMs);
    T().followButton->click();

    chart.ShowSeries(kTrendSupply, true);
    chart.SetCursorTime(kStart + 3999 * 1000LL);
    QCOMPARE(chart.CursorReadout(),
             (QStringList{QDateTime::fromMSecsSinceEpoch(kStart + 3999 * 1000LL)
                              .toString("dd/MM/yyyy HH:mm:ss.zzz"),
                          "Alimentacion V: 12.000 V"}));
  }

  // Drawing waits for the screen's next frame: none while values arrive,
  // one after, however many came.
  void redrawsAfterTheTickAtMostOnce() {
    form->resize(1100, 750);
    form->PageControl1->setCurrentWidget(form->trendPage);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    int paints = 0;
    struct Counter : QObject {
      int& paints;
      explicit Counter(int& p) : paints(p) {}
      bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
      }
    } counter(paints);
    QTRY_VERIFY(T().chart->isVisible());
    QCoreApplication::processEvents();
    T().chart->installEventFilter(&counter);
    for (int i = 0; i < 500; ++i) {
      form->InterpretTraceLine(kAdc1);
      now += 1000;
    }
    QCOMPARE(paints, 0);
    QTRY_VERIFY_WITH_TIMEOUT(paints >= 1, 10000);
    QCoreApplication::processEvents();
    QCOMPARE(paints, 1);
    T().chart->removeEventFilter(&counter);
  }

  // A replayed capture fills the page with the capture's own times, and
  // what the page held before goes.
  void aReplayFillsThePageWithTheCapturesTimes() {
    DialogScript dialogs;
    form->InterpretTraceLine(">> DO -0 -1");
    clockCalls = 0;
    const std::int64_t captured = kStart - 7 * 86400 * 1000LL;  // a week ago
    std::string text = CaptureHeader(captured) + "\n";
    for (int i = 0; i < 5; ++i) {
      CaptureRecord record;
      record.ms = std::uint64_t(1000 * i + 3);
      record.kind = CaptureKind::Received;
      const std::string line =
          Line(">> ADC 1 Med[-1 -2 -3 -4] Val[-" + std::to_string(100 + i) + " -2 -3 -4]") +
          Line(i == 2 ? ">> DO -1 -1" : ">> DO -0 -1");
      record.bytes.assign(line.begin(), line.end());
      text += FormatRecord(record) + "\n";
    }
    const QString path = dir.filePath("r.qcap");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.data(), qsizetype(text.size()));
    file.close();
    dialogs->files.push_back(path);
    form->replaySpeed->setCurrentIndex(2);
    form->replayButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form->replay->IsRunning(), 20000);
    QVERIFY2(dialogs->messages.isEmpty(), qPrintable(dialogs->messages.join('\n')));
    QList<Sample> values, relay;
    for (int i = 0; i < 5; ++i) {
      values.append({captured + 1000 * i + 3, 100 + i, std::uint8_t(TrendAlarm::Normal)});
      relay.append({captured + 1000 * i + 3, i == 2 ? 1 : 0, 0});
    }
    COMPARE_SAMPLES(Samples(T().Store(), 0), values);
    COMPARE_SAMPLES(Samples(T().Store(), kTrendRelays), relay);
    QCOMPARE(clockCalls, 0);
  }
};

int main(int argc, char** argv) {
  // Local time three hours behind UTC all year, so the export's times are known.
  qputenv("TZ", "<-03>3");
  tzset();
  QApplication app(argc, argv);
  TrendsTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "trends_test.moc"
