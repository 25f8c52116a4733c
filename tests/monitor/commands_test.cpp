// Commands and identification on the wire, through a pty, byte for byte.
#include <QtTest>

#include "app/Log.h"
#include "config/Config.h"
#include "monitor/Monitor.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"

namespace {
// An identification payload: date, hardware, project, build and three slots.
Bytes IdentificationPayload(int project, Bytes date = HexBytes("30 32 32 32"),
                            std::uint8_t buildHigh = 0x01, std::uint8_t buildLow = 0xC8) {
  Bytes payload(90, 0);
  std::copy(date.begin(), date.end(), payload.begin() + 4);
  payload[25] = 7;
  payload[27] = std::uint8_t(project);
  payload[28] = buildHigh;
  payload[29] = buildLow;
  const auto slot = [&](std::size_t at, const char* text) {
    const auto bytes = EncodeTextSlot(text, 20);
    std::copy(bytes->begin(), bytes->end(), payload.begin() + long(at));
  };
  slot(30, "SIM7600");
  slot(50, "861234567890123");
  slot(70, "748010123456789");
  return payload;
}

Bytes IdentificationReply(const Bytes& payload) {
  Bytes frame{0x01, 0x03, 90};
  frame.insert(frame.end(), payload.begin(), payload.end());
  return FrameWithCrc(frame);
}

bool TabShown(TForm1& form, QWidget* sheet) {
  return form.PageControl2->isTabVisible(form.PageControl2->indexOf(sheet));
}
}  // namespace

class CommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { pendingRequest = 0; }

  void coilCommandsLocalAndRemote() {
    WiredForm form;
    const struct {
      QPushButton* button;
      const char* frame;
      int request;
      const char* status;
    } commands[] = {
        {form->botonOnButtons[0], "01 05 00 00 FF 00 8C 3A", 1, "Estado:"},
        {form->botonOffButtons[0], "01 05 00 00 00 00 CD CA", 1, "Estado:"},
        {form->botonOnButtons[1], "01 05 00 01 FF 00 DD FA", 1, "Estado:"},
        {form->botonOffButtons[1], "01 05 00 01 00 00 9C 0A", 1, "Estado:"},
        {form->BitBtn19, "01 05 00 02 00 00 6C 0A", 1, "Estado:"},
        {form->BitBtn20, "01 05 00 02 FF 00 2D FA", 1, "Estado:"},
        {form->BitBtn36, "01 05 00 08 FF 00 0D F8", 50, "Estado: Reset Pedido!"},
        {form->BitBtn17, "01 05 00 09 FF 00 5C 38", 51, "Estado: Cfg default Pedido!"},
        {form->BitBtn18, "01 05 00 0A FF 00 AC 38", 52, "Estado: Desconexion forzosa Pedido!"},
        {form->BitBtn15, "01 05 00 0E FF 00 ED F9", 53, "Estado: Restore de contadores pedido!"},
        {form->BitBtn26, "01 05 00 0D FF 00 1D F9", 1, "Estado: Restore de contadores pedido!"},
        {form->BitBtn43, "01 05 00 0F FF 00 BC 39", 1, "Estado: Restore de contadores pedido!"},
    };
    for (const auto& command : commands) {
      command.button->setEnabled(true);  // the trace disables one of each coil pair
      command.button->click();
      QCOMPARE(form.Sent(8), std::string(command.frame));
      QCOMPARE(pendingRequest, command.request);
      QCOMPARE(form->StatusText(), QString(command.status));
    }
    // Every input "Reset" on the sub-pages and on "Estado" sends the input reset.
    for (QPushButton* reset : {form->BitBtn6, form->BitBtn3, form->BitBtn78, form->BitBtn81,
                               form->BitBtn45, form->BitBtn46, form->BitBtn47, form->BitBtn50,
                               form->inputResetButtons[0], form->inputResetButtons[12],
                               form->BitBtn14}) {
      reset->click();
      QCOMPARE(form.Sent(8), std::string("01 05 00 0F FF 00 BC 39"));
    }

    form->RadioGroup2->setItemIndex(1);
    form->Edit3->setText("1");
    form->botonOnButtons[0]->setEnabled(true);
    form->botonOnButtons[0]->click();
    QCOMPARE(form.Sent(10), std::string("00 01 01 05 00 00 FF 00 8C 3A"));
    form->Edit3->setText("258");
    form->BitBtn36->click();
    QCOMPARE(form.Sent(10), std::string("01 02 01 05 00 08 FF 00 0D F8"));
    // The resets and the clock always go to the unit on the cable.
    form->BitBtn46->click();
    QCOMPARE(form.Sent(8), std::string("01 05 00 0F FF 00 BC 39"));
    form->BitBtn26->click();
    QCOMPARE(form.Sent(8), std::string("01 05 00 0D FF 00 1D F9"));
    form->BitBtn30->click();
    const std::string clock = form.Sent(17);
    QCOMPARE(clock.substr(0, 20), std::string("01 10 75 30 00 04 08"));
    QCOMPARE(clock.size(), std::size_t(17 * 3 - 1));
    QCOMPARE(pendingRequest, 4);
    QCOMPARE(form->StatusText(), QString("Estado: escritura de Hora enviada!"));
    // A station number that is no integer stops the command.
    DialogScript dialogs;
    form->Edit3->setText("x");
    form->BitBtn17->click();
    QCOMPARE(dialogs->errors, QStringList({"'x' is not a valid integer value"}));
    QVERIFY(form.NothingSent());
    QCOMPARE(pendingRequest, 4);
  }

  void clockBytesAreUtc() {
    // 2022-11-23 14:05:09 UTC, a Wednesday.
    const auto bytes = ClockBytes(1669212309);
    QCOMPARE(Hex(Bytes(bytes.begin(), bytes.end())), std::string("09 05 0E 17 0B 7A 03 00"));
    // A leap day's last second, the second before 1970 (rounded down, not
    // toward zero), a Sunday past 32-bit time: the calendar is the same on
    // every platform.
    const std::pair<std::int64_t, const char*> cases[] = {
        {1709251199, "3B 3B 17 1D 02 7C 04 00"},
        {-1, "3B 3B 17 1F 0C 45 03 00"},
        {4294967296, "10 1C 06 07 02 CE 00 00"},
        {946771200, "00 00 00 02 01 64 00 00"},
    };
    for (const auto& [seconds, expected] : cases) {
      const auto got = ClockBytes(seconds);
      QCOMPARE(Hex(Bytes(got.begin(), got.end())), std::string(expected));
    }
  }

  void acknowledgementsShowTheirTexts() {
    WiredForm form;
    form->BitBtn17->click();
    form.Sent(8);
    form.Answer(HexBytes("01 05 00 09 FF 00 5C 38"));
    QCOMPARE(form->StatusText(), QString("Estado: Configuracion puesta en default ok!"));
    form->BitBtn36->click();
    form.Sent(8);
    form.Answer(HexBytes("01 05 00 08 FF 00 0D F8"));
    QCOMPARE(form->StatusText(), QString("Estado: Reset Pedido!"));
  }

  void identificationFillsThePanel() {
    WiredForm form;
    form->BitBtn7->click();
    QCOMPARE(form.Sent(8), std::string("01 03 03 E8 00 2D 05 A7"));
    QCOMPARE(pendingRequest, 30);
    QCOMPARE(form->StatusText(), QString("Estado: Pedido de Iendtificación de Hardware!"));
    form.Answer(IdentificationReply(IdentificationPayload(17, HexBytes("30 32 32 32"), 0xFF, 0xFE)));
    QCOMPARE(form->StatusText(), QString("Estado: Identificación de Hardware Recibido OK! "));
    QCOMPARE(form->Label26->text(), QString("Date:\t\t\t2022"));
    QCOMPARE(form->Label27->text(), QString("Hardware:\t\t7"));
    QCOMPARE(form->Label21->text(), QString("Proyecto:\t\t") + projectNames[17]);
    QCOMPARE(form->Label25->text(), QString("Build:\t\t\t65534"));
    QCOMPARE(form->Label22->text(), QString("ModemType:\t\tSIM7600"));
    QCOMPARE(form->Label24->text(), QString("IMEI:\t\t\t861234567890123"));
    QCOMPARE(form->Label23->text(), QString("IMSI:\t\t\t748010123456789"));
    QCOMPARE(form->Label184->text(), QString("MAC:\t\t\t"));
  }

  void identificationEdgeCases() {
    TForm1 form;
    // A slot of 20 non-zero bytes shows all 20 and nothing of the next field.
    Bytes payload = IdentificationPayload(0, Bytes(20, 'A'));
    form.DecodeHardwareId(payload.data());
    QCOMPARE(form.Label26->text(), QString("Date:\t\t\t") + QString(20, 'A'));
    QCOMPARE(form.Label21->text(), QString("Proyecto:\t\t"));
    payload = IdentificationPayload(200);
    form.DecodeHardwareId(payload.data());
    QCOMPARE(form.Label21->text(), QString("Proyecto:\t\t200"));
    for (int name = 1; name < kProjectNameCount; ++name) {
      const QString text = projectNames[name];
      QVERIFY(!text.isEmpty() && text.size() <= 20 && text == text.toUpper());
    }
  }

  void projectDecidesThePageSet() {
    TForm1 form;
    registerMapVariant = 0;
    Bytes payload = IdentificationPayload(35);
    form.DecodeHardwareId(payload.data());
    QCOMPARE(int(registerMapVariant), 8);
    QCOMPARE(form.Label21->text(), QString("Proyecto:\t\t"));
    QVERIFY(!TabShown(form, form.TabSheet11) && !TabShown(form, form.TabModbus));
    QVERIFY(!TabShown(form, form.Digitales2) && TabShown(form, form.VeskAnalog));
    QVERIFY(form.GroupBox2->isHidden() && form.GroupBox3->isHidden());
    for (int n = 0; n < 8; ++n) QVERIFY(form.voltageChecks[n]->isHidden());

    payload = IdentificationPayload(17);
    form.DecodeHardwareId(payload.data());
    QCOMPARE(int(registerMapVariant), 8);  // one way
    QVERIFY(!TabShown(form, form.TabSheet11) && !TabShown(form, form.TabModbus));
    QVERIFY(form.GroupBox2->isHidden() && form.GroupBox3->isHidden());
    QVERIFY(TabShown(form, form.Digitales2) && TabShown(form, form.Analog2));
    for (int n = 0; n < 4; ++n) QVERIFY(!form.currentChecks[n]->isHidden());
    for (int n = 4; n < 8; ++n) QVERIFY(form.currentChecks[n]->isHidden());

    payload = IdentificationPayload(31);
    form.DecodeHardwareId(payload.data());
    QVERIFY(!TabShown(form, form.Digitales2) && !TabShown(form, form.Analog2));
    QVERIFY(!form.Digitales2->isEnabled() && !form.Analog2->isEnabled());
    QVERIFY(TabShown(form, form.VeskAnalog));
    registerMapVariant = 0;
  }

  void identificationThatDidNotGoOutWaitsForNothing() {
    DialogScript dialogs;
    TForm1 form;  // no port open: the write fails
    pendingRequest = 72;
    form.BitBtn7Click();
    QCOMPARE(pendingRequest, 72);
    QCOMPARE(form.StatusText(), QString("Estado:"));
  }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
