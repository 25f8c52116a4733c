// A day at the debug port: 24 hours of trace at 1920 bytes a second (a
// 19200-baud line) through the receiver into the consoles, faster than real
// time in full 511-byte takes. Prints the resident memory along the way and
// at the end, and the receiver's ticks.
//   QT_QPA_PLATFORM=offscreen build/console_day_bench [hours] [runs] [clear-at-hour]
// With clear-at-hour, "&Limpiar" empties the consoles at that hour (full
// ones, from hour 4 on) and the ticks while they fill again count apart.
// The trace is the same every run. With more than one run (each in a new
// process, as the tool starts) it also gives each tick's fastest CPU time
// over the runs: a tick slowed by the machine in one run (a virtual
// machine's host can take its core away unseen, and that time still counts
// as ours) does not show there, a tick whose own work is long does.
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "app/Log.h"
#include "bench/Histogram.h"
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

// Tick times in ms, to 100 ms.
struct TickHistogram : StepHistogram {
  TickHistogram() : StepHistogram(10000) {}
};

// This thread's CPU time in ms: on a shared machine the wall clock of a tick
// also counts the time other processes had the core.
double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// What the thread spent in a tick, beyond its length: whether a slow tick did
// more work, or was slowed by page faults or by the machine.
struct ThreadUsage {
  double userMs = 0, systemMs = 0;
  long minorFaults = 0, majorFaults = 0, switchedOut = 0;
  static ThreadUsage Now() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    const auto ms = [](const timeval& tv) {
      return double(tv.tv_sec) * 1e3 + double(tv.tv_usec) / 1e3;
    };
    return {ms(u.ru_utime), ms(u.ru_stime), u.ru_minflt, u.ru_majflt, u.ru_nivcsw};
  }
  ThreadUsage operator-(const ThreadUsage& o) const {
    return {userMs - o.userMs, systemMs - o.systemMs, minorFaults - o.minorFaults,
            majorFaults - o.majorFaults, switchedOut - o.switchedOut};
  }
};

// Host time stolen from this machine's cores so far, in ms ("steal" in
// /proc/stat); 0 where the system does not say.
double StolenMs() {
  std::ifstream stat("/proc/stat");
  std::string cpu;
  double fields[8] = {};
  stat >> cpu;
  for (double& field : fields) stat >> field;
  return cpu == "cpu" ? fields[7] * 1000.0 / double(sysconf(_SC_CLK_TCK)) : 0;
}

// The slowest ticks by CPU time, each with where it came and what it spent.
struct SlowTicks {
  struct Tick {
    double cpuMs = -1;
    std::uint64_t index = 0;
    ThreadUsage usage;
  };
  std::array<Tick, 5> slowest;  // slowest first
  void Add(double cpuMs, std::uint64_t index, const ThreadUsage& usage) {
    if (cpuMs <= slowest.back().cpuMs) return;
    slowest.back() = {cpuMs, index, usage};
    std::sort(slowest.begin(), slowest.end(),
              [](const Tick& a, const Tick& b) { return a.cpuMs > b.cpuMs; });
  }
};

constexpr std::uint32_t kTake = 511;
constexpr std::uint64_t kTicksPerHour = 3600ull * 1920 / kTake;

double Hour(std::uint64_t tick) { return double(tick) / double(kTicksPerHour); }

void PrintSlowTicks(const SlowTicks& slow, const float* fastest, bool compared) {
  for (const auto& tick : slow.slowest) {
    if (tick.cpuMs < 0) continue;
    std::printf(
        "  slow tick %llu (hour %.2f): CPU %.3f ms (user %.1f, system %.1f), %ld minor faults, "
        "%ld major, %ld times switched out",
        static_cast<unsigned long long>(tick.index), Hour(tick.index), tick.cpuMs,
        tick.usage.userMs, tick.usage.systemMs, tick.usage.minorFaults, tick.usage.majorFaults,
        tick.usage.switchedOut);
    if (compared) std::printf("; fastest over the runs %.3f ms", double(fastest[tick.index]));
    std::printf("\n");
  }
}

// The ticks from the clearing on, while the consoles fill again.
struct Refill {
  std::uint64_t from = std::numeric_limits<std::uint64_t>::max();  // first tick after it
  SlowTicks slow;
};

// One day through a new window. Each tick's CPU time lowers fastest[tick].
SlowTicks RunDay(int run, std::uint64_t ticks, float* fastest, Refill& refill) {
  TForm1 form;
  form.Timer1->stop();
  form.Timer2->stop();
  form.resize(1100, 750);
  form.show();
  form.PageControl1->setCurrentWidget(form.TabSheet3);
  form.BitBtn2->setEnabled(true);  // connected, the reader not running
  QApplication::processEvents();
  std::printf("run %d start: %.1f MB resident, consoles keep %d lines each\n", run,
              ProcessMegabytes("VmRSS:"), form.consoleTools->MaxLines());

  TraceStream stream;
  TickHistogram wall;
  TickHistogram cpuTime;
  TickHistogram between;  // the event loop's turns between ticks
  TickHistogram refilling;  // CPU time of the ticks after "&Limpiar"
  SlowTicks slow;
  const double stolenAtStart = StolenMs();
  QElapsedTimer total;
  total.start();
  for (std::uint64_t t = 0; t < ticks; ++t) {
    if (t == refill.from) {
      form.BitBtn23Click();  // "&Limpiar", from the event loop as a click
      QApplication::processEvents();
      std::printf("hour %.2f: consoles emptied, %.1f MB resident\n", Hour(t),
                  ProcessMegabytes("VmRSS:"));
    }
    stream.Next(portInbox.data, kTake);
    portInbox.count = kTake;
    const ThreadUsage before = ThreadUsage::Now();
    QElapsedTimer timer;
    timer.start();
    const double cpu = ThreadCpuMs();
    form.Timer1Timer();
    const double cpuMs = ThreadCpuMs() - cpu;
    wall.Add(double(timer.nsecsElapsed()) / 1e6);
    cpuTime.Add(cpuMs);
    slow.Add(cpuMs, t, ThreadUsage::Now() - before);
    if (t >= refill.from) {
      refilling.Add(cpuMs);
      refill.slow.Add(cpuMs, t, ThreadUsage::Now() - before);
    }
    fastest[t] = std::min(fastest[t], float(cpuMs));
    // The event loop's turn after each tick, as live: painting, old lines
    // cut, freed memory given back.
    timer.restart();
    QApplication::processEvents();
    between.Add(double(timer.nsecsElapsed()) / 1e6);
    if ((t + 1) % kTicksPerHour == 0)
      std::printf(
          "hour %2llu: %.1f MB resident, Memo1 %d lines, %lld dropped, worst tick %.2f ms "
          "(CPU %.2f ms)\n",
          static_cast<unsigned long long>((t + 1) / kTicksPerHour), ProcessMegabytes("VmRSS:"),
          form.Memo1->document()->blockCount(),
          static_cast<long long>(form.consoleTools->Dropped(form.Memo1)), wall.worst,
          cpuTime.worst);
  }
  QApplication::processEvents();
  std::printf(
      "run %d: %.0f MB of trace in %llu ticks of %u bytes, %.0f s, %.1f s stolen by the host\n",
      run, double(ticks * kTake) / 1e6, static_cast<unsigned long long>(ticks), kTake,
      double(total.elapsed()) / 1000, (StolenMs() - stolenAtStart) / 1000);
  std::printf("end: %.1f MB resident, peak %.1f MB\n", ProcessMegabytes("VmRSS:"),
              ProcessMegabytes("VmHWM:"));
  std::printf("tick, wall clock: median %.2f ms, p99.9 %.2f ms, worst %.3f ms\n", wall.At(0.5),
              wall.At(0.999), wall.worst);
  std::printf("tick, CPU time: median %.2f ms, p99.9 %.2f ms, worst %.3f ms\n", cpuTime.At(0.5),
              cpuTime.At(0.999), cpuTime.worst);
  std::printf(
      "between ticks (painting, deferred work), wall clock: median %.2f ms, worst %.3f ms\n",
      between.At(0.5), between.worst);
  if (refilling.total > 0)
    std::printf("tick after \"&Limpiar\", CPU time: median %.2f ms, p99.9 %.2f ms, worst %.3f ms\n",
                refilling.At(0.5), refilling.At(0.999), refilling.worst);
  return slow;
}
}  // namespace

// Memory the runs' processes share with this one.
template <typename T>
T* Shared(std::size_t count) {
  void* memory =
      mmap(nullptr, count * sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    std::perror("mmap");
    std::exit(1);
  }
  return static_cast<T*>(memory);
}

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // progress shows as it goes
  const double hours = argc > 1 ? std::atof(argv[1]) : 24.0;
  const int runs = std::max(1, argc > 2 ? std::atoi(argv[2]) : 1);
  const auto ticks = std::max<std::uint64_t>(1, std::uint64_t(hours * 3600 * 1920) / kTake);
  const double clearAt = argc > 3 ? std::atof(argv[3]) : -1;

  // Every run maps these alike (1.3 MB a day), so its memory counts alike.
  float* fastest = Shared<float>(ticks);
  std::fill(fastest, fastest + ticks, std::numeric_limits<float>::max());
  SlowTicks* slowest = Shared<SlowTicks>(std::size_t(runs));
  Refill* refills = Shared<Refill>(std::size_t(runs));
  for (int run = 0; run < runs; ++run) {
    refills[run] = Refill{};
    if (clearAt >= 0) refills[run].from = std::uint64_t(clearAt * double(kTicksPerHour));
  }
  for (int run = 1; run <= runs; ++run) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      {
        QApplication app(argc, argv);
        slowest[run - 1] = RunDay(run, ticks, fastest, refills[run - 1]);
      }
      std::fflush(stdout);
      _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "run %d failed\n", run);
      return 1;
    }
  }
  for (int run = 1; run <= runs; ++run) {
    std::printf("run %d, slowest ticks:\n", run);
    PrintSlowTicks(slowest[run - 1], fastest, runs > 1);
    if (clearAt >= 0) {
      std::printf("run %d, slowest ticks after \"&Limpiar\":\n", run);
      PrintSlowTicks(refills[run - 1].slow, fastest, runs > 1);
    }
  }
  if (runs > 1) {
    TickHistogram best;
    for (std::uint64_t t = 0; t < ticks; ++t) best.Add(double(fastest[t]));
    const auto worst = std::uint64_t(std::max_element(fastest, fastest + ticks) - fastest);
    std::printf(
        "tick, fastest CPU time of %d runs: median %.2f ms, p99.9 %.2f ms, worst %.3f ms (tick "
        "%llu, hour %.2f)\n",
        runs, best.At(0.5), best.At(0.999), best.worst, static_cast<unsigned long long>(worst),
        Hour(worst));
    if (clearAt >= 0 && refills[0].from < ticks) {
      TickHistogram after;
      for (std::uint64_t t = refills[0].from; t < ticks; ++t) after.Add(double(fastest[t]));
      std::printf(
          "tick after \"&Limpiar\", fastest CPU time of %d runs: median %.2f ms, p99.9 %.2f ms, "
          "worst %.3f ms\n",
          runs, after.At(0.5), after.At(0.999), after.worst);
    }
  }
  return 0;
}
