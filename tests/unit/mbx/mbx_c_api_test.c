/* app/mbx.h compiled as C; with no broker the operations answer with status
 * words and nothing crashes.  Exit status 0 when all hold. */
#include <stdlib.h>

#include "mbx.h"

int main(void) {
  int32_t status = -1, call = -1, receive = -1, zero = 0, one = 1, result = 0, size = 0;
  mbx_fdset *set = mbx_fd_set(&zero);
  int ok = set != NULL && set->words[0] == 0; /* not on the bus: an empty set */
  free(set);
  mbx_init(NULL, &status);
  mbx_next(&zero, &result);
  mbx_receive("CURFCT  ", "        ", &zero, NULL, &size, &receive);
  mbx_call(NULL, &one, NULL, &call);
  mbx_read(NULL, NULL, NULL, NULL); /* no status word: still no crash */
  return ok && status == MBX_E_NOBUS && result < 0 && receive == MBX_E_NOCALL && call == MBX_E_ARG ? 0 : 1;
}
