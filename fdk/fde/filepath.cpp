// filepath - file-path records and the conversions that make them: from
// Unix names (expanded against an anchor's directory), from Macintosh and
// DOS names (copied as they are), and to and from DI names.
#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"
#include "fde_strings.h"
#include "filename_internal.h"

#include <cstring>

namespace {

bool TooLong(const char *s) { return strnlen(s, FDE_PATH_SIZE) > FDE_PATH_LEN; }

// Only an absolute record, with the tag and a path, may anchor relative names.
bool AnchorOk(const FilePathT *anchor) {
  return anchor != nullptr && anchor->tag == FDE_FILEPATH_TAG &&
         (anchor->flags & FDE_FP_RELATIVE) == 0 && anchor->path != nullptr;
}

// The directory relative names are placed under: the anchor's, or none.
// False when the anchor is rejected.
bool BaseDirectory(const FilePathT *anchor, char (&base)[FDE_PATH_SIZE]) {
  base[0] = 0;
  if (anchor == nullptr) return true;
  const FilePathT *a = FdeInterpretAnchor(anchor);
  if (!AnchorOk(a)) return false;
  FdeSplitFullFileName(a->path, base, nullptr);
  return true;
}

// A record for an expanded path: absolute when it starts with '/'.
FilePathT *ExpandedRecord(const char *path) {
  if (path[0] == 0) return nullptr;
  FilePathT *fp = FdeFilePathSimpleCreate(path);
  if (fp != nullptr) fp->flags = path[0] == '/' ? FDE_FP_ABSOLUTE : FDE_FP_RELATIVE;
  return fp;
}

// The DI text being written, never longer than FDE_DI_LEN.
struct DiText {
  char text[FDE_PATH_SIZE];
  size_t len = 0;

  bool Put(const char *s) {
    size_t n = std::strlen(s);
    if (n > FDE_DI_LEN - len) return false;
    std::memcpy(text + len, s, n + 1);
    len += n;
    return true;
  }

  // '<' and '\' inside a component get a backslash, so that the reader
  // gives back the component unchanged.
  bool PutText(const char *s) {
    for (; *s != 0; ++s) {
      char one[3] = {*s, 0, 0};
      if (*s == '<' || *s == '\\') {
        one[0] = '\\';
        one[1] = *s;
      }
      if (!Put(one)) return false;
    }
    return true;
  }
};

}  // namespace

extern "C" {

FilePathT *FdeFilePathCreate(void) {
  auto *fp = static_cast<FilePathT *>(F_Calloc(1, sizeof(FilePathT), 0));
  if (fp != nullptr) fp->tag = FDE_FILEPATH_TAG;
  return fp;
}

FilePathT *FdeFilePathSimpleCreate(ConStringT s) {
  if (s == nullptr || TooLong(s)) return nullptr;
  FilePathT *fp = FdeFilePathCreate();
  if (fp == nullptr) return nullptr;
  fp->path = F_StrCopyString(s);
  if (fp->path == nullptr) {
    F_Free(fp);
    return nullptr;
  }
  return fp;
}

IntT F_FilePathFree(FilePathT *fp) {
  if (fp != nullptr) {
    F_Free(fp->path);
    F_Free(fp);
  }
  return 0;
}

IntT FdeFilePathFree(FilePathT **fpp) {
  if (fpp == nullptr) FdeFail();
  F_FilePathFree(*fpp);
  *fpp = nullptr;
  return 0;
}

FilePathT *FdeInterpretAnchor(const FilePathT *anchor) { return const_cast<FilePathT *>(anchor); }

FilePathT *F_UnixToFilePath(ConStringT name, const FilePathT *anchor) {
  if (name == nullptr || name[0] == 0 || TooLong(name)) return nullptr;
  char base[FDE_PATH_SIZE];
  if (!BaseDirectory(anchor, base)) return nullptr;
  char buf[FDE_PATH_SIZE];
  F_StrCpyN(buf, name, sizeof buf);
  // A path the limit has cut would name another file: none rather than that.
  if (!FdeExpandFileNameWhole(buf, base)) return nullptr;
  return ExpandedRecord(buf);
}

FilePathT *F_MacToFilePath(ConStringT name) {
  if (name == nullptr || name[0] == 0) return nullptr;
  return FdeFilePathSimpleCreate(name);
}

FilePathT *F_DosToFilePath(ConStringT name) { return F_MacToFilePath(name); }

IntT F_FilePathToDI(const FilePathT *fp, const FilePathT *anchor, StringT *text, IntT *length) {
  if (text == nullptr || length == nullptr) FdeFail();
  *text = nullptr;
  *length = 0;
  if (fp == nullptr || fp->tag != FDE_FILEPATH_TAG) return -1;
  if ((fp->flags & FDE_FP_RELATIVE) != 0) FdeFail();
  const char *path = fp->path != nullptr ? fp->path : "";
  if (TooLong(path)) return -1;

  char work[FDE_PATH_SIZE];
  F_StrCpyN(work, path, sizeof work);
  if (anchor != nullptr) {
    const FilePathT *a = FdeInterpretAnchor(anchor);
    if (a->tag != FDE_FILEPATH_TAG || (a->flags & FDE_FP_RELATIVE) != 0 || work[0] != '/')
      FdeFail();
    FdeRelativizeFileName(work, a->path);
  }

  DiText di;
  di.text[0] = 0;
  bool ok = true;
  const char *rest = work;
  if (work[0] == '/') {
    ok = di.Put("<r>");
    ++rest;
  }
  FdeUFCursorT cursor;
  FdeUFCinit(&cursor, rest);
  while (ok && FdeUFCgetSegment(&cursor)) {
    if (std::strcmp(cursor.segment, "..") == 0)
      ok = di.Put("<u>");
    else if (std::strcmp(cursor.segment, ".") != 0)
      ok = di.Put("<c>") && di.PutText(cursor.segment);
  }
  // A DI name cut short would read back as another path: refuse it.
  if (!ok) return -1;

  auto *out = static_cast<StringT>(F_Calloc(static_cast<UIntT>(di.len + 1), 1, 0));
  if (out == nullptr) return -1;
  std::memcpy(out, di.text, di.len + 1);
  *text = out;
  *length = static_cast<IntT>(di.len);
  return 0;
}

FilePathT *F_DIToFilePath(ConStringT di, const FilePathT *anchor) {
  if (di == nullptr || di[0] == 0) return nullptr;
  char buf[FDE_PATH_SIZE];
  if (FdeParseDiName(di, buf) != 0)
    // What was read before the error, as it stands.
    return buf[0] != 0 ? FdeFilePathSimpleCreate(buf) : nullptr;

  char base[FDE_PATH_SIZE];
  if (!BaseDirectory(buf[0] != '/' ? anchor : nullptr, base)) return nullptr;
  if (!FdeExpandFileNameWhole(buf, base)) return nullptr;
  return ExpandedRecord(buf);
}

}  // extern "C"
