/*
 * fde_memory.h - allocation, handles, byte blocks and the failure path of the
 * support library.
 *
 * Contract:
 * - Ownership: every block returned by F_Alloc, F_Calloc, F_Realloc and
 *   F_DuplicatePtr belongs to the caller and is released with F_Free (or
 *   FdeFree).  A handle from F_AllocHandle owns its data block and is
 *   released with F_FreeHandle or FdeFreeHandle, never with F_Free.
 * - Flags: only FDE_EXIT_ON_EXHAUSTION (bit 0) has a meaning.  Clear, an
 *   exhausted heap gives a null result and changes nothing; set, it runs the
 *   data-space-exhausted hook (F_SetDSExit) and then aborts the process.
 * - Sizes are 32-bit.  A single request of FDE_ALLOC_LIMIT bytes or more is
 *   a contract violation.  Contract violations (a null or freed handle where
 *   one is required, an impossible size, a locked handle freed or resized
 *   while strict enforcement is on) go to FdeFail, which runs the installed
 *   failure handler once and aborts; the library prints nothing itself.
 * - Null: F_Free, FdeFree, F_CopyPtr, F_CopyBytes, F_ClearPtr and
 *   F_DuplicatePtr accept null pointers and report them through their result
 *   (-1 or null); F_PtrEqual treats a null block as zero bytes.  Every handle
 *   function requires a handle.
 * - Single-threaded: the hooks, the instance record and the lock counts are
 *   plain globals and fields.
 */
#ifndef FDE_MEMORY_H
#define FDE_MEMORY_H

#include "fde_types.h"

#if defined(__GNUC__)
#define FDE_NORETURN __attribute__((noreturn))
#else
#define FDE_NORETURN
#endif

FDE_BEGIN_DECLS

/* Allocation flag: a failed allocation runs the exhaustion hook and aborts. */
#define FDE_EXIT_ON_EXHAUSTION 0x1u

/* Requests of this many bytes or more are contract violations. */
#define FDE_ALLOC_LIMIT 100000000u

/* Stored by FdeFreeHandle in the caller's variable after the free. */
#define FDE_FREED_HANDLE_MARK 0xDEADDEADu
#define FDE_FREED_HANDLE ((HandleT *)(uintptr_t)FDE_FREED_HANDLE_MARK)

/* A data block with its size and a count of nested locks. */
typedef struct HandleT {
  UIntT lockCount; /* 0 when unlocked */
  UIntT size;      /* bytes in data */
  PtrT data;       /* zero-filled when the handle is made */
} HandleT;

/* The failure handler and the data-space-exhausted hook. */
typedef void (*FdeFailHandlerT)(void);
typedef void (*FdeDSExitFnT)(void);

/* The library's instance record; created zero-filled on first need. */
typedef struct FdeInstanceT {
  UByteT strictEnforcement;    /* 1 on, 0 off */
  FdeFailHandlerT failHandler; /* null: defaultHandler */
} FdeInstanceT;

extern FdeInstanceT *FdeInstance; /* null until first needed */
extern FdeDSExitFnT FdeDSExitFn;  /* null until installed */

/* Blocks */
PtrT F_Alloc(UIntT size, UIntT flags);
PtrT F_Calloc(UIntT count, UIntT size, UIntT flags);
PtrT F_Realloc(PtrT ptr, UIntT size, UIntT flags);
IntT F_Free(PtrT ptr);
IntT FdeFree(PtrT *ptrp);
FdeDSExitFnT F_SetDSExit(FdeDSExitFnT fn);

/* Byte blocks: source first, destination second. */
IntT F_CopyPtr(const void *src, PtrT dst, UIntT n);
IntT F_CopyBytes(const void *src, PtrT dst, UIntT n);
PtrT F_DuplicatePtr(const void *src, UIntT n, UIntT flags);
BoolT F_PtrEqual(const void *a, const void *b, UIntT n);
IntT F_ClearPtr(PtrT p, UIntT n);

/* Handles */
HandleT *F_AllocHandle(UIntT size, UIntT flags);
IntT F_FreeHandle(HandleT *h);
IntT FdeFreeHandle(HandleT **hp);
PtrT F_LockHandle(HandleT *h);
UIntT F_UnlockHandle(HandleT *h);
HandleT *F_ReallocHandle(HandleT *h, UIntT size, UIntT flags);
UIntT F_GetHandleSize(const HandleT *h);
BoolT F_HandleEqual(const HandleT *a, const HandleT *b);
BoolT F_HandlesAreEqual(const HandleT *a, const HandleT *b);
IntT F_DuplicateHandle(const HandleT *src, HandleT *dst);
IntT F_ClearHandle(HandleT *h);

/* Failure path and enforcement */
FDE_NORETURN void FdeFail(void);
FDE_NORETURN void defaultHandler(void);
FdeFailHandlerT F_SetAssert(FdeFailHandlerT handler);
BoolT FdeSetStrictEnforcement(BoolT on);
BoolT FdeEnforcement(void);
void FdeInstanceInit(void);

/* Reporting and ending */
void F_Warning(ConStringT message);
FDE_NORETURN void F_Abort(void);
FDE_NORETURN void F_Exit(IntT status);
void F_Progress(IntT done, IntT total);

FDE_END_DECLS

#endif /* FDE_MEMORY_H */
