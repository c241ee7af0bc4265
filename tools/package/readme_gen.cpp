// Writes the player's readme, "Quillmere - Readme.txt", as plain text with CR LF line ends.
//
// Runs on the build machine. Whatever the plug-in holds in a table comes from the plug-in's own
// headers, so the readme cannot drift from them: the key names and their codes, the default
// settings file, the file's name, the reload interval and the fallback key. Only the prose and
// each key's everyday name live here.
// Usage: quillmere-readme OUTPUT VERSION COMMIT DLL_SHA256
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/settings.h"
#include "config/default_settings.h"
#include "config/key_names.h"
#include "config/settings_file.h"
#include "tools/package/plain_text.h"

namespace {

// The name on the keyboard of the keys outside F1 to F24, by virtual-key code.
struct KeyLabel {
  uint32_t code;
  const char* label;
};
constexpr KeyLabel kKeyLabels[] = {
    {8, "Backspace"}, {9, "Tab"},  {13, "Enter"}, {16, "Shift"},
    {17, "Ctrl"},     {18, "Alt"}, {27, "Esc"},   {32, "Space"},
};

// The key's everyday name, or "" for a code not known here.
std::string keyLabel(uint32_t code) {
  if (code >= 112 && code <= 135) {
    return "F" + std::to_string(code - 111);  // F1 to F24 are consecutive codes
  }
  for (const KeyLabel& key : kKeyLabels) {
    if (key.code == code) {
      return key.label;
    }
  }
  return "";
}

std::string defaultContent() {
  std::string content;
  for (const char* literal : kDefaultContent) {
    content += literal;
  }
  return content;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

// The value that the default file gives `key`: its line is "key=value". Empty when it has none.
std::string defaultValue(const std::string& key) {
  for (const std::string& line : splitLines(defaultContent())) {
    if (line.compare(0, key.size() + 1, key + "=") == 0) {
      return line.substr(key.size() + 1);
    }
  }
  return "";
}

struct Setting {
  const char* key;
  const char* effect;
};

// Every "key=value" line of the default file must have its effect told here.
constexpr Setting kSettings[] = {
    {"enabled",
     "With true, the toggle key switches Quillmere off and on. With false the keybind is "
     "disabled: the key does nothing and Quillmere stays as it is, which from the start of a "
     "game means always active."},
    {"toggle-key",
     "The key that switches Quillmere off and on, by its name in the table further down. The "
     "switch happens when the key is released; holding it down does nothing."},
    {"affect-all-peds",
     "With false only your own character's hat is protected. With true the hat of every living "
     "character is protected, until they die and hit the ground. Warning, as the settings file "
     "says: this may cause the game to softlock during some missions or events."},
};

bool fail(const std::string& message) {
  std::fprintf(stderr, "quillmere-readme: %s\n", message.c_str());
  return false;
}

// The everyday name of the key that stands in for unknown names, e.g. "F3"; empty when the
// key-name table has no such key.
std::string fallbackLabel() {
  for (const KeyName& entry : keyNameTable) {
    if (entry.code == kDefaultToggleKey) {
      return keyLabel(entry.code);
    }
  }
  fail("the fallback key has no name in the key-name table");
  return "";
}

bool writeSettings(PlainText& r) {
  std::string file = kSettingsFileName;
  int reloadSeconds = kReloadIntervalMs / 1000;
  std::string fallback = fallbackLabel();
  if (fallback.empty()) {
    return false;
  }

  r.heading("Settings");
  r.paragraph("The settings live in " + file + " in the game folder. Edit it with any text " +
              "editor while the game runs: Quillmere reads it again every " +
              std::to_string(reloadSeconds) + " seconds of game time, so an edit applies " +
              "within about " + std::to_string(reloadSeconds) + " s, without a restart.");
  r.line();
  size_t known = 0;
  for (const Setting& setting : kSettings) {
    std::string value = defaultValue(setting.key);
    if (value.empty()) {
      return fail(std::string("the default settings file has no line for ") + setting.key);
    }
    ++known;
    std::string name = setting.key;
    r.line("  " + name + std::string(name.size() < 18 ? 18 - name.size() : 1, ' ') +
           "default: " + value);
    r.paragraph(setting.effect, "      ", "      ");
    r.line();
  }
  size_t inFile = 0;
  for (const std::string& line : splitLines(defaultContent())) {
    inFile +=
        (!line.empty() && line[0] != '#' && line[0] != '[' && line.find('=') != std::string::npos);
  }
  if (inFile != known) {
    return fail("the default settings file has a setting that the readme does not describe");
  }

  r.heading("How the values are read");
  r.bullet(
      "true means true in any mix of capitals: true, TRUE and True all work. Anything else "
      "means false, also 1, yes, and true with a space before or after it.");
  r.bullet(
      "A key name must be written exactly as in the table below, in capitals and with its "
      "VK_ in front; spaces around it do no harm. A name that is not in the table (a typo, "
      "lower case, F3 without VK_) means " +
      fallback + ".");
  r.bullet(
      "The value is everything after the first = on the line. Keep each setting on a line "
      "of its own, as in the file Quillmere writes.");
  r.bullet(
      "A # in front of a setting does not switch it off: the line still counts wherever the "
      "setting's name stands in it. To undo a change, write the default value back.");
  r.bullet(
      "When a setting appears on several lines, the last one counts. Removing a setting's "
      "line keeps its last value until the game is started again.");
  std::string seconds = std::to_string(reloadSeconds);
  r.bullet("Delete " + file + " to start again from the defaults: Quillmere writes the file anew " +
           "within about " + seconds + " s of game time, and takes its values at the reload " +
           "after that.");
  return true;
}

bool writeKeys(PlainText& r) {
  r.heading("Keys for toggle-key");
  r.line("  Name in the file   Key");
  for (const KeyName& entry : keyNameTable) {
    std::string label = keyLabel(entry.code);
    if (label.empty()) {
      return fail(std::string("no everyday name for the key of ") + entry.name);
    }
    std::string name = entry.name;
    r.line("  " + name + std::string(name.size() < 19 ? 19 - name.size() : 1, ' ') + label);
  }
  r.line();
  r.paragraph("Letter, digit, arrow and mouse keys cannot be chosen.");
  return true;
}

void writeDefaultFile(PlainText& r) {
  r.heading("The settings file as Quillmere first writes it");
  r.line();
  for (const std::string& line : splitLines(defaultContent())) {
    r.line(line.empty() ? line : "    " + line);
  }
}

void writeTroubleshooting(PlainText& r) {
  std::string file = kSettingsFileName;
  r.heading("Troubleshooting");
  r.bullet("No notice appears when you press and release the key: either enabled is false in " +
           file +
           ", which disables the keybind, or toggle-key names another key. Check both "
           "lines.");
  r.bullet("There is no " + file +
           " in the game folder after playing: Quillmere is not being "
           "loaded. Check that Quillmere.asi, ScriptHookRDR2.dll and the ASI loader are all in "
           "the game folder. If the folder cannot be written to, Quillmere runs with the "
           "defaults and cannot create the file.");
  r.bullet(
      "The key does something else, or the notice comes only sometimes: programs that run "
      "beside the game often claim keys for themselves, above all the function keys "
      "(screenshots, recording, overlays, performance counters), and Alt and Tab also belong "
      "to Windows' task switching. The game's own controls keep working on Tab, Shift, Ctrl, "
      "Alt, Space, Enter, Backspace and Esc while Quillmere listens to them. Choose a key "
      "that nothing else uses.");
  r.bullet(
      "A tap is sometimes missed while the game stalls, during loading for example: tap "
      "again once the game runs smoothly.");
  r.bullet("A mission or event does not go on: set affect-all-peds=false.");
}

bool writeReadme(PlainText& r, const std::string& version, const std::string& commit,
                 const std::string& dllSha256) {
  std::string file = kSettingsFileName;
  std::string fallback = fallbackLabel();
  if (fallback.empty()) {
    return false;
  }
  r.line("Quillmere " + version);
  r.line(std::string(10 + version.size(), '='));
  r.line();
  r.paragraph(
      "Quillmere keeps hats on heads. While it is active, your character's hat is never "
      "knocked off; if you ask for it, every living character's hat is protected too. "
      "One key, " +
      fallback +
      " unless you choose another, switches it off and "
      "on, and a notice in the game's feed says \"Script has been enabled\" or \"Script "
      "has been disabled\". Quillmere is active whenever the game starts.");

  r.heading("What you need");
  r.bullet("ScriptHookRDR2.dll, the script hook, installed in the game folder.");
  r.bullet(
      "An ASI loader in the game folder: the small DLL that loads .asi plug-ins when the "
      "game starts.");

  r.heading("Installing");
  r.paragraph(
      "Copy Quillmere.asi into the game folder, next to ScriptHookRDR2.dll. The first "
      "time the game runs with it, Quillmere creates " +
      file +
      " there with the "
      "default settings.");
  r.heading("Updating");
  r.paragraph("Replace Quillmere.asi with the new one while the game is closed. Your " + file +
              " stays as it is and is read as before.");
  r.heading("Uninstalling");
  r.paragraph("Delete Quillmere.asi. " + file +
              ", in the game's folder, is the only file "
              "Quillmere ever creates; delete it too if you want nothing left. Quillmere never "
              "touches the registry.");

  if (!writeSettings(r) || !writeKeys(r)) {
    return false;
  }
  writeDefaultFile(r);
  writeTroubleshooting(r);

  r.heading("Version");
  r.paragraph("Quillmere " + version + ", commit " + commit +
              ". The same version shows under "
              "Quillmere.asi's Properties, Details.");
  r.line();
  r.line("SHA-256 of Quillmere.asi:");
  r.line("  " + dllSha256);
  r.line();
  r.paragraph(
      "To check your copy, run certutil -hashfile Quillmere.asi SHA256 in the game "
      "folder and compare.");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: quillmere-readme OUTPUT VERSION COMMIT DLL_SHA256\n");
    return 2;
  }
  PlainText readme;
  if (!writeReadme(readme, argv[2], argv[3], argv[4])) {
    return 1;
  }
  std::string crlf;
  for (char c : readme.text) {
    crlf += c == '\n' ? "\r\n" : std::string(1, c);
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr || std::fwrite(crlf.data(), 1, crlf.size(), out) != crlf.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "quillmere-readme: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
