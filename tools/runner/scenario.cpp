// Reading scenarios: splitting lines into words, and checking each command's words against its
// row of the command table once, up front, so that a mistake is reported before the session starts
// rather than halfway through it.
#include "tools/runner/scenario.h"

#include "config/key_names.h"
#include "tools/runner/escaped.h"

namespace {

// Splits a line into words: blanks separate, double quotes group, a "#" starting a word starts a
// comment. False when a quote is not closed.
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
      end = end == std::string::npos ? line.size() : end;
      words->push_back(line.substr(i, end - i));
      i = end;
    }
  }
  return true;
}

// A decimal or 0x-hex integer, optionally negative. Values too large for any bound saturate, so
// that they are reported as out of range rather than as something else.
bool parseInteger(const std::string& word, int64_t* value) {
  size_t i = word[0] == '-' ? 1 : 0;
  bool hex = word.size() > i + 2 && word[i] == '0' && (word[i + 1] == 'x' || word[i + 1] == 'X');
  i += hex ? 2 : 0;
  if (i >= word.size()) {
    return false;
  }
  constexpr int64_t kSaturated = int64_t{1} << 40;
  int64_t parsed = 0;
  for (; i < word.size(); ++i) {
    char c = word[i];
    int digit = c >= '0' && c <= '9'          ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
    if (digit < 0) {
      return false;
    }
    parsed = parsed >= kSaturated ? kSaturated : parsed * (hex ? 16 : 10) + digit;
  }
  *value = word[0] == '-' ? -parsed : parsed;
  return true;
}

// The names of the settings file's keys, which key words use too, without their "VK_".
std::string keyNames() {
  std::string names;
  for (const KeyName& key : keyNameTable) {
    names += (names.empty() ? "" : ", ") + std::string(key.name).substr(3);
  }
  return names;
}

std::string upper(std::string word) {
  for (char& c : word) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return word;
}

// Checks one step's words against its row and fills the step in; returns what is wrong, or "".
class StepReader {
 public:
  StepReader(const CommandRow& row, const std::vector<std::string>& words, Step* step)
      : row_(row), words_(words), step_(step) {}

  std::string read() {
    switch (row_.args) {
      case Args::kNone:
      case Args::kBody:
        return count(0, "");
      case Args::kNumber:
        return orFirst(count(1, "N"), [&] { return number(words_[0], &step_->number); });
      case Args::kKey:
        return orFirst(count(1, "KEY"), [&] { return key(words_[0]); });
      case Args::kPeds:
        return orFirst(countUpTo(1, 2, "N"), [&] {
          step_->dead = words_.size() == 2;
          return words_.size() == 2 && words_[1] != "dead" ? quoted(words_[1]) + " is not \"dead\""
                                                           : number(words_[0], &step_->number);
        });
      case Args::kPed:
        return orFirst(count(1, "PED"), [&] { return ped(words_[0]); });
      case Args::kSetting:
        return orFirst(count(1, "KEY=VALUE"), [&] {
          step_->text = words_[0];
          return words_[0].find('=') == std::string::npos || words_[0][0] == '='
                     ? quoted(words_[0]) + " is not KEY=VALUE"
                     : "";
        });
      case Args::kText:
        return orFirst(count(1, "TEXT"), [&] {
          step_->text = words_[0];
          return std::string();
        });
      case Args::kWho:
        return orFirst(count(1, "WHO"), [&] { return who(words_[0]); });
      case Args::kFileState:
        return orFirst(count(1, "STATE"), [&] { return fileState(words_[0]); });
    }
    return "";
  }

 private:
  template <typename Then>
  static std::string orFirst(const std::string& wrong, Then then) {
    return wrong.empty() ? then() : wrong;
  }

  std::string count(size_t wanted, const char* what) { return countUpTo(wanted, wanted, what); }

  std::string countUpTo(size_t least, size_t most, const char* what) {
    if (words_.size() < least) {
      return std::string(what) + " is missing";
    }
    if (words_.size() > most) {
      return "unexpected " + quoted(words_[most]) +
             (most == 0 ? "" : std::string(" after ") + what) +
             (row_.args == Args::kText ? " (put text with blanks in double quotes)" : "");
    }
    return "";
  }

  std::string number(const std::string& word, int64_t* value) {
    if (!parseInteger(word, value)) {
      return quoted(word) + " is not a number";
    }
    if (*value >= row_.low && *value <= row_.high) {
      return "";
    }
    if (row_.command == Command::kFrames && *value > row_.high) {
      return quoted(word) +
             " is more frames than one step runs; split longer runs over several "
             "steps";
    }
    return quoted(word) + " is out of range";
  }

  std::string key(const std::string& word) {
    std::string name = upper(word);
    name = name.compare(0, 3, "VK_") == 0 ? name : "VK_" + name;
    for (const KeyName& key : keyNameTable) {
      if (name == key.name) {
        step_->number = key.code;
        return "";
      }
    }
    if (parseInteger(word, &step_->number)) {
      return step_->number >= 0 && step_->number <= kHighestKeyCode
                 ? ""
                 : "key code " + quoted(word) + " is out of range: codes go from 0 to " +
                       std::to_string(kHighestKeyCode);
    }
    return quoted(word) + " is not a key: the names are " + keyNames() +
           " (any case, VK_ optional), or a code from 0 to " + std::to_string(kHighestKeyCode);
  }

  std::string ped(const std::string& word) {
    if (word == "player" || word == "last") {
      step_->ped = word == "player" ? PedRef::kPlayer : PedRef::kLast;
      return "";
    }
    step_->ped = PedRef::kHandle;
    if (!parseInteger(word, &step_->number)) {
      return quoted(word) + " is not a ped: use player, last or a ped's handle";
    }
    return step_->number >= row_.low && step_->number <= row_.high
               ? ""
               : quoted(word) + " is out of range: handles go from " + std::to_string(row_.low) +
                     " to " + std::to_string(row_.high);
  }

  std::string who(const std::string& word) {
    const char* names[] = {"player", "nobody", "all-living"};
    const Who values[] = {Who::kPlayer, Who::kNobody, Who::kAllLiving};
    for (size_t i = 0; i < 3; ++i) {
      if (word == names[i]) {
        step_->who = values[i];
        return "";
      }
    }
    step_->who = Who::kCount;
    int64_t value = 0;
    if (!parseInteger(word, &value)) {
      return quoted(word) + " is not player, nobody, all-living or a count of peds";
    }
    return number(word, &step_->number);
  }

  std::string fileState(const std::string& word) {
    const char* names[] = {"default", "missing", "unchanged"};
    const FileState values[] = {FileState::kDefault, FileState::kMissing, FileState::kUnchanged};
    for (size_t i = 0; i < 3; ++i) {
      if (word == names[i]) {
        step_->file = values[i];
        return "";
      }
    }
    return quoted(word) + " is not default, missing or unchanged";
  }

  const CommandRow& row_;
  const std::vector<std::string>& words_;
  Step* step_;
};

const CommandRow* findRow(const std::string& name) {
  for (size_t i = 0; i < kCommandRowCount; ++i) {
    if (name == kCommandRows[i].name) {
      return &kCommandRows[i];
    }
  }
  return nullptr;
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
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    end = end == std::string::npos ? text.size() : end;
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

}  // namespace

bool parseScenario(const std::string& text, Scenario* scenario, std::string* error) {
  if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
    *error = "line 1: the file is UTF-16 text; save it as UTF-8 or plain ASCII";
    return false;
  }
  bool bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const std::vector<std::string> lines = splitLines(bom ? text.substr(3) : text);
  bool framesRun = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    int number = static_cast<int>(i + 1);
    std::string where = "line " + std::to_string(number) + ": ";
    std::vector<std::string> words;
    if (!splitWords(lines[i], &words)) {
      *error = where + "a quote is not closed in " + quoted(lines[i]);
      return false;
    }
    if (words.empty()) {
      continue;
    }
    bool expectation = words[0] == "expect";
    if (expectation && words.size() < 2) {
      *error = where + "expect: what to expect is missing; expectations are: " + namesOf(true);
      return false;
    }
    const CommandRow* row = findRow(expectation ? "expect " + words[1] : words[0]);
    if (row == nullptr) {
      *error = where + (expectation ? "expect: unknown expectation " + quoted(words[1]) +
                                          "; expectations are: " + namesOf(true)
                                    : "unknown command " + quoted(words[0]) +
                                          "; the commands are: " + namesOf(false));
      return false;
    }
    Step step;
    step.line = number;
    step.command = row->command;
    for (const std::string& word : words) {
      step.written += (step.written.empty() ? "" : " ") + escaped(word);
    }
    const std::vector<std::string> args(words.begin() + (expectation ? 2 : 1), words.end());
    std::string wrong = StepReader(*row, args, &step).read();
    if (!wrong.empty()) {
      *error = where + row->name + ": " + wrong + " (usage: " + usageOf(*row) + ")";
      return false;
    }
    if (row->args == Args::kBody) {
      // The body is taken as it stands: settings lines may hold "#" and quotes.
      size_t j = i + 1;
      while (j < lines.size() && lines[j] != "end") {
        step.text += lines[j] + "\r\n";
        ++j;
      }
      if (j == lines.size()) {
        *error = where + row->name + ": no line \"end\" closes it (usage: " + usageOf(*row) + ")";
        return false;
      }
      i = j;
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
  for (const KeyName& key : keyNameTable) {
    if (key.code == code) {
      return std::string(key.name).substr(3);
    }
  }
  return "key " + std::to_string(code);
}
