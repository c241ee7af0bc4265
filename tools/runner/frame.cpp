// One frame of a session: it runs, and what the plug-in did in it, read back from the host's call
// log and from its calls on the settings file, is told and judged against the settings in effect.
#include <algorithm>

#include "tools/runner/session_state.h"
#include "tools/standin/standin.h"

namespace {

// The plug-in sees a release as fresh for this long.
constexpr uint32_t kToggleWindowMs = 100;
// The plug-in enumerates at most this many peds a frame.
constexpr size_t kPedsEnumerated = 256;

// "toggle key F3, keybind on, protecting the player"
std::string inEffect() {
  const Settings& goingBy = session.settings;
  return "toggle key " + keyName(goingBy.toggleKey) +
         (goingBy.keybindEnabled ? ", keybind on" : ", keybind off (no key toggles)") +
         (goingBy.affectAllPeds ? ", protecting all living peds" : ", protecting the player");
}

// One read of the settings file by the plug-in, as its calls showed it: applied to the settings in
// effect, and told when it saw other than the read before, or the scenario edited the file.
void noteRead(int32_t frame, const PluginRead& read) {
  const bool atStart = session.framesRun == 1;
  const std::string what = atStart ? "settings read at start" : "settings re-read";
  const bool tell = atStart || !session.edits.empty() || read.bytes != session.lastRead;
  session.lastRead = read.bytes;
  if (!read.bytes) {
    const char* why = !read.missing ? " tried; the file could not be read, so the settings stay: "
                      : atStart     ? ": no file to read, so the plug-in starts with its defaults: "
                                    : ": no file to read, so the settings stay: ";
    if (tell) {
      tellAtFrame(frame, what + why + inEffect());
    }
    if (read.missing) {
      session.edits.clear();  // a new file would be read next
    }
    return;
  }
  const Settings was = session.settings;
  const std::vector<std::string> remarks = remarksOn(*read.bytes);
  model::applyText(*read.bytes, session.settings);
  if (tell) {
    if (session.edits.empty()) {
      tellAtFrame(frame, what + (atStart              ? ": the file already there"
                                 : session.pluginMade ? ": the file the plug-in made"
                                                      : ": the file as it stands"));
    }
    for (const Edit& edit : session.edits) {
      bool whole = edit.text == kNewFile;
      std::string since =
          seconds(standinGameTime() - edit.gameTime) + " of game time after the edit";
      bool clean = (whole ? remarks : remarksOn(edit.text)).empty();
      std::string shown = whole ? edit.text : escaped(edit.text);
      tellAtFrame(frame, clean ? what + ": picked up " + shown + " " + since
                               : what + ": found " + shown + " (" + since + "), yet " +
                                     (whole ? "not all of it takes" : "it does not take") +
                                     " as written:");
    }
    for (const std::string& remark : remarks) {
      tellAtFrame(frame, "  " + remark);
    }
    const bool changed = !model::same(session.settings, was);
    tellAtFrame(frame, "in effect: " + inEffect() + (changed || atStart ? "" : " (as before)"));
  }
  session.edits.clear();
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

// What is wrong about a frame, run from `start` to `end` on the runner's clock, that did or did not
// post a notice; "" when nothing is. The clock readings around the toggle key's latest event bound
// the time from a release to the frame's check from below (`earliest`) and above (`latest`): a
// release surely inside the 100 ms window must toggle, one surely outside must not.
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
  standinClearCalls();
  session.reads.clear();
  const uint32_t start = GetTickCount();
  watchFrame(standinFrameNumber() + 1);
  standinRunFrames(1);
  watchFrame(0);
  const uint32_t end = GetTickCount();
  ++session.framesRun;
  const int32_t frame = standinFrameNumber();

  session.protectedLast.clear();
  int natives = 0;
  const int32_t count = standinCallCount();
  for (int32_t i = 0; i < count; ++i) {
    StandinCall call = {};
    standinCallAt(i, &call);
    natives += call.kind == kStandinNative ? 1 : 0;
    if (call.kind == kStandinNative && call.hash == hashes::kSetPedResetFlag &&
        call.argCount == 3 && call.args[1] == kStandinHatFlag && call.args[2] == 1) {
      auto ped = static_cast<int32_t>(static_cast<uint32_t>(call.args[0]));
      session.protectedLast.insert(ped);
      ++session.protectCalls[ped];
    }
  }
  const std::string who = describeProtected(session.protectedLast);
  tellProtected(frame, who);
  if (session.verbose) {
    tellDetail("frame " + std::to_string(frame) + "  game time " +
               std::to_string(standinGameTime()) + " ms  natives " + std::to_string(natives) +
               "  protected: " + who);
  }
  tellChanges(frame);
  for (const PluginRead& read : session.reads) {
    noteRead(frame, read);
  }
  const bool toggled = tellNewNotices(frame);
  std::string wrong = toggleDisagreement(session.settings, start, end, toggled);
  wrong = wrong.empty() ? protectionDisagreement(session.settings, session.protectedLast, world())
                        : wrong;
  // One line for a disagreement that lasts.
  if (!wrong.empty() && wrong != session.disagreement) {
    tellAtFrame(frame, "DISAGREES with the settings in effect: " + wrong);
    ++session.disagreements;
  }
  session.disagreement = wrong;
}
