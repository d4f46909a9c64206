// Long waits against framesim (label "slow"): a quiet Frame that is alive
// keeps the client waiting, a Frame that vanishes is noticed by the
// liveness test after a quiet wait, and a reply that takes longer than the
// stubs' per-call 25 seconds does not fail the call.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "rt_support.hpp"

using fdk::test::ExitStatus;
using fdk::test::Framesim;
using fdk::test::Millis;
using fdk::test::read_file;

namespace {

TEST(Liveness, AQuietFrameKeepsTheClientWaitingAndAVanishedOneIsNoticed) {
    rt::ClientLog log;
    Framesim::Options o;
    o.client = {RT_CLIENT_PATH, log.path(), "serve"};
    o.client_no = 0;
    o.time_limit = 150;
    Framesim fs(o);
    const int client = rt::client_pid(fs.journal(), "contact");
    ASSERT_GT(client, 0);
    struct Reaper {
        int pid;
        ~Reaper() { kill(pid, SIGKILL); }  // only if the test failed early
    } reaper{client};

    // More than one 22-second wait without traffic, Frame alive.
    std::this_thread::sleep_for(std::chrono::seconds(25));
    EXPECT_EQ(fs.ctl("init 2"), "ok replied");
    ASSERT_TRUE(log.wait_line("init 2"));
    EXPECT_FALSE(log.has("emergency"));
    auto service = log.wait_prefix("fd ");  // the service's own socket comes first
    ASSERT_TRUE(service);
    std::string conn;  // "fd N" of Frame's connection
    for (const auto &l : log.lines())
        if (l.rfind("fd ", 0) == 0 && l != *service) conn = l.substr(0, l.size() - 3);
    ASSERT_FALSE(conn.empty()) << "the accepted connection was reported";

    // Frame ends without closing anything; reaping it makes its pid unknown.
    fs.ctl("vanish", Millis(2000));
    ExitStatus st = fs.wait_exit(Millis(10000));
    ASSERT_TRUE(st.signaled);
    EXPECT_TRUE(log.wait_line(conn + " off", Millis(10000)))
        << "the closed connection is reported at once";
    EXPECT_TRUE(log.wait_line("emergency", Millis(40000)));
    EXPECT_TRUE(log.wait_line("exit 1", Millis(5000)));
    EXPECT_EQ(rt::registered_port(fs.cb_prog(), fs.cb_vers()), 0)
        << "the callback program is unregistered before the emergency exit";
}

TEST(Liveness, AReplyDelayedBeyondThePerCallTimeOutDoesNotFail) {
    rt::ClientLog log;
    Framesim::Options o;
    o.client = {RT_CLIENT_PATH, log.path(), "serve"};
    o.client_no = -1;
    o.time_limit = 150;
    o.scenario = "delay 1008 30000\ncommand 6\nwait over 90\nquit\n";
    Framesim fs(o);
    ExitStatus st = fs.wait_exit(Millis(100000));
    ASSERT_FALSE(st.timed_out) << read_file(fs.journal_path());
    EXPECT_TRUE(fs.journal().wait_kind("end", {{"reason", "client exited"}, {"failed", false}},
                                       Millis(0)));
    auto alert = log.wait_prefix("alert ", Millis(0));
    ASSERT_TRUE(alert);
    ASSERT_EQ(alert->rfind("alert ok 0 ", 0), 0u) << *alert;
    EXPECT_GE(std::atof(alert->c_str() + 11), 29.0) << *alert;
}

}  // namespace
