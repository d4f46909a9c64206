// A reply slower than the stubs' own 25 seconds still arrives when the
// connection's time-out is longer: only the handle's time-out bounds the
// wait.  Takes about 26 seconds (label "slow").
#include "stub_server.hpp"

using namespace fdk_test;

namespace {

TEST(StubsSlow, ReplyAfterTwentySixSecondsArrives) {
    StubServer server;
    ASSERT_NE(server.client(), nullptr);
    struct timeval minute = {60, 0};
    ASSERT_TRUE(clnt_control(server.client(), CLSET_TIMEOUT, reinterpret_cast<char *>(&minute)));
    int secs = 26;
    EXPECT_NE(api_fm_sleep_1(&secs, server.client()), nullptr);
}

}  // namespace
