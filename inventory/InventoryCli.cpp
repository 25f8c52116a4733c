#include "inventory/InventoryCli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include "inventory/Share.h"
#include "inventory/Store.h"

namespace {
QString Number(int value) { return value >= 0 ? QString::number(value) : QString(); }

void Table(QTextStream& out, const QStringList& header, const std::vector<QStringList>& rows) {
  std::vector<qsizetype> width(std::size_t(header.size()));
  for (int c = 0; c < header.size(); ++c) width[std::size_t(c)] = header[c].size();
  for (const QStringList& row : rows)
    for (int c = 0; c < row.size(); ++c) width[std::size_t(c)] = std::max(width[std::size_t(c)], row[c].size());
  const auto line = [&](const QStringList& cells) {
    QString text;
    for (int c = 0; c < cells.size(); ++c)
      text += c + 1 < cells.size() ? cells[c].leftJustified(width[std::size_t(c)] + 2) : cells[c];
    out << text << '\n';
  };
  line(header);
  for (const QStringList& row : rows) line(row);
}
}  // namespace

int CliUnits(InventoryStore& store, QTextStream& out, bool json) {
  const std::vector<UnitRow> units = store.Units();
  if (json) {
    QJsonArray list;
    for (const UnitRow& u : units)
      list.append(QJsonObject{{"unit", u.key},         {"imei", u.imei},     {"tsdId", u.tsdId},
                              {"project", u.project},  {"projectName", u.projectName},
                              {"build", u.build},      {"lastSeen", u.lastSeen},
                              {"lastOperation", u.lastOperation}, {"lastResult", u.lastResult}});
    out << QJsonDocument(list).toJson(QJsonDocument::Compact) << '\n';
    return 0;
  }
  std::vector<QStringList> rows;
  for (const UnitRow& u : units)
    rows.push_back({u.key, u.projectName, Number(u.build), u.lastSeen, u.lastOperation, u.lastResult});
  Table(out, {"Equipo", "Proyecto", "Build", "Visto por ultima vez", "Ultima operacion", "Resultado"}, rows);
  return 0;
}

int CliHistory(InventoryStore& store, const QString& unit, QTextStream& out, QTextStream& err, bool json) {
  // The unit as it is known: its IMEI, or its TSD ID with or without the prefix.
  QString key = unit.trimmed();
  std::vector<HistoryRow> history = store.History(key);
  if (history.empty()) {
    for (const UnitRow& u : store.Units(key))
      if (u.imei == key || u.tsdId == key) {
        key = u.key;
        break;
      }
    history = store.History(key);
  }
  if (history.empty()) {
    err << "No hay registros del equipo " << unit << " en el inventario.\n";
    return 2;
  }
  if (json) {
    QJsonArray list;
    for (const HistoryRow& h : history)
      list.append(QJsonObject{{"id", h.id},         {"time", h.time},    {"operation", h.operation},
                              {"result", h.result}, {"user", h.user},    {"host", h.host},
                              {"origin", h.origin}, {"configuration", h.hasConfiguration}});
    out << QJsonDocument(QJsonObject{{"unit", key}, {"history", list}}).toJson(QJsonDocument::Compact) << '\n';
    return 0;
  }
  std::vector<QStringList> rows;
  for (const HistoryRow& h : history)
    rows.push_back({h.time, h.operation, h.result, h.user + "@" + h.host, h.id});
  out << "Equipo " << key << '\n';
  Table(out, {"Hora (UTC)", "Operacion", "Resultado", "Quien", "Registro"}, rows);
  return 0;
}

int CliSync(InventoryStore& store, const QString& uri, QTextStream& out, QTextStream& err) {
  const ShareResult result = ShareOnce(store, uri);
  if (!result.error.isEmpty()) {
    err << result.error << '\n';
    err << result.pending << " registros esperan para el servidor.\n";
    return 1;
  }
  out << "Enviados: " << result.sent << ", recibidos: " << result.received
      << ", pendientes: " << result.pending << '\n';
  if (result.unreadable > 0)
    err << result.unreadable << " registros del servidor no se pudieron leer y se dejaron de lado.\n";
  return 0;
}
