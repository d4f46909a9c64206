// The bridge outlives no Frame: when the Frame process vanishes, the bridge
// notices and ends with status 1.  Slow: the bridge may only notice at the
// end of its 60-second wait.
#include <gtest/gtest.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>
#include <signal.h>
#include <sys/prctl.h>


#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

// A Frame that dies without a word: the bridge notices and ends with 1,
// leaving no port-mapper registration behind.  It is re-parented to this
// test process, which therefore reaps it.
TEST(BridgeVanish, VanishedFrameEndsWithOne) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  Rig rig;
  pid_t bridge = rig.bridge_pid();
  ASSERT_GT(bridge, 0);
  uint32_t cbProg = rig.frame().cb_prog();
  uint32_t cbVers = rig.frame().cb_vers();
  rig.ctl("vanish");  // no answer: framesim is gone
  rig.frame().wait_exit(Millis(5000));

  std::optional<int> status = ReapOrphan(bridge, Millis(100000));
  ASSERT_TRUE(status) << "the bridge outlived its Frame by 100 seconds";
  EXPECT_EQ(*status, 1);

  struct sockaddr_in local {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(pmap_getport(&local, cbProg, cbVers, IPPROTO_TCP), 0)
      << "the callback program is still registered";
}

}  // namespace
}  // namespace fdk::bridgetest
