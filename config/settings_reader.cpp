// The settings file's line rules, applied to text a piece at a time.
//
// The text is as the file holds it, and the text-mode rules are applied here (CR LF ends a line, a
// Ctrl-Z byte ends the file), so the Windows build and the native build read the same bytes the
// same way. A line sets something only if it holds a key, and every key ends in '=': the reader
// hops from one '=' to the next and looks at the bytes before it, and finds line ends only within
// a line that has an '='. Everything else it passes over sixteen bytes at a time.
#include "config/settings_reader.h"

#include <cstring>

#include "common/settings.h"
#include "config/byte_scan.h"
#include "config/key_names.h"

namespace {

// applySettingsText's reader: 64 KiB of pieces, kept off the caller's stack like the file
// reader's. One text at a time.
SettingsReader textReader;

constexpr char kEndOfFile = 0x1A;  // Ctrl-Z: text mode ends the file here
constexpr char kValueHeadTrue[] = {'t', 'r', 'u', 'e'};

static_assert(sizeof(SettingsLine::valueHead) == sizeof kValueHeadTrue,
              "the value's head holds just enough to tell \"true\"");

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Blanks as the key name is trimmed of them. A line feed never stands inside a line.
const char* findNotBlank(const char* from, const char* to) {
  return findNoneOf<' ', '\t', '\r'>(from, to);
}

// Counts value bytes [from, to) into the line: its length, its head and its trimmed span.
void takeValue(SettingsLine& line, const char* from, const char* to) {
  const size_t length = static_cast<size_t>(to - from);
  for (size_t i = 0; i < length && line.valueLength + i < sizeof line.valueHead; ++i) {
    line.valueHead[line.valueLength + i] = lowerAscii(from[i]);
  }
  line.valueLength += length;

  // Blanks are passed over a block at a time, so a name inside megabytes of blanks costs little;
  // other bytes are taken one by one, but no more of them than the longest name allows.
  const char* at = from;
  while (at < to && !line.nameTooLong) {
    const char* other = findNotBlank(at, to);
    if (line.nameStarted) {
      const size_t blanks = static_cast<size_t>(other - at);
      if (line.nameSpan < sizeof line.name) {
        std::memcpy(line.name + line.nameSpan, at,
                    std::min(blanks, sizeof line.name - line.nameSpan));
      }
      line.nameSpan += blanks;
    }
    if (other == to) {
      return;
    }
    line.nameStarted = true;
    if (line.nameSpan >= sizeof line.name) {
      line.nameTooLong = true;
      return;
    }
    line.name[line.nameSpan++] = *other;
    line.nameLength = line.nameSpan;
    at = other + 1;
  }
}

bool valueIsTrue(const SettingsLine& line) {
  return line.valueLength == sizeof kValueHeadTrue &&
         std::memcmp(line.valueHead, kValueHeadTrue, sizeof kValueHeadTrue) == 0;
}

uint32_t valueKeyCode(const SettingsLine& line) {
  uint32_t code = kDefaultToggleKey;
  if (line.nameStarted && !line.nameTooLong && lookupKeyName(line.name, line.nameLength, &code)) {
    return code;
  }
  return kDefaultToggleKey;
}

// The first key of the fixed order that the line holds decides what it sets.
void applyLine(const SettingsLine& line) {
  if (line.hasEnabled) {
    settings.keybindEnabled = valueIsTrue(line);
  } else if (line.hasToggleKey) {
    settings.toggleKey = valueKeyCode(line);
  } else if (line.hasAffectAllPeds) {
    settings.affectAllPeds = valueIsTrue(line);
  }
}

// The bytes before the '=' need no check that they belong to its line: no key holds a line feed.
bool keyEndsAt(const char* textStart, const char* equals, std::string_view key) {
  return static_cast<size_t>(equals + 1 - textStart) >= key.size() &&
         std::memcmp(equals + 1 - key.size(), key.data(), key.size()) == 0;
}

// Every key ends in '=', so an '=' is the only place where one can end.
void testKeys(SettingsReader& reader, const char* equals) {
  SettingsLine& line = reader.line;
  if (keyEndsAt(reader.textStart, equals, kEnabledKey)) {
    line.hasEnabled = true;
  } else if (keyEndsAt(reader.textStart, equals, kToggleKeyKey)) {
    line.hasToggleKey = true;
  } else if (keyEndsAt(reader.textStart, equals, kAffectAllPedsKey)) {
    line.hasAffectAllPeds = true;
  }
}

void startLine(SettingsReader& reader, const char* at) {
  reader.line = SettingsLine{};
  reader.valueFrom = at;
}

void endLineAt(SettingsReader& reader, const char* contentEnd) {
  if (reader.line.pastEquals) {
    takeValue(reader.line, reader.valueFrom, contentEnd);
  }
  applyLine(reader.line);
}

// The piece ends inside a line: its value so far is counted, and the last bytes move to just
// before the next piece. A CR at the very end stays uncounted, since the next byte tells whether
// it is part of a CR LF line end.
void carryLine(SettingsReader& reader, const char* end) {
  char* const pieceStart = settingsPieceSpace(reader);
  const char* valueEnd = end;
  if (reader.line.pastEquals) {
    if (end > reader.valueFrom && end[-1] == '\r') {
      --valueEnd;
    }
    takeValue(reader.line, reader.valueFrom, valueEnd);
  }
  const size_t kept = std::min(static_cast<size_t>(end - reader.textStart), kLongestSettingKey);
  std::memmove(pieceStart - kept, end - kept, kept);
  reader.textStart = pieceStart - kept;
  reader.valueFrom = pieceStart - (end - valueEnd);
  reader.textEnd = pieceStart;
}

}  // namespace

void beginSettingsText(SettingsReader& reader) {
  reader.textStart = settingsPieceSpace(reader);
  reader.textEnd = reader.textStart;
  startLine(reader, reader.textStart);
}

char* settingsPieceSpace(SettingsReader& reader) {
  return reader.bytes + kLongestSettingKey;
}

bool takeSettingsPiece(SettingsReader& reader, size_t length) {
  const char* at = settingsPieceSpace(reader);
  const char* end = at + length;
  for (;;) {
    if (!reader.line.pastEquals) {
      // No '=' in the line yet: the next '=' (or the end of the text) is all that can matter.
      const char* mark = findAnyOf<'=', kEndOfFile>(at, end);
      if (mark == end || *mark == kEndOfFile) {
        end = mark;
        break;
      }
      reader.line.pastEquals = true;
      reader.valueFrom = mark + 1;
      testKeys(reader, mark);
      at = mark + 1;
      continue;
    }
    const char* mark = findAnyOf<'\n', '=', kEndOfFile>(at, end);
    if (mark == end || *mark == kEndOfFile) {
      end = mark;
      break;
    }
    if (*mark == '=') {
      testKeys(reader, mark);
    } else {
      // A CR right before the LF is part of the line end, not of the line.
      const bool crLf = mark > reader.textStart && mark[-1] == '\r';
      endLineAt(reader, crLf ? mark - 1 : mark);
      startLine(reader, mark + 1);
    }
    at = mark + 1;
  }
  if (end != settingsPieceSpace(reader) + length) {
    reader.textEnd = end;  // a Ctrl-Z: the line stops there
    return false;
  }
  carryLine(reader, end);
  return true;
}

void endSettingsText(SettingsReader& reader) {
  endLineAt(reader, reader.textEnd);
}

void applySettingsText(const char* text, size_t length) {
  SettingsReader& reader = textReader;
  beginSettingsText(reader);
  while (length > 0) {
    const size_t piece = std::min(length, kSettingsReadPiece);
    std::memcpy(settingsPieceSpace(reader), text, piece);
    if (!takeSettingsPiece(reader, piece)) {
      break;
    }
    text += piece;
    length -= piece;
  }
  endSettingsText(reader);
}
