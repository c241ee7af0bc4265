// Playing a scenario against the loaded plug-in: its steps, each driving the stand-in host or the
// settings file, and its expectations; and each frame, read back from the host's call log, told
// in the account and judged against the settings the one model reads from the file as the plug-in
// found it.
#include "tools/runner/session.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "tools/model/settings_model.h"
#include "tools/runner/settings_file.h"
#include "tools/standin/standin.h"

namespace {

// The plug-in sees a release as fresh for this long.
constexpr uint32_t kToggleWindowMs = 100;
// The plug-in enumerates at most this many peds a frame.
constexpr size_t kPedsEnumerated = 256;

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

Session session;

// ---- The account -----------------------------------------------------------------------------
// Frames are told in stretches with the same protection, so that a long run reads as a few lines;
// anything else that happens splits the stretch at its frame. The output is a pipe, so lines are
// flushed at once: a long session shows how far it has come.

struct Account {
  // The stretch of frames not told yet: first and last frame (0: none), who was protected in them.
  int32_t first = 0;
  int32_t last = 0;
  std::string who;
};

Account account;

void tellAt(const std::string& where, const std::string& text) {
  std::printf("  %-16s %s\n", where.c_str(), text.c_str());
  std::fflush(stdout);
}

void flushStretch() {
  if (account.first != 0) {
    tellAt(account.first == account.last
               ? "frame " + std::to_string(account.first)
               : "frames " + std::to_string(account.first) + "-" + std::to_string(account.last),
           "protected: " + account.who);
    account.first = 0;
  }
}

void tellLines(const std::string& text) {
  flushStretch();
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void tellStep(const std::string& text) {
  tellLines("  " + text + "\n");
}

void tellProtected(int32_t frame, const std::string& who) {
  if (account.first != 0 && (who != account.who || frame != account.last + 1)) {
    flushStretch();
  }
  if (account.first == 0) {
    account.first = frame;
    account.who = who;
  }
  account.last = frame;
}

void tellAtFrame(int32_t frame, const std::string& text) {
  if (account.first != 0 && account.first < frame) {
    std::string who = account.who;
    account.last = frame - 1;
    flushStretch();
    account = {frame, frame, who};
  }
  tellAt("frame " + std::to_string(frame), text);
}

void tellDetail(const std::string& text) {
  std::printf("    %s\n", text.c_str());
}

// The game's inline markup: "~COLOR_RED~" starts a colour, "~s~" goes back to the normal text.
std::string renderNotice(const std::string& text) {
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
    if (session.colour && colour != colours.end()) {
      out += colour->second;
      coloured = colour->first != "s";
    }
    i = close + 1;
  }
  // A colour left open must not run into the next line.
  return coloured ? out + "\x1b[0m" : out;
}

void tellRegistrations(const char* moment, int32_t from) {
  std::string text;
  for (int32_t i = from; i < standinHostEventCount(); ++i) {
    StandinHostEvent event = {};
    standinHostEventAt(i, &event);
    const char* what = event.kind == kStandinScriptRegister     ? "script registered"
                       : event.kind == kStandinScriptUnregister ? "script unregistered"
                       : event.kind == kStandinKeyboardRegister ? "keyboard handler registered"
                                                                : "keyboard handler unregistered";
    text += std::string(text.empty() ? "" : ", then ") + what;
  }
  flushStretch();
  tellAt(moment, text.empty() ? "nothing registered or withdrawn" : text);
}

// "3.09 s"
std::string seconds(int32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", ms / 1000.0);
  return text;
}

// ---- The world as the scenario made it -------------------------------------------------------

PedWorld world() {
  PedWorld view{false, {}, 0};
  for (const Ped& ped : session.peds) {
    if (!ped.removed) {
      ++view.pedsInWorld;
      view.playerPresent = view.playerPresent || ped.handle == session.player;
      if (!ped.dead) {
        view.living.insert(ped.handle);
      }
    }
  }
  return view;
}

std::string pedName(int32_t handle) {
  return handle == session.player ? "the player" : "ped " + std::to_string(handle);
}

// "the player", "all 3 living peds (2 dead ones skipped)", "2 peds: 8708 8967"; with `counted`
// only, "2 peds".
std::string describeProtected(const std::set<int32_t>& peds, bool counted = false) {
  if (peds.empty()) {
    return "nobody";
  }
  if (peds.size() == 1 && *peds.begin() == session.player) {
    return "the player";
  }
  PedWorld now = world();
  if (!counted && peds == now.living) {
    std::string text = "all " + std::to_string(now.living.size()) + " living peds";
    size_t dead = now.pedsInWorld - now.living.size();
    if (dead > 0) {
      text += " (" + std::to_string(dead) + (dead == 1 ? " dead one" : " dead ones") + " skipped)";
    }
    return text;
  }
  std::string text = std::to_string(peds.size()) + (peds.size() == 1 ? " ped" : " peds");
  if (counted) {
    return text;
  }
  text += ":";
  auto handle = peds.begin();
  for (int listed = 0; handle != peds.end() && listed < 8; ++handle, ++listed) {
    text += " " + std::to_string(*handle);
  }
  return handle == peds.end() ? text : text + " ...";
}

// ---- The remarks on the settings file's lines -------------------------------------------------
// What a line sets is the model's answer; a remark says, in the player's terms, where that differs
// from what the line seems to say.

// A hint for a key value that names no key yet is close to one.
std::string keyHint(std::string_view value) {
  const std::string upper = upperCase(std::string(model::trimmed(value)));
  if (model::findKey(upper) != nullptr) {
    return " (names are case-sensitive: " + upper + ")";
  }
  if (model::findKey("VK_" + upper) != nullptr) {
    return " (names take the VK_ prefix: VK_" + upper + ")";
  }
  return "";
}

bool looksLikeComment(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t");
  return first != std::string_view::npos && (line[first] == '#' || line[first] == ';');
}

std::string joined(const std::string& remark, const std::string& more) {
  return remark.empty() ? more : remark + "; " + more;
}

// The remark on one line, "" when it reads as it seems.
std::string remarkOn(std::string_view text) {
  const model::Line line = model::readLine(text);
  const std::string quotedLine = quoted(std::string(text));
  const std::string value(line.value);
  if (line.key == model::Key::kNone) {
    return text.find('=') == std::string_view::npos || looksLikeComment(text)
               ? ""
               : quotedLine +
                     " sets nothing: it holds none of enabled=, toggle-key=, affect-all-peds= "
                     "(lower case, '=' right after the name)";
  }
  const std::string_view keyText = model::kKeyText[static_cast<int>(line.key)];
  const std::string name(keyText.substr(0, keyText.size() - 1));  // without its '='
  std::string remark;
  std::string what;
  if (line.key == model::Key::kToggleKey) {
    what = "the toggle key " + keyName(model::keyCode(line.value));
    if (model::findKey(model::trimmed(line.value)) == nullptr) {
      remark = "toggle-key: the value " + quoted(value) + " names no key, so it means F3" +
               keyHint(line.value);
    }
  } else {
    const bool set = model::isTrue(line.value);
    what = name + (set ? " true" : " false");
    if (!set && model::lowerCase(line.value) != "false") {
      remark = name + ": the value " + quoted(value) + " is not true, so it means false" +
               (model::isTrue(model::trimmed(line.value)) ? " (blanks count)" : "");
    }
  }
  if (line.keysFound > 1) {
    remark = joined(remark, quotedLine + " holds more than one setting, and " + name + "= decides");
  }
  if (looksLikeComment(text)) {
    remark = joined(remark, "the comment " + quotedLine + " still sets " + what +
                                ": settings count anywhere in a line");
  }
  return remark;
}

// The remarks on a settings text, each "settings line N: ...", and how many past the most told.
struct Remarks {
  std::vector<std::string> told;
  size_t leftOut = 0;
};

Remarks remarksOn(const std::string& bytes) {
  constexpr size_t kMostTold = 8;
  Remarks remarks;
  model::forEachLine(bytes, [&](int number, std::string_view text) {
    std::string remark = remarkOn(text);
    if (remark.empty()) {
      return;
    }
    if (remarks.told.size() < kMostTold) {
      remarks.told.push_back("settings line " + std::to_string(number) + ": " + remark);
    } else {
      ++remarks.leftOut;
    }
  });
  return remarks;
}

// ---- Judging a frame --------------------------------------------------------------------------

bool settingsKnown() {
  return session.settings.size() == 1;
}

// Each of the settings applied with each of the texts the plug-in may have read, once each.
void applyTexts(const std::vector<std::string>& texts) {
  std::vector<Settings> after;
  for (const Settings& before : session.settings) {
    for (const std::string& text : texts) {
      Settings read = before;
      model::applyText(text, read);
      if (std::none_of(after.begin(), after.end(),
                       [&](const Settings& other) { return model::same(other, read); })) {
        after.push_back(read);
      }
    }
  }
  session.settings = after;
}

// "toggle key F3, keybind on, protecting the player"
std::string inEffect() {
  const Settings& goingBy = session.settings[0];
  return settingsKnown()
             ? "toggle key " + keyName(goingBy.toggleKey) +
                   (goingBy.keybindEnabled ? ", keybind on" : ", keybind off (no key toggles)") +
                   (goingBy.affectAllPeds ? ", protecting all living peds"
                                          : ", protecting the player")
             : "the runner cannot tell: another program changed the file while the "
               "plug-in read it (judging waits until a read settles it)";
}

void disagree(int32_t frame, const std::string& what) {
  if (!what.empty() && what != session.disagreement) {
    tellAtFrame(frame, "DISAGREES with the settings in effect: " + what);
    ++session.disagreements;
  }
  session.disagreement = what;
}

std::string sizeOf(const FileView& file) {
  return file.readable ? " (" + std::to_string(file.bytes.size()) + " bytes)" : "";
}

// Whether the file changed since the runner last looked; if so, it looks again, and the plug-in
// has not read the file as it is now.
bool lookAgain() {
  if (sameStamp(stampSettings(), session.file)) {
    return false;
  }
  session.file = viewSettings();
  session.unread = true;
  session.pluginMade = false;
  return true;
}

// A change in the frame. The plug-in writes the file only when it cannot open it for reading, and
// then writes the default content: any other change is another program's, or one the runner
// cannot pin on either.
void tellFileChange(int32_t frame, bool pluginCouldRead) {
  const FileView before = session.file;
  if (!lookAgain()) {
    return;
  }
  const bool isDefault = session.file.readable && session.file.bytes == model::kDefaultFile;
  std::string what = "Quillmere.ini ";
  if (!pluginCouldRead && isDefault) {
    session.pluginMade = true;
    ++session.pluginWrites;
    what += before.exists ? "rewritten by the plug-in" : "created by the plug-in";
    what += ": the default content";
  } else if (pluginCouldRead || !session.file.exists) {
    what += session.file.exists ? "changed" : "removed";
    what += " by another program during the frame, not by the plug-in";
  } else {
    what +=
        "changed during the frame, not to the default content: by another program, or "
        "written wrong by the plug-in; the runner cannot tell which";
  }
  tellAtFrame(frame, what + sizeOf(session.file));
}

// Each pass of the plug-in's loop reads the game timer once, and once more after it re-read the
// settings file; the first frame holds the read at start. `before` is the file as the plug-in
// found it, `held` whether the session held it open then, `after` the file once the frame ended.
void noteRead(int32_t frame, int timerReads, const FileView& before, bool held,
              const FileView& after) {
  bool atStart = session.framesRun == 1;
  if (!atStart && timerReads < 2) {
    return;
  }
  std::string read = atStart ? "settings read at start" : "settings re-read";
  bool tell = atStart || session.unread || !session.edits.empty();
  if (!before.exists) {
    // The plug-in creates the file, and reads it only at the next re-read.
    session.edits.clear();
    session.unread = true;
    if (tell) {
      tellAtFrame(frame, read +
                             (atStart ? ": no file to read, so the plug-in starts with its "
                                        "defaults: "
                                      : ": no file to read (the plug-in makes a new one), so "
                                        "the settings stay: ") +
                             inEffect());
    }
    return;
  }
  if (before.directory || held || !before.readable) {
    if (tell) {
      tellAtFrame(frame,
                  read + " tried; the file could not be read, so the settings stay: " + inEffect());
    }
    return;
  }
  // Changed by another program during the frame: the plug-in read the one text or the other.
  std::vector<std::string> texts = {before.bytes};
  if (!sameStamp(before, after)) {
    texts.push_back(after.readable ? after.bytes : std::string());
  }
  const std::vector<Settings> was = session.settings;
  const Remarks remarks = remarksOn(before.bytes);
  applyTexts(texts);
  bool changed = session.settings.size() != was.size() || !model::same(session.settings[0], was[0]);
  if (tell) {
    if (session.edits.empty()) {
      tellAtFrame(frame, read + (atStart              ? ": the file already there"
                                 : session.pluginMade ? ": the file the plug-in made"
                                                      : ": the file as it stands"));
    }
    for (const Edit& edit : session.edits) {
      bool whole = edit.text == kNewFile;
      std::string since =
          seconds(standinGameTime() - edit.gameTime) + " of game time after the edit";
      bool clean = (whole ? remarks : remarksOn(edit.text)).told.empty();
      std::string shown = whole ? edit.text : escaped(edit.text);
      tellAtFrame(frame, clean ? read + ": picked up " + shown + " " + since
                               : read + ": found " + shown + " (" + since + "), yet " +
                                     (whole ? "not all of it takes" : "it does not take") +
                                     " as written:");
    }
    for (const std::string& remark : remarks.told) {
      tellAtFrame(frame, "  " + remark);
    }
    if (remarks.leftOut > 0) {
      tellAtFrame(frame, "  and " + std::to_string(remarks.leftOut) + " more such lines");
    }
    tellAtFrame(frame, "in effect: " + inEffect() + (changed || atStart ? "" : " (as before)"));
  }
  session.edits.clear();
  session.unread = false;
  session.pluginMade = false;
}

// A frame's notices, told; true when there was one.
bool tellNewNotices(int32_t frame) {
  int32_t count = standinNoticeCount();
  bool any = session.noticesTold < count;
  for (; session.noticesTold < count; ++session.noticesTold) {
    StandinNotice notice = {};
    standinNoticeAt(session.noticesTold, &notice);
    session.lastNotice = notice.message;
    const std::string& message = session.lastNotice;
    bool off = message.find("disabled") != std::string::npos;
    session.active = off ? false : message.find("enabled") != std::string::npos || !session.active;
    tellAtFrame(frame, "notice: [" + renderNotice(notice.title) + "] " + renderNotice(message));
  }
  return any;
}

// What is wrong about a frame, run from `start` to `end` on the runner's clock, that did
// (`toggled`) or did not post a notice; "" when nothing is. The clock readings around the toggle
// key's latest event bound the time from a release to the frame's check: from below (`earliest`)
// and from above (`latest`). A release surely inside the 100 ms window must toggle, one surely
// outside it must not, and one near its edge may do either.
std::string toggleDisagreement(const Settings& goingBy, uint32_t start, uint32_t end,
                               bool toggled) {
  auto event = session.keys.find(goingBy.toggleKey);
  bool fresh = false;
  bool due = false;
  if (goingBy.keybindEnabled && event != session.keys.end()) {
    const uint32_t earliest = start - event->second.deliveredAt;
    const uint32_t latest = end - event->second.postedAt;
    fresh = event->second.up && earliest < kToggleWindowMs;
    due = fresh && latest < kToggleWindowMs;
    // The plug-in looks at the key only while the keybind is on; a release it has seen is either
    // cleared or, being too old, stays too old.
    session.keys.erase(event);
  }
  std::string key = keyName(goingBy.toggleKey);
  if (due && !toggled) {
    return key +
           " was released well inside the 100 ms window and is the toggle key, yet no "
           "notice came";
  }
  if (!fresh && toggled) {
    return goingBy.keybindEnabled
               ? "a notice came, yet " + key + ", the toggle key, was not released within 100 ms"
               : "a notice came, yet the keybind is off";
  }
  return "";
}

// What is wrong about who a frame protected; "" when nothing is.
std::string protectionDisagreement(const Settings& goingBy, const std::set<int32_t>& protectedPeds,
                                   const PedWorld& world) {
  std::set<int32_t> expected;
  std::string meant = "nobody, protection being off";
  if (session.active && !goingBy.affectAllPeds) {
    meant = world.playerPresent ? "the player" : "nobody, the player being gone";
    if (world.playerPresent) {
      expected.insert(session.player);
    }
  } else if (session.active) {
    expected = world.living;
    meant = "all " + std::to_string(world.living.size()) + " living " +
            (world.living.size() == 1 ? "ped" : "peds");
  }
  bool holds = protectedPeds == expected;
  if (session.active && goingBy.affectAllPeds && world.pedsInWorld > kPedsEnumerated) {
    // Only the first 256 of the enumeration are looked at, in an order the runner does not know.
    // Of those, at most the dead ones in the world are skipped.
    auto least = static_cast<int64_t>(expected.size() + kPedsEnumerated) -
                 static_cast<int64_t>(world.pedsInWorld);
    holds = protectedPeds.size() <= kPedsEnumerated &&
            static_cast<int64_t>(protectedPeds.size()) >= least;
    holds = holds && std::includes(expected.begin(), expected.end(), protectedPeds.begin(),
                                   protectedPeds.end());
    meant = "living peds among the first 256 enumerated";
  }
  return holds ? ""
               : "protected " + describeProtected(protectedPeds, true) +
                     ", yet by the settings in effect it should protect " + meant;
}

void runFrame() {
  // A change to the file since the runner last looked, outside a frame, is not the plug-in's, whose
  // code runs only inside frames, nor the runner's, which looks again after each change it makes.
  if (lookAgain()) {
    tellStep(std::string("Quillmere.ini ") + (session.file.exists ? "changed" : "removed") +
             " by another program, not by the plug-in" + sizeOf(session.file));
  }
  const FileView before = session.file;
  const bool held = settingsHeld();
  standinClearCalls();
  uint32_t start = GetTickCount();
  standinRunFrames(1);
  uint32_t end = GetTickCount();
  ++session.framesRun;
  int32_t frame = standinFrameNumber();

  std::set<int32_t> protectedNow;
  int timerReads = 0;
  int natives = 0;
  int32_t count = standinCallCount();
  for (int32_t i = 0; i < count; ++i) {
    StandinCall call = {};
    standinCallAt(i, &call);
    if (call.kind != kStandinNative) {
      continue;
    }
    ++natives;
    if (call.hash == hashes::kGetGameTimer) {
      ++timerReads;
    } else if (call.hash == hashes::kSetPedResetFlag && call.argCount == 3 &&
               call.args[1] == kStandinHatFlag && call.args[2] == 1) {
      auto ped = static_cast<int32_t>(static_cast<uint32_t>(call.args[0]));
      protectedNow.insert(ped);
      ++session.protectCalls[ped];
    }
  }
  session.protectedLast = protectedNow;
  std::string who = describeProtected(protectedNow);
  tellProtected(frame, who);
  if (session.verbose) {
    tellDetail("frame " + std::to_string(frame) + "  game time " +
               std::to_string(standinGameTime()) + " ms  natives " + std::to_string(natives) +
               "  protected: " + who);
  }
  tellFileChange(frame, before.exists && !before.directory && !held);
  noteRead(frame, timerReads, before, held, session.file);
  bool toggled = tellNewNotices(frame);
  if (!settingsKnown()) {
    session.keys.clear();  // releases seen under settings the runner cannot tell are not judged
    disagree(frame, "");
    return;
  }
  const Settings& goingBy = session.settings[0];
  std::string wrong = toggleDisagreement(goingBy, start, end, toggled);
  disagree(frame, wrong.empty() ? protectionDisagreement(goingBy, protectedNow, world()) : wrong);
}

// The first step that cannot be carried out stops the session.
void stop(const Step& step, const std::string& why) {
  session.mistake = "line " + std::to_string(step.line) + ": " + step.written + ": " + why;
}

// ---- Steps -----------------------------------------------------------------------------------

void keyStep(const Step& step) {
  auto code = static_cast<uint32_t>(step.number);
  uint32_t posted = GetTickCount();
  // Through the window thread, as the game's window procedure reports keys.
  if (step.command != Command::kRelease) {
    standinPostKeyEvent(code, 0);
  }
  if (step.command != Command::kPress) {
    standinPostKeyEvent(code, 1);
  }
  standinFlushKeyEvents();
  session.keys[code] = {step.command != Command::kPress, posted, GetTickCount()};
  const char* done = step.command == Command::kPress     ? "pressed"
                     : step.command == Command::kRelease ? "released"
                                                         : "pressed and released";
  tellStep(keyName(code) + " " + done);
}

void addPeds(const Step& step) {
  std::string handles;
  for (int64_t i = 0; i < step.number; ++i) {
    int32_t handle = standinAddPed(step.dead ? 0 : 1);
    session.peds.push_back({handle, step.dead, false});
    session.lastAdded = handle;
    if (i < 4) {
      handles += (i == 0 ? "" : ", ") + std::to_string(handle);
    }
  }
  tellStep("added " + std::to_string(step.number) + (step.dead ? " dead" : " living") +
           (step.number == 1 ? " ped (" : " peds (") + handles +
           (step.number > 4 ? ", ...)" : ")"));
}

void pedStep(const Step& step) {
  int64_t handle = step.ped == PedRef::kPlayer ? session.player
                   : step.ped == PedRef::kLast ? session.lastAdded
                                               : step.number;
  auto ped = std::find_if(session.peds.begin(), session.peds.end(),
                          [&](const Ped& p) { return p.handle == handle && !p.removed; });
  if (ped == session.peds.end()) {
    std::string known;
    size_t listed = 0;
    for (const Ped& candidate : session.peds) {
      if (!candidate.removed && ++listed <= 8) {
        known += (known.empty() ? "" : ", ") + std::to_string(candidate.handle) +
                 (candidate.handle == session.player ? " (the player)" : "");
      }
    }
    stop(step, "no such ped in the world; its peds are " + (known.empty() ? "none" : known) +
                   (listed > 8 ? ", ..." : ""));
    return;
  }
  if (step.command == Command::kRemovePed) {
    standinRemovePed(ped->handle);
    ped->removed = true;
    tellStep(pedName(ped->handle) + " removed from the world");
    return;
  }
  ped->dead = step.command == Command::kKillPed;
  standinSetPedDead(ped->handle, ped->dead ? 1 : 0);
  tellStep(pedName(ped->handle) + (ped->dead ? " killed" : " revived"));
}

// A change to the settings file by the scenario: told when made, stopped when it could not be.
void fileStep(const Step& step, const std::string& wrong, const std::string& told) {
  session.file = viewSettings();
  if (!wrong.empty()) {
    stop(step, wrong);
    return;
  }
  session.unread = true;
  session.pluginMade = false;
  tellStep(told);
}

void expect(const Step& step, bool holds, const std::string& saw) {
  if (!holds) {
    tellStep("FAILED line " + std::to_string(step.line) + ": " + step.written + ": saw " + saw);
    ++session.failed;
    return;
  }
  ++session.met;
  if (session.verbose) {
    tellDetail("ok: line " + std::to_string(step.line));
  }
}

void expectProtected(const Step& step) {
  const std::set<int32_t>& last = session.protectedLast;
  bool holds = step.who == Who::kPlayer      ? last == std::set<int32_t>{session.player}
               : step.who == Who::kNobody    ? last.empty()
               : step.who == Who::kAllLiving ? last == world().living
                                             : static_cast<int64_t>(last.size()) == step.number;
  expect(step, holds, describeProtected(last));
}

void expectSettingsFile(const Step& step) {
  const FileView now = viewSettings();
  const bool isDefault = now.readable && now.bytes == model::kDefaultFile;
  bool holds = step.file == FileState::kMissing ? !now.exists
               : step.file == FileState::kDefault
                   ? isDefault
                   : lastWritten && now.readable && now.bytes == *lastWritten;
  expect(step, holds,
         !now.exists     ? "missing"
         : now.directory ? "a directory"
         : !now.readable ? "unreadable"
         : isDefault     ? "the default content"
                         : std::to_string(now.bytes.size()) + " bytes of other content");
}

void playStep(const Step& step) {
  switch (step.command) {
    case Command::kFrames:
      for (int64_t i = 0; i < step.number; ++i) {
        runFrame();
      }
      break;
    case Command::kFrameMs:
      standinSetFrameMs(static_cast<int32_t>(step.number));
      tellStep("each frame now " + std::to_string(step.number) + " ms of game time");
      break;
    case Command::kAdvanceGameTime: {
      auto ms = static_cast<int32_t>(step.number);
      standinSetGameTime(static_cast<int32_t>(static_cast<uint32_t>(standinGameTime()) + ms));
      tellStep("game time moved on " + seconds(ms) + " to " + seconds(standinGameTime()));
      break;
    }
    case Command::kSleep:
      Sleep(static_cast<DWORD>(step.number));
      tellStep(std::to_string(step.number) + " ms of real time passed");
      break;
    case Command::kPress:
    case Command::kRelease:
    case Command::kTap:
      keyStep(step);
      break;
    case Command::kAddPeds:
      addPeds(step);
      break;
    case Command::kKillPed:
    case Command::kRevivePed:
    case Command::kRemovePed:
      pedStep(step);
      break;
    case Command::kWriteSettings:
      fileStep(step, writeSettingsFile(step.text),
               "Quillmere.ini written (" + std::to_string(step.text.size()) + " bytes)");
      session.edits.push_back({kNewFile, standinGameTime()});
      break;
    case Command::kEditSettings:
      fileStep(step, editSettingsFile(step.text), "Quillmere.ini edited: " + escaped(step.text));
      session.edits.push_back({step.text, standinGameTime()});
      break;
    case Command::kDeleteSettings:
      fileStep(step, deleteSettingsFile(), "Quillmere.ini deleted");
      break;
    case Command::kSettingsDirectory:
      fileStep(step, makeSettingsDirectory(), "Quillmere.ini is now a directory");
      break;
    case Command::kLockSettings:
      fileStep(step, holdSettings(false), "Quillmere.ini held open with no sharing");
      break;
    case Command::kDenyReadingSettings:
      fileStep(step, holdSettings(true), "Quillmere.ini held open, shared for writing only");
      break;
    case Command::kUnlockSettings:
      releaseSettings();
      fileStep(step, "", "Quillmere.ini released");
      break;
    case Command::kExpectNotices:
      expect(step, standinNoticeCount() == step.number, std::to_string(standinNoticeCount()));
      break;
    case Command::kExpectLastNotice:
      expect(step, standinNoticeCount() > 0 && session.lastNotice == step.text,
             standinNoticeCount() > 0 ? quoted(session.lastNotice) : "no notice");
      break;
    case Command::kExpectProtected:
      expectProtected(step);
      break;
    case Command::kExpectSettingsFile:
      expectSettingsFile(step);
      break;
    case Command::kExpectFileWrites:
      expect(step, session.pluginWrites == step.number, std::to_string(session.pluginWrites));
      break;
  }
}

// The summary: the protection calls per ped listed one by one for a handful of peds, and as a
// range past that.
std::string summary() {
  std::string calls;
  int64_t low = INT64_MAX;
  int64_t high = 0;
  const bool oneByOne = session.peds.size() <= 12;
  for (const Ped& ped : session.peds) {
    int64_t count = session.protectCalls[ped.handle];
    if (oneByOne || ped.handle == session.player) {
      calls += "\n    " + pedName(ped.handle) + (ped.dead ? " (dead)" : "") +
               (ped.removed ? " (removed)" : "") + ": " + std::to_string(count);
    } else {
      low = std::min(low, count);
      high = std::max(high, count);
    }
  }
  if (!oneByOne) {
    calls += "\n    " + std::to_string(session.peds.size() - 1) +
             " other peds: " + std::to_string(low) + " to " + std::to_string(high) + " each";
  }
  return "\nsummary\n  frames: " + std::to_string(session.framesRun) + " (" +
         seconds(standinGameTime()) + " of game time)\n  protection calls per ped:" + calls +
         "\n  notices: " + std::to_string(standinNoticeCount()) +
         "\n  settings file writes by the plug-in: " + std::to_string(session.pluginWrites) +
         "\n  disagreements with the settings in effect: " + std::to_string(session.disagreements) +
         "\n  expectations: " + std::to_string(session.met) + " met, " +
         std::to_string(session.failed) + " failed\n";
}

}  // namespace

int refuse(const std::string& why) {
  std::fflush(stdout);
  std::fprintf(stderr, "quillmere-run: %s\n", why.c_str());
  return 2;
}

int playSession(const std::string& plugin, const std::string& shown, const std::string& scenario,
                const std::vector<Step>& steps, bool verbose, bool colour) {
  standinResetWorld();
  if (!standinLoadPlugin(plugin.c_str())) {
    return refuse("cannot load " + shown + " (error " + std::to_string(GetLastError()) + ")");
  }
  tellRegistrations("attach", 0);
  if (!standinScriptRegistered()) {
    standinUnloadPlugin();
    return refuse(shown + " registered no script when loaded: it is not a plug-in of this host");
  }
  session.verbose = verbose;
  session.colour = colour;
  session.player = standinPlayerPed();
  session.peds.push_back({session.player, false, false});
  session.lastAdded = session.player;
  session.file = viewSettings();
  for (size_t i = 0; i < steps.size() && session.mistake.empty(); ++i) {
    playStep(steps[i]);
  }
  tellLines(session.mistake.empty() ? summary() : "  session stopped at " + session.mistake + "\n");
  releaseSettings();
  int32_t before = standinHostEventCount();
  standinUnloadPlugin();
  std::printf("\n");
  tellRegistrations("detach", before);
  if (!session.mistake.empty()) {
    return refuse(scenario + ": " + session.mistake);
  }
  if (session.failed > 0) {
    std::printf("%d expectation%s failed\n", session.failed, session.failed == 1 ? "" : "s");
  }
  if (session.disagreements > 0) {
    std::printf("the plug-in disagreed with the settings in effect %d time%s\n",
                session.disagreements, session.disagreements == 1 ? "" : "s");
  }
  return session.failed > 0 || session.disagreements > 0 ? 1 : 0;
}
