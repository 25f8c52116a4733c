// Configuration profiles: the saved text, loading key by key, damaged and
// oversized files, and saves that fail.
#include "profile/Profile.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "app/Defaults.h"
#include "app/Log.h"
#include "monitor/Monitor.h"
#include "tests/Harness.h"

namespace {
// Every field a profile carries, one "name=value" line each, in creation order.
QStringList Page(const TForm1& f) {
  static const QRegularExpression saved(
      "^(Edit(16|18|1|13|5|14|9|15|2)|LabeledEdit(5|2|3|12)|CheckBox(7|43|42|1|3|4)|ComboBox[5-8]|"
      "SeleccionPuerto|(DigitalCheck|AnalogLowCheck|AnalogHiCheck|invert|logicInvert|latch|"
      "latchReset|pulso|lacthTime|Cero|Span|AlLow|AlHi|AiHis)\\d+)$",
      QRegularExpression::CaseInsensitiveOption);
  QStringList page;
  for (const QObject* o : f.findChildren<QObject*>()) {
    if (!saved.match(o->objectName()).hasMatch()) continue;
    if (auto* e = qobject_cast<const QLineEdit*>(o)) page << o->objectName() + "=" + e->text();
    if (auto* b = qobject_cast<const QCheckBox*>(o))
      page << o->objectName() + "=" + (b->isChecked() ? "1" : "0");
    if (auto* c = qobject_cast<const QComboBox*>(o))
      page << o->objectName() + "=" + QString::number(c->currentIndex());
    if (auto* g = qobject_cast<const RadioGroup*>(o))
      page << o->objectName() + "=" + QString::number(g->itemIndex());
  }
  using Grid = std::tuple<const StringGrid*, int, int>;  // columns and rows saved
  for (auto [grid, cols, rows] : {Grid{f.modbusGrid1, 3, 64}, Grid{f.modbusGrid2, 6, 64},
                                  Grid{f.tagDigital, 1, 8}, Grid{f.tagAnalog, 1, 4}})
    for (int row = 1; row <= rows; ++row)
      for (int col = 1; col <= cols; ++col)
        page << QString("%1[%2,%3]=").arg(grid->objectName()).arg(col).arg(row) +
                    grid->cell(col, row);
  return page;
}

// Distinct values in every field; texts with percent signs, quotes and letters outside ASCII.
void Scramble(TForm1& f) {
  int n = 0;
  for (QObject* o : f.findChildren<QObject*>()) {
    if (auto* e = qobject_cast<QLineEdit*>(o)) e->setText(e->objectName() + " 50% \"q\" ñandú €");
    if (auto* b = qobject_cast<QCheckBox*>(o)) b->setChecked(++n % 3 == 0);
  }
  for (auto* edits : {&f.ceroEdits, &f.spanEdits, &f.alLowEdits, &f.alHiEdits, &f.aiHisEdits})
    for (auto* e : *edits) e->setText(QString::number(++n));
  for (std::size_t k = 0; k < 16; ++k) {
    f.pulsoCombos[k]->setCurrentIndex(k % 3 == 1);
    f.lacthTimeEdits[k]->setText(k < 8 ? "11" : "99");
  }
  for (auto [combo, index] :
       {std::pair{f.ComboBox5, 6}, {f.ComboBox6, 0}, {f.ComboBox7, 2}, {f.ComboBox8, -1}})
    combo->setCurrentIndex(index);
  f.SeleccionPuerto->setItemIndex(1);
  for (int row = 1; row <= 64; ++row)
    for (int col = 1; col <= 6; ++col) {
      if (col <= 3) f.modbusGrid1->setCell(col, row, QString::number(++n));
      f.modbusGrid2->setCell(col, row, QString::number(++n));
    }
  for (int row = 1; row <= 8; ++row)
    f.tagDigital->setCell(1, row, QString("Entrada %1 \"ñ\" 5%").arg(row));
  for (int row = 1; row <= 4; ++row) f.tagAnalog->setCell(1, row, QString("Análoga %1").arg(row));
}

QByteArray Repeat(const char* element, int count) {
  QByteArrayList list;
  for (int i = 0; i < count; ++i) list << element;
  return "[" + list.join(',') + "]";
}

// The saved text of a form with its start-up values.
QByteArray StartupProfile() {
  const QByteArray server =
      QByteArray(R"({"address":")") + kDefaultServerAddress + R"(","port":"36377"})";
  return R"({"perfil":"Vesk","id":"1","periodo":"1","ip":)" + Repeat(server, 3) +
         R"(,"vpn":"0","simA":"0","simB":"0","baudrate":"4","bits":"1","paridad":"0","bitStop":"0",)"
         R"("serialWait":"100","serialPort":"0","sms":)" +
         Repeat(R"({"number":"0","alarm":"0"})", 3) + R"(,"smsId":"0","digitalSmsAlarms":)" +
         Repeat(R"({"digital":"0"})", 8) + R"(,"analogSmsAlarms":)" +
         Repeat(R"({"anaLow":"0","anaHi":"0"})", 4) + R"(,"cfgDigital":)" +
         Repeat(R"({"inv":"0","logicInv":"0","latch":"0","latchReset":"0","pulsos":"0"})", 16) +
         R"(,"latchTime":"0","latchTime2":"0","cfgAnalog":)" +
         Repeat(R"({"cero":"0","span":"0","alLow":"0","alHi":"0","alHist":"0"})", 8) +
         R"(,"modbusDigital":)" + Repeat(R"({"enable":"0","slave":"0","address":"0"})", 64) +
         R"(,"modbusAnalog":)" +
         Repeat(
             R"({"enable":"0","slave":"0","address":"0","alHi":"0","alLow":"0","threshold":"0"})",
             64) +
         R"(,"tagDigital":)" + Repeat(R"({"digital":""})", 8) + R"(,"tagAnalog":)" +
         Repeat(R"({"analog":""})", 4) + "}";
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// a is what b would give when read only up to some point.
bool PartOf(const ProfileJson& a, const ProfileJson& b) {
  if (a.is_null()) return true;
  if (!a.is_object() || !b.is_object()) return false;
  for (const auto& [key, value] : a.items()) {
    const ProfileJson whole = b.value(key, ProfileJson());
    if (value.is_array() && whole.is_array() && value.size() <= whole.size()) {
      if (!std::equal(value.begin(), value.end(), whole.begin())) return false;
    } else if (value != whole) {
      return false;
    }
  }
  return true;
}
}  // namespace

class ProfileTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  QString Path(const QString& name) const { return dir.filePath(name); }
  void Save(TForm1& form, DialogScript& dialogs, const QString& path) {
    dialogs->files.push_back(path);
    form.BitBtn8->click();
  }
  void Load(TForm1& form, DialogScript& dialogs, const QByteArray& json) {
    WriteAll(Path("in.txt"), json);
    dialogs->files.push_back(Path("in.txt"));
    form.BitBtn11->click();
  }

 private slots:
  void savedTextAndRoundTrip() {
    DialogScript dialogs;
    TForm1 startup, scrambled;
    const QStringList startupPage = Page(startup);
    QCOMPARE(startupPage.size(), 13 + 6 + 4 + 1 + 8 + 8 + 16 * 6 + 8 * 5 + 64 * 9 + 12);
    Save(startup, dialogs, Path("startup.txt"));
    QCOMPARE(ReadAll(Path("startup.txt")), StartupProfile());

    Scramble(scrambled);
    const QStringList scrambledPage = Page(scrambled);
    QVERIFY(scrambledPage != startupPage);
    Save(scrambled, dialogs, Path("scrambled.txt"));
    dialogs->files = {Path("startup.txt"), Path("scrambled.txt")};
    scrambled.BitBtn11->click();
    QCOMPARE(Page(scrambled), startupPage);
    startup.BitBtn11->click();
    QCOMPARE(Page(startup), scrambledPage);
    QCOMPARE(Lines(startup.Memo1), QStringList({"\"perfil\":\"Vesk\"", "Vesk"}));
    QVERIFY(ReadAll(Path("scrambled.txt")).contains("\"Edit16 50% \\\"q\\\" ñandú €\""));
    QVERIFY(dialogs->errors.isEmpty() && dialogs->messages.isEmpty());
  }

  void partialAndForeignProfiles() {
    DialogScript dialogs;
    TForm1 form;
    QStringList page = Page(form);
    Load(form, dialogs, R"({"id":"77"})");
    page.replaceInStrings("Edit16=1", "Edit16=77");
    QCOMPARE(Page(form), page);
    QVERIFY(Lines(form.Memo1).isEmpty());

    // Two servers; elements that are no object or beyond the third are skipped.
    Load(form, dialogs,
         R"({"perfil":"Otro","ip":[{"address":"a","port":"1"},{"address":"b","port":"2"}],)"
         R"("sms":[7,{"number":"5"},{"alarm":"1"},{"number":"x"}],"extra":{"id":"9"},"id":["8"]})");
    QCOMPARE(QStringList({form.Edit1->text(), form.Edit13->text(), form.Edit5->text(),
                          form.Edit14->text(), form.Edit9->text(), form.Edit15->text()}),
             QStringList({"a", "1", "b", "2", kDefaultServerAddress, "36377"}));
    QCOMPARE(QStringList({form.LabeledEdit2->text(), form.LabeledEdit3->text(),
                          form.LabeledEdit12->text()}),
             QStringList({"0", "5", "0"}));
    QVERIFY(form.CheckBox4->isChecked() && form.Edit16->text() == "77");
    QCOMPARE(Lines(form.Memo1), QStringList({"\"perfil\":\"Otro\"", "Otro"}));

    page = Page(form);
    for (const char* foreign :
         {"", "Debug line\r\n", R"(["id","5"])", R"("id")", "\xEF\xBB\xBF[{\"id\":\"5\"}]"})
      Load(form, dialogs, foreign);
    dialogs->files.push_back("");  // cancelled
    form.BitBtn11->click();
    QCOMPARE(Page(form), page);
    QVERIFY(dialogs->errors.isEmpty());
  }

  void valueForms() {
    DialogScript dialogs;
    TForm1 form;
    Load(
        form, dialogs,
        R"({"vpn":"-1","simA":"3","simB":"0","baudrate":"3","serialPort":"1",)"
        R"("cfgDigital":[{"pulsos":"-1"},{"pulsos":"2"},{"inv":"1","pulsos":"0"}],)"
        R"("latchTime":"5","cfgAnalog":[{"cero":"0012","span":"-007","alHist":12}],)"
        R"("modbusAnalog":[{},{"threshold":"065535"}],"tagAnalog":[{"analog":"Presión \u0022alta\u0022 90%"}]})");
    QVERIFY(form.CheckBox7->isChecked() && form.CheckBox43->isChecked() &&
            !form.CheckBox42->isChecked());
    QCOMPARE(form.ComboBox5->currentText(), QString("9600"));
    QCOMPARE(form.SeleccionPuerto->itemIndex(), 1);
    QCOMPARE(QList<int>({form.pulsoCombos[0]->currentIndex(), form.pulsoCombos[1]->currentIndex(),
                         form.pulsoCombos[2]->currentIndex()}),
             QList<int>({1, 1, 0}));
    QVERIFY(form.invertChecks[2]->isChecked());
    for (auto* edit : form.lacthTimeEdits) QCOMPARE(edit->text(), QString("5"));
    QCOMPARE(QStringList({form.ceroEdits[0]->text(), form.spanEdits[0]->text(),
                          form.aiHisEdits[0]->text()}),
             QStringList({"12", "-7", "12"}));
    QCOMPARE(form.modbusGrid2->cell(6, 2), QString("65535"));
    QCOMPARE(form.tagAnalog->cell(1, 1), QString("Presión \"alta\" 90%"));

    Load(form, dialogs, R"({"vpn":"0","latchTime":"6","latchTime2":"8"})");
    QVERIFY(!form.CheckBox7->isChecked());
    for (std::size_t k = 0; k < 16; ++k)
      QCOMPARE(form.lacthTimeEdits[k]->text(), QString(k < 8 ? "6" : "8"));
    QVERIFY(dialogs->errors.isEmpty());
  }

  void noIntegerStopsTheLoad() {
    DialogScript dialogs;
    TForm1 form;
    Load(form, dialogs,
         R"({"id":"4","cfgAnalog":[{"cero":"0012"},{"cero":"3","span":"1.5","alLow":"9"}],)"
         R"("modbusDigital":[{"enable":"2"}],"tagDigital":[{"digital":"no"}]})");
    QCOMPARE(dialogs->errors, QStringList({"'1.5' is not a valid integer value"}));
    QCOMPARE(QStringList({form.Edit16->text(), form.ceroEdits[0]->text(), form.ceroEdits[1]->text(),
                          form.spanEdits[1]->text(), form.alLowEdits[1]->text(),
                          form.modbusGrid1->cell(1, 1), form.tagDigital->cell(1, 1)}),
             QStringList({"4", "12", "3", "0", "0", "0", ""}));
    // "smsId" comes after the SMS alarms, wherever it stands in the file.
    Load(form, dialogs, R"({"smsId":"S","id":"5","analogSmsAlarms":[{"anaLow":"si"}]})");
    QCOMPARE(dialogs->errors.last(), QString("'si' is not a valid integer value"));
    QVERIFY(form.Edit16->text() == "5" && form.Edit2->text() == "0");
  }

  void windows1252Profile() {
    DialogScript dialogs;
    TForm1 form;
    // Saved by an editor in Windows-1252: every pair loads, accents right.
    const QString text = QString::fromUtf8(
        R"({"perfil":"Vesk","id":"Estación Ñuble","smsId":"Año","vpn":"-1",)"
        R"("tagAnalog":[{"analog":"Presión 5€"},{"analog":"“alta”"}],"latchTime":"7"})");
    const std::string cp1252 = ToCp1252(text);
    Load(form, dialogs, QByteArray(cp1252.data(), qsizetype(cp1252.size())));
    QCOMPARE(form.Edit16->text(), QString("Estación Ñuble"));
    QCOMPARE(form.Edit2->text(), QString("Año"));
    QVERIFY(form.CheckBox7->isChecked());
    QCOMPARE(form.tagAnalog->cell(1, 1), QString("Presión 5€"));
    QCOMPARE(form.tagAnalog->cell(1, 2), QString("“alta”"));
    QCOMPARE(form.lacthTimeEdits[15]->text(), QString("7"));

    // UTF-8 cut inside a character is a damaged UTF-8 file, not Windows-1252.
    const QByteArray utf8 = QString(R"({"id":"Acción","smsId":"Año"})").toUtf8();
    Load(form, dialogs, utf8.left(utf8.indexOf("ñ") + 1));
    QCOMPARE(form.Edit16->text(), QString("Acción"));
    QCOMPARE(form.Edit2->text(), QString("Año"));  // the cut pair is missing
    QVERIFY(dialogs->errors.isEmpty());
  }

  void damagedFile() {
    DialogScript dialogs;
    TForm1 scrambled, form;
    Scramble(scrambled);
    Save(scrambled, dialogs, Path("full.txt"));
    const QByteArray full = ReadAll(Path("full.txt"));
    // Cut inside the third analog input, after its complete "span": the first
    // two inputs and everything before them apply, that input and the rest not.
    qsizetype at = full.indexOf(R"("cfgAnalog")");
    for (int i = 0; i < 3; ++i) at = full.indexOf(R"({"cero")", at + 1);
    const QStringList before = Page(form), wanted = Page(scrambled);
    Load(form, dialogs, full.left(full.indexOf(R"(,"alLow")", at)));
    const QStringList after = Page(form);
    static const QRegularExpression missing("^(Cero|Span|AlLow|AlHi|AiHis)[3-8]=|\\[");
    for (qsizetype i = 0; i < after.size(); ++i)
      QCOMPARE(after[i], after[i].contains(missing) ? before[i] : wanted[i]);
    QVERIFY(dialogs->errors.isEmpty());

    // Every cut of a document reads as a part of it, and each longer cut as at least as much.
    const std::string text =
        R"({"perfil":"Vesk","id":"7","ip":[{"address":"a","port":"1"},{"address":"b"}],)"
        R"("cfgAnalog":[{"cero":"1"},[2],{"cero":"3","span":{"x":[4]}}],"tagAnalog":[]} x)";
    const ProfileJson whole = ProfileJson::parse(text.substr(0, text.size() - 2));
    // QVERIFY: a JSON value converts to any type, and QCOMPARE on Windows has overloads it then fits.
    QVERIFY(ParseProfile(text) == whole);
    ProfileJson previous;
    for (std::size_t n = 0; n <= text.size(); ++n) {
      const ProfileJson part = ParseProfile(std::string_view(text).substr(0, n));
      QVERIFY2(PartOf(part, whole) && PartOf(previous, part), text.substr(0, n).c_str());
      previous = part;
    }
    const ProfileJson cutInSecond =
        ParseProfile("{\"id\":\"7\",\"ip\":[{\"address\":\"a\"},{\"address\":\"b\",\"port\":\"2");
    const ProfileJson firstOnly = ProfileJson::parse(R"([{"address":"a"}])");
    const ProfileJson cutInId = ParseProfile("{\"id\":\"7");
    QVERIFY(cutInSecond["ip"] == firstOnly);
    QVERIFY(cutInId.is_object() && cutInId.empty());
  }

  void failedSaveKeepsTheOldFile() {
    DialogScript dialogs;
    TForm1 form;
    QTemporaryDir here;
    const QString missing = here.filePath("missing/profile.txt"), path = here.filePath("old.txt");
    Save(form, dialogs, missing);
    QCOMPARE(dialogs->errors, QStringList({"No se pudo guardar el perfil en " + QDir::toNativeSeparators(missing)}));
#if defined(_WIN32)
    QSKIP("a file size limit is POSIX's; the missing folder above was refused");
#else
    // A file system that takes no more than 64 bytes, even from root.
    WriteAll(path, R"({"perfil":"Vesk","id":"old profile, more than sixty-four bytes long ..."})");
    const QByteArray old = ReadAll(path);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 64;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    Save(form, dialogs, path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(dialogs->errors.value(1), "No se pudo guardar el perfil en " + path);
    QCOMPARE(QDir(here.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"old.txt"}));
#endif
  }

  void oversizedAndUnreadableFiles() {
    DialogScript dialogs;
    TForm1 form;
    QByteArray big = R"({"id":"9"})";
    big.append(QByteArray(qsizetype(kMaxProfileBytes) - big.size(), ' '));
    Load(form, dialogs, big);
    QCOMPARE(form.Edit16->text(), QString("9"));
    Load(form, dialogs, big.replace(R"("9")", R"("8")") + " ");
    QCOMPARE(form.Edit16->text(), QString("9"));
    dialogs->files.push_back(Path("none.txt"));
    form.BitBtn11->click();
    QCOMPARE(dialogs->errors,
             QStringList({"El archivo " + QDir::toNativeSeparators(Path("in.txt")) +
                              " es demasiado grande para ser un perfil (más de 1 MiB)",
                          "No se pudo abrir el perfil " + QDir::toNativeSeparators(Path("none.txt"))}));
  }
};

QTEST_MAIN(ProfileTest)
#include "profile_test.moc"
