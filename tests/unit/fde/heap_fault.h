// Shared by the fde unit tests: makes the n-th heap request from now fail,
// so that the cleanup of every failure path can be checked (the sanitizer
// build reports anything left allocated).
#ifndef FDE_TEST_HEAP_FAULT_H
#define FDE_TEST_HEAP_FAULT_H

#include <cstdlib>

#include "memory_internal.h"

namespace fde_test {

class HeapFault {
 public:
  explicit HeapFault(int nth) {
    countdown_ = nth;
    FdeSysAllocT a = {Malloc, Calloc, Realloc};
    old_ = FdeSetSysAlloc(&a);
  }
  ~HeapFault() { FdeSetSysAlloc(&old_); }
  HeapFault(const HeapFault &) = delete;
  HeapFault &operator=(const HeapFault &) = delete;

 private:
  static bool Fails() { return --countdown_ == 0; }
  static void *Malloc(size_t n) { return Fails() ? nullptr : std::malloc(n); }
  static void *Calloc(size_t c, size_t n) { return Fails() ? nullptr : std::calloc(c, n); }
  static void *Realloc(void *p, size_t n) { return Fails() ? nullptr : std::realloc(p, n); }
  static inline int countdown_ = 0;
  FdeSysAllocT old_;
};

}  // namespace fde_test

#endif
