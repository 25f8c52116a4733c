// Configuration profiles: the configuration page values as one JSON object,
// and reading such an object back from a file that may be damaged. No widgets
// here; profile/Profile.cpp moves the values between these and the page.
#pragma once

#include <array>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

// Pairs keep the order they were written in.
using ProfileJson = nlohmann::ordered_json;

// A bigger file is no profile of ours; it is refused rather than read.
inline constexpr std::size_t kMaxProfileBytes = std::size_t(1) << 20;

// Keys inside the array elements, in the order they are written.
inline constexpr std::array<const char*, 5> kDigitalInputKeys{"inv", "logicInv", "latch",
                                                              "latchReset", "pulsos"};
inline constexpr std::array<const char*, 5> kAnalogInputKeys{"cero", "span", "alLow", "alHi",
                                                             "alHist"};
// The digital table uses the first three.
inline constexpr std::array<const char*, 6> kGatewayKeys{"enable", "slave", "address",
                                                         "alHi",   "alLow", "threshold"};

// The page values a profile carries, texts in UTF-8, selections as item indexes.
struct ProfileValues {
  struct Server {
    std::string address, port;
  };
  struct SmsLine {
    std::string number;
    bool alarm = false;
  };
  struct AnalogAlarm {
    bool low = false, high = false;
  };
  struct DigitalInput {
    bool invert = false, logicInvert = false, latch = false, latchReset = false;
    bool pulse = false;  // "Si", or nothing selected
  };

  std::string id, period;
  std::array<Server, 3> servers;
  bool vpn = false, simA = false, simB = false;
  int baudRate = -1, dataBits = -1, parity = -1, stopBits = -1;
  std::string serialWait;
  int serialPort = -1;
  std::array<SmsLine, 3> sms;
  std::string smsId;
  std::array<bool, 8> digitalAlarms{};
  std::array<AnalogAlarm, 4> analogAlarms{};
  std::array<DigitalInput, 16> inputs{};
  std::string latchTime;                                     // group of inputs 1-8
  std::string latchTime2;                                    // group of inputs 9-16
  std::array<std::array<std::string, 5>, 8> analogInputs;    // kAnalogInputKeys order
  std::array<std::array<std::string, 3>, 64> modbusDigital;  // kGatewayKeys order
  std::array<std::array<std::string, 6>, 64> modbusAnalog;
  std::array<std::string, 8> tagDigital;
  std::array<std::string, 4> tagAnalog;
};

// The profile object; every value a string, flags "-1" or "0".
ProfileJson BuildProfile(const ProfileValues& values);

// Compact UTF-8 text, as written to the file.
std::string ProfileText(const ProfileJson& profile);

// The document in a profile file's bytes (UTF-8), as far as it could be read:
// after damage the outermost object keeps its complete pairs, an array that
// is the value of one of them keeps its complete elements, and anything else
// cut short (a text, an element) is left out. Of repeated keys the first
// counts. Null when not even the start could be read.
ProfileJson ParseProfile(std::string_view bytes);

// A single value as text: a string as it is, any other literal as its JSON
// text; nullopt for arrays and objects.
std::optional<std::string> ScalarText(const ProfileJson& value);
