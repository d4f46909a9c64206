// bridge_rig.cpp - see bridge_rig.h.
#include "bridge_rig.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

namespace fdk::bridgetest {

using fdk::test::Process;

namespace {

Json Marker(int type, const std::string &text, int paragraph) {
  return {{"type", type}, {"text", text}, {"paragraph", paragraph}, {"offset", 0}};
}

Json Paragraphs(int n, const std::string &stem) {
  Json p = Json::array();
  for (int i = 0; i < n; ++i) p.push_back(stem + " paragraph " + std::to_string(i));
  return p;
}

void WriteDocuments(const fdk::test::TempDir &dir) {
  dir.write("docs/manual.json",
            Json{{"paragraphs", Paragraphs(5, "manual")},
                 {"markers", {Marker(25, "chap2", 0), Marker(19, "intro", 0),
                              Marker(19, "chap2-start", 2), Marker(19, "chap2-more", 3),
                              Marker(19, "chap", 4)}}}
                .dump());
  dir.write("docs/other.json", Json{{"paragraphs", Paragraphs(3, "other")},
                               {"markers", {Marker(19, "other-a", 1), Marker(19, "other-b", 2)}}}
                              .dump());
  dir.write("docs/list.json",
            Json{{"paragraphs", Paragraphs(4, "list")},
                 {"markers",
                  {Marker(25, "ALPHA", 0), Marker(8, "gotolink pages.json:alpha", 0),
                   Marker(25, "ABS", 1), Marker(8, "gotolink pages.json:abs", 1),
                   Marker(25, "MYFUNCTION", 2), Marker(8, "gotolink pages.json:myfunction", 2),
                   Marker(25, "LASTFN", 3)}}}
                .dump());
  // Its last marker's next link goes back to the first: a chain without end.
  Json back = Marker(19, "loop-tag", 1);
  back["next"] = 0;
  dir.write("docs/loop.json",
            Json{{"paragraphs", Paragraphs(2, "loop")},
                 {"markers", {Marker(25, "ONE", 0), Marker(8, "gotolink pages.json:abs", 0), back}}}
                .dump());
  dir.write("docs/pages.json",
            Json{{"paragraphs", Paragraphs(3, "pages")},
                 {"markers", {Marker(8, "newlink alpha", 0), Marker(8, "newlink abs", 1),
                              Marker(8, "newlink myfunction", 2)}}}
                .dump());
}

}  // namespace

std::optional<int> ReapOrphan(pid_t pid, Millis timeout) {
  int status = 0;
  auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    pid_t got = waitpid(pid, &status, WNOHANG);
    if (got == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (got < 0 || std::chrono::steady_clock::now() >= end) break;
    std::this_thread::sleep_for(Millis(100));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return std::nullopt;
}

Rig::Rig(Options options) : dir_("bridge") {
  docs_ = dir_.file("docs");
  socket_ = dir_.file("bus.sock");
  serve_out_ = dir_.file("serve.out");
  WriteDocuments(dir_);

  start_bus();

  fdk::test::Framesim::Options fo;
  fo.client = {DOKFRM_PATH};
  fo.client_no = 3;  // non-negative: the bridge forks as under a real Frame
  fo.client_name = "dokfrm";
  fo.docroot = docs_;
  fo.scenario = options.scenario;
  fo.time_limit = options.time_limit;
  fo.env = options.env;
  fo.env["MBX_SOCKET"] = socket_;
  fo.env["MBX_TIMEOUT"] = "10";
  fo.env["DOKT_DOCS"] = docs_;
  frame_ = std::make_unique<fdk::test::Framesim>(fo);
  if (!frame_->wait_ready()) throw std::runtime_error("framesim did not come up");

  if (options.hand_over) {
    CadRun r = cad({"request", "DOKFRMRA", "--kind", "4", "--wait"});
    if (r.code != 0) throw std::runtime_error("the bridge took no DOKFRMRA: " + r.err);
  }
}

Rig::~Rig() {
  for (auto &s : servers_) s->stop(Millis(3000));
  frame_.reset();  // ends framesim, which ends the bridge
  bus_.stop(Millis(3000));
}

CadRun Rig::cad(const std::vector<std::string> &args, Millis timeout) {
  static int runs = 0;
  std::string tag = "cad" + std::to_string(++runs);
  Process::Options o;
  o.argv = {CADSIM_PATH, "--socket", socket_, "--timeout",
            std::to_string(timeout.count() / 1000 + 1)};
  o.argv.insert(o.argv.end(), args.begin(), args.end());
  o.stdout_path = dir_.file(tag + ".out");
  o.stderr_path = dir_.file(tag + ".err");
  Process p(o);
  fdk::test::ExitStatus st = p.wait(timeout + Millis(5000));
  if (st.timed_out) st = p.stop(Millis(1000));
  CadRun r;
  r.code = st.exited ? st.code : -1;
  r.out = fdk::test::read_file(o.stdout_path);
  r.err = fdk::test::read_file(o.stderr_path);
  return r;
}

std::unique_ptr<Process> Rig::start_cad(const std::vector<std::string> &args,
                                        const std::string &out) {
  Process::Options o;
  o.argv = {CADSIM_PATH, "--socket", socket_, "--timeout", std::to_string(kWait.count() / 1000)};
  o.argv.insert(o.argv.end(), args.begin(), args.end());
  o.stdout_path = dir_.file(out);
  o.stderr_path = dir_.file(out + ".err");
  return std::make_unique<Process>(o);
}

CadRun Rig::request(const std::vector<std::string> &args) {
  size_t from = mark();
  std::vector<std::string> all = {"request"};
  all.insert(all.end(), args.begin(), args.end());
  CadRun r = cad(all);
  if (!journal().wait_kind("control", {{"event", "over"}}, kWait, from)) r.code = -2;
  return r;
}

Process &Rig::serve(const std::vector<std::string> &args) {
  Process::Options o;
  o.argv = {CADSIM_PATH, "--socket", socket_, "--timeout", "120", "serve"};
  o.argv.insert(o.argv.end(), args.begin(), args.end());
  o.stdout_path = serve_out_;
  o.stderr_path = dir_.file("serve.err");
  servers_.push_back(std::make_unique<Process>(o));
  for (int i = 0; i < 1000 && serve_output().find("ready\n") == std::string::npos; ++i)
    std::this_thread::sleep_for(Millis(10));
  return *servers_.back();
}

std::string Rig::serve_output() const { return fdk::test::read_file(serve_out_); }

std::optional<int> Rig::bridge_exit(Millis timeout) {
  auto i = journal().wait_kind("client", {{"event", "exit"}, {"contact", true}}, timeout);
  if (!i) return std::nullopt;
  const Json &line = journal().lines()[*i];
  if (!line.contains("status")) return 128 + line.value("signal", 0);
  return line["status"].get<int>();
}

pid_t Rig::bridge_pid(Millis timeout) {
  auto i = journal().wait_kind("client", {{"event", "contact"}}, timeout);
  return i ? journal().lines()[*i]["pid"].get<pid_t>() : 0;
}

void Rig::stop_bus() { bus_.stop(Millis(3000)); }

void Rig::start_bus() {
  static int starts = 0;
  std::string tag = "mbxd" + std::to_string(++starts);
  bus_ = fdk::test::start_broker(MBXD_PATH, dir_.path(), socket_, {}, tag);
}

std::optional<Json> Rig::call(int proc, const Json &args, size_t from, Millis timeout) {
  auto i = journal().wait_for(
      [&](const Json &j) {
        return j.is_object() && j.value("kind", "") == "call" && j.value("proc", 0) == proc &&
               (args.is_null() || fdk::test::json_contains(j.value("args", Json::object()), args));
      },
      timeout, from);
  if (!i) return std::nullopt;
  return journal().lines()[*i];
}

std::vector<Json> Rig::calls(int proc, size_t from) {
  std::vector<Json> out;
  const auto &lines = journal().lines();
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].is_object() && lines[i].value("kind", "") == "call" &&
        lines[i].value("proc", 0) == proc)
      out.push_back(lines[i]);
  return out;
}

uint32_t Rig::doc(const std::string &name) {
  uint32_t last = 0;
  for (const Json &j : journal().of_kind("document")) {
    std::string path = j.value("path", "");
    if (j.value("event", "") == "opened" && path.size() >= name.size() &&
        path.compare(path.size() - name.size(), name.size(), name) == 0)
      last = j["doc"].get<uint32_t>();
  }
  return last;
}

}  // namespace fdk::bridgetest
