// runtime_fakes.cpp - see runtime_fakes.hpp.
#include "runtime_fakes.hpp"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace rtfake {

std::vector<std::string> events;
std::function<void(const std::string &)> during_entry;

void reset() {
    events.clear();
    during_entry = nullptr;
}

int count(const std::string &what) {
    return static_cast<int>(std::count(events.begin(), events.end(), what));
}

namespace {

// The operation tables are nested in the handle structs.
using ClntOps = std::remove_pointer_t<decltype(CLIENT::cl_ops)>;
using XpOps = std::remove_const_t<std::remove_pointer_t<decltype(SVCXPRT::xp_ops)>>;

void entry(const std::string &what) {
    events.push_back(what);
    if (during_entry) during_entry(what);
}

// --- FakeFrame -------------------------------------------------------------

FakeFrame *current_frame = nullptr;

enum clnt_stat frame_call(CLIENT *, rpcproc_t proc, xdrproc_t encode, void *argp,
                          xdrproc_t, void *, struct timeval) {
    if (current_frame != nullptr && current_frame->failing) return RPC_TIMEDOUT;
    // Put the argument on the wire as a real call would, then read it back.
    char buf[64];
    XDR x;
    xdrmem_create(&x, buf, sizeof buf, XDR_ENCODE);
    if (!encode(&x, argp)) return RPC_CANTENCODEARGS;
    u_int len = xdr_getpos(&x);
    xdr_destroy(&x);
    IntT value = 0;
    if (len == 4) {
        xdrmem_create(&x, buf, len, XDR_DECODE);
        xdr_int(&x, &value);
        xdr_destroy(&x);
    }
    switch (proc) {
    case 1000: events.push_back("initack " + std::to_string(value)); break;
    case 1002: events.push_back("over " + std::to_string(value)); break;
    case 1343: events.push_back(len == 0 ? "take" : "take with argument"); break;
    default: events.push_back("call " + std::to_string(proc)); break;
    }
    return RPC_SUCCESS;
}
void frame_abort(CLIENT *) {}
void frame_geterr(CLIENT *, struct rpc_err *e) { std::memset(e, 0, sizeof *e); }
bool_t frame_freeres(CLIENT *, xdrproc_t, void *) { return TRUE; }
void frame_destroy(CLIENT *) { events.push_back("frame destroyed"); }
bool_t frame_control(CLIENT *, u_int, void *) { return TRUE; }

const ClntOps frame_ops = {frame_call,    frame_abort,   frame_geterr,
                                   frame_freeres, frame_destroy, frame_control};

// --- FakeCallback ----------------------------------------------------------

FakeCallback *current_callback = nullptr;

FakeCallback *of(SVCXPRT *) { return current_callback; }

bool_t cb_recv(SVCXPRT *, struct rpc_msg *) { return FALSE; }
enum xprt_stat cb_stat(SVCXPRT *) { return XPRT_IDLE; }
bool_t cb_getargs(SVCXPRT *x, xdrproc_t decode, void *where) {
    FakeCallback *cb = of(x);
    XDR xd;
    xdrmem_create(&xd, cb->args.data(), static_cast<u_int>(cb->args.size()), XDR_DECODE);
    bool_t ok = decode(&xd, where);
    xdr_destroy(&xd);
    return ok;
}
bool_t cb_reply(SVCXPRT *x, struct rpc_msg *msg) {
    FakeCallback *cb = of(x);
    if (cb->reply_fails) {
        cb->reply_fails = false;
        events.push_back("reply lost");
        return FALSE;
    }
    std::string what = "reply ";
    if (msg->rm_reply.rp_stat != MSG_ACCEPTED) {
        what += "denied";
    } else {
        switch (msg->acpted_rply.ar_stat) {
        case SUCCESS: what += "ok"; break;
        case PROC_UNAVAIL: what += "noproc"; break;
        case GARBAGE_ARGS: what += "decode"; break;
        case SYSTEM_ERR: what += "systemerr"; break;
        default: what += "other"; break;
        }
    }
    events.push_back(what);
    return TRUE;
}
bool_t cb_freeargs(SVCXPRT *, xdrproc_t proc, void *where) {
    XDR xd;
    std::memset(&xd, 0, sizeof xd);
    xd.x_op = XDR_FREE;
    return proc(&xd, where);
}
void cb_destroy(SVCXPRT *) {}

const XpOps callback_ops = {cb_recv, cb_stat, cb_getargs, cb_reply, cb_freeargs,
                                    cb_destroy};

}  // namespace

FakeFrame::FakeFrame() {
    client_.cl_ops = const_cast<ClntOps *>(&frame_ops);
    current_frame = this;
}

FakeFrame::~FakeFrame() {
    if (current_frame == this) current_frame = nullptr;
}

FakeCallback::FakeCallback() {
    xprt.xp_ops = &callback_ops;
    xprt.xp_sock = -1;
}

void FakeCallback::call(rpcproc_t proc, const std::vector<char> &bytes) {
    args = bytes;
    current_callback = this;
    struct svc_req req;
    std::memset(&req, 0, sizeof req);
    req.rq_prog = 0x40000001;
    req.rq_vers = 1;
    req.rq_proc = proc;
    req.rq_xprt = &xprt;
    fm_api_prog_1(&req, &xprt);
}

}  // namespace rtfake

// The application's entry points, recorded.
extern "C" {

void F_ApiInitialize(IntT initialization) {
    rtfake::entry("init " + std::to_string(initialization));
}
void F_ApiNotify(IntT notification, F_ObjIdT docId, StringT filename, IntT iparm) {
    rtfake::entry("notify " + std::to_string(notification) + " " + std::to_string(docId) +
                  " " + (filename != nullptr ? filename : "(null)") + " " +
                  std::to_string(iparm));
}
void F_ApiMessage(StringT message, F_ObjIdT docId, F_ObjIdT objId) {
    rtfake::entry(std::string("message ") + (message != nullptr ? message : "(null)") + " " +
                  std::to_string(docId) + " " + std::to_string(objId));
}
void F_ApiCommand(IntT command) { rtfake::entry("command " + std::to_string(command)); }
void F_ApiDialogEvent(IntT a, IntT b, IntT c) {
    rtfake::entry("dialog " + std::to_string(a) + " " + std::to_string(b) + " " +
                  std::to_string(c));
}
void F_ApiEmergency(void) { rtfake::entry("emergency"); }

}  // extern "C"
