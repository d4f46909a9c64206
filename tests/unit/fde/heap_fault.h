// Makes the n-th heap request from now fail, to check the cleanup of every
// failure path (the sanitizer build reports anything left allocated).
#ifndef FDE_TEST_HEAP_FAULT_H
#define FDE_TEST_HEAP_FAULT_H

#include <cstdlib>

#include "memory_internal.h"

namespace fde_test {

class HeapFault {
 public:
  explicit HeapFault(int nth) : old_(Install(nth)) {}
  ~HeapFault() { FdeSetSysAlloc(&old_); }
  HeapFault(const HeapFault &) = delete;
  HeapFault &operator=(const HeapFault &) = delete;

 private:
  static FdeSysAllocT Install(int nth) {
    countdown_ = nth;
    FdeSysAllocT a = {[](size_t n) { return Fails() ? nullptr : std::malloc(n); },
                      [](size_t c, size_t n) { return Fails() ? nullptr : std::calloc(c, n); },
                      [](void *p, size_t n) { return Fails() ? nullptr : std::realloc(p, n); }};
    return FdeSetSysAlloc(&a);
  }
  static bool Fails() { return --countdown_ == 0; }
  static inline int countdown_ = 0;
  FdeSysAllocT old_;
};

}  // namespace fde_test

#endif
