// The stand-in's bounded logs: each keeps its latest entries and numbers every entry from the last
// clear, so that a host left running for a million frames holds no more than a short one.
#pragma once

#include <cstddef>
#include <cstdint>

// Smaller than any page size the stand-in runs with.
constexpr size_t kTouchStride = 1024;

// Each push overwrites the oldest entry once the log is full; a reader that follows along by
// number sees every entry it keeps up with.
template <typename Entry, size_t Capacity>
struct Ring {
  static_assert((Capacity & (Capacity - 1)) == 0, "a power of two: a number's slot is a mask");

  Entry entries[Capacity];
  int64_t total = 0;  // entries pushed since the last clear

  // Every page of the log is made resident at start, so that the process's memory does not
  // creep up while the log first fills, and a long run that measures memory sees only real growth.
  Ring() {
    volatile char* bytes = reinterpret_cast<volatile char*>(entries);
    for (size_t at = 0; at < sizeof entries; at += kTouchStride) {
      bytes[at] = 0;
    }
  }
  Ring(const Ring&) = delete;
  Ring& operator=(const Ring&) = delete;

  void clear() { total = 0; }

  // The slot for the next entry, to be filled in place; it takes the number `total` had.
  Entry& push() {
    Entry& slot = entries[static_cast<size_t>(total) & (Capacity - 1)];
    ++total;
    return slot;
  }

  // The entry numbered `index`; null when it was never pushed or has been overwritten.
  const Entry* at(int64_t index) const {
    if (index < 0 || index >= total || total - index > static_cast<int64_t>(Capacity)) {
      return nullptr;
    }
    return &entries[static_cast<size_t>(index) & (Capacity - 1)];
  }

  // Copies the entry numbered `index` out: 1, or 0 when there is none, as the control interface
  // answers.
  int32_t copy(int64_t index, Entry* out) const {
    const Entry* entry = at(index);
    if (entry != nullptr) {
      *out = *entry;
    }
    return entry != nullptr ? 1 : 0;
  }

  // The number of entries pushed, as the control interface's 32-bit counts give it.
  int32_t count() const { return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total); }
};
