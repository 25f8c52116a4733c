// The trend page under a day of values:
//   QT_QPA_PLATFORM=offscreen build-rel/trend_bench [redraws]
// - appending: a day of every series at a sample a second through the page's
//   own calls (what the receiver's tick does), each append timed;
// - memory of that day: the store's own count and the process's resident growth;
// - a full redraw of the day, every series shown, the plot 1920 pixels wide.
//   QT_QPA_PLATFORM=offscreen build-rel/trend_bench --screenshot docs/trends.png
// runs a virtual unit with slowly wandering analog values for a simulated day
// through the tool's receiver and saves the window on the trend page.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "app/Log.h"
#include "bench/Histogram.h"
#include "bench/TraceStream.h"
#include "protocol/ByteSource.h"
#include "sim/UnitCore.h"
#include "trends/Trends.h"

namespace {
// The machine is shared: the GUI thread's own CPU time says what the work
// costs, the wall clock what it cost with the others running.
double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double ResidentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return -1;
}

constexpr std::int64_t kStart = 1765335600000;  // 2025-12-10 03:00 UTC
constexpr int kDay = 86400;

// Append times in µs, to 1 s.
struct Histogram : StepHistogram {
  Histogram() : StepHistogram(100000) {}
};

int Bench(int redraws) {
  QWidget page;
  Histogram appends;
  const double before = ResidentMegabytes();
  Trends trends(&page);
  // Per second what a unit's trace and telemetry give: 8 values, 8 currents,
  // signal, supply, 16 inputs, 2 relays.
  using Clock = std::chrono::steady_clock;
  const auto micros = [](Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
  };
  for (int second = 0; second < kDay; ++second) {
    const std::int64_t ms = kStart + 1000LL * second;
    const long wave = long(500 + 400 * std::sin(second / 3000.0));
    for (int i = 0; i < 8; ++i) {
      const auto t0 = Clock::now();
      trends.Analog(i, 4 + (wave + i) % 16, i < 4, wave + i, TrendAlarm::Normal, ms);
      appends.Add(micros(Clock::now() - t0) / 2, 2);  // two samples a call: value and current
    }
    const auto timed = [&](auto append) {
      const auto t0 = Clock::now();
      append();
      appends.Add(micros(Clock::now() - t0));
    };
    timed([&] { trends.Signal(-70 - second % 20, ms); });
    timed([&] { trends.Supply(std::uint16_t(12000 + second % 500), ms); });
    for (int i = 0; i < 16; ++i) timed([&] { trends.DigitalInput(i, (second / (i + 7)) % 2, ms); });
    for (int i = 0; i < 2; ++i) timed([&] { trends.Relay(i, (second / 600) % 2 == i, ms); });
  }
  const double after = ResidentMegabytes();
  std::printf("append: %llu samples, mean %.3f us, 99.9 %% under %.2f us, worst %.2f us\n",
              static_cast<unsigned long long>(appends.total), appends.sum / double(appends.total),
              appends.At(0.999), appends.worst);
  std::printf("memory: store %.1f MB, resident growth %.1f MB\n", trends.Store().Bytes() / 1e6,
              after - before);

  TrendChart& chart = *trends.chart;
  for (int s = 0; s < kTrendSeriesCount; ++s) chart.ShowSeries(s, true);
  chart.SetSpan(kTrendDayMs);
  const QRect wide(0, 0, 2400, 1080);
  const QRect area(0, 0, 1920 + wide.width() - chart.PlotRect(wide).width(), 1080);
  QImage image(area.size(), QImage::Format_RGB32);
  // The min/max columns alone, then the whole chart.
  std::vector<double> decimationCpu, drawWall, drawCpu;
  std::vector<TrendColumn> columns;
  const auto [from, to] = chart.ViewRange();
  for (int i = 0; i < redraws; ++i) {
    const double cpu = CpuMs();
    for (int s = 0; s < kTrendSeriesCount; ++s)
      DecimateTrend(trends.Store().Ring(s), from, to, 1920, columns, nullptr, s < 8);
    decimationCpu.push_back(CpuMs() - cpu);
  }
  for (int i = 0; i < redraws; ++i) {
    QElapsedTimer timer;
    timer.start();
    const double cpu = CpuMs();
    QPainter painter(&image);
    chart.Render(painter, area);
    painter.end();
    drawCpu.push_back(CpuMs() - cpu);
    drawWall.push_back(double(timer.nsecsElapsed()) / 1e6);
  }
  for (auto* v : {&decimationCpu, &drawWall, &drawCpu}) std::sort(v->begin(), v->end());
  std::printf(
      "redraw: 24 h, %d series, plot %d px wide, over %d: CPU median %.2f ms, worst %.2f ms "
      "(min/max columns %.2f ms of it); wall clock median %.2f ms, worst %.2f ms\n",
      kTrendSeriesCount, chart.PlotRect(area).width(), redraws, drawCpu[drawCpu.size() / 2],
      drawCpu.back(), decimationCpu[decimationCpu.size() / 2], drawWall[drawWall.size() / 2],
      drawWall.back());
  return 0;
}

// The unit's bytes, at most a take at a time.
class Feed : public ByteSource {
 public:
  std::string bytes;
  std::int32_t Take(std::uint8_t* out) override {
    const std::size_t count = std::min<std::size_t>(bytes.size(), kTakeLimit);
    std::memcpy(out, bytes.data(), count);
    bytes.erase(0, count);
    return std::int32_t(count);
  }
};

int Screenshot(const char* path) {
  TForm1 form;
  for (QTimer* timer : {form.Timer1, form.Timer2, form.Timer3, form.Timer4}) timer->stop();
  form.consoleTools->SetMaxLines(2000);  // the consoles are not what this is about
  std::int64_t now = kStart;
  form.trends->clock = [&] { return now; };

  sim::UnitOptions options;
  options.com = 0;
  options.bytesPerSecond = 0;
  options.slowAnalog = true;
  options.seed = 27;
  const auto start = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
  sim::UnitCore unit(options, start);
  // The analog blocks as a read would bring them, for the alarm limits.
  for (int group = 1; group <= 2; ++group) {
    std::uint8_t payload[40];
    const std::uint16_t first = group == 1 ? sim::reg::kAnalogInputs1 : sim::reg::kAnalogInputs2;
    for (int r = 0; r < 20; ++r) {
      const std::uint16_t value = unit.registers().Get(std::uint16_t(first + r));
      payload[2 * r] = std::uint8_t(value >> 8);
      payload[2 * r + 1] = std::uint8_t(value);
    }
    form.DecodeAnalogInputs(group, payload);
  }
  Feed feed;
  for (int second = 1; second <= kDay; ++second) {
    unit.Tick(start + std::chrono::seconds(second));
    for (const sim::Outgoing& item : unit.TakeOutput()) feed.bytes += item.bytes;
    now = kStart + 1000LL * second;
    while (!feed.bytes.empty()) form.ReceiveFrom(feed);
    // The event loop turns now and then, as live: the consoles cut their old lines there.
    if (second % 60 == 0) QApplication::processEvents();
  }
  form.resize(1280, 800);
  form.PageControl1->setCurrentWidget(form.trendPage);
  form.trends->spanCombo->setCurrentIndex(4);
  for (int n : {1, 2, 3, 5, 6, 7}) form.trends->seriesChecks[std::size_t(n - 1)]->setChecked(true);
  for (int series : {kTrendDigitalInputs + 0, kTrendDigitalInputs + 2, kTrendDigitalInputs + 6,
                     kTrendRelays, kTrendRelays + 1})
    form.trends->seriesChecks[std::size_t(series)]->setChecked(true);
  form.show();
  QApplication::processEvents();
  const QRect plot = form.trends->chart->PlotRect(form.trends->chart->rect());
  form.trends->chart->SetCursorTime(
      form.trends->chart->TimeAtX(plot.left() + plot.width() * 2 / 3));
  QApplication::processEvents();
  const bool saved = form.grab().save(path, "PNG");
  std::printf("%s %s: %zu samples of AI1\n", saved ? "saved" : "could not save", path,
              form.trends->Store().Ring(0).Size());
  return saved ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc > 2 && std::strcmp(argv[1], "--screenshot") == 0) return Screenshot(argv[2]);
  return Bench(argc > 1 ? std::atoi(argv[1]) : 20);
}
