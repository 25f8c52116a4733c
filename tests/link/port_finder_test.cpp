// The port list as the user meets it, the reason under "Error al abrir
// puerto", and an adapter pulled while connected and plugged in again.
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/Log.h"
#include "link/Link.h"
#include "link/PortFinder.h"
#include "tests/Harness.h"
#include "tests/link/FakePorts.h"

namespace fs = std::filesystem;

namespace {
constexpr int kCom = 12;

// Processes events until `done` holds or the generous ceiling passes.
bool WaitFor(const std::function<bool()>& done) {
  QDeadlineTimer ceiling(20000);
  while (!done()) {
    if (ceiling.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::yieldCurrentThread();
  }
  return true;
}

QStringList Column(QTableWidget* table, int column) {
  QStringList cells;
  for (int row = 0; row < table->rowCount(); ++row) cells << table->item(row, column)->text();
  return cells;
}

// Runs the dialog that "..." opens, handing it to `use` once it is up.
void WithPortList(TForm1& form, const std::function<void(QDialog*, QTableWidget*)>& use) {
  QTimer::singleShot(0, &form, [&] {
    auto* dialog = form.findChild<QDialog*>("portListDialog");
    auto* table = dialog ? dialog->findChild<QTableWidget*>("portTable") : nullptr;
    if (!dialog || !table) {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal) modal->close();
      return;
    }
    use(dialog, table);
    if (dialog->isVisible()) dialog->reject();
  });
  form.portListButton->click();
}

// A window that connects to the unit's end of a cable that can be pulled.
struct Connected {
  Connected() : unit(std::make_unique<PtyPair>()), link(std::make_unique<ComLink>(kCom, unit->slavePath())) {
    form.Timer1->stop();
    form.Timer2->stop();
    form.LabeledEdit1->setText(QString::number(kCom));
    form.BitBtn1Click();
  }
  // The receiver's console shows `line` at its end.
  bool Receives(const QString& line) {
    return WaitFor([&] {
      form.Timer1Timer();
      const QStringList lines = Lines(form.Memo1);
      return !lines.isEmpty() && lines.last() == line;
    });
  }
  DialogScript dialogs;
  std::unique_ptr<PtyPair> unit;
  std::unique_ptr<ComLink> link;
  TForm1 form;
};
}  // namespace

class PortFinderTest : public QObject {
  Q_OBJECT

 private slots:
  void choosingAPortFillsItsNumber() {
    DialogScript dialogs;
    FakePorts machine;
    machine.UsbAdapter("ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
                       "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    machine.Process(4242, "minicom", machine.Path("dev/ttyUSB0").string());
    PtyPair unit;
    machine.ComLink(1, unit.slavePath());
    TForm1 form;
    form.portSystem = MakePortSystem(machine.roots);
    QCOMPARE(form.portListButton->text(), QString("..."));

    QStringList numbers;
    QStringList use;
    WithPortList(form, [&](QDialog* dialog, QTableWidget* table) {
      numbers = Column(table, 0);
      use = Column(table, 3);
      const int usb = int(Column(table, 1).indexOf(QString::fromStdString(machine.Path("dev/ttyUSB0").string())));
      if (usb < 0) return;
      table->selectRow(usb);
      dialog->accept();
    });
    QCOMPARE(numbers, QStringList({"COM1", ""}));
    QCOMPARE(use, QStringList({"", "en uso por minicom (PID 4242)"}));
    QCOMPARE(form.LabeledEdit1->text(), QString("2"));
    QCOMPARE(fs::read_symlink(fs::path(machine.roots.ports) / "COM2").string(),
             machine.Path("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string());

    // A row for the virtual unit keeps its number; cancelling changes nothing.
    WithPortList(form, [&](QDialog* dialog, QTableWidget* table) {
      table->selectRow(0);
      dialog->reject();
    });
    QCOMPARE(form.LabeledEdit1->text(), QString("2"));
    WithPortList(form, [&](QDialog* dialog, QTableWidget* table) {
      table->selectRow(0);
      dialog->accept();
    });
    QCOMPARE(form.LabeledEdit1->text(), QString("1"));
    QVERIFY(dialogs->messages.isEmpty());
  }

  void followsAdaptersPluggedAndPulledWhileOpen() {
    DialogScript dialogs;
    FakePorts machine;
    machine.UsbAdapter("ttyUSB0", "0403", "6001", "FTDI", "FT232R", "A1");
    TForm1 form;
    form.portSystem = MakePortSystem(machine.roots);
    bool plugged = false;
    bool pulled = false;
    bool kept = false;
    WithPortList(form, [&](QDialog*, QTableWidget* table) {
      table->selectRow(0);
      machine.UsbAdapter("ttyUSB1", "10c4", "ea60", "Silicon Labs", "CP2102", "0001",
                         "usb-Silicon_Labs_CP2102_0001-if00-port0");
      plugged = WaitFor([&] {
        return table->rowCount() == 2 && table->item(1, 2)->text() == "Silicon Labs CP2102 (10c4:ea60), serie 0001";
      });
      kept = table->currentRow() == 0 && !table->selectedItems().isEmpty();
      fs::remove(machine.Path("dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0"));
      fs::remove(machine.Path("dev/ttyUSB1"));
      pulled = WaitFor([&] { return table->rowCount() == 1; });
    });
    QVERIFY(plugged);
    QVERIFY(kept);
    QVERIFY(pulled);
  }

  void aFailedOpenSaysWhy() {
    DialogScript dialogs;
    ComLink link(kCom, "/dev/ttyUSB97");
    TForm1 form;
    form.LabeledEdit1->setText(QString::number(kCom));
    form.BitBtn1Click();
    QVERIFY(!form.IsConnected());
    QCOMPARE(dialogs->messages,
             QStringList("Error al abrir puerto\nEl enlace " + QString::fromStdString(ResolvePortPath(ComPortPath(kCom))) +
                         " apunta a /dev/ttyUSB97, que no existe: conecte el adaptador o elija el puerto en la "
                         "lista (\"...\")."));
  }

  void aPulledAdapterIsSaidOnceAndOfferedBack() {
    Connected wire;
    TForm1& form = wire.form;
    QVERIFY(form.IsConnected());
    QVERIFY(!form.portListButton->isEnabled());
    wire.unit->Write("antes\r\n");
    QVERIFY(wire.Receives("antes"));
    form.portWatch->Check();
    QVERIFY(form.StatusText() != "Estado: puerto perdido, reconecte el adaptador");

    wire.unit.reset();  // pulled
    form.portWatch->Check();
    QCOMPARE(form.StatusText(), QString("Estado: puerto perdido, reconecte el adaptador"));
    form.SetStatus("Estado: otra cosa");
    form.portWatch->Check();
    QCOMPARE(form.StatusText(), QString("Estado: otra cosa"));  // said once
    QVERIFY(form.portReconnectButton->isHidden());

    // Back behind the same number, as a new pty.
    wire.link.reset();
    wire.unit = std::make_unique<PtyPair>();
    wire.link = std::make_unique<ComLink>(kCom, wire.unit->slavePath());
    form.portWatch->Check();
    QVERIFY(!form.portReconnectButton->isHidden());
    QCOMPARE(form.portReconnectButton->text(), QString("Reconectar"));
    form.portReconnectButton->click();
    QVERIFY(form.IsConnected());
    QVERIFY(form.portReconnectButton->isHidden());
    wire.unit->Write("despues\r\n");
    QVERIFY(wire.Receives("despues"));
    QVERIFY(wire.dialogs->messages.isEmpty());

    // After a disconnect nothing is watched any more.
    form.BitBtn2Click();
    QVERIFY(form.portListButton->isEnabled());
    wire.unit.reset();
    form.SetStatus("Estado:");
    form.portWatch->Check();
    QCOMPARE(form.StatusText(), QString("Estado:"));
  }
};

QTEST_MAIN(PortFinderTest)
#include "port_finder_test.moc"
