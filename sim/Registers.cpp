#include "sim/Registers.h"

#include <algorithm>

namespace sim {
namespace {

enum class Access { Read, Write, ReadWrite };

struct Region {
  std::uint16_t first;
  std::uint16_t last;
  Access access;
};

// The configuration area is mapped whole: the unit has more blocks there
// (ports 1 and 3, DNP3 addresses, ...) than the tool shows.
constexpr Region kRegions[] = {
    {1000, 1054, Access::Read},        {20000, 20399, Access::ReadWrite},
    {30000, 30003, Access::Write},     {40000, 40271, Access::ReadWrite},
    {50000, 50095, Access::ReadWrite},
};

bool Covered(std::uint16_t first, std::size_t count, bool write) {
  if (count == 0) return false;
  const std::size_t last = first + count - 1;
  for (const Region& region : kRegions) {
    if (first < region.first || last > region.last) continue;
    return write ? region.access != Access::Read : region.access != Access::Write;
  }
  return false;
}

std::uint16_t Word(int high, int low) {
  return static_cast<std::uint16_t>(((high & 0xFF) << 8) | (low & 0xFF));
}

}  // namespace

std::vector<std::uint16_t> TextSlotRegisters(std::string_view text, std::size_t slotBytes) {
  std::vector<std::uint8_t> slot(slotBytes, 0);
  std::copy_n(text.begin(), std::min(text.size(), slotBytes), slot.begin());
  std::vector<std::uint16_t> registers;
  for (std::size_t i = 0; i + 1 < slotBytes; i += 2)
    registers.push_back(Word(slot[i + 1], slot[i]));
  return registers;
}

std::string TextFromSlotRegisters(std::span<const std::uint16_t> registers) {
  std::string text;
  for (std::uint16_t value : registers) {
    for (int c : {value & 0xFF, value >> 8}) {
      if (c == 0) return text;
      text.push_back(static_cast<char>(c));
    }
  }
  return text;
}

RegisterMap::RegisterMap(Identity identity) : values_(65536, 0), identity_(std::move(identity)) {
  LoadIdentification();
  RestoreDefaults();
}

void RegisterMap::LoadIdentification() {
  Set(reg::kIdentification, Word('Q', 'R'));
  Set(reg::kIdentification + 1, 1);
  SetText(reg::kIdentDate, 20, identity_.date);
  Set(reg::kIdentHardware, static_cast<std::uint16_t>(identity_.hardware & 0xFF));
  Set(reg::kIdentProject, static_cast<std::uint16_t>(identity_.project & 0xFF));
  Set(reg::kIdentBuild, static_cast<std::uint16_t>(identity_.build));
  SetText(reg::kIdentModem, 20, identity_.modem);
  SetText(reg::kIdentImei, 20, identity_.imei);
  SetText(reg::kIdentImsi, 20, identity_.imsi);
  SetText(reg::kIdentMac, 20, identity_.mac);
}

void RegisterMap::RestoreDefaults() {
  std::fill(values_.begin() + 20000, values_.begin() + 20400, 0);
  std::fill(values_.begin() + 40000, values_.begin() + 40272, 0);
  std::fill(values_.begin() + 50000, values_.begin() + 50096, 0);

  // General block: identity, SIM A, 60 s reports, two servers.
  if (!Compact()) {
    const std::uint16_t general[] = {1, 1, 60, 36377, 36377, 36377};
    Write(reg::kGeneral, general);
    SetText(reg::kServer1, 16, "190.2.45.110");
    SetText(reg::kServer2, 16, "190.2.45.111");
    SetText(reg::kServer3, 16, "0.0.0.0");
  }
  const std::uint16_t tail[] = {1, 0, 3000, 0, 3000, 0x0010, 1, 1, 0};  // 20030..20038
  Write(20030, tail);

  // Serial ports 1 and 2: RS-232 9600 and RS-485 19200, 8N1, 100 ms wait.
  const std::uint16_t port1[] = {0x0001, 8, 0, 0, 0x2580, 0x0000, 100};
  const std::uint16_t port2[] = {0x8001, 8, 0, 0, 0x4B00, 0x0000, 100};
  Write(reg::kSerialPort1, port1);
  Write(SerialPort2(), port2);

  // SMS: two phones with alarms, inputs 1 and 5, analog 1 low and high.
  SetText(reg::kSms, 14, "5491155550123");
  SetText(reg::kSms + 7, 14, "5491155550456");
  Set(reg::kSms + 21, 1);
  Set(reg::kSms + 22, 1);
  SetText(reg::kSms + 24, 20, "QIREL DEMO");
  Set(reg::kSms + 34, Word(0x11, 0x11));

  // Digital inputs: 30 s latch time, input 7 latched.
  const std::uint16_t inputs1[] = {0x0000, 30, 0x0040, 0x0000, 0x0002, 0x0000};
  Write(reg::kDigitalInputs1, inputs1);

  // Analog inputs 1-2 current 4-20 mA scaled 0-1000 with alarms at 100 and
  // 900; inputs 3-4 voltage 0-10 V scaled 0-500; input 8 current, unwired.
  const std::uint16_t analog1[] = {0,  0, 0,   0,   1000, 1000, 500,    500,    100, 100,
                                   50, 0, 900, 900, 400,  0,    0x800A, 0x800A, 5,   5};
  const std::uint16_t analog2[] = {0, 0, 0, 0, 1000, 1000, 250,    1000, 0, 0,
                                   0, 0, 0, 0, 0,    0,    0x8005, 6,    6, 0x8005};
  Write(reg::kAnalogInputs1, analog1);
  Write(reg::kAnalogInputs2, analog2);

  const std::uint16_t dnp3[] = {1, 10, 0};
  Write(reg::kDnp3Addresses, dnp3);

  // Gateway tables: a few slaves on port 2.
  const std::uint16_t digitalRows[] = {Word(0x40, 17), 300, Word(0x40, 17), 301, Word(0x80, 18), 0};
  Write(reg::kModbusDigital, digitalRows);
  const std::uint16_t analogRows[] = {Word(0xA2, 5), 7, 1000, Word(0x41, 5), 8, 0};
  Write(reg::kModbusAnalog, analogRows);

  const char* digitalTags[] = {"Puerta",     "Falla red", "Bomba 1", "Bomba 2",
                               "Nivel alto", "Intrusión", "Reserva", ""};
  for (int n = 0; n < 8; ++n)
    SetText(static_cast<std::uint16_t>(reg::kTagsDigital + 8 * n), 16, digitalTags[n]);
  const char* analogTags[] = {"Presión", "Nivel tanque", "Caudal", "Temperatura"};
  for (int n = 0; n < 4; ++n)
    SetText(static_cast<std::uint16_t>(reg::kTagsAnalog + 8 * n), 16, analogTags[n]);
}

bool RegisterMap::CanRead(std::uint16_t first, std::size_t count) const {
  return Covered(first, count, false);
}

bool RegisterMap::CanWrite(std::uint16_t first, std::size_t count) const {
  return Covered(first, count, true);
}

std::vector<std::uint16_t> RegisterMap::Read(std::uint16_t first, std::size_t count) const {
  const std::size_t end = std::min<std::size_t>(first + count, values_.size());
  return {values_.begin() + first, values_.begin() + static_cast<std::ptrdiff_t>(end)};
}

void RegisterMap::Write(std::uint16_t first, std::span<const std::uint16_t> values) {
  for (std::size_t i = 0; i < values.size() && first + i < values_.size(); ++i)
    if (!Unused(first + i)) values_[first + i] = values[i];
}

bool RegisterMap::Unused(std::size_t address) const {
  return Compact() && address >= reg::kSerialPort2Compact + 7u && address <= reg::kCompactZerosEnd;
}

std::string RegisterMap::Text(std::uint16_t first, std::size_t slotBytes) const {
  return TextFromSlotRegisters(Read(first, slotBytes / 2));
}

void RegisterMap::SetText(std::uint16_t first, std::size_t slotBytes, std::string_view text) {
  Write(first, TextSlotRegisters(text, slotBytes));
}

}  // namespace sim
