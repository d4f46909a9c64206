// The bridge under faults of its peers: Frame's replies cut off, a callback
// while the bridge holds control, Frame vanishing, strangers on the
// callback port, the broker dying, the CAD side leaving mid-way.  Each time
// the bridge ends, or goes on serving, and nothing waits forever.
#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

Texts DisplayArgs(Rig &rig, const std::string &doc) {
  return {"request", "DOKFRMDI", "--item", rig.docs() + "/" + doc, "--read", "--item", "chap2"};
}

// Frame vanishes while the bridge waits for work: nothing is ever ready
// again, only the bridge's own liveness test at the end of its quiet
// 60-second wait can notice.  It then ends with 1, leaving no port-mapper
// registration.  Set up first, checked last: the wait runs during the tests.
class FrameVanishes : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // the bridge is re-parented here
    rig_ = std::make_unique<Rig>();
    bridge_ = rig_->bridge_pid();
    rig_->frame().ctl("vanish", Millis(2000));  // no answer: framesim is gone
    rig_->frame().wait_exit(Millis(5000));
  }
  void TearDown() override {
    if (!rig_) return;
    int status = -1;
    EXPECT_TRUE(fdk::test::wait_until(
        [&] { return waitpid(bridge_, &status, WNOHANG) == bridge_; }, 100000, 200))
        << "the bridge outlived its Frame by 100 seconds";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(fdk::test::registered_port(rig_->frame().cb_prog(), rig_->frame().cb_vers()), 0);
    if (status == -1) kill(bridge_, SIGKILL);
  }

 private:
  std::unique_ptr<Rig> rig_;
  pid_t bridge_ = 0;
};
[[maybe_unused]] auto *const kVanish = ::testing::AddGlobalTestEnvironment(new FrameVanishes);

// Frame's reply breaks off and its connection goes: in the open, the call
// fails and the CAD side hears "KO"; in the title set after the answer,
// the answer stands.  Later calls fail at once; the bridge goes on
// answering "KO", and ends in order when the bus goes.
TEST(BridgeFaults, ReplyCutOffByFrameFailsTheCallAndTheBridgeGoesOn) {
  for (auto [proc, reply] : {std::pair{1019, kKoReply}, std::pair{1071, kOkReply}}) {
    Rig rig;
    ASSERT_EQ(rig.ctl("cut " + std::to_string(proc)), "ok");
    EXPECT_EQ(rig.cad(DisplayArgs(rig, "manual.json")).out, reply);
    EXPECT_TRUE(rig.journal().wait_kind("call", {{"proc", proc}, {"fault", {{"cut", true}}}}, kWait));
    EXPECT_EQ(rig.cad(DisplayArgs(rig, "other.json")).out, kKoReply);
    EXPECT_EQ(rig.count("scroll", Json::object()), 0u);
    rig.stop_bus();
    EXPECT_EQ(rig.bridge_exit(), 0);
  }
}

// Starts showing manual.json at "chap2", the tag sent after `pause_ms`;
// once the "OK" is in, the bridge holds control and waits for the tag.
std::unique_ptr<Process> HoldDisplay(Rig &rig, int pause_ms) {
  Texts args = DisplayArgs(rig, "manual.json");
  args.insert(args.end() - 2, {"--pause", std::to_string(pause_ms)});
  auto cad = rig.start_cad(args, "held");
  return cad->wait_for_output("item 3 OK", kWait.count()) ? std::move(cad) : nullptr;
}

// A callback that Frame has to make while the bridge holds control for a
// bus request waits for the bridge's over call, then is served.
TEST(BridgeFaults, CallbackDuringABusRequestIsServedAfterTheTurn) {
  Rig rig;
  size_t from = rig.mark();
  auto cad = HoldDisplay(rig, 1500);
  ASSERT_TRUE(cad);
  EXPECT_EQ(rig.ctl("init 1"), "ok replied");
  ASSERT_TRUE(cad->ends_within(kWait.count()));
  EXPECT_EQ(cad->out(), kOkReply);
  ASSERT_TRUE(rig.ctl("wait over").starts_with("ok"));
  auto over = rig.journal().wait_kind("control", {{"event", "over"}}, Millis(0), from);
  auto init = rig.journal().wait_kind("callback", {{"proc", 2}}, Millis(0), from);
  auto notify = rig.journal().wait_kind("notify-request", {{"notification", 2}}, Millis(0), from);
  ASSERT_TRUE(over && init && notify);
  EXPECT_LT(*over, *init) << "the callback came before the bridge handed control back";
  EXPECT_LT(*init, *notify);
  EXPECT_EQ(rig.count("control", {{"unexpected", true}}), 0u);
  EXPECT_EQ(rig.count("scroll", Json::object(), from), 1u) << "the tag was placed";
}

// --- strangers on the callback port ----------------------------------------

int Connect(Rig &rig) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(fdk::test::registered_port(rig.frame().cb_prog(), rig.frame().cb_vers()));
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) return fd;
  close(fd);
  return -1;
}

// True when the bridge closes `fd` within `ms`, without a byte of answer
// when `silent`.
bool Closed(int fd, int ms, bool silent = false) {
  char buf[512];
  for (pollfd p{fd, POLLIN, 0}; ms > 0; ms -= 100) {
    if (poll(&p, 1, 100) <= 0) continue;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0 || silent) return n <= 0;
  }
  return false;
}

size_t Reported(Rig &rig, const std::string &what) {
  std::string text = fdk::test::read_file(rig.frame().stderr_path());
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A process of another user (a child that becomes nobody) sends the quit
// call, twice: each connection is closed before the call is read, the peer
// is reported once, and Frame and the bus are served as before.
TEST(BridgeFaults, AnotherUsersProcessIsRefused) {
  Rig rig;
  const passwd *nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  std::string quit;  // record mark, then the call of procedure 1
  for (uint32_t w : {0x80000000u | 40, 7u, 0u, 2u, rig.frame().cb_prog(), rig.frame().cb_vers(),
                     1u, 0u, 0u, 0u, 0u}) {
    uint32_t n = htonl(w);
    quit.append(reinterpret_cast<const char *>(&n), 4);
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    pid_t child = fork();
    if (child == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
        _exit(2);
      int fd = Connect(rig);
      if (fd < 0 || send(fd, quit.data(), quit.size(), MSG_NOSIGNAL) < 0) _exit(3);
      _exit(Closed(fd, 10000, true) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
  }
  EXPECT_EQ(rig.ctl("callback 0"), "ok replied");
  EXPECT_EQ(rig.display(rig.docs() + "/other.json", "other-a").out, kOkReply);
  EXPECT_EQ(Reported(rig, "refused: another user (" + std::to_string(nobody->pw_uid) + ")"), 1u);
}

// Peers of this user that misbehave: one trickles a record a byte at a
// time, one announces a record larger than any callback, a flood of
// connections send nothing.  The first two are closed, the flood is kept
// to a few connections, the bus is answered meanwhile, Frame's own
// connection stays.
TEST(BridgeFaults, SlowLargeAndManyConnectionsDoNotStallTheBridge) {
  Rig rig;
  const std::string other = rig.docs() + "/other.json";
  int trickler = Connect(rig), large = Connect(rig);
  ASSERT_TRUE(trickler >= 0 && large >= 0);
  const uint32_t marks[] = {htonl(0x80000000u | 100), htonl(0x80000000u | (1u << 20))};
  ASSERT_EQ(send(trickler, &marks[0], 4, MSG_NOSIGNAL), 4);
  std::thread drip([trickler] {
    for (int i = 0; i < 60 && send(trickler, "x", 1, MSG_NOSIGNAL) == 1; ++i)
      std::this_thread::sleep_for(Millis(400));
  });
  for (int i = 0; i < 2; ++i) EXPECT_EQ(rig.display(other, "other-a").out, kOkReply);
  EXPECT_TRUE(Closed(trickler, kWait.count()));
  drip.join();
  ASSERT_EQ(send(large, &marks[1], 4, MSG_NOSIGNAL), 4);
  ASSERT_EQ(send(large, std::string(4096, 'x').data(), 4096, MSG_NOSIGNAL), 4096);
  EXPECT_TRUE(Closed(large, kWait.count()));
  close(trickler);
  close(large);

  std::vector<int> flood;
  for (int i = 0; i < 16; ++i) flood.push_back(Connect(rig));
  EXPECT_EQ(rig.display(other, "other-b").out, kOkReply);
  size_t closed = 0;
  for (int fd : flood) {
    closed += fd >= 0 && Closed(fd, 2000);
    close(fd);
  }
  EXPECT_GE(closed, flood.size() - 3) << "at most four connections, Frame's among them";
  EXPECT_EQ(Reported(rig, "too many callback connections"), 1u);
  EXPECT_EQ(rig.ctl("callback 0"), "ok replied");
}

// --- the bus --------------------------------------------------------------

// The broker dies while the bridge waits for a tag: the bridge hands
// control back and ends with 0.  A new broker on the same socket is a new
// bus, without the bridge.
TEST(BridgeFaults, BrokerDyingMidRequestEndsTheBridgeInOrder) {
  Rig rig;
  size_t from = rig.mark();
  auto cad = HoldDisplay(rig, 5000);
  ASSERT_TRUE(cad);
  rig.stop_bus();
  EXPECT_EQ(rig.bridge_exit(), 0);
  auto over = rig.journal().wait_kind("control", {{"event", "over"}}, kWait, from);
  auto exit = rig.journal().wait_kind("client", {{"event", "exit"}}, kWait, from);
  ASSERT_TRUE(over && exit);
  EXPECT_LT(*over, *exit) << "control was not handed back before the end";
  EXPECT_EQ(rig.count("scroll", Json::object()), 0u);

  Process bus = fdk::test::start_broker(MBXD_PATH, rig.frame().dir().path(), rig.bus_socket());
  CadRun r = rig.cad(DisplayArgs(rig, "manual.json"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("nobody serves"), std::string::npos) << r.err;
}

// The CAD side leaves at each step of both requests; the function service
// leaves in the middle of the call from a "message" click.  The bridge
// finishes with what it got: a display whose path or tag never came places
// nothing; a lookup whose name never came takes the empty name, the list's
// first function.  Then it serves the next request in full.
TEST(BridgeFaults, CadSideLeavingMidConversationIsSurvived) {
  Rig rig;
  const std::string manual = rig.docs() + "/manual.json", dir = rig.docs() + "/";
  for (auto [args, scrolls] : std::vector<std::pair<Texts, size_t>>{
           {{"DOKFRMDI", "--die"}, 0},
           {{"DOKFRMDI", "--item", manual, "--die"}, 0},
           {{"DOKFRMDI", "--item", manual, "--read", "--die"}, 0},
           {{"DOKFRMFT", "--item", dir, "--die"}, 0},
           {{"DOKFRMFT", "--item", dir, "--item", "list.json", "--die"}, 1},
           {{}, 0}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    size_t from = rig.mark();
    if (args.empty()) {
      auto service = rig.start_cad({"serve", "CURFCT", "--abort-after-items", "0"}, "serve");
      ASSERT_TRUE(service->wait_for_output("ready\n", kWait.count()));
      EXPECT_TRUE(rig.ctl("message \"message CURFCT\" 0 0").starts_with("ok"));
      ASSERT_TRUE(rig.ctl("wait over").starts_with("ok"));
    } else {
      EXPECT_EQ(rig.request(args).code, 3);
    }
    EXPECT_EQ(rig.count("scroll", Json::object(), from), scrolls);
    from = rig.mark();
    EXPECT_EQ(rig.display(rig.docs() + "/other.json", "other-b").out, kOkReply);
    EXPECT_EQ(rig.count("scroll", Json::object(), from), 1u);
  }
}

}  // namespace
}  // namespace fdk::bridgetest
