#include "link/PortFinder.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int kSettleMs = 300;
constexpr int kPollMs = 2000;
constexpr int kWatchMs = 1000;
constexpr int kMinWidth = 560;
constexpr int kMaxWidth = 1100;

QString Text(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
}  // namespace

PortListDialog::PortListDialog(PortSystem& system, QWidget* parent) : QDialog(parent), system_(system) {
  setObjectName("portListDialog");
  setWindowTitle("Puertos serie");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Elija el puerto del equipo:", this));

  table_ = new QTableWidget(0, 4, this);
  table_->setObjectName("portTable");
  table_->setHorizontalHeaderLabels({"COM", "Dispositivo", QString::fromUtf8("Descripción"), "En uso"});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setWordWrap(false);
  layout->addWidget(table_);
  connect(table_, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("Usar", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancelar", QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, &PortListDialog::Refresh);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_, qOverload<>(&QTimer::start));
  // Folders are watched where the system has them; elsewhere the list is read again now and then.
  if (system_.WatchedPaths().empty()) {
    connect(&poll_, &QTimer::timeout, this, &PortListDialog::Refresh);
    poll_.start(kPollMs);
  }
  Refresh();
}

void PortListDialog::WatchFolders() {
  // A folder that appears later (/dev/serial with the first USB adapter) is
  // picked up on the refresh its parent's change brings.
  const QStringList watched = watcher_.directories();
  for (const std::string& path : system_.WatchedPaths()) {
    const QString folder = Text(path);
    if (!watched.contains(folder) && QDir(folder).exists()) watcher_.addPath(folder);
  }
}

void PortListDialog::Refresh() {
  WatchFolders();
  const std::optional<PortEntry> selected = Chosen();
  entries_ = system_.List();
  table_->setRowCount(int(entries_.size()));
  int reselect = -1;
  for (int row = 0; row < int(entries_.size()); ++row) {
    const PortEntry& entry = entries_[std::size_t(row)];
    QString use;
    if (entry.inUse) use = "en uso por " + (entry.heldBy.empty() ? QString("otro programa") : Text(entry.heldBy));
    const QStringList cells = {entry.com > 0 ? "COM" + QString::number(entry.com) : QString(),
                               Text(entry.device), Text(entry.description), use};
    for (int column = 0; column < cells.size(); ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      item->setToolTip(cells[column]);
      table_->setItem(row, column, item);
    }
    if (selected && selected->device == entry.device && selected->com == entry.com) reselect = row;
  }
  table_->resizeColumnsToContents();
  // Wide enough to read every column, within reason.
  int width = 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width();
  for (int column = 0; column < table_->columnCount(); ++column) width += table_->columnWidth(column);
  table_->setMinimumWidth(std::clamp(width, kMinWidth, kMaxWidth));
  if (reselect >= 0) table_->selectRow(reselect);
}

std::optional<PortEntry> PortListDialog::Chosen() const {
  const int row = table_->currentRow();
  if (row < 0 || row >= int(entries_.size()) || table_->selectedItems().isEmpty()) return std::nullopt;
  return entries_[std::size_t(row)];
}

PortWatch::PortWatch(QObject* parent) : QObject(parent) {
  timer_.setInterval(kWatchMs);
  connect(&timer_, &QTimer::timeout, this, &PortWatch::Check);
}

void PortWatch::Start(PortSystem& system, int com) {
  system_ = &system;
  com_ = com;
  identity_ = system.Identity(com).value_or(std::string());
  state_ = State::Watching;
  timer_.start();
}

void PortWatch::Stop() {
  state_ = State::Off;
  timer_.stop();
}

void PortWatch::Check() {
  if (state_ == State::Watching) {
    if (PortHungUp() || !system_->Identity(com_)) {
      state_ = State::Lost;
      emit lost();
    }
  } else if (state_ == State::Lost) {
    // The same adapter, by its own name when it has one.
    const std::optional<std::string> identity = system_->Identity(com_);
    if (identity && (identity_.empty() || *identity == identity_)) {
      state_ = State::Back;
      emit cameBack();
    }
  }
}
