// Playing a scenario: each step drives the stand-in host, and what the plug-in did in each frame
// is read back from the host's call log and told as a short account.
#include "runner/session.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "standin/standin.h"

namespace {

constexpr const char* kSettingsName = "Quillmere.ini";
constexpr uint64_t kGetGameTimer = 0x4F67E8ECA7D3F667;
constexpr uint64_t kSetPedConfigFlag = 0xC1E8A365BF3B29F2;
constexpr uint64_t kKeepHatOnFlag = 245;
// Listing every ped in the summary is useful only for a handful.
constexpr size_t kPedsListedOneByOne = 12;

// The content the plug-in must write into a missing settings file, written out here on its own
// so that the plug-in's copy is checked against it; CR LF is what the Windows C runtime's text
// mode turns each line end into.
constexpr const char kDefaultSettings[] =
    "# Thank you for downloading Quillmere!\r\n\r\n"
    "# You can change what key you want to use to toggle this script below.\r\n"
    "# Check the readme file that comes with this script for a list of available keys.\r\n"
    "# IMPORTANT: If the 'enabled' option below is set to false, the keybind will be disabled "
    "and the script will always remain active.\r\n"
    "# Please endorse this script on Ardentine and give me your kudos if you're enjoying it. It "
    "would mean a lot!\r\n"
    "# This config updates live. You don't need to restart your game for changes to apply!\r\n"
    "\r\n"
    "[Keybind]\r\n"
    "enabled=true\r\n"
    "toggle-key=VK_F3\r\n\r\n"
    "[Optional]\r\n"
    "# If set to true, the hats of all NPCs will be protected from getting knocked off, until "
    "they die and hit the ground. This may cause the game to softlock during some missions or "
    "events. Set to false by default.\r\n"
    "affect-all-peds=false";

struct Ped {
  int32_t handle;
  bool dead;
  bool removed;
};

// What the settings file looked like the last time we knew.
struct FileStamp {
  bool exists;
  bool directory;
  uint64_t size;
  uint64_t written;  // last-write time
};

// An edit the plug-in has not re-read yet.
struct PendingEdit {
  std::string text;
  int32_t gameTime;
};

struct Session {
  SessionOptions options;
  std::vector<Ped> peds;  // the player first
  int32_t player;
  int32_t lastAdded;
  int32_t framesRun;
  std::set<int32_t> protectedLast;  // in the latest frame
  std::map<int32_t, int64_t> protectCalls;
  // The stretch of frames not told yet: first and last frame, and who was protected in them.
  int32_t stretchFirst;
  int32_t stretchLast;
  std::string stretchWho;
  int32_t noticesTold;
  std::string lastNotice;
  FileStamp stamp;
  std::string lastWritten;  // what the scenario itself last put in the file
  bool scenarioWrote;
  int32_t pluginWrites;
  std::vector<PendingEdit> pending;
  HANDLE lock;
  int failures;
  int passed;
};

Session session;

// ---- Output ----------------------------------------------------------------------------------

// The game's inline markup: "~COLOR_RED~" starts a colour, "~s~" goes back to the normal text.
std::string render(const std::string& text) {
  static const std::map<std::string, const char*> colours = {
      {"COLOR_RED", "\x1b[31m"},  {"COLOR_GREEN", "\x1b[32m"}, {"COLOR_YELLOW", "\x1b[33m"},
      {"COLOR_BLUE", "\x1b[34m"}, {"COLOR_WHITE", "\x1b[37m"}, {"s", "\x1b[0m"},
  };
  std::string out;
  bool coloured = false;  // a colour is on and not yet reset
  size_t i = 0;
  while (i < text.size()) {
    size_t close = text[i] == '~' ? text.find('~', i + 1) : std::string::npos;
    if (close == std::string::npos) {
      out += text[i++];
      continue;
    }
    auto colour = colours.find(text.substr(i + 1, close - i - 1));
    if (session.options.colour && colour != colours.end()) {
      out += colour->second;
      coloured = colour->first != "s";
    }
    i = close + 1;
  }
  if (coloured) {
    out += "\x1b[0m";  // a colour left open must not run into the next line
  }
  return out;
}

std::string frameSpan(int32_t first, int32_t last) {
  return first == last ? "frame " + std::to_string(first)
                       : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

std::string seconds(int32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", ms / 1000.0);
  return text;
}

void flushStretch() {
  if (session.stretchFirst == 0) {
    return;
  }
  std::printf("  %-16s protected: %s\n",
              frameSpan(session.stretchFirst, session.stretchLast).c_str(),
              session.stretchWho.c_str());
  session.stretchFirst = 0;
}

// A line of the account at a scenario step: the frames before it are told first.
void tell(const std::string& text) {
  flushStretch();
  std::printf("  %s\n", text.c_str());
}

// A line about something the plug-in did in a frame. The frames before it are told first; the
// stretch this frame belongs to goes on and is told later.
void tellAtFrame(int32_t frame, const std::string& text) {
  if (session.stretchFirst != 0 && session.stretchFirst < frame) {
    std::string who = session.stretchWho;
    session.stretchLast = frame - 1;
    flushStretch();
    session.stretchFirst = frame;
    session.stretchLast = frame;
    session.stretchWho = who;
  }
  std::printf("  %-16s %s\n", frameSpan(frame, frame).c_str(), text.c_str());
}

void fail(const Step& step, const std::string& detail) {
  flushStretch();
  std::string words;
  for (const std::string& word : step.words) {
    words += " " + word;
  }
  std::printf("  FAILED line %d: %s%s: %s\n", step.line, step.command.c_str(), words.c_str(),
              detail.c_str());
  ++session.failures;
}

// ---- The world as the scenario made it -------------------------------------------------------

std::vector<int32_t> livingPeds() {
  std::vector<int32_t> living;
  for (const Ped& ped : session.peds) {
    if (!ped.dead && !ped.removed) {
      living.push_back(ped.handle);
    }
  }
  return living;
}

int deadPeds() {
  int dead = 0;
  for (const Ped& ped : session.peds) {
    dead += ped.dead && !ped.removed ? 1 : 0;
  }
  return dead;
}

Ped* findPed(const std::string& word) {
  int64_t handle = 0;
  if (word == "player") {
    handle = session.player;
  } else if (word == "last") {
    handle = session.lastAdded;
  } else {
    parseNumber(word, &handle);
  }
  for (Ped& ped : session.peds) {
    if (ped.handle == handle && !ped.removed) {
      return &ped;
    }
  }
  return nullptr;
}

std::string pedName(int32_t handle) {
  return handle == session.player ? "the player" : "ped " + std::to_string(handle);
}

std::string describeProtected(const std::set<int32_t>& peds) {
  if (peds.empty()) {
    return "nobody";
  }
  if (peds.size() == 1 && *peds.begin() == session.player) {
    return "the player";
  }
  std::vector<int32_t> living = livingPeds();
  if (peds == std::set<int32_t>(living.begin(), living.end())) {
    std::string text = "all " + std::to_string(living.size()) + " living peds";
    int dead = deadPeds();
    if (dead > 0) {
      text += " (" + std::to_string(dead) + (dead == 1 ? " dead one" : " dead ones") + " skipped)";
    }
    return text;
  }
  std::string text = std::to_string(peds.size()) + (peds.size() == 1 ? " ped:" : " peds:");
  size_t listed = 0;
  for (int32_t handle : peds) {
    if (++listed > 8) {
      return text + " ...";
    }
    text += " " + std::to_string(handle);
  }
  return text;
}

// ---- The settings file -----------------------------------------------------------------------

FileStamp stampFile() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(kSettingsName, GetFileExInfoStandard, &data)) {
    return {false, false, 0, 0};
  }
  return {
      true, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
      (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
      (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime};
}

bool sameStamp(const FileStamp& a, const FileStamp& b) {
  return a.exists == b.exists && a.directory == b.directory && a.size == b.size &&
         a.written == b.written;
}

bool writeSettings(const std::string& bytes) {
  std::FILE* file = std::fopen(kSettingsName, "wb");
  if (file == nullptr) {
    return false;
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  written = std::fclose(file) == 0 && written;
  if (written) {
    session.lastWritten = bytes;
    session.scenarioWrote = true;
  }
  session.stamp = stampFile();
  return written;
}

// The first line holding "KEY=" becomes "KEY=VALUE", keeping its line end.
std::string editedSettings(const std::string& bytes, const std::string& setting) {
  std::string key = setting.substr(0, setting.find('=') + 1);
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    size_t lineEnd = end == std::string::npos ? bytes.size() : end;
    if (lineEnd > start && bytes[lineEnd - 1] == '\r') {
      --lineEnd;
    }
    if (bytes.substr(start, lineEnd - start).find(key) != std::string::npos) {
      return bytes.substr(0, start) + setting + bytes.substr(lineEnd);
    }
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }
  std::string separator = bytes.empty() || bytes.back() == '\n' ? "" : "\r\n";
  return bytes + separator + setting + "\r\n";
}

void removeSettings() {
  FileStamp now = stampFile();
  if (now.directory) {
    RemoveDirectoryA(kSettingsName);
  } else if (now.exists) {
    DeleteFileA(kSettingsName);
  }
  session.stamp = stampFile();
}

// ---- Frames ----------------------------------------------------------------------------------

void tellNewNotices(int32_t frame) {
  int32_t count = standinNoticeCount();
  for (; session.noticesTold < count; ++session.noticesTold) {
    StandinNotice notice;
    standinNoticeAt(session.noticesTold, &notice);
    session.lastNotice = notice.message;
    tellAtFrame(frame, "notice: [" + render(notice.title) + "] " + render(notice.message));
  }
}

void tellFileChange(int32_t frame) {
  FileStamp now = stampFile();
  if (sameStamp(now, session.stamp)) {
    return;
  }
  bool created = !session.stamp.exists;
  session.stamp = now;
  ++session.pluginWrites;
  std::string bytes;
  std::string what = "Quillmere.ini ";
  what += created ? "created by the plug-in" : "rewritten by the plug-in";
  if (readFileBytes(kSettingsName, &bytes)) {
    what +=
        bytes == kDefaultSettings ? ": the default content" : ": content other than the default";
    what += " (" + std::to_string(bytes.size()) + " bytes)";
  }
  tellAtFrame(frame, what);
}

// Each pass of the plug-in's loop reads the game timer once, and once more after it re-read the
// settings file; the first frame holds the read at start.
void tellReload(int32_t frame, int timerReads) {
  bool reread = timerReads >= 2 || session.framesRun == 1;
  if (!reread || session.pending.empty()) {
    return;
  }
  std::string read = session.framesRun == 1 ? "settings read at start" : "settings re-read";
  FileStamp now = stampFile();
  if (session.lock != INVALID_HANDLE_VALUE || now.directory || !now.exists) {
    tellAtFrame(frame, read + " tried; the file could not be read");
    return;
  }
  int32_t gameTime = standinGameTime();
  for (const PendingEdit& edit : session.pending) {
    tellAtFrame(frame, read + ": picked up " + edit.text + " " + seconds(gameTime - edit.gameTime) +
                           " of game time after the edit");
  }
  session.pending.clear();
}

void runFrame() {
  standinClearCalls();
  standinRunFrames(1);
  ++session.framesRun;
  int32_t frame = standinFrameNumber();

  std::set<int32_t> protectedNow;
  int timerReads = 0;
  int natives = 0;
  int32_t count = standinCallCount();
  for (int32_t i = 0; i < count; ++i) {
    StandinCall call;
    standinCallAt(i, &call);
    if (call.kind != kStandinNative) {
      continue;
    }
    ++natives;
    if (call.hash == kGetGameTimer) {
      ++timerReads;
    } else if (call.hash == kSetPedConfigFlag && call.argCount == 3 &&
               call.args[1] == kKeepHatOnFlag && call.args[2] == 1) {
      auto ped = static_cast<int32_t>(static_cast<uint32_t>(call.args[0]));
      protectedNow.insert(ped);
      ++session.protectCalls[ped];
    }
  }
  session.protectedLast = protectedNow;

  std::string who = describeProtected(protectedNow);
  if (session.stretchFirst != 0 &&
      (who != session.stretchWho || frame != session.stretchLast + 1)) {
    flushStretch();
  }
  if (session.stretchFirst == 0) {
    session.stretchFirst = frame;
    session.stretchWho = who;
  }
  session.stretchLast = frame;

  if (session.options.verbose) {
    std::printf("    frame %d  game time %d ms  natives %d  protected: %s\n", frame,
                standinGameTime(), natives, who.c_str());
  }
  tellFileChange(frame);
  tellReload(frame, timerReads);
  tellNewNotices(frame);
}

// ---- Steps -----------------------------------------------------------------------------------

void keyStep(const Step& step) {
  uint32_t code = 0;
  parseKey(step.words[0], &code);
  // Through the window thread, as the game's window procedure reports keys.
  if (step.command != "release") {
    standinPostKeyEvent(code, 0);
  }
  if (step.command != "press") {
    standinPostKeyEvent(code, 1);
  }
  standinFlushKeyEvents();
  const char* done = step.command == "press"     ? "pressed"
                     : step.command == "release" ? "released"
                                                 : "pressed and released";
  tell(keyName(code) + " " + done);
}

void pedStep(const Step& step) {
  if (step.command == "add-peds") {
    int64_t count = 0;
    parseNumber(step.words[0], &count);
    bool dead = step.words.size() == 2;
    std::string handles;
    for (int64_t i = 0; i < count; ++i) {
      int32_t handle = standinAddPed(dead ? 0 : 1);
      session.peds.push_back({handle, dead, false});
      session.lastAdded = handle;
      if (i < 4) {
        handles += (i == 0 ? "" : ", ") + std::to_string(handle);
      }
    }
    tell("added " + std::to_string(count) + (dead ? " dead" : " living") +
         (count == 1 ? " ped (" : " peds (") + handles + (count > 4 ? ", ...)" : ")"));
    return;
  }
  Ped* ped = findPed(step.words[0]);
  if (ped == nullptr) {
    fail(step, "no such ped");
    return;
  }
  if (step.command == "remove-ped") {
    standinRemovePed(ped->handle);
    ped->removed = true;
    tell(pedName(ped->handle) + " removed from the world");
  } else {
    ped->dead = step.command == "kill-ped";
    standinSetPedDead(ped->handle, ped->dead ? 1 : 0);
    tell(pedName(ped->handle) + (ped->dead ? " killed" : " revived"));
  }
}

void settingsStep(const Step& step) {
  if (step.command == "write-settings") {
    if (!writeSettings(step.body)) {
      fail(step, "Quillmere.ini could not be written");
      return;
    }
    session.pending.push_back({"the new file", standinGameTime()});
    tell("Quillmere.ini written (" + std::to_string(step.body.size()) + " bytes)");
  } else if (step.command == "edit-settings") {
    std::string bytes;
    if (!readFileBytes(kSettingsName, &bytes) ||
        !writeSettings(editedSettings(bytes, step.words[0]))) {
      fail(step, "Quillmere.ini could not be edited");
      return;
    }
    session.pending.push_back({step.words[0], standinGameTime()});
    tell("Quillmere.ini edited: " + step.words[0]);
  } else if (step.command == "delete-settings") {
    removeSettings();
    tell("Quillmere.ini deleted");
  } else if (step.command == "settings-directory") {
    removeSettings();
    CreateDirectoryA(kSettingsName, nullptr);
    session.stamp = stampFile();
    tell("Quillmere.ini is now a directory");
  } else if (step.command == "lock-settings" || step.command == "deny-reading-settings") {
    // Share mode 0: nobody else may open the file until we close it. Sharing writes only: reading
    // it fails, yet a careless writer could still open it and empty it.
    bool writesShared = step.command == "deny-reading-settings";
    if (session.lock == INVALID_HANDLE_VALUE) {
      session.lock = CreateFileA(kSettingsName, GENERIC_READ | GENERIC_WRITE,
                                 writesShared ? FILE_SHARE_WRITE : 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (session.lock == INVALID_HANDLE_VALUE) {
      fail(step, "Quillmere.ini could not be opened");
      return;
    }
    tell(writesShared ? "Quillmere.ini held open, shared for writing only"
                      : "Quillmere.ini held open with no sharing");
  } else if (step.command == "unlock-settings") {
    if (session.lock != INVALID_HANDLE_VALUE) {
      CloseHandle(session.lock);
      session.lock = INVALID_HANDLE_VALUE;
    }
    tell("Quillmere.ini released");
  }
}

// Reads the file even while this session holds it without sharing: through that very handle.
bool currentSettings(std::string* bytes) {
  if (session.lock == INVALID_HANDLE_VALUE) {
    return readFileBytes(kSettingsName, bytes);
  }
  bytes->clear();
  SetFilePointer(session.lock, 0, nullptr, FILE_BEGIN);
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(session.lock, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    bytes->append(chunk, got);
  }
  return true;
}

void expectStep(const Step& step) {
  const std::string& what = step.words[0];
  const std::string& value = step.words[1];
  int64_t number = 0;
  parseNumber(value, &number);
  std::string saw;
  bool holds = false;
  if (what == "notices") {
    holds = standinNoticeCount() == number;
    saw = std::to_string(standinNoticeCount());
  } else if (what == "file-writes") {
    holds = session.pluginWrites == number;
    saw = std::to_string(session.pluginWrites);
  } else if (what == "last-notice") {
    holds = standinNoticeCount() > 0 && session.lastNotice == value;
    saw = standinNoticeCount() > 0 ? "\"" + session.lastNotice + "\"" : "no notice";
  } else if (what == "protected") {
    std::vector<int32_t> living = livingPeds();
    const std::set<int32_t>& last = session.protectedLast;
    if (value == "player") {
      holds = last == std::set<int32_t>{session.player};
    } else if (value == "nobody") {
      holds = last.empty();
    } else if (value == "all-living") {
      holds = last == std::set<int32_t>(living.begin(), living.end());
    } else {
      holds = static_cast<int64_t>(last.size()) == number;
    }
    saw = describeProtected(last);
  } else if (what == "settings-file") {
    FileStamp now = stampFile();
    std::string bytes;
    bool readable = now.exists && !now.directory && currentSettings(&bytes);
    if (value == "missing") {
      holds = !now.exists;
    } else if (value == "default") {
      holds = readable && bytes == kDefaultSettings;
    } else {
      holds = session.scenarioWrote && readable && bytes == session.lastWritten;
    }
    saw = !now.exists                 ? "missing"
          : now.directory             ? "a directory"
          : !readable                 ? "unreadable"
          : bytes == kDefaultSettings ? "the default content"
                                      : std::to_string(bytes.size()) + " bytes of other content";
  }
  if (!holds) {
    fail(step, "saw " + saw);
    return;
  }
  ++session.passed;
  if (session.options.verbose) {
    std::printf("    ok: line %d\n", step.line);
  }
}

void playStep(const Step& step) {
  const std::string& command = step.command;
  int64_t number = 0;
  if (!step.words.empty()) {
    parseNumber(step.words[0], &number);
  }
  if (command == "frames") {
    for (int64_t i = 0; i < number; ++i) {
      runFrame();
    }
  } else if (command == "frame-ms") {
    standinSetFrameMs(static_cast<int32_t>(number));
    tell("each frame now " + std::to_string(number) + " ms of game time");
  } else if (command == "advance-game-time") {
    standinSetGameTime(standinGameTime() + static_cast<int32_t>(number));
    tell("game time moved on " + seconds(static_cast<int32_t>(number)) + " to " +
         seconds(standinGameTime()));
  } else if (command == "sleep") {
    Sleep(static_cast<DWORD>(number));
    tell(std::to_string(number) + " ms of real time passed");
  } else if (command == "press" || command == "release" || command == "tap") {
    keyStep(step);
  } else if (command == "add-peds" || command == "kill-ped" || command == "revive-ped" ||
             command == "remove-ped") {
    pedStep(step);
  } else if (command == "expect") {
    expectStep(step);
  } else {
    settingsStep(step);
  }
}

void tellSummary() {
  flushStretch();
  std::printf("\nsummary\n");
  std::printf("  frames: %d (%s of game time)\n", session.framesRun,
              seconds(standinGameTime()).c_str());
  std::string calls;
  int64_t othersLow = INT64_MAX;
  int64_t othersHigh = 0;
  for (const Ped& ped : session.peds) {
    int64_t made = session.protectCalls.count(ped.handle) ? session.protectCalls[ped.handle] : 0;
    if (session.peds.size() <= kPedsListedOneByOne || ped.handle == session.player) {
      calls += "\n    " + pedName(ped.handle) + (ped.dead ? " (dead)" : "") +
               (ped.removed ? " (removed)" : "") + ": " + std::to_string(made);
    } else {
      othersLow = std::min(othersLow, made);
      othersHigh = std::max(othersHigh, made);
    }
  }
  if (session.peds.size() > kPedsListedOneByOne) {
    calls += "\n    " + std::to_string(session.peds.size() - 1) +
             " other peds: " + std::to_string(othersLow) + " to " + std::to_string(othersHigh) +
             " each";
  }
  std::printf("  protection calls per ped:%s\n", calls.c_str());
  std::printf("  notices: %d\n", standinNoticeCount());
  std::printf("  settings file writes by the plug-in: %d\n", session.pluginWrites);
  std::printf("  expectations: %d met, %d failed\n", session.passed, session.failures);
}

}  // namespace

int playScenario(const std::vector<Step>& steps, const SessionOptions& options) {
  session.options = options;
  session.lock = INVALID_HANDLE_VALUE;
  session.player = standinPlayerPed();
  session.peds.push_back({session.player, false, false});
  session.lastAdded = session.player;
  session.stamp = stampFile();
  for (const Step& step : steps) {
    playStep(step);
  }
  tellSummary();
  if (session.lock != INVALID_HANDLE_VALUE) {
    CloseHandle(session.lock);
  }
  return session.failures;
}

bool readFileBytes(const char* path, std::string* bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    return false;
  }
  bytes->clear();
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes->append(chunk, got);
  }
  std::fclose(file);
  return true;
}
