// A client on host "cadhost" (A), framesim's session on "framehost" (B):
// test hosts of tests/support/hosts.hpp.  Needs root; skipped otherwise.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hosts.hpp"
#include "rt_log.hpp"

using namespace fdk::test;

namespace {

const char *kSession = "docs";

class Remote : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = Hosts::unavailable(); !why.empty()) GTEST_SKIP() << why;
        hosts_ = std::make_unique<Hosts>();
    }

    // framesim's session on host B (on A when `on_a`).
    Framesim &session(const std::string &scenario = {}, bool on_a = false) {
        Framesim::Options o;
        o.session = kSession;
        o.scenario = scenario;
        o.time_limit = 200;
        o.launcher = hosts_->launcher(on_a ? hosts_->a() : hosts_->b());
        fs_ = std::make_unique<Framesim>(o);
        EXPECT_TRUE(fs_->wait_ready()) << read_file(fs_->stderr_path());
        return *fs_;
    }
    // rt_client on host A joining the session on `host`, standard error in LOG.err.
    Process join(rt::ClientLog &log, const std::string &host) {
        Process::Options po;
        po.argv = {RT_CLIENT_PATH, log.path(), "connect", kSession, host, std::to_string(fs_->prog())};
        po.stderr_path = log.path() + ".err";
        return Process(hosts_->on(hosts_->a(), po));
    }

    std::unique_ptr<Hosts> hosts_;
    std::unique_ptr<Framesim> fs_;  // ends before the hosts
};

// examples/client on A joins the session on B, named by name and by
// address, and plays its scenario; both port mappers end clean.
class RemoteJoin : public Remote, public ::testing::WithParamInterface<bool> {};

TEST_P(RemoteJoin, CallsAndCallbacksCrossTheHostsAndBothPortMappersEndClean) {
    Framesim &fs = session(read_file(EXAMPLE_DIR "/scenario.txt"));
    TempDir dir;
    Process::Options po;
    po.argv = {RT_NOTIFY_EXAMPLE_PATH, "--join", kSession, GetParam() ? hosts_->b().address : hosts_->b().name,
               std::to_string(fs.prog()), "2"};
    po.stdout_path = dir.file("out");
    Process client(hosts_->on(hosts_->a(), po));
    EXPECT_EQ(client.wait(Millis(30000)).code, 0) << read_file(fs.journal_path());
    EXPECT_EQ(read_file(po.stdout_path),
              "started\ninitialize 1\nasked for notification 2: ok\n"
              "notify 2 doc 7 file \"/docs/guide.fm\" param 0\n"
              "message \"hello client\" doc 7 object 12\ncommand 5\nquit\n");
    // Framesim found the callback program with A's port mapper; the client came from A.
    auto &j = fs.journal();
    EXPECT_TRUE(j.wait_kind("client", {{"event", "join"}, {"host", "cadhost"}}, Millis(0)));
    EXPECT_TRUE(j.wait_kind("connection", {{"event", "accepted"}, {"peer", hosts_->a().address}}, Millis(0)));
    EXPECT_TRUE(j.wait_kind("client", {{"event", "connected"}, {"host", "cadhost"}}, Millis(0)));
    EXPECT_FALSE(hosts_->registered(hosts_->a(), fs.cb_prog()));
    EXPECT_EQ(fs.ctl("exit"), "ok");
    EXPECT_TRUE(fs.wait_exit(Millis(10000)).exited);
    EXPECT_FALSE(hosts_->registered(hosts_->b(), fs.prog()));
}

INSTANTIATE_TEST_SUITE_P(ByNameAndByAddress, RemoteJoin, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Address" : "Name"; });

// A process on host B sends the quit call to the callback program of a
// client on A, twice: closed unanswered, reported once, Frame goes on.
TEST_F(Remote, AnIntruderOnAnotherHostIsRefused) {
    Framesim &fs = session({}, true);
    rt::ClientLog log;
    Process client = join(log, "localhost");
    ASSERT_TRUE(log.wait_line("connect 0 0")) << read_file(fs.journal_path());
    EXPECT_EQ(fs.ctl("init 1"), "ok replied");
    ASSERT_TRUE(log.wait_line("init 1"));

    // The quit call as bytes for printf, record mark first.
    std::string quit;
    for (uint32_t w : {0x80000028u, 7u, 0u, 2u, fs.cb_prog(), fs.cb_vers(), 1u, 0u, 0u, 0u, 0u})
        for (int shift = 24; shift >= 0; shift -= 8) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", (w >> shift) & 0xffu);
            quit += hex;
        }
    const std::string a = hosts_->a().address;
    const std::string script =
        "port=$(rpcinfo -p " + a + " | awk '$1 == " + std::to_string(fs.cb_prog()) +
        " && $3 == \"tcp\" {print $4; exit}'); exec 3<>/dev/tcp/" + a +
        "/$port || exit 3; printf '" + quit + "' >&3; timeout 10 cat <&3 2>/dev/null | wc -c";
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string out;
        EXPECT_EQ(hosts_->run(hosts_->b(), {"bash", "-c", script}, &out), 0);
        EXPECT_EQ(out, "0\n") << "bytes of an answer";
    }
    EXPECT_EQ(fs.ctl("init 2"), "ok replied");
    EXPECT_TRUE(log.wait_line("init 2"));
    const std::string refused = "callback connection from " + hosts_->b().address +
                                " refused: not from this host";
    const std::string text = read_file(log.path() + ".err");
    EXPECT_NE(text.find(refused), std::string::npos) << text;
    EXPECT_EQ(text.find(refused), text.rfind(refused)) << "reported once";
    EXPECT_EQ(fs.ctl("quit"), "ok replied");
    EXPECT_TRUE(client.wait(Millis(10000)).exited);
}

// Frame's host leaves the network: the keepalive fails the connection and
// the client ends as for a vanished Frame; joining it then, or an unknown
// host, fails when the probe gives up.
TEST_F(Remote, AFrameHostOffTheNetworkIsNoticedAndCannotBeJoined) {
    Framesim &fs = session();
    rt::ClientLog log;
    Process client = join(log, "framehost");
    ASSERT_TRUE(log.wait_line("connect 0 0"));
    EXPECT_EQ(fs.ctl("init 2"), "ok replied");
    ASSERT_TRUE(log.wait_line("init 2"));
    EXPECT_EQ(fs.ctl("wait over 10"), "ok bailout 0");

    hosts_->link(hosts_->b(), false);
    ASSERT_TRUE(log.wait_line("emergency", Millis(120000))) << read_file(fs.journal_path());
    EXPECT_EQ(client.wait(Millis(10000)).code, 1);
    EXPECT_FALSE(hosts_->registered(hosts_->a(), fs.cb_prog()))
        << "the callback program is unregistered before the emergency exit";

    rt::ClientLog late, unknown;
    Process second = join(late, "framehost"), third = join(unknown, "nosuchhost");
    EXPECT_TRUE(late.wait_line("connect -20 -20", Millis(60000)));
    EXPECT_TRUE(unknown.wait_line("connect -20 -20", Millis(30000)));
}

}  // namespace
