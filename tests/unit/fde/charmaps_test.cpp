// The character maps: the Macintosh Roman case pairs, and class bits that
// agree with them.
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

TEST(Charmaps, ClassesAgreeWithTheCaseMaps) {
  for (int i = 0; i < 256; ++i) {
    UShortT w = FdeCharProps[i];
    // Letters are exactly the capitals and the small letters.
    EXPECT_EQ((w & FDE_CP_ALPHA) != 0, (w & (FDE_CP_UPPER | FDE_CP_LOWER)) != 0) << i;
    EXPECT_TRUE(FdeMToUpper[i] == i || (w & FDE_CP_LOWER)) << i;
    EXPECT_TRUE(FdeMToLower[i] == i || (w & FDE_CP_UPPER)) << i;
  }
  EXPECT_TRUE(FdeCharProps[' '] & FDE_CP_BLANK);
}

}  // namespace
