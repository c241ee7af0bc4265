// Reading scenarios: each command's words are checked against its row of the command table once,
// up front, so that a mistake is reported before the session starts rather than halfway through.
#include "tools/runner/scenario.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>

#include "config/key_names.h"

namespace {

// A command's word: none, a number (or a name its usage gives), a key, a text, KEY=VALUE, or a
// body.
enum class Args { kNone, kNumber, kKey, kText, kSetting, kBody };

// A command's name ("expect WHAT" for an expectation), its word, its number's bounds and its
// usage, where a lower-case name may stand for the number ("last"). README.md tells what each does.
struct Row {
  const char* name;
  Command command;
  Args args;
  int64_t low, high;
  const char* usage;
};

using C = Command;
using A = Args;
const Row kRows[] = {
    {"frames", C::kFrames, A::kNumber, 0, 1000000, "N"},
    {"frame-ms", C::kFrameMs, A::kNumber, 0, 60000, "MS"},
    {"advance-game-time", C::kAdvanceGameTime, A::kNumber, 0, INT32_MAX, "MS"},
    {"sleep", C::kSleep, A::kNumber, 0, 60000, "MS"},
    {"press", C::kPress, A::kKey, 0, 254, "KEY"},
    {"release", C::kRelease, A::kKey, 0, 254, "KEY"},
    {"tap", C::kTap, A::kKey, 0, 254, "KEY"},
    {"add-peds", C::kAddPeds, A::kNumber, 0, 10000, "N [dead]"},
    {"kill-ped", C::kKillPed, A::kNumber, INT32_MIN, INT32_MAX, "player|last|HANDLE"},
    {"revive-ped", C::kRevivePed, A::kNumber, INT32_MIN, INT32_MAX, "player|last|HANDLE"},
    {"remove-ped", C::kRemovePed, A::kNumber, INT32_MIN, INT32_MAX, "player|last|HANDLE"},
    {"write-settings", C::kWriteSettings, A::kBody, 0, 0, "... end"},
    {"edit-settings", C::kEditSettings, A::kSetting, 0, 0, "KEY=VALUE"},
    {"delete-settings", C::kDeleteSettings, A::kNone, 0, 0, ""},
    {"settings-directory", C::kSettingsDirectory, A::kNone, 0, 0, ""},
    {"lock-settings", C::kLockSettings, A::kNone, 0, 0, ""},
    {"deny-reading-settings", C::kDenyReadingSettings, A::kNone, 0, 0, ""},
    {"unlock-settings", C::kUnlockSettings, A::kNone, 0, 0, ""},
    {"expect notices", C::kExpectNotices, A::kNumber, 0, INT32_MAX, "N"},
    {"expect last-notice", C::kExpectLastNotice, A::kText, 0, 0, "\"TEXT\""},
    {"expect protected", C::kExpectProtected, A::kNumber, 0, INT32_MAX,
     "player|nobody|all-living|N"},
    {"expect settings-file", C::kExpectSettingsFile, A::kNumber, 1, 0, "default|missing|unchanged"},
    {"expect file-writes", C::kExpectFileWrites, A::kNumber, 0, INT32_MAX, "N"},
};

std::string shown(const std::string& text, const char* quote) {
  std::string out = quote;
  for (size_t i = 0; i < text.size() && i < 40; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    char hex[8];
    std::snprintf(hex, sizeof hex,
                  c == '"' || c == '\\'  ? "\\%c"
                  : c < 0x20 || c > 0x7e ? "\\x%02X"
                                         : "%c",
                  c);
    out += hex;
  }
  return out + quote + (text.size() > 40 ? "... (" + std::to_string(text.size()) + " bytes)" : "");
}

// Decimal or 0x-hex, with an optional minus; one too large for int64_t reads as out of range.
bool parseInteger(const std::string& word, int64_t* value) {
  const size_t sign = word.compare(0, 1, "-") == 0 ? 1 : 0;
  const bool hex = word.compare(sign, 2, "0x") == 0 || word.compare(sign, 2, "0X") == 0;
  uint64_t magnitude = 0;
  const auto [last, error] = std::from_chars(word.data() + sign + (hex ? 2 : 0),
                                             word.data() + word.size(), magnitude, hex ? 16 : 10);
  const auto parsed = static_cast<int64_t>(std::min<uint64_t>(
      error == std::errc::result_out_of_range ? UINT64_MAX : magnitude, INT64_MAX));
  *value = sign != 0 ? -parsed : parsed;
  return last == word.data() + word.size() && error != std::errc::invalid_argument;
}

// Checks one step's words against its row and fills the step in; returns what is wrong, or "".
std::string readWords(const Row& row, const std::vector<std::string>& words, Step* step) {
  const bool dead = row.command == Command::kAddPeds && words.size() == 2 && words[1] == "dead";
  const size_t wanted = row.args == Args::kNone || row.args == Args::kBody ? 0 : 1;
  if (words.size() != wanted + (dead ? 1 : 0)) {
    return words.size() < wanted ? "a word is missing" : "unexpected " + quoted(words.back());
  }
  const std::string word = wanted == 0 ? "" : words[0];
  step->word = dead ? "dead" : word;
  step->text = word;
  if (row.args == Args::kKey) {
    // By the settings file's name, in any case, with or without "VK_", or by code.
    std::string name = word;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    name = name.compare(0, 3, "VK_") == 0 ? name : "VK_" + name;
    const KeyName* named = std::find_if(std::begin(keyNameTable), std::end(keyNameTable),
                                        [&](const KeyName& k) { return name == k.name; });
    step->number = named != std::end(keyNameTable) ? named->code : -1;
    return named != std::end(keyNameTable) || (parseInteger(word, &step->number) &&
                                               step->number >= row.low && step->number <= row.high)
               ? ""
               : quoted(word) + " is not a key of the settings file, nor a code from 0 to 254";
  }
  if (row.args == Args::kSetting && (word.find('=') == std::string::npos || word[0] == '=')) {
    return quoted(word) + " is not KEY=VALUE";
  }
  const bool named =
      !word.empty() && word[0] >= 'a' && word[0] <= 'z' &&
      ("|" + std::string(row.usage) + "|").find("|" + word + "|") != std::string::npos;
  if (row.args != Args::kNumber || named) {
    return "";
  }
  return !parseInteger(word, &step->number)                  ? quoted(word) + " is not a number"
         : step->number < row.low || step->number > row.high ? quoted(word) + " is out of range"
                                                             : "";
}

// Blanks part words, double quotes group them, a '#' outside them ends the line; false: no close.
bool splitWords(const std::string& line, std::vector<std::string>* words) {
  const char* blanks = " \t";
  for (size_t i = line.find_first_not_of(blanks); i != std::string::npos && line[i] != '#';
       i = line.find_first_not_of(blanks, i)) {
    const size_t quote = line[i] == '"' ? 1 : 0;
    const size_t end =
        quote ? line.find('"', i + 1) : std::min(line.find_first_of(blanks, i), line.size());
    if (end == std::string::npos) {
      return false;
    }
    words->push_back(line.substr(i + quote, end - i - quote));
    i = end + quote;
  }
  return true;
}

}  // namespace

bool parseScenario(const std::string& text, std::vector<Step>* steps, std::string* error) {
  // CR LF, LF and CR alone each end a line, so that a file saved by any editor reads line by line.
  std::vector<std::string> lines;
  for (size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; start <= text.size();) {
    const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    Step step;
    step.line = static_cast<int>(i + 1);
    const std::string where = "line " + std::to_string(step.line) + ": ";
    std::vector<std::string> words;
    if (!splitWords(lines[i], &words)) {
      *error = where + "a quote is not closed in " + quoted(lines[i]);
      return false;
    }
    if (words.empty()) {
      continue;
    }
    const ptrdiff_t named = words[0] == "expect" && words.size() > 1 ? 2 : 1;
    const std::string name = named == 2 ? "expect " + words[1] : words[0];
    const Row* row = std::find_if(std::begin(kRows), std::end(kRows),
                                  [&](const Row& r) { return name == r.name; });
    if (row == std::end(kRows)) {
      *error = where + "unknown command " + quoted(name) + " (README.md lists the commands)";
      return false;
    }
    step.command = row->command;
    for (const std::string& word : words) {
      step.written += (step.written.empty() ? "" : " ") + escaped(word);
    }
    std::string wrong =
        readWords(*row, std::vector<std::string>(words.begin() + named, words.end()), &step);
    if (wrong.empty() && row->args == Args::kBody) {
      // The body is taken as it stands: settings lines may hold "#" and quotes.
      for (step.text.clear(), ++i; i < lines.size() && lines[i] != "end"; ++i) {
        step.text += lines[i] + "\r\n";
      }
      wrong = i == lines.size() ? "no line \"end\" closes it" : "";
    }
    if (!wrong.empty()) {
      const bool bounded = row->args == Args::kNumber && row->low <= row->high;
      *error = where + row->name + ": " + wrong + " (usage: " + row->name + " " + row->usage +
               (bounded ? ", from " + std::to_string(row->low) + " to " + std::to_string(row->high)
                        : "") +
               ")";
      return false;
    }
    steps->push_back(step);
  }
  return true;
}

std::string escaped(const std::string& text) {
  return shown(text, "");
}

std::string quoted(const std::string& text) {
  return shown(text, "\"");
}
