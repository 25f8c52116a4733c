// Digital input blocks: inputs 1-8 at register 20105 ("Digitales 1"), inputs
// 9-16 at 20139 ("Digitales 2"); one latch time for each group of eight.
#include "app/Convert.h"
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/Config.h"

namespace {

std::uint8_t Mask(const std::array<bool, 8>& bits) {
  std::uint8_t mask = 0;
  for (int k = 0; k < 8; ++k)
    if (bits[k]) mask |= std::uint8_t(1 << k);
  return mask;
}

std::array<bool, 8> Bits(std::uint8_t mask) {
  std::array<bool, 8> bits{};
  for (int k = 0; k < 8; ++k) bits[k] = (mask >> k) & 1;
  return bits;
}
}  // namespace

std::array<std::uint8_t, 12> PackDigitalInputs(const DigitalInputBlock& block) {
  std::array<std::uint8_t, 12> payload{};
  payload[1] = Mask(block.invert);
  PutRegister(&payload[2], block.latchTime);
  payload[5] = Mask(block.latch);
  payload[7] = Mask(block.latchReset);
  payload[9] = Mask(block.pulse);
  payload[11] = Mask(block.logicInvert);
  return payload;
}

// The high-order byte of every mask register is ignored.
DigitalInputBlock UnpackDigitalInputs(ByteSpan payload) {
  return {Bits(payload[1]), GetRegister(payload, 2), Bits(payload[5]),
          Bits(payload[7]), Bits(payload[9]),        Bits(payload[11])};
}

// group 1: inputs 1-8, group 2: inputs 9-16.
std::array<std::uint8_t, 12> TForm1::EncodeDigitalInputs(int group) {
  const int base = 8 * (group - 1);
  DigitalInputBlock block;
  // One latch time per group: the group's first field is the one sent.
  block.latchTime = StrToInt(lacthTimeEdits[base]->text());
  for (int k = 0; k < 8; ++k) {
    block.invert[k] = invertChecks[base + k]->isChecked();
    block.latch[k] = latchChecks[base + k]->isChecked();
    block.latchReset[k] = latchResetChecks[base + k]->isChecked();
    block.pulse[k] = pulsoCombos[base + k]->currentIndex() != 0;
    block.logicInvert[k] = logicInvertChecks[base + k]->isChecked();
  }
  return PackDigitalInputs(block);
}

void TForm1::DecodeDigitalInputs(int group, const std::uint8_t* payload) {
  const int base = 8 * (group - 1);
  const DigitalInputBlock block = UnpackDigitalInputs({payload, 12});
  for (int k = 0; k < 8; ++k) {
    invertChecks[base + k]->setChecked(block.invert[k]);
    lacthTimeEdits[base + k]->setText(QString::number(block.latchTime));
    latchChecks[base + k]->setChecked(block.latch[k]);
    latchResetChecks[base + k]->setChecked(block.latchReset[k]);
    pulsoCombos[base + k]->setCurrentIndex(block.pulse[k] ? 1 : 0);
    logicInvertChecks[base + k]->setChecked(block.logicInvert[k]);
  }
}

namespace {
// Inputs first..first+7 (from 1); one latch time for the group, its first field's.
PageSpec InputsPage(const char* sheet, const char* read, const char* write, int first) {
  PageSpec page{sheet, nullptr, read, write, {}};
  const std::string latchKey = first == 1 ? "latchTime" : "latchTime2";
  page.fields.push_back({"LatchTime(Sec)", FieldKind::Text, "lacthTime" + std::to_string(first),
                         latchKey});
  const struct {
    const char* caption;
    const char* control;
    const char* key;
  } switches[] = {{"Invertir", "Invert", "inv"},
                  {"Invertir Logica", "logicInvert", "logicInv"},
                  {"Latch", "latch", "latch"},
                  {"Reset Latch Time", "latchReset", "latchReset"}};
  for (int n = first; n < first + 8; ++n) {
    const std::string input = "DI " + std::to_string(n) + " ";
    const std::string key = "cfgDigital/" + std::to_string(n - 1) + "/";
    for (const auto& s : switches)
      page.fields.push_back({input + s.caption, FieldKind::Check, s.control + std::to_string(n),
                             key + s.key});
    page.fields.push_back(
        {input + "Do Reset", FieldKind::Combo, "pulso" + std::to_string(n), key + "pulsos"});
  }
  return page;
}

const PageSpec& Inputs1Page() {
  static const PageSpec page = InputsPage("TabSheet11", "BitBtn31", "BitBtn33", 1);
  return page;
}
const PageSpec& Inputs2Page() {
  static const PageSpec page = InputsPage("Digitales2", "BitBtn32", "BitBtn44", 9);
  return page;
}
}  // namespace

constinit const BlockSpec kDigitalInputs1Block{
    "Digital Input 1-8", Request::ReadDigitalInputs1, Request::WriteDigitalInputs1, 20105, 6,
    20105, 20105, "Estado: Lectura Di 1 PEDIDO!", "Estado: Lectura Configuracion DI 1 Recibido",
    "Estado: escritura configuracion de Di 1 enviada!",
    "Estado: escritura de configuracion Di 1 OK!", true, false, true, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeDigitalInputs(1, payload.data()); },
    [](TForm1& f) { return ToVector(f.EncodeDigitalInputs(1)); }, &Inputs1Page};

constinit const BlockSpec kDigitalInputs2Block{
    "Digital Input 9-16", Request::ReadDigitalInputs2, Request::WriteDigitalInputs2, 20139, 6,
    20139, 20139, "Estado: Lectura Di 2 PEDIDO!", "Estado: Lectura Configuracion DI 2 Recibido",
    "Estado: escritura configuracion de Di 2 enviada!",
    "Estado: escritura de configuracion Di 2 OK!", true, false, true, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeDigitalInputs(2, payload.data()); },
    [](TForm1& f) { return ToVector(f.EncodeDigitalInputs(2)); }, &Inputs2Page};

void TForm1::BitBtn31Click() { ReadBlock(kDigitalInputs1Block); }
void TForm1::BitBtn32Click() { ReadBlock(kDigitalInputs2Block); }
void TForm1::BitBtn33Click() { WriteBlock(kDigitalInputs1Block); }
void TForm1::BitBtn44Click() { WriteBlock(kDigitalInputs2Block); }
