#include "link/Unit1.h"
#include "protocol/ByteSource.h"

static_assert(kTakeLimit == kInboxLimit - 1);

std::int32_t InboxSource::Take(std::uint8_t* out) {
  const std::int32_t count = TakeInbox(out);
  if (count > 0 && taken) taken({out, std::size_t(count)});
  return count;
}
