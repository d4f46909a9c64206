// fdeinst - the support library's instance record, made on first need.
#include "fde_memory.h"

extern "C" {

FdeInstanceT *FdeInstance = nullptr;

void FdeInstanceInit(void) {
  if (FdeInstance != nullptr) return;
  // Without this record the library cannot report anything sensibly, so an
  // exhausted heap here ends the process.
  FdeInstance = static_cast<FdeInstanceT *>(
      F_Calloc(1, sizeof(FdeInstanceT), FDE_EXIT_ON_EXHAUSTION));
  FdeInstance->strictEnforcement = 1;
}

}  // extern "C"
