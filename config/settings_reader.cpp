// The settings file's line rules, applied to text in memory. The text is as the file holds it and
// the text-mode rules are applied here, so both builds read the same bytes the same way.
#include "config/settings_reader.h"

#include <algorithm>

#include "common/settings.h"
#include "config/key_names.h"

namespace {

constexpr char kEndOfText = 0x1A;  // Ctrl-Z: text mode ends the file here
constexpr std::string_view kBlanks = " \t\r\n";
constexpr size_t kNone = std::string_view::npos;

// The first `n` bytes of `text`, or all of it for kNone. Unlike substr, it has no throwing path to
// pull the C++ runtime's exceptions into the DLL.
std::string_view head(std::string_view text, size_t n) {
  return {text.data(), std::min(n, text.size())};
}

// Exactly four bytes, "true" in any mix of ASCII capitals; no trimming.
bool isTrue(std::string_view value) {
  if (value.size() != 4) {
    return false;
  }
  for (size_t i = 0; i < 4; ++i) {
    const char c = value[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != "true"[i]) {
      return false;
    }
  }
  return true;
}

// The value trimmed of blanks at both ends, looked up as a key name; F3 when it names none.
uint32_t keyCode(std::string_view value) {
  value = head(value, value.find_last_not_of(kBlanks) + 1);  // all blanks: none left
  value.remove_prefix(std::min(value.find_first_not_of(kBlanks), value.size()));
  uint32_t code = kDefaultToggleKey;
  return lookupKeyName(value.data(), value.size(), &code) ? code : kDefaultToggleKey;
}

// The first of the three keys, in their fixed order, that the line holds decides what it sets;
// its value is everything after the line's first '=', whichever key that is.
void applyLine(std::string_view line) {
  const size_t equals = line.find('=');
  if (equals == kNone) {
    return;  // every key ends in '=': a comment, a section header or a blank line holds none
  }
  std::string_view value = line;
  value.remove_prefix(equals + 1);
  // A key's one '=' is its last byte, so no key starts more than its length before the first '='.
  const auto holds = [&](std::string_view key) {
    return line.find(key, equals + 1 >= key.size() ? equals + 1 - key.size() : 0) != kNone;
  };
  if (holds(kEnabledKey)) {
    settings.keybindEnabled = isTrue(value);
  } else if (holds(kToggleKeyKey)) {
    settings.toggleKey = keyCode(value);
  } else if (holds(kAffectAllPedsKey)) {
    settings.affectAllPeds = isTrue(value);
  }
}

}  // namespace

void applySettingsText(const char* text, size_t length) {
  std::string_view rest(text, std::min(length, kSettingsReadLimit));
  if (const size_t ctrlZ = rest.find(kEndOfText); ctrlZ != kNone) {
    rest = head(rest, ctrlZ);
  } else if (length > kSettingsReadLimit) {
    // The file goes on past the limit: the line the limit cuts was not read whole, and is left
    // out (all of the text, when no line feed comes before the limit).
    rest = head(rest, rest.rfind('\n') + 1);
  }
  for (;;) {
    const size_t lineFeed = rest.find('\n');
    std::string_view line = head(rest, lineFeed);
    // A CR right before the LF is part of the line end, not of the line.
    if (lineFeed != kNone && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    applyLine(line);
    if (lineFeed == kNone) {
      return;  // the last line needs no line end
    }
    rest.remove_prefix(lineFeed + 1);
  }
}
