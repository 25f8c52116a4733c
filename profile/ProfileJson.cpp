// Building the profile object and reading one back, damaged or not.
#include <utility>
#include <vector>

#include "profile/Profile.h"

namespace {
const char* Flag(bool on) { return on ? "-1" : "0"; }

template <std::size_t N>
ProfileJson Element(const std::array<const char*, N>& keys, const auto& values) {
  ProfileJson element = ProfileJson::object();
  for (std::size_t i = 0; i < values.size(); ++i) element[keys[i]] = values[i];
  return element;
}

// Builds the document as the parser reports it. A container joins its parent
// only once it is closed, so what damage cut short can be told apart.
class PartialDocument final : public nlohmann::json_sax<ProfileJson> {
 public:
  ProfileJson Take() { return std::move(root_); }

  bool null() override { return Add(nullptr); }
  bool boolean(bool value) override { return Add(value); }
  bool number_integer(number_integer_t value) override { return Add(value); }
  bool number_unsigned(number_unsigned_t value) override { return Add(value); }
  bool number_float(number_float_t value, const string_t&) override { return Add(value); }
  bool string(string_t& value) override { return Add(std::move(value)); }
  bool binary(binary_t& value) override { return Add(ProfileJson::binary(std::move(value))); }
  bool start_object(std::size_t) override {
    if (open_.size() >= kMaxDepth) return Damaged();
    open_.push_back({ProfileJson::object(), {}});
    return true;
  }
  bool key(string_t& name) override {
    open_.back().key = std::move(name);
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override {
    if (open_.size() >= kMaxDepth) return Damaged();
    open_.push_back({ProfileJson::array(), {}});
    return true;
  }
  bool end_array() override { return Close(); }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return Damaged();
  }

 private:
  // A profile nests three deep. Far deeper values are read as damage: copying
  // or printing one would recurse once per level and overflow the stack.
  static constexpr std::size_t kMaxDepth = 64;

  bool Damaged() {
    // Only the outermost object and an array that is one of its values are
    // used in part; anything deeper that was cut short is missing as a whole.
    if (open_.size() > 2) open_.resize(2);
    if (open_.size() == 2 && !open_.back().value.is_array()) open_.pop_back();
    while (!open_.empty()) Close();
    return false;
  }

  struct Open {
    ProfileJson value;
    std::string key;  // of the pair whose value comes next
  };

  bool Add(ProfileJson value) {
    if (open_.empty()) {
      root_ = std::move(value);
    } else if (Open& parent = open_.back(); parent.value.is_array()) {
      parent.value.push_back(std::move(value));
    } else {
      parent.value.emplace(parent.key, std::move(value));  // a repeated key keeps its first value
    }
    return true;
  }

  bool Close() {
    Open last = std::move(open_.back());
    open_.pop_back();
    return Add(std::move(last.value));
  }

  std::vector<Open> open_;
  ProfileJson root_;
};
}  // namespace

ProfileJson BuildProfile(const ProfileValues& values) {
  ProfileJson profile = ProfileJson::object();
  const auto array = [&profile](const char* key) -> ProfileJson& {
    return profile[key] = ProfileJson::array();
  };
  profile["perfil"] = "Vesk";
  profile["id"] = values.id;
  profile["periodo"] = values.period;
  ProfileJson& ip = array("ip");
  for (const auto& server : values.servers)
    ip.push_back(Element(std::array{"address", "port"}, std::array{server.address, server.port}));
  profile["vpn"] = Flag(values.vpn);
  profile["simA"] = Flag(values.simA);
  profile["simB"] = Flag(values.simB);
  profile["baudrate"] = std::to_string(values.baudRate);
  profile["bits"] = std::to_string(values.dataBits);
  profile["paridad"] = std::to_string(values.parity);
  profile["bitStop"] = std::to_string(values.stopBits);
  profile["serialWait"] = values.serialWait;
  profile["serialPort"] = std::to_string(values.serialPort);
  ProfileJson& sms = array("sms");
  for (const auto& line : values.sms)
    sms.push_back(Element(std::array{"number", "alarm"},
                          std::array<std::string, 2>{line.number, Flag(line.alarm)}));
  profile["smsId"] = values.smsId;
  ProfileJson& digitalAlarms = array("digitalSmsAlarms");
  for (bool alarm : values.digitalAlarms)
    digitalAlarms.push_back(Element(std::array{"digital"}, std::array{Flag(alarm)}));
  ProfileJson& analogAlarms = array("analogSmsAlarms");
  for (const auto& alarm : values.analogAlarms)
    analogAlarms.push_back(
        Element(std::array{"anaLow", "anaHi"}, std::array{Flag(alarm.low), Flag(alarm.high)}));
  ProfileJson& inputs = array("cfgDigital");
  for (const auto& input : values.inputs)
    inputs.push_back(
        Element(kDigitalInputKeys,
                std::array{Flag(input.invert), Flag(input.logicInvert), Flag(input.latch),
                           Flag(input.latchReset), Flag(input.pulse)}));
  profile["latchTime"] = values.latchTime;
  profile["latchTime2"] = values.latchTime2;
  ProfileJson& analogInputs = array("cfgAnalog");
  for (const auto& input : values.analogInputs)
    analogInputs.push_back(Element(kAnalogInputKeys, input));
  ProfileJson& modbusDigital = array("modbusDigital");
  for (const auto& row : values.modbusDigital) modbusDigital.push_back(Element(kGatewayKeys, row));
  ProfileJson& modbusAnalog = array("modbusAnalog");
  for (const auto& row : values.modbusAnalog) modbusAnalog.push_back(Element(kGatewayKeys, row));
  ProfileJson& tagDigital = array("tagDigital");
  for (const auto& tag : values.tagDigital)
    tagDigital.push_back(Element(std::array{"digital"}, std::array{tag}));
  ProfileJson& tagAnalog = array("tagAnalog");
  for (const auto& tag : values.tagAnalog)
    tagAnalog.push_back(Element(std::array{"analog"}, std::array{tag}));
  return profile;
}

std::string ProfileText(const ProfileJson& profile) {
  // A text that is no valid UTF-8 must not stop the save.
  return profile.dump(-1, ' ', false, ProfileJson::error_handler_t::replace);
}

ProfileJson ParseProfile(std::string_view bytes) {
  PartialDocument document;
  ProfileJson::sax_parse(bytes.data(), bytes.data() + bytes.size(), &document);
  return document.Take();
}

std::optional<std::string> ScalarText(const ProfileJson& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_structured()) return std::nullopt;
  return value.dump();
}
