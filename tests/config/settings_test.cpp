// General settings, serial port 2, SMS, Modbus tables and SMS tags: frames
// byte for byte, read-backs, refusals.
#include <QtTest>

#include "app/Defaults.h"
#include "app/Log.h"
#include "config/Config.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"

namespace {
Bytes Reply(const Bytes& payload) {
  Bytes frame{0x01, 0x03, std::uint8_t(payload.size())};
  frame.insert(frame.end(), payload.begin(), payload.end());
  return FrameWithCrc(frame);
}
Bytes Payload(const std::string& sent, std::size_t header, std::size_t size) {
  const Bytes frame = HexBytes(sent.c_str());
  return Bytes(frame.begin() + long(header), frame.begin() + long(header + size));
}
}  // namespace

class SettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    pendingRequest = 0;
    registerMapVariant = 0;
  }

  void generalBlock() {
    WiredForm form;
    form->BitBtn34->click();
    QCOMPARE(form.Sent(8).substr(0, 17), std::string("01 03 4E 20 00 27"));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura TSD Configuracion Pedido!"));

    form->Edit1->setText("200.100.150.250");  // 15 characters: the terminator is the last byte
    form->CheckBox25->setChecked(true);        // dual SIM with only "Sim A"
    form->CheckBox43->setChecked(true);
    form->BitBtn35->click();
    const std::string sent = form.Sent(87);
    QCOMPARE(sent.substr(0, 20), std::string("01 10 4E 20 00 27 4E"));
    QCOMPARE(pendingRequest, 4);
    QCOMPARE(form->StatusText(), QString("Estado: escritura de TSD configuracion enviada!"));
    const Bytes payload = Payload(sent, 7, 78);
    QCOMPARE(Hex(Bytes(payload.begin() + 12, payload.begin() + 28)),
             std::string("30 32 2E 30 30 31 2E 30 35 31 2E 30 35 32 00 30"));
    QCOMPARE(Hex(Bytes(payload.begin() + 60, payload.begin() + 66)), std::string("00 01 00 00 00 05"));
    QCOMPARE(payload[71], std::uint8_t(0x70));
    QCOMPARE(Hex(Bytes(payload.begin() + 2, payload.begin() + 4)), std::string("00 01"));

    // Read back: all three SIM boxes follow the flags byte; register 20001 is ignored.
    Bytes back = payload;
    back[2] = 0xFF;
    back[3] = 0xFF;
    back[66] = 0x01;  // byte 67 decides: "Latch"
    back[67] = 0x00;
    form->Edit1->clear();
    form->CheckBox42->setChecked(false);
    form->BitBtn34->click();
    form.Sent(8);
    form.Answer(Reply(back));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura TSD Configuracion Recibido!"));
    QCOMPARE(Lines(form->Memo1).last(), QString("Configuracion recibida 83"));
    QCOMPARE(form->Edit1->text(), QString("200.100.150.250"));
    QVERIFY(form->CheckBox43->isChecked() && form->CheckBox42->isChecked());
    QVERIFY(form->CheckBox25->isChecked());
    QVERIFY(form->RadioButton3->isChecked() && !form->LabeledEdit9->isEnabled());

    // A slot without a terminator shows all its bytes.
    back = payload;
    for (int i = 28; i < 44; ++i) back[std::size_t(i)] = 'x';
    form->DecodeTsdConfig(back.data());
    QCOMPARE(form->Edit5->text(), QString(16, 'x'));
  }

  void restoreThenWrite() {
    WiredForm form;
    form->CheckBox7->setChecked(true);
    form->ComboBox5->setCurrentIndex(-1);
    form->BitBtn39->click();
    QVERIFY(form.NothingSent());
    QCOMPARE(form->ComboBox5->currentIndex(), 3);
    QCOMPARE(form->LabeledEdit5->text(), QString("750"));
    QCOMPARE(form->LabeledEdit12->text(), QString(kDefaultPhoneNumber));
    QCOMPARE(form->Edit2->text(), QString("Demo"));
    form->BitBtn35->click();
    const Bytes payload = Payload(form.Sent(87), 7, 78);
    QCOMPARE(Hex(Bytes(payload.begin(), payload.begin() + 2)), std::string("03 E8"));
    for (int port = 0; port < 3; ++port)
      QCOMPARE(Hex(Bytes(payload.begin() + 6 + 2 * port, payload.begin() + 8 + 2 * port)),
               std::string("FE 69"));
    for (int slot = 0; slot < 3; ++slot)
      QCOMPARE(DecodeTextSlot(Bytes(payload.begin() + 12 + 16 * slot, payload.begin() + 28 + 16 * slot)),
               std::string(kRestoreServerAddress));
    QCOMPARE(payload[71], std::uint8_t(0x80));  // the switches as shown
    QCOMPARE(Hex(Bytes(payload.begin() + 66, payload.begin() + 70)), std::string("00 01 07 D0"));
  }

  void textsThatDoNotFitAreRefused() {
    WiredForm form;
    DialogScript dialogs;
    form->Edit5->setText("200.100.150.2500");  // 16 bytes
    form->BitBtn35->click();
    form->LabeledEdit3->setText("+5989912345678");  // 14 bytes
    form->BitBtn38->click();
    form->Edit2->setText("Pozo ñandú número 1");  // 19 characters, 22 bytes
    form->LabeledEdit3->setText("1");
    form->BitBtn38->click();
    form->tagAnalog->setCell(1, 2, "0123456789abcdef");
    form->BitBtn63->click();
    QVERIFY(form.NothingSent());
    QCOMPARE(pendingRequest, 0);
    QCOMPARE(dialogs->errors,
             QStringList({"'200.100.150.2500' no cabe: admite hasta 15 bytes",
                          "'+5989912345678' no cabe: admite hasta 13 bytes",
                          "'Pozo ñandú número 1' no cabe: admite hasta 19 bytes",
                          "'0123456789abcdef' no cabe: admite hasta 15 bytes"}));
  }

  void serialPort2() {
    WiredForm form;
    form->BitBtn28->click();
    QCOMPARE(form.Sent(8).substr(0, 17), std::string("01 03 4E 4E 00 07"));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura Puerto Com 2 Pedido!"));
    form->SeleccionPuerto->setItemIndex(1);
    form->ComboBox6->setCurrentIndex(1);
    form->ComboBox7->setCurrentIndex(2);
    form->ComboBox8->setCurrentIndex(1);
    form->ComboBox5->setCurrentIndex(6);
    form->LabeledEdit5->setText("100");
    form->BitBtn29->click();
    const std::string sent = form.Sent(23);
    QCOMPARE(sent.substr(0, 62),
             std::string("01 10 4E 4E 00 07 0C 80 01 00 08 00 01 00 02 E1 00 00 00 00 64"));
    QCOMPARE(pendingRequest, 6);
    QCOMPARE(form->StatusText(), QString("Estado: escritura configuracion Puerto Serie 2 enviada!"));
    form->LabeledEdit5->setText("70000");
    form->BitBtn29->click();
    QCOMPARE(form.Sent(23).substr(57, 5), std::string("11 70"));

    // 9600 read back; an unknown rate leaves the list empty, the rest is filled.
    form->BitBtn28->click();
    form.Sent(8);
    form.Answer(Reply(HexBytes("00 01 00 07 00 01 00 01 25 80 00 00 00 0A")));
    QCOMPARE(Lines(form->Memo1).last(), QString("Configuracion recibida 19"));
    QCOMPARE(form->ComboBox5->currentText(), QString("9600"));
    QCOMPARE(form->ComboBox8->currentText(), QString("2"));
    QCOMPARE(form->ComboBox7->currentText(), QString("ODD"));
    QCOMPARE(form->ComboBox6->currentText(), QString("7"));
    QCOMPARE(form->SeleccionPuerto->itemIndex(), 0);
    form->DecodeSerialPort2(HexBytes("80 01 00 09 00 05 00 07 12 34 00 00 00 0B").data());
    QCOMPARE(form->ComboBox5->currentIndex(), -1);
    QCOMPARE(form->ComboBox6->currentIndex(), -1);
    QCOMPARE(form->ComboBox7->currentIndex(), -1);
    QCOMPARE(form->ComboBox8->currentIndex(), -1);
    QCOMPARE(form->LabeledEdit5->text(), QString("11"));
    QCOMPARE(form->SeleccionPuerto->itemIndex(), 1);

    DialogScript dialogs;
    form->BitBtn29->click();  // nothing selected: no code to send
    QVERIFY(form.NothingSent());
    QCOMPARE(dialogs->errors.size(), 1);
    QVERIFY(dialogs->errors[0].contains("BaudRate"));

    registerMapVariant = 8;
    form->BitBtn39->click();
    form->BitBtn29->click();
    QCOMPARE(form.Sent(23).substr(0, 20), std::string("01 10 4E 20 00 07 0C"));
    form->BitBtn28->click();
    QCOMPARE(form.Sent(8).substr(0, 17), std::string("01 03 4E 20 00 07"));
  }

  void smsBlock() {
    WiredForm form;
    form->BitBtn37->click();
    QCOMPARE(form.Sent(8).substr(0, 17), std::string("01 03 4E 5C 00 23"));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura SMS Configuracion Pedido!"));
    form->LabeledEdit2->setText("123");
    form->LabeledEdit3->setText("1234567890123");  // 13: the whole slot
    form->CheckBox1->setChecked(true);
    form->digitalChecks[7]->setChecked(true);
    form->analogHiChecks[0]->setChecked(true);
    form->BitBtn38->click();
    const std::string sent = form.Sent(79);
    QCOMPARE(sent.substr(0, 20), std::string("01 10 4E 5C 00 23 46"));
    QCOMPARE(form->StatusText(), QString("Estado: Escrituta SMS Configuracion enviado!"));
    QCOMPARE(pendingRequest, 9);
    const Bytes payload = Payload(sent, 7, 70);
    QCOMPARE(Hex(Bytes(payload.begin(), payload.begin() + 14)),
             std::string("32 31 00 33 00 00 00 00 00 00 00 00 00 00"));
    QCOMPARE(Hex(Bytes(payload.begin() + 42, payload.begin() + 48)), std::string("00 01 00 00 00 00"));
    QCOMPARE(payload[69], std::uint8_t(0x80));
    QCOMPARE(payload[68], std::uint8_t(0x10));
    form.Answer(FrameWithCrc(HexBytes("01 10 4E 5C 00 23")));
    QCOMPARE(form->StatusText(), QString("Estado: Encritura SMS Configuracion OK!"));

    // A shorter number after a longer one leaves nothing of it behind.
    form->LabeledEdit3->setText("9");
    form->BitBtn38->click();
    const Bytes again = Payload(form.Sent(79), 7, 70);
    QCOMPARE(Hex(Bytes(again.begin() + 14, again.begin() + 28)),
             std::string("00 39 00 00 00 00 00 00 00 00 00 00 00 00"));

    form->LabeledEdit3->clear();
    form->digitalChecks[7]->setChecked(false);
    form->BitBtn37->click();
    form.Sent(8);
    form.Answer(Reply(payload));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura SMS Configuracion Recibido!"));
    QCOMPARE(form->LabeledEdit3->text(), QString("1234567890123"));
    QVERIFY(form->digitalChecks[7]->isChecked() && form->analogHiChecks[0]->isChecked());
    QVERIFY(form->CheckBox1->isChecked() && !form->CheckBox3->isChecked());
  }

  void modbusTables() {
    WiredForm form;
    form->BitBtn9->click();
    QCOMPARE(form.Sent(8).substr(0, 17), std::string("01 03 9C 40 00 80"));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura de configuracion Modbus Digital PEDIDO!"));
    form->BitBtn10->click();
    QCOMPARE(form.Sent(8).substr(0, 17), std::string("01 03 9C C0 00 90"));
    QCOMPARE(pendingRequest, 11);

    StringGrid* digital = form->modbusGrid1;
    StringGrid* analog = form->modbusGrid2;
    digital->setCell(1, 1, "1");
    digital->setCell(2, 1, "17");
    digital->setCell(3, 1, "300");
    digital->setCell(1, 2, "3");   // no such enable: written as 0
    digital->setCell(2, 3, "");    // empty cells become "0" in the grid
    // Negative enables are no enable either, whatever their low bits.
    const QStringList negative = {"-1", "-2", "-3", "-2147483647"};
    for (int k = 0; k < negative.size(); ++k) digital->setCell(1, 4 + k, negative[k]);
    form->BitBtn12->click();
    const std::string sentDigital = form.Sent(265);
    QCOMPARE(sentDigital.substr(0, 20), std::string("01 10 9C 40 00 80 00"));
    QCOMPARE(sentDigital.substr(21, 11), std::string("40 11 01 2C"));
    QCOMPARE(sentDigital.substr(33, 2), std::string("00"));
    for (int k = 0; k < negative.size(); ++k)  // byte 0 of rows 4-7
      QCOMPARE(sentDigital.substr(3 * (7 + 4 * (3 + k)), 2), std::string("00"));
    QCOMPARE(digital->cell(2, 3), QString("0"));
    QCOMPARE(form->StatusText(), QString("Estado: escritura Modbus digitales enviada!"));

    const QStringList row = {"2", "5", "7", "1", "0", "1000", "3"};
    for (int c = 1; c <= 7; ++c) analog->setCell(c, 1, row[c - 1]);
    analog->setCell(7, 2, "16");
    analog->setCell(1, 3, "-2");
    form->BitBtn13->click();
    const std::string sentAnalog = form.Sent(297);
    QCOMPARE(sentAnalog.substr(0, 20), std::string("01 10 9C C0 00 90 20"));
    QCOMPARE(sentAnalog.substr(21, 17), std::string("A2 05 00 07 03 E8"));
    QCOMPARE(sentAnalog.substr(39, 2), std::string("00"));  // DataType 16: code 0
    QCOMPARE(sentAnalog.substr(57, 2), std::string("00"));  // Enable -2: no enable
    QCOMPARE(analog->cell(7, 3), QString("1"));             // an empty DataType becomes 1
    QCOMPARE(pendingRequest, 13);

    // Read back: Enable 3 shows as 3, code 0 as DataType 1.
    Bytes table(288, 0);
    table[0] = 0xE0 | 0x0F;
    table[6] = 0x00;
    form->DecodeModbusTable(1, table.data());
    QCOMPARE(analog->cell(1, 1), QString("3"));
    QCOMPARE(analog->cell(4, 1), QString("1"));
    QCOMPARE(analog->cell(7, 1), QString("16"));
    QCOMPARE(analog->cell(7, 2), QString("1"));
    QCOMPARE(analog->cell(0, 1), QString("5000"));

    // "Limpiar" under each grid clears that grid only and sends nothing.
    form->BitBtn65->click();
    QCOMPARE(analog->cell(7, 10), QString("1"));
    QCOMPARE(analog->cell(1, 1), QString("0"));
    QCOMPARE(digital->cell(3, 1), QString("300"));
    form->BitBtn64->click();
    QCOMPARE(digital->cell(3, 1), QString("0"));
    QVERIFY(form.NothingSent());

    DialogScript dialogs;
    analog->setCell(6, 5, "x1");  // a profile can bring any text
    pendingRequest = 0;
    form->BitBtn13->click();
    QCOMPARE(dialogs->errors, QStringList({"'x1' is not a valid integer value"}));
    QVERIFY(form.NothingSent());
    QCOMPARE(pendingRequest, 0);
  }

  void gridsTakeOnlyDigits() {
    TForm1 form;
    form.show();
    form.PageControl1->setCurrentWidget(form.TabSheet2);
    form.PageControl2->show();
    form.PageControl2->setCurrentWidget(form.TabModbus);
    StringGrid* grid = form.modbusGrid1;
    grid->setCell(2, 1, "");
    grid->editItem(grid->item(1, 2));
    auto* editor = grid->findChild<QLineEdit*>();
    QVERIFY(editor);
    QTest::keyClicks(editor, "7a4-b");
    for (const QString& digit : OtherDigits())
      QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, digit, Qt::NoModifier);
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClicks(editor, "9");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(grid->cell(2, 1), QString("79"));  // the grid commits after the key
  }

  void tags() {
    WiredForm form;
    form->BitBtn16->click();
    QCOMPARE(form.Sent(8).substr(0, 17), std::string("01 03 C3 50 00 40"));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura Tags Digitales pedido!"));
    form->BitBtn61->click();
    QCOMPARE(form.Sent(8).substr(0, 17), std::string("01 03 C3 90 00 20"));
    QCOMPARE(pendingRequest, 901);

    form->tagDigital->setCell(1, 1, "ABC");
    form->tagDigital->setCell(1, 2, "123456789012345");
    form->tagDigital->setCell(1, 3, "Acción");
    form->BitBtn62->click();
    const std::string sent = form.Sent(137);
    QCOMPARE(sent.substr(0, 20), std::string("01 10 C3 50 00 40 80"));
    QCOMPARE(sent.substr(21, 47), std::string("42 41 00 43 00 00 00 00 00 00 00 00 00 00 00 00"));
    QCOMPARE(form->StatusText(), QString("Estado: Escritura Tags Digitales enviado!"));
    QCOMPARE(pendingRequest, 902);
    const Bytes payload = Payload(sent, 7, 128);
    QVERIFY(std::all_of(payload.begin() + 48, payload.end(), [](std::uint8_t b) { return b == 0; }));

    for (int r = 1; r <= 8; ++r) form->tagDigital->setCell(1, r, "x");
    form->BitBtn16->click();
    form.Sent(8);
    form.Answer(Reply(payload));
    QCOMPARE(form->StatusText(), QString("Estado: Tags Digitales Recibidos OK!"));
    QCOMPARE(form->tagDigital->cell(1, 1), QString("ABC"));
    QCOMPARE(form->tagDigital->cell(1, 2), QString("123456789012345"));
    QCOMPARE(form->tagDigital->cell(1, 3), QString("Acción"));
    QCOMPARE(form->tagDigital->cell(1, 4), QString());
    QCOMPARE(form->tagDigital->cell(0, 4), QString("4"));

    form->tagAnalog->setCell(1, 4, "Nivel");
    form->BitBtn63->click();
    QCOMPARE(form.Sent(73).substr(0, 20), std::string("01 10 C3 90 00 20 40"));
    QCOMPARE(form->StatusText(), QString("Estado: Escritura Tags Analogicos enviado!"));
  }

  void sendersThatCouldNotWriteClaimNothing() {
    TForm1 form;  // no port open
    pendingRequest = 72;
    for (QPushButton* button : {form.BitBtn9, form.BitBtn10, form.BitBtn16, form.BitBtn61,
                                form.BitBtn62, form.BitBtn34, form.BitBtn28, form.BitBtn37})
      button->click();
    QCOMPARE(pendingRequest, 72);
    QCOMPARE(form.StatusText(), QString("Estado:"));
  }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
