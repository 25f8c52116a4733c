// The reader thread and the inbox it fills for the GUI thread.
#pragma once

#include <QThread>
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

class Serial : public QThread {
  Q_OBJECT
 public:
  explicit Serial(bool CreateSuspended);
  // Asks the thread to stop at its next pass.
  void Terminate();

 signals:
  // A pass put bytes in the inbox.
  void Arrived();

 protected:
  void run() override;  // Execute
};

extern Serial* serialThread;

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
