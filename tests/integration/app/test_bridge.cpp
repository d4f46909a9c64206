// The bridge's life with Frame and the bus, and its requests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

// Started with descriptors 3 to 40 open: the notification rounds, then
// "DOKFRMRA" kind 7 does nothing, kind 5 closes the session and ends it.
TEST(BridgeLife, InheritedDescriptorsDoNotHideItsOwn) {
  std::vector<int> taken;
  for (int fd = 3; fd <= 40; ++fd)
    if (fcntl(fd, F_GETFD) < 0 && dup2(2, fd) == fd) taken.push_back(fd);
  Rig rig;  // framesim, and through it the bridge, inherit them
  for (int fd : taken) close(fd);
  size_t from = rig.mark();
  for (const char *command : {"init 2", "init 3", "init 1", "event 2 0 \"\" 0",
                              "event 34 0 \"\" 0"}) {
    ASSERT_TRUE(rig.ctl(command).starts_with("ok")) << command;
    ASSERT_TRUE(rig.ctl("wait over").starts_with("ok")) << command;
  }
  EXPECT_EQ(rig.count("notify-request", {{"notification", 2}, {"state", 1}}), 1u);
  EXPECT_EQ(rig.count("notify-request", {{"notification", 34}, {"state", 1}}), 1u);
  EXPECT_EQ(rig.count("notify-request", {{"notification", 34}, {"state", 0}}), 1u);
  EXPECT_EQ(rig.count("control", {{"event", "over"}}, from), 5u);
  EXPECT_EQ(rig.count("control", {{"unexpected", true}}), 0u);
  EXPECT_EQ(rig.call(1014, {{"fcodes", Json::array({0xF33})}}), 1u);
  EXPECT_EQ(rig.display(rig.docs() + "/manual.json", "chap2").out, kOkReply);
  EXPECT_EQ(rig.request({"DOKFRMRA", "--kind", "7"}).code, 0);
  EXPECT_EQ(rig.request({"DOKFRMRA", "--kind", "5"}).out, "end\n");
  EXPECT_EQ(rig.count("session", {{"event", "close-requested"}, {"flags", 1}}), 1u);
  EXPECT_EQ(rig.count("control", {{"event", "over"}, {"bailout", 1}}), 1u);
  EXPECT_EQ(rig.bridge_exit(), 0);
}

// Argument `name` of the calls of `proc` whose arguments contain `match`.
Texts Args(Rig &rig, int proc, const std::string &name, size_t from,
           const Json &match = Json::object()) {
  Texts out;
  for (const Json &c : rig.calls(proc, from))
    if (fdk::test::json_contains(c["args"], match)) out.push_back(c["args"][name]);
  return out;
}

Texts Titles(Rig &rig, uint32_t doc, size_t from) {
  return Args(rig, 1071, "value", from, {{"objId", doc}, {"propIdent", {{"num", 30}}}});
}

// Marker-type reads in doc: how far a tag search went.
size_t TypeReads(Rig &rig, uint32_t doc, size_t from) {
  return rig.call(1064, {{"docId", doc}, {"propIdent", {{"num", 1024}}}}, from);
}

bool Closed(Rig &rig, const std::string &name, size_t from) {
  return rig.call(1022, {{"docId", rig.doc(name)}, {"flags", 1}}, from) == 1;
}

const std::string kManual = "$DOKT_DOCS/manual.json";
constexpr char kNoFunction[] = "Function documentation not found";

// manual.json at "chap2", then MYFUNC's page; the trace tells the same story.  Then "" finds
// the first tag marker, "chap" the first beginning with it, "chap\0" "chap"; only 257 bytes of a
// path count; none, or one too long once expanded: "KO" (-1: no scroll).
TEST(BridgeDisplay, OpensTheExpandedPathAndScrollsToTheTagOrAnswersKO) {
  fdk::test::TempDir traceDir("bridge-trace");
  std::string value;
  while (value.size() < 1023 - 11) value += "./";
  Rig rig({{"FDK_TRACE", traceDir.file("trace.log")}, {"DOKT_LONG", value + "manual.json"}});
  EXPECT_EQ(rig.display(kManual, "chap2").out, kOkReply);
  EXPECT_TRUE(rig.call(1019, {{"fileName", rig.docs() + "/manual.json"}}));
  uint32_t manual = rig.doc("/manual.json");
  EXPECT_EQ(Titles(rig, manual, 0),
            (Texts{"manual.json - NORVA/TESMO Documentation", "HELP NORVA/FRAME"}));
  EXPECT_TRUE(rig.call(1065, {{"docId", 0}, {"objId", manual}, {"value", 1}}));
  EXPECT_EQ(rig.calls(1014).size(), 1u);
  EXPECT_EQ(rig.scrolled(0), 2);
  EXPECT_EQ(rig.count("scroll", Json::object()), 1u);

  // The list opens in the background: titled, the previous document active.
  size_t from = rig.mark();
  EXPECT_EQ(rig.lookup("MYFUNC  ").out, "end\n") << "no reply item is ever written";
  EXPECT_TRUE(rig.call(1067, {{"docId", 0}, {"objId", 0}, {"value", manual}}, from));
  EXPECT_TRUE(rig.calls(1014, from).empty());
  EXPECT_EQ(Titles(rig, rig.doc("/list.json"), from),
            Texts{"list.json - NORVA/TESMO Documentation"});
  EXPECT_TRUE(rig.call(1310, {{"docId", manual}, {"command", "gotolink pages.json:myfunction"}}));
  EXPECT_EQ(Titles(rig, manual, from), Texts{"HELP NORVA/FRAME"});
  EXPECT_TRUE(Closed(rig, "/list.json", from));

  std::string trace = fdk::test::read_file(traceDir.file("trace.log"));
  size_t at = 0;
  for (const std::string &line : Texts{"bus request DOKFRMDI from CADSIM   kind=0",
                                        "bus reply status=0 \"OK\\0\"\n",
                                        "bus item read=8 asked=8 status=0 \"MYFUNC  \"\n"}) {
    at = trace.find(line, at);
    ASSERT_NE(at, std::string::npos) << "missing in order: " << line << "\n" << trace;
  }
  std::string cut = "$DOKT_DOCS" + std::string(257 - 10 - 11, '/') + "manual.json-and-more";
  for (auto [args, paragraph] : std::vector<std::pair<Texts, int>>{
           {{"--item", kManual, "--read", "--item", ""}, 0},
           {{"--item", kManual, "--read", "--item-hex", "6368617000"}, 4},
           {{"--item", kManual, "--read", "--item", "chap"}, 2},
           {{"--item", cut, "--read", "--item", "chap2"}, 2},
           {{}, -1},
           {{"--item", "$DOKT_LONG/x", "--read", "--item", "chap2"}, -1}}) {
    from = rig.mark();
    args.insert(args.begin(), "DOKFRMDI");
    EXPECT_EQ(rig.request(args).out, paragraph < 0 ? kKoReply : kOkReply) << args.back();
    EXPECT_EQ(rig.calls(1019, from).size(), paragraph < 0 ? 0u : 1u);
    EXPECT_EQ(rig.count("scroll", Json::object(), from), paragraph < 0 ? 0u : 1u);
    EXPECT_EQ(paragraph < 0 ? -1 : rig.scrolled(from), paragraph) << args.back();
  }
  // A tag search along a chain that loops sees each marker once (lookup: below).
  from = rig.mark();
  ASSERT_EQ(rig.display("$DOKT_DOCS/loop.json", "nosuch").code, 0) << "the search never ended";
  EXPECT_EQ(TypeReads(rig, rig.doc("/loop.json"), from), 3u) << "each marker once";
}

// Names, path items and alerts; the list is closed again whatever happens.  A tag not placed
// is searched for by the next lookup only, despite errors; a "message" click asks the CAD side.
TEST(BridgeFunction, NamesAlertsPendingTagsAndClicks) {
  Rig rig;
  size_t from = rig.mark();
  EXPECT_EQ(rig.lookup("ABS     ").out, "end\n");  // no active document: no command
  EXPECT_TRUE(rig.calls(1310, from).empty() && rig.calls(1008, from).empty());
  EXPECT_TRUE(Closed(rig, "/list.json", from));

  from = rig.mark();
  ASSERT_EQ(rig.display(kManual, "nosuch").out, kOkReply);
  uint32_t manual = rig.doc("/manual.json");
  EXPECT_EQ(TypeReads(rig, manual, from), 5u) << "every marker was looked at";
  for (size_t reads : {5u, 0u}) {
    from = rig.mark();
    ASSERT_EQ(rig.lookup("ABS     ").out, "end\n");
    EXPECT_EQ(TypeReads(rig, manual, from), reads);
  }
  from = rig.mark();
  EXPECT_EQ(rig.display("$DOKT_DOCS/missing.json", "chap2").out, kKoReply);
  EXPECT_EQ(rig.count("scroll", Json::object(), from), 0u);
  ASSERT_EQ(rig.lookup("ABS     ").out, "end\n");
  EXPECT_EQ(rig.scrolled(from), 2);
  for (auto [num, value] : {std::pair{31, 0}, std::pair{32, 1}})
    EXPECT_TRUE(rig.call(1065, {{"objId", manual}, {"propIdent", {{"num", num}}}, {"value", value}},
                         from));

  ASSERT_EQ(rig.display(kManual, "intro").out, kOkReply);
  auto cad = rig.start_cad({"serve", "CURFCT", "--count", "1", "--reply", rig.docs() + "/",
                            "--reply", "list.json", "--reply", "ABS     "}, "serve");
  ASSERT_TRUE(cad->wait_for_output("ready\n", kWait.count()));
  from = rig.mark();
  ASSERT_TRUE(rig.ctl("message \"click here\" active 0").starts_with("ok"));
  ASSERT_TRUE(rig.ctl("wait over").starts_with("ok"));
  EXPECT_EQ(cad->out(), "ready\ncall 1\nitem 4 \\x04\\x00\\x00\\x00\nreplied 1\n");
  EXPECT_TRUE(rig.call(1310, {{"docId", manual}, {"command", "gotolink pages.json:abs"}}, from));
  EXPECT_TRUE(Closed(rig, "/list.json", from));

  const std::string dir = rig.docs() + "/";
  const std::string full = rig.docs() + std::string(1014 - rig.docs().size(), '/');
  const std::string noList = "List of NORVA functions not found";
  for (auto [items, command, alert] : std::vector<std::tuple<Texts, std::string, std::string>>{
           {{dir, "list.json", "AB"}, "gotolink pages.json:abs", ""},
           {{dir, "list.json", "MYFUNCTIONS_AND_MORE"}, "gotolink pages.json:myfunction", ""},
           {{dir, "list.json", ""}, "gotolink pages.json:alpha", ""},
           {{dir, "list.json", "A BS    "}, "gotolink pages.json:alpha", ""},
           {{full, "list.json", "ABS     "}, "gotolink pages.json:abs", ""},
           {{dir, "list.json", "NOSUCH  "}, "", kNoFunction},
           {{dir, "list.json", "LASTFN  "}, "", kNoFunction},  // no command after it
           {{dir, "loop.json", "NOSUCH  "}, "", kNoFunction},  // a chain that loops
           {{dir, "nolist.json", "ABS     "}, "", noList},
           {{std::string(5000, 'x'), std::string(300, 'y'), "ABS"}, "", noList},
           {{}, "", "Marker missing"}}) {
    SCOPED_TRACE(::testing::PrintToString(items));
    if (items.empty()) {
      ASSERT_TRUE(rig.ctl("empty session 59").starts_with("ok"));
      items = {dir, "list.json", "ABS     "};
    }
    from = rig.mark();
    EXPECT_EQ(rig.request({"DOKFRMFT", "--item", items[0], "--item", items[1], "--item",
                           items[2]}).out, "end\n");
    EXPECT_EQ(Args(rig, 1310, "command", from), command.empty() ? Texts{} : Texts{command});
    EXPECT_EQ(Args(rig, 1008, "message", from), alert.empty() ? Texts{} : Texts{alert});
    EXPECT_EQ(rig.calls(1022, from).size(), alert == noList ? 0u : 1u);
  }
}

}  // namespace
}  // namespace fdk::bridgetest
