// d_command.cpp - the default F_ApiCommand: does nothing.  Alone in its unit
// so that an application defining its own is linked with that one instead.
#include "fapi_runtime.h"

extern "C" void F_ApiCommand(IntT) {}
