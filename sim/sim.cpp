// sim.cpp - framesim's start-up, main loop, client process, turn-over state,
// command executors, and its end.
#include "sim.hpp"

#include <fcntl.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <rpc/pmap_clnt.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/select.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "record_json.hpp"

extern char **environ;

namespace fdk::sim {

void dispatch_api(struct svc_req *rq, SVCXPRT *xp);

Sim *Sim::instance = nullptr;

namespace {

namespace fs = std::filesystem;

constexpr auto kCallbackTimeout = std::chrono::seconds(30);
constexpr auto kShutdownGrace = std::chrono::seconds(10);
constexpr auto kConnectRetry = std::chrono::milliseconds(200);
constexpr std::size_t kMaxControlLine = 64 * 1024;

// A transient program number that the port mapper does not know yet.
uint32_t free_program(uint32_t avoid) {
    struct sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    struct pmaplist *list = pmap_getmaps(&addr);
    uint32_t seed = 0x40000000u + ((static_cast<uint32_t>(getpid()) * 2654435761u) % 0x1FFF0000u);
    uint32_t prog = seed;
    for (uint32_t i = 0; i < 0x10000; ++i) {
        prog = 0x40000000u + ((seed - 0x40000000u + i) % 0x20000000u);
        bool used = prog == avoid;
        for (struct pmaplist *p = list; p && !used; p = p->pml_next) used = p->pml_map.pm_prog == prog;
        if (!used) break;
    }
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_pmaplist_ptr), reinterpret_cast<char *>(&list));
    return prog;
}

Json exit_json(pid_t pid, int st) {
    Json j = {{"kind", "client"}, {"event", "exit"}, {"pid", pid}};
    if (WIFEXITED(st)) j["status"] = WEXITSTATUS(st);
    else if (WIFSIGNALED(st)) j["signal"] = WTERMSIG(st);
    return j;
}

std::string dirname_of(const std::string &p) {
    auto slash = p.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : p.substr(0, slash);
}

}  // namespace

std::string quote_word(const std::string &w) {
    if (!w.empty() && w.find_first_of(" \t\"\\\n") == std::string::npos) return w;
    std::string q = "\"";
    for (char ch : w) {
        if (ch == '"' || ch == '\\') q += '\\';
        if (ch == '\n') {
            q += "\\n";
            continue;
        }
        q += ch;
    }
    return q + "\"";
}

// ---------------------------------------------------------------------------

Sim::Sim(Options o) : opt(std::move(o)) {
    instance = this;
    started_at_ = Clock::now();
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) client_dir = cwd;
    if (!opt.docroot.empty() && opt.docroot[0] != '/') opt.docroot = client_dir + "/" + opt.docroot;
    if (!opt.client.empty()) {
        std::string d = dirname_of(opt.client[0]);
        if (!d.empty()) client_dir = d[0] == '/' ? d : client_dir + "/" + d;
    }
    default_dir_ = client_dir;
}

Sim::~Sim() { instance = nullptr; }

int Sim::run() {
    std::string error;
    if (!setup(error)) {
        std::fprintf(stderr, "framesim: %s\n", error.c_str());
        journal.write({{"kind", "end"}, {"reason", "start-up failed"}, {"error", error}});
        cleanup();
        return 1;
    }
    try {
        loop();
    } catch (const std::exception &e) {
        // Whatever went wrong, the registrations must not outlive framesim.
        note_problem(std::string("internal error: ") + e.what());
        request_end("internal error");
        failed_ = true;
    }
    cleanup();
    if (opt.summary) print_summary();
    return failed_ ? 2 : 0;
}

bool Sim::setup(std::string &error) {
    if (!opt.journal.empty() && !journal.open(opt.journal)) {
        error = "cannot write the journal " + opt.journal + ": " + std::strerror(errno);
        return false;
    }
    if (!opt.scenario.empty()) {
        std::ifstream in(opt.scenario, std::ios::binary);
        if (!in) {
            error = "cannot read the scenario " + opt.scenario;
            return false;
        }
        std::ostringstream ss;
        ss << in.rdbuf();
        std::vector<Command> cmds;
        if (!parse_scenario(ss.str(), cmds, error)) {
            error = opt.scenario + ": " + error;
            return false;
        }
        for (auto &c : cmds) scenario_.queue.push_back({std::move(c), -1});
    }
    if (opt.prog == 0) opt.prog = free_program(opt.cb_prog);
    if (opt.cb_prog == 0) opt.cb_prog = free_program(opt.prog);

    // Signals arrive through a descriptor, so the loop sees them in order.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGCHLD);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigfd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (sigfd_ < 0) {
        error = std::string("signalfd: ") + std::strerror(errno);
        return false;
    }
    // A client forks and its first process exits at once: the child that
    // goes on is re-parented here, so its exit is seen and journaled.
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    tcp_ = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (!tcp_) {
        error = "cannot create the TCP service";
        return false;
    }
    pmap_unset(opt.prog, opt.vers);
    if (!svc_register(tcp_, opt.prog, opt.vers, dispatch_api, IPPROTO_TCP)) {
        error = "cannot register program " + std::to_string(opt.prog) + "." + std::to_string(opt.vers);
        return false;
    }
    registered_tcp_ = true;
    // The client is started from here: it inherits none of these sockets.
    fcntl(tcp_->xp_fd, F_SETFD, FD_CLOEXEC);
    if (!opt.session.empty()) {
        udp_ = svcudp_create(RPC_ANYSOCK);
        if (!udp_) {
            error = "cannot create the UDP service";
            return false;
        }
        if (opt.vers != 1) pmap_unset(opt.prog, 1);
        if (!svc_register(udp_, opt.prog, 1, dispatch_api, IPPROTO_UDP)) {
            error = "cannot register program " + std::to_string(opt.prog) + ".1 over UDP";
            return false;
        }
        registered_udp_ = true;
        fcntl(udp_->xp_fd, F_SETFD, FD_CLOEXEC);
    }

    if (!opt.control.empty()) {
        struct sockaddr_un sa {};
        sa.sun_family = AF_UNIX;
        if (opt.control.size() >= sizeof sa.sun_path) {
            error = "control socket path too long: " + opt.control;
            return false;
        }
        struct stat st {};
        if (lstat(opt.control.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) unlink(opt.control.c_str());
        std::memcpy(sa.sun_path, opt.control.c_str(), opt.control.size() + 1);
        ctl_listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (ctl_listen_ < 0 || bind(ctl_listen_, reinterpret_cast<struct sockaddr *>(&sa), sizeof sa) != 0 ||
            listen(ctl_listen_, 16) != 0) {
            error = "cannot listen on " + opt.control + ": " + std::strerror(errno);
            if (ctl_listen_ >= 0) close(ctl_listen_);
            ctl_listen_ = -1;
            return false;
        }
    }

    journal.write({{"kind", "start"}, {"pid", getpid()}, {"prog", opt.prog}, {"vers", opt.vers},
                   {"cb_prog", opt.cb_prog}, {"cb_vers", opt.cb_vers},
                   {"mode", opt.session.empty() ? "launch" : "session"},
                   {"session", opt.session}, {"client_no", opt.client_no},
                   {"client_name", opt.client_name}});
    if (opt.session.empty() && !spawn_client(error)) return false;
    return true;
}

bool Sim::spawn_client(std::string &error) {
    char fmapix[512];
    std::snprintf(fmapix, sizeof fmapix, "%d.%d %d.%d %d.%d.%s", static_cast<int>(opt.cb_prog),
                  static_cast<int>(opt.cb_vers), static_cast<int>(opt.prog), static_cast<int>(opt.vers),
                  static_cast<int>(getpid()), opt.client_no, opt.client_name.c_str());
    std::vector<std::string> envs;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "FMAPIX=", 7) != 0) envs.push_back(*e);
    envs.push_back(std::string("FMAPIX=") + fmapix);
    std::vector<char *> envp, argv;
    for (auto &e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = opt.client;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, deflt;
    sigemptyset(&none);
    sigemptyset(&deflt);
    for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&deflt, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &deflt);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], nullptr, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        error = "cannot start " + opt.client[0] + ": " + std::strerror(rc);
        return false;
    }
    launched_ = pid;
    pgid_ = pid;
    children_left_ = true;
    journal.write({{"kind", "client"}, {"event", "start"}, {"pid", pid}, {"argv", opt.client},
                   {"fmapix", fmapix}});
    return true;
}

// ---------------------------------------------------------------------------

void Sim::loop() {
    while (!ending_) {
        while (!ending_ && progress()) {
        }
        if (ending_) break;
        auto now = Clock::now();
        if (opt.time_limit > 0 &&
            std::chrono::duration<double>(now - started_at_).count() >= opt.time_limit) {
            request_end("time-limit");
            break;
        }
        if (opt.session.empty() && launched_ != 0 && !children_left_) {
            request_end("client exited", false);
            break;
        }
        if (end_after_clients_) {
            bool clients_gone = opt.session.empty() ? !children_left_ : true;
            if ((clients_gone && !inflight_ && internal_callbacks.empty()) || now >= *end_after_clients_) {
                request_end("session closed");
                break;
            }
        }
        if (session_closing && !quit_queued_ && frame_holds && !inflight_ && !end_after_clients_) {
            // The session was asked to close: a client that is not leaving
            // by itself hears the quit callback.
            quit_queued_ = true;
            if (contacted_ && last_bailout == 0) internal_callbacks.push_back(CallbackRequest{1, 0, 0, 0, {}, 0});
            end_after_clients_ = now + kShutdownGrace;
            continue;
        }
        if (contacted_ && !channel_.connected() && now >= next_connect_try_) {
            std::string e;
            if (ensure_connected(e)) continue;
            next_connect_try_ = now + kConnectRetry;
        }
        check_callback_timeout();

        fd_set rd;
        FD_ZERO(&rd);
        int maxfd = -1;
        auto add = [&](int fd) {
            if (fd >= 0 && fd < FD_SETSIZE) {
                FD_SET(fd, &rd);
                if (fd > maxfd) maxfd = fd;
            }
        };
        for (int fd = 0; fd <= svc_maxfd && fd < FD_SETSIZE; ++fd)
            if (FD_ISSET(fd, &svc_fdset)) add(fd);
        add(sigfd_);
        add(ctl_listen_);
        for (const auto &[fd, c] : ctl_conns_)
            if (!c.eof) add(fd);
        add(channel_.fd());
        struct timeval tv {0, 100000};  // timers are checked at least ten times a second
        int n = select(maxfd + 1, &rd, nullptr, nullptr, &tv);
        if (n < 0) {
            if (errno == EINTR) continue;
            note_problem(std::string("select: ") + std::strerror(errno));
            request_end("internal error");
            break;
        }
        if (n == 0) continue;
        if (sigfd_ >= 0 && FD_ISSET(sigfd_, &rd)) handle_signal();
        // A callback's reply is read before the client's next calls: the
        // client sends it before the over call that ends the turn.
        if (channel_.fd() >= 0 && FD_ISSET(channel_.fd(), &rd)) on_callback_replies();
        fd_set svc_ready;
        FD_ZERO(&svc_ready);
        bool any = false;
        for (int fd = 0; fd <= maxfd; ++fd)
            if (FD_ISSET(fd, &rd) && FD_ISSET(fd, &svc_fdset)) {
                FD_SET(fd, &svc_ready);
                any = true;
            }
        if (any) {
            fd_set before = svc_fdset;
            svc_getreqset(&svc_ready);
            note_accepted(before);
            // Connections the RPC runtime accepted are not close-on-exec.
            for (int fd = 0; fd < FD_SETSIZE; ++fd)
                if (FD_ISSET(fd, &svc_fdset)) fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        if (ctl_listen_ >= 0 && FD_ISSET(ctl_listen_, &rd)) accept_control();
        std::vector<int> ready;
        for (const auto &[fd, c] : ctl_conns_)
            if (FD_ISSET(fd, &rd)) ready.push_back(fd);
        for (int fd : ready) read_control(fd);
    }
}

void Sim::note_accepted(const fd_set &before) {
    for (int fd = 0; fd <= svc_maxfd && fd < FD_SETSIZE; ++fd) {
        if (!FD_ISSET(fd, &svc_fdset) || FD_ISSET(fd, &before)) continue;
        struct sockaddr_storage peer {};
        socklen_t len = sizeof peer;
        if (getpeername(fd, reinterpret_cast<struct sockaddr *>(&peer), &len) != 0) continue;
        char text[INET6_ADDRSTRLEN] = "";
        int port = 0;
        if (peer.ss_family == AF_INET) {
            auto *in = reinterpret_cast<struct sockaddr_in *>(&peer);
            inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            port = ntohs(in->sin_port);
        } else if (peer.ss_family == AF_INET6) {
            auto *in6 = reinterpret_cast<struct sockaddr_in6 *>(&peer);
            inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
            port = ntohs(in6->sin6_port);
        } else {
            continue;
        }
        journal.write({{"kind", "connection"}, {"event", "accepted"}, {"peer", text}, {"port", port}});
    }
}

void Sim::request_end(const std::string &reason, bool kill_client) {
    if (ending_) return;
    ending_ = true;
    end_reason_ = reason;
    kill_client_ = kill_client;
}

void Sim::note_problem(const std::string &what) {
    journal.write({{"kind", "problem"}, {"what", what}});
}

void Sim::handle_signal() {
    struct signalfd_siginfo si;
    while (read(sigfd_, &si, sizeof si) == static_cast<ssize_t>(sizeof si)) {
        if (si.ssi_signo == SIGCHLD) reap_children();
        else request_end(std::string("signal ") + strsignal(static_cast<int>(si.ssi_signo)));
    }
}

void Sim::reap_children() {
    for (;;) {
        int st = 0;
        pid_t pid = waitpid(-1, &st, WNOHANG);
        if (pid > 0) {
            Json j = exit_json(pid, st);
            if (pid == launched_) j["launched"] = true;
            if (pid == contact_pid) j["contact"] = true;
            journal.write(j);
            continue;
        }
        children_left_ = pid == 0;
        break;
    }
}

void Sim::stop_clients() {
    reap_children();
    if (!children_left_) return;
    if (pgid_ > 0) kill(-pgid_, SIGTERM);
    if (contact_pid > 0) kill(contact_pid, SIGTERM);
    for (int i = 0; i < 40 && children_left_; ++i) {
        usleep(50000);
        reap_children();
    }
    if (!children_left_) return;
    if (pgid_ > 0) kill(-pgid_, SIGKILL);
    if (contact_pid > 0) kill(contact_pid, SIGKILL);
    for (int i = 0; i < 40 && children_left_; ++i) {
        usleep(50000);
        reap_children();
    }
}

void Sim::cleanup() {
    if (launched_ != 0 && kill_client_) stop_clients();
    else reap_children();
    journal.write({{"kind", "end"}, {"reason", end_reason_.empty() ? "start-up failed" : end_reason_},
                   {"failed", failed_}});
    if (inflight_ && inflight_->owner) finish(*inflight_->owner, false, "framesim ended");
    inflight_.reset();
    for (Executor *ex : {&control_, &scenario_}) {
        if (ex->current && ex->current->conn >= 0) answer(ex->current->conn, "error framesim ended");
        for (auto &item : ex->queue)
            if (item.conn >= 0) answer(item.conn, "error framesim ended");
        ex->current.reset();
        ex->queue.clear();
    }
    for (auto &[fd, c] : ctl_conns_) close(fd);
    ctl_conns_.clear();
    if (ctl_listen_ >= 0) {
        close(ctl_listen_);
        unlink(opt.control.c_str());
        ctl_listen_ = -1;
    }
    channel_.close();
    if (registered_tcp_) svc_unregister(opt.prog, opt.vers);
    if (registered_udp_) svc_unregister(opt.prog, 1);
    if (opt.prog != 0) {
        pmap_unset(opt.prog, opt.vers);
        if (!opt.session.empty()) pmap_unset(opt.prog, 1);
    }
    // The program number framesim gave its client: the client is gone now.
    if (launched_ != 0 && !children_left_) pmap_unset(opt.cb_prog, opt.cb_vers);
    registered_tcp_ = registered_udp_ = false;
    if (tcp_) svc_destroy(tcp_);
    if (udp_) svc_destroy(udp_);
    tcp_ = udp_ = nullptr;
    if (sigfd_ >= 0) close(sigfd_);
    sigfd_ = -1;
}

// ---------------------------------------------------------------------------
// The client and the turn-over protocol.

void Sim::on_contact(int pid, int proc) {
    if (inflight_) {
        if (inflight_->owner) finish(*inflight_->owner, false, "a new client made contact");
        inflight_.reset();
    }
    contacted_ = true;
    contact_pid = pid;
    frame_holds = true;
    channel_.target(opt.cb_prog, opt.cb_vers, client_host);
    next_connect_try_ = Clock::now();
    journal.write({{"kind", "client"}, {"event", "contact"}, {"pid", pid}, {"proc", proc}});
}

bool Sim::ensure_connected(std::string &error) {
    if (channel_.connected()) return true;
    if (!contacted_) {
        error = "no client has made contact";
        return false;
    }
    if (!channel_.connect(error)) return false;
    Json j = {{"kind", "client"}, {"event", "connected"}, {"prog", channel_.prog()},
              {"vers", channel_.vers()}, {"port", channel_.port()}};
    if (!channel_.host().empty()) j["host"] = channel_.host();
    journal.write(j);
    return true;
}

void Sim::on_over(IntT bailout) {
    Json j = {{"kind", "control"}, {"event", "over"}, {"bailout", bailout}};
    if (frame_holds) {
        j["unexpected"] = true;  // Frame held control already
    } else {
        frame_holds = true;
        ++overs;
    }
    last_bailout = bailout;
    j["holder"] = "frame";
    journal.write(j);
}

void Sim::on_take_control() {
    Json j = {{"kind", "control"}, {"event", "take"}};
    if (!frame_holds) j["unexpected"] = true;  // the client held control already
    frame_holds = false;
    j["holder"] = "client";
    journal.write(j);
}

void Sim::on_disconnect() {
    journal.write({{"kind", "client"}, {"event", "disconnect"}, {"pid", contact_pid}});
    contacted_ = false;
    channel_.close();
}

// ---------------------------------------------------------------------------
// Callbacks.

bool Sim::try_send(const CallbackRequest &q, Executor *owner, std::string &error) {
    if (!ensure_connected(error)) return false;
    uint32_t xid = 0;
    Json args;
    bool ok = false;
    auto send = [&](auto rec) {
        args = to_json(rec);
        ok = channel_.send(static_cast<uint32_t>(q.proc), wire_proc<decltype(rec)>(), &rec, xid, error);
    };
    std::string text = q.text;
    switch (q.proc) {
    case 2: send(FmApiInitArgT{q.a}); break;
    case 3: send(FmApiCommandArgT{q.a}); break;
    case 4: send(FmApiMessageArgT{text.data(), q.doc, static_cast<F_ObjIdT>(q.b)}); break;
    case 5: send(Fm4ApiNotifyArgT{q.a, q.doc, text.data()}); break;
    case 6: send(FmApiDialogEventArgT{q.a, q.b, q.c}); break;
    case 7: send(FmApiNotifyArgT{q.a, q.doc, text.data(), q.c}); break;
    default:
        args = nullptr;
        ok = channel_.send(static_cast<uint32_t>(q.proc), wire_proc<void>(), nullptr,
                           xid, error);
        break;
    }
    if (!ok) return false;
    if (callback_expects_reply(q.proc)) {
        inflight_ = InFlight{xid, q, args, owner, Clock::now() + kCallbackTimeout};
    } else {
        // The old-style notification is never answered.
        journal.write({{"kind", "callback"}, {"proc", q.proc}, {"name", callback_name(q.proc)},
                       {"args", args}, {"outcome", "sent"}});
    }
    return true;
}

void Sim::on_callback_replies() {
    bool closed = false;
    auto replies = channel_.read_replies(closed);
    for (const auto &r : replies) {
        if (!inflight_ || r.xid != inflight_->xid) continue;  // a late reply to a timed-out call
        InFlight f = std::move(*inflight_);
        inflight_.reset();
        int proc = f.req.proc;
        journal.write({{"kind", "callback"}, {"proc", proc}, {"name", callback_name(proc)},
                       {"args", f.args}, {"outcome", r.outcome}});
        bool ok = r.outcome == "replied" || (proc > 7 && r.outcome == "noproc");
        if (r.outcome == "replied" && callback_expects_over(proc)) {
            // The client holds control until its over call.
            frame_holds = false;
            journal.write({{"kind", "control"}, {"event", "callback"}, {"proc", proc}, {"holder", "client"}});
            if (f.owner) {
                f.owner->callback_unwaited = true;
                f.owner->turn_mark = overs;
            }
        }
        if (f.owner) finish(*f.owner, ok, r.outcome);
    }
    if (closed) {
        journal.write({{"kind", "client"}, {"event", "callback-connection-closed"}});
        if (inflight_) {
            InFlight f = std::move(*inflight_);
            inflight_.reset();
            journal.write({{"kind", "callback"}, {"proc", f.req.proc}, {"name", callback_name(f.req.proc)},
                           {"args", f.args}, {"outcome", "error: connection closed"}});
            if (f.owner) finish(*f.owner, false, "error: connection closed");
        }
        next_connect_try_ = Clock::now() + kConnectRetry;
    }
}

void Sim::check_callback_timeout() {
    if (!inflight_ || Clock::now() < inflight_->deadline) return;
    InFlight f = std::move(*inflight_);
    inflight_.reset();
    channel_.close();
    journal.write({{"kind", "callback"}, {"proc", f.req.proc}, {"name", callback_name(f.req.proc)},
                   {"args", f.args}, {"outcome", "timeout"}});
    if (f.owner) finish(*f.owner, false, "timeout");
}

// ---------------------------------------------------------------------------
// Commands.

bool Sim::progress() {
    bool moved = false;
    if (can_send() && !internal_callbacks.empty()) {
        CallbackRequest q = internal_callbacks.front();
        internal_callbacks.pop_front();
        std::string e;
        if (!try_send(q, nullptr, e))
            journal.write({{"kind", "callback"}, {"proc", q.proc}, {"name", callback_name(q.proc)},
                           {"outcome", "error: " + e}});
        moved = true;
    }
    moved = step(scenario_) || moved;
    moved = step(control_) || moved;
    return moved;
}

void Sim::finish(Executor &ex, bool ok, const std::string &detail) {
    if (!ex.current) return;
    Executor::Item item = std::move(*ex.current);
    ex.current.reset();
    ex.started = false;
    ex.waiting_callback = false;
    Json j = {{"kind", "command"}, {"source", ex.name}, {"command", item.cmd.source}, {"ok", ok}};
    if (item.cmd.line) j["line"] = item.cmd.line;
    if (!detail.empty()) j["detail"] = detail;
    journal.write(j);
    if (item.conn >= 0) {
        answer(item.conn, (ok ? "ok" : "error") + (detail.empty() ? "" : " " + detail));
        answered(item.conn);
    }
    if (!ok && item.conn < 0) {
        // A scenario stops at its first failure; framesim keeps serving.
        ex.stopped = true;
        failed_ = true;
    }
}

bool Sim::step(Executor &ex) {
    if (ex.stopped) return false;
    if (!ex.current) {
        if (ex.queue.empty()) return false;
        ex.current = std::move(ex.queue.front());
        ex.queue.pop_front();
        ex.started = false;
    }
    Command &c = ex.current->cmd;
    auto now = Clock::now();
    bool first = !ex.started;
    if (first) {
        ex.started = true;
        ex.deadline = now + std::chrono::milliseconds(static_cast<long>(c.timeout * 1000));
    }
    switch (c.op) {
    case Op::Callback:
    case Op::Event: {
        if (ex.waiting_callback) return false;
        if (!can_send()) {
            if (first) return true;
            return false;
        }
        CallbackRequest q{c.proc, c.a, c.b, c.c, c.text,
                          c.doc.kind == ObjRef::Active ? model.active() : c.doc.id};
        if (c.op == Op::Event) {
            auto it = notify_requests.find(c.a);
            bool wanted = it != notify_requests.end() && it->second != 0;
            journal.write({{"kind", "event"}, {"notification", c.a}, {"doc", q.doc}, {"file", c.text},
                           {"param", c.c}, {"delivered", wanted}});
            if (!wanted) {
                finish(ex, true, "not delivered: notification " + std::to_string(c.a) + " not requested");
                return true;
            }
        }
        std::string e;
        if (!try_send(q, &ex, e)) {
            finish(ex, false, "error: " + e);
            return true;
        }
        if (!callback_expects_reply(c.proc)) finish(ex, true, "sent");
        else ex.waiting_callback = true;
        return true;
    }
    case Op::WaitOver:
        if (first) {
            if (ex.callback_unwaited) ex.over_target = ex.turn_mark + 1;
            else ex.over_target = overs + 1;
            ex.callback_unwaited = false;
        }
        if (overs >= ex.over_target) {
            finish(ex, true, "bailout " + std::to_string(last_bailout));
            return true;
        }
        if (now >= ex.deadline) {
            finish(ex, false, "timed out waiting for the over call");
            return true;
        }
        return first;
    case Op::WaitJournal: {
        const auto &lines = journal.lines();
        for (size_t i = ex.journal_pos; i < lines.size(); ++i) {
            if (lines[i].find(c.text) != std::string::npos) {
                ex.journal_pos = i + 1;
                finish(ex, true, lines[i]);
                return true;
            }
        }
        if (now >= ex.deadline) {
            finish(ex, false, "timed out waiting for " + c.text);
            return true;
        }
        return first;
    }
    case Op::Sleep:
        if (first) ex.deadline = now + std::chrono::milliseconds(c.a);
        if (now >= ex.deadline) {
            finish(ex, true, "");
            return true;
        }
        return first;
    case Op::Fail:
    case Op::Drop:
    case Op::Cut:
    case Op::Delay: {
        Fault f;
        f.kind = c.op == Op::Fail   ? Fault::Fail
                 : c.op == Op::Drop ? Fault::Drop
                 : c.op == Op::Cut  ? Fault::Cut
                                    : Fault::Delay;
        f.status = c.a;
        f.ms = c.a;
        if (c.op == Op::Cut) f.offset = c.b;
        faults[c.proc].push_back(f);
        finish(ex, true, "");
        return true;
    }
    case Op::Set:
    case Op::Empty:
    case Op::Open: {
        std::string detail;
        IntT st = apply_model_command(c, detail);
        finish(ex, st == kOk, detail);
        return true;
    }
    case Op::Vanish:
        journal.write({{"kind", "end"}, {"reason", "vanish"}});
        // As a crashed Frame: no reply, no clean-up, no registrations removed.
        kill(getpid(), SIGKILL);
        _exit(137);
    case Op::Exit:
        finish(ex, true, "");
        request_end("exit");
        return true;
    case Op::Shutdown:
        if (ex.waiting_callback) return false;
        if (!contacted_) {
            finish(ex, true, "no client");
            request_end("shutdown");
            return true;
        }
        if (!can_send()) return first;
        {
            std::string e;
            if (!try_send(CallbackRequest{1, 0, 0, 0, {}, 0}, &ex, e)) {
                finish(ex, false, "error: " + e);
                request_end("shutdown");
                return true;
            }
            ex.waiting_callback = true;
            end_after_clients_ = now + kShutdownGrace;
        }
        return true;
    case Op::Status:
        finish(ex, true, status_json().dump(-1, ' ', false, Json::error_handler_t::replace));
        return true;
    }
    return false;
}

IntT Sim::apply_model_command(const Command &c, std::string &detail) {
    if (c.op == Op::Open) {
        F_ObjIdT doc = 0;
        IntT st = open_document(c.text, true, doc, detail);
        if (st == kOk) detail = "document " + std::to_string(doc);
        else detail = "status " + std::to_string(st) + (detail.empty() ? "" : ": " + detail);
        return st;
    }
    F_ObjIdT obj = c.doc.kind == ObjRef::Active ? model.active() : c.doc.id;
    PropKey key{c.num, c.name};
    Value v;
    if (c.op == Op::Set) {
        IntT type = value_type_from_name(c.text);
        if (type == -1000) {
            detail = "unknown value type " + c.text;
            return kErrBadArgument;
        }
        try {
            v = Value::from_json(type, c.value);
        } catch (const std::exception &e) {
            detail = e.what();
            return kErrBadArgument;
        }
    } else {
        const Value *old = model.value(obj, key);
        F_TypedValT empty{};
        empty.valType = old ? old->type() : FT_Strings;
        if (is_word_type(empty.valType)) {
            detail = "property holds a single value, not a list";
            return kErrBadValueType;
        }
        v = Value::of(empty);
    }
    IntT st = model.set_value(obj, key, v);
    journal.write({{"kind", "model"}, {"object", obj}, {"property", key.json()}, {"value", v.json()},
                   {"status", st}});
    detail = st == kOk ? "" : "status " + std::to_string(st);
    return st;
}

Json Sim::status_json() const {
    Json docs = Json::array();
    for (const auto &[id, d] : model.documents()) {
        const Value *t = model.value(id, PropKey{kPropTitle, {}});
        docs.push_back({{"doc", id}, {"path", d.path}, {"title", t ? t->text() : ""}, {"visible", d.visible}});
    }
    Json notes = Json::object();
    for (const auto &[n, st] : notify_requests) notes[std::to_string(n)] = st;
    return {{"holder", frame_holds ? "frame" : "client"}, {"contacted", contacted_},
            {"client_pid", contact_pid}, {"active", model.active()}, {"documents", docs},
            {"overs", overs}, {"callback_in_flight", inflight_ ? Json(inflight_->req.proc) : Json(nullptr)},
            {"notifications", notes}};
}

// ---------------------------------------------------------------------------
// Control socket.

void Sim::accept_control() {
    for (;;) {
        int fd = accept4(ctl_listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        if (fd >= FD_SETSIZE) {
            close(fd);
            continue;
        }
        ctl_conns_[fd] = CtlConn{};
    }
}

void Sim::read_control(int fd) {
    auto it = ctl_conns_.find(fd);
    if (it == ctl_conns_.end()) return;
    char buf[4096];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        it->second.eof = true;
        if (it->second.pending == 0) {
            close(fd);
            ctl_conns_.erase(it);
        }
        return;
    }
    CtlConn &c = it->second;
    c.buf.append(buf, static_cast<size_t>(n));
    size_t nl;
    while ((nl = c.buf.find('\n')) != std::string::npos) {
        std::string line = c.buf.substr(0, nl);
        c.buf.erase(0, nl + 1);
        std::string error;
        auto cmd = parse_command(line, error);
        if (!cmd) {
            if (!error.empty()) answer(fd, "error " + error);
            else answer(fd, "error empty command");
            continue;
        }
        ++c.pending;
        control_.queue.push_back({std::move(*cmd), fd});
    }
    if (c.buf.size() > kMaxControlLine) {
        answer(fd, "error line too long");
        close(fd);
        ctl_conns_.erase(fd);
        // Drop what this connection still had queued.
        std::erase_if(control_.queue, [fd](const Executor::Item &i) { return i.conn == fd; });
        if (control_.current && control_.current->conn == fd) control_.current->conn = -2;
    }
}

void Sim::answer(int conn, const std::string &text) {
    auto it = ctl_conns_.find(conn);
    if (it == ctl_conns_.end()) return;
    std::string line = text;
    for (char &ch : line)
        if (ch == '\n') ch = ' ';
    line += '\n';
    // Answers are short; the peer reads them at once (a blocking write is
    // bounded by the socket buffer).
    int flags = fcntl(conn, F_GETFL);
    fcntl(conn, F_SETFL, flags & ~O_NONBLOCK);
    struct timeval tv {2, 0};
    setsockopt(conn, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    (void)!send(conn, line.data(), line.size(), MSG_NOSIGNAL);
    fcntl(conn, F_SETFL, flags);
}

void Sim::answered(int conn) {
    auto it = ctl_conns_.find(conn);
    if (it == ctl_conns_.end()) return;
    if (it->second.pending > 0) --it->second.pending;
    if (it->second.eof && it->second.pending == 0) {
        close(conn);
        ctl_conns_.erase(it);
    }
}

// ---------------------------------------------------------------------------
// Documents and hypertext.

std::string Sim::resolve(const std::string &path, const std::string &base_dir) const {
    if (path.empty()) return path;
    fs::path p(path);
    if (p.is_relative()) {
        std::string base = !base_dir.empty() ? base_dir : !opt.docroot.empty() ? opt.docroot : default_dir_;
        char cwd[PATH_MAX];
        if (base.empty() && getcwd(cwd, sizeof cwd)) base = cwd;
        p = fs::path(base) / p;
    }
    return p.lexically_normal().string();
}

IntT Sim::open_document(const std::string &path, bool visible, F_ObjIdT &doc, std::string &why) {
    doc = 0;
    if (path.empty()) {
        why = "empty file name";
        return kErrBadArgument;
    }
    std::string full = resolve(path);
    if (F_ObjIdT d = model.document_by_path(full)) {
        doc = d;
        if (visible) model.set_active(d);
        journal.write({{"kind", "document"}, {"event", "already-open"}, {"doc", d}, {"path", full}});
        return kOk;
    }
    LoadResult lr = load_document(full);
    if (lr.error != LoadError::None) {
        IntT code = lr.error == LoadError::Missing      ? kErrFileMissing
                    : lr.error == LoadError::Unreadable ? kErrFileUnreadable
                                                        : kErrBadFormat;
        why = lr.message;
        journal.write({{"kind", "document"}, {"event", "open-failed"}, {"path", full}, {"status", code},
                       {"why", why}});
        return code;
    }
    doc = model.add_document(full, lr.doc, visible);
    summary.opened.push_back(full + " -> " + std::to_string(doc) + (visible ? "" : " (hidden)"));
    journal.write({{"kind", "document"}, {"event", "opened"}, {"doc", doc}, {"path", full},
                   {"visible", visible}, {"markers", lr.doc.markers.size()},
                   {"paragraphs", lr.doc.paragraphs.size()}});
    return kOk;
}

void Sim::record_scroll(F_ObjIdT doc, const F_TextLocT &loc, const char *how) {
    Document *d = model.document(doc);
    if (!d) return;
    d->scroll = loc;
    int para = model.paragraph_index(*d, loc.objId);
    journal.write({{"kind", "scroll"}, {"doc", doc}, {"path", d->path}, {"paragraph", para},
                   {"object", loc.objId}, {"offset", loc.offset}, {"via", how}});
    summary.scrolls.push_back(d->path + " paragraph " + std::to_string(para) + " offset " +
                              std::to_string(loc.offset) + " (" + how + ")");
}

IntT Sim::hypertext(F_ObjIdT doc, const std::string &command) {
    auto trim = [](std::string s) {
        size_t b = s.find_first_not_of(" \t\r\n");
        size_t e = s.find_last_not_of(" \t\r\n");
        return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
    };
    std::string cmd = trim(command);
    std::string verb = cmd.substr(0, cmd.find_first_of(" \t"));
    std::string arg = trim(cmd.substr(verb.size()));
    Json j = {{"kind", "hypertext"}, {"doc", doc}, {"command", command}};
    IntT status = kOk;
    Document *here = doc ? model.document(doc) : nullptr;
    if (doc != 0 && !here) {
        status = kErrBadDocument;
    } else if (verb == "gotolink" || verb == "openlink") {
        std::string file = arg, tag;
        if (verb == "gotolink") {
            auto colon = arg.find_last_of(':');
            if (colon == std::string::npos) {
                file.clear();
                tag = arg;
            } else {
                file = arg.substr(0, colon);
                tag = arg.substr(colon + 1);
            }
        }
        F_ObjIdT target = 0;
        std::string why;
        if (arg.empty()) {
            status = kErrBadCommand;
        } else if (file.empty()) {
            target = doc;
            if (!here) status = kErrBadDocument;
        } else {
            std::string base = here ? dirname_of(here->path) : std::string();
            status = open_document(resolve(file, base), true, target, why);
            if (status != kOk) {
                j["why"] = why;
                status = kErrLinkTarget;
            }
        }
        if (status == kOk) {
            model.set_active(target);
            Document *t = model.document(target);
            j["target"] = target;
            j["path"] = t->path;
            if (!tag.empty()) {
                auto m = model.marker_named(target, tag);
                if (!m) {
                    j["why"] = "no marker named " + tag;
                    status = kErrLinkTarget;
                } else {
                    const Value *loc = model.value(*m, PropKey{kPropTextLoc, {}});
                    F_TypedValT tv{};
                    if (loc && loc->decode(&tv)) {
                        record_scroll(target, tv.u.tlval, "hypertext");
                        release(tv);
                    }
                    j["marker"] = *m;
                }
            } else if (!t->paragraphs.empty()) {
                record_scroll(target, F_TextLocT{t->paragraphs[0], 0}, "hypertext");
            }
        }
    } else if (verb == "message") {
        // Delivered after the current turn, as Frame does with a click.
        internal_callbacks.push_back(CallbackRequest{4, 0, 0, 0, arg, doc});
        j["queued"] = "message";
    } else {
        status = kErrBadCommand;
    }
    j["status"] = status;
    journal.write(j);
    summary.hypertext.push_back(command + " -> " + std::to_string(status));
    return status;
}

void Sim::print_summary() {
    std::printf("framesim summary (%s)\n", end_reason_.c_str());
    auto list = [](const char *title, const std::vector<std::string> &items) {
        std::printf("  %s:%s\n", title, items.empty() ? " none" : "");
        for (const auto &i : items) std::printf("    %s\n", i.c_str());
    };
    list("documents opened", summary.opened);
    list("titles", summary.titles);
    list("scroll positions", summary.scrolls);
    std::vector<std::string> codes;
    for (IntT c : summary.fcodes) {
        char b[32];
        std::snprintf(b, sizeof b, "0x%X", static_cast<unsigned>(c));
        codes.push_back(b);
    }
    list("function codes", codes);
    list("alerts", summary.alerts);
    list("notifications requested", summary.notifications);
    list("hypertext commands", summary.hypertext);
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------

int run_ctl(const std::string &path, const std::vector<std::string> &words) {
    std::string line;
    for (const auto &w : words) line += (line.empty() ? "" : " ") + quote_word(w);
    struct sockaddr_un sa {};
    sa.sun_family = AF_UNIX;
    if (path.size() >= sizeof sa.sun_path) {
        std::fprintf(stderr, "framesim ctl: socket path too long\n");
        return 1;
    }
    std::memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<struct sockaddr *>(&sa), sizeof sa) != 0) {
        std::fprintf(stderr, "framesim ctl: cannot connect to %s: %s\n", path.c_str(), std::strerror(errno));
        if (fd >= 0) close(fd);
        return 1;
    }
    line += '\n';
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        std::fprintf(stderr, "framesim ctl: cannot send\n");
        close(fd);
        return 1;
    }
    std::string answer;
    struct timeval tv {600, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buf[4096];
    while (answer.find('\n') == std::string::npos) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        answer.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    auto nl = answer.find('\n');
    if (nl == std::string::npos) {
        std::fprintf(stderr, "framesim ctl: no answer\n");
        return 1;
    }
    answer.resize(nl);
    std::printf("%s\n", answer.c_str());
    return answer.rfind("ok", 0) == 0 ? 0 : 1;
}

}  // namespace fdk::sim
