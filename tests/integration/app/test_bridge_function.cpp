// "DOKFRMFT" and hypertext "message" clicks: a function's page found
// through the function list, the alerts, and the bounds of the items.
#include <gtest/gtest.h>

#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

constexpr char kAlertNoList[] = "List of NORVA functions not found";
constexpr char kAlertNoMarker[] = "Marker missing";
constexpr char kAlertNoFunction[] = "Function documentation not found";

CadRun Lookup(Rig &rig, const std::string &name, const std::string &list = "list.json") {
  return rig.request({"DOKFRMFT", "--item", rig.docs() + "/", "--item", list, "--item",
                  name});
}

// Shows manual.json, which then is the active document.
uint32_t ShowManual(Rig &rig) {
  CadRun r = rig.request({"DOKFRMDI", "--item", "$DOKT_DOCS/manual.json", "--read",
                      "--item", "intro"});
  EXPECT_EQ(r.code, 0) << r.err;
  return rig.doc("/manual.json");
}

std::vector<std::string> Commands(Rig &rig, size_t from) {
  std::vector<std::string> out;
  for (const Json &c : rig.calls(1310, from)) out.push_back(c["args"]["command"]);
  return out;
}

std::vector<std::string> Alerts(Rig &rig, size_t from) {
  std::vector<std::string> out;
  for (const Json &c : rig.calls(1008, from)) {
    EXPECT_EQ(c["args"]["alertType"], 2);
    out.push_back(c["args"]["message"]);
  }
  return out;
}

bool Closed(Rig &rig, uint32_t doc, size_t from) {
  return doc != 0 && rig.call(1022, {{"docId", doc}, {"flags", 1}}, from, Millis(0)).has_value();
}

// Each of `wanted` in `text`, in this order; the first one missing.
std::string MissingInOrder(const std::string &text, const std::vector<std::string> &wanted) {
  size_t at = 0;
  for (const std::string &w : wanted) {
    size_t found = text.find(w, at);
    if (found == std::string::npos) return w;
    at = found + w.size();
  }
  return "";
}

// Run with FDK_TRACE on: the trace tells the same story as the journal.
TEST(BridgeFunction, ShowsThePageFromAListOpenedInTheBackground) {
  fdk::test::TempDir traceDir("bridge-trace");
  Rig::Options options;
  options.env["FDK_TRACE"] = traceDir.file("trace.log");
  Rig rig(options);
  ASSERT_EQ(rig.ctl("init 1").rfind("ok", 0), 0u);  // a callback, for the trace
  ASSERT_EQ(rig.ctl("wait over").rfind("ok", 0), 0u);
  uint32_t manual = ShowManual(rig);
  ASSERT_NE(manual, 0u);
  size_t from = rig.mark();
  CadRun r = Lookup(rig, "MYFUNC  ");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "end\n") << "no reply item is ever written";

  uint32_t list = rig.doc("/list.json");
  ASSERT_NE(list, 0u);
  // Background open: the previous document is made active again, and the
  // list gets its title but none of the foreground settings.
  EXPECT_TRUE(rig.call(1067, {{"docId", 0}, {"objId", 0}, {"value", manual}}, from));
  EXPECT_TRUE(rig.calls(1014, from).empty());
  EXPECT_TRUE(rig.call(1071, {{"objId", list}, {"value", "list.json - NORVA/TESMO Documentation"}},
                       from));
  // MYFUNC matches the marker MYFUNCTION; its command runs in manual.json.
  EXPECT_EQ(Commands(rig, from), std::vector<std::string>{"gotolink pages.json:myfunction"});
  EXPECT_TRUE(rig.call(1310, {{"docId", manual}}, from));
  EXPECT_TRUE(rig.journal().wait_kind("hypertext", {{"status", 0}}, kWait, from));
  EXPECT_TRUE(rig.call(1065, {{"objId", manual}, {"value", 0}}, from));
  EXPECT_TRUE(rig.call(1071, {{"objId", manual}, {"value", "HELP NORVA/FRAME"}}, from));
  EXPECT_TRUE(Closed(rig, list, from));
  EXPECT_TRUE(Alerts(rig, from).empty());
  std::string status = rig.ctl("status");
  ASSERT_EQ(status.rfind("ok ", 0), 0u) << status;
  EXPECT_EQ(Json::parse(status.substr(3))["active"], manual) << status;

  // The open, the marker walk to the tag and the scroll; then the lookup,
  // its list and the command run in manual.json.
  std::string doc = std::to_string(manual);
  std::string trace = fdk::test::read_file(traceDir.file("trace.log"));
  EXPECT_EQ(MissingInOrder(trace, {
      "call F_ApiNotification 1015 (notification=2 state=1) -> 0 ",
      "callback 2 init (initialization=1) over=runtime FA_bailout=0\n",
      "loop bus\n", "bus request DOKFRMDI from CADSIM   kind=0",
      "bus item read=22 asked=257 status=0 \"$DOKT_DOCS/manual.json\"\n",
      "call F_ApiOpen 1019 (fileName=\"" + rig.docs() + "/manual.json\" params=[",
      ") -> " + doc + " FA_errno=",
      "bus reply status=0 \"OK\\0\"\n",
      "bus item read=5 asked=257 status=0 \"intro\"\n",
      "call F_ApiGetId 1066 (docId=0 objId=" + doc + " propIdent={num=114}) -> ",
      "call F_ApiGetInt 1064 (docId=" + doc + " objId=", " propIdent={num=1024}) -> 25 ",
      "call F_ApiGetId 1066 (docId=" + doc + " objId=", " propIdent={num=1026}) -> ",
      " propIdent={num=1024}) -> 19 ", " propIdent={num=1025}) -> \"intro\" ",
      "call F_ApiScrollToText 1038 (docId=" + doc + " textRange={beg={objId=",
      "loop bus\n", "bus request DOKFRMFT from CADSIM   kind=0",
      "bus item size=" + std::to_string(rig.docs().size() + 1) + " status=0\n",
      "bus item read=9 asked=9 status=0 \"list.json\"\n",
      "bus item read=8 asked=8 status=0 \"MYFUNC  \"\n",
      "call F_ApiOpen 1019 (fileName=\"" + rig.docs() + "/list.json\"",
      "call F_ApiHypertextCommand 1310 (docId=" + doc +
          " command=\"gotolink pages.json:myfunction\") -> 0 ",
      "call F_ApiClose 1022 (docId=" + std::to_string(list) + " flags=1) -> 0 "}),
            "")
      << trace;
}

TEST(BridgeFunction, EachAlert) {
  Rig rig;
  ShowManual(rig);

  size_t from = rig.mark();
  EXPECT_EQ(Lookup(rig, "ABS     ", "nolist.json").out, "end\n");
  EXPECT_EQ(Alerts(rig, from), std::vector<std::string>{kAlertNoList});
  EXPECT_TRUE(rig.calls(1022, from).empty()) << "nothing was opened, nothing is closed";

  from = rig.mark();
  EXPECT_EQ(Lookup(rig, "NOSUCH  ").out, "end\n");
  EXPECT_EQ(Alerts(rig, from), std::vector<std::string>{kAlertNoFunction});
  EXPECT_TRUE(Closed(rig, rig.doc("/list.json"), from));

  // The last marker of the list has no command after it.
  from = rig.mark();
  EXPECT_EQ(Lookup(rig, "LASTFN  ").out, "end\n");
  EXPECT_EQ(Alerts(rig, from), std::vector<std::string>{kAlertNoFunction});
  EXPECT_TRUE(Commands(rig, from).empty());
  EXPECT_TRUE(Closed(rig, rig.doc("/list.json"), from));

  ASSERT_EQ(rig.ctl("empty session 59").rfind("ok", 0), 0u);
  from = rig.mark();
  EXPECT_EQ(Lookup(rig, "ABS     ").out, "end\n");
  EXPECT_EQ(Alerts(rig, from), std::vector<std::string>{kAlertNoMarker});
  EXPECT_TRUE(Commands(rig, from).empty());
  EXPECT_TRUE(Closed(rig, rig.doc("/list.json"), from));
}

TEST(BridgeFunction, NamesOfAnyLengthAndTheEmptyName) {
  Rig rig;
  ShowManual(rig);
  size_t from = rig.mark();
  Lookup(rig, "AB");  // a short name is a name: ABS, not the first function
  EXPECT_EQ(Commands(rig, from), std::vector<std::string>{"gotolink pages.json:abs"});
  from = rig.mark();
  Lookup(rig, "MYFUNCTIONS_AND_MORE_TEXT");  // only 8 characters count
  EXPECT_EQ(Commands(rig, from), std::vector<std::string>{"gotolink pages.json:myfunction"});
  from = rig.mark();
  Lookup(rig, "");  // the empty name matches the first function
  EXPECT_EQ(Commands(rig, from), std::vector<std::string>{"gotolink pages.json:alpha"});
  from = rig.mark();
  Lookup(rig, "A BS    ");  // the name ends at the blank
  EXPECT_EQ(Commands(rig, from), std::vector<std::string>{"gotolink pages.json:alpha"});
}

TEST(BridgeFunction, PathItemsAreBounded) {
  Rig rig;
  ShowManual(rig);
  // Items 1 and 2 fill the 1023 bytes exactly: the list opens.
  std::string first = rig.docs() + std::string(1023 - 9 - rig.docs().size(), '/');
  size_t from = rig.mark();
  CadRun r = rig.request({"DOKFRMFT", "--item", first, "--item", "list.json", "--item",
                      "ABS     "});
  EXPECT_EQ(r.out, "end\n");
  EXPECT_EQ(Commands(rig, from), std::vector<std::string>{"gotolink pages.json:abs"});

  // Longer items are cut, never written beyond their areas: the path no
  // longer names the list.
  from = rig.mark();
  r = rig.request({"DOKFRMFT", "--item-fill", "5000", "--item-fill", "300", "--item-fill",
               "40"});
  EXPECT_EQ(r.out, "end\n");
  auto open = rig.call(1019, Json::object(), from);
  ASSERT_TRUE(open);
  EXPECT_EQ((*open)["args"]["fileName"].get<std::string>(), std::string(1023, 'x'));
  EXPECT_EQ(Alerts(rig, from), std::vector<std::string>{kAlertNoList});
}

// A document whose marker chain comes back to an earlier marker: the tag
// search and the function lookup each end once every marker was seen.
TEST(BridgeFunction, MarkerChainsThatLoopEnd) {
  Rig rig;
  size_t from = rig.mark();
  CadRun r = rig.request({"DOKFRMDI", "--item", "$DOKT_DOCS/loop.json", "--read", "--item",
                          "nosuch"});
  ASSERT_EQ(r.code, 0) << "the tag search never ended";
  uint32_t loop = rig.doc("/loop.json");
  ASSERT_NE(loop, 0u);
  size_t typeReads = 0;
  for (const Json &c : rig.calls(1064, from))
    if (c["args"]["docId"] == loop && c["args"]["propIdent"]["num"] == 1024) ++typeReads;
  EXPECT_EQ(typeReads, 3u) << "each marker once";

  // The function lookup walks the same chain as its list.
  from = rig.mark();
  r = Lookup(rig, "NOSUCH  ", "loop.json");
  ASSERT_EQ(r.code, 0) << "the lookup never ended";
  EXPECT_EQ(Alerts(rig, from), std::vector<std::string>{kAlertNoFunction});
  EXPECT_TRUE(Closed(rig, loop, from));
}

TEST(BridgeFunction, NoActiveDocumentRunsNoCommand) {
  Rig rig;  // nothing open yet
  size_t from = rig.mark();
  EXPECT_EQ(Lookup(rig, "ABS     ").out, "end\n");
  EXPECT_TRUE(Commands(rig, from).empty());
  EXPECT_TRUE(Alerts(rig, from).empty());
  EXPECT_TRUE(Closed(rig, rig.doc("/list.json"), from));
}

// A click on a hypertext "message" link: Frame calls the client, the bridge
// asks the CAD side for its current function and shows its page.
TEST(BridgeFunction, MessageClickAsksTheCadSideAndShowsThePage) {
  Rig rig;
  uint32_t manual = ShowManual(rig);
  rig.serve({"CURFCT", "--count", "1", "--reply", rig.docs() + "/", "--reply", "list.json",
             "--reply", "ABS     "});
  size_t from = rig.mark();
  ASSERT_EQ(rig.ctl("message \"click here\" active 0").rfind("ok", 0), 0u);
  ASSERT_EQ(rig.ctl("wait over").rfind("ok", 0), 0u);
  EXPECT_EQ(rig.serve_output(), "ready\ncall 1\nitem 4 \\x04\\x00\\x00\\x00\nreplied 1\n");
  EXPECT_TRUE(rig.call(1310, {{"docId", manual}, {"command", "gotolink pages.json:abs"}}, from));
  EXPECT_TRUE(Closed(rig, rig.doc("/list.json"), from));
}

TEST(BridgeFunction, MessageClickWithoutTheCadSideShowsNothing) {
  Rig rig;
  ShowManual(rig);
  size_t from = rig.mark();
  ASSERT_EQ(rig.ctl("message click active 0").rfind("ok", 0), 0u);
  ASSERT_EQ(rig.ctl("wait over").rfind("ok", 0), 0u);
  EXPECT_TRUE(rig.calls(1019, from).empty());
  EXPECT_TRUE(Alerts(rig, from).empty());
}

}  // namespace
}  // namespace fdk::bridgetest
