/*
 * fapi_runtime.h - the Frame API client runtime: start-up and connection,
 * the callback service with its turn-over protocol, descriptor reporting,
 * and the entry points that the application supplies.
 *
 * Contract:
 * - One connection per process; all state here is process-wide and touched
 *   from one thread only.
 * - F_ApiStartUp returns null on success or a constant message text on
 *   failure (never to be freed); print it with F_ApiErr.
 * - F_ApiConnectToSession returns 0 or a negative code, also left in
 *   FA_errno.
 * - Control: Frame holds control until a callback arrives or the client asks
 *   for it with F_ApiTakeControl; the client hands it back with
 *   F_ApiDoneCommand (or the runtime does after the entry point returns).
 * - Strings handed to the entry points belong to the runtime and are released
 *   when the entry point returns: copy what you keep.
 * - Descriptor masks are 32-bit words, bit n = descriptor n; descriptors
 *   above 31 are never waited on nor reported.
 */
#ifndef FAPI_RUNTIME_H
#define FAPI_RUNTIME_H

#include <rpc/rpc.h>
#include <sys/time.h>

#include "fapi_types.h"

FDE_BEGIN_DECLS

/* Called with a descriptor number and 1 (now watched) or 0 (no longer). */
typedef void (*F_ApiFdFuncT)(int fd, int on);

/* Process-wide state. */
extern IntT FA_errno;              /* code of the last failed call; never reset */
extern IntT FA_bailout;            /* non-zero ends the service loop */
extern IntT FA_clientno;           /* client number Frame assigned */
extern struct timeval FA_TimeOut;  /* total call time-out; 0 means 604800 s */
extern UIntT FA_SelectMask;        /* read mask of the last wait */
extern CLIENT *frame_client;       /* the connection to Frame, or null */

/* Start-up and connection. */
const char *F_ApiStartUp(F_ApiFdFuncT fdFunc);
void F_ApiShutDown(void);
F_ApiFdFuncT F_ApiSetFdFunc(F_ApiFdFuncT fdFunc);
IntT F_ApiFrameAlive(void);
void F_ApiErr(const char *message);
IntT F_ApiConnectToSession(const char *session, const char *host, IntT program);

/* Callback service and the turn-over protocol. */
IntT F_ApiService(UIntT *mask);
IntT F_ApiRun(void);
IntT F_ApiTakeControl(void);
IntT F_ApiDoneCommand(void);
IntT F_ApiServiceModalCallbacks(void);

/* Tracing.  With FDK_TRACE naming a file ("-": standard error), every call
 * function and every callback served writes one line to it; F_ApiTracing
 * answers 1 then, else 0.  F_ApiTrace adds an application's own line in the
 * same form: the time and process id, the printf-style text, then, when
 * data is not null, its first `length` bytes quoted as call lines quote
 * strings.  Nothing is written while tracing is off. */
IntT F_ApiTracing(void);
void F_ApiTrace(const void *data, IntT length, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

/* Entry points the application supplies.  F_ApiCommand, F_ApiDialogEvent and
 * F_ApiEmergency have empty defaults in the library that an application's
 * own definitions replace at link time. */
void F_ApiInitialize(IntT initialization);
void F_ApiNotify(IntT notification, F_ObjIdT docId, StringT filename, IntT iparm);
void F_ApiMessage(StringT message, F_ObjIdT docId, F_ObjIdT objId);
void F_ApiCommand(IntT command);
void F_ApiDialogEvent(IntT dlgNum, IntT itemNum, IntT modifiers);
void F_ApiEmergency(void);

FDE_END_DECLS

#endif /* FAPI_RUNTIME_H */
