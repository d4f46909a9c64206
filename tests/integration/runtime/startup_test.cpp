// Start-up and connection of the client runtime: with framesim as Frame
// (fork for client numbers 0 and above, refused FMAPIX, refused initial
// contact) and in-process against the port mapper alone (registration and
// its removal, host handling, the failures of hookup).
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apislib.h"
#include "rt_support.hpp"

using fdk::test::ExitStatus;
using fdk::test::Framesim;
using fdk::test::Millis;
using fdk::test::Process;
using fdk::test::read_file;
using fdk::test::unique_program;
using ::testing::HasSubstr;

// Entry points of this test program: it never serves a callback.
extern "C" void F_ApiInitialize(IntT) {}
extern "C" void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) {}
extern "C" void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {}

namespace {

Framesim::Options launch(const rt::ClientLog &log, const char *mode, int client_no) {
    Framesim::Options o;
    o.client = {RT_CLIENT_PATH, log.path(), mode};
    o.client_no = client_no;
    o.time_limit = 60;
    return o;
}

TEST(StartUp, ClientNumberZeroForksAndTheChildGoesOnAsTheClient) {
    rt::ClientLog log;
    Framesim fs(launch(log, "serve", 0));
    auto &j = fs.journal();
    const int launched = rt::client_pid(j, "start");
    const int contact = rt::client_pid(j, "contact");
    ASSERT_GT(launched, 0);
    ASSERT_GT(contact, 0);
    EXPECT_NE(contact, launched) << "the initial contact comes from the forked child";
    ASSERT_TRUE(j.wait_kind("client", {{"event", "exit"}, {"pid", launched}, {"status", 0}},
                            Millis(10000)))
        << "the process Frame started exits with 0 at once";
    EXPECT_EQ(log.wait_prefix("start "), "start " + std::to_string(contact) + " 0");

    // The child is the client: it serves callbacks and ends on quit.
    EXPECT_EQ(fs.ctl("init 1"), "ok replied");
    EXPECT_TRUE(log.wait_line("init 1"));
    EXPECT_EQ(fs.ctl("quit"), "ok replied");
    EXPECT_TRUE(log.wait_line("exit 0"));
    EXPECT_TRUE(j.wait_kind("client", {{"event", "exit"}, {"pid", contact}, {"status", 0}},
                            Millis(10000)));
}

TEST(StartUp, NegativeClientNumberDoesNotForkAndIsTurnedAround) {
    rt::ClientLog log;
    Framesim fs(launch(log, "serve", -5));
    auto &j = fs.journal();
    const int launched = rt::client_pid(j, "start");
    EXPECT_EQ(rt::client_pid(j, "contact"), launched);
    EXPECT_EQ(log.wait_prefix("start "), "start " + std::to_string(launched) + " 4");
    // The callback program is registered with the port mapper while it runs.
    EXPECT_NE(rt::registered_port(fs.cb_prog(), fs.cb_vers()), 0);
    EXPECT_EQ(fs.ctl("quit"), "ok replied");
    EXPECT_TRUE(log.wait_line("exit 0"));
    EXPECT_EQ(rt::registered_port(fs.cb_prog(), fs.cb_vers()), 0)
        << "shut down removes the registration";
}

TEST(StartUp, WithoutAUsableFmapixTheClientIsRefusedAndLeavesNoRegistration) {
    const uint32_t prog = unique_program(), frame_prog = unique_program();
    const std::string good = std::to_string(prog) + ".1 " + std::to_string(frame_prog) + ".1 ";
    struct Case {
        std::string fmapix;  // "-": unset
        const char *mode;
        std::string message = "not called by a Frame product";
    };
    const Case cases[] = {
        {"-", "serve"},
        {"-", "run"},
        {"garbage", "serve"},
        {good + "99", "serve"},                      // fields missing
        {good + "99.-1.", "serve"},                  // no name
        {good + "99.-1x.name", "serve"},             // text after a number
        {good + "99.-1 .name", "serve"},
        {good + "99.4294967295.name", "serve"},      // beyond int
        {good + "99999999999.-1.name", "serve"},
        {std::to_string(prog) + ".1x " + std::to_string(frame_prog) + ".1 99.-1.name", "serve"},
        {std::to_string(prog) + ".1" + std::to_string(frame_prog) + ".1 99.-1.name", "serve"},
        {"4294967296.1 " + std::to_string(frame_prog) + ".1 99.-1.name", "serve"},
        // Well formed, but Frame's program is not there: the callback
        // program was registered and is removed again.
        {good + std::to_string(getpid()) + ".-1.name", "serve", "unable to create TCP client"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fmapix + " " + c.mode);
        rt::ClientLog log;
        fdk::test::TempDir dir("rtout");
        Process::Options po;
        po.argv = {RT_CLIENT_PATH, log.path(), c.mode};
        if (c.fmapix != "-") po.env["FMAPIX"] = c.fmapix;
        else po.unset_env = {"FMAPIX"};
        po.stderr_path = dir.file("stderr");
        Process p(po);
        ExitStatus st = p.wait(Millis(10000));
        // A fork would have ended this process with 0 before any message.
        ASSERT_TRUE(st.exited);
        EXPECT_EQ(st.code, 1);
        const std::string name = c.message == "not called by a Frame product" ? "???" : "name";
        EXPECT_EQ(read_file(dir.file("stderr")),
                  "Frame API client \"" + name + "\": " + c.message + ".\n");
        EXPECT_TRUE(log.has("exit 1"));
        EXPECT_EQ(rt::registered_port(prog, 1), 0);
    }
}

TEST(StartUp, RefusedInitialContactIsReportedWithTheBoundedName) {
    rt::ClientLog log;
    Framesim::Options o = launch(log, "serve", -1);
    o.client_name = std::string(300, 'n');
    o.scenario = "drop 1000\n";
    Framesim fs(o);
    auto &j = fs.journal();
    const int launched = rt::client_pid(j, "start");
    ASSERT_TRUE(j.wait_kind("client", {{"event", "exit"}, {"pid", launched}, {"status", 1}},
                            Millis(15000)));
    EXPECT_TRUE(log.has("startup-failed unable to make initial contact"));
    EXPECT_THAT(read_file(fs.stderr_path()),
                HasSubstr("Frame API client \"" + std::string(255, 'n') +
                          "\": unable to make initial contact.\n"));
}

// ---------------------------------------------------------------------------
// In-process: no Frame, only the port mapper.

class Hookup : public ::testing::Test {
protected:
    void SetUp() override {
        prog = unique_program();
        frame_prog = unique_program();
        ASSERT_NE(prog, frame_prog);
    }
    void TearDown() override {
        F_ApiShutDown();
        unsetenv("FMAPIX");
        pmap_unset(prog, 1);
    }
    uint32_t prog = 0, frame_prog = 0;
};

TEST_F(Hookup, AStartUpThatFailsAfterRegisteringRemovesTheRegistration) {
    // Frame's program is not registered: the client handle cannot be made.
    const std::string name(300, 'x');
    const std::string fmapix = std::to_string(prog) + ".1 " + std::to_string(frame_prog) +
                               ".1 " + std::to_string(getpid()) + ".-1." + name + " trailing";
    setenv("FMAPIX", fmapix.c_str(), 1);
    EXPECT_STREQ(F_ApiStartUp(nullptr), "unable to create TCP client");
    EXPECT_EQ(FA_clientno, 0);
    EXPECT_EQ(hispid, getpid());
    ASSERT_NE(client_transp, nullptr);
    EXPECT_EQ(rt::registered_port(prog, 1), 0);
    EXPECT_EQ(myprog, 0);
    EXPECT_EQ(frame_client, nullptr);

    ::testing::internal::CaptureStderr();
    F_ApiErr("m");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Frame API client \"" + std::string(255, 'x') + "\": m.\n");

    F_ApiShutDown();
    EXPECT_EQ(client_transp, nullptr);
    F_ApiShutDown();
    EXPECT_EQ(myprog, 0);
}

TEST_F(Hookup, AHostOtherThanThisOneSwitchesTheLivenessTestOff) {
    EXPECT_STREQ(hookup(static_cast<int>(prog), 1, static_cast<int>(frame_prog), 1, getpid(),
                        "localhost"),
                 "unable to create TCP client");
    EXPECT_EQ(hispid, getpid());
    F_ApiShutDown();

    EXPECT_STREQ(hookup(static_cast<int>(prog), 1, static_cast<int>(frame_prog), 1, getpid(),
                        "no-such-host.invalid"),
                 "unable to gethostbyname");
    EXPECT_EQ(hispid, kRemoteFramePid);
    EXPECT_EQ(F_ApiFrameAlive(), 1);
    EXPECT_EQ(myprog, static_cast<int>(prog));
    F_ApiShutDown();
    EXPECT_EQ(rt::registered_port(prog, 1), 0);
}

void other_dispatcher(struct svc_req *, SVCXPRT *) {}

TEST_F(Hookup, ARefusedRegistrationIsReported) {
    // The program is already served here by another dispatcher.
    SVCXPRT *other = svctcp_create(RPC_ANYSOCK, 0, 0);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(svc_register(other, prog, 1, other_dispatcher, 0));
    EXPECT_STREQ(hookup(static_cast<int>(prog), 1, static_cast<int>(frame_prog), 1, 0, nullptr),
                 "unable to register TCP client).");
    F_ApiShutDown();
    svc_unregister(prog, 1);
    svc_destroy(other);
}

// Runs hookup with every descriptor taken and prints its message.
void hookup_without_descriptors(uint32_t prog, uint32_t frame_prog) {
    struct rlimit lim;
    lim.rlim_cur = lim.rlim_max = 64;
    setrlimit(RLIMIT_NOFILE, &lim);
    while (dup(2) >= 0) {
    }
    const char *m = hookup(static_cast<int>(prog), 1, static_cast<int>(frame_prog), 1, 0, nullptr);
    std::fputs(m != nullptr ? m : "(null)", stderr);
    _exit(0);
}

TEST_F(Hookup, NoDescriptorForTheServiceIsReported) {
    EXPECT_EXIT(hookup_without_descriptors(prog, frame_prog), ::testing::ExitedWithCode(0),
                "^unable to create TCP service$");
}

// Runs hookup with descriptors 3 to 40 taken (as a parent may leave them)
// and prints its message and whether the service's socket is below 32.
void hookup_with_inherited_descriptors(uint32_t prog, uint32_t frame_prog) {
    for (int fd = 3; fd <= 40; ++fd)
        if (fcntl(fd, F_GETFD) < 0) dup2(2, fd);
    const char *m = hookup(static_cast<int>(prog), 1, static_cast<int>(frame_prog), 1, 0, nullptr);
    std::fprintf(stderr, "%s %s", m != nullptr ? m : "(null)",
                 client_transp == nullptr ? "none" : client_transp->xp_fd < 32 ? "low" : "high");
    F_ApiShutDown();
    _exit(0);
}

TEST_F(Hookup, NoDescriptorBelow32FailsClearly) {
    EXPECT_EXIT(hookup_with_inherited_descriptors(prog, frame_prog), ::testing::ExitedWithCode(0),
                "^no free descriptor below 32 none$");
}

}  // namespace
