// The inbox the reader fills for the GUI thread, and one pass of the reader.
// Standard library only, so the same code runs under any thread wrapper.
#pragma once

#include <atomic>
#include <cstdint>

struct PortInbox {
  std::int32_t count = 0;          // bytes waiting, 0..511
  std::uint8_t data[4096] = {};    // oldest first
  std::atomic_flag busy;           // held while one side works on count and data
};
extern PortInbox portInbox;

constexpr std::int32_t kInboxLimit = 512;  // an append reaching this is dropped

// Reads that brought nothing, in a row; the 101st purges the port.
extern std::uint8_t readerIdleCount;

// Pause between two passes of the reader thread.
constexpr unsigned long kReaderPauseMs = 25;

// One pass of the reader without its pause: read the port, append to the inbox,
// count empty reads. The thread body runs it in a loop; tests call it directly.
// True when it put bytes in the inbox.
bool ReaderPass();

// GUI side: takes every waiting byte under the busy flag without waiting.
// Returns the number of bytes copied to out (room for 511); 0 when the flag
// was held or the inbox was empty.
std::int32_t TakeInbox(std::uint8_t* out);
// Empties the inbox under the busy flag (download cancel and give-up).
void ClearInbox();
