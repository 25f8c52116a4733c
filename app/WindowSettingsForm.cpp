// The window's side of the kept settings: its place and the "Puerto Debug"
// fields.
#include <QSettings>

#include "app/Log.h"
#include "app/WindowSettings.h"

void TForm1::RestoreKept(QSettings& settings) {
  const KeptWindow kept = ReadKeptWindow(settings);
  PlaceWindow(*this, kept);
  if (kept.port) LabeledEdit1->setText(*kept.port);
  if (kept.station) Edit3->setText(*kept.station);
  if (kept.mode) {
    RadioGroup2->setItemIndex(*kept.mode);
    RadioGroup2Click();
  }
}

void TForm1::Keep(QSettings& settings) const {
  KeptWindow kept;
  TakeWindowPlace(*this, kept);
  kept.port = LabeledEdit1->text();
  kept.mode = RadioGroup2->itemIndex();
  kept.station = Edit3->text();
  WriteKeptWindow(settings, kept);
}
