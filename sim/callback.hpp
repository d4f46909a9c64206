// callback.hpp - the connection on which framesim calls the client's
// callback program.
//
// Calls are written as ONC RPC call records on a TCP connection and their
// replies are read by the main loop when the socket is readable, instead of
// waiting inside clnt_call: while a callback is on its way the client may be
// sitting in one of its own calls to framesim (a take-control request that
// crossed the callback), and framesim must go on serving it.
#ifndef FDK_SIM_CALLBACK_HPP
#define FDK_SIM_CALLBACK_HPP

#include <rpc/rpc.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fdk::sim {

struct CallbackReply {
    uint32_t xid = 0;
    std::string outcome;  // "replied", "noproc", "denied", "error: ..."
};

class CallbackChannel {
public:
    CallbackChannel() = default;
    ~CallbackChannel() { close(); }
    CallbackChannel(const CallbackChannel &) = delete;
    CallbackChannel &operator=(const CallbackChannel &) = delete;

    // The callback program and the host it runs on: empty, "localhost" or
    // this host's own name for this host, else a dotted address or a name.
    void target(uint32_t prog, uint32_t vers, std::string host = {}) {
        close();
        prog_ = prog;
        vers_ = vers;
        host_ = std::move(host);
    }
    uint32_t prog() const { return prog_; }
    uint32_t vers() const { return vers_; }
    const std::string &host() const { return host_; }
    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    int port() const { return port_; }

    // Looks the program up with the port mapper of the target's host (on
    // loopback for this host) and connects.
    bool connect(std::string &error);
    void close();

    // Writes one call; false (and the connection closed) when it cannot.
    bool send(uint32_t proc, xdrproc_t encode, void *args, uint32_t &xid, std::string &error);

    // Reads what has arrived and returns the complete replies.  `closed` is
    // set when the client closed the connection (which is then closed here).
    std::vector<CallbackReply> read_replies(bool &closed);

private:
    uint32_t prog_ = 0, vers_ = 0;
    std::string host_;
    int fd_ = -1;
    int port_ = 0;
    uint32_t next_xid_ = 0;
    std::string in_;      // bytes received, not yet a whole record
    std::string record_;  // fragments of the record being assembled
};

}  // namespace fdk::sim

#endif
