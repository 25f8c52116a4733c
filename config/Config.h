// Register blocks of the unit's configuration: plain values in, register
// bytes out, and back. Numbers go on the wire as the low 16 bits of the
// field's integer, high-order byte first.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using ByteSpan = std::span<const std::uint8_t>;

// Set to 8 by identifying a project-35 unit and never cleared: that unit keeps
// serial port 2 and the first analog read at register 20000.
extern std::uint8_t registerMapVariant;

template <std::size_t N>
std::vector<std::uint8_t> ToVector(const std::array<std::uint8_t, N>& bytes) {
  return {bytes.begin(), bytes.end()};
}

inline void PutRegister(std::uint8_t* out, int value) {
  out[0] = std::uint8_t(value >> 8);
  out[1] = std::uint8_t(value);
}
inline std::uint16_t GetRegister(ByteSpan bytes, std::size_t at) {
  return std::uint16_t(bytes[at] << 8 | bytes[at + 1]);
}

// Text slot: the text, a zero byte, zeros to the slot's end, the two bytes of
// every register exchanged (first character in the low-order byte).
// nullopt when the text and its terminator do not fit.
std::optional<std::vector<std::uint8_t>> EncodeTextSlot(std::string_view text,
                                                        std::size_t slotSize);
// The bytes up to the first zero, or up to the slot's end when it has none.
std::string DecodeTextSlot(ByteSpan wire);
// A field's text as a slot in UTF-8; a text that does not fit is refused
// (ETextTooLong), never cut.
std::vector<std::uint8_t> TextSlotFor(const QString& text, std::size_t slotSize);
class ETextTooLong : public std::runtime_error {
 public:
  ETextTooLong(const QString& text, std::size_t limit);
};

// ---- general settings: registers 20000-20038 ---------------------------------
struct TsdBlock {
  int id = 0;
  bool simA = false;
  bool simB = false;
  int reportPeriod = 0;
  std::array<int, 3> ports{};
  std::array<std::vector<std::uint8_t>, 3> addressSlots;  // 16-byte text slots
  bool pulse = true;
  int pulseWidth = 0;
  bool vpn = false;
  bool dualSim = false;
  bool idp = false;
  int idpFail = 0;
  int idpTime = 0;
  bool debugUsb = false;
};
std::array<std::uint8_t, 78> PackTsdConfig(const TsdBlock& block);
// What a read gives back; the SIM word and the fixed registers are not read.
struct TsdReading {
  int id, reportPeriod;
  std::array<int, 3> ports;
  std::array<std::string, 3> addresses;  // UTF-8
  bool pulse;
  int pulseWidth;
  bool vpn, dualSim, simA, simB, idp;
  int idpFail, idpTime;
  bool debugUsb;
};
TsdReading UnpackTsdConfig(ByteSpan payload);

// ---- serial port 2: 7 registers at 20046 (20000 on a project-35 unit) -------
inline constexpr int kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600};
inline constexpr int kDataBits[] = {7, 8};
struct SerialPortBlock {
  bool rs485 = false;
  int dataBits = 8;
  int stopBitsCode = 0;  // 0 one stop bit, 1 two
  int parity = 0;        // 0 none, 1 odd, 2 even
  std::int64_t baud = 19200;
  int waitMs = 0;
};
std::array<std::uint8_t, 14> PackSerialPort2(const SerialPortBlock& block);
SerialPortBlock UnpackSerialPort2(ByteSpan payload);
// Index of value in a table, -1 when it has none.
int TableIndex(std::span<const int> table, std::int64_t value);

// ---- SMS settings: registers 20060-20094 ---------------------------------------
struct SmsBlock {
  std::array<std::vector<std::uint8_t>, 3> phoneSlots;  // 14-byte text slots
  std::array<bool, 3> alarm{};
  std::vector<std::uint8_t> idSlot;                     // 20-byte text slot
  std::array<bool, 8> digitalAlarm{};
  std::array<bool, 4> analogLow{};
  std::array<bool, 4> analogHigh{};
};
std::array<std::uint8_t, 70> PackSmsConfig(const SmsBlock& block);
struct SmsReading {
  std::array<std::string, 3> phones;
  std::array<bool, 3> alarm;
  std::string id;
  std::array<bool, 8> digitalAlarm;
  std::array<bool, 4> analogLow;
  std::array<bool, 4> analogHigh;
};
SmsReading UnpackSmsConfig(ByteSpan payload);

// ---- Modbus gateway tables: 64 digital rows at 40000, 48 analog at 40128 -----
struct GatewayRow {
  int enable = 0;
  int slave = 0;
  int address = 0;
  int alarmHigh = 0;  // analog rows only
  int alarmLow = 0;
  int threshold = 0;
  int dataType = 0;
};
// Digital rows take 4 bytes, analog rows 6.
void PackGatewayRow(const GatewayRow& row, bool analog, std::uint8_t* out);
GatewayRow UnpackGatewayRow(ByteSpan bytes, bool analog);

// ---- digital output: registers 20032-20034 -----------------------------------
struct DigitalOutputBlock {
  int onTime = 0;
  bool pulse = true;  // "Pulso"; false is "Latch"
  int pulseWidth = 0;
};
std::array<std::uint8_t, 6> PackDigitalOutput(const DigitalOutputBlock& block);
DigitalOutputBlock UnpackDigitalOutput(ByteSpan payload);

// ---- digital inputs: one block of 6 registers per group of eight ------------
struct DigitalInputBlock {
  std::array<bool, 8> invert{};
  int latchTime = 0;
  std::array<bool, 8> latch{};
  std::array<bool, 8> latchReset{};
  std::array<bool, 8> pulse{};
  std::array<bool, 8> logicInvert{};
};
std::array<std::uint8_t, 12> PackDigitalInputs(const DigitalInputBlock& block);
DigitalInputBlock UnpackDigitalInputs(ByteSpan payload);

// ---- analog inputs: one block of 20 registers per group of four -------------
struct AnalogInputBlock {
  std::array<int, 4> zero{};
  std::array<int, 4> span{};
  std::array<int, 4> alarmLow{};
  std::array<int, 4> alarmHigh{};
  std::array<int, 4> hysteresis{};  // bits 0-14 when read back
  std::array<bool, 4> current{};    // bit 15 of the hysteresis register
};
std::array<std::uint8_t, 40> PackAnalogInputs(const AnalogInputBlock& block);
AnalogInputBlock UnpackAnalogInputs(ByteSpan payload);
