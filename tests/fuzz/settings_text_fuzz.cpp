// Fuzzing the settings line rules in memory: any bytes, applied as settings text as they stand
// and placed across the read limit, must set exactly what the plain model sets. No file is
// touched, so it runs fast enough to matter.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "config/settings_reader.h"
#include "tests/fuzz/settings_judging.h"
#include "tests/settings_model.h"

namespace {

void judge(std::string_view text, size_t size) {
  const Settings start = fuzz::startFor(size);
  Settings expected = start;
  model::applyText(text, expected);
  settings = start;
  applySettingsText(text.data(), text.size());
  if (!model::same(settings, expected)) {
    fuzz::printMismatch("applySettingsText", settings, expected);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  judge(input, size);
  judge(fuzz::aroundTheReadLimit(input), size + 1);
  return 0;
}
