// The window's inventory: every identification, whole read, write, compare,
// verified write and firmware download, recorded on a thread of its own so
// the window never waits for the disk or a server. A failing inventory is
// told once and never stops a unit from being configured.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "inventory/Record.h"
#include "inventory/Share.h"

class InventoryStore;
class QThread;

// The settings' key of the shared server's connection string.
inline constexpr char kInventoryServerKey[] = "inventario/servidor";

class Inventory : public QObject {
  Q_OBJECT

 public:
  // inventory.sqlite in the user's data folder.
  static QString DefaultPath();

  explicit Inventory(QString path, QObject* parent = nullptr);
  ~Inventory() override;

  // The shared server; empty for none. Sharing runs in the background.
  void SetServer(const QString& uri);
  const QString& Server() const { return server_; }
  void ShareNow();
  // Seconds between passes to the server while records wait or others may have recorded.
  void SetShareInterval(int seconds);

  // The unit on the link: forgotten when the link changes, so a record is
  // never put on the unit connected before.
  void LinkChanged();
  void Identified(const RecordContext& context, const UnitIdentity& unit);
  // A whole read with the configuration the unit holds (a profile document).
  void ConfigurationRead(const RecordContext& context, const QString& operation, const QString& result,
                         const QString& tsdId, std::string profile, std::string details = {});
  void Record(const RecordContext& context, const QString& operation, const QString& result,
              std::string details);
  const UnitIdentity& CurrentUnit() const { return unit_; }

  // Reading for the dialog: a connection of the GUI thread's own; null while
  // the file is not usable.
  InventoryStore* Reader();
  const QString& path() const { return path_; }
  int Pending() const { return lastShare_.pending; }
  const ShareResult& LastShare() const { return lastShare_; }
  int Failures() const { return failures_; }
  // Waits until everything handed to the thread so far is done (tests, closing).
  void Wait();

 signals:
  // A problem the technician is told about, once each.
  void Notice(const QString& text);
  void Recorded();
  void Shared();

 private:
  void Submit(InventoryRecord record);
  void Tell(const QString& key, const QString& text);
  bool SameLink(const RecordContext& context) const;

  struct Worker;
  QString path_;
  QString server_;
  QThread* thread_ = nullptr;
  QObject* workerObject_ = nullptr;
  std::shared_ptr<Worker> worker_;
  std::unique_ptr<InventoryStore> reader_;
  bool ready_ = false;
  UnitIdentity unit_;
  RecordContext link_;
  bool linkKnown_ = false;
  ShareResult lastShare_;
  int failures_ = 0;
  QStringList told_;
};
