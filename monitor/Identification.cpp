// Identifying the unit: its identification block fills the "Identificacion
// Hardware" panel, and its firmware project decides which pages it has.
#include "app/Log.h"
#include "config/Config.h"
#include "monitor/Monitor.h"

std::uint8_t registerMapVariant = 0;

const char* const projectNames[kProjectNameCount] = {
    "",           "VESK",         "TSD-GSM",       "TSD-3G",         "TSD-4G",
    "TSD-IDP",    "RTU-AGUA",     "RTU-ENERGIA",   "RTU-GAS",        "TELEMANDO",
    "TELEMEDIDA", "REPETIDOR",    "CONCENTRADOR",  "GATEWAY-MODBUS", "GATEWAY-IEC101",
    "GATEWAY-IEC104", "GATEWAY-DNP3", "BOMBEO",    "POZO",           "TANQUE",
    "CAUDALIMETRO", "RECLOSER",   "SECCIONADOR",   "SUBESTACION",    "ALUMBRADO",
    "RIEGO",      "METEO",        "NIVEL-RIO",     "PRESION",        "ALARMA-SMS",
    "VESK-LITE",  "VESK-MINI",    "DATALOGGER",    "SATELITAL",      "VESK-PLUS"};

namespace {
constexpr std::uint16_t kIdentificationRegister = 1000;
constexpr std::uint8_t kIdentificationCount = 45;
constexpr int kVariantProject = 35;
constexpr int kReducedProject = 31;
}  // namespace

QString ProjectName(int project) {
  if (project == kVariantProject) return QString();
  if (project >= 0 && project < kProjectNameCount) return projectNames[project];
  return QString::number(project);
}

HardwareId UnpackHardwareId(std::span<const std::uint8_t> payload) {
  return {DecodeTextSlot(payload.subspan(4, 20)),  payload[25], payload[27],
          (payload[28] << 8) | payload[29],         DecodeTextSlot(payload.subspan(30, 20)),
          DecodeTextSlot(payload.subspan(50, 20)), DecodeTextSlot(payload.subspan(70, 20))};
}

void TForm1::BitBtn7Click() {
  // Like every sender, only a frame that went out waits for its reply.
  SendFrame(BuildReadRequest(kSlave, kReadHolding, kIdentificationRegister, kIdentificationCount),
            30, "Estado: Pedido de Iendtificación de Hardware!");
}

void TForm1::DecodeHardwareId(const std::uint8_t* payload) {
  const HardwareId id = UnpackHardwareId({payload, 90});
  Label26->setText("Date:\t\t\t" + QString::fromUtf8(id.date));
  Label27->setText("Hardware:\t\t" + QString::number(id.hardware));
  Label21->setText("Proyecto:\t\t" + ProjectName(id.project));
  ApplyPageSet(id.project);
  Label25->setText("Build:\t\t\t" + QString::number(id.build));
  Label22->setText("ModemType:\t\t" + FromCp1252(id.modemType));
  Label24->setText("IMEI:\t\t\t" + FromCp1252(id.imei));
  Label23->setText("IMSI:\t\t\t" + FromCp1252(id.imsi));
  // The 45-register read ends before the MAC slot.
  Label184->setText("MAC:\t\t\t");
  InventoryIdentified(id);
}

// Each branch only does what it lists; nothing an earlier identification did
// is undone.
void TForm1::ApplyPageSet(int project) {
  const auto showTab = [this](QWidget* sheet, bool shown) {
    PageControl2->setTabVisible(PageControl2->indexOf(sheet), shown);
  };
  if (project == kReducedProject) {
    for (QWidget* sheet : {Digitales2, Analog2}) {
      showTab(sheet, false);
      sheet->setEnabled(false);
    }
  } else if (project == kVariantProject) {
    registerMapVariant = 8;
    for (QWidget* sheet : {TabSheet11, TabModbus, Digitales2}) showTab(sheet, false);
    showTab(VeskAnalog, true);
    VeskAnalog->setEnabled(true);
    GroupBox2->setVisible(false);
    GroupBox3->setVisible(false);
    for (int n = 0; n < 8; ++n) {
      voltageChecks[n]->setVisible(false);
      currentChecks[n]->setVisible(false);
    }
  } else {
    for (QWidget* sheet : {Digitales2, Analog2}) {
      showTab(sheet, true);
      sheet->setEnabled(true);
    }
    for (int n = 0; n < 4; ++n) {
      voltageChecks[n]->setVisible(true);
      currentChecks[n]->setVisible(true);
    }
  }
}
