// The settings reader's block searches against a byte-by-byte search: every length up to past two
// 64-byte steps, every alignment, the sought byte anywhere or nowhere.
#include <gtest/gtest.h>

#include <cstddef>
#include <memory>

#include "config/byte_scan.h"

namespace {

constexpr char kCtrlZ = 0x1A;

// Bytes that are none of the marks the reader looks for, the signed and the zero ones among them.
constexpr char kFiller[] = {'#', 'x', '\0', '\x7f', '\x80', '\xff', '<', '>', 'y', '\n' + 1};

// Searches [from, from + length), which sits in an allocation of exactly that size, so that a read
// past either end shows under AddressSanitizer.
struct Range {
  std::unique_ptr<char[]> block;
  const char* from;
  const char* to;
};

Range makeRange(size_t alignment, size_t length) {
  Range range;
  range.block = std::make_unique<char[]>(alignment + length);
  range.from = range.block.get() + alignment;
  range.to = range.from + length;
  return range;
}

TEST(ByteScanTest, FindAnyOfFindsTheFirstMarkWhereverItStands) {
  int mismatches = 0;
  for (size_t length = 0; length <= 140; ++length) {
    for (size_t alignment = 0; alignment < 16; ++alignment) {
      Range range = makeRange(alignment, length);
      char* bytes = range.block.get() + alignment;
      // `first` == length: no mark at all.
      for (size_t first = 0; first <= length; ++first) {
        for (size_t i = 0; i < length; ++i) {
          bytes[i] = kFiller[i % sizeof kFiller];
        }
        if (first < length) {
          bytes[first] = (first % 3 == 0) ? kCtrlZ : '=';
          if (first + 1 < length) {
            bytes[first + 1] = '=';  // a later mark must not win
          }
        }
        const char* found = findAnyOf<'=', kCtrlZ>(range.from, range.to);
        if (found != range.from + first) {
          ADD_FAILURE() << "length " << length << ", alignment " << alignment << ", mark at "
                        << first << ": found at " << (found - range.from);
          if (++mismatches > 10) {
            return;
          }
        }
      }
    }
  }
}

TEST(ByteScanTest, FindNoneOfPassesOverBlanksUpToTheFirstOtherByte) {
  int mismatches = 0;
  const char blanks[] = {' ', '\t', '\r'};
  for (size_t length = 0; length <= 140; ++length) {
    for (size_t alignment = 0; alignment < 16; ++alignment) {
      Range range = makeRange(alignment, length);
      char* bytes = range.block.get() + alignment;
      for (size_t first = 0; first <= length; ++first) {
        for (size_t i = 0; i < length; ++i) {
          bytes[i] = blanks[i % sizeof blanks];
        }
        if (first < length) {
          bytes[first] = kFiller[first % sizeof kFiller];
        }
        const char* found = findNoneOf<' ', '\t', '\r'>(range.from, range.to);
        if (found != range.from + first) {
          ADD_FAILURE() << "length " << length << ", alignment " << alignment << ", other byte at "
                        << first << ": found at " << (found - range.from);
          if (++mismatches > 10) {
            return;
          }
        }
      }
    }
  }
}

TEST(ByteScanTest, ASingleMarkAndTheLineFeedAreFoundAlike) {
  const char text[] = "# comment\r\nkey=value\n";
  const char* end = text + sizeof text - 1;
  EXPECT_EQ((findAnyOf<'\n'>(text, end)), text + 10);
  EXPECT_EQ((findAnyOf<'\n', '='>(text, end)), text + 10);
  EXPECT_EQ((findAnyOf<'='>(text, end)), text + 14);
  EXPECT_EQ((findAnyOf<kCtrlZ>(text, end)), end);
  EXPECT_EQ((findNoneOf<'#', ' '>(text, end)), text + 2);
}

}  // namespace
