/* Compiled as C: every public header of the support library must stay
 * usable from C, and the library must link into a C program. */
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

static int failures = 0;

#define CHECK(cond)                                              \
  do {                                                           \
    if (!(cond)) {                                               \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                \
    }                                                            \
  } while (0)

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
  StringT s;
  HandleT *h;
  PtrT p;

  CHECK(F_FdeInit() == 0);

  s = F_StrCopyString("Hello");
  CHECK(s != NULL && F_StrLen(s) == 5);
  CHECK(F_StrIEqual(s, "hELLO"));
  F_Free(s);

  F_StrCpyN(buf, "abc", sizeof buf);
  CHECK(F_StrCatIntN(buf, 42, sizeof buf) == 5);
  CHECK(strcmp(buf, "abc42") == 0);

  CHECK(F_Sprintf(buf, "%s|%5.1f|%x", "x", 2.5, -1) == 16);
  CHECK(strcmp(buf, "x|  2.5|ffffffff") == 0);
  CHECK(CallV(buf, "%*d", 4, 7) == 4);

  h = F_AllocHandle(8, 0);
  CHECK(h != NULL && F_GetHandleSize(h) == 8);
  CHECK(F_LockHandle(h) == h->data);
  CHECK(F_UnlockHandle(h) == 0);
  CHECK(FdeFreeHandle(&h) == 0);
  CHECK((uintptr_t)h == FDE_FREED_HANDLE_MARK);

  p = F_Calloc(4, 4, 0);
  CHECK(p != NULL && F_PtrEqual(p, NULL, 16));
  CHECK(FdeFree(&p) == 0 && p == NULL);

  CHECK(FdeMToUpper['a'] == 'A' && (FdeCharProps[' '] & FDE_CP_BLANK) != 0);
  CHECK(F_SetAssert(NULL) == defaultHandler);

  {
    FilePathT *fp = F_UnixToFilePath("/usr//doc/./a.fm", NULL);
    FilePathT *anchor = F_UnixToFilePath("/usr/doc/book.fm", NULL);
    StringT di = NULL;
    IntT length = 0;
    ChannelT *ch;
    CHECK(fp != NULL && strcmp(fp->path, "/usr/doc/a.fm") == 0 && fp->flags == FDE_FP_ABSOLUTE);
    CHECK(F_FilePathToDI(fp, anchor, &di, &length) == 0 && strcmp(di, "<c>a.fm") == 0);
    F_Free(di);
    F_FilePathFree(fp);
    fp = F_DIToFilePath("<u><c>lib", anchor);
    CHECK(fp != NULL && strcmp(fp->path, "/usr/lib") == 0);
    CHECK(FdeFilePathFree(&fp) == 0 && fp == NULL);
    F_FilePathFree(anchor);

    ch = F_ChannelMakeTmp();
    CHECK(ch != NULL);
    CHECK(F_ChannelWrite("abc", 1, 3, ch) == 3 && F_ChannelSize(ch) == 3);
    CHECK(FdeChannelCloseTmp(&ch) == 0 && ch == NULL);
  }

  if (failures == 0) printf("c api: ok\n");
  return failures == 0 ? 0 : 1;
}
