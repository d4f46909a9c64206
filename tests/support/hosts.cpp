// hosts.cpp - two test hosts made with Linux namespaces (see hosts.hpp).
#include "hosts.hpp"

#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#ifndef FDK_ONHOST_PATH
#define FDK_ONHOST_PATH ""
#endif

namespace fdk::test {

namespace {

constexpr int kNamespaces = CLONE_NEWPID | CLONE_NEWNET | CLONE_NEWUTS | CLONE_NEWNS;

// A program in PATH or in the system directories where `ip` and `rpcbind`
// live; empty when there is none.
std::string find_tool(const std::string &name) {
    std::string dirs = "/usr/sbin:/sbin:/usr/bin:/bin";
    if (const char *path = std::getenv("PATH")) dirs = std::string(path) + ":" + dirs;
    std::istringstream in(dirs);
    for (std::string dir; std::getline(in, dir, ':');) {
        std::string candidate = dir + "/" + name;
        if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// What a holder does: set up its namespaces (made by clone), report, and
// then stay as the first process of its PID namespace, reaping orphans,
// until the test ends (the lifeline closes) or kills it.
[[noreturn]] void hold(const std::string &name, const std::string &hosts,
                       const std::string &resolv, int ready, int lifeline, int lifeline_keep) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(lifeline_keep);
    auto fail = [&](const char *what) {
        const int e = errno;
        dprintf(ready, "%s: %s", what, std::strerror(e));
        _exit(1);
    };
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        fail("making the mounts private");
    if (mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755,size=4m") != 0)
        fail("mounting a tmpfs on /run");
    if (mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0)
        fail("binding /etc/hosts");
    if (mount(resolv.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
        fail("binding /etc/resolv.conf");
    if (sethostname(name.c_str(), name.size()) != 0) fail("setting the host name");
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct ifreq ifr {};
    std::strncpy(ifr.ifr_name, "lo", sizeof ifr.ifr_name - 1);
    if (sock < 0 || ioctl(sock, SIOCGIFFLAGS, &ifr) != 0) fail("reading the loopback's flags");
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    if (ioctl(sock, SIOCSIFFLAGS, &ifr) != 0) fail("bringing the loopback up");
    close(sock);
    if (write(ready, "ok", 2) != 2) _exit(1);
    close(ready);
    for (;;) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        struct pollfd p {lifeline, POLLIN, 0};
        if (poll(&p, 1, 1000) > 0) _exit(0);  // the test is gone
    }
}

std::string tool(const char *name) {
    std::string path = find_tool(name);
    if (path.empty()) throw std::runtime_error(std::string("no ") + name + " program");
    return path;
}

}  // namespace

std::string Hosts::unavailable() {
    static const std::string why = [] {
        if (geteuid() != 0)
            return std::string("making test hosts needs root (namespaces, links, mounts)");
        if (std::string(FDK_ONHOST_PATH).empty()) return std::string("fdk_onhost was not built");
        for (const char *t : {"ip", "rpcbind", "rpcinfo"})
            if (find_tool(t).empty()) return std::string("no ") + t + " program on this machine";
        const char *tmp = std::getenv("TMPDIR");
        if (tmp && std::strncmp(tmp, "/run", 4) == 0)
            return std::string("TMPDIR is under /run, which each test host replaces");
        pid_t pid = fork();
        if (pid == 0) _exit(unshare(kNamespaces) == 0 ? 0 : errno);
        int st = 0;
        if (pid < 0 || waitpid(pid, &st, 0) != pid) return std::string("cannot fork");
        if (!WIFEXITED(st) || WEXITSTATUS(st) != 0)
            return std::string("cannot make namespaces here: ") +
                   std::strerror(WIFEXITED(st) ? WEXITSTATUS(st) : EPERM);
        return std::string();
    }();
    return why;
}

Hosts::Hosts() : dir_("hosts") {
    a_.name = "cadhost";
    b_.name = "framehost";
    // A /30 of 10.100.0.0 - 10.199.255.255 from the pid: the addresses
    // never leave the two namespaces, and tests running side by side
    // still get different ones.
    const unsigned p = static_cast<unsigned>(getpid());
    const std::string net = "10." + std::to_string(100 + (p >> 14) % 100) + "." +
                            std::to_string((p >> 6) & 0xFF) + ".";
    a_.address = net + std::to_string((p & 0x3F) * 4 + 1);
    b_.address = net + std::to_string((p & 0x3F) * 4 + 2);
    dir_.write("hosts", "127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n" +
                            a_.address + "\t" + a_.name + "\n" + b_.address + "\t" + b_.name +
                            "\n");
    dir_.write("resolv.conf", "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n");

    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    lifeline_ = pipe_fds[1];
    int lifeline_read = pipe_fds[0];
    try {
        for (Host *h : {&a_, &b_}) {
            int ready[2];
            if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
            const std::string hosts = dir_.file("hosts"), resolv = dir_.file("resolv.conf");
            // clone with no new stack: the child goes on from here like a
            // forked one, as the first process of the new namespaces.
            long pid = syscall(SYS_clone, kNamespaces | SIGCHLD, nullptr, nullptr, nullptr, nullptr);
            if (pid == 0) {
                close(ready[0]);
                hold(h->name, hosts, resolv, ready[1], lifeline_read, lifeline_);
            }
            close(ready[1]);
            if (pid < 0) {
                close(ready[0]);
                throw std::runtime_error(std::string("clone: ") + std::strerror(errno));
            }
            h->holder = static_cast<pid_t>(pid);
            std::string answer;
            struct pollfd p {ready[0], POLLIN, 0};
            char buf[256];
            ssize_t n;
            while (poll(&p, 1, 10000) > 0 && (n = read(ready[0], buf, sizeof buf)) > 0)
                answer.append(buf, static_cast<size_t>(n));
            close(ready[0]);
            if (answer != "ok") throw std::runtime_error("host " + h->name + ": " + answer);
        }
        close(lifeline_read);
        lifeline_read = -1;

        const std::string ip = tool("ip");
        auto must = [&](const Host &h, const std::vector<std::string> &argv) {
            std::string out;
            if (run(h, argv, &out) != 0)
                throw std::runtime_error("on " + h.name + ": " + argv[1] + " " + argv[2] +
                                         " failed: " + out);
        };
        must(a_, {ip, "link", "add", "veth0", "type", "veth", "peer", "name", "veth0", "netns",
                  "/proc/" + std::to_string(b_.holder) + "/ns/net"});
        for (Host *h : {&a_, &b_}) {
            must(*h, {ip, "address", "add", h->address + "/30", "dev", "veth0"});
            must(*h, {ip, "link", "set", "veth0", "up"});
        }
        start_rpcbind(a_);
        start_rpcbind(b_);
    } catch (...) {
        if (lifeline_read >= 0) close(lifeline_read);
        kill_holder(a_);
        kill_holder(b_);
        close(lifeline_);
        throw;
    }
}

Hosts::~Hosts() {
    kill_holder(a_);
    kill_holder(b_);
    close(lifeline_);
}

void Hosts::kill_holder(Host &host) {
    if (host.holder > 0) {
        kill(host.holder, SIGKILL);
        while (waitpid(host.holder, nullptr, 0) < 0 && errno == EINTR) {
        }
        host.holder = -1;
    }
    // Its PID namespace is gone, and with it the port mapper.
    host.rpcbind.wait(Millis(10000));
}

std::vector<std::string> Hosts::launcher(const Host &host) const {
    return {FDK_ONHOST_PATH, std::to_string(host.holder), "--"};
}

Process::Options Hosts::on(const Host &host, Process::Options options) const {
    std::vector<std::string> argv = launcher(host);
    argv.insert(argv.end(), options.argv.begin(), options.argv.end());
    options.argv = std::move(argv);
    return options;
}

int Hosts::run(const Host &host, const std::vector<std::string> &argv, std::string *out) const {
    Process::Options o;
    o.argv = argv;
    o.stdout_path = dir_.file("run.out");
    o.stderr_path = dir_.file("run.err");
    Process p(on(host, o));
    ExitStatus st = p.wait(Millis(30000));
    if (out) *out = read_file(o.stdout_path) + read_file(o.stderr_path);
    if (st.timed_out) p.stop();
    return st.exited ? st.code : -1;
}

void Hosts::link(const Host &host, bool up) const {
    std::string out;
    if (run(host, {tool("ip"), "link", "set", "veth0", up ? "up" : "down"}, &out) != 0)
        throw std::runtime_error("on " + host.name + ": ip link set failed: " + out);
}

void Hosts::start_rpcbind(Host &host) {
    Process::Options o;
    o.argv = {tool("rpcbind"), "-f"};
    o.stderr_path = dir_.file(host.name + "-rpcbind.err");
    host.rpcbind.start(on(host, o));
    const std::string sock = "/proc/" + std::to_string(host.holder) + "/root/run/rpcbind.sock";
    if (!wait_until([&] { return socket_answers(sock); }, 10000, 10))
        throw std::runtime_error("the port mapper of " + host.name + " did not start: " +
                                 read_file(o.stderr_path));
}

bool Hosts::registered(const Host &host, uint32_t prog) const {
    std::string out;
    if (run(host, {tool("rpcinfo")}, &out) != 0 || out.find("portmapper") == std::string::npos)
        throw std::runtime_error("the port mapper of " + host.name + " did not answer: " + out);
    std::istringstream words(out);
    for (std::string w; words >> w;)
        if (w == std::to_string(prog)) return true;
    return false;
}

}  // namespace fdk::test
