// The trace interpreter: consoles, live states of the "Estado" page, lamps,
// the unit's 8-bit text; and the telemetry indicators.
#include <QtTest>

#include "app/Log.h"
#include "link/Link.h"
#include "monitor/Monitor.h"
#include "protocol/Frames.h"
#include "tests/Harness.h"

namespace {
Bytes TelemetryFrame(std::uint8_t gsm, std::uint8_t technology, std::uint16_t millivolts,
                std::uint8_t internet, std::uint8_t server) {
  Bytes frame(79, 0);
  frame[0] = 0x01;
  frame[1] = 0x03;
  frame[2] = 0x4C;
  frame[35] = gsm;
  frame[36] = technology;
  frame[75] = std::uint8_t(millivolts >> 8);
  frame[76] = std::uint8_t(millivolts);
  frame[77] = internet;
  frame[78] = server;
  return FrameWithCrc(frame);
}
}  // namespace

class TraceTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> form;

 private slots:
  void init() {
    form = std::make_unique<TForm1>();
    rxLampFlag = txLampFlag = 0;
  }
  void cleanup() { form.reset(); }

  void windows1252Text() {
    QCOMPARE(FromCp1252("\x80\xD1\xF1\x81\x9F"), QString::fromUtf16(u"€Ññ\u0081Ÿ"));
    QCOMPARE(ToCp1252(QString::fromUtf16(u"Señal €")), std::string("Se\xF1" "al \x80"));
  }

  void signalLineIsShortenedAndShown() {
    form->InterpretTraceLine("GSM SE\xD1" "AL: -71 dBm");
    QCOMPARE(form->Label145->text(), QString("Señal: -71db"));
    QCOMPARE(Lines(form->Memo1), QStringList({"GSM SEÑAL: -71db"}));
    form->InterpretTraceLine("SE\xD1" "AL");  // nothing after the marker
    QCOMPARE(form->Label145->text(), QString("Señal: db"));
    std::string full(2046, 'x');  // the rewrite may lengthen a full line
    full.replace(0, 7, "SE\xD1" "AL: 9");
    form->InterpretTraceLine(full);
    QVERIFY(form->Label145->text().startsWith("Señal: 9"));
  }

  void consoleRoutingAndLamps() {
    form->InterpretTraceLine(">Serial RX 01 02");
    QCOMPARE(Lines(form->Memo1), QStringList({">Serial RX 01 02"}));
    QCOMPARE(Lines(form->Memo2), QStringList({">Serial RX 01 02"}));
    QCOMPARE(int(rxLampFlag), 1);
    QCOMPARE(int(txLampFlag), 0);
    form->InterpretTraceLine("12 bytes en buffer");
    QCOMPARE(int(txLampFlag), 1);

    form->InterpretTraceLine(">serial: abc");
    QCOMPARE(Lines(form->Memo2).last(), QString(">serial: abc"));
    form->Serie->setChecked(false);
    form->InterpretTraceLine(">serial: def");
    QCOMPARE(Lines(form->Memo1).last(), QString(">serial: def"));
    form->InterpretTraceLine(">IEC 101 - x");  // its filter is off
    QCOMPARE(Lines(form->Memo1).last(), QString(">IEC 101 - x"));
    form->IEC_101->setChecked(true);
    form->InterpretTraceLine(">IEC 101 - y");
    for (const char* line : {">MODBUS TCP q", ">IEC 104 - z", ">DNP w"})
      form->InterpretTraceLine(line);
    QCOMPARE(Lines(form->Memo2).mid(2), QStringList({">IEC 101 - y", ">MODBUS TCP q",
                                                     ">IEC 104 - z", ">DNP w"}));
  }

  void coilsAndDigitalInputs() {
    form->InterpretTraceLine(">> DO -1 -0");
    QCOMPARE(form->coilLabels[0]->text(), QString("ON"));
    QCOMPARE(form->coilPanels[0]->color(), clGreen);
    QVERIFY(!form->botonOnButtons[0]->isEnabled() && form->botonOffButtons[0]->isEnabled());
    QCOMPARE(form->coilLabels[1]->text(), QString("OFF"));
    QCOMPARE(form->coilPanels[1]->color(), clRedOrange);
    QVERIFY(form->botonOnButtons[1]->isEnabled() && !form->botonOffButtons[1]->isEnabled());

    form->InterpretTraceLine(">> DI Status 2 -1 -0 -1 -0 -1 -0 -1 -0");
    for (int i = 0; i < 8; ++i) {
      const bool on = i % 2 == 0;
      QCOMPARE(form->diStatusLabels[8 + i]->text(), QString(on ? "ON" : "OFF"));
      QCOMPARE(form->digtalPanels[8 + i]->color(), on ? clGreen : clRedOrange);
    }
    QCOMPARE(form->diStatusLabels[0]->text(), QString("ON"));  // group 1 untouched
    form->InterpretTraceLine("DI Status 1 -0 -0");  // no ">>": not a state line
    QCOMPARE(form->diStatusLabels[0]->text(), QString("ON"));
  }

  void analogValuesAndAlarms() {
    form->currentChecks[0]->setChecked(true);
    form->InterpretTraceLine(
        ">> ADC 1 [-1825 -200 -3 -40] [-12 -34 -56 -78] [-1 -0 -0 -1] [-1 -0 -0 -0] [-0 -0 -1 -1]");
    QCOMPARE(form->currentLabels[0]->text(), QString("1825mA"));
    QCOMPARE(form->currentLabels[1]->text(), QString("200mV"));
    QCOMPARE(form->anaValueLabels[3]->text(), QString("78"));
    // Alarm sums: input 1 flags groups 2 and 3 (5), input 3 group 4 (4), input 4 groups 2 and 4 (6).
    QCOMPARE(form->alarmaLabels[0]->text(), QString("Ausente"));
    QCOMPARE(form->analogPanels[0]->color(), clRedOrange);
    QCOMPARE(form->alarmaLabels[1]->text(), QString("Normal"));
    QCOMPARE(form->analogPanels[1]->color(), clGreen);
    QCOMPARE(form->alarmaLabels[2]->text(), QString("Alto"));
    QCOMPARE(form->alarmaLabels[3]->text(), QString("Normal"));  // sum 6: unchanged

    // Groups 2 and 3 flagging input 5: "ADC 2" leaves a sum of 5 as it was.
    form->InterpretTraceLine(">> ADC 2 [-1 -2 -3 -4] [-5 -6 -7 -8] [-1 -0 -0 -0] [-1 -0 -0 -0]");
    QCOMPARE(form->alarmaLabels[4]->text(), QString("Normal"));
    QCOMPARE(form->currentLabels[4]->text(), QString("1mV"));  // input 5's own type
    QCOMPARE(form->currentLabels[5]->text(), QString("2mV"));
    form->InterpretTraceLine(">> ADC 2 [-1 -2 -3 -4] [-5 -6 -7 -8] [-1 -0 -0 -0]");
    QCOMPARE(form->alarmaLabels[4]->text(), QString("Ausente"));

    // Only two groups: values set, every alarm back to "Normal".
    form->InterpretTraceLine(">> ADC 1 [-9 -9 -9 -9] [-1 -2 -3 -4]");
    for (int j = 0; j < 4; ++j) QCOMPARE(form->alarmaLabels[j]->text(), QString("Normal"));
    QCOMPARE(form->anaValueLabels[2]->text(), QString("3"));
  }

  void ownTextsAndDownloadLine() {
    form->InterpretTraceLine("Chk Incorrecto");
    form->InterpretTraceLine("unit: Iniciando Download now");
    QCOMPARE(Lines(form->Memo1), QStringList({"Chk Incorrecto", "Iniciando Download"}));
    QCOMPARE(Lines(form->Memo3), QStringList({"unit: Iniciando Download now"}));
    form->BitBtn41->click();
    QVERIFY(Lines(form->Memo1).isEmpty() && Lines(form->Memo3).isEmpty());
  }

  void telemetryIndicators() {
    const Bytes internet = TelemetryFrame(1, 4, 12345, 0x11, 0x10);
    form->DecodeTelemetry(internet.data(), int(internet.size()));
    QCOMPARE(form->Panel5->caption(), QString("Conectado Internet"));
    QCOMPARE(form->Panel5->color(), clLime);
    QCOMPARE(form->LabeledEdit13->text(), QString("12,345V"));
    QCOMPARE(form->Panel13->caption(), QString("Datos: 2G"));
    QCOMPARE(form->Panel12->color(), clGreen);

    const Bytes server = TelemetryFrame(0, 9, 5000, 0x01, 0x01);
    form->DecodeTelemetry(server.data(), int(server.size()));
    QCOMPARE(form->Panel5->caption(), QString("Conectado Servidor"));
    QCOMPARE(form->Panel13->caption(), QString("Datos: 2G"));  // code 9: unchanged
    QCOMPARE(form->Panel12->color(), clRedOrange);
    QCOMPARE(form->LabeledEdit13->text(), QString("05,000V"));

    const Bytes none = TelemetryFrame(1, 0, 0, 0, 0);
    form->DecodeTelemetry(none.data(), int(none.size()));
    QCOMPARE(form->Panel5->caption(), QString("Desconectado"));
    QCOMPARE(form->Panel5->color(), clRed);
    QCOMPARE(form->Panel13->caption(), QString("Sin Datos"));

    Bytes longer = internet;
    longer.push_back(0);
    form->DecodeTelemetry(longer.data(), int(longer.size()));
    form->DecodeTelemetry(internet.data(), 80);
    QCOMPARE(form->Panel5->caption(), QString("Desconectado"));
    QVERIFY(Lines(form->Memo1).isEmpty());

    Bytes damaged = internet;
    damaged.back() ^= 0x01;
    form->DecodeTelemetry(damaged.data(), int(damaged.size()));
    QCOMPARE(Lines(form->Memo1), QStringList({"Chk Incorrecto"}));
    QCOMPARE(form->Panel5->caption(), QString("Desconectado"));
  }

  void telemetryAfterSilenceRecoloursOnlyTheServerPanel() {
    form->ShowDisconnected();
    const Bytes frame = TelemetryFrame(1, 8, 12000, 0, 1);
    form->DecodeTelemetry(frame.data(), int(frame.size()));
    QCOMPARE(form->Panel5->caption(), QString("Conectado Servidor"));
    QCOMPARE(form->Panel36->caption(), QString("Equipo desconectado"));
    QCOMPARE(form->Panel13->caption(), QString("Datos: 4G"));
  }
};

QTEST_MAIN(TraceTest)
#include "trace_test.moc"
