// Finding marker bytes in settings text sixteen bytes at a time: the settings reader's inner loops.
//
// The C runtime's memchr would do for one marker natively, but the reader wants two or three at
// once, and the memchr of the msvcrt.dll that Wine provides ran at about 0.75 GB/s here, many
// times slower than the file can be read. SSE2 is part of every x86-64 processor, the
// plug-in's only target; the byte loop that finishes a range is also the whole search elsewhere.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

template <char... Marks>
inline bool isAnyOf(char c) {
  return ((c == Marks) || ...);
}

#if defined(__SSE2__)
// One bit per byte of the sixteen at `at`: set where the byte is one of Marks.
template <char... Marks>
inline unsigned markBits(const char* at) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  __m128i hits = _mm_setzero_si128();
  ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(Marks)))), ...);
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// The first byte of [from, to) that is one of Marks, or `to` when there is none.
template <char... Marks>
inline const char* findAnyOf(const char* from, const char* to) {
#if defined(__SSE2__)
  // Four blocks a step while the range is long: one test per 64 bytes keeps the loop at the speed
  // of the loads.
  while (to - from >= 64) {
    const unsigned a = markBits<Marks...>(from);
    const unsigned b = markBits<Marks...>(from + 16);
    const unsigned c = markBits<Marks...>(from + 32);
    const unsigned d = markBits<Marks...>(from + 48);
    if ((a | b | c | d) != 0) {
      break;  // the blocks below find it
    }
    from += 64;
  }
  while (to - from >= 16) {
    if (const unsigned bits = markBits<Marks...>(from)) {
      return from + __builtin_ctz(bits);
    }
    from += 16;
  }
#endif
  while (from < to && !isAnyOf<Marks...>(*from)) {
    ++from;
  }
  return from;
}

// The first byte of [from, to) that is none of Marks, or `to` when there is none.
template <char... Marks>
inline const char* findNoneOf(const char* from, const char* to) {
#if defined(__SSE2__)
  while (to - from >= 64) {
    const unsigned a = markBits<Marks...>(from);
    const unsigned b = markBits<Marks...>(from + 16);
    const unsigned c = markBits<Marks...>(from + 32);
    const unsigned d = markBits<Marks...>(from + 48);
    if ((a & b & c & d) != 0xFFFFu) {
      break;  // the blocks below find it
    }
    from += 64;
  }
  while (to - from >= 16) {
    if (const unsigned bits = markBits<Marks...>(from) ^ 0xFFFFu) {
      return from + __builtin_ctz(bits);
    }
    from += 16;
  }
#endif
  while (from < to && isAnyOf<Marks...>(*from)) {
    ++from;
  }
  return from;
}
