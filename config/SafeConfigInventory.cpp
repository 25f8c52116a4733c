// What a "Leer todo", a backup, an "Escribir todo", a "Comparar" and a
// verified "Escribir" leave in the inventory: results per block and every
// field that differed.
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/SafeConfig.h"
#include "inventory/Inventory.h"

namespace {
std::vector<FieldChange> Changes(const std::vector<FieldDifference>& diffs) {
  std::vector<FieldChange> out;
  for (const FieldDifference& d : diffs) out.push_back({d.label, d.first, d.second});
  return out;
}

QString WithoutPrefix(QString text) {
  if (text.startsWith("Estado: ")) text.remove(0, 8);
  return text;
}
}  // namespace

void SafeConfig::RecordRead(Mode mode, const std::string& profile, const QString& result) {
  if (!f_.inventory) return;
  // The "TSD ID" the unit holds is in what was just read.
  const ProfileJson doc = profile.empty() ? ProfileJson() : ParseProfile(profile);
  QString tsd;
  if (doc.is_object() && doc.contains("id") && doc["id"].is_string())
    tsd = QString::fromStdString(doc["id"].get<std::string>());
  f_.inventory->ConfigurationRead(f_.InventoryContext(),
                                  mode == Mode::Backup ? Operation::kBackup : Operation::kReadAll,
                                  WithoutPrefix(result), tsd, profile);
}

void SafeConfig::RecordWrite(const QString& ending) {
  if (!f_.inventory) return;
  std::vector<BlockResult> results;
  bool allGood = ending.isEmpty() && failedReads_.empty();
  for (const BlockSpec* block : blocks_) {
    if (std::count(changed_.begin(), changed_.end(), block) == 0) {
      if (unit_.count(block)) results.push_back({block->name, "sin cambios", {}});
      continue;
    }
    BlockResult r = WrittenResult(block);
    allGood = allGood && r.result == "verificado";
    results.push_back(std::move(r));
  }
  for (const BlockSpec* block : failedReads_) results.push_back({block->name, "no se pudo leer", {}});
  const QString result = unit_.empty() ? "No se escribio" : allGood ? "OK" : "Con fallas";
  f_.inventory->Record(f_.InventoryContext(), Operation::kWrite, ending.isEmpty() ? result : result + ": " + ending,
                       WriteDetails(results, lastReport_));
}

BlockResult SafeConfig::WrittenResult(const BlockSpec* block) {
  const Outcome& outcome = outcomes_[block];
  BlockResult r{block->name, "verificado", {}};
  if (!outcome.acknowledged)
    r.result = "sin confirmacion";
  else if (!outcome.readBack)
    r.result = "sin lectura de vuelta";
  else if (auto diffs = Differences(intended_[block], *outcome.readBack); !diffs.empty()) {
    r.result = "difiere";
    r.changes = Changes(diffs);
  }
  return r;
}

void SafeConfig::RecordVerify(const QString& ending) {
  if (!f_.inventory || changed_.empty()) return;
  const BlockResult r = WrittenResult(changed_.front());
  const QString result = r.result == "verificado" ? "OK" : "No verificada";
  f_.inventory->Record(f_.InventoryContext(), Operation::kVerifiedWrite,
                       ending.isEmpty() ? result : result + ": " + ending, WriteDetails({r}, QString()));
}

void SafeConfig::RecordCompare(const std::map<const BlockSpec*, PageFields>& withProfile) {
  if (!f_.inventory) return;
  std::vector<FieldChange> changes;
  for (const BlockSpec* block : blocks_) {
    const auto it = withProfile.find(block);
    if (it != withProfile.end()) {
      const auto block_changes = Changes(Differences(unit_[block], it->second));
      changes.insert(changes.end(), block_changes.begin(), block_changes.end());
    }
  }
  f_.inventory->Record(f_.InventoryContext(), Operation::kCompare,
                       QString("%1 campos difieren").arg(changes.size()), CompareDetails(profileFile_, changes));
}
