/* Compiled as C: the public headers of the support library stay usable from
 * C and the library links into a C program, the variadic calls above all.
 * What the functions do is tested in C++. */
#include "fde.h"
#include "fde_channel.h"
#include "fde_charmap.h"
#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"
#include "fde_sprint.h"
#include "fde_strings.h"
#include "fde_types.h"

#include <string.h>

static IntT CallV(StringT dst, ConStringT format, ...) {
  va_list ap;
  IntT n;
  va_start(ap, format);
  n = F_VSprintf(dst, format, ap);
  va_end(ap);
  return n;
}

int main(void) {
  char buf[64];
  HandleT *h = F_AllocHandle(8, 0);
  FilePathT *fp = F_UnixToFilePath("/usr//doc/./a.fm", NULL);
  int ok = F_FdeInit() == 0 && FdeFreeHandle(&h) == 0 && FdeFilePathFree(&fp) == 0;
  ok = ok && F_Sprintf(buf, "%s|%5.1f|%x", "x", 2.5, -1) == 16 && CallV(buf, "%*d", 4, 7) == 4;
  ok = ok && FdeMToUpper['a'] == 'A' && F_StrIEqual("Hello", "hELLO");
  return ok ? 0 : 1;
}
