#include "firmware/DownloadEta.h"

#include "firmware/Preflight.h"

namespace {
double Seconds(DownloadEta::Clock::duration span) {
  return std::chrono::duration<double>(span).count();
}
}  // namespace

void DownloadEta::Start() {
  phase_ = Phase::Running;
  started_ = now();
  firstChunk_.reset();
  lastServed_ = false;
  left_.reset();
}

void DownloadEta::Served(int chunk, int chunkCount) {
  if (phase_ != Phase::Running) return;
  const Clock::time_point at = now();
  lastServed_ = chunk >= chunkCount - 1;
  // The pace is measured from the first request on: before it the unit and
  // the technician may have taken their time over the identity check.
  if (!firstChunk_ || chunk < *firstChunk_) {
    firstChunk_ = chunk;
    firstAt_ = at;
    return;
  }
  if (chunk == *firstChunk_) return;
  const double perRecord = Seconds(at - firstAt_) / (chunk - *firstChunk_);
  left_ = perRecord * std::max(chunkCount - 1 - chunk, 0);
}

void DownloadEta::Stop() {
  if (phase_ != Phase::Running) return;
  total_ = Seconds(now() - started_);
  phase_ = lastServed_ ? Phase::Done : Phase::Interrupted;
}

std::string DownloadEta::Text() const {
  switch (phase_) {
    case Phase::Running:
      return "Tiempo restante: " + (left_ ? Duration(*left_) : std::string("calculando"));
    case Phase::Done:
      return "Tiempo total: " + Duration(total_);
    case Phase::Interrupted:
      return "Descarga interrumpida a los " + Duration(total_);
    case Phase::Idle:
      break;
  }
  return "Tiempo restante: -";
}
