// Digital output block, registers 20032-20034: on time, "Pulso"/"Latch" mode
// and pulse width, on the "Digitales 1" sub-page.
#include "app/Convert.h"
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/Config.h"

namespace {
DigitalOutputBlock PageDigitalOutput(TForm1& f) {
  // The pulse width goes out also while "Latch" keeps its field disabled.
  return {StrToInt(f.LabeledEdit38->text()), f.RadioButton1->isChecked(),
          StrToInt(f.LabeledEdit9->text())};
}
const PageSpec& DigitalOutputPage() {
  static const PageSpec page{
      "TabSheet11", nullptr, "BitBtn4", "BitBtn5",
      {{"On Time", FieldKind::Text, "LabeledEdit38", "", true},
       // Not in profiles: the general block's write overwrites what a profile would say.
       {"Pulso/Latch", FieldKind::Choice, "RadioButton1", "", true, "RadioButton3"},
       {"Ancho de pulso", FieldKind::Text, "LabeledEdit9", "", true}}};
  return page;
}
}  // namespace

constinit const BlockSpec kDigitalOutputBlock{
    "Digital Output", Request::ReadDigitalOutput, Request::WriteDigitalOutput, 20032, 3, 20032,
    20032, "Estado: Lectura Dout PEDIDO!", "Estado: Lectura Configuracion DOut Recibido!",
    "Estado: escritura de Di configuracion enviada!", "Estado: escritura de Do configuracion OK!",
    true, false, true, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeDigitalOutput(payload.data()); },
    [](TForm1& f) { return ToVector(PackDigitalOutput(PageDigitalOutput(f))); },
    &DigitalOutputPage};

std::array<std::uint8_t, 6> PackDigitalOutput(const DigitalOutputBlock& block) {
  std::array<std::uint8_t, 6> payload{};
  PutRegister(&payload[0], block.onTime);
  PutRegister(&payload[2], block.pulse ? 1 : 0);
  PutRegister(&payload[4], block.pulseWidth);
  return payload;
}

DigitalOutputBlock UnpackDigitalOutput(ByteSpan payload) {
  return {GetRegister(payload, 0), GetRegister(payload, 2) != 0, GetRegister(payload, 4)};
}

void TForm1::BitBtn4Click() { ReadBlock(kDigitalOutputBlock); }
void TForm1::BitBtn5Click() { WriteBlock(kDigitalOutputBlock); }

void TForm1::DecodeDigitalOutput(const std::uint8_t* payload) {
  const DigitalOutputBlock block = UnpackDigitalOutput({payload, 6});
  LabeledEdit38->setText(QString::number(block.onTime));
  ShowPulseMode(block.pulse);
  LabeledEdit9->setText(QString::number(block.pulseWidth));
}

// Checking a mode from code acts as a click on it.
void TForm1::ShowPulseMode(bool pulse) {
  if (pulse) {
    RadioButton1->setChecked(true);
    RadioButton1Click();
  } else {
    RadioButton3->setChecked(true);
    RadioButton3Click();
  }
}

void TForm1::RadioButton1Click() { LabeledEdit9->setEnabled(true); }

void TForm1::RadioButton1MouseUp() { LabeledEdit9->setEnabled(RadioButton1->isChecked()); }

void TForm1::RadioButton3Click() { LabeledEdit9->setEnabled(false); }
