// fileutil - the file tests on file-path records.  A null record, or one
// without a path, passes none of them.
#include "fde_filepath.h"

namespace {

ConStringT PathOf(const FilePathT *fp) { return fp != nullptr ? fp->path : nullptr; }

}  // namespace

extern "C" {

BoolT F_DirectoryExists(const FilePathT *fp) { return FdeExists(PathOf(fp), FDE_FT_DIRECTORY); }

BoolT F_FileExists(const FilePathT *fp) { return FdeExists(PathOf(fp), FDE_FT_REGULAR); }

BoolT F_DirectoryIsWriteable(const FilePathT *fp) {
  return FdeOperationOk(PathOf(fp), FDE_FT_DIRECTORY, FDE_ACCESS_WRITE);
}

BoolT F_FileIsWriteable(const FilePathT *fp) {
  return FdeOperationOk(PathOf(fp), FDE_FT_REGULAR, FDE_ACCESS_WRITE);
}

BoolT F_DirectoryIsReadable(const FilePathT *fp) {
  return FdeOperationOk(PathOf(fp), FDE_FT_DIRECTORY, FDE_ACCESS_READ);
}

BoolT F_FileIsReadable(const FilePathT *fp) {
  return FdeOperationOk(PathOf(fp), FDE_FT_REGULAR, FDE_ACCESS_READ);
}

}  // extern "C"
