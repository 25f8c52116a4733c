// The port given on the command line: connected once the window is up.
#include <QTimer>

#include "app/Log.h"

void TForm1::ConnectAtStart(int port) {
  // Queued, so it comes after whatever the start-up restored into the field.
  QTimer::singleShot(0, this, [this, port] {
    LabeledEdit1->setText(QString::number(port));
    Guarded([this] { BitBtn1Click(); });
  });
}
