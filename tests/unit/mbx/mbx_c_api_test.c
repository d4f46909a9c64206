/* The bus header used from C, with no broker to reach: every operation
 * answers with a status word and nothing crashes.  Exit status 0 when all
 * checks hold. */
#include <stdio.h>
#include <stdlib.h>

#include "mbx.h"

static int failures = 0;

#define CHECK(cond)                                               \
  do {                                                            \
    if (!(cond)) {                                                \
      fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                 \
    }                                                             \
  } while (0)

static void handler(int32_t *kind, void *value) {
  (void)kind;
  (void)value;
}

int main(void) {
  int32_t status = -1, zero = 0, one = 1, minus1 = -1, four = 4, result = 0, size = 0;
  int32_t kind = 0, conv = 0, handle = 0;
  char name1[12], name2[12], buffer[16];
  mbx_fdset *set;
  int i;

  mbx_init(NULL, &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_init("CPROGRAM", &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_register_request("DOKFRMDI", handler, &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_declare("DOKFRMID", &one, "DOKFRMRA", &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_end_setup("MBX_0000");

  set = mbx_fd_set(&zero);
  CHECK(set != NULL);
  if (set != NULL) {
    for (i = 0; i < MBX_FDSET_WORDS; ++i) CHECK(set->words[i] == 0);
    free(set);
  }
  mbx_next(&zero, &result);
  CHECK(result < 0);
  mbx_dispatch(&minus1, &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_get_fd(NULL, &handle, &status);
  CHECK(status == MBX_E_NOREQUEST);
  mbx_request_info(&kind, &conv, name1, name2, &status);
  CHECK(status == MBX_E_NOREQUEST);
  mbx_read(&zero, NULL, &size, &status);
  CHECK(status == MBX_E_NOREQUEST);
  mbx_write("OK", &four, &zero, &status);
  CHECK(status == MBX_E_NOREQUEST);
  mbx_call("CURFCT  ", &one, &conv, &status);
  CHECK(status == MBX_E_NOBUS);
  mbx_send("CURFCT  ", "CURFCT  ", &four, &four, &one, &zero, &status);
  CHECK(status == MBX_E_NOCALL);
  mbx_receive("CURFCT  ", "CURFCT  ", &four, buffer, &size, &status);
  CHECK(status == MBX_E_NOCALL);
  mbx_call("CUR\0FCT ", &one, &conv, &status);
  CHECK(status == MBX_E_ARG);
  mbx_call(NULL, &one, &conv, &status);
  CHECK(status == MBX_E_ARG);
  mbx_read(NULL, NULL, NULL, NULL); /* no status word: still no crash */

  if (failures != 0) fprintf(stderr, "%d checks failed\n", failures);
  return failures == 0 ? 0 : 1;
}
