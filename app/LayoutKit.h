// Small helpers shared by the page builders (app/Layout*.cpp).
#pragma once

#include <QGridLayout>
#include <QHBoxLayout>
#include <QStringList>
#include <initializer_list>

#include "app/Controls.h"

// A panel whose caption is a header along its top edge instead of centred
// text, so that children can fill the rest. It stays a Panel in every other
// respect (class name, caption, colours).
class HeaderPanel : public Panel {
 public:
  HeaderPanel(const QString& name, const QString& caption, QWidget* parent);
  int headerHeight() const;

 protected:
  void PaintCaption(QPainter& painter) override;
};

// "prefix" followed by n in decimal: the numbered control names.
QString Numbered(const char* prefix, int n);

// A grid filling a panel, below its header when it has one.
QGridLayout* PanelGrid(Panel* panel);

// Buttons side by side, pushed to the right.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons);

// A labelled edit's caption in `column`, the edit right of it.
void AddLabeled(QGridLayout* grid, int row, int column, LabeledEdit* edit, int editSpan = 1);

// A panel without children has no size of its own: make it fit the widest
// caption it will ever show.
void FitCaptions(Panel* panel, const QStringList& captions);

// A label in the bold variant of its font.
QLabel* MakeTitle(const QString& name, const QString& caption, QWidget* parent);

// Edits for short numbers need not stretch across a whole column.
void NarrowEdit(QLineEdit* edit, int digits);
