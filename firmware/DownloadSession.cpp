// Handing the port to the download session and back.
#include <cstring>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "link/Link.h"
#include "protocol/Protocol.h"

DownLoad downloadSession;

void DownLoad::Start() {
  active = true;
  state = 0;
  if (!Form1) return;
  Form1->BitBtn21->setEnabled(false);
  Form1->BitBtn40->setEnabled(true);
  Form1->ProgressBar1->setVisible(true);
  Form1->TabSheet2->setEnabled(false);
  Form1->TabSheet3->setEnabled(false);
}

void DownLoad::Stop() {
  active = false;
  state = 0;
  if (!Form1) return;
  Form1->BitBtn21->setEnabled(true);
  Form1->BitBtn40->setEnabled(false);
  Form1->ProgressBar1->setValue(0);
  Form1->ProgressBar1->setVisible(false);
  Form1->TabSheet2->setEnabled(true);
  Form1->TabSheet3->setEnabled(true);
}

void TForm1::ConnectFirmware() {
  On(BitBtn40, &QPushButton::clicked, &TForm1::BitBtn40Click);
}

// The unit announced a download by itself: the session takes the port.
void TForm1::UnitStartedDownload() {
  std::memset(lineBuffer, 0, sizeof lineBuffer);
  lineLength = 0;
  downloadSession.Start();
  Timer5->start();
  Timer1->stop();
}

// "Cancelar": the receiver takes the port back.
void TForm1::BitBtn40Click() {
  downloadSession.Stop();
  Timer5->stop();
  Timer1->start();
  ClearInbox();
}
