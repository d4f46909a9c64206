// property - what the file system says about a path: its type, whether it
// exists, and whether the process may read or write it.  A path that cannot
// be examined has no properties; nothing here fails.
#include "fde_filepath.h"

#include <sys/stat.h>
#include <unistd.h>

static_assert(FDE_FT_DIRECTORY == S_IFDIR && FDE_FT_REGULAR == S_IFREG &&
                  FDE_FT_MASK == S_IFMT,
              "file-type codes are the stat mode's type bits");
static_assert(FDE_ACCESS_READ == R_OK && FDE_ACCESS_WRITE == W_OK,
              "access modes are the system's");

namespace {

bool StatOf(ConStringT path, struct stat *st) {
  return path != nullptr && path[0] != 0 && stat(path, st) == 0;
}

}  // namespace

extern "C" {

BoolT FdeExists(ConStringT path, IntT type) {
  struct stat st;
  return StatOf(path, &st) && (st.st_mode & FDE_FT_MASK) == static_cast<UIntT>(type) ? True
                                                                                     : False;
}

BoolT FdeOperationOk(ConStringT path, IntT type, IntT mode) {
  return FdeExists(path, type) && access(path, mode) == 0 ? True : False;
}

UIntT FdeStatProperty(ConStringT path, UIntT wanted) {
  struct stat st;
  if (!StatOf(path, &st)) return 0;
  UIntT bits = 0;
  if ((wanted & FDE_SP_DIRECTORY) != 0 && S_ISDIR(st.st_mode)) bits |= FDE_SP_DIRECTORY;
  if ((wanted & FDE_SP_REGULAR) != 0 && S_ISREG(st.st_mode)) bits |= FDE_SP_REGULAR;
  if ((wanted & FDE_SP_EXISTS) != 0) bits |= FDE_SP_EXISTS;
  return bits;
}

UIntT FdeAccessProperty(ConStringT path, UIntT wanted) {
  if (path == nullptr || path[0] == 0) return 0;
  UIntT bits = 0;
  if ((wanted & FDE_AP_READ) != 0 && access(path, R_OK) == 0) bits |= FDE_AP_READ;
  if ((wanted & FDE_AP_WRITE) != 0 && access(path, W_OK) == 0) bits |= FDE_AP_WRITE;
  return bits;
}

}  // extern "C"
