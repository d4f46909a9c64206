// apislib.cpp - start-up and connection of the Frame API client, descriptor
// reporting, and the service loop with the turn-over requests.
//
// Frame starts the client with FMAPIX = "prog.vers fprog.fvers pid.no.name".
// F_ApiStartUp forks (the process Frame started leaves at once), registers
// the callback program with the port mapper, connects frame_client to
// Frame's API program and makes the initial contact.  F_ApiService then
// waits for Frame's callbacks (dispatched by server.cpp) and for the
// application's own descriptors.
#include "apislib.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <rpc/pmap_clnt.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fapi_stubs.h"
#include "fapi_xdr.h"
#include "xdr_record.hpp"

namespace {

constexpr int kDefaultTimeOutSeconds = 604800;  // seven days
constexpr int kServiceWaitSeconds = 22;         // liveness test after this much silence
constexpr int kMaskBits = 32;                   // descriptors a mask can hold
constexpr rlim_t kDescriptorLimit = 256;
constexpr int kConnectProcedure = 108;
constexpr int kSessionVersion = 1;
constexpr int kProbeRetrySeconds = 5;
constexpr int kProbeTotalSeconds = 25;
constexpr const char *kNoLowDescriptor = "no free descriptor below 32";

// TCP keepalive on the connections to and from Frame.  The liveness test
// of a Frame on another host cannot look at its process; what it can see
// is that the connection to it has failed.  An idle connection to a host
// that dropped off the network fails only if something is sent on it:
// after kKeepIdleSeconds of silence the kernel probes the peer every
// kKeepIntervalSeconds and drops the connection after kKeepCount probes
// without an answer, 40 seconds in all.  A callback connection failing
// that way wakes F_ApiService, which ends the client at once; a failed
// connection to Frame is found by the liveness test after the next quiet
// wait: either way within about a minute of the last traffic.
// kUserTimeoutMs bounds the same way a call whose data the peer never
// acknowledges (otherwise retransmitted for some 15 minutes).
constexpr int kKeepIdleSeconds = 20;
constexpr int kKeepIntervalSeconds = 5;
constexpr int kKeepCount = 4;
constexpr unsigned kUserTimeoutMs =
    1000u * (kKeepIdleSeconds + kKeepIntervalSeconds * kKeepCount);

F_ApiFdFuncT fd_func = nullptr;
UIntT fd_snapshot = 0;  // service word as last reported to fd_func

char host_cache[256];
bool host_cached = false;

}  // namespace

extern "C" {

IntT FA_errno = 0;
IntT FA_bailout = 0;
IntT FA_clientno = 0;
struct timeval FA_TimeOut = {0, 0};
UIntT FA_SelectMask = 0;
CLIENT *frame_client = nullptr;

int myprog = 0;
int myvers = 0;
int hisprog = 0;
int hisvers = 0;
int hispid = 0;
SVCXPRT *client_transp = nullptr;
int client_socket = -1;
char myname[256] = "???";
const char versionid[] = "Frame API Client Library version 5.0";

}  // extern "C"

namespace fdk::runtime {

UIntT mask_from_fdset(const fd_set &set) {
    UIntT mask = 0;
    for (int fd = 0; fd < kMaskBits; ++fd)
        if (FD_ISSET(fd, &set)) mask |= UIntT{1} << fd;
    return mask;
}

void fdset_from_mask(UIntT mask, fd_set *set) {
    FD_ZERO(set);
    for (int fd = 0; fd < kMaskBits; ++fd)
        if (mask & (UIntT{1} << fd)) FD_SET(fd, set);
}

UIntT service_word() { return mask_from_fdset(svc_fdset) | guard_word(); }

}  // namespace fdk::runtime

using fdk::runtime::fdset_from_mask;
using fdk::runtime::mask_from_fdset;
using fdk::runtime::service_word;

// ---------------------------------------------------------------------------
// Small helpers.

extern "C" const char *thishost(void) {
    if (!host_cached) {
        std::memset(host_cache, 0, sizeof host_cache);
        if (gethostname(host_cache, sizeof host_cache - 1) != 0) host_cache[0] = '\0';
        host_cache[sizeof host_cache - 1] = '\0';
        host_cached = true;
    }
    return host_cache;
}

extern "C" int strEqual(const char *a, const char *b) {
    return std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "") == 0 ? 1 : 0;
}

extern "C" struct timeval get_FA_TimeOut(void) {
    if (FA_TimeOut.tv_sec == 0 && FA_TimeOut.tv_usec == 0)
        FA_TimeOut.tv_sec = kDefaultTimeOutSeconds;
    return FA_TimeOut;
}

// "localhost" and an empty name stand for this host as well as its own name.
static bool is_this_host(const char *host) {
    return host == nullptr || host[0] == '\0' || strEqual(host, "localhost") ||
           strEqual(host, thishost());
}

extern "C" int hostnameToAddr(const char *host, struct sockaddr_in *address) {
    std::memset(address, 0, sizeof *address);
    address->sin_family = AF_INET;
    address->sin_port = 0;
    if (is_this_host(host)) {
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return 0;
    }
    in_addr_t dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        address->sin_addr.s_addr = dotted;
        return 0;
    }
    struct hostent *entry = gethostbyname(host);
    if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr)
        return -1;
    // Never copy more than the address field holds, whatever the entry says.
    std::size_t len = entry->h_length > 0 ? static_cast<std::size_t>(entry->h_length) : 0;
    if (len > sizeof address->sin_addr) len = sizeof address->sin_addr;
    std::memcpy(&address->sin_addr, entry->h_addr_list[0], len);
    return 0;
}

extern "C" void F_ApiErr(const char *message) {
    std::fprintf(stderr, "Frame API client \"%s\": %s.\n", myname,
                 message != nullptr ? message : "");
}

namespace {

// Turns on the keepalive of a TCP socket (see the constants above).  Set
// on the callback service's listening socket, it is inherited by every
// connection accepted from Frame.
void keep_alive(int fd) {
    if (fd < 0) return;
    int on = 1, idle = kKeepIdleSeconds, interval = kKeepIntervalSeconds, count = kKeepCount;
    unsigned user_timeout = kUserTimeoutMs;
    (void)setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    (void)setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    (void)setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    (void)setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    (void)setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout, sizeof user_timeout);
}

// False once the connection to Frame is known to have failed: a pending
// socket error (the keepalive gave up, the peer reset it) or the end of
// the stream (Frame closed it).  Data waiting to be read, or none, leave it
// intact; so does having no connection at all.
bool frame_connection_intact() {
    if (client_socket < 0) return true;
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(client_socket, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return true;
    if (error != 0) return false;
    char byte;
    ssize_t n = recv(client_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) return true;
    if (n == 0) return false;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

// True when one of the service connections in `pending` has failed because
// its peer stopped answering (the keepalive gave up): Frame's host is off
// the network.  A connection that Frame closed or reset does not count.
bool service_connection_timed_out(UIntT pending) {
    for (int fd = 0; fd < kMaskBits; ++fd) {
        if ((pending & (UIntT{1} << fd)) == 0) continue;
        int error = 0;
        socklen_t len = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == ETIMEDOUT)
            return true;
    }
    return false;
}

}  // namespace

extern "C" IntT F_ApiFrameAlive(void) {
    // A Frame on another host: its process cannot be tested, its connection can.
    if (hispid == kRemoteFramePid) return frame_connection_intact() ? 1 : 0;
    if (hispid <= 0) return 1;
    // Frame runs as this user: a pid that cannot be signalled (gone, or
    // reused by a process of another user) is no longer Frame.
    return kill(hispid, 0) == 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Descriptor reporting.

extern "C" void call_fd_func(void) {
    if (fd_func == nullptr) return;
    UIntT now = service_word();
    if (now == fd_snapshot) return;
    UIntT gone = fd_snapshot & ~now;
    UIntT added = now & ~fd_snapshot;
    fd_snapshot = now;
    for (int fd = 0; fd < kMaskBits; ++fd)
        if (gone & (UIntT{1} << fd)) fd_func(fd, 0);
    for (int fd = 0; fd < kMaskBits; ++fd)
        if (added & (UIntT{1} << fd)) fd_func(fd, 1);
}

extern "C" F_ApiFdFuncT F_ApiSetFdFunc(F_ApiFdFuncT fdFunc) {
    F_ApiFdFuncT previous = fd_func;
    fd_func = fdFunc;
    call_fd_func();
    return previous;
}

// ---------------------------------------------------------------------------
// Connection.

extern "C" void un_portmap(void) {
    if (myprog != 0) {
        pmap_unset(static_cast<u_long>(myprog), static_cast<u_long>(myvers));
        myprog = 0;
    }
}

namespace {

// Frame may close either connection at any moment (it quits, crashes, or
// drops a client).  Writing to it then must fail the call - the stub
// returns null, a reply is not sent - instead of ending the process with
// SIGPIPE, so a broken pipe is ignored unless the application has chosen
// its own handling of the signal.
void ignore_broken_pipes() {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) != 0) return;
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL)
        signal(SIGPIPE, SIG_IGN);
}

}  // namespace

extern "C" const char *hookup(int prog, int vers, int fprog, int fvers, int fpid,
                              const char *host) {
    ignore_broken_pipes();
    myprog = prog;
    myvers = vers;
    hisprog = fprog;
    hisvers = fvers;
    hispid = fpid;
    if (!is_this_host(host)) hispid = kRemoteFramePid;

    pmap_unset(static_cast<u_long>(myprog), static_cast<u_long>(myvers));

    // The service's socket and the guard's timer are made below 32, where
    // the loop's masks see them, whatever the process inherited.
    if (const char *message = fdk::runtime::guard_prepare()) return message;
    int service_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (service_socket < 0) return "unable to create TCP service";
    service_socket = fdk::runtime::keep_low(service_socket);
    if (service_socket < 0) return kNoLowDescriptor;
    client_transp = svctcp_create(service_socket, 0, 0);
    if (client_transp == nullptr) {
        close(service_socket);
        return "unable to create TCP service";
    }
    keep_alive(client_transp->xp_fd);

    // Register the callback program with the port mapper for TCP.  The
    // transport already knows its own bound address (libtirpc fills it in
    // from the socket), so the port needs no copying; the IPv4 TCP entry of
    // the network configuration is taken with getnetconfigent("tcp"), the
    // public form of the lookup.
    struct netconfig *entry = getnetconfigent("tcp");
    bool registered =
        entry != nullptr && svc_reg(client_transp, static_cast<rpcprog_t>(myprog),
                                    static_cast<rpcvers_t>(myvers), fm_api_prog_1, entry);
    if (entry != nullptr) freenetconfigent(entry);
    if (!registered) return "unable to register TCP client).";

    struct sockaddr_in address;
    if (hostnameToAddr(host, &address) != 0) return "unable to gethostbyname";
    fdk::runtime::guard_frame_host(host, is_this_host(host), address);

    client_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (client_socket < 0) return "unable to create TCP client";
    client_socket = fdk::runtime::keep_low(client_socket);
    if (client_socket < 0) return kNoLowDescriptor;
    frame_client = clnttcp_create(&address, static_cast<u_long>(hisprog),
                                  static_cast<u_long>(hisvers), &client_socket, 0, 0);
    if (frame_client == nullptr) {
        close(client_socket);
        client_socket = -1;
        return "unable to create TCP client";
    }
    // F_ApiShutDown closes client_socket itself, so the handle must not
    // close it a second time when it is destroyed.
    clnt_control(frame_client, CLSET_FD_NCLOSE, nullptr);
    keep_alive(client_socket);

    // The connection's own time-out overrides the stubs' per-call 25 s.
    struct timeval timeout = get_FA_TimeOut();
    clnt_control(frame_client, CLSET_TIMEOUT, reinterpret_cast<char *>(&timeout));

    IntT pid = static_cast<IntT>(getpid());
    if (api_fm_init_ack_5_1(&pid, frame_client) == nullptr)
        return "unable to make initial contact";
    return nullptr;
}

namespace {

// One decimal int at `p` (a sign, then digits, nothing else) within the
// range of int; `p` is left after it.
bool read_number(const char *&p, int *out) {
    const char *start = p;
    if (*p == '-' || *p == '+') ++p;
    if (*p < '0' || *p > '9') return false;
    errno = 0;
    char *end = nullptr;
    long value = std::strtol(start, &end, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
    *out = static_cast<int>(value);
    p = end;
    return true;
}

bool read_char(const char *&p, char c) {
    if (*p != c) return false;
    ++p;
    return true;
}

bool read_blanks(const char *&p) {
    if (!std::isspace(static_cast<unsigned char>(*p))) return false;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    return true;
}

// FMAPIX, "prog.vers fprog.fvers pid.no.name", read strictly: every number
// whole and within int, each followed by exactly its separator.  The name is
// one word (up to the first white space), at least one byte, cut to what
// `name` holds (255 bytes and the zero).  Nothing is stored unless the whole
// value is good.
bool read_fmapix(const char *p, int numbers[6], char (&name)[256]) {
    const char separators[6] = {'.', ' ', '.', ' ', '.', '.'};
    for (int i = 0; i < 6; ++i) {
        if (!read_number(p, &numbers[i])) return false;
        if (separators[i] == ' ' ? !read_blanks(p) : !read_char(p, separators[i])) return false;
    }
    std::size_t n = 0;
    while (p[n] != '\0' && !std::isspace(static_cast<unsigned char>(p[n]))) ++n;
    if (n == 0) return false;
    if (n > sizeof name - 1) n = sizeof name - 1;
    std::memcpy(name, p, n);
    name[n] = '\0';
    return true;
}

}  // namespace

extern "C" const char *F_ApiStartUp(F_ApiFdFuncT fdFunc) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    struct rlimit limit;
    limit.rlim_cur = kDescriptorLimit;
    limit.rlim_max = kDescriptorLimit;
    (void)setrlimit(RLIMIT_NOFILE, &limit);

    F_ApiSetFdFunc(fdFunc);

    const char *fmapix = std::getenv("FMAPIX");
    if (fmapix == nullptr) return "not called by a Frame product";
    int numbers[6] = {0};
    if (!read_fmapix(fmapix, numbers, myname)) return "not called by a Frame product";
    const int prog = numbers[0], vers = numbers[1], fprog = numbers[2], fvers = numbers[3],
              fpid = numbers[4], clientno = numbers[5];
    FA_clientno = clientno;

    if (FA_clientno >= 0) {
        pid_t child = fork();
        if (child < 0) return "unable to fork";
        if (child > 0) _exit(0);
    } else {
        FA_clientno = -1 - FA_clientno;
    }

    const char *message = hookup(prog, vers, fprog, fvers, fpid, nullptr);
    if (message != nullptr) {
        // Nothing may call a client that is not there.
        un_portmap();
        return message;
    }
    call_fd_func();
    return nullptr;
}

extern "C" void F_ApiShutDown(void) {
    un_portmap();
    fdk::runtime::guard_stop();
    if (client_transp != nullptr) {
        svc_destroy(client_transp);
        client_transp = nullptr;
    }
    if (client_socket >= 0) {
        close(client_socket);
        client_socket = -1;
    }
    if (frame_client != nullptr) {
        clnt_destroy(frame_client);
        frame_client = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Joining a running session.

// One UDP call (version 1) to `program` on `host`: `retry` between
// retransmissions, `total` for the whole call.  True on success.
static bool udp_call(const char *host, int program, int procedure, xdrproc_t encodeArgs,
                     void *args, xdrproc_t decodeResult, void *result, struct timeval retry,
                     struct timeval total) {
    struct hostent *entry = gethostbyname(host);
    if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr)
        return false;
    struct sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = 0;
    std::size_t len = entry->h_length > 0 ? static_cast<std::size_t>(entry->h_length) : 0;
    if (len > sizeof address.sin_addr) len = sizeof address.sin_addr;
    std::memcpy(&address.sin_addr, entry->h_addr_list[0], len);

    int sock = RPC_ANYSOCK;
    CLIENT *udp = clntudp_create(&address, static_cast<u_long>(program), kSessionVersion, retry,
                                 &sock);
    if (udp == nullptr) return false;
    // The socket is closed here, not by the handle.
    clnt_control(udp, CLSET_FD_NCLOSE, nullptr);
    enum clnt_stat status = clnt_call(udp, static_cast<rpcproc_t>(procedure), encodeArgs,
                                      static_cast<char *>(args), decodeResult,
                                      static_cast<char *>(result), total);
    if (sock >= 0) close(sock);
    clnt_destroy(udp);
    return status == RPC_SUCCESS;
}

extern "C" int apiLocalCall(const char *host, int program, int procedure,
                            xdrproc_t encodeArgs, void *args, xdrproc_t decodeResult,
                            void *result, struct timeval timeout) {
    return udp_call(host, program, procedure, encodeArgs, args, decodeResult, result, timeout,
                    timeout)
               ? 1
               : 0;
}

// The null-procedure probe of a session, with the time-outs of the classic
// one-shot UDP call (5 s between tries, 25 s in all).  Made here rather than
// with callrpc, whose cached client handle is never released.
static bool probe_session(const char *host, int program) {
    return udp_call(host, program, NULLPROC, fdk::xdr::proc_of<void>(), nullptr,
                    fdk::xdr::proc_of<void>(), nullptr, {kProbeRetrySeconds, 0},
                    {kProbeTotalSeconds, 0});
}

extern "C" IntT F_ApiConnectToSession(const char *session, const char *host, IntT program) {
    struct timeval timeout = get_FA_TimeOut();
    FA_bailout = 0;
    if (host == nullptr || host[0] == '\0') host = thishost();

    IntT result = 0;
    if (!probe_session(host, program)) {
        result = -20;
    } else {
        FmRpcApiConnectArgT args;
        args.pid = static_cast<IntT>(getpid());
        args.hostName = const_cast<char *>(thishost());
        args.session = const_cast<char *>(session);
        FmRpcApiConnectReturnT reply;
        std::memset(&reply, 0, sizeof reply);
        xdrproc_t send = fdk::xdr::proc_of<FmRpcApiConnectArgT>();
        xdrproc_t receive = fdk::xdr::proc_of<FmRpcApiConnectReturnT>();
        // A null session cannot travel (plain XDR string): the call fails.
        if (session == nullptr ||
            !apiLocalCall(host, program, kConnectProcedure, send, &args, receive, &reply,
                          timeout)) {
            result = -7;
        } else {
            result = reply.status;
        }
        if (result == 0) {
            if (hookup(reply.clientProg, reply.clientVers, reply.frameProg, reply.frameVers,
                       reply.framePid, reply.frameHost) != nullptr)
                result = -22;
            else
                call_fd_func();
        }
        xdr_free(receive, reinterpret_cast<char *>(&reply));
    }
    FA_errno = result;
    return result;
}

// ---------------------------------------------------------------------------
// The service loop and the turn-over requests.

// Frame is gone, as after a failed liveness test: the callback program is
// unregistered, the application hears of it, the process ends.
[[noreturn]] static void end_for_vanished_frame() {
    un_portmap();
    F_ApiEmergency();
    std::exit(1);
}

extern "C" IntT F_ApiService(UIntT *mask) {
    int ready = 0;
    for (;;) {
        UIntT service = service_word();
        FA_SelectMask = service | (mask != nullptr ? *mask : 0);
        fd_set readable;
        fdset_from_mask(FA_SelectMask, &readable);
        struct timeval wait = {kServiceWaitSeconds, 0};
        ready = select(kMaskBits, &readable, nullptr, nullptr, &wait);
        if (ready > 0) {
            FA_SelectMask = mask_from_fdset(readable);
            break;
        }
        if (!F_ApiFrameAlive()) {
            un_portmap();
            F_ApiEmergency();
            std::exit(1);
        }
        if (ready < 0) {
            FA_SelectMask = 0;
            break;
        }
    }
    UIntT service = service_word();
    UIntT pending = FA_SelectMask & service;
    // A callback connection from a remote Frame whose keepalive gave up:
    // Frame's host is gone, whatever the next quiet wait would find.
    if (hispid == kRemoteFramePid && service_connection_timed_out(pending))
        end_for_vanished_frame();
    if (pending != 0) {
        // Through the guard, which hands the ready descriptors to
        // svc_getreqset (not svc_getreq(int), which widens a mask with bit 31
        // set into descriptors 31 to 63) and checks new connections.
        fdk::runtime::serve_ready(pending);
        FA_SelectMask &= ~service;
    }
    if (mask != nullptr) *mask = FA_SelectMask;
    call_fd_func();
    return ready;
}

extern "C" IntT F_ApiRun(void) {
    const char *message = F_ApiStartUp(nullptr);
    if (message != nullptr) {
        F_ApiErr(message);
        F_ApiShutDown();
        return 1;
    }
    while (FA_bailout == 0) F_ApiService(nullptr);
    F_ApiShutDown();
    return 0;
}

namespace fdk::runtime {

void send_over() {
    if (frame_client != nullptr) (void)api_fm_over_1(&FA_bailout, frame_client);
}

}  // namespace fdk::runtime

extern "C" IntT F_ApiTakeControl(void) {
    if (turn_over_needed) return -1;
    IntT none = 0;
    if (frame_client != nullptr) (void)api_fm_take_control_1(&none, frame_client);
    turn_over_needed = 1;
    return 0;
}

extern "C" IntT F_ApiDoneCommand(void) {
    if (!turn_over_needed) return -1;
    fdk::runtime::send_over();
    turn_over_needed = 0;
    return 0;
}

extern "C" IntT F_ApiServiceModalCallbacks(void) {
    int saved_turn_over = turn_over_needed;
    int saved_retval = modalRetval;
    turn_over_needed = 0;
    modalRetval = 0;
    int level = callbacksDone;
    ++callbacksDone;
    while (callbacksDone > level) F_ApiService(nullptr);
    int result = modalRetval;
    modalRetval = saved_retval;
    turn_over_needed = saved_turn_over;
    return result;
}
