#include "app/Controls.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

QColor ToQColor(TColor color) {
  return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

LabeledEdit::LabeledEdit(const QString& name, const QString& caption, const QString& text,
                         QWidget* parent)
    : QLineEdit(text, parent), label_(new QLabel(caption, parent)) {
  setObjectName(name);
  label_->setObjectName(name + "Label");
  label_->setBuddy(this);
}

QString LabeledEdit::labelText() const { return label_->text(); }

// The label follows its edit, as the toolkit's labelled edit does.
void LabeledEdit::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) label_->setEnabled(isEnabled());
  QLineEdit::changeEvent(event);
}
void LabeledEdit::setVisible(bool visible) {
  QLineEdit::setVisible(visible);
  label_->setVisible(visible);
}

RadioGroup::RadioGroup(const QString& name, const QString& caption, const QStringList& items,
                       int columns, QWidget* parent)
    : QGroupBox(caption, parent) {
  setObjectName(name);
  auto* grid = new QGridLayout(this);
  int rows = (int(items.size()) + columns - 1) / columns;
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    button->setObjectName(name + "Item" + QString::number(i));
    grid->addWidget(button, i % rows, i / rows);
    buttons_.push_back(button);
    connect(button, &QRadioButton::clicked, this, &RadioGroup::clicked);
  }
}

int RadioGroup::itemIndex() const {
  for (std::size_t i = 0; i < buttons_.size(); ++i)
    if (buttons_[i]->isChecked()) return int(i);
  return -1;
}

void RadioGroup::setItemIndex(int index) {
  if (index >= 0 && index < count()) {
    buttons_[std::size_t(index)]->setChecked(true);
    return;
  }
  // No selection: exclusive buttons cannot all be unchecked without this.
  for (auto* button : buttons_) {
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
  }
}

namespace {
// Lets the grid see the keys typed into a cell editor.
class FilteringDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (editor) editor->installEventFilter(this->parent());
    return editor;
  }
};
}  // namespace

StringGrid::StringGrid(const QString& name, int columns, int rowsHeld, int rowsShown,
                       QWidget* parent)
    : QTableWidget(rowsHeld, columns, parent), rowsShown_(rowsShown) {
  setObjectName(name);
  horizontalHeader()->hide();
  verticalHeader()->hide();
  for (int row = 0; row < rowsHeld; ++row) {
    for (int col = 0; col < columns; ++col) {
      auto* item = new QTableWidgetItem();
      if (row == 0 || col == 0) {
        item->setFlags(Qt::ItemIsEnabled);
        item->setBackground(palette().button());
        QFont font = item->font();
        font.setBold(row == 0);
        item->setFont(font);
      }
      setItem(row, col, item);
    }
    setRowHidden(row, row >= rowsShown);
  }
  setItemDelegate(new FilteringDelegate(this));
}

QString StringGrid::cell(int col, int row) const {
  const QTableWidgetItem* it = item(row, col);
  return it ? it->text() : QString();
}

void StringGrid::setCell(int col, int row, const QString& text) {
  QTableWidgetItem* it = item(row, col);
  if (!it) {
    it = new QTableWidgetItem();
    setItem(row, col, it);
  }
  it->setText(text);
}


// Typed characters reach a cell only through the key filter.
bool StringGrid::Rejects(QEvent* event) const {
  if (!keyFilter || event->type() != QEvent::KeyPress) return false;
  const QString text = static_cast<QKeyEvent*>(event)->text();
  // A character beyond one UTF-16 unit passes no filter.
  return text.size() > 1 || (text.size() == 1 && !keyFilter(text[0]));
}

bool StringGrid::eventFilter(QObject* watched, QEvent* event) {
  if (Rejects(event)) return true;
  return QTableWidget::eventFilter(watched, event);
}

void StringGrid::keyPressEvent(QKeyEvent* event) {
  if (Rejects(event)) return;
  QTableWidget::keyPressEvent(event);
}

Panel::Panel(const QString& name, const QString& caption, QWidget* parent, TColor color)
    : QFrame(parent), caption_(caption), color_(color) {
  setObjectName(name);
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Raised);
}

void Panel::setCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

// Colour changes only repaint: the trace sets colours many times a second.
void Panel::setColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  update();
}

void Panel::setFontColor(TColor color) {
  if (color == fontColor_) return;
  fontColor_ = color;
  update();
}

void Panel::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(color_));
  }
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.setPen(ToQColor(fontColor_));
  PaintCaption(painter);
}

void Panel::PaintCaption(QPainter& painter) {
  if (!caption_.isEmpty()) painter.drawText(contentsRect(), Qt::AlignCenter, caption_);
}

Shape::Shape(const QString& name, QWidget* parent, TColor color) : QWidget(parent), color_(color) {
  setObjectName(name);
  setMinimumSize(16, 16);
}

void Shape::setColor(TColor color) {
  color_ = color;
  update();
}

void Shape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(ToQColor(color_));
  painter.setPen(Qt::black);
  const int side = std::min(width(), height()) - 2;
  painter.drawEllipse((width() - side) / 2, (height() - side) / 2, side, side);
}

namespace {
// A control of kind T with its layout name.
template <class T, class... Args>
T* Named(const QString& name, Args&&... args) {
  auto* control = new T(std::forward<Args>(args)...);
  control->setObjectName(name);
  return control;
}
}  // namespace

QPushButton* MakeButton(const QString& name, const QString& caption, QWidget* parent) {
  return Named<QPushButton>(name, caption, parent);
}

QLabel* MakeLabel(const QString& name, const QString& caption, QWidget* parent) {
  return Named<QLabel>(name, caption, parent);
}

QCheckBox* MakeCheck(const QString& name, const QString& caption, QWidget* parent, bool checked) {
  auto* box = Named<QCheckBox>(name, caption, parent);
  box->setChecked(checked);
  return box;
}

QRadioButton* MakeRadio(const QString& name, const QString& caption, QWidget* parent,
                        bool checked) {
  auto* radio = Named<QRadioButton>(name, caption, parent);
  radio->setChecked(checked);
  return radio;
}

QComboBox* MakeCombo(const QString& name, const QStringList& items, int selected,
                     QWidget* parent) {
  auto* combo = Named<QComboBox>(name, parent);
  combo->addItems(items);
  combo->setCurrentIndex(selected);
  return combo;
}

QLineEdit* MakeEdit(const QString& name, const QString& text, QWidget* parent) {
  return Named<QLineEdit>(name, text, parent);
}

QGroupBox* MakeGroup(const QString& name, const QString& caption, QWidget* parent) {
  return Named<QGroupBox>(name, caption, parent);
}
