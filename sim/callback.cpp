// callback.cpp - calls to the client's callback program, replies read
// asynchronously.
#include "callback.hpp"

#include "record_json.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <rpc/pmap_clnt.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace fdk::sim {

namespace {

constexpr uint32_t kLastFragment = 0x80000000u;
// Replies of the callback program are empty; anything this large is not one.
constexpr std::size_t kMaxRecord = 1 << 20;

// The address of `host` (port 0): loopback for this host, as the client
// library does for Frame's; false when the name cannot be resolved.
bool host_address(const std::string &host, struct sockaddr_in &addr) {
    addr = {};
    addr.sin_family = AF_INET;
    char self[256] = "";
    gethostname(self, sizeof self - 1);
    self[sizeof self - 1] = '\0';
    if (host.empty() || host == "localhost" || host == self) {
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return true;
    }
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) == 1) return true;
    struct addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    addr.sin_addr = reinterpret_cast<struct sockaddr_in *>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

bool write_all(int fd, const char *p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

bool CallbackChannel::connect(std::string &error) {
    close();
    struct sockaddr_in addr {};
    if (!host_address(host_, addr)) {
        error = "unknown host " + host_;
        return false;
    }
    u_short port = pmap_getport(&addr, prog_, vers_, IPPROTO_TCP);
    if (port == 0) {
        error = "callback program " + std::to_string(prog_) + "." + std::to_string(vers_) +
                " is not registered" + (host_.empty() ? "" : " on " + host_);
        return false;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    addr.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof addr) != 0) {
        error = std::string("connect: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = fd;
    port_ = port;
    if (next_xid_ == 0) next_xid_ = static_cast<uint32_t>(time(nullptr)) ^ static_cast<uint32_t>(getpid() << 8);
    return true;
}

void CallbackChannel::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    port_ = 0;
    in_.clear();
    record_.clear();
}

bool CallbackChannel::send(uint32_t proc, xdrproc_t encode, void *args, uint32_t &xid,
                           std::string &error) {
    if (fd_ < 0) {
        error = "not connected";
        return false;
    }
    xid = ++next_xid_;
    struct rpc_msg msg {};
    msg.rm_xid = xid;
    msg.rm_direction = CALL;
    msg.rm_call.cb_rpcvers = RPC_MSG_VERSION;
    msg.rm_call.cb_prog = prog_;
    msg.rm_call.cb_vers = vers_;
    msg.rm_call.cb_proc = proc;
    msg.rm_call.cb_cred = _null_auth;
    msg.rm_call.cb_verf = _null_auth;
    unsigned long body = xdr_sizeof(encode, args);
    std::vector<char> buf(4 + 64 + body);
    XDR x;
    xdrmem_create(&x, buf.data() + 4, static_cast<u_int>(buf.size() - 4), XDR_ENCODE);
    bool ok = xdr_callmsg(&x, &msg) && encode(&x, args);
    u_int len = xdr_getpos(&x);
    xdr_destroy(&x);
    if (!ok) {
        error = "arguments cannot be encoded";
        return false;
    }
    uint32_t mark = htonl(kLastFragment | len);
    std::memcpy(buf.data(), &mark, 4);
    if (!write_all(fd_, buf.data(), 4 + len)) {
        error = std::string("send: ") + std::strerror(errno);
        close();
        return false;
    }
    return true;
}

std::vector<CallbackReply> CallbackChannel::read_replies(bool &closed) {
    std::vector<CallbackReply> out;
    closed = false;
    if (fd_ < 0) return out;
    char buf[8192];
    ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        closed = true;
        close();
        return out;
    }
    if (n > 0) in_.append(buf, static_cast<std::size_t>(n));
    for (;;) {
        if (in_.size() < 4) break;
        uint32_t mark;
        std::memcpy(&mark, in_.data(), 4);
        mark = ntohl(mark);
        std::size_t len = mark & ~kLastFragment;
        if (record_.size() + len > kMaxRecord) {
            closed = true;
            close();
            return out;
        }
        if (in_.size() < 4 + len) break;
        record_.append(in_, 4, len);
        in_.erase(0, 4 + len);
        if (!(mark & kLastFragment)) continue;

        CallbackReply r;
        struct rpc_msg msg {};
        char verf[MAX_AUTH_BYTES];
        msg.acpted_rply.ar_verf.oa_base = verf;
        msg.acpted_rply.ar_results.where = nullptr;
        msg.acpted_rply.ar_results.proc = wire_proc<void>();
        XDR x;
        xdrmem_create(&x, record_.data(), static_cast<u_int>(record_.size()), XDR_DECODE);
        bool ok = xdr_replymsg(&x, &msg);
        xdr_destroy(&x);
        record_.clear();
        r.xid = msg.rm_xid;
        if (!ok || msg.rm_direction != REPLY) {
            r.outcome = "error: undecodable reply";
        } else if (msg.rm_reply.rp_stat != MSG_ACCEPTED) {
            r.outcome = "denied";
        } else {
            switch (msg.acpted_rply.ar_stat) {
            case SUCCESS: r.outcome = "replied"; break;
            case PROC_UNAVAIL: r.outcome = "noproc"; break;
            case PROG_UNAVAIL: r.outcome = "error: program unavailable"; break;
            case PROG_MISMATCH: r.outcome = "error: version mismatch"; break;
            case GARBAGE_ARGS: r.outcome = "error: arguments refused"; break;
            default: r.outcome = "error: system error"; break;
            }
        }
        out.push_back(r);
    }
    return out;
}

}  // namespace fdk::sim
