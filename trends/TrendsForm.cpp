// The window's side of the "Tendencias" page: building it and telling it
// when the values it is given were taken.
#include "app/Log.h"
#include "trends/Trends.h"

void TForm1::BuildTrendPage() { trends = new Trends(trendPage); }

void TForm1::ConnectTrends() {
  for (std::size_t n = 0; n < currentChecks.size(); ++n)
    connect(currentChecks[n], &QRadioButton::toggled, this,
            [this, n](bool on) { trends->CurrentUnit(int(n), on); });
}

std::int64_t TForm1::TrendTime() const {
  if (takeMs) return *takeMs;
  if (replay && replay->IsRunning()) return replay->RecordTime().toMSecsSinceEpoch();
  return trends->clock();
}
