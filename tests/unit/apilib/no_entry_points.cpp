// The entry points that an application supplies, empty: for unit tests that
// link the client library but never receive a callback.
#include "fapi_runtime.h"

void F_ApiInitialize(IntT) {}
void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) {}
void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {}
