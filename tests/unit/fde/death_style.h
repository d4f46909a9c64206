// Shared by the fde unit tests: death tests re-execute the test program
// ("threadsafe" style), which also works under AddressSanitizer.  The flag is
// set from a test environment, once gtest's own flags exist.
#ifndef FDE_TEST_DEATH_STYLE_H
#define FDE_TEST_DEATH_STYLE_H

#include <gtest/gtest.h>

namespace fde_test {
class ThreadsafeDeathTests : public testing::Environment {
 public:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};
inline testing::Environment *const kThreadsafeDeathTests =
    testing::AddGlobalTestEnvironment(new ThreadsafeDeathTests);
}  // namespace fde_test

#endif
