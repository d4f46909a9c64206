// DI names: the writer with relativisation, the reader with its malformed
// inputs, the token helpers and the path-segment cursor.
#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "death_style.h"
#include "heap_fault.h"

namespace {

struct Path {
  FilePathT *fp;
  explicit Path(FilePathT *p) : fp(p) {}
  ~Path() { F_FilePathFree(fp); }
  Path(const Path &) = delete;
  Path &operator=(const Path &) = delete;
};

// The DI name of an absolute Unix path, or "(refused)".
std::string ToDI(const std::string &unix, const char *anchorName = nullptr) {
  Path fp(F_UnixToFilePath(unix.c_str(), nullptr));
  Path anchor(anchorName != nullptr ? F_UnixToFilePath(anchorName, nullptr) : nullptr);
  StringT text = reinterpret_cast<StringT>(1);
  IntT length = -5;
  if (F_FilePathToDI(fp.fp, anchor.fp, &text, &length) != 0) {
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(length, 0);
    return "(refused)";
  }
  std::string out = text;
  EXPECT_EQ(static_cast<size_t>(length), out.size());
  F_Free(text);
  return out;
}

// What a DI name reads back as: the path and its flags, or "(null)".
struct Read {
  std::string path = "(null)";
  int flags = -1;
};
Read FromDI(const char *di, const char *anchorName = nullptr) {
  Path anchor(anchorName != nullptr ? F_UnixToFilePath(anchorName, nullptr) : nullptr);
  Path fp(F_DIToFilePath(di, anchor.fp));
  Read r;
  if (fp.fp != nullptr) {
    r.path = fp.fp->path;
    r.flags = fp.fp->flags;
  }
  return r;
}

TEST(DiWrite, WithoutAnchor) {
  EXPECT_EQ(ToDI("/usr/doc/a.fm"), "<r><c>usr<c>doc<c>a.fm");
  EXPECT_EQ(ToDI("/"), "<r>");
  Path plain(FdeFilePathSimpleCreate("/a/./b/../c"));  // flags 0, unexpanded
  StringT text;
  IntT length;
  ASSERT_EQ(F_FilePathToDI(plain.fp, nullptr, &text, &length), 0);
  EXPECT_STREQ(text, "<r><c>a<c>b<u><c>c");
  F_Free(text);
}

TEST(DiWrite, RelativeToAnAnchor) {
  const char *anchor = "/usr/doc/book.fm";
  EXPECT_EQ(ToDI("/usr/doc/a.fm", anchor), "<c>a.fm");
  EXPECT_EQ(ToDI("/usr/lib/x.fm", anchor), "<u><c>lib<c>x.fm");
  EXPECT_EQ(ToDI("/var/x.fm", anchor), "<r><c>var<c>x.fm");
  EXPECT_EQ(ToDI("/usr/ch1.fm", "/usr/book.fm"), "<r><c>usr<c>ch1.fm");
  EXPECT_EQ(ToDI("/usr/doc", "/usr/doc/sub/f"), "<u><u><c>doc");
}

TEST(DiWrite, RoundTripsIncludingEscapedCharacters) {
  const char *anchor = "/usr/doc/book.fm";
  for (const char *p : {"/usr/doc/a.fm", "/usr/lib/x.fm", "/var/x.fm", "/a<b/c\\d/e>f"}) {
    EXPECT_EQ(FromDI(ToDI(p).c_str()).path, p);
    EXPECT_EQ(FromDI(ToDI(p, anchor).c_str(), anchor).path, p);
  }
  EXPECT_EQ(ToDI("/a<b/c\\d"), "<r><c>a\\<b<c>c\\\\d");
  Read r = FromDI("<r><c>usr<c>doc<c>a.fm");
  EXPECT_EQ(r.flags, FDE_FP_ABSOLUTE);
}

TEST(DiWrite, OverLongPathsAndTextsAreRefused) {
  std::string many;
  while (many.size() < 600) many += "/a";  // 300 segments: 1203 DI characters
  EXPECT_EQ(ToDI(many), "(refused)");
  std::string fits;
  while (fits.size() < 500) fits += "/a";  // 250 segments: 1003 DI characters
  EXPECT_EQ(ToDI(fits).size(), 1003u);

  std::string huge = "/" + std::string(FDE_PATH_LEN, 'h');
  FilePathT raw = {FDE_FILEPATH_TAG, FDE_FP_ABSOLUTE, huge.data()};
  StringT text;
  IntT length;
  EXPECT_EQ(F_FilePathToDI(&raw, nullptr, &text, &length), -1);
  EXPECT_EQ(text, nullptr);
}

TEST(DiWrite, NullUntaggedAndAllocationFailureGiveMinusOne) {
  StringT text;
  IntT length;
  EXPECT_EQ(F_FilePathToDI(nullptr, nullptr, &text, &length), -1);
  FilePathT untagged = {0, FDE_FP_ABSOLUTE, const_cast<StringT>("/a")};
  EXPECT_EQ(F_FilePathToDI(&untagged, nullptr, &text, &length), -1);
  Path fp(F_UnixToFilePath("/a", nullptr));
  fde_test::HeapFault fault(1);
  EXPECT_EQ(F_FilePathToDI(fp.fp, nullptr, &text, &length), -1);
  EXPECT_EQ(text, nullptr);
}

TEST(DiWriteDeathTest, ContractViolationsFail) {
  Path abs(F_UnixToFilePath("/a/b", nullptr));
  Path rel(F_UnixToFilePath("a/b", nullptr));
  Path plainRel(FdeFilePathSimpleCreate("a/b"));  // flags 0, relative text
  StringT text;
  IntT length;
  EXPECT_DEATH(F_FilePathToDI(abs.fp, nullptr, nullptr, &length), "");
  EXPECT_DEATH(F_FilePathToDI(abs.fp, nullptr, &text, nullptr), "");
  EXPECT_DEATH(F_FilePathToDI(rel.fp, nullptr, &text, &length), "");
  EXPECT_DEATH(F_FilePathToDI(abs.fp, rel.fp, &text, &length), "");
  EXPECT_DEATH(F_FilePathToDI(plainRel.fp, abs.fp, &text, &length), "");
}

TEST(DiRead, TokensAndTheirTexts) {
  EXPECT_EQ(FromDI("<h>srv<c>x").path, "/srv/x");
  EXPECT_EQ(FromDI("<v>srv").path, "/srv");
  Read skipped = FromDI("<Z>junk<c>a");
  EXPECT_EQ(skipped.path, "a");
  EXPECT_EQ(skipped.flags, FDE_FP_RELATIVE);
  EXPECT_EQ(FromDI("<c>a\\<b").path, "a<b");
  Read empty = FromDI("<c><c>a");
  EXPECT_EQ(empty.path, "/a");
  EXPECT_EQ(empty.flags, FDE_FP_ABSOLUTE);
  EXPECT_EQ(FromDI("<r>ignored<c>a").path, "/a");
  EXPECT_EQ(FromDI("<c>a<c>b trailing junk").path, "a/b trailing junk");
  EXPECT_EQ(FromDI("<c>a/b").path, "a/b");  // the text is not split again
}

TEST(DiRead, MalformedNames) {
  Read late = FromDI("<c>a<r><c>b");
  EXPECT_EQ(late.path, "a/");
  EXPECT_EQ(late.flags, 0);
  Read up = FromDI("<r><u>");
  EXPECT_EQ(up.path, "/");
  EXPECT_EQ(up.flags, 0);
  EXPECT_EQ(FromDI("<h>x<u>").path, "/x/");
  for (const char *bad : {"abc", "<r", "<", "<c", "", "x<c>a"}) EXPECT_EQ(FromDI(bad).path, "(null)") << bad;
  EXPECT_EQ(FromDI(nullptr).path, "(null)");
}

TEST(DiRead, AnchorPlacesRelativeResults) {
  const char *anchor = "/usr/doc/book.fm";
  EXPECT_EQ(FromDI("<u><c>lib<c>x.fm", anchor).path, "/usr/lib/x.fm");
  EXPECT_EQ(FromDI("<r>").path, "(null)");
  EXPECT_EQ(FromDI("<r>", anchor).path, "/usr/doc");
  EXPECT_EQ(FromDI("<u><u><u><u>", anchor).path, "/");
  Path rel(F_UnixToFilePath("d/book.fm", nullptr));
  EXPECT_EQ(Path(F_DIToFilePath("<c>a", rel.fp)).fp, nullptr);
  // An absolute result never looks at the anchor.
  Path got(F_DIToFilePath("<r><c>a", rel.fp));
  ASSERT_NE(got.fp, nullptr);
  EXPECT_STREQ(got.fp->path, "/a");
}

TEST(DiRead, LimitsOfTextAndOutput) {
  std::string big = "<c>" + std::string(300, 'x') + "<c>y";
  EXPECT_EQ(FromDI(big.c_str()).path, std::string(255, 'x') + "/y");
  // Five components of 250 characters pass the output limit: the parse
  // fails and keeps what fitted, unexpanded.
  std::string five;
  for (int i = 0; i < 5; ++i) five += "<c>" + std::string(250, 'a' + i);
  Read r = FromDI(five.c_str());
  EXPECT_EQ(r.flags, 0);
  EXPECT_EQ(r.path.size(), 4u * 251);
  char out[FDE_PATH_SIZE];
  EXPECT_EQ(FdeParseDiName(five.c_str(), out), -1);
  EXPECT_LE(std::strlen(out), static_cast<size_t>(FDE_PATH_LEN));
}

TEST(DiTokens, CursorNeverPassesTheTerminator) {
  struct Case {
    const char *text;
    int id;
    ptrdiff_t advance;
  } cases[] = {{"<c>x", 'c', 3}, {"abc", 0, 1}, {"<", 0, 1}, {"<c", 0, 2},
               {"<cx", 0, 3},    {"", 0, 0},    {"<\xE9>", 0xE9, 3}};
  for (const Case &c : cases) {
    ConStringT cursor = c.text;
    EXPECT_EQ(GetDiTokenID(&cursor), c.id) << c.text;
    EXPECT_EQ(cursor - c.text, c.advance) << c.text;
  }
  ConStringT p = "a\\<b<c>";
  AdvPastToken(&p);
  EXPECT_STREQ(p, "<c>");
  p = "ab\\";
  AdvPastToken(&p);
  EXPECT_STREQ(p, "");

  char buf[4];
  p = "a\\<bcdef";
  CopyTokenIntoString(&p, buf, sizeof buf);
  EXPECT_STREQ(buf, "a<b");
  EXPECT_STREQ(p, "cdef");
  p = "x\\";
  CopyTokenIntoString(&p, buf, sizeof buf);
  EXPECT_STREQ(buf, "x");
  EXPECT_STREQ(p, "");
}

TEST(DiTokens, CpyAndAdvanceKeepsTheOutputWithinItsSize) {
  char out[FDE_PATH_SIZE];
  StringT o = out;
  IntT used = 0;
  std::string chunk(1000, 'c');
  EXPECT_EQ(F_StrCpyAndAdvance(&o, &used, chunk.c_str()), 0);
  EXPECT_EQ(F_StrCpyAndAdvance(&o, &used, ""), 0);
  EXPECT_EQ(F_StrCpyAndAdvance(&o, &used, std::string(24, 'd').c_str()), -1);
  EXPECT_EQ(used, 1000);
  EXPECT_EQ(F_StrCpyAndAdvance(&o, &used, std::string(23, 'd').c_str()), 0);
  EXPECT_EQ(used, FDE_PATH_LEN);
  EXPECT_EQ(o, out + FDE_PATH_LEN);
  EXPECT_EQ(std::strlen(out), static_cast<size_t>(FDE_PATH_LEN));
}

TEST(DiCursor, SegmentsSkipSlashesAndAreCut) {
  std::string path = "//usr///" + std::string(300, 's') + "/x/";
  FdeUFCursorT c;
  FdeUFCinit(&c, path.c_str());
  ASSERT_TRUE(FdeUFCgetSegment(&c));
  EXPECT_STREQ(c.segment, "usr");
  ASSERT_TRUE(FdeUFCgetSegment(&c));
  EXPECT_EQ(std::string(c.segment), std::string(255, 's'));
  ASSERT_TRUE(FdeUFCgetSegment(&c));
  EXPECT_STREQ(c.segment, "x");
  EXPECT_FALSE(FdeUFCgetSegment(&c));
  EXPECT_STREQ(c.segment, "");
  FdeUFCinit(&c, nullptr);
  EXPECT_FALSE(FdeUFCgetSegment(&c));
}

TEST(DiReadDeathTest, NullArgumentsFail) {
  char out[FDE_PATH_SIZE];
  EXPECT_DEATH(FdeParseDiName(nullptr, out), "");
  EXPECT_DEATH(FdeParseDiName("<c>a", nullptr), "");
  EXPECT_DEATH(GetDiTokenID(nullptr), "");
}

}  // namespace
