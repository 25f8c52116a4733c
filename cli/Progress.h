// Progress on standard error. On a terminal each unit has one line, rewritten
// in place as its run goes; anywhere else (a pipe, a file, a log) each step is
// a plain line of its own.
#pragma once

#include <QString>
#include <cstddef>
#include <string>

class ProgressBoard {
 public:
  // units: how many lines the board holds; width: the terminal's columns,
  // 0 for plain lines.
  ProgressBoard(std::size_t units, int width);

  // What to write for unit's new text: on a terminal the board's lines
  // first (the first time), then that unit's line rewritten, the cursor left
  // below the board so that whatever follows starts on a line of its own.
  std::string Update(std::size_t unit, const QString& text);

 private:
  std::size_t units_;
  int width_;
  bool drawn_ = false;
};

// The columns of standard error when it is a terminal that takes cursor
// movements, else 0.
int StderrTerminalWidth();
