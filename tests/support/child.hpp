// child.hpp - a child process seen through its output files, for tests
// that talk to servers and command-line tools: standard output and error go
// to <dir>/<tag>.out and <dir>/<tag>.err, waits take milliseconds.  A thin
// layer over Process (testsupport.hpp): a Child still running when it is
// destroyed is killed and reaped.
#ifndef FDK_TESTS_SUPPORT_CHILD_HPP
#define FDK_TESTS_SUPPORT_CHILD_HPP

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "testsupport.hpp"

namespace fdk::test {

class Child {
 public:
  Child() = default;

  // Starts argv[0] with the given arguments and the test's environment;
  // pid() is 0 when it could not be started.
  static Child start(const std::vector<std::string>& argv, const std::string& dir,
                     const std::string& tag);

  pid_t pid() const { return process_.pid() > 0 ? process_.pid() : 0; }
  bool running();
  // Waits up to `ms` for the child to exit; true when it has.
  bool wait(int ms);
  // Exit status, or 128 + signal number; -1 while running.
  int exit_code() const { return code_; }
  void signal(int sig) { process_.kill(sig); }
  // SIGTERM, then SIGKILL if it is still there after `ms`; reaps it.
  void stop(int ms = 5000);
  std::string out() const { return read_file(out_path_); }
  std::string err() const { return read_file(err_path_); }
  // Waits up to `ms` until standard output contains `text`.
  bool wait_for_output(const std::string& text, int ms);

 private:
  void note(const ExitStatus& st);
  Process process_;
  int code_ = -1;
  std::string out_path_, err_path_;
};

// wait_until is in testsupport.hpp.

}  // namespace fdk::test

#endif
