// "Seleccionar HEX" from the page: the dialogs, the image file it leaves, the
// "Archivo" panel and the download log.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "monitor/Monitor.h"
#include "tests/Harness.h"
#include "tests/firmware/DownloadTesting.h"

namespace {

QString WriteText(const QString& path, const std::string& text) {
  SaveBytes(path, Text(text));
  return path;
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList FileLabels(TForm1& form) {
  return {form.Label155->text(), form.Label156->text(), form.Label157->text()};
}

}  // namespace

class HexImageTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  std::unique_ptr<TForm1> form;

 private slots:
  void init() {
    form = std::make_unique<TForm1>();
    downloadSession.SetFileName("previous.bin");
    downloadSession.ClearCount();
  }
  void cleanup() { form.reset(); }

  void conversionFillsThePanel() {
    DialogScript dialogs;
    const QString hex = WriteText(dir.filePath("QRL02-300-0456.hex"), HexText(Sequence(300)));
    const QString bin = dir.filePath("fw.bin");
    WriteText(bin, std::string(5000, 'x'));  // replaced, not written over
    dialogs->files = {hex, bin};
    for (QLabel* unit : {form->Label158, form->Label159, form->Label160}) unit->setText("7");
    form->Shape1->setColor(0x00FFFF);
    form->BitBtn22->click();

    const QByteArray image = ReadAll(bin);
    QCOMPARE(image.size(), 802);
    QCOMPARE(Hex(Bytes(image.begin(), image.begin() + 10)),
             std::string("00 02 00 2C 01 C8 00 04 01 00"));        // project 300 is 44
    QCOMPARE(FileLabels(*form), QStringList({"2", "44", "456"}));  // no name for 44
    for (QLabel* unit : {form->Label158, form->Label159, form->Label160})
      QCOMPARE(unit->text(), QString("-"));
    QCOMPARE(form->Shape1->color(), TColor(0x00FFFF));
    // The conversion's own lines, then the check of the file.
    QCOMPARE(
        Lines(form->Memo3),
        QStringList({"salto :20,1", "FirmwareSize : 4", "Rango 0x00000000-0x0000012B (300 bytes)",
                     "Datos: 300 bytes en 19 registros HEX", "Imagen: 4 registros, 802 bytes",
                     "Tiempo estimado de descarga a 19200 baudios: 0:01"}));
    QCOMPARE(form->preflightPanel->color(), clGreen);
    QCOMPARE(downloadSession.fileName, bin.toStdString());
    QCOMPARE(downloadSession.GetCount(), 4);
    QVERIFY(dialogs->messages.isEmpty());
    // The session can serve it.
    std::string command;
    QVERIFY(downloadSession.Open(command));
    downloadSession.Close();
  }

  void cancelledDialogs() {
    DialogScript dialogs;
    const QString hex = WriteText(dir.filePath("QRL02-017-0456.hex"), HexText(Sequence(32)));
    dialogs->files = {""};
    form->BitBtn22Click();
    QCOMPARE(downloadSession.fileName, std::string("previous.bin"));

    const QString bin = dir.filePath("cancelled.bin");
    dialogs->files = {hex, ""};
    form->BitBtn22Click();
    QVERIFY(!QFile::exists(bin));
    QCOMPARE(downloadSession.fileName, hex.toStdString());
    QVERIFY(Lines(form->Memo3).isEmpty());
    QCOMPARE(FileLabels(*form), QStringList({"-", "-", "-"}));
  }

  void refusedFiles() {
    std::string damaged = HexText(Sequence(64));
    damaged[50] = damaged[50] == '0' ? '1' : '0';  // a data digit of the second line
    const struct {
      const char* name;
      std::string text;
      const char* why;
    } cases[] = {
        {"QRL02-017-0456.hex", damaged, "Checksum incorrecto en la linea 2 del archivo HEX"},
        {"firmware.hex", HexText(Sequence(32)),
         "El nombre del archivo HEX no indica hardware, proyecto y build (ejemplo: "
         "ABC02-017-0456.hex)"},
        {"QRL02-017-0456.txt", HexText(Sequence(32)),
         "El nombre del archivo HEX no indica hardware, proyecto y build (ejemplo: "
         "ABC02-017-0456.hex)"},
    };
    int folder = 0;
    for (const auto& c : cases) {
      DialogScript dialogs;
      const QString where = "refused" + QString::number(++folder);
      QDir(dir.path()).mkdir(where);
      const QString hex = WriteText(dir.filePath(where + "/" + c.name), c.text);
      const QString bin = dir.filePath("refused.bin");
      form->Label155->setText("9");
      dialogs->files = {hex, bin};
      form->BitBtn22Click();
      // One message, naming the file.
      const QString why = "No se puede convertir " + QDir::toNativeSeparators(hex) + ": " + c.why;
      QCOMPARE(dialogs->messages, QStringList{why});
      QCOMPARE(Lines(form->Memo3).last(), why);
      QCOMPARE(dialogs->files.size(), std::size_t(1));  // never asked where to save
      QVERIFY(!QFile::exists(bin));
      QCOMPARE(FileLabels(*form), QStringList({"-", "-", "-"}));
      QCOMPARE(downloadSession.fileName, hex.toStdString());
      QCOMPARE(downloadSession.GetCount(), 0);
    }
  }

  void pathsOfAnyLength() {
    DialogScript dialogs;
    QString deep = dir.path();
    for (int level = 0; level < 4; ++level) deep += "/" + QString(100, QChar('a' + level));
    QVERIFY(QDir().mkpath(deep));
    const QString hex =
        WriteText(deep + "/QRL02-017-0456-con un nombre largo.hex", HexText(Sequence(300)));
    const QString bin = deep + "/" + QString(120, 'b') + ".bin";
    QVERIFY(bin.size() > 500);
    dialogs->files = {hex, bin};
    form->BitBtn22Click();
    QCOMPARE(ReadAll(bin).size(), 802);
    QCOMPARE(FileLabels(*form), QStringList({"2", projectNames[17], "456"}));
    std::string command;
    QVERIFY(downloadSession.Open(command));
    downloadSession.Close();

    dialogs->files = {hex, deep + "/no/such/folder.bin"};
    form->BitBtn22Click();
    QCOMPARE(Lines(form->Memo3).last(),
             "No se puede escribir el archivo " + deep + "/no/such/folder.bin");
    QCOMPARE(downloadSession.fileName, hex.toStdString());
  }
};

QTEST_MAIN(HexImageTest)
#include "hex_image_test.moc"
