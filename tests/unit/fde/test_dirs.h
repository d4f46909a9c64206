// Shared by the fde tests that touch files or the environment: scenarios run
// in a forked child (for the state the library keeps once per process:
// temporary and home directory), and fdk::test::TempDir.
#ifndef FDE_TEST_TEST_DIRS_H
#define FDE_TEST_TEST_DIRS_H

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "testsupport.hpp"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace fde_test {

inline void SetEnv(const char *name, const std::optional<std::string> &value) {
  value ? setenv(name, value->c_str(), 1) : unsetenv(name);
}

// Becomes nobody, for checks that root passes whatever the permissions say.
inline bool DropPrivileges() {
  if (geteuid() != 0) return true;
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return false;
  prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);  // lost with the identity; the leak checker needs it
  return true;
}

inline void Want(std::string &why, bool ok, const std::string &what) {
  if (!ok) why += what + "\n";
}

// Runs scenario in a forked child; it appends to why what it found wrong.
inline void InChild(const std::function<void(std::string &why)> &scenario) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  if (pid == 0) {
    std::string why;
    scenario(why);
#if defined(__SANITIZE_ADDRESS__)
    if (__lsan_do_recoverable_leak_check() != 0) why += "leak in the child\n";
#endif
    _exit(write(fds[1], why.data(), why.size()) < 0 || !why.empty() ? 1 : 0);
  }
  close(fds[1]);
  std::string report;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = -1;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n" << report;
}

}  // namespace fde_test

#endif
