/* app/mbx.h used from C with no broker to reach: every operation answers
 * with its status word and nothing crashes.  Exit status 0 when all hold. */
#include <stdio.h>
#include <stdlib.h>

#include "mbx.h"

static int failures = 0;

static void check(int ok, int line) {
  if (!ok) {
    fprintf(stderr, "%s:%d: check failed\n", __FILE__, line);
    ++failures;
  }
}
#define CHECK(cond) check((cond), __LINE__)

static void handler(int32_t *kind, void *value) {
  (void)kind;
  (void)value;
}

int main(void) {
  int32_t status = -1, zero = 0, one = 1, four = 4, result = 0, size = 0, conv = 0;
  mbx_fdset *set = mbx_fd_set(&zero);

  CHECK(set != NULL && set->words[0] == 0); /* not on the bus: an empty set */
  free(set);
  mbx_init(NULL, &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_register_request("DOKFRMDI", handler, &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_end_setup("MBX_0000");
  mbx_next(&zero, &result);
  CHECK(result < 0);
  mbx_request_info(NULL, NULL, NULL, NULL, &status);
  CHECK(status == MBX_E_NOREQUEST);
  mbx_write("OK", &four, &zero, &status);
  CHECK(status == MBX_E_NOREQUEST);
  mbx_call("CURFCT  ", &one, &conv, &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_receive("CURFCT  ", "        ", &zero, NULL, &size, &status);
  CHECK(status == MBX_E_NOCALL);
  mbx_call(NULL, &one, &conv, &status);
  CHECK(status == MBX_E_ARG);
  mbx_read(NULL, NULL, NULL, NULL); /* no status word: still no crash */
  return failures == 0 ? 0 : 1;
}
