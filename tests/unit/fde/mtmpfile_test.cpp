// Temporary names and channels.  The directory is chosen once per process,
// so every scenario runs in a forked child of its own.
#include "channel_internal.h"
#include "fde_channel.h"
#include "fde_memory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "heap_fault.h"
#include "test_dirs.h"

namespace {

using fde_test::InChild;
using fde_test::SetEnv;
using fdk::test::TempDir;
using fde_test::Want;
namespace fs = std::filesystem;

// Takes a name; wants "<dir>/F<hex>." and six characters naming nothing yet.
void ExpectName(std::string &why, const std::string &dir, const std::string &hex) {
  StringT name = FdeMakeTmpFileName();
  std::string prefix = dir + "/F" + hex + ".", s = name != nullptr ? name : "(null)";
  F_Free(name);
  bool ok = s.size() == prefix.size() + 6 && s.compare(0, prefix.size(), prefix) == 0;
  for (size_t i = prefix.size(); ok && i < s.size(); ++i) ok = std::isalnum(static_cast<unsigned char>(s[i]));
  struct stat st;
  Want(why, ok && lstat(s.c_str(), &st) != 0, "got \"" + s + "\", want an unused \"" + prefix + "??????\"");
}

TEST(TmpName, TmpByDefaultCountingInHexAndTheChoiceIsKept) {
  TempDir t;
  InChild([&](std::string &why) {
    unsetenv("TMPDIR");
    for (const char *hex : {"1", "2", "3", "4", "5", "6", "7", "8", "9", "a"}) ExpectName(why, "/tmp", hex);
    setenv("TMPDIR", t.path().c_str(), 1);
    ExpectName(why, "/tmp", "b");
    FdeSetTmpCounter(0xFFFFFFFEu);  // the name buffer holds all eight digits
    ExpectName(why, "/tmp", "ffffffff");
  });
}

TEST(TmpName, DirectoryFallbacks) {
  TempDir t;
  std::string ro = t.mkdir("readonly"), home = t.mkdir("home"), work = t.mkdir("work");
  std::string plain = t.write("plain", ""), missing = t.file("missing"), workReal = fs::canonical(work);
  chmod(ro.c_str(), 0555);
  const std::optional<std::string> unset;
  struct Case {
    std::optional<std::string> tmpdir, home;
    bool fixedOnes, nobody;  // /tmp and /usr/tmp usable; run unprivileged
    std::string want;
  } cases[] = {
      {t.path(), home, true, false, t.path()}, {plain, home, true, false, "/tmp"},
      {missing, home, true, false, "/tmp"}, {std::string(), home, true, false, "/tmp"},
      // access() grants root write permission on a 0555 directory, so root
      // takes it (and may indeed write there); an ordinary user is refused.
      {ro, home, true, false, geteuid() == 0 ? ro : "/tmp"}, {ro, home, true, true, "/tmp"},
      {unset, home, false, false, home}, {ro, unset, false, true, workReal}};
  for (const Case &c : cases) {
    InChild([&](std::string &why) {
      if (!c.fixedOnes) FdeSetTmpCandidates(missing.c_str(), plain.c_str());
      if (c.nobody && !fde_test::DropPrivileges()) return Want(why, false, "cannot drop privileges");
      SetEnv("TMPDIR", c.tmpdir);
      SetEnv("HOME", c.home);
      if (chdir(work.c_str()) != 0) return Want(why, false, "chdir");
      ExpectName(why, c.want, "1");
    });
  }
}

TEST(TmpChannel, CreatedPrivateAndRemovedOnClose) {
  TempDir t;
  InChild([&](std::string &why) {
    setenv("TMPDIR", t.path().c_str(), 1);
    ChannelT *ch = F_ChannelMakeTmp();
    if (ch == nullptr) return Want(why, false, "no channel");
    FilePathT *fp = F_GetFilePath(ch);
    std::string name = fp->path;
    F_FilePathFree(fp);
    struct stat st;
    Want(why, name.rfind(t.path() + "/F1.", 0) == 0, "name " + name);
    Want(why, lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0777) == 0600,
         "a regular file for the owner only");
    char buf[4] = {};
    Want(why, F_ChannelWrite("abc", 1, 3, ch) == 3 && F_ChannelSeek(ch, 0, 0) == 0 &&
                  F_ChannelRead(buf, 1, 3, ch) == 3 && std::strcmp(buf, "abc") == 0,
         "read and write");
    Want(why, FdeChannelCloseTmp(&ch) == 0 && ch == nullptr && !fs::exists(name), "removed on close");
  });
}

TEST(TmpChannel, FailuresLeaveNoFileAndNothingAllocated) {
  TempDir t;
  InChild([&](std::string &why) {
    setenv("TMPDIR", t.path().c_str(), 1);
    for (int nth = 1; nth <= 2; ++nth) {  // the name, then the record
      fde_test::HeapFault fault(nth);
      Want(why, F_ChannelMakeTmp() == nullptr, "a channel without heap");
    }
    Want(why, fs::is_empty(t.path()), "no file left behind");
    ExpectName(why, t.path(), "2");  // a failed name does not count
    fs::remove(t.path());           // the chosen directory vanishes
    Want(why, F_ChannelMakeTmp() == nullptr, "a channel in a removed directory");
  });
}

}  // namespace
