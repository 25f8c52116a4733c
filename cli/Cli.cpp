#include "cli/Cli.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/Dialogs.h"
#include "cli/Progress.h"
#include "cli/UnitJob.h"
#include "app/WindowSettings.h"
#include "firmware/Firmware.h"
#include "inventory/Inventory.h"
#include "inventory/InventoryCli.h"
#include "inventory/Share.h"
#include "inventory/Store.h"
#include "link/PortList.h"
#include "link/PortNumber.h"
#include "profile/ProfilePage.h"

#ifndef QIREL_VERSION
#define QIREL_VERSION "0"
#endif

namespace {
std::string Std(const QString& text) { return text.toStdString(); }

void Out(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}
void ErrBytes(const std::string& bytes) {
  std::fputs(bytes.c_str(), stderr);
  std::fflush(stderr);
}
void Err(const QString& text) { ErrBytes((text + "\n").toLocal8Bit().toStdString()); }

// What a command needs from the line, checked before any port is opened.
struct Run {
  Run(QCommandLineParser& p, const QString& c) : parser(p), command(c) {}
  QCommandLineParser& parser;
  QString command;
  bool json = false;
  bool quiet = false;
  bool child = false;  // one port of a run over many: report the unit alone
  std::vector<int> ports;
  UnitJob job;
  QStringList passOn;  // the arguments each port's process gets besides --port
};

// A command of the line. Adding one is one entry in kCommands: its options,
// whether it runs once per --port (then RunUnit does the work in the window's
// code) or once in all, and, for the latter, its own run.
struct Command {
  const char* name;
  const char* synopsis;
  const char* description;
  bool perUnit;
  void (*options)(QCommandLineParser&);
  // Checks what only this command reads (files), before anything is sent;
  // an error text refuses the run with exit code 2.
  QString (*prepare)(Run&);
  int (*run)(Run&);  // commands that are not per unit
};

int PortsRun(Run& run);
int UnitsRun(Run& run);
int HistoryRun(Run& run);
int SyncRun(Run& run);
QString NoPrepare(Run&) { return QString(); }
QString ReadPrepare(Run& run);
QString ProfilePrepare(Run& run);
QString WritePrepare(Run& run);
QString FlashPrepare(Run& run);

void NoOptions(QCommandLineParser&) {}
void ServerOption(QCommandLineParser& parser) {
  parser.addOption({"inventory",
                    "El servidor PostgreSQL del inventario compartido (postgresql://...); "
                    "sin ella, el de la configuracion.",
                    "URI"});
}
void HistoryOptions(QCommandLineParser& parser) {
  parser.addPositionalArgument("EQUIPO", "El equipo: su IMEI o su TSD ID.");
}
void ReadOptions(QCommandLineParser& parser) {
  parser.addOption({"output", "El perfil a escribir (con varios puertos, una carpeta).", "FILE"});
  QCommandLineOption folder("output-folder");  // set for each port of a run over many
  folder.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(folder);
}
void ProfileOptions(QCommandLineParser& parser) {
  parser.addPositionalArgument("PROFILE", "El perfil (JSON) a comparar con el equipo.");
}
void WriteOptions(QCommandLineParser& parser) {
  parser.addPositionalArgument("PROFILE", "El perfil (JSON) a escribir en el equipo.");
  parser.addOption({"ids", "CSV de IMEI (o puerto COMn) y TSD ID para cada equipo.", "FILE"});
}

void FlashOptions(QCommandLineParser& parser) {
  parser.addPositionalArgument("FIRMWARE", "El archivo HEX (su nombre indica hardware, proyecto y build).");
  parser.addOption({"allow-same-build", "Cargar aunque el equipo ya tenga ese build."});
  parser.addOption({"allow-older-build", "Cargar un build menor que el del equipo."});
  parser.addOption({"allow-warnings", "Cargar aunque la revision del HEX advierta."});
}

const Command kCommands[] = {
    {"ports", "", "Los puertos serie presentes, como los muestra la lista de puertos.", false,
     NoOptions, NoPrepare, PortsRun},
    {"units", "", "Los equipos del inventario, con su ultima operacion.", false, NoOptions, NoPrepare,
     UnitsRun},
    {"history", "EQUIPO", "La historia de un equipo del inventario (IMEI o TSD ID).", false,
     HistoryOptions, NoPrepare, HistoryRun},
    {"sync", "", "Envia al servidor compartido los registros que esperan y trae los de otros.", false,
     ServerOption, NoPrepare, SyncRun},
    {"identify", "--port N", "La identidad del equipo (hardware, proyecto, build, IMEI...).", true,
     NoOptions, NoPrepare, nullptr},
    {"read", "--port N --output FILE", "Lee todos los bloques (\"Leer todo\") a un perfil.", true,
     ReadOptions, ReadPrepare, nullptr},
    {"write", "--port N PROFILE",
     "Copia de seguridad, escribe lo que difiere, lee de vuelta y verifica (\"Escribir todo\").", true,
     WriteOptions, WritePrepare, nullptr},
    {"compare", "--port N PROFILE", "Los campos que el perfil cambiaria (\"Comparar\").", true,
     ProfileOptions, ProfilePrepare, nullptr},
    {"flash", "--port N FIRMWARE.hex",
     "Revision previa y descarga del firmware, con las comprobaciones de identidad de la ventana.", true,
     FlashOptions, FlashPrepare, nullptr},
};

const Command* FindCommand(const QString& name) {
  for (const Command& command : kCommands)
    if (name == command.name) return &command;
  return nullptr;
}

QString GeneralHelp() {
  QString text = "Uso: qirel-cli ORDEN [opciones]\n\nOrdenes:\n";
  for (const Command& command : kCommands)
    text += QString("  %1 %2\n      %3\n").arg(command.name, -8).arg(command.synopsis, command.description);
  text += "\nComunes: --port N[,M,A-B] --remote ESTACION --json --quiet --timeout SEGUNDOS "
          "--backup-dir CARPETA\n"
          "qirel-cli ORDEN --help muestra las opciones de cada orden.\n"
          "Codigos de salida: 0 hecho, 1 el equipo difiere, 2 uso o archivo rechazado (nada enviado), "
          "3 el puerto no abre, 4 el equipo no responde, 5 firmware rechazado.\n";
  return text;
}

// Nothing of a file refused reaches a unit; the window's error texts are kept.
class QuietDialogs : public Dialogs {
 public:
  void Message(const QString& text) override { said << text; }
  void Error(const QString& text) override { said << text; }
  bool Confirm(const QString&, const QString&) override { return false; }
  bool ChooseFile(FileDialog&) override { return false; }
  QStringList said;
};

QString ProfilePrepare(Run& run) {
  const QStringList positional = run.parser.positionalArguments();
  if (positional.size() != 1) return "se espera un perfil";
  run.job.profilePath = positional.front();
  QuietDialogs* quiet = new QuietDialogs;
  auto previous = SetDialogs(std::unique_ptr<Dialogs>(quiet));
  const std::optional<ProfileJson> profile = ReadProfileFile(run.job.profilePath);
  const QString said = quiet->said.join("; ");
  SetDialogs(std::move(previous));
  if (!profile) return said;
  // The window loads what it can of a damaged file; a script's run must not.
  if (!ProfileFileIsWhole(run.job.profilePath))
    return "el perfil " + run.job.profilePath + " esta dañado o no es un perfil";
  run.job.profile = *profile;
  return QString();
}

QString WritePrepare(Run& run) {
  if (QString refused = ProfilePrepare(run); !refused.isEmpty()) return refused;
  if (!run.parser.isSet("ids")) return QString();
  QFile file(run.parser.value("ids"));
  if (!file.open(QIODevice::ReadOnly)) return "no se pudo abrir " + file.fileName();
  const QByteArray bytes = file.read(qint64(kMaxProfileBytes) + 1);
  if (bytes.size() > qsizetype(kMaxProfileBytes)) return file.fileName() + " es demasiado grande";
  IdTable table = ParseIdTable(std::string_view(bytes.constData(), std::size_t(bytes.size())));
  if (!table.error.empty()) return file.fileName() + ": " + QString::fromStdString(table.error);
  run.job.ids = std::move(table);
  return QString();
}

// A HEX that does not convert is refused here, before any unit is asked.
QString FlashPrepare(Run& run) {
  const QStringList positional = run.parser.positionalArguments();
  if (positional.size() != 1) return "se espera un archivo HEX";
  const QString path = positional.front();
  const auto identity = DecodeHexName(Std(path));
  if (!identity) return path + ": el nombre no indica hardware, proyecto y build (ejemplo: ABC02-017-0456.hex)";
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "no se pudo abrir " + path;
  const QByteArray text = file.readAll();
  const HexConversion conversion =
      ConvertHex({reinterpret_cast<const std::uint8_t*>(text.constData()), std::size_t(text.size())}, *identity);
  if (!conversion.error.empty()) return "No se puede convertir " + path + ": " + QString::fromStdString(conversion.error);
  run.job.firmwarePath = path;
  run.job.allowSameBuild = run.parser.isSet("allow-same-build");
  run.job.allowOlderBuild = run.parser.isSet("allow-older-build");
  run.job.allowWarnings = run.parser.isSet("allow-warnings");
  return QString();
}

QString ReadPrepare(Run& run) {
  if (!run.parser.isSet("output")) return "falta --output";
  run.job.output = run.parser.value("output");
  run.job.outputIsFolder = run.ports.size() > 1 || run.parser.isSet("output-folder");
  if (run.ports.size() > 1) run.passOn << "--output-folder";
  return QString();
}

// The positional arguments a command takes, or why the line is refused.
QString Arguments(const Run& run, int count) {
  const QStringList given = run.parser.positionalArguments();
  if (given.size() > count) return "argumento de mas: " + given[count];
  if (given.size() < count) return "falta un argumento (qirel-cli " + run.command + " --help)";
  return QString();
}

int Refuse(const QString& why) {
  Err("qirel-cli: " + why);
  return int(Exit::Refused);
}

// The shared server: the line's --inventory, else the settings' string.
QString ServerUri(const Run& run) {
  if (run.parser.isSet("inventory")) return run.parser.value("inventory").trimmed();
  const auto settings = UserSettings();
  return settings ? settings->value(kInventoryServerKey).toString().trimmed() : QString();
}

// The local inventory, as the window keeps it; a damaged file is set aside.
std::unique_ptr<InventoryStore> OpenInventory() {
  auto store = std::make_unique<InventoryStore>(Inventory::DefaultPath());
  if (!store->Open()) {
    Err("qirel-cli: el inventario " + store->path() + " no se puede usar: " + store->error());
    return nullptr;
  }
  if (!store->setAside().isEmpty())
    Err("qirel-cli: el inventario estaba dañado; se aparto como " + store->setAside() + " y se empezo uno nuevo");
  return store;
}

int UnitsRun(Run& run) {
  if (const QString refused = Arguments(run, 0); !refused.isEmpty()) return Refuse(refused);
  const auto store = OpenInventory();
  if (!store) return 1;
  QTextStream out(stdout);
  return CliUnits(*store, out, run.json);
}

int HistoryRun(Run& run) {
  if (const QString refused = Arguments(run, 1); !refused.isEmpty()) return Refuse(refused);
  const auto store = OpenInventory();
  if (!store) return 1;
  QTextStream out(stdout), err(stderr);
  return CliHistory(*store, run.parser.positionalArguments().front(), out, err, run.json);
}

int SyncRun(Run& run) {
  if (const QString refused = Arguments(run, 0); !refused.isEmpty()) return Refuse(refused);
  const QString uri = ServerUri(run);
  if (uri.isEmpty()) return Refuse("no hay servidor de inventario: --inventory postgresql://...");
  const auto store = OpenInventory();
  if (!store) return 1;
  QTextStream out(stdout), err(stderr);
  return CliSync(*store, uri, out, err);
}

// What waits in the local inventory goes to the shared server after every
// run; a server out of reach is said, and never changes the run's result.
void ShareAfterRun(const Run& run) {
  const QString uri = ServerUri(run);
  if (uri.isEmpty()) return;
  const auto store = OpenInventory();
  if (!store) return;
  const ShareResult shared = ShareOnce(*store, uri);
  if (run.quiet) return;
  if (shared.error.isEmpty())
    Err(QString("Inventario: %1 registros enviados al servidor, %2 pendientes").arg(shared.sent).arg(shared.pending));
  else
    Err(QString("Inventario: %1 (%2 registros esperan para el servidor)").arg(shared.error).arg(shared.pending));
}

int PortsRun(Run& run) {
  if (const QString refused = Arguments(run, 0); !refused.isEmpty()) return Refuse(refused);
  const std::vector<PortEntry> entries = MakePortSystem()->List();
  ProfileJson list = ProfileJson::array();
  std::string text;
  for (const PortEntry& entry : entries) {
    const std::string port = entry.com > 0 ? "COM" + std::to_string(entry.com) : std::string();
    const std::string use =
        entry.inUse ? "en uso por " + (entry.heldBy.empty() ? std::string("otro programa") : entry.heldBy)
                    : std::string();
    list.push_back({{"port", port}, {"device", entry.device}, {"description", entry.description},
                    {"inUse", entry.inUse}, {"heldBy", entry.heldBy}});
    text += port + "\t" + entry.device + "\t" + entry.description + (use.empty() ? "" : "\t" + use) + "\n";
  }
  if (run.json)
    Out(ProfileJson({{"command", "ports"}, {"ports", list}}).dump(2) + "\n");
  else
    Out(text);
  return 0;
}

std::string UnitText(const ProfileJson& unit) {
  std::string text = unit.value("port", "") + ": " + unit.value("result", "");
  if (unit.contains("seconds")) text += " (" + QString::number(unit["seconds"].get<double>(), 'f', 1).toStdString() + " s)";
  text += "\n";
  if (unit.contains("identity"))
    for (const auto& [key, value] : unit["identity"].items())
      if (!value.get<std::string>().empty()) text += "  " + key + ": " + value.get<std::string>() + "\n";
  if (unit.contains("profile")) text += "  perfil: " + unit["profile"].get<std::string>() + "\n";
  if (unit.contains("blocks"))
    for (const auto& block : unit["blocks"]) {
      text += "  " + block.value("block", "") + ": " + block.value("state", "");
      if (block.contains("reason")) text += " (" + block["reason"].get<std::string>() + ")";
      text += "\n";
      if (block.contains("fields"))
        for (const auto& field : block["fields"])
          text += "    " + field.value("field", "") + ": enviado \"" + field.value("sent", "") +
                  "\", leido \"" + field.value("read", "") + "\"\n";
    }
  if (unit.contains("differences"))
    for (const auto& d : unit["differences"])
      text += "  " + d.value("field", "") + ": equipo \"" + d.value("unit", "") + "\", perfil \"" +
              d.value("profile", "") + "\"\n";
  if (unit.contains("backup")) text += "  copia de seguridad: " + unit["backup"].get<std::string>() + "\n";
  if (unit.contains("error")) text += "  error: " + unit["error"].get<std::string>() + "\n";
  return text;
}

// Each port in a process of its own, all at once; their reports in port order.
std::vector<ProfileJson> RunMany(Run& run) {
  std::vector<std::unique_ptr<QProcess>> processes;
  QEventLoop loop;
  int running = 0;
  // Each unit's progress as whole lines, on its own line of the board.
  ProgressBoard board(run.ports.size(), run.quiet ? 0 : StderrTerminalWidth());
  std::vector<QByteArray> pending(run.ports.size());
  const auto pass = [&](std::size_t unit, bool all) {
    pending[unit] += processes[unit]->readAllStandardError();
    for (qsizetype end; (end = pending[unit].indexOf('\n')) >= 0 || (all && !pending[unit].isEmpty());) {
      if (end < 0) end = pending[unit].size();
      const QByteArray line = pending[unit].left(end).trimmed();
      pending[unit].remove(0, end + 1);
      if (!line.isEmpty()) ErrBytes(board.Update(unit, QString::fromLocal8Bit(line)));
    }
  };
  for (int port : run.ports) {
    const std::size_t unit = processes.size();
    auto process = std::make_unique<QProcess>();
    QObject::connect(process.get(), &QProcess::readyReadStandardError, &loop, [&, unit] { pass(unit, false); });
    QObject::connect(process.get(), &QProcess::finished, &loop, [&, unit] {
      pass(unit, true);
      if (--running == 0) loop.quit();
    });
    // A process that never started sends no finished(); its unit reports no answer.
    QObject::connect(process.get(), &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
      if (e == QProcess::FailedToStart && --running == 0) loop.quit();
    });
    QStringList arguments = {run.command, "--child", "--port", QString::number(port)};
    arguments += run.passOn;
    ++running;
    processes.push_back(std::move(process));
    processes.back()->start(QCoreApplication::applicationFilePath(), arguments);
  }
  if (running > 0) loop.exec();
  std::vector<ProfileJson> units;
  for (std::size_t i = 0; i < processes.size(); ++i) {
    const QByteArray out = processes[i]->readAllStandardOutput();
    ProfileJson unit = ProfileJson::parse(out.toStdString(), nullptr, false);
    if (unit.is_discarded() || !unit.is_object() || !unit.contains("exitCode"))
      unit = {{"port", "COM" + std::to_string(run.ports[i])},
              {"operation", Std(run.command)},
              {"result", "no answer"},
              {"error", "el proceso del puerto terminó sin informe"},
              {"exitCode", int(Exit::NoAnswer)}};
    units.push_back(unit);
  }
  return units;
}

int Finish(const Run& run, const std::vector<ProfileJson>& units, const QString& error) {
  int worst = error.isEmpty() ? 0 : int(Exit::Refused);
  int done = 0;
  for (const ProfileJson& unit : units) {
    const int code = unit.value("exitCode", int(Exit::NoAnswer));
    worst = std::max(worst, code);
    done += code == 0;
  }
  if (run.child) {
    Out((units.empty() ? ProfileJson{{"error", Std(error)}, {"exitCode", worst}} : units.front()).dump() + "\n");
    return worst;
  }
  if (!error.isEmpty()) Err("qirel-cli: " + error);
  if (run.json) {
    ProfileJson doc = {{"command", Std(run.command)}};
    if (!error.isEmpty()) doc["error"] = Std(error);
    doc["units"] = units;
    doc["summary"] = {{"units", units.size()}, {"done", done}, {"exitCode", worst}};
    Out(doc.dump(2) + "\n");
  } else if (!units.empty()) {
    std::string text;
    for (const ProfileJson& unit : units) text += UnitText(unit);
    text += "Resumen: " + std::to_string(done) + " de " + std::to_string(units.size()) +
            " equipos sin fallas; codigo " + std::to_string(worst) + "\n";
    Out(text);
  }
  return worst;
}
}  // namespace

std::optional<int> EarlyAnswer(const QStringList& arguments) {
  if (arguments.size() < 2 || arguments[1] == "--help" || arguments[1] == "-h") {
    Out(Std(GeneralHelp()));
    return arguments.size() < 2 ? int(Exit::Refused) : 0;
  }
  if (arguments[1] == "--version" || arguments[1] == "-v") {
    Out(std::string("qirel-cli ") + QIREL_VERSION + "\n");
    return 0;
  }
  return std::nullopt;
}

int RunCli(const QStringList& arguments) {
  const QString version = QString("qirel-cli %1").arg(QIREL_VERSION);
  if (const std::optional<int> answered = EarlyAnswer(arguments)) return *answered;
  const Command* command = FindCommand(arguments[1]);
  QCommandLineParser parser;
  Run run(parser, arguments[1]);
  run.json = arguments.contains("--json");
  if (!command) return Finish(run, {}, "orden desconocida: " + arguments[1] + " (qirel-cli --help)");

  parser.setApplicationDescription(QString("qirel-cli %1 %2\n%3").arg(command->name, command->synopsis, command->description));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({"json", "Un documento JSON en la salida estandar, tambien si falla."});
  parser.addOption({"quiet", "Sin progreso en la salida de errores."});
  if (command->perUnit) {
    parser.addOption({"port", "Puerto(s): N, una lista y rangos (3,4,7-9).", "N"});
    parser.addOption({"remote", "Estacion remota, a traves del equipo conectado.", "ESTACION"});
    parser.addOption({"timeout", "Segundos de espera del equipo en cada paso (30).", "SEGUNDOS", "30"});
    parser.addOption({"backup-dir", "Carpeta de las copias de seguridad.", "CARPETA"});
    ServerOption(parser);
    QCommandLineOption child("child");
    child.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(child);
  }
  command->options(parser);
  QStringList line = arguments;
  line.removeAt(1);
  if (!parser.parse(line)) return Finish(run, {}, parser.errorText());
  if (parser.isSet("help")) {
    Out(Std(parser.helpText()));
    return 0;
  }
  if (parser.isSet("version")) {
    Out(Std(version) + "\n");
    return 0;
  }
  run.quiet = parser.isSet("quiet");
  if (!command->perUnit) {
    return command->run(run);
  }
  run.child = parser.isSet("child");

  if (!parser.isSet("port")) return Finish(run, {}, "falta --port");
  const PortListResult ports = ParsePortList(Std(parser.value("port")));
  if (!ports.error.empty()) return Finish(run, {}, "--port: " + QString::fromStdString(ports.error));
  run.ports = ports.ports;
  bool ok = false;
  run.job.timeoutSeconds = parser.value("timeout").toInt(&ok);
  if (!ok || run.job.timeoutSeconds <= 0 || run.job.timeoutSeconds > 3600)
    return Finish(run, {}, "--timeout: se esperan segundos, de 1 a 3600");
  if (parser.isSet("remote")) {
    const std::optional<int> station = ComPortNumber(Std(parser.value("remote")));
    if (!station || *station > 0xFFFF) return Finish(run, {}, "--remote: se espera un numero de estacion (1-65535)");
    run.job.remote = *station;
  }
  run.job.backupDir = parser.value("backup-dir");
  run.job.command = run.command;
  // Each port's process gets the line as it came, its own --port aside.
  for (int i = 2; i < arguments.size(); ++i) {
    if (arguments[i] == "--port") {
      ++i;
      continue;
    }
    if (arguments[i].startsWith("--port=")) continue;
    run.passOn << arguments[i];
  }
  if (const QString refused = command->prepare(run); !refused.isEmpty()) return Finish(run, {}, refused);

  std::vector<ProfileJson> units;
  if (run.ports.size() > 1) {
    units = RunMany(run);
  } else {
    run.job.port = run.ports.front();
    const QString prefix = QString("COM%1: ").arg(run.job.port);
    // A unit's process in a run over many writes plain lines; its parent draws them.
    ProgressBoard board(1, run.quiet || run.child ? 0 : StderrTerminalWidth());
    if (!run.quiet) run.job.progress = [&](const QString& text) { ErrBytes(board.Update(0, prefix + text)); };
    units = {RunUnit(run.job)};
  }
  if (!run.child) ShareAfterRun(run);
  return Finish(run, units, QString());
}
