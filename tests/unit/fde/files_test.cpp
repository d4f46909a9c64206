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
#include <vector>

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

TEST(FdeTmp, NamesCountInHexAndTheDirectoryIsChosenOnce) {
  Fresh([] {
    TempDir t;
    unsetenv("TMPDIR");
    std::string why;
    for (const char *hex : {"1", "2", "3", "4", "5", "6", "7", "8", "9", "a"}) why += BadName("/tmp", hex);
    setenv("TMPDIR", t.path().c_str(), 1);
    why += BadName("/tmp", "b");
    FdeSetTmpCounter(0xFFFFFFFEu);  // the name has room for all eight digits
    return why + BadName("/tmp", "ffffffff");
  });
}

TEST(FdeTmp, DirectoryFallbacks) {
  // TMPDIR and HOME (null: unset) and the wanted directory, inside a fresh
  // temporary directory; without the fixed candidates /tmp and /usr/tmp;
  // with the real user nobody, whom access() refuses a 0555 directory.
  struct { const char *tmpdir, *home; bool fixedOnes, nobody; const char *want; } cases[] = {
      {"d", "home", true, false, "d"}, {"plain", "home", true, false, "/tmp"},
      {"missing", "home", true, false, "/tmp"}, {"", "home", true, false, "/tmp"},
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
    if (ch == nullptr) return std::string("no channel");
    FilePathT *fp = F_GetFilePath(ch);
    std::string name = fp->path, why;
    F_FilePathFree(fp);
    struct stat st;
    if (name.rfind(t.path() + "/F1.", 0) != 0) why += "name " + name + "\n";
    if (lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0777) != 0600)
      why += "not a regular file for the owner only\n";
    char buf[4] = {};
    if (F_ChannelWrite("abc", 1, 3, ch) != 3 || F_ChannelSeek(ch, 0, 0) != 0 || F_ChannelRead(buf, 1, 3, ch) != 3 ||
        std::strcmp(buf, "abc") != 0)
      why += "read and write\n";
    if (FdeChannelCloseTmp(&ch) != 0 || ch != nullptr || fs::exists(name)) why += "not removed on close\n";
    fs::remove(t.path());  // the chosen directory vanishes
    return why + (F_ChannelMakeTmp() == nullptr ? "" : "a channel in a removed directory");
  });
}

TEST(FdeTmp, HomeIsReadOnce) {
  Fresh([] {
    unsetenv("HOME");
    auto fixed = [](std::string s) {
      char buf[FDE_PATH_SIZE];
      std::strcpy(buf, s.c_str());
      FdeFixTildaName(buf);
      return std::string(buf);
    };
    std::string unset = fixed("~/d");
    setenv("HOME", "/home/u", 1);
    std::string bare = fixed("~");
    char up[FDE_PATH_SIZE] = "~/../v";
    FdeUiExpandFileName(up, "");
    setenv("HOME", "/elsewhere", 1);
    std::string got = unset + " " + bare + " " + up + " " + fixed("~/d");
    return got == "~/d /home/u /home/v /home/u/d" ? "" : got;
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
  std::string dir = t.mkdir("d"), file = t.write("f", "x"), missing = t.file("none");
  EXPECT_EQ(FdeStatProperty(dir.c_str(), 0x700), FDE_SP_DIRECTORY | FDE_SP_EXISTS);
  EXPECT_EQ(FdeStatProperty(file.c_str(), 0x700), FDE_SP_REGULAR | FDE_SP_EXISTS);
  EXPECT_EQ(FdeStatProperty(missing.c_str(), 0x700) | FdeStatProperty(nullptr, 0x700), 0u);
  EXPECT_EQ(FdeAccessProperty(file.c_str(), 3), 3u);
  EXPECT_EQ(FdeAccessProperty(missing.c_str(), 3) | FdeAccessProperty("", 3), 0u);
  FilePathT *d = Unix(dir), *f = Unix(file);
  EXPECT_TRUE(F_DirectoryExists(d) && F_DirectoryIsWriteable(d) && F_FileExists(f) && F_FileIsReadable(f));
  EXPECT_FALSE(F_FileExists(d) || F_FileIsWriteable(d) || F_DirectoryExists(f) || F_DirectoryIsReadable(f));
  EXPECT_FALSE(F_FileExists(nullptr));
  F_FilePathFree(d);
  F_FilePathFree(f);
}

// A channel on an unbuffered stream that records every write and can be
// made to fail.
struct Probe {
  std::string data;
  std::vector<size_t> writes;
  size_t room = SIZE_MAX;
  bool readFails = false, closeFails = false;

  ChannelT *Channel(const char *mode, const std::string &name = "probe") {
    cookie_io_functions_t io = {
        [](void *c, char *, size_t) -> ssize_t { return static_cast<Probe *>(c)->readFails ? -1 : 0; },
        [](void *c, const char *buf, size_t n) -> ssize_t {
          auto *p = static_cast<Probe *>(c);
          size_t k = std::min(n, p->room);
          p->room -= k;
          p->writes.push_back(n);
          p->data.append(buf, k);
          return static_cast<ssize_t>(k);
        },
        nullptr, [](void *c) { return static_cast<Probe *>(c)->closeFails ? -1 : 0; }};
    FILE *f = fopencookie(this, mode, io);
    setvbuf(f, nullptr, _IONBF, 0);
    return FdeChannelNew(f, F_StrCopyString(name.c_str()));
  }
};

TEST(FdeChannel, AppendCopiesInBlocksAndReportsFailures) {
  TempDir t;
  std::string content(20000, 0);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  FilePathT *src = Unix(t.write("src", content));
  ChannelT *from = F_ChannelOpen(src, "r");
  ASSERT_NE(from, nullptr);
  Probe sink, full, broken;
  ChannelT *to = sink.Channel("w");
  EXPECT_EQ(F_ChannelAppend(from, to), 0);
  EXPECT_EQ(sink.writes, (std::vector<size_t>{8192, 8192, 3616}));
  EXPECT_EQ(sink.data, content);
  sink.writes.clear();
  EXPECT_EQ(F_ChannelAppend(from, to), 0);  // at the end already: nothing written
  EXPECT_TRUE(sink.writes.empty());
  EXPECT_EQ(F_ChannelSeek(from, 100, 0), 0);
  EXPECT_EQ(F_ChannelSize(from), 20000);
  EXPECT_EQ(F_ChannelTell(from), 100);  // the size leaves the position
  full.room = 100;
  ChannelT *short_ = full.Channel("w");
  EXPECT_EQ(F_ChannelAppend(from, short_), -1);
  EXPECT_EQ(full.writes.size(), 1u);
  broken.readFails = true;
  ChannelT *bad = broken.Channel("r");
  EXPECT_EQ(F_ChannelAppend(bad, to), -1);
  for (ChannelT *ch : {from, to, short_, bad}) F_ChannelClose(ch);
  F_FilePathFree(src);
}

TEST(FdeChannel, CloseTmpRemovesTheFileEvenWhenTheCloseFails) {
  TempDir t;
  std::string file = t.write("tmpfile", "data");
  Probe probe;
  probe.closeFails = true;
  EXPECT_EQ(F_ChannelCloseTmp(probe.Channel("w", file)), -1);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(F_ChannelClose(nullptr) + F_ChannelCloseTmp(nullptr), -2);
  // A channel without a name stands for the working directory; closing it
  // as temporary must not remove that directory, empty as it is.
  std::string work = t.mkdir("work");
  fs::path old = fs::current_path();
  fs::current_path(work);
  ChannelT *unnamed = FdeChannelNew(std::tmpfile(), F_StrCopyString(""));
  FilePathT *fp = F_GetFilePath(unnamed);
  EXPECT_EQ(fs::path(fp->path), fs::canonical(work));
  F_FilePathFree(fp);
  EXPECT_EQ(FdeChannelCloseTmp(&unnamed), 0);
  EXPECT_TRUE(unnamed == nullptr && fs::is_directory(work));
  fs::current_path(old);
  FilePathT *dir = Unix(work), *top = Unix(t.path());
  EXPECT_EQ(F_DeleteFile(top), -1);  // not empty
  EXPECT_EQ(F_DeleteFile(dir), 0);
  EXPECT_EQ(F_DeleteFile(dir), -1);
  F_FilePathFree(dir);
  F_FilePathFree(top);
}

}  // namespace
