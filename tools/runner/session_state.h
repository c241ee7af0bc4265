// What the parts of the runner share. main.cpp reads the command line, session.cpp plays the steps,
// frame.cpp runs and judges each frame, account.cpp tells them, settings_file.cpp does the runner's
// own file work, watch.cpp sees the plug-in's calls on the settings file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "config/settings_file.h"
#include "tests/settings_model.h"
#include "tools/runner/scenario.h"

// The most of the settings file the runner reads: what the plug-in reads, and one byte more to
// learn that more exists.
constexpr size_t kKeptBytes = model::kReadLimit + 1;

// What the settings file held at one moment: its first bytes, when readable.
struct FileView {
  bool exists = false, directory = false, readable = false;
  std::string bytes;
};

struct Ped {
  int32_t handle;
  bool dead, removed;
};

// A key's latest event as the plug-in records it, with the runner's clock around its delivery.
struct KeyEvent {
  bool up;
  uint32_t postedAt;     // before it was posted
  uint32_t deliveredAt;  // once it had been delivered
};

// A change the scenario made to the settings file that the plug-in has not read yet.
struct Edit {
  std::string text;
  int32_t gameTime;
};

// How a write-settings step is named among the edits.
constexpr const char* kNewFile = "the new file";

// A read of the settings file by the plug-in, from open to close.
struct PluginRead {
  std::optional<std::string> bytes;  // what its reads returned; none when it could not open
  bool missing = false;              // for want of a file
};

struct PedWorld {
  bool playerPresent;        // not removed from the world
  std::set<int32_t> living;  // living peds still in the world, the player among them if so
  size_t pedsInWorld;        // dead ones too
};

struct Session {
  bool verbose = false;   // a line for every frame and every expectation met
  bool colour = false;    // the notices' colour markup shown as terminal colours
  std::vector<Ped> peds;  // the player first
  int32_t player = 0;
  int32_t lastAdded = 0;
  int32_t framesRun = 0;
  std::set<int32_t> protectedLast;  // in the latest frame
  std::map<int32_t, int64_t> protectCalls;
  int32_t noticesTold = 0;
  std::string lastNotice;
  FileView file;  // as last seen, by the runner or through the plug-in's calls
  int32_t pluginWrites = 0;
  std::vector<std::string> changes;     // to the file, noted and not told yet
  std::vector<PluginRead> reads;        // of the file, in the frame
  Settings settings{};                  // what the plug-in should be going by, as last read
  bool active = true;                   // protection on or off, as the notices say
  std::vector<Edit> edits;              // the scenario's, not read yet
  std::optional<std::string> lastRead;  // what the latest read saw; none when it could not read
  bool pluginMade = false;              // the plug-in changed the file since its last read
  std::map<uint32_t, KeyEvent> keys;
  std::string disagreement;  // the one told last, while it lasts
  int met = 0;
  int failed = 0;         // expectations not met
  int disagreements = 0;  // times the plug-in did other than the settings in effect mean
  std::string mistake;    // the step that could not be carried out, naming its line; "" if none
};

extern Session session;

// ---- account.cpp: the account, the world as the scenario made it, remarks on settings lines ----

void tellLines(const std::string& text);
void tellStep(const std::string& text);
void tellProtected(int32_t frame, const std::string& who);
void tellAtFrame(int32_t frame, const std::string& text);
void tellDetail(const std::string& text);
std::string renderNotice(const std::string& text);
void tellRegistrations(const char* moment, int32_t from);
std::string seconds(int32_t ms);  // "3.09 s"

PedWorld world();
std::string pedName(int32_t handle);
// "the player", "all 3 living peds (2 dead ones skipped)", "2 peds: 8708 8967"; with `counted`
// only, "2 peds".
std::string describeProtected(const std::set<int32_t>& peds, bool counted = false);

// "settings line N: ..." for each line that does not read as it seems; past eight, only a count.
std::vector<std::string> remarksOn(const std::string& bytes);

// ---- settings_file.cpp: each change returns "" or why it was not made or did not hold -----------

// The first `most` bytes of an open file from its start; none when it is not a regular file.
std::optional<std::string> readRegular(HANDLE file, size_t most);
// Creates or empties the file at `path` and writes `bytes`; false when it cannot be opened.
bool writeWhole(const std::wstring& path, const std::string& bytes);
extern const std::wstring kSettingsName;  // Quillmere.ini, for the wide calls
// Its first `most` bytes, even while the session holds it without sharing.
FileView viewSettings(size_t most = kKeptBytes);
std::string writeSettingsFile(const std::string& bytes);
std::string editSettingsFile(const std::string& setting);
std::string deleteSettingsFile();
std::string makeSettingsDirectory();
std::string holdSettings(bool shareWrites);  // no sharing, or sharing writes only
std::string releaseSettings();
extern std::optional<std::string> lastWritten;  // what the scenario last put in the file, if it did

// ---- session.cpp: what main.cpp asks of it, and the frame's bound ------------------------------

// Says on stderr why the session cannot run; returns its status, 2.
int refuse(const std::string& why);
void reportStatus(int status);  // to the status file, when main.cpp was given one
// Ctrl-C's handler: the session ends at the next step or frame, with status 130.
BOOL WINAPI interruptSession(DWORD event);
std::string utf8(const std::wstring& text);
std::wstring fullPath(const std::wstring& path);  // as from the current directory; "" stays ""
// Loads the plug-in, plays the steps in the current directory, unloads it; returns the status.
int playSession(const std::wstring& plugin, const std::vector<Step>& steps);
// The frame the plug-in's script holds from now on (0: none), for the 10 s bound.
void watchFrame(int32_t frame);

// ---- frame.cpp ---------------------------------------------------------------------------------

// Runs one frame, tells it and judges it against the settings in effect.
void runFrame();

// ---- watch.cpp ---------------------------------------------------------------------------------

// Wraps the file calls of the plug-in and of the C runtime; `settingsPath` is whole.
void watchCalls(HMODULE plugin, const std::wstring& settingsPath);
// Tells the changes noted since, at `frame` (0: between frames). They wait for the runner's thread,
// which tells the rest of the account, and for the end of the frame's protection.
void tellChanges(int32_t frame);
