// apimem - the memory primitives under every API value: allocation,
// release, and the process end of the consistency checks.
#include "apimem_internal.h"
#include "fapi_values.h"

#include <cstdlib>

namespace {

const FapiSysAllocT kLibcAlloc = {std::malloc, std::calloc};
FapiSysAllocT sysAlloc = kLibcAlloc;

}  // namespace

extern "C" {

FapiSysAllocT FapiSetSysAlloc(const FapiSysAllocT *a) {
  FapiSysAllocT old = sysAlloc;
  sysAlloc = a != nullptr ? *a : kLibcAlloc;
  return old;
}

void *FapiMalloc(size_t size) { return sysAlloc.Malloc(size); }

void *FapiCalloc(size_t count, size_t size) { return sysAlloc.Calloc(count, size); }

void F_ApiFree(void *ptr) { std::free(ptr); }

void api_free(void **ptrp) {
  if (ptrp == nullptr) return;
  std::free(*ptrp);
  *ptrp = nullptr;
}

void fail(void) { std::abort(); }

}  // extern "C"
