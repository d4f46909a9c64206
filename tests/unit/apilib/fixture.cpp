// The runtime stand-ins of fixture.hpp and the application's entry points.
#include <type_traits>
#include <utility>

#include "apislib.h"
#include "fixture.hpp"

namespace rtfake {

std::vector<std::string> events;
std::function<void(const std::string &)> during_entry;

void reset() {
    events.clear();
    during_entry = nullptr;
}

namespace {

using ClntOps = std::remove_pointer_t<decltype(CLIENT::cl_ops)>;
using XpOps = std::remove_const_t<std::remove_pointer_t<decltype(SVCXPRT::xp_ops)>>;

// The over call's argument is the bailout flag.
clnt_stat frame_call(CLIENT *, rpcproc_t proc, xdrproc_t, void *argp, xdrproc_t, void *, timeval) {
    if (proc == 1002) events.push_back("over " + std::to_string(*static_cast<IntT *>(argp)));
    else events.push_back(proc == 1343 ? "take" : "call " + std::to_string(proc));
    return RPC_SUCCESS;
}

const ClntOps frame_ops = {frame_call, [](CLIENT *) {}, [](CLIENT *, rpc_err *e) { *e = {}; },
                           [](CLIENT *, xdrproc_t, void *) -> bool_t { return TRUE; },
                           [](CLIENT *) {}, [](CLIENT *, u_int, void *) -> bool_t { return TRUE; }};
CLIENT frame_handle{};

fdk_test::Bytes call_args;
bool lose_next_reply = false;

bool_t cb_getargs(SVCXPRT *, xdrproc_t decode, void *where) {
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(call_args.data()),
                  static_cast<u_int>(call_args.size()), XDR_DECODE);
    bool_t ok = decode(&x, where);
    xdr_destroy(&x);
    return ok;
}

bool_t cb_reply(SVCXPRT *, rpc_msg *msg) {
    static const char *stats[] = {"ok", "progunavail", "progmismatch", "noproc", "decode",
                                  "systemerr"};
    const char *what = lose_next_reply ? "lost" : stats[msg->acpted_rply.ar_stat];
    events.push_back(std::string("reply ") + what);
    return !std::exchange(lose_next_reply, false);
}

bool_t cb_freeargs(SVCXPRT *, xdrproc_t proc, void *where) {
    XDR x{};
    x.x_op = XDR_FREE;
    return proc(&x, where);
}

const XpOps callback_ops = {[](SVCXPRT *, rpc_msg *) -> bool_t { return FALSE; },
                            [](SVCXPRT *) { return XPRT_IDLE; },
                            cb_getargs, cb_reply, cb_freeargs, [](SVCXPRT *) {}};

}  // namespace

CLIENT *frame() {
    frame_handle.cl_ops = const_cast<ClntOps *>(&frame_ops);
    return &frame_handle;
}

void dispatch(rpcproc_t proc, const fdk_test::Bytes &args, bool lose_reply) {
    SVCXPRT xprt{};
    xprt.xp_ops = &callback_ops;
    xprt.xp_fd = -1;
    call_args = args;
    lose_next_reply = lose_reply;
    svc_req req{};
    req.rq_prog = 0x40000001;
    req.rq_vers = 1;
    req.rq_proc = proc;
    req.rq_xprt = &xprt;
    fm_api_prog_1(&req, &xprt);
}

// Logs an entry point's call, then runs the test's action.
void entry(std::string what) {
    events.push_back(what);
    if (during_entry) during_entry(what);
}

}  // namespace rtfake

extern "C" {

void F_ApiInitialize(IntT) { rtfake::entry("init"); }
void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) { rtfake::entry("notify"); }
void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) { rtfake::entry("message"); }
void F_ApiCommand(IntT) { rtfake::entry("command"); }
void F_ApiDialogEvent(IntT dialog, IntT item, IntT value) {
    rtfake::entry("dialog " + std::to_string(dialog) + " " + std::to_string(item) + " " +
                  std::to_string(value));
}

}  // extern "C"
