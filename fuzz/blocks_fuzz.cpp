// Every register-block decoder on arbitrary content. The dispatcher only hands
// a decoder a reply of its block's length, so each one gets a payload of
// exactly that length (its own allocation, so a read past it is caught). The
// first byte picks the block; the fields the decoder filled are then encoded
// again, as a following "Escribir" would.
#include <algorithm>
#include <exception>
#include <memory>
#include <functional>
#include <vector>

#include "app/Log.h"
#include "config/Config.h"
#include "fuzz/FuzzSupport.h"
#include "monitor/Monitor.h"

namespace {
struct Block {
  std::size_t length;  // reply length less address, function, count and CRC
  std::function<void(TForm1&, const std::uint8_t*)> decode;
  std::function<void(TForm1&)> encode;
};

const std::vector<Block>& Blocks() {
  static const std::vector<Block> blocks = {
      {90, [](TForm1& f, const std::uint8_t* p) { f.DecodeHardwareId(p); }, nullptr},
      {6, [](TForm1& f, const std::uint8_t* p) { f.DecodeDigitalOutput(p); },
       [](TForm1& f) { f.BitBtn5Click(); }},
      {12, [](TForm1& f, const std::uint8_t* p) { f.DecodeDigitalInputs(1, p); },
       [](TForm1& f) { f.EncodeDigitalInputs(1); }},
      {12, [](TForm1& f, const std::uint8_t* p) { f.DecodeDigitalInputs(2, p); },
       [](TForm1& f) { f.EncodeDigitalInputs(2); }},
      {40, [](TForm1& f, const std::uint8_t* p) { f.DecodeAnalogInputs(1, p); },
       [](TForm1& f) { f.EncodeAnalogInputs(1); }},
      {40, [](TForm1& f, const std::uint8_t* p) { f.DecodeAnalogInputs(2, p); },
       [](TForm1& f) { f.EncodeAnalogInputs(2); }},
      {78, [](TForm1& f, const std::uint8_t* p) { f.DecodeTsdConfig(p); },
       [](TForm1& f) { f.EncodeTsdConfig(); }},
      {14, [](TForm1& f, const std::uint8_t* p) { f.DecodeSerialPort2(p); },
       [](TForm1& f) { f.EncodeSerialPort2(); }},
      {70, [](TForm1& f, const std::uint8_t* p) { f.DecodeSmsConfig(p); },
       [](TForm1& f) { f.EncodeSmsConfig(); }},
      {256, [](TForm1& f, const std::uint8_t* p) { f.DecodeModbusTable(0, p); },
       [](TForm1& f) { f.BuildModbusTableWrite(0); }},
      {288, [](TForm1& f, const std::uint8_t* p) { f.DecodeModbusTable(1, p); },
       [](TForm1& f) { f.BuildModbusTableWrite(1); }},
      {128, [](TForm1& f, const std::uint8_t* p) { f.DecodeTagTexts(f.tagDigital, 8, p); },
       [](TForm1& f) { f.BitBtn62Click(); }},
      {64, [](TForm1& f, const std::uint8_t* p) { f.DecodeTagTexts(f.tagAnalog, 4, p); },
       [](TForm1& f) { f.BitBtn63Click(); }},
  };
  return blocks;
}

// The pure unpacking of every block, on a payload of its length.
void Unpack(std::size_t choice, ByteSpan payload) {
  switch (choice) {
    case 0: UnpackHardwareId(payload); break;
    case 1: UnpackDigitalOutput(payload); break;
    case 2: case 3: UnpackDigitalInputs(payload); break;
    case 4: case 5: UnpackAnalogInputs(payload); break;
    case 6: UnpackTsdConfig(payload); break;
    case 7: UnpackSerialPort2(payload); break;
    case 8: UnpackSmsConfig(payload); break;
    case 9:
      for (std::size_t r = 0; r < 64; ++r) UnpackGatewayRow(payload.subspan(4 * r, 4), false);
      break;
    case 10:
      for (std::size_t r = 0; r < 48; ++r) UnpackGatewayRow(payload.subspan(6 * r, 6), true);
      break;
    default:
      for (std::size_t at = 0; at < payload.size(); at += 16) DecodeTextSlot(payload.subspan(at, 16));
      break;
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TForm1& form = RestedWindow();
  form.RadioGroup2->setItemIndex(0);
  FuzzReader in(data, size);
  const std::size_t choice = in.Byte() % Blocks().size();
  const Block& block = Blocks()[choice];
  const std::vector<std::uint8_t> exact = in.Exactly(block.length);
  // A separate allocation of exactly the block's length.
  const auto payload = std::make_unique<std::uint8_t[]>(block.length);
  std::copy(exact.begin(), exact.end(), payload.get());
  Unpack(choice, ByteSpan(payload.get(), block.length));
  form.Guarded([&] { block.decode(form, payload.get()); });
  // Writes go nowhere (no port); a field a read left unusable throws, as it would on screen.
  if (block.encode) form.Guarded([&] { block.encode(form); });
  return 0;
}
