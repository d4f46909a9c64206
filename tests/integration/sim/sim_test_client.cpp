// sim_test_client.cpp - a small Frame API client for framesim's tests.
//
// Started by framesim with FMAPIX, it
// does what a client does at start-up: parse FMAPIX, fork unless the client
// number is negative, register its callback program, connect to Frame and
// make the initial contact.  Then it serves callbacks: it replies at once,
// holds control for --turn-ms milliseconds and hands control back with the
// over call.  Everything it sees goes to --log as JSON Lines:
//
//   {"event":"fmapix", cb_prog, cb_vers, prog, vers, frame_pid, client_no, name}
//   {"event":"forked", "parent": pid, "pid": pid}
//   {"event":"contact", "ok": bool}
//   {"event":"callback", "proc": n, "args": {...}}
//   {"event":"violation", "what": "..."}   data from Frame while holding control
//   {"event":"exit", "bailout": n}
//
// Options: --log FILE, --turn-ms MS, --take-ms MS (take control right after
// contact and hold it), --request N (ask for notification N in that first
// turn), --lifetime S.
#include <netinet/in.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>
#include <sys/select.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fapi_stubs.h"
#include "record_json.hpp"

using fdk::sim::Json;
using fdk::sim::to_json;
using Clock = std::chrono::steady_clock;

namespace {

std::FILE *g_log = nullptr;
CLIENT *g_frame = nullptr;
int g_listen_fd = -1;
int g_bailout = 0;
bool g_holding = false;
int g_turn_ms = 0;

void log(Json j) {
    if (!g_log) return;
    std::fputs(j.dump(-1, ' ', false, Json::error_handler_t::replace).c_str(), g_log);
    std::fputc('\n', g_log);
    std::fflush(g_log);
}

// Holds control for `ms`: waits without serving anything and reports any
// data that arrives on a callback connection meanwhile, which Frame must not
// send while the client holds control.
void hold(int ms) {
    auto until = Clock::now() + std::chrono::milliseconds(ms);
    bool reported = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(until - Clock::now()).count();
        if (left <= 0) break;
        fd_set rd;
        FD_ZERO(&rd);
        int maxfd = -1;
        for (int fd = 0; fd <= svc_maxfd && fd < FD_SETSIZE; ++fd)
            if (FD_ISSET(fd, &svc_fdset) && fd != g_listen_fd) {
                FD_SET(fd, &rd);
                maxfd = fd;
            }
        struct timeval tv {static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
        int n = select(maxfd + 1, &rd, nullptr, nullptr, &tv);
        if (n > 0 && !reported) {
            log({{"event", "violation"}, {"what", "callback data while the client holds control"}});
            reported = true;
        }
        if (n > 0) usleep(static_cast<useconds_t>(left > 20000 ? 20000 : left));
    }
}

void over() {
    int b = g_bailout;
    if (!api_fm_over_1(&b, g_frame)) log({{"event", "over-failed"}});
}

template <class A> bool decode(SVCXPRT *xp, A &a) {
    a = A{};
    if (!svc_getargs(xp, fdk::xdr::proc_of<A>(), reinterpret_cast<caddr_t>(&a))) {
        svcerr_decode(xp);
        return false;
    }
    return true;
}

template <class A> void done(SVCXPRT *xp, A &a) {
    svc_freeargs(xp, fdk::xdr::proc_of<A>(), reinterpret_cast<caddr_t>(&a));
}

template <class A> void turn(SVCXPRT *xp, int proc) {
    A a;
    if (!decode(xp, a)) return;
    svc_sendreply(xp, fdk::xdr::proc_of<void>(), nullptr);  // reply first, then work
    log({{"event", "callback"}, {"proc", proc}, {"args", to_json(a)}, {"nested", g_holding}});
    done(xp, a);
    if (g_holding) return;  // dropped, as the runtime does with a nested callback
    g_holding = true;
    hold(g_turn_ms);
    over();
    g_holding = false;
}

void dispatch(struct svc_req *rq, SVCXPRT *xp) {
    switch (rq->rq_proc) {
    case 0:
        svc_sendreply(xp, fdk::xdr::proc_of<void>(), nullptr);
        return;
    case 1:
        log({{"event", "callback"}, {"proc", 1}});
        g_bailout = 1;
        svc_sendreply(xp, fdk::xdr::proc_of<void>(), nullptr);
        return;
    case 2: turn<FmApiInitArgT>(xp, 2); return;
    case 3: turn<FmApiCommandArgT>(xp, 3); return;
    case 4: turn<FmApiMessageArgT>(xp, 4); return;
    case 5: {
        Fm4ApiNotifyArgT a;
        if (!decode(xp, a)) return;
        log({{"event", "callback"}, {"proc", 5}, {"args", to_json(a)}});
        done(xp, a);
        return;  // never answered
    }
    case 6: turn<FmApiDialogEventArgT>(xp, 6); return;
    case 7: turn<FmApiNotifyArgT>(xp, 7); return;
    default:
        svcerr_noproc(xp);
    }
}

struct Params {
    int cb_prog = 0, cb_vers = 0, prog = 0, vers = 0, frame_pid = 0, client_no = 0;
    std::string name;
};

}  // namespace

int main(int argc, char **argv) {
    std::string log_path;
    int take_ms = -1, request = 0;
    double lifetime = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i], v = argv[i + 1];
        if (k == "--log") log_path = v;
        else if (k == "--turn-ms") g_turn_ms = std::atoi(v.c_str());
        else if (k == "--take-ms") take_ms = std::atoi(v.c_str());
        else if (k == "--request") request = std::atoi(v.c_str());
        else if (k == "--lifetime") lifetime = std::atof(v.c_str());
    }
    if (!log_path.empty()) g_log = std::fopen(log_path.c_str(), "a");

    Params p;
    {  // FMAPIX: "cb_prog.cb_vers prog.vers frame_pid.client_no.name"
        const char *fmapix = std::getenv("FMAPIX");
        char name[256] = "";
        if (!fmapix || std::sscanf(fmapix, "%d.%d %d.%d %d.%d.%255s", &p.cb_prog, &p.cb_vers, &p.prog,
                                   &p.vers, &p.frame_pid, &p.client_no, name) != 7) {
            log({{"event", "no-fmapix"}});
            return 2;
        }
        p.name = name;
        log({{"event", "fmapix"}, {"cb_prog", p.cb_prog}, {"cb_vers", p.cb_vers}, {"prog", p.prog},
             {"vers", p.vers}, {"frame_pid", p.frame_pid}, {"client_no", p.client_no}, {"name", p.name},
             {"pid", getpid()}});
    }
    if (p.client_no >= 0) {
        pid_t parent = getpid();
        pid_t child = fork();
        if (child < 0) return 4;
        if (child > 0) _exit(0);
        log({{"event", "forked"}, {"parent", parent}, {"pid", getpid()}});
    }

    pmap_unset(static_cast<u_long>(p.cb_prog), static_cast<u_long>(p.cb_vers));
    SVCXPRT *xp = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (!xp || !svc_register(xp, static_cast<u_long>(p.cb_prog), static_cast<u_long>(p.cb_vers), dispatch,
                             IPPROTO_TCP)) {
        log({{"event", "register-failed"}});
        return 5;
    }
    g_listen_fd = xp->xp_fd;
    struct sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int sock = RPC_ANYSOCK;
    g_frame = clnttcp_create(&addr, static_cast<u_long>(p.prog), static_cast<u_long>(p.vers), &sock, 0, 0);
    int pid = getpid();
    bool ok = g_frame && api_fm_init_ack_5_1(&pid, g_frame) != nullptr;
    log({{"event", "contact"}, {"ok", ok}, {"pid", pid}});
    if (!ok) {
        svc_unregister(static_cast<u_long>(p.cb_prog), static_cast<u_long>(p.cb_vers));
        return 6;
    }
    if (take_ms >= 0 || request != 0) {
        int zero = 0;
        if (!api_fm_take_control_1(&zero, g_frame)) log({{"event", "take-failed"}});
        g_holding = true;
        log({{"event", "took-control"}});
        if (request != 0) {
            ApiFmNotificationArgT n{request, 1};
            int *r = api_fm_notification_1(&n, g_frame);
            log({{"event", "requested"}, {"notification", request}, {"status", r ? *r : -1}});
        }
        hold(take_ms > 0 ? take_ms : 0);
        over();
        g_holding = false;
    }

    auto end = Clock::now() + std::chrono::milliseconds(static_cast<long>(lifetime * 1000));
    while (!g_bailout && Clock::now() < end) {
        fd_set rd = svc_fdset;
        struct timeval tv {0, 100000};
        int n = select(svc_maxfd + 1, &rd, nullptr, nullptr, &tv);
        if (n > 0) svc_getreqset(&rd);
    }
    log({{"event", "exit"}, {"bailout", g_bailout}});
    svc_unregister(static_cast<u_long>(p.cb_prog), static_cast<u_long>(p.cb_vers));
    svc_destroy(xp);
    clnt_destroy(g_frame);
    if (g_log) std::fclose(g_log);
    return 0;
}
