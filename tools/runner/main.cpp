// quillmere-run: loads a Quillmere.asi beside the stand-in host, in a working directory of its
// own, plays a scenario (the embedded default unless one is named) and tells what happened.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/runner/account.h"
#include "tools/runner/scenario.h"
#include "tools/runner/session.h"
#include "tools/runner/settings_file.h"
#include "tools/standin/standin.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmere-run [--verbose] [--colour] [--plugin PATH] [--workdir DIR] [--keep]\n"
    "                     [SCENARIO]\n"
    "       quillmere-run --print-default | --help\n"
    "Plays SCENARIO (by default the embedded one) with the plug-in at PATH (by default\n"
    "dist/Quillmere.asi, looked for upwards from this program's folder) loaded beside the\n"
    "stand-in host, in DIR (by default a fresh temporary directory, removed afterwards unless\n"
    "--keep; a DIR given is kept). --colour shows the notices' colour markup as terminal colours.\n"
    "Exit status: 0 all expectations met, 1 an expectation failed or the plug-in disagreed with\n"
    "the settings in effect, 2 the session could not run (a mistake in the scenario included).\n";

struct Options {
  bool printDefault = false;
  bool help = false;
  bool verbose = false;
  bool colour = false;
  bool keep = false;
  std::string plugin;
  std::string workdir;
  std::string scenario;
};

std::string fullPath(const std::string& path) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

bool isFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// dist\Quillmere.asi in this program's folder or the nearest folder above it that has one.
std::string findShippedPlugin() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string folder(self, length);
  for (int up = 0; up < 6; ++up) {
    size_t slash = folder.find_last_of("\\/");
    if (slash == std::string::npos) {
      break;
    }
    folder.resize(slash);
    for (const char* candidate : {"\\Quillmere.asi", "\\dist\\Quillmere.asi"}) {
      if (isFile(folder + candidate)) {
        return folder + candidate;
      }
    }
  }
  return "";
}

std::string freshTempDirectory() {
  char temp[MAX_PATH];
  DWORD length = GetTempPathA(sizeof temp, temp);
  std::string base = length > 0 ? std::string(temp, length) : ".\\";
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = base + "quillmere-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(attempt);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      return candidate;
    }
  }
  return "";
}

bool parseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--print-default") {
      options->printDefault = true;
    } else if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--verbose") {
      options->verbose = true;
    } else if (arg == "--colour") {
      options->colour = true;
    } else if (arg == "--keep") {
      options->keep = true;
    } else if (arg == "--plugin" && hasValue) {
      options->plugin = argv[++i];
    } else if (arg == "--workdir" && hasValue) {
      options->workdir = argv[++i];
    } else if (arg.compare(0, 2, "--") != 0 && options->scenario.empty()) {
      options->scenario = arg;
    } else {
      std::fprintf(stderr, "quillmere-run: %s %s\n",
                   arg.compare(0, 2, "--") != 0 ? "a second scenario:"
                                                : "unknown option or a value missing:",
                   quoted(arg).c_str());
      return false;
    }
  }
  return true;
}

// The scenario's text, or a message why there is none.
bool readScenario(const Options& options, std::string* text, std::string* name,
                  std::string* error) {
  if (options.scenario.empty()) {
    *text = kDefaultScenario;
    *name = "the embedded default";
    return true;
  }
  *name = fullPath(options.scenario);
  if (!readFileBytes(options.scenario.c_str(), text, kMostScenarioBytes)) {
    *error = "cannot read " + options.scenario;
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
void removeWorkdir(const std::string& workdir) {
  SetCurrentDirectoryA("..");
  DeleteFileA((workdir + "\\Quillmere.ini").c_str());
  RemoveDirectoryA((workdir + "\\Quillmere.ini").c_str());
  RemoveDirectoryA(workdir.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // LF line ends, as a terminal or a pipe on the Unix side expects.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  Options options;
  if (!parseOptions(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
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
  std::string plugin = options.plugin.empty() ? findShippedPlugin() : fullPath(options.plugin);
  if (plugin.empty() || !isFile(plugin)) {
    std::fprintf(stderr, "quillmere-run: no plug-in at %s\n",
                 plugin.empty() ? "dist\\Quillmere.asi" : plugin.c_str());
    return 2;
  }
  bool temporary = options.workdir.empty();
  std::string workdir = temporary ? freshTempDirectory() : fullPath(options.workdir);
  CreateDirectoryA(workdir.c_str(), nullptr);
  if (workdir.empty() || !SetCurrentDirectoryA(workdir.c_str())) {
    std::fprintf(stderr, "quillmere-run: cannot work in %s\n", workdir.c_str());
    return 2;
  }

  accountUseColour(options.colour);
  tellHeader(plugin, scenarioName, workdir);
  standinResetWorld();
  if (!standinLoadPlugin(plugin.c_str())) {
    std::fprintf(stderr, "quillmere-run: cannot load %s (error %lu)\n", plugin.c_str(),
                 GetLastError());
    return 2;
  }
  tellRegistrations("attach", 0);

  // Asked for rather than guessed from the console: Wine's console breaks escape sequences up, so
  // scripts/run-session.sh pipes the output and asks for colours when its own is a terminal.
  SessionResult result = playScenario(scenario.steps, SessionOptions{options.verbose});

  int32_t before = standinHostEventCount();
  standinUnloadPlugin();
  std::printf("\n");
  tellRegistrations("detach", before);
  if (temporary && !options.keep) {
    removeWorkdir(workdir);
  }
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
  std::fflush(stdout);
  return result.failed > 0 || result.disagreements > 0 ? 1 : 0;
}
