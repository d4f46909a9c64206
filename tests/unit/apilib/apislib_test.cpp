// Tests of apislib that need neither Frame nor the port mapper: host names
// and addresses, the time-out, liveness, messages, start-up refusals,
// descriptor masks and reporting, and the wait of F_ApiService on the
// caller's and the service's descriptors (0 to 31 only).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fapi_xdr.h"
#include "runtime_fakes.hpp"
#include "xdr_record.hpp"

using rtfake::events;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::string dotted(const sockaddr_in &a) {
    char buf[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf) != nullptr ? buf : "?";
}

TEST(ApislibHelpers, StrEqualComparesBytesWithNullAsEmpty) {
    EXPECT_EQ(strEqual("abc", "abc"), 1);
    EXPECT_EQ(strEqual("abc", "abd"), 0);
    EXPECT_EQ(strEqual("abc", "ab"), 0);
    EXPECT_EQ(strEqual(nullptr, ""), 1);
    EXPECT_EQ(strEqual("", nullptr), 1);
    EXPECT_EQ(strEqual(nullptr, nullptr), 1);
    EXPECT_EQ(strEqual(nullptr, "x"), 0);
}

TEST(ApislibHelpers, HostnameToAddrResolvesThisHostToLoopback) {
    for (const char *host : {static_cast<const char *>(nullptr), "localhost", thishost(), ""}) {
        SCOPED_TRACE(host != nullptr ? host : "(null)");
        sockaddr_in a;
        std::memset(&a, 0xAB, sizeof a);
        ASSERT_EQ(hostnameToAddr(host, &a), 0);
        EXPECT_EQ(a.sin_family, AF_INET);
        EXPECT_EQ(a.sin_port, 0);
        EXPECT_EQ(dotted(a), "127.0.0.1");
        for (unsigned char c : a.sin_zero) EXPECT_EQ(c, 0);
    }
}

TEST(ApislibHelpers, HostnameToAddrTakesDottedAddressesAndRefusesUnknownNames) {
    sockaddr_in a;
    ASSERT_EQ(hostnameToAddr("10.1.2.3", &a), 0);
    EXPECT_EQ(dotted(a), "10.1.2.3");
    EXPECT_EQ(a.sin_family, AF_INET);
    EXPECT_EQ(a.sin_port, 0);
    EXPECT_EQ(hostnameToAddr("no-such-host.invalid", &a), -1);
}

TEST(ApislibHelpers, FrameAliveFollowsFramesProcess) {
    const int saved = hispid;
    hispid = 0;
    EXPECT_EQ(F_ApiFrameAlive(), 1);
    hispid = kRemoteFramePid;
    EXPECT_EQ(F_ApiFrameAlive(), 1) << "no process test for a remote Frame";
    // A remote Frame is alive as long as the connection to it holds.
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    client_socket = pair[0];
    EXPECT_EQ(F_ApiFrameAlive(), 1);
    ASSERT_EQ(write(pair[1], "x", 1), 1);
    EXPECT_EQ(F_ApiFrameAlive(), 1) << "unread data is no failure, and stays unread";
    close(pair[1]);
    EXPECT_EQ(F_ApiFrameAlive(), 1);
    char byte;
    ASSERT_EQ(read(pair[0], &byte, 1), 1);
    EXPECT_EQ(F_ApiFrameAlive(), 0) << "Frame closed the connection";
    close(pair[0]);
    client_socket = -1;
    hispid = getpid();
    EXPECT_EQ(F_ApiFrameAlive(), 1);
    pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    hispid = child;
    EXPECT_EQ(F_ApiFrameAlive(), 0);
    hispid = saved;
}

TEST(ApislibHelpers, ShutDownWithoutConnectionAndTwiceIsHarmless) {
    F_ApiShutDown();
    F_ApiShutDown();
    EXPECT_EQ(frame_client, nullptr);
    EXPECT_EQ(client_transp, nullptr);
    EXPECT_EQ(client_socket, -1);
    EXPECT_EQ(myprog, 0);
}

// ---------------------------------------------------------------------------

std::vector<std::pair<int, int>> reports;
void record_fd(int fd, int on) { reports.emplace_back(fd, on); }

class FmapixTest : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("FMAPIX");
        F_ApiSetFdFunc(nullptr);
    }
};

TEST_F(FmapixTest, StartUpRefusesAMissingOrShortFmapixWithoutForking) {
    const pid_t me = getpid();
    FA_clientno = 77;
    unsetenv("FMAPIX");
    EXPECT_STREQ(F_ApiStartUp(&record_fd), "not called by a Frame product");
    EXPECT_EQ(F_ApiSetFdFunc(nullptr), &record_fd) << "the callback is installed first";
    // The client number (sixth field) is negative wherever it is present, so
    // that a wrong parse could not fork this test away.
    for (const char *value : {"", "1.2 3.4 5", "1.2 3.4 5.-1", "1.2 3.4 5.-1.", "x.y z.w 1.-1.n",
                              "1 2 3 4 5 -1 name"}) {
        SCOPED_TRACE(value);
        setenv("FMAPIX", value, 1);
        EXPECT_STREQ(F_ApiStartUp(nullptr), "not called by a Frame product");
        EXPECT_EQ(getpid(), me);
    }
    EXPECT_EQ(FA_clientno, 77);
    EXPECT_STREQ(myname, "???");
    EXPECT_EQ(frame_client, nullptr);
}

// ---------------------------------------------------------------------------

TEST(DescriptorMasks, OnlyDescriptorsBelow32CrossBetweenMasksAndSets) {
    fd_set set;
    fdk::runtime::fdset_from_mask(0x80000001u, &set);
    for (int fd = 0; fd < 64; ++fd)
        EXPECT_EQ(FD_ISSET(fd, &set) != 0, fd == 0 || fd == 31) << fd;

    FD_ZERO(&set);
    FD_SET(31, &set);
    FD_SET(32, &set);
    FD_SET(63, &set);
    FD_SET(FD_SETSIZE - 1, &set);
    EXPECT_EQ(fdk::runtime::mask_from_fdset(set), 0x80000000u);
}

// Keeps descriptors open until the next one that open() returns is `next`.
class FdFiller {
public:
    explicit FdFiller(int next) {
        for (;;) {
            int fd = open("/dev/null", O_RDONLY);
            if (fd < 0) break;
            if (fd >= next) {
                close(fd);
                break;
            }
            held_.push_back(fd);
        }
    }
    ~FdFiller() {
        for (int fd : held_) close(fd);
    }
    void release() {
        for (int fd : held_) close(fd);
        held_.clear();
    }

private:
    std::vector<int> held_;
};

class DescriptorReporting : public ::testing::Test {
protected:
    void SetUp() override {
        reports.clear();
        hispid = 0;
    }
    void TearDown() override {
        for (SVCXPRT *x : made_) svc_destroy(x);
        call_fd_func();
        F_ApiSetFdFunc(nullptr);
        reports.clear();
    }
    SVCXPRT *make() {
        SVCXPRT *x = svctcp_create(RPC_ANYSOCK, 0, 0);
        if (x != nullptr) made_.push_back(x);
        return x;
    }
    void destroy(SVCXPRT *x) {
        std::erase(made_, x);
        svc_destroy(x);
    }
    std::vector<SVCXPRT *> made_;
};

TEST_F(DescriptorReporting, InstallingReportsOpenDescriptorsAndLaterChanges) {
    SVCXPRT *a = make();
    SVCXPRT *b = make();
    ASSERT_TRUE(a && b);
    const int fa = a->xp_fd, fb = b->xp_fd;
    ASSERT_LT(fa, fb);
    ASSERT_LT(fb, 32);
    EXPECT_EQ(F_ApiSetFdFunc(&record_fd), nullptr);
    EXPECT_THAT(reports, ElementsAre(std::pair(fa, 1), std::pair(fb, 1)));

    reports.clear();
    call_fd_func();
    EXPECT_THAT(reports, IsEmpty()) << "nothing changed";

    destroy(b);
    destroy(a);
    call_fd_func();
    EXPECT_THAT(reports, ElementsAre(std::pair(fa, 0), std::pair(fb, 0)));

    // Without a callback nothing is reported and the snapshot stays, so a
    // callback installed later hears of what changed meanwhile.
    F_ApiSetFdFunc(nullptr);
    reports.clear();
    SVCXPRT *c = make();
    ASSERT_NE(c, nullptr);
    call_fd_func();
    EXPECT_THAT(reports, IsEmpty());
    F_ApiSetFdFunc(&record_fd);
    EXPECT_THAT(reports, ElementsAre(std::pair(c->xp_fd, 1)));
}

TEST_F(DescriptorReporting, DescriptorsAbove31AreNeitherReportedNorWaitedOn) {
    F_ApiSetFdFunc(&record_fd);
    FdFiller filler(31);
    SVCXPRT *at31 = make();
    ASSERT_NE(at31, nullptr);
    ASSERT_EQ(at31->xp_fd, 31);
    SVCXPRT *above = make();
    ASSERT_NE(above, nullptr);
    ASSERT_GT(above->xp_fd, 31);
    filler.release();
    call_fd_func();
    EXPECT_THAT(reports, ElementsAre(std::pair(31, 1)));

    // A connection to the transport at 31 is accepted by F_ApiService; the
    // accepted connection lands above 31, where it is neither reported nor
    // looked at (it sends nothing, so serving it would block).
    FdFiller filler2(40);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(at31->xp_port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int peer = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(peer, 0);
    ASSERT_EQ(connect(peer, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    reports.clear();
    UIntT mask = 0;
    EXPECT_EQ(F_ApiService(&mask), 1);
    EXPECT_EQ(mask, 0u);
    EXPECT_THAT(reports, IsEmpty());
    close(peer);
}

TEST_F(DescriptorReporting, ServiceHandsBackTheCallersReadyDescriptors) {
    int ready[2], quiet[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(quiet), 0);
    ASSERT_LT(quiet[1], 32);
    ASSERT_EQ(write(ready[1], "x", 1), 1);
    UIntT mask = (1u << ready[0]) | (1u << quiet[0]);
    EXPECT_EQ(F_ApiService(&mask), 1);
    EXPECT_EQ(mask, 1u << ready[0]);
    EXPECT_EQ(FA_SelectMask, 1u << ready[0]);

    // A failed wait (a closed descriptor in the mask) returns its negative
    // count with an empty mask; Frame counts as alive (no pid).
    close(quiet[0]);
    mask = 1u << quiet[0];
    EXPECT_LT(F_ApiService(&mask), 0);
    EXPECT_EQ(mask, 0u);
    for (int fd : {ready[0], ready[1], quiet[1]}) close(fd);
}

// ---------------------------------------------------------------------------
// The service loop against a real callback connection on loopback: the test
// writes Frame's calls into the socket (a hook inside the entry points writes
// the next one when it is due); over calls go to the recording handle.

// One RPC call message with its record mark, as Frame sends it.
template <class T>
std::string call_record(uint32_t xid, rpcprog_t prog, rpcproc_t proc,
                        bool_t (*filter)(XDR *, T *), T args) {
    char buf[1024];
    XDR x;
    xdrmem_create(&x, buf + 4, sizeof buf - 4, XDR_ENCODE);
    rpc_msg m{};
    m.rm_xid = xid;
    m.rm_direction = CALL;
    m.rm_call.cb_rpcvers = RPC_MSG_VERSION;
    m.rm_call.cb_prog = prog;
    m.rm_call.cb_vers = 1;
    m.rm_call.cb_proc = proc;
    m.rm_call.cb_cred = _null_auth;
    m.rm_call.cb_verf = _null_auth;
    EXPECT_TRUE(xdr_callmsg(&x, &m));
    EXPECT_TRUE(filter(&x, &args));
    uint32_t len = xdr_getpos(&x);
    xdr_destroy(&x);
    uint32_t mark = htonl(0x80000000u | len);
    std::memcpy(buf, &mark, 4);
    return std::string(buf, len + 4);
}

class ServiceLoop : public ::testing::Test {
protected:
    void SetUp() override {
        rtfake::reset();
        reports.clear();
        hispid = 0;
        turn_over_needed = 0;
        callbacksDone = 0;
        modalRetval = 0;
        frame_client = frame.handle();
        listener = svctcp_create(RPC_ANYSOCK, 0, 0);
        ASSERT_NE(listener, nullptr);
        ASSERT_TRUE(svc_register(listener, kProg, 1, fm_api_prog_1, 0));
        F_ApiSetFdFunc(&record_fd);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(listener->xp_port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        peer = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(peer, 0);
        ASSERT_EQ(connect(peer, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    }
    void TearDown() override {
        if (peer >= 0) close(peer);
        // Let the service see the closed connection, so that no descriptor of
        // this test is left behind in the service set.
        if (listener != nullptr) {
            const UIntT mine = 1u << listener->xp_fd;
            for (int i = 0; i < 4 && (fdk::runtime::service_word() & ~mine) != 0; ++i)
                F_ApiService(nullptr);
        }
        if (listener != nullptr) {
            svc_unregister(kProg, 1);
            svc_destroy(listener);
        }
        call_fd_func();
        F_ApiSetFdFunc(nullptr);
        frame_client = nullptr;
        turn_over_needed = 0;
        callbacksDone = 0;
        modalRetval = 0;
        rtfake::reset();
    }
    void send_dialog(IntT a, IntT b, IntT c) {
        std::string rec = call_record(++xid, kProg, 6, &xdr_FmApiDialogEventArgT,
                                      FmApiDialogEventArgT{a, b, c});
        ASSERT_EQ(write(peer, rec.data(), rec.size()), static_cast<ssize_t>(rec.size()));
    }

    // The xids of the successful replies that arrived at Frame's end.
    std::vector<uint32_t> replies() {
        std::vector<uint32_t> xids;
        std::string data;
        char buf[4096];
        for (;;) {
            ssize_t n = recv(peer, buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0) break;
            data.append(buf, static_cast<size_t>(n));
        }
        size_t at = 0;
        while (data.size() - at >= 4) {
            uint32_t mark;
            std::memcpy(&mark, data.data() + at, 4);
            uint32_t len = ntohl(mark) & 0x7FFFFFFFu;
            if (data.size() - at - 4 < len) break;
            XDR x;
            xdrmem_create(&x, data.data() + at + 4, len, XDR_DECODE);
            rpc_msg m{};
            m.acpted_rply.ar_results.where = nullptr;
            m.acpted_rply.ar_results.proc = fdk::xdr::proc_of<void>();
            if (xdr_replymsg(&x, &m) && m.rm_reply.rp_stat == MSG_ACCEPTED &&
                m.acpted_rply.ar_stat == SUCCESS)
                xids.push_back(m.rm_xid);
            xdr_destroy(&x);
            at += 4 + len;
        }
        return xids;
    }

    static constexpr rpcprog_t kProg = 0x5FFFFF01;
    rtfake::FakeFrame frame;
    SVCXPRT *listener = nullptr;
    int peer = -1;
    uint32_t xid = 100;
};

TEST_F(ServiceLoop, ModalWaitReturnsTheClosingValueAndRestoresTheControlState) {
    // The client holds control and has an earlier modal result.
    turn_over_needed = 1;
    modalRetval = 77;
    send_dialog(5, 6, 7);
    rtfake::during_entry = [&](const std::string &what) {
        if (what == "dialog 5 6 7") send_dialog(0, 0, 11);
    };
    EXPECT_EQ(F_ApiServiceModalCallbacks(), 11);
    EXPECT_EQ(turn_over_needed, 1);
    EXPECT_EQ(modalRetval, 77);
    EXPECT_EQ(callbacksDone, 0);
    // Both dialog events were callbacks served while the wait suspended the
    // client's hold: each was answered and handed control back once.
    EXPECT_THAT(events, ElementsAre("dialog 5 6 7", "over 0", "over 0"));
    EXPECT_THAT(replies(), ElementsAre(101u, 102u));
}

TEST_F(ServiceLoop, NestedModalWaitsEndInnermostFirst) {
    int inner = -1;
    send_dialog(9, 1, 2);
    rtfake::during_entry = [&](const std::string &what) {
        if (what != "dialog 9 1 2") return;
        send_dialog(0, 0, 11);
        inner = F_ApiServiceModalCallbacks();
        send_dialog(0, 0, 22);
    };
    EXPECT_EQ(F_ApiServiceModalCallbacks(), 22);
    EXPECT_EQ(inner, 11);
    EXPECT_EQ(callbacksDone, 0);
    EXPECT_EQ(turn_over_needed, 0);
    EXPECT_EQ(rtfake::count("over 0"), 3) << "one over call per callback";
}

TEST_F(ServiceLoop, AcceptedAndClosedConnectionsAreReported) {
    const int lfd = listener->xp_fd;
    EXPECT_THAT(reports, ElementsAre(std::pair(lfd, 1)));
    reports.clear();
    // The pending connection is accepted inside the service.
    EXPECT_EQ(F_ApiService(nullptr), 1);
    ASSERT_EQ(reports.size(), 1u);
    const int conn = reports[0].first;
    EXPECT_EQ(reports[0].second, 1);
    EXPECT_NE(conn, lfd);
    // Frame closes its connection: the next wait reports it gone.
    reports.clear();
    close(peer);
    peer = -1;
    EXPECT_EQ(F_ApiService(nullptr), 1);
    EXPECT_THAT(reports, ElementsAre(std::pair(conn, 0)));
    EXPECT_THAT(events, IsEmpty());
}

}  // namespace
