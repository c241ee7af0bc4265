// quillmere-run: loads a Quillmere.asi beside the stand-in host, in a working directory of its
// own, plays a scenario (the embedded default unless one is named) and tells what happened.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings_file.h"
#include "tools/runner/scenario.h"
#include "tools/runner/session.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmere-run [--verbose] [--colour] [--plugin PATH] [--workdir DIR] [--keep]\n"
    "                     [--status-line] [SCENARIO]\n"
    "       quillmere-run --print-default | --help\n"
    "Plays SCENARIO (by default the embedded one) with the plug-in at PATH (by default\n"
    "dist/Quillmere.asi, looked for upwards from this program's folder) loaded beside the\n"
    "stand-in host, in DIR (by default a fresh temporary directory, removed afterwards unless\n"
    "--keep; a DIR given is made with its parents if missing, and kept). --colour shows the\n"
    "notices' colour markup as terminal colours. --status-line ends the output with the line\n"
    "\"quillmere-run: status N\", so that a caller can tell a run that ended as it meant to\n"
    "from a process ended early (by the plug-in, say), whatever that process's exit code.\n"
    "Exit status: 0 all expectations met, 1 an expectation failed or the plug-in disagreed with\n"
    "the settings in effect, 2 the session could not run (a mistake in the scenario included).\n";

// Paths are kept wide, as Windows names files, and shown in UTF-8. A path given is never empty.
struct Options {
  bool printDefault = false;
  bool help = false;
  bool verbose = false;
  bool colour = false;
  bool keep = false;
  std::wstring plugin;
  std::wstring workdir;
  std::wstring scenario;
  int words = 0;  // on the command line, --status-line left out
};

std::string utf8(const std::wstring& text) {
  auto size = static_cast<int>(text.size());
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), length, nullptr, nullptr);
  return out;
}

// The path made whole, at any length.
std::wstring fullPath(const std::wstring& path) {
  std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  DWORD length =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  full.resize(length);
  return length == 0 ? path : full;
}

// Windows makes a device's name, such as NUL, AUX or COM1 with any extension and in any folder,
// into \\.\NAME when it makes a path whole: opening it reads the device, not a file.
bool namesADevice(const std::wstring& full) {
  return full.compare(0, 4, L"\\\\.\\") == 0;
}

// A whole path as the W calls take it at any length: past what CreateDirectoryW takes plainly
// (MAX_PATH less 12), with the \\?\ prefix that lifts the limit.
std::wstring longPath(const std::wstring& full) {
  bool prefixed = full.compare(0, 4, L"\\\\?\\") == 0 || namesADevice(full);
  if (full.size() < MAX_PATH - 12 || prefixed) {
    return full;
  }
  return full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

// Whether a file (or, with `directory`, a directory) stands at the whole path.
bool stands(const std::wstring& full, bool directory = false) {
  DWORD attributes = GetFileAttributesW(longPath(full).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directory;
}

// dist\Quillmere.asi in this program's folder or the nearest folder above it that has one.
std::wstring findShippedPlugin() {
  std::wstring folder(32768, L'\0');
  folder.resize(GetModuleFileNameW(nullptr, folder.data(), static_cast<DWORD>(folder.size())));
  for (int up = 0; up < 6; ++up) {
    size_t slash = folder.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
      break;
    }
    folder.resize(slash);
    for (const wchar_t* candidate : {L"\\Quillmere.asi", L"\\dist\\Quillmere.asi"}) {
      if (stands(folder + candidate)) {
        return folder + candidate;
      }
    }
  }
  return L"";
}

std::wstring freshTempDirectory() {
  std::wstring base(MAX_PATH + 1, L'\0');
  DWORD length = GetTempPathW(static_cast<DWORD>(base.size()), base.data());
  base = length > 0 && length < base.size() ? base.substr(0, length) : L".\\";
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::wstring candidate =
        fullPath(base + L"quillmere-run-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(attempt));
    if (CreateDirectoryW(longPath(candidate).c_str(), nullptr)) {
      return candidate;
    }
  }
  return L"";
}

// Makes the directory and whichever of its parents are missing; true when it stands afterwards.
bool makeDirectories(const std::wstring& full) {
  std::wstring path = longPath(full);
  // Past the drive's root; a share's server and name fail to be made, as do those already there.
  size_t from = (path.compare(0, 4, L"\\\\?\\") == 0 ? 4 : 0) + 3;
  for (size_t slash = path.find(L'\\', from); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1)) {
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
  return stands(full, true);
}

// Reads the command line into `options`; returns what is wrong with it, or "".
std::string parseOptions(int argc, wchar_t** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--status-line") {
      continue;  // wmain's, whatever else the command line holds
    }
    ++options->words;
    const char* wrong = nullptr;
    if (arg == L"--print-default") {
      options->printDefault = true;
    } else if (arg == L"--help" || arg == L"-h") {
      options->help = true;
    } else if (arg == L"--verbose" || arg == L"--colour" || arg == L"--keep") {
      (arg == L"--verbose"  ? options->verbose
       : arg == L"--colour" ? options->colour
                            : options->keep) = true;
    } else if (arg == L"--plugin" || arg == L"--workdir") {
      std::wstring& path = arg == L"--plugin" ? options->plugin : options->workdir;
      bool hasValue = i + 1 < argc && argv[i + 1][0] != L'\0';
      wrong = !hasValue ? "needs a value" : !path.empty() ? "given twice" : nullptr;
      if (wrong == nullptr) {
        path = argv[++i];
        ++options->words;
      }
    } else if (arg.compare(0, 2, L"--") == 0) {
      wrong = "is not an option";
    } else if (!options->scenario.empty()) {
      wrong = "is a second scenario; one at a time";
    } else {
      options->scenario = arg;
    }
    if (wrong != nullptr) {
      return quoted(utf8(arg)) + " " + wrong + " (see --help)";
    }
  }
  return options->printDefault && options->words > 1
             ? "--print-default takes no other words (see --help)"
             : "";
}

// The scenario file's text, or a message why there is none. Only a regular file is a scenario: a
// device would be read as one (NUL as empty, AUX or COM1 waiting for bytes that never come).
std::string readScenario(const std::wstring& given, const std::string& name, std::string* text) {
  if (namesADevice(fullPath(given))) {
    return utf8(given) + " is the name of a Windows device (" + name +
           "), not a file: give the scenario another name";
  }
  HANDLE file = CreateFileW(longPath(fullPath(given)).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return "cannot read " + name;
  }
  bool regular = GetFileType(file) == FILE_TYPE_DISK;
  char chunk[65536];
  DWORD got = 0;
  while (regular && text->size() <= kMostScenarioBytes &&
         ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    text->append(chunk, got);
  }
  CloseHandle(file);
  if (!regular) {
    return name + " is not a regular file";
  }
  return text->size() > kMostScenarioBytes
             ? name + ": more than " + std::to_string(kMostScenarioBytes >> 20) +
                   " MiB; a scenario is a short text file"
             : "";
}

// Removes the temporary working directory and what the plug-in or the scenario left in it.
void removeWorkdir(const std::wstring& workdir) {
  SetCurrentDirectoryW(L"..");
  std::wstring settings =
      longPath(workdir + L"\\" +
               std::wstring(kSettingsFileName, kSettingsFileName + std::strlen(kSettingsFileName)));
  DeleteFileW(settings.c_str());
  RemoveDirectoryW(settings.c_str());
  RemoveDirectoryW(longPath(workdir).c_str());
}

int run(const Options& options) {
  if (options.help || options.printDefault) {
    std::string help =
        std::string(kUsage) + "\nScenario commands (see README.md):\n" + scenarioHelp();
    std::fputs(options.help ? help.c_str() : kDefaultScenario, stdout);
    return 0;
  }
  // Paths are made whole before the working directory changes.
  std::string text = kDefaultScenario;
  std::string scenarioName = "the embedded default";
  if (!options.scenario.empty()) {
    scenarioName = utf8(fullPath(options.scenario));
    text.clear();
    std::string wrong = readScenario(options.scenario, scenarioName, &text);
    if (!wrong.empty()) {
      return refuse(wrong);
    }
  }
  Scenario scenario;
  std::string error;
  if (!parseScenario(text, &scenario, &error)) {
    return refuse(scenarioName + ": " + error);
  }
  for (const std::string& warning : scenario.warnings) {
    std::fprintf(stderr, "quillmere-run: warning: %s: %s\n", scenarioName.c_str(), warning.c_str());
  }
  std::wstring plugin = options.plugin.empty() ? findShippedPlugin() : fullPath(options.plugin);
  if (plugin.empty() || !stands(plugin)) {
    return refuse("no plug-in at " + (plugin.empty() ? "dist\\Quillmere.asi" : utf8(plugin)));
  }
  bool temporary = options.workdir.empty();
  std::wstring workdir = temporary ? freshTempDirectory() : fullPath(options.workdir);
  if (workdir.empty() || (!temporary && !makeDirectories(workdir)) ||
      !SetCurrentDirectoryW(workdir.c_str())) {
    return refuse("cannot work in " + (workdir.empty() ? "a temporary directory" : utf8(workdir)));
  }
  std::printf("Quillmere session\n  plug-in:  %s\n  scenario: %s\n  working directory: %s\n\n",
              utf8(plugin).c_str(), scenarioName.c_str(), utf8(workdir).c_str());
  // Colours are asked for rather than guessed from the console: Wine's console breaks escape
  // sequences up, so scripts/run-session.sh pipes the output and asks when its own is a terminal.
  int status = playSession(utf8(longPath(plugin)), utf8(plugin), scenarioName, scenario.steps,
                           options.verbose, options.colour);
  if (temporary && !options.keep) {
    removeWorkdir(workdir);
  }
  return status;
}

}  // namespace

// Wide, so that a path in any language reaches the file it names: the ANSI arguments would turn
// sΩ.scn into sO.scn, another file that may well exist.
int wmain(int argc, wchar_t** argv) {
  // LF line ends, as a terminal or a pipe on the Unix side expects.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  Options options;
  std::string wrong = parseOptions(argc, argv, &options);
  int status = wrong.empty() ? run(options) : refuse(wrong);
  std::fflush(stdout);
  std::fflush(stderr);
  // The very last thing, after the plug-in is unloaded: a plug-in that ends the process itself
  // keeps this line from being printed.
  if (std::any_of(argv + 1, argv + argc,
                  [](const wchar_t* arg) { return std::wstring(arg) == L"--status-line"; })) {
    std::printf("quillmere-run: status %d\n", status);
  }
  std::fflush(stdout);
  return status;
}
