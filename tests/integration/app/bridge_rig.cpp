// bridge_rig.cpp - see bridge_rig.h.
#include "bridge_rig.h"

#include <stdexcept>

namespace fdk::bridgetest {

namespace {

Json Marker(int type, const std::string &text, int paragraph) {
  return {{"type", type}, {"text", text}, {"paragraph", paragraph}, {"offset", 0}};
}

void WriteDocument(const fdk::test::TempDir &dir, const std::string &name, int paragraphs,
                   const Json &markers) {
  Json p = Json::array();
  for (int i = 0; i < paragraphs; ++i) p.push_back(name + " paragraph " + std::to_string(i));
  dir.write("docs/" + name, Json{{"paragraphs", p}, {"markers", markers}}.dump());
}

void WriteDocuments(const fdk::test::TempDir &dir) {
  WriteDocument(dir, "manual.json", 5,
                {Marker(25, "chap2", 0), Marker(19, "intro", 0), Marker(19, "chap2-start", 2),
                 Marker(19, "chap2-more", 3), Marker(19, "chap", 4)});
  WriteDocument(dir, "other.json", 3, {Marker(19, "other-a", 1), Marker(19, "other-b", 2)});
  WriteDocument(dir, "list.json", 4,
                {Marker(25, "ALPHA", 0), Marker(8, "gotolink pages.json:alpha", 0),
                 Marker(25, "ABS", 1), Marker(8, "gotolink pages.json:abs", 1),
                 Marker(25, "MYFUNCTION", 2), Marker(8, "gotolink pages.json:myfunction", 2),
                 Marker(25, "LASTFN", 3)});
  WriteDocument(dir, "pages.json", 3,
                {Marker(8, "newlink alpha", 0), Marker(8, "newlink abs", 1),
                 Marker(8, "newlink myfunction", 2)});
  Json back = Marker(19, "loop-tag", 1);
  back["next"] = 0;
  WriteDocument(dir, "loop.json", 2,
                {Marker(25, "ONE", 0), Marker(8, "gotolink pages.json:abs", 0), back});
}

}  // namespace

Rig::Rig(Options options) : dir_("bridge") {
  docs_ = dir_.file("docs");
  socket_ = dir_.file("bus.sock");
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
  CadRun r = cad({"request", "DOKFRMRA", "--kind", "4", "--wait"});
  if (r.code != 0) throw std::runtime_error("the bridge took no DOKFRMRA: " + r.err);
}

Rig::~Rig() {
  frame_.reset();  // ends framesim, which ends the bridge
  bus_.stop(Millis(3000));
}

std::unique_ptr<Process> Rig::start_cad(const std::vector<std::string> &args,
                                        const std::string &out) {
  std::vector<std::string> argv = {CADSIM_PATH, "--socket", socket_, "--timeout", "20"};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<Process>(argv, dir_.path(), out);
}

std::unique_ptr<Process> Rig::serve(const std::vector<std::string> &args) {
  std::vector<std::string> all = {"serve"};
  all.insert(all.end(), args.begin(), args.end());
  auto p = start_cad(all, "serve");
  p->wait_for_output("ready\n", kWait.count());
  return p;
}

CadRun Rig::cad(const std::vector<std::string> &args) {
  static int runs = 0;
  auto p = start_cad(args, "cad" + std::to_string(++runs));
  fdk::test::ExitStatus st = p->wait(kWait + Millis(5000));
  if (st.timed_out) st = p->stop(Millis(1000));
  return {st.exited ? st.code : -1, p->out(), p->err()};
}

CadRun Rig::request(const std::vector<std::string> &args) {
  size_t from = mark();
  std::vector<std::string> all = {"request"};
  all.insert(all.end(), args.begin(), args.end());
  CadRun r = cad(all);
  if (!journal().wait_kind("control", {{"event", "over"}}, kWait, from)) r.code = -2;
  return r;
}

std::optional<int> Rig::bridge_exit() {
  auto i = journal().wait_kind("client", {{"event", "exit"}, {"contact", true}}, kWait);
  if (!i) return std::nullopt;
  const Json &line = journal().lines()[*i];
  return line.contains("status") ? line["status"].get<int>() : 128 + line.value("signal", 0);
}

pid_t Rig::bridge_pid() {
  auto i = journal().wait_kind("client", {{"event", "contact"}}, kWait);
  return i ? journal().lines()[*i]["pid"].get<pid_t>() : 0;
}

void Rig::start_bus() {
  static int starts = 0;
  bus_ = fdk::test::start_broker(MBXD_PATH, dir_.path(), socket_, {},
                                 "mbxd" + std::to_string(++starts));
}

std::optional<Json> Rig::call(int proc, const Json &args, size_t from, Millis timeout) {
  auto i = journal().wait_kind("call", {{"proc", proc}}, timeout, from);
  while (i && !fdk::test::json_contains(journal().lines()[*i].value("args", Json::object()), args))
    i = journal().wait_kind("call", {{"proc", proc}}, timeout, *i + 1);
  if (!i) return std::nullopt;
  return journal().lines()[*i];
}

std::vector<Json> Rig::calls(int proc, size_t from) {
  std::vector<Json> out;
  const auto &lines = journal().lines();
  for (size_t i = from; i < lines.size(); ++i)
    if (fdk::test::json_contains(lines[i], {{"kind", "call"}, {"proc", proc}}))
      out.push_back(lines[i]);
  return out;
}

size_t Rig::count(const std::string &kind, const Json &match, size_t from) {
  size_t n = 0;
  const auto &lines = journal().lines();
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].is_object() && lines[i].value("kind", "") == kind &&
        fdk::test::json_contains(lines[i], match))
      ++n;
  return n;
}

std::optional<int> Rig::scrolled(size_t from) {
  auto i = journal().wait_kind("scroll", {{"via", "scroll"}}, kWait, from);
  if (!i) return std::nullopt;
  return journal().lines()[*i]["paragraph"].get<int>();
}

uint32_t Rig::doc(const std::string &name) {
  uint32_t last = 0;
  for (const Json &j : journal().of_kind("document")) {
    std::string path = j.value("path", "");
    if (j.value("event", "") == "opened" && path.ends_with(name)) last = j["doc"].get<uint32_t>();
  }
  return last;
}

}  // namespace fdk::bridgetest
