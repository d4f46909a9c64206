/* app/mbx.h used from C with no broker to reach: the operations answer
 * with status words and nothing crashes.  Exit status 0 when all hold. */
#include <stdio.h>
#include <stdlib.h>

#include "mbx.h"

static int failures = 0;
#define CHECK(cond) ((cond) ? (void)0 : (void)(fprintf(stderr, "line %d: %s\n", __LINE__, #cond), ++failures))

int main(void) {
  int32_t status = -1, zero = 0, one = 1, result = 0, size = 0;
  mbx_fdset *set = mbx_fd_set(&zero);
  CHECK(set != NULL && set->words[0] == 0); /* not on the bus: an empty set */
  free(set);
  mbx_init(NULL, &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_next(&zero, &result);
  CHECK(result < 0);
  mbx_read(&zero, NULL, &size, &status);
  CHECK(status == MBX_E_NOREQUEST);
  mbx_receive("CURFCT  ", "        ", &zero, NULL, &size, &status);
  CHECK(status == MBX_E_NOCALL);
  mbx_call(NULL, &one, NULL, &status);
  CHECK(status == MBX_E_ARG);
  mbx_read(NULL, NULL, NULL, NULL); /* no status word: still no crash */
  return failures == 0 ? 0 : 1;
}
