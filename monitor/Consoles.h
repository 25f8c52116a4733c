// The debug consoles for a long day: a bounded number of lines, a find bar,
// a view that stays where the user scrolled, timestamps, saving to a file.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <array>
#include <functional>
#include <vector>

#include "app/Dialogs.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

class ConsoleTools : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDefaultMaxLines = 200000;

  // memos: Memo1, Memo2 (the debug page's) and Memo3 (the download page's).
  ConsoleTools(std::array<QPlainTextEdit*, 3> memos, QWidget* window);

  // Shows a tick's lines in Memo1 or Memo2, timestamped when "Hora" is on.
  void Append(QPlainTextEdit* memo, const QStringList& lines);
  // "&Limpiar": empties the three consoles.
  void Empty();
  void SetMaxLines(int lines);
  int MaxLines() const { return maxLines_; }
  // Lines that went out of a console since it was last emptied.
  qint64 Dropped(const QPlainTextEdit* memo) const;
  bool Following(const QPlainTextEdit* memo) const;

  // Ctrl+F: the find bar over the console with the focus (or the last one that had it).
  void OpenFind();
  void CloseFind();
  void FindStep(bool backwards);  // next / previous match
  int MatchCount() const { return int(matches_.size()); }
  int CurrentMatch() const { return current_; }  // -1 = none
  QPlainTextEdit* FindTarget() const { return target_; }
  void Follow();       // "Seguir": every console back at its bottom
  void SaveConsole();  // "Guardar consola": the focused console to a text file

  // Time of the lines being shown; a replay sets the capture's own.
  std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

  QWidget* findBar;
  QLineEdit* findEdit;
  QPushButton* findNextButton;
  QPushButton* findPreviousButton;
  QCheckBox* findCaseCheck;
  QLabel* findCount;
  QPushButton* followButton;
  QCheckBox* timestampCheck;
  QPushButton* saveButton;
  std::array<QLabel*, 2> droppedLabels{};
  FileDialog saveDialog;

 private:
  struct State {
    QPlainTextEdit* memo = nullptr;
    qint64 dropped = 0;
    bool following = true;
  };
  State& StateOf(const QPlainTextEdit* memo);
  const State* FindState(const QPlainTextEdit* memo) const;
  void Track(State& state);
  void ShowFollow();
  void QueueCut();
  void CutOldLines();
  void Release(qint64 lines);
  void Cleared();
  void ShowDropped();
  void Search();
  void Highlight();
  QPlainTextEdit* Focused() const;

  std::array<State, 3> states_;
  QPlainTextEdit* focused_ = nullptr;
  QPlainTextEdit* target_ = nullptr;
  std::vector<int> matches_;  // document positions
  int current_ = -1;
  int maxLines_ = kDefaultMaxLines;
  bool stale_ = false;      // lines went since the last search
  bool adjusting_ = false;  // the scroll bar is moved by us, not by the user
  qint64 sinceRelease_ = 0;  // lines dropped since freed memory was last given back
  bool cutQueued_ = false;
};
