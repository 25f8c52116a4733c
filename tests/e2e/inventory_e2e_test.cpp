// The window against the virtual unit: identification, "Leer todo" and
// "Escribir todo" land in the inventory with who, where and what; "Equipos"
// shows the unit and its history, puts a stored configuration back into the
// pages, compares two of them and exports CSV. A damaged inventory is told
// once and the unit is configured all the same.
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "config/SafeConfig.h"
#include "inventory/Inventory.h"
#include "inventory/InventoryDialog.h"
#include "inventory/Store.h"
#include "profile/ProfilePage.h"
#include "sim/VirtualUnit.h"
#include "tests/Harness.h"
#include "tests/firmware/DownloadTesting.h"
#include <QCryptographicHash>

namespace {
constexpr int kTimeout = 30000;

// Accepts our own dialogs and keeps the summaries they showed.
struct ModalScript {
  QStringList summaries;
  explicit ModalScript(DialogScript& dialogs) {
    dialogs->modal = [this](QDialog& dialog) {
      if (auto* text = dialog.findChild<QPlainTextEdit*>("sequenceSummaryText")) summaries << text->toPlainText();
      return int(QDialog::Accepted);
    };
  }
};

sim::VirtualUnit& Started(sim::VirtualUnit& unit) {
  unit.Start();
  return unit;
}

sim::UnitOptions Options(int com) {
  sim::UnitOptions options;
  options.com = com;
  options.telemetryPeriod = std::chrono::milliseconds(1500);
  return options;
}

void Connect(TForm1& form, int com) {
  form.LabeledEdit1->setText(QString::number(com));
  form.BitBtn1Click();
}

QStringList Column(const QTableWidget* table, int column) {
  QStringList out;
  for (int r = 0; r < table->rowCount(); ++r) out << table->item(r, column)->text();
  return out;
}

int Records(TForm1& form) {
  form.inventory->Wait();
  InventoryStore* store = form.inventory->Reader();
  return store ? store->RecordCount() : -1;
}
}  // namespace

class InventoryE2eTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QDir folder(QFileInfo(Inventory::DefaultPath()).absolutePath());
    for (const QString& name : folder.entryList({"inventory.sqlite*"})) QFile::remove(folder.filePath(name));
  }

  void operationsAreRecordedAndShown() {
    sim::VirtualUnit unit(Options(61));
    Started(unit);
    DialogScript dialogs;
    ModalScript modal(dialogs);
    TForm1 form;
    Connect(form, 61);

    // "Leer todo" first: the unit is known by its TSD ID until it is identified.
    form.readAllButton->click();
    QVERIFY(QTest::qWaitFor([&] { return !form.safeConfig->Running(); }, kTimeout));
    QVERIFY2(form.StatusText().startsWith("Estado: Leer todo: 12 de 12"), qPrintable(form.StatusText()));
    const std::string unitConfiguration = PageProfileText(form);
    const QString tsd = form.Edit16->text();
    form.BitBtn7Click();
    QVERIFY(QTest::qWaitFor([&] { return form.Label24->text().contains("861234050123458"); }, kTimeout));
    QVERIFY(QTest::qWaitFor([&] { return Records(form) == 2; }, kTimeout));

    // A change written: the backup and the write with its blocks.
    form.Edit2->setText("Pozo 12");
    form.writeAllButton->click();
    QVERIFY(QTest::qWaitFor([&] { return modal.summaries.size() == 1; }, kTimeout));
    QVERIFY(QTest::qWaitFor([&] { return Records(form) == 4; }, kTimeout));

    InventoryStore* store = form.inventory->Reader();
    const auto units = store->Units();
    QCOMPARE(units.size(), std::size_t(1));
    QCOMPARE(units[0].key, QString("861234050123458"));
    QCOMPARE(units[0].tsdId, tsd);
    QCOMPARE(units[0].lastOperation, Operation::kWrite);
    QCOMPARE(units[0].lastResult, QString("OK"));
    const auto history = store->History(units[0].key);
    const auto write = store->Find(history[0].id);
    QVERIFY(write);
    QVERIFY2(write->details.find("\"bloque\":\"SMS configuracion\",\"resultado\":\"verificado\"") != std::string::npos,
             write->details.c_str());
    QCOMPARE(write->context.port, QString("COM61"));
    QVERIFY(!write->context.user.isEmpty() || !write->context.host.isEmpty());
    const auto backup = store->Find(history[1].id);
    QCOMPARE(backup->operation, Operation::kBackup);
    QCOMPARE(backup->configuration, unitConfiguration);

    // The dialog: the unit, its history, the backup back into the pages.
    form.inventoryButton->click();
    auto* dialog = form.findChild<InventoryDialog*>("inventoryDialog");
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(Column(dialog->inventoryTable, 0), QStringList{"861234050123458"});
    dialog->inventorySearch->setText("no-existe");
    QCOMPARE(dialog->inventoryTable->rowCount(), 0);
    dialog->inventorySearch->setText(tsd);
    QCOMPARE(dialog->inventoryTable->rowCount(), 1);
    dialog->inventoryTable->selectRow(0);
    QCOMPARE(Column(dialog->historyTable, 1),
             QStringList({Operation::kWrite, Operation::kBackup, Operation::kIdentification, Operation::kReadAll}));
    form.Edit2->setText("otro");
    dialog->historyTable->selectRow(1);
    dialog->loadButton->click();
    QCOMPARE(form.Edit2->text(), QString::fromStdString(ParseProfile(unitConfiguration)["smsId"].get<std::string>()));

    // Two stored configurations compared: the same here, then one changed by hand.
    dialog->historyTable->clearSelection();
    dialog->historyTable->setSelectionMode(QAbstractItemView::MultiSelection);
    dialog->historyTable->selectRow(1);
    dialog->historyTable->selectRow(3);
    dialog->compareRowsButton->click();
    QVERIFY(dialog->compareTable);
    QCOMPARE(dialog->compareTable->rowCount(), 0);
    QCOMPARE(dialog->compareTable->horizontalHeaderItem(0)->text(), QString("Campo"));
    dialog->historyTable->clearSelection();
    dialog->historyTable->selectRow(0);
    dialog->historyTable->selectRow(1);
    dialog->compareRowsButton->click();
    QCOMPARE(dialogs->messages.size(), 1);  // the write row holds no configuration
    QVERIFY(dialogs->errors.isEmpty());

    // CSV of the history, with the byte order mark.
    QTemporaryDir dir;
    dialogs->files.push_back(dir.filePath("historia.csv"));
    dialog->exportButton->click();
    QFile csv(dir.filePath("historia.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray text = csv.readAll();
    QVERIFY(text.startsWith("\xEF\xBB\xBFHora,Operacion,Resultado,Quien\r\n"));
    QCOMPARE(text.count("\r\n"), 5);
    form.BitBtn2Click();
  }

  // A verified "Escribir" and a firmware download, with the HEX file's name
  // and SHA-256, land on the identified unit.
  void singleWriteAndDownloadAreRecorded() {
    QTemporaryDir dir;
    const QString hexPath = dir.filePath("QRL02-017-0457.hex");
    const QByteArray hexText = QByteArray::fromStdString(HexText(Sequence(4 * 1024 + 10), 32));
    {
      QFile hex(hexPath);
      QVERIFY(hex.open(QIODevice::WriteOnly));
      hex.write(hexText);
    }
    sim::UnitOptions options = Options(63);
    options.identity.hardware = 2;
    options.identity.project = 17;
    options.identity.build = 456;
    sim::VirtualUnit unit(options);
    Started(unit);
    DialogScript dialogs;
    TForm1 form;
    Connect(form, 63);
    form.BitBtn7Click();
    QVERIFY(QTest::qWaitFor([&] { return Records(form) == 1; }, kTimeout));

    form.verifyWritesCheck->setChecked(true);
    form.Edit2->setText("Pozo 4");
    form.BitBtn38->click();
    QVERIFY(QTest::qWaitFor([&] { return Records(form) == 2; }, kTimeout));

    dialogs->files = {hexPath, dir.filePath("image.bin")};
    form.BitBtn22->click();
    form.BitBtn21->click();
    QVERIFY(downloadSession.IsActive());
    QVERIFY(QTest::qWaitFor([&] { return !downloadSession.IsActive(); }, 90000));
    QVERIFY(QTest::qWaitFor([&] { return Records(form) == 3; }, kTimeout));

    InventoryStore* store = form.inventory->Reader();
    const auto history = store->History("861234050123458");
    QCOMPARE(history.size(), std::size_t(3));
    QCOMPARE(history[1].operation, Operation::kVerifiedWrite);
    QCOMPARE(history[1].result, QString("OK"));
    QCOMPARE(history[0].operation, Operation::kFirmware);
    QCOMPARE(history[0].result, QString("Descarga completa"));
    const auto download = store->Find(history[0].id);
    const QByteArray sha = QCryptographicHash::hash(hexText, QCryptographicHash::Sha256).toHex();
    QVERIFY2(download->details.find("\"archivo\":\"QRL02-017-0457.hex\",\"sha256\":\"" + sha.toStdString() +
                                    "\",\"hardware\":2,\"proyecto\":17,\"build\":457") != std::string::npos,
             download->details.c_str());
    QVERIFY(dialogs->errors.isEmpty());
    form.BitBtn2Click();
  }

  // A damaged inventory: set aside, told once, and "Leer todo" works as always.
  void damagedInventoryIsToldOnce() {
    const QString path = Inventory::DefaultPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(QByteArray(8192, '\x01'));
    }
    sim::VirtualUnit unit(Options(62));
    Started(unit);
    DialogScript dialogs;
    TForm1 form;
    QVERIFY(QTest::qWaitFor([&] { return dialogs->messages.size() == 1; }, kTimeout));
    QVERIFY2(dialogs->messages[0].contains("dañado"), qPrintable(dialogs->messages[0]));
    Connect(form, 62);
    form.readAllButton->click();
    QVERIFY(QTest::qWaitFor([&] { return !form.safeConfig->Running(); }, kTimeout));
    QVERIFY(form.StatusText().startsWith("Estado: Leer todo: 12 de 12"));
    QCOMPARE(Records(form), 1);
    QCOMPARE(dialogs->messages.size(), 1);
    QDir folder(QFileInfo(path).absolutePath());
    const QStringList aside = folder.entryList({"inventory.sqlite.danado-*"}).filter(QRegularExpression("\\d$"));
    QCOMPARE(aside.size(), 1);
    QFile kept(folder.filePath(aside[0]));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray(8192, '\x01'));
    form.BitBtn2Click();
  }
};

QTEST_MAIN(InventoryE2eTest)
#include "inventory_e2e_test.moc"
