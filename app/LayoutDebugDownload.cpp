// "Debug" (the two trace consoles and the log file) and "DownLoad" (the
// firmware image and the download session).
#include <QFontDatabase>
#include <QVBoxLayout>

#include "app/LayoutKit.h"
#include "app/Log.h"

namespace {
QPlainTextEdit* MakeMemo(const QString& name, QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(name);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  return memo;
}
}  // namespace

void TForm1::BuildDebugPage() {
  QWidget* page = TabSheet3;
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  Memo1 = MakeMemo("Memo1", page);
  Memo1->setReadOnly(true);
  Memo2 = MakeMemo("Memo2", page);
  for (QPlainTextEdit* memo : {Memo1, Memo2}) memo->setFont(fixed);

  BitBtn23 = MakeButton("BitBtn23", "&Limpiar", page);
  BitBtn24 = MakeButton("BitBtn24", "&Iniciar Logeo", page);
  BitBtn25 = MakeButton("BitBtn25", "De&tener Logeo", page);
  BitBtn25->setEnabled(false);
  IEC_101 = MakeCheck("IEC_101", "Debug IEC 101", page);
  Serie = MakeCheck("Serie", "Trafico Serie", page, true);
  Slave104 = MakeCheck("Slave104", "Debug Slave 104", page);
  IEC_101->hide();
  Slave104->hide();

  auto* grid = new QGridLayout(page);
  grid->addWidget(Memo1, 0, 0);
  grid->addWidget(Memo2, 0, 1);
  auto* controls = new QHBoxLayout();
  for (QPushButton* button : {BitBtn23, BitBtn24, BitBtn25}) controls->addWidget(button);
  controls->addSpacing(24);
  for (QCheckBox* box : {Serie, IEC_101, Slave104}) controls->addWidget(box);
  controls->addStretch(1);
  grid->addLayout(controls, 1, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(0, 1);
}

void TForm1::BuildDownloadPage() {
  QWidget* page = TabSheet6;
  Memo3 = MakeMemo("Memo3", page);
  Memo3->setReadOnly(true);
  QFont courier(
      QStringList{"Courier New", QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
  courier.setStyleHint(QFont::TypeWriter);
  Memo3->setFont(courier);
  BitBtn41 = MakeButton("BitBtn41", "&Limpiar", page);

  BitBtn22 = MakeButton("BitBtn22", "Seleccionar HEX", page);
  BitBtn21 = MakeButton("BitBtn21", "Iniciar DownLoad", page);
  BitBtn40 = MakeButton("BitBtn40", "Cancelar", page);
  ProgressBar1 = new QProgressBar(page);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->hide();  // shown while a session runs
  downloadEtaLabel = MakeLabel("downloadEtaLabel", "Tiempo restante: -", page);
  // The check of the chosen HEX file; its caption holds several lines.
  preflightPanel = new Panel("preflightPanel", "Sin archivo HEX verificado", page);
  const QFontMetrics lines(preflightPanel->font());
  preflightPanel->setMinimumSize(
      lines.horizontalAdvance("Imagen: 65535 registros, 17170438 bytes") + 16,
      lines.lineSpacing() * 8 + 10);

  // The unit's identity beside the image file's, row by row, so they compare
  // at a glance; the circles show the outcome of that comparison.
  Panel30 = new HeaderPanel("Panel30", "Equipo", page);
  Panel31 = new HeaderPanel("Panel31", "Archivo", page);
  QGridLayout* unit = PanelGrid(Panel30);
  QGridLayout* file = PanelGrid(Panel31);
  const struct {
    const char* caption;
    Shape* TForm1::*shape;
    const char* shapeName;
    QLabel* TForm1::*unitLabel;
    const char* unitName;
    QLabel* TForm1::*fileLabel;
    const char* fileName;
  } rows[] = {
      {"HardWare", &TForm1::Shape1, "Shape1", &TForm1::Label158, "Label158", &TForm1::Label155,
       "Label155"},
      {"Project", &TForm1::Shape2, "Shape2", &TForm1::Label159, "Label159", &TForm1::Label156,
       "Label156"},
      {"Build", &TForm1::Shape3, "Shape3", &TForm1::Label160, "Label160", &TForm1::Label157,
       "Label157"},
  };
  int row = 0;
  for (const auto& entry : rows) {
    auto* shape = new Shape(entry.shapeName, Panel30);
    QLabel* unitLabel = MakeLabel(entry.unitName, "-", Panel30);
    QLabel* fileLabel = MakeLabel(entry.fileName, "-", Panel31);
    unit->addWidget(new QLabel(entry.caption, Panel30), row, 0);
    unit->addWidget(shape, row, 1);
    unit->addWidget(unitLabel, row, 2);
    file->addWidget(fileLabel, row, 0);
    unit->setRowMinimumHeight(row, 24);
    file->setRowMinimumHeight(row, 24);
    this->*entry.shape = shape;
    this->*entry.unitLabel = unitLabel;
    this->*entry.fileLabel = fileLabel;
    ++row;
  }
  unit->setColumnStretch(2, 1);
  unit->setRowStretch(row, 1);
  file->setRowStretch(row, 1);
  for (Panel* panel : {Panel30, Panel31}) panel->setMinimumWidth(150);

  auto* identity = new QHBoxLayout();
  identity->setSpacing(0);
  identity->addWidget(Panel30, 3);
  identity->addWidget(Panel31, 2);

  auto* side = new QVBoxLayout();
  for (QPushButton* button : {BitBtn22, BitBtn21, BitBtn40}) side->addWidget(button);
  side->addWidget(ProgressBar1);
  side->addWidget(downloadEtaLabel);
  side->addLayout(identity);
  side->addWidget(preflightPanel);
  side->addStretch(1);

  auto* grid = new QGridLayout(page);
  grid->addWidget(Memo3, 0, 0);
  grid->addLayout(side, 0, 1);
  grid->addLayout(ButtonRow({BitBtn41}), 1, 0);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(0, 1);
}
