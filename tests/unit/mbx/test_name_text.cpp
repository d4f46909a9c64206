// Bus names (8 bytes, blank-padded) and the one-line item text of cadsim.
#include <gtest/gtest.h>

#include "name.h"
#include "text.h"

namespace mbx {
namespace {

TEST(Name, FieldIsExactlyEightPrintableBytes) {
  const char field[] = "CURFCT  and more";
  auto n = Name::from_field(field);
  ASSERT_TRUE(n);
  EXPECT_EQ(std::string(n->data(), 8), "CURFCT  ");
  EXPECT_EQ(n->text(), "CURFCT");
  EXPECT_TRUE(Name::from_field(" LEADING"));  // a leading blank is part of it

  EXPECT_FALSE(Name::from_field(nullptr));
  EXPECT_FALSE(Name::from_field("        "));
  EXPECT_FALSE(Name::from_field("ABC\0DEFG"));
  EXPECT_FALSE(Name::from_field("ABC\tDEFG"));
  EXPECT_FALSE(Name::from_field("ABCDEFG\x80"));
}

TEST(Name, TextIsPaddedAndCompared) {
  auto a = Name::from_text("MBX_0000");
  auto b = Name::from_text("CURFCT");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(std::string(b->data(), 8), "CURFCT  ");
  EXPECT_EQ(*b, *Name::from_field("CURFCT  "));
  EXPECT_NE(*a, *b);
  EXPECT_FALSE(Name::from_text(""));
  EXPECT_FALSE(Name::from_text("NINECHARS"));
  EXPECT_FALSE(Name::from_text("   "));
  EXPECT_TRUE(Name().blank());
}

TEST(Text, EscapeKeepsOneLineAndRoundTrips) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  std::string e = escape(all);
  EXPECT_EQ(e.find('\n'), std::string::npos);
  EXPECT_EQ(unescape(e), all);
  EXPECT_EQ(escape(std::string("OK\0", 3)), "OK\\x00");
  EXPECT_EQ(escape("a\\b c"), "a\\\\b c");
}

TEST(Text, MalformedEscapesAndHexAreRefused) {
  EXPECT_FALSE(unescape("\\"));
  EXPECT_FALSE(unescape("\\q"));
  EXPECT_FALSE(unescape("\\x4"));
  EXPECT_FALSE(unescape("\\xzz"));
  EXPECT_EQ(from_hex("04000000"), std::string("\x04\0\0\0", 4));
  EXPECT_EQ(from_hex("4F4b"), "OK");
  EXPECT_EQ(from_hex(""), "");
  EXPECT_FALSE(from_hex("4"));
  EXPECT_FALSE(from_hex("4g"));
}

}  // namespace
}  // namespace mbx
