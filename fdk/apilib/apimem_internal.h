/*
 * apimem_internal.h - the API allocator's view of the system heap.
 *
 * Not a public header.  FapiMalloc and FapiCalloc reach the heap through
 * this table so that the unit tests can make it run dry on demand; outside
 * the tests it always holds the C library's functions.
 */
#ifndef FDK_APILIB_APIMEM_INTERNAL_H
#define FDK_APILIB_APIMEM_INTERNAL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FapiSysAllocT {
  void *(*Malloc)(size_t size);
  void *(*Calloc)(size_t count, size_t size);
} FapiSysAllocT;

/* Installs a (null: the C library's functions); returns the table it replaces. */
FapiSysAllocT FapiSetSysAlloc(const FapiSysAllocT *a);

#ifdef __cplusplus
}
#endif

#endif /* FDK_APILIB_APIMEM_INTERNAL_H */
