// qirel-sim: a virtual Qirel unit on a pseudo-terminal.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "sim/Options.h"
#include "sim/VirtualUnit.h"

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int) { stopRequested = true; }

}  // namespace

int main(int argc, char** argv) {
  const sim::CommandLine line = sim::ParseCommandLine({argv + 1, argv + argc});
  if (line.help) {
    std::fputs(sim::UsageText().c_str(), stdout);
    return 0;
  }
  if (!line.error.empty()) {
    std::fprintf(stderr, "qirel-sim: %s\n\n%s", line.error.c_str(), sim::UsageText().c_str());
    return 2;
  }

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    sim::VirtualUnit unit(line.options);
    unit.Start();
    std::printf("qirel-sim: unit on %s\n", unit.SlavePath().c_str());
    if (!unit.LinkPath().empty())
      std::printf("qirel-sim: linked as %s -> %s\n", unit.LinkPath().c_str(),
                  unit.SlavePath().c_str());
    if (line.options.remoteStation)
      std::printf("qirel-sim: remote station %u\n", *line.options.remoteStation);
    std::fflush(stdout);
    while (!stopRequested) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    unit.Stop();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qirel-sim: %s\n", error.what());
    return 1;
  }
  return 0;
}
