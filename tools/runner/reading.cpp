// The remarks on the settings file's lines. What a line sets is the model's answer; this file only
// says, in the player's terms, where that differs from what the line seems to say.
#include "tools/runner/reading.h"

#include "tools/model/settings_model.h"
#include "tools/runner/escaped.h"
#include "tools/runner/scenario.h"

namespace {

std::string upperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return text;
}

// A hint for a key value that names no key yet is close to one.
std::string keyHint(std::string_view value) {
  const std::string upper = upperCase(std::string(model::trimmed(value)));
  if (model::findKey(upper) != nullptr) {
    return " (names are case-sensitive: " + upper + ")";
  }
  if (model::findKey("VK_" + upper) != nullptr) {
    return " (names take the VK_ prefix: VK_" + upper + ")";
  }
  return "";
}

bool looksLikeComment(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t");
  return first != std::string_view::npos && (line[first] == '#' || line[first] == ';');
}

std::string joined(const std::string& remark, const std::string& more) {
  return remark.empty() ? more : remark + "; " + more;
}

// The remark on one line, "" when it reads as it seems; `after` is what it left in effect.
std::string remarkOn(std::string_view text, const model::Line& line, const Settings& after) {
  const std::string quotedLine = quoted(std::string(text));
  const std::string value(line.value);
  if (line.key == model::Key::kNone) {
    return text.find('=') == std::string_view::npos || looksLikeComment(text)
               ? ""
               : quotedLine +
                     " sets nothing: it holds none of enabled=, toggle-key=, affect-all-peds= "
                     "(lower case, '=' right after the name)";
  }
  const std::string_view keyText = model::kKeyText[static_cast<int>(line.key)];
  const std::string name(keyText.substr(0, keyText.size() - 1));  // without its '='

  std::string remark;
  std::string what;
  if (line.key == model::Key::kToggleKey) {
    what = "the toggle key " + keyName(after.toggleKey);
    if (model::findKey(model::trimmed(line.value)) == nullptr) {
      remark = "toggle-key: the value " + quoted(value) + " names no key, so it means F3" +
               keyHint(line.value);
    }
  } else {
    const bool set = model::isTrue(line.value);
    what = name + (set ? " true" : " false");
    if (!set && model::lowerCase(line.value) != "false") {
      remark = name + ": the value " + quoted(value) + " is not true, so it means false" +
               (model::isTrue(model::trimmed(line.value)) ? " (blanks count)" : "");
    }
  }
  if (line.keysFound > 1) {
    remark = joined(remark, quotedLine + " holds more than one setting, and " + name + "= decides");
  }
  if (looksLikeComment(text)) {
    remark = joined(remark, "the comment " + quotedLine + " still sets " + what +
                                ": settings count anywhere in a line");
  }
  return remark;
}

}  // namespace

std::string describeSettings(const Settings& goingBy) {
  return "toggle key " + keyName(goingBy.toggleKey) +
         (goingBy.keybindEnabled ? ", keybind on" : ", keybind off (no key toggles)") +
         (goingBy.affectAllPeds ? ", protecting all living peds" : ", protecting the player");
}

SettingsReading readSettingsText(const std::string& bytes, const Settings& before) {
  SettingsReading reading;
  reading.settings = before;
  model::forEachLine(bytes, [&](int number, std::string_view text) {
    const model::Line line = model::readLine(text);
    model::applyLine(line, reading.settings);
    std::string remark = remarkOn(text, line, reading.settings);
    if (remark.empty()) {
      return;
    }
    if (reading.notes.size() < kMostNotes) {
      reading.notes.push_back({number, std::move(remark)});
    } else {
      ++reading.notesLeftOut;
    }
  });
  return reading;
}
