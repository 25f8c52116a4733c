// The reader thread, which runs the reader pass on its own thread while a
// port is connected.
#pragma once

#include <QThread>

#include "link/ReaderPass.h"

class Serial : public QThread {
  Q_OBJECT
 public:
  explicit Serial(bool CreateSuspended);
  // Asks the thread to stop at its next pass.
  void Terminate();

 signals:
  // A pass put bytes in the inbox.
  void Arrived();

 protected:
  void run() override;  // Execute
};

extern Serial* serialThread;
