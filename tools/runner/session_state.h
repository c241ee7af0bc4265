// What the parts of a session share: its state, the account that tells it, and the frame.
// session.cpp plays the steps, frame.cpp runs and judges each frame, account.cpp tells them.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/settings_model.h"
#include "tools/runner/settings_file.h"

struct Ped {
  int32_t handle;
  bool dead;
  bool removed;
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

struct PedWorld {
  bool playerPresent;        // not removed from the world
  std::set<int32_t> living;  // living peds still in the world, the player among them if so
  size_t pedsInWorld;        // dead ones too
};

// The one session of the process.
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
  FileView file{};  // the settings file as last seen
  int32_t pluginWrites = 0;
  // What the plug-in should be going by: the settings as last read, protection on or off (as the
  // notices say), the scenario's edits not read yet, and whether the file changed since the read.
  // When another program changed the file while the plug-in read it, the settings are each that
  // the plug-in may be going by, and the runner judges nothing until they are one again.
  std::vector<Settings> settings{Settings{}};
  bool active = true;
  std::vector<Edit> edits;
  bool unread = false;
  bool pluginMade = false;  // and it was the plug-in that changed it
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

// The remarks on a settings text, each "settings line N: ...", and how many past the most told.
struct Remarks {
  std::vector<std::string> told;
  size_t leftOut = 0;
};
Remarks remarksOn(const std::string& bytes);

// ---- frame.cpp ---------------------------------------------------------------------------------

// Runs one frame, tells it and judges it against the settings in effect.
void runFrame();
