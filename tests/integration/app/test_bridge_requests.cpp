// The bridge's requests: "DOKFRMDI" shows a document at a tag (or leaves
// the tag pending), "DOKFRMFT" and hypertext "message" clicks show a
// function's page found through the function list.
#include <gtest/gtest.h>

#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

constexpr char kAlertNoList[] = "List of NORVA functions not found";
constexpr char kAlertNoMarker[] = "Marker missing";
constexpr char kAlertNoFunction[] = "Function documentation not found";

using Texts = std::vector<std::string>;

// The string argument `name` of every call of `proc` from `from` on whose
// arguments contain `match`.
Texts Args(Rig &rig, int proc, const std::string &name, size_t from, const Json &match = {}) {
  Texts out;
  for (const Json &c : rig.calls(proc, from))
    if (match.is_null() || fdk::test::json_contains(c["args"], match)) out.push_back(c["args"][name]);
  return out;
}

Texts Titles(Rig &rig, uint32_t doc, size_t from) {
  return Args(rig, 1071, "value", from, {{"objId", doc}, {"propIdent", {{"num", 30}}}});
}

// Marker-type reads in doc: how far a tag search went.
size_t TypeReads(Rig &rig, uint32_t doc, size_t from) {
  size_t n = 0;
  for (const Json &c : rig.calls(1064, from))
    if (c["args"]["docId"] == doc && c["args"]["propIdent"]["num"] == 1024) ++n;
  return n;
}

bool Closed(Rig &rig, const std::string &name, size_t from) {
  uint32_t doc = rig.doc(name);
  return doc != 0 && rig.call(1022, {{"docId", doc}, {"flags", 1}}, from, Millis(0));
}

std::string Manual() { return "$DOKT_DOCS/manual.json"; }

TEST(BridgeDisplay, OpensTheExpandedPathAnswersAndScrollsToTheFirstTagMarker) {
  Rig rig;
  CadRun r = rig.display(Manual(), "chap2");
  EXPECT_EQ(r.out, kOkReply) << r.err;
  ASSERT_TRUE(rig.call(1019, {{"fileName", rig.docs() + "/manual.json"}}));
  uint32_t doc = rig.doc("/manual.json");
  EXPECT_EQ(Titles(rig, doc, 0),
            (Texts{"manual.json - NORVA/TESMO Documentation", "HELP NORVA/FRAME"}));
  // Brought forward: two display settings and the function code.
  EXPECT_TRUE(rig.call(1065, {{"docId", 0}, {"objId", doc}, {"value", 1}}));
  EXPECT_EQ(rig.calls(1014).size(), 1u);
  // The type-25 "chap2" is passed over; "chap2-start" comes first.
  EXPECT_EQ(rig.scrolled(0), 2);
  EXPECT_EQ(rig.count("scroll", Json::object()), 1u);
}

// The empty tag finds the first tag marker; a tag sent with its zero byte
// only the equal text; without it, the first marker beginning with it.
TEST(BridgeDisplay, TerminatedTagMatchesTheEqualTextOnly) {
  Rig rig;
  for (auto [tag, paragraph] : std::vector<std::pair<Texts, int>>{
           {{"--item", ""}, 0}, {{"--item-hex", "6368617000"}, 4}, {{"--item", "chap"}, 2}}) {
    size_t from = rig.mark();
    CadRun r = rig.request({"DOKFRMDI", "--item", Manual(), "--read", tag[0], tag[1]});
    EXPECT_EQ(r.out, kOkReply) << tag[1];
    EXPECT_EQ(rig.scrolled(from), paragraph) << tag[1];
  }
}

// Paths: only the first 257 bytes count; a missing path item or one whose
// expansion does not fit the path area (cut to it, this one would name
// manual.json) answers "KO" and opens nothing.
TEST(BridgeDisplay, ExpansionBeyondThePathAreaAnswersKO) {
  std::string value;
  while (value.size() < 1023 - 11) value += "./";
  Rig::Options o;
  o.env["DOKT_LONG"] = value + "manual.json";
  ASSERT_EQ(o.env["DOKT_LONG"].size(), 1023u);
  Rig rig(o);
  std::string cut = "$DOKT_DOCS" + std::string(257 - 10 - 11, '/') + "manual.json-and-more";
  for (auto [args, reply] : std::vector<std::pair<Texts, std::string>>{
           {{"--item", cut, "--read", "--item", "chap2"}, kOkReply},
           {{}, kKoReply},
           {{"--item", "$DOKT_LONG/x", "--read", "--item", "chap2"}, kKoReply}}) {
    size_t from = rig.mark();
    args.insert(args.begin(), "DOKFRMDI");
    EXPECT_EQ(rig.request(args).out, reply) << args.size();
    EXPECT_EQ(rig.calls(1019, from).size(), reply == kOkReply ? 1u : 0u);
    EXPECT_EQ(rig.count("scroll", Json::object(), from), reply == kOkReply ? 1u : 0u);
  }
}

// A tag not found stays pending: the next function lookup searches the
// active document for it, found or not, once.  A file that does not open
// answers "KO" and leaves its tag pending too; the lookup places it and
// brings the page forward although the failed open left an error behind.
TEST(BridgeDisplay, TagsLeftPendingWaitForTheNextLookup) {
  Rig rig;
  ASSERT_EQ(rig.display(Manual(), "nosuch").out, kOkReply);
  uint32_t manual = rig.doc("/manual.json");
  EXPECT_EQ(TypeReads(rig, manual, 0), 5u) << "every marker was looked at";
  for (size_t reads : {5u, 0u}) {
    size_t from = rig.mark();
    ASSERT_EQ(rig.lookup("ABS     ").out, "end\n");
    EXPECT_EQ(TypeReads(rig, manual, from), reads);
  }
  EXPECT_EQ(rig.count("scroll", {{"via", "scroll"}}), 0u);

  size_t from = rig.mark();
  EXPECT_EQ(rig.display("$DOKT_DOCS/missing.json", "chap2").out, kKoReply);
  EXPECT_EQ(rig.count("document", {{"event", "open-failed"}}, from), 1u);
  EXPECT_EQ(rig.count("scroll", Json::object(), from), 0u);
  ASSERT_EQ(rig.lookup("ABS     ").out, "end\n");
  EXPECT_EQ(rig.scrolled(from), 2);
  EXPECT_TRUE(rig.call(1065, {{"objId", manual}, {"propIdent", {{"num", 31}}}, {"value", 0}}, from));
  EXPECT_TRUE(rig.call(1065, {{"objId", manual}, {"propIdent", {{"num", 32}}}, {"value", 1}}, from));
}

// Each step of a lookup of MYFUNC after manual.json was shown; run with
// FDK_TRACE on, the trace tells the same story as the journal.
TEST(BridgeFunction, ShowsThePageFromAListOpenedInTheBackground) {
  fdk::test::TempDir traceDir("bridge-trace");
  Rig::Options options;
  options.env["FDK_TRACE"] = traceDir.file("trace.log");
  Rig rig(options);
  ASSERT_TRUE(rig.ctl("init 1").starts_with("ok"));  // a callback, for the trace
  ASSERT_TRUE(rig.ctl("wait over").starts_with("ok"));
  ASSERT_EQ(rig.display(Manual(), "intro").out, kOkReply);
  uint32_t manual = rig.doc("/manual.json");
  size_t from = rig.mark();
  CadRun r = rig.lookup("MYFUNC  ");
  EXPECT_EQ(r.out, "end\n") << "no reply item is ever written";

  // Background open: the previous document is made active again, and the
  // list gets its title but none of the foreground settings.
  uint32_t list = rig.doc("/list.json");
  EXPECT_TRUE(rig.call(1067, {{"docId", 0}, {"objId", 0}, {"value", manual}}, from));
  EXPECT_TRUE(rig.calls(1014, from).empty());
  EXPECT_EQ(Titles(rig, list, from), Texts{"list.json - NORVA/TESMO Documentation"});
  // MYFUNC matches MYFUNCTION; its command runs in manual.json.
  EXPECT_TRUE(rig.call(1310, {{"docId", manual}, {"command", "gotolink pages.json:myfunction"}}));
  EXPECT_TRUE(rig.journal().wait_kind("hypertext", {{"status", 0}}, kWait, from));
  EXPECT_EQ(Titles(rig, manual, from), Texts{"HELP NORVA/FRAME"});
  EXPECT_TRUE(Closed(rig, "/list.json", from));
  EXPECT_TRUE(rig.calls(1008, from).empty()) << "no alert";
  std::string status = rig.ctl("status");
  ASSERT_TRUE(status.starts_with("ok ")) << status;
  EXPECT_EQ(Json::parse(status.substr(3))["active"], manual) << status;

  std::string doc = std::to_string(manual);
  std::string trace = fdk::test::read_file(traceDir.file("trace.log"));
  size_t at = 0;
  for (const std::string &line : Texts{
           "call F_ApiNotification 1015 (notification=2 state=1) -> 0 ",
           "callback 2 init (initialization=1) over=runtime FA_bailout=0\n",
           "loop bus\n", "bus request DOKFRMDI from CADSIM   kind=0",
           "bus item read=22 asked=257 status=0 \"$DOKT_DOCS/manual.json\"\n",
           "call F_ApiOpen 1019 (fileName=\"" + rig.docs() + "/manual.json\" params=[",
           ") -> " + doc + " FA_errno=", "bus reply status=0 \"OK\\0\"\n",
           "bus item read=5 asked=257 status=0 \"intro\"\n",
           "call F_ApiGetId 1066 (docId=0 objId=" + doc + " propIdent={num=114}) -> ",
           "call F_ApiGetInt 1064 (docId=" + doc + " objId=", " propIdent={num=1024}) -> 25 ",
           "call F_ApiGetId 1066 (docId=" + doc + " objId=", " propIdent={num=1026}) -> ",
           " propIdent={num=1025}) -> \"intro\" ",
           "call F_ApiScrollToText 1038 (docId=" + doc + " textRange={beg={objId=",
           "loop bus\n", "bus request DOKFRMFT from CADSIM   kind=0",
           "bus item size=" + std::to_string(rig.docs().size() + 1) + " status=0\n",
           "bus item read=8 asked=8 status=0 \"MYFUNC  \"\n",
           "call F_ApiHypertextCommand 1310 (docId=" + doc +
               " command=\"gotolink pages.json:myfunction\") -> 0 ",
           "call F_ApiClose 1022 (docId=" + std::to_string(list) + " flags=1) -> 0 "}) {
    at = trace.find(line, at);
    ASSERT_NE(at, std::string::npos) << "missing in order: " << line << "\n" << trace;
  }
}

// Names and alerts: a short name is a name, only 8 characters count, the
// empty name matches the first function, a name ends at the blank; the
// list opened in the background is closed again, whatever the outcome.
TEST(BridgeFunction, NamesAndAlerts) {
  Rig rig;
  size_t from = rig.mark();
  EXPECT_EQ(rig.lookup("ABS     ").out, "end\n");  // no active document: no command
  EXPECT_TRUE(rig.calls(1310, from).empty());
  EXPECT_TRUE(rig.calls(1008, from).empty());
  EXPECT_TRUE(Closed(rig, "/list.json", from));
  ASSERT_EQ(rig.display(Manual(), "intro").out, kOkReply);

  struct Case {
    std::string ctl, list, name, command, alert;
  };
  for (const Case &c : std::vector<Case>{
           {"", "list.json", "AB", "gotolink pages.json:abs", ""},
           {"", "list.json", "MYFUNCTIONS_AND_MORE_TEXT", "gotolink pages.json:myfunction", ""},
           {"", "list.json", "", "gotolink pages.json:alpha", ""},
           {"", "list.json", "A BS    ", "gotolink pages.json:alpha", ""},
           {"", "nolist.json", "ABS     ", "", kAlertNoList},
           {"", "list.json", "NOSUCH  ", "", kAlertNoFunction},
           {"", "list.json", "LASTFN  ", "", kAlertNoFunction},  // no command after it
           {"empty session 59", "list.json", "ABS     ", "", kAlertNoMarker}}) {
    SCOPED_TRACE(c.name + " in " + c.list);
    EXPECT_TRUE(c.ctl.empty() || rig.ctl(c.ctl).starts_with("ok"));
    size_t from = rig.mark();
    EXPECT_EQ(rig.lookup(c.name, c.list).out, "end\n");
    EXPECT_EQ(Args(rig, 1310, "command", from), c.command.empty() ? Texts{} : Texts{c.command});
    EXPECT_EQ(Args(rig, 1008, "message", from), c.alert.empty() ? Texts{} : Texts{c.alert});
    EXPECT_EQ(rig.calls(1022, from).size(), c.list == "list.json" ? 1u : 0u);
  }
}

TEST(BridgeFunction, PathItemsAreBounded) {
  Rig rig;
  ASSERT_EQ(rig.display(Manual(), "intro").out, kOkReply);
  // Items 1 and 2 fill the 1023 bytes exactly: the list opens.
  std::string first = rig.docs() + std::string(1023 - 9 - rig.docs().size(), '/');
  size_t from = rig.mark();
  rig.request({"DOKFRMFT", "--item", first, "--item", "list.json", "--item", "ABS     "});
  EXPECT_EQ(Args(rig, 1310, "command", from), Texts{"gotolink pages.json:abs"});

  // Longer items are cut, never written beyond their areas.
  from = rig.mark();
  rig.request({"DOKFRMFT", "--item-fill", "5000", "--item-fill", "300", "--item-fill", "40"});
  EXPECT_EQ(Args(rig, 1019, "fileName", from), Texts{std::string(1023, 'x')});
  EXPECT_EQ(Args(rig, 1008, "message", from), Texts{kAlertNoList});
}

// A marker chain that comes back to an earlier marker: the tag search and
// the function lookup each end once every marker was seen.
TEST(BridgeFunction, MarkerChainsThatLoopEnd) {
  Rig rig;
  CadRun r = rig.display("$DOKT_DOCS/loop.json", "nosuch");
  ASSERT_EQ(r.code, 0) << "the tag search never ended";
  EXPECT_EQ(TypeReads(rig, rig.doc("/loop.json"), 0), 3u) << "each marker once";
  size_t from = rig.mark();
  ASSERT_EQ(rig.lookup("NOSUCH  ", "loop.json").code, 0) << "the lookup never ended";
  EXPECT_EQ(Args(rig, 1008, "message", from), Texts{kAlertNoFunction});
  EXPECT_TRUE(Closed(rig, "/loop.json", from));
}

// A click on a hypertext "message" link: the bridge asks the CAD side for
// its current function and shows its page; nothing without a CAD side.
TEST(BridgeFunction, MessageClickAsksTheCadSideAndShowsThePage) {
  Rig rig;
  ASSERT_EQ(rig.display(Manual(), "intro").out, kOkReply);
  uint32_t manual = rig.doc("/manual.json");
  size_t from = rig.mark();
  ASSERT_TRUE(rig.ctl("message click active 0").starts_with("ok"));
  ASSERT_TRUE(rig.ctl("wait over").starts_with("ok"));
  EXPECT_TRUE(rig.calls(1019, from).empty());

  auto cad = rig.serve({"CURFCT", "--count", "1", "--reply", rig.docs() + "/", "--reply",
                        "list.json", "--reply", "ABS     "});
  from = rig.mark();
  ASSERT_TRUE(rig.ctl("message \"click here\" active 0").starts_with("ok"));
  ASSERT_TRUE(rig.ctl("wait over").starts_with("ok"));
  EXPECT_EQ(cad->out(), "ready\ncall 1\nitem 4 \\x04\\x00\\x00\\x00\nreplied 1\n");
  EXPECT_TRUE(rig.call(1310, {{"docId", manual}, {"command", "gotolink pages.json:abs"}}, from));
  EXPECT_TRUE(Closed(rig, "/list.json", from));
  EXPECT_TRUE(rig.calls(1008).empty());
}

}  // namespace
}  // namespace fdk::bridgetest
