// "Seleccionar HEX": a firmware file in Intel HEX text becomes a download
// image, and the "Archivo" panel shows what the image is meant for.
#include <QDir>
#include <QFile>

#include "app/Files.h"
#include "app/Log.h"
#include "firmware/DownLoad.h"

namespace {

void ShowImageIdentity(TForm1& form, const QString& hardware, const QString& project,
                       const QString& build) {
  form.Label155->setText(hardware);
  form.Label156->setText(project);
  form.Label157->setText(build);
}

// No image is chosen any more; the user is told why, in one message naming the file.
void Refuse(TForm1& form, const QString& why) {
  ShowImageIdentity(form, "-", "-", "-");
  form.ClearPreflight();
  DownloadLog(why);
  CurrentDialogs().Message(why);
}

QString Unconvertible(const QString& hexPath, const QString& why) {
  return "No se puede convertir " + QDir::toNativeSeparators(hexPath) + ": " + why;
}

}  // namespace

void TForm1::BitBtn22Click() {
  if (!OpenDialog2.execute()) return;
  const QString hexPath = OpenDialog2.fileName;
  downloadSession.SetFileName(hexPath.toStdString());

  const auto identity = DecodeHexName(hexPath.toStdString());
  if (!identity) {
    Refuse(*this, Unconvertible(hexPath,
                                "El nombre del archivo HEX no indica hardware, proyecto y build "
                                "(ejemplo: ABC02-017-0456.hex)"));
    return;
  }
  QFile hex(hexPath);
  if (!hex.open(QIODevice::ReadOnly)) {
    Refuse(*this, "No se puede abrir el archivo HEX " + QDir::toNativeSeparators(hexPath));
    return;
  }
  const QByteArray text = hex.readAll();
  hex.close();

  const ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(text.constData()),
                       std::size_t(text.size()));
  const HexConversion conversion = ConvertHex(bytes, *identity);
  if (!conversion.error.empty()) {
    for (const std::string& line : conversion.log) DownloadLog(QString::fromStdString(line));
    Refuse(*this, Unconvertible(hexPath, QString::fromStdString(conversion.error)));
    return;
  }

  if (!SaveDialog3.execute()) return;
  const QString imagePath = SaveDialog3.fileName;
  for (const std::string& line : conversion.log) DownloadLog(QString::fromStdString(line));
  // Written aside and renamed when whole: no half image under the chosen name.
  if (!WriteWholeFile(imagePath, conversion.image.data(), conversion.image.size())) {
    Refuse(*this, "No se puede escribir el archivo " + imagePath);
    return;
  }
  downloadSession.SetFileName(imagePath.toStdString());
  ShowImageIdentity(*this, QString::number(identity->hardware),
                    QString::fromStdString(ImageProjectText(identity->project)),
                    QString::number(identity->build));
  for (QLabel* unit : {Label158, Label159, Label160}) unit->setText("-");
  downloadSession.ClearCount();
  for (int n = 0; n < conversion.recordCount; ++n) downloadSession.IncCount();
  DownloadLog("FirmwareSize : " + QString::number(downloadSession.GetCount()));
  InventoryImageChosen(hexPath, text, identity->hardware, identity->project, identity->build,
                       qint64(conversion.image.size()));
  ShowPreflight(AnalyseHex(bytes), imagePath);
}
