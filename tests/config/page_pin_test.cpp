// What the pages and the profiles look like from outside, held fixed while the
// code under them moves: the fields each block lists (labels, values, order)
// and the text a profile of the corpus gives when loaded and saved again.
#include <QDir>
#include <QFile>
#include <QtTest>

#include "app/Log.h"
#include "config/Blocks.h"
#include "config/SafeConfig.h"
#include "profile/ProfilePage.h"
#include "tests/Harness.h"

namespace {
const QString kCorpus = QStringLiteral(QIREL_SOURCE_DIR "/fuzz/corpus/profile");
const QString kPins = QStringLiteral(QIREL_SOURCE_DIR "/tests/config/pins");

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Loads a profile as "Leer Configuracion" would; a value that is no integer
// stops the load where it is, as it does in the window.
void Load(TForm1& form, const QString& path) {
  const auto profile = ReadProfileFile(path);
  QVERIFY(profile);
  try {
    LoadProfileIntoPage(form, *profile);
  } catch (const std::exception&) {
  }
}

// One "block|label|value" line per field, every block, in writing order.
QByteArray FieldLines(TForm1& form) {
  QByteArray out;
  for (const BlockSpec* block : AllBlocks())
    for (const PageField& field : form.safeConfig->Fields(*block))
      out += QString("%1|%2|%3\n").arg(block->name, field.label, field.value).toUtf8();
  return out;
}

// A mismatch leaves what the code gives beside the pin, to see the difference.
void ComparePin(const QByteArray& actual, const QString& pin) {
  const QByteArray expected = Contents(kPins + "/" + pin);
  if (actual != expected) {
    QFile out(QDir::temp().filePath(pin + ".actual"));
    if (out.open(QIODevice::WriteOnly)) out.write(actual);
  }
  QVERIFY2(!expected.isEmpty(), qPrintable("no pin " + pin));
  QVERIFY2(actual == expected, qPrintable(pin + " differs; see " + QDir::temp().filePath(pin + ".actual")));
}
}  // namespace

class PagePinTest : public QObject {
  Q_OBJECT

 private slots:
  void fieldsOfEveryBlock_data() {
    QTest::addColumn<QString>("profile");
    QTest::newRow("startup") << QString();
    QTest::newRow("full") << "full.json";
    QTest::newRow("cut") << "cut_in_modbus.json";
  }
  void fieldsOfEveryBlock() {
    QFETCH(QString, profile);
    DialogScript dialogs;
    TForm1 form;
    if (!profile.isEmpty()) Load(form, kCorpus + "/" + profile);
    ComparePin(FieldLines(form), QString("fields-%1.txt").arg(QTest::currentDataTag()));
    QVERIFY(dialogs->errors.isEmpty());
  }

  // Every corpus profile loaded into a new window and saved again gives the
  // same bytes it always gave; the full one gives itself back.
  void profileRoundTrip_data() {
    QTest::addColumn<QString>("profile");
    for (const QString& name : QDir(kCorpus).entryList(QDir::Files, QDir::Name))
      QTest::newRow(qPrintable(name)) << name;
  }
  void profileRoundTrip() {
    QFETCH(QString, profile);
    DialogScript dialogs;
    TForm1 form;
    Load(form, kCorpus + "/" + profile);
    const std::string text = PageProfileText(form);
    const QByteArray saved(text.data(), qsizetype(text.size()));
    ComparePin(saved, "saved-" + profile);
    if (profile == "full.json") QCOMPARE(saved, Contents(kCorpus + "/" + profile).trimmed());
  }
};

QTEST_MAIN(PagePinTest)
#include "page_pin_test.moc"
