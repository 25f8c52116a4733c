#include "config/SafeConfig.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Files.h"
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/PageFields.h"
#include "firmware/DownLoad.h"
#include "profile/ProfilePage.h"
#include "protocol/Protocol.h"

namespace {

// The sub-page and group a block's page description names, shown and enabled.
bool PageShown(const TForm1& f, const PageSpec& page) {
  auto* sheet = f.PageControl2->findChild<QWidget*>(page.sheet);
  if (!sheet) return false;
  auto* group = page.group ? sheet->findChild<QWidget*>(page.group) : nullptr;
  return f.PageControl2->isTabVisible(f.PageControl2->indexOf(sheet)) && sheet->isEnabled() &&
         (!page.group || (group && !group->isHidden()));
}
}  // namespace


QString BackupFolder() {
#if defined(Q_OS_WIN)
  return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/backups";
#else
  return QDir::homePath() + "/.qirel/backups";
#endif
}

QString BackupPath(const QString& folder, const QString& identity, const QString& stamp) {
  QString name = identity;
  name.replace(QRegularExpression("[^A-Za-z0-9_-]"), "_");
  const QString base = QDir(folder).filePath(name + "_" + stamp);
  QString path = base + ".json";
  for (int n = 2; QFileInfo::exists(path); ++n) path = QString("%1-%2.json").arg(base).arg(n);
  return path;
}

QString ClaimBackupPath(const QString& folder, const QString& identity, const QString& stamp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const QString path = BackupPath(folder, identity, stamp);
    QFile claim(path);
    if (claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return path;
    if (!QFileInfo::exists(path)) return QString();  // not a race: the folder refuses
  }
  return QString();
}

// ---- the page's values ---------------------------------------------------------

PageState PageState::Capture(QWidget* root) {
  PageState state;
  for (QLineEdit* edit : root->findChildren<QLineEdit*>()) {
    if (qobject_cast<QComboBox*>(edit->parentWidget())) continue;
    state.restores_.push_back([edit, text = edit->text(), on = edit->isEnabled()] {
      edit->setText(text);
      edit->setEnabled(on);
    });
  }
  for (QCheckBox* box : root->findChildren<QCheckBox*>())
    state.restores_.push_back([box, on = box->isChecked()] { box->setChecked(on); });
  // Only the checked one of a set of radio buttons: checking it clears the others.
  for (QRadioButton* radio : root->findChildren<QRadioButton*>())
    if (radio->isChecked()) state.restores_.push_back([radio] { radio->setChecked(true); });
  for (QComboBox* list : root->findChildren<QComboBox*>())
    state.restores_.push_back([list, index = list->currentIndex()] { list->setCurrentIndex(index); });
  for (StringGrid* grid : root->findChildren<StringGrid*>()) {
    QStringList cells;
    for (int r = 1; r < grid->rowCount(); ++r)
      for (int c = 1; c < grid->columnCount(); ++c) cells << grid->cell(c, r);
    state.restores_.push_back([grid, cells] {
      int i = 0;
      for (int r = 1; r < grid->rowCount(); ++r)
        for (int c = 1; c < grid->columnCount(); ++c) grid->setCell(c, r, cells[i++]);
    });
  }
  return state;
}

void PageState::Restore() const {
  for (const auto& restore : restores_) restore();
}

// ---- blocks and their fields ---------------------------------------------------

SafeConfig::SafeConfig(TForm1& form)
    : backupFolder(BackupFolder()), f_(form), sequencer_(*this, &form) {}

std::vector<const BlockSpec*> SafeConfig::ShownBlocks() const {
  std::vector<const BlockSpec*> blocks;
  for (const BlockSpec* block : AllBlocks())
    if (PageShown(f_, block->page())) blocks.push_back(block);
  return blocks;
}

PageFields SafeConfig::Fields(const BlockSpec& block) const { return ReadPageFields(*f_.TabSheet2, block); }

PageFields SafeConfig::Intended(const BlockSpec& block, const PageState& page) {
  const std::vector<std::uint8_t> payload = block.encode(f_);
  block.decode(f_, payload);
  PageFields fields = Fields(block);
  page.Restore();
  return fields;
}

// ---- runs ----------------------------------------------------------------------

bool SafeConfig::CanSend() { return f_.IsConnected() && !downloadSession.IsActive(); }

bool SafeConfig::SendStep(const BlockStep& step) {
  try {
    return step.write ? f_.SendBlockWrite(*step.block) : f_.ReadBlock(*step.block);
  } catch (const std::exception&) {
    return false;  // the time-out tries again, then reports it
  }
}

void SafeConfig::ReplyMayWait() {
  // The reply to our own request goes through the dispatcher at once rather
  // than at its next tick; everything else waits for the tick as always.
  if (dispatchAtOnce && replyLength != 0) f_.Timer2Timer();
}

// Locally only, as the download's own early tick: a remote reply ends at a
// quiet tick, and a tick run on its first bytes would end it too soon.
void SafeConfig::BytesArrived() {
  if (!Running() || !receiveAtOnce || f_.IsRemote() || !f_.Timer1->isActive()) return;
  f_.Timer1Timer();
  ReplyMayWait();
}

void SafeConfig::ReplyDispatched(std::int32_t request, bool accepted) {
  sequencer_.ReplyDispatched(request, accepted);
}

void SafeConfig::Protect(const std::function<void()>& action) {
  f_.Guarded([&] {
    try {
      action();
    } catch (...) {
      if (saved_) saved_->Restore();
      throw;
    }
  });
}

bool SafeConfig::Begin(Mode mode, std::vector<BlockStep> steps) {
  mode_ = mode;
  SetBusy(true);
  f_.sequenceProgress->setRange(0, int(steps.size()));
  f_.sequenceProgress->setValue(0);
  if (!sequencer_.Start(std::move(steps))) {
    mode_ = Mode::Idle;
    SetBusy(false);
    return false;
  }
  f_.sequenceProgress->show();
  return true;
}

void SafeConfig::ReadAll() {
  if (Running() || !CanSend()) return;
  blocks_ = ShownBlocks();
  failedReads_.clear();
  std::vector<BlockStep> steps;
  for (const BlockSpec* block : blocks_) steps.push_back({block, false});
  Begin(Mode::ReadAll, std::move(steps));
}

void SafeConfig::WriteAll() {
  if (Running() || !CanSend()) return;
  blocks_ = ShownBlocks();
  unit_.clear();
  intended_.clear();
  outcomes_.clear();
  failedReads_.clear();
  changed_.clear();
  backupPath_.clear();
  saved_ = PageState::Capture(f_.TabSheet2);
  // A field that cannot be sent stops everything before anything is sent.
  Protect([&] {
    for (const BlockSpec* block : blocks_) intended_[block] = Intended(*block, *saved_);
  });
  if (intended_.size() != blocks_.size()) return;
  std::vector<BlockStep> steps;
  for (const BlockSpec* block : blocks_) steps.push_back({block, false});
  Begin(Mode::Backup, std::move(steps));
}

void SafeConfig::Compare() {
  if (Running() || !CanSend()) return;
  FileDialog dialog{"compareOpenDialog", FileDialog::Kind::Open, QString(), QString(), QString()};
  if (!CurrentDialogs().ChooseFile(dialog)) return;
  const auto profile = ReadProfileFile(dialog.fileName);
  if (!profile) return;
  profile_ = *profile;
  profileFile_ = dialog.fileName;
  blocks_ = ShownBlocks();
  unit_.clear();
  failedReads_.clear();
  saved_ = PageState::Capture(f_.TabSheet2);
  std::vector<BlockStep> steps;
  for (const BlockSpec* block : blocks_) steps.push_back({block, false});
  Begin(Mode::CompareRead, std::move(steps));
}

void SafeConfig::VerifyWrite(const BlockSpec& block) {
  if (Running() || !CanSend()) return;
  intended_.clear();
  outcomes_.clear();
  saved_ = PageState::Capture(f_.TabSheet2);
  intended_[&block] = Intended(block, *saved_);  // may throw: nothing has gone out
  changed_ = {&block};
  Begin(Mode::Verify, {{&block, true}, {&block, false}});
}

void SafeConfig::StepDone(const BlockStep& step, bool ok) {
  f_.sequenceProgress->setValue(sequencer_.Done());
  if (step.write) {
    outcomes_[step.block].acknowledged = ok;
    return;
  }
  if (!ok) {
    failedReads_.push_back(step.block);
    return;
  }
  // The dispatcher has decoded the reply into the page.
  switch (mode_) {
    case Mode::Backup:
    case Mode::CompareRead:
      unit_[step.block] = Fields(*step.block);
      break;
    case Mode::Write:
    case Mode::Verify:
      outcomes_[step.block].readBack = Fields(*step.block);
      saved_->Restore();
      break;
    default:
      break;
  }
}

QString SafeConfig::EndingText(SequenceEnd end, const BlockStep* at) const {
  const QString block = at ? QString(at->block->name) : QString();
  switch (end) {
    case SequenceEnd::Done:
      return QString();
    case SequenceEnd::Cancelled:
      return "Cancelado por el usuario.";
    case SequenceEnd::TimedOut:
      return QString("El equipo no respondió (%1): tiempo agotado.").arg(block);
    case SequenceEnd::LinkLost:
      return "Se perdió la conexión con el equipo.";
  }
  return QString();
}

void SafeConfig::SequenceEnded(SequenceEnd end, const BlockStep* at) {
  if (end != SequenceEnd::Done) {
    // Nothing of ours stays pending, and a reply already handed over is not
    // decoded into the page later.
    if (at && replyType == at->RequestNumber()) {
      replyType = 0;
      replyLength = 0;
    }
    if (at && pendingRequest == at->RequestNumber()) f_.SetPending(0);
  }
  const Mode mode = mode_;
  mode_ = Mode::Idle;
  SetBusy(false);
  const QString ending = EndingText(end, at);
  Protect([&] {
    switch (mode) {
      case Mode::ReadAll: {
        QStringList failed;
        for (const BlockSpec* block : failedReads_) failed << block->name;
        if (at && (end == SequenceEnd::TimedOut || end == SequenceEnd::LinkLost))
          failed << at->block->name;
        const int read = sequencer_.Done() - int(failedReads_.size());
        QString text = QString("Estado: Leer todo: %1 de %2 bloques leidos").arg(read).arg(blocks_.size());
        if (!failed.isEmpty()) text += ", fallaron: " + failed.join(", ");
        if (!ending.isEmpty()) text += ". " + ending;
        lastReport_ = text;
        f_.SetStatus(text);
        RecordRead(mode, failed.isEmpty() && ending.isEmpty() ? PageProfileText(f_) : std::string(), text);
        break;
      }
      case Mode::Backup:
        if (end == SequenceEnd::Done && failedReads_.empty()) return EndBackup();
        saved_->Restore();
        unit_.clear();  // nothing was compared
        ShowWriteSummary(ending.isEmpty() ? "No se pudo leer la configuracion del equipo." : ending);
        break;
      case Mode::Write:
      case Mode::Verify:
        saved_->Restore();
        if (mode == Mode::Write) return ShowWriteSummary(ending);
        {
          const BlockSpec* block = changed_.front();
          const Outcome& outcome = outcomes_[block];
          const auto diffs = outcome.readBack ? Differences(intended_[block], *outcome.readBack)
                                              : std::vector<FieldDifference>{};
          RecordVerify(ending);
          if (outcome.acknowledged && outcome.readBack && diffs.empty()) {
            lastReport_ = "Estado: escritura verificada OK!";
            f_.SetStatus(lastReport_);
            break;
          }
          lastReport_ = "Estado: escritura NO verificada!";
          f_.SetStatus(lastReport_);
          QStringList lines{QString("%1: la escritura no se pudo verificar.").arg(block->name)};
          if (!ending.isEmpty()) lines << ending;
          for (const FieldDifference& d : diffs)
            lines << QString("%1: enviado \"%2\", leido \"%3\"").arg(d.label, d.first, d.second);
          CurrentDialogs().Message(lines.join("\n"));
        }
        break;
      case Mode::CompareRead:
        if (end == SequenceEnd::Done && failedReads_.empty()) return ShowCompare();
        saved_->Restore();
        lastReport_ = "Estado: Comparar: " +
                      (ending.isEmpty() ? QString("no se pudo leer el equipo.") : ending);
        f_.SetStatus(lastReport_);
        break;
      case Mode::Idle:
        break;
    }
  });
}

// The unit's configuration, read whole, becomes the backup; then only the
// blocks the page changes are written, and read back.
void SafeConfig::EndBackup() {
  const std::string text = PageProfileText(f_);
  const QString identity = BackupIdentity();
  saved_->Restore();
  const QString folder = backupFolder;
  const QString stamp = QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
  const QString path = QDir().mkpath(folder) ? ClaimBackupPath(folder, identity, stamp) : QString();
  if (path.isEmpty() || !WriteWholeFile(path, text.data(), text.size())) {
    if (!path.isEmpty()) QFile::remove(path);  // the empty name we took
    CurrentDialogs().Error(
        QString("No se pudo guardar la copia de seguridad en %1; no se escribió nada en el equipo.")
            .arg(QDir::toNativeSeparators(path.isEmpty() ? BackupPath(folder, identity, stamp) : path)));
    unit_.clear();
    return ShowWriteSummary("Sin copia de seguridad no se escribe.");
  }
  backupPath_ = path;
  RecordRead(Mode::Backup, text, QString("Copia: %1").arg(QDir::toNativeSeparators(path)));
  for (const BlockSpec* block : blocks_)
    if (intended_[block] != unit_[block]) changed_.push_back(block);
  // The general block puts 5 in the digital output's on time: the digital
  // output goes again after it, so what the page holds stays.
  const bool general = std::count(changed_.begin(), changed_.end(), &kGeneralBlock) > 0;
  const bool shownOutput = std::count(blocks_.begin(), blocks_.end(), &kDigitalOutputBlock) > 0;
  if (general && shownOutput &&
      std::count(changed_.begin(), changed_.end(), &kDigitalOutputBlock) == 0)
    changed_.insert(std::find(changed_.begin(), changed_.end(), &kGeneralBlock) + 1,
                    &kDigitalOutputBlock);
  std::vector<BlockStep> steps;
  for (const BlockSpec* block : changed_) steps.push_back({block, true});
  for (const BlockSpec* block : changed_) steps.push_back({block, false});
  if (steps.empty()) return ShowWriteSummary(QString());
  if (!Begin(Mode::Write, std::move(steps))) ShowWriteSummary("Se perdió la conexión con el equipo.");
}

BlockResult SafeConfig::Written(const BlockSpec* block) const {
  BlockResult result{block, BlockResult::State::Failed, QString(), {}};
  const auto outcome = outcomes_.find(block);
  if (outcome == outcomes_.end() || !outcome->second.acknowledged) {
    result.reason = "el equipo no confirmó la escritura";
  } else if (!outcome->second.readBack) {
    result.reason = "no se pudo leer de vuelta";
  } else {
    result.differences = Differences(intended_.at(block), *outcome->second.readBack);
    if (result.differences.empty())
      result.state = BlockResult::State::Verified;
    else
      result.reason = "difiere de lo enviado";
  }
  return result;
}

std::vector<BlockResult> SafeConfig::Results() const {
  std::vector<BlockResult> results;
  for (const BlockSpec* block : blocks_) {
    if (std::count(changed_.begin(), changed_.end(), block) > 0)
      results.push_back(Written(block));
    else if (unit_.count(block))
      results.push_back({block, BlockResult::State::Unchanged, QString(), {}});
  }
  for (const BlockSpec* block : failedReads_)
    results.push_back({block, BlockResult::State::NotRead, "no se pudo leer", {}});
  return results;
}

void SafeConfig::ShowWriteSummary(const QString& ending) {
  QStringList unchanged, verified, failed, unread;
  for (const BlockResult& result : Results()) {
    const QString name = result.block->name;
    switch (result.state) {
      case BlockResult::State::Unchanged:
        unchanged << QString("  %1").arg(name);
        break;
      case BlockResult::State::Verified:
        verified << QString("  %1").arg(name);
        break;
      case BlockResult::State::Failed:
        failed << QString("  %1: %2").arg(name, result.reason);
        for (const FieldDifference& d : result.differences)
          failed << QString("    %1: enviado \"%2\", leido \"%3\"").arg(d.label, d.first, d.second);
        break;
      case BlockResult::State::NotRead:
        unread << QString("  %1: %2").arg(name, result.reason);
        break;
    }
  }
  lastEnding_ = ending;
  QStringList lines;
  if (!ending.isEmpty()) lines << ending;
  lines << QString("Sin cambios (%1):").arg(unchanged.size()) << unchanged;
  lines << QString("Escritos y verificados (%1):").arg(verified.size()) << verified;
  lines << QString("Con fallas:") << failed << unread;
  lines << QString("Copia de seguridad: %1")
               .arg(backupPath_.isEmpty() ? QString("ninguna")
                                          : QDir::toNativeSeparators(backupPath_));
  lastReport_ = lines.join("\n");
  RecordWrite(ending);
  f_.SetStatus(failed.isEmpty() && unread.isEmpty() && ending.isEmpty()
                   ? QString("Estado: Escribir todo: %1 bloques escritos y verificados")
                         .arg(verified.size())
                   : QString("Estado: Escribir todo con fallas"));
  ShowSummary(lastReport_);
}

void SafeConfig::ShowSummary(const QString& report) {
  QDialog dialog(&f_);
  dialog.setObjectName("sequenceSummary");
  dialog.setWindowTitle("Resumen");
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QPlainTextEdit(report, &dialog);
  text->setObjectName("sequenceSummaryText");
  text->setReadOnly(true);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(buttons);
  dialog.resize(640, 420);
  CurrentDialogs().Modal(dialog);
}

// The unit as it is against the unit as the profile would leave it.
void SafeConfig::ShowCompare() {
  // The page holds the unit's values: the profile goes on top of them, so
  // what it does not carry stays the unit's.
  std::map<const BlockSpec*, PageFields> withProfile;
  LoadProfileIntoPage(f_, profile_);
  const PageState profilePage = PageState::Capture(f_.TabSheet2);
  for (const BlockSpec* block : blocks_) withProfile[block] = Intended(*block, profilePage);
  saved_->Restore();

  QDialog dialog(&f_);
  dialog.setObjectName("compareDialog");
  dialog.setWindowTitle("Comparar equipo y perfil");
  auto* layout = new QVBoxLayout(&dialog);
  auto* table = new QTableWidget(0, 3, &dialog);
  table->setObjectName("compareTable");
  table->setHorizontalHeaderLabels({"Campo", "Equipo", "Perfil"});
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (const BlockSpec* block : blocks_)
    for (const FieldDifference& d : Differences(unit_[block], withProfile[block])) {
      const int row = table->rowCount();
      table->insertRow(row);
      table->setItem(row, 0, new QTableWidgetItem(d.label));
      table->setItem(row, 1, new QTableWidgetItem(d.first));
      table->setItem(row, 2, new QTableWidgetItem(d.second));
    }
  table->horizontalHeader()->setStretchLastSection(true);
  table->resizeColumnsToContents();
  layout->addWidget(new QLabel(table->rowCount() == 0 ? "El equipo ya tiene los valores del perfil."
                                                      : QString("%1 campos difieren.").arg(table->rowCount()),
                               &dialog));
  layout->addWidget(table);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QPushButton* apply = buttons->addButton("Aplicar al equipo", QDialogButtonBox::ActionRole);
  apply->setObjectName("compareApplyButton");
  QObject::connect(apply, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(kApplyToUnit); });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.resize(720, 480);
  lastReport_ = QString("Estado: Comparar: %1 campos difieren").arg(table->rowCount());
  f_.SetStatus(lastReport_);
  RecordCompare(withProfile);
  if (CurrentDialogs().Modal(dialog) != kApplyToUnit) return;
  LoadProfileIntoPage(f_, profile_);
  WriteAll();
}

QString SafeConfig::BackupIdentity() const {
  const QString imei = f_.Label24->text().section(':', 1).trimmed();
  return imei.isEmpty() ? "TSD-" + f_.Edit16->text().trimmed() : imei;
}

// While a run goes, nothing else may send a block or change the page under it.
void SafeConfig::SetBusy(bool busy) {
  if (busy) {
    disabled_.clear();
    // Every block's "Leer" and "Escribir", the profile buttons, "Seleccionar HEX",
    // the runs' own and "Restore".
    QList<QWidget*> widgets;
    for (const BlockSpec* block : AllBlocks())
      for (const char* name : {block->page().readButton, block->page().writeButton})
        if (auto* button = f_.TabSheet2->findChild<QWidget*>(name)) widgets << button;
    widgets << f_.BitBtn8 << f_.BitBtn11 << f_.BitBtn22 << f_.readAllButton << f_.writeAllButton
            << f_.compareButton << f_.BitBtn39;
    widgets += f_.OneShotButtons();
    for (QWidget* widget : widgets) {
      disabled_.emplace_back(widget, widget->isEnabled());
      widget->setEnabled(false);
    }
    f_.sequenceCancelButton->setEnabled(true);
    busy_ = true;
    reportDue_ = false;
    f_.ShowRelayButtons();
    return;
  }
  for (auto [widget, enabled] : disabled_) widget->setEnabled(enabled);
  disabled_.clear();
  f_.sequenceCancelButton->setEnabled(false);
  busy_ = false;
  reportDue_ = true;
  f_.ShowRelayButtons();
}

void SafeConfig::StatusShown() {
  if (busy_) return;
  if (reportDue_)
    reportDue_ = false;
  else
    f_.sequenceProgress->hide();
}
