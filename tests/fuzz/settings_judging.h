// What the settings fuzz targets share besides the model: where each input stands in the text and
// what settings it starts from, and how a mismatch is reported before the target aborts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "tests/settings_model.h"

namespace fuzz {

// Starting values that vary with the input, so that a field wrongly set or wrongly kept shows
// either way; toggle keys no file can name.
inline Settings startFor(size_t size) {
  return {(size & 1) != 0, 1000 + static_cast<uint32_t>(size % 7), (size & 2) != 0,
          (size & 4) != 0};
}

// The input behind a line without a key, so that one of its bytes stands near the end of what a
// load reads: for a quarter of the sizes each, the first '=' (its key cut or not), CR, LF or
// Ctrl-Z, or else a byte the size picks, at one of the bytes 65,535 to 65,538. libFuzzer's own
// inputs stay far shorter than the limit.
inline std::string aroundTheReadLimit(std::string_view input) {
  if (input.empty()) {
    return std::string(model::kReadLimit, '#');
  }
  const char kinds[] = {'=', '\r', '\n', '\x1a'};
  size_t chosen = input.find(kinds[input.size() % 4]);
  if (chosen == std::string_view::npos) {
    chosen = input.size() * 7 / 8;
  }
  // The chosen byte's index in the text: the limit's last byte, give or take.
  const size_t at = model::kReadLimit - 2 + input.size() / 4 % 4;
  const size_t padding = at - chosen;  // at least 60,000: the inputs are short
  return std::string(padding - 1, '#') + "\n" + std::string(input);
}

inline void printMismatch(const char* what, const Settings& got, const Settings& expected) {
  std::fprintf(stderr,
               "%s: got enabled %d key %u all-peds %d active %d, "
               "expected enabled %d key %u all-peds %d active %d\n",
               what, got.keybindEnabled, got.toggleKey, got.affectAllPeds, got.active,
               expected.keybindEnabled, expected.toggleKey, expected.affectAllPeds,
               expected.active);
}

}  // namespace fuzz
