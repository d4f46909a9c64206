// bridge_rig.h - one bridge under test: a private bus broker (mbxd), a
// framesim that starts dokfrm with FMAPIX, a directory of documents, and
// cadsim runs that play the CAD side.  Everything is removed on
// destruction: processes, sockets, port-mapper registrations, files.
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

// Generous limits: the bridge pauses a second after every Frame turn.
inline constexpr Millis kWait{20000};

struct CadRun {
  int code = -1;    // exit status, -1 when it did not end in time
  std::string out;  // standard output: "item N TEXT" lines, "end"...
  std::string err;
};

// The documents every rig writes into its document directory.
//   manual.json  tag markers (type 19) "intro", "chap2-start", "chap2-more",
//                a type-25 marker "chap2" that tag searches pass over;
//                the first type-19 marker starting with "chap2" is in
//                paragraph 2
//   other.json   tag markers "other-a", "other-b" (paragraphs 1 and 2)
//   list.json    the function list: ALPHA, ABS, MYFUNCTION (type 25), each
//                followed by a marker holding "gotolink pages.json:<name>",
//                and LASTFN as the last marker, with no command after it
//   pages.json   the function pages: link targets alpha, abs, myfunction
//   loop.json    markers ONE (type 25), its command, and "loop-tag" (type
//                19), whose next link goes back to ONE: a chain that loops
// Waits up to `timeout` for a process that was re-parented to this test
// (which made itself a child subreaper) and reaps it: its exit status, or
// 128 + the signal that ended it.  Kills it and gives nullopt when it is
// still there at the end.
std::optional<int> ReapOrphan(pid_t pid, Millis timeout);

class Rig {
 public:
  struct Options {
    std::string scenario;                     // framesim scenario text
    std::map<std::string, std::string> env;   // more environment for the bridge
    bool hand_over = true;                    // send "DOKFRMRA" kind 4 at start
    double time_limit = 300;                  // framesim's, in seconds
  };

  Rig() : Rig(Options{}) {}
  explicit Rig(Options options);
  ~Rig();
  Rig(const Rig &) = delete;
  Rig &operator=(const Rig &) = delete;

  const std::string &docs() const { return docs_; }
  const std::string &bus_socket() const { return socket_; }
  fdk::test::Framesim &frame() { return *frame_; }
  fdk::test::JournalReader &journal() { return frame_->journal(); }

  // Runs cadsim with the given arguments (the socket is added) and waits
  // for it to end.
  CadRun cad(const std::vector<std::string> &args, Millis timeout = kWait);
  // Sends a request to the bridge with cadsim and waits until the bridge
  // has handed control back to Frame after serving it, so that every call
  // it made for the request is in the journal.
  CadRun request(const std::vector<std::string> &args);
  // Starts "cadsim serve ..." in the background; waits until it is ready.
  fdk::test::Process &serve(const std::vector<std::string> &args);
  std::string serve_output() const;
  // Starts cadsim with the given arguments in the background; its standard
  // output goes to `out` (a file of the rig's directory).
  std::unique_ptr<fdk::test::Process> start_cad(const std::vector<std::string> &args,
                                                const std::string &out);
  std::string file(const std::string &name) const { return dir_.file(name); }

  // Sends one framesim control command; the answer line.
  std::string ctl(const std::string &command) { return frame_->ctl(command, kWait); }

  // The bridge's exit status as framesim journals it, or nullopt.
  std::optional<int> bridge_exit(Millis timeout = kWait);
  // The pid of the bridge process that made contact with framesim.
  pid_t bridge_pid(Millis timeout = kWait);
  // Ends the bus broker (its participants lose their connection), and
  // starts a new one on the same socket.
  void stop_bus();
  void start_bus();

  // Journal helpers.  Index of the next line, for waits that start there.
  size_t mark() { return journal().lines().size(); }
  // Waits for an API call line of procedure `proc` whose arguments contain
  // `args`; returns the line.
  std::optional<Json> call(int proc, const Json &args, size_t from = 0, Millis timeout = kWait);
  // Every API call line of procedure `proc` from `from` on.
  std::vector<Json> calls(int proc, size_t from = 0);
  // The handle of the document last opened whose path ends with `name`, or 0.
  uint32_t doc(const std::string &name);

 private:
  fdk::test::TempDir dir_;
  std::string docs_, socket_, serve_out_;
  fdk::test::Process bus_;
  std::unique_ptr<fdk::test::Framesim> frame_;
  std::vector<std::unique_ptr<fdk::test::Process>> servers_;
};

}  // namespace fdk::bridgetest

#endif
