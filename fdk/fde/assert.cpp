// assert - the contract-failure path, strict enforcement, and the reporting
// and ending functions of the support library.
#include "fde_memory.h"

#include <cstdio>
#include <cstdlib>

extern "C" {

void defaultHandler(void) { F_Abort(); }

void FdeFail(void) {
  FdeFailHandlerT handler = FdeInstance != nullptr ? FdeInstance->failHandler : nullptr;
  // The handler may leave by a jump to a recovery point; if it returns,
  // the process ends here.
  if (handler != nullptr && handler != defaultHandler) handler();
  defaultHandler();
}

FdeFailHandlerT F_SetAssert(FdeFailHandlerT handler) {
  FdeInstanceInit();
  FdeFailHandlerT old = FdeInstance->failHandler;
  FdeInstance->failHandler = handler != nullptr ? handler : defaultHandler;
  return old != nullptr ? old : defaultHandler;
}

BoolT FdeSetStrictEnforcement(BoolT on) {
  FdeInstanceInit();
  BoolT old = FdeInstance->strictEnforcement != 0;
  FdeInstance->strictEnforcement = on != 0 ? 1 : 0;
  return old;
}

BoolT FdeEnforcement(void) {
  // No instance record means nobody relaxed the rules: strict.
  if (FdeInstance == nullptr || FdeInstance->strictEnforcement != 0) FdeFail();
  return True;
}

void F_Warning(ConStringT message) {
  std::fprintf(stderr, "%s", message != nullptr ? message : "");
}

void F_Abort(void) { std::abort(); }

void F_Exit(IntT status) { std::exit(status); }

}  // extern "C"
