// The window frame: scrolling body, top area, main pages, status bar, timers
// and file dialogs. The pages themselves are built in the other Layout files.
#include <QFontMetrics>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/LayoutKit.h"
#include "app/Log.h"

HeaderPanel::HeaderPanel(const QString& name, const QString& caption, QWidget* parent)
    : Panel(name, caption, parent) {}

int HeaderPanel::headerHeight() const {
  QFont bold = font();
  bold.setBold(true);
  return QFontMetrics(bold).height() + 4;
}

// The caption goes on top, not in the middle.
void HeaderPanel::PaintCaption(QPainter& painter) {
  QFont bold = font();
  bold.setBold(true);
  painter.setFont(bold);
  const QRect band(contentsRect().left(), contentsRect().top() + 2, contentsRect().width(),
                   headerHeight());
  painter.drawText(band, Qt::AlignHCenter | Qt::AlignTop, caption());
}

QString Numbered(const char* prefix, int n) { return QString(prefix) + QString::number(n); }

QGridLayout* PanelGrid(Panel* panel) {
  auto* grid = new QGridLayout(panel);
  int top = 6;
  if (auto* header = dynamic_cast<HeaderPanel*>(panel)) top += header->headerHeight();
  grid->setContentsMargins(6, top, 6, 6);
  grid->setSpacing(4);
  return grid;
}

QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout();
  row->addStretch(1);
  for (QPushButton* button : buttons) row->addWidget(button);
  return row;
}

void AddLabeled(QGridLayout* grid, int row, int column, LabeledEdit* edit, int editSpan) {
  grid->addWidget(edit->label(), row, column);
  grid->addWidget(edit, row, column + 1, 1, editSpan);
}

void FitCaptions(Panel* panel, const QStringList& captions) {
  const QFontMetrics metrics(panel->font());
  int width = 0;
  for (const QString& caption : captions)
    width = std::max(width, metrics.horizontalAdvance(caption));
  panel->setMinimumSize(width + 16, metrics.height() + 10);
}

QLabel* MakeTitle(const QString& name, const QString& caption, QWidget* parent) {
  QLabel* label = MakeLabel(name, caption, parent);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  return label;
}

void NarrowEdit(QLineEdit* edit, int digits) {
  const QFontMetrics metrics(edit->font());
  edit->setMaximumWidth(metrics.horizontalAdvance(QString(digits, QChar('0'))) + 16);
}

void TForm1::BuildWindow() {
  // The whole form scrolls when the window is smaller than its layout.
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName("centralArea");
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  setCentralWidget(scroll);

  auto* body = new QWidget(scroll);
  body->setObjectName("FormBody");
  auto* column = new QVBoxLayout(body);
  column->setContentsMargins(6, 6, 6, 6);

  auto* top = new QWidget(body);
  top->setObjectName("TopArea");
  BuildTopArea(top);
  column->addWidget(top);

  PageControl1 = new QTabWidget(body);
  PageControl1->setObjectName("PageControl1");
  const struct {
    QWidget* TForm1::*sheet;
    const char* name;
    const char* caption;
  } sheets[] = {
      {&TForm1::TabSheet1, "TabSheet1", "&Estado"},
      {&TForm1::TabSheet2, "TabSheet2", "C&onfiguración"},
      {&TForm1::TabSheet3, "TabSheet3", "Debu&g"},
      {&TForm1::TabSheet6, "TabSheet6", "DownLoad"},
      {&TForm1::trendPage, "trendPage", "Tendencias"},
  };
  for (const auto& sheet : sheets) {
    auto* page = new QWidget();
    page->setObjectName(sheet.name);
    PageControl1->addTab(page, QString::fromUtf8(sheet.caption));
    this->*sheet.sheet = page;
  }
  column->addWidget(PageControl1, 1);
  scroll->setWidget(body);

  BuildEstadoPage();
  BuildConfigPage();
  BuildGeneralPage();
  BuildDigitalPages();
  BuildAnalogPages();
  BuildModbusPage();
  BuildTagPage();
  BuildDebugPage();
  BuildDownloadPage();
  BuildTrendPage();

  StatusBar2 = new QStatusBar(this);
  StatusBar2->setObjectName("StatusBar2");
  setStatusBar(StatusBar2);
  StatusPanel0 = MakeLabel("StatusPanel0", "Estado:", StatusBar2);
  // 250 wide at least; longer texts take the room they need rather than being cut.
  StatusPanel0->setMinimumWidth(250);
  StatusBar2->addWidget(StatusPanel0, 1);
}

void TForm1::BuildTimersAndDialogs() {
  // Created stopped: the enabled ones are started once their handlers are connected.
  const struct {
    QTimer* TForm1::*timer;
    const char* name;
    int interval;
    bool enabled;
  } timers[] = {
      {&TForm1::Timer1, "Timer1", 50, true},  {&TForm1::Timer2, "Timer2", 500, true},
      {&TForm1::Timer3, "Timer3", 100, true}, {&TForm1::Timer4, "Timer4", 1000, true},
      {&TForm1::Timer5, "Timer5", 50, false},
  };
  for (const auto& entry : timers) {
    auto* timer = new QTimer(this);
    timer->setObjectName(entry.name);
    timer->setInterval(entry.interval);
    timer->setProperty("enabledAtStart", entry.enabled);
    this->*entry.timer = timer;
  }

  using Kind = FileDialog::Kind;
  const struct {
    FileDialog TForm1::*dialog;
    const char* name;
    Kind kind;
    const char* fileName;
    const char* defaultExt;
    const char* filter;
  } dialogs[] = {
      {&TForm1::SaveDialog1, "SaveDialog1", Kind::Save, "Debug.txt", ".txt", "*.txt|*.txt"},
      {&TForm1::SaveDialog2, "SaveDialog2", Kind::Save, "Debug.txt", ".txt", "*.txt|*.txt"},
      {&TForm1::SaveDialog3, "SaveDialog3", Kind::Save, "blabla.bin", ".bin", "*.bin"},
      {&TForm1::OpenDialog1, "OpenDialog1", Kind::Open, "", "", ""},
      {&TForm1::OpenDialog2, "OpenDialog2", Kind::Open, "", "", ""},
      {&TForm1::OpenDialog3, "OpenDialog3", Kind::Open, "", "", ""},
  };
  for (const auto& entry : dialogs) {
    FileDialog& dialog = this->*entry.dialog;
    dialog.name = entry.name;
    dialog.kind = entry.kind;
    dialog.fileName = entry.fileName;
    dialog.defaultExt = entry.defaultExt;
    dialog.filter = entry.filter;
  }
}
