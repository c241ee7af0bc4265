// The settings file's line rules, applied to text in memory.
//
// The text is as the file holds it, and the text-mode rules are applied here (CR LF ends a line, a
// Ctrl-Z byte ends the text), so the Windows build and the native build read the same bytes the
// same way.
#include "config/settings_reader.h"

#include <cstring>

#include "common/settings.h"
#include "config/key_names.h"

namespace {

constexpr char kEndOfText = 0x1A;  // Ctrl-Z: text mode ends the file here

// The first `c` in [from, end), or null.
const char* find(const char* from, const char* end, char c) {
  return static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(end - from)));
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Exactly four bytes, "true" in any mix of ASCII capitals; no trimming.
bool isTrue(const char* value, const char* end) {
  constexpr char kTrue[] = "true";
  if (end - value != 4) {
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    const char c = value[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kTrue[i]) {
      return false;
    }
  }
  return true;
}

// The value trimmed of blanks at both ends, looked up as a key name; F3 when it names none.
uint32_t keyCode(const char* value, const char* end) {
  while (value < end && isBlank(*value)) {
    ++value;
  }
  while (end > value && isBlank(end[-1])) {
    --end;
  }
  uint32_t code = kDefaultToggleKey;
  return lookupKeyName(value, static_cast<size_t>(end - value), &code) ? code : kDefaultToggleKey;
}

// Whether the key ends with the '=' at `equals`. Every key ends in '=' and holds no other, so a
// line holds a key exactly when the key ends at one of its '='.
bool keyEndsAt(const char* line, const char* equals, std::string_view key) {
  return static_cast<size_t>(equals + 1 - line) >= key.size() &&
         std::memcmp(equals + 1 - key.size(), key.data(), key.size()) == 0;
}

// The first key of the fixed order that the line holds decides what it sets, and the value is
// everything after the line's first '=', whichever key that is.
void applyLine(const char* line, const char* end) {
  const char* const firstEquals = find(line, end, '=');
  if (firstEquals == nullptr) {
    return;  // no key: a comment, a section header, a blank line
  }
  const char* const value = firstEquals + 1;
  bool hasToggleKey = false;
  bool hasAffectAllPeds = false;
  for (const char* equals = firstEquals; equals != nullptr; equals = find(equals + 1, end, '=')) {
    if (keyEndsAt(line, equals, kEnabledKey)) {
      settings.keybindEnabled = isTrue(value, end);
      return;  // first in the order: nothing later in the line can matter
    }
    hasToggleKey = hasToggleKey || keyEndsAt(line, equals, kToggleKeyKey);
    hasAffectAllPeds = hasAffectAllPeds || keyEndsAt(line, equals, kAffectAllPedsKey);
  }
  if (hasToggleKey) {
    settings.toggleKey = keyCode(value, end);
  } else if (hasAffectAllPeds) {
    settings.affectAllPeds = isTrue(value, end);
  }
}

// Where the text that counts ends: at a Ctrl-Z within the limit; otherwise, when the text goes on
// past the limit, after the last line feed within it, since the line after that was not read
// whole.
const char* textEnd(const char* text, size_t length) {
  const char* const limit = text + (length < kSettingsReadLimit ? length : kSettingsReadLimit);
  if (const char* ctrlZ = find(text, limit, kEndOfText)) {
    return ctrlZ;
  }
  if (length <= kSettingsReadLimit) {
    return limit;
  }
  const char* end = limit;
  while (end > text && end[-1] != '\n') {
    --end;
  }
  return end;
}

}  // namespace

void applySettingsText(const char* text, size_t length) {
  const char* const end = textEnd(text, length);
  for (const char* line = text;;) {
    const char* const lineFeed = find(line, end, '\n');
    if (lineFeed == nullptr) {
      applyLine(line, end);  // the last line needs no line end
      return;
    }
    // A CR right before the LF is part of the line end, not of the line.
    applyLine(line, lineFeed > line && lineFeed[-1] == '\r' ? lineFeed - 1 : lineFeed);
    line = lineFeed + 1;
  }
}
