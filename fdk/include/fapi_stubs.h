/*
 * fapi_stubs.h - client stubs of Frame's API program, one per procedure,
 * and the procedure numbers.  The procedures are listed once, in
 * fapi_procs.def.
 *
 * Contract:
 * - Res *stub(Arg *argp, CLIENT *clnt) makes one call on clnt with a per-call
 *   time-out of 25 seconds (a handle whose own time-out was set with
 *   CLSET_TIMEOUT uses that one instead) and returns a pointer to the stub's
 *   static result buffer, or null when the call failed for any reason (also
 *   for a null clnt).  Nothing is printed or retried.
 * - argp belongs to the caller and is only read.  A stub whose argument is
 *   void still takes a pointer: pass the address of an int holding 0.
 * - Each stub has its own buffer, cleared to zero before each call; the
 *   reply stays there until the next call of the same stub.  Whatever the
 *   decoder allocated inside it is the caller's to release with
 *   xdr_free(<the row's result filter>, buffer) before calling that stub
 *   again.  Stubs whose result is void return the address of a one-byte
 *   buffer, so success is still a non-null pointer.
 * - Stubs are not re-entrant (one thread; see the buffer above).
 */
#ifndef FAPI_STUBS_H
#define FAPI_STUBS_H

#include <rpc/rpc.h>

#include "fapi_types.h"

FDE_BEGIN_DECLS

/* Procedure numbers: API_FM_OPEN = 1019 and so on. */
enum {
#define FAPI_PROC(number, CONSTANT, stub, Arg, Res) CONSTANT = number,
#include "fapi_procs.def"
    FAPI_PROC_LAST = 1406
};

/* The stubs. */
#define FAPI_PROC(number, CONSTANT, stub, Arg, Res) Res *stub(Arg *argp, CLIENT *clnt);
#include "fapi_procs.def"

/* The same table at run time, sorted by number: for generic servers, tests
 * and tools.  The filters are cast to xdrproc_t; sizes are those of the
 * argument and of the result buffer (1 for void). */
typedef struct {
    int32_t number;
    const char *stub;
    xdrproc_t xdr_arg;
    xdrproc_t xdr_res;
    size_t arg_size;
    size_t res_size;
} FapiProcT;

extern const FapiProcT fapi_procs[];
extern const size_t fapi_proc_count;

/* The row of a procedure number, or null when the number is not used. */
const FapiProcT *fapi_proc_find(int32_t number);

FDE_END_DECLS

#endif /* FAPI_STUBS_H */
