// Checks what the shipped readme takes from the plug-in against the plug-in's own tables: the key
// table lists exactly the names the plug-in accepts, each with a key; the defaults and the quoted
// settings file are the default file's; the file name and the reload interval are the plug-in's.
// It must also be plain CR LF text, as Notepad shows it, tell players on Linux the loader's DLL
// override, and send to a commit to rebuild it only when it names one.
// Usage: quillmere-readme-check README
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

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
  }
}

// The text from the line after `heading`'s underline to the next blank line.
std::string block(const std::string& text, const std::string& heading) {
  size_t at = text.find("\n" + heading + "\n");
  at = at == std::string::npos ? at : text.find('\n', text.find('\n', at + 1) + 1);
  check(at != std::string::npos, "the readme has a section \"" + heading + "\"");
  return at == std::string::npos ? "" : text.substr(at + 1, text.find("\n\n", at) - at);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillmere-readme-check README\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string crlf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string text;
  bool plain = !crlf.empty() && crlf.back() == '\n';
  for (size_t i = 0; i < crlf.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(crlf[i]);
    plain = plain && (c == '\r'   ? crlf[i + 1] == '\n'
                      : c == '\n' ? i > 0 && crlf[i - 1] == '\r'
                                  : c >= 32);
    plain = plain && c < 127;
    text += c == '\r' ? "" : std::string(1, static_cast<char>(c));
  }
  check(plain, "the readme is printable ASCII, every line ending in CR LF");

  for (const KeyName& key : keyNameTable) {
    std::string row = "\n  " + std::string(key.name) + " ";
    size_t at = text.find(row);
    check(at != std::string::npos && text[at + row.size()] == ' ' &&
              text.find_first_not_of(' ', at + row.size()) != text.find('\n', at + 1),
          std::string("the key table lists ") + key.name + " with its key");
  }
  std::string listed = block(text, "Keys for toggle-key");
  size_t rows = 0;
  for (size_t at = 0; (at = listed.find("\n  VK_", at)) != std::string::npos; ++at) {
    ++rows;
  }
  check(rows == sizeof keyNameTable / sizeof keyNameTable[0], "the key table lists no other key");

  std::string file;
  for (const char* literal : kDefaultContent) {
    file += literal;
  }
  std::string quoted;
  for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
    end = file.find('\n', start);
    std::string line = file.substr(start, end - start);
    quoted += (line.empty() ? "" : "    ") + line + "\n";
    size_t equals = line.find('=');
    if (line[0] != '#' && equals != std::string::npos) {
      std::string name = line.substr(0, equals), shown = name;
      shown.resize(18, ' ');
      check(text.find("\n  " + shown + "default: " + line.substr(equals + 1) + "\n") !=
                std::string::npos,
            "the readme gives " + name + "'s default as the default file does");
    }
  }
  check(text.find("\n\n" + quoted + "\n") != std::string::npos,
        "the readme quotes the default settings file exactly");

  // A missing file means the initial settings: they must be what the default file says.
  Settings initial;
  uint32_t key = 0;
  for (const KeyName& entry : keyNameTable) {
    key =
        file.find("\ntoggle-key=" + std::string(entry.name) + "\n") != file.npos ? entry.code : key;
  }
  check((file.find("\nenabled=true\n") != std::string::npos) == initial.keybindEnabled &&
            (file.find("\naffect-all-peds=true") != std::string::npos) == initial.affectAllPeds &&
            key == initial.toggleKey,
        "the initial settings are the default file's");
  check(text.find(kSettingsFileName) != std::string::npos &&
            text.find("again every " + std::to_string(kReloadIntervalMs / 1000) + " seconds") !=
                std::string::npos &&
            text.find("Only the first " + std::to_string(kSettingsReadLimit / 1024) + " KiB") !=
                std::string::npos,
        "the readme names the plug-in's settings file, reload interval and read limit");
  check(text.find("\n  WINEDLLOVERRIDES=\"version=n,b\" %command%\n") != std::string::npos,
        "the readme gives the launch options that make Wine load the ASI loader");

  // "commit 488653d55a66." names a commit; "unknown" or "488653d55a66-modified" does not.
  size_t named = text.find(", commit ");
  named = named == std::string::npos ? named : named + 9;
  const std::string commit =
      named == std::string::npos ? "" : text.substr(named, text.find(". ", named) - named);
  const bool isCommit =
      !commit.empty() && commit.find_first_not_of("0123456789abcdef") == std::string::npos;
  check(!commit.empty() && (text.find("check out that commit") != std::string::npos) == isCommit &&
            (text.find("no commit rebuilds it") != std::string::npos) == !isCommit,
        "the readme says how to rebuild the zip of commit \"" + commit + "\"");
  if (failures > 0) {
    std::printf("readme: %d checks failed\n", failures);
    return 1;
  }
  std::printf(
      "readme: key table, defaults, settings file, name, interval and limit agree; the Linux "
      "override and how to rebuild commit %s are given\n",
      commit.c_str());
  return 0;
}
