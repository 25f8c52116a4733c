// The shared inventory on a PostgreSQL server: what waits in the local file
// goes up (each record once, by its own id), what other tools recorded comes
// down. Synchronous; the window runs it on the inventory's own thread.
#pragma once

#include <QString>

#include "inventory/Record.h"

class InventoryStore;

struct ShareResult {
  bool reachable = false;
  int sent = 0;
  int received = 0;
  int unreadable = 0;  // server rows that did not read, left out
  int pending = -1;    // still waiting after the pass
  QString error;       // empty when the pass went through
};

// One pass against the server the connection string names.
ShareResult ShareOnce(InventoryStore& local, const QString& uri);
