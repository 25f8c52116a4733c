// Finding the port: the list behind "...", the reason an open failed, and the
// offer to reconnect once a pulled adapter is back.
#include "app/Log.h"
#include "inventory/Inventory.h"
#include "link/PortFinder.h"

void TForm1::ConnectPortChoice() {
  portSystem = MakePortSystem();
  portWatch = new PortWatch(this);
  portReconnectButton = MakeButton("portReconnectButton", "Reconectar", StatusBar2);
  StatusBar2->addPermanentWidget(portReconnectButton);
  portReconnectButton->hide();
  On(portListButton, &QPushButton::clicked, &TForm1::portListButtonClick);
  On(portReconnectButton, &QPushButton::clicked, &TForm1::portReconnectButtonClick);
  On(portWatch, &PortWatch::lost, &TForm1::PortLost);
  On(portWatch, &PortWatch::cameBack, &TForm1::PortCameBack);
}

void TForm1::portListButtonClick() {
  // Opened only while disconnected: the number can't change while a port is open.
  PortListDialog dialog(*portSystem, this);
  if (dialog.exec() != QDialog::Accepted || IsConnected()) return;
  const std::optional<PortEntry> chosen = dialog.Chosen();
  if (!chosen) return;
  const int number = portSystem->AssignNumber(*chosen);
  if (number == 0) {
    CurrentDialogs().Message(QString::fromUtf8("No se pudo dar un número de puerto a ") +
                             QString::fromStdString(chosen->device));
    return;
  }
  LabeledEdit1->setText(QString::number(number));
}

QString TForm1::OpenFailureReason() { return QString::fromStdString(portSystem->Explain(LastOpenFailure())); }

void TForm1::PortOpened(int number) {
  if (inventory) inventory->LinkChanged();
  portListButton->setEnabled(false);
  portReconnectButton->hide();
  portWatch->Start(*portSystem, number);
}

void TForm1::PortClosed() {
  portWatch->Stop();
  portReconnectButton->hide();
  portListButton->setEnabled(true);
}

void TForm1::PortLost() { SetStatus("Estado: puerto perdido, reconecte el adaptador"); }

void TForm1::PortCameBack() { portReconnectButton->show(); }

void TForm1::portReconnectButtonClick() {
  portReconnectButton->hide();
  if (IsConnected()) BitBtn2Click();
  BitBtn1Click();
}
