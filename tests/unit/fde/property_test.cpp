// File tests: types and existence through stat, permissions through access.
#include "fde_filepath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "test_dirs.h"

namespace {

using fde_test::Findings;
using fde_test::TempDir;

struct Path {
  FilePathT *fp;
  explicit Path(const std::string &s) : fp(F_UnixToFilePath(s.c_str(), nullptr)) {}
  ~Path() { F_FilePathFree(fp); }
  Path(const Path &) = delete;
  Path &operator=(const Path &) = delete;
};

TEST(FileProperties, StatBitsByType) {
  TempDir t;
  std::string dir = t.Dir("d"), file = t.File("f", "x"), missing = t / "none";
  EXPECT_EQ(FdeStatProperty(dir.c_str(), 0x700), 0x500u);
  EXPECT_EQ(FdeStatProperty(file.c_str(), 0x700), 0x600u);
  EXPECT_EQ(FdeStatProperty(missing.c_str(), 0x700), 0u);
  EXPECT_EQ(FdeStatProperty(file.c_str(), FDE_SP_DIRECTORY), 0u);
  EXPECT_EQ(FdeStatProperty(dir.c_str(), FDE_SP_EXISTS), FDE_SP_EXISTS);
  EXPECT_EQ(FdeStatProperty(nullptr, 0x700), 0u);
  EXPECT_EQ(FdeAccessProperty(file.c_str(), 3), 3u);
  EXPECT_EQ(FdeAccessProperty(file.c_str(), FDE_AP_READ), FDE_AP_READ);
  EXPECT_EQ(FdeAccessProperty(missing.c_str(), 3), 0u);
  EXPECT_EQ(FdeAccessProperty(nullptr, 3), 0u);
}

TEST(FileProperties, RecordTestsMatchTheType) {
  TempDir t;
  Path dir(t.Dir("d")), file(t.File("f")), missing(t / "none");
  EXPECT_TRUE(F_DirectoryExists(dir.fp));
  EXPECT_FALSE(F_FileExists(dir.fp));
  EXPECT_TRUE(F_FileExists(file.fp));
  EXPECT_FALSE(F_DirectoryExists(file.fp));
  EXPECT_TRUE(F_DirectoryIsWriteable(dir.fp) && F_DirectoryIsReadable(dir.fp));
  EXPECT_FALSE(F_FileIsWriteable(dir.fp) || F_FileIsReadable(dir.fp));
  EXPECT_TRUE(F_FileIsWriteable(file.fp) && F_FileIsReadable(file.fp));
  EXPECT_FALSE(F_DirectoryIsWriteable(file.fp));
  EXPECT_FALSE(F_FileExists(missing.fp) || F_DirectoryExists(missing.fp));
  EXPECT_FALSE(F_FileExists(nullptr) || F_DirectoryIsReadable(nullptr));
  EXPECT_EQ(FdeExists(file.fp->path, FDE_FT_REGULAR), 1);
  EXPECT_EQ(FdeOperationOk(file.fp->path, FDE_FT_DIRECTORY, FDE_ACCESS_READ), 0);
}

TEST(FileProperties, PermissionsOfAnUnprivilegedProcess) {
  // Root passes every access check, so the denials are checked as nobody.
  TempDir t;
  fde_test::OpenToAll(t.path());
  std::string file = t.File("ro", "x");
  std::string dir = t.Dir("rodir");
  chmod(file.c_str(), 0444);
  chmod(dir.c_str(), 0555);
  fde_test::InChild([&](Findings &f) {
    if (!fde_test::DropPrivileges()) return f.Expect(false, "cannot drop privileges");
    f.Expect(FdeAccessProperty(file.c_str(), 3) == FDE_AP_READ, "read-only file: read only");
    Path fp(file), dp(dir);
    f.Expect(F_FileIsReadable(fp.fp) && !F_FileIsWriteable(fp.fp), "file tests");
    f.Expect(F_DirectoryIsReadable(dp.fp) && !F_DirectoryIsWriteable(dp.fp), "directory tests");
  });
}

}  // namespace
