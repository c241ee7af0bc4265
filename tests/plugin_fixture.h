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
  return native(hashes::kIsPedDeadOrDying, {zeroExtended(ped), 1});
}
inline ExpectedCall protect(int32_t ped) {
  return native(hashes::kSetPedResetFlag, {zeroExtended(ped), kStandinHatFlag, 1});
}
}  // namespace expect

// Checks that `frame` made exactly these calls, in this order, all from the script.
void expectFrameCalls(int32_t frame, const std::vector<ExpectedCall>& expected);
