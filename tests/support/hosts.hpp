// hosts.hpp - two hosts on one machine for tests of a client and a Frame
// session on different hosts.  Each host is a holder process, the first of
// its own PID, network, UTS and mount namespaces: loopback up, one veth pair
// joining the two hosts (addresses of a /30 in 10.100-199.x.x from the test's
// pid, no other route), its own host name, a tmpfs on /run, its own
// /etc/hosts and /etc/resolv.conf, and its own port mapper (rpcbind -f).
// fdk_onhost runs a program inside a holder's namespaces; files under /tmp
// stay shared.  Killing the holders (destructor, or the test's death) ends
// every process of the hosts, and the namespaces go with their link,
// addresses, registrations and mounts.
// Needs root, `ip`, `rpcbind` and `rpcinfo`; unavailable() says what is missing.
#ifndef FDK_TESTS_SUPPORT_HOSTS_HPP
#define FDK_TESTS_SUPPORT_HOSTS_HPP

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testsupport.hpp"

namespace fdk::test {

struct Host {
    std::string name;     // host name, also in the hosts file
    std::string address;  // dotted address on the veth link
    pid_t holder = -1;    // the first process of its namespaces
    Process rpcbind;      // its port mapper
};

class Hosts {
public:
    // Empty when the hosts can be made here, else why not.
    static std::string unavailable();

    // Makes both hosts and their port mappers; throws std::runtime_error.
    Hosts();
    ~Hosts();
    Hosts(const Hosts &) = delete;
    Hosts &operator=(const Hosts &) = delete;

    Host &a() { return a_; }  // the client's host, "cadhost"
    Host &b() { return b_; }  // Frame's host, "framehost"

    // The words to put before a program's argv to run it on `host`.
    std::vector<std::string> launcher(const Host &host) const;
    // `options` with its argv run on `host`.
    Process::Options on(const Host &host, Process::Options options) const;
    // Runs a command on `host` to its end (at most 30 s); its exit status,
    // -1 when it did not end normally.  Standard output in `out` if given.
    int run(const Host &host, const std::vector<std::string> &argv,
            std::string *out = nullptr) const;

    // Takes `host`'s end of the link down or brings it up again.
    void link(const Host &host, bool up) const;

    // Whether `host`'s port mapper holds a registration of `prog` (rpcinfo
    // run there); throws when it cannot be asked.
    bool registered(const Host &host, uint32_t prog) const;

private:
    void make_holder(Host &host);
    void start_rpcbind(Host &host);
    void kill_holder(Host &host);

    TempDir dir_;
    Host a_, b_;
    int lifeline_ = -1;  // write end; the holders see its end when we die
};

}  // namespace fdk::test

#endif  // FDK_TESTS_SUPPORT_HOSTS_HPP
