// Names on FDE_PATH_SIZE-byte buffers, file-path records, and DI names: the
// writer with relativisation, the reader and its malformed inputs.
#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"

#include <gtest/gtest.h>
#include <pwd.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using Record = std::unique_ptr<FilePathT, decltype(&F_FilePathFree)>;
Record Own(FilePathT *fp) { return Record(fp, F_FilePathFree); }
Record Unix(const std::string &name) { return Own(F_UnixToFilePath(name.c_str(), nullptr)); }
// A record as "path #flags", or "(null)"; the record is freed.
std::string Show(FilePathT *fp) {
  Record r = Own(fp);
  return r ? std::string(r->path) + " #" + std::to_string(r->flags) : "(null)";
}

// Unix names through references, textual expansion and anchors.
TEST(FdePath, UnixNamesAndAnchors) {
  setenv("FDE_TEST_DOCS", "/data", 1);
  setenv("FDE_TEST_BIG", ("/" + std::string(1000, 'v')).c_str(), 1);
  std::string tooBig = "$FDE_TEST_BIG/" + std::string(30, 'x'), home = getpwnam("root")->pw_dir;
  Record book = Unix("/usr/doc/book.fm"), top = Unix("/book.fm"), rel = Unix("d/book.fm");
  Record plain = Own(FdeFilePathSimpleCreate("/p/q.fm"));  // flags 0: not relative
  std::string deepDir = "/" + std::string(1000, 'd');
  Record deep = Unix(deepDir + "/book.fm");
  FilePathT untagged = {0, FDE_FP_ABSOLUTE, const_cast<StringT>("/a/b")};
  FilePathT pathless = {FDE_FILEPATH_TAG, FDE_FP_ABSOLUTE, nullptr};
  std::string fits = "/" + std::string(FDE_PATH_LEN - 2, 'a');  // the longest expansion
  struct { std::string name; const FilePathT *anchor; std::string want; } cases[] = {
      {"/usr//doc/./a/../b.fm", nullptr, "/usr/doc/b.fm #16"}, {"a/b", nullptr, "a/b #1"},
      {"/../../a", nullptr, "/a #16"}, {"a/../../b", nullptr, "b #1"}, {"x/../..", nullptr, "(null)"},
      {"", nullptr, "(null)"}, {".", nullptr, "(null)"}, {"$FDE_TEST_DOCS/./x/..", nullptr, "/data #16"},
      {"a/$FDE_TEST_DOCS/$FDE_TEST_DOCS", nullptr, "a/data/data #1"}, {"~root/x", nullptr, home + "/x #16"},
      // unknown references, or ones that would not fit, leave the name as it was
      {"$FDE_TEST_DOCS/$FDE_TEST_UNSET", nullptr, "$FDE_TEST_DOCS/$FDE_TEST_UNSET #1"},
      {"\\$FDE_TEST_DOCS", nullptr, "\\$FDE_TEST_DOCS #1"}, {"a~b", nullptr, "a~b #1"},
      {"~no_such_user_fde/x", nullptr, "~no_such_user_fde/x #1"}, {tooBig, nullptr, tooBig + " #1"},
      {"ch1.fm", book.get(), "/usr/doc/ch1.fm #16"}, {"../lib/x", book.get(), "/usr/lib/x #16"},
      {"/abs/y", book.get(), "/abs/y #16"}, {"ch1.fm", top.get(), "/ch1.fm #16"}, {"r", plain.get(), "/p/r #16"},
      {"/abs", rel.get(), "(null)"}, {"x", rel.get(), "(null)"}, {"x", &untagged, "(null)"},
      {"/abs", &pathless, "(null)"}, {fits, nullptr, fits + " #16"},
      {fits + "b", nullptr, "(null)"},  // fits the name buffer, but the expansion would cut it
      {fits + "bc", nullptr, "(null)"}, {std::string(30, 'x'), deep.get(), "(null)"},
      {"x", deep.get(), deepDir + "/x #16"}};
  for (auto &c : cases) EXPECT_EQ(Show(F_UnixToFilePath(c.name.c_str(), c.anchor)), c.want) << c.name;
  // Macintosh and DOS names are copied, not converted.
  EXPECT_EQ(Show(F_DosToFilePath("C:\\d\\..\\a.fm")), "C:\\d\\..\\a.fm #0");
  EXPECT_EQ(Show(F_MacToFilePath("")) + Show(F_MacToFilePath((fits + "bc").c_str())), "(null)(null)");
  FilePathT *fp = FdeFilePathCreate();
  EXPECT_TRUE(FdeFilePathFree(&fp) == 0 && fp == nullptr);

  // In a name buffer, the last component at the limit is cut and the rest dropped.
  char buf[FDE_PATH_SIZE], name[FDE_LAST_NAME_SIZE], head[FDE_PATH_LEN];  // the documented sizes
  std::strcpy(buf, (std::string(100, 'c') + "/dropped").c_str());
  FdeUiExpandFileName(buf, deepDir.c_str());
  EXPECT_EQ(buf, deepDir + "/" + std::string(20, 'c'));
  FdeSplitFullFileName(("/" + std::string(1500, 'd') + "/" + std::string(400, 'n')).c_str(), head, name);
  EXPECT_EQ(std::strlen(name) + std::strlen(head), FDE_LAST_NAME_SIZE - 1u + FDE_PATH_LEN - 1u);
  std::string deepAnchor = "/a";  // about 500 levels up would not fit: the path stays absolute
  while (deepAnchor.size() < 1000) deepAnchor += "/b";
  std::strcpy(buf, "/a/x");
  FdeRelativizeFileName(buf, (deepAnchor + "/f").c_str());
  FdeRelativizeFileName(buf, nullptr);
  EXPECT_STREQ(buf, "/a/x");
  unsetenv("FDE_TEST_DOCS");
  unsetenv("FDE_TEST_BIG");
}

// The DI name written for a record, or "(refused)".
std::string Write(const FilePathT *fp, const char *anchor = nullptr) {
  Record a = Own(anchor != nullptr ? F_UnixToFilePath(anchor, nullptr) : nullptr);
  StringT text = reinterpret_cast<StringT>(1);
  IntT length = -5;
  std::string out = F_FilePathToDI(fp, a.get(), &text, &length) == 0 ? text : "(refused)";
  EXPECT_EQ(length, text != nullptr ? static_cast<IntT>(out.size()) : 0);
  F_Free(text);
  return out;
}
// What a DI name reads back as.
std::string Read(const char *di, const char *anchor = nullptr) {
  Record a = Own(anchor != nullptr ? F_UnixToFilePath(anchor, nullptr) : nullptr);
  return Show(F_DIToFilePath(di, a.get()));
}

constexpr const char *kAnchor = "/usr/doc/book.fm";

TEST(FdeDiPath, WriterRelativisesAndTheReaderGivesThePathBack) {
  struct { const char *path, *anchor, *di; } cases[] = {
      {"/usr/doc/a.fm", nullptr, "<r><c>usr<c>doc<c>a.fm"}, {"/a/./b", nullptr, "<r><c>a<c>b"},
      {"/usr/doc/a.fm", kAnchor, "<c>a.fm"}, {"/usr/lib/x.fm", kAnchor, "<u><c>lib<c>x.fm"},
      {"/var/x.fm", kAnchor, "<r><c>var<c>x.fm"}, {"/usr/ch1.fm", "/usr/book.fm", "<r><c>usr<c>ch1.fm"},
      {"/usr/doc", "/usr/doc/sub/f", "<u><u><c>doc"}, {"/usr/docs/x", kAnchor, "<u><c>docs<c>x"},
      {"/a/x", "/a/b/b/f", "<u><u><c>x"}, {"/a<b/c\\d", kAnchor, "<r><c>a\\<b<c>c\\\\d"},
      {"/", nullptr, "<r>"}, {"/", kAnchor, "<r>"}};
  for (auto &c : cases) {
    EXPECT_EQ(Write(Unix(c.path).get(), c.anchor), c.di) << c.path;
    EXPECT_EQ(Read(c.di, c.anchor), std::string(Unix(c.path)->path) + " #16") << c.path;
  }
  EXPECT_EQ(Write(Own(FdeFilePathSimpleCreate("/a/./b/../c")).get()), "<r><c>a<c>b<u><c>c");  // unexpanded

  std::string many, fits;
  while (many.size() < 600) many += "/a";  // 300 segments: 1203 DI characters
  while (fits.size() < 500) fits += "/a";  // 250 segments: 1003
  std::string huge = "/" + std::string(FDE_PATH_LEN, 'h');
  FilePathT raw = {FDE_FILEPATH_TAG, FDE_FP_ABSOLUTE, huge.data()};
  FilePathT untagged = {0, FDE_FP_ABSOLUTE, const_cast<StringT>("/a")};
  Record manyRec = Unix(many);
  EXPECT_EQ(Write(Unix(fits).get()).size(), 1003u);
  for (const FilePathT *fp : {manyRec.get(), &raw, &untagged, static_cast<FilePathT *>(nullptr)})
    EXPECT_EQ(Write(fp), "(refused)");
}

TEST(FdeDiPath, ReaderTokensMalformedNamesAndAnchors) {
  struct { const char *di, *anchor, *read; } cases[] = {
      {"<h>srv<c>x", nullptr, "/srv/x #16"}, {"<v>vol<c>x", nullptr, "/vol/x #16"}, {"<Z>junk<c>a", nullptr, "a #1"},
      {"<c>a\\<b", nullptr, "a<b #1"}, {"<c><c>a", nullptr, "/a #16"}, {"<r>ignored<c>a", nullptr, "/a #16"},
      {"<c>a/b", nullptr, "a/b #1"},
      // stops on an error: what was read, unexpanded, flags 0
      {"<c>a<r><c>b", nullptr, "a/ #0"}, {"<c>a<h>x", nullptr, "a/ #0"}, {"<r><u>", nullptr, "/ #0"},
      {"<h>x<u>", nullptr, "/x/ #0"}, {"abc", nullptr, "(null)"}, {"<r", nullptr, "(null)"},
      {"<", nullptr, "(null)"}, {"<cx", nullptr, "(null)"}, {"x<c>a", nullptr, "(null)"}, {"", nullptr, "(null)"},
      {nullptr, nullptr, "(null)"}, {"<c>", nullptr, "(null)"},
      // the root alone is the root, with or without an anchor
      {"<r>", nullptr, "/ #16"}, {"<r>", kAnchor, "/ #16"}, {"<r>x", kAnchor, "/ #16"},
      {"<u><c>lib<c>x.fm", kAnchor, "/usr/lib/x.fm #16"}, {"<u><u><u><u>", kAnchor, "/ #16"},
      {"<c>a", "d/book.fm", "(null)"}, {"<r><c>a", "d/book.fm", "/a #16"}};
  for (auto &c : cases) EXPECT_EQ(Read(c.di, c.anchor), c.read) << (c.di ? c.di : "null");

  std::string big = "<c>" + std::string(300, 'x') + "<c>y";  // components over 255 are cut
  EXPECT_EQ(Read(big.c_str()), std::string(255, 'x') + "/y #1");
  // Five components of 250 characters pass the output limit: the parse
  // fails and keeps the four that fitted.
  std::string five;
  for (char c = 'a'; c < 'f'; ++c) five += "<c>" + std::string(250, c);
  EXPECT_EQ(Read(five.c_str()).size(), 4u * 251 + 3);
  char out[FDE_PATH_SIZE];
  StringT o = out;  // the output holds FDE_PATH_LEN characters, no more
  IntT used = 1000;
  EXPECT_TRUE(F_StrCpyAndAdvance(&o, &used, std::string(24, 'd').c_str()) == -1 && o == out);
  EXPECT_TRUE(F_StrCpyAndAdvance(&o, &used, std::string(23, 'd').c_str()) == 0 && used == FDE_PATH_LEN);
  FdeUFCursorT c;  // path segments over 255 characters are cut
  std::string path = "//usr///" + std::string(300, 's') + "/";
  FdeUFCinit(&c, path.c_str());
  EXPECT_TRUE(FdeUFCgetSegment(&c) && FdeUFCgetSegment(&c) && c.segment == std::string(255, 's'));
  EXPECT_FALSE(FdeUFCgetSegment(&c));
}

}  // namespace
