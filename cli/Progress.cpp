#include "cli/Progress.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

ProgressBoard::ProgressBoard(std::size_t units, int width) : units_(units), width_(width) {}

std::string ProgressBoard::Update(std::size_t unit, const QString& text) {
  if (width_ <= 0 || unit >= units_) return (text + "\n").toLocal8Bit().toStdString();
  std::string out;
  if (!drawn_) {
    out.append(units_, '\n');
    drawn_ = true;
  }
  // A line wider than the terminal would wrap and throw the count of lines off.
  const QString shown = text.left(width_ - 1);
  const std::string up = std::to_string(units_ - unit);
  out += "\x1b[" + up + "A\r\x1b[2K" + shown.toLocal8Bit().toStdString() + "\x1b[" + up + "B\r";
  return out;
}

int StderrTerminalWidth() {
#ifdef _WIN32
  if (!_isatty(_fileno(stderr))) return 0;
  const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  // Cursor movements need the console's escape sequences (Windows 10 on).
  if (!GetConsoleMode(console, &mode) ||
      !SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
    return 0;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(console, &info)) return 80;
  return info.srWindow.Right - info.srWindow.Left + 1;
#else
  if (!isatty(fileno(stderr))) return 0;
  const char* term = std::getenv("TERM");
  if (!term || std::string_view(term) == "dumb") return 0;
  winsize size{};
  if (ioctl(fileno(stderr), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
#endif
}
