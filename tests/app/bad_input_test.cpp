// Bad input at the window: integer fields that hold no integer, texts that do
// not fit their slot and profiles that are no profile. Nothing may go to the
// unit, no request may become pending, and the program goes on.
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "app/Log.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"

namespace {
constexpr std::int32_t kUntouched = 4242;  // a pending number no button sets

// A field as the handlers read it: an edit or a grid cell.
struct Field {
  QString name;
  std::function<QString()> get;
  std::function<void(const QString&)> set;
  QPushButton* send;
};

Field Edit(QLineEdit* edit, QPushButton* send) {
  return {edit->objectName(), [edit] { return edit->text(); },
          [edit](const QString& text) { edit->setText(text); }, send};
}

Field Cell(StringGrid* grid, int col, int row, QPushButton* send) {
  return {QString("%1[%2,%3]").arg(grid->objectName()).arg(col).arg(row),
          [=] { return grid->cell(col, row); },
          [=](const QString& text) { grid->setCell(col, row, text); }, send};
}

std::vector<Field> IntegerFields(TForm1& f) {
  std::vector<Field> fields;
  for (QLineEdit* e : {f.Edit16, f.Edit18, f.Edit13, f.Edit14, f.Edit15,
                       static_cast<QLineEdit*>(f.LabeledEdit9), f.IdpFail, f.IdpTime})
    fields.push_back(Edit(e, f.BitBtn35));
  fields.push_back(Edit(f.LabeledEdit5, f.BitBtn29));
  fields.push_back(Edit(f.LabeledEdit38, f.BitBtn5));
  fields.push_back(Edit(f.LabeledEdit9, f.BitBtn5));
  fields.push_back(Edit(f.lacthTimeEdits[0], f.BitBtn33));
  fields.push_back(Edit(f.lacthTimeEdits[8], f.BitBtn44));
  for (auto* edits : {&f.ceroEdits, &f.spanEdits, &f.alLowEdits, &f.alHiEdits, &f.aiHisEdits})
    for (std::size_t k = 0; k < 8; ++k)
      fields.push_back(Edit((*edits)[k], k < 4 ? f.BitBtn87 : f.BitBtn52));
  for (int row : {1, 64})
    for (int col = 1; col <= 3; ++col) fields.push_back(Cell(f.modbusGrid1, col, row, f.BitBtn12));
  for (int row : {1, 48})
    for (int col = 1; col <= 7; ++col) fields.push_back(Cell(f.modbusGrid2, col, row, f.BitBtn13));
  return fields;
}

QString NotInteger(const QString& text) {
  return QString("'%1' is not a valid integer value").arg(text);
}

// Every field a profile can change, "name=value", in creation order.
QStringList Page(const TForm1& f) {
  QStringList page;
  for (const QObject* o : f.findChildren<QObject*>()) {
    if (auto* e = qobject_cast<const QLineEdit*>(o)) page << o->objectName() + "=" + e->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(o); b && b->isCheckable())
      page << o->objectName() + "=" + QString::number(b->isChecked());
    if (auto* c = qobject_cast<const QComboBox*>(o))
      page << o->objectName() + "=" + QString::number(c->currentIndex());
    if (auto* g = qobject_cast<const StringGrid*>(o))
      for (int row = 1; row <= 64; ++row)
        for (int col = 1; col <= 7; ++col)
          page << QString("%1[%2,%3]=").arg(o->objectName()).arg(col).arg(row) + g->cell(col, row);
  }
  return page;
}

// The page with some "name=value" pairs replaced.
QStringList With(QStringList page, const QStringList& changes) {
  for (const QString& change : changes) {
    const QString prefix = change.section('=', 0, 0) + "=";
    for (QString& line : page)
      if (line.startsWith(prefix)) line = change;
  }
  return page;
}
}  // namespace

class BadInputTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { pendingRequest = kUntouched; }
  void cleanup() { pendingRequest = 0; }

  void integerFieldsRefuseWhatIsNoInteger() {
    WiredForm form;
    DialogScript dialogs;
    const QString status = form->StatusText();
    const auto fields = IntegerFields(*form);
    QCOMPARE(int(fields.size()), 8 + 1 + 2 + 2 + 40 + 6 + 14);
    for (const Field& field : fields) {
      const QString good = field.get();
      for (const QString bad : {"", "abc", "1.5", "99999999999", "12 ", "0x10"}) {
        // An empty grid cell is filled in before it is read: it is no error.
        const bool gridCell = field.name.contains('[');
        if (gridCell && bad.isEmpty()) continue;
        dialogs->errors.clear();
        field.set(bad);
        field.send->click();
        const QString what = field.name + " <- '" + bad + "'";
        QVERIFY2(dialogs->errors == QStringList{NotInteger(bad)}, qPrintable(what));
        QVERIFY2(form.NothingSent(std::chrono::milliseconds(5)), qPrintable(what));
        QVERIFY2(pendingRequest == kUntouched, qPrintable(what));
      }
      field.set(good);
    }
    QVERIFY(form.NothingSent());
    QCOMPARE(form->StatusText(), status);

    // The table's buttons do send once the fields hold integers again.
    dialogs->errors.clear();
    for (QPushButton* button :
         {form->BitBtn35, form->BitBtn29, form->BitBtn5, form->BitBtn33, form->BitBtn44,
          form->BitBtn87, form->BitBtn52, form->BitBtn12, form->BitBtn13}) {
      pendingRequest = kUntouched;
      button->click();
      QVERIFY2(!form.NothingSent(), qPrintable(button->objectName()));
      QVERIFY(pendingRequest != kUntouched);
      form.unit().Drain();
    }
    QVERIFY(dialogs->errors.isEmpty());
  }

  void remoteStationMustBeAnInteger() {
    WiredForm form;
    DialogScript dialogs;
    form->RadioGroup2->setItemIndex(1);
    form->RadioGroup2Click();
    for (const QString bad : {"", "estacion", "1.5", "99999999999"}) {
      form->Edit3->setText(bad);
      for (QPushButton* button : {form->BitBtn34, form->BitBtn35, form->BitBtn4, form->BitBtn16}) {
        dialogs->errors.clear();
        button->click();
        QCOMPARE(dialogs->errors, QStringList{NotInteger(bad)});
        QVERIFY(form.NothingSent(std::chrono::milliseconds(5)));
        QCOMPARE(pendingRequest, kUntouched);
      }
    }
    QVERIFY(form.NothingSent());
    form->Edit3->setText("258");
    form->BitBtn34->click();
    QCOMPARE(form.Sent(10).substr(0, 5), std::string("01 02"));
  }

  void textsOverTheirSlotAreRefused() {
    WiredForm form;
    DialogScript dialogs;
    struct Slot {
      Field field;
      int limit;  // bytes of text, the terminator not counted
    };
    std::vector<Slot> textSlots;
    for (QLineEdit* e : {form->Edit1, form->Edit5, form->Edit9})
      textSlots.push_back({Edit(e, form->BitBtn35), 15});
    for (QLineEdit* e : {form->LabeledEdit2, form->LabeledEdit3, form->LabeledEdit12})
      textSlots.push_back({Edit(e, form->BitBtn38), 13});
    textSlots.push_back({Edit(form->Edit2, form->BitBtn38), 19});
    for (int row = 1; row <= 8; ++row)
      textSlots.push_back({Cell(form->tagDigital, 1, row, form->BitBtn62), 15});
    for (int row = 1; row <= 4; ++row)
      textSlots.push_back({Cell(form->tagAnalog, 1, row, form->BitBtn63), 15});

    for (const Slot& slot : textSlots) {
      const QString good = slot.field.get();
      const QString what = slot.field.name;
      // Full to the last byte: it goes out.
      slot.field.set(QString(slot.limit, 'a'));
      pendingRequest = kUntouched;
      slot.field.send->click();
      QVERIFY2(!form.NothingSent(), qPrintable(what));
      form.unit().Drain();
      // One byte more: refused, nothing out.
      const QString over(slot.limit + 1, 'a');
      slot.field.set(over);
      pendingRequest = kUntouched;
      dialogs->errors.clear();
      slot.field.send->click();
      QVERIFY2(
          dialogs->errors ==
              QStringList{QString("'%1' no cabe: admite hasta %2 bytes").arg(over).arg(slot.limit)},
          qPrintable(what));
      QVERIFY2(form.NothingSent(std::chrono::milliseconds(5)), qPrintable(what));
      QVERIFY2(pendingRequest == kUntouched, qPrintable(what));
      slot.field.set(good);
    }

    // Counted in UTF-8 bytes: 14 characters, 15 bytes fit; one "ó" more does not.
    form->tagAnalog->setCell(1, 3, "Presión bomba1");
    form->BitBtn63->click();
    QVERIFY(!form.NothingSent());
    form.unit().Drain();
    dialogs->errors.clear();
    pendingRequest = kUntouched;
    form->tagAnalog->setCell(1, 3, "Presión bombó1");
    form->BitBtn63->click();
    QCOMPARE(dialogs->errors, QStringList{"'Presión bombó1' no cabe: admite hasta 15 bytes"});
    QVERIFY(form.NothingSent());
    QCOMPARE(pendingRequest, kUntouched);
  }

  void profilesThatAreNoProfile() {
    QTemporaryDir dir;
    DialogScript dialogs;
    TForm1 form;
    const auto load = [&](const QByteArray& bytes) {
      QFile file(dir.filePath("perfil.txt"));
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(bytes);
      file.close();
      dialogs->files.push_back(file.fileName());
      form.BitBtn11->click();
    };
    const QStringList startup = Page(form);

    // Not JSON, or JSON that is no object: nothing changes and nothing is said.
    for (const QByteArray& foreign :
         {QByteArray("\x00\x01\xFF\xFE garbage", 12), QByteArray("Estado: ok\r\n{\"id\":\"5\"}"),
          QByteArray("}{"), QByteArray("\xFF{\"id\":\"5\"}"), QByteArray("42"), QByteArray("null"),
          QByteArray("true"), QByteArray("\"id\""), QByteArray(R"([{"id":"5"},{"periodo":"6"}])"),
          QByteArray(R"([[{"id":"5"}]])")}) {
      load(foreign);
      QCOMPARE(Page(form), startup);
    }
    QCOMPARE(dialogs->errors, QStringList());

    // Arrays and objects where a text belongs are skipped; other literals load as their JSON text.
    load(
        R"({"id":{"v":"5"},"periodo":["6"],"ip":"1.2.3.4","sms":{"number":"9"},)"
        R"("cfgAnalog":[["1"],"2"],"tagDigital":"x","modbusDigital":{"enable":"1"},"latchTime":[])");
    QCOMPARE(Page(form), startup);
    load(R"({"id":5,"periodo":null,"ip":[{"address":17,"port":7.5}],"smsId":false,)"
         R"("latchTime":8,"cfgAnalog":[{"cero":12}],"tagAnalog":[{"analog":-3}]})");
    QStringList expected = With(startup, {"Edit16=5", "Edit18=null", "Edit1=17", "Edit13=7.5",
                                          "Edit2=false", "Cero1=12", "tagAnalog[1,1]=-3"});
    for (int k = 1; k <= 16; ++k) expected = With(expected, {QString("lacthTime%1=8").arg(k)});
    QCOMPARE(Page(form), expected);
    QCOMPARE(dialogs->errors, QStringList());

    // Where an integer is needed, a literal that is none stops the load with the conversion error.
    for (const auto& [text, error] : {std::pair{R"({"vpn":true})", "true"},
                                      {R"({"baudrate":2.5})", "2.5"},
                                      {R"({"cfgAnalog":[{"span":1e3}]})", "1000.0"},
                                      {R"({"sms":[{"alarm":null}]})", "null"},
                                      {R"({"modbusAnalog":[{"slave":"7x"}]})", "7x"}}) {
      dialogs->errors.clear();
      load(text);
      QCOMPARE(dialogs->errors, QStringList{NotInteger(error)});
    }
    QCOMPARE(Page(form), expected);

    dialogs->errors.clear();
    // Nesting far past any profile's is read as damage where it starts, and does not crash.
    const auto nested = [](int depth) { return QByteArray(depth, '[') + QByteArray(depth, ']'); };
    for (const char* key : {"perfil", "otro"}) {
      load(QByteArray(R"({"id":"9",")") + key + "\":" + nested(100000) + R"(,"periodo":"6"})");
      QCOMPARE(form.Edit16->text(), QString("9"));
      QCOMPARE(form.Edit18->text(), QString("null"));
      form.Edit16->setText("5");
    }
    // A few dozen levels are no damage.
    load(R"({"otro":)" + nested(50) + R"(,"periodo":"6"})");
    QCOMPARE(form.Edit18->text(), QString("6"));
    QCOMPARE(dialogs->errors, QStringList());
  }
};

QTEST_MAIN(BadInputTest)
#include "bad_input_test.moc"
