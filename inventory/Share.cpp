#include "inventory/Share.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>

#include "inventory/Store.h"

namespace {
std::atomic<int> serverConnections{0};
constexpr int kBatch = 200;

constexpr char kCreate[] =
    "CREATE TABLE IF NOT EXISTS qirel_records(seq BIGSERIAL PRIMARY KEY, id UUID NOT NULL UNIQUE, "
    "time_utc TEXT NOT NULL, operation TEXT NOT NULL, result TEXT NOT NULL, imei TEXT NOT NULL, "
    "tsd_id TEXT NOT NULL, identity TEXT NOT NULL, user_name TEXT NOT NULL, host TEXT NOT NULL, "
    "port TEXT NOT NULL, remote INTEGER NOT NULL, station TEXT NOT NULL, details TEXT NOT NULL, "
    "configuration TEXT NOT NULL, received TIMESTAMPTZ NOT NULL DEFAULT now())";
constexpr char kColumns[] =
    "id, time_utc, operation, result, imei, tsd_id, identity, user_name, host, port, remote, station, "
    "details, configuration";

// Closes and forgets the connection however the pass ends.
class ServerConnection {
 public:
  ServerConnection() : name_(QString("qirel-share-%1").arg(serverConnections++)) {}
  ~ServerConnection() {
    if (!QSqlDatabase::contains(name_)) return;
    QSqlDatabase::database(name_, false).close();
    QSqlDatabase::removeDatabase(name_);
  }
  QSqlDatabase Add() { return QSqlDatabase::addDatabase("QPSQL", name_); }
  QSqlDatabase Get() const { return QSqlDatabase::database(name_, false); }

 private:
  QString name_;
};

QString Failed(const QString& what, const QSqlError& error) {
  return what + ": " + error.text().trimmed();
}
}  // namespace

ShareResult ShareOnce(InventoryStore& local, const QString& uri) {
  ShareResult result;
  result.pending = local.PendingCount();
  QString why;
  const auto target = ParseServerUri(uri, &why);
  if (!target) {
    result.error = why;
    return result;
  }
  if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
    result.error =
        "No está instalado el controlador PostgreSQL de Qt (libqt6sql6-psql): los registros esperan en este equipo.";
    return result;
  }
  ServerConnection connection;
  {
    QSqlDatabase db = connection.Add();
    if (!target->host.isEmpty()) db.setHostName(target->host);
    if (target->port > 0) db.setPort(target->port);
    if (!target->database.isEmpty()) db.setDatabaseName(target->database);
    if (!target->user.isEmpty()) db.setUserName(target->user);
    db.setConnectOptions(target->options);
    if (!db.open()) {
      result.error = Failed("No se pudo conectar con " + target->Describe(), db.lastError());
      return result;
    }
    result.reachable = true;
    QSqlQuery q(db);
    if (!q.exec(kCreate)) {
      result.error = Failed("El servidor no acepta la tabla del inventario", q.lastError());
      return result;
    }

    // Up: the id is unique on the server, so a record whose mark got lost
    // here is sent again and taken once.
    for (;;) {
      const std::vector<InventoryRecord> batch = local.Pending(kBatch);
      if (batch.empty()) break;
      if (!db.transaction()) {
        result.error = Failed("El servidor no abre una transaccion", db.lastError());
        return result;
      }
      q.prepare(QString("INSERT INTO qirel_records(%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                        "ON CONFLICT (id) DO NOTHING")
                    .arg(kColumns));
      QStringList ids;
      for (const InventoryRecord& record : batch) {
        const QStringList fields = RecordFields(record);
        for (int i = 0; i < kRecordFieldCount - 1; ++i)
          q.addBindValue(i == 10 ? QVariant(record.context.remote ? 1 : 0)
                                 : QVariant(fields[i].isNull() ? QString("") : fields[i]));
        if (!q.exec()) {
          result.error = Failed("El servidor no acepto un registro", q.lastError());
          db.rollback();
          return result;
        }
        ids << record.id;
      }
      if (!db.commit()) {
        result.error = Failed("El servidor no confirmo los registros", db.lastError());
        return result;
      }
      if (!local.MarkSent(ids)) {
        result.error = "Los registros llegaron al servidor pero no se pudieron marcar aqui: " + local.error();
        return result;
      }
      result.sent += int(ids.size());
      if (int(batch.size()) < kBatch) break;
    }

    // Down: what the others recorded, from where the last pass left off.
    const QString mark = "servidor " + target->Describe();
    qlonglong last = local.Meta(mark).toLongLong();
    for (;;) {
      q.prepare(QString("SELECT seq, id::text, time_utc, operation, result, imei, tsd_id, identity, user_name, "
                        "host, port, remote::text, station, details, configuration FROM qirel_records "
                        "WHERE seq > ? ORDER BY seq LIMIT %1")
                    .arg(kBatch));
      q.addBindValue(last);
      if (!q.exec()) {
        result.error = Failed("No se pudieron leer los registros del servidor", q.lastError());
        return result;
      }
      std::vector<InventoryRecord> records;
      int rows = 0;
      while (q.next()) {
        ++rows;
        last = q.value(0).toLongLong();
        QStringList fields;
        for (int i = 1; i < kRecordFieldCount; ++i) fields << q.value(i).toString();
        fields << "servidor";
        if (auto record = RecordFromFields(fields))
          records.push_back(std::move(*record));
        else
          ++result.unreadable;
      }
      const int added = local.AddForeign(records);
      if (added < 0 || !local.SetMeta(mark, QString::number(last))) {
        result.error = "No se pudieron guardar aqui los registros del servidor: " + local.error();
        return result;
      }
      result.received += added;
      if (rows < kBatch) break;
    }
  }
  result.pending = local.PendingCount();
  return result;
}
