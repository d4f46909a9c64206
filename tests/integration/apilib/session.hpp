// session.hpp - this test process as a client of a framesim session: starts
// framesim --session, joins it with F_ApiConnectToSession, takes control, and
// reads the journal call by call.  Everything ends with the object: the
// connection (and the callback program's registration) is shut down, then
// framesim is stopped.
#ifndef FDK_TESTS_APILIB_SESSION_HPP
#define FDK_TESTS_APILIB_SESSION_HPP

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <string>

#include "fapi_calls.h"
#include "fapi_runtime.h"
#include "fapi_values.h"
#include "record_json.hpp"
#include "testsupport.hpp"

namespace calls_test {

using fdk::sim::to_json;
using fdk::test::Json;
using fdk::test::Millis;

inline constexpr IntT kClientNo = 7;
inline constexpr const char *kClientName = "callstest";

inline std::string unique_session_name() {
  static std::atomic<int> counter{0};
  return "calls-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

class Session {
 public:
  // docroot: where framesim resolves relative document paths ("": none).
  explicit Session(const std::string &docroot = "")
      : name_(unique_session_name()), sim_(Options(name_, docroot)) {
    // A call on a connection that Frame dropped writes to a closed socket:
    // the runtime itself makes that fail the call rather than end the
    // process, so SIGPIPE is left at its default here.
    if (!sim_.wait_ready()) return;
    status_ = F_ApiConnectToSession(name_.c_str(), "localhost", static_cast<IntT>(sim_.prog()));
    if (status_ == 0) F_ApiTakeControl();
  }
  ~Session() { F_ApiShutDown(); }
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  // 0 once joined, else the reason.
  IntT status() const { return status_; }
  fdk::test::Framesim &sim() { return sim_; }

  // Joins again after the connection was ended (a reply cut off closes it).
  IntT rejoin() {
    F_ApiShutDown();
    status_ = F_ApiConnectToSession(name_.c_str(), "localhost", static_cast<IntT>(sim_.prog()));
    if (status_ == 0) F_ApiTakeControl();
    return status_;
  }

  // The next journal line of an API call after the last one returned, the
  // connect call and the control procedures (contact, over, take control)
  // skipped.  nullopt when
  // none came in time.
  std::optional<Json> next_call(Millis timeout = Millis(10000)) {
    auto at = sim_.journal().wait_for(
        [](const Json &l) {
          if (!l.is_object() || l.value("kind", "") != "call") return false;
          int proc = l.value("proc", 0);
          return proc != 108 && proc != 1000 && proc != 1001 && proc != 1002 && proc != 1343;
        },
        timeout, next_);
    if (!at) return std::nullopt;
    next_ = *at + 1;
    return sim_.journal().lines()[*at];
  }

  // Sends a control command (fault injection); true when framesim took it.
  bool ctl(const std::string &command) { return sim_.ctl(command).rfind("ok", 0) == 0; }

 private:
  static fdk::test::Framesim::Options Options(const std::string &name, const std::string &docroot) {
    fdk::test::Framesim::Options o;
    o.session = name;
    o.client_no = kClientNo;
    o.client_name = kClientName;
    o.docroot = docroot;
    o.time_limit = 120;
    return o;
  }

  std::string name_;
  fdk::test::Framesim sim_;
  IntT status_ = -1;
  size_t next_ = 0;
};

// A small document: two paragraphs and one marker in the first.
inline constexpr const char *kDocument = R"({
  "title": "Calls",
  "paragraphs": ["First paragraph of the calls test", "Second paragraph"],
  "markers": [{"type": 19, "text": "tag", "paragraph": 0, "offset": 2}]
})";

}  // namespace calls_test

#endif
