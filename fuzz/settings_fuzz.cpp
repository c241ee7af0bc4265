// Fuzzing the settings reader: any bytes, applied as text and read from a file, must set exactly
// what a plain, slow version of the line rules written here sets.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "common/settings.h"
#include "config/settings_file.h"
#include "config/settings_reader.h"

namespace {

// The line rules the obvious way: split the text into strings, search them with std::string.
const std::map<std::string, uint32_t> kKeyCodes = {
    {"VK_F1", 112},  {"VK_F2", 113},   {"VK_F3", 114},    {"VK_F4", 115},   {"VK_F5", 116},
    {"VK_F6", 117},  {"VK_F7", 118},   {"VK_F8", 119},    {"VK_F9", 120},   {"VK_F10", 121},
    {"VK_F11", 122}, {"VK_F12", 123},  {"VK_TAB", 9},     {"VK_SHIFT", 16}, {"VK_CONTROL", 17},
    {"VK_MENU", 18}, {"VK_SPACE", 32}, {"VK_RETURN", 13}, {"VK_BACK", 8},   {"VK_ESCAPE", 27},
};

bool isTrue(std::string value) {
  for (char& c : value) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return value == "true";
}

void referenceLine(const std::string& line, Settings& out) {
  const size_t equals = line.find('=');
  const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
  if (line.find("enabled=") != std::string::npos) {
    out.keybindEnabled = isTrue(value);
  } else if (line.find("toggle-key=") != std::string::npos) {
    const char* blanks = " \t\r\n";
    const size_t first = value.find_first_not_of(blanks);
    const std::string name = first == std::string::npos
                                 ? ""
                                 : value.substr(first, value.find_last_not_of(blanks) - first + 1);
    auto found = kKeyCodes.find(name);
    out.toggleKey = found == kKeyCodes.end() ? 114 : found->second;
  } else if (line.find("affect-all-peds=") != std::string::npos) {
    out.affectAllPeds = isTrue(value);
  }
}

void referenceText(std::string text, Settings& out) {
  text = text.substr(0, text.find('\x1a'));  // Ctrl-Z ends the file
  size_t start = 0;
  for (;;) {
    const size_t lineFeed = text.find('\n', start);
    std::string line =
        text.substr(start, lineFeed == std::string::npos ? std::string::npos : lineFeed - start);
    if (lineFeed != std::string::npos && !line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    referenceLine(line, out);
    if (lineFeed == std::string::npos) {
      return;
    }
    start = lineFeed + 1;
  }
}

// loadSettings uses the current directory; the fuzzer's own paths (corpus, crash files) are
// relative to the directory it was started in. Each input moves between the two.
int fuzzerDir = -1;
int settingsDir = -1;

void enter(int dir) {
  if (fchdir(dir) != 0) {
    std::abort();
  }
}

// Back where the fuzzer keeps its files first, so that the crash input is saved there.
[[noreturn]] void fail() {
  enter(fuzzerDir);
  std::abort();
}

void expectSame(const char* path, const Settings& expected) {
  if (settings.keybindEnabled == expected.keybindEnabled &&
      settings.toggleKey == expected.toggleKey &&
      settings.affectAllPeds == expected.affectAllPeds && settings.active == expected.active) {
    return;
  }
  std::fprintf(stderr,
               "%s: got enabled %d key %u all-peds %d active %d, "
               "expected enabled %d key %u all-peds %d active %d\n",
               path, settings.keybindEnabled, settings.toggleKey, settings.affectAllPeds,
               settings.active, expected.keybindEnabled, expected.toggleKey, expected.affectAllPeds,
               expected.active);
  fail();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  char pattern[] = "/tmp/quillmere-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::abort();
  }
  fuzzerDir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  settingsDir = open(pattern, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fuzzerDir < 0 || settingsDir < 0) {
    std::abort();
  }
  // A sanitizer report from inside loadSettings saves its crash input here.
  std::fprintf(stderr, "settings file directory: %s\n", pattern);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // The starting values vary too, so that a field wrongly set or wrongly kept shows either way.
  const Settings start = {(size & 1) != 0, 1000 + static_cast<uint32_t>(size % 7), (size & 2) != 0,
                          (size & 4) != 0};

  Settings expected = start;
  referenceText(text, expected);
  settings = start;
  applySettingsText(text.data(), text.size());
  expectSame("applySettingsText", expected);

  // The same bytes as a file, behind a line without a key. Its length puts one byte of the input
  // where the reader's pieces are cut: the first lone CR (or else the first CR) last in a piece,
  // where the reader must hold it until the next piece tells whether an LF follows; or, for half
  // the sizes, the first '=' a few bytes into a piece, so that the key before it is cut. Without
  // either, the length moves the input across the pieces at random.
  const size_t piece = kSettingsReadPiece;
  size_t crossing = text.find('\r');
  for (size_t cr = crossing; cr != std::string::npos; cr = text.find('\r', cr + 1)) {
    if (cr + 1 == text.size() || text[cr + 1] != '\n') {
      crossing = cr;
      break;
    }
  }
  size_t slot = piece - 1;  // where in a piece the chosen byte is to stand
  if ((size & 8) != 0 && text.find('=') != std::string::npos) {
    crossing = text.find('=');
    slot = size / 16 % 20;
  }
  // The chosen byte stands at padding + 1 + crossing in the file.
  const size_t padding = crossing == std::string::npos
                             ? size * 37 % (2 * piece + 7)
                             : (slot + 2 * piece - 1 - crossing % piece) % piece;
  const std::string file = std::string(padding, '#') + "\n" + text;
  expected = start;
  referenceText(file, expected);
  enter(settingsDir);
  std::FILE* out = std::fopen(kSettingsFileName, "wb");
  if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
      std::fclose(out) != 0) {
    fail();
  }
  settings = start;
  loadSettings();
  expectSame("loadSettings", expected);
  struct stat after;
  if (stat(kSettingsFileName, &after) != 0 || static_cast<size_t>(after.st_size) != file.size()) {
    std::fprintf(stderr, "loadSettings changed a file it could read\n");
    fail();
  }
  enter(fuzzerDir);
  return 0;
}
