// d_emergency.cpp - the default F_ApiEmergency, run when Frame has gone just
// before the process exits: does nothing.  Alone in its unit so that an
// application defining its own is linked with that one instead.
#include "fapi_runtime.h"

extern "C" void F_ApiEmergency(void) {}
