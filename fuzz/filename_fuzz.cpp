// filename_fuzz - "~", "~user" and $NAME replacement (FdeFixTildaName) and
// the whole expansion against a directory (FdeUiExpandFileName), plus the
// record constructor that uses both (F_UnixToFilePath).
//
// Input: the name, a zero byte, the directory.  The name goes into a work
// buffer of exactly FDE_PATH_SIZE bytes on the heap, as the contract
// demands, so that the address sanitizer sees any write past it.  Checked:
// results stay terminated within the buffer; an expansion that came out
// whole and absolute, free of '$' and under a clean directory, expands to
// itself again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fde_filepath.h"
#include "filename_internal.h"
#include "fixed_env.hpp"

namespace {

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "filename_fuzz: %s\n", what);
  std::abort();
}

// A fresh FDE_PATH_SIZE-byte buffer holding at most FDE_PATH_LEN bytes of s.
char *work_buffer(const std::string &s) {
  char *buf = static_cast<char *>(std::malloc(FDE_PATH_SIZE));
  if (buf == nullptr) fail("out of memory");
  const size_t n = s.size() < FDE_PATH_LEN ? s.size() : FDE_PATH_LEN;
  std::memcpy(buf, s.data(), n);
  buf[n] = 0;
  return buf;
}

void check_terminated(const char *buf, const char *who) {
  if (strnlen(buf, FDE_PATH_SIZE) == FDE_PATH_SIZE) fail(who);
}

}  // namespace

// Fixed values, so that an input means the same on every run: a home for
// "~", a short value with a separator, one that climbs, and one long enough
// to run into the path limit.
FDK_FUZZ_FIXED_ENVIRONMENT({{"HOME", "/home/fuzz"},
                            {"FZ", "a/b"},
                            {"FZUP", "../.."},
                            {"FZLONG", std::string(600, 'x') + "/" + std::string(600, 'y')}})

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string in(reinterpret_cast<const char *>(data), size);
  const size_t cut = in.find('\0');
  const std::string name = in.substr(0, cut);
  // The directory as a string of its own exact size.
  const std::string dir_text =
      cut == std::string::npos ? std::string() : in.substr(cut + 1).c_str();
  char *dir = static_cast<char *>(std::malloc(dir_text.size() + 1));
  if (dir == nullptr) fail("out of memory");
  std::memcpy(dir, dir_text.c_str(), dir_text.size() + 1);

  char *tilda = work_buffer(name);
  FdeFixTildaName(tilda);
  check_terminated(tilda, "FdeFixTildaName left the buffer unterminated");

  char *expanded = work_buffer(name);
  FdeUiExpandFileName(expanded, dir);
  check_terminated(expanded, "FdeUiExpandFileName left the buffer unterminated");

  // The directory is put in front as it stands (only the name is cleaned),
  // so the fixed point holds for clean directories: those that expand to
  // themselves.
  char *clean_dir = work_buffer(dir_text);
  const bool dir_clean = dir_text.size() < FDE_PATH_LEN &&
                         FdeExpandFileNameWhole(clean_dir, "") && dir_text == clean_dir;
  std::free(clean_dir);
  char *whole = work_buffer(name);
  if (FdeExpandFileNameWhole(whole, dir) && dir_clean && whole[0] == '/' &&
      std::strchr(whole, '$') == nullptr) {
    char *again = work_buffer(whole);
    if (!FdeExpandFileNameWhole(again, dir) || std::strcmp(again, whole) != 0)
      fail("an expanded absolute name does not expand to itself");
    std::free(again);
  }

  // The record constructor, without and with an anchor made from dir.
  F_FilePathFree(F_UnixToFilePath(tilda, nullptr));
  FilePathT *anchor = nullptr;
  if (dir[0] == '/') {
    anchor = FdeFilePathSimpleCreate(dir);
    if (anchor != nullptr) anchor->flags = FDE_FP_ABSOLUTE;
  }
  FilePathT *fp = F_UnixToFilePath(name.c_str(), anchor);
  if (fp != nullptr && strnlen(fp->path, FDE_PATH_SIZE) > FDE_PATH_LEN)
    fail("F_UnixToFilePath made a path over the limit");
  F_FilePathFree(fp);
  F_FilePathFree(anchor);

  std::free(whole);
  std::free(expanded);
  std::free(tilda);
  std::free(dir);
  return 0;
}
