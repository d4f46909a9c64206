// runtime_fakes.hpp - in-process stand-ins for the two ends of the runtime's
// RPC traffic, for the unit tests of apislib and server:
//
// - every entry point of the application records "init 5", "message hello 3
//   4", ... in one event log, and may run a test's action while it holds
//   control;
// - FakeFrame is a CLIENT whose call operation records "over 0", "take",
//   "initack PID" instead of sending them;
// - FakeCallback is an SVCXPRT that hands the dispatcher encoded arguments
//   and records each reply ("reply ok", "reply noproc", ...).
//
// All three write into the same log, so tests can check the order of
// replies, entry points and over calls.
#ifndef FDK_TESTS_RUNTIME_FAKES_HPP
#define FDK_TESTS_RUNTIME_FAKES_HPP

#include <rpc/rpc.h>

#include <functional>
#include <string>
#include <vector>

#include "apislib.h"

namespace rtfake {

// The shared event log.
extern std::vector<std::string> events;
// Run inside the next entry points (with the entry point's event text).
extern std::function<void(const std::string &)> during_entry;
void reset();
// Number of events equal to `what`.
int count(const std::string &what);

class FakeFrame {
public:
    FakeFrame();
    ~FakeFrame();
    FakeFrame(const FakeFrame &) = delete;
    FakeFrame &operator=(const FakeFrame &) = delete;
    CLIENT *handle() { return &client_; }
    // The next calls fail with RPC_TIMEDOUT.
    bool failing = false;

private:
    CLIENT client_{};
};

class FakeCallback {
public:
    FakeCallback();
    FakeCallback(const FakeCallback &) = delete;
    FakeCallback &operator=(const FakeCallback &) = delete;

    // Dispatches procedure `proc` with `bytes` as its encoded arguments.
    void call(rpcproc_t proc, const std::vector<char> &bytes = {});
    // Encodes a record with its filter, for call().
    template <class T>
    static std::vector<char> encode(bool_t (*filter)(XDR *, T *), T value) {
        std::vector<char> buf(4096);
        XDR x;
        xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
        filter(&x, &value);
        buf.resize(xdr_getpos(&x));
        xdr_destroy(&x);
        return buf;
    }
    // The next reply fails to send.
    bool reply_fails = false;

    SVCXPRT xprt{};
    std::vector<char> args;
};

}  // namespace rtfake

#endif
