// The runner's model of the settings file's line rules and of what the plug-in then does.
//
// The rules, as the player's readme and the tests state them:
//  - a Ctrl-Z byte ends the text; a line ends at LF, and a CR right before that LF belongs to the
//    line end, while any other CR is part of the line;
//  - a line sets what the first of "enabled=", "toggle-key=", "affect-all-peds=" found anywhere in
//    it names, in that order of precedence; a line holding none sets nothing;
//  - the value is everything after the line's first '=';
//  - a boolean is true when its value, lower-cased, is exactly "true", and false otherwise;
//  - a key name is the value trimmed of blanks (space, tab, CR, LF), looked up exactly; a name
//    not in the table means F3.
// Written the plain way, with strings, for clarity rather than speed.
#include "tools/runner/settings_model.h"

const SettingsKey kSettingsKeys[] = {
    {"F1", 112},  {"F2", 113},   {"F3", 114},    {"F4", 115},   {"F5", 116},
    {"F6", 117},  {"F7", 118},   {"F8", 119},    {"F9", 120},   {"F10", 121},
    {"F11", 122}, {"F12", 123},  {"TAB", 9},     {"SHIFT", 16}, {"CONTROL", 17},
    {"MENU", 18}, {"SPACE", 32}, {"RETURN", 13}, {"BACK", 8},   {"ESCAPE", 27},
};
const size_t kSettingsKeyCount = sizeof kSettingsKeys / sizeof kSettingsKeys[0];

namespace {

// In the order in which they decide a line that holds more than one.
const char* const kSettingNames[] = {"enabled", "toggle-key", "affect-all-peds"};

std::string lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) {
    return "";
  }
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

const SettingsKey* exactKey(const std::string& value) {
  for (size_t i = 0; i < kSettingsKeyCount; ++i) {
    if (value == std::string("VK_") + kSettingsKeys[i].name) {
      return &kSettingsKeys[i];
    }
  }
  return nullptr;
}

// A hint for a key value that names no key yet is close to one.
std::string keyHint(const std::string& value) {
  std::string upper = value;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  if (exactKey(upper) != nullptr) {
    return " (names are case-sensitive: " + upper + ")";
  }
  if (exactKey("VK_" + upper) != nullptr) {
    return " (names take the VK_ prefix: VK_" + upper + ")";
  }
  return "";
}

std::string booleanRemark(const char* name, const std::string& value, bool* result) {
  std::string folded = lower(value);
  *result = folded == "true";
  if (*result || folded == "false") {
    return "";
  }
  return std::string(name) + ": the value " + quoted(value) + " is not true, so it means false" +
         (lower(trimmed(value)) == "true" ? " (blanks count)" : "");
}

bool looksLikeComment(const std::string& line) {
  size_t first = line.find_first_not_of(" \t");
  return first != std::string::npos && (line[first] == '#' || line[first] == ';');
}

// Applies one line; returns a remark when the line deserves one.
std::string applyLine(const std::string& line, EffectiveSettings* settings) {
  size_t equals = line.find('=');
  if (equals == std::string::npos) {
    return "";
  }
  const std::string value = line.substr(equals + 1);
  int deciding = -1;
  int found = 0;
  for (int i = 0; i < 3; ++i) {
    if (line.find(std::string(kSettingNames[i]) + "=") != std::string::npos) {
      found += 1;
      deciding = deciding < 0 ? i : deciding;
    }
  }
  if (deciding < 0) {
    return looksLikeComment(line) ? ""
                                  : quoted(line) +
                                        " sets nothing: it holds none of enabled=, toggle-key=, "
                                        "affect-all-peds= (lower case, '=' right after the name)";
  }

  std::string remark;
  std::string what;
  if (deciding == 1) {
    std::string name = trimmed(value);
    const SettingsKey* key = exactKey(name);
    settings->toggleKey = key != nullptr ? key->code : kFallbackToggleKey;
    what = "the toggle key " + keyName(settings->toggleKey);
    if (key == nullptr) {
      remark = "toggle-key: the value " + quoted(value) + " names no key, so it means F3" +
               keyHint(name);
    }
  } else {
    bool* field = deciding == 0 ? &settings->keybind : &settings->allPeds;
    remark = booleanRemark(kSettingNames[deciding], value, field);
    what = std::string(kSettingNames[deciding]) + (*field ? " true" : " false");
  }
  if (found > 1) {
    remark += std::string(remark.empty() ? "" : "; ") + quoted(line) +
              " holds more than one setting, and " + kSettingNames[deciding] + "= decides";
  }
  if (looksLikeComment(line)) {
    remark += std::string(remark.empty() ? "" : "; ") + "the comment " + quoted(line) +
              " still sets " + what + ": settings count anywhere in a line";
  }
  return remark;
}

std::string pedCount(size_t count) {
  return std::to_string(count) + (count == 1 ? " ped" : " peds");
}

std::string whom(const std::set<int32_t>& peds, int32_t player) {
  if (peds.empty()) {
    return "nobody";
  }
  if (peds.size() == 1 && *peds.begin() == player) {
    return "the player";
  }
  return pedCount(peds.size());
}

}  // namespace

std::string keyName(uint32_t code) {
  for (size_t i = 0; i < kSettingsKeyCount; ++i) {
    if (kSettingsKeys[i].code == code) {
      return kSettingsKeys[i].name;
    }
  }
  return "key " + std::to_string(code);
}

bool operator==(const EffectiveSettings& a, const EffectiveSettings& b) {
  return a.keybind == b.keybind && a.toggleKey == b.toggleKey && a.allPeds == b.allPeds;
}

std::string describeSettings(const EffectiveSettings& settings) {
  return "toggle key " + keyName(settings.toggleKey) +
         (settings.keybind ? ", keybind on" : ", keybind off (no key toggles)") +
         (settings.allPeds ? ", protecting all living peds" : ", protecting the player");
}

SettingsReading readSettingsText(const std::string& bytes, const EffectiveSettings& before) {
  SettingsReading reading;
  reading.settings = before;
  const std::string text = bytes.substr(0, bytes.find('\x1a'));
  size_t start = 0;
  for (int number = 1;; ++number) {
    size_t lineFeed = text.find('\n', start);
    std::string line =
        text.substr(start, lineFeed == std::string::npos ? lineFeed : lineFeed - start);
    if (lineFeed != std::string::npos && !line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    std::string remark = applyLine(line, &reading.settings);
    if (!remark.empty() && reading.notes.size() < kMostNotes) {
      reading.notes.push_back({number, remark});
    } else if (!remark.empty()) {
      ++reading.notesLeftOut;
    }
    if (lineFeed == std::string::npos) {
      return reading;
    }
    start = lineFeed + 1;
  }
}

std::string editedSettings(const std::string& bytes, const std::string& setting) {
  std::string key = setting.substr(0, setting.find('=') + 1);
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    size_t lineEnd = end == std::string::npos ? bytes.size() : end;
    if (lineEnd > start && bytes[lineEnd - 1] == '\r') {
      --lineEnd;
    }
    if (bytes.substr(start, lineEnd - start).find(key) != std::string::npos) {
      return bytes.substr(0, start) + setting + bytes.substr(lineEnd);
    }
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  std::string separator = bytes.empty() || bytes.back() == '\n' ? "" : "\r\n";
  return bytes + separator + setting + "\r\n";
}

ToggleDue toggleDue(const EffectiveSettings& settings, bool hasEvent, bool up, uint32_t earliestMs,
                    uint32_t latestMs) {
  if (!settings.keybind || !hasEvent || !up || earliestMs >= kToggleWindowMs) {
    return ToggleDue::kNo;
  }
  return latestMs < kToggleWindowMs ? ToggleDue::kYes : ToggleDue::kMaybe;
}

std::string toggleDisagreement(const EffectiveSettings& settings, ToggleDue due, bool toggled) {
  std::string key = keyName(settings.toggleKey);
  if (due == ToggleDue::kYes && !toggled) {
    return key +
           " was released well inside the 100 ms window and is the toggle key, yet no "
           "notice came";
  }
  if (due == ToggleDue::kNo && toggled) {
    if (!settings.keybind) {
      return "a notice came, yet the keybind is off";
    }
    return "a notice came, yet " + key + ", the toggle key, was not released within 100 ms";
  }
  return "";
}

std::string protectionDisagreement(const EffectiveSettings& settings, bool active,
                                   const std::set<int32_t>& protectedPeds, const PedWorld& world) {
  std::set<int32_t> expected;
  std::string meant = "nobody, protection being off";
  if (active && !settings.allPeds) {
    meant = world.playerPresent ? "the player" : "nobody, the player being gone";
    if (world.playerPresent) {
      expected.insert(world.player);
    }
  } else if (active) {
    expected = world.living;
    meant = "all " + std::to_string(world.living.size()) + " living " +
            (world.living.size() == 1 ? "ped" : "peds");
  }
  bool holds = protectedPeds == expected;
  if (active && settings.allPeds && world.pedsInWorld > kPedsEnumerated) {
    // Only the first 256 of the enumeration are looked at, in an order the runner does not know.
    // Of those, at most the dead ones in the world are skipped.
    auto least = static_cast<int64_t>(expected.size() + kPedsEnumerated) -
                 static_cast<int64_t>(world.pedsInWorld);
    holds = protectedPeds.size() <= kPedsEnumerated &&
            static_cast<int64_t>(protectedPeds.size()) >= least;
    for (int32_t ped : protectedPeds) {
      holds = holds && expected.count(ped) > 0;
    }
    meant = "living peds among the first 256 enumerated";
  }
  if (holds) {
    return "";
  }
  return "protected " + whom(protectedPeds, world.player) + ", yet by the settings in effect it " +
         "should protect " + meant;
}
