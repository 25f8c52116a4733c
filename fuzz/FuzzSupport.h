// What the fuzz targets share: one offscreen application and one window for
// the whole run, dialogs that answer from a script without showing anything,
// the receiver's state put back to rest before each input, and a reader that
// cuts an input into fields.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "app/Dialogs.h"

class TForm1;

class QuietDialogs : public Dialogs {
 public:
  void Message(const QString&) override {}
  void Error(const QString&) override {}
  bool Confirm(const QString&, const QString&) override { return confirmAnswer; }
  bool ChooseFile(FileDialog& dialog) override;
  int Modal(QDialog&) override { return 0; }  // a summary or comparison shown is closed

  bool confirmAnswer = true;
  QString file;  // the file every dialog chooses; empty cancels
};

// Creates the application (offscreen unless told otherwise) and installs the
// quiet dialogs; safe to call more than once.
void StartFuzzApplication();
QuietDialogs& FuzzDialogs();
// The one window, created on first use, its timers stopped, acting as connected.
TForm1& FuzzWindow();
// Receiver, dispatcher and download globals back to rest; consoles emptied
// now and then so a long run does not grow them without bound.
void ResetWindowState(TForm1& form);
// The window at rest, ready for the next input.
TForm1& RestedWindow();

// Fields cut from the front of the input; past its end every byte reads 0.
class FuzzReader {
 public:
  FuzzReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  std::size_t Left() const { return size_ - at_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t Word() {
    const std::uint8_t low = Byte();
    return std::uint16_t(low | Byte() << 8);
  }
  // Up to count bytes; fewer at the end of the input.
  std::vector<std::uint8_t> Bytes(std::size_t count);
  // Exactly count bytes, zeros past the end of the input.
  std::vector<std::uint8_t> Exactly(std::size_t count);
  std::vector<std::uint8_t> Rest() { return Bytes(Left()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};
