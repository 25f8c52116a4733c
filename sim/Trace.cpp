#include "sim/Trace.h"

#include <cstdio>
#include <string_view>

namespace sim {
namespace {

std::string Format(const char* format, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// " -1 -0 ..." : each field a "-" and the state digit.
std::string Flags(std::uint8_t states, int count) {
  std::string fields;
  for (int k = 0; k < count; ++k) fields += (states >> k) & 1 ? " -1" : " -0";
  return fields;
}

}  // namespace

std::string SignalLine(int dbm) { return Format("GSM %s: %d dBm", kSignalMarker, dbm); }

std::string CoilLine(bool relay1, bool relay2) {
  return ">> DO" + Flags(static_cast<std::uint8_t>((relay1 ? 1 : 0) | (relay2 ? 2 : 0)), 2);
}

std::string InputLine(int group, std::uint8_t states) {
  return Format(">> DI Status %d", group) + Flags(states, 8);
}

std::string AnalogLine(int group, const std::array<AnalogReading, 4>& inputs) {
  // Five bracketed groups of four "-" fields: measurement, value, and the
  // absent, low and high alarm flags. A negative number shows as "--5".
  std::string line = Format(">> ADC %d", group);
  const char* names[] = {" Med[", " Val[", " Aus[", " Baj[", " Alt["};
  for (int g = 0; g < 5; ++g) {
    line += names[g];
    for (int j = 0; j < 4; ++j) {
      const AnalogReading& in = inputs[j];
      if (j > 0) line += ' ';
      switch (g) {
        case 0:
          line += Format("-%d", in.measured);
          break;
        case 1:
          line += Format("-%d", in.value);
          break;
        case 2:
          line += in.absent ? "-1" : "-0";
          break;
        case 3:
          line += in.low ? "-1" : "-0";
          break;
        default:
          line += in.high ? "-1" : "-0";
          break;
      }
    }
    line += ']';
  }
  return line;
}

std::string ClockLine(const std::tm& utc, int supplyMillivolts, long uptimeSeconds) {
  return Format("RTC %02d/%02d/%04d %02d:%02d:%02d UTC  Vin %02d,%03dV  Uptime %lds", utc.tm_mday,
                utc.tm_mon + 1, utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec,
                supplyMillivolts / 1000, supplyMillivolts % 1000, uptimeSeconds);
}

std::string CounterLine(const std::array<std::uint32_t, 16>& counters) {
  std::string line = "Contadores:";
  for (std::uint32_t count : counters) line += Format(" %u", count);
  return line;
}

std::string TrafficLine(unsigned step, const Traffic& t) {
  switch (step % 8) {
    case 0:
      return ">Serial TX 8 bytes en buffer";
    case 1:
      return Format(">Serial RX 7 bytes esclavo %d", t.slave);
    case 2:
      return Format(">serial: esclavo %d registro %d valor %d", t.slave, t.address, t.value);
    case 3:
      return Format(">MODBUS TCP consulta de %s funcion 3 registro 0 cantidad 10",
                    t.server.c_str());
    case 4:
      return Format(">IEC 104 - I(%u,%u) M_SP_NA_1 IOA 1001", step % 32768, step / 2 % 32768);
    case 5:
      return Format(">DNP respuesta clase 0 a %s:%d", t.server.c_str(), t.port);
    case 6:
      return ">IEC 104 - S confirmacion";
    default:
      return ">IEC 101 - FT1.2 enlace activo";
  }
}

std::vector<std::string> BootBanner(const Identity& identity) {
  return {
      "********************************",
      "Qirel Dalvesca",
      Format("Hardware %d Proyecto %d Build %d", identity.hardware, identity.project,
             identity.build),
      "Firmware " + identity.date,
      "Modem " + identity.modem + " IMEI " + identity.imei,
      "Iniciando equipo...",
  };
}

}  // namespace sim
