// Checks the shipped readme against the plug-in's own tables: its key table names every key of
// keyNameTable with the key it means, its defaults are the default settings file's, it quotes
// that file exactly, and it is plain CR LF text carrying the version and the DLL's SHA-256.
// Runs on the build machine.
// Usage: quillmere-readme-check README VERSION SHA256SUMS
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/settings.h"
#include "config/default_settings.h"
#include "config/key_names.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
  }
}

// The key each name means, written down from the Windows key names rather than from the codes,
// so that a wrong code in the plug-in's table shows up here as a wrong key.
std::string keyForName(const std::string& name) {
  static const std::map<std::string, std::string> others = {
      {"VK_TAB", "Tab"},     {"VK_SHIFT", "Shift"},  {"VK_CONTROL", "Ctrl"},   {"VK_MENU", "Alt"},
      {"VK_SPACE", "Space"}, {"VK_RETURN", "Enter"}, {"VK_BACK", "Backspace"}, {"VK_ESCAPE", "Esc"},
  };
  if (name.compare(0, 4, "VK_F") == 0 && name.size() > 4) {
    return name.substr(3);
  }
  auto found = others.find(name);
  return found == others.end() ? "" : found->second;
}

// The code each name has on Windows, for the same cross-check.
uint32_t codeForName(const std::string& name) {
  static const std::map<std::string, uint32_t> others = {
      {"VK_TAB", 9},    {"VK_SHIFT", 16},  {"VK_CONTROL", 17}, {"VK_MENU", 18},
      {"VK_SPACE", 32}, {"VK_RETURN", 13}, {"VK_BACK", 8},     {"VK_ESCAPE", 27},
  };
  if (name.compare(0, 4, "VK_F") == 0 && name.size() > 4) {
    uint32_t n = 0;
    for (size_t i = 4; i < name.size(); ++i) {
      if (name[i] < '0' || name[i] > '9') {
        return 0;
      }
      n = n * 10 + static_cast<uint32_t>(name[i] - '0');
    }
    return 111 + n;
  }
  auto found = others.find(name);
  return found == others.end() ? 0 : found->second;
}

std::vector<std::string> splitLines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size()) {
    lines.push_back(text.substr(start, at - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

// The lines of the section under `title` (a line underlined with dashes), up to the next one.
std::vector<std::string> section(const std::vector<std::string>& lines, const std::string& title) {
  auto isHeading = [&](size_t i) {
    return i + 1 < lines.size() && !lines[i].empty() &&
           lines[i + 1] == std::string(lines[i].size(), '-');
  };
  std::vector<std::string> body;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == title && isHeading(i)) {
      for (size_t j = i + 2; j < lines.size() && !isHeading(j); ++j) {
        body.push_back(lines[j]);
      }
      return body;
    }
  }
  check(false, "the readme has no section \"" + title + "\"");
  return body;
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

std::string defaultContent() {
  std::string content;
  for (const char* literal : kDefaultContent) {
    content += literal;
  }
  return content;
}

void checkPlainCrLf(const std::string& text) {
  bool plain = true;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      plain = plain && i + 1 < text.size() && text[i + 1] == '\n';
    } else if (c == '\n') {
      plain = plain && i > 0 && text[i - 1] == '\r';
    } else {
      plain = plain && c >= 0x20 && c < 0x7F;
    }
  }
  check(plain, "the readme is printable ASCII with every line ending in CR LF");
  check(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0,
        "the readme's last line ends in CR LF");
}

void checkKeyTable(const std::vector<std::string>& lines) {
  std::map<std::string, std::string> rows;
  for (const std::string& line : section(lines, "Keys for toggle-key")) {
    std::vector<std::string> w = words(line);
    if (w.size() >= 2 && w[0].compare(0, 3, "VK_") == 0) {
      check(rows.count(w[0]) == 0, w[0] + " is listed once");
      rows[w[0]] = line.substr(line.find(w[1], line.find(w[0]) + w[0].size()));
    }
  }
  size_t tableSize = sizeof keyNameTable / sizeof keyNameTable[0];
  check(rows.size() == tableSize, "the key table lists " + std::to_string(tableSize) +
                                      " names, as many as the plug-in accepts; it lists " +
                                      std::to_string(rows.size()));
  for (const KeyName& entry : keyNameTable) {
    std::string name = entry.name;
    check(codeForName(name) == entry.code,
          name + " has its Windows code " + std::to_string(codeForName(name)) +
              " in the plug-in's table, not " + std::to_string(entry.code));
    auto row = rows.find(name);
    if (row == rows.end()) {
      check(false, "the key table lists " + name);
      continue;
    }
    check(row->second == keyForName(name),
          name + " is listed as " + keyForName(name) + ", not as \"" + row->second + "\"");
  }
}

void checkDefaults(const std::vector<std::string>& lines) {
  std::map<std::string, std::string> inFile;
  for (const std::string& line : splitLines(defaultContent(), "\n")) {
    size_t equals = line.find('=');
    if (!line.empty() && line[0] != '#' && line[0] != '[' && equals != std::string::npos) {
      inFile[line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  std::map<std::string, std::string> inReadme;
  for (const std::string& line : section(lines, "Settings")) {
    std::vector<std::string> w = words(line);
    if (w.size() == 3 && w[1] == "default:") {
      inReadme[w[0]] = w[2];
    }
  }
  check(inReadme == inFile, "the readme gives every setting of the default file, with its value");

  // The readme says a missing file means these defaults: the plug-in's initial values must agree.
  Settings initial;
  check(initial.keybindEnabled == (inFile["enabled"] == "true"), "initial enabled is the default");
  check(initial.affectAllPeds == (inFile["affect-all-peds"] == "true"),
        "initial affect-all-peds is the default");
  uint32_t code = 0;
  for (const KeyName& entry : keyNameTable) {
    code = inFile["toggle-key"] == entry.name ? entry.code : code;
  }
  check(initial.toggleKey == code, "initial toggle key is the default file's");
}

void checkQuotedFile(const std::vector<std::string>& lines) {
  std::vector<std::string> body = section(lines, "The settings file as Quillmere first writes it");
  while (!body.empty() && body.front().empty()) {
    body.erase(body.begin());
  }
  while (!body.empty() && body.back().empty()) {
    body.pop_back();
  }
  std::string quoted;
  for (size_t i = 0; i < body.size(); ++i) {
    bool indented = body[i].empty() || body[i].compare(0, 4, "    ") == 0;
    check(indented, "quoted line \"" + body[i] + "\" is indented by four blanks");
    quoted += (i > 0 ? "\n" : "") + (body[i].empty() ? body[i] : body[i].substr(4));
  }
  check(quoted == defaultContent(), "the readme quotes the default settings file exactly");
}

void checkVersion(const std::string& text, const std::vector<std::string>& lines,
                  const std::string& version, const std::string& sumsPath) {
  check(!lines.empty() && lines[0] == "Quillmere " + version,
        "the first line names version " + version);
  std::ifstream sums(sumsPath);
  std::string hash, name, dllHash;
  while (sums >> hash >> name) {
    dllHash = name == "dist/Quillmere.asi" ? hash : dllHash;
  }
  check(dllHash.size() == 64, sumsPath + " gives the SHA-256 of dist/Quillmere.asi");
  check(!dllHash.empty() && text.find("  " + dllHash + "\r\n") != std::string::npos,
        "the readme gives the DLL's SHA-256 " + dllHash);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: quillmere-readme-check README VERSION SHA256SUMS\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  check(!text.empty(), std::string("the readme ") + argv[1] + " can be read");
  std::vector<std::string> lines = splitLines(text, "\r\n");

  checkPlainCrLf(text);
  checkKeyTable(lines);
  checkDefaults(lines);
  checkQuotedFile(lines);
  checkVersion(text, lines, argv[2], argv[3]);
  if (failures > 0) {
    std::printf("readme: %d checks failed\n", failures);
    return 1;
  }
  std::printf("readme: key table, defaults, quoted settings file, version and SHA-256 agree\n");
  return 0;
}
