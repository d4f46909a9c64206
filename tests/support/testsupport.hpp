// testsupport.hpp - the helpers of the project's tests: temporary folders,
// polling waits, child processes, the bus broker, port-mapper look-ups, heap
// failures, journals and the Frame stand-in.  Each cleans up in its
// destructor: folders removed, processes killed and reaped, framesim's
// port-mapper registrations removed.
#ifndef FDK_TESTS_SUPPORT_TESTSUPPORT_HPP
#define FDK_TESTS_SUPPORT_TESTSUPPORT_HPP

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace fdk::test {

using Millis = std::chrono::milliseconds;
using Json = nlohmann::json;

// ---------------------------------------------------------------------------
// A fresh directory under $TMPDIR (or /tmp), readable by all.
class TempDir {
public:
    explicit TempDir(const std::string &prefix = "fdktest");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string &name) const;
    // Makes the directory path()/name (and its parents); returns its path.
    std::string mkdir(const std::string &name) const;
    // Writes text to path()/name and returns the full path.
    std::string write(const std::string &name, const std::string &text) const;

private:
    std::string path_;
};

// Reads a whole file; empty string when it cannot be read.
std::string read_file(const std::string &path);

// True when a Unix-domain socket at `path` accepts a connection now.
bool socket_answers(const std::string &path);

// Calls `pred` every `step_ms` until it holds or `ms` passed; the last
// answer of `pred`.
bool wait_until(const std::function<bool()> &pred, int ms, int step_ms = 20);

// ---------------------------------------------------------------------------
// Makes a library's heap refuse requests while in scope: every request
// (nth < 0) or only the nth from now (nth > 0).  `Alloc` is the library's
// table of allocation functions (Malloc, Calloc and, if it has one,
// Realloc), `install` the library's function that puts a table in place
// and returns the one it replaces.  One fault at a time.
template <class Alloc, Alloc (*install)(const Alloc *)>
class HeapFault {
public:
    explicit HeapFault(int nth = -1) {
        countdown_ = nth;
        Alloc a{};
        a.Malloc = [](size_t n) { return refuse() ? nullptr : std::malloc(n); };
        a.Calloc = [](size_t c, size_t n) { return refuse() ? nullptr : std::calloc(c, n); };
        if constexpr (requires { a.Realloc; })
            a.Realloc = [](void *p, size_t n) { return refuse() ? nullptr : std::realloc(p, n); };
        old_ = install(&a);
    }
    ~HeapFault() { install(&old_); }
    HeapFault(const HeapFault &) = delete;
    HeapFault &operator=(const HeapFault &) = delete;

private:
    static bool refuse() { return countdown_ < 0 || (countdown_ > 0 && --countdown_ == 0); }
    static inline int countdown_ = 0;
    Alloc old_;
};

// ---------------------------------------------------------------------------
struct ExitStatus {
    bool exited = false;    // normal exit: code is valid
    int code = -1;
    bool signaled = false;  // killed by a signal: signal is valid
    int signal = 0;
    bool timed_out = false; // still running when the wait ended
};

// One child process (fork/exec), its output in files; SIGKILLed and reaped
// on destruction if still running.
class Process {
public:
    struct Options {
        std::vector<std::string> argv;                // argv[0] is the path
        std::map<std::string, std::string> env;       // added/overridden variables
        std::vector<std::string> unset_env;           // removed variables
        std::string stdout_path;                      // "" = /dev/null
        std::string stderr_path;                      // "" = /dev/null
    };

    Process() = default;
    explicit Process(const Options &options) { start(options); }
    // argv with standard output and error in <dir>/<tag>.out and .err.
    Process(const std::vector<std::string> &argv, const std::string &dir, const std::string &tag);
    ~Process();
    Process(Process &&other) noexcept;
    Process &operator=(Process &&other) noexcept;
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    // Starts the process; throws std::runtime_error when it cannot be started.
    void start(const Options &options);
    pid_t pid() const { return pid_; }
    // Started and not ended (a process that ended is reaped here).
    bool running() { return pid_ > 0 && wait(Millis(0)).timed_out; }
    // Exit status, or 128 + signal number; -1 while running.
    int exit_code();
    // True when the process ended within `ms`.
    bool ends_within(int ms) { return !wait(Millis(ms)).timed_out; }
    // What it wrote so far to its standard output and error files.
    std::string out() const;
    std::string err() const;
    // Waits up to `ms` until its standard output contains `text`.
    bool wait_for_output(const std::string &text, int ms);

    // Waits up to `timeout` for the process to end.  The status stays
    // available after the process has been reaped.
    ExitStatus wait(Millis timeout);
    // Sends a signal (no effect once reaped).
    void kill(int sig);
    // SIGTERM, wait up to `grace`, then SIGKILL and reap.
    ExitStatus stop(Millis grace = Millis(3000));

private:
    void end();  // kills (SIGKILL) and reaps it if it still runs
    pid_t pid_ = -1;
    std::optional<ExitStatus> status_;
    std::string out_path_, err_path_;
};

// Starts mbxd (path `mbxd`) on `socket`, output in <dir>/<tag>.out and .err,
// and waits until the socket answers; throws when it does not.
Process start_broker(const std::string &mbxd, const std::string &dir, const std::string &socket,
                     const std::vector<std::string> &extra = {},
                     const std::string &tag = "mbxd");

// ---------------------------------------------------------------------------
// A transient program number the local port mapper holds nothing for.
uint32_t unique_program();
// The TCP port the local port mapper holds for prog and vers (vers 0: for any
// version and protocol); 0 for none.
uint16_t registered_port(uint32_t prog, uint32_t vers);

// ---------------------------------------------------------------------------
// Whether `have` holds every member of `want`, objects compared member by
// member, anything else whole.
bool json_contains(const Json &have, const Json &want);

class JournalReader {
public:
    explicit JournalReader(std::string path) : path_(std::move(path)) {}

    // Reads lines appended since the last poll.  Lines that are not valid
    // JSON are kept as a JSON string holding the raw text.
    void poll();
    // Every line read so far.
    const std::vector<Json> &lines() { poll(); return lines_; }
    // Passes over what the file holds now: later lines are appended after
    // the ones read so far (for journals too long to read whole).
    void skip_to_end();
    // Waits until a line (from index `from` on) satisfies pred; returns its
    // index or nullopt after `timeout`.
    std::optional<size_t> wait_for(const std::function<bool(const Json &)> &pred,
                                   Millis timeout, size_t from = 0);
    // The first line of the given "kind" that json_contains `match` (null:
    // any line of the kind).
    std::optional<size_t> wait_kind(const std::string &kind, const Json &match,
                                    Millis timeout, size_t from = 0);
    // Every such line, from index `from` on.
    std::vector<Json> of_kind(const std::string &kind, const Json &match = {}, size_t from = 0);

private:
    std::string path_;
    std::string partial_;
    off_t offset_ = 0;
    std::vector<Json> lines_;
};

// ---------------------------------------------------------------------------
// framesim with a journal and a control socket in its own temporary folder.
class Framesim {
public:
    struct Options {
        std::string session;              // non-empty: --session NAME, no client
        std::vector<std::string> client;  // launch mode: client argv
        std::optional<int> client_no;
        std::string client_name;          // "": not passed
        std::string docroot;              // "": not passed
        std::string scenario;             // scenario text, written to a file
        double time_limit = 60;           // seconds; 0: not passed
        std::vector<std::string> extra;     // more options, before "--"
        std::vector<std::string> launcher;  // words before framesim's path (another host)
        std::map<std::string, std::string> env;
    };

    explicit Framesim(Options options);
    ~Framesim();
    Framesim(const Framesim &) = delete;
    Framesim &operator=(const Framesim &) = delete;

    // Frame's and the callback's program numbers, fresh ones, version 1.
    uint32_t prog() const { return prog_; }
    uint32_t vers() const { return 1; }
    uint32_t cb_prog() const { return cb_prog_; }
    uint32_t cb_vers() const { return 1; }
    const std::string &journal_path() const { return journal_path_; }
    const std::string &stdout_path() const { return stdout_path_; }
    const std::string &stderr_path() const { return stderr_path_; }
    JournalReader &journal() { return journal_; }
    Process &process() { return proc_; }

    // Waits until the control socket accepts connections (framesim is up and
    // its program is registered).  False after the time-out or if framesim
    // ended.
    bool wait_ready(Millis timeout = Millis(10000));
    // Sends one command line to the control socket and returns the answer
    // line ("ok ..." or "error ...").  Empty string when no answer came.
    std::string ctl(const std::string &command, Millis timeout = Millis(60000));
    // Waits for framesim to end by itself.
    ExitStatus wait_exit(Millis timeout) { return proc_.wait(timeout); }

private:
    Options opt_;
    uint32_t prog_ = unique_program(), cb_prog_ = unique_program();
    TempDir dir_;
    std::string journal_path_, control_path_, stdout_path_, stderr_path_;
    JournalReader journal_;
    Process proc_;
};

}  // namespace fdk::test

#endif  // FDK_TESTS_SUPPORT_TESTSUPPORT_HPP
