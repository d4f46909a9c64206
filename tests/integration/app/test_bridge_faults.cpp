// The bridge under faults of its peers, and under load.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "bridge_rig.h"
#include "mbx.h"
#include "name.h"
#include "participant.h"

namespace fdk::bridgetest {
namespace {

// Frame vanishes while the bridge is idle: after its quiet 60-second wait it
// ends with 1, unregistered.  Checked last, the wait runs during the tests.
class FrameVanishes : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // the bridge is re-parented here
    rig_ = std::make_unique<Rig>();
    bridge_ = rig_->bridge_pid();
    rig_->ctl("vanish");  // no answer: framesim is gone
    ASSERT_FALSE(rig_->frame().wait_exit(kWait).timed_out);  // reaped: no zombie looks alive
  }
  void TearDown() override {
    if (!rig_) return;
    int status = -1;
    fdk::test::wait_until([&] { return waitpid(bridge_, &status, WNOHANG) == bridge_; }, 100000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "still there, or " << status;
    EXPECT_EQ(fdk::test::registered_port(rig_->frame().cb_prog(), rig_->frame().cb_vers()), 0);
    if (status == -1) kill(bridge_, SIGKILL);
  }

 private:
  std::unique_ptr<Rig> rig_;
  pid_t bridge_ = 0;
};
[[maybe_unused]] auto *const kVanish = ::testing::AddGlobalTestEnvironment(new FrameVanishes);

// Frame's reply breaks off: an open fails ("KO"), a title after "OK" not.
TEST(BridgeFaults, ReplyCutOffByFrameFailsTheCallAndTheBridgeGoesOn) {
  for (auto [proc, reply] : {std::pair{1019, kKoReply}, std::pair{1071, kOkReply}}) {
    Rig rig;
    ASSERT_EQ(rig.ctl("cut " + std::to_string(proc)), "ok");
    // Not rig.display(): with Frame's connection cut no hand-back reaches the journal.
    const Texts display = {"request", "DOKFRMDI", "--item", rig.docs() + "/manual.json",
                           "--read", "--item", "chap2"};
    EXPECT_EQ(rig.cad(display).out, reply);
    EXPECT_EQ(rig.cad(display).out, kKoReply);
    EXPECT_EQ(rig.count("scroll", Json::object()), 0u);
    rig.stop_bus();
    EXPECT_EQ(rig.bridge_exit(), 0);
  }
}

int Connect(Rig &rig) {
  const uint16_t port = fdk::test::registered_port(rig.frame().cb_prog(), rig.frame().cb_vers());
  sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0) return fd;
  close(fd);
  return -1;
}

// True when the bridge closes `fd` within `ms`.
bool Closed(int fd, int ms) {
  char buf[512];
  for (pollfd p{fd, POLLIN, 0}; ms > 0; ms -= 100)
    if (poll(&p, 1, 100) > 0 && recv(fd, buf, sizeof buf, 0) <= 0) return true;
  return false;
}

bool ReportedOnce(Rig &rig, const std::string &what) {
  std::string text = fdk::test::read_file(rig.frame().stderr_path());
  return text.find(what) != std::string::npos && text.find(what) == text.rfind(what);
}

// Another user's calls, twice: closed unanswered, reported once, no harm.
TEST(BridgeFaults, AnotherUsersProcessIsRefused) {
  Rig rig;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Process call({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--",
                  "/usr/sbin/rpcinfo", "-t", "localhost", std::to_string(rig.frame().cb_prog()),
                  std::to_string(rig.frame().cb_vers())}, rig.dir(), "nobody");
    EXPECT_TRUE(call.ends_within(kWait.count()) && call.exit_code() == 1) << call.err();
  }
  EXPECT_EQ(rig.ctl("callback 0"), "ok replied");
  EXPECT_EQ(rig.display(rig.docs() + "/manual.json", "intro").out, kOkReply);
  EXPECT_TRUE(ReportedOnce(rig, "refused: another user (65534)"));
}

// Trickled and oversized records are closed, a flood kept to four connections.
TEST(BridgeFaults, SlowLargeAndManyConnectionsDoNotStallTheBridge) {
  Rig rig;
  const std::string manual = rig.docs() + "/manual.json";
  int trickler = Connect(rig), large = Connect(rig);
  ASSERT_TRUE(trickler >= 0 && large >= 0);
  const uint32_t marks[] = {htonl(0x80000000u | 100), htonl(0x80000000u | (1u << 20))};
  ASSERT_EQ(send(trickler, &marks[0], 4, MSG_NOSIGNAL), 4);
  std::thread drip([trickler] {
    for (int i = 0; i < 60 && send(trickler, "x", 1, MSG_NOSIGNAL) == 1; ++i)
      std::this_thread::sleep_for(Millis(400));
  });
  for (int i = 0; i < 2; ++i) EXPECT_EQ(rig.display(manual, "intro").out, kOkReply);
  EXPECT_TRUE(Closed(trickler, kWait.count()));
  drip.join();
  ASSERT_EQ(send(large, &marks[1], 4, MSG_NOSIGNAL), 4);
  ASSERT_EQ(send(large, std::string(4096, 'x').data(), 4096, MSG_NOSIGNAL), 4096);
  EXPECT_TRUE(Closed(large, kWait.count()));
  close(trickler);
  close(large);

  std::vector<int> flood;
  for (int i = 0; i < 16; ++i) flood.push_back(Connect(rig));
  EXPECT_EQ(rig.display(manual, "intro").out, kOkReply);
  size_t closed = 0;
  for (int fd : flood) {
    closed += fd >= 0 && Closed(fd, 2000);
    close(fd);
  }
  EXPECT_GE(closed, flood.size() - 3) << "at most four connections, Frame's among them";
  EXPECT_TRUE(ReportedOnce(rig, "too many callback connections"));
  EXPECT_EQ(rig.ctl("callback 0"), "ok replied");
}

// The broker dies while the bridge waits for a tag: control back, status 0.
TEST(BridgeFaults, BrokerDyingMidRequestEndsTheBridgeInOrder) {
  Rig rig;
  size_t from = rig.mark();
  auto cad = rig.start_cad({"request", "DOKFRMDI", "--item", rig.docs() + "/manual.json", "--read",
                            "--pause", "5000", "--item", "chap2"}, "held");
  ASSERT_TRUE(cad->wait_for_output("item 3 OK", kWait.count()));
  rig.stop_bus();
  EXPECT_EQ(rig.bridge_exit(), 0);
  auto over = rig.journal().wait_kind("control", {{"event", "over"}}, kWait, from);
  auto exit = rig.journal().wait_kind("client", {{"event", "exit"}}, kWait, from);
  ASSERT_TRUE(over && exit);
  EXPECT_LT(*over, *exit) << "control was not handed back before the end";
  EXPECT_EQ(rig.count("scroll", Json::object()), 0u);
}

// The CAD side leaves at each step; what never came is empty (a name: ALPHA).
TEST(BridgeFaults, CadSideLeavingMidConversationIsSurvived) {
  Rig rig;
  const std::string manual = rig.docs() + "/manual.json", dir = rig.docs() + "/";
  for (auto [args, scrolls] : std::vector<std::pair<Texts, bool>>{
           {{"DOKFRMDI", "--die"}, false},
           {{"DOKFRMDI", "--item", manual, "--die"}, false},
           {{"DOKFRMDI", "--item", manual, "--read", "--die"}, false},
           {{"DOKFRMFT", "--item", dir, "--die"}, false},
           {{"DOKFRMFT", "--item", dir, "--item", "list.json", "--die"}, true}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    size_t from = rig.mark();
    EXPECT_EQ(rig.request(args).code, 3);
    // Items and the CAD side's end may come in separate turns: the scroll in a later one.
    auto scroll = rig.journal().wait_kind("scroll", Json::object(), scrolls ? kWait : Millis(0), from);
    EXPECT_EQ(scroll.has_value(), scrolls);
    if (scroll) rig.journal().wait_kind("control", {{"event", "over"}}, kWait, *scroll);
    from = rig.mark();
    EXPECT_EQ(rig.display(manual, "intro").out, kOkReply);
    EXPECT_EQ(rig.count("scroll", Json::object(), from), 1u);
  }
}

// 20,000 requests (FDK_SOAK_REQUESTS) answered as the first, in constant
// memory, and no leak at the exit (in the sanitizer build).
long ResidentKiB(pid_t pid) {
  long size = 0, pages = -1;
  std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> size >> pages;
  return pages * sysconf(_SC_PAGESIZE) / 1024;
}

TEST(BridgeSoak, TwentyThousandRequestsInConstantMemory) {
  Rig rig({}, 7200);
  pid_t bridge = rig.bridge_pid();
  mbx::Participant bus;
  bus.set_socket_path(rig.bus_socket());
  bus.set_timeout_ms(kWait.count());
  auto me = mbx::Name::from_text("SOAKCAD");
  ASSERT_EQ(bus.join(&*me), MBX_OK);
  auto request = [&bus](const char *name, const Texts &items) {
    uint32_t conv = 0;
    Texts got;
    int st = bus.open_request(*mbx::Name::from_text(name), 0, &conv);
    for (const std::string &it : items)
      if (st == MBX_OK) st = bus.send(conv, it.data(), static_cast<int32_t>(it.size()), false);
    if (st == MBX_OK) st = bus.finish(conv);
    char item[64];
    for (int32_t size = 0; st == MBX_OK && (st = bus.receive(conv, sizeof item, item, &size)) == MBX_OK;)
      got.emplace_back(item, static_cast<size_t>(size));
    bus.abandon(conv);
    return st == MBX_E_NOITEM ? got : Texts{"lost"};
  };

  const std::string dir = rig.docs() + "/";
  const std::tuple<const char *, Texts, Texts> kinds[] = {
      {"DOKFRMDI", {dir + "manual.json", "chap2"}, {std::string("OK") + '\0'}},
      {"DOKFRMDI", {dir + "missing.json", "chap2"}, {std::string("KO") + '\0'}},
      {"DOKFRMFT", {dir, "list.json", "MYFUNC"}, {}},      // a function's page
      {"DOKFRMFT", {dir, "list.json", "NOSUCHFN"}, {}}};  // an alert
  const char *count = std::getenv("FDK_SOAK_REQUESTS");
  const long total = std::max(2000L, count != nullptr ? std::atol(count) : 20000);
  long rss_warm = -1, failures = 0;
  for (long i = 0; i < total && failures <= 10; ++i) {
    const auto &[name, items, want] = kinds[i % 4];
    Texts got = request(name, items);
    EXPECT_EQ(got, want) << "request " << i;
    failures += got != want;
    if (i + 1 == 1000) rss_warm = ResidentKiB(bridge);
  }
  long rss_end = ResidentKiB(bridge);
  std::printf("bridge resident memory: %ld KiB, %ld KiB at the end\n", rss_warm, rss_end);
  ASSERT_GT(rss_warm, 0);
#ifndef FDK_SANITIZE_BUILD
  EXPECT_LT(rss_end - rss_warm, 1024);  // instrumented builds keep freed memory in quarantine
#endif
  rig.journal().skip_to_end();
  EXPECT_EQ(rig.request({"DOKFRMRA", "--kind", "5"}).code, 0);
  EXPECT_EQ(rig.bridge_exit(), 0);
}

}  // namespace
}  // namespace fdk::bridgetest
