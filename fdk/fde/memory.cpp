// memory - the support library's allocator, byte blocks and handles.
//
// Every request is checked against FDE_ALLOC_LIMIT before the heap is asked,
// and a failed request either yields null or, with FDE_EXIT_ON_EXHAUSTION,
// ends in the exhaustion hook and an abort.
#include "fde_memory.h"
#include "memory_internal.h"

#include <cstdlib>
#include <cstring>

extern "C" {
FdeDSExitFnT FdeDSExitFn = nullptr;
}

namespace {

const FdeSysAllocT kLibcAlloc = {std::malloc, std::calloc, std::realloc};
FdeSysAllocT sysAlloc = kLibcAlloc;

// Out of memory with exit-on-exhaustion: the hook gets its one chance to
// leave by its own means; if it returns, the process ends.
[[noreturn]] void FdeFDSExit() {
  if (FdeDSExitFn != nullptr) FdeDSExitFn();
  F_Abort();
}

PtrT Exhausted(UIntT flags) {
  if (flags & FDE_EXIT_ON_EXHAUSTION) FdeFDSExit();
  return nullptr;
}

void CheckSize(uint64_t size) {
  if (size >= FDE_ALLOC_LIMIT) FdeFail();
}

// The heap may answer a zero-byte request with null, which must not pass for
// exhaustion; realloc(p, 0) may even free p.  Zero-byte blocks are therefore
// asked for as one byte.
size_t HeapSize(UIntT size) { return size == 0 ? 1 : size; }

// A null handle or one that FdeFreeHandle has already marked is a contract
// violation; the marker must never be dereferenced.
void CheckHandle(const HandleT *h) {
  if (h == nullptr || h == FDE_FREED_HANDLE) FdeFail();
}

}  // namespace

extern "C" {

FdeSysAllocT FdeSetSysAlloc(const FdeSysAllocT *a) {
  FdeSysAllocT old = sysAlloc;
  sysAlloc = a != nullptr ? *a : kLibcAlloc;
  return old;
}

PtrT F_Alloc(UIntT size, UIntT flags) {
  CheckSize(size);
  PtrT p = sysAlloc.Malloc(HeapSize(size));
  return p != nullptr ? p : Exhausted(flags);
}

PtrT F_Calloc(UIntT count, UIntT size, UIntT flags) {
  // The product is taken in 64 bits: one that does not fit in 32 bits is
  // over the limit, never a small wrapped request.
  uint64_t total = uint64_t{count} * size;
  CheckSize(total);
  PtrT p = sysAlloc.Calloc(1, HeapSize(static_cast<UIntT>(total)));
  return p != nullptr ? p : Exhausted(flags);
}

PtrT F_Realloc(PtrT ptr, UIntT size, UIntT flags) {
  CheckSize(size);
  if (ptr == nullptr) return F_Calloc(1, size, flags);
  PtrT p = sysAlloc.Realloc(ptr, HeapSize(size));
  return p != nullptr ? p : Exhausted(flags);
}

IntT F_Free(PtrT ptr) {
  if (ptr == nullptr) return -1;
  std::free(ptr);
  return 0;
}

IntT FdeFree(PtrT *ptrp) {
  if (ptrp == nullptr) return -1;
  IntT rc = F_Free(*ptrp);
  *ptrp = nullptr;
  return rc;
}

FdeDSExitFnT F_SetDSExit(FdeDSExitFnT fn) {
  FdeDSExitFnT old = FdeDSExitFn;
  FdeDSExitFn = fn;
  return old;
}

IntT F_CopyPtr(const void *src, PtrT dst, UIntT n) {
  if (src == nullptr || dst == nullptr) return -1;
  CheckSize(n);
  std::memmove(dst, src, n);
  return 0;
}

IntT F_CopyBytes(const void *src, PtrT dst, UIntT n) { return F_CopyPtr(src, dst, n); }

PtrT F_DuplicatePtr(const void *src, UIntT n, UIntT flags) {
  if (src == nullptr) return nullptr;
  PtrT p = F_Alloc(n, flags);
  if (p != nullptr) std::memcpy(p, src, n);
  return p;
}

BoolT F_PtrEqual(const void *a, const void *b, UIntT n) {
  if (n == 0 || a == b) return True;
  if (a != nullptr && b != nullptr) return std::memcmp(a, b, n) == 0;
  // A null block counts as n zero bytes.
  const auto *p = static_cast<const UByteT *>(a != nullptr ? a : b);
  for (UIntT i = 0; i < n; ++i)
    if (p[i] != 0) return False;
  return True;
}

IntT F_ClearPtr(PtrT p, UIntT n) {
  if (p == nullptr) return -1;
  std::memset(p, 0, n);
  return 0;
}

HandleT *F_AllocHandle(UIntT size, UIntT flags) {
  CheckSize(size);
  auto *h = static_cast<HandleT *>(F_Alloc(sizeof(HandleT), flags));
  if (h == nullptr) return nullptr;
  h->data = F_Calloc(size, 1, flags);
  if (h->data == nullptr) {
    F_Free(h);
    return nullptr;
  }
  h->lockCount = 0;
  h->size = size;
  return h;
}

IntT F_FreeHandle(HandleT *h) {
  CheckHandle(h);
  if (h->lockCount != 0) FdeEnforcement();
  F_Free(h->data);
  F_Free(h);
  return 0;
}

IntT FdeFreeHandle(HandleT **hp) {
  if (hp == nullptr) FdeFail();
  F_FreeHandle(*hp);
  *hp = FDE_FREED_HANDLE;
  return 0;
}

PtrT F_LockHandle(HandleT *h) {
  CheckHandle(h);
  ++h->lockCount;
  return h->data;
}

UIntT F_UnlockHandle(HandleT *h) {
  CheckHandle(h);
  if (h->lockCount > 0) --h->lockCount;
  return h->lockCount;
}

HandleT *F_ReallocHandle(HandleT *h, UIntT size, UIntT flags) {
  CheckHandle(h);
  if (h->lockCount != 0) FdeEnforcement();
  if (size == h->size) return h;
  PtrT p = F_Realloc(h->data, size, flags);
  if (p == nullptr) return nullptr;
  h->data = p;
  h->size = size;
  return h;
}

UIntT F_GetHandleSize(const HandleT *h) {
  CheckHandle(h);
  return h->size;
}

BoolT F_HandleEqual(const HandleT *a, const HandleT *b) {
  CheckHandle(a);
  CheckHandle(b);
  if (a->size != b->size) return False;
  return F_PtrEqual(a->data, b->data, a->size);
}

BoolT F_HandlesAreEqual(const HandleT *a, const HandleT *b) { return F_HandleEqual(a, b); }

IntT F_DuplicateHandle(const HandleT *src, HandleT *dst) {
  CheckHandle(src);
  CheckHandle(dst);
  UIntT n = src->size < dst->size ? src->size : dst->size;
  return F_CopyPtr(src->data, dst->data, n);
}

IntT F_ClearHandle(HandleT *h) {
  CheckHandle(h);
  return F_ClearPtr(h->data, h->size);
}

}  // extern "C"
