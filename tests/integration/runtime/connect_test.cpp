// Joining a running Frame session (F_ApiConnectToSession) against
// `framesim --session`: a test client that joins with an empty host and is
// served, and in-process the result codes and the connection's time-out.
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apislib.h"
#include "rt_support.hpp"

using fdk::test::ExitStatus;
using fdk::test::Framesim;
using fdk::test::Millis;
using fdk::test::Process;
using fdk::test::unique_program;
using ::testing::ElementsAre;
using ::testing::Contains;

extern "C" void F_ApiInitialize(IntT) {}
extern "C" void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) {}
extern "C" void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {}

namespace {

const char *kSession = "docs";

Framesim::Options session_options() {
    Framesim::Options o;
    o.session = kSession;
    o.time_limit = 60;
    return o;
}

TEST(ConnectClient, JoinsWithAnEmptyHostAndIsServed) {
    Framesim fs(session_options());
    ASSERT_TRUE(fs.wait_ready());
    rt::ClientLog log;
    Process::Options po;
    po.argv = {RT_CLIENT_PATH, log.path(), "connect", kSession, "", std::to_string(fs.prog())};
    po.unset_env = {"FMAPIX"};
    Process client(po);

    ASSERT_TRUE(log.wait_line("connect 0 0"));
    auto &j = fs.journal();
    auto join = j.wait_kind("client", {{"event", "join"}, {"session", kSession}}, Millis(10000));
    ASSERT_TRUE(join);
    EXPECT_EQ(j.lines()[*join].value("pid", -1), client.pid());
    EXPECT_EQ(j.lines()[*join].value("host", ""), std::string(thishost()));
    ASSERT_TRUE(j.wait_kind("client", {{"event", "contact"}, {"pid", client.pid()}},
                            Millis(10000)));

    EXPECT_EQ(fs.ctl("init 4"), "ok replied");
    EXPECT_EQ(fs.ctl("quit"), "ok replied");
    ExitStatus st = client.wait(Millis(10000));
    EXPECT_TRUE(st.exited);
    EXPECT_EQ(st.code, 0);
    std::vector<std::string> entries;
    for (const auto &l : log.lines())
        if (l.rfind("fd ", 0) != 0 && l.rfind("start ", 0) != 0) entries.push_back(l);
    EXPECT_THAT(entries, ElementsAre("connect 0 0", "init 4", "exit 0"));
    EXPECT_EQ(rt::registered_port(fs.cb_prog(), fs.cb_vers()), 0);
}

std::vector<std::pair<int, int>> reports;
void record_fd(int fd, int on) { reports.emplace_back(fd, on); }

class Connect : public ::testing::Test {
protected:
    void TearDown() override {
        F_ApiShutDown();
        F_ApiSetFdFunc(nullptr);
        FA_TimeOut = {0, 0};
        FA_errno = 0;
    }
};

TEST_F(Connect, InProcessSetsTheConnectionTimeOutAndReportsTheService) {
    Framesim fs(session_options());
    ASSERT_TRUE(fs.wait_ready());
    F_ApiSetFdFunc(&record_fd);
    FA_bailout = 1;
    EXPECT_EQ(F_ApiConnectToSession(kSession, "localhost", static_cast<IntT>(fs.prog())), 0);
    EXPECT_EQ(FA_errno, 0);
    EXPECT_EQ(FA_bailout, 0);
    ASSERT_NE(frame_client, nullptr);
    ASSERT_NE(client_transp, nullptr);
    EXPECT_EQ(hispid, fs.process().pid()) << "a session on this host keeps the liveness test";
    EXPECT_EQ(myprog, static_cast<int>(fs.cb_prog()));
    // The service's socket, and the timer of its guard.
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_THAT(reports, Contains(std::pair(client_transp->xp_fd, 1)));
    for (const auto &r : reports) EXPECT_LT(r.first, 32);
    // Keepalive on the connection to Frame, and on the service's socket,
    // whose accepted connections inherit it.
    for (int fd : {client_socket, client_transp->xp_fd}) {
        int on = 0, idle = 0;
        socklen_t len = sizeof on;
        ASSERT_EQ(getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, &len), 0);
        len = sizeof idle;
        ASSERT_EQ(getsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, &len), 0);
        EXPECT_EQ(on, 1);
        EXPECT_GT(idle, 0);
        EXPECT_LT(idle, 60);
    }

    timeval t{};
    ASSERT_TRUE(clnt_control(frame_client, CLGET_TIMEOUT, reinterpret_cast<char *>(&t)));
    EXPECT_EQ(t.tv_sec, 604800);
    EXPECT_EQ(FA_TimeOut.tv_sec, 604800);
    EXPECT_TRUE(fs.journal().wait_kind("client", {{"event", "contact"}, {"pid", getpid()}},
                                       Millis(10000)));
    EXPECT_NE(rt::registered_port(fs.cb_prog(), fs.cb_vers()), 0);
    F_ApiShutDown();
    EXPECT_EQ(rt::registered_port(fs.cb_prog(), fs.cb_vers()), 0);
}

TEST_F(Connect, AChosenTimeOutIsKept) {
    Framesim fs(session_options());
    ASSERT_TRUE(fs.wait_ready());
    FA_TimeOut = {1234, 0};
    ASSERT_EQ(F_ApiConnectToSession(kSession, nullptr, static_cast<IntT>(fs.prog())), 0);
    timeval t{};
    ASSERT_TRUE(clnt_control(frame_client, CLGET_TIMEOUT, reinterpret_cast<char *>(&t)));
    EXPECT_EQ(t.tv_sec, 1234);
}

TEST_F(Connect, ResultCodesAreReturnedAndLeftInFaErrno) {
    // No session under that program at all.
    EXPECT_EQ(F_ApiConnectToSession(kSession, "", static_cast<IntT>(unique_program())), -20);
    EXPECT_EQ(FA_errno, -20);

    Framesim fs(session_options());
    ASSERT_TRUE(fs.wait_ready());
    const IntT prog = static_cast<IntT>(fs.prog());
    // The session answers with a status of its own.
    const IntT status = F_ApiConnectToSession("another", "", prog);
    EXPECT_NE(status, 0);
    EXPECT_EQ(FA_errno, status);
    auto call = fs.journal().wait_kind("call", {{"proc", 108}}, Millis(5000));
    ASSERT_TRUE(call);
    EXPECT_EQ(fs.journal().lines()[*call]["reply"].value("status", 0), status);
    // The call itself fails: no reply within the time-out (the probe has its
    // own), or a session name that cannot travel.
    FA_TimeOut = {0, 1};
    EXPECT_EQ(F_ApiConnectToSession(kSession, "", prog), -7);
    EXPECT_EQ(FA_errno, -7);
    FA_TimeOut = {0, 0};
    EXPECT_EQ(F_ApiConnectToSession(nullptr, "", prog), -7);
    EXPECT_EQ(frame_client, nullptr);
    EXPECT_EQ(myprog, 0);
}

void other_dispatcher(struct svc_req *, SVCXPRT *) {}

TEST_F(Connect, AFailedHookupIsMinus22) {
    Framesim fs(session_options());
    ASSERT_TRUE(fs.wait_ready());
    // The callback program the session hands out is taken in this process.
    SVCXPRT *other = svctcp_create(RPC_ANYSOCK, 0, 0);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(svc_register(other, fs.cb_prog(), fs.cb_vers(), other_dispatcher, 0));
    EXPECT_EQ(F_ApiConnectToSession(kSession, "", static_cast<IntT>(fs.prog())), -22);
    EXPECT_EQ(FA_errno, -22);
    F_ApiShutDown();
    svc_unregister(fs.cb_prog(), fs.cb_vers());
    svc_destroy(other);
}

}  // namespace
