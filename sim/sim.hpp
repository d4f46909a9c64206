// sim.hpp - framesim: the Frame session stand-in.
//
// One thread around one select loop over the RPC service descriptors, the
// control socket and its connections, the callback connection to the client
// and a signal descriptor.  The pieces:
//
//   service.cpp    the API program: one dispatcher, one generic handler per
//                  procedure-table row, fault injection, journal lines
//   behaviour.cpp  what the procedures that the model needs do
//   sim.cpp        start-up, the loop, the client process, the turn-over
//                  state, the two command executors (scenario file and
//                  control socket), the end and its clean-up
//   callback.cpp   calls to the client's callback program
//   model.cpp      objects, documents and the property store
#ifndef FDK_SIM_SIM_HPP
#define FDK_SIM_SIM_HPP

#include <rpc/rpc.h>
#include <sys/types.h>

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "callback.hpp"
#include "journal.hpp"
#include "model.hpp"
#include "options.hpp"
#include "scenario.hpp"

namespace fdk::sim {

using Clock = std::chrono::steady_clock;

// One pending fault for the next call of a procedure.
struct Fault {
    enum Kind { Fail, Drop, Cut, Delay } kind = Fail;
    IntT status = 0;  // Fail
    int ms = 0;       // Delay
    int offset = -1;  // Cut: bytes of the reply sent after its record mark; -1: none
};

// The arguments of a callback, as the scenario or the model asked for it.
struct CallbackRequest {
    int proc = 0;
    IntT a = 0, b = 0, c = 0;
    std::string text;
    F_ObjIdT doc = 0;
};

// A command source that runs its commands one after the other.
struct Executor {
    explicit Executor(std::string n) : name(std::move(n)) {}
    struct Item {
        Command cmd;
        int conn = -1;  // control connection to answer, -1 for the scenario
    };
    std::string name;  // "scenario" or "control"
    std::deque<Item> queue;
    std::optional<Item> current;
    bool started = false;
    Clock::time_point deadline{};
    uint64_t over_target = 0;
    bool waiting_callback = false;
    size_t journal_pos = 0;  // wait journal: next line to look at
    bool stopped = false;    // scenario: a command failed
    // wait over: a callback of this executor started a turn at `turn_mark`
    // overs and no wait has consumed it yet.
    bool callback_unwaited = false;
    uint64_t turn_mark = 0;
};

// A connection to the control socket.
struct CtlConn {
    std::string buf;   // bytes not yet a whole line
    int pending = 0;   // commands queued and not yet answered
    bool eof = false;  // the peer has finished sending
};

// What --summary prints.
struct Summary {
    std::vector<std::string> opened;  // "path -> handle"
    std::vector<std::string> titles;
    std::vector<std::string> scrolls;
    std::vector<IntT> fcodes;
    std::vector<std::string> alerts;
    std::vector<std::string> notifications;
    std::vector<std::string> hypertext;
};

class Sim {
public:
    explicit Sim(Options o);
    ~Sim();
    // Runs the session; the process's exit status.
    int run();

    // --- used by the service and the behaviours
    Options opt;
    Journal journal;
    Model model;
    Summary summary;
    std::map<int, std::deque<Fault>> faults;
    std::map<IntT, IntT> notify_requests;  // notification -> state
    bool frame_holds = true;
    uint64_t overs = 0;
    IntT last_bailout = 0;
    pid_t contact_pid = 0;
    // The host named by the last client that joined the session (procedure
    // 108): its callback program is looked up and called there.  Empty in
    // launch mode: the client runs on this host.
    std::string client_host;
    std::string client_dir;  // procedures 1342/1344
    std::deque<CallbackRequest> internal_callbacks;  // queued by the model
    bool session_closing = false;

    void on_contact(int pid, int proc);
    void on_over(IntT bailout);
    void on_take_control();
    void on_disconnect();
    // Resolves a path named by a client or a command against `base_dir`
    // (a document's directory) or the document root.
    std::string resolve(const std::string &path, const std::string &base_dir = {}) const;
    // Opens a document file; kOk and the handle, or an error code.
    IntT open_document(const std::string &path, bool visible, F_ObjIdT &doc, std::string &why);
    void record_scroll(F_ObjIdT doc, const F_TextLocT &loc, const char *how);
    // Runs a hypertext command as if clicked in document `doc`.
    IntT hypertext(F_ObjIdT doc, const std::string &command);
    void request_end(const std::string &reason, bool kill_client = true);
    void note_problem(const std::string &what);

    static Sim *instance;

private:
    friend void dispatch_api(struct svc_req *, SVCXPRT *);

    bool setup(std::string &error);
    void loop();
    void cleanup();
    bool spawn_client(std::string &error);
    void reap_children();
    void handle_signal();
    void stop_clients();
    void print_summary();

    // control socket
    // Journals the peer of each connection the RPC service accepted since
    // `before` (the service descriptors before svc_getreqset).
    void note_accepted(const fd_set &before);
    void accept_control();
    void read_control(int fd);
    void answer(int conn, const std::string &text);
    void answered(int conn);  // a queued command of `conn` has been answered

    // commands
    bool progress();
    bool step(Executor &ex);
    void finish(Executor &ex, bool ok, const std::string &detail);
    bool can_send() const { return contacted_ && frame_holds && !inflight_; }
    bool try_send(const CallbackRequest &req, Executor *owner, std::string &error);
    void on_callback_replies();
    void check_callback_timeout();
    bool ensure_connected(std::string &error);
    IntT apply_model_command(const Command &c, std::string &detail);
    nlohmann::json status_json() const;

    bool ending_ = false;
    std::string end_reason_;
    bool kill_client_ = true;
    bool failed_ = false;  // a scenario command failed
    std::optional<Clock::time_point> end_after_clients_;  // shutdown: grace deadline
    Clock::time_point started_at_;
    std::string default_dir_;  // relative paths without --docroot

    SVCXPRT *tcp_ = nullptr;
    SVCXPRT *udp_ = nullptr;
    bool registered_tcp_ = false, registered_udp_ = false;
    int sigfd_ = -1;
    int ctl_listen_ = -1;
    std::map<int, CtlConn> ctl_conns_;
    bool quit_queued_ = false;

    pid_t launched_ = 0;
    pid_t pgid_ = 0;
    bool children_left_ = false;

    CallbackChannel channel_;
    bool contacted_ = false;
    Clock::time_point next_connect_try_{};
    struct InFlight {
        uint32_t xid = 0;
        CallbackRequest req;
        nlohmann::json args;
        Executor *owner = nullptr;
        Clock::time_point deadline;
    };
    std::optional<InFlight> inflight_;

    Executor scenario_{"scenario"};
    Executor control_{"control"};
};

// Free-standing so that the ctl helper can use it without a Sim.
int run_ctl(const std::string &socket, const std::vector<std::string> &words);
// Quotes a word for the command language when it holds blanks or quotes.
std::string quote_word(const std::string &w);

}  // namespace fdk::sim

#endif
