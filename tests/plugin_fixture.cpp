// The per-test setup shared by the unit tests.
#include "tests/plugin_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/settings.h"
#include "config/settings_file.h"
#include "input/keys.h"
#include "tests/settings_model.h"

void PluginTest::SetUp() {
  standinUnloadPlugin();
  standinResetAll();
  // The plug-in's values as a freshly loaded library has them: natively it is never unloaded.
  settings = Settings{};
  lastLoadTime = 0;
  for (KeyRecord& record : keyTable) {
    record.stampMs = 0;
    record.fifthArg = 0;
    record.sixthArg = 0;
    record.upFlag = 0;
  }
  previousDir_ = std::filesystem::current_path().string();
  // In TMPDIR when it is set, as temp_directory_path() reads it; /tmp otherwise.
  std::error_code noTmpdir;
  std::string pattern =
      (std::filesystem::temp_directory_path(noTmpdir) / "quillmere-test-XXXXXX").string();
  ASSERT_FALSE(noTmpdir) << "TMPDIR is no directory: " << noTmpdir.message();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr) << pattern;
  workDir_ = pattern;
  std::filesystem::current_path(workDir_);
}

void PluginTest::TearDown() {
  standinUnloadPlugin();
  standinResetAll();
  std::filesystem::current_path(previousDir_);
  std::error_code ignored;
  std::filesystem::permissions(workDir_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(workDir_, ignored);
}

void PluginTest::load() {
  ASSERT_EQ(standinLoadPlugin("Quillmere.asi"), 1);
}

void PluginTest::loadAndStart() {
  load();
  standinRunFrames(1);
}

std::vector<StandinCall> PluginTest::callsInFrame(int32_t frame) {
  std::vector<StandinCall> calls;
  StandinCall call;
  int32_t count = standinCallCount();
  // The log keeps only the latest calls; older frames have nothing left to show.
  for (int32_t i = std::max(0, count - kStandinCallLogCapacity); i < count; ++i) {
    if (standinCallAt(i, &call) != 0 && call.frame == frame) {
      calls.push_back(call);
    }
  }
  return calls;
}

std::vector<uint64_t> PluginTest::nativeHashesInFrame(int32_t frame) {
  std::vector<uint64_t> found;
  for (const StandinCall& call : callsInFrame(frame)) {
    if (call.kind == kStandinNative) {
      found.push_back(call.hash);
    }
  }
  return found;
}

std::vector<StandinNotice> PluginTest::notices() {
  std::vector<StandinNotice> found;
  StandinNotice notice;
  int32_t count = standinNoticeCount();
  for (int32_t i = std::max(0, count - kStandinNoticeLogCapacity); i < count; ++i) {
    if (standinNoticeAt(i, &notice) != 0) {
      found.push_back(notice);
    }
  }
  return found;
}

void PluginTest::writeFile(const std::string& bytes) {
  std::ofstream out(model::kFileName, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool PluginTest::readFile(std::string* bytes) {
  std::ifstream in(model::kFileName, std::ios::binary);
  if (!in) {
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool PluginTest::fileExists() {
  return std::filesystem::exists(model::kFileName);
}

void expectFrameCalls(int32_t frame, const std::vector<ExpectedCall>& expected) {
  std::vector<StandinCall> calls = PluginTest::callsInFrame(frame);
  ASSERT_EQ(calls.size(), expected.size()) << "calls in frame " << frame;
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "call " << i << " of frame " << frame);
    EXPECT_EQ(calls[i].kind, expected[i].kind);
    EXPECT_EQ(calls[i].hash, expected[i].hash);
    ASSERT_EQ(calls[i].argCount, static_cast<int32_t>(expected[i].args.size()));
    for (size_t a = 0; a < expected[i].args.size(); ++a) {
      EXPECT_EQ(calls[i].args[a], expected[i].args[a]) << "argument " << a;
    }
    EXPECT_EQ(calls[i].inScript, 1);
  }
}
