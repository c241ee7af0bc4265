// quillmere-run: plays a scenario against a Quillmere.asi loaded beside the stand-in host, and
// tells what it saw: the notices, who was protected, and the settings file before and after every
// frame and step. Only the plug-in runs during a frame, so a change seen across one was made then.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

#include "config/default_settings.h"
#include "config/settings_reader.h"
#include "tools/runner/scenario.h"
#include "tools/standin/standin.h"

namespace {

constexpr int kAllMet = 0, kFailed = 1, kCannotRun = 2, kInterrupted = 130;

// The most of the settings file the runner reads: what a load of the plug-in reads, and one more.
constexpr size_t kKeptBytes = kSettingsReadLimit + 1;
const wchar_t* const kSettingsName = L"Quillmere.ini";

struct FileView {  // the settings file at one moment
  bool exists = false, directory = false, readable = false;
  uint64_t size = 0;
  std::string bytes;  // the first kKeptBytes, when readable
};

bool same(const FileView& a, const FileView& b) {
  return std::tie(a.exists, a.directory, a.readable, a.size, a.bytes) ==
         std::tie(b.exists, b.directory, b.readable, b.size, b.bytes);
}

std::wstring statusFile;            // where the status goes; "" when nowhere
std::set<int32_t> inWorld, living;  // the world's peds, and those of them alive
int32_t player = 0, lastAdded = 0;
std::set<int32_t> protectedLast;  // in the latest frame
int32_t noticesTold = 0;
std::string lastNotice;
HANDLE heldFile = INVALID_HANDLE_VALUE;  // by lock-settings or deny-reading-settings
FileView file;                           // as last seen
std::optional<FileView> written;         // as the scenario's last write left it
std::string changedSince;                // where a change was first seen since that write
int fileWrites = 0;                      // changes seen while the plug-in ran
int met = 0, failed = 0;                 // expectations

std::atomic<bool> interrupted{false};
HANDLE wakeUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // ends a sleep step early
std::atomic<int32_t> frameWatched{0};                         // the frame the script holds
std::atomic<uint64_t> frameSince{0};                          // since when; 0: none

std::string utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                          static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

std::wstring fullPath(const std::wstring& path) {
  std::wstring full(32768, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), 32768, full.data(), nullptr));
  return full.empty() ? path : full;
}

int refuse(const std::string& why) {
  std::fflush(stdout);
  std::fprintf(stderr, "quillmere-run: %s\n", why.c_str());
  std::fflush(stderr);
  return kCannotRun;
}

// Through KERNEL32: the watchdog may call this while the plug-in's script holds the C runtime.
void reportStatus(int status) {
  HANDLE out = statusFile.empty() ? INVALID_HANDLE_VALUE
                                  : CreateFileW(statusFile.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    const std::string line = std::to_string(status) + "\n";
    DWORD done = 0;
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &done, nullptr);
    CloseHandle(out);
  }
}

// A plug-in whose script never gives control back holds the runner's only thread. The process is
// ended outright: a normal exit would run the plug-in's detach while its script holds the frame.
DWORD WINAPI watchdog(void* /*unused*/) {
  for (;; Sleep(100)) {
    const uint64_t since = frameSince;
    if (since != 0 && GetTickCount64() - since > 10000) {
      refuse("frame " + std::to_string(frameWatched) +
             ": the plug-in's script did not give control back within 10 s of real time; the "
             "session is ended");
      reportStatus(kCannotRun);
      TerminateProcess(GetCurrentProcess(), kCannotRun);
    }
  }
}

BOOL WINAPI interruptSession(DWORD /*event*/) {
  interrupted = true;
  SetEvent(wakeUp);
  return TRUE;
}

// Frames are told in stretches with the same protection; anything else told at a frame ends the
// stretch there. Each line is flushed at once, so a long session shows how far it has come.

int32_t stretchFirst = 0, stretchLast = 0;  // the frames not told yet; 0: none
std::string stretchWho;

void tellAt(const std::string& where, const std::string& text) {
  std::printf("  %-16s %s\n", where.c_str(), text.c_str());
  std::fflush(stdout);
}

void flushStretch() {
  if (stretchFirst != 0) {
    tellAt(stretchFirst == stretchLast
               ? "frame " + std::to_string(stretchFirst)
               : "frames " + std::to_string(stretchFirst) + "-" + std::to_string(stretchLast),
           "protected: " + stretchWho);
    stretchFirst = 0;
  }
}

void tellStep(const std::string& text) {
  flushStretch();
  std::printf("  %s\n", text.c_str());
  std::fflush(stdout);
}

void tellAtFrame(int32_t frame, const std::string& text) {
  flushStretch();
  tellAt("frame " + std::to_string(frame), text);
}

// What the player reads: the game's inline markup ("~COLOR_RED~", "~s~") only colours the text.
std::string withoutMarkup(std::string text) {
  for (size_t open = text.find('~'); open != std::string::npos; open = text.find('~')) {
    const size_t close = text.find('~', open + 1);
    text.erase(open, close == std::string::npos ? 1 : close - open + 1);
  }
  return text;
}

// "nobody", "the player", "all 3 living peds", "2 peds (3 living)".
std::string describeProtected(const std::set<int32_t>& who) {
  if (who.empty() || who == std::set<int32_t>{player}) {
    return who.empty() ? "nobody" : "the player";
  }
  return who == living
             ? "all " + std::to_string(who.size()) + " living peds"
             : std::to_string(who.size()) + " peds (" + std::to_string(living.size()) + " living)";
}

std::string defaultFile() {
  std::string text;
  for (const char* literal : kDefaultContent) {
    for (const char* c = literal; *c != '\0'; ++c) {
      text += *c == '\n' ? "\r\n" : std::string(1, *c);
    }
  }
  return text;
}

FileView viewSettings() {
  FileView view;
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  const bool known = GetFileAttributesExW(kSettingsName, GetFileExInfoStandard, &data) != 0;
  HANDLE in = heldFile != INVALID_HANDLE_VALUE
                  ? heldFile
                  : CreateFileW(kSettingsName, GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  // Wine gives no attributes for a link to a device (/dev/zero), which opens all the same.
  view.exists = known || in != INVALID_HANDLE_VALUE;
  view.directory = known && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  view.size = known ? (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow : 0;
  // A pipe or a device in its place might never end, or never answer.
  view.readable = in != INVALID_HANDLE_VALUE && GetFileType(in) == FILE_TYPE_DISK;
  if (view.readable) {
    view.bytes.resize(kKeptBytes);
    SetFilePointer(in, 0, nullptr, FILE_BEGIN);
    size_t have = 0;
    for (DWORD got = 0; have < kKeptBytes &&
                        ReadFile(in, &view.bytes[have], static_cast<DWORD>(kKeptBytes - have), &got,
                                 nullptr) != 0 &&
                        got > 0;) {
      have += got;
    }
    view.bytes.resize(have);
  }
  if (in != heldFile && in != INVALID_HANDLE_VALUE) {
    CloseHandle(in);
  }
  return view;
}

std::string describeFile(const FileView& now) {
  return !now.exists                  ? "missing"
         : now.directory              ? "a directory"
         : !now.readable              ? "unreadable"
         : now.bytes == defaultFile() ? "the default content"
                                      : std::to_string(now.size) + " bytes of other content";
}

// After the plug-in ran (loading, a frame, unloading), or a step other than the scenario's own
// change to the file: a change seen is told and remembered.
void lookAtFile(const std::string& when, bool pluginRan, int32_t frame = 0) {
  const FileView now = viewSettings();
  if (!same(now, file)) {
    const std::string text = std::string("Quillmere.ini ") +
                             (!file.exists  ? "created"
                              : !now.exists ? "removed"
                                            : "changed") +
                             " " + (frame > 0 ? "during this frame" : when) + " (now " +
                             describeFile(now) + ")";
    frame > 0 ? tellAtFrame(frame, text) : tellStep(text);
    fileWrites += pluginRan ? 1 : 0;
    changedSince = changedSince.empty() ? when : changedSince;
  }
  file = now;
}

// Creates or empties the file and writes `bytes`; "" or why it did not hold.
std::string writeSettingsFile(const std::string& bytes) {
  HANDLE out = heldFile != INVALID_HANDLE_VALUE
                   ? INVALID_HANDLE_VALUE
                   : CreateFileW(kSettingsName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    return "Quillmere.ini cannot be opened for writing";
  }
  DWORD done = 0;
  const bool whole =
      WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) != 0 &&
      done == bytes.size();
  CloseHandle(out);
  // Read back: a disk that fills while it is written may leave less than was said to be taken.
  const FileView now = viewSettings();
  if (!whole || now.size != bytes.size() || now.bytes != bytes.substr(0, kKeptBytes)) {
    return "Quillmere.ini could not be written whole";
  }
  written = now;
  changedSince.clear();
  return "";
}

// The first line holding "KEY=" becomes `setting`, its line end kept; with none, it is appended.
std::string editSettingsFile(const std::string& setting) {
  const std::string& bytes = file.bytes;
  if (!file.readable || bytes.size() != file.size || file.size >= kKeptBytes) {
    return "Quillmere.ini is " + describeFile(file) + ", not a settings file to edit";
  }
  const size_t at = bytes.find(setting.substr(0, setting.find('=') + 1));
  if (at == std::string::npos) {
    return writeSettingsFile(bytes + (bytes.empty() || bytes.back() == '\n' ? "" : "\r\n") +
                             setting + "\r\n");
  }
  const size_t start = bytes.rfind('\n', at) + 1;  // 0 on the first line
  size_t end = std::min(bytes.find('\n', at), bytes.size());
  end -= bytes[end - 1] == '\r' ? 1 : 0;
  return writeSettingsFile(bytes.substr(0, start) + setting + bytes.substr(end));
}

std::string deleteSettingsFile() {
  if (file.exists && heldFile == INVALID_HANDLE_VALUE) {
    file.directory ? RemoveDirectoryW(kSettingsName) : DeleteFileW(kSettingsName);
  }
  return viewSettings().exists ? "Quillmere.ini cannot be removed" : "";
}

// Share mode 0: nobody else may open the file until it is let go of. Sharing writes only: reading
// it fails, yet a careless writer could still open it and empty it.
std::string holdSettings(DWORD share) {
  if (heldFile == INVALID_HANDLE_VALUE) {
    heldFile = CreateFileW(kSettingsName, GENERIC_READ | GENERIC_WRITE, share, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return heldFile != INVALID_HANDLE_VALUE ? "" : "Quillmere.ini cannot be held open";
}

std::string releaseSettings() {
  if (heldFile != INVALID_HANDLE_VALUE) {
    CloseHandle(std::exchange(heldFile, INVALID_HANDLE_VALUE));
  }
  return "";
}

void runFrame() {
  standinClearCalls();
  frameWatched = standinFrameNumber() + 1;
  frameSince = GetTickCount64();
  standinRunFrames(1);
  frameSince = 0;
  const int32_t frame = standinFrameNumber();
  protectedLast.clear();
  for (int32_t i = 0; i < standinCallCount(); ++i) {
    StandinCall call = {};
    standinCallAt(i, &call);
    if (call.kind == kStandinNative && call.hash == hashes::kSetPedResetFlag &&
        call.argCount == 3 && call.args[1] == kStandinHatFlag && call.args[2] == 1) {
      protectedLast.insert(static_cast<int32_t>(static_cast<uint32_t>(call.args[0])));
    }
  }
  const std::string who = describeProtected(protectedLast);
  if (stretchFirst != 0 && who != stretchWho) {
    flushStretch();
  }
  stretchFirst = stretchFirst != 0 ? stretchFirst : frame;
  stretchLast = frame;
  stretchWho = who;
  for (; noticesTold < standinNoticeCount(); ++noticesTold) {
    StandinNotice notice = {};
    standinNoticeAt(noticesTold, &notice);
    lastNotice = notice.message;
    tellAtFrame(frame,
                "notice: [" + withoutMarkup(notice.title) + "] " + withoutMarkup(lastNotice));
  }
  lookAtFile("during frame " + std::to_string(frame), true, frame);
}

std::string pedStep(const Step& step) {
  const int32_t handle = step.word == "player" ? player
                         : step.word == "last" ? lastAdded
                                               : static_cast<int32_t>(step.number);
  if (inWorld.count(handle) == 0) {
    return "no such ped in the world (the player is " + std::to_string(player) + ")";
  }
  living.erase(handle);
  if (step.command == Command::kRevivePed) {
    living.insert(handle);
  }
  if (step.command == Command::kRemovePed) {
    inWorld.erase(handle);
    standinRemovePed(handle);
  } else {
    standinSetPedDead(handle, step.command == Command::kKillPed ? 1 : 0);
  }
  return "";
}

std::string expect(const Step& step, bool holds, const std::string& saw) {
  met += holds ? 1 : 0;
  failed += holds ? 0 : 1;
  if (!holds) {
    tellStep("FAILED line " + std::to_string(step.line) + ": " + step.written + ": saw " + saw);
  }
  return "";
}

// "" when the step was carried out, or why it could not be.
std::string playStep(const Step& step) {
  const int64_t n = step.number;
  const std::set<int32_t>& last = protectedLast;
  switch (step.command) {
    case Command::kFrames:
      for (int64_t i = 0; i < n && !interrupted; ++i) {
        runFrame();
      }
      return "";
    case Command::kFrameMs:
      standinSetFrameMs(static_cast<int32_t>(n));
      return "";
    case Command::kAdvanceGameTime:
      standinSetGameTime(static_cast<int32_t>(static_cast<uint32_t>(standinGameTime()) +
                                              static_cast<uint32_t>(n)));
      return "";
    case Command::kSleep:
      WaitForSingleObject(wakeUp, static_cast<DWORD>(n));
      return "";
    case Command::kPress:
    case Command::kRelease:
    case Command::kTap:
      // Through the window thread, as the game's window procedure reports keys.
      if (step.command != Command::kRelease) {
        standinPostKeyEvent(static_cast<uint32_t>(n), 0);
      }
      if (step.command != Command::kPress) {
        standinPostKeyEvent(static_cast<uint32_t>(n), 1);
      }
      standinFlushKeyEvents();
      return "";
    case Command::kAddPeds:
      for (int64_t i = 0; i < n; ++i) {
        lastAdded = standinAddPed(step.word == "dead" ? 0 : 1);
        inWorld.insert(lastAdded);
        if (step.word != "dead") {
          living.insert(lastAdded);
        }
      }
      return "";
    case Command::kKillPed:
    case Command::kRevivePed:
    case Command::kRemovePed:
      return pedStep(step);
    case Command::kWriteSettings:
      return writeSettingsFile(step.text);
    case Command::kEditSettings:
      return editSettingsFile(step.text);
    case Command::kDeleteSettings:
      return deleteSettingsFile();
    case Command::kSettingsDirectory:
      return !deleteSettingsFile().empty() || CreateDirectoryW(kSettingsName, nullptr) == 0
                 ? "a directory Quillmere.ini cannot be made"
                 : "";
    case Command::kLockSettings:
    case Command::kDenyReadingSettings:
      return holdSettings(step.command == Command::kLockSettings ? 0 : FILE_SHARE_WRITE);
    case Command::kUnlockSettings:
      return releaseSettings();
    case Command::kExpectNotices:
      return expect(step, standinNoticeCount() == n, std::to_string(standinNoticeCount()));
    case Command::kExpectLastNotice:
      return expect(step, standinNoticeCount() > 0 && lastNotice == step.text,
                    standinNoticeCount() > 0 ? quoted(lastNotice) : "no notice");
    case Command::kExpectProtected:
      return expect(step,
                    step.word == "player"       ? last == std::set<int32_t>{player}
                    : step.word == "nobody"     ? last.empty()
                    : step.word == "all-living" ? last == living
                                                : static_cast<int64_t>(last.size()) == n,
                    describeProtected(last));
    case Command::kExpectSettingsFile:
      return expect(step,
                    step.word == "missing" ? !file.exists
                    : step.word == "default"
                        ? file.readable && file.bytes == defaultFile()
                        : written && changedSince.empty() && same(*written, file),
                    step.word == "unchanged" && !changedSince.empty() ? "changed " + changedSince
                                                                      : describeFile(file));
    case Command::kExpectFileWrites:
      return expect(step, fileWrites == n, std::to_string(fileWrites));
  }
  return "";
}

int playSession(const std::wstring& plugin, const std::vector<Step>& steps) {
  standinResetWorld();
  CloseHandle(CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr));
  file = viewSettings();
  if (standinLoadPlugin(utf8(plugin).c_str()) == 0) {
    return refuse("cannot load the plug-in (error " + std::to_string(GetLastError()) + ")");
  }
  lookAtFile("while the plug-in loaded", true);
  if (standinScriptRegistered() == 0) {
    standinUnloadPlugin();
    return refuse("the plug-in registered no script when loaded: it is not a plug-in of this host");
  }
  player = lastAdded = standinPlayerPed();
  inWorld = living = {player};
  std::string mistake;  // the step that could not be carried out, naming its line
  for (size_t i = 0; i < steps.size() && mistake.empty() && !interrupted; ++i) {
    const Step& step = steps[i];
    if (step.command != Command::kFrames && step.command < Command::kExpectNotices) {
      tellStep(step.written);
    }
    const std::string wrong = playStep(step);
    mistake = wrong.empty()
                  ? ""
                  : "line " + std::to_string(step.line) + ": " + step.written + ": " + wrong;
    // A file step's change is the scenario's own, told as the step rather than as a change seen.
    if (step.command >= Command::kWriteSettings && step.command <= Command::kUnlockSettings) {
      file = viewSettings();
    } else {
      lookAtFile("while line " + std::to_string(step.line) + " ran, outside any frame", false);
    }
  }
  flushStretch();
  releaseSettings();
  standinUnloadPlugin();
  lookAtFile("while the plug-in unloaded", true);
  if (interrupted || !mistake.empty()) {
    refuse(interrupted ? "interrupted; the session is ended" : mistake);
    return interrupted ? kInterrupted : kCannotRun;
  }
  std::printf(
      "\nsummary\n  frames: %d (%d ms of game time)\n  notices: %d\n"
      "  settings file changes seen while the plug-in ran: %d\n  expectations: %d met, %d failed\n",
      standinFrameNumber(), standinGameTime(), standinNoticeCount(), fileWrites, met, failed);
  return failed > 0 ? kFailed : kAllMet;
}

constexpr const char* kUsage =
    "usage: quillmere-run [--plugin PATH] [--workdir DIR] [--status-file FILE] [SCENARIO]\n"
    "Exit status (also in FILE): 0 all met, 1 one failed, 2 could not run, 130 interrupted.\n";

int run(int argc, wchar_t** argv) {
  std::wstring plugin = L"Quillmere.asi", workdir, scenario;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    std::wstring* value = arg == L"--plugin"        ? &plugin
                          : arg == L"--workdir"     ? &workdir
                          : arg == L"--status-file" ? &statusFile
                                                    : nullptr;
    if (arg == L"--help") {
      std::fputs(kUsage, stdout);
      return kAllMet;
    }
    if (value != nullptr && i + 1 < argc && argv[i + 1][0] != L'\0') {
      *value = value == &statusFile ? fullPath(argv[++i]) : argv[++i];
    } else if (value != nullptr || arg.compare(0, 1, L"-") == 0 || !scenario.empty()) {
      return refuse(quoted(utf8(arg)) + (value != nullptr ? " needs a value" : " is not wanted") +
                    " (see --help)");
    } else {
      scenario = arg;
    }
  }
  // Only a regular file is a scenario: a device would be read as one, or never end.
  std::FILE* in = scenario.empty() ? nullptr : _wfopen(scenario.c_str(), L"rb");
  const bool regular =
      in != nullptr &&
      GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)))) == FILE_TYPE_DISK;
  std::string text(regular ? kMostScenarioBytes + 1 : 0, '\0');
  text.resize(regular ? std::fread(text.data(), 1, text.size(), in) : 0);
  if (in != nullptr) {
    std::fclose(in);
  }
  std::string wrong = !scenario.empty() && (!regular || text.size() > kMostScenarioBytes)
                          ? "cannot read the scenario " + quoted(utf8(scenario)) +
                                " as a regular file of at most 16 MiB"
                          : "";
  std::vector<Step> steps;
  if (!wrong.empty() ||
      !parseScenario(scenario.empty() ? kDefaultScenario : text, &steps, &wrong)) {
    return refuse(wrong);
  }
  plugin = fullPath(plugin);  // before the working directory changes
  if (!workdir.empty() && SetCurrentDirectoryW(workdir.c_str()) == 0) {
    return refuse("cannot work in " + quoted(utf8(workdir)));
  }
  return playSession(plugin, steps);
}

}  // namespace

// Wide, so that a path in any language reaches the file it names: the ANSI arguments would turn
// sΩ.scn into sO.scn, another file that may well exist.
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // LF line ends, as the Unix side expects
  _setmode(_fileno(stderr), _O_BINARY);
  // Ctrl-C, or SIGINT to the process group under Wine, ends the session in good order.
  SetConsoleCtrlHandler(interruptSession, TRUE);
  const int status = run(argc, argv);
  std::fflush(stdout);
  std::fflush(stderr);
  // The very last thing: a plug-in that ends the process itself keeps the status from being
  // written.
  reportStatus(status);
  return status;
}
