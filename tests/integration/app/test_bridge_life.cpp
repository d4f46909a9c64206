// The bridge's life with Frame and the bus: start-up, initialisation and
// notifications, "DOKFRMRA", and each way it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

bool Ok(const std::string &answer) { return answer.starts_with("ok"); }

// Notification 2 asks for 34; 34 cancels itself and sends the function code
// once; initialisation 1 asks for 2, codes 2 and 3 ask for nothing, and 3
// hands control back from inside the entry point without a second over.
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

  // Cancelled: 34 is not delivered until a new 2 asks for it again.
  EXPECT_NE(rig.ctl("event 34 0 \"\" 0").find("not delivered"), std::string::npos);
  ASSERT_TRUE(Ok(rig.ctl("event 2 0 \"\" 0")));
  ASSERT_TRUE(Ok(rig.ctl("wait over")));
  EXPECT_EQ(rig.count("notify-request", {{"notification", 34}, {"state", 1}}), 2u);
  EXPECT_EQ(rig.calls(1014).size(), 1u);
}

// Each way the bridge ends in order, with status 0: Frame quits; "DOKFRMRA"
// kind 5 closes the session (other kinds do nothing); the bus goes, while
// control is handed back before the end.
TEST(BridgeLife, EndsInOrder) {
  for (std::string how : {"quit", "kind 5", "bus"}) {
    SCOPED_TRACE(how);
    Rig rig;
    size_t from = rig.mark();
    if (how == "quit") {
      ASSERT_TRUE(Ok(rig.ctl("quit")));
    } else if (how == "kind 5") {
      EXPECT_EQ(rig.request({"DOKFRMRA", "--kind", "7"}).code, 0);
      EXPECT_EQ(rig.count("call", {{"proc", 1022}}, from), 0u);
      EXPECT_EQ(rig.count("control", {{"event", "over"}, {"bailout", 0}}, from), 1u);
      CadRun r = rig.request({"DOKFRMRA", "--kind", "5"});
      EXPECT_EQ(r.out, "end\n") << r.err;
      EXPECT_EQ(rig.count("session", {{"event", "close-requested"}, {"flags", 1}}, from), 1u);
      EXPECT_EQ(rig.count("control", {{"event", "over"}, {"bailout", 1}}, from), 1u);
    } else {
      rig.stop_bus();
    }
    EXPECT_EQ(rig.bridge_exit(), 0);
    if (how == "bus") {  // control was taken for the bus turn and handed back
      auto take = rig.journal().wait_kind("control", {{"event", "take"}}, kWait, from);
      ASSERT_TRUE(take);
      EXPECT_TRUE(rig.journal().wait_kind("control", {{"event", "over"}}, kWait, *take));
    }
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

// Without FMAPIX the bridge says so and never touches the bus.
TEST(BridgeLife, WithoutFrameItSaysSoAndLeavesTheBusAlone) {
  fdk::test::TempDir dir("bridge");
  std::string sock = dir.file("listen.sock");
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  std::strncpy(sa.sun_path, sock.c_str(), sizeof sa.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa), 0);
  ASSERT_EQ(listen(fd, 4), 0);

  Process::Options o;
  o.argv = {DOKFRM_PATH};
  o.unset_env = {"FMAPIX"};
  o.env = {{"MBX_SOCKET", sock}};
  o.stderr_path = dir.file("err");
  Process p(o);
  EXPECT_TRUE(p.ends_within(kWait.count()));
  EXPECT_EQ(p.exit_code(), 1);
  EXPECT_NE(p.err().find("not called by a Frame product"), std::string::npos);
  EXPECT_LT(accept(fd, nullptr, nullptr), 0) << "the bridge connected to the bus";
  close(fd);
}

}  // namespace
}  // namespace fdk::bridgetest
