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

// A block's result as the inventory keeps it: the summary's own reason when it failed.
BlockEntry Entry(const BlockResult& result) {
  switch (result.state) {
    case BlockResult::State::Unchanged:
      return {result.block->name, "sin cambios", {}};
    case BlockResult::State::Verified:
      return {result.block->name, "verificado", {}};
    default:
      return {result.block->name, result.reason, Changes(result.differences)};
  }
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
  std::vector<BlockEntry> entries;
  bool allGood = ending.isEmpty();
  for (const BlockResult& result : Results()) {
    entries.push_back(Entry(result));
    allGood = allGood && (result.state == BlockResult::State::Unchanged ||
                          result.state == BlockResult::State::Verified);
  }
  const QString result = unit_.empty() ? "No se escribio" : allGood ? "OK" : "Con fallas";
  f_.inventory->Record(f_.InventoryContext(), Operation::kWrite, ending.isEmpty() ? result : result + ": " + ending,
                       WriteDetails(entries, lastReport_));
}

void SafeConfig::RecordVerify(const QString& ending) {
  if (!f_.inventory || changed_.empty()) return;
  const BlockResult written = Written(changed_.front());
  const QString result = written.state == BlockResult::State::Verified ? "OK" : "No verificada";
  f_.inventory->Record(f_.InventoryContext(), Operation::kVerifiedWrite,
                       ending.isEmpty() ? result : result + ": " + ending, WriteDetails({Entry(written)}, QString()));
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
