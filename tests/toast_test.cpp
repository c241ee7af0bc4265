// The toggle notice as the game receives it: the two records, their strings and hashes, and the
// order of the native calls that build and post them.
#include <iterator>
#include <string>

#include "common/settings.h"
#include "protection/toast.h"
#include "tests/plugin_fixture.h"

namespace {

// Name hashes computed independently of the plug-in and the stand-in, with a few lines of Python
// implementing Jenkins' one-at-a-time over the lower-cased name.
constexpr uint32_t kHashMenuTextures = 0x482A01D2;
constexpr uint32_t kHashMenuIconHolster = 0x337376EF;
constexpr uint32_t kHashColorWhite = 0x41DD2EAF;

std::string stringAt(uint64_t address) {
  return address == 0 ? "<null>" : std::string(reinterpret_cast<const char*>(address));
}

// Leaves junk in the stack below the caller, where the next call's records will be built.
__attribute__((noinline)) void dirtyStack() {
  volatile uint64_t junk[1024];
  for (volatile uint64_t& slot : junk) {
    slot = 0xA5A5A5A5A5A5A5A5ull;
  }
}

using ToastTest = PluginTest;

// One release of F3 and the frame that sees it: the notice exactly as the game is handed it.
TEST_F(ToastTest, ATogglePostsBothRecordsExactlyAsTheGameReadsThem) {
  loadAndStart();
  standinKeyEvent(kDefaultToggleKey, 0);
  standinKeyEvent(kDefaultToggleKey, 1);
  standinRunFrames(1);
  int32_t frame = standinFrameNumber();

  // The whole frame, natives in order: reload check, the notice's calls, and no protection.
  std::vector<StandinCall> calls;
  for (const StandinCall& call : callsInFrame(frame)) {
    if (call.kind == kStandinNative) {
      calls.push_back(call);
    }
  }
  const uint64_t expectedOrder[] = {hashes::kGetGameTimer,         hashes::kCreateVarString,
                                    hashes::kCreateVarString,      hashes::kGetHashKey,
                                    hashes::kGetHashKey,           hashes::kGetHashKey,
                                    hashes::kUiFeedPostSampleToast};
  ASSERT_EQ(calls.size(), std::size(expectedOrder));
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].hash, expectedOrder[i]) << "call " << i;
  }

  const char* texts[] = {"Quillmere", "Script has been ~COLOR_RED~disabled~s~"};
  for (size_t i = 0; i < 2; ++i) {
    const StandinCall& call = calls[1 + i];
    ASSERT_EQ(call.argCount, 3);
    EXPECT_EQ(call.args[0], 10u);
    EXPECT_EQ(stringAt(call.args[1]), "LITERAL_STRING");
    EXPECT_EQ(stringAt(call.args[2]), texts[i]);
  }
  const char* names[] = {"menu_textures", "menu_icon_holster", "COLOR_WHITE"};
  for (size_t i = 0; i < 3; ++i) {
    ASSERT_EQ(calls[3 + i].argCount, 1);
    EXPECT_EQ(stringAt(calls[3 + i].args[0]), names[i]);
  }
  const StandinCall& post = calls[6];
  ASSERT_EQ(post.argCount, 4);
  EXPECT_NE(post.args[0], 0u);
  EXPECT_NE(post.args[1], 0u);
  EXPECT_NE(post.args[0], post.args[1]);
  EXPECT_EQ(post.args[2], 1u);
  EXPECT_EQ(post.args[3], 1u);

  std::vector<StandinNotice> posted = notices();
  ASSERT_EQ(posted.size(), 1u);
  const StandinNotice& notice = posted[0];
  EXPECT_EQ(notice.frame, frame);

  EXPECT_EQ(notice.options[0], 3000u);
  EXPECT_EQ(stringAt(notice.options[1]), "HUD_TOASTS");
  EXPECT_EQ(stringAt(notice.options[2]), "Toast_On");
  for (size_t slot = 3; slot < 13; ++slot) {
    EXPECT_EQ(notice.options[slot], 0u) << "options slot " << slot;
  }

  // The stand-in's text handles carry high bits: they must arrive whole.
  ASSERT_EQ(calls[1].result >> 48, kStandinTextHandleBase >> 48);
  ASSERT_EQ(calls[2].result >> 48, kStandinTextHandleBase >> 48);
  EXPECT_EQ(notice.content[0], 0u);
  EXPECT_EQ(notice.content[1], calls[1].result);
  EXPECT_EQ(notice.content[2], calls[2].result);
  EXPECT_EQ(notice.content[3], 0u);
  // Hash results come back with junk in the high half; only the low 32 bits belong in the slot.
  EXPECT_EQ(notice.content[4], uint64_t{kHashMenuTextures});
  EXPECT_EQ(notice.content[5], uint64_t{kHashMenuIconHolster});
  EXPECT_EQ(notice.content[6], uint64_t{kHashColorWhite});
  EXPECT_EQ(notice.extraArgs[0], 1u);
  EXPECT_EQ(notice.extraArgs[1], 1u);

  EXPECT_STREQ(notice.title, "Quillmere");
  EXPECT_STREQ(notice.message, "Script has been ~COLOR_RED~disabled~s~");
}

TEST_F(ToastTest, ZeroSlotsStayZeroWhateverTheStackHeldBefore) {
  const char* messages[] = {kDisabledMessage, kEnabledMessage, "", "~s~"};
  int32_t expectedResult = 0;
  for (const char* message : messages) {
    dirtyStack();
    // The stand-in answers the running count of notices, with junk in the high half.
    EXPECT_EQ(showToggleToast(message), ++expectedResult);
  }
  std::vector<StandinNotice> posted = notices();
  ASSERT_EQ(posted.size(), std::size(messages));
  for (size_t i = 0; i < posted.size(); ++i) {
    const StandinNotice& notice = posted[i];
    EXPECT_STREQ(notice.message, messages[i]);
    EXPECT_STREQ(notice.title, "Quillmere");
    EXPECT_EQ(notice.options[0], 3000u);
    for (size_t slot = 3; slot < 13; ++slot) {
      EXPECT_EQ(notice.options[slot], 0u) << "notice " << i << " options slot " << slot;
    }
    EXPECT_EQ(notice.content[0], 0u) << "notice " << i;
    EXPECT_EQ(notice.content[3], 0u) << "notice " << i;
    EXPECT_EQ(notice.content[6], uint64_t{kHashColorWhite}) << "notice " << i;
  }
}

}  // namespace
