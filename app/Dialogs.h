// Message boxes and file dialogs go through one replaceable interface, so
// tests can answer them.
#pragma once

#include <QString>
#include <memory>

class QDialog;

// A save or open dialog as the form keeps it: file name, default extension, filter.
struct FileDialog {
  enum class Kind { Open, Save };
  QString name;
  Kind kind = Kind::Open;
  QString fileName;
  QString defaultExt;
  QString filter;  // "description|pattern"
  bool execute();  // true when the user chose a file; fileName holds it
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Plain modal message box; lines after the first are shown as its detail.
  virtual void Message(const QString& text);
  // The toolkit's exception display: an error box with the message.
  virtual void Error(const QString& text);
  // Warning box with OK and Cancel; true for OK.
  virtual bool Confirm(const QString& caption, const QString& text);
  // Runs a file dialog; true when a file was chosen (stored in dialog.fileName).
  virtual bool ChooseFile(FileDialog& dialog);
  // Runs one of our own modal dialogs (a run's summary, the comparison); its result.
  virtual int Modal(QDialog& dialog);
};

Dialogs& CurrentDialogs();
// Replaces the dialogs (tests); returns the previous ones.
std::unique_ptr<Dialogs> SetDialogs(std::unique_ptr<Dialogs> dialogs);
