// "Equipos": the units the inventory knows, a search over them, the chosen
// unit's history, and what can be done with a stored configuration. The
// window gives the dialog what only it can do (the pages) as functions.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

#include "inventory/Record.h"
#include "inventory/Store.h"
#include "profile/Profile.h"

class Inventory;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

struct InventoryPages {
  std::function<void(const ProfileJson&)> load;  // as "Leer Configuracion" does
  // The fields that differ between two stored configurations, as the pages label them.
  // Nullopt when one of them does not load (the window has said why).
  std::function<std::optional<std::vector<FieldChange>>(const ProfileJson&, const ProfileJson&)> compare;
};

class InventoryDialog : public QDialog {
  Q_OBJECT

 public:
  InventoryDialog(Inventory& inventory, InventoryPages pages, QWidget* parent);

  void Refresh();
  void Search();
  void ShowHistory();
  void LoadIntoPage();
  void SaveAsProfile();
  void CompareRows();
  void ExportCsv();
  void Settings();
  void ShowShare();

  QTableWidget* inventoryTable;
  QLineEdit* inventorySearch;
  QTableWidget* historyTable;
  QPushButton* loadButton;
  QPushButton* saveProfileButton;
  QPushButton* compareRowsButton;
  QPushButton* exportButton;
  QPushButton* settingsButton;
  QLabel* shareLabel;
  QTableWidget* compareTable = nullptr;  // the last "Comparar" of two rows

 signals:
  void ServerChanged(const QString& uri);

 private:
  // The chosen history rows' stored configuration; nullopt (told why) when there is none.
  std::optional<ProfileJson> Configuration(int row, InventoryRecord* record = nullptr);
  QString ChosenUnit() const;

  Inventory& inventory_;
  InventoryPages pages_;
  std::vector<UnitRow> units_;
  std::vector<HistoryRow> history_;
};
