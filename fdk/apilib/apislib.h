// apislib.h - internals of the client runtime shared by apislib (start-up,
// connection, descriptor reporting, the service loop) and server (the
// callback dispatcher).  Not a public header: applications use
// fapi_runtime.h.
//
// All of this is process-wide state of the one connection to Frame, touched
// from one thread only.
#ifndef FDK_APILIB_APISLIB_H
#define FDK_APILIB_APISLIB_H

#include <netinet/in.h>
#include <rpc/rpc.h>
#include <sys/select.h>
#include <sys/time.h>

#include "fapi_runtime.h"

extern "C" {

// Connection state.
extern int myprog;            // the callback program; 0 = nothing registered
extern int myvers;
extern int hisprog;           // Frame's API program
extern int hisvers;
extern int hispid;            // Frame's pid; <= 0 switches the liveness test off
extern SVCXPRT *client_transp;  // the callback service's TCP transport or null
extern int client_socket;     // socket of frame_client, -1 when none
extern char myname[256];      // the client's name; "???" until start-up read it
extern const char versionid[];

// Turn-over protocol state (server and the service loop).
extern int turn_over_needed;  // 1 while the client holds control and owes an over call
extern int callbacksDone;     // depth counter of modal waits
extern int modalRetval;       // third field of the last closing dialog event
extern const char *nest_msg;

// Frame's pid in hookup when Frame runs on another host: no liveness test.
constexpr int kRemoteFramePid = -223;

// Connects to Frame's API program and registers the callback program; see
// apislib.cpp.  Returns null or a constant message text.
const char *hookup(int prog, int vers, int fprog, int fvers, int fpid, const char *host);

// Frame's address for `host` (null, "localhost" or this host: loopback;
// else a dotted address, else a name look-up).  0 on success, -1 otherwise.
int hostnameToAddr(const char *host, struct sockaddr_in *address);

// This host's name, looked up once (at most 255 bytes) and cached.
const char *thishost(void);

// 1 when both strings are equal byte for byte, null counting as "".
int strEqual(const char *a, const char *b);

// FA_TimeOut, first set to 604800 seconds when both of its fields are zero.
struct timeval get_FA_TimeOut(void);

// Removes the callback program's port-mapper registration, if any.
void un_portmap(void);

// One UDP call (version 1) to `program` on `host`; 1 on success, 0 otherwise.
int apiLocalCall(const char *host, int program, int procedure, xdrproc_t encodeArgs,
                 void *args, xdrproc_t decodeResult, void *result,
                 struct timeval timeout);

// Reports the changes of the service descriptors (0 to 31) since the last
// report to the installed descriptor callback.
void call_fd_func(void);

// The callback program's dispatcher and its handlers.  A handler returns a
// non-null pointer when the dispatcher is to send the (empty) reply.
void fm_api_prog_1(struct svc_req *rqstp, SVCXPRT *transp);
void *fm_api_quit_1(void *argp, struct svc_req *rqstp);
void *fm_api_init_1(FmApiInitArgT *argp, struct svc_req *rqstp);
void *fm_api_command_1(FmApiCommandArgT *argp, struct svc_req *rqstp);
void *fm_api_message_1(FmApiMessageArgT *argp, struct svc_req *rqstp);
void *fm4_api_notify_1(Fm4ApiNotifyArgT *argp, struct svc_req *rqstp);
void *fm_api_dialog_event_1(FmApiDialogEventArgT *argp, struct svc_req *rqstp);
void *fm_api_notify_1(FmApiNotifyArgT *argp, struct svc_req *rqstp);

}  // extern "C"

namespace fdk::runtime {

// 32-bit descriptor masks (bit n = descriptor n, n < 32) and fd_sets.  Only
// descriptors 0 to 31 cross; nothing is ever shifted by 32 or more.
UIntT mask_from_fdset(const fd_set &set);
void fdset_from_mask(UIntT mask, fd_set *set);

// The service descriptor set of the RPC runtime, descriptors 0 to 31.
UIntT service_word();

// Hands control back to Frame with the over call carrying FA_bailout.
void send_over();

// The callback service's guard (apiguard.cpp): who may connect, for how
// long, and the runtime's descriptors below 32.
constexpr int kLowDescriptors = 32;
// `fd` itself when below 32, else a close-on-exec copy at the lowest free
// number from 3 on (the original is closed); -1 when none is below 32.
int keep_low(int fd);
// Before the service is made: limits its records, makes the timer of the
// guard.  Null, or the start-up message when the timer cannot be made.
const char *guard_prepare();
// Where Frame runs: this host (`here`), or `host`, reached at `address`.
void guard_frame_host(const char *host, bool here, const struct sockaddr_in &address);
// Forgets every connection and closes the timer.
void guard_stop();
// The guard's own descriptor (its timer) as a mask bit, 0 when none.
UIntT guard_word();
// The dispatcher got a call on the connection `fd`.
void guard_dispatched(int fd);
// Serves the ready service descriptors `ready`: the calls of the admitted
// connections, then new connections (checked before anything of theirs is
// read), closing those that take too long.
void serve_ready(UIntT ready);

}  // namespace fdk::runtime

#endif  // FDK_APILIB_APISLIB_H
