// The F_Api call functions against framesim: one table row per function checks the procedure and
// argument record in framesim's journal and the result its reply kind makes of the reply, then of no
// reply.  Then per reply kind the error and cut replies, and the rules that outlast a call.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fapi_calls.h"
#include "fapi_runtime.h"
#include "fapi_stubs.h"
#include "fapi_values.h"
#include "record_json.hpp"
#include "testsupport.hpp"

using fdk::sim::to_json;
using fdk::test::Json;

void F_ApiInitialize(IntT) {}
void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) {}
void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {}

namespace {

// Two paragraphs, one marker in the first.
constexpr const char *kDocument = R"({
  "title": "Calls",
  "paragraphs": ["First paragraph of the calls test", "Second paragraph"],
  "markers": [{"type": 19, "text": "tag", "paragraph": 0, "offset": 2}]
})";

// This process as a client of `framesim --session` over a folder holding calls.json and second.json,
// joined and holding control in each test.  SIGPIPE stays at its default: the runtime itself must keep
// a write to a connection that Frame dropped from ending the process.
class Joined : public testing::Test {
 protected:
  void SetUp() override {
    static int sessions = 0;
    docs_.write("calls.json", kDocument);
    docs_.write("second.json", kDocument);
    fdk::test::Framesim::Options o;
    o.session = name_ = "calls-" + std::to_string(getpid()) + "-" + std::to_string(++sessions);
    o.client_no = 7;
    o.client_name = "callstest";
    o.docroot = docs_.path();
    o.time_limit = 120;
    sim_.emplace(o);
    ASSERT_TRUE(sim_->wait_ready());
    ASSERT_EQ(Rejoin(), 0) << "could not join the framesim session";
  }
  void TearDown() override { F_ApiShutDown(); }

  // Joins (again, after a cut reply ended the connection).
  IntT Rejoin() {
    F_ApiShutDown();
    IntT status = F_ApiConnectToSession(name_.c_str(), "localhost", static_cast<IntT>(sim_->prog()));
    if (status == 0) F_ApiTakeControl();
    return status;
  }

  // The journal line of the next API call, connect and control procedures skipped.
  std::optional<Json> NextCall() {
    auto at = sim_->journal().wait_for(
        [](const Json &l) {
          if (!l.is_object() || l.value("kind", "") != "call") return false;
          int proc = l.value("proc", 0);
          return proc != 108 && proc != 1000 && proc != 1001 && proc != 1002 && proc != 1343;
        },
        fdk::test::Millis(10000), next_);
    if (!at) return std::nullopt;
    next_ = *at + 1;
    return sim_->journal().lines()[*at];
  }

  // A control command (fault injection); true when framesim took it.
  bool Ctl(const std::string &command) { return sim_->ctl(command).rfind("ok", 0) == 0; }

  fdk::test::TempDir docs_{"calls"};
  std::optional<fdk::test::Framesim> sim_;
  std::string name_;
  size_t next_ = 0;
};

// FA_errno before each call, as an earlier failure left it: a call without error keeps it.
constexpr IntT kSentinel = 424242;

// ------------------------------------------------------------ reply kinds

// What a function must return for a reply (null: no reply came), and whether the reply's error code
// goes to FA_errno.
struct Kind {
  std::function<Json(const Json *reply)> result;
  bool reports = true;
};

const Kind kStatus{[](const Json *r) { return r ? *r : Json(-1); }};
const Kind kVoid{[](const Json *) { return Json(); }};
Kind Plain(int onFailure = -1) {
  return {[onFailure](const Json *r) { return r ? *r : Json(onFailure); }, false};
}
// A null string in a reply travels as "" and arrives as "".
Json Received(const Json &string) { return string.is_null() ? Json("") : string; }

const Kind kPlainString{[](const Json *r) { return r ? Received(*r) : Json(); }, false};
// Error field first, then `field`: the field, or `zero` (null for strings).
Kind Field(const std::string &field, Json zero) {
  return {[field, zero](const Json *r) {
    if (!r || (*r)["status"] != 0) return zero;
    return zero.is_null() ? Received((*r)[field]) : (*r)[field];
  }};
}
Kind Object(const std::string &field) { return Field(field, 0); }
const Kind kObjId = Object("objId");

constexpr IntT kUntouchedInt = -555;
const char kUntouchedText[] = "untouched";

// Prompts: {"ret", "out"}; a non-zero status is a cancel, not an error.
Kind Prompt(const std::string &field, Json untouched) {
  return {[field, untouched](const Json *r) {
            if (r && (*r)["status"] == 0) {
              const Json &v = (*r)[field];
              return Json{{"ret", 0}, {"out", untouched.is_string() ? Received(v) : v}};
            }
            return Json{{"ret", -1}, {"out", untouched}};
          },
          false};
}
// List exchanges: {"ret", "list"}; the list is replaced after any reply.
Kind Exchange(bool returnsStatus = false) {
  return {[returnsStatus](const Json *r) {
    if (!r) return Json{{"ret", returnsStatus ? -1 : 0}, {"list", nullptr}};
    const Json &rp = (*r)["retParams"];
    Json ret = returnsStatus ? (*r)["status"] : (*r)["status"] == 0 ? (*r)["objId"] : Json(0);
    return Json{{"ret", ret}, {"list", rp.is_null() ? Json::array() : rp}};
  }};
}

// ------------------------------------------------------------ results as JSON

// A result as JSON; what the caller owns is released with the library's own function for it.
template <class T> Json Own(const T &v) { return to_json(v); }
Json Own(Json j) { return j; }
template <class T> Json Own(T v, void (*release)(T *)) {
  Json j = to_json(v);
  release(&v);
  return j;
}
Json Own(StringT s) { return Own(s, +[](StringT *p) { F_ApiFree(*p); }); }
Json Own(F_StringsT v) { return Own(v, F_ApiDeallocateStrings); }
Json Own(F_MetricsT v) { return Own(v, F_ApiDeallocateMetrics); }
Json Own(F_IntsT v) { return Own(v, F_ApiDeallocateInts); }
Json Own(F_PointsT v) { return Own(v, F_ApiDeallocatePoints); }
Json Own(F_TabsT v) { return Own(v, F_ApiDeallocateTabs); }
Json Own(F_UBytesT v) { return Own(v, F_ApiDeallocateUBytes); }
Json Own(F_TypedValT v) { return Own(v, F_ApiDeallocateVal); }
Json Own(F_PropValT v) { return Own(v, F_ApiDeallocatePropVal); }
Json Own(F_PropValsT v) { return Own(v, F_ApiDeallocatePropVals); }
Json Own(TextItemsT v) { return Own(v, F_ApiDeallocateTextItems); }
Json Own(F_ElementCatalogEntriesT v) { return Own(v, F_ApiDeallocateElementCatalogEntries); }
Json Own(F_AttributeDefsT v) { return Own(v, F_ApiDeallocateAttributeDefs); }
Json Own(F_AttributesT v) { return Own(v, F_ApiDeallocateAttributes); }
Json Own(F_FontsT v) { return Own(v, +[](F_FontsT *f) { F_ApiFree(f->val); }); }
Json Own(F_CompareRetT c) { return Json{c.firstId, c.secondId}; }

// A prompt's out-parameters, and its result with what it wrote there (a caller-owned copy for text).
IntT OutInt = kUntouchedInt;
StringT OutText = const_cast<StringT>(kUntouchedText);
Json PromptedInt(IntT ret) { return {{"ret", ret}, {"out", std::exchange(OutInt, kUntouchedInt)}}; }
Json PromptedText(IntT ret) {
  StringT out = std::exchange(OutText, const_cast<StringT>(kUntouchedText));
  return {{"ret", ret}, {"out", out == kUntouchedText ? Json(out) : Own(out)}};
}

// The return list of a list exchange, and the result with what L then holds.
F_PropValsT *L = nullptr;
Json Listed(Json ret) {
  Json j{{"ret", ret}, {"list", L ? to_json(*L) : Json()}};
  F_ApiDeallocatePropVals(L);
  L = nullptr;
  return j;
}

StringT S(const char *s) { return const_cast<StringT>(s); }
F_PropIdentT Num(IntT n) { return {n, nullptr}; }
F_PropIdentT Name(const char *n) { return {0, S(n)}; }

// ------------------------------------------------------------ the table

struct Row {
  // call: calls the function (its result taken as JSON); args: the argument record it must send.
  template <class C, class A>
  Row(const char *f, int p, Kind k, C call, A args) : fn(f), proc(p), kind(std::move(k)) {
    this->call = [call]() -> Json {
      if constexpr (std::is_void_v<decltype(call())>) return call(), Json();
      else return Own(call());
    };
    this->args = [args]() -> Json {
      if constexpr (std::is_same_v<decltype(args()), Json>) return args();
      else return to_json(args());
    };
  }
  const char *fn;
  int proc;
  Kind kind;
  std::function<Json()> call, args;
};

class CallsOverTheWire : public Joined {
 protected:
  void SetUp() override;
  std::vector<Row> Rows();

  // Handles: from the set-up, and made by earlier rows.
  F_ObjIdT D = 0, M = 0, P = 0;
  F_ObjIdT D2 = 0, Obj = 0, Elem = 0, T = 0, Menu = 0, Cmd = 0, Sub = 0, Dlg = 0;
  F_TextLocT loc{};
  F_TextRangeT range{};
  F_ElementLocT eloc{};
  // Values handed to the set functions; only read by the calls.
  StringT strs[2] = {S("alpha"), S("beta")};
  F_StringsT strings{2, strs};
  MetricT ms[3] = {65536, -131072, 7};
  F_MetricsT metrics{3, ms};
  IntT is[4] = {-1, 0, 1, 1 << 30};
  F_IntsT ints{4, is};
  F_PointT ps[2] = {{1, -2}, {300, 400}};
  F_PointsT points{2, ps};
  F_TabT ts[2] = {{720, 1, S("."), ','}, {1440, 3, S(""), '.'}};
  F_TabsT tabs{2, ts};
  UByteT bs[3] = {0, 127, 255};
  F_UBytesT ubytes{3, bs};
  F_ElementRangeT erange{{201, 202, 3}, {204, 205, 6}};
  F_ElementCatalogEntryT cat[2] = {{301, 1}, {302, 2}};
  StringT choices[2] = {S("yes"), S("no")};
  StringT defaults[1] = {S("yes")};
  F_AttributeDefT defs[1] = {{S("Status"), 1, 0, 2, {2, choices}, {1, defaults}, S("0"), S("9")}};
  F_AttributeDefsT attrDefs{1, defs};
  StringT vals[1] = {S("draft")};
  F_AttributeT attrs1[1] = {{S("Status"), {1, vals}, 1, 0}};
  F_AttributesT attrs{1, attrs1};
  IntT codes[3] = {0x101, 0x202, 0xF33};
  F_TypedValT tv{FT_Ints, {.isval = ints}};
  F_TypedValT catalog{FT_ElementCatalog, {.csval = {2, cat}}};
  F_PropValT pv{{5014, nullptr}, {3, {.sval = S("prop value")}}};
  F_PropValT pvsItems[2] = {{{5015, nullptr}, {1, {.ival = -15}}},
                            {{0, S("Named")}, {FT_Strings, {.ssval = strings}}}};
  F_PropValsT pvs{2, pvsItems};
  F_PropValT params[1] = {{{22, nullptr}, {1, {.ival = 1}}}};
  F_PropValsT openParams{1, params};
};

void CallsOverTheWire::SetUp() {
  Joined::SetUp();
  if (HasFatalFailure()) return;
  D = F_ApiOpen("calls.json", nullptr, &L);
  ASSERT_NE(D, 0u);
  M = F_ApiGetId(D, D, 114);  // the first marker
  ASSERT_NE(M, 0u);
  P = F_ApiGetTextLoc(D, M, 879).objId;  // its paragraph
  ASSERT_NE(P, 0u);
  F_ApiSetVal(D, D, 1488, &catalog);
  Listed(0);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(NextCall()) << "set-up call " << i;
  loc = {P, 4};
  range = {{P, 1}, {P, 6}};
  eloc = {D, P, 2};
}

std::vector<Row> CallsOverTheWire::Rows() {
  using PA = ApiFmGetPropArgT;
  return {
      // ---------------------------------------------------- objects and properties
      {"F_ApiSetId", API_FM_SET_ID, kVoid, [&] { F_ApiSetId(D, P, 5001, M); },
       [&] { return ApiFmSetIdArgT{D, P, Num(5001), M}; }},
      {"F_ApiGetId", API_FM_GET_ID, Object("id"), [&] { return F_ApiGetId(D, P, 5001); },
       [&] { return PA{D, P, Num(5001)}; }},
      {"F_ApiSetInt", API_FM_SET_INT, kVoid, [&] { F_ApiSetInt(D, P, 5002, -77); },
       [&] { return ApiFmSetIntArgT{D, P, Num(5002), -77}; }},
      {"F_ApiGetInt", API_FM_GET_INT, Object("value"), [&] { return F_ApiGetInt(D, P, 5002); },
       [&] { return PA{D, P, Num(5002)}; }},
      {"F_ApiSetIntByName", API_FM_SET_INT, kVoid, [&] { F_ApiSetIntByName(D, P, "IntName", 88); },
       [&] { return ApiFmSetIntArgT{D, P, Name("IntName"), 88}; }},
      {"F_ApiGetIntByName", API_FM_GET_INT, Object("value"), [&] { return F_ApiGetIntByName(D, P, "IntName"); },
       [&] { return PA{D, P, Name("IntName")}; }},
      {"F_ApiSetMetric", API_FM_SET_METRIC, kVoid, [&] { F_ApiSetMetric(D, P, 5003, 3 * 65536); },
       [&] { return ApiFmSetMetricArgT{D, P, Num(5003), 3 * 65536}; }},
      {"F_ApiGetMetric", API_FM_GET_METRIC, Object("metric"), [&] { return F_ApiGetMetric(D, P, 5003); },
       [&] { return PA{D, P, Num(5003)}; }},
      {"F_ApiSetMetricByName", API_FM_SET_METRIC, kVoid,
       [&] { F_ApiSetMetricByName(D, P, "MetricName", -12345); },
       [&] { return ApiFmSetMetricArgT{D, P, Name("MetricName"), -12345}; }},
      {"F_ApiGetMetricByName", API_FM_GET_METRIC, Object("metric"),
       [&] { return F_ApiGetMetricByName(D, P, "MetricName"); }, [&] { return PA{D, P, Name("MetricName")}; }},
      {"F_ApiSetString", API_FM_SET_STRING, kVoid, [&] { F_ApiSetString(D, P, 5004, "hello world"); },
       [&] { return ApiFmSetStringArgT{D, P, Num(5004), S("hello world")}; }},
      {"F_ApiGetString", API_FM_GET_STRING, Field("str", nullptr), [&] { return F_ApiGetString(D, P, 5004); },
       [&] { return PA{D, P, Num(5004)}; }},
      {"F_ApiSetStrings", API_FM_SET_STRINGS, kVoid, [&] { F_ApiSetStrings(D, P, 5005, &strings); },
       [&] { return ApiFmSetStringsArgT{D, P, Num(5005), strings}; }},
      {"F_ApiGetStrings", API_FM_GET_STRINGS, Field("strings", Json::array()),
       [&] { return F_ApiGetStrings(D, P, 5005); }, [&] { return PA{D, P, Num(5005)}; }},
      {"F_ApiSetMetrics", API_FM_SET_METRICS, kVoid, [&] { F_ApiSetMetrics(D, P, 5006, &metrics); },
       [&] { return ApiFmSetMetricsArgT{D, P, Num(5006), metrics}; }},
      {"F_ApiGetMetrics", API_FM_GET_METRICS, Field("metrics", Json::array()),
       [&] { return F_ApiGetMetrics(D, P, 5006); }, [&] { return PA{D, P, Num(5006)}; }},
      {"F_ApiSetInts", API_FM_SET_INTS, kVoid, [&] { F_ApiSetInts(D, P, 5007, &ints); },
       [&] { return ApiFmSetIntsArgT{D, P, Num(5007), ints}; }},
      {"F_ApiGetInts", API_FM_GET_INTS, Field("ints", Json::array()), [&] { return F_ApiGetInts(D, P, 5007); },
       [&] { return PA{D, P, Num(5007)}; }},
      {"F_ApiSetPoints", API_FM_SET_POINTS, kVoid, [&] { F_ApiSetPoints(D, P, 5008, &points); },
       [&] { return ApiFmSetPointsArgT{D, P, Num(5008), points}; }},
      {"F_ApiGetPoints", API_FM_GET_POINTS, Field("points", Json::array()),
       [&] { return F_ApiGetPoints(D, P, 5008); }, [&] { return PA{D, P, Num(5008)}; }},
      {"F_ApiSetTabs", API_FM_SET_TABS, kVoid, [&] { F_ApiSetTabs(D, P, 5009, &tabs); },
       [&] { return ApiFmSetTabsArgT{D, P, Num(5009), tabs}; }},
      {"F_ApiGetTabs", API_FM_GET_TABS, Field("tabs", Json::array()), [&] { return F_ApiGetTabs(D, P, 5009); },
       [&] { return PA{D, P, Num(5009)}; }},
      {"F_ApiSetUBytesByName", API_FM_SET_UBYTES, kVoid, [&] { F_ApiSetUBytesByName(D, P, "Bytes", &ubytes); },
       [&] { return ApiFmSetUBytesArgT{D, P, Name("Bytes"), ubytes}; }},
      {"F_ApiGetUBytesByName", API_FM_GET_UBYTES, Field("ubytes", Json::array()),
       [&] { return F_ApiGetUBytesByName(D, P, "Bytes"); }, [&] { return PA{D, P, Name("Bytes")}; }},
      {"F_ApiSetTextLoc", API_FM_SET_TEXTLOC, kVoid, [&] { F_ApiSetTextLoc(D, P, 5010, &loc); },
       [&] { return ApiFmSetTextLocArgT{D, P, Num(5010), loc}; }},
      {"F_ApiGetTextLoc", API_FM_GET_TEXTLOC, Field("textLoc", to_json(F_TextLocT{})),
       [&] { return F_ApiGetTextLoc(D, P, 5010); }, [&] { return PA{D, P, Num(5010)}; }},
      {"F_ApiSetTextRange", API_FM_SET_TEXTRANGE, kVoid, [&] { F_ApiSetTextRange(D, P, 5011, &range); },
       [&] { return ApiFmSetTextRangeArgT{D, P, Num(5011), range}; }},
      {"F_ApiGetTextRange", API_FM_GET_TEXTRANGE, Field("textRange", to_json(F_TextRangeT{})),
       [&] { return F_ApiGetTextRange(D, P, 5011); }, [&] { return PA{D, P, Num(5011)}; }},
      // On the marker: the paragraph's property list is read whole below, and element ranges are
      // not part of a copied typed value.
      {"F_ApiSetElementRange", API_FM_SET_ELEMENT_RANGE, kVoid,
       [&] { F_ApiSetElementRange(D, M, 5012, &erange); },
       [&] { return ApiFmSetElementRangeArgT{D, M, Num(5012), erange}; }},
      {"F_ApiGetElementRange", API_FM_GET_ELEMENT_RANGE, Field("elemRange", to_json(F_ElementRangeT{})),
       [&] { return F_ApiGetElementRange(D, M, 5012); }, [&] { return PA{D, M, Num(5012)}; }},
      {"F_ApiSetVal", API_FM_SET_VAL, kVoid, [&] { F_ApiSetVal(D, P, 5013, &tv); },
       [&] { return ApiFmSetValArgT{D, P, Num(5013), tv}; }},
      {"F_ApiGetVal", API_FM_GET_VAL, Field("val", to_json(F_TypedValT{})),
       [&] { return F_ApiGetVal(D, P, 5013); }, [&] { return PA{D, P, Num(5013)}; }},
      {"F_ApiSetPropVal", API_FM_SET_PROP, kVoid, [&] { F_ApiSetPropVal(D, P, &pv); },
       [&] { return ApiFmSetPropArgT{D, P, pv}; }},
      {"F_ApiGetPropVal", API_FM_GET_PROP, Field("propVal", to_json(F_PropValT{})),
       [&] { return F_ApiGetPropVal(D, P, 5014); }, [&] { return PA{D, P, Num(5014)}; }},
      {"F_ApiSetProps", API_FM_SET_PROPS, kVoid, [&] { F_ApiSetProps(D, P, &pvs); },
       [&] { return ApiFmSetPropsArgT{D, P, pvs}; }},
      {"F_ApiGetProps", API_FM_GET_PROPS, Field("propVals", Json::array()), [&] { return F_ApiGetProps(D, P); },
       [&] { return ApiFmGeneralObjArgT{D, P}; }},
      {"F_ApiDeletePropByName", API_FM_DELETE_PROP, kVoid, [&] { F_ApiDeletePropByName(D, P, "Bytes"); },
       [&] { return PA{D, P, Name("Bytes")}; }},
      {"F_ApiNewNamedObject", API_FM_NEW_NAMED_OBJECT, kObjId,
       [&] { return Obj = F_ApiNewNamedObject(D, 17, "Figure"); },
       [&] { return ApiFmNewNamedObjArgT{D, 17, S("Figure")}; }},
      {"F_ApiGetNamedObject", API_FM_GET_NAMED_OBJECT, kObjId,
       [&] { return F_ApiGetNamedObject(D, 18, "Figure"); },
       [&] { return ApiFmGetNamedObjArgT{D, 18, S("Figure")}; }},
      {"F_ApiGetUniqueObject", API_FM_GET_UNIQUE_OBJECT, kObjId,
       [&] { return F_ApiGetUniqueObject(D, 19, static_cast<IntT>(P)); },
       [&] { return ApiFmGetUniqueObjArgT{D, 19, static_cast<IntT>(P)}; }},
      {"F_ApiNewGraphicObject", API_FM_NEW_GRAPHIC_OBJECT, kObjId,
       [&] { return F_ApiNewGraphicObject(D, 20, P); }, [&] { return ApiFmNewGraphicObjArgT{D, 20, P}; }},
      {"F_ApiNewAnchoredObject", API_FM_NEW_ANCHORED_OBJECT, kObjId,
       [&] { return F_ApiNewAnchoredObject(D, 21, &loc); },
       [&] { return ApiFmNewAnchoredObjArgT{D, 21, loc}; }},
      {"F_ApiNewAnchoredFormattedObject", API_FM_NEW_ANCHORED_FORMATTED_OBJECT, kObjId,
       [&] { return F_ApiNewAnchoredFormattedObject(D, 22, "Anchored", &loc); },
       [&] { return ApiFmNewAnchoredFormattedObjArgT{D, 22, S("Anchored"), loc}; }},
      {"F_ApiNewSeriesObject", API_FM_NEW_SERIES_OBJECT, kObjId, [&] { return F_ApiNewSeriesObject(D, 23, P); },
       [&] { return ApiFmNewSeriesObjArgT{D, 23, P}; }},
      {"F_ApiNewSubObject", API_FM_NEW_SUB_OBJECT, kObjId, [&] { return F_ApiNewSubObject(D, P, 24); },
       [&] { return ApiFmNewSubObjectArgT{D, P, 24}; }},
      {"F_ApiObjectValid", API_FM_OBJECT_VALID,
       Kind{[](const Json *r) { return Json(r && *r == 0 ? 1 : 0); }},
       [&] { return to_json(F_ApiObjectValid(D, P)); }, [&] { return ApiFmGeneralObjArgT{D, P}; }},
      {"F_ApiDelete", API_FM_DELETE, kStatus, [&] { return F_ApiDelete(D, Obj); },
       [&] { return ApiFmGeneralObjArgT{D, Obj}; }},

      // ---------------------------------------------------- text and elements
      {"F_ApiGetText", API_FM_GET_TEXT, Field("items", Json::array()), [&] { return F_ApiGetText(D, P, 0x10); },
       [&] { return ApiFmGetTextArgT{D, P, 0x10}; }},
      {"F_ApiGetTextForRange", API_FM_GET_TEXT_FOR_RANGE, Field("items", Json::array()),
       [&] { return F_ApiGetTextForRange(D, &range, 0x20); },
       [&] { return ApiFmGetTextForRangeArgT{D, range, 0x20}; }},
      {"F_ApiAddText", API_FM_ADD_TEXT, Field("textLoc", to_json(F_TextLocT{})),
       [&] { return F_ApiAddText(D, &loc, "XYZ"); }, [&] { return ApiFmAddTextArgT{D, loc, S("XYZ")}; }},
      {"F_ApiDeleteText", API_FM_DELETE_TEXT, kStatus, [&] { return F_ApiDeleteText(D, &range); },
       [&] { return ApiFmGeneralTextRangeArgT{D, range}; }},
      {"F_ApiScrollToText", API_FM_SCROLL_TO_TEXT, kStatus, [&] { return F_ApiScrollToText(D, &range); },
       [&] { return ApiFmGeneralTextRangeArgT{D, range}; }},
      {"F_ApiCenterOnText", API_FM_CENTER_ON_TEXT, kStatus, [&] { return F_ApiCenterOnText(D, &range); },
       [&] { return ApiFmGeneralTextRangeArgT{D, range}; }},
      {"F_ApiSetTextVal", API_FM_SET_TEXT_VAL, kVoid, [&] { F_ApiSetTextVal(D, &range, 5020, &tv); },
       [&] { return ApiFmSetTextValArgT{D, range, Num(5020), tv}; }},
      {"F_ApiGetTextVal", API_FM_GET_TEXT_VAL, Field("val", to_json(F_TypedValT{})),
       [&] { return F_ApiGetTextVal(D, &loc, 5020); }, [&] { return ApiFmGetTextPropArgT{D, loc, Num(5020)}; }},
      // The separate identifier repeats the property value's own.
      {"F_ApiSetTextPropVal", API_FM_SET_TEXT_PROP, kVoid, [&] { F_ApiSetTextPropVal(D, &range, &pv); },
       [&] { return ApiFmSetTextPropArgT{D, range, Num(5014), pv}; }},
      {"F_ApiGetTextPropVal", API_FM_GET_TEXT_PROP, Field("propVal", to_json(F_PropValT{})),
       [&] { return F_ApiGetTextPropVal(D, &loc, 5014); },
       [&] { return ApiFmGetTextPropArgT{D, loc, Num(5014)}; }},
      {"F_ApiSetTextProps", API_FM_SET_TEXT_PROPS, kVoid, [&] { F_ApiSetTextProps(D, &range, &pvs); },
       [&] { return ApiFmSetTextPropsArgT{D, range, pvs}; }},
      {"F_ApiGetTextProps", API_FM_GET_TEXT_PROPS, Field("propVals", Json::array()),
       [&] { return F_ApiGetTextProps(D, &loc); }, [&] { return ApiFmGetTextPropsArgT{D, loc}; }},
      {"F_ApiNewElement", API_FM_NEW_ELEMENT, kObjId, [&] { return Elem = F_ApiNewElement(D, 401, &loc); },
       [&] { return ApiFmNewElementArgT{D, 401, loc}; }},
      {"F_ApiNewElementInHierarchy", API_FM_NEW_ELEMENT_IN_HIERARCHY, kObjId,
       [&] { return F_ApiNewElementInHierarchy(D, 402, &eloc); },
       [&] { return ApiFmNewElementInHierarchyArgT{D, 402, eloc}; }},
      {"F_ApiElementLocToTextLoc", API_FM_ELEMENTLOC_TO_TEXTLOC, Field("textLoc", to_json(F_TextLocT{})),
       [&] { return F_ApiElementLocToTextLoc(D, &eloc); },
       [&] { return ApiFmElementLocToTextLocArgT{D, eloc}; }},
      {"F_ApiTextLocToElementLoc", API_FM_TEXTLOC_TO_ELEMENTLOC, Field("elemLoc", to_json(F_ElementLocT{})),
       [&] { return F_ApiTextLocToElementLoc(D, &loc); }, [&] { return ApiFmTextLocToElementLocArgT{D, loc}; }},
      // The catalog is the document's own property 1488 (set up above).
      {"F_ApiGetElementCatalog", API_FM_GET_ELEMENT_CATALOG, Field("catalog", Json::array()),
       [&] { return F_ApiGetElementCatalog(D); }, [&] { return PA{D, D, Num(1488)}; }},
      {"F_ApiSetAttributeDefs", API_FM_SET_ATTRIBUTE_DEFS, kVoid,
       [&] { F_ApiSetAttributeDefs(D, Elem, &attrDefs); },
       [&] { return ApiFmSetAttributeDefsArgT{D, Elem, Num(1584), attrDefs}; }},
      {"F_ApiGetAttributeDefs", API_FM_GET_ATTRIBUTE_DEFS, Field("attrDefs", Json::array()),
       [&] { return F_ApiGetAttributeDefs(D, Elem); }, [&] { return PA{D, Elem, Num(1584)}; }},
      {"F_ApiSetAttributes", API_FM_SET_ATTRIBUTES, kVoid, [&] { F_ApiSetAttributes(D, Elem, &attrs); },
       [&] { return ApiFmSetAttributesArgT{D, Elem, Num(1634), attrs}; }},
      {"F_ApiGetAttributes", API_FM_GET_ATTRIBUTES, Field("attrs", Json::array()),
       [&] { return F_ApiGetAttributes(D, Elem); }, [&] { return PA{D, Elem, Num(1634)}; }},
      {"F_ApiDeleteUndefinedAttribute", API_FM_DELETE_UNDEFINED_ATTRIBUTE, kStatus,
       [&] { return F_ApiDeleteUndefinedAttribute(D, "Undefined", 2, Elem); },
       [&] { return ApiFmDeleteUndefinedAttributeArgT{D, S("Undefined"), 2, Elem}; }},
      {"F_ApiMergeIntoFirst", API_FM_MERGE_INTO_FIRST, kVoid, [&] { F_ApiMergeIntoFirst(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiMergeIntoLast", API_FM_MERGE_INTO_LAST, kVoid, [&] { F_ApiMergeIntoLast(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiSplitElement", API_FM_SPLIT_ELEMENT, kVoid, [&] { F_ApiSplitElement(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiWrapElement", API_FM_WRAP_ELEMENT, kVoid, [&] { F_ApiWrapElement(D, 403); },
       [&] { return ApiFmGeneralElementDefArgT{D, 403}; }},
      {"F_ApiUnWrapElement", API_FM_UNWRAP_ELEMENT, kVoid, [&] { F_ApiUnWrapElement(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiPromoteElement", API_FM_PROMOTE_ELEMENT, kVoid, [&] { F_ApiPromoteElement(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiDemoteElement", API_FM_DEMOTE_ELEMENT, kVoid, [&] { F_ApiDemoteElement(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiUpdateTextInset", API_FM_UPDATE_TEXTINSET, kStatus, [&] { return F_ApiUpdateTextInset(D, P); },
       [&] { return ApiFmUpdateTextInsetArgT{D, P}; }},
      {"F_ApiDeleteTextInsetContents", API_FM_DELETE_TEXTINSET_CONTENTS, kStatus,
       [&] { return F_ApiDeleteTextInsetContents(D, M); },
       [&] { return ApiFmDeleteTextInsetContentsArgT{D, M}; }},

      // ---------------------------------------------------- documents, books, import, export
      {"F_ApiOpen", API_FM_OPEN, Exchange(),
       [&] { return Listed(D2 = F_ApiOpen("second.json", &openParams, &L)); },
       [&] { return ApiFmOpenArgT{S("second.json"), openParams}; }},
      {"F_ApiSimpleImportFormats", API_FM_SIMPLE_IMPORT_FORMATS, kStatus,
       [&] { return F_ApiSimpleImportFormats(D, D2, 0x4); },
       [&] { return ApiFmSimpleImportFormatsArgT{D, D2, 0x4}; }},
      {"F_ApiSimpleImportElementDefs", API_FM_SIMPLE_IMPORT_ELEMENT_DEFS, kStatus,
       [&] { return F_ApiSimpleImportElementDefs(D, D2, 0x8); },
       [&] { return ApiFmSimpleImportElementDefsArgT{D, D2, 0x8}; }},
      {"F_ApiCompare", API_FM_COMPARE,
       Kind{[](const Json *r) {
         if (r && (*r)["status"] == 0) return Json{(*r)["firstId"], (*r)["secondId"]};
         return Json{0, 0};
       }},
       [&] { return F_ApiCompare(D, D2, 3, "s1", "s2", "s3", 4); },
       [&] { return ApiFmCompareArgT{D, D2, 3, S("s1"), S("s2"), S("s3"), 4}; }},
      {"F_ApiSave", API_FM_SAVE, Exchange(),
       [&] { return Listed(F_ApiSave(D2, "saved.json", &openParams, &L)); },
       [&] { return ApiFmSaveArgT{S("saved.json"), D2, openParams}; }},
      {"F_ApiImport", API_FM_IMPORT, Exchange(),
       [&] { return Listed(F_ApiImport(D, &loc, "import.txt", &openParams, &L)); },
       [&] { return ApiFmImportArgT{S("import.txt"), D, loc, openParams}; }},
      {"F_ApiExport", API_FM_EXPORT, Exchange(true),
       [&] { return Listed(F_ApiExport(D, "export.pdf", &openParams, &L)); },
       [&] { return ApiFmExportArgT{S("export.pdf"), D, openParams}; }},
      {"F_ApiClose", API_FM_CLOSE, kStatus, [&] { return F_ApiClose(D2, 1); },
       [&] { return ApiFmCloseDocArgT{D2, 1}; }},
      {"F_ApiCustomDoc", API_FM_CUSTOM, Object("docId"),
       [&] { return F_ApiCustomDoc(1, 2, 3, 4, 5, 6, 7, 8, 9, 10); },
       [&] { return ApiFmCustomDocArgT{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}; }},
      {"F_ApiSilentPrintDoc", API_FM_SILENT_PRINT_DOC, kStatus, [&] { return F_ApiSilentPrintDoc(D); },
       [&] { return ApiFmSilentPrintDocArgT{D}; }},
      {"F_ApiSimpleGenerate", API_FM_SIMPLE_GENERATE, kStatus, [&] { return F_ApiSimpleGenerate(D, 5, 6); },
       [&] { return ApiFmSimpleGenerateArgT{D, 5, 6}; }},
      {"F_ApiNewBookComponentInHierarchy", API_FM_NEW_BOOK_COMPONENT_IN_HIERARCHY, kObjId,
       [&] { return F_ApiNewBookComponentInHierarchy(D, "Chapter", &eloc); },
       [&] { return ApiFmNewBookComponentInHierarchyArgT{D, S("Chapter"), eloc}; }},
      {"F_ApiCut", API_FM_CUT, kStatus, [&] { return F_ApiCut(D, 31); },
       [&] { return ApiFmCutCopyPasteArgT{D, 31}; }},
      {"F_ApiClear", API_FM_CLEAR, kStatus, [&] { return F_ApiClear(D, 32); },
       [&] { return ApiFmCutCopyPasteArgT{D, 32}; }},
      {"F_ApiCopy", API_FM_COPY, kStatus, [&] { return F_ApiCopy(D, 33); },
       [&] { return ApiFmCutCopyPasteArgT{D, 33}; }},
      {"F_ApiPaste", API_FM_PASTE, kStatus, [&] { return F_ApiPaste(D, 34); },
       [&] { return ApiFmCutCopyPasteArgT{D, 34}; }},
      {"F_ApiRestartPgfNumbering", API_FM_RESTART_PGF_NUMBERING, kStatus,
       [&] { return F_ApiRestartPgfNumbering(D); }, [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiResetReferenceFrames", API_FM_RESET_REFERENCE_FRAMES, kStatus,
       [&] { return F_ApiResetReferenceFrames(D); }, [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiRehyphenate", API_FM_REHYPHENATE, kStatus, [&] { return F_ApiRehyphenate(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiReformat", API_FM_REFORMAT, kStatus, [&] { return F_ApiReformat(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiRedisplay", API_FM_REDISPLAY, kStatus, [&] { return F_ApiRedisplay(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiClearAllChangebars", API_FM_CLEAR_ALL_CHANGEBARS, kStatus,
       [&] { return F_ApiClearAllChangebars(D); }, [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiResetEqnSettings", API_FM_RESET_EQN_SETTINGS, kStatus, [&] { return F_ApiResetEqnSettings(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiUpdateVariables", API_FM_UPDATE_VARIABLES, kStatus, [&] { return F_ApiUpdateVariables(D); },
       [&] { return ApiFmGeneralDocArgT{D}; }},
      {"F_ApiUpdateXRefs", API_FM_UPDATE_XREFS, kStatus, [&] { return F_ApiUpdateXRefs(D, 35); },
       [&] { return ApiFmUpdateXRefsArgT{D, 35}; }},
      {"F_ApiApplyPageLayout", API_FM_APPLY_PAGE_LAYOUT, kStatus, [&] { return F_ApiApplyPageLayout(D, P, M); },
       [&] { return ApiFmApplyPageLayoutArgT{D, P, M}; }},
      // An unknown command: framesim answers with its error code.
      {"F_ApiHypertextCommand", API_FM_HYPERTEXT_COMMAND, kStatus,
       [&] { return F_ApiHypertextCommand(D, "nosuchcommand now"); },
       [&] { return ApiFmHypertextCommandArgT{D, S("nosuchcommand now")}; }},
      {"F_ApiFamilyFonts", API_FM_FAMILY_FONTS, Field("fonts", Json::array()),
       [&] { return F_ApiFamilyFonts(36); }, [&] { return Json(36); }},

      // ---------------------------------------------------- tables
      {"F_ApiNewTable", API_FM_NEW_TABLE, kObjId,
       [&] { return T = F_ApiNewTable(D, "Format A", 2, 3, 4, 5, &loc); },
       [&] { return ApiFmNewTableArgT{D, S("Format A"), 2, 3, 4, 5, loc}; }},
      {"F_ApiAddRows", API_FM_ADD_ROWS, kStatus, [&] { return F_ApiAddRows(D, T, 41, 42); },
       [&] { return ApiFmAddRowsArgT{D, T, 41, 42}; }},
      {"F_ApiDeleteRows", API_FM_CUT_TABLE_PARTS, kStatus, [&] { return F_ApiDeleteRows(D, T, P, 43); },
       [&] { return ApiFmCutTablePartsArgT{D, T, P, 43, 0, 0}; }},
      {"F_ApiAddCols", API_FM_ADD_COLUMNS, kStatus, [&] { return F_ApiAddCols(D, T, 44, 45, 46); },
       [&] { return ApiFmAddColumnsArgT{D, T, 44, 45, 46}; }},
      {"F_ApiDeleteCols", API_FM_CUT_TABLE_PARTS, kStatus, [&] { return F_ApiDeleteCols(D, T, 47, 48); },
       [&] { return ApiFmCutTablePartsArgT{D, T, 0, 0, 47, 48}; }},
      {"F_ApiMakeTblSelection", API_FM_MAKE_TABLE_SELECTION, kStatus,
       [&] { return F_ApiMakeTblSelection(D, T, 49, 50, 51, 52); },
       [&] { return ApiFmMakeTableSelectionArgT{D, T, 49, 50, 51, 52}; }},
      {"F_ApiStraddleCells", API_FM_STRADDLE_CELLS, kStatus, [&] { return F_ApiStraddleCells(D, T, 53, 54); },
       [&] { return ApiFmStraddleCellsArgT{D, T, 53, 54, 1}; }},
      {"F_ApiUnStraddleCells", API_FM_STRADDLE_CELLS, kStatus,
       [&] { return F_ApiUnStraddleCells(D, T, 55, 56); },
       [&] { return ApiFmStraddleCellsArgT{D, T, 55, 56, 0}; }},

      // ---------------------------------------------------- menus and commands
      {"F_ApiDefineMenu", API_FM_DEFINE_MENU, kObjId,
       [&] { return Menu = F_ApiDefineMenu("MenuName", "Menu Label"); },
       [&] { return ApiFmDefineMenuArgT{S("MenuName"), S("Menu Label")}; }},
      {"F_ApiDefineCommand", API_FM_DEFINE_COMMAND, kObjId,
       [&] { return Cmd = F_ApiDefineCommand(61, "CmdTag", "Cmd Label", "^K"); },
       [&] { return ApiFmDefineCommandArgT{61, S("CmdTag"), S("Cmd Label"), S("^K")}; }},
      {"F_ApiDefineAndAddCommand", API_FM_DEFINE_AND_ADD_COMMAND, kObjId,
       [&] { return F_ApiDefineAndAddCommand(62, Menu, "Tag2", "Label2", "^J"); },
       [&] { return ApiFmDefineAndAddCommandArgT{62, Menu, S("Tag2"), S("Label2"), S("^J")}; }},
      {"F_ApiDefineAndAddMenu", API_FM_DEFINE_AND_ADD_MENU, kObjId,
       [&] { return Sub = F_ApiDefineAndAddMenu(Menu, "Sub", "Sub Label"); },
       [&] { return ApiFmDefineAndAddMenuArgT{Menu, S("Sub"), S("Sub Label")}; }},
      {"F_ApiAddCommand", API_FM_ADD_COMMAND, kStatus,
       [&] { return F_ApiAddCommand(63, "MenuName", "Tag3", "Label3", "^L"); },
       [&] { return ApiFmAddCommandArgT{63, S("MenuName"), S("Tag3"), S("Label3"), S("^L")}; }},
      {"F_ApiAddMenu", API_FM_ADD_MENU, kStatus, [&] { return F_ApiAddMenu("NewMenu", "m2", "m3"); },
       [&] { return ApiFmAddMenuArgT{S("NewMenu"), S("m2"), S("m3")}; }},
      {"F_ApiAddCommandToMenu", API_FM_ADD_COMMAND_TO_MENU, kStatus,
       [&] { return F_ApiAddCommandToMenu(Menu, Cmd); }, [&] { return ApiFmAddCommandToMenuArgT{Menu, Cmd}; }},
      {"F_ApiAddMenuToMenu", API_FM_ADD_MENU_TO_MENU, kStatus, [&] { return F_ApiAddMenuToMenu(Menu, Sub); },
       [&] { return ApiFmAddMenuToMenuArgT{Menu, Sub}; }},
      {"F_ApiMenuItemInMenu", API_FM_MENU_ITEM_IN_MENU, kObjId,
       [&] { return F_ApiMenuItemInMenu(Menu, Cmd, 64); },
       [&] { return ApiFmMenuItemInMenuArgT{Menu, Cmd, 64}; }},
      {"F_ApiMenuExists", API_FM_MENU_EXISTS, Plain(), [&] { return F_ApiMenuExists("NewMenu"); },
       [&] { return ApiFmExistsArgT{S("NewMenu")}; }},
      {"F_ApiShortcutExists", API_FM_SHORTCUT_EXISTS, Plain(), [&] { return F_ApiShortcutExists("^K"); },
       [&] { return ApiFmExistsArgT{S("^K")}; }},
      {"F_ApiLoadMenuCustomizationFile", API_FM_LOAD_MENU_CUSTOMIZATION_FILE, kStatus,
       [&] { return F_ApiLoadMenuCustomizationFile("menus.cfg", 65); },
       [&] { return ApiFmLoadMenuCustomizationFileArgT{S("menus.cfg"), 65}; }},
      {"F_ApiAnimateMenu", API_FM_ANIMATE_MENU, kStatus,
       [&] { return F_ApiAnimateMenu(Menu, Cmd, 66, "anim", Sub, 67); },
       [&] { return ApiFmAnimateMenuArgT{Menu, Cmd, 66, S("anim"), Sub, 67}; }},
      {"F_ApiRemoveMenu", API_FM_REMOVE_MENU, kStatus, [&] { return F_ApiRemoveMenu("NewMenu", "r2"); },
       [&] { return ApiFmRemoveMenuArgT{S("NewMenu"), S("r2")}; }},
      {"F_ApiFcodes", API_FM_FCODES, kStatus, [&] { return F_ApiFcodes(3, codes); },
       [&] { return ApiFmFcodesArgT{{3, codes}}; }},

      // ---------------------------------------------------- dialogs and prompts
      {"F_ApiAlert", API_FM_ALERT, Plain(), [&] { return F_ApiAlert("Alert text", 71); },
       [&] { return ApiFmAlertArgT{S("Alert text"), 71}; }},
      {"F_ApiPromptInt", API_FM_PROMPT_INT, Prompt("value", kUntouchedInt),
       [&] { return PromptedInt(F_ApiPromptInt(&OutInt, "Int?", "72")); },
       [&] { return ApiFmPromptArgT{S("Int?"), S("72")}; }},
      {"F_ApiPromptString", API_FM_PROMPT_STRING, Prompt("str", kUntouchedText),
       [&] { return PromptedText(F_ApiPromptString(&OutText, "Text?", "default")); },
       [&] { return ApiFmPromptArgT{S("Text?"), S("default")}; }},
      {"F_ApiPromptMetric", API_FM_PROMPT_METRIC, Prompt("metric", kUntouchedInt),
       [&] { return PromptedInt(F_ApiPromptMetric(&OutInt, "Metric?", "12pt", 73)); },
       [&] { return ApiFmPromptMetricArgT{S("Metric?"), S("12pt"), 73}; }},
      {"F_ApiPromptPoint", API_FM_PROMPT_POINT, Field("point", to_json(F_PointT{})),
       [&] { return F_ApiPromptPoint(D, P, 74); }, [&] { return ApiFmPromptPointArgT{D, P, 74}; }},
      {"F_ApiPromptRect", API_FM_PROMPT_RECT, Field("rect", to_json(RectT{})),
       [&] { return F_ApiPromptRect(D, P, 75); }, [&] { return ApiFmPromptRectArgT{D, P, 75}; }},
      {"F_ApiChooseFile", API_FM_CHOOSE_FILE, Prompt("path", kUntouchedText),
       [&] { return PromptedText(F_ApiChooseFile(&OutText, "Title", "/dir", "def", 76, "s5")); },
       [&] { return ApiFmChooseFileArgT{S("Title"), S("/dir"), S("def"), 76, S("s5")}; }},
      {"oldF_ApiChooseFile", OLD_API_FM_CHOOSE_FILE, Prompt("path", kUntouchedText),
       [&] { return PromptedText(oldF_ApiChooseFile(&OutText, "Title2", "/dir2", "def2", 77)); },
       [&] { return oldApiFmChooseFileArgT{S("Title2"), S("/dir2"), S("def2"), 77}; }},
      {"F_ApiFileScrollBox", OLD_API_FM_CHOOSE_FILE, Prompt("path", kUntouchedText),
       [&] { return PromptedText(F_ApiFileScrollBox(&OutText, "Title3", "/dir3")); },
       [&] { return oldApiFmChooseFileArgT{S("Title3"), S("/dir3"), S(""), 0}; }},
      {"F_ApiScrollBox", API_FM_SCROLL_BOX, Prompt("choice", kUntouchedInt),
       [&] { return PromptedInt(F_ApiScrollBox(&OutInt, "Scroll", &strings, 78)); },
       [&] { return ApiFmScrollBoxArgT{S("Scroll"), 78, strings}; }},
      {"F_ApiQuickSelect", API_FM_QUICK_SELECT,
       Kind{[](const Json *r) { return r && (*r)["status"] == 0 ? (*r)["value"] : Json(-1); }},
       [&] { return to_json(F_ApiQuickSelect(D, "Quick", &strings)); },
       [&] { return ApiFmQuickSelectArgT{D, S("Quick"), strings}; }},
      {"F_ApiOpenResource", API_FM_OPEN_RESOURCE, kObjId,
       [&] { return Dlg = F_ApiOpenResource(79, "DialogRes"); },
       [&] { return ApiFmOpenResourceArgT{79, S("DialogRes")}; }},
      // 0: no modal wait after the reply.
      {"F_ApiModalDialog", API_FM_MODAL_DIALOG, Plain(0), [&] { return F_ApiModalDialog(0, Dlg); },
       [&] { return ApiFmDoDialogArgT{0, Dlg}; }},
      {"F_ApiModelessDialog", API_FM_MODELESS_DIALOG, Plain(0), [&] { return F_ApiModelessDialog(80, Dlg); },
       [&] { return ApiFmDoDialogArgT{80, Dlg}; }},
      {"F_ApiDialogItemId", API_FM_DIALOG_ITEM_ID, kObjId, [&] { return F_ApiDialogItemId(Dlg, 81); },
       [&] { return ApiFmDialogItemIdArgT{Dlg, 81}; }},

      // ---------------------------------------------------- session and client
      {"F_ApiClientNumber", API_CLIENT_NUMBER, Plain(), [&] { return F_ApiClientNumber(); },
       [&] { return Json(); }},
      {"F_ApiClientName", API_CLIENT_NAME, kPlainString, [&] { return F_ApiClientName(); },
       [&] { return Json(); }},
      {"F_ApiSetClientDir", API_SET_CLIENT_DIRECTORY, Plain(),
       [&] { return F_ApiSetClientDir("/tmp/calls-dir"); }, [&] { return Json("/tmp/calls-dir"); }},
      {"F_ApiClientDir", API_CLIENT_DIRECTORY, kPlainString, [&] { return F_ApiClientDir(); },
       [&] { return Json(); }},
      {"F_ApiCallClient", API_FM_CALL_CLIENT, Object("value"),
       [&] { return F_ApiCallClient("otherclient", "argument"); },
       [&] { return ApiFmCallClientArgT{S("otherclient"), S("argument")}; }},
      {"F_ApiNotification", API_FM_NOTIFICATION, kStatus, [&] { return F_ApiNotification(34, 1); },
       [&] { return ApiFmNotificationArgT{34, 1}; }},
      {"F_ApiReturnValue", API_FM_RETURN_VALUE, Plain(0), [&] { return F_ApiReturnValue(82); },
       [&] { return Json(82); }},
      {"F_ApiPushClipboard", API_FM_PUSH_CLIPBOARD, Kind{[](const Json *) { return Json(); }, false},
       [&] { F_ApiPushClipboard(); }, [&] { return Json(); }},
      {"F_ApiPopClipboard", API_FM_POP_CLIPBOARD, kStatus, [&] { return F_ApiPopClipboard(); },
       [&] { return Json(); }},
      {"F_ApiSleep", API_FM_SLEEP, Kind{[](const Json *r) { return Json(r ? 0 : 83); }, false},
       [&] { return F_ApiSleep(83); }, [&] { return Json(83); }},
      {"F_ApiUSleep", API_FM_USLEEP, Kind{[](const Json *r) { return Json(r ? 0 : 84); }, false},
       [&] { return F_ApiUSleep(84); }, [&] { return Json(84); }},
      {"F_ApiUserCancel", API_FM_USER_CANCEL, Plain(), [&] { return F_ApiUserCancel(); },
       [&] { return Json(); }},
      {"F_ApiSystemShell", API_FM_SYSTEM_SHELL, Plain(), [&] { return F_ApiSystemShell("echo hi"); },
       [&] { return Json("echo hi"); }},
      {"F_ApiForkAndExec", API_FM_FORK_AND_EXEC, Plain(),
       [&] { return F_ApiForkAndExec("/bin/true", &strings); },
       [&] { return ApiFmForkAndExecArgT{S("/bin/true"), strings}; }},
      // Last: it ends the session.
      {"F_ApiDisconnectFromSession", API_FM_DISCONNECT_FROM_SESSION, Plain(),
       [&] { return F_ApiDisconnectFromSession(); }, [&] { return Json(); }},
  };
}

TEST_F(CallsOverTheWire, EveryFunctionSendsItsRecordAndReturnsWhatItsReplyKindMakesOfTheReply) {
  std::vector<Row> rows = Rows();
  ASSERT_EQ(rows.size(), 159u) << "one row per function";

  int successes = 0;
  for (const Row &row : rows) {
    SCOPED_TRACE(row.fn);
    FA_errno = kSentinel;
    Json result = row.call();
    IntT errnoAfter = FA_errno;
    auto line = NextCall();
    ASSERT_TRUE(line) << "no journal line";
    EXPECT_EQ((*line)["proc"], row.proc);
    EXPECT_EQ((*line)["args"], row.args());
    ASSERT_TRUE(line->contains("reply")) << line->dump();
    const Json &reply = (*line)["reply"];
    EXPECT_EQ(result, row.kind.result(&reply)) << "reply " << reply.dump();
    // The error code: the reply itself or its status field.
    IntT code = reply.is_number_integer() ? reply.get<IntT>()
                                          : reply.is_object() ? reply.value("status", 0) : 0;
    if (row.kind.reports && code != 0) {
      EXPECT_EQ(errnoAfter, code);
    } else {
      EXPECT_EQ(errnoAfter, kSentinel) << "a call without error changed FA_errno (it is sticky)";
      ++successes;
    }
  }
  // Most rows must have been served for real, not refused by the model.
  EXPECT_GT(successes, 140);
  EXPECT_EQ(FA_bailout, 1) << "the disconnect ends the session";
  EXPECT_EQ(frame_client, nullptr);
}

// The same rows on a connection that framesim dropped: every function gives its kind's failure result.
TEST_F(CallsOverTheWire, EveryFunctionGivesItsFailureResultWhenNoReplyComes) {
  std::vector<Row> rows = Rows();
  ASSERT_TRUE(Ctl("drop 1064"));
  FA_errno = 0;
  EXPECT_EQ(F_ApiGetInt(D, P, 1), 0);
  EXPECT_EQ(FA_errno, -1);
  for (const Row &row : rows) {
    SCOPED_TRACE(row.fn);
    FA_errno = kSentinel;
    Json result = row.call();
    EXPECT_EQ(result, row.kind.result(nullptr));
    EXPECT_EQ(FA_errno, -1);
  }
  EXPECT_EQ(FA_bailout, 1);
  EXPECT_EQ(frame_client, nullptr);
}

// ------------------------------------------------------------ per reply kind

constexpr IntT kFrameError = -33;  // framesim injects it: "fail PROC -33"


// One function per reply kind (success and no reply: the table above): what it returns on an error
// reply and without a reply, whether the error reaches FA_errno.
struct KindCase {
  const char *kind;
  int proc;
  std::function<Json()> call;
  Json onError, onNoReply;
  bool errorReported;
};

// Run before each case: the object, copy and record kinds read these back (their replies to cut).
void PrepareProperties() {
  F_ApiSetInt(0, 0, 6001, 99);
  F_TextLocT loc{123, 45};
  F_ApiSetTextLoc(0, 0, 6002, &loc);
  StringT items[2] = {S("one"), S("two")};
  F_StringsT list{2, items};
  F_ApiSetStrings(0, 0, 6003, &list);
}

const Json kNoLoc{{"objId", 0}, {"offset", 0}};
// A prompt's error reply is a cancel: -1, nothing written, FA_errno alone.
const Json kNoText{{"ret", -1}, {"out", kUntouchedText}}, kNoInt{{"ret", -1}, {"out", kUntouchedInt}};
StringT kChoices[1] = {S("only")};
F_StringsT kChoiceList{1, kChoices};

const KindCase kKinds[] = {
    {"status", API_FM_NOTIFICATION, [] { return Json(F_ApiNotification(2, 1)); }, kFrameError, -1, true},
    {"void_status", API_FM_SET_INT, [] { return F_ApiSetInt(0, 0, 6001, 7), Json(); }, nullptr, nullptr, true},
    // The reply is the value itself.
    {"plain", API_FM_ALERT, [] { return Json(F_ApiAlert("Careful", 1)); }, kFrameError, -1, false},
    {"object", API_FM_GET_INT, [] { return Json(F_ApiGetInt(0, 0, 6001)); }, 0, 0, true},
    {"copy", API_FM_GET_STRINGS, [] { return Own(F_ApiGetStrings(0, 0, 6003)); }, Json::array(),
     Json::array(), true},
    {"record", API_FM_GET_TEXTLOC, [] { return to_json(F_ApiGetTextLoc(0, 0, 6002)); }, kNoLoc, kNoLoc, true},
    {"prompt_string", API_FM_PROMPT_STRING,
     [] { return PromptedText(F_ApiPromptString(&OutText, "Name?", "proposal")); }, kNoText, kNoText, false},
    {"prompt_int", API_FM_PROMPT_INT, [] { return PromptedInt(F_ApiPromptInt(&OutInt, "m", "1")); }, kNoInt,
     kNoInt, false},
    {"prompt_metric", API_FM_PROMPT_METRIC, [] { return PromptedInt(F_ApiPromptMetric(&OutInt, "m", "d", 1)); },
     kNoInt, kNoInt, false},
    {"choose_file", API_FM_CHOOSE_FILE,
     [] { return PromptedText(F_ApiChooseFile(&OutText, "t", "/", "d", 0, "x")); }, kNoText, kNoText, false},
    {"old_choose_file", OLD_API_FM_CHOOSE_FILE,
     [] { return PromptedText(oldF_ApiChooseFile(&OutText, "t", "/", "d", 0)); }, kNoText, kNoText, false},
    {"file_scroll_box", OLD_API_FM_CHOOSE_FILE,
     [] { return PromptedText(F_ApiFileScrollBox(&OutText, "t", "/")); }, kNoText, kNoText, false},
    {"scroll_box", API_FM_SCROLL_BOX, [] { return PromptedInt(F_ApiScrollBox(&OutInt, "t", &kChoiceList, 0)); },
     kNoInt, kNoInt, false},
    // An error reply replaces the list (framesim's has none: the list becomes the empty one); no
    // reply leaves it alone.
    {"list_exchange", API_FM_OPEN, [] { return Listed(F_ApiOpen("calls.json", nullptr, &L)); },
     Json{{"ret", 0}, {"list", Json::array()}}, Json{{"ret", 0}, {"list", nullptr}}, true},
    // The error field itself is the result.
    {"export", API_FM_EXPORT, [] { return Listed(F_ApiExport(0, "out.pdf", nullptr, &L)); },
     Json{{"ret", kFrameError}, {"list", Json::array()}}, Json{{"ret", -1}, {"list", nullptr}}, true},
    // Valid (1) only for a reply of 0.
    {"object_valid", API_FM_OBJECT_VALID, [] { return Json(F_ApiObjectValid(0, 0)); }, 0, 0, true},
    {"quick_select", API_FM_QUICK_SELECT, [] { return Json(F_ApiQuickSelect(0, "t", nullptr)); }, -1, -1, true},
};

class ReplyKind : public Joined, public testing::WithParamInterface<KindCase> {};

TEST_P(ReplyKind, ErrorReplyCarriesFramesCode) {
  const KindCase &k = GetParam();
  PrepareProperties();
  ASSERT_TRUE(Ctl("fail " + std::to_string(k.proc) + " " + std::to_string(kFrameError)));
  FA_errno = kSentinel;
  EXPECT_EQ(k.call(), k.onError);
  EXPECT_EQ(FA_errno, k.errorReported ? kFrameError : kSentinel);
}

// A reply that breaks off anywhere (header, first result word, inside a string or a list) fails the
// call as no reply does and releases what was decoded before the break (LeakSanitizer checks it).
TEST_P(ReplyKind, ReplyBrokenOffAtAnyByte) {
  const KindCase &k = GetParam();
  for (int offset : {0, 12, 24, 26, 28, 31, 36, 44, 60, 1000}) {
    SCOPED_TRACE(offset);
    ASSERT_EQ(Rejoin(), 0);
    PrepareProperties();
    ASSERT_TRUE(Ctl("cut " + std::to_string(k.proc) + " " + std::to_string(offset)));
    FA_errno = kSentinel;
    EXPECT_EQ(k.call(), k.onNoReply);
    EXPECT_EQ(FA_errno, -1);
  }
}

INSTANTIATE_TEST_SUITE_P(EachKind, ReplyKind, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<KindCase> &i) { return i.param.kind; });

using Outcomes = Joined;

// F_ApiOpen's return list: a second call releases the first array (else ASan sees a leak) and fills
// the same header; so does an error reply; a null address exchanges nothing; no reply keeps it.
TEST_F(Outcomes, OpenExchangesTheReturnList) {
  F_PropValsT *list = nullptr;
  F_ObjIdT doc = F_ApiOpen("calls.json", nullptr, &list);
  ASSERT_TRUE(doc != 0 && list != nullptr && list->len == 1);
  F_PropValsT *header = list;
  EXPECT_EQ(list->val[0].propVal.u.ival, 1) << "opened now";
  EXPECT_EQ(F_ApiOpen("calls.json", nullptr, &list), doc);
  ASSERT_TRUE(list == header && list->len == 1);
  EXPECT_EQ(list->val[0].propVal.u.ival, 2) << "was open already";
  FA_errno = 0;
  EXPECT_EQ(F_ApiOpen("missing.json", nullptr, &list), 0u);
  EXPECT_NE(FA_errno, 0);
  ASSERT_TRUE(list == header && list->len == 1);
  EXPECT_EQ(list->val[0].propVal.u.ival, FA_errno) << "the error reply's list";
  EXPECT_EQ(F_ApiOpen("calls.json", nullptr, nullptr), doc);
  ASSERT_TRUE(Ctl("drop " + std::to_string(API_FM_OPEN)));
  EXPECT_EQ(F_ApiOpen("calls.json", nullptr, &list), 0u);
  EXPECT_TRUE(list == header && list->len == 1);
  F_ApiDeallocatePropVals(list);
}

// A modal dialog: its callbacks are served until Frame closes the wait, whose value is the result.
TEST_F(Outcomes, ModalDialogServesCallbacksUntilTheWaitCloses) {
  F_ObjIdT dlg = F_ApiOpenResource(1, "Dialog");
  ASSERT_NE(dlg, 0u);
  F_ApiDoneCommand();  // Frame holds control: it may call back
  std::thread closer([this] { sim_->ctl("dialog 0 0 77"); });
  EXPECT_EQ(F_ApiModalDialog(1, dlg), 77);
  closer.join();
}

}  // namespace
