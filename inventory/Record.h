// What the inventory keeps of a unit and of each operation on it, as plain
// values: no database and no widgets here, so the window, the command line,
// the tests and the fuzz targets share them.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

// The unit as it reported itself (never what the tool last wrote to it).
struct UnitIdentity {
  QString imei;
  QString tsdId;
  QString date;
  int hardware = -1;  // -1: not reported in this record
  int project = -1;
  QString projectName;
  int build = -1;
  QString modem;
  QString imsi;
};

// Where and by whom an operation was done.
struct RecordContext {
  QString user;
  QString host;
  QString port;
  bool remote = false;
  QString station;
};
// The PC's user and host name.
RecordContext LocalContext();

// Operation names as stored and shown.
namespace Operation {
inline const QString kIdentification = "Identificacion";
inline const QString kReadAll = "Leer todo";
inline const QString kBackup = "Copia antes de escribir";
inline const QString kWrite = "Escribir todo";
inline const QString kCompare = "Comparar";
inline const QString kVerifiedWrite = "Escritura verificada";
inline const QString kFirmware = "DownLoad";
}  // namespace Operation

struct InventoryRecord {
  QString id;      // a UUID, the record's own for good (also on a shared server)
  QDateTime time;  // UTC
  QString operation;
  QString result;
  UnitIdentity unit;
  RecordContext context;
  std::string details;        // JSON object text: blocks, differences, firmware
  std::string configuration;  // a profile document (compact JSON), or empty
  QString origin = "local";   // "local", or "servidor" for another tool's record
};

// A unit is known by its IMEI, else by its "TSD ID"; empty when neither is known.
QString UnitKey(const QString& imei, const QString& tsdId);
inline const QString kUnknownUnit = "(sin identificar)";

// A new record: its own id, the time now in UTC.
InventoryRecord NewRecord(const QString& operation, const QString& result, const RecordContext& context);

// A record as it comes back from a database row, checked like any file: the
// fields in the order of RecordFields(). Nullopt (and why, in `error`) for a
// row that does not read.
inline constexpr int kRecordFieldCount = 15;
QStringList RecordFields(const InventoryRecord& record);
std::optional<InventoryRecord> RecordFromFields(const QStringList& fields, QString* error = nullptr);

// The identity as a compact JSON object, and back (unknown keys ignored).
std::string IdentityJson(const UnitIdentity& unit);
std::optional<UnitIdentity> IdentityFromJson(const std::string& text);

// Differing fields and per-block results in the details object.
struct FieldChange {
  QString label;
  QString first;   // sent / the unit's
  QString second;  // read back / the profile's
};
struct BlockEntry {
  QString block;
  QString result;
  std::vector<FieldChange> changes;
};
std::string WriteDetails(const std::vector<BlockEntry>& blocks, const QString& report);
std::string CompareDetails(const QString& profileFile, const std::vector<FieldChange>& changes);
struct FirmwareRun {
  QString hexFile;
  QString sha256;  // of the HEX file's bytes, hexadecimal
  int hardware = -1, project = -1, build = -1;
  qint64 imageSize = 0;
  double seconds = 0;
};
std::string FirmwareDetails(const FirmwareRun& run);
// The blocks of a details object, for showing; empty for other details.
std::vector<BlockEntry> DetailsBlocks(const std::string& details);

// A table as CSV text: UTF-8 with a byte order mark, CRLF lines, fields
// quoted where needed. A cell that a spreadsheet would take for a formula
// is given a leading apostrophe.
QByteArray CsvText(const QStringList& header, const std::vector<QStringList>& rows);

// A PostgreSQL connection string (postgresql://user@host:port/db?opt=v, or
// libpq's key=value form) as the driver's parts. A password in the string is
// refused: it belongs in PostgreSQL's password or service file.
struct ServerTarget {
  QString host;  // a name, or a folder holding the server's Unix socket
  int port = -1;
  QString database;
  QString user;
  QString options;  // the rest, "key=value;key=value" for QPSQL (sslmode, service…)
  QString Describe() const;
};
std::optional<ServerTarget> ParseServerUri(const QString& uri, QString* error = nullptr);
