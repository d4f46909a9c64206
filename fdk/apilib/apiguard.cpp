// apiguard.cpp - who may talk to the callback service, and for how long.
//
// The callback program listens on every interface, and a call of it can end
// the client (quit) or make it run commands.  Only Frame may call back: a
// connection is kept only when it comes from Frame's host - from this host,
// and from a process of this user, when Frame runs here; from one of
// Frame's addresses when it runs elsewhere.  The owner of a connection made
// on this host is asked of the kernel (socket diagnostics, by the
// connection's addresses and ports).  The check runs right after the RPC
// runtime accepts a connection, before anything is read from it; a refused
// connection is closed and reported once per peer.
//
// No peer may stall the client either.  A maximum record size makes
// libtirpc read connections without blocking and close one whose record is
// larger; a connection must complete every call it begins within a bounded
// time or it is closed (a timer descriptor, reported with the service's
// descriptors, wakes the loop when that time runs out); and at most a few
// connections are open at once.  A connection that has sent nothing may
// stay (Frame connects before its first callback), but when the limit is
// reached the oldest of those that never brought a call makes room; one
// that did is never pushed out, so Frame keeps its connection.
//
// Every descriptor the runtime owns is kept below 32, where the 32-bit
// masks of the loop can see it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "apislib.h"

#include <rpc/rpc_com.h>  // rpc_control, after rpc/rpc.h

namespace fdk::runtime {

namespace {

// Largest callback record.  A callback carries a few words and at most one
// string - a file name (at most PATH_MAX, 4096 bytes) or a hypertext
// command - so 16 KiB holds every call Frame makes, header included, and
// bounds every string a peer can make the client decode.
constexpr int kMaxCallbackRecord = 16 * 1024;
// Frame keeps one connection to the callback service; the others leave room
// for a reconnection while an old connection is being closed.
constexpr int kMaxConnections = 4;
// Frame writes each call at once: a connection that has not completed the
// call it began this long after its first bytes is broken or stalling the
// client.  Short enough that a peer trickling bytes holds the loop's
// attention only briefly.
constexpr int64_t kRecordNanos = 3'000'000'000;
// Connections accepted in one turn of the loop, at most: the listener's
// backlog, with room to spare.
constexpr int kAcceptsPerTurn = 256;
// Distinct peers whose refusal is reported; later ones are refused quietly.
constexpr std::size_t kReportedPeers = 64;

struct Conn {
    bool open = false;
    bool dispatched = false;  // a call was dispatched during the current read
    bool proven = false;      // a call was ever dispatched on it
    int64_t since = 0;        // when the unfinished call began; 0: none
    int64_t opened = 0;
    struct sockaddr_in peer {};
};

Conn conns[kLowDescriptors];
int timer_fd = -1;
bool frame_here = true;
std::vector<in_addr_t> frame_addresses;
std::vector<std::string> reported;

int64_t now_nanos() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

UIntT bit(int fd) { return fd >= 0 && fd < kLowDescriptors ? UIntT{1} << fd : 0; }

std::string address_text(const struct sockaddr_in &a) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return text;
}

// One line per peer and reason, however often the peer comes back.
void report_once(const struct sockaddr_in &peer, const std::string &what) {
    std::string line = "callback connection from " + address_text(peer) + " " + what;
    for (const std::string &seen : reported)
        if (seen == line) return;
    if (reported.size() >= kReportedPeers) return;
    reported.push_back(line);
    F_ApiErr(line.c_str());
}

// The owner (uid) of the socket of this host whose local end is `peer` and
// whose remote end is `local`, i.e. the process side of a connection made
// to us from this host; -1 when this host has no such socket.
long owner_of(const struct sockaddr_in &peer, const struct sockaddr_in &local) {
    int nl = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (nl < 0) return -1;
    struct timeval limit = {1, 0};
    setsockopt(nl, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    struct {
        struct nlmsghdr header;
        struct inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.header.nlmsg_seq = 1;
    message.request.sdiag_family = AF_INET;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    message.request.id.idiag_sport = peer.sin_port;
    message.request.id.idiag_dport = local.sin_port;
    message.request.id.idiag_src[0] = peer.sin_addr.s_addr;
    message.request.id.idiag_dst[0] = local.sin_addr.s_addr;
    message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    struct sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    long uid = -1;
    if (sendto(nl, &message, sizeof message, 0, reinterpret_cast<struct sockaddr *>(&kernel),
               sizeof kernel) == static_cast<ssize_t>(sizeof message)) {
        alignas(struct nlmsghdr) char buffer[8192];
        ssize_t n = recv(nl, buffer, sizeof buffer, 0);
        // The answer is one message: the socket's record, or an error when
        // no socket has these addresses.  (NLMSG_OK is not used: it mixes
        // signed and unsigned lengths.)
        auto *h = reinterpret_cast<struct nlmsghdr *>(buffer);
        std::size_t got = n > 0 ? static_cast<std::size_t>(n) : 0;
        if (got >= sizeof(struct nlmsghdr) && h->nlmsg_len <= got &&
            h->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
            h->nlmsg_len >= NLMSG_LENGTH(sizeof(struct inet_diag_msg))) {
            auto *d = static_cast<struct inet_diag_msg *>(NLMSG_DATA(h));
            uid = static_cast<long>(d->idiag_uid);
        }
    }
    close(nl);
    return uid;
}

// Empty when the connection on `fd` may stay, else why it may not.
std::string refusal(int fd, struct sockaddr_in *peer) {
    struct sockaddr_in local {};
    socklen_t plen = sizeof *peer, llen = sizeof local;
    if (getpeername(fd, reinterpret_cast<struct sockaddr *>(peer), &plen) != 0 ||
        getsockname(fd, reinterpret_cast<struct sockaddr *>(&local), &llen) != 0 ||
        peer->sin_family != AF_INET)
        return "refused: not an internet connection";
    if (frame_here) {
        long uid = owner_of(*peer, local);
        if (uid < 0) return "refused: not from this host";
        if (uid != static_cast<long>(geteuid()))
            return "refused: another user (" + std::to_string(uid) + ")";
    } else {
        bool known = false;
        for (in_addr_t a : frame_addresses) known = known || a == peer->sin_addr.s_addr;
        if (!known) return "refused: not from Frame's host";
    }
    if (fd >= kLowDescriptors) return "refused: no descriptor below 32";
    return {};
}

// Closes a connection through the RPC runtime, which must forget it: the
// socket is replaced by an empty stream, whose end the runtime reads as the
// peer's, so it destroys the transport; nothing more of the peer is read.
void drop(int fd) {
    int empty = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (empty >= 0 && dup2(empty, fd) >= 0) {
        close(empty);
    } else {
        if (empty >= 0) close(empty);
        shutdown(fd, SHUT_RDWR);
    }
    fd_set one;
    FD_ZERO(&one);
    FD_SET(fd, &one);
    svc_getreqset(&one);
    if (fd < kLowDescriptors) conns[fd] = Conn{};
}

// Room for one more connection: true when there is, or when the oldest
// connection that never brought a call was closed to make it.
bool make_room() {
    int open = 0, oldest = -1;
    for (int fd = 0; fd < kLowDescriptors; ++fd) {
        const Conn &c = conns[fd];
        if (!c.open) continue;
        ++open;
        if (!c.proven && (oldest < 0 || c.opened < conns[oldest].opened)) oldest = fd;
    }
    if (open < kMaxConnections) return true;
    if (oldest < 0) return false;
    report_once(conns[oldest].peer, "closed: too many callback connections");
    drop(oldest);
    return true;
}

void forget_closed() {
    for (int fd = 0; fd < kLowDescriptors; ++fd)
        if (conns[fd].open && !FD_ISSET(fd, &svc_fdset)) conns[fd] = Conn{};
}

void close_overdue(int64_t now) {
    for (int fd = 0; fd < kLowDescriptors; ++fd) {
        Conn &c = conns[fd];
        if (!c.open || c.since == 0 || now - c.since < kRecordNanos) continue;
        report_once(c.peer, "closed: no complete call in time");
        drop(fd);
    }
}

// Accepts the connections waiting on the listener and checks each before
// anything of it is read.  The RPC runtime accepts one per call: the backlog
// is emptied here (up to kAcceptsPerTurn), so that a flood of connections
// costs the loop one turn, not one per connection.
void admit(int listener) {
    for (int n = 0; n < kAcceptsPerTurn; ++n) {
        struct pollfd waiting = {listener, POLLIN, 0};
        if (n > 0 && poll(&waiting, 1, 0) <= 0) break;
        fd_set before = svc_fdset;
        fd_set one;
        FD_ZERO(&one);
        FD_SET(listener, &one);
        svc_getreqset(&one);
        int64_t now = now_nanos();
        for (int fd = 0; fd < FD_SETSIZE; ++fd) {
            if (!FD_ISSET(fd, &svc_fdset) || FD_ISSET(fd, &before)) continue;
            struct sockaddr_in peer {};
            std::string why = refusal(fd, &peer);
            if (why.empty() && !make_room()) why = "refused: too many callback connections";
            if (!why.empty()) {
                report_once(peer, why);
                drop(fd);
                continue;
            }
            conns[fd] = Conn{true, false, false, 0, now, peer};
        }
    }
}

void arm_timer() {
    if (timer_fd < 0) return;
    int64_t due = 0;
    for (const Conn &c : conns)
        if (c.open && c.since != 0 && (due == 0 || c.since + kRecordNanos < due))
            due = c.since + kRecordNanos;
    struct itimerspec t {};
    if (due != 0) {
        t.it_value.tv_sec = static_cast<time_t>(due / 1'000'000'000);
        t.it_value.tv_nsec = static_cast<long>(due % 1'000'000'000);
    }
    timerfd_settime(timer_fd, TFD_TIMER_ABSTIME, &t, nullptr);
}

}  // namespace

int keep_low(int fd) {
    if (fd < kLowDescriptors) return fd;
    int low = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    if (low >= kLowDescriptors) {
        close(low);
        return -1;
    }
    return low;
}

const char *guard_prepare() {
    guard_stop();
    int max = kMaxCallbackRecord;
    (void)rpc_control(RPC_SVC_CONNMAXREC_SET, &max);
    int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (timer < 0) return "unable to create TCP service";
    timer_fd = keep_low(timer);
    return timer_fd >= 0 ? nullptr : "no free descriptor below 32";
}

void guard_frame_host(const char *host, bool here, const struct sockaddr_in &address) {
    frame_here = here;
    frame_addresses.clear();
    if (here) return;
    frame_addresses.push_back(address.sin_addr.s_addr);
    struct addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *list = nullptr;
    if (host != nullptr && getaddrinfo(host, nullptr, &hints, &list) == 0) {
        for (struct addrinfo *a = list; a != nullptr; a = a->ai_next)
            frame_addresses.push_back(
                reinterpret_cast<struct sockaddr_in *>(a->ai_addr)->sin_addr.s_addr);
        freeaddrinfo(list);
    }
}

void guard_stop() {
    if (timer_fd >= 0) close(timer_fd);
    timer_fd = -1;
    for (Conn &c : conns) c = Conn{};
    frame_here = true;
    frame_addresses.clear();
}

UIntT guard_word() { return bit(timer_fd); }

void guard_dispatched(int fd) {
    if (fd >= 0 && fd < kLowDescriptors) conns[fd].dispatched = true;
}

void serve_ready(UIntT ready) {
    const int listener = client_transp != nullptr ? client_transp->xp_fd : -1;
    if (ready & bit(timer_fd)) {
        uint64_t expirations;
        (void)!read(timer_fd, &expirations, sizeof expirations);
    }
    const UIntT calls = ready & ~bit(timer_fd) & ~bit(listener);
    if (calls != 0) {
        for (int fd = 0; fd < kLowDescriptors; ++fd)
            if (calls & bit(fd)) conns[fd].dispatched = false;
        fd_set set;
        fdset_from_mask(calls, &set);
        svc_getreqset(&set);
        // Bytes came and no call was complete: a call has begun.
        int64_t now = now_nanos();
        for (int fd = 0; fd < kLowDescriptors; ++fd) {
            Conn &c = conns[fd];
            if (!(calls & bit(fd)) || !c.open || !FD_ISSET(fd, &svc_fdset)) continue;
            if (c.dispatched) {
                c.proven = true;
                c.since = 0;
            } else if (c.since == 0) {
                c.since = now;
            }
        }
    }
    forget_closed();
    close_overdue(now_nanos());
    if (listener >= 0 && (ready & bit(listener))) admit(listener);
    arm_timer();
}

}  // namespace fdk::runtime
