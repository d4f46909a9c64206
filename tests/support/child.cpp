// child.cpp - see child.hpp.
#include "child.hpp"

#include <stdexcept>

namespace fdk::test {

Child Child::start(const std::vector<std::string>& argv, const std::string& dir,
                   const std::string& tag) {
  Child c;
  c.out_path_ = dir + "/" + tag + ".out";
  c.err_path_ = dir + "/" + tag + ".err";
  Process::Options o;
  o.argv = argv;
  o.stdout_path = c.out_path_;
  o.stderr_path = c.err_path_;
  try {
    c.process_.start(o);
  } catch (const std::runtime_error&) {
  }
  return c;
}

void Child::note(const ExitStatus& st) {
  if (st.timed_out || code_ >= 0) return;
  if (st.exited) code_ = st.code;
  else if (st.signaled) code_ = 128 + st.signal;
  else code_ = 255;  // not our child any more: nothing left to wait for
}

bool Child::running() {
  if (pid() == 0) return false;
  note(process_.wait(Millis(0)));
  return code_ < 0;
}

bool Child::wait(int ms) {
  if (pid() == 0) return true;
  note(process_.wait(Millis(ms)));
  return code_ >= 0;
}

void Child::stop(int ms) {
  if (running()) note(process_.stop(Millis(ms)));
}

bool Child::wait_for_output(const std::string& text, int ms) {
  return wait_until([&] { return out().find(text) != std::string::npos; }, ms);
}

}  // namespace fdk::test
