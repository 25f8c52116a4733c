// "Leer todo" of a unit with every block, the virtual unit paced at 19200
// baud, with the tool's real timers: our replies taken as the reader passes
// them on and dispatched at once; taken at the receiver's 50 ms tick and
// dispatched at once; and waiting for both ticks (the dispatcher's is 500 ms).
//   QT_QPA_PLATFORM=offscreen build/readall_bench
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

#include "app/Log.h"
#include "config/SafeConfig.h"
#include "sim/VirtualUnit.h"

namespace {
void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  sim::UnitOptions options;
  options.com = 61;
  sim::VirtualUnit unit(options);
  unit.Start();
  TForm1 form;
  form.LabeledEdit1->setText("61");
  form.BitBtn1Click();
  Wait(1500);  // the sub-pages shown, the first trace in
  std::printf("wire bytes of every read reply as the unit prints them: ");
  int chars = 0;
  for (const BlockSpec* block : AllBlocks()) chars += 3 * block->ReplyLength() + 16;
  std::printf("%d characters, %.2f s at 1920 bytes/s\n", chars, chars / 1920.0);
  struct Mode {
    const char* name;
    bool receive, dispatch;
  };
  for (const Mode mode : {Mode{"taken and dispatched at once", true, true},
                          Mode{"receiver tick, dispatched", false, true},
                          Mode{"both ticks", false, false}}) {
    form.safeConfig->receiveAtOnce = mode.receive;
    form.safeConfig->dispatchAtOnce = mode.dispatch;
    for (int run = 0; run < 3; ++run) {
      QElapsedTimer clock;
      clock.start();
      form.readAllButton->click();
      while (form.safeConfig->Running()) Wait(5);
      std::printf("%-30s run %d: %.2f s  %s\n", mode.name, run + 1, clock.elapsed() / 1000.0,
                  qPrintable(form.StatusText()));
    }
  }
  form.BitBtn2Click();
  return 0;
}
