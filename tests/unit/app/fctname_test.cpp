// Unit tests of the function-name rule of the function lookup and of the
// prefix match that both marker walks use.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dokfrm.h"

namespace {

// The name area as the lookup fills it: zeroed, then the item's bytes.
std::string Name(const char *item, size_t len, int32_t *nameLen) {
  char area[12] = {};
  std::memcpy(area, item, len);
  *nameLen = dokfrm::FunctionNameLength(area);
  EXPECT_EQ(area[8], ' ');
  EXPECT_EQ(area[9], '\0');
  return std::string(area, static_cast<size_t>(*nameLen));
}

TEST(FunctionName, EndsAtTheFirstBlankOrZeroAfterPositionZero) {
  int32_t len = 0;
  EXPECT_EQ(Name("MYFUNC  ", 8, &len), "MYFUNC");
  EXPECT_EQ(len, 6);
  EXPECT_EQ(Name("ABCDEFGHIJ", 10, &len), "ABCDEFGH") << "only 8 characters count";
  EXPECT_EQ(Name("ABCDEFGHIJKL", 12, &len), "ABCDEFGH");
  EXPECT_EQ(Name("A BCDEFG", 8, &len), "A");
  EXPECT_EQ(Name(" AB     ", 8, &len), " AB") << "a leading blank belongs to the name";
}

TEST(FunctionName, ShortItemsAreNamesToo) {
  int32_t len = 0;
  EXPECT_EQ(Name("F", 1, &len), "F");
  EXPECT_EQ(Name("FN", 2, &len), "FN");
  EXPECT_EQ(Name("FNC", 3, &len), "FNC");
  EXPECT_EQ(Name("FNCT", 4, &len), "FNCT");
}

TEST(BeginsWith, ComparesTheTagsBytesAgainstTheText) {
  EXPECT_TRUE(dokfrm::BeginsWith("abcdef", "abc", 3));
  EXPECT_TRUE(dokfrm::BeginsWith("abc", "abc", 3));
  EXPECT_FALSE(dokfrm::BeginsWith("ab", "abc", 3)) << "a shorter text does not match";
  EXPECT_FALSE(dokfrm::BeginsWith(nullptr, "abc", 3)) << "a failed fetch does not match";
  EXPECT_TRUE(dokfrm::BeginsWith("anything", "", 0));
  EXPECT_TRUE(dokfrm::BeginsWith("", "", 0));
  EXPECT_FALSE(dokfrm::BeginsWith(nullptr, "", 0));
  EXPECT_FALSE(dokfrm::BeginsWith("MYFUNC", "MYFUNCX", 7));
  EXPECT_TRUE(dokfrm::BeginsWith("MYFUNCTION", "MYFUNC  ", 6));
  const char withZero[] = {'a', '\0', 'b'};
  EXPECT_FALSE(dokfrm::BeginsWith("a", withZero, 3)) << "nothing is read past the terminator";
}

// An item sent as a C string, its zero byte included: the text's own
// terminator is one of its bytes, so the item matches the equal text only.
TEST(BeginsWith, TerminatedItemsMatchTheEqualTextOnly) {
  EXPECT_TRUE(dokfrm::BeginsWith("chap2", "chap2", 6));
  EXPECT_FALSE(dokfrm::BeginsWith("chap2-start", "chap2", 6));
  EXPECT_FALSE(dokfrm::BeginsWith("chap", "chap2", 6));
  EXPECT_TRUE(dokfrm::BeginsWith("", "", 1)) << "the terminated empty item";
  EXPECT_FALSE(dokfrm::BeginsWith("x", "", 1));
  // The text ends where the item does: its last byte is compared, none after.
  char text[4] = {'a', 'b', 'c', '\0'};
  EXPECT_TRUE(dokfrm::BeginsWith(text, "abc", 4));
  EXPECT_FALSE(dokfrm::BeginsWith(text, "abc\0z", 5));
}

}  // namespace
