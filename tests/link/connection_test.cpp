// Connecting to a unit over a real pty, local/remote mode, the indicators of
// a silent or absent unit and the TX/RX lamps.
#include <QKeyEvent>
#include <QtTest>

#include "app/Log.h"
#include "link/Link.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"

class ConnectionTest : public QObject {
  Q_OBJECT

  static bool Disconnected(Panel* panel) {
    return panel->caption() == "Equipo desconectado" && panel->color() == clSilver;
  }

 private slots:
  void connectTakesBytesAndDisconnectEndsTheReader() {
    DialogScript dialogs;
    PtyPair pty;
    ComLink link(7, pty.slavePath());
    TForm1 form;
    form.LabeledEdit1->setText("7");
    form.BitBtn1->click();
    QVERIFY(dialogs->messages.isEmpty());
    QVERIFY(form.IsConnected());
    QVERIFY(!form.BitBtn1->isEnabled());
    QVERIFY(!form.LabeledEdit1->isEnabled());
    QPointer<Serial> reader = serialThread;
    QVERIFY(reader);

    const std::uint64_t before = receivedByteCount;
    pty.Write(std::string("hola\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT((form.Timer1Timer(), receivedByteCount - before == 6), 2000);
    QCOMPARE(lastRxSecond, secondsTick);

    form.BitBtn2->click();
    QVERIFY(!form.IsConnected());
    QVERIFY(form.BitBtn1->isEnabled() && form.LabeledEdit1->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(reader.isNull(), 2000);  // ended and freed itself

    // A second connection starts a new reader on the same port.
    form.BitBtn1->click();
    QVERIFY(form.IsConnected());
    QVERIFY(serialThread != nullptr);
    QPointer<Serial> second = serialThread;
    form.BitBtn2->click();
    QTRY_VERIFY_WITH_TIMEOUT(second.isNull(), 2000);
  }

  void connectRefusals() {
    DialogScript dialogs;
    TForm1 form;
    form.LabeledEdit1->setText("");
    form.BitBtn1->click();
    form.LabeledEdit1->setText("0");  // COM0 never exists
    form.BitBtn1->click();
    form.LabeledEdit1->setText("4x");  // pasted text is not filtered
    form.BitBtn1->click();
    QCOMPARE(dialogs->messages,
             QStringList({"Ingrese numero de Puerto Comm",
                          QString::fromUtf8("Error al abrir puerto\nEl puerto 0 no existe: los puertos se "
                                            "numeran desde 1.")}));
    QCOMPARE(dialogs->errors, QStringList({"'4x' is not a valid integer value"}));
    QVERIFY(form.BitBtn1->isEnabled());
    QVERIFY(!form.IsConnected());
    QVERIFY(serialThread == nullptr);
  }

  void portNumberTakesOnlyDigitsAndBackspace() {
    TForm1 form;
    form.show();
    form.LabeledEdit1->setText("");
    form.LabeledEdit1->setFocus();
    QTest::keyClicks(form.LabeledEdit1, "1a2-b3 ");
    QCOMPARE(form.LabeledEdit1->text(), QString("123"));
    QTest::keyClick(form.LabeledEdit1, Qt::Key_Backspace);
    QCOMPARE(form.LabeledEdit1->text(), QString("12"));
    // Other scripts' digits are no port number: "&Conectar" could not convert them.
    for (const QString& digit : OtherDigits())
      QTest::sendKeyEvent(QTest::Click, form.LabeledEdit1, Qt::Key_unknown, digit, Qt::NoModifier);
    QCOMPARE(form.LabeledEdit1->text(), QString("12"));
  }

  void remoteShowsTheStationNumber() {
    TForm1 form;
    form.show();
    QTest::mouseClick(form.RadioGroup2->button(1), Qt::LeftButton);
    QCOMPARE(form.RadioGroup2->itemIndex(), 1);
    QVERIFY(form.Edit3->isVisible());
    QTest::mouseClick(form.RadioGroup2->button(0), Qt::LeftButton);
    QVERIFY(!form.Edit3->isVisible());
  }

  void indicatorsShowAnAbsentOrSilentUnit() {
    PtyPair pty;
    ComLink link(8, pty.slavePath());
    TForm1 form;
    form.Timer1Timer();  // not connected: one tick is enough
    QVERIFY(Disconnected(form.Panel5));
    QVERIFY(Disconnected(form.Panel36));

    form.Panel5->setCaption("Conectado Servidor");
    form.Panel36->setCaption("IDP Desconectado");
    form.LabeledEdit1->setText("8");
    form.BitBtn1->click();
    QVERIFY(form.IsConnected());
    lastRxSecond = secondsTick;
    secondsTick += 10;  // ten silent seconds are still fine
    form.Timer1Timer();
    QCOMPARE(form.Panel5->caption(), QString("Conectado Servidor"));
    secondsTick += 1;
    form.Timer1Timer();
    QVERIFY(Disconnected(form.Panel5));
    QVERIFY(Disconnected(form.Panel36));
    form.BitBtn2->click();
  }

  void lampStaysLitSixTicksFromTheFirstTrigger() {
    TForm1 form;
    txLampFlag = 1;
    int lit = 0;
    for (int tick = 0; tick < 12; ++tick) {
      if (tick == 3) txLampFlag = 1;  // a second trigger 300 ms later
      form.Timer3Timer();
      if (form.Panel9->color() == clGreen) ++lit;
    }
    QCOMPARE(lit, 6);
    QCOMPARE(form.Panel9->color(), clBtnFace);
    rxLampFlag = 1;
    form.Timer3Timer();
    QCOMPARE(form.Panel10->color(), clRedOrange);
  }

  void secondsAdvanceOnTimer4() {
    TForm1 form;
    const std::uint32_t before = secondsTick;
    form.Timer4Timer();
    QCOMPARE(secondsTick, before + 1);
  }
};

QTEST_MAIN(ConnectionTest)
#include "connection_test.moc"
