// A fresh stand-in host, fresh plug-in state and a working directory of its own for every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/standin/standin.h"

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 public:
  // Loads the plug-in (attach) with the clocks as the test left them.
  void load();
  // Loads the plug-in and runs the first frame, in which the script starts and loads settings.
  void loadAndStart();

  // Every call the host saw in `frame`, in order.
  static std::vector<StandinCall> callsInFrame(int32_t frame);
  // The same, natives only, as their hashes.
  static std::vector<uint64_t> nativeHashesInFrame(int32_t frame);
  static std::vector<StandinNotice> notices();

  // The settings file in the test's working directory.
  static void writeFile(const std::string& bytes);
  static bool readFile(std::string* bytes);
  static bool fileExists();

 private:
  std::string workDir_;
  std::string previousDir_;
};

// The native's hashes, named, so test expectations read like the game's script.
namespace hashes {
constexpr uint64_t kGetGameTimer = 0x4F67E8ECA7D3F667;
constexpr uint64_t kPlayerPedId = 0x096275889B8E0EE0;
constexpr uint64_t kDoesEntityExist = 0xD42BD6EB2E0F1677;
constexpr uint64_t kIsEntityDead = 0x3317DEDB88C95038;
constexpr uint64_t kSetPedConfigFlag = 0xC1E8A365BF3B29F2;
constexpr uint64_t kCreateVarString = 0xFA925AC00EB830B9;
constexpr uint64_t kGetHashKey = 0xFD340785ADF8CFB7;
constexpr uint64_t kUiFeedPostSampleToast = 0x26E87218390E6729;
}  // namespace hashes

// A 32-bit value as it must stand in a 64-bit argument slot.
inline uint64_t zeroExtended(int32_t value) {
  return static_cast<uint32_t>(value);
}

// One call a frame is expected to make: a native with its arguments, the ped enumeration, or the
// wait; and the builders that make the expectations read like the frame they describe.
struct ExpectedCall {
  int32_t kind;
  uint64_t hash;
  std::vector<uint64_t> args;
};

namespace expect {
inline ExpectedCall native(uint64_t hash, std::vector<uint64_t> args = {}) {
  return {kStandinNative, hash, std::move(args)};
}
inline ExpectedCall enumeration() {
  return {kStandinEnumeration, 0, {256}};
}
inline ExpectedCall wait0() {
  return {kStandinWait, 0, {0}};
}
inline ExpectedCall gameTimer() {
  return native(hashes::kGetGameTimer);
}
inline ExpectedCall playerPed() {
  return native(hashes::kPlayerPedId);
}
inline ExpectedCall exists(int32_t ped) {
  return native(hashes::kDoesEntityExist, {zeroExtended(ped)});
}
inline ExpectedCall deadCheck(int32_t ped) {
  return native(hashes::kIsEntityDead, {zeroExtended(ped), 1});
}
inline ExpectedCall protect(int32_t ped) {
  return native(hashes::kSetPedConfigFlag, {zeroExtended(ped), 245, 1});
}
}  // namespace expect

// Checks that `frame` made exactly these calls, in this order, all from the script.
void expectFrameCalls(int32_t frame, const std::vector<ExpectedCall>& expected);
