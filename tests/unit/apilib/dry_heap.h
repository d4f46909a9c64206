// Shared by the apilib unit tests: makes FapiMalloc / FapiCalloc refuse
// requests while in scope, either all of them or only the n-th one.
#ifndef APILIB_TEST_DRY_HEAP_H
#define APILIB_TEST_DRY_HEAP_H

#include <cstdlib>

#include "apimem_internal.h"

namespace apilib_test {

class DryHeap {
 public:
  // fail_at 0: every request fails; n > 0: only the n-th request from now.
  explicit DryHeap(int fail_at = 0) {
    countdown_ = fail_at > 0 ? fail_at : -1;
    FapiSysAllocT a = {Malloc, Calloc};
    old_ = FapiSetSysAlloc(&a);
  }
  ~DryHeap() { FapiSetSysAlloc(&old_); }
  DryHeap(const DryHeap &) = delete;
  DryHeap &operator=(const DryHeap &) = delete;

 private:
  // countdown_ < 0: refuse all; 0: refuse none (the n-th has passed);
  // n > 0: refuse the n-th request from now.
  static bool Refuse() {
    if (countdown_ < 0) return true;
    return countdown_ > 0 && --countdown_ == 0;
  }
  static void *Malloc(size_t n) { return Refuse() ? nullptr : std::malloc(n); }
  static void *Calloc(size_t c, size_t n) { return Refuse() ? nullptr : std::calloc(c, n); }
  static inline int countdown_ = 0;
  FapiSysAllocT old_;
};

}  // namespace apilib_test

#endif
