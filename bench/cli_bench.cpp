// qirel-cli read against virtual units paced at 19200 baud: one unit against
// its wire time, then eight at once against one. Each run is the real program.
//   build/cli_bench [runs]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <vector>

#include "config/Blocks.h"
#include "sim/VirtualUnit.h"

namespace {
double Read(const QString& ports, const QString& output) {
  QProcess process;
  QElapsedTimer clock;
  clock.start();
  process.start(QStringLiteral(QIREL_CLI), {"read", "--port", ports, "--output", output, "--quiet"});
  process.waitForFinished(600000);
  const double seconds = clock.elapsed() / 1000.0;
  if (process.exitCode() != 0) std::printf("  exit code %d: %s\n", process.exitCode(), process.readAllStandardOutput().constData());
  return seconds;
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<std::unique_ptr<sim::VirtualUnit>> units;
  for (int com = 71; com <= 78; ++com) {
    sim::UnitOptions options;
    options.com = com;
    units.push_back(std::make_unique<sim::VirtualUnit>(options));
    units.back()->Start();
  }
  // Every read reply as the unit prints it (three characters a byte and the
  // markers), the identification's included.
  int chars = 3 * ReadReplyLength(45) + 16;
  for (const BlockSpec* block : AllBlocks()) chars += 3 * block->ReplyLength() + 16;
  const double wire = chars / 1920.0;
  std::printf("wire time of the replies: %d characters, %.2f s at 1920 bytes/s\n", chars, wire);
  QTemporaryDir dir;
  double best1 = 1e9, best8 = 1e9;
  for (int run = 0; run < runs; ++run) {
    const double one = Read("71", dir.filePath(QString("one-%1.json").arg(run)));
    const double eight = Read("71-78", dir.filePath(QString("eight-%1").arg(run)));
    best1 = std::min(best1, one);
    best8 = std::min(best8, eight);
    std::printf("run %d: one unit %.2f s (%.2f x wire), eight at once %.2f s (%.2f x one)\n", run + 1, one,
                one / wire, eight, eight / one);
  }
  std::printf("fastest: one unit %.2f s (%.2f x wire), eight at once %.2f s (%.2f x one)\n", best1,
              best1 / wire, best8, best8 / best1);
  return 0;
}
