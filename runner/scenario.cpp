// Reading scenarios: splitting lines into words and checking each command's arguments up front,
// so that a mistake is reported before the session starts rather than halfway through it.
#include "runner/scenario.h"

#include <cstdlib>

namespace {

// The names of the plug-in's key table, kept here on their own: the runner judges the plug-in and
// does not borrow its code.
struct NamedKey {
  const char* name;
  uint32_t code;
};

constexpr NamedKey kKeys[] = {
    {"F1", 112},  {"F2", 113},   {"F3", 114},    {"F4", 115},   {"F5", 116},
    {"F6", 117},  {"F7", 118},   {"F8", 119},    {"F9", 120},   {"F10", 121},
    {"F11", 122}, {"F12", 123},  {"TAB", 9},     {"SHIFT", 16}, {"CONTROL", 17},
    {"MENU", 18}, {"SPACE", 32}, {"RETURN", 13}, {"BACK", 8},   {"ESCAPE", 27},
};

// The kinds of arguments a command takes.
enum class Args { kNone, kNumber, kKey, kPeds, kPed, kSetting, kExpect };

struct CommandShape {
  const char* name;
  Args args;
};

constexpr CommandShape kCommands[] = {
    {"frames", Args::kNumber},
    {"frame-ms", Args::kNumber},
    {"advance-game-time", Args::kNumber},
    {"sleep", Args::kNumber},
    {"press", Args::kKey},
    {"release", Args::kKey},
    {"tap", Args::kKey},
    {"add-peds", Args::kPeds},
    {"kill-ped", Args::kPed},
    {"revive-ped", Args::kPed},
    {"remove-ped", Args::kPed},
    {"write-settings", Args::kNone},
    {"edit-settings", Args::kSetting},
    {"delete-settings", Args::kNone},
    {"settings-directory", Args::kNone},
    {"lock-settings", Args::kNone},
    {"deny-reading-settings", Args::kNone},
    {"unlock-settings", Args::kNone},
    {"expect", Args::kExpect},
};

// Splits a line into words: blanks separate, double quotes group, " #" starts a comment.
bool splitWords(const std::string& line, std::vector<std::string>* words) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '#') {
      return true;
    } else if (c == '"') {
      size_t close = line.find('"', i + 1);
      if (close == std::string::npos) {
        return false;
      }
      words->push_back(line.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      size_t end = line.find_first_of(" \t\r", i);
      if (end == std::string::npos) {
        end = line.size();
      }
      words->push_back(line.substr(i, end - i));
      i = end;
    }
  }
  return true;
}

bool isCount(const std::string& word) {
  int64_t value = 0;
  return parseNumber(word, &value) && value >= 0;
}

bool isPed(const std::string& word) {
  int64_t value = 0;
  return word == "player" || word == "last" || parseNumber(word, &value);
}

// Checks an expectation's words; returns what is wrong, or nothing.
std::string checkExpect(const std::vector<std::string>& words) {
  if (words.size() != 2) {
    return "an expectation is \"expect WHAT VALUE\"";
  }
  const std::string& what = words[0];
  const std::string& value = words[1];
  if (what == "notices" || what == "file-writes") {
    return isCount(value) ? "" : "expected a count";
  }
  if (what == "last-notice") {
    return "";
  }
  if (what == "protected") {
    return value == "player" || value == "nobody" || value == "all-living" || isCount(value)
               ? ""
               : "expected player, nobody, all-living or a number of peds";
  }
  if (what == "settings-file") {
    return value == "default" || value == "missing" || value == "unchanged"
               ? ""
               : "expected default, missing or unchanged";
  }
  return "unknown expectation \"" + what + "\"";
}

std::string checkArgs(Args args, const std::vector<std::string>& words) {
  switch (args) {
    case Args::kNone:
      return words.empty() ? "" : "takes no arguments";
    case Args::kNumber:
      return words.size() == 1 && isCount(words[0]) ? "" : "takes one number";
    case Args::kKey: {
      uint32_t code = 0;
      return words.size() == 1 && parseKey(words[0], &code) ? "" : "takes one key";
    }
    case Args::kPeds:
      return (words.size() == 1 || (words.size() == 2 && words[1] == "dead")) && isCount(words[0])
                 ? ""
                 : "takes a count and, optionally, \"dead\"";
    case Args::kPed:
      return words.size() == 1 && isPed(words[0]) ? "" : "takes player, last or a ped handle";
    case Args::kSetting:
      return words.size() == 1 && words[0].find('=') != std::string::npos && words[0].find('=') > 0
                 ? ""
                 : "takes one KEY=VALUE";
    case Args::kExpect:
      return checkExpect(words);
  }
  return "";
}

std::string upper(std::string word) {
  for (char& c : word) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return word;
}

}  // namespace

bool parseNumber(const std::string& word, int64_t* value) {
  if (word.empty()) {
    return false;
  }
  char* end = nullptr;
  long long parsed = std::strtoll(word.c_str(), &end, 0);
  if (*end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) {
    return false;
  }
  *value = parsed;
  return true;
}

bool parseKey(const std::string& word, uint32_t* code) {
  std::string name = upper(word);
  if (name.compare(0, 3, "VK_") == 0) {
    name = name.substr(3);
  }
  for (const NamedKey& key : kKeys) {
    if (name == key.name) {
      *code = key.code;
      return true;
    }
  }
  int64_t number = 0;
  if (parseNumber(word, &number) && number >= 0) {
    *code = static_cast<uint32_t>(number);
    return true;
  }
  return false;
}

std::string keyName(uint32_t code) {
  for (const NamedKey& key : kKeys) {
    if (key.code == code) {
      return key.name;
    }
  }
  return "key " + std::to_string(code);
}

bool parseScenario(const std::string& text, std::vector<Step>* steps, std::string* error) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
    start = end + 1;
  }

  for (size_t i = 0; i < lines.size(); ++i) {
    int number = static_cast<int>(i + 1);
    std::string where = "line " + std::to_string(number) + ": ";
    std::vector<std::string> words;
    if (!splitWords(lines[i], &words)) {
      *error = where + "a quote is not closed";
      return false;
    }
    if (words.empty()) {
      continue;
    }
    Step step{number, words[0], {words.begin() + 1, words.end()}, ""};
    const CommandShape* shape = nullptr;
    for (const CommandShape& candidate : kCommands) {
      if (step.command == candidate.name) {
        shape = &candidate;
      }
    }
    if (shape == nullptr) {
      *error = where + "unknown command \"" + step.command + "\"";
      return false;
    }
    std::string wrong = checkArgs(shape->args, step.words);
    if (!wrong.empty()) {
      *error = where + step.command + ": " + wrong;
      return false;
    }
    if (step.command == "write-settings") {
      // The body is taken as it stands: settings lines may hold "#" and quotes.
      size_t j = i + 1;
      while (j < lines.size() && lines[j] != "end") {
        step.body += lines[j] + "\r\n";
        ++j;
      }
      if (j == lines.size()) {
        *error = where + "write-settings has no line \"end\"";
        return false;
      }
      i = j;
    }
    steps->push_back(step);
  }
  return true;
}
