// What the pages and the profiles look like from outside, held fixed while the
// code under them moves: the fields each block lists (labels, values, order)
// and the text a profile of the corpus gives when loaded and saved again.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QtTest>
#include <set>

#include "app/Controls.h"

#include "app/Log.h"
#include "config/Blocks.h"
#include "config/PageFields.h"
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

// Every scalar of a profile by its path ("ip/0/address").
void Flatten(const ProfileJson& value, const std::string& path, std::map<std::string, std::string>& out) {
  if (value.is_object()) {
    for (const auto& [key, item] : value.items()) Flatten(item, path.empty() ? key : path + "/" + key, out);
  } else if (value.is_array()) {
    for (std::size_t i = 0; i < value.size(); ++i) Flatten(value[i], path + "/" + std::to_string(i), out);
  } else {
    out[path] = value.dump();
  }
}

std::map<std::string, std::string> Saved(const TForm1& form) {
  std::map<std::string, std::string> out;
  Flatten(ParseProfile(PageProfileText(form)), "", out);
  return out;
}

// Gives the field's control another value, whatever its kind.
void Change(QWidget& root, const FieldSpec& field) {
  QWidget* control = root.findChild<QWidget*>(QString::fromStdString(field.control), Qt::FindChildrenRecursively);
  if (!control)
    for (QWidget* w : root.findChildren<QWidget*>())
      if (w->objectName().compare(QString::fromStdString(field.control), Qt::CaseInsensitive) == 0) control = w;
  QVERIFY2(control, field.control.c_str());
  switch (field.kind) {
    case FieldKind::Text: {
      auto* edit = qobject_cast<QLineEdit*>(control);
      edit->setText(QString::number(edit->text().toInt() + 7));
      break;
    }
    case FieldKind::Check:
      qobject_cast<QAbstractButton*>(control)->toggle();
      break;
    case FieldKind::Combo: {
      auto* list = qobject_cast<QComboBox*>(control);
      list->setCurrentIndex((list->currentIndex() + 1) % list->count());
      break;
    }
    case FieldKind::Choice: {
      auto* button = qobject_cast<QAbstractButton*>(control);
      if (button->isChecked())
        root.findChild<QAbstractButton*>(QString::fromStdString(field.other))->setChecked(true);
      else
        button->setChecked(true);
      break;
    }
    case FieldKind::Group: {
      auto* group = qobject_cast<RadioGroup*>(control);
      group->setItemIndex((group->itemIndex() + 1) % group->count());
      break;
    }
    case FieldKind::Cell: {
      auto* grid = qobject_cast<StringGrid*>(control);
      grid->setCell(field.col, field.row, QString::number(grid->cell(field.col, field.row).toInt() + 7));
      break;
    }
  }
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

  // Each field's profile key is where its control's value goes in a profile:
  // changing the control changes that key and nothing else; a field without
  // a key changes nothing. Comparisons match fields by these keys.
  void profileKeysNameTheirControls() {
    DialogScript dialogs;
    TForm1 form;
    Load(form, kCorpus + "/full.json");
    std::set<std::string> keys;
    for (const BlockSpec* block : AllBlocks())
      for (const FieldSpec& field : block->page().fields) {
        const QString key = FieldKey(field);
        QVERIFY2(keys.insert(key.toStdString()).second, qPrintable("two fields with key " + key));
        const auto before = Saved(form);
        Change(*form.TabSheet2, field);
        const auto after = Saved(form);
        std::set<std::string> changed;
        for (const auto& [path, value] : after)
          if (before.at(path) != value) changed.insert(path);
        const std::set<std::string> expected =
            field.key.empty() ? std::set<std::string>{} : std::set<std::string>{field.key};
        QVERIFY2(changed == expected, qPrintable(QString("%1 %2: changed %3 paths").arg(block->name)
                                                     .arg(QString::fromStdString(field.control))
                                                     .arg(changed.size())));
      }
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
