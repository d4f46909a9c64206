// A small stand-in for Frame's API program, for the stub tests: a libtirpc
// TCP server in a child process on 127.0.0.1 serving every procedure of the
// table generically (decode the argument with the row's filter, send a reply
// of the row's result type).  It is not registered with the port mapper: the
// client is created on the server's port directly.
//
// Replies: an int result is the number of calls served so far; StringT is
// "reply-<calls>"; void is void; a record result is all zero except its
// second word, which is <calls> (for ApiFmGetIdRetT: the id).  Two procedures
// look at their argument: 1066 answers id = docId + objId + property number,
// and 1370 sleeps the given number of seconds before its reply.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <rpc/rpc.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "fapi_stubs.h"
#include "xdr_record.hpp"

namespace fdk_test {

inline int served_calls = 0;  // in the server process

inline void serve_one(struct svc_req *rq, SVCXPRT *xprt) {
    using fdk::xdr::to_xdrproc;
    if (rq->rq_proc == 0) {
        svc_sendreply(xprt, to_xdrproc(&xdr_void), nullptr);
        return;
    }
    const FapiProcT *p = fapi_proc_find(static_cast<int32_t>(rq->rq_proc));
    if (p == nullptr) {
        svcerr_noproc(xprt);
        return;
    }
    alignas(16) unsigned char arg[512] = {};
    alignas(16) unsigned char res[512] = {};
    if (p->arg_size > sizeof arg || p->res_size > sizeof res || !svc_getargs(xprt, p->xdr_arg, arg)) {
        svcerr_decode(xprt);
        return;
    }
    ++served_calls;
    std::string text = "reply-" + std::to_string(served_calls);
    char *str = text.data();
    void *reply = res;
    if (p->xdr_res == to_xdrproc(&xdr_StringT)) {
        reply = &str;
    } else if (p->xdr_res == to_xdrproc(&xdr_int)) {
        std::memcpy(res, &served_calls, sizeof(int));
    } else if (p->res_size >= 8) {
        std::memcpy(res + 4, &served_calls, sizeof(int));
    }
    if (p->number == API_FM_GET_ID) {
        auto *a = reinterpret_cast<ApiFmGetPropArgT *>(arg);
        auto *r = reinterpret_cast<ApiFmGetIdRetT *>(res);
        r->id = a->docId + a->objId + static_cast<F_ObjIdT>(a->propIdent.num);
    }
    if (p->number == API_FM_SLEEP) {
        int secs = 0;
        std::memcpy(&secs, arg, sizeof secs);
        sleep(static_cast<unsigned>(secs));
    }
    svc_sendreply(xprt, p->xdr_res, reply);
    svc_freeargs(xprt, p->xdr_arg, arg);
}

// Starts the server (in a child) and connects a client handle to it.
class StubServer {
public:
    StubServer() {
        signal(SIGPIPE, SIG_IGN);  // writes to a vanished server must fail, not kill the test
        prog_ = 0x40000000u + (static_cast<u_long>(getpid()) & 0x0FFFFFFF);
        int sock = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (sock < 0 || bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
            listen(sock, 8) != 0 || getsockname(sock, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
            ADD_FAILURE() << "cannot open a loopback socket";
            if (sock >= 0) close(sock);
            return;
        }
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            SVCXPRT *xprt = svctcp_create(sock, 0, 0);
            // protocol 0: no port-mapper registration
            if (xprt == nullptr || !svc_register(xprt, prog_, 1, serve_one, 0)) _exit(2);
            svc_run();
            _exit(0);
        }
        close(sock);
        addr_ = addr;
        connect_client();
    }

    ~StubServer() {
        if (clnt_) clnt_destroy(clnt_);
        stop();
    }

    void connect_client() {
        int fd = RPC_ANYSOCK;
        clnt_ = clnttcp_create(&addr_, prog_, 1, &fd, 0, 0);
        if (clnt_ == nullptr) ADD_FAILURE() << "cannot connect to the test server";
    }

    // Ends the server process; the client handle stays.
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    CLIENT *client() const { return clnt_; }

private:
    pid_t pid_ = -1;
    u_long prog_ = 0;
    sockaddr_in addr_{};
    CLIENT *clnt_ = nullptr;
};

}  // namespace fdk_test
