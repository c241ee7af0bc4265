// What the settings fuzz targets share besides the model: where each input starts, and how a
// mismatch is reported before the target aborts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/settings.h"

namespace fuzz {

// Starting values that vary with the input, so that a field wrongly set or wrongly kept shows
// either way; toggle keys no file can name.
inline Settings startFor(size_t size) {
  return {(size & 1) != 0, 1000 + static_cast<uint32_t>(size % 7), (size & 2) != 0,
          (size & 4) != 0};
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
