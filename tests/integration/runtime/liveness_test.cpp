// Long waits, in parallel: a live Frame keeps a quiet client waiting, a
// vanished one is noticed after a quiet wait, a reply slower than 25 s is no failure.
#include <signal.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "rt_log.hpp"

using namespace fdk::test;

namespace {

TEST(Liveness, QuietWaitsVanishedFrameAndSlowReply) {
    rt::ClientLog quiet_log, slow_log;
    Framesim::Options o;
    o.client = {RT_CLIENT_PATH, quiet_log.path(), "serve"};
    o.client_no = 0;
    o.time_limit = 150;
    Framesim quiet(o);
    o.client = {RT_CLIENT_PATH, slow_log.path(), "serve"};
    o.client_no = -1;
    o.scenario = "delay 1008 30000\ncommand 6\nwait over 90\nquit\n";
    Framesim slow(o);
    auto start = quiet_log.wait_prefix("start ", Millis(15000));
    ASSERT_TRUE(start);
    struct Reaper {
        int pid;
        ~Reaper() { kill(pid, SIGKILL); }  // the forked client, should the test fail early
    } reaper{std::atoi(start->c_str() + 6)};

    // Meanwhile the quiet client waits longer than one 22-second wait.
    ASSERT_TRUE(slow_log.wait_line("alert 0", Millis(60000))) << read_file(slow.journal_path());
    EXPECT_TRUE(slow.journal().wait_kind("call", {{"proc", 1008}, {"fault", {{"delay", 30000}}}}, Millis(0)));

    EXPECT_EQ(quiet.ctl("init 2"), "ok replied");
    ASSERT_TRUE(quiet_log.wait_line("init 2"));
    std::string conn;  // "fd N" of Frame's connection: the last one reported
    for (const auto &l : quiet_log.lines())
        if (l.rfind("fd ", 0) == 0) conn = l.substr(0, l.size() - 3);
    EXPECT_FALSE(quiet_log.wait_line("emergency", Millis(0)));

    quiet.ctl("vanish", Millis(2000));
    ASSERT_TRUE(quiet.wait_exit(Millis(10000)).signaled);
    EXPECT_TRUE(quiet_log.wait_line(conn + " off", Millis(10000))) << "a closed connection: at once";
    EXPECT_TRUE(quiet_log.wait_line("emergency", Millis(40000)));
    EXPECT_TRUE(quiet_log.wait_line("exit 1", Millis(5000)));
    EXPECT_EQ(fdk::test::registered_port(quiet.cb_prog(), quiet.cb_vers()), 0)
        << "the callback program is unregistered before the emergency exit";
}

}  // namespace
