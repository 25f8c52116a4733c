#include "inventory/Record.h"

#include <QDir>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>
#include <algorithm>
#include <nlohmann/json.hpp>

#include "profile/Profile.h"

namespace {
using Json = nlohmann::ordered_json;

constexpr qsizetype kMaxText = 256;
constexpr std::size_t kMaxDetails = std::size_t(1) << 20;

std::string Utf8(const QString& text) { return text.toStdString(); }

// A JSON object from text we did not write ourselves: nullopt if it is not one.
std::optional<Json> ObjectFrom(const std::string& text) {
  if (text.empty()) return Json::object();
  Json value = Json::parse(text, nullptr, false);
  if (value.is_discarded() || !value.is_object()) return std::nullopt;
  return value;
}

QString Text(const Json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return QString();
  return QString::fromStdString(it->get<std::string>()).left(kMaxText);
}

int Number(const Json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return -1;
  const auto value = it->get<std::int64_t>();
  return value >= 0 && value <= 65535 ? int(value) : -1;
}

Json Changes(const std::vector<FieldChange>& changes) {
  Json out = Json::array();
  for (const FieldChange& c : changes)
    out.push_back({{"campo", Utf8(c.label)}, {"a", Utf8(c.first)}, {"b", Utf8(c.second)}});
  return out;
}
}  // namespace

RecordContext LocalContext() {
  RecordContext context;
  for (const char* name : {"USER", "USERNAME", "LOGNAME"})
    if (context.user.isEmpty()) context.user = qEnvironmentVariable(name);
  if (context.user.isEmpty()) context.user = QDir::home().dirName();
  context.host = QSysInfo::machineHostName();
  return context;
}

QString UnitKey(const QString& imei, const QString& tsdId) {
  if (!imei.trimmed().isEmpty()) return imei.trimmed();
  if (!tsdId.trimmed().isEmpty()) return "TSD " + tsdId.trimmed();
  return QString();
}

InventoryRecord NewRecord(const QString& operation, const QString& result, const RecordContext& context) {
  InventoryRecord record;
  record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
  record.time = QDateTime::currentDateTimeUtc();
  record.operation = operation;
  record.result = result;
  record.context = context;
  return record;
}

std::string IdentityJson(const UnitIdentity& unit) {
  Json out = Json::object();
  const auto text = [&](const char* key, const QString& value) {
    if (!value.isEmpty()) out[key] = Utf8(value);
  };
  const auto number = [&](const char* key, int value) {
    if (value >= 0) out[key] = value;
  };
  text("imei", unit.imei);
  text("tsdId", unit.tsdId);
  text("fecha", unit.date);
  number("hardware", unit.hardware);
  number("proyecto", unit.project);
  text("nombreProyecto", unit.projectName);
  number("build", unit.build);
  text("modem", unit.modem);
  text("imsi", unit.imsi);
  return out.dump();
}

std::optional<UnitIdentity> IdentityFromJson(const std::string& text) {
  if (text.size() > kMaxDetails) return std::nullopt;
  const auto object = ObjectFrom(text);
  if (!object) return std::nullopt;
  UnitIdentity unit;
  unit.imei = Text(*object, "imei");
  unit.tsdId = Text(*object, "tsdId");
  unit.date = Text(*object, "fecha");
  unit.hardware = Number(*object, "hardware");
  unit.project = Number(*object, "proyecto");
  unit.projectName = Text(*object, "nombreProyecto");
  unit.build = Number(*object, "build");
  unit.modem = Text(*object, "modem");
  unit.imsi = Text(*object, "imsi");
  return unit;
}

QStringList RecordFields(const InventoryRecord& r) {
  return {r.id,
          r.time.toUTC().toString(Qt::ISODateWithMs),
          r.operation,
          r.result,
          r.unit.imei,
          r.unit.tsdId,
          QString::fromStdString(IdentityJson(r.unit)),
          r.context.user,
          r.context.host,
          r.context.port,
          r.context.remote ? "1" : "0",
          r.context.station,
          QString::fromStdString(r.details),
          QString::fromStdString(r.configuration),
          r.origin};
}

std::optional<InventoryRecord> RecordFromFields(const QStringList& f, QString* error) {
  const auto fail = [&](const QString& why) -> std::optional<InventoryRecord> {
    if (error) *error = why;
    return std::nullopt;
  };
  if (f.size() != kRecordFieldCount) return fail("el registro no tiene los campos esperados");
  InventoryRecord r;
  const QUuid id = QUuid::fromString(f[0]);
  if (id.isNull()) return fail("el registro no tiene un identificador valido");
  r.id = id.toString(QUuid::WithoutBraces);
  r.time = QDateTime::fromString(f[1], Qt::ISODateWithMs);
  if (!r.time.isValid()) return fail("la fecha del registro no se puede leer");
  r.time = r.time.toUTC();
  r.operation = f[2];
  if (r.operation.isEmpty() || r.operation.size() > 64) return fail("la operacion del registro no se puede leer");
  r.result = f[3].left(4096);
  const auto unit = IdentityFromJson(f[6].toStdString());
  if (!unit) return fail("la identidad del equipo no se puede leer");
  r.unit = *unit;
  // The columns are what the unit is found by; they win over the JSON.
  r.unit.imei = f[4].left(kMaxText);
  r.unit.tsdId = f[5].left(kMaxText);
  r.context.user = f[7].left(kMaxText);
  r.context.host = f[8].left(kMaxText);
  r.context.port = f[9].left(kMaxText);
  if (f[10] != "0" && f[10] != "1") return fail("el modo local/remoto del registro no se puede leer");
  r.context.remote = f[10] == "1";
  r.context.station = f[11].left(kMaxText);
  r.details = f[12].toStdString();
  if (r.details.size() > kMaxDetails || !ObjectFrom(r.details))
    return fail("los detalles del registro no se pueden leer");
  r.configuration = f[13].toStdString();
  if (!r.configuration.empty()) {
    if (r.configuration.size() > kMaxProfileBytes) return fail("la configuracion guardada es demasiado grande");
    const Json doc = Json::parse(r.configuration, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return fail("la configuracion guardada no se puede leer");
  }
  r.origin = f[14] == "local" ? QString("local") : QString("servidor");
  return r;
}

std::string WriteDetails(const std::vector<BlockEntry>& blocks, const QString& report) {
  Json out = Json::object();
  Json list = Json::array();
  for (const BlockEntry& b : blocks)
    list.push_back({{"bloque", Utf8(b.block)}, {"resultado", Utf8(b.result)}, {"campos", Changes(b.changes)}});
  out["bloques"] = list;
  if (!report.isEmpty()) out["informe"] = Utf8(report);
  return out.dump();
}

std::string CompareDetails(const QString& profileFile, const std::vector<FieldChange>& changes) {
  Json out = Json::object();
  out["perfil"] = Utf8(profileFile);
  out["bloques"] = Json::array({{{"bloque", ""}, {"resultado", ""}, {"campos", Changes(changes)}}});
  return out.dump();
}

std::string FirmwareDetails(const FirmwareRun& run) {
  Json out = Json::object();
  out["archivo"] = Utf8(run.hexFile);
  out["sha256"] = Utf8(run.sha256);
  out["hardware"] = run.hardware;
  out["proyecto"] = run.project;
  out["build"] = run.build;
  out["bytesImagen"] = run.imageSize;
  out["segundos"] = run.seconds;
  return out.dump();
}

std::vector<BlockEntry> DetailsBlocks(const std::string& details) {
  std::vector<BlockEntry> out;
  const auto object = ObjectFrom(details);
  if (!object) return out;
  const auto blocks = object->find("bloques");
  if (blocks == object->end() || !blocks->is_array()) return out;
  for (const Json& b : *blocks) {
    if (!b.is_object()) continue;
    BlockEntry result{Text(b, "bloque"), Text(b, "resultado"), {}};
    const auto fields = b.find("campos");
    if (fields != b.end() && fields->is_array())
      for (const Json& c : *fields)
        if (c.is_object()) result.changes.push_back({Text(c, "campo"), Text(c, "a"), Text(c, "b")});
    out.push_back(std::move(result));
  }
  return out;
}

QByteArray CsvText(const QStringList& header, const std::vector<QStringList>& rows) {
  QByteArray out("\xEF\xBB\xBF");
  const auto line = [&out](const QStringList& cells) {
    QStringList quoted;
    for (QString cell : cells) {
      if (!cell.isEmpty() && QStringLiteral("=+@\t\r").contains(cell.front())) cell.prepend('\'');
      if (cell.contains(QRegularExpression("[\",;\r\n]")) || cell.startsWith(' ') || cell.endsWith(' '))
        cell = '"' + cell.replace('"', "\"\"") + '"';
      quoted << cell;
    }
    out += quoted.join(',').toUtf8() + "\r\n";
  };
  line(header);
  for (const QStringList& row : rows) line(row);
  return out;
}

QString ServerTarget::Describe() const {
  QString where = host.isEmpty() ? QString("localhost") : host;
  if (port > 0) where += ":" + QString::number(port);
  return (user.isEmpty() ? QString() : user + "@") + where + "/" + database;
}

std::optional<ServerTarget> ParseServerUri(const QString& text, QString* error) {
  const auto fail = [&](const QString& why) -> std::optional<ServerTarget> {
    if (error) *error = why;
    return std::nullopt;
  };
  const QString uri = text.trimmed();
  if (uri.isEmpty()) return fail("no hay servidor configurado");
  ServerTarget target;
  QStringList options;
  const auto take = [&](const QString& key, const QString& value) -> bool {
    if (key == "password") return false;
    if (value.contains(';') || value.contains('\'') || value.contains('\\')) return false;
    if (key == "host") target.host = value;
    else if (key == "port") target.port = value.toInt();
    else if (key == "dbname") target.database = value;
    else if (key == "user") target.user = value;
    else options << key + "=" + value;
    return true;
  };
  if (uri.startsWith("postgresql://") || uri.startsWith("postgres://")) {
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid()) return fail("la direccion del servidor no es valida");
    if (!url.password().isEmpty())
      return fail("la contraseña no va en la direccion: pongala en el archivo de contraseñas de PostgreSQL (.pgpass) o de servicio");
    target.host = url.host();
    target.port = url.port(-1);
    target.user = url.userName();
    target.database = url.path().mid(1);
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
      if (!take(key, value)) return fail(QString("opcion no admitida en la direccion: %1").arg(key));
  } else {
    for (const QString& pair : uri.split(' ', Qt::SkipEmptyParts)) {
      const qsizetype eq = pair.indexOf('=');
      if (eq <= 0) return fail("la direccion del servidor no es valida");
      if (!take(pair.left(eq), pair.mid(eq + 1))) return fail(QString("opcion no admitida: %1").arg(pair.left(eq)));
    }
  }
  if (target.port == 0) return fail("el puerto del servidor no es valido");
  // A server that does not answer must not hold a run of the background sender for long.
  if (!std::any_of(options.begin(), options.end(), [](const QString& o) { return o.startsWith("connect_timeout="); }))
    options << "connect_timeout=5";
  target.options = options.join(';');
  return target;
}
