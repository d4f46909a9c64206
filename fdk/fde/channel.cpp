// channel - a buffered stream of the C library together with the name it
// was opened under.  Reads, writes, seeks and flushes pass the C library's
// results through; F_ChannelAppend copies in FDE_APPEND_BLOCK-byte blocks.
#include "channel_internal.h"
#include "fde_channel.h"
#include "fde_memory.h"
#include "fde_strings.h"

#include <unistd.h>

#include <cstdio>

namespace {

FILE *StreamOf(ChannelT *ch) {
  if (ch == nullptr) FdeFail();
  return ch->stream;
}

}  // namespace

extern "C" {

ChannelT *FdeChannelNew(FILE *stream, StringT name) {
  auto *ch = static_cast<ChannelT *>(F_Calloc(1, sizeof(ChannelT), 0));
  if (ch == nullptr) return nullptr;
  ch->name = name;
  ch->stream = stream;
  return ch;
}

ChannelT *F_ChannelOpen(const FilePathT *path, ConStringT mode) {
  if (path == nullptr) FdeFail();
  if (path->path == nullptr || mode == nullptr) return nullptr;
  FILE *stream = std::fopen(path->path, mode);
  if (stream == nullptr) return nullptr;
  StringT name = F_StrCopyString(path->path);
  ChannelT *ch = name != nullptr ? FdeChannelNew(stream, name) : nullptr;
  if (ch == nullptr) {
    F_Free(name);
    std::fclose(stream);
  }
  return ch;
}

UIntT F_ChannelRead(PtrT buf, UIntT size, UIntT count, ChannelT *ch) {
  FILE *stream = StreamOf(ch);
  if (buf == nullptr) return 0;
  return static_cast<UIntT>(std::fread(buf, size, count, stream));
}

UIntT F_ChannelWrite(const void *buf, UIntT size, UIntT count, ChannelT *ch) {
  FILE *stream = StreamOf(ch);
  if (buf == nullptr) return 0;
  return static_cast<UIntT>(std::fwrite(buf, size, count, stream));
}

IntT F_ChannelSeek(ChannelT *ch, int64_t offset, IntT whence) {
  return fseeko(StreamOf(ch), offset, whence);
}

int64_t F_ChannelTell(ChannelT *ch) { return ftello(StreamOf(ch)); }

int64_t F_ChannelSize(ChannelT *ch) {
  FILE *stream = StreamOf(ch);
  int64_t here = ftello(stream);
  if (here < 0 || fseeko(stream, 0, SEEK_END) != 0) return -1;
  int64_t end = ftello(stream);
  fseeko(stream, here, SEEK_SET);
  return end;
}

IntT F_ChannelAppend(ChannelT *from, ChannelT *to) {
  FILE *in = StreamOf(from);
  FILE *out = StreamOf(to);
  char block[FDE_APPEND_BLOCK];
  for (;;) {
    size_t n = std::fread(block, 1, sizeof block, in);
    if (n == 0) break;
    if (std::fwrite(block, 1, n, out) < n) return -1;
  }
  // An empty read at the end sets the end-of-file indicator; one that
  // stopped on an error does not.
  return std::feof(in) ? 0 : -1;
}

IntT F_ChannelFlush(ChannelT *ch) { return std::fflush(StreamOf(ch)); }

IntT F_ChannelEof(ChannelT *ch) { return std::feof(StreamOf(ch)) ? 1 : 0; }

IntT F_ChannelClose(ChannelT *ch) {
  if (ch == nullptr) return -1;
  int r = std::fclose(ch->stream);
  F_Free(ch->name);
  F_Free(ch);
  return r == 0 ? 0 : -1;
}

IntT FdeChannelClose(ChannelT **chp) {
  if (chp == nullptr) FdeFail();
  IntT r = F_ChannelClose(*chp);
  *chp = nullptr;
  return r;
}

FilePathT *F_GetFilePath(ChannelT *ch) {
  if (ch == nullptr) FdeFail();
  if (ch->name != nullptr && ch->name[0] != 0) return FdeFilePathSimpleCreate(ch->name);
  char cwd[FDE_PATH_SIZE];
  if (getcwd(cwd, sizeof cwd) == nullptr) return nullptr;
  return FdeFilePathSimpleCreate(cwd);
}

}  // extern "C"
