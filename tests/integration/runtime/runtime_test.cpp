// The client runtime against framesim and the port mapper: start-up (fork,
// FMAPIX, initial contact, hookup failures), the callback service and the
// turn-over protocol, and joining a running session.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apislib.h"
#include "rt_log.hpp"

using namespace fdk::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Entry points of this test program, which never serves a callback itself.
extern "C" void F_ApiInitialize(IntT) {}
extern "C" void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) {}
extern "C" void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {}

namespace {

Framesim::Options launch(const std::string &client, rt::ClientLog &log, const char *mode,
                         int client_no, const std::string &scenario = {}) {
    Framesim::Options o;
    o.client = {client, log.path(), mode};
    o.client_no = client_no;
    o.scenario = scenario;
    return o;
}

int client_pid(JournalReader &j, const std::string &event) {
    auto at = j.wait_kind("client", {{"event", event}}, Millis(15000));
    return at ? j.lines()[*at].value("pid", -1) : -1;
}

bool exited(JournalReader &j, int pid, int status) {
    return j.wait_kind("client", {{"event", "exit"}, {"pid", pid}, {"status", status}}, Millis(15000))
        .has_value();
}

TEST(StartUp, ANumberFromZeroForksAndABelowZeroOneIsTurnedAround) {
    for (int no : {0, -5}) {
        rt::ClientLog log;
        Framesim fs(launch(RT_CLIENT_PATH, log, "serve", no));
        const int launched = client_pid(fs.journal(), "start"), contact = client_pid(fs.journal(), "contact");
        ASSERT_GT(contact, 0);
        if (no == 0) {
            EXPECT_NE(contact, launched) << "the forked child makes the contact";
            EXPECT_TRUE(exited(fs.journal(), launched, 0)) << "and its parent exits at once";
        } else {
            EXPECT_EQ(contact, launched);
        }
        const std::string start = "start " + std::to_string(contact) + (no ? " 4" : " 0");
        EXPECT_EQ(log.wait_prefix("start ", Millis(15000)), start);
        EXPECT_NE(registered_port(fs.cb_prog(), fs.cb_vers()), 0);
        EXPECT_EQ(fs.ctl("init 3"), "ok replied");
        EXPECT_EQ(fs.ctl("quit"), "ok replied");
        EXPECT_TRUE(log.wait_line("exit 0"));
        EXPECT_TRUE(exited(fs.journal(), contact, 0));
        EXPECT_EQ(registered_port(fs.cb_prog(), fs.cb_vers()), 0) << "shut down unregisters";
    }
}

// A bad FMAPIX: the message, exit status 1 (no fork), no registration left.
TEST(StartUp, WithoutAUsableFmapixTheClientIsRefusedAndLeavesNoRegistration) {
    const uint32_t prog = unique_program(), frame_prog = unique_program();
    const std::string p = std::to_string(prog), good = p + ".1 " + std::to_string(frame_prog) + ".1 ";
    struct Case {
        std::string fmapix;  // "-": unset
        bool run = false;    // rt_defaults through F_ApiRun
        std::string message = "not called by a Frame product";
    };
    const Case cases[] = {
        {"-"},
        {"-", true},
        {"garbage"},
        {good + "99"},
        {good + "99.-1."},
        {good + "99.-1x.name"},
        {good + "99.-1 .name"},
        {good + "99.4294967295.name"},
        {good + "99999999999.-1.name"},
        {p + ".1x " + std::to_string(frame_prog) + ".1 99.-1.name"},
        {p + ".1" + std::to_string(frame_prog) + ".1 99.-1.name"},
        {"4294967296.1 " + std::to_string(frame_prog) + ".1 99.-1.name"},
        // Well formed, but Frame's program is not there: the callback
        // program was registered and is removed again.
        {good + std::to_string(getpid()) + ".-1.name trailing", false,
         "unable to create TCP client"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fmapix);
        rt::ClientLog log;
        Process::Options po;
        po.argv = {c.run ? RT_DEFAULTS_PATH : RT_CLIENT_PATH, log.path(), c.run ? "run" : "serve"};
        if (c.fmapix != "-") po.env["FMAPIX"] = c.fmapix;
        else po.unset_env = {"FMAPIX"};
        po.stderr_path = log.path() + ".err";
        Process proc(po);
        ExitStatus st = proc.wait(Millis(10000));
        ASSERT_TRUE(st.exited);
        EXPECT_EQ(st.code, 1);
        const std::string name = c.message == "not called by a Frame product" ? "???" : "name";
        EXPECT_EQ(read_file(po.stderr_path), "Frame API client \"" + name + "\": " + c.message + ".\n");
        EXPECT_TRUE(log.wait_line("exit 1", Millis(0)));
        EXPECT_EQ(registered_port(prog, 1), 0);
    }
}

TEST(StartUp, RefusedInitialContactIsReportedWithTheBoundedName) {
    rt::ClientLog log;
    Framesim::Options o = launch(RT_CLIENT_PATH, log, "serve", -1, "drop 1000\n");
    o.client_name = std::string(300, 'n');
    Framesim fs(o);
    ASSERT_TRUE(exited(fs.journal(), client_pid(fs.journal(), "start"), 1));
    EXPECT_TRUE(log.wait_line("startup-failed unable to make initial contact", Millis(0)));
    EXPECT_THAT(read_file(fs.stderr_path()), HasSubstr("Frame API client \"" + std::string(255, 'n') +
                                                       "\": unable to make initial contact.\n"));
}

// In-process, hookup with no Frame: an unknown host, every descriptor
// taken, or descriptors 3 to 40 taken (as a parent may leave them).
void hookup_without_descriptors(uint32_t prog, bool all) {
    if (all) {
        struct rlimit lim = {64, 64};
        setrlimit(RLIMIT_NOFILE, &lim);
        while (dup(2) >= 0) {
        }
    } else {
        for (int fd = 3; fd <= 40; ++fd)
            if (fcntl(fd, F_GETFD) < 0) dup2(2, fd);
    }
    const char *m = hookup(static_cast<int>(prog), 1, static_cast<int>(prog) + 1, 1, 0, nullptr);
    std::fprintf(stderr, "%s %s", m ? m : "(null)", client_transp == nullptr ? "none" : "made");
    _exit(0);
}

TEST(Hookup, FailuresAreReportedAndLeaveNoRegistration) {
    const uint32_t prog = unique_program();
    EXPECT_STREQ(hookup(static_cast<int>(prog), 1, 1, 1, getpid(), "no-such-host.invalid"),
                 "unable to gethostbyname");
    EXPECT_EQ(hispid, kRemoteFramePid) << "not this host: no liveness test by pid";
    F_ApiShutDown();
    EXPECT_EQ(registered_port(prog, 1), 0);
    EXPECT_EXIT(hookup_without_descriptors(prog, true), ::testing::ExitedWithCode(0),
                "^unable to create TCP service none$");
    EXPECT_EXIT(hookup_without_descriptors(prog, false), ::testing::ExitedWithCode(0),
                "^no free descriptor below 32 none$");
}

// ---------------------------------------------------------------------------
// Callbacks and the turn-over protocol.

// Runs a test client under framesim with `scenario`, which ends it with quit;
// framesim must end because the client exited, every command done.
struct SimRun {
    SimRun(const std::string &client, const char *mode, const std::string &scenario) {
        fs = std::make_unique<Framesim>(launch(client, log, mode, -1, scenario));
        auto st = fs->wait_exit(Millis(30000));
        JournalReader &j = fs->journal();
        ended = !st.timed_out &&
                j.wait_kind("end", {{"reason", "client exited"}, {"failed", false}}, Millis(0));
        for (const auto &l : j.of_kind("control")) control.push_back(l.value("event", "?"));
        for (const auto &l : j.of_kind("callback"))
            outcomes.push_back(std::to_string(l.value("proc", -1)) + " " + l.value("outcome", "?"));
        for (const auto &l : log.lines())
            if (l.rfind("start ", 0) != 0 && l.rfind("fd ", 0) != 0) entries.push_back(l);
    }
    rt::ClientLog log;
    std::unique_ptr<Framesim> fs;
    bool ended = false;
    std::vector<std::string> control, outcomes, entries;
};

// Outside a callback the client takes and hands back control twice, then
// Frame sends every callback, without waits: framesim sends the next one
// only after the over call of the last.
TEST(Callbacks, EveryProcedureIsAnsweredAndDeliveredWithOneOverCallEach) {
    SimRun run(RT_CLIENT_PATH, "take-done",
               "init 5\ncommand 0\ncommand 1\ncommand 2\ncommand 3\n"
               "message \"hello there\" 3 4294967295\ndialog 5 6 7\ndialog 0 0 42\n"
               "callback 0\ncallback 8\ncallback 9\nnotify4 2 3 oldfile\n"
               "event 2 1 early 0\ninit 1\nevent 2 4 \"a file\" -5\n"
               "command 4\ndialog 9 1 2\ndialog 0 0 11\ndialog 0 0 22\nwait over\nquit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    EXPECT_THAT(run.outcomes, ElementsAre("2 replied", "3 replied", "3 replied", "3 replied", "3 replied",
                                          "4 replied", "6 replied", "6 replied", "0 replied", "8 noproc",
                                          "9 noproc", "5 sent", "2 replied", "7 replied", "3 replied",
                                          "6 replied", "6 replied", "6 replied", "1 replied"));
    // The event sent before the request for it is not delivered.  Modal
    // waits return their closing values innermost first, each ending at its
    // own level; "done -1" after the outer one, control was handed back.
    EXPECT_THAT(run.entries,
                ElementsAre("take 0", "take -1", "done 0", "done -1", "init 5", "command 0", "command 1",
                            "done 0", "command 2", "done 0", "done -1", "command 3", "take -1",
                            "message hello there 3 4294967295", "dialog 5 6 7", "init 1", "request 0",
                            "notify 2 4 a file -5", "command 4", "done 0", "dialog 9 1 2", "done 0",
                            "inner-modal 11", "modal 22", "done -1", "exit 0"));
    // One over call per callback that handed control over, whether the entry
    // point handed it back itself or not; no take request from inside one.
    std::vector<std::string> turns = {"take", "over"};
    for (int i = 0; i < 14; ++i) turns.insert(turns.end(), {"callback", "over"});
    EXPECT_EQ(run.control, turns);
    EXPECT_THAT(read_file(run.fs->stderr_path()),
                HasSubstr("Frame API client \"rt_client\": Frame process sent old-style notification.\n"));
    // The descriptor callback, installed after start-up, heard at once of the
    // service's socket and the guard's timer (below 32), and of Frame's
    // connection before the first callback that came over it.
    auto lines = run.log.lines();
    std::set<std::string> fds;
    for (size_t i = 1; i < lines.size() && lines[i] != "init 5"; ++i)
        if (lines[i].rfind("fd ", 0) == 0) fds.insert(lines[i]);
    EXPECT_EQ(fds.size(), 3u);
    for (const auto &l : fds) EXPECT_THAT(l, ::testing::MatchesRegex("fd ([0-9]|[12][0-9]|3[01]) on"));
}

TEST(Callbacks, RunWithTheLibraryDefaultsServesCommandsAndDialogEvents) {
    SimRun run(RT_DEFAULTS_PATH, "run", "command 3\ndialog 1 2 3\ninit 7\nquit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    EXPECT_THAT(run.outcomes, ElementsAre("3 replied", "6 replied", "2 replied", "1 replied"));
    EXPECT_THAT(run.control, ElementsAre("callback", "over", "callback", "over", "callback", "over"));
    EXPECT_THAT(run.entries, ElementsAre("init 7", "exit 0"));
    EXPECT_EQ(registered_port(run.fs->cb_prog(), run.fs->cb_vers()), 0);
}

// Joining `framesim --session` in-process: the connection and its time-out,
// the result codes (also in FA_errno), a callback program already taken.
void other_dispatcher(struct svc_req *, SVCXPRT *) {}

TEST(Connect, JoinsARunningSessionOrSaysWhyNot) {
    Framesim::Options o;
    o.session = "docs";
    Framesim fs(o);
    ASSERT_TRUE(fs.wait_ready());
    const IntT prog = static_cast<IntT>(fs.prog());
    SVCXPRT *other = svctcp_create(RPC_ANYSOCK, 0, 0);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(svc_register(other, fs.cb_prog(), fs.cb_vers(), other_dispatcher, 0));
    EXPECT_EQ(F_ApiConnectToSession("docs", "", prog), -22);
    F_ApiShutDown();
    EXPECT_STREQ(hookup(static_cast<int>(fs.cb_prog()), 1, prog, 1, 0, nullptr),
                 "unable to register TCP client).");
    F_ApiShutDown();
    svc_unregister(fs.cb_prog(), fs.cb_vers());
    svc_destroy(other);
    FA_bailout = 1;
    ASSERT_EQ(F_ApiConnectToSession("docs", "localhost", prog), 0);
    EXPECT_EQ(FA_bailout, 0);
    EXPECT_EQ(hispid, fs.process().pid()) << "a session on this host keeps the liveness test";
    timeval t{};
    ASSERT_TRUE(clnt_control(frame_client, CLGET_TIMEOUT, reinterpret_cast<char *>(&t)));
    EXPECT_EQ(t.tv_sec, 604800) << "no time-out chosen: a week";
    EXPECT_TRUE(fs.journal().wait_kind("client", {{"event", "contact"}, {"pid", getpid()}}, Millis(10000)));
    F_ApiShutDown();
    EXPECT_EQ(registered_port(fs.cb_prog(), fs.cb_vers()), 0);

    EXPECT_EQ(F_ApiConnectToSession("docs", "", static_cast<IntT>(unique_program())), -20);
    EXPECT_EQ(FA_errno, -20);
    const IntT status = F_ApiConnectToSession("another", "", prog);  // the session's own status
    EXPECT_NE(status, 0);
    EXPECT_EQ(FA_errno, status);
    EXPECT_TRUE(fs.journal().wait_for(
        [&](const Json &l) { return l.value("proc", 0) == 108 && l["reply"].value("status", 0) == status; },
        Millis(5000)));
    FA_TimeOut = {0, 1};  // no reply in time
    EXPECT_EQ(F_ApiConnectToSession("docs", "", prog), -7);
    FA_TimeOut = {0, 0};
    EXPECT_EQ(F_ApiConnectToSession(nullptr, "", prog), -7);  // a session name that cannot travel
    EXPECT_EQ(FA_errno, -7);
    EXPECT_EQ(frame_client, nullptr);
}

}  // namespace
