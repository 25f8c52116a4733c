// "Leer todo", "Escribir todo" (backup, only the changed blocks, read-back
// check), "Comparar" and the read-back of a single "Escribir": the window's
// side of the request sequencer. It moves values between the pages and the
// sequencer, and shows what came of a run.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "config/PageFields.h"
#include "config/Sequencer.h"
#include "profile/Profile.h"

class TForm1;
class QDialog;
class QWidget;

// The result of the compare dialog's "Aplicar al equipo".
constexpr int kApplyToUnit = 2;

// Where backups go: ~/.qirel/backups on Linux, the user's data folder elsewhere.
QString BackupFolder();
// A file name for a unit's backup at a time: identity and date, never one in use.
QString BackupPath(const QString& folder, const QString& identity, const QString& stamp);

// BackupPath's name, taken: an empty file made there exclusively, so that two
// runs at once (the command line's, one per unit) never pick the same name.
// Empty when no name could be taken.
QString ClaimBackupPath(const QString& folder, const QString& identity, const QString& stamp);

// Every value of the configuration page, kept so it can be put back.
class PageState {
 public:
  static PageState Capture(QWidget* root);
  void Restore() const;

 private:
  struct Value;
  std::vector<std::function<void()>> restores_;
};

// What came of one block in the last "Escribir todo".
struct BlockResult {
  enum class State { Unchanged, Verified, Failed, NotRead };
  const BlockSpec* block;
  State state;
  QString reason;  // as the summary gives it
  std::vector<FieldDifference> differences;
};

class SafeConfig : public SequencerView {
 public:
  explicit SafeConfig(TForm1& form);

  void ReadAll();
  void WriteAll();
  void Compare();
  void VerifyWrite(const BlockSpec& block);
  void Cancel() { sequencer_.Cancel(); }
  void ReplyDispatched(std::int32_t request, bool accepted);
  // The reader has bytes: while a run waits for its reply, the receiver's
  // tick and the dispatcher run now instead of at their next ticks.
  void BytesArrived();
  bool Running() const { return sequencer_.Running(); }
  // From the start of a run to its end, dialogs and backup included.
  bool Busy() const { return busy_; }
  // Every status text; the run's progress bar stays beside its report and
  // goes with the next one.
  void StatusShown();
  // Hand our replies to the dispatcher as soon as they are in, not at its
  // next tick (off only to measure what the tick costs).
  bool dispatchAtOnce = true;
  // Take our replies as the reader passes them on, not at the receiver's next
  // tick (off only to measure what that tick costs).
  bool receiveAtOnce = true;
  RequestSequencer& sequencer() { return sequencer_; }
  // The last run's report, as its summary shows it.
  const QString& LastReport() const { return lastReport_; }
  const QString& LastBackup() const { return backupPath_; }
  // Block by block, the last "Escribir todo", and what ended it early (empty
  // when it ran to its end).
  std::vector<BlockResult> Results() const;
  BlockResult Written(const BlockSpec* block) const;  // acknowledged, read back, equal
  const QString& LastEnding() const { return lastEnding_; }
  // What names a unit's files: its IMEI, else its TSD ID.
  QString BackupIdentity() const;
  // Where backups go; the command line may name another folder.
  QString backupFolder;

  // The blocks the unit's page set shows, in writing order.
  std::vector<const BlockSpec*> ShownBlocks() const;
  // The block's fields as the page shows them now.
  PageFields Fields(const BlockSpec& block) const;

  // SequencerView
  bool CanSend() override;
  bool SendStep(const BlockStep& step) override;
  void StepDone(const BlockStep& step, bool ok) override;
  void ReplyMayWait() override;
  void SequenceEnded(SequenceEnd end, const BlockStep* at) override;

 private:
  enum class Mode { Idle, ReadAll, Backup, Write, CompareRead, Verify };
  struct Outcome {
    bool acknowledged = false;
    std::optional<PageFields> readBack;
  };

  bool Begin(Mode mode, std::vector<BlockStep> steps);
  // What the unit would hold after a write of the page: the written payload
  // decoded back into the page, which is then put back as it was.
  PageFields Intended(const BlockSpec& block, const PageState& page);
  void EndBackup();
  void ShowWriteSummary(const QString& ending);
  void ShowCompare();
  void ShowSummary(const QString& report);
  void SetBusy(bool busy);
  QString EndingText(SequenceEnd end, const BlockStep* at) const;
  void Protect(const std::function<void()>& action);
  // config/SafeConfigInventory.cpp: what a run leaves in the inventory.
  void RecordRead(Mode mode, const std::string& profile, const QString& result);
  void RecordWrite(const QString& ending);
  void RecordVerify(const QString& ending);
  void RecordCompare(const std::map<const BlockSpec*, PageFields>& withProfile);

  TForm1& f_;
  RequestSequencer sequencer_;
  Mode mode_ = Mode::Idle;
  std::optional<PageState> saved_;
  std::vector<const BlockSpec*> blocks_;
  std::map<const BlockSpec*, PageFields> unit_;
  std::map<const BlockSpec*, PageFields> intended_;
  std::map<const BlockSpec*, Outcome> outcomes_;
  std::vector<const BlockSpec*> failedReads_;
  std::vector<const BlockSpec*> changed_;
  ProfileJson profile_;
  QString profileFile_;
  QString backupPath_;
  QString lastReport_;
  QString lastEnding_;
  std::vector<std::pair<QWidget*, bool>> disabled_;
  bool busy_ = false;
  bool reportDue_ = false;  // the run ended; its report is the next status text
};
