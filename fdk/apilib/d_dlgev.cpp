// d_dlgev.cpp - the default F_ApiDialogEvent: does nothing.  Alone in its
// unit so that an application defining its own is linked with that one
// instead.
#include "fapi_runtime.h"

extern "C" void F_ApiDialogEvent(IntT, IntT, IntT) {}
