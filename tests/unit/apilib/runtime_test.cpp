// The client runtime without Frame: the dispatcher's refusals against in-process stand-ins of both
// RPC ends, and the service loop (descriptors 0 to 31 only, modal waits) on loopback connections.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/socket.h>
#include <unistd.h>

#include <type_traits>
#include <utility>

#include "apislib.h"
#include "fixture.hpp"

// Both ends of the runtime's traffic, logging into `events`: frame_handle's calls ("over N", N being
// the bailout flag; "take"; "call N"), the replies to what dispatch() hands the dispatcher ("reply ok",
// "reply lost" when sending fails...), the entry points ("dialog 5 6 7"...), which run during_entry.
namespace rtfake {

std::vector<std::string> events;
std::function<void(const std::string &)> during_entry;

namespace {

using ClntOps = std::remove_pointer_t<decltype(CLIENT::cl_ops)>;
using XpOps = std::remove_const_t<std::remove_pointer_t<decltype(SVCXPRT::xp_ops)>>;

// The over call's argument is the bailout flag.
clnt_stat frame_call(CLIENT *, rpcproc_t proc, xdrproc_t, void *argp, xdrproc_t, void *, timeval) {
    if (proc == 1002) events.push_back("over " + std::to_string(*static_cast<IntT *>(argp)));
    else events.push_back(proc == 1343 ? "take" : "call " + std::to_string(proc));
    return RPC_SUCCESS;
}

const ClntOps frame_ops = {frame_call, [](CLIENT *) {}, [](CLIENT *, rpc_err *e) { *e = {}; },
                           [](CLIENT *, xdrproc_t, void *) -> bool_t { return TRUE; },
                           [](CLIENT *) {}, [](CLIENT *, u_int, void *) -> bool_t { return TRUE; }};

fdk_test::Bytes call_args;
bool lose_next_reply = false;

bool_t cb_getargs(SVCXPRT *, xdrproc_t decode, void *where) {
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(call_args.data()),
                  static_cast<u_int>(call_args.size()), XDR_DECODE);
    bool_t ok = decode(&x, where);
    xdr_destroy(&x);
    return ok;
}

bool_t cb_reply(SVCXPRT *, rpc_msg *msg) {
    static const char *stats[] = {"ok", "progunavail", "progmismatch", "noproc", "decode",
                                  "systemerr"};
    const char *what = lose_next_reply ? "lost" : stats[msg->acpted_rply.ar_stat];
    events.push_back(std::string("reply ") + what);
    return !std::exchange(lose_next_reply, false);
}

bool_t cb_freeargs(SVCXPRT *, xdrproc_t proc, void *where) {
    XDR x{};
    x.x_op = XDR_FREE;
    return proc(&x, where);
}

const XpOps callback_ops = {[](SVCXPRT *, rpc_msg *) -> bool_t { return FALSE; },
                            [](SVCXPRT *) { return XPRT_IDLE; },
                            cb_getargs, cb_reply, cb_freeargs, [](SVCXPRT *) {}};

}  // namespace

CLIENT frame_handle{nullptr, const_cast<ClntOps *>(&frame_ops), nullptr, nullptr, nullptr};

void dispatch(rpcproc_t proc, const fdk_test::Bytes &args = {}, bool lose_reply = false) {
    SVCXPRT xprt{};
    xprt.xp_fd = -1;
    xprt.xp_ops = &callback_ops;
    call_args = args;
    lose_next_reply = lose_reply;
    svc_req req{0x40000001, 1, proc, {}, nullptr, &xprt, nullptr, nullptr};
    fm_api_prog_1(&req, &xprt);
}

// Logs an entry point's call, then runs the test's action.
void entry(std::string what) {
    events.push_back(what);
    if (during_entry) during_entry(what);
}

}  // namespace rtfake

extern "C" {

void F_ApiInitialize(IntT) { rtfake::entry("init"); }
void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) { rtfake::entry("notify"); }
void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) { rtfake::entry("message"); }
void F_ApiCommand(IntT) { rtfake::entry("command"); }
void F_ApiDialogEvent(IntT dialog, IntT item, IntT value) {
    rtfake::entry("dialog " + std::to_string(dialog) + " " + std::to_string(item) + " " +
                  std::to_string(value));
}

}  // extern "C"

using fdk_test::Bytes;
using fdk_test::W;
using rtfake::events;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::vector<std::pair<int, int>> reports;
void record_fd(int fd, int on) { reports.emplace_back(fd, on); }

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override { reset(&rtfake::frame_handle); }
    void TearDown() override {
        call_fd_func();
        F_ApiSetFdFunc(nullptr);
        reset(nullptr);
    }
    static void reset(CLIENT *frame) {
        rtfake::events.clear();
        rtfake::during_entry = nullptr;
        reports.clear();
        turn_over_needed = callbacksDone = modalRetval = FA_bailout = 0;
        frame_client = frame;
    }
};

// Frame calling while the client holds control: replied, not delivered.
TEST_F(Dispatcher, ACallbackWhileTheClientHoldsControlIsRepliedAndDropped) {
    ASSERT_EQ(F_ApiTakeControl(), 0);
    ::testing::internal::CaptureStderr();
    rtfake::dispatch(4, W("'dropped' 1 2"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Frame API client \"???\": Nested API_Init/F_ApiNotify/F_ApiMessage/F_ApiCommand.\n");
    EXPECT_EQ(F_ApiDoneCommand(), 0);
    EXPECT_THAT(events, ElementsAre("take", "reply ok", "over 0"));
}

// Quit's reply is lost here: the dispatcher then answers with a system error.
TEST_F(Dispatcher, QuitSetsTheBailoutFlagThatTheNextHandBackCarries) {
    rtfake::dispatch(1, {}, true);
    EXPECT_EQ(FA_bailout, 1);
    ASSERT_EQ(F_ApiTakeControl(), 0);
    ASSERT_EQ(F_ApiDoneCommand(), 0);
    EXPECT_THAT(events, ElementsAre("reply lost", "reply systemerr", "take", "over 1"));
}

TEST_F(Dispatcher, UndecodableArgumentsAreRefusedAndReleased) {
    // The string decodes, the handles after it are missing: the leak checker sees it released.
    rtfake::dispatch(4, W("'a string that decodes'"));
    rtfake::dispatch(7, W("2 1 0x7F000000"));
    rtfake::dispatch(2, {});
    EXPECT_THAT(events, ElementsAre("reply decode", "reply decode", "reply decode"));
    EXPECT_EQ(turn_over_needed, 0);
}

// A remote Frame is alive as long as the connection to it holds.
TEST(Apislib, ARemoteFrameIsAliveWhileItsConnectionHolds) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    hispid = kRemoteFramePid;
    client_socket = pair[0];
    ASSERT_EQ(write(pair[1], "x", 1), 1);
    close(pair[1]);
    EXPECT_EQ(F_ApiFrameAlive(), 1) << "unread data is no failure, and stays unread";
    char byte;
    ASSERT_EQ(read(pair[0], &byte, 1), 1);
    EXPECT_EQ(F_ApiFrameAlive(), 0) << "Frame closed the connection";
    close(pair[0]);
    client_socket = -1;
    hispid = 0;
}

constexpr rpcprog_t kProg = 0x5FFFFF01;

// An RPC client of the callback program on a loopback port.
CLIENT *connect_to(u_short port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int sock = RPC_ANYSOCK;
    CLIENT *c = clnttcp_create(&addr, kProg, 1, &sock, 0, 0);
    EXPECT_NE(c, nullptr);
    return c;
}

// Descriptors 0 to 31 are reported and waited on, no others.
TEST_F(Dispatcher, DescriptorsAbove31AreNeitherReportedNorWaitedOn) {
    F_ApiSetFdFunc(&record_fd);
    int sock = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(dup2(sock, 31), 31);
    ASSERT_EQ(dup2(sock, 40), 40);
    close(sock);
    SVCXPRT *at31 = svctcp_create(31, 0, 0), *at40 = svctcp_create(40, 0, 0);
    ASSERT_TRUE(at31 != nullptr && at40 != nullptr);
    call_fd_func();
    EXPECT_THAT(reports, ElementsAre(std::pair(31, 1)));

    // A connection accepted on 31 that lands above 31 is not served (it sends nothing: serving blocks).
    std::vector<int> low;  // every free descriptor below 41
    for (int fd = 0; fd <= 40 && fd >= 0;) low.push_back(fd = open("/dev/null", O_RDONLY));
    close(low.back());
    low.pop_back();
    CLIENT *peer = connect_to(at31->xp_port);
    reports.clear();
    UIntT mask = 0;
    EXPECT_EQ(F_ApiService(&mask), 1);
    EXPECT_EQ(mask, 0u);
    EXPECT_THAT(reports, IsEmpty());
    for (int fd : low) close(fd);
    clnt_destroy(peer);
    svc_destroy(at31);
    svc_destroy(at40);
}

// A failed wait (a closed descriptor in the caller's mask) gives an empty mask.
TEST_F(Dispatcher, AFailedWaitGivesAnEmptyMask) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    UIntT mask = 1u << fds[0];
    EXPECT_LT(F_ApiService(&mask), 0);
    EXPECT_EQ(mask, 0u);
    close(fds[1]);
}

// Modal waits: Frame's calls come over a real callback connection (the next one sent from inside an
// entry point); the over calls go to the recording handle.

class ModalWait : public Dispatcher {
protected:
    void SetUp() override {
        Dispatcher::SetUp();
        listener = svctcp_create(RPC_ANYSOCK, 0, 0);
        ASSERT_NE(listener, nullptr);
        ASSERT_TRUE(svc_register(listener, kProg, 1, fm_api_prog_1, 0));
        F_ApiSetFdFunc(&record_fd);
        peer = connect_to(listener->xp_port);
    }
    void TearDown() override {
        if (peer != nullptr) clnt_destroy(peer);
        // Let the service see the closed connection.
        for (int i = 0; i < 4 && (fdk::runtime::service_word() & ~(1u << listener->xp_fd)); ++i)
            F_ApiService(nullptr);
        svc_unregister(kProg, 1);
        svc_destroy(listener);
        Dispatcher::TearDown();
    }
    // Frame's call of the dialog event procedure: sent at once, its reply not waited for.
    void send_dialog(IntT a, IntT b, IntT c) {
        FmApiDialogEventArgT event{a, b, c};
        ASSERT_EQ(clnt_call(peer, 6, fdk::xdr::to_xdrproc(xdr_FmApiDialogEventArgT), &event,
                            fdk::xdr::to_xdrproc(xdr_void), nullptr, timeval{}),
                  RPC_TIMEDOUT);
    }
    SVCXPRT *listener = nullptr;
    CLIENT *peer = nullptr;
};

TEST_F(ModalWait, ReturnsTheClosingValueAndRestoresTheControlState) {
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
    // Both events were served while the wait suspended the client's hold.
    EXPECT_THAT(events, ElementsAre("dialog 5 6 7", "over 0", "over 0"));
    // The accepted connection was reported, and is reported gone when closed.
    ASSERT_EQ(reports.size(), 2u);
    const int conn = reports[1].first;
    reports.clear();
    clnt_destroy(peer);
    peer = nullptr;
    EXPECT_EQ(F_ApiService(nullptr), 1);
    EXPECT_THAT(reports, ElementsAre(std::pair(conn, 0)));
}

TEST_F(ModalWait, NestedWaitsEndInnermostFirst) {
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
    EXPECT_THAT(events, ElementsAre("dialog 9 1 2", "over 0", "over 0", "over 0"));
}

}  // namespace
