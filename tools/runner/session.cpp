// Playing a scenario: its steps, each driving the stand-in host or the settings file, and its
// expectations; the frames themselves are in frame.cpp.
#include <windows.h>

#include "tools/model/settings_model.h"
#include "tools/runner/account.h"
#include "tools/runner/scenario.h"
#include "tools/runner/session_state.h"
#include "tools/standin/standin.h"

Session session;

// ---- The world as the scenario made it -------------------------------------------------------

PedWorld world() {
  PedWorld view{session.player, false, {}, 0};
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

std::string describeProtected(const std::set<int32_t>& peds) {
  if (peds.empty()) {
    return "nobody";
  }
  if (peds.size() == 1 && *peds.begin() == session.player) {
    return "the player";
  }
  PedWorld now = world();
  if (peds == now.living) {
    std::string text = "all " + std::to_string(now.living.size()) + " living peds";
    size_t dead = now.pedsInWorld - now.living.size();
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

namespace {

void stop(const Step& step, const std::string& why) {
  if (session.result.mistake.empty()) {
    session.result.mistake = "line " + std::to_string(step.line) + ": " + step.written + ": " + why;
  }
}

Ped* findPed(const Step& step) {
  int64_t handle = step.ped == PedRef::kPlayer ? session.player
                   : step.ped == PedRef::kLast ? session.lastAdded
                                               : step.number;
  for (Ped& ped : session.peds) {
    if (ped.handle == handle && !ped.removed) {
      return &ped;
    }
  }
  return nullptr;
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
  Ped* ped = findPed(step);
  if (ped == nullptr) {
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
    tellFailure(step.line, step.written, "saw " + saw);
    ++session.result.failed;
    return;
  }
  ++session.met;
  if (session.options.verbose) {
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
  FileStamp now = stampSettings();
  std::string bytes;
  bool readable = now.exists && !now.directory && currentSettings(&bytes);
  bool holds = step.file == FileState::kMissing ? !now.exists
               : step.file == FileState::kDefault
                   ? readable && bytes == model::kDefaultFile
                   : scenarioWrote() && readable && bytes == *scenarioWrote();
  expect(step, holds,
         !now.exists                    ? "missing"
         : now.directory                ? "a directory"
         : !readable                    ? "unreadable"
         : bytes == model::kDefaultFile ? "the default content"
                                        : std::to_string(bytes.size()) + " bytes of other content");
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

Summary summary() {
  Summary told{session.framesRun,     standinGameTime(),           {},
               standinNoticeCount(),  session.pluginWrites,        session.met,
               session.result.failed, session.result.disagreements};
  for (const Ped& ped : session.peds) {
    auto calls = session.protectCalls.find(ped.handle);
    told.peds.push_back({pedName(ped.handle), ped.handle == session.player, ped.dead, ped.removed,
                         calls == session.protectCalls.end() ? 0 : calls->second});
  }
  return told;
}

}  // namespace

SessionResult playScenario(const std::vector<Step>& steps, const SessionOptions& options) {
  session.options = options;
  session.player = standinPlayerPed();
  session.peds.push_back({session.player, false, false});
  session.lastAdded = session.player;
  session.file = viewSettings();
  for (const Step& step : steps) {
    playStep(step);
    if (!session.result.mistake.empty()) {
      tellStep("session stopped at " + session.result.mistake);
      releaseSettings();
      return session.result;
    }
  }
  tellSummary(summary());
  releaseSettings();
  return session.result;
}
