// The runtime's process-wide flags, for unit tests of units that only read
// or set them.
#include "fapi_runtime.h"

IntT FA_errno = 0;
IntT FA_bailout = 0;
