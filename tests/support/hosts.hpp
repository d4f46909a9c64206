// hosts.hpp - two hosts on one machine, made with Linux namespaces, for
// tests of a client and a Frame session that run on different hosts.
//
// Each host is one holder process, the first process of its own PID,
// network, UTS and mount namespaces:
//   - network: its loopback is up; the two hosts are joined by one veth pair
//     (veth0 on each side) with two addresses of a /30 from 10.100.0.0 -
//     10.199.255.255 chosen from the test's pid.  There is no other route:
//     nothing leaves the two namespaces.
//   - UTS: its own host name ("cadhost" for A, "framehost" for B).
//   - mount: a private copy of the test's mounts with a tmpfs on /run, and
//     /etc/hosts (naming both hosts) and /etc/resolv.conf (loopback only)
//     bound over the machine's.
//   - its own port mapper (rpcbind -f), which every process of the host
//     reaches through /run/rpcbind.sock in the private /run.
// A program runs on a host through the launcher fdk_onhost, which enters
// the holder's namespaces, starts the program in them and passes signals on
// to it, so a Process (or a Framesim) started that way is stopped, waited
// for and reaped as usual.  Temporary files under /tmp stay shared.
//
// Everything ends with the holders: the destructor kills them, and a holder
// also dies with the test process (parent-death signal, and a pipe whose
// end closes with the test).  The kernel then kills every process of the
// host's PID namespace, and the network namespace goes with its last
// process, taking the veth pair, the addresses and the port mapper's
// registrations along; the mounts go with the mount namespace.
//
// Needs root (CAP_SYS_ADMIN, CAP_NET_ADMIN), `ip` (iproute2) and `rpcbind`;
// Hosts::unavailable() says what is missing, for GTEST_SKIP.
#ifndef FDK_TESTS_SUPPORT_HOSTS_HPP
#define FDK_TESTS_SUPPORT_HOSTS_HPP

#include <sys/types.h>

#include <cstdint>
#include <memory>
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

// One registration of a port mapper.
struct Registration {
    uint32_t prog = 0;
    uint32_t vers = 0;
    std::string netid;  // "tcp", "udp", "tcp6", "local"...
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

    // What `host`'s port mapper holds now (read through its Unix socket);
    // throws when it cannot be asked.
    std::vector<Registration> registrations(const Host &host) const;
    // The registrations of `prog` on `host`, as "vers/netid" words.
    std::vector<std::string> registered(const Host &host, uint32_t prog) const;

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
