// A 64 KiB firmware, from its HEX file to the virtual unit, paced at 19200
// baud, in local and in remote mode: the unit ends up with the HEX file's
// data, and the receiver works again afterwards.
#include <QTemporaryDir>
#include <QtTest>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "sim/VirtualUnit.h"
#include "tests/firmware/DownloadTesting.h"
#include "tests/firmware/FirmwareUnit.h"

class DownloadE2eTest : public QObject {
  Q_OBJECT

  void Download(int com, std::optional<std::uint16_t> station) {
    QTemporaryDir dir;
    // Hardware 2, project 17, build 457: the unit's build is lower.
    const QString hexPath = dir.filePath("QRL02-017-0457.hex");
    const Bytes firmware = Sequence(64 * 1024 + 100);
    {
      QFile hex(hexPath);
      QVERIFY(hex.open(QIODevice::WriteOnly));
      hex.write(QByteArray::fromStdString(HexText(firmware, 32)));
    }

    sim::UnitOptions options = FirmwareUnitOptions(com);
    options.remoteStation = station;
    sim::VirtualUnit unit(options);
    unit.Start();

    DialogScript dialogs;
    dialogs->files = {hexPath, dir.filePath("image.bin")};
    TForm1 form;
    if (station) {
      form.RadioGroup2->setItemIndex(1);
      form.Edit3->setText(QString::number(*station));
    }
    form.LabeledEdit1->setText(QString::number(com));
    form.BitBtn1Click();
    QVERIFY(form.IsConnected());
    form.BitBtn22->click();
    QCOMPARE(form.Label155->text(), QString("2"));
    QCOMPARE(form.Label157->text(), QString("457"));

    form.BitBtn21->click();
    QVERIFY(downloadSession.IsActive());
    QVERIFY(!form.TabSheet2->isEnabled() && !form.TabSheet3->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!downloadSession.IsActive(), 90000);
    QVERIFY2(dialogs->errors.isEmpty(), qPrintable(dialogs->errors.join('|')));
    QCOMPARE(form.Label158->text(), QString("2"));  // the unit told who it is
    const Bytes received = unit.ReceivedImage();
    QVERIFY(received.size() >= firmware.size());
    QVERIFY(std::equal(firmware.begin(), firmware.end(), received.begin()));
    for (std::size_t i = firmware.size(); i < received.size(); ++i)
      QCOMPARE(received[i], std::uint8_t(0xFF));  // the last record's padding
    QCOMPARE(form.ProgressBar1->isVisible(), false);

    // The receiver has the port again: the trace comes back.
    QTRY_VERIFY_WITH_TIMEOUT(form.Timer1->isActive(), 2000);
    form.Memo1->clear();
    QTRY_VERIFY_WITH_TIMEOUT(form.Memo1->toPlainText().contains(">> DI Status 1"), 10000);
    QVERIFY(form.TabSheet2->isEnabled());
    form.BitBtn2Click();
  }

 private slots:
  void localDownload() { Download(51, std::nullopt); }
  void remoteDownload() { Download(52, 258); }
};

QTEST_MAIN(DownloadE2eTest)
#include "download_e2e_test.moc"
