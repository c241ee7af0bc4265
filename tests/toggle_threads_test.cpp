// Key events from another thread while passes run: every toggle posts its notice in its pass, and
// protection keeps in step with it (under ThreadSanitizer too, which the soak does not run under).
#include <atomic>
#include <chrono>
#include <thread>

#include "common/settings.h"
#include "input/keys.h"
#include "tests/plugin_fixture.h"
#include "tests/toggle_cases.h"

using namespace toggle_cases;

namespace {

// Presses and releases of the toggle key racing the passes: however they interleave, every toggle
// posts its notice in its pass, and each pass protects exactly when protection is on after it.
TEST_F(ToggleTest, TogglesRacingThePassesKeepNoticesAndProtectionInStep) {
  loadAndStart();
  std::atomic<bool> stop{false};
  std::atomic<int64_t> sent{0};
  std::thread typist([&] {
    for (uint32_t i = 0; !stop.load(std::memory_order_relaxed); ++i) {
      uint32_t key = i % 4 == 3 ? 65 + i % 26 : kF3;
      standinKeyEvent(key, static_cast<int32_t>(i % 2));
      sent.fetch_add(1, std::memory_order_relaxed);
      // It gives way just after a release of the toggle key, so that passes which run while it is
      // off the processor find a release to act on.
      if (i % 64 == 1) {
        std::this_thread::yield();
      }
    }
  });
  // Frames run in short batches, each only once the typist has sent a few more events, so that
  // fresh events reach the passes however the threads are scheduled on a busy machine; until a few
  // toggles have been seen, or the frames near the capacity of the call log, which the checks below
  // read. A typist that stops getting its events through fails on the clock rather than hanging.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (notices().size() < 10 && standinFrameNumber() < 3000 &&
         std::chrono::steady_clock::now() < deadline) {
    const int64_t awaited = sent.load() + 8;
    while (sent.load() < awaited && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    standinRunFrames(20);
  }
  stop.store(true);
  typist.join();
  ASSERT_GE(notices().size(), 2u) << "no key event reached a pass while " << standinFrameNumber()
                                  << " frames ran; the typist sent " << sent.load();

  std::vector<StandinNotice> posted = notices();
  expectAlternatingNotices(posted);
  bool active = true;
  int64_t activeFrames = 0;
  size_t next = 0;
  for (int32_t frame = 1; frame <= standinFrameNumber(); ++frame) {
    if (next < posted.size() && posted[next].frame == frame) {
      active = !active;
      ++next;
    }
    ASSERT_TRUE(next == posted.size() || posted[next].frame != frame)
        << "two notices in frame " << frame;
    EXPECT_EQ(hatSetIn(frame), active) << "frame " << frame;
    activeFrames += active ? 1 : 0;
  }
  EXPECT_EQ(next, posted.size());
  EXPECT_EQ(settings.active, active);
  EXPECT_EQ(standinProtectedFrames(standinPlayerPed()), activeFrames);
}

}  // namespace
