// service.cpp - Frame's API program as framesim serves it: one dispatcher
// and one generic handler per row of the procedure table.
//
// The generic handler decodes the argument record with its own encoder,
// applies a pending fault, runs the procedure's behaviour when the model has
// one (behaviour.hpp) and otherwise leaves the all-zero result (status 0,
// empty lists, no strings), sends the reply with the result's encoder and
// writes one "call" line into the journal.  Procedure numbers outside the
// table get the RPC error for an unavailable procedure.
#include <arpa/inet.h>
#include <fcntl.h>
#include <rpc/xdr.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <type_traits>

#include "behaviour.hpp"
#include "record_json.hpp"
#include "sim.hpp"

namespace fdk::sim {

namespace {

// The storage of an argument or result: xdr_void ones get an empty record.
template <class T> using Slot = std::conditional_t<std::is_void_v<T>, VoidRec, T>;

// Puts an error status into a result: the int itself, or the status field
// that every result record starts with.  False for void and string results.
template <class R> bool put_status(R &r, IntT status) {
    if constexpr (std::is_same_v<R, IntT>) {
        r = status;
        return true;
    } else if constexpr (requires { r.status; }) {
        r.status = status;
        return true;
    } else {
        return false;
    }
}

void sleep_ms(int ms) {
    struct timespec ts {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

// An accepted reply with a null verifier before its results: transaction
// id, message type, reply status, verifier flavour and length, accept status.
constexpr unsigned kReplyHeaderBytes = 24;

// Decodes a call's arguments; on failure journals the call as undecodable,
// answers with the decode error and releases what was decoded.
bool take_args(Sim &s, SVCXPRT *xp, xdrproc_t proc, void *arg, Json &line) {
    if (svc_getargs(xp, proc, static_cast<caddr_t>(arg))) return true;
    svc_freeargs(xp, proc, static_cast<caddr_t>(arg));
    line["error"] = "undecodable arguments";
    s.journal.write(line);
    svcerr_decode(xp);
    return false;
}

// A connection of its own, not the shared UDP socket.
bool is_stream(SVCXPRT *xp) {
    int type = 0;
    socklen_t len = sizeof type;
    return getsockopt(xp->xp_fd, SOL_SOCKET, SO_TYPE, &type, &len) == 0 && type == SOCK_STREAM;
}

void close_stream(SVCXPRT *xp) {
    if (is_stream(xp)) shutdown(xp->xp_fd, SHUT_RDWR);
}

// The reply as svc_sendreply writes it (record mark, header with the call's
// transaction id, results), taken from a socket pair put in the place of the
// connection for the time of the write.  Empty when it cannot be had.
std::string capture_reply(SVCXPRT *xp, xdrproc_t rproc, void *ret) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return {};
    int room = 8 << 20;
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    setsockopt(pair[1], SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
    // A reply larger than the pair holds fails the write instead of blocking.
    fcntl(pair[0], F_SETFL, O_NONBLOCK);
    fcntl(pair[1], F_SETFL, O_NONBLOCK);
    int saved = fcntl(xp->xp_fd, F_DUPFD_CLOEXEC, 0);
    std::string out;
    if (saved >= 0 && dup2(pair[0], xp->xp_fd) >= 0) {
        (void)svc_sendreply(xp, rproc, static_cast<caddr_t>(ret));
        dup2(saved, xp->xp_fd);
        char buf[65536];
        for (ssize_t n; (n = read(pair[1], buf, sizeof buf)) > 0;)
            out.append(buf, static_cast<std::size_t>(n));
    }
    if (saved >= 0) close(saved);
    close(pair[0]);
    close(pair[1]);
    return out;
}

// Sends the record mark of a reply of `bytes` bytes (one last fragment) and,
// when `offset` is 0 or more, the first `offset` bytes of the reply after
// its mark (always short of the whole), then closes the connection: the
// client is left in the middle of the reply.
void cut_reply(SVCXPRT *xp, unsigned bytes, int offset, xdrproc_t rproc, void *ret) {
    if (!is_stream(xp)) return;
    std::string reply = offset >= 0 ? capture_reply(xp, rproc, ret) : std::string();
    if (reply.size() > 4) {
        std::size_t keep = std::min(static_cast<std::size_t>(offset), reply.size() - 5);
        (void)!write(xp->xp_fd, reply.data(), 4 + keep);
    } else {
        uint32_t mark = htonl(0x80000000u | bytes);
        (void)!write(xp->xp_fd, &mark, sizeof mark);
    }
    shutdown(xp->xp_fd, SHUT_RDWR);
}

template <int N, class A, class R>
void serve(Sim &s, SVCXPRT *xp, const char *stub) {
    Slot<A> arg{};
    Slot<R> ret{};
    const xdrproc_t aproc = wire_proc<A>();
    const xdrproc_t rproc = wire_proc<R>();
    Json line = {{"kind", "call"}, {"proc", N}, {"name", stub}};
    if (!take_args(s, xp, aproc, &arg, line)) return;
    line["args"] = to_json(arg);
    line["holder"] = s.frame_holds ? "frame" : "client";

    std::optional<Fault> fault;
    auto fq = s.faults.find(N);
    if (fq != s.faults.end() && !fq->second.empty()) {
        fault = fq->second.front();
        fq->second.pop_front();
    }

    s.journal.begin_group();
    bool reply = true;
    if (fault && fault->kind == Fault::Drop) {
        // No answer, and the connection goes: the client's call fails.
        line["fault"] = {{"drop", true}};
        close_stream(xp);
        reply = false;
    } else if (fault && fault->kind == Fault::Fail) {
        if (put_status(ret, fault->status)) {
            line["fault"] = {{"fail", fault->status}};
        } else {
            line["fault"] = {{"fail", fault->status}, {"as", "system error"}};
            svcerr_systemerr(xp);
            reply = false;
        }
    } else {
        if constexpr (requires(Sim &s2, Slot<A> &a2, Slot<R> &r2) { Proc<N>::run(s2, a2, r2); })
            Proc<N>::run(s, arg, ret);
        if (fault && fault->kind == Fault::Delay) {
            line["fault"] = {{"delay", fault->ms}};
            sleep_ms(fault->ms);
        } else if (fault && fault->kind == Fault::Cut) {
            // The call has had its effect; its reply breaks off after the
            // record mark that announces it, and the connection goes.
            line["fault"] = {{"cut", true}};
            if (fault->offset >= 0) line["fault"]["offset"] = fault->offset;
            cut_reply(xp, kReplyHeaderBytes + xdr_sizeof(rproc, &ret), fault->offset, rproc, &ret);
            reply = false;
        }
    }
    if (reply) {
        line["reply"] = to_json(ret);
        if (!svc_sendreply(xp, rproc, reinterpret_cast<caddr_t>(&ret))) line["sent"] = false;
    }
    s.journal.end_group(line);
    if (!svc_freeargs(xp, aproc, reinterpret_cast<caddr_t>(&arg)))
        s.note_problem("arguments of procedure " + std::to_string(N) + " could not be released");
    xdr_free(rproc, reinterpret_cast<char *>(&ret));
}

// Procedure 108 (version 1): a client joins the named session.
void serve_connect(Sim &s, SVCXPRT *xp) {
    FmRpcApiConnectArgT arg{};
    const xdrproc_t aproc = wire_proc<FmRpcApiConnectArgT>();
    Json line = {{"kind", "call"}, {"proc", 108}, {"name", "connect"}};
    if (!take_args(s, xp, aproc, &arg, line)) return;
    line["args"] = to_json(arg);
    char host[256] = "localhost";
    gethostname(host, sizeof host - 1);
    host[sizeof host - 1] = '\0';
    FmRpcApiConnectReturnT ret{};
    std::string session = arg.session ? arg.session : "";
    if (session != s.opt.session) {
        ret.status = kErrNoSession;
    } else {
        ret.reserved = s.opt.client_no;
        ret.clientProg = static_cast<IntT>(s.opt.cb_prog);
        ret.clientVers = static_cast<IntT>(s.opt.cb_vers);
        ret.frameProg = static_cast<IntT>(s.opt.prog);
        ret.frameVers = static_cast<IntT>(s.opt.vers);
        ret.framePid = getpid();
    }
    ret.frameHost = host;
    line["reply"] = to_json(ret);
    if (!svc_sendreply(xp, wire_proc<FmRpcApiConnectReturnT>(), reinterpret_cast<caddr_t>(&ret)))
        line["sent"] = false;
    s.journal.write(line);
    if (ret.status == 0) {
        s.client_host = arg.hostName ? arg.hostName : "";
        s.journal.write({{"kind", "client"}, {"event", "join"}, {"session", session},
                         {"pid", arg.pid}, {"host", s.client_host}});
    }
    svc_freeargs(xp, aproc, reinterpret_cast<caddr_t>(&arg));
}

}  // namespace

void dispatch_api(struct svc_req *rq, SVCXPRT *xp) {
    Sim &s = *Sim::instance;
    if (rq->rq_proc == NULLPROC) {
        svc_sendreply(xp, wire_proc<void>(), nullptr);
        return;
    }
    if (rq->rq_proc == 108 && rq->rq_vers == 1 && !s.opt.session.empty()) {
        serve_connect(s, xp);
        return;
    }
    if (rq->rq_vers == s.opt.vers) {
        switch (rq->rq_proc) {
#define FAPI_PROC(num, CONSTANT, stub, Arg, Res) \
    case num:                                    \
        serve<num, Arg, Res>(s, xp, #stub);      \
        return;
#include "fapi_procs.def"
        default:
            break;
        }
    }
    s.journal.write({{"kind", "call"}, {"proc", rq->rq_proc}, {"error", "no such procedure"}});
    svcerr_noproc(xp);
}

}  // namespace fdk::sim
