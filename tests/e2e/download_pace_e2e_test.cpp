// Downloads to the virtual unit with both directions of the line at 19200
// baud: the time the check of the HEX file expects against the time taken,
// and the time left as the download goes and after it is cancelled.
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "firmware/Preflight.h"
#include "sim/VirtualUnit.h"
#include "tests/firmware/DownloadTesting.h"
#include "tests/firmware/FirmwareUnit.h"

namespace {

// Seconds of "Tiempo restante: m:ss", or -1.
int SecondsLeft(const QString& text) {
  static const QRegularExpression pattern("^Tiempo restante: (\\d+):(\\d\\d)$");
  const auto match = pattern.match(text);
  return match.hasMatch() ? match.captured(1).toInt() * 60 + match.captured(2).toInt() : -1;
}

}  // namespace

class DownloadPaceE2eTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  Bytes firmware = Sequence(8 * 1024);
  std::string text = HexText(firmware, 32);

  // The paced unit on COM `com` and a window connected to it, with the image
  // converted and checked.
  struct Line {
    sim::VirtualUnit unit;
    DialogScript dialogs;
    TForm1 form;

    static sim::UnitOptions PacedUnit(int com) {
      sim::UnitOptions options = FirmwareUnitOptions(com);
      options.paceInput = true;
      return options;
    }
    Line(int com, const QString& hex, const QString& image) : unit(PacedUnit(com)) {
      unit.Start();
      dialogs->files = {hex, image};
      form.LabeledEdit1->setText(QString::number(com));
      form.BitBtn1Click();
      form.BitBtn22Click();
    }
    ~Line() { form.BitBtn2Click(); }
  };

  std::unique_ptr<Line> Connect(int com) {
    const QString hex = dir.filePath("QRL02-017-0457.hex");
    SaveBytes(hex, Text(text));
    auto line = std::make_unique<Line>(com, hex, dir.filePath("image.bin"));
    if (!line->form.IsConnected() || line->form.Label157->text() != "457") return nullptr;
    return line;
  }

 private slots:
  void expectedTimeMatchesThePacedLine() {
    const auto line = Connect(53);
    QVERIFY(line);
    TForm1& form = line->form;
    const double expected = AnalyseHex(Text(text)).downloadSeconds;

    QElapsedTimer timer;
    timer.start();
    form.BitBtn21->click();
    QTRY_VERIFY_WITH_TIMEOUT(!downloadSession.IsActive(), 120000);
    const double measured = double(timer.elapsed()) / 1000.0;
    const Bytes received = line->unit.ReceivedImage();
    QVERIFY(received.size() >= firmware.size() &&
            std::equal(firmware.begin(), firmware.end(), received.begin()));
    qInfo("expected %.2f s, took %.2f s", expected, measured);
    QVERIFY2(std::abs(measured - expected) <= 0.15 * measured,
             qPrintable(QString("expected %1 s, took %2 s").arg(expected).arg(measured)));
    QVERIFY(form.downloadEtaLabel->text().startsWith("Tiempo total: "));
  }

  void timeLeftCountsDownAndCancelGivesTheControlsBack() {
    const auto line = Connect(54);
    QVERIFY(line);
    TForm1& form = line->form;
    // Every record takes one second by this clock: the time left falls by one each time.
    DownloadEta::Clock::time_point clock{};
    form.downloadEta.now = [&clock] { return clock += std::chrono::seconds(1); };

    form.BitBtn21->click();
    QVERIFY(!form.BitBtn21->isEnabled() && form.BitBtn40->isEnabled());
    QList<int> left;
    const auto sample = [&] {
      const int seconds = SecondsLeft(form.downloadEtaLabel->text());
      if (seconds >= 0 && (left.isEmpty() || left.last() != seconds)) left << seconds;
      return seconds;
    };
    QTRY_VERIFY_WITH_TIMEOUT(sample() >= 0 && sample() <= 15, 60000);
    QVERIFY2(left.size() >= 5, qPrintable(QString::number(left.size())));
    for (int i = 1; i < left.size(); ++i) QVERIFY(left[i] < left[i - 1]);

    form.BitBtn40->click();
    QVERIFY(!downloadSession.IsActive());
    QVERIFY(form.downloadEtaLabel->text().startsWith("Descarga interrumpida a los "));
    QVERIFY(form.BitBtn21->isEnabled());
    QVERIFY(!form.BitBtn40->isEnabled());
    QVERIFY(form.ProgressBar1->isHidden());
    QVERIFY(form.TabSheet2->isEnabled() && form.TabSheet3->isEnabled());
    QVERIFY(form.Timer1->isActive() && !form.Timer5->isActive());
  }
};

QTEST_MAIN(DownloadPaceE2eTest)
#include "download_pace_e2e_test.moc"
