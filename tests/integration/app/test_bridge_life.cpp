// The bridge's life with Frame and the bus: start-up under framesim,
// initialisation and notifications, "DOKFRMRA", and each way it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

bool Ok(const std::string &answer) { return answer.rfind("ok", 0) == 0; }

size_t Count(Rig &rig, const std::string &kind, const Json &match, size_t from = 0) {
  size_t n = 0;
  const auto &lines = rig.journal().lines();
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].is_object() && lines[i].value("kind", "") == kind &&
        fdk::test::json_contains(lines[i], match))
      ++n;
  return n;
}

TEST(BridgeLife, NotificationsLeadToOneFunctionCodePerRound) {
  Rig rig;
  ASSERT_TRUE(Ok(rig.ctl("init 1")));
  ASSERT_TRUE(Ok(rig.ctl("wait over")));
  EXPECT_EQ(Count(rig, "notify-request", {{"notification", 2}, {"state", 1}}), 1u);
  EXPECT_EQ(Count(rig, "notify-request", {{"notification", 34}}), 0u);

  ASSERT_TRUE(Ok(rig.ctl("event 2 0 \"\" 0")));
  ASSERT_TRUE(Ok(rig.ctl("wait over")));
  EXPECT_EQ(Count(rig, "notify-request", {{"notification", 34}, {"state", 1}}), 1u);

  ASSERT_TRUE(Ok(rig.ctl("event 34 0 \"\" 0")));
  ASSERT_TRUE(Ok(rig.ctl("wait over")));
  EXPECT_EQ(Count(rig, "notify-request", {{"notification", 34}, {"state", 0}}), 1u);
  auto fcodes = rig.calls(1014);
  ASSERT_EQ(fcodes.size(), 1u);
  EXPECT_EQ(fcodes[0]["args"]["fcodes"], Json::array({0xF33}));

  // Notification 34 was cancelled: the next one is not delivered, and a
  // new notification 2 asks for it again.
  std::string answer = rig.ctl("event 34 0 \"\" 0");
  EXPECT_NE(answer.find("not delivered"), std::string::npos) << answer;
  ASSERT_TRUE(Ok(rig.ctl("event 2 0 \"\" 0")));
  ASSERT_TRUE(Ok(rig.ctl("wait over")));
  EXPECT_EQ(Count(rig, "notify-request", {{"notification", 34}, {"state", 1}}), 2u);
  EXPECT_EQ(rig.calls(1014).size(), 1u);
  EXPECT_EQ(Count(rig, "notify-request", {{"notification", 2}}), 1u);
}

TEST(BridgeLife, InitialisationCodesTwoAndThree) {
  Rig rig;
  size_t from = rig.mark();
  ASSERT_TRUE(Ok(rig.ctl("init 2")));
  ASSERT_TRUE(Ok(rig.ctl("wait over")));
  ASSERT_TRUE(Ok(rig.ctl("init 3")));
  ASSERT_TRUE(Ok(rig.ctl("wait over")));
  EXPECT_EQ(Count(rig, "notify-request", Json::object(), from), 0u);
  // Code 3 hands control back from inside the entry point: still exactly
  // one over call per turn, none unexpected.
  EXPECT_EQ(Count(rig, "control", {{"event", "over"}}, from), 2u);
  EXPECT_EQ(Count(rig, "control", {{"unexpected", true}}, from), 0u);
}

TEST(BridgeLife, KindFiveClosesTheSessionAndEndsWithZero) {
  Rig rig;
  size_t from = rig.mark();
  CadRun r = rig.request({"DOKFRMRA", "--kind", "5"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "end\n");
  EXPECT_TRUE(rig.journal().wait_kind("session", {{"event", "close-requested"}, {"flags", 1}}, kWait,
                                      from));
  EXPECT_TRUE(rig.journal().wait_kind("control", {{"event", "over"}, {"bailout", 1}}, kWait, from));
  EXPECT_EQ(rig.bridge_exit(), 0);
}

TEST(BridgeLife, OtherKindsDoNothing) {
  Rig rig;
  size_t from = rig.mark();
  CadRun r = rig.request({"DOKFRMRA", "--kind", "7"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(rig.journal().wait_kind("control", {{"event", "over"}, {"bailout", 0}}, kWait, from));
  EXPECT_EQ(Count(rig, "call", {{"proc", 1022}}, from), 0u);
  // Still serving.
  r = rig.request({"DOKFRMRA", "--kind", "4"});
  EXPECT_EQ(r.code, 0) << r.err;
}

// Frame's process may leave descriptors open across the exec: started with
// 3 to 40 taken, the bridge still serves Frame and the bus (it closes them
// before it starts, so its own land where its loop looks).
TEST(BridgeLife, InheritedDescriptorsDoNotHideItsOwn) {
  std::vector<int> taken;
  for (int fd = 3; fd <= 40; ++fd)
    if (fcntl(fd, F_GETFD) < 0 && dup2(2, fd) == fd) taken.push_back(fd);
  Rig rig;  // framesim, and through it the bridge, inherit them
  for (int fd : taken) close(fd);
  EXPECT_TRUE(Ok(rig.ctl("callback 0")));
  CadRun r = rig.request({"DOKFRMDI", "--item", rig.docs() + "/manual.json", "--read", "--item",
                          "chap2"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "item 3 OK\\x00\nend\n");
}

TEST(BridgeLife, FramesQuitEndsWithZero) {
  Rig rig;
  ASSERT_TRUE(Ok(rig.ctl("quit")));
  EXPECT_EQ(rig.bridge_exit(), 0);
}

TEST(BridgeLife, LostBusEndsTheLoopInOrder) {
  Rig rig;
  size_t from = rig.mark();
  rig.stop_bus();
  EXPECT_EQ(rig.bridge_exit(), 0);
  // Control was taken for the bus turn and handed back before the end.
  auto take = rig.journal().wait_kind("control", {{"event", "take"}}, kWait, from);
  ASSERT_TRUE(take);
  EXPECT_TRUE(rig.journal().wait_kind("control", {{"event", "over"}}, kWait, *take));
}

// Without FMAPIX the bridge says so and never touches the bus.
TEST(BridgeLife, WithoutFrameItSaysSoAndLeavesTheBusAlone) {
  fdk::test::TempDir dir("bridge");
  std::string sock = dir.file("listen.sock");
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  struct sockaddr_un sa {};
  sa.sun_family = AF_UNIX;
  std::strncpy(sa.sun_path, sock.c_str(), sizeof sa.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<struct sockaddr *>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(fd, 4), 0);

  fdk::test::Process::Options o;
  o.argv = {DOKFRM_PATH};
  o.unset_env = {"FMAPIX"};
  o.env = {{"MBX_SOCKET", sock}};
  o.stderr_path = dir.file("err");
  fdk::test::Process p(o);
  fdk::test::ExitStatus st = p.wait(kWait);
  ASSERT_TRUE(st.exited);
  EXPECT_EQ(st.code, 1);
  EXPECT_NE(fdk::test::read_file(o.stderr_path).find("not called by a Frame product"),
            std::string::npos);
  EXPECT_LT(accept(fd, nullptr, nullptr), 0) << "the bridge connected to the bus";
  close(fd);
}

}  // namespace
}  // namespace fdk::bridgetest
