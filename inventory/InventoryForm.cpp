// The window's side of the inventory: what each handler records, the
// "Equipos" button and its dialog. The inventory itself knows no window.
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QBoxLayout>
#include <QSettings>
#include <algorithm>

#include "app/Log.h"
#include "app/WindowSettings.h"
#include "config/Blocks.h"
#include "config/SafeConfig.h"
#include "inventory/Inventory.h"
#include "inventory/InventoryDialog.h"
#include "monitor/Monitor.h"
#include "profile/ProfilePage.h"

void TForm1::ConnectInventory() {
  inventoryButton = MakeButton("inventoryButton", "Equipos", TabSheet2);
  // Beside "Comparar", in whatever row holds it.
  for (QBoxLayout* row : TabSheet2->findChildren<QBoxLayout*>())
    if (const int at = row->indexOf(compareButton); at >= 0) {
      row->insertWidget(at + 1, inventoryButton);
      // One more button in a full row: the gaps give way, so the page still
      // fits the window's width.
      row->setSpacing(std::max(2, row->spacing() - 3));
      break;
    }
  On(inventoryButton, &QPushButton::clicked, &TForm1::inventoryButtonClick);
#if defined(__SANITIZE_THREAD__)
  // Records reach the inventory's thread through Qt's event posting, which
  // ThreadSanitizer cannot see in an uninstrumented Qt; its build checks the
  // reader and the receiver, without an inventory.
  return;
#endif
  inventory = std::make_unique<Inventory>(Inventory::DefaultPath());
  if (const auto settings = UserSettings()) inventory->SetServer(settings->value(kInventoryServerKey).toString());
  connect(inventory.get(), &Inventory::Notice, this,
          [this](const QString& text) { Guarded([&] { CurrentDialogs().Message(text); }); });
}

RecordContext TForm1::InventoryContext() const {
  RecordContext context = LocalContext();
  context.port = "COM" + LabeledEdit1->text().trimmed();
  context.remote = IsRemote();
  context.station = context.remote ? Edit3->text().trimmed() : QString();
  return context;
}

void TForm1::InventoryIdentified(const HardwareId& id) {
  if (!inventory) return;
  UnitIdentity unit;
  unit.imei = FromCp1252(id.imei).trimmed();
  unit.date = QString::fromUtf8(id.date);
  unit.hardware = id.hardware;
  unit.project = id.project;
  unit.projectName = ProjectName(id.project);
  unit.build = id.build;
  unit.modem = FromCp1252(id.modemType);
  unit.imsi = FromCp1252(id.imsi);
  inventory->Identified(InventoryContext(), unit);
}

void TForm1::InventoryImageChosen(const QString& hexPath, const QByteArray& hex, int hardware, int project,
                                  int build, qint64 imageSize) {
  firmwareRun = FirmwareRun{QFileInfo(hexPath).fileName(),
                            QString::fromLatin1(QCryptographicHash::hash(hex, QCryptographicHash::Sha256).toHex()),
                            hardware, project, build, imageSize, 0};
}

void TForm1::InventoryDownloadStarted() { firmwareClock.start(); }

void TForm1::InventoryDownloadEnded(bool finished) {
  if (!inventory || !firmwareClock.isValid()) return;
  firmwareRun.seconds = double(firmwareClock.elapsed()) / 1000.0;
  firmwareClock.invalidate();
  inventory->Record(InventoryContext(), Operation::kFirmware, finished ? "Descarga completa" : "Descarga interrumpida",
                    FirmwareDetails(firmwareRun));
}

void TForm1::inventoryButtonClick() {
  if (!inventory) return;
  if (!inventoryDialog) {
    InventoryPages pages;
    pages.load = [this](const ProfileJson& doc) { Guarded([&] { LoadProfileIntoPage(*this, doc); }); };
    pages.compare = [this](const ProfileJson& a, const ProfileJson& b) {
      std::optional<std::vector<FieldChange>> out;
      Guarded([&] { out = StoredDifferences(a, b); });
      return out;
    };
    inventoryDialog = new InventoryDialog(*inventory, std::move(pages), this);
    connect(inventoryDialog, &InventoryDialog::ServerChanged, this, [](const QString& uri) {
      if (const auto settings = UserSettings()) settings->setValue(kInventoryServerKey, uri);
    });
  } else {
    inventoryDialog->Refresh();
  }
  inventoryDialog->show();
  inventoryDialog->raise();
}

// Both configurations as the pages would show them, field by field; the
// pages are put back as they were.
std::vector<FieldChange> TForm1::StoredDifferences(const ProfileJson& a, const ProfileJson& b) {
  const PageState page = PageState::Capture(TabSheet2);
  std::vector<FieldChange> out;
  const auto fields = [&](const ProfileJson& doc) {
    std::vector<PageFields> all;
    LoadProfileIntoPage(*this, doc);
    for (const BlockSpec* block : AllBlocks()) all.push_back(safeConfig->Fields(*block));
    page.Restore();
    return all;
  };
  try {
    const auto first = fields(a);
    const auto second = fields(b);
    for (std::size_t i = 0; i < first.size(); ++i)
      for (const FieldDifference& d : Differences(first[i], second[i])) out.push_back({d.label, d.first, d.second});
  } catch (...) {
    page.Restore();
    throw;
  }
  return out;
}
