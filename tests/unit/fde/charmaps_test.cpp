// The character maps, checked against the Macintosh Roman case pairs and
// the class sets as the system defines them.
#include "fde_charmap.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// small -> capital above 0x7F.
const std::map<int, int> kPairs = {
    {0x87, 0xE7}, {0x88, 0xCB}, {0x89, 0xE5}, {0x8A, 0x80}, {0x8B, 0xCC}, {0x8C, 0x81},
    {0x8D, 0x82}, {0x8E, 0x83}, {0x8F, 0xE9}, {0x90, 0xE6}, {0x91, 0xE8}, {0x92, 0xEA},
    {0x93, 0xED}, {0x94, 0xEB}, {0x95, 0xEC}, {0x96, 0x84}, {0x97, 0xEE}, {0x98, 0xF1},
    {0x99, 0xEF}, {0x9A, 0x85}, {0x9B, 0xCD}, {0x9C, 0xF2}, {0x9D, 0xF4}, {0x9E, 0xF3},
    {0x9F, 0x86}, {0xBE, 0xAE}, {0xBF, 0xAF}, {0xCF, 0xCE}, {0xD8, 0xD9}};

TEST(Charmaps, IdentityAndHexDigits) {
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(FdeIdentMap[i], i);
    EXPECT_EQ(FdeHexDtoA[i], i < 16 ? "0123456789ABCDEF"[i] : 0) << i;
    int v = (i >= '0' && i <= '9')   ? i - '0'
            : (i >= 'A' && i <= 'F') ? i - 'A' + 10
            : (i >= 'a' && i <= 'f') ? i - 'a' + 10
                                     : 0;
    EXPECT_EQ(FdeHexAtoD[i], v) << i;
  }
}

TEST(Charmaps, CaseMapsPairExactlyTheLetters) {
  ASSERT_EQ(kPairs.size(), 29u);
  std::map<int, int> upper;
  for (int c = 'a'; c <= 'z'; ++c) upper[c] = c - 32;
  upper.insert(kPairs.begin(), kPairs.end());
  int changed = 0;
  for (int i = 0; i < 256; ++i) {
    auto it = upper.find(i);
    int want = it != upper.end() ? it->second : i;
    EXPECT_EQ(FdeMToUpper[i], want) << "upper " << i;
    if (FdeMToUpper[i] != i) ++changed;
  }
  EXPECT_EQ(changed, 55);
  // The lower map is the exact inverse, identity elsewhere.
  std::map<int, int> lower;
  for (auto [small, capital] : upper) lower[capital] = small;
  for (int i = 0; i < 256; ++i) {
    auto it = lower.find(i);
    EXPECT_EQ(FdeMToLower[i], it != lower.end() ? it->second : i) << "lower " << i;
  }
  EXPECT_EQ(FdeMToUpper[0xA7], 0xA7);  // sharp s has no capital
  EXPECT_EQ(FdeMToLower[0xA7], 0xA7);
}

TEST(Charmaps, ClassBitCounts) {
  int per_bit[16] = {};
  int zero = 0;
  for (int i = 0; i < 256; ++i) {
    UShortT w = FdeCharProps[i];
    if (w == 0) ++zero;
    for (int b = 0; b < 16; ++b)
      if (w & (1u << b)) ++per_bit[b];
    // Letters are exactly the capitals and the small letters.
    EXPECT_EQ((w & FDE_CP_ALPHA) != 0, (w & (FDE_CP_UPPER | FDE_CP_LOWER)) != 0) << i;
    // The case maps and the class bits agree.
    if (FdeMToUpper[i] != i) {
      EXPECT_TRUE(w & FDE_CP_LOWER) << i;
    }
    if (FdeMToLower[i] != i) {
      EXPECT_TRUE(w & FDE_CP_UPPER) << i;
    }
  }
  EXPECT_EQ(zero, 91);
  const int expected[16] = {4, 55, 56, 111, 10, 22, 10, 1, 127, 3, 3, 122, 6, 17, 47, 20};
  for (int b = 0; b < 16; ++b) EXPECT_EQ(per_bit[b], expected[b]) << "bit " << b;
}

TEST(Charmaps, ClassWordsOfSampleCodes) {
  const std::map<int, UShortT> words = {
      {0x00, 0x2000}, {0x05, 0x1100}, {0x07, 0x0000}, {0x09, 0x2241}, {0x08, 0x2041},
      {0x10, 0x2040}, {0x15, 0x0800}, {0x1B, 0x0100}, {0x20, 0x20C0}, {0x22, 0xA000},
      {'(', 0xA000},  {')', 0x8000},  {'<', 0xA000},  {'>', 0x8000},  {'.', 0x0400},
      {'_', 0x0100},  {'0', 0x0930},  {'a', 0x092C},  {'b', 0x492C},  {'B', 0x492A},
      {'Y', 0x490A},  {'g', 0x490C},  {0x87, 0x090C}, {0x82, 0x490A}, {0xA7, 0x490C},
      {0xD9, 0x490A}, {0xD8, 0x490C}, {0xBE, 0x090C}, {0xD2, 0xA000}, {0xD5, 0x8000},
      {0xFF, 0x0000}};
  for (auto [code, word] : words)
    EXPECT_EQ(FdeCharProps[code], word) << std::hex << "code 0x" << code;
}

}  // namespace
