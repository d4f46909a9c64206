// progress - the progress report hook.  Nothing in the system shows progress,
// so reports are accepted and dropped.
#include "fde_memory.h"

extern "C" {

void F_Progress(IntT done, IntT total) {
  (void)done;
  (void)total;
}

}  // extern "C"
