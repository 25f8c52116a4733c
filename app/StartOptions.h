// The tool's command line: --version, --help and --port N. The toolkit's own
// options (-platform, -style, ...) are taken out before this sees the rest.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct StartOptions {
  enum class Action { Run, Version, Help, Error };
  Action action = Action::Run;
  std::optional<int> port;  // fill the port field and connect at start
  std::string error;        // with Action::Error
};

// The arguments without the program name. --help or --version anywhere wins
// over everything else, so they work whatever else is on the line.
StartOptions ParseStartOptions(const std::vector<std::string>& arguments);

std::string StartUsageText();
std::string VersionText();  // "qirel 1.0.0"
