// The native soak: a million frames in the all-peds mode over 256 peds, with keys arriving from
// another thread, the settings file rewritten every few thousand frames, and both clocks taken
// across their 32-bit wrap. Over the long run: memory stays flat, every switch of protection posts
// its one notice, every pass waits once, and the settings as last written hold.
// Usage: quillmere-soak [FRAMES]   (default 1,000,000; run by `make test` and `make soak`)
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "common/settings.h"
#include "tests/settings_model.h"
#include "tools/standin/standin.h"

namespace {

int failures = 0;

// Prints the first 20 failures and counts the rest; a million frames could print a million lines.
#define CHECK(condition)                                                           \
  do {                                                                             \
    if (!(condition) && ++failures <= 20) {                                        \
      std::printf("FAILED %s:%d: %s (frame %d)\n", __FILE__, __LINE__, #condition, \
                  standinFrameNumber());                                           \
    }                                                                              \
  } while (0)

constexpr int32_t kPeds = 256;
constexpr int32_t kFrameMs = 16;
constexpr int32_t kRewriteEvery = 3000;  // frames; about 48 s of game time
// The log numbers its calls in 32 bits; cleared now and then, as the runner does every frame.
constexpr int32_t kClearCallsEvery = 100000;

// What one rewrite of the settings file says. Each rewrite changes one of the three; the keybind
// and the all-peds mode are each off for one stretch in five, so most frames protect every ped.
struct Written {
  bool keybindEnabled;
  const char* keyName;
  uint32_t toggleKey;
  bool affectAllPeds;
};

struct KeyChoice {
  const char* name;  // as written, blanks and all
  uint32_t code;
};
constexpr KeyChoice kToggleKeys[] = {{"VK_F3", 114}, {" VK_F5 ", 116}, {"VK_TAB", 9}};

Written nextSettings(const Written& previous, int32_t rewrite) {
  Written next = previous;
  switch (rewrite % 5) {
    case 0: {
      const KeyChoice& key = kToggleKeys[(rewrite / 5) % 3];
      next.keyName = key.name;
      next.toggleKey = key.code;
      break;
    }
    case 1:
    case 2:
      next.keybindEnabled = !next.keybindEnabled;
      break;
    default:
      next.affectAllPeds = !next.affectAllPeds;
      break;
  }
  return next;
}

void writeSettings(const Written& s, int32_t rewrite) {
  // Upper case now and then: the reader lower-cases booleans.
  const char* yes = rewrite % 2 == 0 ? "true" : "TRUE";
  std::FILE* file = std::fopen(model::kFileName, "wb");
  if (file == nullptr) {
    CHECK(!"the settings file could not be written");
    return;
  }
  std::fprintf(file,
               "# rewrite %d\r\n[Keybind]\r\nenabled=%s\r\ntoggle-key=%s\r\n\r\n[Optional]\r\n"
               "affect-all-peds=%s",
               rewrite, s.keybindEnabled ? yes : "false", s.keyName,
               s.affectAllPeds ? yes : "false");
  std::fclose(file);
}

// Counted from the page tables: the kernel's running count (statm, VmRSS) is kept per CPU and
// can be off by more than the two pages this soak allows.
long residentKib() {
  long kib = 0;
  if (std::FILE* rollup = std::fopen("/proc/self/smaps_rollup", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, rollup) != nullptr) {
      if (std::sscanf(line, "Rss: %ld kB", &kib) == 1) {
        break;
      }
    }
    std::fclose(rollup);
  }
  return kib;
}

// What the frames tell the typist: the toggle key last written, and whether protection is on.
struct Shared {
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> toggleKey{114};
  std::atomic<bool> protectionOn{true};
  std::atomic<int64_t> sent{0};
};

void send(Shared& shared, uint32_t key, int32_t up) {
  standinKeyEvent(key, up);
  shared.sent.fetch_add(1, std::memory_order_relaxed);
}

// Key events from a thread of its own, as the game's window procedure reports them while the
// script runs: keys that never toggle all the time, and a tap of the toggle key now and then, or
// soon after protection went off, so that protection is on most of the time.
void typeUntilStopped(Shared& shared) {
  const uint32_t others[] = {65, 300, 0, 254, 114, 116, 9};
  for (uint32_t round = 0; !shared.stop.load(); ++round) {
    uint32_t toggleKey = shared.toggleKey.load();
    for (uint32_t key : others) {
      if (key != toggleKey) {
        send(shared, key, static_cast<int32_t>(round % 2));
      }
    }
    if (round % 20 == 0 || !shared.protectionOn.load()) {
      send(shared, toggleKey, 0);
      send(shared, toggleKey, 1);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// What the frames have seen so far.
struct Run {
  int32_t player = 0;
  int32_t probe = 0;  // a living ped other than the player: shows the all-peds mode
  Written written = {true, "VK_F3", 114, true};
  int32_t rewrites = 0;
  bool active = true;  // protection as the host saw it in the latest frame
  int32_t noticesSeen = 0;
  int64_t activeFrames = 0;
  int64_t allPedsFrames = 0;
  int64_t stateChanges = 0;
};

// Clears the call log once it has wrapped, checking that it held just its capacity.
void clearCallLog() {
  int32_t count = standinCallCount();
  StandinCall call = {};
  CHECK(count > kStandinCallLogCapacity);
  CHECK(standinCallAt(count - kStandinCallLogCapacity - 1, &call) == 0);
  CHECK(standinCallAt(count - kStandinCallLogCapacity, &call) == 1);
  standinClearCalls();
}

void runFrame(Run& run, Shared& shared, int32_t frame) {
  if (frame % kRewriteEvery == 0) {
    run.written = nextSettings(run.written, ++run.rewrites);
    writeSettings(run.written, run.rewrites);
    shared.toggleKey.store(run.written.toggleKey);
  }
  if (frame % kClearCallsEvery == 0) {
    clearCallLog();
  }
  int64_t playerBefore = standinProtectedFrames(run.player);
  int64_t probeBefore = standinProtectedFrames(run.probe);
  standinRunFrames(1);
  bool protectedNow = standinProtectedFrames(run.player) > playerBefore;
  bool probeNow = standinProtectedFrames(run.probe) > probeBefore;

  // One notice exactly when protection switched, saying which way.
  bool switched = protectedNow != run.active;
  CHECK(standinNoticeCount() - run.noticesSeen == (switched ? 1 : 0));
  for (; run.noticesSeen < standinNoticeCount(); ++run.noticesSeen) {
    StandinNotice notice = {};
    CHECK(standinNoticeAt(run.noticesSeen, &notice) == 1);
    CHECK(std::strstr(notice.message, run.noticesSeen % 2 == 0 ? "disabled" : "enabled") !=
          nullptr);
  }
  run.stateChanges += switched ? 1 : 0;
  run.active = protectedNow;
  shared.protectionOn.store(protectedNow);
  run.activeFrames += protectedNow ? 1 : 0;
  run.allPedsFrames += probeNow ? 1 : 0;
  CHECK(settings.active == protectedNow);

  // The settings as last written hold once a reload has had time to read them (5 s and a frame).
  if (frame % kRewriteEvery == model::kReloadIntervalMs / kFrameMs + 2) {
    CHECK(settings.keybindEnabled == run.written.keybindEnabled);
    CHECK(settings.toggleKey == run.written.toggleKey);
    CHECK(settings.affectAllPeds == run.written.affectAllPeds);
  }
  CHECK(probeNow == (protectedNow && settings.affectAllPeds));
}

void soak(int32_t frames) {
  Run run;
  writeSettings(run.written, 0);
  standinResetAll();
  run.player = standinPlayerPed();
  for (int32_t i = 1; i < kPeds; ++i) {
    int32_t ped = standinAddPed(i % 16 == 0 ? 0 : 1);
    run.probe = i == 1 ? ped : run.probe;
  }
  standinSetFrameMs(kFrameMs);
  // Both clocks wrap halfway through (the game timer) and a third of the way (the tick count).
  int32_t startGameTime = INT32_MAX - frames / 2 * kFrameMs;
  uint32_t startTickCount = UINT32_MAX - static_cast<uint32_t>(frames / 3 * kFrameMs);
  standinSetGameTime(startGameTime);
  standinSetTickCount(startTickCount);
  CHECK(standinLoadPlugin("Quillmere.asi") == 1);

  Shared shared;
  std::thread typist(typeUntilStopped, std::ref(shared));
  // Measured once unused: the first reading itself costs the process a few pages.
  long earlyKib = residentKib();
  long lateKib = 0;
  auto start = std::chrono::steady_clock::now();
  for (int32_t frame = 1; frame <= frames; ++frame) {
    runFrame(run, shared, frame);
    if (frame == frames / 10) {
      earlyKib = residentKib();
    }
  }
  lateKib = residentKib();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  shared.stop.store(true);
  typist.join();

  std::printf("%d frames over %d peds in %.1f s: %.0f frames per second\n", frames, kPeds, seconds,
              frames / seconds);
  std::printf("resident memory after %d frames: %ld KiB; at the end: %ld KiB\n", frames / 10,
              earlyKib, lateKib);
  std::printf("protection on in %lld frames, %lld of them over all living peds\n",
              static_cast<long long>(run.activeFrames), static_cast<long long>(run.allPedsFrames));
  std::printf("%lld key events sent; %d notices, %lld changes of protection\n",
              static_cast<long long>(shared.sent.load()), standinNoticeCount(),
              static_cast<long long>(run.stateChanges));
  std::printf("%d rewrites of the settings file\n", run.rewrites);
  std::printf("game timer from %d to %d ms, tick count from %u to %u ms\n", startGameTime,
              standinGameTime(), startTickCount,
              startTickCount + static_cast<uint32_t>(frames * kFrameMs));
  std::printf("stand-in log: %lld native calls, at most %d calls held; %d notices, %d held\n",
              static_cast<long long>(standinNativeCallTotal()), kStandinCallLogCapacity,
              standinNoticeCount(), std::min(standinNoticeCount(), kStandinNoticeLogCapacity));

  long pageKib = sysconf(_SC_PAGESIZE) / 1024;
  CHECK(lateKib - earlyKib <= 2 * pageKib && earlyKib - lateKib <= 2 * pageKib);
  CHECK(standinNoticeCount() == run.stateChanges);
  CHECK(standinWaitCount() == frames);
  CHECK(standinGameTime() < startGameTime);  // the timer went past its wrap
  CHECK(standinCallsOutsideScript() == 0);
  StandinNotice notice = {};
  CHECK(standinNoticeCount() <= kStandinNoticeLogCapacity ||
        standinNoticeAt(standinNoticeCount() - kStandinNoticeLogCapacity - 1, &notice) == 0);
  standinUnloadPlugin();
}

}  // namespace

int main(int argc, char** argv) {
  // A whole number, every byte a digit: "40000abc" and "" are refused, not read as 40000 and 0.
  char* end = nullptr;
  const long frames = argc > 1 ? std::strtol(argv[1], &end, 10) : 1000000;
  const bool whole = argc < 2 || (argv[1][0] >= '0' && argv[1][0] <= '9' && *end == '\0');
  if (argc > 2 || !whole || frames < 10 * kRewriteEvery || frames > INT32_MAX / kFrameMs) {
    std::fprintf(stderr, "usage: quillmere-soak [FRAMES], FRAMES from %d to %d\n",
                 10 * kRewriteEvery, INT32_MAX / kFrameMs);
    return 2;
  }
  // A directory of the run's own for the settings file, in TMPDIR when it is set.
  std::error_code noTmpdir;
  std::string pattern =
      (std::filesystem::temp_directory_path(noTmpdir) / "quillmere-soak-XXXXXX").string();
  if (noTmpdir || mkdtemp(pattern.data()) == nullptr) {
    std::perror(pattern.c_str());
    return 2;
  }
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(pattern);
  soak(static_cast<int32_t>(frames));
  std::filesystem::current_path(previous);
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  std::printf("soak: %s\n", failures == 0 ? "passed" : "FAILED");
  return failures == 0 ? 0 : 1;
}
