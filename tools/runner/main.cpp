// quillmere-run: loads a Quillmere.asi beside the stand-in host, in a working directory of its
// own, plays a scenario (the embedded default unless one is named) and tells what happened.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/runner/account.h"
#include "tools/runner/escaped.h"
#include "tools/runner/scenario.h"
#include "tools/runner/session.h"
#include "tools/runner/settings_file.h"
#include "tools/standin/standin.h"

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

// Paths are kept wide, as Windows names files, and shown in UTF-8.
struct Options {
  bool printDefault = false;
  bool help = false;
  bool verbose = false;
  bool colour = false;
  bool keep = false;
  bool pluginGiven = false;
  bool workdirGiven = false;
  std::wstring plugin;
  std::wstring workdir;
  std::wstring scenario;
  int words = 0;  // on the command line, --status-line left out
};

std::string utf8(const std::wstring& text) {
  if (text.empty()) {
    return "";
  }
  auto size = static_cast<int>(text.size());
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &out[0], length, nullptr, nullptr);
  return out;
}

// The path made whole, at any length.
std::wstring fullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length == 0) {
      return path;
    }
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
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

bool isFile(const std::wstring& full) {
  DWORD attributes = GetFileAttributesW(longPath(full).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isDirectory(const std::wstring& full) {
  DWORD attributes = GetFileAttributesW(longPath(full).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// dist\Quillmere.asi in this program's folder or the nearest folder above it that has one.
std::wstring findShippedPlugin() {
  std::wstring folder(32768, L'\0');
  folder.resize(GetModuleFileNameW(nullptr, &folder[0], static_cast<DWORD>(folder.size())));
  for (int up = 0; up < 6; ++up) {
    size_t slash = folder.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
      break;
    }
    folder.resize(slash);
    for (const wchar_t* candidate : {L"\\Quillmere.asi", L"\\dist\\Quillmere.asi"}) {
      if (isFile(folder + candidate)) {
        return folder + candidate;
      }
    }
  }
  return L"";
}

std::wstring freshTempDirectory() {
  std::wstring base(MAX_PATH + 1, L'\0');
  DWORD length = GetTempPathW(static_cast<DWORD>(base.size()), &base[0]);
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
  return isDirectory(full);
}

bool parseOptions(int argc, wchar_t** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    bool hasValue = i + 1 < argc && argv[i + 1][0] != L'\0';
    options->words += arg == L"--status-line" ? 0 : 1;
    const char* wrong = nullptr;
    if (arg == L"--print-default") {
      options->printDefault = true;
    } else if (arg == L"--help" || arg == L"-h") {
      options->help = true;
    } else if (arg == L"--verbose") {
      options->verbose = true;
    } else if (arg == L"--colour") {
      options->colour = true;
    } else if (arg == L"--keep") {
      options->keep = true;
    } else if (arg == L"--status-line") {
      continue;  // wmain's, whatever else the command line holds
    } else if (arg == L"--plugin" || arg == L"--workdir") {
      bool plugin = arg == L"--plugin";
      bool& given = plugin ? options->pluginGiven : options->workdirGiven;
      wrong = !hasValue ? "needs a value" : given ? "given twice" : nullptr;
      if (wrong == nullptr) {
        given = true;
        (plugin ? options->plugin : options->workdir) = argv[++i];
        options->words += 1;
      }
    } else if (arg.compare(0, 2, L"--") == 0) {
      wrong = "is not an option";
    } else if (!options->scenario.empty()) {
      wrong = "is a second scenario; one at a time";
    } else {
      options->scenario = arg;
    }
    if (wrong != nullptr) {
      std::fprintf(stderr, "quillmere-run: %s %s (see --help)\n", quoted(utf8(arg)).c_str(), wrong);
      return false;
    }
  }
  if (options->printDefault && options->words > 1) {
    std::fprintf(stderr, "quillmere-run: --print-default takes no other words (see --help)\n");
    return false;
  }
  return true;
}

// The scenario's text, or a message why there is none. Only a regular file is a scenario: a
// device would be read as one (NUL as empty, AUX or COM1 waiting for bytes that never come).
bool readScenario(const Options& options, std::string* text, std::string* name,
                  std::string* error) {
  if (options.scenario.empty()) {
    *text = kDefaultScenario;
    *name = "the embedded default";
    return true;
  }
  std::wstring full = fullPath(options.scenario);
  *name = utf8(full);
  if (namesADevice(full)) {
    *error = utf8(options.scenario) + " is the name of a Windows device (" + *name +
             "), not a file: give the scenario another name";
    return false;
  }
  HANDLE file =
      CreateFileW(longPath(full).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = "cannot read " + *name;
    return false;
  }
  bool regular = GetFileType(file) == FILE_TYPE_DISK;
  text->clear();
  char chunk[65536];
  DWORD got = 0;
  while (regular && text->size() <= kMostScenarioBytes &&
         ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    text->append(chunk, got);
  }
  CloseHandle(file);
  if (!regular) {
    *error = *name + " is not a regular file";
    return false;
  }
  if (text->size() > kMostScenarioBytes) {
    *error = *name + ": more than " + std::to_string(kMostScenarioBytes >> 20) +
             " MiB; a scenario is a short text file";
    return false;
  }
  return true;
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

// The session in its working directory, made and current: the plug-in loaded, the scenario
// played, the plug-in unloaded. Returns the exit status.
int play(const Options& options, const Scenario& scenario, const std::wstring& plugin,
         const std::string& scenarioName, const std::wstring& workdir) {
  accountUseColour(options.colour);
  tellHeader(utf8(plugin), scenarioName, utf8(workdir));
  standinResetWorld();
  if (!standinLoadPlugin(utf8(longPath(plugin)).c_str())) {
    std::fprintf(stderr, "quillmere-run: cannot load %s (error %lu)\n", utf8(plugin).c_str(),
                 GetLastError());
    return 2;
  }
  tellRegistrations("attach", 0);
  if (!standinScriptRegistered()) {
    standinUnloadPlugin();
    std::fflush(stdout);
    std::fprintf(stderr,
                 "quillmere-run: %s registered no script when loaded: it is not a plug-in of "
                 "this host\n",
                 utf8(plugin).c_str());
    return 2;
  }

  // Asked for rather than guessed from the console: Wine's console breaks escape sequences up, so
  // scripts/run-session.sh pipes the output and asks for colours when its own is a terminal.
  SessionResult result = playScenario(scenario.steps, SessionOptions{options.verbose});

  int32_t before = standinHostEventCount();
  standinUnloadPlugin();
  std::printf("\n");
  tellRegistrations("detach", before);
  std::fflush(stdout);
  if (!result.mistake.empty()) {
    std::fprintf(stderr, "quillmere-run: %s: %s\n", scenarioName.c_str(), result.mistake.c_str());
    return 2;
  }
  if (result.failed > 0) {
    std::printf("%d expectation%s failed\n", result.failed, result.failed == 1 ? "" : "s");
  }
  if (result.disagreements > 0) {
    std::printf("the plug-in disagreed with the settings in effect %d time%s\n",
                result.disagreements, result.disagreements == 1 ? "" : "s");
  }
  return result.failed > 0 || result.disagreements > 0 ? 1 : 0;
}

int run(const Options& options) {
  if (options.help) {
    std::printf("%s\nScenario commands (see README.md):\n%s", kUsage, scenarioHelp().c_str());
    return 0;
  }
  if (options.printDefault) {
    std::fputs(kDefaultScenario, stdout);
    return 0;
  }

  // Paths are made whole before the working directory changes.
  std::string text;
  std::string scenarioName;
  std::string error;
  Scenario scenario;
  if (!readScenario(options, &text, &scenarioName, &error)) {
    std::fprintf(stderr, "quillmere-run: %s\n", error.c_str());
    return 2;
  }
  if (!parseScenario(text, &scenario, &error)) {
    std::fprintf(stderr, "quillmere-run: %s: %s\n", scenarioName.c_str(), error.c_str());
    return 2;
  }
  for (const std::string& warning : scenario.warnings) {
    std::fprintf(stderr, "quillmere-run: warning: %s: %s\n", scenarioName.c_str(), warning.c_str());
  }
  std::wstring plugin = options.pluginGiven ? fullPath(options.plugin) : findShippedPlugin();
  if (plugin.empty() || !isFile(plugin)) {
    std::fprintf(stderr, "quillmere-run: no plug-in at %s\n",
                 plugin.empty() ? "dist\\Quillmere.asi" : utf8(plugin).c_str());
    return 2;
  }
  bool temporary = !options.workdirGiven;
  std::wstring workdir = temporary ? freshTempDirectory() : fullPath(options.workdir);
  if (workdir.empty() || (!temporary && !makeDirectories(workdir)) ||
      !SetCurrentDirectoryW(workdir.c_str())) {
    std::fprintf(stderr, "quillmere-run: cannot work in %s\n",
                 workdir.empty() ? "a temporary directory" : utf8(workdir).c_str());
    return 2;
  }
  int status = play(options, scenario, plugin, scenarioName, workdir);
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
  int status = 2;
  if (parseOptions(argc, argv, &options)) {
    status = run(options);
  }
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
