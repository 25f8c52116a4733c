// Register blocks of the unit's configuration: plain values in, register
// bytes out, and back. Numbers go on the wire as the low 16 bits of the
// field's integer, high-order byte first.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using ByteSpan = std::span<const std::uint8_t>;

// Set to 8 by identifying a project-35 unit and never cleared: that unit keeps
// serial port 2 and the first analog read at register 20000.
extern std::uint8_t registerMapVariant;

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
