// A day at the debug port: 24 hours of trace at 1920 bytes a second (a
// 19200-baud line) through the receiver into the consoles, faster than real
// time in full 511-byte takes. Prints the resident memory along the way and
// at the end, and the receiver's ticks.
//   QT_QPA_PLATFORM=offscreen build/console_day_bench [hours]
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>
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
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
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
  std::vector<double> tickMs;
  tickMs.reserve(std::size_t(ticks));
  QElapsedTimer total;
  total.start();
  for (std::uint64_t t = 0; t < ticks; ++t) {
    stream.Next(portInbox.data, kTake);
    portInbox.count = kTake;
    QElapsedTimer timer;
    timer.start();
    form.Timer1Timer();
    tickMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    if (t % 20 == 0) QApplication::processEvents();  // painting, now and then
    if ((t + 1) % ticksPerHour == 0)
      std::printf("hour %2llu: %.1f MB resident, Memo1 %d lines, %lld dropped\n",
                  static_cast<unsigned long long>((t + 1) / ticksPerHour),
                  ProcessMegabytes("VmRSS:"), form.Memo1->document()->blockCount(),
                  static_cast<long long>(form.consoleTools->Dropped(form.Memo1)));
  }
  QApplication::processEvents();
  std::printf("%.0f MB of trace in %llu ticks of %u bytes, %.0f s\n", double(totalBytes) / 1e6,
              static_cast<unsigned long long>(ticks), kTake, double(total.elapsed()) / 1000);
  std::printf("end: %.1f MB resident, peak %.1f MB\n", ProcessMegabytes("VmRSS:"),
              ProcessMegabytes("VmHWM:"));
  std::printf("tick: median %.3f ms, p99.9 %.3f ms, worst %.3f ms\n", Percentile(tickMs, 0.5),
              Percentile(tickMs, 0.999), Percentile(tickMs, 1.0));
  return 0;
}
