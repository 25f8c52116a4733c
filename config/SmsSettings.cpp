// SMS block, registers 20060-20094 ("SMS configuracion"): three numbers with
// their alarm switch, the unit's SMS identity and the inputs that raise alarms.
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/Config.h"

namespace {
constexpr std::size_t kPhoneSlot = 14;
constexpr std::size_t kIdSlot = 20;
}  // namespace

std::array<std::uint8_t, 70> PackSmsConfig(const SmsBlock& block) {
  std::array<std::uint8_t, 70> payload{};
  for (std::size_t i = 0; i < 3; ++i) {
    std::copy(block.phoneSlots[i].begin(), block.phoneSlots[i].end(),
              payload.begin() + long(kPhoneSlot * i));
    payload[43 + 2 * i] = block.alarm[i] ? 1 : 0;
  }
  std::copy(block.idSlot.begin(), block.idSlot.end(), payload.begin() + 48);
  for (int i = 0; i < 8; ++i)
    if (block.digitalAlarm[i]) payload[69] |= std::uint8_t(1 << i);
  for (int i = 0; i < 4; ++i) {
    if (block.analogLow[i]) payload[68] |= std::uint8_t(1 << i);
    if (block.analogHigh[i]) payload[68] |= std::uint8_t(1 << (i + 4));
  }
  return payload;
}

SmsReading UnpackSmsConfig(ByteSpan payload) {
  SmsReading reading{};
  for (std::size_t i = 0; i < 3; ++i) {
    reading.phones[i] = DecodeTextSlot(payload.subspan(kPhoneSlot * i, kPhoneSlot));
    reading.alarm[i] = payload[43 + 2 * i] != 0;  // the register's low-order byte
  }
  reading.id = DecodeTextSlot(payload.subspan(48, kIdSlot));
  for (int i = 0; i < 8; ++i) reading.digitalAlarm[i] = (payload[69] >> i) & 1;
  for (int i = 0; i < 4; ++i) {
    reading.analogLow[i] = (payload[68] >> i) & 1;
    reading.analogHigh[i] = (payload[68] >> (i + 4)) & 1;
  }
  return reading;
}

std::array<std::uint8_t, 70> TForm1::EncodeSmsConfig() {
  SmsBlock block;
  const QLineEdit* phones[3] = {LabeledEdit2, LabeledEdit3, LabeledEdit12};
  const QCheckBox* alarms[3] = {CheckBox1, CheckBox3, CheckBox4};
  for (std::size_t i = 0; i < 3; ++i) {
    block.phoneSlots[i] = TextSlotFor(phones[i]->text(), kPhoneSlot);
    block.alarm[i] = alarms[i]->isChecked();
  }
  block.idSlot = TextSlotFor(Edit2->text(), kIdSlot);
  for (std::size_t i = 0; i < 8; ++i) block.digitalAlarm[i] = digitalChecks[i]->isChecked();
  for (std::size_t i = 0; i < 4; ++i) {
    block.analogLow[i] = analogLowChecks[i]->isChecked();
    block.analogHigh[i] = analogHiChecks[i]->isChecked();
  }
  return PackSmsConfig(block);
}

void TForm1::DecodeSmsConfig(const std::uint8_t* payload) {
  const SmsReading reading = UnpackSmsConfig({payload, 70});
  QLineEdit* phones[3] = {LabeledEdit2, LabeledEdit3, LabeledEdit12};
  QCheckBox* alarms[3] = {CheckBox1, CheckBox3, CheckBox4};
  for (std::size_t i = 0; i < 3; ++i) {
    phones[i]->setText(QString::fromStdString(reading.phones[i]));
    alarms[i]->setChecked(reading.alarm[i]);
  }
  Edit2->setText(QString::fromStdString(reading.id));
  for (std::size_t i = 0; i < 8; ++i) digitalChecks[i]->setChecked(reading.digitalAlarm[i]);
  for (std::size_t i = 0; i < 4; ++i) {
    analogLowChecks[i]->setChecked(reading.analogLow[i]);
    analogHiChecks[i]->setChecked(reading.analogHigh[i]);
  }
}

namespace {
const PageSpec& SmsPage() {
  static const PageSpec page = [] {
    PageSpec p{"TabSheet7", "GroupBox3", "BitBtn37", "BitBtn38", {}};
    const char* phones[3] = {"LabeledEdit2", "LabeledEdit3", "LabeledEdit12"};
    const char* alarms[3] = {"CheckBox1", "CheckBox3", "CheckBox4"};
    for (int i = 0; i < 3; ++i) {
      const std::string n = std::to_string(i + 1), key = "sms/" + std::to_string(i) + "/";
      p.fields.push_back({"Telefono SMS " + n, FieldKind::Text, phones[i], key + "number"});
      p.fields.push_back({"ALARMA " + n, FieldKind::Check, alarms[i], key + "alarm"});
    }
    p.fields.push_back({"SMS ID", FieldKind::Text, "Edit2", "smsId"});
    for (int i = 0; i < 8; ++i)
      p.fields.push_back({"Alarma Entrada Digital " + std::to_string(i + 1), FieldKind::Check,
                          "DigitalCheck" + std::to_string(i + 1),
                          "digitalSmsAlarms/" + std::to_string(i) + "/digital"});
    for (int i = 0; i < 4; ++i) {
      const std::string n = std::to_string(i + 1), key = "analogSmsAlarms/" + std::to_string(i);
      p.fields.push_back({"Alarma Entrada Aanlogica Bajo " + n, FieldKind::Check,
                          "AnalogLowCheck" + n, key + "/anaLow"});
      p.fields.push_back({"Alarma Entrada Aanlogica Alto " + n, FieldKind::Check,
                          "AnalogHiCheck" + n, key + "/anaHi"});
    }
    return p;
  }();
  return page;
}
}  // namespace

constinit const BlockSpec kSmsBlock{
    "SMS configuracion", Request::ReadSms, Request::WriteSms, 20060, 35, 20060, 20060,
    "Estado: Lectura SMS Configuracion Pedido!", "Estado: Lectura SMS Configuracion Recibido!",
    "Estado: Escrituta SMS Configuracion enviado!", "Estado: Encritura SMS Configuracion OK!",
    false, false, true, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeSmsConfig(payload.data()); },
    [](TForm1& f) { return ToVector(f.EncodeSmsConfig()); }, &SmsPage};

void TForm1::BitBtn37Click() { ReadBlock(kSmsBlock); }
void TForm1::BitBtn38Click() { WriteBlock(kSmsBlock); }
