// Where the receiver's bytes come from: the port's inbox, or a capture being
// replayed. The receiver takes one batch a tick and does not know which.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies the bytes waiting into out (room for kTakeLimit); 0 when there are none.
  virtual std::int32_t Take(std::uint8_t* out) = 0;
};

// The inbox never holds more than this.
constexpr std::int32_t kTakeLimit = 511;

// The reader thread's inbox. `taken` sees every batch taken (session capture).
class InboxSource : public ByteSource {
 public:
  std::int32_t Take(std::uint8_t* out) override;
  std::function<void(std::span<const std::uint8_t>)> taken;
};
