// F_Sprintf and F_VSprintf, the wild-field expansion and the one-spec
// printer.  Where the library means what glibc means, glibc is the oracle.
#include "fde_sprint.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Fmt(const char *format, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, format);
  IntT n = F_VSprintf(buf, format, ap);
  va_end(ap);
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf)) << format;
  return buf;
}

std::string Ref(const char *format, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  return buf;
}

TEST(Sprintf, DocumentedResults) {
  char buf[64];
  EXPECT_EQ(F_Sprintf(buf, "%d", -5), 2);
  EXPECT_STREQ(buf, "-5");
  EXPECT_EQ(F_Sprintf(buf, ""), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(F_Sprintf(buf, "100%%"), 4);
  EXPECT_STREQ(buf, "100%");
  EXPECT_EQ(Fmt("%*d|", 5, 42), "   42|");
  EXPECT_EQ(Fmt("%-*d|", 4, 7), "7   |");
  EXPECT_EQ(Fmt("%*d|", -4, 7), "7   |");
  EXPECT_EQ(Fmt("%*d|", 12, 7), "           7|");
  EXPECT_EQ(Fmt("%*s|%d", 10, "ab", 3), "        ab|3");
  EXPECT_EQ(Fmt("%.*f", 2, 3.14159), "3.14");
  EXPECT_EQ(Fmt("%s=%5.2f", "x", 2.5), "x= 2.50");
  EXPECT_EQ(Fmt("%ld %hd %c", 70000, 5, 'A'), "70000 5 A");
  EXPECT_EQ(Fmt("%08X", 48879), "0000BEEF");
}

TEST(Sprintf, IntegerConversionsAgreeWithGlibc) {
  const char *formats[] = {"%d",  "%5d",   "%-5d|", "%+d",  "% d",  "%05d", "%.3d", "%i",
                           "%u",  "%o",    "%#o",   "%x",   "%#x",  "%X",   "%#10X", "%hd",
                           "%hu", "%hhd",  "%hhx",  "[%*d]"};
  const int values[] = {0, 1, -1, 42, -42, 70000, INT_MAX, INT_MIN, 0x1FF};
  for (const char *f : formats) {
    for (int v : values) {
      if (std::string(f) == "[%*d]")
        EXPECT_EQ(Fmt(f, 6, v), Ref(f, 6, v)) << f << " " << v;
      else
        EXPECT_EQ(Fmt(f, v), Ref(f, v)) << f << " " << v;
    }
  }
}

TEST(Sprintf, IntegersAreAlways32Bit) {
  // The inserted 'l' must not widen a 32-bit value on a 64-bit host.
  EXPECT_EQ(Fmt("%x", -1), "ffffffff");
  EXPECT_EQ(Fmt("%lx", -1), "ffffffff");
  EXPECT_EQ(Fmt("%lu", -1), "4294967295");
  EXPECT_EQ(Fmt("%llu", -1), "4294967295");
  EXPECT_EQ(Fmt("%lld", -7), "-7");
  EXPECT_EQ(Fmt("%ld|%ld", INT_MIN, INT_MAX), Ref("%d|%d", INT_MIN, INT_MAX));
  // Size modifiers the C library would read as another type become 'l'.
  EXPECT_EQ(Fmt("%zd|%jd|%td|%Ld", 1, 2, 3, 4), "1|2|3|4");
  EXPECT_EQ(Fmt("%hld|%d", 1, 2), "1|2");
}

TEST(Sprintf, OtherConversionsAgreeWithGlibc) {
  const char *dformats[] = {"%f", "%.0f", "%10.3f", "%-10.1f|", "%e", "%E", "%.2e",
                            "%g", "%G", "%#g", "%+.4g"};
  const double dvalues[] = {0.0, 1.5, -2.25, 3.14159265, 1e-10, 6.02e23};
  for (const char *f : dformats)
    for (double v : dvalues) EXPECT_EQ(Fmt(f, v), Ref(f, v)) << f << " " << v;
  const char *sformats[] = {"%s", "%10s|", "%-10s|", "%.2s", "%*.*s"};
  for (const char *f : sformats) {
    if (std::string(f) == "%*.*s")
      EXPECT_EQ(Fmt(f, 6, 2, "hello"), Ref(f, 6, 2, "hello"));
    else
      EXPECT_EQ(Fmt(f, "hello"), Ref(f, "hello")) << f;
  }
  EXPECT_EQ(Fmt("%c%3c%-3c|", 'a', 'b', 'c'), "a  bc  |");
  int x = 0;
  EXPECT_EQ(Fmt("%p", static_cast<void *>(&x)), Ref("%p", static_cast<void *>(&x)));
  EXPECT_EQ(Fmt("%lf|%Lf|%ls", 2.5, 0.5, "w"), "2.500000|0.500000|w");
}

TEST(Sprintf, NullStringAndNegativePrecision) {
  EXPECT_EQ(Fmt("[%s]", static_cast<const char *>(nullptr)), "[]");
  EXPECT_EQ(Fmt("[%5s]", static_cast<const char *>(nullptr)), "[     ]");
  // A negative '*' precision counts as none, as in C.
  EXPECT_EQ(Fmt("%.*f", -1, 3.14159), Ref("%.*f", -1, 3.14159));
  EXPECT_EQ(Fmt("%.*s|%d", -3, "abcdef", 9), "abcdef|9");
}

TEST(Sprintf, MalformedSpecificationsConsumeTheirArgument) {
  // Unknown characters: nothing printed, the following conversion in step.
  EXPECT_EQ(Fmt("<%yd|%d>", 1, 2), "<|2>");
  EXPECT_EQ(Fmt("<%5-3d|%d>", 1, 2), "<|2>");
  EXPECT_EQ(Fmt("<%ys|%s>", "a", "b"), "<|b>");
  EXPECT_EQ(Fmt("<%yf|%d>", 1.5, 2), "<|2>");
  // %n never reaches the C library: the conversion runs on to the next conversion.
  int written = 12345;
  EXPECT_EQ(Fmt("a%nd|%d", &written, 7), "a|7");
  EXPECT_EQ(written, 12345);
  EXPECT_EQ(Fmt("%5%|%d", 3), "%|3");
  char buf[8] = "zzzzzzz";
  EXPECT_EQ(F_Sprintf(buf, nullptr), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(F_Sprintf(nullptr, "%d", 1), 0);
}

TEST(Sprintf, FormatEndingInsideASpecificationStops) {
  EXPECT_EQ(Fmt("abc%"), "abc");
  EXPECT_EQ(Fmt("ab%5"), "ab");
  EXPECT_EQ(Fmt("x%*", 3), "x");
  EXPECT_EQ(Fmt("%d%-", 4), "4");
}

TEST(Sprintf, LongSpecificationsAreBounded) {
  // 254 characters plus the inserted 'l' just fit the 256-byte buffer.
  std::string fits = "%" + std::string(252, '0') + "d";
  EXPECT_EQ(Fmt((fits + "|%d").c_str(), 5, 6), "5|6");
  // One more and the rebuilt specification would not fit.
  std::string over = "%" + std::string(253, '0') + "d";
  EXPECT_EQ(Fmt((over + "|%d").c_str(), 5, 6), "|6");
  // Longer than the buffer in the format itself, with a '*' to consume.
  std::string huge = "%*" + std::string(400, '0') + "d";
  EXPECT_EQ(Fmt((huge + "|%d").c_str(), 3, 5, 6), "|6");
  // Fits before the '*' is expanded, not after.
  std::string grows = "%" + std::string(250, '0') + "*d";
  EXPECT_EQ(Fmt((grows + "|%d").c_str(), INT_MIN, 5, 6), "|6");
  EXPECT_EQ(Fmt((grows + "|%d").c_str(), 7, 5, 6), "0000005|6");  // zero flags, width 7
}

// Calls the wild-field expansion with a real argument list and reports the
// argument that follows the consumed ones.
IntT Wild(char *spec, int *next, ...) {
  va_list ap;
  va_start(ap, next);
  IntT r = FdeProcessWildFieldWidth(spec, &ap);
  *next = va_arg(ap, int);
  va_end(ap);
  return r;
}

IntT PrintOne(char *dst, const char *spec, IntT len, int *next, ...) {
  va_list ap;
  va_start(ap, next);
  IntT r = FdePrintToStream(dst, spec, len, &ap);
  *next = va_arg(ap, int);
  va_end(ap);
  return r;
}

TEST(WildField, ExpandsEveryStarInOrder) {
  char spec[FDE_SPEC_SIZE] = "%*.*f";
  int next = 0;
  EXPECT_EQ(Wild(spec, &next, -12, 3, 99), 7);
  EXPECT_STREQ(spec, "%-12.3f");
  EXPECT_EQ(next, 99);
  char plain[FDE_SPEC_SIZE] = "%5d";
  EXPECT_EQ(Wild(plain, &next, 42), 3);
  EXPECT_STREQ(plain, "%5d");
  EXPECT_EQ(next, 42);
  // Too long after expansion: unchanged, but every '*' still consumed.
  char big[FDE_SPEC_SIZE];
  std::string s = "%" + std::string(240, '1') + "*.*d";
  std::snprintf(big, sizeof big, "%s", s.c_str());
  EXPECT_EQ(Wild(big, &next, 1234567, 7654321, 77), -1);
  EXPECT_EQ(std::string(big), s);
  EXPECT_EQ(next, 77);
}

TEST(WildField, PrintToStreamTakesOneSpecification) {
  char out[64];
  int next = 0;
  EXPECT_EQ(PrintOne(out, "%5dIGNORED", 3, &next, 42, 8), 5);
  EXPECT_STREQ(out, "   42");
  EXPECT_EQ(next, 8);
  EXPECT_EQ(PrintOne(out, "%%", 2, &next, 8), 1);
  EXPECT_STREQ(out, "%");
  EXPECT_EQ(next, 8);
  EXPECT_EQ(PrintOne(out, "d", 1, &next, 1, 8), 0);  // no '%': dropped, consumed
  EXPECT_EQ(next, 8);
  EXPECT_EQ(PrintOne(out, "%d", 0, &next, 8), 0);
  EXPECT_EQ(next, 8);
  EXPECT_STREQ(out, "");
}

}  // namespace
