// Unit test of the main loop's wait on a 32-bit mask.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include "dokfrm.h"

namespace {

void OnAlarm(int) {}

// Only ready descriptors are reported; a wait that a signal interrupts
// (select leaves its sets as they were) reports none.
TEST(Loop, WaitReportsOnlyReadyDescriptors) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const uint32_t bit = 1u << fds[0];
  timeval none = {0, 0}, some = {1, 0}, wait = {5, 0};
  EXPECT_EQ(dokfrm::WaitOn(bit, &none), 0u);

  struct sigaction sa {}, old {};
  sa.sa_handler = OnAlarm;  // no SA_RESTART: select fails with EINTR
  ASSERT_EQ(sigaction(SIGALRM, &sa, &old), 0);
  itimerval timer{};
  timer.it_value.tv_usec = 50000;
  ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);
  EXPECT_EQ(dokfrm::WaitOn(bit, &wait), 0u);
  EXPECT_GT(wait.tv_sec, 2) << "the wait ended early, by the signal";
  sigaction(SIGALRM, &old, nullptr);

  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_EQ(dokfrm::WaitOn(bit | (1u << fds[1]), &some), bit);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
