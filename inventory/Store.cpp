#include "inventory/Store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>

namespace {
std::atomic<int> connectionCount{0};

// SQLite's result codes for a file that is not, or no longer, a database.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

constexpr char kRecordColumns[] =
    "id, time, operation, result, imei, tsd_id, identity, user_name, host, port, remote, station, "
    "details, configuration, origin";

// A version 4 UUID for every record that had none.
constexpr char kNewUuid[] =
    "lower(hex(randomblob(4))) || '-' || lower(hex(randomblob(2))) || '-4' || "
    "substr(lower(hex(randomblob(2))), 2) || '-' || substr('89ab', 1 + (abs(random()) % 4), 1) || "
    "substr(lower(hex(randomblob(2))), 2) || '-' || lower(hex(randomblob(6)))";

QStringList SecondSchemaStatements() {
  return {
      "ALTER TABLE records ADD COLUMN id TEXT",
      "ALTER TABLE records ADD COLUMN identity TEXT NOT NULL DEFAULT '{}'",
      "ALTER TABLE records ADD COLUMN origin TEXT NOT NULL DEFAULT 'local'",
      "ALTER TABLE records ADD COLUMN sent INTEGER NOT NULL DEFAULT 0",
      QString("UPDATE records SET id = %1 WHERE id IS NULL").arg(kNewUuid),
      "CREATE UNIQUE INDEX records_id ON records(id)",
      "CREATE INDEX records_pending ON records(seq) WHERE sent = 0",
      "CREATE INDEX units_tsd ON units(tsd_id)",
      "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)",
      "UPDATE schema_version SET version = 2",
  };
}

QString Native(const QSqlError& error) { return error.nativeErrorCode(); }
}  // namespace

QStringList FirstSchemaStatements() {
  return {
      "CREATE TABLE units(key TEXT PRIMARY KEY, imei TEXT NOT NULL DEFAULT '', "
      "tsd_id TEXT NOT NULL DEFAULT '', hardware INTEGER NOT NULL DEFAULT -1, "
      "project INTEGER NOT NULL DEFAULT -1, project_name TEXT NOT NULL DEFAULT '', "
      "build INTEGER NOT NULL DEFAULT -1, modem TEXT NOT NULL DEFAULT '', "
      "imsi TEXT NOT NULL DEFAULT '', fw_date TEXT NOT NULL DEFAULT '', first_seen TEXT NOT NULL, "
      "last_seen TEXT NOT NULL, last_operation TEXT NOT NULL DEFAULT '', "
      "last_result TEXT NOT NULL DEFAULT '')",
      "CREATE TABLE records(seq INTEGER PRIMARY KEY AUTOINCREMENT, "
      "unit_key TEXT NOT NULL REFERENCES units(key), time TEXT NOT NULL, operation TEXT NOT NULL, "
      "result TEXT NOT NULL DEFAULT '', imei TEXT NOT NULL DEFAULT '', tsd_id TEXT NOT NULL DEFAULT '', "
      "user_name TEXT NOT NULL DEFAULT '', host TEXT NOT NULL DEFAULT '', port TEXT NOT NULL DEFAULT '', "
      "remote INTEGER NOT NULL DEFAULT 0, station TEXT NOT NULL DEFAULT '', "
      "details TEXT NOT NULL DEFAULT '{}', configuration TEXT NOT NULL DEFAULT '')",
      "CREATE INDEX records_unit ON records(unit_key, time)",
      "INSERT INTO schema_version(version) VALUES (1)",
  };
}

InventoryStore::InventoryStore(QString path)
    : path_(std::move(path)), connection_(QString("qirel-inventory-%1").arg(connectionCount++)) {}

InventoryStore::~InventoryStore() { Disconnect(); }

bool InventoryStore::Exec(const QString& sql) {
  QSqlQuery query(QSqlDatabase::database(connection_, false));
  if (query.exec(sql)) return true;
  lastNative_ = Native(query.lastError()).toInt();
  error_ = query.lastError().text();
  return false;
}

bool InventoryStore::Connect() {
  lastNative_ = 0;
  if (!QSqlDatabase::isDriverAvailable("QSQLITE")) {
    error_ = "No está instalado el controlador SQLite de Qt (libqt6sql6-sqlite): el inventario queda sin usar.";
    return false;
  }
  QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", connection_);
  db.setDatabaseName(path_);
  // Another tool writing at the same moment is waited for, not failed.
  db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=20000");
  if (!db.open()) {
    lastNative_ = Native(db.lastError()).toInt();
    error_ = db.lastError().text();
    return false;
  }
  return Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA foreign_keys=ON") &&
         Exec("PRAGMA synchronous=NORMAL");
}

void InventoryStore::Disconnect() {
  open_ = false;
  if (!QSqlDatabase::contains(connection_)) return;
  QSqlDatabase::database(connection_, false).close();
  QSqlDatabase::removeDatabase(connection_);
}

bool InventoryStore::Damaged() const {
  return lastNative_ == kSqliteCorrupt || lastNative_ == kSqliteNotADatabase;
}

bool InventoryStore::SetAside() {
  Disconnect();
  const QString stamp = QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss");
  QString aside = path_ + ".danado-" + stamp;
  for (int n = 2; QFileInfo::exists(aside); ++n) aside = QString("%1.danado-%2-%3").arg(path_, stamp).arg(n);
  if (!QFile::rename(path_, aside)) return false;
  // Its log goes with it, so the new file does not replay the old one's pages.
  for (const char* suffix : {"-wal", "-shm"})
    if (QFileInfo::exists(path_ + suffix)) QFile::rename(path_ + suffix, aside + suffix);
  setAside_ = aside;
  return true;
}

bool InventoryStore::Failed(const QSqlQuery& query) {
  lastNative_ = Native(query.lastError()).toInt();
  error_ = query.lastError().text();
  return false;
}

bool InventoryStore::Begin() { return Exec("BEGIN IMMEDIATE"); }
bool InventoryStore::Commit() {
  if (Exec("COMMIT")) return true;
  Rollback();
  return false;
}
void InventoryStore::Rollback() {
  QSqlQuery query(QSqlDatabase::database(connection_, false));
  query.exec("ROLLBACK");
}

int InventoryStore::SchemaVersion() {
  QSqlQuery query(QSqlDatabase::database(connection_, false));
  if (!query.exec("SELECT max(version) FROM schema_version") || !query.next()) return 0;
  return query.value(0).toInt();
}

bool InventoryStore::Migrate() {
  if (!Exec("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)")) return false;
  if (!Begin()) return false;
  int version = SchemaVersion();
  if (version > kSchemaVersion) {
    Rollback();
    error_ = QString("El inventario %1 es de una version mas nueva del programa (esquema %2).")
                 .arg(QDir::toNativeSeparators(path_))
                 .arg(version);
    return false;
  }
  // A new file goes through every migration from the first schema on.
  const std::vector<QStringList> steps = {FirstSchemaStatements(), SecondSchemaStatements()};
  for (; version < kSchemaVersion; ++version)
    for (const QString& sql : steps[std::size_t(version)])
      if (!Exec(sql)) {
        Rollback();
        return false;
      }
  // Every table a check: a file whose pages are damaged is found now, not
  // in the middle of a technician's write.
  QSqlQuery check(QSqlDatabase::database(connection_, false));
  if (!check.exec("PRAGMA quick_check") || !check.next() || check.value(0).toString() != "ok") {
    if (lastNative_ == 0) lastNative_ = kSqliteCorrupt;
    check.finish();
    Rollback();
    return false;
  }
  check.finish();
  return Commit();
}

bool InventoryStore::Open() {
  if (open_) return true;
  QDir().mkpath(QFileInfo(path_).absolutePath());
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (Connect() && Migrate()) {
      open_ = true;
      return true;
    }
    const bool damaged = Damaged();
    Disconnect();
    if (!damaged || attempt > 0 || !SetAside()) return false;
  }
  return false;
}

bool InventoryStore::OpenForReading() {
  if (open_) return true;
  if (Connect() && SchemaVersion() == kSchemaVersion) {
    open_ = true;
    return true;
  }
  if (error_.isEmpty()) error_ = "El inventario no tiene el esquema esperado.";
  Disconnect();
  return false;
}

QString InventoryStore::ResolveUnit(const UnitIdentity& unit) {
  const QString imei = unit.imei.trimmed();
  const QString tsd = unit.tsdId.trimmed();
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  if (!imei.isEmpty()) {
    const QString old = UnitKey(QString(), tsd);
    if (!tsd.isEmpty()) {
      // The unit was known by its TSD ID alone until now: it joins its IMEI.
      QSqlQuery q(db);
      q.prepare(
          "INSERT OR IGNORE INTO units(key, imei, tsd_id, hardware, project, project_name, build, modem, "
          "imsi, fw_date, first_seen, last_seen, last_operation, last_result) SELECT ?, ?, tsd_id, hardware, "
          "project, project_name, build, modem, imsi, fw_date, first_seen, last_seen, last_operation, "
          "last_result FROM units WHERE key = ?");
      q.addBindValue(imei);
      q.addBindValue(imei);
      q.addBindValue(old);
      if (!q.exec()) return Failed(q), QString();
      q.prepare("UPDATE records SET unit_key = ? WHERE unit_key = ?");
      q.addBindValue(imei);
      q.addBindValue(old);
      if (!q.exec()) return Failed(q), QString();
      q.prepare("DELETE FROM units WHERE key = ?");
      q.addBindValue(old);
      if (!q.exec()) return Failed(q), QString();
    }
    return imei;
  }
  if (!tsd.isEmpty()) {
    QSqlQuery q(db);
    q.prepare("SELECT key FROM units WHERE tsd_id = ? AND imei <> '' ORDER BY last_seen DESC LIMIT 1");
    q.addBindValue(tsd);
    if (q.exec() && q.next()) return q.value(0).toString();
    return UnitKey(QString(), tsd);
  }
  return kUnknownUnit;
}

bool InventoryStore::AddLocked(const InventoryRecord& r) {
  const QString key = ResolveUnit(r.unit);
  if (key.isEmpty()) return false;
  const QString time = r.time.toUTC().toString(Qt::ISODateWithMs);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare("INSERT OR IGNORE INTO units(key, first_seen, last_seen) VALUES (?, ?, ?)");
  q.addBindValue(key);
  q.addBindValue(time);
  q.addBindValue(time);
  if (!q.exec()) return Failed(q);
  // What the unit reported last stays; an older record from the server adds
  // to the history only.
  q.prepare(
      "UPDATE units SET imei = CASE WHEN :imei <> '' THEN :imei ELSE imei END, "
      "tsd_id = CASE WHEN :tsd <> '' THEN :tsd ELSE tsd_id END, "
      "hardware = CASE WHEN :hardware >= 0 THEN :hardware ELSE hardware END, "
      "project = CASE WHEN :project >= 0 THEN :project ELSE project END, "
      "project_name = CASE WHEN :project >= 0 THEN :name ELSE project_name END, "
      "build = CASE WHEN :build >= 0 THEN :build ELSE build END, "
      "modem = CASE WHEN :modem <> '' THEN :modem ELSE modem END, "
      "imsi = CASE WHEN :imsi <> '' THEN :imsi ELSE imsi END, "
      "fw_date = CASE WHEN :date <> '' THEN :date ELSE fw_date END, "
      "last_seen = :time, last_operation = :operation, last_result = :result "
      "WHERE key = :key AND last_seen <= :time");
  const UnitIdentity& u = r.unit;
  q.bindValue(":imei", u.imei.trimmed());
  q.bindValue(":tsd", u.tsdId.trimmed());
  q.bindValue(":hardware", u.hardware);
  q.bindValue(":project", u.project);
  q.bindValue(":name", u.projectName);
  q.bindValue(":build", u.build);
  q.bindValue(":modem", u.modem);
  q.bindValue(":imsi", u.imsi);
  q.bindValue(":date", u.date);
  q.bindValue(":time", time);
  q.bindValue(":operation", r.operation);
  q.bindValue(":result", r.result);
  q.bindValue(":key", key);
  if (!q.exec()) return Failed(q);
  q.prepare("UPDATE units SET first_seen = ? WHERE key = ? AND first_seen > ?");
  q.addBindValue(time);
  q.addBindValue(key);
  q.addBindValue(time);
  if (!q.exec()) return Failed(q);
  q.prepare(QString("INSERT INTO records(%1, unit_key, sent) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                .arg(kRecordColumns));
  const QStringList fields = RecordFields(r);
  // Never NULL: an empty text is an empty text.
  for (int i = 0; i < fields.size(); ++i)
    q.addBindValue(i == 10 ? QVariant(r.context.remote ? 1 : 0) : QVariant(fields[i].isNull() ? QString("") : fields[i]));
  q.addBindValue(key);
  q.addBindValue(r.origin == "local" ? 0 : 1);
  if (q.exec()) return true;
  lastNative_ = Native(q.lastError()).toInt();
  error_ = q.lastError().text();
  return false;
}

bool InventoryStore::Add(const InventoryRecord& record) {
  if (!open_ || !Begin()) return false;
  if (!AddLocked(record)) {
    Rollback();
    return false;
  }
  return Commit();
}

int InventoryStore::AddForeign(const std::vector<InventoryRecord>& records) {
  if (!open_ || !Begin()) return -1;
  int added = 0;
  QSqlQuery known(QSqlDatabase::database(connection_, false));
  known.prepare("SELECT 1 FROM records WHERE id = ?");
  for (const InventoryRecord& record : records) {
    known.addBindValue(record.id);
    if (!known.exec()) {
      Rollback();
      return -1;
    }
    const bool here = known.next();
    known.finish();
    if (here) continue;
    if (!AddLocked(record)) {
      Rollback();
      return -1;
    }
    ++added;
  }
  return Commit() ? added : -1;
}

std::vector<UnitRow> InventoryStore::Units(const QString& search, int limit) {
  std::vector<UnitRow> out;
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.setForwardOnly(true);
  QString sql =
      "SELECT key, imei, tsd_id, project_name, project, build, last_seen, last_operation, last_result "
      "FROM units";
  const QString needle = search.trimmed();
  if (!needle.isEmpty())
    sql += " WHERE instr(lower(key || ' ' || imei || ' ' || tsd_id || ' ' || project_name || ' ' || "
           "CASE WHEN build >= 0 THEN build ELSE '' END || ' ' || imsi), lower(?)) > 0";
  sql += " ORDER BY last_seen DESC";
  if (limit > 0) sql += " LIMIT " + QString::number(limit);
  q.prepare(sql);
  if (!needle.isEmpty()) q.addBindValue(needle);
  if (!q.exec()) {
    error_ = q.lastError().text();
    return out;
  }
  while (q.next())
    out.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                   q.value(4).toInt(), q.value(5).toInt(), q.value(6).toString(), q.value(7).toString(),
                   q.value(8).toString()});
  return out;
}

std::vector<HistoryRow> InventoryStore::History(const QString& unitKey, int limit) {
  std::vector<HistoryRow> out;
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.setForwardOnly(true);
  QString sql =
      "SELECT id, time, operation, result, user_name, host, origin, configuration <> '' FROM records "
      "WHERE unit_key = ? ORDER BY time DESC, seq DESC";
  if (limit > 0) sql += " LIMIT " + QString::number(limit);
  q.prepare(sql);
  q.addBindValue(unitKey);
  if (!q.exec()) {
    error_ = q.lastError().text();
    return out;
  }
  while (q.next())
    out.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                   q.value(4).toString(), q.value(5).toString(), q.value(6).toString(), q.value(7).toBool()});
  return out;
}

std::optional<InventoryRecord> InventoryStore::Find(const QString& id) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QString("SELECT %1 FROM records WHERE id = ?").arg(kRecordColumns));
  q.addBindValue(id);
  if (!q.exec() || !q.next()) {
    error_ = "El registro no está en el inventario.";
    return std::nullopt;
  }
  QStringList fields;
  for (int i = 0; i < kRecordFieldCount; ++i) fields << q.value(i).toString();
  QString why;
  auto record = RecordFromFields(fields, &why);
  if (!record) error_ = "El registro guardado no se puede leer: " + why + ".";
  return record;
}

int InventoryStore::RecordCount() {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  return q.exec("SELECT count(*) FROM records") && q.next() ? q.value(0).toInt() : -1;
}

std::vector<InventoryRecord> InventoryStore::Pending(int limit) {
  std::vector<InventoryRecord> out;
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.setForwardOnly(true);
  q.prepare(QString("SELECT %1 FROM records WHERE sent = 0 ORDER BY seq LIMIT ?").arg(kRecordColumns));
  q.addBindValue(limit);
  if (!q.exec()) {
    error_ = q.lastError().text();
    return out;
  }
  while (q.next()) {
    QStringList fields;
    for (int i = 0; i < kRecordFieldCount; ++i) fields << q.value(i).toString();
    if (auto record = RecordFromFields(fields)) out.push_back(std::move(*record));
  }
  return out;
}

int InventoryStore::PendingCount() {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  return q.exec("SELECT count(*) FROM records WHERE sent = 0") && q.next() ? q.value(0).toInt() : -1;
}

bool InventoryStore::MarkSent(const QStringList& ids) {
  if (ids.isEmpty()) return true;
  if (!Begin()) return false;
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare("UPDATE records SET sent = 1 WHERE id = ?");
  for (const QString& id : ids) {
    q.addBindValue(id);
    if (!q.exec()) {
      Rollback();
      return false;
    }
  }
  return Commit();
}

QString InventoryStore::Meta(const QString& key) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare("SELECT value FROM meta WHERE key = ?");
  q.addBindValue(key);
  return q.exec() && q.next() ? q.value(0).toString() : QString();
}

bool InventoryStore::SetMeta(const QString& key, const QString& value) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare("INSERT OR REPLACE INTO meta(key, value) VALUES (?, ?)");
  q.addBindValue(key);
  q.addBindValue(value);
  return q.exec();
}
