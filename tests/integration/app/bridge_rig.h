// bridge_rig.h - mbxd, framesim starting dokfrm, documents, cadsim runs.
#ifndef FDK_TESTS_INTEGRATION_APP_BRIDGE_RIG_H
#define FDK_TESTS_INTEGRATION_APP_BRIDGE_RIG_H

#include <memory>
#include <stdexcept>

#include "testsupport.hpp"

namespace fdk::bridgetest {

using fdk::test::Json;
using fdk::test::Millis;
using fdk::test::Process;
using Texts = std::vector<std::string>;

inline constexpr Millis kWait{20000};  // generous: a second's pause after each Frame turn
inline constexpr char kOkReply[] = "item 3 OK\\x00\nend\n";
inline constexpr char kKoReply[] = "item 3 KO\\x00\nend\n";

struct CadRun {
  int code = -1;  // -1: did not end in time
  std::string out, err;
};

inline Json Marker(int type, const std::string &text, int paragraph) {
  return {{"type", type}, {"text", text}, {"paragraph", paragraph}, {"offset", 0}};
}

class Rig {
 public:
  // Markers: 25 functions, 19 tags, 8 commands; loop.json's last links back.
  explicit Rig(std::map<std::string, std::string> env = {}, double time_limit = 300)
      : dir_("bridge"), docs_(dir_.file("docs")), socket_(dir_.file("bus.sock")) {
    Write("manual.json", 5, {Marker(25, "chap2", 0), Marker(19, "intro", 0),
                             Marker(19, "chap2-start", 2), Marker(19, "chap2-more", 3),
                             Marker(19, "chap", 4)});
    Write("list.json", 4, {Marker(25, "ALPHA", 0), Marker(8, "gotolink pages.json:alpha", 0),
                           Marker(25, "ABS", 1), Marker(8, "gotolink pages.json:abs", 1),
                           Marker(25, "MYFUNCTION", 2),
                           Marker(8, "gotolink pages.json:myfunction", 2),
                           Marker(25, "LASTFN", 3)});
    Write("pages.json", 3, {Marker(8, "newlink alpha", 0), Marker(8, "newlink abs", 1),
                            Marker(8, "newlink myfunction", 2)});
    Json back = Marker(19, "loop-tag", 1);
    back["next"] = 0;
    Write("loop.json", 2, {Marker(25, "ONE", 0), Marker(8, "gotolink pages.json:abs", 0), back});
    bus_ = fdk::test::start_broker(MBXD_PATH, dir_.path(), socket_);

    fdk::test::Framesim::Options fo;
    fo.client = {DOKFRM_PATH};
    fo.client_no = 3;  // non-negative: the bridge forks as under a real Frame
    fo.client_name = "dokfrm";
    fo.docroot = docs_;
    fo.time_limit = time_limit;
    fo.env = env;
    fo.env.insert({{"MBX_SOCKET", socket_}, {"MBX_TIMEOUT", "10"}, {"DOKT_DOCS", docs_}});
    frame_ = std::make_unique<fdk::test::Framesim>(fo);
    if (!frame_->wait_ready()) throw std::runtime_error("framesim did not come up");
    if (cad({"request", "DOKFRMRA", "--kind", "4", "--wait"}).code != 0)
      throw std::runtime_error("the bridge took no DOKFRMRA");
  }

  // Frame ends its session with the quit call: a bridge still there leaves
  // by itself, cleanly (so its leak check runs in the sanitizer build).
  ~Rig() {
    if (!frame_->process().running() || count("client", {{"event", "exit"}, {"contact", true}}))
      return;
    if (frame_->ctl("quit", kWait).starts_with("ok")) {
      EXPECT_EQ(bridge_exit(), 0) << "after Frame's quit";
    }
  }

  const std::string &dir() const { return dir_.path(); }
  const std::string &docs() const { return docs_; }
  const std::string &bus_socket() const { return socket_; }
  fdk::test::Framesim &frame() { return *frame_; }
  fdk::test::JournalReader &journal() { return frame_->journal(); }
  std::string ctl(const std::string &command) { return frame_->ctl(command, kWait); }
  void stop_bus() { bus_.stop(Millis(3000)); }

  std::unique_ptr<Process> start_cad(const Texts &args, const std::string &tag) {
    Texts argv = {CADSIM_PATH, "--socket", socket_, "--timeout", "20"};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Process>(argv, dir_.path(), tag);
  }
  CadRun cad(const Texts &args) {
    static int runs = 0;
    auto p = start_cad(args, "cad" + std::to_string(++runs));
    bool ended = p->ends_within(kWait.count() + 5000);
    return {ended ? p->exit_code() : -1, p->out(), p->err()};
  }
  // "cadsim request ARGS"; returns once the bridge's calls are all journaled.
  CadRun request(const Texts &args) {
    size_t from = mark();
    Texts all = {"request"};
    all.insert(all.end(), args.begin(), args.end());
    CadRun r = cad(all);
    if (!journal().wait_kind("control", {{"event", "over"}}, kWait, from)) r.code = -2;
    return r;
  }
  CadRun display(const std::string &path, const std::string &tag) {
    return request({"DOKFRMDI", "--item", path, "--read", "--item", tag});
  }
  CadRun lookup(const std::string &name, const std::string &list = "list.json") {
    return request({"DOKFRMFT", "--item", docs_ + "/", "--item", list, "--item", name});
  }

  // The bridge's exit status as framesim journals it.
  std::optional<int> bridge_exit() {
    auto i = journal().wait_kind("client", {{"event", "exit"}, {"contact", true}}, kWait);
    if (!i) return std::nullopt;
    const Json &line = journal().lines()[*i];
    return line.value("status", 128 + line.value("signal", 0));
  }
  pid_t bridge_pid() {
    auto i = journal().wait_kind("client", {{"event", "contact"}}, kWait);
    return i ? journal().lines()[*i]["pid"].get<pid_t>() : 0;
  }

  // The journal from line `from` on.
  size_t mark() { return journal().lines().size(); }
  std::vector<Json> lines(const std::string &kind, const Json &match, size_t from = 0) {
    return journal().of_kind(kind, match, from);
  }
  size_t count(const std::string &kind, const Json &match, size_t from = 0) {
    return lines(kind, match, from).size();
  }
  std::vector<Json> calls(int proc, size_t from = 0) {
    return lines("call", {{"proc", proc}}, from);
  }
  size_t call(int proc, const Json &args, size_t from = 0) {
    return count("call", {{"proc", proc}, {"args", args}}, from);
  }
  int scrolled(size_t from) {  // -1: none
    auto i = journal().wait_kind("scroll", {{"via", "scroll"}}, kWait, from);
    return i ? journal().lines()[*i]["paragraph"].get<int>() : -1;
  }
  uint32_t doc(const std::string &name) {
    auto opened = lines("document", {{"event", "opened"}});
    for (auto j = opened.rbegin(); j != opened.rend(); ++j)
      if (j->value("path", "").ends_with(name)) return (*j)["doc"].get<uint32_t>();
    return 0;
  }

 private:
  void Write(const std::string &name, int paragraphs, const Json &markers) {
    Json p = Json::array();
    for (int i = 0; i < paragraphs; ++i) p.push_back(name + " paragraph " + std::to_string(i));
    dir_.write("docs/" + name, Json{{"paragraphs", p}, {"markers", markers}}.dump());
  }

  fdk::test::TempDir dir_;
  std::string docs_, socket_;
  Process bus_;
  std::unique_ptr<fdk::test::Framesim> frame_;  // ended first, and with it the bridge
};

}  // namespace fdk::bridgetest

#endif
