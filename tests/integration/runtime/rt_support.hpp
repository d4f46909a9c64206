// rt_support.hpp - helpers of the runtime's integration tests: the event
// log that rt_client and rt_defaults write, the journal's control lines, and
// the port mapper's view of a program.
#ifndef FDK_TESTS_RT_SUPPORT_HPP
#define FDK_TESTS_RT_SUPPORT_HPP

#include <arpa/inet.h>
#include <netinet/in.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testsupport.hpp"

namespace rt {

using fdk::test::Json;
using fdk::test::Millis;

// The log file of one test client, in a temporary directory of its own.
class ClientLog {
public:
    ClientLog() : dir_("rtclient"), path_(dir_.file("client.log")) {}
    const std::string &path() const { return path_; }

    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(fdk::test::read_file(path_));
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    bool has(const std::string &line) const {
        auto all = lines();
        return std::find(all.begin(), all.end(), line) != all.end();
    }
    // The first line that starts with `prefix`, waiting up to `timeout`.
    std::optional<std::string> wait_prefix(const std::string &prefix,
                                           Millis timeout = Millis(15000)) const {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            for (const auto &l : lines())
                if (l.rfind(prefix, 0) == 0) return l;
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(Millis(20));
        }
    }
    bool wait_line(const std::string &line, Millis timeout = Millis(15000)) const {
        auto got = wait_prefix(line, timeout);
        return got && *got == line;
    }

private:
    fdk::test::TempDir dir_;
    std::string path_;
};

// The port the local port mapper gives for (prog, vers) over TCP; 0 = none.
inline unsigned short registered_port(uint32_t prog, uint32_t vers) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return pmap_getport(&addr, prog, vers, IPPROTO_TCP);
}

// The journal's over calls, and those that came while Frame held control.
inline std::vector<Json> overs(fdk::test::JournalReader &j) {
    std::vector<Json> out;
    for (const auto &l : j.of_kind("control"))
        if (l.value("event", "") == "over") out.push_back(l);
    return out;
}
inline int unexpected_controls(fdk::test::JournalReader &j) {
    int n = 0;
    for (const auto &l : j.of_kind("control"))
        if (l.value("unexpected", false)) ++n;
    return n;
}
// The outcome of each callback sent, in order: "2 replied", "9 noproc", ...
inline std::vector<std::string> callback_outcomes(fdk::test::JournalReader &j) {
    std::vector<std::string> out;
    for (const auto &l : j.of_kind("callback"))
        out.push_back(std::to_string(l.value("proc", -1)) + " " + l.value("outcome", "?"));
    return out;
}
// The pid of the client event `event` ("start", "contact", "exit" ...).
inline int client_pid(fdk::test::JournalReader &j, const std::string &event,
                      Millis timeout = Millis(15000)) {
    auto at = j.wait_kind("client", {{"event", event}}, timeout);
    return at ? j.lines()[*at].value("pid", -1) : -1;
}

}  // namespace rt

#endif
