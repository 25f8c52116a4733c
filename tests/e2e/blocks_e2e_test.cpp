// Against the virtual unit, paced at 19200 baud: every configuration block is
// written, the fields are changed, and reading the block brings the written
// values back, in local and in remote mode. The "Estado" page follows the unit.
#include <QtTest>
#include <functional>

#include "app/Log.h"
#include "protocol/Protocol.h"
#include "sim/VirtualUnit.h"
#include "tests/Harness.h"

namespace {
// Generous: the unit answers within a second unless the machine is very busy.
constexpr int kTimeout = 30000;
// A reply the reader had to drop while the window was held up is lost; the
// technician would press the button again, and so does the test.
constexpr int kReplyWait = 10000;
constexpr int kAttempts = 3;

// A field snapshot and a way to spoil it, per block.
struct Block {
  const char* name;
  QPushButton* write;
  const char* writeAck;
  QPushButton* read;
  const char* readReceipt;
  std::function<void()> fill;     // distinctive values
  std::function<void()> spoil;    // other values, so the read must restore them
  std::function<QStringList()> snapshot;
};

QStringList Texts(std::initializer_list<QLineEdit*> edits) {
  QStringList out;
  for (QLineEdit* edit : edits) out << edit->text();
  return out;
}

QStringList Grid(StringGrid* grid, int rows, int columns) {
  QStringList out;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= columns; ++c) out << grid->cell(c, r);
  return out;
}

std::vector<Block> Blocks(TForm1& f) {
  std::vector<Block> blocks;
  blocks.push_back(
      {"general", f.BitBtn35, "Estado: Escritura CONFIGURACION TSD ok!", f.BitBtn34,
       "Estado: Lectura TSD Configuracion Recibido!",
       [&f] {
         f.Edit16->setText("4321");
         f.Edit18->setText("15");
         f.Edit1->setText("200.100.150.250");  // fills its slot exactly
         f.Edit5->setText("servidor.uy");
         f.Edit9->setText("10.1");
         f.Edit13->setText("1000");
         f.Edit14->setText("2000");
         f.Edit15->setText("3000");
         f.CheckBox7->setChecked(true);
         f.CheckBox25->setChecked(true);  // dual SIM also writes both SIM bits
         f.CheckBox43->setChecked(true);
         f.CheckBox42->setChecked(true);
         f.IdpFail->setText("7");
         f.IdpTime->setText("9");
         f.CheckBox2->setChecked(true);
         f.LabeledEdit9->setText("1500");
       },
       [&f] {
         for (QLineEdit* e : {f.Edit16, f.Edit18, f.Edit1, f.Edit5, f.Edit9, f.Edit13, f.Edit14,
                              f.Edit15, f.IdpFail, f.IdpTime, static_cast<QLineEdit*>(f.LabeledEdit9)})
           e->setText("0");
         for (QCheckBox* c : {f.CheckBox7, f.CheckBox25, f.CheckBox43, f.CheckBox42, f.CheckBox2})
           c->setChecked(false);
       },
       [&f] {
         QStringList s = Texts({f.Edit16, f.Edit18, f.Edit1, f.Edit5, f.Edit9, f.Edit13, f.Edit14,
                                f.Edit15, f.IdpFail, f.IdpTime, f.LabeledEdit9});
         for (QCheckBox* c : {f.CheckBox7, f.CheckBox25, f.CheckBox43, f.CheckBox42, f.CheckBox2})
           s << QString::number(c->isChecked());
         return s;
       }});
  blocks.push_back(
      {"digital output", f.BitBtn5, "Estado: escritura de Do configuracion OK!", f.BitBtn4,
       "Estado: Lectura Configuracion DOut Recibido!",
       [&f] {
         f.LabeledEdit38->setText("250");
         f.RadioButton3->setChecked(true);
         f.LabeledEdit9->setText("1200");
       },
       [&f] {
         f.LabeledEdit38->setText("1");
         f.RadioButton1->setChecked(true);
         f.LabeledEdit9->setText("1");
       },
       [&f] {
         return Texts({f.LabeledEdit38, f.LabeledEdit9})
                << QString::number(f.RadioButton1->isChecked());
       }});
  for (int group : {1, 2}) {
    const int base = 8 * (group - 1);
    blocks.push_back(
        {"digital inputs", group == 1 ? f.BitBtn33 : f.BitBtn44,
         group == 1 ? "Estado: escritura de configuracion Di 1 OK!"
                    : "Estado: escritura de configuracion Di 2 OK!",
         group == 1 ? f.BitBtn31 : f.BitBtn32,
         group == 1 ? "Estado: Lectura Configuracion DI 1 Recibido"
                    : "Estado: Lectura Configuracion DI 2 Recibido",
         [&f, base] {
           for (int k = 0; k < 8; ++k) {
             f.invertChecks[base + k]->setChecked(k % 2);
             f.latchChecks[base + k]->setChecked(k % 3 == 0);
             f.latchResetChecks[base + k]->setChecked(k == 5);
             f.pulsoCombos[base + k]->setCurrentIndex(k > 5 ? 1 : 0);
             f.logicInvertChecks[base + k]->setChecked(k == 2);
             f.lacthTimeEdits[base + k]->setText("77");
           }
         },
         [&f, base] {
           for (int k = 0; k < 8; ++k) {
             f.invertChecks[base + k]->setChecked(false);
             f.latchChecks[base + k]->setChecked(false);
             f.latchResetChecks[base + k]->setChecked(false);
             f.pulsoCombos[base + k]->setCurrentIndex(0);
             f.logicInvertChecks[base + k]->setChecked(false);
             f.lacthTimeEdits[base + k]->setText("0");
           }
         },
         [&f, base] {
           QStringList s;
           for (int k = 0; k < 8; ++k)
             s << QString("%1%2%3%4%5 %6")
                      .arg(f.invertChecks[base + k]->isChecked())
                      .arg(f.latchChecks[base + k]->isChecked())
                      .arg(f.latchResetChecks[base + k]->isChecked())
                      .arg(f.pulsoCombos[base + k]->currentIndex())
                      .arg(f.logicInvertChecks[base + k]->isChecked())
                      .arg(f.lacthTimeEdits[base + k]->text());
           return s;
         }});
  }
  for (int group : {1, 2}) {
    const int base = 4 * (group - 1);
    blocks.push_back(
        {"analog inputs", group == 1 ? f.BitBtn87 : f.BitBtn52,
         group == 1 ? "Estado: escritura Ai 1 cfg OK!" : "Estado: escritura Ai 2 cfg OK!",
         group == 1 ? f.BitBtn86 : f.BitBtn51,
         group == 1 ? "Estado: Configuracion Ai 1 recibida" : "Estado: Configuracion Ai 2 recibida",
         [&f, base] {
           for (int k = 0; k < 4; ++k) {
             f.ceroEdits[base + k]->setText(QString::number(100 + k));
             f.spanEdits[base + k]->setText(QString::number(2000 + k));
             f.alLowEdits[base + k]->setText(QString::number(300 + k));
             f.alHiEdits[base + k]->setText(QString::number(1700 + k));
             f.aiHisEdits[base + k]->setText(QString::number(5 + k));
             (k % 2 ? f.currentChecks : f.voltageChecks)[base + k]->setChecked(true);
           }
         },
         [&f, base] {
           for (int k = 0; k < 4; ++k) {
             for (auto* e : {f.ceroEdits[base + k], f.spanEdits[base + k], f.alLowEdits[base + k],
                             f.alHiEdits[base + k], f.aiHisEdits[base + k]})
               e->setText("0");
             (k % 2 ? f.voltageChecks : f.currentChecks)[base + k]->setChecked(true);
           }
         },
         [&f, base] {
           QStringList s;
           for (int k = 0; k < 4; ++k)
             s << Texts({f.ceroEdits[base + k], f.spanEdits[base + k], f.alLowEdits[base + k],
                         f.alHiEdits[base + k], f.aiHisEdits[base + k]})
                  << QString::number(f.currentChecks[base + k]->isChecked());
           return s;
         }});
  }
  blocks.push_back(
      {"serial port 2", f.BitBtn29, "Estado: escritura configuracion Puerto Serie 2 ok!",
       f.BitBtn28, "Estado: Lectura Puerto Com 2 Recibido!",
       [&f] {
         f.ComboBox5->setCurrentIndex(6);
         f.ComboBox6->setCurrentIndex(0);
         f.ComboBox7->setCurrentIndex(2);
         f.ComboBox8->setCurrentIndex(1);
         f.LabeledEdit5->setText("321");
         f.SeleccionPuerto->setItemIndex(1);
       },
       [&f] {
         for (QComboBox* c : {f.ComboBox5, f.ComboBox6, f.ComboBox7, f.ComboBox8})
           c->setCurrentIndex(1);
         f.LabeledEdit5->setText("0");
         f.SeleccionPuerto->setItemIndex(0);
       },
       [&f] {
         QStringList s;
         for (QComboBox* c : {f.ComboBox5, f.ComboBox6, f.ComboBox7, f.ComboBox8})
           s << QString::number(c->currentIndex());
         return s << f.LabeledEdit5->text() << QString::number(f.SeleccionPuerto->itemIndex());
       }});
  blocks.push_back(
      {"sms", f.BitBtn38, "Estado: Encritura SMS Configuracion OK!", f.BitBtn37,
       "Estado: Lectura SMS Configuracion Recibido!",
       [&f] {
         f.LabeledEdit2->setText("+598991234567");  // 13 bytes: the whole slot
         f.LabeledEdit3->setText("099");
         f.LabeledEdit12->setText("");
         f.CheckBox1->setChecked(true);
         f.CheckBox4->setChecked(true);
         f.Edit2->setText("Pozo Ñandú 3");
         for (int i = 0; i < 8; ++i) f.digitalChecks[i]->setChecked(i % 2);
         for (int i = 0; i < 4; ++i) {
           f.analogLowChecks[i]->setChecked(i == 1);
           f.analogHiChecks[i]->setChecked(i == 3);
         }
       },
       [&f] {
         for (QLineEdit* e : {static_cast<QLineEdit*>(f.LabeledEdit2), static_cast<QLineEdit*>(f.LabeledEdit3),
                              static_cast<QLineEdit*>(f.LabeledEdit12), f.Edit2})
           e->setText("x");
         for (QCheckBox* c : {f.CheckBox1, f.CheckBox3, f.CheckBox4}) c->setChecked(false);
         for (QCheckBox* c : f.digitalChecks) c->setChecked(false);
         for (QCheckBox* c : f.analogHiChecks) c->setChecked(false);
       },
       [&f] {
         QStringList s = Texts({f.LabeledEdit2, f.LabeledEdit3, f.LabeledEdit12, f.Edit2});
         for (QCheckBox* c : {f.CheckBox1, f.CheckBox3, f.CheckBox4}) s << QString::number(c->isChecked());
         for (QCheckBox* c : f.digitalChecks) s << QString::number(c->isChecked());
         for (QCheckBox* c : f.analogLowChecks) s << QString::number(c->isChecked());
         for (QCheckBox* c : f.analogHiChecks) s << QString::number(c->isChecked());
         return s;
       }});
  blocks.push_back(
      {"modbus digital", f.BitBtn12, "Estado: Configuracion Modbus Digital escrito OK!", f.BitBtn9,
       "Estado: Configuracion Modbus Digital Recibido!",
       [&f] {
         for (int r = 1; r <= 64; ++r) {
           f.modbusGrid1->setCell(1, r, QString::number(r % 3));
           f.modbusGrid1->setCell(2, r, QString::number(r));
           f.modbusGrid1->setCell(3, r, QString::number(1000 + r));
         }
       },
       [&f] { f.BitBtn64->click(); },
       [&f] { return Grid(f.modbusGrid1, 64, 3); }});
  blocks.push_back(
      {"modbus analog", f.BitBtn13, "Estado: Configuracion Modbus Analogico escrito OK!", f.BitBtn10,
       "Estado: Configuracion Modbus Analogico Recibido!",
       [&f] {
         for (int r = 1; r <= 48; ++r) {
           const QStringList row = {QString::number(r % 3), QString::number(r), QString::number(40 + r),
                                    QString::number(r % 2), QString::number((r + 1) % 2),
                                    QString::number(500 + r), QString::number(1 + r % 15)};
           for (int c = 1; c <= 7; ++c) f.modbusGrid2->setCell(c, r, row[c - 1]);
         }
       },
       [&f] { f.BitBtn65->click(); },
       [&f] { return Grid(f.modbusGrid2, 48, 7); }});
  blocks.push_back(
      {"digital tags", f.BitBtn62, "Estado: escritura de Tags Digitales OK!", f.BitBtn16,
       "Estado: Tags Digitales Recibidos OK!",
       [&f] {
         for (int r = 1; r <= 8; ++r) f.tagDigital->setCell(1, r, QString("Entrada %1").arg(r));
         f.tagDigital->setCell(1, 2, "Válvula ñ 2");
         f.tagDigital->setCell(1, 3, "123456789012345");
         f.tagDigital->setCell(1, 4, "");
       },
       [&f] {
         for (int r = 1; r <= 8; ++r) f.tagDigital->setCell(1, r, "borrado");
       },
       [&f] { return Grid(f.tagDigital, 8, 1); }});
  blocks.push_back(
      {"analog tags", f.BitBtn63, "Estado: escritura de Tags Analogicos OK!", f.BitBtn61,
       "Estado: Tags Analogicos Recibidos OK!",
       [&f] {
         for (int r = 1; r <= 4; ++r) f.tagAnalog->setCell(1, r, QString("Nivel %1").arg(r));
       },
       [&f] {
         for (int r = 1; r <= 4; ++r) f.tagAnalog->setCell(1, r, "-");
       },
       [&f] { return Grid(f.tagAnalog, 4, 1); }});
  return blocks;
}

sim::UnitOptions Options(int com, std::optional<std::uint16_t> station) {
  sim::UnitOptions options;
  options.com = com;
  options.remoteStation = station;
  options.telemetryPeriod = std::chrono::milliseconds(2000);
  return options;
}
}  // namespace

class BlocksE2eTest : public QObject {
  Q_OBJECT

  // Presses the button until the status text shows; on failure tells what the link carried.
  static bool Exchange(TForm1& form, sim::VirtualUnit& unit, QPushButton* button,
                       const char* text) {
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
      if (attempt > 1)
        qWarning("no \"%s\" yet: pressing %s again", text, qPrintable(button->objectName()));
      button->click();
      QDeadlineTimer deadline(kReplyWait);
      while (!deadline.hasExpired()) {
        if (form.StatusText() == text) return true;
        QTest::qWait(20);
      }
    }
    const auto counters = unit.Counters();
    qWarning("status \"%s\"; unit: %u requests, %u replies, %u exceptions, %u dropped, %u ignored",
             qPrintable(form.StatusText()), counters.requests, counters.replies,
             counters.exceptions, counters.dropped, counters.ignored);
    for (const QString& line : Lines(form.Memo1).mid(-1).isEmpty() ? QStringList() : Lines(form.Memo1).mid(std::max<qsizetype>(0, Lines(form.Memo1).size() - 8)))
      qWarning("memo: %s", qPrintable(line.left(160)));
    return false;
  }

  void RoundTrip(int com, std::optional<std::uint16_t> station) {
    sim::VirtualUnit unit(Options(com, station));
    unit.Start();
    DialogScript dialogs;
    TForm1 form;
    if (station) {
      form.RadioGroup2->setItemIndex(1);
      form.Edit3->setText(QString::number(*station));
    }
    form.LabeledEdit1->setText(QString::number(com));
    form.BitBtn1Click();
    QVERIFY(form.IsConnected());
    for (const Block& block : Blocks(form)) {
      block.fill();
      const QStringList written = block.snapshot();
      QVERIFY2(Exchange(form, unit, block.write, block.writeAck), block.name);
      block.spoil();
      QVERIFY2(block.snapshot() != written, block.name);
      QVERIFY2(Exchange(form, unit, block.read, block.readReceipt), block.name);
      QCOMPARE(block.snapshot(), written);
    }
    QVERIFY(dialogs->errors.isEmpty());
    form.BitBtn2Click();
  }

 private slots:
  void everyBlockRoundTripsLocally() { RoundTrip(21, std::nullopt); }
  void everyBlockRoundTripsThroughARemoteUnit() { RoundTrip(22, 258); }

  void estadoPageFollowsTheUnit() {
    sim::VirtualUnit unit(Options(23, std::nullopt));
    unit.Start();
    TForm1 form;
    form.LabeledEdit1->setText("23");
    form.BitBtn1Click();
    QTRY_VERIFY_WITH_TIMEOUT(form.Label145->text().startsWith("Señal: -"), kTimeout);
    QVERIFY(form.Label145->text().endsWith("db"));
    QTRY_VERIFY_WITH_TIMEOUT(form.coilPanels[0]->color() != clBtnFace, kTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(form.digtalPanels[15]->color() != clBtnFace, kTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(form.analogPanels[7]->color() != clBtnFace, kTimeout);
    QVERIFY(form.currentLabels[0]->text().endsWith("mV") || form.currentLabels[0]->text().endsWith("mA"));
    QTRY_VERIFY_WITH_TIMEOUT(form.LabeledEdit13->text().endsWith("V"), kTimeout);
    QCOMPARE(form.Panel5->caption(), QString("Conectado Servidor"));
    QVERIFY(!form.Memo1->toPlainText().isEmpty());
    QVERIFY(!form.Memo2->toPlainText().isEmpty());
    // Relay 1 on: the unit's coil line turns the panel green.
    form.botonOnButtons[0]->setEnabled(true);
    form.botonOnButtons[0]->click();
    QTRY_VERIFY_WITH_TIMEOUT(unit.Relay(0), kTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(form.coilLabels[0]->text(), QString("ON"), kTimeout);
    QCOMPARE(form.coilPanels[0]->color(), clGreen);
    form.BitBtn2Click();
  }
};

QTEST_MAIN(BlocksE2eTest)
#include "blocks_e2e_test.moc"
