// What the technician is told about an image before and during its download:
// the pre-flight check of the HEX file and the time left.
#include "app/Log.h"
#include "firmware/DownLoad.h"

namespace {
constexpr TColor kPanelFace = clBtnFace;
}  // namespace

void TForm1::ShowPreflight(const HexPreflight& report, const QString& imagePath) {
  for (const std::string& line : PreflightLog(report)) DownloadLog(QString::fromStdString(line));
  preflightPanel->setCaption(QString::fromStdString(PreflightSummary(report)));
  preflightPanel->setColor(report.Warned() ? clRedOrange : clGreen);
  preflightPanel->setFontColor(clWhite);
  preflightCheck.Checked(report, imagePath.toStdString());
}

void TForm1::ClearPreflight() {
  preflightCheck.Clear();
  preflightPanel->setCaption("Sin archivo HEX verificado");
  preflightPanel->setColor(kPanelFace);
  preflightPanel->setFontColor(clCream);
}

bool TForm1::ConfirmPreflight() {
  if (!preflightCheck.Warns(downloadSession.fileName)) return true;
  if (CurrentDialogs().Confirm(
          "Advertencia de direcciones",
          "La conversion junto datos de direcciones que no se siguen "
          "(ver ATENCION en el registro).\nDesea iniciar la descarga igualmente?"))
    return true;
  DownloadLog("DownLoad no iniciada");
  return false;
}

void TForm1::DownloadPaceStarted() {
  InventoryDownloadStarted();
  downloadEta.Start();
  downloadEtaLabel->setText(QString::fromStdString(downloadEta.Text()));
}

void TForm1::DownloadChunkServed(int chunk, int chunkCount) {
  downloadEta.Served(chunk, chunkCount);
  downloadEtaLabel->setText(QString::fromStdString(downloadEta.Text()));
}

void TForm1::DownloadPaceStopped() {
  InventoryDownloadEnded(downloadSession.finished);
  downloadEta.Stop();
  downloadEtaLabel->setText(QString::fromStdString(downloadEta.Text()));
}

void TForm1::DownloadBytesArrived() {
  // The tick the bytes would have waited for, run now; none while a question
  // of the session is open (the tick then stays off). Only locally: a remote
  // session drops what a tick leaves unfinished, and a tick run on the first
  // part of a message would lose the rest more often than the 50 ms tick does.
  if (downloadSession.IsActive() && Timer5->isActive() && !IsRemote()) Timer5Timer();
}
