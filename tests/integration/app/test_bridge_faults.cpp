// The bridge under faults of its peers: Frame's reply breaking off, slow
// replies, a callback sent while the bridge holds control, Frame vanishing
// in the middle of a request, the bus broker dying and coming back, the CAD
// side leaving in the middle of a conversation.  Each time the bridge ends,
// or goes on serving, as its rules say, and nothing waits forever.
#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <rpc/pmap_clnt.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

using fdk::test::Process;
using fdk::test::read_file;

constexpr char kOkReply[] = "item 3 OK\\x00\nend\n";
constexpr char kKoReply[] = "item 3 KO\\x00\nend\n";

std::vector<std::string> DisplayArgs(Rig &rig, const std::string &doc, const std::string &tag) {
  return {"DOKFRMDI", "--item", rig.docs() + "/" + doc, "--read", "--item", tag};
}

// Sends a request without waiting for the bridge to hand control back (it
// may never do so when Frame's connection is gone).
CadRun Send(Rig &rig, std::vector<std::string> args) {
  args.insert(args.begin(), "request");
  return rig.cad(args);
}

// Shows doc at tag the way the CAD side does and waits for the bridge to
// hand control back.
CadRun Display(Rig &rig, const std::string &doc, const std::string &tag) {
  return rig.request(DisplayArgs(rig, doc, tag));
}

bool Alive(pid_t pid) { return pid > 0 && kill(pid, 0) == 0; }

// Starts showing manual.json at "chap2" and waits until the "OK" is in:
// the bridge then holds control and waits `pause_ms` for the tag.  The
// CAD side's output is the rig's file "held.out"; null when no "OK" came.
std::unique_ptr<Process> HoldDisplay(Rig &rig, int pause_ms) {
  auto cad = rig.start_cad({"request", "DOKFRMDI", "--item", rig.docs() + "/manual.json", "--read",
                            "--pause", std::to_string(pause_ms), "--item", "chap2"},
                           "held.out");
  std::string out = rig.file("held.out");
  bool ok = fdk::test::wait_until(
      [&] { return read_file(out).find("item 3 OK") != std::string::npos; }, kWait.count());
  return ok ? std::move(cad) : nullptr;
}

// Scroll lines from `from` on.
size_t Scrolls(Rig &rig, size_t from) {
  size_t n = 0;
  const auto &lines = rig.journal().lines();
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].value("kind", "") == "scroll") ++n;
  return n;
}

// --- Frame ----------------------------------------------------------------

// Frame carries out the open but its reply breaks off and the connection
// goes.  The open failed as far as the bridge knows: the CAD side hears
// "KO".  Every later call fails at once on the closed connection; the bridge
// keeps answering the CAD side (with "KO") and still ends in order when the
// bus goes.
TEST(BridgeFaults, ReplyCutOffByFrameFailsTheCallAndTheBridgeGoesOn) {
  Rig rig;
  pid_t bridge = rig.bridge_pid();
  size_t from = rig.mark();
  ASSERT_EQ(rig.ctl("cut 1019"), "ok");
  CadRun r = Send(rig, DisplayArgs(rig, "manual.json", "chap2"));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, kKoReply);
  EXPECT_TRUE(rig.journal().wait_kind("call", {{"proc", 1019}, {"fault", {{"cut", true}}}}, kWait,
                                      from));
  EXPECT_EQ(Scrolls(rig, from), 0u);

  // Another request: answered, no hang, no signal from the dead connection.
  r = Send(rig, DisplayArgs(rig, "other.json", "other-a"));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, kKoReply);
  EXPECT_TRUE(Alive(bridge));

  rig.stop_bus();
  EXPECT_EQ(rig.bridge_exit(), 0);
}

// The same break in a call the bridge makes without looking at the result
// (the title): the reply to the CAD side has gone out already, the tag
// search fails quietly, and the bridge goes on.
TEST(BridgeFaults, ReplyCutOffAfterTheAnswerLeavesTheAnswerStanding) {
  Rig rig;
  ASSERT_EQ(rig.ctl("cut 1071"), "ok");
  CadRun r = Send(rig, DisplayArgs(rig, "manual.json", "chap2"));
  EXPECT_EQ(r.code, 0) << r.err;
  // The first title is set inside the open, before the answer.
  EXPECT_EQ(r.out, kOkReply);
  EXPECT_TRUE(Alive(rig.bridge_pid()));
  rig.stop_bus();
  EXPECT_EQ(rig.bridge_exit(), 0);
}

// Slow replies are waited for: the request is served in full.
TEST(BridgeFaults, DelayedRepliesAreWaitedFor) {
  Rig rig;
  size_t from = rig.mark();
  for (const char *fault : {"delay 1343 1500", "delay 1019 1500", "delay 1268 1500"})
    ASSERT_EQ(rig.ctl(fault), "ok") << fault;
  auto t0 = std::chrono::steady_clock::now();
  CadRun r = Display(rig, "manual.json", "chap2");
  EXPECT_GE(std::chrono::steady_clock::now() - t0, Millis(4500));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, kOkReply);
  EXPECT_EQ(Scrolls(rig, from), 1u);
}

// Frame has a callback to make while the bridge holds control for a bus
// request: it waits for the bridge's over call, then the bridge serves it.
TEST(BridgeFaults, CallbackDuringABusRequestIsServedAfterTheTurn) {
  Rig rig;
  size_t from = rig.mark();
  auto cad = HoldDisplay(rig, 1500);
  ASSERT_TRUE(cad);
  // The bridge holds control and waits for the tag.
  std::string answer = rig.ctl("init 1");
  EXPECT_EQ(answer, "ok replied");
  ASSERT_TRUE(cad->wait(kWait).exited);
  EXPECT_EQ(read_file(rig.file("held.out")), kOkReply);
  ASSERT_TRUE(rig.ctl("wait over").starts_with("ok"));

  const auto &lines = rig.journal().lines();
  std::optional<size_t> over, init, notify;
  for (size_t i = from; i < lines.size(); ++i) {
    const Json &j = lines[i];
    std::string kind = j.value("kind", "");
    if (kind == "control" && j.value("event", "") == "over" && !over) over = i;
    if (kind == "callback" && j.value("proc", 0) == 2) init = i;
    if (kind == "notify-request" && j.value("notification", 0) == 2) notify = i;
    EXPECT_FALSE(kind == "control" && j.value("unexpected", false)) << j.dump();
  }
  ASSERT_TRUE(over && init && notify);
  EXPECT_LT(*over, *init) << "the callback came before the bridge handed control back";
  EXPECT_LT(*init, *notify);
  EXPECT_EQ(Scrolls(rig, from), 1u) << "the tag was placed";
}

// Frame dies while the bridge holds control: the request is answered with
// "KO" (nothing opens any more) and the bridge notices that Frame is gone
// and ends with status 1.
TEST(BridgeFaults, FrameVanishingDuringARequestEndsTheBridgeWithOne) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  Rig rig;
  pid_t bridge = rig.bridge_pid();
  ASSERT_GT(bridge, 0);
  // A callback first, so that Frame's callback connection is open.
  ASSERT_TRUE(rig.ctl("init 1").starts_with("ok"));
  ASSERT_TRUE(rig.ctl("wait over").starts_with("ok"));
  size_t from = rig.mark();
  auto cad = rig.start_cad({"request", "DOKFRMDI", "--pause", "1500", "--item",
                            rig.docs() + "/manual.json", "--read", "--item", "chap2"},
                           "vanish.out");
  ASSERT_TRUE(rig.journal().wait_kind("control", {{"event", "take"}}, kWait, from));
  rig.ctl("vanish");  // no answer: framesim is gone
  rig.frame().wait_exit(Millis(5000));

  ASSERT_TRUE(cad->wait(kWait).exited);
  EXPECT_EQ(read_file(rig.file("vanish.out")), kKoReply);

  std::optional<int> status = ReapOrphan(bridge, Millis(100000));
  ASSERT_TRUE(status) << "the bridge outlived its Frame by 100 seconds";
  EXPECT_EQ(*status, 1);
}

// --- strangers on the callback port ----------------------------------------

// The port of the bridge's callback program.
unsigned short CallbackPort(Rig &rig) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return pmap_getport(&a, rig.frame().cb_prog(), rig.frame().cb_vers(), IPPROTO_TCP);
}

int Connect(unsigned short port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The quit call (procedure 1) of the callback program, record mark first.
std::string QuitCall(uint32_t prog, uint32_t vers) {
  const uint32_t words[] = {0x80000000u | 40, 7, 0 /* call */, 2, prog, vers, 1, 0, 0, 0, 0};
  std::string out;
  for (uint32_t w : words) {
    uint32_t n = htonl(w);
    out.append(reinterpret_cast<const char *>(&n), 4);
  }
  return out;
}

// Waits up to `timeout` for the bridge to close `fd`; true when it did,
// without a byte of answer when `silent`.
bool Closed(int fd, Millis timeout, bool silent = false) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[512];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return true;
    if (silent) return false;
  }
  return false;
}

size_t Occurrences(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A process of another user on this host (a child that becomes nobody)
// sends the quit call, twice: each connection is closed before the call is
// read, the peer is reported once, and Frame's callbacks and the bus are
// served as before.
TEST(BridgeFaults, AnotherUsersProcessIsRefused) {
  Rig rig;
  const unsigned short port = CallbackPort(rig);
  ASSERT_NE(port, 0);
  const passwd *nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  const std::string quit = QuitCall(rig.frame().cb_prog(), rig.frame().cb_vers());
  for (int attempt = 0; attempt < 2; ++attempt) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(2);
      int fd = Connect(port);
      if (fd < 0 || send(fd, quit.data(), quit.size(), MSG_NOSIGNAL) < 0) _exit(3);
      _exit(Closed(fd, Millis(10000), true) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(rig.ctl("callback 0"), "ok replied");
  CadRun r = Display(rig, "other.json", "other-a");
  EXPECT_EQ(r.out, kOkReply) << r.err;
  EXPECT_EQ(Occurrences(read_file(rig.frame().stderr_path()),
                        "refused: another user (" + std::to_string(uid) + ")"),
            1u);
}

// Peers of this user that misbehave: one trickles a record a byte at a
// time, one announces a record larger than any callback, a flood of
// connections that send nothing.  The first two are closed, the flood is
// kept to a few connections, the bus is answered meanwhile, and Frame's own
// connection stays.
TEST(BridgeFaults, SlowLargeAndManyConnectionsDoNotStallTheBridge) {
  Rig rig;
  const unsigned short port = CallbackPort(rig);
  ASSERT_NE(port, 0);

  int trickler = Connect(port);
  ASSERT_GE(trickler, 0);
  const uint32_t mark = htonl(0x80000000u | 100);
  ASSERT_EQ(send(trickler, &mark, 4, MSG_NOSIGNAL), 4);
  std::thread drip([trickler] {
    for (int i = 0; i < 60; ++i) {
      if (send(trickler, "x", 1, MSG_NOSIGNAL) != 1) return;
      std::this_thread::sleep_for(Millis(400));
    }
  });
  for (int i = 0; i < 2; ++i) {
    CadRun r = Display(rig, "other.json", "other-a");
    EXPECT_EQ(r.out, kOkReply) << r.err;
  }
  EXPECT_TRUE(Closed(trickler, kWait));
  drip.join();
  close(trickler);

  int large = Connect(port);
  ASSERT_GE(large, 0);
  const uint32_t huge = htonl(0x80000000u | (1u << 20));
  ASSERT_EQ(send(large, &huge, 4, MSG_NOSIGNAL), 4);
  ASSERT_EQ(send(large, std::string(4096, 'x').data(), 4096, MSG_NOSIGNAL), 4096);
  EXPECT_TRUE(Closed(large, kWait));
  close(large);

  std::vector<int> flood;
  for (int i = 0; i < 16; ++i) flood.push_back(Connect(port));
  CadRun r = Display(rig, "other.json", "other-b");
  EXPECT_EQ(r.out, kOkReply) << r.err;
  size_t closed = 0;
  for (int fd : flood) {
    if (fd >= 0 && Closed(fd, Millis(2000))) ++closed;
    close(fd);
  }
  EXPECT_GE(closed, flood.size() - 3) << "at most four connections, Frame's among them";
  EXPECT_EQ(Occurrences(read_file(rig.frame().stderr_path()), "too many callback connections"),
            1u);
  EXPECT_EQ(rig.ctl("callback 0"), "ok replied");
}

// --- the bus --------------------------------------------------------------

// The broker dies while the bridge serves a request: the tag never comes,
// the bridge hands control back and ends with 0.  A new broker on the same
// socket is a new bus: the bridge is not on it.
TEST(BridgeFaults, BrokerDyingMidRequestEndsTheBridgeInOrder) {
  Rig rig;
  size_t from = rig.mark();
  auto cad = HoldDisplay(rig, 5000);
  ASSERT_TRUE(cad);
  rig.stop_bus();
  EXPECT_EQ(rig.bridge_exit(), 0);
  EXPECT_EQ(Scrolls(rig, from), 0u);
  auto over = rig.journal().wait_kind("control", {{"event", "over"}}, kWait, from);
  auto exit = rig.journal().wait_kind("client", {{"event", "exit"}, {"contact", true}}, kWait, from);
  ASSERT_TRUE(over && exit);
  EXPECT_LT(*over, *exit) << "control was not handed back before the end";
  cad->wait(kWait);

  rig.start_bus();
  CadRun r = Send(rig, DisplayArgs(rig, "manual.json", "chap2"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("nobody serves"), std::string::npos) << r.err;
}

// The CAD side leaves in the middle of a conversation, at each step of
// both requests.  The bridge finishes the request with what it got: a
// display whose path or tag never came places nothing; a lookup whose
// function name never came takes the name as empty, which is the list's
// first function.  Then it serves the next request in full.
TEST(BridgeFaults, CadSideLeavingMidConversationIsSurvived) {
  Rig rig;
  const std::string manual = rig.docs() + "/manual.json";
  struct Case {
    std::vector<std::string> args;
    size_t scrolls;
  };
  const std::vector<Case> cases = {
      {{"DOKFRMDI", "--die"}, 0},
      {{"DOKFRMDI", "--item", manual, "--die"}, 0},
      {{"DOKFRMDI", "--item", manual, "--read", "--die"}, 0},
      {{"DOKFRMFT", "--item", rig.docs() + "/", "--die"}, 0},
      {{"DOKFRMFT", "--item", rig.docs() + "/", "--item", "list.json", "--die"}, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    size_t from = rig.mark();
    CadRun r = rig.request(c.args);
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_EQ(Scrolls(rig, from), c.scrolls);

    from = rig.mark();
    r = Display(rig, "other.json", "other-b");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, kOkReply);
    EXPECT_EQ(Scrolls(rig, from), 1u);
  }
}

// The function service leaves in the middle of the bridge's call from a
// hypertext message: the bridge gives up on that lookup and goes on.
TEST(BridgeFaults, FunctionServiceLeavingMidCallIsSurvived) {
  Rig rig;
  rig.serve({"CURFCT", "--abort-after-items", "0"});
  size_t from = rig.mark();
  std::string answer = rig.ctl("message \"message CURFCT\" 0 0");
  EXPECT_TRUE(answer.starts_with("ok")) << answer;
  ASSERT_TRUE(rig.ctl("wait over").starts_with("ok"));
  EXPECT_EQ(Scrolls(rig, from), 0u);

  from = rig.mark();
  CadRun r = Display(rig, "other.json", "other-a");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, kOkReply);
  EXPECT_EQ(Scrolls(rig, from), 1u);
}

}  // namespace
}  // namespace fdk::bridgetest
