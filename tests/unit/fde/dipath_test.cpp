// DI names: the writer with relativisation, the reader and its malformed
// inputs, the token helpers and the path-segment cursor.
#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "death_style.h"
#include "heap_fault.h"

namespace {

using Record = std::unique_ptr<FilePathT, decltype(&F_FilePathFree)>;
Record Unix(const char *name) { return Record(F_UnixToFilePath(name, nullptr), F_FilePathFree); }

// The DI name written for a record, or "(refused)".
std::string Write(const FilePathT *fp, const char *anchor = nullptr) {
  Record a = Unix(anchor);
  StringT text = reinterpret_cast<StringT>(1);
  IntT length = -5;
  if (F_FilePathToDI(fp, a.get(), &text, &length) != 0) {
    EXPECT_TRUE(text == nullptr && length == 0);
    return "(refused)";
  }
  std::string out = text;
  EXPECT_EQ(static_cast<size_t>(length), out.size());
  F_Free(text);
  return out;
}
std::string ToDI(const std::string &path, const char *anchor = nullptr) {
  return Write(Unix(path.c_str()).get(), anchor);
}

// What a DI name reads back as: "path" plus " #flags", or "(null)".
std::string FromDI(const char *di, const char *anchor = nullptr) {
  Record a = Unix(anchor);
  Record fp(F_DIToFilePath(di, a.get()), F_FilePathFree);
  return fp ? std::string(fp->path) + " #" + std::to_string(fp->flags) : "(null)";
}

constexpr const char *kAnchor = "/usr/doc/book.fm";

TEST(DiPath, WriterRelativisesAndTheReaderGivesThePathBack) {
  struct { const char *path, *anchor, *di; } cases[] = {
      {"/usr/doc/a.fm", nullptr, "<r><c>usr<c>doc<c>a.fm"}, {"/a/./b", nullptr, "<r><c>a<c>b"},
      {"/usr/doc/a.fm", kAnchor, "<c>a.fm"}, {"/usr/lib/x.fm", kAnchor, "<u><c>lib<c>x.fm"},
      {"/var/x.fm", kAnchor, "<r><c>var<c>x.fm"}, {"/usr/ch1.fm", "/usr/book.fm", "<r><c>usr<c>ch1.fm"},
      {"/usr/doc", "/usr/doc/sub/f", "<u><u><c>doc"}, {"/a<b/c\\d", kAnchor, "<r><c>a\\<b<c>c\\\\d"},
      {"/", nullptr, "<r>"}, {"/", kAnchor, "<r>"}};
  for (auto &c : cases) {
    EXPECT_EQ(ToDI(c.path, c.anchor), c.di) << c.path;
    EXPECT_EQ(FromDI(c.di, c.anchor), std::string(Unix(c.path)->path) + " #16") << c.path;
  }
  Record plain(FdeFilePathSimpleCreate("/a/./b/../c"), F_FilePathFree);  // unexpanded
  EXPECT_EQ(Write(plain.get()), "<r><c>a<c>b<u><c>c");
}

TEST(DiPath, WriterRefusals) {
  std::string many, fits;
  while (many.size() < 600) many += "/a";  // 300 segments: 1203 DI characters
  while (fits.size() < 500) fits += "/a";  // 250 segments: 1003
  EXPECT_EQ(ToDI(many), "(refused)");
  EXPECT_EQ(ToDI(fits).size(), 1003u);
  std::string huge = "/" + std::string(FDE_PATH_LEN, 'h');
  FilePathT raw = {FDE_FILEPATH_TAG, FDE_FP_ABSOLUTE, huge.data()};
  FilePathT untagged = {0, FDE_FP_ABSOLUTE, const_cast<StringT>("/a")};
  EXPECT_EQ(Write(&raw), "(refused)");
  EXPECT_EQ(Write(&untagged), "(refused)");
  EXPECT_EQ(Write(nullptr), "(refused)");
  Record fp = Unix("/a");
  fde_test::HeapFault fault(1);
  EXPECT_EQ(Write(fp.get()), "(refused)");
}

TEST(DiPathDeathTest, WriterContractViolations) {
  Record abs = Unix("/a/b"), rel = Unix("a/b");
  Record plainRel(FdeFilePathSimpleCreate("a/b"), F_FilePathFree);  // flags 0
  StringT text;
  IntT length;
  EXPECT_DEATH(F_FilePathToDI(abs.get(), nullptr, &text, nullptr), "");
  EXPECT_DEATH(F_FilePathToDI(rel.get(), nullptr, &text, &length), "");
  EXPECT_DEATH(F_FilePathToDI(abs.get(), rel.get(), &text, &length), "");
  EXPECT_DEATH(F_FilePathToDI(plainRel.get(), abs.get(), &text, &length), "");
  EXPECT_DEATH(FdeParseDiName(nullptr, text), "");
}

TEST(DiPath, ReaderTokensMalformedNamesAndAnchors) {
  struct { const char *di, *anchor, *read; } cases[] = {
      {"<h>srv<c>x", nullptr, "/srv/x #16"}, {"<Z>junk<c>a", nullptr, "a #1"},
      {"<c>a\\<b", nullptr, "a<b #1"}, {"<c><c>a", nullptr, "/a #16"},
      {"<r>ignored<c>a", nullptr, "/a #16"}, {"<c>a/b", nullptr, "a/b #1"},
      // stops on an error: what was read, unexpanded, flags 0
      {"<c>a<r><c>b", nullptr, "a/ #0"}, {"<r><u>", nullptr, "/ #0"}, {"<h>x<u>", nullptr, "/x/ #0"},
      {"abc", nullptr, "(null)"}, {"<r", nullptr, "(null)"}, {"<", nullptr, "(null)"},
      {"x<c>a", nullptr, "(null)"}, {"", nullptr, "(null)"}, {nullptr, nullptr, "(null)"},
      // the root alone is the root, with or without an anchor
      {"<r>", nullptr, "/ #16"}, {"<r>", kAnchor, "/ #16"}, {"<r>x", kAnchor, "/ #16"},
      {"<c>", nullptr, "(null)"},
      {"<u><c>lib<c>x.fm", kAnchor, "/usr/lib/x.fm #16"}, {"<u><u><u><u>", kAnchor, "/ #16"},
      {"<c>a", "d/book.fm", "(null)"}, {"<r><c>a", "d/book.fm", "/a #16"}};
  for (auto &c : cases) EXPECT_EQ(FromDI(c.di, c.anchor), c.read) << (c.di ? c.di : "null");
}

TEST(DiPath, ReaderLimits) {
  std::string big = "<c>" + std::string(300, 'x') + "<c>y";
  EXPECT_EQ(FromDI(big.c_str()), std::string(255, 'x') + "/y #1");
  // Five components of 250 characters pass the output limit: the parse
  // fails and keeps the four that fitted.
  std::string five;
  for (char c = 'a'; c < 'f'; ++c) five += "<c>" + std::string(250, c);
  EXPECT_EQ(FromDI(five.c_str()).size(), 4u * 251 + 3);
  char out[FDE_PATH_SIZE];
  EXPECT_EQ(FdeParseDiName(five.c_str(), out), -1);

  StringT o = out;
  IntT used = 0;
  EXPECT_EQ(F_StrCpyAndAdvance(&o, &used, std::string(1000, 'c').c_str()), 0);
  EXPECT_EQ(F_StrCpyAndAdvance(&o, &used, std::string(24, 'd').c_str()), -1);
  EXPECT_EQ(F_StrCpyAndAdvance(&o, &used, std::string(23, 'd').c_str()), 0);
  EXPECT_TRUE(used == FDE_PATH_LEN && o == out + FDE_PATH_LEN && std::strlen(out) == FDE_PATH_LEN);
}

TEST(DiPath, TokenHelpersStayWithinTheName) {
  struct { const char *text; int id; ptrdiff_t advance; } cases[] = {
      {"<c>x", 'c', 3}, {"abc", 0, 1}, {"<", 0, 1}, {"<c", 0, 2}, {"<cx", 0, 3}, {"", 0, 0}, {"<\xE9>", 0xE9, 3}};
  for (auto &c : cases) {
    ConStringT cursor = c.text;
    EXPECT_EQ(GetDiTokenID(&cursor), c.id) << c.text;
    EXPECT_EQ(cursor - c.text, c.advance) << c.text;
  }
  FdeUFCursorT c;  // segments over 255 characters are cut
  std::string path = "//usr///" + std::string(300, 's') + "/";
  FdeUFCinit(&c, path.c_str());
  EXPECT_TRUE(FdeUFCgetSegment(&c) && FdeUFCgetSegment(&c) && c.segment == std::string(255, 's'));
  EXPECT_FALSE(FdeUFCgetSegment(&c));
}

}  // namespace
