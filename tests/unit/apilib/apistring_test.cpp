// The string helpers and memory primitives under the API values.
#include "fapi_values.h"

#include <gtest/gtest.h>

#include <cstring>

#include "dry_heap.h"

namespace {

TEST(ApiString, LengthAndCopyIntoABuffer) {
  EXPECT_EQ(F_ApiStringLen(nullptr), 0);
  EXPECT_EQ(F_ApiStringLen(""), 0);
  EXPECT_EQ(F_ApiStringLen("abc"), 3);

  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(strCpy(buf, "hey"), buf);
  EXPECT_STREQ(buf, "hey");
  strCpy(buf, nullptr);
  EXPECT_EQ(buf[0], '\0') << "a null source writes just the terminator";
  EXPECT_EQ(buf[1], 'e');
  strCpy(buf, "");
  EXPECT_EQ(buf[0], '\0');
}

TEST(ApiString, CopyIsANewBlockAndReleaseClearsIt) {
  const char *src = "value";
  StringT copy = F_ApiCopyString(src);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, src);
  EXPECT_STREQ(copy, "value");
  F_ApiDeallocateString(&copy);
  EXPECT_EQ(copy, nullptr);
  F_ApiDeallocateString(&copy);  // harmless
  F_ApiDeallocateString(nullptr);

  StringT empty = F_ApiCopyString(nullptr);
  ASSERT_NE(empty, nullptr) << "null gives a new empty string";
  EXPECT_STREQ(empty, "");
  F_ApiFree(empty);

  apilib_test::DryHeap dry;
  EXPECT_EQ(F_ApiCopyString("x"), nullptr);
}

TEST(ApiMemory, Primitives) {
  auto *z = static_cast<unsigned char *>(FapiCalloc(16, 4));
  ASSERT_NE(z, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(z[i], 0);
  void *p = z;
  api_free(&p);
  EXPECT_EQ(p, nullptr);
  api_free(&p);  // a null block is ignored
  api_free(nullptr);
  F_ApiFree(nullptr);
  void *m = FapiMalloc(3);
  ASSERT_NE(m, nullptr);
  F_ApiFree(m);
}

TEST(ApiMemoryDeathTest, FailAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(fail(), "");
}

}  // namespace
