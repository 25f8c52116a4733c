// The window's controls for the safe configuration, forwarded to SafeConfig.
#include <QBoxLayout>

#include "app/Log.h"
#include "config/SafeConfig.h"

// Beside the profile buttons; the check that applies to every block's
// "Escribir" sits by the sub-page tabs, the progress in the status bar, where
// the steps are told.
void TForm1::BuildSafeConfigControls(QBoxLayout* row) {
  readAllButton = MakeButton("readAllButton", "Leer todo", TabSheet2);
  writeAllButton = MakeButton("writeAllButton", "Escribir todo", TabSheet2);
  compareButton = MakeButton("compareButton", "Comparar", TabSheet2);
  sequenceCancelButton = MakeButton("sequenceCancelButton", "Cancelar", TabSheet2);
  sequenceCancelButton->setEnabled(false);
  verifyWritesCheck = MakeCheck("verifyWritesCheck", "Verificar escrituras", PageControl2);
  PageControl2->setCornerWidget(verifyWritesCheck, Qt::TopRightCorner);
  for (QWidget* widget : {readAllButton, writeAllButton, compareButton, sequenceCancelButton})
    row->addWidget(widget);
}

void TForm1::ConnectSafeConfig() {
  sequenceProgress = new QProgressBar(StatusBar2);
  sequenceProgress->setObjectName("sequenceProgress");
  sequenceProgress->setValue(0);
  sequenceProgress->setMaximumWidth(200);
  sequenceProgress->setMaximumHeight(StatusPanel0->sizeHint().height());
  StatusBar2->addPermanentWidget(sequenceProgress);
  sequenceProgress->hide();  // shown from a run's start until the status moves on from its report
  safeConfig = std::make_unique<SafeConfig>(*this);
  On(readAllButton, &QPushButton::clicked, &TForm1::readAllButtonClick);
  On(writeAllButton, &QPushButton::clicked, &TForm1::writeAllButtonClick);
  On(compareButton, &QPushButton::clicked, &TForm1::compareButtonClick);
  On(sequenceCancelButton, &QPushButton::clicked, &TForm1::sequenceCancelButtonClick);
}

void TForm1::readAllButtonClick() { safeConfig->ReadAll(); }
void TForm1::writeAllButtonClick() { safeConfig->WriteAll(); }
void TForm1::compareButtonClick() { safeConfig->Compare(); }
void TForm1::sequenceCancelButtonClick() { safeConfig->Cancel(); }

void TForm1::WriteBlock(const BlockSpec& block) {
  if (verifyWritesCheck->isChecked() && safeConfig->CanSend() && !safeConfig->Running())
    return safeConfig->VerifyWrite(block);
  SendBlockWrite(block);
}

void TForm1::ReplyDispatched(std::int32_t request, bool accepted) {
  if (safeConfig) safeConfig->ReplyDispatched(request, accepted);
}
