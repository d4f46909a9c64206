// Name utilities: splitting and joining, reference replacement, expansion
// and relativisation, all in place on FDE_PATH_SIZE-byte buffers.
#include "fde_dipath.h"
#include "fde_filepath.h"

#include <gtest/gtest.h>
#include <pwd.h>

#include <cstring>
#include <string>

#include "death_style.h"
#include "test_dirs.h"

namespace {

using fde_test::Findings;
using fde_test::InChild;
using fde_test::ScopedEnv;

// A name in its own FDE_PATH_SIZE-byte buffer.
struct Name {
  char buf[FDE_PATH_SIZE];
  explicit Name(const std::string &s) {
    std::memset(buf, 'Z', sizeof buf);  // no terminators past the name's own
    size_t n = s.size() < FDE_PATH_LEN ? s.size() : FDE_PATH_LEN;
    std::memcpy(buf, s.data(), n);
    buf[n] = 0;
  }
};

std::string Fixed(const std::string &s) {
  Name n(s);
  FdeFixTildaName(n.buf);
  return n.buf;
}

std::string Expanded(const std::string &s, const char *dir = "") {
  Name n(s);
  FdeUiExpandFileName(n.buf, dir);
  return n.buf;
}

std::string Relative(const std::string &path, const char *anchor) {
  Name n(path);
  FdeRelativizeFileName(n.buf, anchor);
  return n.buf;
}

TEST(FileNameSplit, LastNameAndDirectory) {
  EXPECT_STREQ(FdeStrFileLastName("/a/b.fm"), "b.fm");
  EXPECT_STREQ(FdeStrFileLastName("b.fm"), "b.fm");
  EXPECT_STREQ(FdeStrFileLastName("/x/"), "");
  EXPECT_EQ(FdeStrFileLastName(nullptr), nullptr);

  char dir[FDE_PATH_SIZE], name[FDE_LAST_NAME_SIZE];
  FdeSplitFullFileName("/a.fm", dir, name);
  EXPECT_STREQ(dir, "/");
  EXPECT_STREQ(name, "a.fm");
  FdeSplitFullFileName("a.fm", dir, name);
  EXPECT_STREQ(dir, "");
  EXPECT_STREQ(name, "a.fm");
  FdeSplitFullFileName("/x/y/", dir, name);
  EXPECT_STREQ(dir, "/x/y");
  EXPECT_STREQ(name, "");
  FdeSplitFullFileName("/usr/doc/book.fm", dir, nullptr);
  EXPECT_STREQ(dir, "/usr/doc");
}

TEST(FileNameSplit, LongPartsStayInTheirBuffers) {
  std::string longName(400, 'n');
  char name[FDE_LAST_NAME_SIZE];
  FdeSplitFullFileName(("/d/" + longName).c_str(), nullptr, name);
  EXPECT_EQ(std::strlen(name), FDE_LAST_NAME_SIZE - 1u);

  std::string longDir = "/" + std::string(1500, 'd');
  char dir[FDE_PATH_LEN];  // the documented minimum
  FdeSplitFullFileName((longDir + "/f").c_str(), dir, nullptr);
  EXPECT_EQ(std::strlen(dir), FDE_PATH_LEN - 1u);
}

TEST(FileNameJoin, DirCatNPutsOneSeparatorWithinTheSize) {
  char buf[16] = "dir";
  EXPECT_EQ(FdeDirCatN(buf, "f", sizeof buf), 5);
  EXPECT_STREQ(buf, "dir/f");
  std::strcpy(buf, "dir/");
  FdeDirCatN(buf, "f", sizeof buf);
  EXPECT_STREQ(buf, "dir/f");
  buf[0] = 0;
  FdeDirCatN(buf, "f", sizeof buf);
  EXPECT_STREQ(buf, "f");
  std::strcpy(buf, "dir");
  EXPECT_EQ(FdeDirCatN(buf, "", sizeof buf), 3);
  EXPECT_EQ(FdeDirCatN(buf, "abcdefghijklmnop", sizeof buf), 15);
  EXPECT_STREQ(buf, "dir/abcdefghijk");
}

TEST(FileNameRetreat, DropsTheLastComponentButNotTheRoot) {
  struct Case {
    const char *in, *out;
  } cases[] = {{"/a/b", "/a"}, {"/a", "/"}, {"/", "/"}, {"a/b", "a"}, {"a", ""}, {"", ""}};
  for (const Case &c : cases) {
    char buf[16];
    std::strcpy(buf, c.in);
    char *end = retreat(buf, buf + std::strlen(buf));
    EXPECT_STREQ(buf, c.out) << c.in;
    EXPECT_EQ(end, buf + std::strlen(c.out)) << c.in;
  }
}

TEST(FileNameExpand, DotsAndSlashesAreResolvedTextually) {
  EXPECT_EQ(Expanded("/usr//doc/./a/../b.fm"), "/usr/doc/b.fm");
  EXPECT_EQ(Expanded("/.."), "/");
  EXPECT_EQ(Expanded("/../../a"), "/a");
  EXPECT_EQ(Expanded("/a/"), "/a");
  EXPECT_EQ(Expanded("///"), "/");
  EXPECT_EQ(Expanded("a/b"), "a/b");
  EXPECT_EQ(Expanded("x/../.."), "");
  EXPECT_EQ(Expanded("a/../../b"), "b");
  EXPECT_EQ(Expanded("ch1.fm", "/usr/doc"), "/usr/doc/ch1.fm");
  EXPECT_EQ(Expanded("../lib/x", "/usr/doc"), "/usr/lib/x");
  EXPECT_EQ(Expanded("ch1.fm", "/"), "/ch1.fm");
  EXPECT_EQ(Expanded("../../../x", "base/sub"), "x");
  EXPECT_EQ(Expanded("/abs", "/ignored"), "/abs");
  EXPECT_EQ(Expanded("", "/usr/doc"), "/usr/doc");
}

TEST(FileNameExpand, ResultAtTheLimitIsCutWithinTheBuffer) {
  std::string dir = "/" + std::string(1000, 'd');
  std::string out = Expanded(std::string(100, 'c') + "/dropped", dir.c_str());
  EXPECT_EQ(out.size(), FDE_PATH_LEN - 1u);
  EXPECT_EQ(out.substr(0, dir.size() + 1), dir + "/");
  EXPECT_EQ(out.find("dropped"), std::string::npos);
}

TEST(FileNameReferences, EnvironmentVariables) {
  ScopedEnv docs("FDE_TEST_DOCS", "/data");
  ScopedEnv unset("FDE_TEST_UNSET", std::nullopt);
  EXPECT_EQ(Fixed("$FDE_TEST_DOCS/x"), "/data/x");
  EXPECT_EQ(Fixed("a/$FDE_TEST_DOCS/$FDE_TEST_DOCS"), "a//data//data");
  EXPECT_EQ(Fixed("$FDE_TEST_UNSET/x"), "$FDE_TEST_UNSET/x");
  EXPECT_EQ(Fixed("$FDE_TEST_DOCS/$FDE_TEST_UNSET"), "$FDE_TEST_DOCS/$FDE_TEST_UNSET");
  EXPECT_EQ(Fixed("\\$FDE_TEST_DOCS"), "\\$FDE_TEST_DOCS");
  EXPECT_EQ(Fixed("a~b"), "a~b");
  EXPECT_EQ(Expanded("$FDE_TEST_DOCS/./x/.."), "/data");
}

TEST(FileNameReferences, ExpansionThatWouldNotFitLeavesTheName) {
  ScopedEnv big("FDE_TEST_BIG", "/" + std::string(1000, 'v'));
  std::string name = "$FDE_TEST_BIG/" + std::string(30, 'x');
  EXPECT_EQ(Fixed(name), name);
  EXPECT_EQ(Fixed("$FDE_TEST_BIG").size(), 1001u);
}

TEST(FileNameReferences, HomeIsReadOnceAndKept) {
  InChild([](Findings &f) {
    ScopedEnv home("HOME", std::nullopt);
    f.Equal(Fixed("~/d").c_str(), "~/d", "HOME unset");
    setenv("HOME", "/home/u", 1);
    f.Equal(Fixed("~").c_str(), "/home/u", "bare ~");
    f.Equal(Fixed("~/d").c_str(), "/home/u/d", "~/d");
    f.Equal(Expanded("~/../v").c_str(), "/home/v", "~ expanded");
    setenv("HOME", "/elsewhere", 1);
    f.Equal(Fixed("~/d").c_str(), "/home/u/d", "HOME changed later");
  });
}

TEST(FileNameReferences, UserHomeFromThePasswordDatabase) {
  const passwd *root = getpwnam("root");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Fixed("~root/x"), std::string(root->pw_dir) + "/x");
  EXPECT_EQ(Fixed("~root"), root->pw_dir);
  EXPECT_EQ(Fixed("~no_such_user_fde/x"), "~no_such_user_fde/x");
}

TEST(FileNameRelativize, SharedDirectoriesBecomeRelative) {
  const char *anchor = "/usr/doc/book.fm";
  EXPECT_EQ(Relative("/usr/doc/a.fm", anchor), "a.fm");
  EXPECT_EQ(Relative("/usr/doc/sub/a.fm", anchor), "sub/a.fm");
  EXPECT_EQ(Relative("/usr/lib/x.fm", anchor), "../lib/x.fm");
  EXPECT_EQ(Relative("/usr/docs/x", anchor), "../docs/x");
  EXPECT_EQ(Relative("/var/x.fm", anchor), "/var/x.fm");
  EXPECT_EQ(Relative("/usr/ch1.fm", "/usr/book.fm"), "/usr/ch1.fm");
  EXPECT_EQ(Relative("/usr/doc", "/usr/doc/sub/f"), "../../doc");
  EXPECT_EQ(Relative("/usr/doc/a.fm", nullptr), "/usr/doc/a.fm");
}

TEST(FileNameRelativize, TooManyLevelsUpLeavesThePath) {
  std::string anchor = "/a";
  while (anchor.size() < 1000) anchor += "/b";
  anchor += "/f";  // about 500 levels below /a: the "../" run would not fit
  EXPECT_EQ(Relative("/a/x", anchor.c_str()), "/a/x");
  EXPECT_EQ(Relative("/a/x", "/a/b/b/f"), "../../x");
}

TEST(FileNameRelativizeDeathTest, RelativeOrNullPathsFail) {
  char rel[FDE_PATH_SIZE] = "a/b";
  char abs[FDE_PATH_SIZE] = "/a/b";
  EXPECT_DEATH(FdeRelativizeFileName(rel, "/a/f"), "");
  EXPECT_DEATH(FdeRelativizeFileName(abs, "a/f"), "");
  EXPECT_DEATH(FdeRelativizeFileName(nullptr, "/a/f"), "");
}

}  // namespace
