// bridge_rig.h - one bridge under test: a private bus broker (mbxd), a
// framesim that starts dokfrm, a directory of documents, and cadsim runs
// that play the CAD side.  Everything is removed on destruction.
#ifndef FDK_TESTS_INTEGRATION_APP_BRIDGE_RIG_H
#define FDK_TESTS_INTEGRATION_APP_BRIDGE_RIG_H

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testsupport.hpp"

namespace fdk::bridgetest {

using fdk::test::Json;
using fdk::test::Millis;
using fdk::test::Process;

// Generous limits: the bridge pauses a second after every Frame turn.
inline constexpr Millis kWait{20000};
// cadsim's output for the reply item of "DOKFRMDI".
inline constexpr char kOkReply[] = "item 3 OK\\x00\nend\n";
inline constexpr char kKoReply[] = "item 3 KO\\x00\nend\n";

struct CadRun {
  int code = -1;  // exit status, -1 when it did not end in time
  std::string out, err;
};

// The documents in docs():
//   manual.json  a type-25 marker "chap2" that tag searches pass over, then
//                tag markers (type 19) "intro", "chap2-start", "chap2-more",
//                "chap" in paragraphs 0, 2, 3, 4
//   other.json   tag markers "other-a", "other-b" (paragraphs 1 and 2)
//   list.json    functions (type 25) ALPHA, ABS, MYFUNCTION, each followed
//                by a marker "gotolink pages.json:<name>", and LASTFN last
//   pages.json   the link targets
//   loop.json    ONE (type 25), its command, and "loop-tag" (type 19) whose
//                next link goes back to ONE
class Rig {
 public:
  struct Options {
    std::string scenario;                    // framesim scenario text
    std::map<std::string, std::string> env;  // more environment for the bridge
    double time_limit = 300;                 // framesim's, in seconds
  };

  Rig() : Rig(Options{}) {}
  explicit Rig(Options options);  // up, and handed "DOKFRMRA" kind 4
  ~Rig();
  Rig(const Rig &) = delete;
  Rig &operator=(const Rig &) = delete;

  const std::string &docs() const { return docs_; }
  const std::string &bus_socket() const { return socket_; }
  std::string file(const std::string &name) const { return dir_.file(name); }
  fdk::test::Framesim &frame() { return *frame_; }
  fdk::test::JournalReader &journal() { return frame_->journal(); }
  std::string ctl(const std::string &command) { return frame_->ctl(command, kWait); }

  // cadsim with `args` in the background, its standard output in file(out).
  std::unique_ptr<Process> start_cad(const std::vector<std::string> &args, const std::string &out);
  // "cadsim serve ARGS" in the background, once it is ready.
  std::unique_ptr<Process> serve(const std::vector<std::string> &args);
  // cadsim with `args`, run to its end.
  CadRun cad(const std::vector<std::string> &args);
  // "cadsim request ARGS", then waits until the bridge has handed control
  // back to Frame, so that every call it made is in the journal.
  CadRun request(const std::vector<std::string> &args);
  CadRun display(const std::string &path, const std::string &tag) {
    return request({"DOKFRMDI", "--item", path, "--read", "--item", tag});
  }
  CadRun lookup(const std::string &name, const std::string &list = "list.json") {
    return request({"DOKFRMFT", "--item", docs_ + "/", "--item", list, "--item", name});
  }

  // The bridge's exit status (128 + signal) as framesim journals it.
  std::optional<int> bridge_exit();
  pid_t bridge_pid();
  // Ends the bus broker / starts a new one on the same socket.
  void stop_bus() { bus_.stop(Millis(3000)); }
  void start_bus();

  // Journal: index of the next line; an API call of `proc` whose arguments
  // contain `args` (waited for); every call of `proc`; the number of lines
  // of `kind` containing `match`; the first scroll's paragraph (waited
  // for); the handle of the last document opened whose path ends in `name`.
  size_t mark() { return journal().lines().size(); }
  std::optional<Json> call(int proc, const Json &args, size_t from = 0, Millis timeout = kWait);
  std::vector<Json> calls(int proc, size_t from = 0);
  size_t count(const std::string &kind, const Json &match, size_t from = 0);
  std::optional<int> scrolled(size_t from);
  uint32_t doc(const std::string &name);

 private:
  fdk::test::TempDir dir_;
  std::string docs_, socket_;
  Process bus_;
  std::unique_ptr<fdk::test::Framesim> frame_;
};

}  // namespace fdk::bridgetest

#endif
