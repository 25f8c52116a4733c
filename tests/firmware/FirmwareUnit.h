// The virtual unit the firmware tests and benches load: hardware 2, project
// 17, build 456 (the identity of ABC02-017-0456.hex), no telemetry.
#pragma once

#include <chrono>

#include "sim/Options.h"

inline sim::UnitOptions FirmwareUnitOptions(int com) {
  sim::UnitOptions options;
  options.com = com;
  options.identity.hardware = 2;
  options.identity.project = 17;
  options.identity.build = 456;
  options.telemetryPeriod = std::chrono::milliseconds(0);
  return options;
}
