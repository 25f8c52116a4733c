// A pulled USB adapter, timed: how long the writes of four request buttons take
// to fail, how much CPU the reader and the receiver use in a second of failing
// reads, and how long "&Desconectar" takes. Budgets: each under 0.5 s, and
// under 0.3 s of CPU for the second.
//   QT_QPA_PLATFORM=offscreen build/unplug_bench
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <cstdio>
#include <thread>

#include "app/Log.h"
#include "tests/Harness.h"

namespace {
constexpr int kCom = 19;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  DialogScript dialogs;
  PtyPair cable;
  ComLink link(kCom, cable.slavePath());
  TForm1 form;
  form.Timer1->stop();
  form.Timer2->stop();
  form.LabeledEdit1->setText(QString::number(kCom));
  form.BitBtn1Click();
  if (!form.IsConnected()) {
    std::fprintf(stderr, "could not connect\n");
    return 1;
  }
  cable.Close();

  for (QPushButton* button : {form.BitBtn34, form.BitBtn35, form.BitBtn4, form.BitBtn9}) {
    QElapsedTimer timer;
    timer.start();
    button->click();
    std::printf("%s write fails after %lld ms\n", qPrintable(button->objectName()),
                timer.elapsed());
  }

  const double cpu = CpuSeconds();
  QElapsedTimer second;
  second.start();
  while (second.elapsed() < 1000) {
    form.Timer1Timer();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::printf("CPU in one second of a pulled cable: %.3f s\n", CpuSeconds() - cpu);

  QElapsedTimer closing;
  closing.start();
  form.BitBtn2->click();
  std::printf("\"&Desconectar\" takes %lld ms\n", closing.elapsed());
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // the reader sees its stop request
  return 0;
}
