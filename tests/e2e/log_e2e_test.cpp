// A unit talking at the pace of a 19200-baud line: the debug log gets every
// line it printed, in order, byte for byte, while the consoles follow.
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "app/Log.h"
#include "tests/Harness.h"

class LogE2eTest : public QObject {
  Q_OBJECT

 private slots:
  void logHoldsEveryLineInOrder() {
    PtyPair unit;
    ComLink link(41, unit.slavePath());
    QTemporaryDir dir;
    DialogScript dialogs;
    dialogs->files.push_back(dir.filePath("debug.txt"));
    TForm1 form;
    form.LabeledEdit1->setText("41");
    form.BitBtn1Click();
    QVERIFY(form.IsConnected());
    form.BitBtn24Click();

    std::vector<std::string> lines;
    for (int i = 0; i < 120; ++i) {
      switch (i % 4) {
        case 0: lines.push_back("GSM SE\xD1" "AL: -" + std::to_string(60 + i % 20) + " dBm"); break;
        case 1: lines.push_back(">> DI Status 1 -1 -0 -1 -0 -1 -0 -1 -" + std::to_string(i % 2)); break;
        case 2: lines.push_back(">Serial TX " + std::to_string(i) + " bytes en buffer \x80\xE9"); break;
        default: lines.push_back("Tx Data-->01 03 02 00 " + std::string(i % 8 ? "0A" : "0B") + " 38 43 <--Data");
      }
    }
    std::string stream;
    for (const std::string& line : lines) stream += line + (lines.size() % 3 ? "\r\n" : "\n");
    // Paced like the line: 96 bytes every 50 ms, cut anywhere.
    std::thread talker([&] {
      for (std::size_t at = 0; at < stream.size(); at += 96) {
        unit.Write(stream.substr(at, 96));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    });
    const QString path = dir.filePath("debug.txt");
    QByteArray expected;
    for (const std::string& line : lines) expected += QByteArray::fromStdString(line) + "\r\n";
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(path).size(), qint64(expected.size()), 15000);
    talker.join();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
    QCOMPARE(Lines(form.Memo2).size(), 30);
    QVERIFY(Lines(form.Memo1).contains(QString("GSM SEÑAL: -64db")));
    QVERIFY(Lines(form.Memo2).first().endsWith("bytes en buffer €é"));
    form.BitBtn2Click();
  }
};

QTEST_MAIN(LogE2eTest)
#include "log_e2e_test.moc"
