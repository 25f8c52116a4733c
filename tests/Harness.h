// Shared test helpers: scripted dialogs and a pseudo-terminal pair that stands
// in for the unit's end of the cable.
#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Dialogs.h"
#include "tests/PortTesting.h"

// Answers message boxes and file dialogs from a script and records what was shown.
class ScriptedDialogs : public Dialogs {
 public:
  void Message(const QString& text) override { messages << text; }
  void Error(const QString& text) override { errors << text; }
  bool Confirm(const QString& caption, const QString& text) override;
  bool ChooseFile(FileDialog& dialog) override;
  // Our own modal dialogs are answered by `modal`; without it, rejected.
  int Modal(QDialog& dialog) override { return modal ? modal(dialog) : 0; }

  std::function<int(QDialog&)> modal;
  QStringList messages;
  QStringList errors;
  QStringList questions;          // "caption|text"
  std::deque<bool> confirmAnswers;  // default: OK
  std::deque<QString> files;        // empty string = cancel; none left = cancel
};

// Installs ScriptedDialogs for the lifetime of the object.
class DialogScript {
 public:
  DialogScript();
  ~DialogScript();
  ScriptedDialogs* operator->() { return dialogs_; }
  ScriptedDialogs& operator*() { return *dialogs_; }

 private:
  ScriptedDialogs* dialogs_;
  std::unique_ptr<Dialogs> previous_;
};

// A pty pair: the tool opens slavePath, the test reads and writes the master.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  const std::string& slavePath() const { return slavePath_; }
  int master() const { return master_; }
  void Write(const Bytes& bytes);
  void Write(const std::string& text);
  // Reads what arrives until `count` bytes are there or the time is up.
  Bytes Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
  // Discards whatever is waiting.
  void Drain();
  // The unit's end goes away, as when the cable is pulled.
  void Close();
  // Everything that arrives until the line stays quiet.
  Bytes ReadUntilQuiet();
  // Leaves the line cooked, slow, 7E2 and with both kinds of flow control, as
  // another program might; on Linux the master reaches the slave's settings.
  bool LeaveCooked();

 private:
  int master_ = -1;
  std::string slavePath_;
};

// Links ~/.qirel/ports/COM<number> to a path; removed on destruction.
class ComLink {
 public:
  ComLink(int number, const std::string& target);
  ~ComLink();

 private:
  std::string link_;
};

class TForm1;
// Puts bytes in the reader's inbox as if they had just arrived.
void InjectInbox(const Bytes& bytes);
void InjectInbox(const std::string& text);
// Makes the window behave as connected without a port (the reader is not running).
void PretendConnected(TForm1& form);
// Digits of other scripts (Arabic-Indic, full-width, one beyond 16 bits) that
// a digit-only key filter must turn away.
QStringList OtherDigits();
// Lines of a console.
QStringList Lines(const class QPlainTextEdit* memo);
// A function-3 style frame with a valid CRC: header, payload, CRC.
Bytes FrameWithCrc(Bytes bytes);
// "Data-->XX XX ...<--Data" for a frame, as the unit prints it.
std::string EmbeddedLine(const Bytes& frame);

// A window connected through a real pty: the test plays the unit on the master.
class WiredForm {
 public:
  explicit WiredForm(int com = 5);
  ~WiredForm();
  TForm1& operator*() { return *form_; }
  TForm1* operator->() { return form_.get(); }
  PtyPair& unit() { return pty_; }
  // What the tool sent, waiting up to a second for `count` bytes.
  std::string Sent(std::size_t count);
  // Nothing at all went out within the time.
  bool NothingSent(std::chrono::milliseconds wait = std::chrono::milliseconds(150));
  // The unit answers with a line carrying the frame; runs the receiver and
  // the dispatcher until the reply has been dispatched.
  void Answer(const Bytes& frame);

 private:
  PtyPair pty_;
  ComLink link_;
  std::unique_ptr<TForm1> form_;
};
