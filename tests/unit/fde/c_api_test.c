/* Compiled as C: every public header of the support library must stay
 * usable from C, and the library must link into a C program.  What the
 * functions do is tested in C++; this checks the calls from C, the
 * variadic ones above all. */
#include "fde.h"
#include "fde_channel.h"
#include "fde_charmap.h"
#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"
#include "fde_sprint.h"
#include "fde_strings.h"
#include "fde_types.h"

#include <stdio.h>
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
  ChannelT *ch = F_ChannelMakeTmp();
  int ok = F_FdeInit() == 0 && h != NULL && fp != NULL && ch != NULL;
  ok = ok && F_Sprintf(buf, "%s|%5.1f|%x", "x", 2.5, -1) == 16 &&
       strcmp(buf, "x|  2.5|ffffffff") == 0 && CallV(buf, "%*d", 4, 7) == 4;
  ok = ok && FdeFreeHandle(&h) == 0 && (uintptr_t)h == FDE_FREED_HANDLE_MARK;
  ok = ok && strcmp(fp->path, "/usr/doc/a.fm") == 0 && FdeFilePathFree(&fp) == 0;
  ok = ok && F_ChannelWrite("abc", 1, 3, ch) == 3 && FdeChannelCloseTmp(&ch) == 0;
  ok = ok && FdeMToUpper['a'] == 'A' && F_StrIEqual("Hello", "hELLO");
  puts(ok ? "c api: ok" : "c api: failed");
  return ok ? 0 : 1;
}
