#include "cli/UnitJob.h"

#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "app/Dialogs.h"
#include "app/Files.h"
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/SafeConfig.h"
#include "firmware/DownLoad.h"
#include "firmware/Firmware.h"
#include "inventory/Inventory.h"
#include "profile/ProfilePage.h"
#include "protocol/Protocol.h"

namespace {
std::string Std(const QString& text) { return text.toStdString(); }

// Nothing is shown, and no question is answered "yes" unless the job's
// options allow that one; what a dialog would have said is kept for the report.
class JobDialogs : public Dialogs {
 public:
  void Message(const QString& text) override { said << text; }
  void Error(const QString& text) override { said << text; }
  bool Confirm(const QString& caption, const QString& text) override {
    said << caption + ": " + text;
    return answer && answer(caption);
  }
  bool ChooseFile(FileDialog& dialog) override {
    const QString& chosen = dialog.kind == FileDialog::Kind::Save ? saveFile : file;
    if (chosen.isEmpty()) return false;
    dialog.fileName = chosen;
    return true;
  }
  QString Last() const { return said.isEmpty() ? QString() : said.last(); }

  QStringList said;
  QString file;
  QString saveFile;  // what a save dialog chooses
  std::function<bool(const QString& caption)> answer;
  std::function<int(QDialog&)> modal;
  int Modal(QDialog& dialog) override { return modal ? modal(dialog) : 0; }
};

// Waits in the event loop, so the window's timers and the reader go on.
bool WaitFor(const std::function<bool()>& done, int seconds) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll;
  QElapsedTimer clock;
  clock.start();
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done() || clock.elapsed() > qint64(seconds) * 1000) loop.quit();
  });
  poll.start(5);
  loop.exec();
  return done();
}

// "IMEI:\t\t\t8612..." -> "8612...".
QString LabelValue(const QLabel* label) { return label->text().section(':', 1).trimmed(); }

ProfileJson Identity(const TForm1& f) {
  ProfileJson id = ProfileJson::object();
  const std::pair<const char*, const QLabel*> labels[] = {
      {"date", f.Label26},  {"hardware", f.Label27}, {"project", f.Label21}, {"build", f.Label25},
      {"modem", f.Label22}, {"imei", f.Label24},     {"imsi", f.Label23}};
  for (const auto& [key, label] : labels) id[key] = Std(LabelValue(label));
  return id;
}

const char* StateName(BlockResult::State state) {
  switch (state) {
    case BlockResult::State::Unchanged:
      return "unchanged";
    case BlockResult::State::Verified:
      return "verified";
    case BlockResult::State::Failed:
      return "failed";
    case BlockResult::State::NotRead:
      return "not read";
  }
  return "";
}

// The way a run ended early, as the exit code tells it.
Exit EndingCode(const QString& ending) {
  if (ending.contains("no respondió") || ending.contains("perdió")) return Exit::NoAnswer;
  return Exit::Differs;
}

class Job {
 public:
  explicit Job(const UnitJob& job) : job_(job) {
    previousDialogs_ = SetDialogs(std::unique_ptr<Dialogs>(dialogs_ = new JobDialogs));
    dialogs_->modal = [this](QDialog& dialog) { return Modal(dialog); };
    clock_.start();
    report_["port"] = "COM" + std::to_string(job.port);
    if (job.remote) report_["remote"] = *job.remote;
    report_["operation"] = Std(job.command);
  }
  ~Job() {
    form_.reset();
    SetDialogs(std::move(previousDialogs_));
  }

  ProfileJson Run() {
    Exit code = Go();
    dialogs_->answer = nullptr;  // it answered from the run's own state
    if (form_ && form_->IsConnected()) form_->BitBtn2Click();
    report_["result"] = ResultText(code);
    report_["seconds"] = double(clock_.elapsed()) / 1000.0;
    if (!error_.isEmpty()) report_["error"] = Std(error_);
    report_["exitCode"] = int(code);
    return report_;
  }

 private:
  Exit Fail(Exit code, const QString& error) {
    error_ = error;
    return code;
  }

  const char* ResultText(Exit code) const {
    switch (code) {
      case Exit::Done:
        return job_.command == "compare" ? "equal" : job_.command == "write" ? "verified" : "done";
      case Exit::Differs:
        return job_.command == "compare" ? "differs" : "not verified";
      case Exit::Refused:
        return "refused";
      case Exit::PortFailed:
        return "port failed";
      case Exit::NoAnswer:
        return "no answer";
      case Exit::FirmwareRefused:
        return "firmware refused";
    }
    return "";
  }

  int Modal(QDialog& dialog) {
    if (dialog.objectName() == "compareDialog") {
      ProfileJson rows = ProfileJson::array();
      if (auto* table = dialog.findChild<QTableWidget*>("compareTable"))
        for (int r = 0; r < table->rowCount(); ++r)
          rows.push_back({{"field", Std(table->item(r, 0)->text())},
                          {"unit", Std(table->item(r, 1)->text())},
                          {"profile", Std(table->item(r, 2)->text())}});
      compared_ = rows;
    }
    return int(QDialog::Rejected);
  }

  void Progress(const QString& text) {
    if (job_.progress) job_.progress(text);
  }

  // The run's steps as they go, block by block.
  void FollowRun() {
    QObject::connect(form_->sequenceProgress, &QProgressBar::valueChanged, form_.get(), [this](int done) {
      const int total = form_->sequenceProgress->maximum();
      if (done > 0) Progress(QString("%1 %2/%3").arg(phase_).arg(done).arg(total));
    });
  }

  bool RunDone() {
    return WaitFor([this] { return !form_->safeConfig->Busy(); }, job_.timeoutSeconds);
  }

  Exit Go() {
    form_ = std::make_unique<TForm1>();
    TForm1& f = *form_;
    if (!job_.backupDir.isEmpty()) f.safeConfig->backupFolder = job_.backupDir;
    // The unit's records stay in the local inventory; the run's first process
    // sends them to the shared server once every unit is done.
    if (f.inventory) f.inventory->SetServer(QString());
    // A profile that does not load stops the unit before anything is sent.
    if (job_.profile) {
      try {
        LoadProfileIntoPage(f, *job_.profile);
      } catch (const std::exception& e) {
        return Fail(Exit::Refused, "perfil " + job_.profilePath + ": " + e.what());
      }
    }
    if (job_.remote) {
      f.RadioGroup2->setItemIndex(1);
      f.RadioGroup2Click();
      f.Edit3->setText(QString::number(*job_.remote));
    }
    f.LabeledEdit1->setText(QString::number(job_.port));
    f.Guarded([&f] { f.BitBtn1Click(); });
    if (!f.IsConnected()) return Fail(Exit::PortFailed, dialogs_->Last().replace('\n', ": "));
    FollowRun();

    Progress("Identificar");
    f.Label24->clear();
    f.BitBtn7Click();
    // The reply goes to the dispatcher as soon as it is in, as a run's replies
    // do, not at the dispatcher's next 500 ms tick.
    const auto identified = [&f] {
      if (replyLength != 0 && replyType == Number(Request::Identify)) f.Timer2Timer();
      return !f.Label24->text().isEmpty();
    };
    if (!WaitFor(identified, job_.timeoutSeconds))
      return Fail(Exit::NoAnswer, "El equipo no respondió a la identificación.");
    report_["identity"] = Identity(f);
    if (job_.command == "identify") return Exit::Done;
    if (job_.command == "read") return Read();
    if (job_.command == "write") return Write();
    if (job_.command == "compare") return Compare();
    if (job_.command == "flash") return Flash();
    return Fail(Exit::Refused, "orden desconocida: " + job_.command);
  }

  // "Leer todo": every block the unit's pages show, or the reason it stopped.
  Exit ReadUnit() {
    TForm1& f = *form_;
    const std::size_t blocks = f.safeConfig->ShownBlocks().size();
    f.safeConfig->ReadAll();
    if (!RunDone()) return Fail(Exit::NoAnswer, "tiempo agotado");
    const QString report = f.safeConfig->LastReport();
    if (!report.startsWith(QString("Estado: Leer todo: %1 de %1 bloques leidos").arg(blocks)) ||
        report.contains("fallaron"))
      return Fail(Exit::NoAnswer, report.mid(QString("Estado: ").size()));
    return Exit::Done;
  }

  Exit Read() {
    TForm1& f = *form_;
    phase_ = "Leer todo";
    if (const Exit read = ReadUnit(); read != Exit::Done) return read;
    QString path = job_.output;
    if (job_.outputIsFolder) {
      if (!QDir().mkpath(job_.output))
        return Fail(Exit::Refused, "no se pudo crear la carpeta " + job_.output);
      path = ClaimBackupPath(job_.output, f.safeConfig->BackupIdentity(),
                             QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss"));
      if (path.isEmpty()) return Fail(Exit::Refused, "no se pudo crear un archivo en " + job_.output);
    }
    const std::string text = PageProfileText(f);
    if (!WriteWholeFile(path, text.data(), text.size()))
      return Fail(Exit::Refused, "no se pudo guardar el perfil en " + QDir::toNativeSeparators(path));
    report_["profile"] = Std(QDir::toNativeSeparators(path));
    return Exit::Done;
  }

  // The profile goes on top of what the unit holds, as "Comparar" then
  // "Aplicar al equipo" does: fields a profile does not carry (the digital
  // output, the inputs' kind, the gateway's data types) stay the unit's
  // instead of the new window's defaults. The unit keeps its own TSD ID unless
  // the table gives it one.
  Exit Write() {
    TForm1& f = *form_;
    QString id;
    if (job_.ids) {
      const auto given = IdFor(*job_.ids, Std(LabelValue(f.Label24)), job_.port);
      // Only the identification went out: 2 promises that nothing did.
      if (!given) return Fail(Exit::Differs, "la tabla de IDs no nombra este equipo; no se escribió");
      id = QString::number(*given);
    }
    phase_ = "Leer todo";
    if (const Exit read = ReadUnit(); read != Exit::Done) return read;
    if (id.isEmpty()) id = f.Edit16->text();
    LoadProfileIntoPage(f, *job_.profile);  // loaded once already: it cannot throw now
    f.Edit16->setText(id);
    report_["tsdId"] = Std(id);

    phase_ = "Escribir todo";
    f.safeConfig->WriteAll();
    if (!RunDone()) return Fail(Exit::NoAnswer, "tiempo agotado");
    const QString ending = f.safeConfig->LastEnding();
    if (!f.safeConfig->LastBackup().isEmpty())
      report_["backup"] = Std(QDir::toNativeSeparators(f.safeConfig->LastBackup()));
    ProfileJson blocks = ProfileJson::array();
    bool failed = false;
    for (const BlockResult& result : f.safeConfig->Results()) {
      ProfileJson block = {{"block", result.block->name}, {"state", StateName(result.state)}};
      if (!result.reason.isEmpty()) block["reason"] = Std(result.reason);
      if (!result.differences.empty()) {
        ProfileJson fields = ProfileJson::array();
        for (const FieldDifference& d : result.differences)
          fields.push_back({{"field", Std(d.label)}, {"sent", Std(d.first)}, {"read", Std(d.second)}});
        block["fields"] = fields;
      }
      failed = failed || result.state == BlockResult::State::Failed ||
               result.state == BlockResult::State::NotRead;
      blocks.push_back(block);
    }
    report_["blocks"] = blocks;
    if (!ending.isEmpty()) return Fail(EndingCode(ending), ending);
    if (failed) return Fail(Exit::Differs, "hay bloques sin verificar");
    return Exit::Done;
  }

  Exit Compare() {
    TForm1& f = *form_;
    phase_ = "Comparar";
    dialogs_->file = job_.profilePath;
    compared_.reset();
    f.safeConfig->Compare();
    if (!RunDone()) return Fail(Exit::NoAnswer, "tiempo agotado");
    if (!compared_) return Fail(Exit::NoAnswer, f.safeConfig->LastReport().mid(QString("Estado: ").size()));
    report_["differences"] = *compared_;
    return compared_->empty() ? Exit::Done : Exit::Differs;
  }

  // The window's "Seleccionar HEX" and "Iniciar DownLoad", its questions
  // answered from the options, the image converted into a folder of our own.
  Exit Flash() {
    TForm1& f = *form_;
    const auto image = DecodeHexName(Std(job_.firmwarePath));
    if (!image) return Fail(Exit::Refused, "el nombre del HEX no indica hardware, proyecto y build");
    const int unitBuild = LabelValue(f.Label25).toInt();
    QTemporaryDir scratch;
    dialogs_->file = job_.firmwarePath;
    dialogs_->saveFile = scratch.filePath("image.bin");
    ProfileJson questions = ProfileJson::array();
    bool refused = false;
    dialogs_->answer = [&](const QString& caption) {
      bool yes = false;
      if (caption == "Advertencia de direcciones") yes = job_.allowWarnings;
      if (caption == "Error de build")
        yes = image->build == unitBuild ? job_.allowSameBuild : job_.allowOlderBuild;
      questions.push_back({{"question", Std(caption)}, {"answer", yes ? "yes" : "no"}});
      refused = refused || !yes;
      return yes;
    };
    f.BitBtn22Click();
    if (f.Label157->text() != QString::number(image->build))
      return Fail(Exit::Refused, dialogs_->Last().replace('\n', ": "));
    QObject::connect(f.ProgressBar1, &QProgressBar::valueChanged, &f, [this, last = -1](int value) mutable {
      const int maximum = form_->ProgressBar1->maximum();
      const int tenth = maximum > 0 ? 10 * value / maximum : 0;
      if (tenth > last) Progress(QString("DownLoad %1%").arg(10 * tenth));
      last = std::max(last, tenth);
    });
    Progress("DownLoad");
    f.BitBtn21Click();
    // No time limit on the whole: only on a session that stops moving.
    int seen = -1;
    while (downloadSession.IsActive() && f.Memo3->blockCount() != seen) {
      seen = f.Memo3->blockCount();
      WaitFor([&] { return !downloadSession.IsActive() || f.Memo3->blockCount() != seen; }, job_.timeoutSeconds);
    }
    report_["questions"] = questions;
    report_["image"] = {{"hardware", image->hardware}, {"project", image->project}, {"build", image->build}};
    const QString log = f.Memo3->toPlainText();
    if (downloadSession.IsActive()) {
      f.BitBtn40Click();
      return Fail(Exit::NoAnswer, "la descarga dejo de avanzar");
    }
    if (refused) return Fail(Exit::FirmwareRefused, "una pregunta de la descarga no esta permitida: " + dialogs_->Last().replace('\n', " "));
    // The unit's final packet ends a download it took whole.
    if (log.contains("Paquete de finalizacion") || log.contains("Descarga Finalizada")) return Exit::Done;
    if (log.contains("DownLoad FAIL")) return Fail(Exit::FirmwareRefused, "el equipo rechazo la descarga (DownLoad FAIL)");
    if (log.contains("Desactivando Descarga")) return Fail(Exit::NoAnswer, "el equipo dejo de pedir datos");
    return Fail(Exit::FirmwareRefused, "la descarga no termino: " + log.section('\n', -1));
  }

  const UnitJob& job_;
  JobDialogs* dialogs_;
  std::unique_ptr<Dialogs> previousDialogs_;
  std::unique_ptr<TForm1> form_;
  QElapsedTimer clock_;
  ProfileJson report_ = ProfileJson::object();
  std::optional<ProfileJson> compared_;
  QString phase_;
  QString error_;
};
}  // namespace

ProfileJson RunUnit(const UnitJob& job) { return Job(job).Run(); }
