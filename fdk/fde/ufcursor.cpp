// ufcursor - walks a Unix path one segment at a time, skipping runs of '/'.
#include "fde_dipath.h"
#include "fde_memory.h"

extern "C" {

void FdeUFCinit(FdeUFCursorT *cursor, ConStringT path) {
  if (cursor == nullptr) FdeFail();
  cursor->position = path != nullptr ? path : "";
  cursor->segment[0] = 0;
}

BoolT FdeUFCgetSegment(FdeUFCursorT *cursor) {
  if (cursor == nullptr || cursor->position == nullptr) FdeFail();
  const char *p = cursor->position;
  while (*p == '/') ++p;
  size_t n = 0;
  for (; *p != 0 && *p != '/'; ++p)
    if (n < FDE_SEGMENT_SIZE - 1) cursor->segment[n++] = *p;  // longer ones are cut
  cursor->segment[n] = 0;
  cursor->position = p;
  return n > 0 ? True : False;
}

}  // extern "C"
