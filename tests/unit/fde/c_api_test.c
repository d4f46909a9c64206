/* The public headers (fde.h includes them all) compiled as C, linked to the library. */
#include "fde.h"

int main(void) {
  char buf[64];
  HandleT *h = F_AllocHandle(8, 0);
  FilePathT *fp = F_UnixToFilePath("/usr//doc/./a.fm", NULL);
  int ok = F_FdeInit() == 0 && FdeFreeHandle(&h) == 0 && FdeFilePathFree(&fp) == 0 && FdeMToUpper['a'] == 'A';
  return ok && F_Sprintf(buf, "%s|%5.1f|%x", "x", 2.5, -1) == 16 && F_StrEqual(buf, "x|  2.5|ffffffff") ? 0 : 1;
}
