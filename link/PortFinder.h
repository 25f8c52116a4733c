// The list of serial ports the user picks from, and the watch that notices
// the open port's adapter being pulled and coming back.
#pragma once

#include <QDialog>
#include <QFileSystemWatcher>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

#include "link/PortList.h"

class QTableWidget;

// "portListDialog" with its "portTable": one row a port, kept current while
// adapters come and go.
class PortListDialog : public QDialog {
  Q_OBJECT
 public:
  PortListDialog(PortSystem& system, QWidget* parent);
  // The row selected when the dialog was accepted.
  std::optional<PortEntry> Chosen() const;
  // Reads the ports again, keeping the selected one selected.
  void Refresh();

 private:
  void WatchFolders();

  PortSystem& system_;
  QTableWidget* table_;
  std::vector<PortEntry> entries_;
  QFileSystemWatcher watcher_;
  QTimer settle_;  // udev adds the by-id names a moment after the device
  QTimer poll_;    // where no folder tells about devices
};

// While connected: says once when the port's device is gone, and once when
// the same device is there again.
class PortWatch : public QObject {
  Q_OBJECT
 public:
  explicit PortWatch(QObject* parent = nullptr);
  void Start(PortSystem& system, int com);
  void Stop();
  // One look; the timer takes one a second.
  void Check();

 signals:
  void lost();
  void cameBack();

 private:
  enum class State { Off, Watching, Lost, Back };
  State state_ = State::Off;
  PortSystem* system_ = nullptr;
  int com_ = 0;
  std::string identity_;
  QTimer timer_;
};
