// quillmere-run: loads a Quillmere.asi beside the stand-in host, in a working directory of its
// own, plays a scenario (the embedded default unless one is named) and tells what happened.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runner/scenario.h"
#include "runner/session.h"
#include "standin/standin.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmere-run [--verbose] [--colour] [--plugin PATH] [--workdir DIR] [--keep]\n"
    "                     [SCENARIO]\n"
    "       quillmere-run --print-default\n"
    "Plays SCENARIO (by default the embedded one) with the plug-in at PATH (by default\n"
    "dist/Quillmere.asi, looked for upwards from this program's folder) loaded beside the\n"
    "stand-in host, in DIR (by default a fresh temporary directory, removed afterwards unless\n"
    "--keep). --colour shows the notices' colour markup as terminal colours.\n"
    "Exit status: 0 all expectations met, 1 some failed, 2 the session could not run.\n";

struct Options {
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

// What the host saw from index `from` on, as a line of the account.
void tellRegistrations(const char* moment, int32_t from) {
  std::string text;
  for (int32_t i = from; i < standinHostEventCount(); ++i) {
    StandinHostEvent event;
    standinHostEventAt(i, &event);
    const char* what = event.kind == kStandinScriptRegister     ? "script registered"
                       : event.kind == kStandinScriptUnregister ? "script unregistered"
                       : event.kind == kStandinKeyboardRegister ? "keyboard handler registered"
                                                                : "keyboard handler unregistered";
    text += std::string(text.empty() ? "" : ", then ") + what;
  }
  std::printf("  %-16s %s\n", moment,
              text.empty() ? "nothing registered or withdrawn" : text.c_str());
}

bool parseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--verbose") {
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
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // LF line ends, as a terminal or a pipe on the Unix side expects.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc == 2 && std::strcmp(argv[1], "--print-default") == 0) {
    std::fputs(kDefaultScenario, stdout);
    return 0;
  }
  Options options;
  if (!parseOptions(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  // Paths are made whole before the working directory changes.
  std::string text = kDefaultScenario;
  std::string scenarioName = "the embedded default";
  if (!options.scenario.empty()) {
    text.clear();
    scenarioName = fullPath(options.scenario);
    if (!readFileBytes(options.scenario.c_str(), &text)) {
      std::fprintf(stderr, "quillmere-run: cannot read %s\n", options.scenario.c_str());
      return 2;
    }
  }
  std::vector<Step> steps;
  std::string error;
  if (!parseScenario(text, &steps, &error)) {
    std::fprintf(stderr, "quillmere-run: %s: %s\n", scenarioName.c_str(), error.c_str());
    return 2;
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

  std::printf("Quillmere session\n  plug-in:  %s\n  scenario: %s\n  working directory: %s\n\n",
              plugin.c_str(), scenarioName.c_str(), workdir.c_str());
  standinResetWorld();
  if (!standinLoadPlugin(plugin.c_str())) {
    std::fprintf(stderr, "quillmere-run: cannot load %s (error %lu)\n", plugin.c_str(),
                 GetLastError());
    return 2;
  }
  tellRegistrations("attach", 0);

  // Asked for rather than guessed from the console: Wine's console breaks escape sequences up, so
  // scripts/run-session.sh pipes the output and asks for colours when its own is a terminal.
  SessionOptions session = {options.verbose, options.colour};
  int failures = playScenario(steps, session);

  int32_t before = standinHostEventCount();
  standinUnloadPlugin();
  std::printf("\n");
  tellRegistrations("detach", before);

  if (temporary && !options.keep) {
    SetCurrentDirectoryA("..");
    DeleteFileA((workdir + "\\Quillmere.ini").c_str());
    RemoveDirectoryA((workdir + "\\Quillmere.ini").c_str());
    RemoveDirectoryA(workdir.c_str());
  }
  if (failures > 0) {
    std::printf("%d expectation%s failed\n", failures, failures == 1 ? "" : "s");
  }
  std::fflush(stdout);
  return failures > 0 ? 1 : 0;
}
