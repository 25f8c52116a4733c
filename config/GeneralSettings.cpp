// General settings block, registers 20000-20038 ("TSD configuracion"): identity,
// report period, three servers, switches, satellite parameters; it also carries
// the digital output's mode and pulse width. "Restore" fills the defaults.
#include "app/Convert.h"
#include "app/Defaults.h"
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/Config.h"

namespace {
constexpr std::size_t kAddressSlot = 16;
constexpr std::uint8_t kVpnFlag = 0x80;
constexpr std::uint8_t kDualSimFlags = 0x70;  // writes both SIM bits as well
constexpr std::uint8_t kDualSimBit = 0x40;
constexpr std::uint8_t kSimBFlag = 0x20;
constexpr std::uint8_t kSimAFlag = 0x10;
constexpr std::uint8_t kIdpFlag = 0x08;
}  // namespace

std::array<std::uint8_t, 78> PackTsdConfig(const TsdBlock& block) {
  std::array<std::uint8_t, 78> payload{};
  PutRegister(&payload[0], block.id);
  PutRegister(&payload[2], (block.simA ? 1 : 0) | (block.simB ? 2 : 0));
  PutRegister(&payload[4], block.reportPeriod);
  for (std::size_t i = 0; i < 3; ++i) {
    PutRegister(&payload[6 + 2 * i], block.ports[i]);
    std::copy(block.addressSlots[i].begin(), block.addressSlots[i].end(),
              payload.begin() + long(12 + kAddressSlot * i));
  }
  // Registers 20030-20032 always carry 1, 0 and 5 (the digital output's on time).
  PutRegister(&payload[60], 1);
  PutRegister(&payload[62], 0);
  PutRegister(&payload[64], 5);
  PutRegister(&payload[66], block.pulse ? 1 : 0);
  PutRegister(&payload[68], block.pulseWidth);
  std::uint8_t flags = 0;
  if (block.vpn) flags |= kVpnFlag;
  if (block.dualSim) flags |= kDualSimFlags;
  if (block.simA) flags |= kSimAFlag;
  if (block.simB) flags |= kSimBFlag;
  if (block.idp) flags |= kIdpFlag;
  payload[71] = flags;
  PutRegister(&payload[72], block.idpFail);
  PutRegister(&payload[74], block.idpTime);
  payload[77] = block.debugUsb ? 1 : 0;
  return payload;
}

TsdReading UnpackTsdConfig(ByteSpan payload) {
  const std::uint8_t flags = payload[71];
  TsdReading reading{};
  reading.id = GetRegister(payload, 0);
  reading.reportPeriod = GetRegister(payload, 4);
  for (std::size_t i = 0; i < 3; ++i) {
    reading.ports[i] = GetRegister(payload, 6 + 2 * i);
    reading.addresses[i] = DecodeTextSlot(payload.subspan(12 + kAddressSlot * i, kAddressSlot));
  }
  reading.pulse = payload[67] != 0;
  reading.pulseWidth = GetRegister(payload, 68);
  reading.vpn = flags & kVpnFlag;
  reading.dualSim = flags & kDualSimBit;
  reading.simA = flags & kSimAFlag;
  reading.simB = flags & kSimBFlag;
  reading.idp = flags & kIdpFlag;
  reading.idpFail = GetRegister(payload, 72);
  reading.idpTime = GetRegister(payload, 74);
  reading.debugUsb = payload[77] != 0;
  return reading;
}

// Fields are read in block order, so the first bad one is the one reported.
std::array<std::uint8_t, 78> TForm1::EncodeTsdConfig() {
  TsdBlock block;
  block.id = StrToInt(Edit16->text());
  block.simA = CheckBox43->isChecked();
  block.simB = CheckBox42->isChecked();
  block.reportPeriod = StrToInt(Edit18->text());
  const QLineEdit* ports[3] = {Edit13, Edit14, Edit15};
  for (std::size_t i = 0; i < 3; ++i) block.ports[i] = StrToInt(ports[i]->text());
  const QLineEdit* addresses[3] = {Edit1, Edit5, Edit9};
  for (std::size_t i = 0; i < 3; ++i)
    block.addressSlots[i] = TextSlotFor(addresses[i]->text(), kAddressSlot);
  block.pulse = RadioButton1->isChecked();
  block.pulseWidth = StrToInt(LabeledEdit9->text());
  block.vpn = CheckBox7->isChecked();
  block.dualSim = CheckBox25->isChecked();
  block.idp = CheckBox44->isChecked();
  block.idpFail = StrToInt(IdpFail->text());
  block.idpTime = StrToInt(IdpTime->text());
  block.debugUsb = CheckBox2->isChecked();
  return PackTsdConfig(block);
}

void TForm1::DecodeTsdConfig(const std::uint8_t* payload) {
  const TsdReading reading = UnpackTsdConfig({payload, 78});
  Edit16->setText(QString::number(reading.id));
  Edit18->setText(QString::number(reading.reportPeriod));
  QLineEdit* ports[3] = {Edit13, Edit14, Edit15};
  QLineEdit* addresses[3] = {Edit1, Edit5, Edit9};
  for (std::size_t i = 0; i < 3; ++i) {
    ports[i]->setText(QString::number(reading.ports[i]));
    addresses[i]->setText(QString::fromStdString(reading.addresses[i]));
  }
  ShowPulseMode(reading.pulse);
  LabeledEdit9->setText(QString::number(reading.pulseWidth));
  CheckBox7->setChecked(reading.vpn);
  CheckBox25->setChecked(reading.dualSim);
  CheckBox43->setChecked(reading.simA);
  CheckBox42->setChecked(reading.simB);
  CheckBox44->setChecked(reading.idp);
  IdpFail->setText(QString::number(reading.idpFail));
  IdpTime->setText(QString::number(reading.idpTime));
  CheckBox2->setChecked(reading.debugUsb);
}

namespace {
// The digital output's mode and pulse width ride in this block too, but they
// are the digital output's fields: it is written after this one, so its
// write is the one that stays.
const PageSpec& GeneralPage() {
  static const PageSpec page = [] {
    PageSpec p{"TabSheet7", "GroupBox2", "BitBtn34", "BitBtn35", {}};
    p.fields.push_back({"TSD ID", FieldKind::Text, "Edit16", "id"});
    p.fields.push_back({"Reporte Ain (s)", FieldKind::Text, "Edit18", "periodo"});
    const char* addresses[3] = {"Edit1", "Edit5", "Edit9"};
    const char* ports[3] = {"Edit13", "Edit14", "Edit15"};
    for (int i = 0; i < 3; ++i) {
      const std::string n = std::to_string(i + 1), key = "ip/" + std::to_string(i) + "/";
      p.fields.push_back({"Ip destino " + n, FieldKind::Text, addresses[i], key + "address"});
      p.fields.push_back({"Puerto " + n, FieldKind::Text, ports[i], key + "port"});
    }
    p.fields.push_back({"Usar VPN", FieldKind::Check, "CheckBox7", "vpn"});
    p.fields.push_back({"Dual Sim Habiltado", FieldKind::Check, "CheckBox25", ""});
    p.fields.push_back({"Sim A", FieldKind::Check, "CheckBox43", "simA"});
    p.fields.push_back({"Sim B", FieldKind::Check, "CheckBox42", "simB"});
    p.fields.push_back({"IDP", FieldKind::Check, "CheckBox44", ""});
    p.fields.push_back({"IDP Fail", FieldKind::Text, "IdpFail", ""});
    p.fields.push_back({"IDP Time", FieldKind::Text, "IdpTime", ""});
    p.fields.push_back({"Debug USB", FieldKind::Check, "CheckBox2", ""});
    return p;
  }();
  return page;
}
}  // namespace

constinit const BlockSpec kGeneralBlock{
    "TSD configuracion", Request::ReadGeneral, Request::WriteGeneral, 20000, 39, 20000, 20000,
    "Estado: Lectura TSD Configuracion Pedido!", "Estado: Lectura TSD Configuracion Recibido!",
    "Estado: escritura de TSD configuracion enviada!", "Estado: Escritura CONFIGURACION TSD ok!",
    false, true, true, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeTsdConfig(payload.data()); },
    [](TForm1& f) { return ToVector(f.EncodeTsdConfig()); }, &GeneralPage};

void TForm1::BitBtn34Click() { ReadBlock(kGeneralBlock); }
void TForm1::BitBtn35Click() { WriteBlock(kGeneralBlock); }

// "Restore": factory values into the fields; nothing is sent.
void TForm1::BitBtn39Click() {
  Edit16->setText("1000");
  for (QLineEdit* port : {Edit13, Edit14, Edit15}) port->setText("65129");
  for (QLineEdit* address : {Edit1, Edit5, Edit9}) address->setText(kRestoreServerAddress);
  ShowPulseMode(true);
  LabeledEdit9->setText("2000");
  ComboBox5->setCurrentIndex(3);
  ComboBox6->setCurrentIndex(1);
  ComboBox7->setCurrentIndex(0);
  ComboBox8->setCurrentIndex(0);
  LabeledEdit5->setText("750");
  for (QLineEdit* phone : {LabeledEdit2, LabeledEdit3, LabeledEdit12})
    phone->setText(kDefaultPhoneNumber);
  Edit2->setText("Demo");
}
