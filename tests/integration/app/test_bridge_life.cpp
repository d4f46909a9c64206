// The bridge's life with Frame and the bus: start-up, initialisation and
// notifications, "DOKFRMRA", and the ways it ends in order.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

bool Ok(const std::string &answer) { return answer.starts_with("ok"); }

// Initialisation 1 asks for notification 2, codes 2 and 3 for nothing (3
// hands control back inside the entry point, without a second over); 2
// asks for 34; 34 cancels itself and sends the function code once, and is
// not delivered again until a new 2 asks for it.
TEST(BridgeLife, InitialisationAndNotifications) {
  Rig rig;
  size_t from = rig.mark();
  for (const char *command : {"init 2", "init 3", "init 1", "event 2 0 \"\" 0",
                              "event 34 0 \"\" 0"}) {
    ASSERT_TRUE(Ok(rig.ctl(command))) << command;
    ASSERT_TRUE(Ok(rig.ctl("wait over"))) << command;
  }
  EXPECT_EQ(rig.count("notify-request", {{"notification", 2}, {"state", 1}}), 1u);
  EXPECT_EQ(rig.count("notify-request", {{"notification", 34}, {"state", 1}}), 1u);
  EXPECT_EQ(rig.count("notify-request", {{"notification", 34}, {"state", 0}}), 1u);
  EXPECT_EQ(rig.count("control", {{"event", "over"}}, from), 5u);
  EXPECT_EQ(rig.count("control", {{"unexpected", true}}), 0u);
  auto fcodes = rig.calls(1014);
  ASSERT_EQ(fcodes.size(), 1u);
  EXPECT_EQ(fcodes[0]["args"]["fcodes"], Json::array({0xF33}));

  EXPECT_NE(rig.ctl("event 34 0 \"\" 0").find("not delivered"), std::string::npos);
  ASSERT_TRUE(Ok(rig.ctl("event 2 0 \"\" 0")));
  ASSERT_TRUE(Ok(rig.ctl("wait over")));
  EXPECT_EQ(rig.count("notify-request", {{"notification", 34}, {"state", 1}}), 2u);
  EXPECT_EQ(rig.calls(1014).size(), 1u);
}

// Frame quits, or "DOKFRMRA" kind 5 closes the session (other kinds do
// nothing): the bridge ends with 0.
TEST(BridgeLife, QuitAndKindFiveEndWithZero) {
  for (bool quit : {true, false}) {
    Rig rig;
    size_t from = rig.mark();
    if (quit) {
      ASSERT_TRUE(Ok(rig.ctl("quit")));
    } else {
      EXPECT_EQ(rig.request({"DOKFRMRA", "--kind", "7"}).code, 0);
      EXPECT_EQ(rig.count("control", {{"event", "over"}, {"bailout", 0}}, from), 1u);
      EXPECT_EQ(rig.request({"DOKFRMRA", "--kind", "5"}).out, "end\n");
      EXPECT_EQ(rig.count("session", {{"event", "close-requested"}, {"flags", 1}}), 1u);
      EXPECT_EQ(rig.count("control", {{"event", "over"}, {"bailout", 1}}), 1u);
    }
    EXPECT_EQ(rig.bridge_exit(), 0) << quit;
  }
}

// Frame's process may leave descriptors 3 to 40 open across the exec: the
// bridge still serves Frame and the bus.
TEST(BridgeLife, InheritedDescriptorsDoNotHideItsOwn) {
  std::vector<int> taken;
  for (int fd = 3; fd <= 40; ++fd)
    if (fcntl(fd, F_GETFD) < 0 && dup2(2, fd) == fd) taken.push_back(fd);
  Rig rig;  // framesim, and through it the bridge, inherit them
  for (int fd : taken) close(fd);
  EXPECT_TRUE(Ok(rig.ctl("callback 0")));
  EXPECT_EQ(rig.display(rig.docs() + "/manual.json", "chap2").out, kOkReply);
}

TEST(BridgeLife, WithoutFrameItSaysSo) {
  Process::Options o;
  o.argv = {DOKFRM_PATH};
  o.unset_env = {"FMAPIX"};
  fdk::test::TempDir dir("bridge");
  o.stderr_path = dir.file("err");
  Process p(o);
  EXPECT_TRUE(p.ends_within(kWait.count()));
  EXPECT_EQ(p.exit_code(), 1);
  EXPECT_NE(p.err().find("not called by a Frame product"), std::string::npos);
}

}  // namespace
}  // namespace fdk::bridgetest
