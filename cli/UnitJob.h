// One unit's job for the command line: the window's own code, never shown,
// driven the way a technician drives it, with its dialogs answered from the
// job's options. One window per process: the window's reply hand-over is
// global, so several units at once are several processes (see Cli.cpp).
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "cli/CliInput.h"
#include "profile/Profile.h"

// The exit codes, also each unit's result; the run's code is the worst one.
enum class Exit : int {
  Done = 0,
  Differs = 1,       // a block not verified, or a difference found
  Refused = 2,       // usage or an input file; nothing was sent
  PortFailed = 3,    // the port would not open
  NoAnswer = 4,      // the unit did not answer, or the link was lost
  FirmwareRefused = 5,
};

struct UnitJob {
  QString command;  // identify, read, write, compare, flash
  int port = 0;
  std::optional<int> remote;
  int timeoutSeconds = 30;
  QString backupDir;   // empty: the window's folder
  QString output;      // read: the profile file, or the folder with outputIsFolder
  bool outputIsFolder = false;
  QString profilePath;  // write, compare
  std::optional<ProfileJson> profile;
  std::optional<IdTable> ids;
  QString firmwarePath;  // flash: the HEX file, checked to convert
  // flash: the window's questions each need their option; none is answered
  // "yes" otherwise (hardware and project that do not match, never).
  bool allowSameBuild = false;
  bool allowOlderBuild = false;
  bool allowWarnings = false;
  // A progress line for this unit ("General 1/12"); the caller prefixes the port.
  std::function<void(const QString&)> progress;
};

// The unit's report as one JSON object: port, identity, operation, result,
// blocks, backup, seconds, error, exitCode.
ProfileJson RunUnit(const UnitJob& job);
