// Digital input blocks: inputs 1-8 at register 20105 ("Digitales 1"), inputs
// 9-16 at 20139 ("Digitales 2"); one latch time for each group of eight.
#include "app/Convert.h"
#include "app/Log.h"
#include "config/Config.h"

namespace {
constexpr std::uint16_t kGroupRegister[2] = {20105, 20139};
constexpr std::uint8_t kInputBlockCount = 6;

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

void TForm1::ReadDigitalInputs(int group, int request, const char* status) {
  SendFrame(BuildReadRequest(kSlave, kReadHolding, kGroupRegister[group - 1], kInputBlockCount),
            request, status);
}

void TForm1::WriteDigitalInputs(int group, int request, const char* status) {
  SendFrame(BuildWriteRequest(kSlave, kWriteMultiple, kGroupRegister[group - 1],
                              EncodeDigitalInputs(group)),
            request, status);
}

void TForm1::BitBtn31Click() { ReadDigitalInputs(1, 70, "Estado: Lectura Di 1 PEDIDO!"); }
void TForm1::BitBtn32Click() { ReadDigitalInputs(2, 69, "Estado: Lectura Di 2 PEDIDO!"); }
void TForm1::BitBtn33Click() {
  WriteDigitalInputs(1, 71, "Estado: escritura configuracion de Di 1 enviada!");
}
void TForm1::BitBtn44Click() {
  WriteDigitalInputs(2, 74, "Estado: escritura configuracion de Di 2 enviada!");
}
