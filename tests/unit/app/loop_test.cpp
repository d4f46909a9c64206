// Unit tests of the main loop's pieces: the descriptor callback and the
// wait on a 32-bit mask.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include "dokfrm.h"

namespace {

TEST(DescriptorCallback, SetsAndClearsOneBit) {
  uint32_t before = api_fds = 0x80000001u;
  DokFCB_getfd(5, 1);
  EXPECT_EQ(api_fds, before | (1u << 5));
  DokFCB_getfd(9, 1);
  DokFCB_getfd(9, 0);
  EXPECT_EQ(api_fds, before | (1u << 5)) << "other descriptors leave bit 5 alone";
  DokFCB_getfd(5, 0);
  EXPECT_EQ(api_fds, before);
  DokFCB_getfd(31, 0);
  EXPECT_EQ(api_fds, 1u);
  api_fds = 0;
}

class Pipe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipe(fds_), 0);
    ASSERT_LT(fds_[0], 32);
    bit_ = 1u << fds_[0];
  }
  void TearDown() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  int fds_[2] = {-1, -1};
  uint32_t bit_ = 0;
};

TEST_F(Pipe, WaitReportsOnlyReadyDescriptors) {
  struct timeval none = {0, 0};
  EXPECT_EQ(dokfrm::WaitOn(bit_, &none), 0u);
  ASSERT_EQ(write(fds_[1], "x", 1), 1);
  struct timeval some = {1, 0};
  EXPECT_EQ(dokfrm::WaitOn(bit_ | (1u << fds_[1]), &some), bit_);
}

void OnAlarm(int) {}

// select fails when a signal interrupts it and leaves its sets as they
// were; the wait must not report the asked-for descriptors as ready.
TEST_F(Pipe, InterruptedWaitReportsNothing) {
  struct sigaction sa {}, old {};
  sa.sa_handler = OnAlarm;  // no SA_RESTART: select fails with EINTR
  ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
  struct itimerval timer {};
  timer.it_value.tv_usec = 50000;
  ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);
  struct timeval wait = {5, 0};
  EXPECT_EQ(dokfrm::WaitOn(bit_, &wait), 0u);
  EXPECT_GT(wait.tv_sec, 2) << "the wait ended early, by the signal";
  sigaction(SIGALRM, &old, nullptr);
}

}  // namespace
