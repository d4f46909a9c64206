/*
 * memory_internal.h - the allocator's view of the system heap.
 *
 * Not a public header.  The allocator reaches the heap through this table so
 * that the unit tests can make the heap run dry on demand; outside the tests
 * it always holds the C library's functions.
 */
#ifndef FDE_MEMORY_INTERNAL_H
#define FDE_MEMORY_INTERNAL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FdeSysAllocT {
  void *(*Malloc)(size_t size);
  void *(*Calloc)(size_t count, size_t size);
  void *(*Realloc)(void *ptr, size_t size);
} FdeSysAllocT;

/* Installs a (null: the C library's functions); returns the table it replaces. */
FdeSysAllocT FdeSetSysAlloc(const FdeSysAllocT *a);

#ifdef __cplusplus
}
#endif

#endif /* FDE_MEMORY_INTERNAL_H */
