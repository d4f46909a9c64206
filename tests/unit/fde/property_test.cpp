// File tests: type and existence through stat, permissions through access.
#include "fde_filepath.h"

#include <gtest/gtest.h>

#include <string>

#include "test_dirs.h"

namespace {

TEST(FileProperties, TypesAndExistence) {
  fdk::test::TempDir t;
  std::string dir = t.mkdir("d"), file = t.write("f", "x"), missing = t.file("none");
  EXPECT_EQ(FdeStatProperty(dir.c_str(), 0x700), 0x500u);
  EXPECT_EQ(FdeStatProperty(file.c_str(), 0x700), 0x600u);
  EXPECT_EQ(FdeStatProperty(missing.c_str(), 0x700) | FdeStatProperty(nullptr, 0x700), 0u);
  EXPECT_EQ(FdeAccessProperty(file.c_str(), 3), 3u);
  EXPECT_EQ(FdeAccessProperty(missing.c_str(), 3), 0u);
  FilePathT *d = F_UnixToFilePath(dir.c_str(), nullptr), *f = F_UnixToFilePath(file.c_str(), nullptr);
  EXPECT_TRUE(F_DirectoryExists(d) && F_DirectoryIsWriteable(d) && F_FileExists(f) && F_FileIsReadable(f));
  EXPECT_FALSE(F_FileExists(d) || F_FileIsWriteable(d) || F_DirectoryExists(f) || F_DirectoryIsReadable(f));
  EXPECT_FALSE(F_FileExists(nullptr));
  F_FilePathFree(d);
  F_FilePathFree(f);
}

}  // namespace
