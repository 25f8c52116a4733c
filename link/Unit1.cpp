#include "link/Unit1.h"

#include <atomic>
#include <mutex>

Serial* serialThread = nullptr;

namespace {

// One reader at a time: a thread asked to stop may still be in its last pass
// when the next connect starts a new one, which waits for it; a thread nobody
// stopped gives way to the newer one. Never destroyed: a reader may outlive main().
std::mutex& ReaderTurn() {
  static auto* turn = new std::mutex;
  return *turn;
}
std::atomic<const Serial*> newestReader{nullptr};

}  // namespace

Serial::Serial(bool CreateSuspended) {
  newestReader.store(this);
  connect(this, &QThread::finished, this, &QObject::deleteLater);
  if (!CreateSuspended) start();
}

void Serial::Terminate() { requestInterruption(); }

void Serial::run() {
  // Wait for the previous reader's last pass, unless a newer one took over
  // meanwhile (it would hold the turn for as long as it runs).
  std::unique_lock turn(ReaderTurn(), std::defer_lock);
  while (!turn.try_lock()) {
    if (isInterruptionRequested() || newestReader.load() != this) return;
    msleep(1);
  }
  while (!isInterruptionRequested() && newestReader.load() == this) {
    if (ReaderPass()) emit Arrived();
    msleep(kReaderPauseMs);
  }
}
