// The client library's heap refusing every request while in scope, or only
// the n-th one from now.
#ifndef APILIB_TEST_DRY_HEAP_H
#define APILIB_TEST_DRY_HEAP_H

#include "apimem_internal.h"
#include "testsupport.hpp"

namespace apilib_test {
using DryHeap = fdk::test::HeapFault<FapiSysAllocT, FapiSetSysAlloc>;
}

#endif
