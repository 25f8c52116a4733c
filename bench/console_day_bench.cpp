// A day at the debug port: 24 hours of trace at 1920 bytes a second (a
// 19200-baud line) through the receiver into the consoles, faster than real
// time in full 511-byte takes. Prints the resident memory along the way and
// at the end, and the receiver's ticks.
//   QT_QPA_PLATFORM=offscreen build/console_day_bench [hours]
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "app/Log.h"
#include "bench/TraceStream.h"
#include "link/Unit1.h"

namespace {
// "VmRSS" or "VmHWM" of this process, in MB.
double ProcessMegabytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field) + 1) / 1024.0;
  return -1;
}

// Tick times in 0.01 ms steps: a day of ticks kept one by one would add to
// the memory being measured.
struct TickHistogram {
  std::vector<std::uint64_t> counts = std::vector<std::uint64_t>(10000);
  std::uint64_t total = 0;
  double worst = 0;
  void Add(double ms) {
    ++counts[std::min<std::size_t>(counts.size() - 1, std::size_t(ms * 100))];
    ++total;
    worst = std::max(worst, ms);
  }
  double At(double fraction) const {
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < counts.size(); ++i)
      if ((seen += counts[i]) >= std::uint64_t(fraction * double(total)))
        return double(i + 1) / 100;
    return worst;
  }
};

// This thread's CPU time in ms: on a shared machine the wall clock of a tick
// also counts the time other processes had the core.
double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // progress shows as it goes
  const double hours = argc > 1 ? std::atof(argv[1]) : 24.0;
  const auto totalBytes = std::uint64_t(hours * 3600 * 1920);
  constexpr std::uint32_t kTake = 511;
  const std::uint64_t ticks = totalBytes / kTake;
  const std::uint64_t ticksPerHour = 3600ull * 1920 / kTake;

  TForm1 form;
  form.Timer1->stop();
  form.Timer2->stop();
  form.resize(1100, 750);
  form.show();
  form.PageControl1->setCurrentWidget(form.TabSheet3);
  form.BitBtn2->setEnabled(true);  // connected, the reader not running
  QApplication::processEvents();
  std::printf("start: %.1f MB resident, consoles keep %d lines each\n", ProcessMegabytes("VmRSS:"),
              form.consoleTools->MaxLines());

  TraceStream stream;
  TickHistogram wall;
  TickHistogram cpuTime;
  TickHistogram between;  // the event loop's turns between ticks
  QElapsedTimer total;
  total.start();
  for (std::uint64_t t = 0; t < ticks; ++t) {
    stream.Next(portInbox.data, kTake);
    portInbox.count = kTake;
    QElapsedTimer timer;
    timer.start();
    const double cpu = ThreadCpuMs();
    form.Timer1Timer();
    cpuTime.Add(ThreadCpuMs() - cpu);
    wall.Add(double(timer.nsecsElapsed()) / 1e6);
    // The event loop's turn after each tick, as live: painting, old lines
    // cut, freed memory given back.
    timer.restart();
    QApplication::processEvents();
    between.Add(double(timer.nsecsElapsed()) / 1e6);
    if ((t + 1) % ticksPerHour == 0)
      std::printf(
          "hour %2llu: %.1f MB resident, Memo1 %d lines, %lld dropped, worst tick %.2f ms "
          "(CPU %.2f ms)\n",
          static_cast<unsigned long long>((t + 1) / ticksPerHour), ProcessMegabytes("VmRSS:"),
          form.Memo1->document()->blockCount(),
          static_cast<long long>(form.consoleTools->Dropped(form.Memo1)), wall.worst,
          cpuTime.worst);
  }
  QApplication::processEvents();
  std::printf("%.0f MB of trace in %llu ticks of %u bytes, %.0f s\n", double(totalBytes) / 1e6,
              static_cast<unsigned long long>(ticks), kTake, double(total.elapsed()) / 1000);
  std::printf("end: %.1f MB resident, peak %.1f MB\n", ProcessMegabytes("VmRSS:"),
              ProcessMegabytes("VmHWM:"));
  std::printf("tick, wall clock: median %.2f ms, p99.9 %.2f ms, worst %.3f ms\n", wall.At(0.5),
              wall.At(0.999), wall.worst);
  std::printf("tick, CPU time: median %.2f ms, p99.9 %.2f ms, worst %.3f ms\n", cpuTime.At(0.5),
              cpuTime.At(0.999), cpuTime.worst);
  std::printf("between ticks (painting, deferred work), wall clock: median %.2f ms, worst %.3f ms\n",
              between.At(0.5), between.worst);
  return 0;
}
