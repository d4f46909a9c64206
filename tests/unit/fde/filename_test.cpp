// Name utilities on FDE_PATH_SIZE-byte buffers: reference replacement,
// expansion and relativisation.
#include "fde_dipath.h"
#include "fde_filepath.h"

#include <gtest/gtest.h>
#include <pwd.h>

#include <cstring>
#include <string>

#include "death_style.h"
#include "test_dirs.h"

namespace {

// Runs op on a copy of s in its own FDE_PATH_SIZE-byte buffer.
template <typename Op>
std::string InBuffer(const std::string &s, Op op) {
  char buf[FDE_PATH_SIZE];
  std::memset(buf, 'Z', sizeof buf);
  std::memcpy(buf, s.c_str(), s.size() + 1);
  op(buf);
  return buf;
}
std::string Fixed(const std::string &s) { return InBuffer(s, FdeFixTildaName); }
std::string Expanded(const std::string &s, const char *dir = "") {
  return InBuffer(s, [dir](char *b) { FdeUiExpandFileName(b, dir); });
}
std::string Relative(const std::string &s, const char *anchor) {
  return InBuffer(s, [anchor](char *b) { FdeRelativizeFileName(b, anchor); });
}

TEST(FileName, ExpansionResolvesDotsAndSlashesTextually) {
  struct { const char *name, *dir, *out; } cases[] = {
      {"/usr//doc/./a/../b.fm", "", "/usr/doc/b.fm"}, {"/..", "", "/"}, {"/../../a", "", "/a"},
      {"/a/", "", "/a"}, {"///", "", "/"}, {"a/b", "", "a/b"}, {"x/../..", "", ""},
      {"a/../../b", "", "b"}, {"../lib/x", "/usr/doc", "/usr/lib/x"}, {"ch1.fm", "/", "/ch1.fm"},
      {"../../../x", "base/sub", "x"}, {"/abs", "/ignored", "/abs"}, {"", "/usr/doc", "/usr/doc"}};
  for (auto &c : cases) EXPECT_EQ(Expanded(c.name, c.dir), c.out) << c.name << " in " << c.dir;

  // At the limit the last component is cut and the rest dropped, in bounds.
  std::string dir = "/" + std::string(1000, 'd');
  EXPECT_EQ(Expanded(std::string(100, 'c') + "/dropped", dir.c_str()), dir + "/" + std::string(20, 'c'));
  char name[FDE_LAST_NAME_SIZE], head[FDE_PATH_LEN];  // the documented sizes
  FdeSplitFullFileName(("/" + std::string(1500, 'd') + "/" + std::string(400, 'n')).c_str(), head, name);
  EXPECT_EQ(std::strlen(name) + std::strlen(head), FDE_LAST_NAME_SIZE - 1u + FDE_PATH_LEN - 1u);
}

TEST(FileName, EnvironmentReferences) {
  setenv("FDE_TEST_DOCS", "/data", 1);
  setenv("FDE_TEST_BIG", ("/" + std::string(1000, 'v')).c_str(), 1);
  unsetenv("FDE_TEST_UNSET");
  EXPECT_EQ(Fixed("$FDE_TEST_DOCS/x"), "/data/x");
  EXPECT_EQ(Fixed("a/$FDE_TEST_DOCS/$FDE_TEST_DOCS"), "a//data//data");
  EXPECT_EQ(Fixed("$FDE_TEST_DOCS/$FDE_TEST_UNSET"), "$FDE_TEST_DOCS/$FDE_TEST_UNSET");
  EXPECT_EQ(Fixed("\\$FDE_TEST_DOCS"), "\\$FDE_TEST_DOCS");
  EXPECT_EQ(Fixed("a~b"), "a~b");
  EXPECT_EQ(Expanded("$FDE_TEST_DOCS/./x/.."), "/data");
  // A replacement that would not fit leaves the name as it was.
  std::string tooBig = "$FDE_TEST_BIG/" + std::string(30, 'x');
  EXPECT_EQ(Fixed(tooBig), tooBig);
  unsetenv("FDE_TEST_DOCS");
  unsetenv("FDE_TEST_BIG");
}

TEST(FileName, HomeReferences) {
  fde_test::InChild([](std::string &why) {  // the home directory is kept per process
    unsetenv("HOME");
    fde_test::Want(why, Fixed("~/d") == "~/d", "HOME unset: " + Fixed("~/d"));
    setenv("HOME", "/home/u", 1);
    fde_test::Want(why, Fixed("~") == "/home/u", "bare ~: " + Fixed("~"));
    fde_test::Want(why, Expanded("~/../v") == "/home/v", "~/../v: " + Expanded("~/../v"));
    setenv("HOME", "/elsewhere", 1);
    fde_test::Want(why, Fixed("~/d") == "/home/u/d", "HOME changed later: " + Fixed("~/d"));
  });
  const passwd *root = getpwnam("root");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Fixed("~root/x"), std::string(root->pw_dir) + "/x");
  EXPECT_EQ(Fixed("~no_such_user_fde/x"), "~no_such_user_fde/x");
}

TEST(FileNameDeathTest, RelativizeLimits) {
  std::string deep = "/a";
  while (deep.size() < 1000) deep += "/b";
  // About 500 levels up would not fit: the path stays absolute.
  EXPECT_EQ(Relative("/a/x", (deep + "/f").c_str()), "/a/x");
  EXPECT_EQ(Relative("/a/x", "/a/b/b/f"), "../../x");
  EXPECT_EQ(Relative("/usr/docs/x", "/usr/doc/book.fm"), "../docs/x");
  EXPECT_EQ(Relative("/usr/doc/a.fm", nullptr), "/usr/doc/a.fm");
  char rel[FDE_PATH_SIZE] = "a/b", abs[FDE_PATH_SIZE] = "/a/b";
  EXPECT_DEATH(FdeRelativizeFileName(rel, "/a/f"), "");
  EXPECT_DEATH(FdeRelativizeFileName(abs, "a/f"), "");
}

}  // namespace
