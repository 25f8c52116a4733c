#include "tests/Harness.h"

bool ScriptedDialogs::Confirm(const QString& caption, const QString& text) {
  questions << caption + "|" + text;
  if (confirmAnswers.empty()) return true;
  const bool answer = confirmAnswers.front();
  confirmAnswers.pop_front();
  return answer;
}

bool ScriptedDialogs::ChooseFile(FileDialog& dialog) {
  if (files.empty()) return false;
  const QString file = files.front();
  files.pop_front();
  if (file.isEmpty()) return false;
  dialog.fileName = file;
  return true;
}

DialogScript::DialogScript() {
  auto dialogs = std::make_unique<ScriptedDialogs>();
  dialogs_ = dialogs.get();
  previous_ = SetDialogs(std::move(dialogs));
}

DialogScript::~DialogScript() { SetDialogs(std::move(previous_)); }

