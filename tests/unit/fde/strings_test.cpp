// The F_Str family.
#include "fde_charmap.h"
#include "fde_memory.h"
#include "fde_strings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "death_style.h"

namespace {

TEST(StringsAlloc, NewAndCopyAreZeroFilledBlocks) {
  StringT s = F_StrNew(5);
  ASSERT_NE(s, nullptr);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s[i], 0);
  F_Free(s);
  StringT c = F_StrCopyString("hello");
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c, "hello");
  F_Free(c);
  EXPECT_EQ(F_StrCopyString(nullptr), nullptr);
  StringT e = F_StrCopyString("");
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e, "");
  F_Free(e);
}

TEST(StringsAllocDeathTest, ImpossibleLengthFails) {
  // len + 1 must neither reach the limit nor wrap around to a 0-byte block.
  EXPECT_DEATH(F_StrNew(FDE_ALLOC_LIMIT - 1), "");
  EXPECT_DEATH(F_StrNew(0xFFFFFFFFu), "");
}

TEST(StringsCopy, LenAndUnboundedCopy) {
  EXPECT_EQ(F_StrLen(nullptr), 0u);
  EXPECT_EQ(F_StrLen("abc"), 3u);
  char buf[8] = "xyz";
  F_StrCpy(buf, "ab");
  EXPECT_STREQ(buf, "ab");
  F_StrCpy(buf, nullptr);
  EXPECT_STREQ(buf, "");
  F_StrCpy(nullptr, "ab");  // nothing happens
  char t[] = "abcdef";
  F_StrTrunc(t, 2);
  EXPECT_STREQ(t, "ab");
  F_StrTrunc(t, -1);  // ignored, never writes before the buffer
  EXPECT_STREQ(t, "ab");
}

TEST(StringsCopy, CpyNBoundsAndCounts) {
  char buf[8];
  EXPECT_EQ(F_StrCpyN(buf, "abcdef", 4), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(F_StrCpyN(buf, "abcdef", 1), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(F_StrCpyN(buf, "ab", 8), 2);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(F_StrCpyN(buf, nullptr, 8), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(F_StrCpyN(nullptr, "ab", 8), 0);
  // Splitting a path at its last '/': k characters before it.
  const char *path = "/usr/lib/x.fm";
  char dir[32];
  IntT k = static_cast<IntT>(F_StrRChr(path, '/') - path);
  EXPECT_EQ(F_StrCpyN(dir, path, k + 1), 8);
  EXPECT_STREQ(dir, "/usr/lib");
}

TEST(StringsCopy, CpyNWithNoRoomWritesNothing) {
  char buf[4] = "xyz";
  EXPECT_EQ(F_StrCpyN(buf, "abc", 0), 0);
  EXPECT_EQ(F_StrCpyN(buf, "abc", -3), 0);
  EXPECT_STREQ(buf, "xyz");
}

TEST(StringsCat, UnboundedAndBounded) {
  char buf[16] = "ab";
  EXPECT_EQ(F_StrCat(buf, "cd"), 4);
  EXPECT_EQ(F_StrCat(buf, nullptr), 4);
  EXPECT_EQ(F_StrCat(nullptr, "x"), 0);
  EXPECT_STREQ(buf, "abcd");

  char five[16] = "abcde";
  EXPECT_EQ(F_StrCatN(five, "xyz", 6), 5);
  EXPECT_STREQ(five, "abcde");
  EXPECT_EQ(F_StrCatN(five, "xyz", 8), 7);
  EXPECT_STREQ(five, "abcdexy");
  EXPECT_EQ(F_StrCatN(five, "", 16), 7);
  EXPECT_EQ(F_StrCatN(five, "q", 0), 7);
  EXPECT_EQ(F_StrCatN(five, "q", INT_MIN), 7);
  EXPECT_EQ(F_StrCatN(nullptr, "q", 8), 0);
}

TEST(StringsCat, NCatNCutsAndCounts) {
  char buf[16] = "abcdefgh";
  EXPECT_EQ(F_StrNCatN(buf, "xyz", 3, 5), 4);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(F_StrNCatN(buf, "xyz", 2, 16), 6);
  EXPECT_STREQ(buf, "abcdxy");
  EXPECT_EQ(F_StrNCatN(buf, "xyz", 10, 8), 7);
  EXPECT_STREQ(buf, "abcdxyx");
  EXPECT_EQ(F_StrNCatN(buf, nullptr, 3, 16), 7);
  char one[4] = "abc";
  EXPECT_EQ(F_StrNCatN(one, "x", 1, 1), 0);
  EXPECT_STREQ(one, "");
  // A buffer with no room at all is left alone.
  char keep[4] = "abc";
  EXPECT_EQ(F_StrNCatN(keep, "x", 1, 0), 3);
  EXPECT_STREQ(keep, "abc");
}

TEST(StringsCat, CharAndInt) {
  char buf[8] = "ab";
  EXPECT_EQ(F_StrCatCharN(buf, 'c', 4), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(F_StrCatCharN(buf, 'd', 4), 3);  // at size - 1 already
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(F_StrCatCharN(buf, 0, 8), 3);  // a terminator appends nothing
  EXPECT_EQ(F_StrCatCharN(buf, 0x1E9, 8), 4);  // taken as the byte 0xE9
  EXPECT_EQ(static_cast<UCharT>(buf[3]), 0xE9);

  char num[32] = "n=";
  EXPECT_EQ(F_StrCatIntN(num, -42, 32), 5);
  EXPECT_STREQ(num, "n=-42");
  EXPECT_EQ(F_StrCatIntN(num, INT_MIN, 32), 16);
  EXPECT_STREQ(num, "n=-42-2147483648");
  char small[6] = "ab";
  EXPECT_EQ(F_StrCatIntN(small, 123456, 6), 5);
  EXPECT_STREQ(small, "ab123");
}

TEST(StringsCompare, EqualN) {
  EXPECT_TRUE(F_StrEqual(nullptr, ""));
  EXPECT_FALSE(F_StrEqual("a", "b"));
  EXPECT_TRUE(F_StrEqualN(nullptr, "", 3));
  EXPECT_FALSE(F_StrEqualN("ab", "abc", 3));
  EXPECT_TRUE(F_StrEqualN("abX", "abY", 2));
  EXPECT_TRUE(F_StrEqualN("ab", "ab", 10));
  EXPECT_TRUE(F_StrEqualN("a", "b", 0));
  // The same pointer is equal without being read.
  const char *bogus = reinterpret_cast<const char *>(uintptr_t{16});
  EXPECT_TRUE(F_StrEqualN(bogus, bogus, 5));
  EXPECT_TRUE(F_StrIEqualN(bogus, bogus, 5));
}

TEST(StringsCompare, CaseFoldingUsesTheLowerMap) {
  EXPECT_TRUE(F_StrIEqual("\x83", "\x8E"));  // E acute, e acute
  EXPECT_TRUE(F_StrIEqual("Abc", "aBC"));
  EXPECT_FALSE(F_StrIEqual("\xA7", "S"));
  EXPECT_FALSE(F_StrIEqual("\xA7", "ss"));
  EXPECT_TRUE(F_StrIEqualN("ABx", "aby", 2));
  EXPECT_FALSE(F_StrIEqualN("ABx", "aby", 3));
  // Pointing the lower map elsewhere changes the folding at once.
  const UCharT *saved = FdeMToLower;
  FdeMToLower = FdeIdentMap;
  EXPECT_FALSE(F_StrIEqual("Abc", "aBC"));
  FdeMToLower = saved;
  EXPECT_TRUE(F_StrIEqual("Abc", "aBC"));
}

TEST(StringsCompare, CmpIsUnsignedDifference) {
  EXPECT_EQ(F_StrCmp("abc", "abc"), 0);
  EXPECT_EQ(F_StrCmp("a", "c"), 'a' - 'c');
  EXPECT_EQ(F_StrCmp("\xE9", "a"), 0xE9 - 'a');  // high bytes order after ASCII
  EXPECT_EQ(F_StrCmp("ab", "a"), 'b');
  EXPECT_EQ(F_StrCmp(nullptr, "a"), -'a');
  EXPECT_EQ(F_StrCmpN("ab", "ac", 1), 0);
  EXPECT_LT(F_StrCmpN("ab", "ac", 2), 0);
  EXPECT_EQ(F_StrCmpN("x", "y", 0), 0);
  EXPECT_EQ(F_StrCmpN("x", "y", -4), 0);
  EXPECT_EQ(F_StrCmpN("a", "ab", 5), -'b');
  EXPECT_EQ(F_StrICmp("ABC", "abd"), 'c' - 'd');
  EXPECT_EQ(F_StrICmp("\x80", "\x8A"), 0);  // A diaeresis pair
  EXPECT_EQ(F_StrICmpN("ABx", "abY", 2), 0);
  EXPECT_EQ(F_StrICmpN("ABx", "abY", 3), 'x' - 'y');
}

TEST(StringsCompare, MixedOrderSortsCapitalsFirst) {
  EXPECT_GT(F_StrMCmp("abc", "ABC"), 0);
  EXPECT_LT(F_StrMCmp("abc", "abd"), 0);
  EXPECT_GT(F_StrMCmp("ABD", "abc"), 0);  // case only breaks ties
  const char *words[] = {"abd", "abc", "ABC"};
  std::qsort(words, 3, sizeof words[0], F_StrQsortCmp);
  EXPECT_STREQ(words[0], "ABC");
  EXPECT_STREQ(words[1], "abc");
  EXPECT_STREQ(words[2], "abd");
}

TEST(StringsSearch, PrefixAndSuffix) {
  EXPECT_TRUE(F_StrPrefix("abc", "ab"));
  EXPECT_TRUE(F_StrPrefix("abc", ""));
  EXPECT_TRUE(F_StrPrefix(nullptr, nullptr));
  EXPECT_FALSE(F_StrPrefix("ab", "abc"));
  EXPECT_FALSE(F_StrPrefix(nullptr, "a"));
  EXPECT_TRUE(F_StrPrefixN("abX", "abc", 2));
  EXPECT_FALSE(F_StrPrefixN("abX", "abc", 3));
  EXPECT_TRUE(F_StrPrefixN("ab", "ab", 10));
  EXPECT_TRUE(F_StrPrefixN("x", "y", 0));
  EXPECT_TRUE(F_StrIPrefix("Hello", "hE"));
  EXPECT_FALSE(F_StrIPrefix("Hello", "hex"));

  EXPECT_TRUE(F_StrSuffix("file.txt", ".txt"));
  EXPECT_TRUE(F_StrSuffix(nullptr, ""));
  EXPECT_FALSE(F_StrSuffix(nullptr, ".txt"));
  EXPECT_FALSE(F_StrSuffix("txt", ".txt"));
  EXPECT_FALSE(F_StrSuffix("file.TXT", ".txt"));
  EXPECT_TRUE(F_StrISuffix("FILE.TXT", ".txt"));
}

TEST(StringsSearch, ChrRChrSubString) {
  const char *s = "a/b/c";
  EXPECT_EQ(F_StrChr("abc", 0), nullptr);
  EXPECT_EQ(F_StrChr("", 'a'), nullptr);
  EXPECT_EQ(F_StrChr(nullptr, 'a'), nullptr);
  EXPECT_EQ(F_StrChr(s, '/'), s + 1);
  EXPECT_EQ(F_StrRChr(s, '/'), s + 3);
  EXPECT_EQ(F_StrRChr(s, 'x'), nullptr);
  const char *hi = "x\xE9y";
  EXPECT_EQ(F_StrChr(hi, 0xE9), hi + 1);  // compared as unsigned bytes
  EXPECT_EQ(F_StrChr(hi, -23), nullptr);  // not sign-extended

  EXPECT_EQ(F_StrSubString("abc", ""), 0);
  EXPECT_EQ(F_StrSubString("", ""), -1);
  EXPECT_EQ(F_StrSubString("abcbc", "bc"), 1);
  EXPECT_EQ(F_StrSubString("abc", "cd"), -1);
  EXPECT_EQ(F_StrSubString(nullptr, "a"), -1);
  EXPECT_EQ(F_StrSubString("a", nullptr), -1);
}

TEST(StringsEdit, StripAndReverse) {
  char t[] = "ab \t ";
  F_StrStripTrailingSpaces(t);
  EXPECT_STREQ(t, "ab \t");
  char l[] = "  ab ";
  F_StrStripLeadingSpaces(l);
  EXPECT_STREQ(l, "ab ");
  char all[] = "   ";
  F_StrStripLeadingSpaces(all);
  EXPECT_STREQ(all, "");
  char st[] = "a-b_c";
  F_StrStrip(st, "-_");
  EXPECT_STREQ(st, "abc");
  F_StrStrip(st, nullptr);
  F_StrStrip(st, "");
  EXPECT_STREQ(st, "abc");

  char r[] = "abcdef";
  F_StrReverse(r, 3);
  EXPECT_STREQ(r, "cbadef");
  char r2[] = "ab";
  F_StrReverse(r2, 10);
  EXPECT_STREQ(r2, "ba");
  F_StrReverse(r2, 1);
  EXPECT_STREQ(r2, "ba");
  F_StrStripTrailingSpaces(nullptr);
  F_StrStripLeadingSpaces(nullptr);
  F_StrStrip(nullptr, "a");
  F_StrReverse(nullptr, 4);
}

TEST(StringsConvert, AlphaToNumber) {
  EXPECT_EQ(F_StrAlphaToInt(" -42x"), -42);
  EXPECT_EQ(F_StrAlphaToInt(nullptr), 0);
  EXPECT_EQ(F_StrAlphaToInt("abc"), 0);
  EXPECT_EQ(F_StrAlphaToInt("99999999999"), INT_MAX);
  EXPECT_EQ(F_StrAlphaToInt("-99999999999"), INT_MIN);
  EXPECT_DOUBLE_EQ(F_StrAlphaToReal("2.5e1"), 25.0);
  EXPECT_DOUBLE_EQ(F_StrAlphaToReal(nullptr), 0.0);
  EXPECT_EQ(F_FdeInit(), 0);
  int x = 0;
  EXPECT_EQ(FdeInitCharMaps(&x), &x);
}

}  // namespace
