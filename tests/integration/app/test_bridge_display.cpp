// "DOKFRMDI": a documentation file shown at a tag, and the tag left
// pending when it cannot be placed.
#include <gtest/gtest.h>

#include "bridge_rig.h"

namespace fdk::bridgetest {
namespace {

constexpr char kOkReply[] = "item 3 OK\\x00\nend\n";
constexpr char kKoReply[] = "item 3 KO\\x00\nend\n";

// Shows a document at a tag the way the CAD side does: the path, the
// reply, then the tag.
CadRun Display(Rig &rig, const std::string &path, const std::string &tag) {
  return rig.request({"DOKFRMDI", "--item", path, "--read", "--item", tag});
}

CadRun Lookup(Rig &rig, const std::string &name) {
  return rig.request({"DOKFRMFT", "--item", rig.docs() + "/", "--item", "list.json",
                  "--item", name});
}

// Text set as property 30 (the title) of doc, in order.
std::vector<std::string> Titles(Rig &rig, uint32_t doc, size_t from = 0) {
  std::vector<std::string> out;
  for (const Json &c : rig.calls(1071, from))
    if (c["args"]["objId"] == doc && c["args"]["propIdent"]["num"] == 30)
      out.push_back(c["args"]["value"].get<std::string>());
  return out;
}

size_t Scrolls(Rig &rig, size_t from) {
  size_t n = 0;
  const auto &lines = rig.journal().lines();
  for (size_t i = from; i < lines.size(); ++i)
    if (lines[i].value("kind", "") == "scroll" && lines[i].value("via", "") == "scroll") ++n;
  return n;
}

// Marker-type reads in doc: a tag search in it.
size_t TypeReads(Rig &rig, uint32_t doc, size_t from) {
  size_t n = 0;
  for (const Json &c : rig.calls(1064, from))
    if (c["args"]["docId"] == doc && c["args"]["propIdent"]["num"] == 1024) ++n;
  return n;
}

TEST(BridgeDisplay, OpensTheExpandedPathAnswersAndScrollsToTheFirstTagMarker) {
  Rig rig;
  size_t from = rig.mark();
  CadRun r = Display(rig, "$DOKT_DOCS/manual.json", "chap2");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, kOkReply);

  auto open = rig.call(1019, {{"fileName", rig.docs() + "/manual.json"}}, from);
  ASSERT_TRUE(open) << "no open of the expanded path";
  uint32_t doc = rig.doc("/manual.json");
  ASSERT_NE(doc, 0u);
  EXPECT_EQ(Titles(rig, doc), (std::vector<std::string>{
                                  "manual.json - NORVA/TESMO Documentation", "HELP NORVA/FRAME"}));
  // Brought forward: two display settings and the function code.
  EXPECT_TRUE(rig.call(1065, {{"docId", 0}, {"objId", doc}, {"value", 1}}, from));
  EXPECT_EQ(rig.calls(1014, from).size(), 1u);

  // The type-25 marker "chap2" is passed over; "chap2-start" (paragraph 2)
  // comes before "chap2-more" (paragraph 3).
  auto scroll = rig.journal().wait_kind("scroll", {{"doc", doc}, {"via", "scroll"}}, kWait, from);
  ASSERT_TRUE(scroll);
  EXPECT_EQ(rig.journal().lines()[*scroll]["paragraph"], 2);
  EXPECT_EQ(Scrolls(rig, from), 1u);
}

TEST(BridgeDisplay, EmptyTagMatchesTheFirstTagMarker) {
  Rig rig;
  size_t from = rig.mark();
  CadRun r = Display(rig, "$DOKT_DOCS/manual.json", "");
  EXPECT_EQ(r.out, kOkReply);
  auto scroll = rig.journal().wait_kind("scroll", {{"via", "scroll"}}, kWait, from);
  ASSERT_TRUE(scroll);
  EXPECT_EQ(rig.journal().lines()[*scroll]["paragraph"], 0);
}

// A tag sent as a C string, its zero byte included, matches the marker
// whose text equals it; without the zero byte, the first marker that
// begins with it.
TEST(BridgeDisplay, TerminatedTagMatchesTheEqualTextOnly) {
  Rig rig;
  size_t from = rig.mark();
  CadRun r = rig.request({"DOKFRMDI", "--item", "$DOKT_DOCS/manual.json", "--read",
                          "--item-hex", "6368617000"});  // "chap" and its zero byte
  EXPECT_EQ(r.out, kOkReply);
  auto scroll = rig.journal().wait_kind("scroll", {{"via", "scroll"}}, kWait, from);
  ASSERT_TRUE(scroll);
  EXPECT_EQ(rig.journal().lines()[*scroll]["paragraph"], 4) << "the marker \"chap\" itself";

  from = rig.mark();
  EXPECT_EQ(Display(rig, "$DOKT_DOCS/manual.json", "chap").out, kOkReply);
  scroll = rig.journal().wait_kind("scroll", {{"via", "scroll"}}, kWait, from);
  ASSERT_TRUE(scroll);
  EXPECT_EQ(rig.journal().lines()[*scroll]["paragraph"], 2) << "\"chap2-start\" comes first";
}

// A path whose expansion does not fit the path area is not cut and opened:
// it answers "KO".  Cut to the area, this one would name manual.json
// (relative paths are looked up in the document directory).
TEST(BridgeDisplay, ExpansionBeyondThePathAreaAnswersKO) {
  std::string value;
  while (value.size() < 1023 - std::string("manual.json").size()) value += "./";
  value += "manual.json";
  ASSERT_EQ(value.size(), 1023u);
  Rig::Options o;
  o.env["DOKT_LONG"] = value;
  Rig rig(o);
  size_t from = rig.mark();
  CadRun r = Display(rig, "$DOKT_LONG/x", "chap2");
  EXPECT_EQ(r.out, kKoReply);
  EXPECT_TRUE(rig.calls(1019, from).empty()) << "nothing is opened";
  EXPECT_EQ(Scrolls(rig, from), 0u);
}

TEST(BridgeDisplay, OnlyTheFirst257BytesOfThePathCount) {
  Rig rig;
  std::string path = "$DOKT_DOCS";
  path += std::string(257 - path.size() - std::string("manual.json").size(), '/');
  path += "manual.json";
  ASSERT_EQ(path.size(), 257u);
  size_t from = rig.mark();
  CadRun r = Display(rig, path + "-and-more-that-is-cut", "chap2");
  EXPECT_EQ(r.out, kOkReply);
  auto open = rig.call(1019, Json::object(), from);
  ASSERT_TRUE(open);
  std::string sent = (*open)["args"]["fileName"];
  EXPECT_EQ(sent.find("more"), std::string::npos) << sent;
  EXPECT_NE(rig.doc("/manual.json"), 0u);
}

TEST(BridgeDisplay, UnreadablePathAnswersKOAndOpensNothing) {
  Rig rig;
  size_t from = rig.mark();
  CadRun r = rig.request({"DOKFRMDI"});  // no item at all
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, kKoReply);
  EXPECT_TRUE(rig.calls(1019, from).empty());
}

// A file that does not open answers "KO"; its tag is still read and waits
// for the next function lookup, which places it in the document that is
// active then.  That lookup also brings its page forward although the
// failed open left an error behind.
TEST(BridgeDisplay, MissingFileAnswersKOAndTheTagWaitsForTheNextLookup) {
  Rig rig;
  ASSERT_EQ(Display(rig, "$DOKT_DOCS/manual.json", "intro").out, kOkReply);
  uint32_t manual = rig.doc("/manual.json");

  size_t from = rig.mark();
  CadRun r = Display(rig, "$DOKT_DOCS/missing.json", "chap2");
  EXPECT_EQ(r.out, kKoReply);
  EXPECT_EQ(Scrolls(rig, from), 0u);
  EXPECT_TRUE(rig.journal().wait_kind("document", {{"event", "open-failed"}}, kWait, from));

  from = rig.mark();
  ASSERT_EQ(Lookup(rig, "ABS     ").out, "end\n");
  auto scroll = rig.journal().wait_kind("scroll", {{"doc", manual}, {"via", "scroll"}}, kWait, from);
  ASSERT_TRUE(scroll);
  EXPECT_EQ(rig.journal().lines()[*scroll]["paragraph"], 2);
  EXPECT_TRUE(rig.call(1065, {{"objId", manual}, {"propIdent", {{"num", 31}}},
                              {"value", 0}},
                       from));
  EXPECT_TRUE(rig.call(1065, {{"objId", manual}, {"propIdent", {{"num", 32}}},
                              {"value", 1}},
                       from));

  // Consumed: the next lookup searches no tag.
  from = rig.mark();
  ASSERT_EQ(Lookup(rig, "ABS     ").out, "end\n");
  EXPECT_EQ(TypeReads(rig, manual, from), 0u);
}

TEST(BridgeDisplay, TagNotInTheDocumentStaysPending) {
  Rig rig;
  size_t from = rig.mark();
  ASSERT_EQ(Display(rig, "$DOKT_DOCS/manual.json", "nosuch").out, kOkReply);
  uint32_t manual = rig.doc("/manual.json");
  EXPECT_EQ(TypeReads(rig, manual, from), 5u) << "every marker was looked at";
  EXPECT_EQ(Scrolls(rig, from), 0u);

  // Still pending: the lookup searches the active document for it again.
  from = rig.mark();
  ASSERT_EQ(Lookup(rig, "ABS     ").out, "end\n");
  EXPECT_EQ(TypeReads(rig, manual, from), 5u);
  EXPECT_EQ(Scrolls(rig, from), 0u);
  from = rig.mark();
  ASSERT_EQ(Lookup(rig, "ABS     ").out, "end\n");
  EXPECT_EQ(TypeReads(rig, manual, from), 0u) << "a lookup consumes the tag, found or not";
}

}  // namespace
}  // namespace fdk::bridgetest
