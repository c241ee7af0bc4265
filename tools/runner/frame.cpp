// One frame of a session: it runs, and what the plug-in did in it is read back from the host's
// call log, told in the account, and judged against the runner's own model of the settings it
// should be going by.
#include <windows.h>

#include "tools/runner/account.h"
#include "tools/runner/session_state.h"
#include "tools/standin/standin.h"

namespace {

void disagree(int32_t frame, const std::string& what) {
  if (!what.empty() && what != session.disagreement) {
    tellAtFrame(frame, "DISAGREES with the settings in effect: " + what);
    ++session.result.disagreements;
  }
  session.disagreement = what;
}

void tellFileChange(int32_t frame) {
  FileStamp now = stampSettings();
  if (sameStamp(now, session.stamp)) {
    return;
  }
  bool created = !session.stamp.exists;
  session.stamp = now;
  session.unread = true;
  session.pluginMade = true;
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
// settings file; the first frame holds the read at start. `before` is the file as the plug-in
// found it, `held` whether the session held it open then.
void noteRead(int32_t frame, int timerReads, const FileStamp& before, bool held) {
  bool atStart = session.framesRun == 1;
  if (!atStart && timerReads < 2) {
    return;
  }
  std::string read = atStart ? "settings read at start" : "settings re-read";
  bool tell = atStart || session.unread || !session.edits.empty();
  std::string inEffect = describeSettings(session.settings);
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
                             inEffect);
    }
    return;
  }
  std::string bytes;
  if (before.directory || held || !currentSettings(&bytes)) {
    if (tell) {
      tellAtFrame(frame,
                  read + " tried; the file could not be read, so the settings stay: " + inEffect);
    }
    return;
  }
  SettingsReading reading = readSettingsText(bytes, session.settings);
  bool changed = !(reading.settings == session.settings);
  session.settings = reading.settings;
  if (tell) {
    int32_t gameTime = standinGameTime();
    if (session.edits.empty()) {
      tellAtFrame(frame, read + (atStart              ? ": the file already there"
                                 : session.pluginMade ? ": the file the plug-in made"
                                                      : ": the file as it stands"));
    }
    for (const Edit& edit : session.edits) {
      bool whole = edit.text == kNewFile;
      std::string after = seconds(gameTime - edit.gameTime) + " of game time after the edit";
      bool clean = whole ? reading.notes.empty() : readSettingsText(edit.text, {}).notes.empty();
      tellAtFrame(frame, clean ? read + ": picked up " + edit.text + " " + after
                               : read + ": found " + edit.text + " (" + after + "), yet " +
                                     (whole ? "not all of it takes" : "it does not take") +
                                     " as written:");
    }
    for (const LineNote& note : reading.notes) {
      tellAtFrame(frame, "  settings line " + std::to_string(note.line) + ": " + note.remark);
    }
    if (reading.notesLeftOut > 0) {
      tellAtFrame(frame, "  and " + std::to_string(reading.notesLeftOut) + " more such lines");
    }
    tellAtFrame(frame, "in effect: " + describeSettings(session.settings) +
                           (changed || atStart ? "" : " (as before)"));
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
    std::string message = notice.message;
    bool off = message.find("disabled") != std::string::npos;
    session.active = off ? false : message.find("enabled") != std::string::npos || !session.active;
    tellAtFrame(frame, "notice: [" + renderNotice(notice.title) + "] " + renderNotice(message));
  }
  return any;
}

// Whether the toggle key's latest event should have toggled in the frame that ran from `start`
// to `end` on the runner's clock.
ToggleDue toggleDueIn(uint32_t start, uint32_t end) {
  auto event = session.keys.find(session.settings.toggleKey);
  if (event == session.keys.end()) {
    return toggleDue(session.settings, false, false, 0, 0);
  }
  ToggleDue due = toggleDue(session.settings, true, event->second.up,
                            start - event->second.deliveredAt, end - event->second.postedAt);
  // The plug-in looks at the key only while the keybind is on; a release it has seen is either
  // cleared or, being too old, stays too old.
  if (session.settings.keybind) {
    session.keys.erase(event);
  }
  return due;
}

}  // namespace

void runFrame() {
  FileStamp before = session.stamp;
  bool held = settingsHeld();
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
  if (session.options.verbose) {
    tellDetail("frame " + std::to_string(frame) + "  game time " +
               std::to_string(standinGameTime()) + " ms  natives " + std::to_string(natives) +
               "  protected: " + who);
  }
  tellFileChange(frame);
  noteRead(frame, timerReads, before, held);
  ToggleDue due = toggleDueIn(start, end);
  bool toggled = tellNewNotices(frame);
  std::string wrong = toggleDisagreement(session.settings, due, toggled);
  if (wrong.empty()) {
    wrong = protectionDisagreement(session.settings, session.active, protectedNow, world());
  }
  disagree(frame, wrong);
}
