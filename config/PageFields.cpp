#include "config/PageFields.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>
#include <map>

#include "app/Controls.h"

namespace {
QString YesNo(bool on) { return on ? "Si" : "No"; }

// Object names on the page are unique; the lookup ignores case as the
// control arrays' does.
QWidget* Control(const QWidget& root, const std::string& name) {
  const QString wanted = QString::fromStdString(name);
  if (auto* exact = root.findChild<QWidget*>(wanted)) return exact;
  for (QWidget* widget : root.findChildren<QWidget*>())
    if (widget->objectName().compare(wanted, Qt::CaseInsensitive) == 0) return widget;
  return nullptr;
}

QString Caption(const QWidget* widget) {
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  return QString();
}

bool Checked(const QWidget* widget) {
  auto* button = qobject_cast<const QAbstractButton*>(widget);
  return button && button->isChecked();
}

QString Value(const QWidget& root, const FieldSpec& field, const QWidget* control) {
  switch (field.kind) {
    case FieldKind::Text:
      if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
      break;
    case FieldKind::Check:
      return YesNo(Checked(control));
    case FieldKind::Combo:
      if (auto* list = qobject_cast<const QComboBox*>(control)) return list->currentText();
      break;
    case FieldKind::Choice:
      return Checked(control) ? Caption(control) : Caption(Control(root, field.other));
    case FieldKind::Group:
      if (auto* group = qobject_cast<const RadioGroup*>(control)) {
        const int index = group->itemIndex();
        return index >= 0 ? group->button(index)->text() : QString();
      }
      break;
    case FieldKind::Cell:
      if (auto* grid = qobject_cast<const StringGrid*>(control)) return grid->cell(field.col, field.row);
      break;
  }
  return QString();
}
}  // namespace

QString FieldKey(const FieldSpec& field) {
  if (!field.key.empty()) return QString::fromStdString(field.key);
  if (field.kind == FieldKind::Cell)
    return QString("%1[%2,%3]").arg(QString::fromStdString(field.control)).arg(field.col).arg(field.row);
  return QString::fromStdString(field.control);
}

PageFields ReadPageFields(const QWidget& root, const BlockSpec& block) {
  const QString prefix = QString(block.name) + ": ";
  PageFields out;
  std::map<std::string, const QWidget*> controls;  // a grid's thousand cells, one lookup
  for (const FieldSpec& field : block.page().fields) {
    auto [it, added] = controls.try_emplace(field.control, nullptr);
    if (added) it->second = Control(root, field.control);
    QString label = QString::fromStdString(field.label);
    if (field.kind == FieldKind::Cell)
      if (auto* grid = qobject_cast<const StringGrid*>(it->second))
        label = (grid->cell(0, field.row) + " " + grid->cell(field.col, 0)).trimmed();
    out.push_back({prefix + label, Value(root, field, it->second), FieldKey(field), field.compared});
  }
  return out;
}

std::vector<FieldDifference> Differences(const PageFields& first, const PageFields& second) {
  std::map<QString, const PageField*> byKey;
  for (const PageField& field : second) byKey.emplace(field.key, &field);
  std::vector<FieldDifference> out;
  for (const PageField& field : first) {
    if (!field.compared) continue;
    const auto it = byKey.find(field.key);
    const QString other = it == byKey.end() ? QString() : it->second->value;
    if (it == byKey.end() || other != field.value) out.push_back({field.label, field.value, other});
  }
  return out;
}
