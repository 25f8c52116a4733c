// qirel-cli: the window's safe operations without a window, on one port or
// many at once, with exit codes and a JSON report a script can trust.
#pragma once

#include <QStringList>

// The whole run from the program's arguments (program name first); returns
// the exit code. Needs a QApplication (the window's code runs unseen).
int RunCli(const QStringList& arguments);
