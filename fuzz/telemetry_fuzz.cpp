// The telemetry decoder over frames of any length and content. When the first
// byte's bit 0 is set, an 81-byte frame gets its CRC made right, so the fields
// behind the check are reached too.
#include "app/Log.h"
#include "fuzz/FuzzSupport.h"
#include "monitor/Monitor.h"
#include "protocol/Frames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TForm1& form = RestedWindow();
  FuzzReader in(data, size);
  const std::uint8_t flags = in.Byte();
  auto frame = in.Rest();
  if (frame.empty()) return 0;  // the receiver never passes an empty frame
  if ((flags & 1) && frame.size() == kTelemetryLength) {
    const auto crc = ModbusCrc(ByteSpan(frame).first(kTelemetryLength - 2));
    frame[kTelemetryLength - 2] = crc[0];
    frame[kTelemetryLength - 1] = crc[1];
  }
  IsTelemetryFrame(frame);
  form.Guarded([&] { form.DecodeTelemetry(frame.data(), int(frame.size())); });
  return 0;
}
