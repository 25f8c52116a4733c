// The trace interpreter over any line the receiver can hand it: up to 2047
// bytes of the unit's 8-bit text. The first byte sets the console filters and
// the analog inputs' current/voltage choice the lines are shown with.
#include <algorithm>
#include <string>

#include "app/Log.h"
#include "fuzz/FuzzSupport.h"
#include "monitor/Monitor.h"
#include "protocol/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TForm1& form = RestedWindow();
  FuzzReader in(data, size);
  const std::uint8_t flags = in.Byte();
  form.IEC_101->setChecked(flags & 1);
  form.Serie->setChecked(flags & 2);
  for (int n = 0; n < 8; ++n)
    (flags & 4 ? form.currentChecks : form.voltageChecks)[std::size_t(n)]->setChecked(true);
  const auto bytes = in.Bytes(std::size_t(kMaxLine));
  std::string line(bytes.begin(), bytes.end());
  // The pure pieces first, on the line as it is.
  std::string copy = line;
  RewriteSignalLine(copy);
  bool states[8];
  ReadFlagFields(line, std::min(line.size(), std::size_t(flags >> 3)), 8, states);
  ReadAdcLine(line, std::min(line.size(), std::size_t(flags >> 3)));
  form.Guarded([&] { form.InterpretTraceLine(line); });
  return 0;
}
