// dipath_fuzz - the DI name reader (FdeParseDiName) and the record made
// from a DI name (F_DIToFilePath), and back again.
//
// Input: one byte whose low bit says whether relative names are placed
// under an anchor record, then the DI name (up to the first zero byte).
// Checked: the reader's output stays terminated within its FDE_PATH_SIZE
// bytes; a record's path stays within the limit; an absolute record that
// carries no '$' turns into a DI name (plain and relative to the anchor)
// that reads back into the same path, within the designed limits: a
// component longer than FDE_SEGMENT_SIZE - 1 characters is cut by the
// writer, and a relative name starting with a component "~..." is expanded
// by the reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"
#include "fixed_env.hpp"

namespace {

[[noreturn]] void fail(const char *what, const char *path) {
  std::fprintf(stderr, "dipath_fuzz: %s: \"%s\"\n", what, path != nullptr ? path : "");
  std::abort();
}

// The DI name of fp (relative to anchor when given) read back with the same
// anchor must name fp's path.
void check_back(const FilePathT *fp, const FilePathT *anchor) {
  // The writer keeps FDE_SEGMENT_SIZE - 1 characters of a component.
  for (const char *c = fp->path; *c != '\0';) {
    const size_t n = std::strcspn(c, "/");
    if (n > FDE_SEGMENT_SIZE - 1) return;
    c += n + (c[n] == '/');
  }
  StringT text = nullptr;
  IntT length = 0;
  if (F_FilePathToDI(fp, anchor, &text, &length) != 0) return;  // too long for a DI name
  if (text == nullptr || static_cast<size_t>(length) != std::strlen(text))
    fail("F_FilePathToDI gave a wrong length", fp->path);
  // Reading expands "~" and "~user" at the start of a relative name, as it
  // expands $NAME: a file named so right under the anchor's directory is
  // read as a home directory.  That is how DI names are read; not checked.
  if (std::strncmp(text, "<c>~", 4) == 0) {
    F_Free(text);
    return;
  }
  FilePathT *back = F_DIToFilePath(text, anchor);
  if (back == nullptr || std::strcmp(back->path, fp->path) != 0) {
    std::fprintf(stderr, "dipath_fuzz: DI name \"%s\" read back as \"%s\"\n", text,
                 back != nullptr ? back->path : "(none)");
    fail("a path does not survive its DI name", fp->path);
  }
  F_FilePathFree(back);
  F_Free(text);
}

}  // namespace

// The same "~" on every run, a short value with a separator and one that
// makes a component longer than a DI name keeps.
FDK_FUZZ_FIXED_ENVIRONMENT({{"HOME", "/home/fuzz"},
                            {"FZ", "a/b"},
                            {"FZLONG", std::string(300, 'L')}})

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const bool anchored = (data[0] & 1) != 0;
  // The name as a string of its own exact size.
  const std::string text(reinterpret_cast<const char *>(data + 1),
                         strnlen(reinterpret_cast<const char *>(data + 1), size - 1));
  char *di = static_cast<char *>(std::malloc(text.size() + 1));
  char *out = static_cast<char *>(std::malloc(FDE_PATH_SIZE));
  if (di == nullptr || out == nullptr) fail("out of memory", nullptr);
  std::memcpy(di, text.c_str(), text.size() + 1);

  FdeParseDiName(di, out);
  if (strnlen(out, FDE_PATH_SIZE) == FDE_PATH_SIZE) fail("FdeParseDiName overran", di);

  FilePathT *anchor = nullptr;
  if (anchored) {
    anchor = FdeFilePathSimpleCreate("/home/fuzz/docs/book/chapter.fm");
    if (anchor == nullptr) fail("out of memory", nullptr);
    anchor->flags = FDE_FP_ABSOLUTE;
  }
  FilePathT *fp = F_DIToFilePath(di, anchor);
  if (fp != nullptr) {
    if (fp->path == nullptr || strnlen(fp->path, FDE_PATH_SIZE) > FDE_PATH_LEN)
      fail("F_DIToFilePath made a path over the limit", di);
    if ((fp->flags & FDE_FP_ABSOLUTE) != 0 && std::strchr(fp->path, '$') == nullptr) {
      check_back(fp, nullptr);
      if (anchor != nullptr) check_back(fp, anchor);
    }
  }
  F_FilePathFree(fp);
  F_FilePathFree(anchor);
  std::free(out);
  std::free(di);
  return 0;
}
