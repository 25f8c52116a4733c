// What qirel-cli's inventory commands print, as functions on an open store:
// `units [--json]`, `history UNIT [--json]` and `sync`. Each writes to the
// streams it is given and returns the program's exit code.
#pragma once

#include <QString>

class InventoryStore;
class QTextStream;

// 0 done; 1 the inventory or the server could not be used; 2 no such unit.
int CliUnits(InventoryStore& store, QTextStream& out, bool json);
int CliHistory(InventoryStore& store, const QString& unit, QTextStream& out, QTextStream& err, bool json);
// One pass to the server (`--inventory` or the settings' string); says what went and what waits.
int CliSync(InventoryStore& store, const QString& uri, QTextStream& out, QTextStream& err);
