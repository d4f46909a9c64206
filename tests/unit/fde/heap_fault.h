// The support library's heap refusing the n-th request from now (or every
// one): the cleanup of every failure path, which the sanitizer build checks.
#ifndef FDE_TEST_HEAP_FAULT_H
#define FDE_TEST_HEAP_FAULT_H

#include "memory_internal.h"
#include "testsupport.hpp"

namespace fde_test {
using HeapFault = fdk::test::HeapFault<FdeSysAllocT, FdeSetSysAlloc>;
}

#endif
