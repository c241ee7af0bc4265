// Fuzzing the settings line rules: any bytes, applied as settings text as they stand and placed
// across the read limit, must set exactly what the plain model of the rules sets.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "config/settings_reader.h"
#include "tests/settings_model.h"

namespace {

// The input behind a line without a key, so that one of its bytes stands near the end of what a
// load reads: for a quarter of the sizes each, the first '=' (its key cut or not), CR, LF or
// Ctrl-Z, or else a byte the size picks, at one of the bytes 65,535 to 65,538. libFuzzer's own
// inputs stay far shorter than the limit.
std::string aroundTheReadLimit(std::string_view input) {
  if (input.empty()) {
    return std::string(model::kReadLimit, '#');
  }
  const char kinds[] = {'=', '\r', '\n', '\x1a'};
  size_t chosen = input.find(kinds[input.size() % 4]);
  if (chosen == std::string_view::npos) {
    chosen = input.size() * 7 / 8;
  }
  const size_t at = model::kReadLimit - 2 + input.size() / 4 % 4;
  return std::string(at - chosen - 1, '#') + "\n" + std::string(input);
}

// Starting values that vary with the input, so that a field wrongly set or wrongly kept shows
// either way; toggle keys no file can name.
void judge(std::string_view text, size_t size) {
  const Settings start = {(size & 1) != 0, 1000 + static_cast<uint32_t>(size % 7), (size & 2) != 0,
                          (size & 4) != 0};
  Settings expected = start;
  model::applyText(text, expected);
  settings = start;
  applySettingsText(text.data(), text.size());
  if (!model::same(settings, expected)) {
    std::fprintf(stderr, "got enabled %d key %u all-peds %d, the model says %d %u %d\n",
                 settings.keybindEnabled, settings.toggleKey, settings.affectAllPeds,
                 expected.keybindEnabled, expected.toggleKey, expected.affectAllPeds);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  judge(input, size);
  judge(aroundTheReadLimit(input), size + 1);
  return 0;
}
