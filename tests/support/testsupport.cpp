// testsupport.cpp - temporary directories, child processes, program numbers,
// journal reading and the Framesim launcher for integration tests.
#include "testsupport.hpp"

#include <fcntl.h>
#include <netinet/in.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char **environ;

namespace fdk::test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------
TempDir::TempDir(const std::string &prefix) {
    const char *tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    std::string templ = base + "/" + prefix + ".XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
    path_ = buf.data();
    // Readable by others: a test may look inside as an unprivileged child.
    chmod(path_.c_str(), 0755);
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string &name) const { return path_ + "/" + name; }

std::string TempDir::mkdir(const std::string &name) const {
    fs::create_directories(file(name));
    return file(name);
}

bool wait_until(const std::function<bool()> &pred, int ms, int step_ms) {
    auto end = Clock::now() + Millis(ms);
    for (;;) {
        if (pred()) return true;
        if (Clock::now() >= end) return pred();
        std::this_thread::sleep_for(Millis(step_ms));
    }
}

std::string TempDir::write(const std::string &name, const std::string &text) const {
    std::string p = file(name);
    fs::create_directories(fs::path(p).parent_path());
    std::ofstream out(p, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + p);
    return p;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// ---------------------------------------------------------------------------
static ExitStatus decode_status(int st) {
    ExitStatus s;
    if (WIFEXITED(st)) {
        s.exited = true;
        s.code = WEXITSTATUS(st);
    } else if (WIFSIGNALED(st)) {
        s.signaled = true;
        s.signal = WTERMSIG(st);
    }
    return s;
}

Process::~Process() { end(); }

void Process::end() {
    if (running()) {
        ::kill(pid_, SIGKILL);
        int st = 0;
        while (waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
        }
    }
}

Process::Process(Process &&other) noexcept
    : pid_(other.pid_), status_(other.status_), out_path_(std::move(other.out_path_)),
      err_path_(std::move(other.err_path_)) {
    other.pid_ = -1;
    other.status_.reset();
}

Process &Process::operator=(Process &&other) noexcept {
    if (this != &other) {
        end();
        pid_ = other.pid_;
        status_ = other.status_;
        out_path_ = std::move(other.out_path_);
        err_path_ = std::move(other.err_path_);
        other.pid_ = -1;
        other.status_.reset();
    }
    return *this;
}

void Process::start(const Options &o) {
    if (running()) throw std::runtime_error("process already running");
    if (o.argv.empty()) throw std::runtime_error("empty argv");
    status_.reset();
    out_path_ = o.stdout_path;
    err_path_ = o.stderr_path;

    // Everything the child needs is prepared before fork: the child only
    // calls async-signal-safe functions.
    std::vector<std::string> envs;
    for (char **e = environ; *e; ++e) {
        std::string kv = *e;
        std::string key = kv.substr(0, kv.find('='));
        if (o.env.count(key)) continue;
        bool drop = false;
        for (const auto &u : o.unset_env) drop = drop || u == key;
        if (!drop) envs.push_back(kv);
    }
    for (const auto &[k, v] : o.env) envs.push_back(k + "=" + v);
    std::vector<char *> envp, argv;
    for (auto &e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = o.argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    auto open_out = [](const std::string &p) {
        return ::open(p.empty() ? "/dev/null" : p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0644);
    };
    int out = open_out(o.stdout_path);
    int err = open_out(o.stderr_path);
    int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out < 0 || err < 0 || in < 0) {
        if (out >= 0) close(out);
        if (err >= 0) close(err);
        if (in >= 0) close(in);
        throw std::runtime_error("cannot open output files");
    }
    // A pipe tells the parent whether exec worked.
    int ep[2];
    if (pipe2(ep, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

    pid_t pid = fork();
    if (pid < 0) {
        close(out); close(err); close(in); close(ep[0]); close(ep[1]);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        int e = errno;
        (void)!write(ep[1], &e, sizeof e);
        _exit(127);
    }
    close(out); close(err); close(in); close(ep[1]);
    int child_errno = 0;
    ssize_t n;
    while ((n = read(ep[0], &child_errno, sizeof child_errno)) < 0 && errno == EINTR) {
    }
    close(ep[0]);
    pid_ = pid;
    if (n > 0) {
        wait(Millis(5000));
        throw std::runtime_error("cannot start " + o.argv[0] + ": " + std::strerror(child_errno));
    }
}

ExitStatus Process::wait(Millis timeout) {
    if (status_ || pid_ <= 0) return status_.value_or(ExitStatus{});
    wait_until(
        [&] {
            int st = 0;
            pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) status_ = decode_status(st);
            else if (r < 0 && errno != EINTR) status_ = ExitStatus{};
            return status_.has_value();
        },
        static_cast<int>(timeout.count()), 10);
    if (status_) return *status_;
    ExitStatus s;
    s.timed_out = true;
    return s;
}

Process::Process(const std::vector<std::string> &argv, const std::string &dir,
                 const std::string &tag) {
    Options o;
    o.argv = argv;
    o.stdout_path = dir + "/" + tag + ".out";
    o.stderr_path = dir + "/" + tag + ".err";
    start(o);
}

int Process::exit_code() {
    if (running() || !status_) return -1;
    if (status_->exited) return status_->code;
    return status_->signaled ? 128 + status_->signal : 255;
}

std::string Process::out() const { return out_path_.empty() ? "" : read_file(out_path_); }
std::string Process::err() const { return err_path_.empty() ? "" : read_file(err_path_); }

bool Process::wait_for_output(const std::string &text, int ms) {
    return wait_until([&] { return out().find(text) != std::string::npos; }, ms);
}

void Process::kill(int sig) {
    if (running()) ::kill(pid_, sig);
}

ExitStatus Process::stop(Millis grace) {
    if (!running()) return status_ ? *status_ : ExitStatus{};
    kill(SIGTERM);
    ExitStatus s = wait(grace);
    if (s.timed_out) {
        kill(SIGKILL);
        s = wait(Millis(10000));
    }
    return s;
}

// ---------------------------------------------------------------------------
uint16_t registered_port(uint32_t prog, uint32_t vers) {
    struct sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    struct pmaplist *list = pmap_getmaps(&addr);
    uint16_t port = 0;
    for (struct pmaplist *p = list; p && !port; p = p->pml_next)
        if (p->pml_map.pm_prog == prog && (vers == 0 || (p->pml_map.pm_vers == vers &&
                                                         p->pml_map.pm_prot == IPPROTO_TCP)))
            port = static_cast<uint16_t>(p->pml_map.pm_port);
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_pmaplist_ptr), reinterpret_cast<char *>(&list));
    return port;
}

uint32_t unique_program() {
    static std::atomic<uint32_t> counter{0};
    for (int tries = 0; tries < 4096; ++tries) {
        uint32_t c = counter++;
        // 0x40000000 + 20 bits of pid + 9 bits of counter stays below 0x60000000.
        uint32_t prog = 0x40000000u + ((static_cast<uint32_t>(getpid()) & 0xFFFFFu) << 9) +
                        (c & 0x1FFu);
        if (registered_port(prog, 0) == 0) return prog;
    }
    throw std::runtime_error("no free transient program number");
}

// ---------------------------------------------------------------------------
void JournalReader::poll() {
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char buf[65536];
    for (;;) {
        ssize_t n = pread(fd, buf, sizeof buf, offset_);
        if (n <= 0) break;
        offset_ += n;
        partial_.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    size_t start = 0, nl;
    while ((nl = partial_.find('\n', start)) != std::string::npos) {
        std::string line = partial_.substr(start, nl - start);
        start = nl + 1;
        if (line.empty()) continue;
        Json j = Json::parse(line, nullptr, false);
        lines_.push_back(j.is_discarded() ? Json(line) : j);
    }
    partial_.erase(0, start);
}

static int connect_unix(const std::string &path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    struct sockaddr_un sa {};
    sa.sun_family = AF_UNIX;
    if (path.size() >= sizeof sa.sun_path) {
        close(fd);
        return -1;
    }
    std::memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    if (connect(fd, reinterpret_cast<struct sockaddr *>(&sa), sizeof sa) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool socket_answers(const std::string &path) {
    int fd = connect_unix(path);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

void JournalReader::skip_to_end() {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) return;
    offset_ = st.st_size;
    partial_.clear();
}

std::optional<size_t> JournalReader::wait_for(const std::function<bool(const Json &)> &pred,
                                              Millis timeout, size_t from) {
    std::optional<size_t> hit;
    size_t i = from;
    wait_until(
        [&] {
            poll();
            for (; i < lines_.size() && !hit; ++i)
                if (pred(lines_[i])) hit = i;
            return hit.has_value();
        },
        static_cast<int>(timeout.count()), 10);
    return hit;
}

Process start_broker(const std::string &mbxd, const std::string &dir, const std::string &socket,
                     const std::vector<std::string> &extra, const std::string &tag) {
    std::vector<std::string> argv = {mbxd, "--socket", socket};
    argv.insert(argv.end(), extra.begin(), extra.end());
    Process p(argv, dir, tag);
    if (!wait_until([&] { return socket_answers(socket); }, 10000, 10))
        throw std::runtime_error("mbxd does not answer on " + socket + ": " + p.err());
    return p;
}

bool json_contains(const Json &have, const Json &want) {
    if (!want.is_object()) return have == want;
    for (const auto &[key, value] : want.items())
        if (!have.is_object() || !have.contains(key) || !json_contains(have[key], value)) return false;
    return true;
}

static bool of_kind_matching(const Json &j, const std::string &kind, const Json &match) {
    return j.is_object() && j.value("kind", "") == kind && (match.is_null() || json_contains(j, match));
}

std::optional<size_t> JournalReader::wait_kind(const std::string &kind, const Json &match,
                                               Millis timeout, size_t from) {
    return wait_for([&](const Json &j) { return of_kind_matching(j, kind, match); }, timeout, from);
}

std::vector<Json> JournalReader::of_kind(const std::string &kind, const Json &match, size_t from) {
    poll();
    std::vector<Json> out;
    for (size_t i = from; i < lines_.size(); ++i)
        if (of_kind_matching(lines_[i], kind, match)) out.push_back(lines_[i]);
    return out;
}

// ---------------------------------------------------------------------------
#ifndef FRAMESIM_PATH
#define FRAMESIM_PATH ""
#endif

Framesim::Framesim(Options options)
    : opt_(std::move(options)),
      dir_("framesim"),
      journal_path_(dir_.file("journal.jsonl")),
      control_path_(dir_.file("control.sock")),
      stdout_path_(dir_.file("stdout.txt")),
      stderr_path_(dir_.file("stderr.txt")),
      journal_(journal_path_) {
    const char *path = std::getenv("FRAMESIM");
    std::string exe = (path && *path) ? path : FRAMESIM_PATH;
    if (exe.empty()) throw std::runtime_error("framesim path unknown (FRAMESIM_PATH)");

    Process::Options po;
    po.argv = opt_.launcher;
    po.argv.insert(po.argv.end(), {exe, "--prog", std::to_string(prog_), "--vers", "1", "--cb-prog",
                                   std::to_string(cb_prog_), "--cb-vers", "1", "--journal", journal_path_,
                                   "--control", control_path_});
    auto add = [&](const char *option, const std::string &value) {
        if (!value.empty()) po.argv.insert(po.argv.end(), {option, value});
    };
    if (opt_.client_no) add("--client-no", std::to_string(*opt_.client_no));
    add("--client-name", opt_.client_name);
    add("--docroot", opt_.docroot);
    if (!opt_.scenario.empty()) add("--scenario", dir_.write("scenario.txt", opt_.scenario));
    if (opt_.time_limit > 0) add("--time-limit", std::to_string(opt_.time_limit));
    po.argv.insert(po.argv.end(), opt_.extra.begin(), opt_.extra.end());
    add("--session", opt_.session);
    if (opt_.session.empty()) {
        po.argv.push_back("--");
        po.argv.insert(po.argv.end(), opt_.client.begin(), opt_.client.end());
    }
    po.env = opt_.env;
    po.stdout_path = stdout_path_;
    po.stderr_path = stderr_path_;
    proc_.start(po);
}

Framesim::~Framesim() {
    proc_.stop(Millis(5000));
    pmap_unset(prog_, 1);
    pmap_unset(cb_prog_, 1);
}

bool Framesim::wait_ready(Millis timeout) {
    bool up = false;
    wait_until(
        [&] {
            up = socket_answers(control_path_);
            return up || !proc_.running();
        },
        static_cast<int>(timeout.count()));
    return up;
}

std::string Framesim::ctl(const std::string &command, Millis timeout) {
    int fd = connect_unix(control_path_);
    if (fd < 0) return "";
    const std::string line = command + "\n";
    struct timeval tv {static_cast<time_t>(timeout.count() / 1000),
                       static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string answer;
    char buf[4096];
    ssize_t n = 0;
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size()))
        while (answer.find('\n') == std::string::npos && (n = recv(fd, buf, sizeof buf, 0)) > 0)
            answer.append(buf, static_cast<size_t>(n));
    close(fd);
    auto nl = answer.find('\n');
    return nl == std::string::npos ? std::string() : answer.substr(0, nl);
}

}  // namespace fdk::test
