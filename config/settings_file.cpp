// Reading, creating and reloading the settings file.
//
// The file is read in binary mode and the text-mode rules are applied here (CR LF ends a line, a
// Ctrl-Z byte ends the file), so the Windows build and the native build read the same bytes the
// same way. Lines are scanned a byte at a time: a line of any length is judged whole, and nothing
// is allocated.
#include "config/settings_file.h"

#include <cstdio>
#include <cstring>

#include "common/platform.h"
#include "common/settings.h"
#include "config/default_settings.h"
#include "config/key_names.h"
#include "host/natives.h"

int32_t lastLoadTime = 0;

namespace {

constexpr char kEndOfFile = 0x1A;  // Ctrl-Z: text mode ends the file here

// The three keys, in the order in which they decide a line that holds more than one.
constexpr const char* kEnabledKey = "enabled=";
constexpr const char* kToggleKeyKey = "toggle-key=";
constexpr const char* kAffectAllPedsKey = "affect-all-peds=";
constexpr size_t kLongestSettingKey = 16;  // "affect-all-peds="

constexpr bool endsInEquals(const char* key) {
  size_t length = 0;
  while (key[length] != '\0') {
    ++length;
  }
  return length > 0 && length <= kLongestSettingKey && key[length - 1] == '=';
}
static_assert(endsInEquals(kEnabledKey) && endsInEquals(kToggleKeyKey) &&
                  endsInEquals(kAffectAllPedsKey),
              "keys are looked for only when an '=' arrives, in the last 16 bytes of the line");

// What is known about the line being scanned so far.
struct LineScan {
  char recent[kLongestSettingKey];  // the line's last bytes, a ring: byte i is at i % 16
  size_t lineLength;
  bool hasEnabled;
  bool hasToggleKey;
  bool hasAffectAllPeds;
  bool pastEquals;  // the line's first '=' has been seen; the value follows it
  size_t valueLength;
  char valueHead[4];  // the value's first bytes, lower-cased: enough to tell "true"
  // The value with blanks trimmed, kept while it is short enough to be a key name.
  bool valueStarted;   // a byte other than a blank has been seen in the value
  size_t trimmedSpan;  // bytes from the first non-blank through the last non-blank so far
  size_t spanSeen;     // bytes from the first non-blank through the latest byte
  char trimmed[kLongestKeyName + 1];
};

// The file reader's state across the chunks it is fed.
struct FileScan {
  LineScan line;
  bool pendingCr;  // a CR whose fate depends on the next byte
  bool ended;      // a Ctrl-Z has been seen; the rest of the file is not text
};

bool isTrimmed(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool recentEndsWith(const LineScan& line, const char* key) {
  size_t keyLength = std::strlen(key);
  if (line.lineLength < keyLength) {
    return false;
  }
  size_t at = line.lineLength - keyLength;
  for (size_t i = 0; i < keyLength; ++i, ++at) {
    if (line.recent[at % kLongestSettingKey] != key[i]) {
      return false;
    }
  }
  return true;
}

void scanValueByte(LineScan& line, char c) {
  if (line.valueLength < sizeof line.valueHead) {
    line.valueHead[line.valueLength] = lowerAscii(c);
  }
  ++line.valueLength;

  if (!line.valueStarted && isTrimmed(c)) {
    return;
  }
  line.valueStarted = true;
  if (line.spanSeen < sizeof line.trimmed) {
    line.trimmed[line.spanSeen] = c;
  }
  ++line.spanSeen;
  if (!isTrimmed(c)) {
    line.trimmedSpan = line.spanSeen;
  }
}

void scanLineByte(LineScan& line, char c) {
  line.recent[line.lineLength % kLongestSettingKey] = c;
  ++line.lineLength;
  // Every key ends in '=', so a key can only have just been completed by an '='. Testing there
  // alone keeps the cost of a long line to a store per byte.
  if (c == '=') {
    line.hasEnabled = line.hasEnabled || recentEndsWith(line, kEnabledKey);
    line.hasToggleKey = line.hasToggleKey || recentEndsWith(line, kToggleKeyKey);
    line.hasAffectAllPeds = line.hasAffectAllPeds || recentEndsWith(line, kAffectAllPedsKey);
  }

  if (line.pastEquals) {
    scanValueByte(line, c);
  } else if (c == '=') {
    line.pastEquals = true;
  }
}

bool valueIsTrue(const LineScan& line) {
  return line.valueLength == 4 && std::memcmp(line.valueHead, "true", 4) == 0;
}

uint32_t valueKeyCode(const LineScan& line) {
  uint32_t code = kDefaultToggleKey;
  if (line.trimmedSpan <= kLongestKeyName && lookupKeyName(line.trimmed, line.trimmedSpan, &code)) {
    return code;
  }
  return kDefaultToggleKey;
}

// The first key of the fixed order that the line holds decides what it sets.
void applyLine(const LineScan& line) {
  if (line.hasEnabled) {
    settings.keybindEnabled = valueIsTrue(line);
  } else if (line.hasToggleKey) {
    settings.toggleKey = valueKeyCode(line);
  } else if (line.hasAffectAllPeds) {
    settings.affectAllPeds = valueIsTrue(line);
  }
}

void endLine(FileScan& scan) {
  applyLine(scan.line);
  scan.line = LineScan{};
}

// Feeds file bytes; returns false once the file has ended at a Ctrl-Z.
bool feed(FileScan& scan, const char* bytes, size_t length) {
  for (size_t i = 0; i < length && !scan.ended; ++i) {
    char c = bytes[i];
    if (scan.pendingCr) {
      scan.pendingCr = false;
      if (c == '\n') {
        endLine(scan);  // CR LF is one line end
        continue;
      }
      scanLineByte(scan.line, '\r');  // a lone CR belongs to the line
    }
    if (c == '\r') {
      scan.pendingCr = true;
    } else if (c == '\n') {
      endLine(scan);
    } else if (c == kEndOfFile) {
      scan.ended = true;
    } else {
      scanLineByte(scan.line, c);
    }
  }
  return !scan.ended;
}

// The last line needs no line end.
void finish(FileScan& scan) {
  if (scan.pendingCr) {
    scanLineByte(scan.line, '\r');
  }
  endLine(scan);
}

void writeDefaultContent(std::FILE* file) {
  for (const char* literal : kDefaultContent) {
    for (const char* c = literal; *c != '\0'; ++c) {
      if (*c == '\n') {
        std::fputc('\r', file);
      }
      std::fputc(*c, file);
    }
  }
}

int32_t gameTime() {
  return invokeNative32(native::kGetGameTimer);
}

}  // namespace

void applySettingsText(const char* text, size_t length) {
  FileScan scan = {};
  feed(scan, text, length);
  finish(scan);
}

void loadSettings() {
  std::FILE* file = platformOpenForReading(kSettingsFileName);
  if (file != nullptr) {
    FileScan scan = {};
    char chunk[kSettingsReadPiece];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && feed(scan, chunk, got)) {
    }
    finish(scan);
    std::fclose(file);
    return;
  }
  // Only a file that is not there is created: one that exists but could not be read this time
  // (held open by another program, say) keeps the player's settings.
  file = platformCreateNew(kSettingsFileName);
  if (file != nullptr) {
    writeDefaultContent(file);
    std::fclose(file);
  }
}

void reloadPhase() {
  // Signed 32-bit difference, so the test holds when the game timer wraps.
  uint32_t elapsed = static_cast<uint32_t>(gameTime()) - static_cast<uint32_t>(lastLoadTime);
  if (static_cast<int32_t>(elapsed) >= kReloadIntervalMs) {
    loadSettings();
    lastLoadTime = gameTime();
  }
}
