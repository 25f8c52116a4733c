// qirel-cli: the window's safe operations without a window, on one port or
// many at once, with exit codes and a JSON report a script can trust.
#pragma once

#include <QStringList>
#include <optional>

// The program's own --version and --help, and no command at all: answered
// before the toolkit starts, so nothing else reaches the output.
std::optional<int> EarlyAnswer(const QStringList& arguments);

// The whole run from the program's arguments (program name first); returns
// the exit code. Needs a QApplication (the window's code runs unseen).
int RunCli(const QStringList& arguments);
