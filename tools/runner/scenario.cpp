// Reading scenarios: each command's words are checked against its row of the command table once,
// up front, so that a mistake is reported before the session starts rather than halfway through.
#include "tools/runner/scenario.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>

#include "config/key_names.h"

namespace {

// `text` escaped, between the quotes given, and cut short.
std::string shown(const std::string& text, const char* quote) {
  constexpr size_t kMostBytesShown = 40;
  std::string out = quote;
  for (size_t i = 0; i < text.size() && i < kMostBytesShown; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
    }
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  out += quote;
  return text.size() > kMostBytesShown ? out + "... (" + std::to_string(text.size()) + " bytes)"
                                       : out;
}

// False when a quote is not closed.
bool splitWords(const std::string& line, std::vector<std::string>* words) {
  const char* blanks = " \t\r";
  for (size_t i = line.find_first_not_of(blanks); i != std::string::npos && line[i] != '#';
       i = line.find_first_not_of(blanks, i)) {
    const size_t quote = line[i] == '"' ? 1 : 0;
    size_t end =
        quote ? line.find('"', i + 1) : std::min(line.find_first_of(blanks, i), line.size());
    if (end == std::string::npos) {
      return false;
    }
    words->push_back(line.substr(i + quote, end - i - quote));
    i = end + quote;
  }
  return true;
}

// A value too large for int64_t is taken as its largest, so that it reads as out of range.
bool parseInteger(const std::string& word, int64_t* value) {
  const size_t sign = word.compare(0, 1, "-") == 0 ? 1 : 0;
  const bool hex = word.compare(sign, 2, "0x") == 0 || word.compare(sign, 2, "0X") == 0;
  const char* end = word.data() + word.size();
  uint64_t magnitude = 0;
  // Unlike strtoll, from_chars takes no blanks, sign or prefix of its own.
  const auto [last, error] =
      std::from_chars(word.data() + sign + (hex ? 2 : 0), end, magnitude, hex ? 16 : 10);
  if (last != end || error == std::errc::invalid_argument) {
    return false;
  }
  const auto parsed = static_cast<int64_t>(
      error == std::errc() ? std::min<uint64_t>(magnitude, INT64_MAX) : INT64_MAX);
  *value = sign != 0 ? -parsed : parsed;
  return true;
}

int indexIn(const std::string& word, std::initializer_list<const char*> names) {
  auto found =
      std::find_if(names.begin(), names.end(), [&](const char* name) { return word == name; });
  return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

// A number within the row's bounds; `notOne` is what a word that is no number is not.
std::string number(const CommandRow& row, const std::string& word, int64_t* value,
                   const char* notOne = "a number") {
  if (!parseInteger(word, value)) {
    return quoted(word) + " is not " + notOne;
  }
  if (*value >= row.low && *value <= row.high) {
    return "";
  }
  if (row.command == Command::kFrames && *value > row.high) {
    return quoted(word) +
           " is more frames than one step runs; split longer runs over several steps";
  }
  // A ped's usage line does not show the bounds of its handle.
  return quoted(word) + " is out of range" +
         (row.args != Args::kPed
              ? ""
              : ": handles go from " + std::to_string(row.low) + " to " + std::to_string(row.high));
}

std::string key(const std::string& word, int64_t* code) {
  std::string name = upperCase(word);
  name = name.compare(0, 3, "VK_") == 0 ? name : "VK_" + name;
  auto named = std::find_if(std::begin(keyNameTable), std::end(keyNameTable),
                            [&](const KeyName& k) { return name == k.name; });
  if (named != std::end(keyNameTable)) {
    *code = named->code;
    return "";
  }
  std::string codes = "0 to " + std::to_string(kHighestKeyCode);
  if (parseInteger(word, code)) {
    return *code >= 0 && *code <= kHighestKeyCode
               ? ""
               : "key code " + quoted(word) + " is out of range: codes go from " + codes;
  }
  // The settings file's key names, without their "VK_".
  std::string names;
  for (const KeyName& each : keyNameTable) {
    names += (names.empty() ? "" : ", ") + std::string(each.name).substr(3);
  }
  return quoted(word) + " is not a key: the names are " + names +
         " (any case, VK_ optional), or a code from " + codes;
}

// Checks one step's words against its row and fills the step in; returns what is wrong, or "".
std::string readWords(const CommandRow& row, const std::vector<std::string>& words, Step* step) {
  // What each kind of words is called when missing, in the order of Args.
  static const char* const kWhat[] = {"",          "N",    "KEY", "N",     "PED",
                                      "KEY=VALUE", "TEXT", "WHO", "STATE", ""};
  const std::string what = kWhat[static_cast<int>(row.args)];
  const size_t least = what.empty() ? 0 : 1;
  const size_t most = row.args == Args::kPeds ? 2 : least;
  if (words.size() < least) {
    return what + " is missing";
  }
  if (words.size() > most) {
    return "unexpected " + quoted(words[most]) + (most == 0 ? "" : " after " + what) +
           (row.args == Args::kText ? " (put text with blanks in double quotes)" : "");
  }
  const std::string word = least == 0 ? "" : words[0];
  switch (row.args) {
    case Args::kNumber:
      return number(row, word, &step->number);
    case Args::kKey:
      return key(word, &step->number);
    case Args::kPeds:
      step->dead = words.size() == 2;
      return step->dead && words[1] != "dead" ? quoted(words[1]) + " is not \"dead\""
                                              : number(row, word, &step->number);
    case Args::kPed: {
      const int named = indexIn(word, {"player", "last"});
      step->ped = named < 0 ? PedRef::kHandle : static_cast<PedRef>(named);
      return named >= 0
                 ? ""
                 : number(row, word, &step->number, "a ped: use player, last or a ped's handle");
    }
    case Args::kSetting:
    case Args::kText:
      step->text = word;
      return row.args == Args::kSetting && (word.find('=') == std::string::npos || word[0] == '=')
                 ? quoted(word) + " is not KEY=VALUE"
                 : "";
    case Args::kWho: {
      const int named = indexIn(word, {"player", "nobody", "all-living"});
      step->who = named < 0 ? Who::kCount : static_cast<Who>(named);
      return named >= 0 ? ""
                        : number(row, word, &step->number,
                                 "player, nobody, all-living or a count of peds");
    }
    case Args::kFileState: {
      const int named = indexIn(word, {"default", "missing", "unchanged"});
      step->file = static_cast<FileState>(named < 0 ? 0 : named);
      return named < 0 ? quoted(word) + " is not default, missing or unchanged" : "";
    }
    default:
      return "";
  }
}

// The names a line may start with, or the expectations, for the message about an unknown one.
std::string namesOf(bool expectations) {
  std::string names;
  for (size_t i = 0; i < kCommandRowCount; ++i) {
    std::string name = kCommandRows[i].name;
    bool expectation = name.compare(0, 7, "expect ") == 0;
    if (expectation == expectations) {
      names += (names.empty() ? "" : ", ") + name.substr(expectations ? 7 : 0);
    }
  }
  return expectations ? names : names + ", expect";
}

// CR LF, LF and CR alone each end a line, so that a file saved by any editor reads line by line.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start <= text.size();) {
    size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

}  // namespace

bool parseScenario(const std::string& text, Scenario* scenario, std::string* error) {
  auto fail = [error](const std::string& why) {
    *error = why;
    return false;
  };
  if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
    return fail("line 1: the file is UTF-16 text; save it as UTF-8 or plain ASCII");
  }
  bool bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const std::vector<std::string> lines = splitLines(bom ? text.substr(3) : text);
  bool framesRun = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    int number = static_cast<int>(i + 1);
    std::string where = "line " + std::to_string(number) + ": ";
    std::vector<std::string> words;
    if (!splitWords(lines[i], &words)) {
      return fail(where + "a quote is not closed in " + quoted(lines[i]));
    }
    if (words.empty()) {
      continue;
    }
    bool expectation = words[0] == "expect";
    if (expectation && words.size() < 2) {
      return fail(where + "expect: what to expect is missing; expectations are: " + namesOf(true));
    }
    const std::string name = expectation ? "expect " + words[1] : words[0];
    const CommandRow* end = kCommandRows + kCommandRowCount;
    const CommandRow* row =
        std::find_if(kCommandRows, end, [&](const CommandRow& r) { return name == r.name; });
    if (row == end) {
      return fail(where + (expectation ? "expect: unknown expectation " + quoted(words[1]) +
                                             "; expectations are: " + namesOf(true)
                                       : "unknown command " + quoted(words[0]) +
                                             "; the commands are: " + namesOf(false)));
    }
    Step step;
    step.line = number;
    step.command = row->command;
    for (const std::string& word : words) {
      step.written += (step.written.empty() ? "" : " ") + escaped(word);
    }
    const std::vector<std::string> args(words.begin() + (expectation ? 2 : 1), words.end());
    std::string wrong = readWords(*row, args, &step);
    if (wrong.empty() && row->args == Args::kBody) {
      // The body is taken as it stands: settings lines may hold "#" and quotes.
      for (++i; i < lines.size() && lines[i] != "end"; ++i) {
        step.text += lines[i] + "\r\n";
      }
      wrong = i == lines.size() ? "no line \"end\" closes it" : "";
    }
    if (!wrong.empty()) {
      return fail(where + row->name + ": " + wrong + " (usage: " + usageOf(*row) + ")");
    }
    framesRun = framesRun || (step.command == Command::kFrames && step.number > 0);
    scenario->steps.push_back(step);
  }
  if (scenario->steps.empty()) {
    scenario->warnings.push_back(
        "the scenario has no commands: nothing runs and nothing is checked");
  } else if (!framesRun) {
    scenario->warnings.push_back("the scenario runs no frame: the plug-in's script never starts");
  }
  return true;
}

std::string keyName(uint32_t code) {
  auto key = std::find_if(std::begin(keyNameTable), std::end(keyNameTable),
                          [&](const KeyName& k) { return k.code == code; });
  return key == std::end(keyNameTable) ? "key " + std::to_string(code)
                                       : std::string(key->name).substr(3);
}

std::string upperCase(std::string text) {
  for (char& c : text) {
    c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return text;
}

std::string escaped(const std::string& text) {
  return shown(text, "");
}

std::string quoted(const std::string& text) {
  return shown(text, "\"");
}
