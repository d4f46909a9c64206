// client_test.cpp - framesim with a real client process: the start-up
// handshake (FMAPIX, fork, initial contact, callback connection), the
// turn-over protocol, notifications and events, hypertext messages, and the
// ways framesim ends.
#include <signal.h>

#include "sim_test_util.hpp"

using namespace simtest;
using fdk::test::JournalReader;

namespace {

std::vector<std::string> client(const std::string &log, std::vector<std::string> more = {}) {
    std::vector<std::string> argv = {SIM_TEST_CLIENT_PATH, "--log", log};
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
}

Framesim::Options launch(const fdk::test::TempDir &dir, std::vector<std::string> more = {}, int client_no = 0) {
    Framesim::Options o;
    o.client = client(dir.file("client.jsonl"), std::move(more));
    o.client_no = client_no;
    o.client_name = "tclient";
    return o;
}

// The "control" lines of the journal as "callback"/"over"/"take" in order.
std::vector<std::string> control_events(JournalReader &j) {
    std::vector<std::string> out;
    for (const auto &l : j.of_kind("control")) out.push_back(l["event"]);
    return out;
}

TEST(Client, StartUpHandshakeForksContactsAndEndsWhenTheClientLeaves) {
    fdk::test::TempDir dir;
    Framesim fs(launch(dir));
    JournalReader log(dir.file("client.jsonl"));
    auto contact = fs.journal().wait_kind("client", {{"event", "contact"}}, Millis(10000));
    ASSERT_TRUE(contact);
    ASSERT_TRUE(fs.journal().wait_kind("client", {{"event", "connected"}}, Millis(5000)));

    auto start = fs.journal().of_kind("start").at(0);
    auto fm = log.wait_for([](const Json &j) { return j["event"] == "fmapix"; }, Millis(5000));
    ASSERT_TRUE(fm);
    Json f = log.lines()[*fm];
    EXPECT_EQ(f["cb_prog"], static_cast<int>(fs.cb_prog()));
    EXPECT_EQ(f["cb_vers"], static_cast<int>(fs.cb_vers()));
    EXPECT_EQ(f["prog"], static_cast<int>(fs.prog()));
    EXPECT_EQ(f["vers"], static_cast<int>(fs.vers()));
    EXPECT_EQ(f["frame_pid"], start["pid"]);
    EXPECT_EQ(f["client_no"], 0);
    EXPECT_EQ(f["name"], "tclient");

    // The process framesim started forked; the child made the contact and
    // the parent's exit was seen.
    auto launched = fs.journal().of_kind("client").at(0);
    EXPECT_EQ(launched["event"], "start");
    Json c = fs.journal().lines()[*contact];
    EXPECT_NE(c["pid"], launched["pid"]);
    EXPECT_TRUE(fs.journal().wait_kind("client", {{"event", "exit"}, {"pid", launched["pid"]}, {"status", 0}},
                                       Millis(5000)));

    EXPECT_EQ(fs.ctl("quit"), "ok replied");
    auto st = fs.wait_exit(Millis(10000));
    ASSERT_TRUE(st.exited);
    EXPECT_EQ(st.code, 0);
    auto end = fs.journal().of_kind("end");
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0]["reason"], "client exited");
    EXPECT_TRUE(fs.journal().wait_kind("client", {{"event", "exit"}, {"pid", c["pid"]}}, Millis(100)));
    EXPECT_EQ(fdk::test::registered_port(fs.prog(), fs.vers()), 0) << "registration removed";
}

// Joining a named session and a client number below 0 (no fork) are in the
// runtime's tests (rt_connect_test, rt_startup_test), with the real client.

TEST(Client, CallbacksWaitForTheOverCallOneAtATime) {
    fdk::test::TempDir dir;
    Framesim::Options o = launch(dir, {"--turn-ms", "150"});
    o.scenario = "init 1\ncommand 7\ndialog 1 2 3\ncallback 7 2 0 file 5\nwait over\n";
    Framesim fs(o);
    ASSERT_TRUE(fs.journal().wait_kind("command", {{"command", "wait over"}}, Millis(15000)));
    EXPECT_EQ(control_events(fs.journal()),
              (std::vector<std::string>{"callback", "over", "callback", "over", "callback", "over", "callback",
                                        "over"}));
    JournalReader log(dir.file("client.jsonl"));
    int callbacks = 0;
    for (const auto &l : log.lines()) {
        EXPECT_NE(l["event"], "violation") << l.dump();
        if (l["event"] == "callback") {
            ++callbacks;
            EXPECT_EQ(l["nested"], false);
        }
    }
    EXPECT_EQ(callbacks, 4);
    for (const auto &l : fs.journal().of_kind("command")) EXPECT_EQ(l["ok"], true) << l.dump();
}

TEST(Client, TakeControlHoldsCallbacksBackUntilTheOver) {
    fdk::test::TempDir dir;
    Framesim fs(launch(dir, {"--take-ms", "800"}));
    ASSERT_TRUE(fs.journal().wait_kind("control", {{"event", "take"}}, Millis(10000)));
    // Sent while the client holds control: framesim must queue it.
    EXPECT_EQ(fs.ctl("init 5"), "ok replied");
    EXPECT_EQ(fs.ctl("wait over 10"), "ok bailout 0");
    EXPECT_EQ(control_events(fs.journal()), (std::vector<std::string>{"take", "over", "callback", "over"}));
    JournalReader log(dir.file("client.jsonl"));
    for (const auto &l : log.lines()) EXPECT_NE(l["event"], "violation") << l.dump();
    // A wait with nothing pending waits for the next over call.
    EXPECT_EQ(fs.ctl("wait over 0.3"), "error timed out waiting for the over call");
}

TEST(Client, EventsReachOnlyAClientThatAskedForThem) {
    fdk::test::TempDir dir;
    Framesim fs(launch(dir, {"--take-ms", "0", "--request", "34"}));
    ASSERT_TRUE(fs.journal().wait_kind("notify-request", {{"notification", 34}, {"state", 1}}, Millis(10000)));
    EXPECT_EQ(fs.ctl("event 2 active x.doc 0"), "ok not delivered: notification 2 not requested");
    EXPECT_EQ(fs.ctl("event 34 0 \"a file\" 9"), "ok replied");
    EXPECT_EQ(fs.ctl("wait over"), "ok bailout 0");
    JournalReader log(dir.file("client.jsonl"));
    auto cb = log.wait_for([](const Json &j) { return j["event"] == "callback" && j["proc"] == 7; }, Millis(5000));
    ASSERT_TRUE(cb);
    EXPECT_EQ(log.lines()[*cb]["args"],
              Json::parse(R"({"docId":0,"fileName":"a file","iparm":9,"notification":34})"));
    // The old-style notification is sent and never answered; a raw
    // procedure the client does not have is answered with an RPC error.
    EXPECT_EQ(fs.ctl("notify4 2 0 f"), "ok sent");
    EXPECT_EQ(fs.ctl("callback 9"), "ok noproc");
    EXPECT_EQ(fs.ctl("init 3"), "ok replied");
}

TEST(Client, HypertextMessageCallsTheClientAfterTheTurn) {
    fdk::test::TempDir dir;
    Framesim fs(launch(dir));
    ASSERT_TRUE(fs.journal().wait_kind("client", {{"event", "connected"}}, Millis(10000)));
    FrameConn conn(fs);
    ASSERT_NE(conn.c, nullptr);
    int zero = 0;
    ASSERT_NE(api_fm_take_control_1(&zero, conn.c), nullptr);
    OpenResult o = open_doc(conn.c, example("intro.json"));
    char cmd[] = "message help me";
    ApiFmHypertextCommandArgT h{o.doc, cmd};
    EXPECT_EQ(*api_fm_hypertext_command_1(&h, conn.c), 0);
    usleep(200000);
    EXPECT_TRUE(fs.journal().of_kind("callback").empty()) << "nothing while the client holds control";
    ASSERT_NE(api_fm_over_1(&zero, conn.c), nullptr);
    auto cb = fs.journal().wait_kind("callback", {{"proc", 4}, {"outcome", "replied"}}, Millis(5000));
    ASSERT_TRUE(cb);
    EXPECT_EQ(fs.journal().lines()[*cb]["args"],
              (Json{{"message", "help me"}, {"docId", o.doc}, {"objId", 0}}));
}

TEST(Client, EndsCleanlyOnSignalAndTimeLimitAndVanishesWithoutCleanUp) {
    {
        fdk::test::TempDir dir;
        Framesim fs(launch(dir));
        ASSERT_TRUE(fs.journal().wait_kind("client", {{"event", "connected"}}, Millis(10000)));
        EXPECT_NE(fdk::test::registered_port(fs.prog(), fs.vers()), 0);
        fs.process().kill(SIGTERM);
        auto st = fs.wait_exit(Millis(10000));
        EXPECT_TRUE(st.exited);
        EXPECT_EQ(fdk::test::registered_port(fs.prog(), fs.vers()), 0);
        EXPECT_EQ(fdk::test::registered_port(fs.cb_prog(), fs.cb_vers()), 0) << "the client was ended too";
        EXPECT_EQ(fs.journal().of_kind("end").at(0)["reason"], "signal Terminated");
    }
    {
        fdk::test::TempDir dir;
        Framesim::Options o = launch(dir);
        o.time_limit = 1;
        Framesim fs(o);
        auto st = fs.wait_exit(Millis(10000));
        EXPECT_TRUE(st.exited && st.code == 0);
        EXPECT_EQ(fs.journal().of_kind("end").at(0)["reason"], "time-limit");
        EXPECT_EQ(fdk::test::registered_port(fs.prog(), fs.vers()), 0);
    }
    {
        Framesim fs(session_options());
        ASSERT_TRUE(fs.wait_ready());
        EXPECT_EQ(fs.ctl("vanish", Millis(2000)), "");
        auto st = fs.wait_exit(Millis(5000));
        EXPECT_TRUE(st.signaled);
        EXPECT_NE(fdk::test::registered_port(fs.prog(), fs.vers()), 0) << "a vanished Frame leaves its registration";
        // The launcher's destructor removes it.
    }
}

}  // namespace
