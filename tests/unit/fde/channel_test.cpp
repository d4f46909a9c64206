// Channels: opening, the stream operations, appending in blocks, closing,
// and deleting files.
#include "channel_internal.h"
#include "fde_channel.h"
#include "fde_memory.h"
#include "fde_strings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "death_style.h"
#include "heap_fault.h"
#include "test_dirs.h"

namespace {

using fde_test::TempDir;
namespace fs = std::filesystem;

struct Path {
  FilePathT *fp;
  explicit Path(const std::string &s) : fp(F_UnixToFilePath(s.c_str(), nullptr)) {}
  ~Path() { F_FilePathFree(fp); }
  Path(const Path &) = delete;
  Path &operator=(const Path &) = delete;
};

// An unbuffered stream whose every read, write and close the test sees and
// may make fail.
struct Probe {
  std::string data;   // what was written, or what is read
  size_t readAt = 0;
  std::vector<size_t> writes;
  size_t room = SIZE_MAX;  // bytes the sink accepts before it stops taking
  bool readFails = false;
  bool closeFails = false;

  FILE *Open(const char *mode) {
    cookie_io_functions_t io = {Read, Write, nullptr, Close};
    FILE *f = fopencookie(this, mode, io);
    if (f != nullptr) setvbuf(f, nullptr, _IONBF, 0);
    return f;
  }
  static ssize_t Read(void *c, char *buf, size_t n) {
    auto *p = static_cast<Probe *>(c);
    if (p->readFails) return -1;
    size_t k = std::min(n, p->data.size() - p->readAt);
    std::memcpy(buf, p->data.data() + p->readAt, k);
    p->readAt += k;
    return static_cast<ssize_t>(k);
  }
  static ssize_t Write(void *c, const char *buf, size_t n) {
    auto *p = static_cast<Probe *>(c);
    size_t k = std::min(n, p->room);
    p->room -= k;
    p->writes.push_back(n);
    p->data.append(buf, k);
    return static_cast<ssize_t>(k);
  }
  static int Close(void *c) { return static_cast<Probe *>(c)->closeFails ? -1 : 0; }
};

ChannelT *ChannelOn(FILE *stream, const std::string &name) {
  return FdeChannelNew(stream, F_StrCopyString(name.c_str()));
}

class Channel : public testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(Channel, OpenWriteSeekReadAndSize) {
  Path p(dir_ / "a.txt");
  ChannelT *ch = F_ChannelOpen(p.fp, "w+");
  ASSERT_NE(ch, nullptr);
  EXPECT_EQ(F_ChannelWrite("hello world", 1, 11, ch), 11u);
  EXPECT_EQ(F_ChannelSeek(ch, 6, 0), 0);
  EXPECT_EQ(F_ChannelTell(ch), 6);
  EXPECT_EQ(F_ChannelSize(ch), 11);
  EXPECT_EQ(F_ChannelTell(ch), 6);  // the size leaves the position
  char buf[8] = {};
  EXPECT_EQ(F_ChannelRead(buf, 1, sizeof buf, ch), 5u);
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(F_ChannelEof(ch), 1);
  EXPECT_EQ(F_ChannelSeek(ch, -5, 2), 0);
  EXPECT_EQ(F_ChannelEof(ch), 0);
  EXPECT_EQ(F_ChannelRead(buf, 5, 1, ch), 1u);
  EXPECT_EQ(F_ChannelFlush(ch), 0);

  FilePathT *got = F_GetFilePath(ch);
  ASSERT_NE(got, nullptr);
  EXPECT_STREQ(got->path, p.fp->path);
  F_FilePathFree(got);
  EXPECT_EQ(FdeChannelClose(&ch), 0);
  EXPECT_EQ(ch, nullptr);
  EXPECT_EQ(fs::file_size(dir_ / "a.txt"), 11u);
}

TEST_F(Channel, OpenFailuresLeaveNothing) {
  Path missing(dir_ / "none");
  EXPECT_EQ(F_ChannelOpen(missing.fp, "r"), nullptr);
  EXPECT_EQ(F_ChannelOpen(missing.fp, nullptr), nullptr);
  FilePathT *pathless = FdeFilePathCreate();
  EXPECT_EQ(F_ChannelOpen(pathless, "r"), nullptr);
  F_FilePathFree(pathless);
  Path p(dir_.File("f", "x"));
  for (int nth = 1; nth <= 2; ++nth) {  // the name copy, then the record
    fde_test::HeapFault fault(nth);
    EXPECT_EQ(F_ChannelOpen(p.fp, "r"), nullptr) << nth;
  }
  EXPECT_EQ(F_ChannelClose(nullptr), -1);
  EXPECT_EQ(F_ChannelCloseTmp(nullptr), -1);
  ChannelT *none = nullptr;
  EXPECT_EQ(FdeChannelCloseTmp(&none), -1);
}

TEST_F(Channel, AppendCopiesTheRestInBlocks) {
  Probe sink;
  std::string content(20000, 0);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  Path p(dir_.File("src", content));
  ChannelT *from = F_ChannelOpen(p.fp, "r");
  ChannelT *to = ChannelOn(sink.Open("w"), "sink");
  ASSERT_TRUE(from != nullptr && to != nullptr);
  EXPECT_EQ(F_ChannelAppend(from, to), 0);
  EXPECT_EQ(sink.writes, (std::vector<size_t>{8192, 8192, 3616}));
  EXPECT_EQ(sink.data, content);

  // Already at the end: nothing to write, and the empty read sets the
  // end-of-file indicator.
  sink.writes.clear();
  EXPECT_EQ(F_ChannelAppend(from, to), 0);
  EXPECT_TRUE(sink.writes.empty());

  // From the middle, onto the current position of a file.
  Path q(dir_.File("dst", "head:"));
  ChannelT *dst = F_ChannelOpen(q.fp, "r+");
  ASSERT_NE(dst, nullptr);
  F_ChannelSeek(dst, 0, 2);
  F_ChannelSeek(from, 19990, 0);
  EXPECT_EQ(F_ChannelAppend(from, dst), 0);
  EXPECT_EQ(F_ChannelSize(dst), 15);
  F_ChannelClose(dst);
  F_ChannelClose(from);
  F_ChannelClose(to);
}

TEST_F(Channel, AppendReportsShortWritesAndReadErrors) {
  Path p(dir_.File("src", std::string(10000, 'x')));
  ChannelT *from = F_ChannelOpen(p.fp, "r");
  Probe full;
  full.room = 100;
  ChannelT *to = ChannelOn(full.Open("w"), "full");
  EXPECT_EQ(F_ChannelAppend(from, to), -1);
  EXPECT_EQ(full.writes.size(), 1u);

  Probe broken;
  broken.readFails = true;
  ChannelT *bad = ChannelOn(broken.Open("r"), "broken");
  Probe sink;
  ChannelT *out = ChannelOn(sink.Open("w"), "sink");
  EXPECT_EQ(F_ChannelAppend(bad, out), -1);
  EXPECT_TRUE(sink.writes.empty());
  for (ChannelT *ch : {from, to, bad, out}) F_ChannelClose(ch);
}

TEST_F(Channel, CloseTmpRemovesTheFileEvenWhenTheCloseFails) {
  std::string file = dir_.File("tmpfile", "data");
  Probe probe;
  probe.closeFails = true;
  ChannelT *ch = ChannelOn(probe.Open("w"), file);
  EXPECT_EQ(F_ChannelCloseTmp(ch), -1);
  EXPECT_FALSE(fs::exists(file));

  std::string other = dir_.File("other", "data");
  ChannelT *ok = ChannelOn(std::fopen(other.c_str(), "r"), other);
  EXPECT_EQ(FdeChannelCloseTmp(&ok), 0);
  EXPECT_EQ(ok, nullptr);
  EXPECT_FALSE(fs::exists(other));
}

TEST_F(Channel, UnnamedChannelNamesTheWorkingDirectoryButCloseTmpSparesIt) {
  std::string work = dir_.Dir("work");
  fs::path old = fs::current_path();
  fs::current_path(work);
  ChannelT *ch = ChannelOn(std::tmpfile(), "");
  FilePathT *fp = F_GetFilePath(ch);
  ASSERT_NE(fp, nullptr);
  EXPECT_EQ(fs::path(fp->path), fs::canonical(work));
  F_FilePathFree(fp);
  EXPECT_EQ(F_ChannelCloseTmp(ch), 0);
  EXPECT_TRUE(fs::is_directory(work));  // empty, so rmdir would have taken it
  fs::current_path(old);
}

TEST_F(Channel, DeleteFileTakesFilesAndEmptyDirectories) {
  Path file(dir_.File("f")), dir(dir_.Dir("d")), missing(dir_ / "none");
  std::string full = dir_.Dir("full");
  dir_.File("full/x");
  Path fullDir(full);
  EXPECT_EQ(F_DeleteFile(file.fp), 0);
  EXPECT_EQ(F_DeleteFile(dir.fp), 0);
  EXPECT_EQ(F_DeleteFile(missing.fp), -1);
  EXPECT_EQ(F_DeleteFile(fullDir.fp), -1);
  EXPECT_EQ(F_DeleteFile(nullptr), -1);
  EXPECT_FALSE(fs::exists(file.fp->path) || fs::exists(dir.fp->path));
  EXPECT_TRUE(fs::exists(full));
}

TEST(ChannelDeathTest, NullChannelsAndAddressesFail) {
  char buf[4];
  ChannelT *real = ChannelOn(std::tmpfile(), "");
  EXPECT_DEATH(F_ChannelOpen(nullptr, "r"), "");
  EXPECT_DEATH(F_ChannelRead(buf, 1, 1, nullptr), "");
  EXPECT_DEATH(F_ChannelWrite(buf, 1, 1, nullptr), "");
  EXPECT_DEATH(F_ChannelSize(nullptr), "");
  EXPECT_DEATH(F_ChannelAppend(real, nullptr), "");
  EXPECT_DEATH(F_ChannelAppend(nullptr, real), "");
  EXPECT_DEATH(F_GetFilePath(nullptr), "");
  EXPECT_DEATH(FdeChannelClose(nullptr), "");
  EXPECT_DEATH(FdeChannelCloseTmp(nullptr), "");
  F_ChannelClose(real);
}

}  // namespace
