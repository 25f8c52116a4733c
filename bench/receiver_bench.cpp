// How long one receiver tick takes with a full inbox of trace while the
// consoles already hold 100 000 lines, and how many bytes a second the
// receiver and the consoles keep up with, against a 19200-baud line.
//   QT_QPA_PLATFORM=offscreen build/receiver_bench [ticks]
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Log.h"
#include "bench/TraceStream.h"
#include "link/Unit1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 2000;
  TForm1 form;
  form.Timer1->stop();
  form.Timer2->stop();
  form.resize(1100, 750);
  form.show();
  form.PageControl1->setCurrentWidget(form.TabSheet3);  // the consoles in view
  form.BitBtn2->setEnabled(true);                       // connected, the reader not running

  QStringList history;
  for (int i = 0; i < 100000; ++i) history << QString(">> DI Status 1 -1 -0 -1 -0 line %1").arg(i);
  form.Memo1->setPlainText(history.join('\n'));
  form.Memo2->setPlainText(history.join('\n'));
  QApplication::processEvents();

  TraceStream stream;
  std::vector<double> tickMs;
  std::vector<double> withPaintMs;
  QElapsedTimer total;
  total.start();
  for (int t = 0; t < ticks; ++t) {
    stream.Next(portInbox.data, 511);
    portInbox.count = 511;
    QElapsedTimer timer;
    timer.start();
    form.Timer1Timer();
    tickMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    QApplication::processEvents();  // layout and painting of what the tick added
    withPaintMs.push_back(double(timer.nsecsElapsed()) / 1e6);
  }
  const double seconds = double(total.nsecsElapsed()) / 1e9;
  const double bytesPerSecond = 511.0 * ticks / seconds;
  std::printf("ticks: %d of 511 bytes, consoles started with 100000 lines each\n", ticks);
  std::printf("tick: median %.3f ms, p99 %.3f ms, worst %.3f ms\n", Percentile(tickMs, 0.5),
              Percentile(tickMs, 0.99), Percentile(tickMs, 1.0));
  std::printf("tick with repaint: median %.3f ms, p99 %.3f ms, worst %.3f ms\n",
              Percentile(withPaintMs, 0.5), Percentile(withPaintMs, 0.99),
              Percentile(withPaintMs, 1.0));
  std::printf("sustained: %.0f bytes/s, %.0f times a 19200-baud line (1920 bytes/s)\n",
              bytesPerSecond, bytesPerSecond / 1920.0);
  return 0;
}
