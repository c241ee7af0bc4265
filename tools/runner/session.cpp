// Playing a scenario against the loaded plug-in: its steps, each driving the stand-in host or the
// settings file, its expectations, and the summary; the frames themselves are in frame.cpp.

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "tools/runner/session_state.h"
#include "tools/standin/standin.h"

Session session;

namespace {

// Set by Ctrl-C, from a thread of its own; `wakeUp` ends a sleep step early.
std::atomic<bool> interrupted{false};
HANDLE wakeUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);

// The frame under way and when it began, on the runner's clock; 0: none.
std::atomic<int32_t> frameWatched{0};
std::atomic<uint64_t> frameSince{0};

// A plug-in whose script never gives control back holds the runner's only thread. The process is
// ended outright: a normal exit would run the plug-in's detach while its script holds the frame.
DWORD WINAPI watchdog(void* /*unused*/) {
  for (;; Sleep(100)) {
    const uint64_t since = frameSince;
    if (since != 0 && GetTickCount64() - since > 10000) {
      refuse("frame " + std::to_string(frameWatched) +
             ": the plug-in's script did not give control back within 10 s of real time; the "
             "session is ended");
      std::fflush(stdout);
      reportStatus(2);
      TerminateProcess(GetCurrentProcess(), 2);
    }
  }
}

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

void fileStep(const Step& step, const std::string& wrong, const std::string& told) {
  session.file = viewSettings();
  if (!wrong.empty()) {
    stop(step, wrong);
    return;
  }
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
  const FileView now =
      viewSettings(std::max(kKeptBytes, lastWritten ? lastWritten->size() + 1 : 0));
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
                         : std::to_string(now.bytes.size()) + " bytes of other content" +
                           (now.bytes.size() == kKeptBytes ? " and more" : ""));
}

void playStep(const Step& step) {
  switch (step.command) {
    case Command::kFrames:
      for (int64_t i = 0; i < step.number && !interrupted; ++i) {
        runFrame();
      }
      return;
    case Command::kFrameMs:
      standinSetFrameMs(static_cast<int32_t>(step.number));
      return tellStep("each frame now " + std::to_string(step.number) + " ms of game time");
    case Command::kAdvanceGameTime: {
      auto ms = static_cast<int32_t>(step.number);
      standinSetGameTime(static_cast<int32_t>(static_cast<uint32_t>(standinGameTime()) + ms));
      return tellStep("game time moved on " + seconds(ms) + " to " + seconds(standinGameTime()));
    }
    case Command::kSleep:
      if (WaitForSingleObject(wakeUp, static_cast<DWORD>(step.number)) != WAIT_OBJECT_0) {
        tellStep(std::to_string(step.number) + " ms of real time passed");
      }
      return;
    case Command::kPress:
    case Command::kRelease:
    case Command::kTap:
      return keyStep(step);
    case Command::kAddPeds:
      return addPeds(step);
    case Command::kKillPed:
    case Command::kRevivePed:
    case Command::kRemovePed:
      return pedStep(step);
    case Command::kWriteSettings:
      session.edits.push_back({kNewFile, standinGameTime()});
      return fileStep(step, writeSettingsFile(step.text),
                      "Quillmere.ini written (" + std::to_string(step.text.size()) + " bytes)");
    case Command::kEditSettings:
      session.edits.push_back({step.text, standinGameTime()});
      return fileStep(step, editSettingsFile(step.text),
                      "Quillmere.ini edited: " + escaped(step.text));
    case Command::kDeleteSettings:
      return fileStep(step, deleteSettingsFile(), "Quillmere.ini deleted");
    case Command::kSettingsDirectory:
      return fileStep(step, makeSettingsDirectory(), "Quillmere.ini is now a directory");
    case Command::kLockSettings:
      return fileStep(step, holdSettings(false), "Quillmere.ini held open with no sharing");
    case Command::kDenyReadingSettings:
      return fileStep(step, holdSettings(true), "Quillmere.ini held open, shared for writing only");
    case Command::kUnlockSettings:
      return fileStep(step, releaseSettings(), "Quillmere.ini released");
    case Command::kExpectNotices:
      return expect(step, standinNoticeCount() == step.number,
                    std::to_string(standinNoticeCount()));
    case Command::kExpectLastNotice:
      return expect(step, standinNoticeCount() > 0 && session.lastNotice == step.text,
                    standinNoticeCount() > 0 ? quoted(session.lastNotice) : "no notice");
    case Command::kExpectProtected:
      return expectProtected(step);
    case Command::kExpectSettingsFile:
      return expectSettingsFile(step);
    case Command::kExpectFileWrites:
      return expect(step, session.pluginWrites == step.number,
                    std::to_string(session.pluginWrites));
  }
}

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

BOOL WINAPI interruptSession(DWORD /*event*/) {
  interrupted = true;
  SetEvent(wakeUp);
  return TRUE;
}

void watchFrame(int32_t frame) {
  frameWatched = frame;
  frameSince = frame != 0 ? GetTickCount64() : 0;
}

std::wstring fullPath(const std::wstring& path) {
  std::wstring full(32768, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), 32768, full.data(), nullptr));
  return full.empty() ? path : full;
}

std::string utf8(const std::wstring& text) {
  auto size = static_cast<int>(text.size());
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), length, nullptr, nullptr);
  return out;
}

int playSession(const std::wstring& plugin, const std::vector<Step>& steps) {
  standinResetWorld();
  CloseHandle(CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr));
  const FileView before = viewSettings();
  if (standinLoadPlugin(utf8(plugin).c_str()) == 0) {
    return refuse("cannot load the plug-in (error " + std::to_string(GetLastError()) + ")");
  }
  watchCalls(GetModuleHandleW(plugin.c_str()), fullPath(kSettingsName));
  session.file = viewSettings();
  tellRegistrations("attach", 0);
  tellChanges(0);
  if (before.exists != session.file.exists || before.bytes != session.file.bytes) {
    tellStep(
        "Quillmere.ini changed while the plug-in loaded, before the runner watched its calls: by "
        "its entry point, or by another program");
  }
  if (!standinScriptRegistered()) {
    standinUnloadPlugin();
    return refuse("the plug-in registered no script when loaded: it is not a plug-in of this host");
  }
  session.player = standinPlayerPed();
  session.peds.push_back({session.player, false, false});
  session.lastAdded = session.player;
  for (size_t i = 0; i < steps.size() && session.mistake.empty() && !interrupted; ++i) {
    playStep(steps[i]);
    tellChanges(0);
  }
  tellLines(interrupted               ? ""
            : session.mistake.empty() ? summary()
                                      : "  session stopped at " + session.mistake + "\n");
  releaseSettings();
  const int32_t events = standinHostEventCount();
  standinUnloadPlugin();
  std::printf("\n");
  tellRegistrations("detach", events);
  tellChanges(0);
  if (interrupted) {
    refuse("interrupted; the session is ended");
    return 130;
  }
  if (!session.mistake.empty()) {
    return refuse(session.mistake);
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
