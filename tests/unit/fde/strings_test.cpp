// The F_Str family and formatted printing (glibc the oracle where they agree).
#include "fde.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

TEST(FdeStrings, Edits) {
  // An edit of a buffer holding `before`: its result and the text after it.
  const struct { const char *before; std::function<IntT(char *)> op; IntT result; const char *after; } cases[] = {
      {"xyz", [](char *b) { return F_StrCpyN(b, "abcdef", 4); }, 3, "abc"},
      {"xyz", [](char *b) { return F_StrCpyN(b, "abcdef", 1); }, 0, ""},
      {"xyz", [](char *b) { return F_StrCpyN(b, "ab", 0) + F_StrCpyN(b, "ab", -3); }, 0, "xyz"},
      {"xyz", [](char *b) { return (F_StrCpy(b, "ab"), 0); }, 0, "ab"},
      {"xyz", [](char *b) { return (F_StrCpy(b, nullptr), 0); }, 0, ""},
      {"abcdef", [](char *b) { return (F_StrTrunc(b, 2), F_StrTrunc(b, -1), 0); }, 0, "ab"},
      {"ab", [](char *b) { return F_StrCat(b, "cd"); }, 4, "abcd"},
      {"abcde", [](char *b) { return F_StrCatN(b, "xyz", 6); }, 5, "abcde"},
      {"abcde", [](char *b) { return F_StrCatN(b, "xyz", 8); }, 7, "abcdexy"},
      {"abcde", [](char *b) { return F_StrCatN(b, "", 16) + F_StrCatN(b, "q", INT_MIN); }, 10, "abcde"},
      {"abcdefgh", [](char *b) { return F_StrNCatN(b, "xyz", 3, 5); }, 4, "abcd"},  // cuts dst
      {"abcd", [](char *b) { return F_StrNCatN(b, "xyz", 2, 16); }, 6, "abcdxy"},
      {"abc", [](char *b) { return F_StrNCatN(b, "x", 1, 1); }, 0, ""},
      {"abc", [](char *b) { return F_StrNCatN(b, "x", 1, 0); }, 3, "abc"},  // no room at all
      {"ab", [](char *b) { return F_StrCatCharN(b, 'c', 4); }, 3, "abc"},
      {"abc", [](char *b) { return F_StrCatCharN(b, 'd', 4) + F_StrCatCharN(b, 0, 8); }, 6, "abc"},
      {"ab", [](char *b) { return F_StrCatCharN(b, 0x1E9, 8); }, 3, "ab\xE9"},  // the low byte
      {"n=", [](char *b) { return F_StrCatIntN(b, -42, 32); }, 5, "n=-42"},
      {"", [](char *b) { return F_StrCatIntN(b, INT_MIN, 32); }, 11, "-2147483648"},
      {"ab", [](char *b) { return F_StrCatIntN(b, 123456, 6); }, 5, "ab123"},
      {"ab \t ", [](char *b) { return (F_StrStripTrailingSpaces(b), 0); }, 0, "ab \t"},
      {"  ab ", [](char *b) { return (F_StrStripLeadingSpaces(b), 0); }, 0, "ab "},
      {"a-b_c", [](char *b) { return (F_StrStrip(b, "-_"), F_StrStrip(b, ""), F_StrStrip(b, nullptr), 0); }, 0,
       "abc"},
      {"abcdef", [](char *b) { return (F_StrReverse(b, 3), 0); }, 0, "cbadef"},
      {"ab", [](char *b) { return (F_StrReverse(b, 10), 0); }, 0, "ba"}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    char buf[32];
    std::strcpy(buf, cases[i].before);
    EXPECT_EQ(cases[i].op(buf), cases[i].result) << "case " << i;
    EXPECT_STREQ(buf, cases[i].after) << "case " << i;
  }
  // A null destination is left alone.
  EXPECT_EQ(F_StrCpyN(nullptr, "ab", 8) + F_StrCat(nullptr, "x") + F_StrCatN(nullptr, "q", 8) +
                F_StrNCatN(nullptr, "q", 1, 8) + F_StrCatCharN(nullptr, 'q', 8),
            0);
  F_StrCpy(nullptr, "ab");
  F_StrReverse(nullptr, 4);
}

TEST(FdeStrings, ComparisonsAndSearches) {
  // {what the function answered, what it should}
  const int64_t checks[][2] = {
      {F_StrLen(nullptr), 0}, {F_StrLen("abc"), 3}, {F_StrEqual(nullptr, ""), 1}, {F_StrEqual("a", "b"), 0},
      {F_StrEqualN(nullptr, "", 3), 1}, {F_StrEqualN("ab", "abc", 3), 0}, {F_StrEqualN("abX", "abY", 2), 1},
      {F_StrEqualN("a", "b", 0), 1}, {F_StrIEqual("Abc", "aBC"), 1}, {F_StrIEqual("\x83", "\x8E"), 1},  // E acute
      {F_StrIEqual("\xA7", "S"), 0}, {F_StrIEqualN("ABx", "aby", 2), 1}, {F_StrIEqualN("ABx", "aby", 3), 0},
      {F_StrCmp("a", "c"), 'a' - 'c'}, {F_StrCmp("\xE9", "a"), 0xE9 - 'a'},  // unsigned: high bytes last
      {F_StrCmp("ab", "a"), 'b'}, {F_StrCmp(nullptr, "a"), -'a'}, {F_StrCmpN("ab", "ac", 1), 0},
      {F_StrCmpN("x", "y", -4), 0}, {F_StrCmpN("a", "ab", 5), -'b'}, {F_StrICmp("ABC", "abd"), 'c' - 'd'},
      {F_StrICmp("\x80", "\x8A"), 0}, {F_StrICmpN("ABx", "abY", 3), 'x' - 'y'},
      {F_StrMCmp("abc", "ABC") > 0, 1}, {F_StrMCmp("ABD", "abc") > 0, 1},  // case only breaks ties
      {F_StrPrefix("abc", "ab"), 1}, {F_StrPrefix(nullptr, nullptr), 1}, {F_StrPrefix("ab", "abc"), 0},
      {F_StrPrefixN("abX", "abc", 2), 1}, {F_StrPrefixN("x", "y", 0), 1}, {F_StrIPrefix("Hello", "hE"), 1},
      {F_StrSuffix(nullptr, ""), 1}, {F_StrSuffix("txt", ".txt"), 0}, {F_StrISuffix("FILE.TXT", ".txt"), 1},
      {F_StrSubString("abc", ""), 0}, {F_StrSubString("", ""), -1}, {F_StrSubString("abcbc", "bc"), 1},
      {F_StrSubString("abc", "cd"), -1}, {F_StrSubString("a", nullptr), -1}, {F_StrAlphaToInt(" -42x"), -42},
      {F_StrAlphaToInt(nullptr), 0}, {F_StrAlphaToInt("99999999999"), INT_MAX},
      {F_StrAlphaToInt("-99999999999"), INT_MIN}, {F_StrAlphaToReal("2.5e1") == 25.0, 1},
      {F_StrAlphaToReal(nullptr) == 0.0, 1}, {F_FdeInit(), 0}};
  for (size_t i = 0; i < std::size(checks); ++i) EXPECT_EQ(checks[i][0], checks[i][1]) << "check " << i;

  const char *s = "a/b/c", *hi = "x\xE9y";
  EXPECT_TRUE(F_StrChr(s, '/') == s + 1 && F_StrRChr(s, '/') == s + 3 && F_StrChr(hi, 0xE9) == hi + 1);
  // Bytes compare unsigned, never sign-extended; the terminator is not found.
  EXPECT_FALSE(F_StrChr(hi, -23) || F_StrChr("abc", 0) || F_StrChr(nullptr, 'a') || F_StrRChr(s, 'x'));
  const char *words[] = {"abd", "abc", "ABC"};
  std::qsort(words, 3, sizeof words[0], F_StrQsortCmp);
  EXPECT_EQ(std::string(words[0]) + words[1] + words[2], "ABCabcabd");
  // Case folding follows wherever the lower map points now.
  const UCharT *saved = FdeMToLower;
  FdeMToLower = FdeIdentMap;
  EXPECT_FALSE(F_StrIEqual("Abc", "aBC"));
  FdeMToLower = saved;
  StringT n = F_StrNew(5), c = F_StrCopyString("hello"), e = F_StrCopyString("");  // zero-filled copies
  EXPECT_TRUE(F_PtrEqual(n, nullptr, 6) && F_StrEqual(c, "hello") && e != nullptr && e[0] == 0);
  EXPECT_EQ(F_StrCopyString(nullptr), nullptr);
  for (StringT p : {n, c, e}) F_Free(p);
}

// The printed text; the count returned must be its length.
template <typename... A>
std::string Fmt(const char *format, A... args) {
  char buf[1024];
  IntT n = F_Sprintf(buf, format, args...);
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf)) << format;
  return buf;
}
template <typename... A>
std::string Ref(const char *format, A... args) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

TEST(FdeSprint, ConversionsAndLibraryRules) {
  for (const char *f : {"%d", "%5d", "%-5d|", "%+d", "% d", "%05d", "%.3d", "%i", "%u", "%o", "%#o", "%x",
                        "%#x", "%X", "%#10X", "%hd", "%hu", "%hhd", "%hhx", "[%3d]"})
    for (int v : {0, 1, -1, 42, -42, 70000, INT_MAX, INT_MIN, 0x1FF})
      EXPECT_EQ(Fmt(f, v), Ref(f, v)) << f << " " << v;
  for (const char *f : {"%f", "%.0f", "%10.3f", "%-10.1f|", "%e", "%E", "%.2e", "%g", "%G", "%#g", "%+.4g"})
    for (double v : {0.0, 1.5, -2.25, 3.14159265, 1e-10, 6.02e23}) EXPECT_EQ(Fmt(f, v), Ref(f, v)) << f << " " << v;
  for (const char *f : {"%s", "%10s|", "%-10s|", "%.2s"}) EXPECT_EQ(Fmt(f, "hello"), Ref(f, "hello")) << f;
  int written = 12345;
  EXPECT_EQ(Fmt("%p", static_cast<void *>(&written)), Ref("%p", static_cast<void *>(&written)));
  std::string fits = "%" + std::string(252, '0') + "d|%d";    // 254 characters and the 'l' fit
  std::string over = "%" + std::string(253, '0') + "d|%d";    // one more does not
  std::string huge = "%*" + std::string(400, '0') + "d|%d";   // longer than the buffer, a '*' to consume
  std::string grows = "%" + std::string(245, '0') + "*.*d|%d";  // fits until a '*' is expanded
  const std::pair<std::string, std::string> cases[] = {
      {Fmt(""), ""}, {Fmt("100%%"), "100%"}, {Fmt("%*d|%-*d|", 5, 42, 4, 7), "   42|7   |"},
      {Fmt("%*d|", -4, 7), "7   |"}, {Fmt("%s=%5.2f", "x", 2.5), "x= 2.50"}, {Fmt("%08X", 48879), "0000BEEF"},
      {Fmt("%c%3c%-3c|", 'a', 'b', 'c'), "a  bc  |"},
      // Integers are 32-bit whatever the size modifier says.
      {Fmt("%lx|%lu|%llu|%lld", -1, -1, -1, -7), "ffffffff|4294967295|4294967295|-7"},
      {Fmt("%zd|%jd|%td|%Ld|%hld", 1, 2, 3, 4, 5), "1|2|3|4|5"},
      {Fmt("%lf|%Lf|%ls", 2.5, 0.5, "w"), "2.500000|0.500000|w"},
      {Fmt("[%s|%5s]", static_cast<char *>(nullptr), static_cast<char *>(nullptr)), "[|     ]"},
      {Fmt("%.*s|%d", -3, "abcdef", 9), "abcdef|9"},  // a negative precision is none
      // Malformed specifications print nothing but consume their argument.
      {Fmt("<%yd|%5-3d|%ys|%yf|%d>", 1, 2, "a", 1.5, 3), "<||||3>"},
      {Fmt("a%nd|%d", &written, 7), "a|7"},  // %n never reaches the C library
      {Fmt("%5%|%d", 3), "%|3"}, {Fmt("abc%"), "abc"}, {Fmt("x%*", 3), "x"}, {Fmt("%d%-", 4), "4"},
      {Fmt(fits.c_str(), 5, 6), "5|6"}, {Fmt(over.c_str(), 5, 6), "|6"}, {Fmt(huge.c_str(), 3, 5, 6), "|6"},
      {Fmt(grows.c_str(), INT_MIN, 2, 5, 6), "|6"}, {Fmt(grows.c_str(), 7, 2, 5, 6), Ref("%07.2d|%d", 5, 6)}};
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
  EXPECT_EQ(written, 12345);
  char buf[8] = "zzzzzzz";
  EXPECT_EQ(F_Sprintf(buf, nullptr) + F_Sprintf(nullptr, "%d", 1), 0);
  EXPECT_STREQ(buf, "");
}

}  // namespace
