// "Escribir todo", "Comparar", cancel and a unit that stops answering, against
// the virtual unit, local and remote: what the summary says must be what the
// unit holds, and nothing the tool calls written was not read back equal.
#include <QDialog>
#include <QFile>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QtTest>

#include "app/Log.h"
#include "config/Blocks.h"
#include "config/SafeConfig.h"
#include "profile/ProfilePage.h"
#include "protocol/Protocol.h"
#include "sim/VirtualUnit.h"
#include "tests/Harness.h"

namespace {
constexpr int kTimeout = 30000;

sim::UnitOptions Options(int com, std::optional<std::uint16_t> station = std::nullopt) {
  sim::UnitOptions options;
  options.com = com;
  options.remoteStation = station;
  options.telemetryPeriod = std::chrono::milliseconds(1500);
  return options;
}

// What the modal dialogs showed; the compare dialog is answered from `apply`.
struct ModalScript {
  QStringList summaries;
  QList<QStringList> compareRows;
  bool apply = false;
  explicit ModalScript(DialogScript& dialogs) {
    dialogs->modal = [this](QDialog& dialog) {
      if (dialog.objectName() == "sequenceSummary") {
        summaries << dialog.findChild<QPlainTextEdit*>("sequenceSummaryText")->toPlainText();
        return int(QDialog::Accepted);
      }
      auto* table = dialog.findChild<QTableWidget*>("compareTable");
      QStringList rows;
      for (int r = 0; r < table->rowCount(); ++r)
        rows << table->item(r, 0)->text() + "|" + table->item(r, 1)->text() + "|" +
                    table->item(r, 2)->text();
      compareRows << rows;
      return apply ? kApplyToUnit : int(QDialog::Rejected);
    };
  }
};

void Connect(TForm1& form, int com, std::optional<std::uint16_t> station) {
  if (station) {
    form.RadioGroup2->setItemIndex(1);
    form.Edit3->setText(QString::number(*station));
  }
  form.LabeledEdit1->setText(QString::number(com));
  form.BitBtn1Click();
}

bool ReadEverything(TForm1& form) {
  form.readAllButton->click();
  const bool ended = QTest::qWaitFor([&] { return !form.safeConfig->Running(); }, kTimeout);
  if (!form.StatusText().startsWith("Estado: Leer todo: 12 de 12 bloques leidos"))
  {
    qWarning("%s", qPrintable(form.StatusText()));
    const QStringList lines = Lines(form.Memo1);
    for (const QString& line : lines.mid(std::max<qsizetype>(0, lines.size() - 12)))
      qWarning("memo: %s", qPrintable(line.left(200)));
  }
  return ended && form.StatusText().startsWith("Estado: Leer todo: 12 de 12 bloques leidos");
}

QList<QWidget*> SequenceControls(TForm1& f) {
  return {f.BitBtn4,  f.BitBtn5,  f.BitBtn31, f.BitBtn32, f.BitBtn33, f.BitBtn44, f.BitBtn86,
          f.BitBtn87, f.BitBtn51, f.BitBtn52, f.BitBtn34, f.BitBtn35, f.BitBtn28, f.BitBtn29,
          f.BitBtn37, f.BitBtn38, f.BitBtn9,  f.BitBtn10, f.BitBtn12, f.BitBtn13, f.BitBtn16,
          f.BitBtn61, f.BitBtn62, f.BitBtn63, f.BitBtn8,  f.BitBtn11, f.BitBtn22,
          f.readAllButton, f.writeAllButton, f.compareButton,
          // the one-shot commands and "Restore": one press would replace a step's request
          f.BitBtn36, f.BitBtn17, f.BitBtn18, f.BitBtn15, f.BitBtn30, f.BitBtn7, f.BitBtn39,
          f.BitBtn19, f.BitBtn20, f.BitBtn6, f.BitBtn26};
}

// Each relay offers the switch its last trace line says it lacks.
void VerifyRelaysFollowTrace(TForm1& f) {
  for (int i = 0; i < 2; ++i) {
    const bool on = f.coilLabels[i]->text() == "ON";
    QCOMPARE(f.botonOnButtons[i]->isEnabled(), !on);
    QCOMPARE(f.botonOffButtons[i]->isEnabled(), on);
  }
}
}  // namespace

class SafeConfigE2eTest : public QObject {
  Q_OBJECT

  // The unit ignores the writes of inputs 1-8: exactly that block is reported,
  // with its field, the SMS block is verified, nothing else is written, and the
  // backup holds the unit's configuration as it was.
  void WriteAllWithOneBlockIgnored(int com, std::optional<std::uint16_t> station) {
    sim::UnitOptions options = Options(com, station);
    options.store.ignoreWritesAt = 20105;
    sim::VirtualUnit unit(options);
    unit.Start();
    DialogScript messages;
    ModalScript dialogs(messages);
    TForm1 form;
    Connect(form, com, station);
    QVERIFY(ReadEverything(form));
    const std::string before = PageProfileText(form);

    form.invertChecks[0]->setChecked(!form.invertChecks[0]->isChecked());
    form.Edit2->setText("Pozo 9");
    const std::string edited = PageProfileText(form);
    const unsigned writesBefore = unit.Counters().writes;
    form.writeAllButton->click();
    QVERIFY(QTest::qWaitFor([&] { return dialogs.summaries.size() == 1; }, kTimeout));
    const QString summary = dialogs.summaries[0];

    QCOMPARE(unit.Counters().writes - writesBefore, 2u);  // SMS and inputs 1-8 only
    QVERIFY2(summary.contains("Escritos y verificados (1):\n  SMS configuracion\n"), qPrintable(summary));
    QVERIFY2(summary.contains("Sin cambios (10):"), qPrintable(summary));
    const QString invert = form.invertChecks[0]->isChecked() ? "Si" : "No";
    const QString held = form.invertChecks[0]->isChecked() ? "No" : "Si";
    QVERIFY2(summary.contains("Con fallas:\n  Digital Input 1-8: difiere de lo enviado\n"
                              "    Digital Input 1-8: DI 1 Invertir: enviado \"" +
                              invert + "\", leido \"" + held + "\"\nCopia de seguridad: "),
             qPrintable(summary));
    QVERIFY2(summary.count("leido") == 1, qPrintable(summary));
    QCOMPARE(form.StatusText(), QString("Estado: Escribir todo con fallas"));

    // The backup is the unit's configuration before the write, loadable as a profile.
    QFile backup(form.safeConfig->LastBackup());
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll().toStdString(), before);
    QVERIFY(summary.contains(form.safeConfig->LastBackup()));
    // The pages keep what the technician set.
    QCOMPARE(PageProfileText(form), edited);
    QCOMPARE(pendingRequest, 0);
    QVERIFY(messages->errors.isEmpty());
    form.BitBtn2Click();
  }

 private slots:
  void writeAllReportsTheIgnoredBlockLocally() { WriteAllWithOneBlockIgnored(41, std::nullopt); }
  void writeAllReportsTheIgnoredBlockRemotely() { WriteAllWithOneBlockIgnored(42, 258); }

  // "Comparar" lists exactly the fields the profile changes and leaves the
  // pages as they were; "Aplicar al equipo" writes them.
  void compareListsTheDifferences() {
    sim::VirtualUnit unit(Options(43));
    unit.Start();
    DialogScript messages;
    ModalScript dialogs(messages);
    TForm1 form;
    Connect(form, 43, std::nullopt);
    QVERIFY(ReadEverything(form));
    const QString id = form.Edit16->text();
    const QString tag = form.tagAnalog->cell(1, 2);
    form.Edit16->setText("777");
    form.tagAnalog->setCell(1, 2, "Nivel pozo");
    QTemporaryDir dir;
    const QString path = dir.filePath("perfil.txt");
    const std::string profile = PageProfileText(form);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(profile.data(), qint64(profile.size()));
    file.close();
    // The page now differs from both the unit and the profile.
    form.Edit16->setText("5");
    form.CheckBox7->setChecked(!form.CheckBox7->isChecked());
    const std::string page = PageProfileText(form);

    messages->files.push_back(path);
    form.compareButton->click();
    QVERIFY(QTest::qWaitFor([&] { return dialogs.compareRows.size() == 1; }, kTimeout));
    QCOMPARE(dialogs.compareRows[0],
             QStringList({"TSD configuracion: TSD ID|" + id + "|777",
                          "Tags Analogicos: 2 Tags Alarmas Analogicas|" + tag + "|Nivel pozo"}));
    QCOMPARE(PageProfileText(form), page);
    QVERIFY(form.writeAllButton->isEnabled());

    dialogs.apply = true;
    messages->files.push_back(path);
    form.compareButton->click();
    QVERIFY(QTest::qWaitFor([&] { return dialogs.summaries.size() == 1; }, kTimeout));
    QVERIFY2(dialogs.summaries[0].contains("Con fallas:\nCopia"), qPrintable(dialogs.summaries[0]));
    QCOMPARE(unit.Register(20000), 777);
    QVERIFY(messages->errors.isEmpty());
    form.BitBtn2Click();
  }

  // Cancel in the middle: nothing stays pending and every control is back.
  void cancelLeavesNothingPending() {
    sim::UnitOptions options = Options(44);
    options.store.replyDelay = std::chrono::milliseconds(300);
    sim::VirtualUnit unit(options);
    unit.Start();
    DialogScript messages;
    ModalScript dialogs(messages);
    TForm1 form;
    Connect(form, 44, std::nullopt);
    const QList<QWidget*> controls = SequenceControls(form);
    QVERIFY(form.sequenceProgress->isHidden());
    form.readAllButton->click();
    QVERIFY(form.safeConfig->Running());
    QVERIFY(!form.sequenceProgress->isHidden());
    for (QWidget* control : controls) QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    QVERIFY(form.sequenceCancelButton->isEnabled());
    // A relay switched during the run: its buttons wait, and show it at the end.
    form.InterpretTraceLine(">> DO -1 -0");
    for (int i = 0; i < 2; ++i)
      QVERIFY(!form.botonOnButtons[i]->isEnabled() && !form.botonOffButtons[i]->isEnabled());
    QVERIFY(QTest::qWaitFor([&] { return form.sequenceProgress->value() >= 2; }, kTimeout));
    form.sequenceCancelButton->click();
    VerifyRelaysFollowTrace(form);
    QVERIFY(!form.safeConfig->Running());
    QCOMPARE(pendingRequest, 0);
    QCOMPARE(replyLength, 0);
    for (QWidget* control : controls) QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    QVERIFY(!form.sequenceCancelButton->isEnabled());
    QVERIFY(form.StatusText().contains("Cancelado por el usuario."));
    QVERIFY(!form.sequenceProgress->isHidden());  // beside the run's report
    form.SetStatus("Estado: Desconectado");
    QVERIFY(form.sequenceProgress->isHidden());
    form.BitBtn2Click();
  }

  // A unit that stops answering: a time-out after the retry ends the run
  // with its report, and nothing is written.
  void silentUnitEndsWithATimeOut() {
    sim::UnitOptions options = Options(45);
    options.store.answerRequests = 3;
    sim::VirtualUnit unit(options);
    unit.Start();
    DialogScript messages;
    ModalScript dialogs(messages);
    TForm1 form;
    Connect(form, 45, std::nullopt);
    form.writeAllButton->click();
    QVERIFY(QTest::qWaitFor([&] { return dialogs.summaries.size() == 1; }, kTimeout));
    QVERIFY2(dialogs.summaries[0].startsWith(
                 "El equipo no respondió (SMS configuracion): tiempo agotado."),
             qPrintable(dialogs.summaries[0]));
    QVERIFY(dialogs.summaries[0].contains("Copia de seguridad: ninguna"));
    QCOMPARE(unit.Counters().writes, 0u);
    QCOMPARE(pendingRequest, 0);
    QVERIFY(form.readAllButton->isEnabled());
    form.BitBtn2Click();
  }

  // "Verificar escrituras": a block's "Escribir" is read back; one bit the
  // unit stored otherwise is named with what was sent and what came back.
  void verifiedSingleWrite() {
    sim::UnitOptions options = Options(46);
    options.store.flipBitAt = 20034;  // the pulse width
    sim::VirtualUnit unit(options);
    unit.Start();
    DialogScript messages;
    TForm1 form;
    Connect(form, 46, std::nullopt);
    form.verifyWritesCheck->setChecked(true);
    form.LabeledEdit9->setText("1500");
    form.BitBtn5->click();
    QVERIFY(QTest::qWaitFor([&] { return !form.safeConfig->Running(); }, kTimeout));
    QCOMPARE(form.StatusText(), QString("Estado: escritura NO verificada!"));
    QCOMPARE(messages->messages,
             QStringList({"Digital Output: la escritura no se pudo verificar.\n"
                          "Digital Output: Ancho de pulso: enviado \"1500\", leido \"1501\""}));
    QCOMPARE(form.LabeledEdit9->text(), QString("1500"));

    form.Edit2->setText("Pozo 4");
    form.BitBtn38->click();
    QVERIFY(QTest::qWaitFor([&] { return !form.safeConfig->Running(); }, kTimeout));
    QCOMPARE(form.StatusText(), QString("Estado: escritura verificada OK!"));
    QCOMPARE(messages->messages.size(), 1);
    form.BitBtn2Click();
  }
};

QTEST_MAIN(SafeConfigE2eTest)
#include "safe_config_e2e_test.moc"
