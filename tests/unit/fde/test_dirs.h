// Shared by the fde unit tests that touch the file system or the process
// environment: a temporary directory of the test's own, an environment
// variable set for one scope, and a scenario run in a forked child.
#ifndef FDE_TEST_TEST_DIRS_H
#define FDE_TEST_TEST_DIRS_H

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace fde_test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fdetest.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

  // Writes a regular file of the given contents; returns its path.
  std::string File(const std::string &name, const std::string &contents = "") const {
    std::string p = *this / name;
    std::ofstream(p, std::ios::binary) << contents;
    return p;
  }
  std::string Dir(const std::string &name) const {
    std::string p = *this / name;
    std::filesystem::create_directory(p);
    return p;
  }

 private:
  std::string path_;
};

// Sets (or, with nullopt, unsets) a variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, std::optional<std::string> value) : name_(name) {
    if (const char *old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  void Set(const std::optional<std::string> &v) {
    if (v)
      setenv(name_.c_str(), v->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  std::string name_;
  std::optional<std::string> old_;
};

// Collects what a scenario found wrong.
struct Findings {
  std::string text;
  void Expect(bool ok, const std::string &what) {
    if (!ok) text += what + "\n";
  }
  void Equal(const char *actual, const std::string &expected, const std::string &what) {
    std::string got = actual != nullptr ? "\"" + std::string(actual) + "\"" : "null";
    if (actual == nullptr || expected != actual)
      text += what + ": got " + got + ", want \"" + expected + "\"\n";
  }
};

// Makes the calling process an unprivileged user (nobody), for checks that
// root would pass whatever the permissions say.  Only for forked children.
// True when the process is (now) unprivileged.
inline bool DropPrivileges() {
  if (geteuid() != 0) return true;
  const gid_t nobody = 65534;
  if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) return false;
  // Changing identity makes the process non-dumpable, which would keep the
  // leak checker from inspecting it.
  prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
  return true;
}

// Lets others into a directory of the test's own (for DropPrivileges).
inline void OpenToAll(const std::string &dir) {
  std::filesystem::permissions(dir,
                               std::filesystem::perms::others_read | std::filesystem::perms::others_exec |
                                   std::filesystem::perms::group_read | std::filesystem::perms::group_exec,
                               std::filesystem::perm_options::add);
}

// Runs scenario in a forked child and fails the test with what it found.
// For state the library keeps once per process (the temporary directory,
// the home directory): each child starts from the parent's untouched state,
// and whatever the scenario changes dies with the child.
inline void InChild(const std::function<void(Findings &)> &scenario) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::fflush(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(fds[0]);
    Findings f;
    scenario(f);
#if defined(__SANITIZE_ADDRESS__)
    if (__lsan_do_recoverable_leak_check() != 0) f.text += "leak in the child\n";
#endif
    if (!f.text.empty() && write(fds[1], f.text.data(), f.text.size()) < 0) _exit(2);
    _exit(f.text.empty() ? 0 : 1);
  }
  close(fds[1]);
  std::string report;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "child status " << status << "\n" << report;
}

}  // namespace fde_test

#endif
