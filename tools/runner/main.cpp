// quillmere-run: loads a Quillmere.asi beside the stand-in host, in a working directory, plays a
// scenario (the embedded default unless one is named) and tells what happened.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/runner/session_state.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmere-run [--verbose] [--colour] [--plugin PATH] [--workdir DIR]\n"
    "                     [--status-file FILE] [SCENARIO]\n"
    "       quillmere-run --print-default | --help\n"
    "Plays SCENARIO (by default the embedded one) with the plug-in at PATH (by default\n"
    "Quillmere.asi) loaded beside the stand-in host, in the folder DIR (by default the current\n"
    "one). --colour shows the notices' colour markup as terminal colours. FILE gets the exit\n"
    "status once the plug-in is unloaded: neither its output nor its own end of the process can\n"
    "forge it. Exit status: 0 all expectations met, 1 an expectation failed or the plug-in\n"
    "disagreed with the settings in effect, 2 the session could not run, 130 interrupted.\n";

struct Options {  // --verbose and --colour go to the session itself
  bool printDefault = false, help = false;
  std::wstring plugin = L"Quillmere.asi", workdir, scenario;
};

// Where the status goes; "" when nowhere. Whole, as the working directory changes.
std::wstring statusFile;

std::string shown(const std::wstring& path) {
  return quoted(utf8(path));
}

// Returns what is wrong with the command line, or "".
std::string parseOptions(int argc, wchar_t** argv, Options* options) {
  std::set<std::wstring> given;
  int words = 0;  // but the status file's
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    std::wstring* value = arg == L"--plugin"        ? &options->plugin
                          : arg == L"--workdir"     ? &options->workdir
                          : arg == L"--status-file" ? &statusFile
                                                    : nullptr;
    const char* wrong = nullptr;
    words += value == &statusFile ? -1 : 1;
    if (arg == L"--print-default" || arg == L"--verbose" || arg == L"--colour") {
      (arg == L"--verbose"  ? session.verbose
       : arg == L"--colour" ? session.colour
                            : options->printDefault) = true;
    } else if (arg == L"--help" || arg == L"-h") {
      options->help = true;
    } else if (value != nullptr) {
      const bool hasValue = i + 1 < argc && argv[i + 1][0] != L'\0';
      wrong = !hasValue ? "needs a value" : !given.insert(arg).second ? "given twice" : nullptr;
      *value = wrong == nullptr ? argv[++i] : *value;
    } else if (arg.compare(0, 1, L"-") == 0) {
      wrong = "is not an option";
    } else {
      wrong = options->scenario.empty() ? nullptr : "is a second scenario; one at a time";
      options->scenario = arg;
    }
    if (wrong != nullptr) {
      return quoted(utf8(arg)) + " " + wrong + " (see --help)";
    }
  }
  return options->printDefault && words > 1 ? "--print-default takes no other words (see --help)"
                                            : "";
}

// Only a regular file is a scenario: a device would be read as one (NUL as empty, AUX or COM1
// waiting for bytes that never come), and Windows makes a device's name (NUL, AUX, COM1, with any
// extension, in any folder) into \\.\NAME when it makes a path whole.
std::string readScenario(const std::wstring& path, std::string* text) {
  if (fullPath(path).compare(0, 4, L"\\\\.\\") == 0) {
    return shown(path) +
           " is the name of a Windows device, not a file: name the scenario otherwise";
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return "cannot read the scenario " + shown(path);
  }
  const std::optional<std::string> read = readRegular(file, kMostScenarioBytes + 1);
  CloseHandle(file);
  *text = read.value_or("");
  return !read ? "the scenario " + shown(path) + " is not a regular file"
         : text->size() > kMostScenarioBytes
             ? "the scenario is more than " + std::to_string(kMostScenarioBytes >> 20) +
                   " MiB; a scenario is a short text file"
             : "";
}

int run(const Options& options) {
  if (options.help || options.printDefault) {
    std::string help =
        std::string(kUsage) + "\nScenario commands (see README.md):\n" + scenarioHelp();
    std::fputs(options.help ? help.c_str() : kDefaultScenario, stdout);
    return 0;
  }
  std::string text = options.scenario.empty() ? kDefaultScenario : "";
  std::string wrong = options.scenario.empty() ? "" : readScenario(options.scenario, &text);
  Scenario scenario;
  if (!wrong.empty() || !parseScenario(text, &scenario, &wrong)) {
    return refuse(wrong);
  }
  for (const std::string& warning : scenario.warnings) {
    std::fprintf(stderr, "quillmere-run: warning: %s\n", warning.c_str());
  }
  // Made whole before the working directory changes.
  const std::wstring plugin = fullPath(options.plugin);
  const DWORD attributes = GetFileAttributesW(plugin.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return refuse("no plug-in at " + shown(options.plugin));
  }
  if (!options.workdir.empty() && SetCurrentDirectoryW(options.workdir.c_str()) == 0) {
    return refuse("cannot work in " + shown(options.workdir));
  }
  return playSession(plugin, scenario.steps);
}

}  // namespace

// Through KERNEL32, not the C runtime, whose calls the wrappers see: the watchdog may call this
// while the plug-in's script holds the frame, whatever it holds.
void reportStatus(int status) {
  if (!statusFile.empty()) {
    writeWhole(statusFile, std::to_string(status) + "\n");
  }
}

// Wide, so that a path in any language reaches the file it names: the ANSI arguments would turn
// sΩ.scn into sO.scn, another file that may well exist.
int wmain(int argc, wchar_t** argv) {
  // LF line ends, as a terminal or a pipe on the Unix side expects.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // Ctrl-C, or SIGINT to the process group under Wine, ends the session in good order.
  SetConsoleCtrlHandler(interruptSession, TRUE);
  Options options;
  const std::string wrong = parseOptions(argc, argv, &options);
  statusFile = fullPath(statusFile);
  const int status = wrong.empty() ? run(options) : refuse(wrong);
  std::fflush(stdout);
  std::fflush(stderr);
  // The very last thing, once the plug-in is unloaded: a plug-in that ends the process itself
  // keeps the status from being written.
  reportStatus(status);
  return status;
}
