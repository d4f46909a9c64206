// The three outcomes of each reply kind against framesim (a reply without
// error, a reply carrying Frame's error code through fault injection, no
// reply because framesim drops the connection), and the rules that outlast a
// single call: FA_errno is never reset, return lists are exchanged, prompts
// that the user cancels change nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "fapi_stubs.h"
#include "session.hpp"

using calls_test::Json;
using calls_test::Session;
using calls_test::to_json;

void F_ApiInitialize(IntT) {}
void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) {}
void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {}

namespace {

constexpr IntT kSentinel = 424242;
constexpr IntT kFrameError = -33;  // framesim injects it: "fail PROC -33"
const char kUntouched[] = "untouched";

std::string Fail(int proc, IntT code = kFrameError) {
  return "fail " + std::to_string(proc) + " " + std::to_string(code);
}
std::string Drop(int proc) { return "drop " + std::to_string(proc); }

class Outcomes : public testing::Test {
 protected:
  void SetUp() override {
    docs_.write("calls.json", calls_test::kDocument);
    session_.emplace(docs_.path());
    ASSERT_EQ(session_->status(), 0) << "could not join the framesim session";
  }
  void TearDown() override { session_.reset(); }

  bool Ctl(const std::string &command) { return session_->ctl(command); }

  fdk::test::TempDir docs_{"outcomes"};
  std::optional<Session> session_;
};

// One representative per reply kind: what it returns (as JSON) on success,
// on an error reply and without a reply, and whether the error reaches
// FA_errno.
struct KindCase {
  const char *kind;
  int proc;
  std::function<void()> prepare;  // makes the success case meaningful
  std::function<Json()> call;
  std::function<void(const Json &)> checkSuccess;
  Json onError, onNoReply;
  bool errorReported;
};

void PrintTo(const KindCase &k, std::ostream *os) { *os << k.kind; }

std::function<void(const Json &)> Is(Json expected) {
  return [expected](const Json &got) { EXPECT_EQ(got, expected); };
}

void PrepareProperties() {
  F_ApiSetInt(0, 0, 6001, 99);
  F_TextLocT loc{123, 45};
  F_ApiSetTextLoc(0, 0, 6002, &loc);
  StringT items[2] = {const_cast<StringT>("one"), const_cast<StringT>("two")};
  F_StringsT list{2, items};
  F_ApiSetStrings(0, 0, 6003, &list);
}

Json PromptString() {
  StringT out = const_cast<StringT>(kUntouched);
  IntT ret = F_ApiPromptString(&out, "Name?", "proposal");
  Json j{{"ret", ret}, {"out", out}};
  if (out != kUntouched) F_ApiFree(out);
  return j;
}

Json OpenDocument() {
  F_PropValsT *list = nullptr;
  F_ObjIdT doc = F_ApiOpen("calls.json", nullptr, &list);
  Json j{{"ret", doc}, {"list", list ? to_json(*list) : Json()}};
  F_ApiDeallocatePropVals(list);
  return j;
}

const KindCase kKinds[] = {
    {"status", API_FM_NOTIFICATION, [] {}, [] { return Json(F_ApiNotification(2, 1)); }, Is(0),
     kFrameError, -1, true},
    {"void status", API_FM_SET_INT, [] {},
     [] {
       F_ApiSetInt(0, 0, 6001, 7);
       return Json();
     },
     Is(nullptr), nullptr, nullptr, true},
    {"plain", API_FM_ALERT, [] {}, [] { return Json(F_ApiAlert("Careful", 1)); }, Is(0),
     kFrameError /* the reply is the value itself */, -1, false},
    {"object", API_FM_GET_INT, PrepareProperties, [] { return Json(F_ApiGetInt(0, 0, 6001)); }, Is(99),
     0, 0, true},
    {"copy", API_FM_GET_STRINGS, PrepareProperties,
     [] {
       F_StringsT l = F_ApiGetStrings(0, 0, 6003);
       Json j = to_json(l);
       F_ApiDeallocateStrings(&l);
       return j;
     },
     Is(Json{"one", "two"}), Json::array(), Json::array(), true},
    {"record", API_FM_GET_TEXTLOC, PrepareProperties,
     [] { return to_json(F_ApiGetTextLoc(0, 0, 6002)); }, Is(Json{{"objId", 123}, {"offset", 45}}),
     Json{{"objId", 0}, {"offset", 0}}, Json{{"objId", 0}, {"offset", 0}}, true},
    {"prompt", API_FM_PROMPT_STRING, [] {}, PromptString, Is(Json{{"ret", 0}, {"out", "proposal"}}),
     Json{{"ret", -1}, {"out", kUntouched}}, Json{{"ret", -1}, {"out", kUntouched}}, false},
    // An error reply still replaces the list (framesim's error reply has
    // none: the list becomes the empty one); no reply leaves it alone.
    {"list exchange", API_FM_OPEN, [] {}, OpenDocument,
     [](const Json &got) {
       EXPECT_NE(got["ret"], 0) << "a document handle";
       EXPECT_EQ(got["list"], Json::parse(R"([{"propIdent":{"num":1},"propVal":{"valType":1,"ival":1}}])"));
     },
     Json{{"ret", 0}, {"list", Json::array()}}, Json{{"ret", 0}, {"list", nullptr}}, true},
};

class ReplyKind : public Outcomes, public testing::WithParamInterface<KindCase> {};

TEST_P(ReplyKind, SuccessErrorReplyAndNoReply) {
  const KindCase &k = GetParam();
  k.prepare();

  FA_errno = kSentinel;
  k.checkSuccess(k.call());
  EXPECT_EQ(FA_errno, kSentinel) << "success leaves FA_errno alone";

  ASSERT_TRUE(Ctl(Fail(k.proc)));
  FA_errno = kSentinel;
  EXPECT_EQ(k.call(), k.onError);
  EXPECT_EQ(FA_errno, k.errorReported ? kFrameError : kSentinel);

  ASSERT_TRUE(Ctl(Drop(k.proc)));
  FA_errno = kSentinel;
  EXPECT_EQ(k.call(), k.onNoReply);
  EXPECT_EQ(FA_errno, -1);
}

// A reply that breaks off anywhere - in its header, after the first word of
// its results, inside a string or a list - fails the call as no reply does,
// and releases whatever was decoded before the break (LeakSanitizer holds
// the sanitizer build to it).
TEST_P(ReplyKind, ReplyBrokenOffAtAnyByte) {
  const KindCase &k = GetParam();
  for (int offset : {0, 12, 24, 26, 28, 31, 36, 44, 60, 1000}) {
    SCOPED_TRACE(offset);
    ASSERT_EQ(session_->rejoin(), 0);
    k.prepare();
    ASSERT_TRUE(Ctl("cut " + std::to_string(k.proc) + " " + std::to_string(offset)));
    FA_errno = kSentinel;
    EXPECT_EQ(k.call(), k.onNoReply);
    EXPECT_EQ(FA_errno, -1);
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, ReplyKind, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<KindCase> &i) {
                           std::string n = i.param.kind;
                           for (char &c : n)
                             if (c == ' ') c = '_';
                           return n;
                         });

TEST_F(Outcomes, FAErrnoIsStickyAcrossLaterSuccesses) {
  F_ApiSetInt(0, 0, 6001, 5);
  FA_errno = 0;
  ASSERT_TRUE(Ctl(Fail(API_FM_GET_INT, -40)));
  EXPECT_EQ(F_ApiGetInt(0, 0, 6001), 0);
  EXPECT_EQ(FA_errno, -40);
  EXPECT_EQ(F_ApiGetInt(0, 0, 6001), 5);
  F_ApiSetInt(0, 0, 6001, 6);
  EXPECT_EQ(F_ApiAlert("fine", 0), 0);
  EXPECT_EQ(FA_errno, -40) << "no success resets FA_errno";
}

// The return list of F_ApiOpen: a null pointer works, a second call releases
// the first list and fills the same header again, an error reply replaces it.
TEST_F(Outcomes, OpenExchangesTheReturnList) {
  F_PropValsT *list = nullptr;
  F_ObjIdT doc = F_ApiOpen("calls.json", nullptr, &list);
  ASSERT_NE(doc, 0u);
  ASSERT_NE(list, nullptr);
  F_PropValsT *header = list;
  ASSERT_EQ(list->len, 1u);
  EXPECT_EQ(list->val[0].propIdent.num, 1);
  EXPECT_EQ(list->val[0].propVal.u.ival, 1) << "opened now";

  // Opened again: the first array is released (the sanitizer build sees a
  // leak or a double release otherwise), the header filled anew.
  EXPECT_EQ(F_ApiOpen("calls.json", nullptr, &list), doc);
  EXPECT_EQ(list, header);
  ASSERT_EQ(list->len, 1u);
  EXPECT_EQ(list->val[0].propVal.u.ival, 2) << "was open already";

  // A missing file: error reply with framesim's code and its own list.
  FA_errno = 0;
  EXPECT_EQ(F_ApiOpen("missing.json", nullptr, &list), 0u);
  EXPECT_NE(FA_errno, 0);
  EXPECT_EQ(list, header);
  ASSERT_EQ(list->len, 1u);
  EXPECT_EQ(list->val[0].propVal.u.ival, FA_errno) << "the error reply's list";

  // Without an address for the list nothing is exchanged.
  EXPECT_EQ(F_ApiOpen("calls.json", nullptr, nullptr), doc);
  EXPECT_EQ(list->len, 1u);

  // No reply: the list stays as it is.
  ASSERT_TRUE(Ctl(Drop(API_FM_OPEN)));
  EXPECT_EQ(F_ApiOpen("calls.json", nullptr, &list), 0u);
  EXPECT_EQ(FA_errno, -1);
  EXPECT_EQ(list, header);
  EXPECT_EQ(list->len, 1u);
  F_ApiDeallocatePropVals(list);
  EXPECT_EQ(list->len, 0u);
}

TEST_F(Outcomes, ExportReturnsTheErrorFieldItself) {
  F_PropValsT *noList = nullptr;
  F_ObjIdT doc = F_ApiOpen("calls.json", nullptr, &noList);
  ASSERT_NE(doc, 0u);
  F_PropValsT params = F_ApiGetExportDefaultParams();
  F_PropValsT *list = nullptr;

  EXPECT_EQ(F_ApiExport(doc, "out.pdf", &params, &list), 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->len, 1u);

  ASSERT_TRUE(Ctl(Fail(API_FM_EXPORT, -41)));
  FA_errno = 0;
  EXPECT_EQ(F_ApiExport(doc, "out.pdf", &params, &list), -41);
  EXPECT_EQ(FA_errno, -41);
  EXPECT_EQ(list->len, 0u) << "replaced by the error reply's (absent) list";

  // framesim refuses an empty file name with its own code.
  FA_errno = 0;
  IntT code = F_ApiExport(doc, "", &params, &list);
  EXPECT_NE(code, 0);
  EXPECT_EQ(FA_errno, code);

  ASSERT_TRUE(Ctl(Drop(API_FM_EXPORT)));
  EXPECT_EQ(F_ApiExport(doc, "out.pdf", &params, &list), -1);
  EXPECT_EQ(FA_errno, -1);
  F_ApiDeallocatePropVals(list);
  F_ApiDeallocatePropVals(noList);
  F_ApiDeallocatePropVals(&params);
}

// Every prompt: a cancel (non-zero status) returns -1 and touches neither
// the out-parameter nor FA_errno.
TEST_F(Outcomes, CancelledPromptsChangeNothing) {
  StringT strings[1] = {const_cast<StringT>("only")};
  F_StringsT choices{1, strings};
  struct Prompt {
    int proc;
    std::function<IntT(IntT *, StringT *)> call;
  } prompts[] = {
      {API_FM_PROMPT_INT, [](IntT *i, StringT *) { return F_ApiPromptInt(i, "m", "1"); }},
      {API_FM_PROMPT_STRING, [](IntT *, StringT *s) { return F_ApiPromptString(s, "m", "d"); }},
      {API_FM_PROMPT_METRIC, [](IntT *i, StringT *) { return F_ApiPromptMetric(i, "m", "d", 1); }},
      {API_FM_CHOOSE_FILE,
       [](IntT *, StringT *s) { return F_ApiChooseFile(s, "t", "/", "d", 0, "x"); }},
      {OLD_API_FM_CHOOSE_FILE, [](IntT *, StringT *s) { return oldF_ApiChooseFile(s, "t", "/", "d", 0); }},
      {OLD_API_FM_CHOOSE_FILE, [](IntT *, StringT *s) { return F_ApiFileScrollBox(s, "t", "/"); }},
      {API_FM_SCROLL_BOX, [&](IntT *i, StringT *) { return F_ApiScrollBox(i, "t", &choices, 0); }},
  };
  for (const Prompt &p : prompts) {
    SCOPED_TRACE(p.proc);
    ASSERT_TRUE(Ctl(Fail(p.proc, 1)));
    IntT i = -555;
    StringT s = const_cast<StringT>(kUntouched);
    FA_errno = kSentinel;
    EXPECT_EQ(p.call(&i, &s), -1);
    EXPECT_EQ(i, -555);
    EXPECT_EQ(s, kUntouched);
    EXPECT_EQ(FA_errno, kSentinel);
  }
}

TEST_F(Outcomes, SpecialMembers) {
  // F_ApiObjectValid: 1 only for a reply of 0.
  EXPECT_EQ(F_ApiObjectValid(0, 0), 1);
  ASSERT_TRUE(Ctl(Fail(API_FM_OBJECT_VALID, 5)));
  FA_errno = 0;
  EXPECT_EQ(F_ApiObjectValid(0, 0), 0);
  EXPECT_EQ(FA_errno, 5);
  EXPECT_EQ(F_ApiObjectValid(0, 999999), 0) << "no such object";

  // F_ApiQuickSelect: -1 on an error reply.
  ASSERT_TRUE(Ctl(Fail(API_FM_QUICK_SELECT, 6)));
  EXPECT_EQ(F_ApiQuickSelect(0, "t", nullptr), -1);
  EXPECT_EQ(FA_errno, 6);
  // Without a reply every function's result is in apilib_calls_wire_test.
}

// A modal dialog: after the reply the dialog's callbacks are served until
// Frame closes the wait; the closing event's value is the result.
TEST_F(Outcomes, ModalDialogServesCallbacksUntilTheWaitCloses) {
  F_ObjIdT dlg = F_ApiOpenResource(1, "Dialog");
  ASSERT_NE(dlg, 0u);
  F_ApiDoneCommand();  // Frame holds control: it may call back
  std::thread closer([this] { session_->sim().ctl("dialog 0 0 77"); });
  EXPECT_EQ(F_ApiModalDialog(1, dlg), 77);
  closer.join();
}

}  // namespace
