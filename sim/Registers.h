// The unit's holding registers: every block the configuration tool reads and
// writes, with the unit's own defaults.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Register addresses of the blocks.
namespace reg {
constexpr std::uint16_t kIdentification = 1000;  // 45 registers, read only
constexpr std::uint16_t kIdentDate = 1002;       // 20-byte text slot
constexpr std::uint16_t kIdentHardware = 1012;   // low byte
constexpr std::uint16_t kIdentProject = 1013;    // low byte
constexpr std::uint16_t kIdentBuild = 1014;
constexpr std::uint16_t kIdentModem = 1015;  // 20-byte text slot
constexpr std::uint16_t kIdentImei = 1025;   // 20-byte text slot
constexpr std::uint16_t kIdentImsi = 1035;   // 20-byte text slot
constexpr std::uint16_t kIdentMac = 1045;    // 20-byte text slot, past the usual read

constexpr std::uint16_t kGeneral = 20000;  // 39 registers
constexpr std::uint16_t kServer1 = 20006;  // 16-byte text slots
constexpr std::uint16_t kServer2 = 20014;
constexpr std::uint16_t kServer3 = 20022;
constexpr std::uint16_t kDoOnTime = 20032;
constexpr std::uint16_t kDoMode = 20033;  // non-zero: pulse
constexpr std::uint16_t kDoPulseWidth = 20034;
constexpr std::uint16_t kSwitchFlags = 20035;
constexpr std::uint16_t kSerialPort1 = 20039;         // 7 registers
constexpr std::uint16_t kSerialPort2 = 20046;         // 7 registers
constexpr std::uint16_t kSerialPort2Compact = 20000;  // on project-35 units
constexpr std::uint16_t kCompactZerosEnd = 20019;     // last register read as zero there
constexpr std::uint16_t kSms = 20060;                 // 35 registers
constexpr std::uint16_t kDigitalInputs1 = 20105;      // 6 registers
constexpr std::uint16_t kAnalogInputs1 = 20119;       // 20 registers
constexpr std::uint16_t kDigitalInputs2 = 20139;
constexpr std::uint16_t kAnalogInputs2 = 20153;
constexpr std::uint16_t kDnp3Addresses = 20343;  // 3 registers
constexpr std::uint16_t kClock = 30000;          // 4 registers, write only
constexpr std::uint16_t kModbusDigital = 40000;  // 128 registers, 64 rows of 4 bytes
constexpr std::uint16_t kModbusAnalog = 40128;   // 144 registers, 48 rows of 6 bytes
constexpr std::uint16_t kTagsDigital = 50000;    // 64 registers, 8 slots of 16 bytes
constexpr std::uint16_t kTagsAnalog = 50064;     // 32 registers, 4 slots of 16 bytes
}  // namespace reg

// Project-35 firmware keeps serial port 2 at the head of the configuration
// area, where the others keep their general block, and nothing up to 20019.
constexpr int kCompactProject = 35;

// What the unit says about itself in the identification block.
struct Identity {
  int hardware = 3;
  int project = 17;
  int build = 412;
  std::string date = "2022-05-03 10:15";
  std::string modem = "SIM7600SA-H";
  std::string imei = "861234050123458";
  std::string imsi = "722310123456789";
  std::string mac = "00:1E:C0:4A:21:7F";
};

// Text slot registers: the text, a zero byte, zeros up to slotBytes; each
// register carries two characters, the first in its low byte. A text longer
// than the slot is cut to it (then it has no terminator).
std::vector<std::uint16_t> TextSlotRegisters(std::string_view text, std::size_t slotBytes);
std::string TextFromSlotRegisters(std::span<const std::uint16_t> registers);

class RegisterMap {
 public:
  explicit RegisterMap(Identity identity);

  // Back to factory settings; the identification block stays.
  void RestoreDefaults();

  // Whether a whole range exists and may be read or written.
  bool CanRead(std::uint16_t first, std::size_t count) const;
  bool CanWrite(std::uint16_t first, std::size_t count) const;

  std::uint16_t Get(std::uint16_t address) const { return values_[address]; }
  void Set(std::uint16_t address, std::uint16_t value) { values_[address] = value; }
  std::vector<std::uint16_t> Read(std::uint16_t first, std::size_t count) const;
  void Write(std::uint16_t first, std::span<const std::uint16_t> values);

  std::string Text(std::uint16_t first, std::size_t slotBytes) const;
  void SetText(std::uint16_t first, std::size_t slotBytes, std::string_view text);

  const Identity& identity() const { return identity_; }
  bool Compact() const { return identity_.project == kCompactProject; }
  std::uint16_t SerialPort2() const {
    return Compact() ? reg::kSerialPort2Compact : reg::kSerialPort2;
  }

 private:
  // Registers of a compact map that hold nothing: they read as zeros and
  // take no writes.
  bool Unused(std::size_t address) const;
  void LoadIdentification();
  std::vector<std::uint16_t> values_;
  Identity identity_;
};

}  // namespace sim
