#include "inventory/InventoryDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Dialogs.h"
#include "app/Files.h"
#include "inventory/Inventory.h"

namespace {
// Enough for the dialog to open at once on a large inventory; the search finds the rest.
constexpr int kShownUnits = 2000;

QTableWidget* Table(const QString& name, const QStringList& header, QWidget* parent) {
  auto* table = new QTableWidget(0, int(header.size()), parent);
  table->setObjectName(name);
  table->setHorizontalHeaderLabels(header);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->horizontalHeader()->setStretchLastSection(true);
  table->verticalHeader()->hide();
  return table;
}

void Fill(QTableWidget* table, const std::vector<QStringList>& rows) {
  table->setUpdatesEnabled(false);
  table->clearContents();
  table->setRowCount(int(rows.size()));
  for (int r = 0; r < int(rows.size()); ++r)
    for (int c = 0; c < rows[std::size_t(r)].size(); ++c)
      table->setItem(r, c, new QTableWidgetItem(rows[std::size_t(r)][c]));
  table->setUpdatesEnabled(true);
}

std::vector<QStringList> Rows(const QTableWidget* table) {
  std::vector<QStringList> rows;
  for (int r = 0; r < table->rowCount(); ++r) {
    QStringList row;
    for (int c = 0; c < table->columnCount(); ++c)
      row << (table->item(r, c) ? table->item(r, c)->text() : QString());
    rows.push_back(row);
  }
  return rows;
}

QStringList Header(const QTableWidget* table) {
  QStringList header;
  for (int c = 0; c < table->columnCount(); ++c) header << table->horizontalHeaderItem(c)->text();
  return header;
}

QString Shown(const QString& isoTime) {
  return QDateTime::fromString(isoTime, Qt::ISODateWithMs).toLocalTime().toString("yyyy-MM-dd HH:mm:ss");
}
}  // namespace

InventoryDialog::InventoryDialog(Inventory& inventory, InventoryPages pages, QWidget* parent)
    : QDialog(parent), inventory_(inventory), pages_(std::move(pages)) {
  setObjectName("inventoryDialog");
  setWindowTitle("Equipos");
  auto* layout = new QVBoxLayout(this);
  inventorySearch = new QLineEdit(this);
  inventorySearch->setObjectName("inventorySearch");
  inventorySearch->setPlaceholderText("Buscar por IMEI, TSD ID, proyecto o build");
  layout->addWidget(inventorySearch);
  inventoryTable = Table("inventoryTable",
                         {"Equipo", "Proyecto", "Build", "Visto por ultima vez", "Ultima operacion", "Resultado"},
                         this);
  layout->addWidget(inventoryTable, 3);
  historyTable = Table("historyTable", {"Hora", "Operacion", "Resultado", "Quien"}, this);
  layout->addWidget(historyTable, 2);
  auto* row = new QHBoxLayout;
  const auto button = [&](const char* name, const char* text) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    row->addWidget(b);
    return b;
  };
  loadButton = button("inventoryLoadButton", "Cargar en la página");
  saveProfileButton = button("inventorySaveProfileButton", "Guardar como perfil");
  compareRowsButton = button("inventoryCompareButton", "Comparar");
  exportButton = button("inventoryExportButton", "Exportar CSV");
  settingsButton = button("inventorySettingsButton", "Inventario...");
  row->addStretch();
  layout->addLayout(row);
  shareLabel = new QLabel(this);
  shareLabel->setObjectName("inventoryShareLabel");
  layout->addWidget(shareLabel);
  resize(900, 620);

  const auto guarded = [this](void (InventoryDialog::*handler)()) {
    return [this, handler] { (this->*handler)(); };
  };
  connect(inventorySearch, &QLineEdit::textChanged, this, guarded(&InventoryDialog::Search));
  connect(inventoryTable, &QTableWidget::itemSelectionChanged, this, guarded(&InventoryDialog::ShowHistory));
  connect(loadButton, &QPushButton::clicked, this, guarded(&InventoryDialog::LoadIntoPage));
  connect(saveProfileButton, &QPushButton::clicked, this, guarded(&InventoryDialog::SaveAsProfile));
  connect(compareRowsButton, &QPushButton::clicked, this, guarded(&InventoryDialog::CompareRows));
  connect(exportButton, &QPushButton::clicked, this, guarded(&InventoryDialog::ExportCsv));
  connect(settingsButton, &QPushButton::clicked, this, guarded(&InventoryDialog::Settings));
  connect(&inventory_, &Inventory::Shared, this, guarded(&InventoryDialog::ShowShare));
  connect(&inventory_, &Inventory::Recorded, this, guarded(&InventoryDialog::ShowShare));
  Refresh();
}

void InventoryDialog::Refresh() {
  Search();
  ShowShare();
}

void InventoryDialog::Search() {
  InventoryStore* store = inventory_.Reader();
  units_ = store ? store->Units(inventorySearch->text(), kShownUnits) : std::vector<UnitRow>{};
  std::vector<QStringList> rows;
  for (const UnitRow& u : units_)
    rows.push_back({u.key, u.projectName, u.build >= 0 ? QString::number(u.build) : QString(), Shown(u.lastSeen),
                    u.lastOperation, u.lastResult});
  Fill(inventoryTable, rows);
  history_.clear();
  Fill(historyTable, {});
}

QString InventoryDialog::ChosenUnit() const {
  const int row = inventoryTable->currentRow();
  return row >= 0 && row < int(units_.size()) ? units_[std::size_t(row)].key : QString();
}

void InventoryDialog::ShowHistory() {
  InventoryStore* store = inventory_.Reader();
  const QString unit = ChosenUnit();
  history_ = store && !unit.isEmpty() ? store->History(unit) : std::vector<HistoryRow>{};
  std::vector<QStringList> rows;
  for (const HistoryRow& h : history_)
    rows.push_back({Shown(h.time), h.operation, h.result, h.user + "@" + h.host});
  Fill(historyTable, rows);
}

std::optional<ProfileJson> InventoryDialog::Configuration(int row, InventoryRecord* out) {
  if (row < 0 || row >= int(history_.size())) {
    CurrentDialogs().Message("Elija una fila de la historia.");
    return std::nullopt;
  }
  InventoryStore* store = inventory_.Reader();
  if (!store) return std::nullopt;
  const auto record = store->Find(history_[std::size_t(row)].id);
  if (!record) {
    CurrentDialogs().Message(store->error());
    return std::nullopt;
  }
  if (record->configuration.empty()) {
    CurrentDialogs().Message("Esa fila no guarda una configuracion.");
    return std::nullopt;
  }
  if (out) *out = *record;
  return ParseProfile(record->configuration);
}

void InventoryDialog::LoadIntoPage() {
  if (const auto doc = Configuration(historyTable->currentRow())) pages_.load(*doc);
}

void InventoryDialog::SaveAsProfile() {
  const auto doc = Configuration(historyTable->currentRow());
  if (!doc) return;
  FileDialog dialog{"inventorySaveDialog", FileDialog::Kind::Save, "perfil.txt", ".txt", "*.txt|*.txt"};
  if (!CurrentDialogs().ChooseFile(dialog)) return;
  const std::string text = ProfileText(*doc);
  if (!WriteWholeFile(dialog.fileName, text.data(), text.size()))
    CurrentDialogs().Error("No se pudo escribir el archivo " + dialog.fileName);
}

void InventoryDialog::CompareRows() {
  QList<int> rows;
  for (const QModelIndex& index : historyTable->selectionModel()->selectedRows()) rows << index.row();
  std::sort(rows.begin(), rows.end());
  if (rows.size() != 2) {
    CurrentDialogs().Message("Elija dos filas de la historia para comparar.");
    return;
  }
  InventoryRecord first, second;
  const auto a = Configuration(rows[0], &first);
  if (!a) return;
  const auto b = Configuration(rows[1], &second);
  if (!b) return;
  const auto compared = pages_.compare(*a, *b);
  if (!compared) return;
  const std::vector<FieldChange>& changes = *compared;
  QDialog* dialog = new QDialog(this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setObjectName("inventoryCompareDialog");
  dialog->setWindowTitle("Comparar configuraciones guardadas");
  auto* layout = new QVBoxLayout(dialog);
  compareTable = Table("compareTable", {"Campo", Shown(first.time.toString(Qt::ISODateWithMs)),
                                        Shown(second.time.toString(Qt::ISODateWithMs))}, dialog);
  std::vector<QStringList> cells;
  for (const FieldChange& c : changes) cells.push_back({c.label, c.first, c.second});
  Fill(compareTable, cells);
  layout->addWidget(new QLabel(changes.empty() ? "Las dos configuraciones son iguales."
                                               : QString("%1 campos difieren.").arg(changes.size()), dialog));
  layout->addWidget(compareTable);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog->resize(720, 480);
  dialog->show();
}

void InventoryDialog::ExportCsv() {
  // The chosen unit's history when one is chosen, else the units.
  const bool history = historyTable->rowCount() > 0;
  const QTableWidget* table = history ? historyTable : inventoryTable;
  FileDialog dialog{"inventoryCsvDialog", FileDialog::Kind::Save, history ? "historia.csv" : "equipos.csv", ".csv",
                    "CSV (*.csv)|*.csv"};
  if (!CurrentDialogs().ChooseFile(dialog)) return;
  const QByteArray text = CsvText(Header(table), Rows(table));
  if (!WriteWholeFile(dialog.fileName, text.constData(), std::size_t(text.size())))
    CurrentDialogs().Error("No se pudo escribir el archivo " + dialog.fileName);
}

void InventoryDialog::ShowShare() {
  const ShareResult& share = inventory_.LastShare();
  QString text;
  if (inventory_.Server().isEmpty())
    text = "Inventario solo en este equipo.";
  else if (share.error.isEmpty() && share.reachable)
    text = QString("Servidor al dia; %1 registros sin enviar.").arg(std::max(share.pending, 0));
  else
    text = QString("%1 registros esperan para el servidor. %2")
               .arg(std::max(share.pending, 0))
               .arg(share.error);
  shareLabel->setText(text);
}

void InventoryDialog::Settings() {
  QDialog dialog(this);
  dialog.setObjectName("inventorySettingsDialog");
  dialog.setWindowTitle("Inventario");
  auto* form = new QFormLayout(&dialog);
  auto* server = new QLineEdit(inventory_.Server(), &dialog);
  server->setObjectName("inventoryServerEdit");
  server->setPlaceholderText("postgresql://usuario@servidor/base?sslmode=require");
  form->addRow("Servidor compartido (PostgreSQL)", server);
  auto* note = new QLabel(
      "La contraseña va en el archivo de contraseñas (.pgpass) o de servicio de PostgreSQL, nunca aqui.", &dialog);
  note->setWordWrap(true);
  form->addRow(note);
  auto* pending = new QLabel(QString("Registros sin enviar: %1").arg(std::max(inventory_.Pending(), 0)), &dialog);
  pending->setObjectName("inventoryPendingLabel");
  form->addRow(pending);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    QString why;
    if (!server->text().trimmed().isEmpty() && !ParseServerUri(server->text(), &why)) {
      CurrentDialogs().Message(why);
      return;
    }
    dialog.accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return;
  inventory_.SetServer(server->text());
  emit ServerChanged(inventory_.Server());
}
