#include "app/StartOptions.h"

#include <string_view>

#include "link/PortNumber.h"

#ifndef QIREL_VERSION
#define QIREL_VERSION "unknown"
#endif

namespace {

// Built by appending: GCC 12 at -O3 warns falsely about "..." + std::string.
std::string Quoted(std::string_view before, std::string_view text, std::string_view after) {
  std::string message(before);
  message += '\'';
  message.append(text);
  message += '\'';
  message.append(after);
  return message;
}

}  // namespace

StartOptions ParseStartOptions(const std::vector<std::string>& arguments) {
  StartOptions options;
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") return {StartOptions::Action::Help, {}, {}};
    if (argument == "--version") return {StartOptions::Action::Version, {}, {}};
  }
  const auto fail = [&](std::string error) {
    options.action = StartOptions::Action::Error;
    options.error = std::move(error);
    return options;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    std::optional<std::string_view> value;
    if (argument == "--port") {
      if (i + 1 == arguments.size()) return fail("--port needs a COM port number");
      value = arguments[++i];
    } else if (argument.starts_with("--port=")) {
      value = argument.substr(7);
    } else {
      return fail(Quoted("unknown argument ", argument, ""));
    }
    options.port = ComPortNumber(*value);
    if (!options.port) return fail(Quoted("", *value, " is not a COM port number"));
  }
  return options;
}

std::string StartUsageText() {
  return R"(Usage: qirel [options]

Configures and debugs Qirel field units through a serial port (COM port).

Options:
  --port N      put COM port N in "Puerto" and connect at start
  --version     print the version and end
  -h, --help    print this help and end

The toolkit's own options (-platform NAME, -style NAME, ...) are understood too.
On Linux, port N is ~/.qirel/ports/COMN when that exists (a link to the device),
else /dev/ttyS<N-1>; on Windows it is \\.\COMN.
)";
}

std::string VersionText() { return std::string("qirel ") + QIREL_VERSION; }
