// process.h - helpers for tests that start real processes: children with
// their output in files, waits with time limits, temporary directories.
// Every helper cleans up after itself: a Child still running when it is
// destroyed is killed and reaped; a TempDir is removed with its contents.
#ifndef FDK_ITEST_PROCESS_H
#define FDK_ITEST_PROCESS_H

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace fdk::itest {

// A temporary directory under $TMPDIR (or /tmp), removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A child process.  Standard input is /dev/null; standard output and error
// go to files <dir>/<tag>.out and <dir>/<tag>.err.  The environment is the
// test's own at the time of start().
class Child {
 public:
  Child() = default;
  ~Child();
  Child(Child&& other) noexcept;
  Child& operator=(Child&& other) noexcept;

  // Starts argv[0] with the given arguments; pid() is 0 when it failed.
  static Child start(const std::vector<std::string>& argv, const std::string& dir,
                     const std::string& tag);

  pid_t pid() const { return pid_; }
  bool running();
  // Waits up to `ms` for the child to exit; true when it has.
  bool wait(int ms);
  // Exit status, or 128 + signal number; -1 while running.
  int exit_code() const { return code_; }
  void signal(int sig);
  // SIGTERM, then SIGKILL if it is still there after `ms`; reaps it.
  void stop(int ms = 5000);
  std::string out() const;
  std::string err() const;
  // Waits up to `ms` until standard output contains `text`.
  bool wait_for_output(const std::string& text, int ms);

 private:
  void reap(int options);
  pid_t pid_ = 0;
  int code_ = -1;
  std::string out_path_, err_path_;
};

// Calls `pred` every `step_ms` until it holds or `ms` passed.
bool wait_until(const std::function<bool()>& pred, int ms, int step_ms = 20);

// Waits until a Unix-domain socket at `path` accepts a connection.
bool wait_for_socket(const std::string& path, int ms);

std::string read_file(const std::string& path);

}  // namespace fdk::itest

#endif
