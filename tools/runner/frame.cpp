// One frame of a session: it runs, and what the plug-in did in it is read back from the host's
// call log, told in the account and judged against the settings the one model reads from the file
// as the plug-in found it.
#include <windows.h>

#include <algorithm>

#include "tools/runner/scenario.h"
#include "tools/runner/session_state.h"
#include "tools/standin/standin.h"

namespace {

// The plug-in sees a release as fresh for this long.
constexpr uint32_t kToggleWindowMs = 100;
// The plug-in enumerates at most this many peds a frame.
constexpr size_t kPedsEnumerated = 256;

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

}  // namespace

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
