// What a session knows as it plays, shared by its steps (session.cpp) and its frames (frame.cpp):
// the world as the scenario made it, what the plug-in did so far, and what it should be going by.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/settings.h"
#include "tools/runner/session.h"
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

// The world as the runner made it.
struct PedWorld {
  int32_t player;
  bool playerPresent;        // not removed from the world
  std::set<int32_t> living;  // living peds still in the world, the player among them if so
  size_t pedsInWorld;        // dead ones too
};

// The one session of the process.
struct Session {
  SessionOptions options{};
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
  SessionResult result{};
  int met = 0;
};

extern Session session;

// The world's peds as the plug-in should see them.
PedWorld world();
// "the player", "ped 8708"
std::string pedName(int32_t handle);
// "the player", "all 3 living peds (2 dead ones skipped)", "2 peds: 8708 8967"
std::string describeProtected(const std::set<int32_t>& peds);

// Runs one frame and tells and judges what the plug-in did in it.
void runFrame();
