// Fills in the player's readme template with the plug-in's own tables and the build's facts, and
// prints it. In the template, @NAME@ stands for a value; a line holding only @KEY_TABLE@ or
// @DEFAULT_FILE@ becomes that block, and @UNDERLINE@ underlines the line above. The lines after a
// line @WITH_COMMIT@ are kept when COMMIT is a commit's id, those after @WITHOUT_COMMIT@ when it is
// not (unknown, or an id with -modified), up to a line @END@.
// Runs on the build machine. Usage: quillmere-readme TEMPLATE VERSION COMMIT DLL_SHA256
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "common/settings.h"
#include "config/default_settings.h"
#include "config/key_names.h"
#include "config/settings_file.h"
#include "config/settings_reader.h"

namespace {

// The name on the keyboard: F1 to F24 are consecutive codes, the others are listed.
std::string keyLabel(uint32_t code) {
  if (code >= 112 && code <= 135) {
    return "F" + std::to_string(code - 111);
  }
  const struct {
    uint32_t code;
    const char* label;
  } labels[] = {{8, "Backspace"}, {9, "Tab"},  {13, "Enter"}, {16, "Shift"},
                {17, "Ctrl"},     {18, "Alt"}, {27, "Esc"},   {32, "Space"}};
  for (const auto& key : labels) {
    if (key.code == code) {
      return key.label;
    }
  }
  return "";
}

std::string defaultFile() {
  std::string text;
  for (const char* literal : kDefaultContent) {
    text += literal;
  }
  return text + "\n";
}

// What stands for @name@, or false for a name the generator does not know.
bool value(const std::string& name, char** argv, std::string* out) {
  const std::string file = defaultFile();
  if (name.compare(0, 8, "DEFAULT:") == 0) {
    size_t at = file.find("\n" + name.substr(8) + "=");
    if (at == std::string::npos) {
      return false;
    }
    at += name.size() - 8 + 2;
    *out = file.substr(at, file.find('\n', at) - at);
  } else if (name == "KEY_TABLE") {
    for (const KeyName& key : keyNameTable) {
      std::string row = "  " + std::string(key.name);
      if (keyLabel(key.code).empty()) {
        return false;
      }
      *out += row + std::string(21 - row.size(), ' ') + keyLabel(key.code) + "\n";
    }
    out->pop_back();
  } else if (name == "DEFAULT_FILE") {
    for (size_t start = 0, end; start < file.size(); start = end + 1) {
      end = file.find('\n', start);
      *out += (end == start ? "" : "    ") + file.substr(start, end - start) + "\n";
    }
    out->pop_back();
  } else if (name == "FILE") {
    *out = kSettingsFileName;
  } else if (name == "RELOAD_SECONDS") {
    *out = std::to_string(kReloadIntervalMs / 1000);
  } else if (name == "READ_LIMIT_KIB") {
    *out = std::to_string(kSettingsReadLimit / 1024);
  } else if (name == "FALLBACK_KEY") {
    *out = keyLabel(kDefaultToggleKey);
  } else if (name == "VERSION" || name == "COMMIT" || name == "DLL_SHA256") {
    *out = argv[name == "VERSION" ? 2 : name == "COMMIT" ? 3 : 4];
  } else {
    return false;
  }
  return !out->empty();
}

// The template with its commit blocks resolved, or "" when they are not closed.
std::string keepCommitBlocks(const std::string& text, bool commit) {
  std::string kept;
  bool keep = true, open = false;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    if (line == "@WITH_COMMIT@" || line == "@WITHOUT_COMMIT@") {
      keep = (line == "@WITH_COMMIT@") == commit;
      open = true;
    } else if (line == "@END@") {
      keep = true;
      open = false;
    } else if (keep) {
      kept += line + (end < text.size() ? "\n" : "");
    }
  }
  return open ? "" : kept;
}

}  // namespace

int main(int argc, char** argv) {
  std::ifstream in(argc == 5 ? argv[1] : "", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.empty()) {
    std::fprintf(stderr, "usage: quillmere-readme TEMPLATE VERSION COMMIT DLL_SHA256\n");
    return 2;
  }
  const std::string commit = argv[3];
  text = keepCommitBlocks(
      text, !commit.empty() && commit.find_first_not_of("0123456789abcdef") == std::string::npos);
  if (text.empty()) {
    std::fprintf(stderr, "quillmere-readme: a commit block is not closed with @END@\n");
    return 1;
  }
  std::string out;
  for (size_t at = 0; at < text.size();) {
    size_t open = text.find('@', at);
    out += text.substr(at, open - at);
    if (open == std::string::npos) {
      break;
    }
    size_t close = text.find('@', open + 1);
    std::string name = text.substr(open + 1, close - open - 1), filled;
    if (name == "UNDERLINE" && out.size() > 1) {
      size_t line = out.rfind('\n', out.size() - 2);
      filled.assign(out.size() - 1 - (line == std::string::npos ? 0 : line + 1), '=');
    } else if (close == std::string::npos || !value(name, argv, &filled)) {
      std::fprintf(stderr, "quillmere-readme: nothing to put for @%s@\n", name.c_str());
      return 1;
    }
    out += filled;
    at = close + 1;
  }
  return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0
             ? 0
             : 1;
}
