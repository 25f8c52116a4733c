// The inventory database: one connection of its own to an SQLite file (or,
// for sharing, the records of a PostgreSQL server, see Share.h). Every call
// is synchronous and belongs to the thread that opened the store.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "inventory/Record.h"

class QSqlDatabase;
class QSqlQuery;

// The schema this tool writes; older files are migrated on opening.
inline constexpr int kSchemaVersion = 2;
// The first schema's statements, for a test that starts from one.
QStringList FirstSchemaStatements();

struct UnitRow {
  QString key;
  QString imei, tsdId;
  QString projectName;
  int project = -1, build = -1;
  QString lastSeen;  // UTC, ISO
  QString lastOperation, lastResult;
};

struct HistoryRow {
  QString id;
  QString time;
  QString operation, result;
  QString user, host;
  QString origin;
  bool hasConfiguration = false;
};

class InventoryStore {
 public:
  // Opening a file that is damaged sets it aside and starts a new one; the
  // path it was moved to is in setAside().
  explicit InventoryStore(QString path);
  ~InventoryStore();
  InventoryStore(const InventoryStore&) = delete;
  InventoryStore& operator=(const InventoryStore&) = delete;

  bool Open();
  // A second connection to a file another one has opened (and checked): no
  // migration, no check, nothing set aside.
  bool OpenForReading();
  bool IsOpen() const { return open_; }
  const QString& path() const { return path_; }
  const QString& error() const { return error_; }
  const QString& setAside() const { return setAside_; }
  int SchemaVersion();

  // One record in one transaction, with its unit.
  bool Add(const InventoryRecord& record);
  // Records of other tools (from the server): those already here are skipped.
  int AddForeign(const std::vector<InventoryRecord>& records);

  std::vector<UnitRow> Units(const QString& search = {}, int limit = -1);
  std::vector<HistoryRow> History(const QString& unitKey, int limit = -1);
  // A stored record, checked as it is read; nullopt (and error()) when it does not read.
  std::optional<InventoryRecord> Find(const QString& id);
  int RecordCount();

  // The background sender's side: records not yet on the server, oldest first.
  std::vector<InventoryRecord> Pending(int limit);
  int PendingCount();
  bool MarkSent(const QStringList& ids);
  QString Meta(const QString& key);
  bool SetMeta(const QString& key, const QString& value);

 private:
  bool Connect();
  void Disconnect();
  bool Migrate();
  bool Exec(const QString& sql);
  bool Failed(const QSqlQuery& query);
  bool Damaged() const;
  bool SetAside();
  bool AddLocked(const InventoryRecord& record);
  QString ResolveUnit(const UnitIdentity& unit);
  bool Begin();
  bool Commit();
  void Rollback();

  QString path_;
  QString connection_;
  bool open_ = false;
  QString error_;
  QString setAside_;
  int lastNative_ = 0;
};
