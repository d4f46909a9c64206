// File-path records and the conversions that make them from Unix, Macintosh
// and DOS names.
#include "fde_filepath.h"
#include "fde_memory.h"

#include <gtest/gtest.h>

#include <string>

#include "death_style.h"
#include "heap_fault.h"

namespace {

// Owns a record for the length of a test.
struct Path {
  FilePathT *fp;
  explicit Path(FilePathT *p) : fp(p) {}
  ~Path() { F_FilePathFree(fp); }
  Path(const Path &) = delete;
  Path &operator=(const Path &) = delete;
  std::string str() const { return fp != nullptr && fp->path != nullptr ? fp->path : "(null)"; }
};

TEST(FilePathRecords, CreateFreeAndTag) {
  FilePathT *fp = FdeFilePathCreate();
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(fp->tag, 0x70617468u);
  EXPECT_EQ(fp->flags, 0);
  EXPECT_EQ(fp->path, nullptr);
  EXPECT_EQ(FdeFilePathFree(&fp), 0);
  EXPECT_EQ(fp, nullptr);
  EXPECT_EQ(F_FilePathFree(nullptr), 0);

  Path s(FdeFilePathSimpleCreate("a/b"));
  ASSERT_NE(s.fp, nullptr);
  EXPECT_EQ(s.str(), "a/b");
  EXPECT_EQ(s.fp->flags, 0);
  EXPECT_EQ(FdeFilePathSimpleCreate(nullptr), nullptr);
  EXPECT_EQ(FdeInterpretAnchor(s.fp), s.fp);
  EXPECT_EQ(FdeInterpretAnchor(nullptr), nullptr);
}

TEST(FilePathRecords, FailedAllocationLeavesNothing) {
  for (int nth = 1; nth <= 2; ++nth) {
    fde_test::HeapFault fault(nth);
    EXPECT_EQ(FdeFilePathSimpleCreate("x"), nullptr) << nth;
  }
  fde_test::HeapFault fault(2);
  EXPECT_EQ(F_UnixToFilePath("/a/b", nullptr), nullptr);
}

TEST(FilePathRecordsDeathTest, NullVariableAddressFails) {
  EXPECT_DEATH(FdeFilePathFree(nullptr), "");
}

TEST(FilePathUnix, ExpandsAndFlagsAbsoluteOrRelative) {
  Path a(F_UnixToFilePath("/usr//doc/./a/../b.fm", nullptr));
  ASSERT_NE(a.fp, nullptr);
  EXPECT_EQ(a.str(), "/usr/doc/b.fm");
  EXPECT_EQ(a.fp->flags, FDE_FP_ABSOLUTE);
  Path r(F_UnixToFilePath("a/b", nullptr));
  ASSERT_NE(r.fp, nullptr);
  EXPECT_EQ(r.str(), "a/b");
  EXPECT_EQ(r.fp->flags, FDE_FP_RELATIVE);
  EXPECT_EQ(F_UnixToFilePath("x/../..", nullptr), nullptr);
  EXPECT_EQ(F_UnixToFilePath("", nullptr), nullptr);
  EXPECT_EQ(F_UnixToFilePath(nullptr, nullptr), nullptr);
}

TEST(FilePathUnix, AnchorsPlaceRelativeNames) {
  Path anchor(F_UnixToFilePath("/usr/doc/book.fm", nullptr));
  EXPECT_EQ(Path(F_UnixToFilePath("ch1.fm", anchor.fp)).str(), "/usr/doc/ch1.fm");
  EXPECT_EQ(Path(F_UnixToFilePath("../lib/x", anchor.fp)).str(), "/usr/lib/x");
  EXPECT_EQ(Path(F_UnixToFilePath("/abs/y", anchor.fp)).str(), "/abs/y");
  Path top(F_UnixToFilePath("/book.fm", nullptr));
  EXPECT_EQ(Path(F_UnixToFilePath("ch1.fm", top.fp)).str(), "/ch1.fm");
  // A record with flags 0 is not relative, so it anchors.
  Path plain(FdeFilePathSimpleCreate("/p/q.fm"));
  EXPECT_EQ(Path(F_UnixToFilePath("r", plain.fp)).str(), "/p/r");
}

TEST(FilePathUnix, RejectedAnchorsGiveNull) {
  Path rel(F_UnixToFilePath("d/book.fm", nullptr));
  ASSERT_NE(rel.fp, nullptr);
  EXPECT_EQ(F_UnixToFilePath("/abs", rel.fp), nullptr);
  EXPECT_EQ(F_UnixToFilePath("x", rel.fp), nullptr);
  FilePathT untagged = {0, FDE_FP_ABSOLUTE, const_cast<StringT>("/a/b")};
  EXPECT_EQ(F_UnixToFilePath("x", &untagged), nullptr);
  FilePathT pathless = {FDE_FILEPATH_TAG, FDE_FP_ABSOLUTE, nullptr};
  EXPECT_EQ(F_UnixToFilePath("x", &pathless), nullptr);
}

TEST(FilePathUnix, NamesAndExpansionsOverTheLimitAreRefused) {
  // The expansion holds at most FDE_PATH_LEN - 1 characters.
  std::string ok = "/" + std::string(FDE_PATH_LEN - 2, 'a');
  Path fits(F_UnixToFilePath(ok.c_str(), nullptr));
  EXPECT_EQ(fits.str(), ok);
  // One more character still fits the name buffer, but the expansion would
  // cut it off and name another file.
  std::string cut = ok + "b";
  EXPECT_EQ(F_UnixToFilePath(cut.c_str(), nullptr), nullptr);
  std::string over = cut + "c";
  EXPECT_EQ(F_UnixToFilePath(over.c_str(), nullptr), nullptr);
  EXPECT_EQ(F_MacToFilePath(over.c_str()), nullptr);
  EXPECT_EQ(FdeFilePathSimpleCreate(over.c_str()), nullptr);

  std::string deep = "/" + std::string(1000, 'd') + "/book.fm";
  Path anchor(F_UnixToFilePath(deep.c_str(), nullptr));
  ASSERT_NE(anchor.fp, nullptr);
  EXPECT_EQ(F_UnixToFilePath(std::string(30, 'x').c_str(), anchor.fp), nullptr);
  EXPECT_NE(Path(F_UnixToFilePath("x", anchor.fp)).fp, nullptr);
}

TEST(FilePathForeign, MacAndDosNamesAreCopiedAsTheyAre) {
  Path m(F_MacToFilePath("Disk:Folder:a.fm"));
  ASSERT_NE(m.fp, nullptr);
  EXPECT_EQ(m.str(), "Disk:Folder:a.fm");
  EXPECT_EQ(m.fp->flags, 0);
  Path d(F_DosToFilePath("C:\\doc\\..\\a.fm"));
  EXPECT_EQ(d.str(), "C:\\doc\\..\\a.fm");
  EXPECT_EQ(F_MacToFilePath(""), nullptr);
  EXPECT_EQ(F_DosToFilePath(nullptr), nullptr);
}

}  // namespace
