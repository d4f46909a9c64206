// Temporary names and temporary channels.  The directory is chosen once per
// process, so every scenario runs in a forked child of its own.
#include "channel_internal.h"
#include "fde_channel.h"
#include "fde_memory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "heap_fault.h"
#include "test_dirs.h"

namespace {

using fde_test::Findings;
using fde_test::InChild;
using fde_test::ScopedEnv;
using fde_test::TempDir;
namespace fs = std::filesystem;

bool Unique(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Takes a name and checks it is "<dir>/F<hex>." plus six characters that
// name nothing yet.
void ExpectName(Findings &f, const std::string &dir, const std::string &hex, const std::string &what) {
  StringT name = FdeMakeTmpFileName();
  std::string prefix = dir + "/F" + hex + ".";
  if (name == nullptr) return f.Expect(false, what + ": no name");
  std::string s = name;
  F_Free(name);
  bool ok = s.size() == prefix.size() + 6 && s.compare(0, prefix.size(), prefix) == 0;
  for (size_t i = prefix.size(); ok && i < s.size(); ++i) ok = Unique(s[i]);
  f.Expect(ok, what + ": got \"" + s + "\", want \"" + prefix + "??????\"");
  struct stat st;
  f.Expect(lstat(s.c_str(), &st) != 0, what + ": the name is in use");
}

TEST(TmpName, DefaultIsTmpAndTheCounterCountsInHex) {
  TempDir t;
  InChild([&](Findings &f) {
    ScopedEnv tmpdir("TMPDIR", std::nullopt);
    const char *hex[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "a"};
    for (const char *h : hex) ExpectName(f, "/tmp", h, std::string("name ") + h);
    // The choice is made once: a later TMPDIR changes nothing.
    setenv("TMPDIR", t.path().c_str(), 1);
    ExpectName(f, "/tmp", "b", "after TMPDIR changed");
  });
}

TEST(TmpName, WritableTmpdirIsChosen) {
  TempDir t;
  InChild([&](Findings &f) {
    ScopedEnv tmpdir("TMPDIR", t.path());
    ExpectName(f, t.path(), "1", "TMPDIR");
  });
}

TEST(TmpName, TmpdirThatIsNotAWritableDirectoryFallsBackToTmp) {
  TempDir t;
  std::string file = t.File("plain");
  std::string ro = t.Dir("readonly");
  chmod(ro.c_str(), 0555);
  fde_test::OpenToAll(t.path());
  for (const std::string &bad : {file, t / "missing", std::string()}) {
    InChild([&](Findings &f) {
      ScopedEnv tmpdir("TMPDIR", bad);
      ExpectName(f, "/tmp", "1", "TMPDIR=\"" + bad + "\"");
    });
  }
  // access() grants root write permission on a 0555 directory, so for root
  // the directory is writable and is chosen...
  if (geteuid() == 0) {
    InChild([&](Findings &f) {
      ScopedEnv tmpdir("TMPDIR", ro);
      ExpectName(f, ro, "1", "read-only TMPDIR as root");
    });
  }
  // ...while an ordinary user is refused and falls back to /tmp.
  InChild([&](Findings &f) {
    if (!fde_test::DropPrivileges()) return f.Expect(false, "cannot drop privileges");
    ScopedEnv tmpdir("TMPDIR", ro);
    ExpectName(f, "/tmp", "1", "read-only TMPDIR as nobody");
  });
}

TEST(TmpName, HomeThenTheWorkingDirectoryWhenNothingElseIsWritable) {
  TempDir t;
  std::string home = t.Dir("home"), work = t.Dir("work");
  std::string noTmp = t / "no-tmp", noUsrTmp = t.File("no-usr-tmp");
  InChild([&](Findings &f) {
    FdeSetTmpCandidates(noTmp.c_str(), noUsrTmp.c_str());
    ScopedEnv tmpdir("TMPDIR", std::nullopt);
    ScopedEnv h("HOME", home);
    ExpectName(f, home, "1", "HOME");
  });
  InChild([&](Findings &f) {
    FdeSetTmpCandidates(noTmp.c_str(), noUsrTmp.c_str());
    ScopedEnv tmpdir("TMPDIR", std::nullopt);
    ScopedEnv h("HOME", std::nullopt);
    if (chdir(work.c_str()) != 0) return f.Expect(false, "chdir");
    ExpectName(f, fs::current_path().string(), "1", "working directory");
  });
}

TEST(TmpName, CounterUsesAllEightDigitsAndHeapFailureDoesNotCount) {
  TempDir t;
  InChild([&](Findings &f) {
    ScopedEnv tmpdir("TMPDIR", t.path());
    {
      fde_test::HeapFault fault(1);
      f.Expect(FdeMakeTmpFileName() == nullptr, "name without heap");
    }
    ExpectName(f, t.path(), "1", "first name after the failure");
    FdeSetTmpCounter(0xFFFFFFFEu);
    ExpectName(f, t.path(), "ffffffff", "widest counter");
  });
}

TEST(TmpChannel, CreatedPrivateAndRemovedOnClose) {
  TempDir t;
  InChild([&](Findings &f) {
    ScopedEnv tmpdir("TMPDIR", t.path());
    ChannelT *ch = F_ChannelMakeTmp();
    if (ch == nullptr) return f.Expect(false, "no channel");
    FilePathT *fp = F_GetFilePath(ch);
    std::string name = fp->path;
    F_FilePathFree(fp);
    f.Expect(name.rfind(t.path() + "/F1.", 0) == 0, "name " + name);
    struct stat st;
    f.Expect(lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0,
             "an empty regular file");
    f.Expect((st.st_mode & 0777) == 0600, "readable and writable by the owner only");
    f.Expect(F_ChannelWrite("abc", 1, 3, ch) == 3 && F_ChannelSeek(ch, 0, 0) == 0, "write");
    char buf[4] = {};
    f.Expect(F_ChannelRead(buf, 1, 3, ch) == 3 && std::strcmp(buf, "abc") == 0, "read back");
    f.Expect(FdeChannelCloseTmp(&ch) == 0 && ch == nullptr, "close");
    f.Expect(!fs::exists(name), "removed on close");
  });
}

TEST(TmpChannel, FailuresLeaveNoFileAndNothingAllocated) {
  TempDir t;
  InChild([&](Findings &f) {
    ScopedEnv tmpdir("TMPDIR", t.path());
    for (int nth = 1; nth <= 2; ++nth) {  // the name, then the record
      fde_test::HeapFault fault(nth);
      f.Expect(F_ChannelMakeTmp() == nullptr, "channel without heap");
    }
    f.Expect(fs::is_empty(t.path()), "no file left behind");
  });
  // A directory that vanished after the choice: no name can be checked.
  InChild([&](Findings &f) {
    TempDir gone;
    ScopedEnv tmpdir("TMPDIR", gone.path());
    ExpectName(f, gone.path(), "1", "before");
    fs::remove(gone.path());
    f.Expect(F_ChannelMakeTmp() == nullptr, "channel in a removed directory");
  });
}

}  // namespace
