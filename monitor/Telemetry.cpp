// Unsolicited telemetry frames: supply voltage, server and internet link,
// GSM registration and data technology along the top of the window.
#include "app/Log.h"
#include "monitor/Monitor.h"
#include "protocol/Frames.h"
#include "trends/Trends.h"

std::optional<Telemetry> ParseTelemetry(std::span<const std::uint8_t> frame, bool& crcOk) {
  crcOk = false;
  if (frame.size() != kTelemetryLength) return std::nullopt;
  const auto crc = ModbusCrc(frame.first(79));
  crcOk = crc[0] == frame[79] && crc[1] == frame[80];
  return Telemetry{frame[35], frame[36], Word(frame, 75), std::uint8_t(frame[77] & 0x0F),
                   std::uint8_t(frame[78] & 0x0F)};
}

bool IsTelemetryFrame(std::span<const std::uint8_t> frame) {
  bool crcOk = false;
  return ParseTelemetry(frame, crcOk) && crcOk && frame[0] == 0x01 && frame[1] == 0x03 &&
         frame[2] == 0x4C;
}

std::string SupplyText(std::uint16_t millivolts) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d,%03dV", millivolts / 1000, millivolts % 1000);
  return text;
}

std::optional<const char*> DataTechnologyCaption(std::uint8_t code) {
  switch (code) {
    case 0: return "Sin Datos";
    case 1: case 4: return "Datos: 2G";
    case 2: case 3: case 5: case 6: case 7: return "Datos: 3G";
    case 8: return "Datos: 4G";
    default: return std::nullopt;
  }
}

void TForm1::DecodeTelemetry(const std::uint8_t* bytes, int count) {
  bool crcOk = false;
  const auto telemetry = ParseTelemetry({bytes, std::size_t(count)}, crcOk);
  if (!telemetry) return;
  if (!crcOk) {
    InterpretTraceLine("Chk Incorrecto");
    return;
  }
  LabeledEdit13->setText(QString::fromStdString(SupplyText(telemetry->supplyMillivolts)));
  trends->Supply(telemetry->supplyMillivolts, TrendTime());

  if (telemetry->server == 1) {
    Panel5->setCaption("Conectado Servidor");
    Panel5->setColor(clGreen);
    Panel5->setFontColor(clWhite);
  } else if (telemetry->internet == 1) {
    Panel5->setCaption("Conectado Internet");
    Panel5->setColor(clLime);
    Panel5->setFontColor(clWhite);
  } else {
    Panel5->setCaption("Desconectado");
    Panel5->setColor(clRed);
    Panel5->setFontColor(clBlack);
  }

  Panel12->setCaption("GSM");
  Panel12->setColor(telemetry->gsm != 0 ? clGreen : clRedOrange);
  Panel12->setFontColor(clWhite);

  if (const auto caption = DataTechnologyCaption(telemetry->dataTechnology)) {
    Panel13->setCaption(*caption);
    Panel13->setColor(telemetry->dataTechnology == 0 ? clRedOrange : clGreen);
    Panel13->setFontColor(clWhite);
  }
}
