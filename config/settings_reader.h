// Applying settings text to `settings` by the file's line rules, one piece of text at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "config/key_names.h"

// The three keys, in the order in which they decide a line that holds more than one.
constexpr std::string_view kEnabledKey = "enabled=";
constexpr std::string_view kToggleKeyKey = "toggle-key=";
constexpr std::string_view kAffectAllPedsKey = "affect-all-peds=";

constexpr size_t kLongestSettingKey =
    std::max({kEnabledKey.size(), kToggleKeyKey.size(), kAffectAllPedsKey.size()});

// Text is taken in pieces of this many bytes (the file is read in them too).
constexpr size_t kSettingsReadPiece = size_t{64} * 1024;

// What is known about the line that the last piece left unfinished.
struct SettingsLine {
  bool pastEquals;  // its first '=' has been seen: the value follows it
  bool hasEnabled;
  bool hasToggleKey;
  bool hasAffectAllPeds;
  size_t valueLength;
  char valueHead[4];  // the value's first bytes, lower-cased: enough to tell "true"
  // The value with blanks trimmed off both ends, kept while it could still be a key name.
  bool nameStarted;   // a byte other than a blank has been seen in the value
  bool nameTooLong;   // the trimmed value is longer than any key name
  size_t nameSpan;    // bytes from the first non-blank through the latest byte
  size_t nameLength;  // bytes from the first non-blank through the last non-blank
  char name[kLongestKeyName];
};

// The reader's state between pieces. The last bytes before a piece (as many as the longest key
// has) are moved to just before it, so that a key cut by the piece's start reads whole.
struct SettingsReader {
  SettingsLine line;
  const char* textStart;  // the first byte in `bytes` that is text
  const char* valueFrom;  // value bytes from here on have not been counted into `line` yet
  const char* textEnd;    // where the unfinished line stops for now
  char bytes[kLongestSettingKey + kSettingsReadPiece];
};

// Readies `reader` for the first piece.
void beginSettingsText(SettingsReader& reader);

// Where the next piece goes: room for kSettingsReadPiece bytes.
char* settingsPieceSpace(SettingsReader& reader);

// Applies the lines that the piece just put at settingsPieceSpace completes. Answers false once a
// Ctrl-Z byte has ended the text: the rest is not text, and no more pieces should be given.
bool takeSettingsPiece(SettingsReader& reader, size_t length);

// Applies the last line, which needs no line end.
void endSettingsText(SettingsReader& reader);

// Applies settings text as it stands in the file, line by line. Reading stops at a Ctrl-Z byte.
void applySettingsText(const char* text, size_t length);
