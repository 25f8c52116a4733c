// Toolkit-style controls: each keeps the state a Windows form control exposes
// (captions, item indexes, grid cells, colours) readable through plain Qt API.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <cstdint>
#include <functional>
#include <vector>

// Toolkit colour: 0x00BBGGRR.
using TColor = std::uint32_t;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clGreen = 0x008000;
constexpr TColor clRedOrange = 0x0E25D7;
constexpr TColor clRed = 0x0000F2;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBlack = 0x000000;
constexpr TColor clBtnFace = 0x343A3D;  // the style's button face
constexpr TColor clCream = 0xD8E9F2;    // the style's text colour
QColor ToQColor(TColor color);

// An edit with its caption in a buddy label.
class LabeledEdit : public QLineEdit {
  Q_OBJECT
 public:
  LabeledEdit(const QString& name, const QString& caption, const QString& text,
              QWidget* parent);
  QString labelText() const;
  QLabel* label() const { return label_; }
  void setVisible(bool visible) override;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  QLabel* label_;
};

// A group box of radio buttons with a single item index (-1 = none).
class RadioGroup : public QGroupBox {
  Q_OBJECT
  Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex)
 public:
  RadioGroup(const QString& name, const QString& caption, const QStringList& items,
             int columns, QWidget* parent);
  int itemIndex() const;
  void setItemIndex(int index);
  int count() const { return int(buttons_.size()); }
  QRadioButton* button(int index) const { return buttons_.at(std::size_t(index)); }

 signals:
  void clicked();

 private:
  std::vector<QRadioButton*> buttons_;
};

// A string grid: row 0 and column 0 are fixed header cells; rows may be held
// beyond the ones shown.
class StringGrid : public QTableWidget {
  Q_OBJECT
 public:
  StringGrid(const QString& name, int columns, int rowsHeld, int rowsShown, QWidget* parent);
  QString cell(int col, int row) const;
  void setCell(int col, int row, const QString& text);
  int rowsShown() const { return rowsShown_; }
  // Filters typed characters; return false to discard the key.
  std::function<bool(QChar)> keyFilter;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Rejects(QEvent* event) const;
  int rowsShown_;
};

// A panel with a centred caption and its own colours.
class Panel : public QFrame {
  Q_OBJECT
  Q_PROPERTY(QString caption READ caption WRITE setCaption)
  Q_PROPERTY(TColor color READ color WRITE setColor)
  Q_PROPERTY(TColor fontColor READ fontColor WRITE setFontColor)
 public:
  Panel(const QString& name, const QString& caption, QWidget* parent, TColor color = clBtnFace);
  QString caption() const { return caption_; }
  void setCaption(const QString& caption);
  TColor color() const { return color_; }
  void setColor(TColor color);
  TColor fontColor() const { return fontColor_; }
  void setFontColor(TColor color);

 protected:
  // The panel paints its own background, so its colour shows whatever the
  // style sheet says; the style still sets the font.
  void paintEvent(QPaintEvent* event) override;
  virtual void PaintCaption(QPainter& painter);

 private:
  QString caption_;
  TColor color_;
  TColor fontColor_ = clCream;
};

// A filled circle.
class Shape : public QWidget {
  Q_OBJECT
  Q_PROPERTY(TColor color READ color WRITE setColor)
 public:
  Shape(const QString& name, QWidget* parent, TColor color = clSilver);
  TColor color() const { return color_; }
  void setColor(TColor color);
  QSize sizeHint() const override { return {20, 20}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TColor color_;
};

// Small constructors so page builders stay one line a control.
QPushButton* MakeButton(const QString& name, const QString& caption, QWidget* parent);
QLabel* MakeLabel(const QString& name, const QString& caption, QWidget* parent);
QCheckBox* MakeCheck(const QString& name, const QString& caption, QWidget* parent,
                     bool checked = false);
QRadioButton* MakeRadio(const QString& name, const QString& caption, QWidget* parent,
                        bool checked = false);
QComboBox* MakeCombo(const QString& name, const QStringList& items, int selected, QWidget* parent);
QLineEdit* MakeEdit(const QString& name, const QString& text, QWidget* parent);
QGroupBox* MakeGroup(const QString& name, const QString& caption, QWidget* parent);
