// What touches the file system: file properties, channels, temporary names
// and channels, and the cleanup of every heap-failure path.
#include "channel_internal.h"
#include "fde_channel.h"
#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"
#include "fde_strings.h"
#include "memory_internal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "testsupport.hpp"

namespace {

namespace fs = std::filesystem;
using fdk::test::TempDir;
using DryHeap = fdk::test::HeapFault<FdeSysAllocT, FdeSetSysAlloc>;

FilePathT *Unix(const std::string &s) { return F_UnixToFilePath(s.c_str(), nullptr); }

// Runs scenario in a process of its own, for the state the library keeps
// once per process (temporary and home directory).  It returns what it found
// wrong; the sanitizer build checks for leaks when the process ends.
void Fresh(const std::function<std::string()> &scenario) {
  EXPECT_EXIT(
      {
        std::string why = scenario();
        std::fputs(why.c_str(), stderr);
        std::exit(why.empty() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// Takes a name: "" when it is "<dir>/F<hex>." and six characters naming nothing yet.
std::string BadName(const std::string &dir, const std::string &hex) {
  StringT name = FdeMakeTmpFileName();
  std::string prefix = dir + "/F" + hex + ".", s = name != nullptr ? name : "(null)";
  F_Free(name);
  bool ok = s.size() == prefix.size() + 6 && s.compare(0, prefix.size(), prefix) == 0;
  for (size_t i = prefix.size(); ok && i < s.size(); ++i) ok = std::isalnum(static_cast<unsigned char>(s[i]));
  struct stat st;
  return ok && lstat(s.c_str(), &st) != 0 ? "" : "got " + s + ", want an unused " + prefix + "??????\n";
}

TEST(FdeTmp, TheDirectoryAndTheHomeAreChosenOnce) {
  Fresh([] {
    TempDir t;
    unsetenv("TMPDIR");
    unsetenv("HOME");
    std::string why = BadName("/tmp", "1");
    setenv("TMPDIR", t.path().c_str(), 1);
    FdeSetTmpCounter(9);  // names count in hexadecimal
    why += BadName("/tmp", "a");
    FdeSetTmpCounter(0xFFFFFFFEu);  // the name has room for all eight digits
    why += BadName("/tmp", "ffffffff");
    char unset[FDE_PATH_SIZE] = "~/d", bare[FDE_PATH_SIZE] = "~", later[FDE_PATH_SIZE] = "~/d";
    FdeFixTildaName(unset);
    setenv("HOME", "/home/u", 1);
    FdeFixTildaName(bare);
    setenv("HOME", "/elsewhere", 1);
    FdeFixTildaName(later);
    std::string home = std::string(unset) + " " + bare + " " + later;
    return why + (home == "~/d /home/u /home/u/d" ? "" : home);
  });
}

TEST(FdeTmp, DirectoryFallbacks) {
  // TMPDIR and HOME (null: unset) and the wanted directory, inside a fresh
  // temporary directory; without the fixed candidates /tmp and /usr/tmp;
  // with the real user nobody, whom access() refuses a 0555 directory.
  struct { const char *tmpdir, *home; bool fixedOnes, nobody; const char *want; } cases[] = {
      {"d", "home", true, false, "d"}, {"plain", "home", true, false, "/tmp"},
      {"", "home", true, false, "/tmp"},
      {"ro", "home", true, true, "/tmp"}, {nullptr, "home", false, false, "home"},
      {"ro", nullptr, false, true, "work"}};
  for (auto &c : cases)
    Fresh([&] {
      TempDir t;
      auto at = [&](const char *name) { return *name != 0 && *name != '/' ? t.file(name) : std::string(name); };
      chmod(t.mkdir("ro").c_str(), 0555);
      for (const char *dir : {"d", "home", "work"}) t.mkdir(dir);
      t.write("plain", "");
      if (!c.fixedOnes) FdeSetTmpCandidates(at("missing").c_str(), at("plain").c_str());
      c.tmpdir != nullptr ? setenv("TMPDIR", at(c.tmpdir).c_str(), 1) : unsetenv("TMPDIR");
      c.home != nullptr ? setenv("HOME", at(c.home).c_str(), 1) : unsetenv("HOME");
      bool nobody = c.nobody && getuid() == 0;
      if (chdir(at("work").c_str()) != 0 || (nobody && setreuid(65534, -1) != 0)) return std::string("setup");
      std::string want = std::strcmp(c.want, "work") == 0 ? fs::canonical(at("work")).string() : at(c.want);
      std::string why = BadName(want, "1");
      if (nobody && setreuid(0, -1) != 0) why += "setreuid back";
      return why;
    });
}

TEST(FdeTmp, ChannelIsPrivateAndRemovedOnClose) {
  Fresh([] {
    TempDir t;
    setenv("TMPDIR", t.path().c_str(), 1);
    ChannelT *ch = F_ChannelMakeTmp();
    char buf[4] = {};
    struct stat st;
    std::string name = ch != nullptr ? ch->name : "";
    bool ok = name.rfind(t.path() + "/F1.", 0) == 0 && lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
              (st.st_mode & 0777) == 0600 && F_ChannelWrite("abc", 1, 3, ch) == 3 && F_ChannelSeek(ch, 0, 0) == 0 &&
              F_ChannelRead(buf, 1, 3, ch) == 3 && std::strcmp(buf, "abc") == 0;
    ok = ok && FdeChannelCloseTmp(&ch) == 0 && ch == nullptr && !fs::exists(name);
    fs::remove(t.path());  // the chosen directory vanishes
    return ok && F_ChannelMakeTmp() == nullptr ? "" : "temporary channel " + name;
  });
}

// Every heap request of an operation refused in turn: a clean failure, no
// file left behind, nothing allocated (the sanitizer build checks leaks).
TEST(FdeFiles, HeapFailuresLeaveNothingBehind) {
  Fresh([] {
    TempDir t;
    setenv("TMPDIR", t.path().c_str(), 1);
    FilePathT *src = Unix(t.write("src", "x")), *abs = Unix("/a");
    HandleT *h = F_AllocHandle(100, 0);
    void *data = h->data;
    StringT text;
    IntT length;
    const std::pair<std::function<bool()>, int> ops[] = {  // {fails cleanly, requests}
        {[] { return F_AllocHandle(16, 0) == nullptr; }, 2},
        {[&] { return F_ReallocHandle(h, 200, 0) == nullptr && h->data == data && h->size == 100; }, 1},
        {[&] { return F_ChannelOpen(src, "r") == nullptr; }, 2},
        {[] { return F_UnixToFilePath("/a/b", nullptr) == nullptr; }, 2},
        {[&] { return F_FilePathToDI(abs, nullptr, &text, &length) == -1 && text == nullptr; }, 1},
        {[] { return F_ChannelMakeTmp() == nullptr; }, 2}};
    std::string why;
    for (size_t i = 0; i < std::size(ops); ++i)
      for (int nth = 1; nth <= ops[i].second; ++nth) {
        DryHeap fault(nth);
        if (!ops[i].first()) why += "operation " + std::to_string(i) + ", request " + std::to_string(nth) + "\n";
      }
    fs::remove(t.file("src"));
    if (!fs::is_empty(t.path())) why += "a file left behind\n";
    F_FreeHandle(h);
    F_FilePathFree(src);
    F_FilePathFree(abs);
    return why;
  });
}

TEST(FdeFiles, Properties) {
  TempDir t;
  std::string dir = t.mkdir("d"), file = t.write("f", "x");
  EXPECT_EQ(FdeStatProperty(dir.c_str(), 0x700) | FdeStatProperty(t.file("none").c_str(), 0x700), 0x500u);
  EXPECT_EQ(FdeStatProperty(file.c_str(), 0x700) | FdeAccessProperty("", 3), 0x600u);
  EXPECT_EQ(FdeAccessProperty(file.c_str(), 3) | FdeAccessProperty(t.file("none").c_str(), 3), 3u);
  FilePathT *d = Unix(dir), *f = Unix(file);
  EXPECT_TRUE(F_DirectoryExists(d) && F_DirectoryIsWriteable(d) && F_FileExists(f) && F_FileIsReadable(f));
  EXPECT_FALSE(F_FileExists(d) || F_FileIsWriteable(d) || F_DirectoryExists(f) || F_DirectoryIsReadable(f));
  EXPECT_FALSE(F_FileExists(nullptr));
  F_FilePathFree(d);
  F_FilePathFree(f);
}

TEST(FdeChannel, AppendCloseAndDelete) {
  TempDir t;
  std::string content(20000, 0);  // several blocks
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  FilePathT *src = Unix(t.write("src", content)), *dst = Unix(t.file("dst")), *top = Unix(t.path());
  ChannelT *from = F_ChannelOpen(src, "r"), *to = F_ChannelOpen(dst, "w"), *full = FdeChannelNew(fopen("/dev/full", "w"), nullptr);
  EXPECT_EQ(F_ChannelAppend(from, to), 0);
  EXPECT_EQ(F_ChannelAppend(from, to), 0);  // at the end already: nothing more
  EXPECT_EQ(F_ChannelFlush(to), 0);
  EXPECT_EQ(fdk::test::read_file(dst->path), content);
  EXPECT_TRUE(F_ChannelSeek(from, 100, 0) == 0 && F_ChannelSize(from) == 20000 && F_ChannelTell(from) == 100);
  EXPECT_EQ(F_ChannelAppend(from, full), -1);  // a short write
  EXPECT_EQ(F_ChannelAppend(to, from), -1);    // a read error is no end of file
  EXPECT_EQ(F_ChannelClose(from) + F_ChannelClose(to), 0);
  // The file goes even when the close fails (here: flushing to a full device).
  F_ChannelWrite("x", 1, 1, full);
  full->name = F_StrCopyString(dst->path);
  EXPECT_EQ(F_ChannelCloseTmp(full), -1);
  EXPECT_FALSE(fs::exists(dst->path));
  EXPECT_EQ(F_ChannelClose(nullptr) + F_ChannelCloseTmp(nullptr), -2);
  // A channel without a name stands for the working directory; closing it
  // as temporary must not remove that directory, empty as it is.
  fs::path old = fs::current_path();
  fs::current_path(t.mkdir("work"));
  ChannelT *unnamed = FdeChannelNew(std::tmpfile(), F_StrCopyString(""));
  FilePathT *work = F_GetFilePath(unnamed);
  EXPECT_EQ(fs::path(work->path), fs::canonical(t.file("work")));
  EXPECT_TRUE(FdeChannelCloseTmp(&unnamed) == 0 && unnamed == nullptr && fs::is_directory(work->path));
  fs::current_path(old);
  EXPECT_EQ(F_DeleteFile(top), -1);  // not empty
  EXPECT_EQ(F_DeleteFile(work), 0);
  EXPECT_EQ(F_DeleteFile(work), -1);
  for (FilePathT *fp : {src, dst, top, work}) F_FilePathFree(fp);
}

}  // namespace
