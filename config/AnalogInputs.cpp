// Analog input blocks: inputs 1-4 at register 20119 ("Analogicas 1"), inputs
// 5-8 at 20153 ("Analogicas 2"); zero, span, alarms, hysteresis and type.
#include "app/Convert.h"
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/Config.h"
#include "trends/Trends.h"

namespace {
constexpr int kCurrentBit = 0x8000;
}  // namespace

std::array<std::uint8_t, 40> PackAnalogInputs(const AnalogInputBlock& block) {
  std::array<std::uint8_t, 40> payload{};
  for (int k = 0; k < 4; ++k) {
    PutRegister(&payload[2 * k], block.zero[k]);
    PutRegister(&payload[8 + 2 * k], block.span[k]);
    PutRegister(&payload[16 + 2 * k], block.alarmLow[k]);
    PutRegister(&payload[24 + 2 * k], block.alarmHigh[k]);
    // Not masked: a hysteresis of 32768 or more sets the type bit by itself.
    PutRegister(&payload[32 + 2 * k], block.hysteresis[k] | (block.current[k] ? kCurrentBit : 0));
  }
  return payload;
}

AnalogInputBlock UnpackAnalogInputs(ByteSpan payload) {
  AnalogInputBlock block;
  for (std::size_t k = 0; k < 4; ++k) {
    block.zero[k] = GetRegister(payload, 2 * k);
    block.span[k] = GetRegister(payload, 8 + 2 * k);
    block.alarmLow[k] = GetRegister(payload, 16 + 2 * k);
    block.alarmHigh[k] = GetRegister(payload, 24 + 2 * k);
    const std::uint16_t his = GetRegister(payload, 32 + 2 * k);
    block.hysteresis[k] = his & 0x7FFF;
    block.current[k] = (his & kCurrentBit) != 0;
  }
  return block;
}

// group 1: inputs 1-4, group 2: inputs 5-8. Fields are read in block order,
// so the first bad one in that order is the one reported.
std::array<std::uint8_t, 40> TForm1::EncodeAnalogInputs(int group) {
  const int base = 4 * (group - 1);
  AnalogInputBlock block;
  for (auto [edits, values] : {std::pair{&ceroEdits, &block.zero}, std::pair{&spanEdits, &block.span},
                               std::pair{&alLowEdits, &block.alarmLow},
                               std::pair{&alHiEdits, &block.alarmHigh},
                               std::pair{&aiHisEdits, &block.hysteresis}})
    for (int k = 0; k < 4; ++k) (*values)[k] = StrToInt((*edits)[base + k]->text());
  for (int k = 0; k < 4; ++k) block.current[k] = currentChecks[base + k]->isChecked();
  return PackAnalogInputs(block);
}

void TForm1::DecodeAnalogInputs(int group, const std::uint8_t* payload) {
  const int base = 4 * (group - 1);
  const AnalogInputBlock block = UnpackAnalogInputs({payload, 40});
  for (int k = 0; k < 4; ++k) {
    ceroEdits[base + k]->setText(QString::number(block.zero[k]));
    spanEdits[base + k]->setText(QString::number(block.span[k]));
    alLowEdits[base + k]->setText(QString::number(block.alarmLow[k]));
    alHiEdits[base + k]->setText(QString::number(block.alarmHigh[k]));
    aiHisEdits[base + k]->setText(QString::number(block.hysteresis[k]));
    (block.current[k] ? currentChecks : voltageChecks)[base + k]->setChecked(true);
    trends->Limits(base + k, block.alarmLow[k], block.alarmHigh[k]);
  }
}

namespace {
PageSpec AnalogPage(const char* sheet, const char* read, const char* write, int first) {
  PageSpec page{sheet, nullptr, read, write, {}};
  const struct {
    const char* caption;
    const char* control;
    const char* key;
  } edits[] = {{"Cero", "Cero", "cero"},
               {"Span", "Span", "span"},
               {"Alarma Bajo", "AlLow", "alLow"},
               {"Alarma Alto", "AlHi", "alHi"},
               {"Histeresis", "AiHis", "alHist"}};
  for (int n = first; n < first + 4; ++n) {
    const std::string input = "Entrada Analogica " + std::to_string(n) + " ";
    const std::string key = "cfgAnalog/" + std::to_string(n - 1) + "/";
    for (const auto& e : edits)
      page.fields.push_back(
          {input + e.caption, FieldKind::Text, e.control + std::to_string(n), key + e.key});
    // Profiles do not carry the input's kind.
    page.fields.push_back({input + "Tension/Corriente", FieldKind::Choice,
                           "currentCheck" + std::to_string(n), "", true,
                           "voltageCheck" + std::to_string(n)});
  }
  return page;
}

const PageSpec& Analog1Page() {
  static const PageSpec page = AnalogPage("VeskAnalog", "BitBtn86", "BitBtn87", 1);
  return page;
}
const PageSpec& Analog2Page() {
  static const PageSpec page = AnalogPage("Analog2", "BitBtn51", "BitBtn52", 5);
  return page;
}
}  // namespace

// A project-35 unit answers the read of inputs 1-4 at register 20000. The
// analog writes go out without the purge the other requests make.
constinit const BlockSpec kAnalogInputs1Block{
    "Analogicas 1", Request::ReadAnalogInputs1, Request::WriteAnalogInputs1, 20119, 20, 20000,
    20119, "Estado: Lectura de configuracion Ai 1 PEDIDO!", "Estado: Configuracion Ai 1 recibida",
    "Estado: escritura de Ai configuracion enviada!", "Estado: escritura Ai 1 cfg OK!", true,
    false, false, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeAnalogInputs(1, payload.data()); },
    [](TForm1& f) { return ToVector(f.EncodeAnalogInputs(1)); }, &Analog1Page};

constinit const BlockSpec kAnalogInputs2Block{
    "Analogicas 2", Request::ReadAnalogInputs2, Request::WriteAnalogInputs2, 20153, 20, 20153,
    20153, "Estado: Lectura de configuracion Ai 2 PEDIDO!", "Estado: Configuracion Ai 2 recibida",
    "Estado: escritura de configuracion Ai 2 enviada!", "Estado: escritura Ai 2 cfg OK!", true,
    false, false, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeAnalogInputs(2, payload.data()); },
    [](TForm1& f) { return ToVector(f.EncodeAnalogInputs(2)); }, &Analog2Page};

void TForm1::BitBtn86Click() { ReadBlock(kAnalogInputs1Block); }
void TForm1::BitBtn51Click() { ReadBlock(kAnalogInputs2Block); }
void TForm1::BitBtn87Click() { WriteBlock(kAnalogInputs1Block); }
void TForm1::BitBtn52Click() { WriteBlock(kAnalogInputs2Block); }
