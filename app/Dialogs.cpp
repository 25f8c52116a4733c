#include "app/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

bool FileDialog::execute() { return CurrentDialogs().ChooseFile(*this); }

int Dialogs::Modal(QDialog& dialog) { return dialog.exec(); }

void Dialogs::Message(const QString& text) {
  // The first line is the message itself ("Error al abrir puerto"); what
  // follows explains it underneath.
  const qsizetype end = text.indexOf('\n');
  QMessageBox box(QMessageBox::Information, QApplication::applicationName(), text.left(end),
                  QMessageBox::Ok, QApplication::activeWindow());
  if (end >= 0) box.setInformativeText(text.mid(end + 1));
  box.exec();
}

void Dialogs::Error(const QString& text) {
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), text);
}

bool Dialogs::Confirm(const QString& caption, const QString& text) {
  // Application-modal, without an owner window.
  return QMessageBox::warning(nullptr, caption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

bool Dialogs::ChooseFile(FileDialog& dialog) {
  // "description|pattern" becomes Qt's "description (pattern)".
  QString filter;
  const QStringList parts = dialog.filter.split('|');
  if (parts.size() >= 2)
    filter = parts[0] + " (" + parts[1] + ")";
  else if (!dialog.filter.isEmpty())
    filter = dialog.filter;
  QFileDialog box(QApplication::activeWindow());
  box.setNameFilter(filter);
  if (!dialog.defaultExt.isEmpty()) box.setDefaultSuffix(dialog.defaultExt.mid(1));
  box.selectFile(dialog.fileName);
  if (dialog.kind == FileDialog::Kind::Save) {
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
  } else {
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
  }
  if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
  dialog.fileName = box.selectedFiles().first();
  return true;
}

namespace {
std::unique_ptr<Dialogs>& Slot() {
  static std::unique_ptr<Dialogs> dialogs = std::make_unique<Dialogs>();
  return dialogs;
}
}  // namespace

Dialogs& CurrentDialogs() { return *Slot(); }

std::unique_ptr<Dialogs> SetDialogs(std::unique_ptr<Dialogs> dialogs) {
  std::swap(Slot(), dialogs);
  return dialogs;
}
