// File-path records and their construction from Unix, Macintosh and DOS
// names.
#include "fde_filepath.h"
#include "fde_memory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "death_style.h"
#include "heap_fault.h"

namespace {

using Record = std::unique_ptr<FilePathT, decltype(&F_FilePathFree)>;
Record Own(FilePathT *fp) { return Record(fp, F_FilePathFree); }
Record Unix(const std::string &name, const FilePathT *anchor = nullptr) {
  return Own(F_UnixToFilePath(name.c_str(), anchor));
}
std::string PathOf(const Record &r) { return r ? r->path : "(null)"; }

TEST(FilePathDeathTest, RecordsAndTheirRelease) {
  FilePathT *fp = FdeFilePathCreate();
  ASSERT_NE(fp, nullptr);
  EXPECT_TRUE(fp->tag == 0x70617468u && fp->flags == 0 && fp->path == nullptr);
  EXPECT_EQ(FdeFilePathFree(&fp), 0);
  EXPECT_EQ(fp, nullptr);
  EXPECT_DEATH(FdeFilePathFree(nullptr), "");
  for (int nth = 1; nth <= 2; ++nth) {  // the record, then the path copy
    fde_test::HeapFault fault(nth);
    EXPECT_EQ(F_UnixToFilePath("/a/b", nullptr), nullptr) << nth;
  }
  Record dos = Own(F_DosToFilePath("C:\\d\\..\\a.fm"));  // copied, not converted
  EXPECT_EQ(PathOf(dos), "C:\\d\\..\\a.fm");
  EXPECT_EQ(dos->flags, 0);
  EXPECT_EQ(F_MacToFilePath(""), nullptr);
}

TEST(FilePath, UnixNamesAreExpandedAndFlagged) {
  Record abs = Unix("/usr//doc/./a/../b.fm");
  EXPECT_EQ(PathOf(abs), "/usr/doc/b.fm");
  EXPECT_EQ(abs->flags, FDE_FP_ABSOLUTE);
  Record rel = Unix("a/b");
  EXPECT_EQ(PathOf(rel), "a/b");
  EXPECT_EQ(rel->flags, FDE_FP_RELATIVE);
  for (const char *empty : {"x/../..", "", "."}) EXPECT_EQ(PathOf(Unix(empty)), "(null)") << empty;
}

TEST(FilePath, AnchorsPlaceRelativeNames) {
  Record anchor = Unix("/usr/doc/book.fm"), top = Unix("/book.fm");
  EXPECT_EQ(PathOf(Unix("ch1.fm", anchor.get())), "/usr/doc/ch1.fm");
  EXPECT_EQ(PathOf(Unix("../lib/x", anchor.get())), "/usr/lib/x");
  EXPECT_EQ(PathOf(Unix("/abs/y", anchor.get())), "/abs/y");
  EXPECT_EQ(PathOf(Unix("ch1.fm", top.get())), "/ch1.fm");
  Record plain = Own(FdeFilePathSimpleCreate("/p/q.fm"));  // flags 0: not relative
  EXPECT_EQ(PathOf(Unix("r", plain.get())), "/p/r");

  Record rel = Unix("d/book.fm");
  FilePathT untagged = {0, FDE_FP_ABSOLUTE, const_cast<StringT>("/a/b")};
  FilePathT pathless = {FDE_FILEPATH_TAG, FDE_FP_ABSOLUTE, nullptr};
  for (const FilePathT *bad : {rel.get(), &untagged, &pathless}) {
    EXPECT_EQ(PathOf(Unix("/abs", bad)), "(null)");
    EXPECT_EQ(PathOf(Unix("x", bad)), "(null)");
  }
}

TEST(FilePath, NamesAndExpansionsOverTheLimitAreRefused) {
  std::string fits = "/" + std::string(FDE_PATH_LEN - 2, 'a');  // the longest expansion
  EXPECT_EQ(PathOf(Unix(fits)), fits);
  // One more character fits the name buffer, but the expansion would cut it
  // off and so name another file.
  EXPECT_EQ(PathOf(Unix(fits + "b")), "(null)");
  std::string over = fits + "bc";
  EXPECT_EQ(PathOf(Unix(over)), "(null)");
  EXPECT_EQ(F_MacToFilePath(over.c_str()), nullptr);
  EXPECT_EQ(FdeFilePathSimpleCreate(over.c_str()), nullptr);
  Record deep = Unix("/" + std::string(1000, 'd') + "/book.fm");
  ASSERT_TRUE(deep);
  EXPECT_EQ(PathOf(Unix(std::string(30, 'x'), deep.get())), "(null)");
  EXPECT_NE(PathOf(Unix("x", deep.get())), "(null)");
}

}  // namespace
