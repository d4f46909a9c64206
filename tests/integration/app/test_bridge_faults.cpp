// The bridge under faults of its peers: Frame's reply breaking off, slow
// replies, a callback sent while the bridge holds control, Frame vanishing
// in the middle of a request, the bus broker dying and coming back, the CAD
// side leaving in the middle of a conversation.  Each time the bridge ends,
// or goes on serving, as its rules say, and nothing waits forever.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>


#include "bridge_rig.h"
#include "child.hpp"

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
