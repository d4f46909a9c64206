// Channels: appending in blocks, size, closing and deleting files.
#include "channel_internal.h"
#include "fde_channel.h"
#include "fde_memory.h"
#include "fde_strings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "death_style.h"
#include "heap_fault.h"
#include "test_dirs.h"

namespace {

namespace fs = std::filesystem;

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

FilePathT *Unix(const std::string &s) { return F_UnixToFilePath(s.c_str(), nullptr); }

TEST(Channel, AppendCopiesInBlocksAndReportsFailures) {
  fdk::test::TempDir t;
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
  // Already at its end: nothing is written, and the empty read sets the
  // end-of-file indicator.
  sink.writes.clear();
  EXPECT_EQ(F_ChannelAppend(from, to), 0);
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
  EXPECT_TRUE(sink.writes.empty());
  for (ChannelT *ch : {from, to, short_, bad}) F_ChannelClose(ch);

  for (int nth = 1; nth <= 2; ++nth) {  // the name copy, then the record
    fde_test::HeapFault fault(nth);
    EXPECT_EQ(F_ChannelOpen(src, "r"), nullptr) << nth;
  }
  F_FilePathFree(src);
}

TEST(Channel, CloseTmpRemovesTheFileEvenWhenTheCloseFails) {
  fdk::test::TempDir t;
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
  EXPECT_EQ(unnamed, nullptr);
  EXPECT_TRUE(fs::is_directory(work));
  fs::current_path(old);

  FilePathT *dir = Unix(work), *full = Unix(t.path());
  EXPECT_EQ(F_DeleteFile(full), -1);  // not empty
  EXPECT_EQ(F_DeleteFile(dir), 0);
  EXPECT_EQ(F_DeleteFile(dir), -1);
  F_FilePathFree(dir);
  F_FilePathFree(full);
}

TEST(ChannelDeathTest, NullChannelsAndAddressesFail) {
  char buf[4];
  ChannelT *real = FdeChannelNew(std::tmpfile(), nullptr);
  EXPECT_DEATH(F_ChannelOpen(nullptr, "r"), "");
  EXPECT_DEATH(F_ChannelRead(buf, 1, 1, nullptr), "");
  EXPECT_DEATH(F_ChannelAppend(real, nullptr), "");
  EXPECT_DEATH(F_ChannelAppend(nullptr, real), "");
  EXPECT_DEATH(FdeChannelCloseTmp(nullptr), "");
  F_ChannelClose(real);
}

}  // namespace
