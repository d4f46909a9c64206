// The callback service and the turn-over protocol against framesim: every
// callback procedure, exactly one over call per callback, take and done
// control, modal waits, F_ApiRun, shutting down twice, descriptor reports,
// and the library's default entry points.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "rt_support.hpp"

using fdk::test::Framesim;
using fdk::test::Json;
using fdk::test::Millis;
using fdk::test::read_file;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;

namespace {

// Runs `client` under framesim with `scenario` (which ends the client with
// quit) and waits until framesim has ended by itself.
struct SimRun {
    SimRun(std::vector<std::string> client, const std::string &scenario, int client_no = -1) {
        Framesim::Options o;
        o.client = std::move(client);
        o.client_no = client_no;
        o.scenario = scenario;
        o.time_limit = 60;
        fs = std::make_unique<Framesim>(o);
        // Ended by itself because the client exited, with every scenario
        // command done (framesim's own exit status is its business).
        auto st = fs->wait_exit(Millis(30000));
        auto end = fs->journal().wait_kind("end", {{"reason", "client exited"}, {"failed", false}},
                                           Millis(0));
        ended = !st.timed_out && end.has_value();
    }
    fdk::test::JournalReader &journal() { return fs->journal(); }
    std::unique_ptr<Framesim> fs;
    bool ended = false;
};

// Entry-point lines of the client log (without start, fd and exit lines).
std::vector<std::string> entries(const rt::ClientLog &log) {
    std::vector<std::string> out;
    for (const auto &l : log.lines())
        if (l.rfind("start ", 0) != 0 && l.rfind("fd ", 0) != 0) out.push_back(l);
    return out;
}

TEST(Callbacks, EveryProcedureIsAnsweredAndDeliveredWithOneOverCallEach) {
    rt::ClientLog log;
    SimRun run({RT_CLIENT_PATH, log.path(), "serve"},
            "init 5\nwait over\n"
            "command 0\nwait over\n"
            "command 1\nwait over\n"
            "command 2\nwait over\n"
            "command 3\nwait over\n"
            "message \"hello there\" 3 4294967295\nwait over\n"
            "dialog 5 6 7\nwait over\n"
            "dialog 0 0 42\nwait over\n"
            "callback 0\ncallback 8\ncallback 9\n"
            "notify4 2 3 oldfile\n"
            "init 1\nwait over\n"
            "event 2 4 \"a file\" -5\nwait over\n"
            "quit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    auto &j = run.journal();

    EXPECT_THAT(rt::callback_outcomes(j),
                ElementsAre("2 replied", "3 replied", "3 replied", "3 replied", "3 replied",
                            "4 replied", "6 replied", "6 replied", "0 replied", "8 noproc",
                            "9 noproc", "5 sent", "2 replied", "7 replied", "1 replied"));
    EXPECT_THAT(entries(log),
                ElementsAre("init 5", "command 0", "command 1", "done 0", "command 2", "done 0",
                            "done -1", "command 3", "take -1", "message hello there 3 4294967295",
                            "dialog 5 6 7", "init 1", "request 0", "notify 2 4 a file -5",
                            "exit 0"));
    // One over call for each of the ten callbacks that handed control to the
    // client, whether or not the entry point handed it back itself; no
    // take-control request from inside an entry point.
    auto ov = rt::overs(j);
    EXPECT_EQ(ov.size(), 10u);
    for (const auto &o : ov) EXPECT_EQ(o.value("bailout", -1), 0);
    EXPECT_EQ(rt::unexpected_controls(j), 0);
    for (const auto &l : j.of_kind("control")) EXPECT_NE(l.value("event", ""), "take");
    EXPECT_THAT(read_file(run.fs->stderr_path()),
                HasSubstr("Frame API client \"rt_client\": Frame process sent old-style "
                          "notification.\n"));
}

TEST(Callbacks, TheLibraryDefaultsServeCommandsAndDialogEvents) {
    rt::ClientLog log;
    SimRun run({RT_DEFAULTS_PATH, log.path()},
            "command 3\nwait over\ndialog 1 2 3\nwait over\ninit 7\nwait over\nquit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    EXPECT_THAT(rt::callback_outcomes(run.journal()),
                ElementsAre("3 replied", "6 replied", "2 replied", "1 replied"));
    EXPECT_EQ(rt::overs(run.journal()).size(), 3u);
    EXPECT_THAT(log.lines(), ElementsAre("init 7", "exit 0"));
}

TEST(TurnOver, TakeAndDoneControlComeInPairs) {
    rt::ClientLog log;
    SimRun run({RT_CLIENT_PATH, log.path(), "take-done"}, "init 2\nwait over\nquit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    EXPECT_THAT(entries(log), ElementsAre("take 0", "take -1", "done 0", "done -1", "init 2",
                                          "exit 0"));
    std::vector<std::string> control;
    for (const auto &l : run.journal().of_kind("control"))
        control.push_back(l.value("event", "?"));
    EXPECT_THAT(control, ElementsAre("take", "over", "callback", "over"));
    EXPECT_EQ(rt::unexpected_controls(run.journal()), 0);
}

TEST(TurnOver, ModalWaitsReturnTheirClosingValuesInnermostFirst) {
    rt::ClientLog log;
    SimRun run({RT_CLIENT_PATH, log.path(), "serve"},
            "command 4\nwait over\n"
            "dialog 9 1 2\nwait over\n"
            "dialog 0 0 11\nwait over\n"
            "dialog 0 0 22\nwait over\n"
            "quit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    // "done -1" after the outer wait: the control state it saved (handed back)
    // is restored.
    EXPECT_THAT(entries(log), ElementsAre("command 4", "done 0", "dialog 9 1 2", "done 0",
                                          "inner-modal 11", "modal 22", "done -1", "exit 0"));
    EXPECT_EQ(rt::overs(run.journal()).size(), 4u);
    EXPECT_EQ(rt::unexpected_controls(run.journal()), 0);
}

TEST(Service, RunServesUntilQuitAndShutsDown) {
    rt::ClientLog log;
    SimRun run({RT_CLIENT_PATH, log.path(), "run"}, "init 3\nwait over\nmessage m 1 2\nwait over\nquit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    EXPECT_THAT(entries(log), ElementsAre("init 3", "message m 1 2", "exit 0"));
    EXPECT_EQ(rt::registered_port(run.fs->cb_prog(), run.fs->cb_vers()), 0);
}

TEST(Service, ShutDownTwiceEndsCleanly) {
    rt::ClientLog log;
    Framesim::Options o;
    o.client = {RT_CLIENT_PATH, log.path(), "shutdown-twice"};
    o.client_no = -1;
    o.time_limit = 60;
    Framesim fs(o);
    const int launched = rt::client_pid(fs.journal(), "start");
    ASSERT_TRUE(fs.journal().wait_kind(
        "client", {{"event", "exit"}, {"pid", launched}, {"status", 0}}, Millis(15000)));
    EXPECT_TRUE(log.has("shut down"));
    EXPECT_EQ(rt::registered_port(fs.cb_prog(), fs.cb_vers()), 0);
}

TEST(Descriptors, ACallbackInstalledLaterHearsOfEveryOpenDescriptor) {
    rt::ClientLog log;
    SimRun run({RT_CLIENT_PATH, log.path(), "late-fd"}, "init 2\nwait over\nquit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    auto lines = log.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("start ", 0), 0u) << "nothing is reported before installing";
    EXPECT_EQ(lines[1], "installing");
    // The callback service's socket and the timer of its guard at once,
    // Frame's accepted connection when the service accepts it; all before
    // the callback that comes over it.
    ASSERT_GE(lines.size(), 5u);
    for (int i : {2, 3, 4}) EXPECT_THAT(lines[i], ::testing::MatchesRegex("fd [0-9]+ on"));
    EXPECT_EQ(std::set<std::string>(lines.begin() + 2, lines.begin() + 5).size(), 3u);
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 5, lines.end()),
                ElementsAre("init 2", "exit 0"));
}

}  // namespace
