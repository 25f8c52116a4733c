// The receiver tick and the dispatcher over arbitrary bytes from the unit,
// cut into arbitrary takes, locally and through a remote station, with and
// without a request waiting for its reply.
//
// Input: a mode byte (bit 0 remote, bit 1 dispatch after every tick), the
// pending request, then steps. Each step is an op byte: low two bits 0 a take
// (its length the rest of the op byte and the next byte, at most 511), 1 a
// quiet tick, 2 a dispatcher tick, 3 a new pending request (next byte).
#include <algorithm>
#include <exception>

#include "app/Log.h"
#include "fuzz/FuzzSupport.h"
#include "link/Unit1.h"
#include "protocol/Protocol.h"

namespace {
// Every request the dispatcher knows, and one it does not.
constexpr int kRequests[] = {4,  6,  9,  10, 11, 12, 13, 20,  22,  24,  30,  50,  51,  52,  53,
                             69, 70, 71, 72, 73, 74, 800, 801, 802, 803, 900, 901, 902, 903, 7};
constexpr std::size_t kRequestCount = sizeof kRequests / sizeof kRequests[0];

int Request(std::uint8_t choice) {
  return choice == 0 ? 0 : kRequests[(choice - 1) % kRequestCount];
}

void Tick(TForm1& form, bool dispatch) {
  form.Guarded([&] { form.Timer1Timer(); });
  if (dispatch) form.Guarded([&] { form.Timer2Timer(); });
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TForm1& form = RestedWindow();
  FuzzReader in(data, size);
  const std::uint8_t mode = in.Byte();
  form.RadioGroup2->setItemIndex(mode & 1 ? 1 : 0);
  form.Edit3->setText("258");
  const bool dispatchEveryTick = mode & 2;
  if (const int request = Request(in.Byte())) form.SetPending(request);

  for (int steps = 0; !in.Empty() && steps < 64; ++steps) {
    const std::uint8_t op = in.Byte();
    switch (op & 3) {
      case 0: {
        const std::size_t length = std::size_t((op >> 2) | in.Byte() << 6) % kInboxLimit;
        const auto take = in.Bytes(length);
        // As the reader fills it: never 512 bytes or more waiting.
        if (portInbox.count + std::int32_t(take.size()) >= kInboxLimit) portInbox.count = 0;
        std::copy(take.begin(), take.end(), portInbox.data + portInbox.count);
        portInbox.count += std::int32_t(take.size());
        Tick(form, dispatchEveryTick);
        break;
      }
      case 1:
        Tick(form, dispatchEveryTick);
        break;
      case 2:
        form.Guarded([&] { form.Timer2Timer(); });
        break;
      case 3:
        form.SetPending(Request(in.Byte()));
        break;
    }
  }
  form.Guarded([&] { form.Timer2Timer(); });
  return 0;
}
