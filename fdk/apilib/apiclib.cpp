// apiclib - the F_Api call functions.
//
// Every function fills the argument record of its procedure, calls the
// procedure's stub on frame_client, turns the reply into its result, reports
// failure through FA_errno and releases the decoded reply before returning.
// What differs is only what happens to the reply; that is told once per
// reply kind in the templates below, and each function is one instantiation:
//
//   status       the reply is an error code: 0, the code (FA_errno), or -1
//   void status  the same, nothing returned
//   plain        the reply is the value itself, no error field
//   object       error field + one word: the word, or 0
//   copy         error field + string/list/value: a caller-owned copy, or
//                an empty one
//   record       error field + record without pointers: the record, or an
//                all-zero one
//   prompt       status + value: a non-zero status is the user's cancel
//                (-1, FA_errno untouched, out-parameter untouched)
//   list exchange error field + handle + optional return list, which
//                replaces the caller's return list after any reply
//
// FA_errno is written only on failure: -1 when no reply came, Frame's code
// otherwise.  Nothing here ever resets it.
//
// Tracing happens in the one place every call passes, exchange(): the
// function's name comes down as a default argument (__builtin_FUNCTION, the
// name of the call function that instantiates the kind), the procedure from
// the stub, and the line is written once the result is known.
#include "fapi_calls.h"
#include "fapi_runtime.h"
#include "fapi_stubs.h"
#include "fapi_values.h"
#include "trace.hpp"
#include "xdr_record.hpp"

#include <cstring>
#include <type_traits>

namespace {

// ------------------------------------------------------------ the call

template <class R, class A> using Stub = R *(*)(A *, CLIENT *);

// A procedure without an argument is sent the address of a local int 0.
template <class A> struct ArgOf { using type = A; };
template <> struct ArgOf<void> { using type = IntT; };
template <class A> using ArgT = typename ArgOf<A>::type;

// The name of the call function, for the trace.
using Caller = const char *;

// The common sequence: call; no reply -> FA_errno = -1 and none(); a reply
// -> take(reply), then release the reply with its result routine; then the
// trace line.  Tracing off, that is one test of a global on either path;
// the line itself is made out of line (trace.hpp), and the test stays
// written out here: behind one more helper the compiler stops inlining the
// sequence into the call functions.
template <class R, class A, class Take, class None>
auto exchange(Stub<R, A> stub, ArgT<A> arg, Take take, None none,
              Caller fn = __builtin_FUNCTION()) {
  R *reply = stub(&arg, frame_client);  // null also without a connection
  if (reply == nullptr) {
    FA_errno = -1;
    auto result = none();
    if (!fdk::trace::off()) [[unlikely]]
      fdk::trace::call(fn, stub, arg, result);
    return result;
  }
  auto result = take(reply);
  api_xdrfree(fdk::xdr::proc_of<R>(), reply);
  if (!fdk::trace::off()) [[unlikely]]
    fdk::trace::call(fn, stub, arg, result);
  return result;
}

// ------------------------------------------------------------ reply parts

template <auto Field> struct FieldOf;
template <class R, class V, V R::*F> struct FieldOf<F> {
  using Record = R;
  using Value = V;
};
template <auto Field> using RecordOf = typename FieldOf<Field>::Record;
template <auto Field> using ValueOf = typename FieldOf<Field>::Value;

// The static zero record of each result type: an empty list, a null string,
// a type-0 value, an all-zero record.
template <class V> const V kZero{};

// Caller-owned copies of what a reply holds.
StringT CopyOut(StringT s) { return F_ApiCopyString(s); }
F_StringsT CopyOut(const F_StringsT &v) { return F_ApiCopyStrings(&v); }
F_MetricsT CopyOut(const F_MetricsT &v) { return F_ApiCopyMetrics(&v); }
F_IntsT CopyOut(const F_IntsT &v) { return F_ApiCopyInts(&v); }
F_PointsT CopyOut(const F_PointsT &v) { return F_ApiCopyPoints(&v); }
F_TabsT CopyOut(const F_TabsT &v) { return F_ApiCopyTabs(&v); }
F_UBytesT CopyOut(const F_UBytesT &v) { return F_ApiCopyUBytes(&v); }
F_TypedValT CopyOut(const F_TypedValT &v) { return F_ApiCopyVal(&v); }
F_PropValT CopyOut(const F_PropValT &v) { return F_ApiCopyPropVal(&v); }
F_PropValsT CopyOut(const F_PropValsT &v) { return F_ApiCopyPropVals(&v); }
TextItemsT CopyOut(const TextItemsT &v) { return F_ApiCopyTextItems(&v); }
F_ElementCatalogEntriesT CopyOut(const F_ElementCatalogEntriesT &v) {
  return F_ApiCopyElementCatalogEntries(&v);
}
F_AttributeDefsT CopyOut(const F_AttributeDefsT &v) { return F_ApiCopyAttributeDefs(&v); }
F_AttributesT CopyOut(const F_AttributesT &v) { return F_ApiCopyAttributes(&v); }
// Fonts have no pointers inside: one array of the same count.
F_FontsT CopyOut(const F_FontsT &v) {
  F_FontsT out{0, nullptr};
  if (v.len == 0 || v.val == nullptr) return out;
  out.val = static_cast<F_FontT *>(FapiCalloc(v.len, sizeof(F_FontT)));
  if (out.val == nullptr) return out;
  std::memcpy(out.val, v.val, sizeof(F_FontT) * v.len);
  out.len = v.len;
  return out;
}
// Words are taken as they are.
IntT CopyOut(IntT v) { return v; }

// ------------------------------------------------------------ reply kinds

template <class R, class A>
IntT status(Stub<R, A> stub, ArgT<A> arg = {}, Caller fn = __builtin_FUNCTION()) {
  static_assert(std::is_same_v<R, IntT>, "a status reply is an int");
  return exchange(
      stub, arg,
      [](IntT *code) {
        if (*code != 0) FA_errno = *code;
        return *code;
      },
      [] { return IntT{-1}; }, fn);
}

template <class R, class A>
void void_status(Stub<R, A> stub, ArgT<A> arg = {}, Caller fn = __builtin_FUNCTION()) {
  (void)status(stub, arg, fn);
}

template <IntT OnFailure = -1, class R, class A>
IntT plain(Stub<R, A> stub, ArgT<A> arg = {}, Caller fn = __builtin_FUNCTION()) {
  static_assert(std::is_same_v<R, IntT>, "a plain reply is an int");
  return exchange(stub, arg, [](IntT *v) { return *v; }, [] { return OnFailure; }, fn);
}

template <class R, class A>
StringT plain_string(Stub<R, A> stub, ArgT<A> arg = {}, Caller fn = __builtin_FUNCTION()) {
  static_assert(std::is_same_v<R, StringT>, "a plain string reply");
  return exchange(stub, arg, [](StringT *s) { return F_ApiCopyString(*s); },
                  [] { return StringT{nullptr}; }, fn);
}

// A reply with an error field first: take(reply) when it is 0, otherwise
// failure() with FA_errno set to it.
template <class R, class A, class Take, class Failure>
auto valued(Stub<R, A> stub, ArgT<A> arg, Take take, Failure failure,
            Caller fn = __builtin_FUNCTION()) {
  return exchange(
      stub, arg,
      [&](R *r) {
        if (r->status != 0) {
          FA_errno = r->status;
          return failure();
        }
        return take(*r);
      },
      failure, fn);
}

template <auto Field, class R, class A>
ValueOf<Field> object(Stub<R, A> stub, ArgT<A> arg, Caller fn = __builtin_FUNCTION()) {
  static_assert(std::is_same_v<R, RecordOf<Field>>, "the field belongs to the stub's reply");
  return valued(
      stub, arg, [](const R &r) { return r.*Field; }, [] { return ValueOf<Field>{0}; }, fn);
}

template <auto Field, class R, class A>
ValueOf<Field> copy(Stub<R, A> stub, ArgT<A> arg, Caller fn = __builtin_FUNCTION()) {
  static_assert(std::is_same_v<R, RecordOf<Field>>, "the field belongs to the stub's reply");
  return valued(
      stub, arg, [](const R &r) { return CopyOut(r.*Field); },
      [] { return kZero<ValueOf<Field>>; }, fn);
}

template <auto Field, class R, class A>
ValueOf<Field> record(Stub<R, A> stub, ArgT<A> arg, Caller fn = __builtin_FUNCTION()) {
  static_assert(std::is_same_v<R, RecordOf<Field>>, "the field belongs to the stub's reply");
  return valued(
      stub, arg, [](const R &r) { return r.*Field; }, [] { return kZero<ValueOf<Field>>; }, fn);
}

template <auto Field, class R, class A, class Out>
IntT prompt(Stub<R, A> stub, ArgT<A> arg, Out *out, Caller fn = __builtin_FUNCTION()) {
  static_assert(std::is_same_v<R, RecordOf<Field>>, "the field belongs to the stub's reply");
  return exchange(
      stub, arg,
      [out](R *r) {
        if (r->status != 0) return IntT{-1};  // cancelled: not an error
        if (out != nullptr) *out = CopyOut(r->*Field);
        return IntT{0};
      },
      [] { return IntT{-1}; }, fn);
}

template <class R, auto Field> constexpr bool IsStatusField() {
  if constexpr (std::is_same_v<decltype(Field), decltype(&R::status)>) return Field == &R::status;
  else return false;
}

// After any reply the caller's list is released, the reply's list copied
// into the function's static header and the caller pointed at it.  Result:
// the Field of the reply; a handle is 0 on an error reply, the status field
// is the error code itself.  No reply: 0 for a handle, -1 for the status.
template <auto Field, class R, class A>
ValueOf<Field> list_exchange(Stub<R, A> stub, ArgT<A> arg, F_PropValsT **returnParams,
                             F_PropValsT &header, Caller fn = __builtin_FUNCTION()) {
  static_assert(std::is_same_v<R, RecordOf<Field>>, "the field belongs to the stub's reply");
  using V = ValueOf<Field>;
  constexpr bool kStatus = IsStatusField<R, Field>();
  return exchange(
      stub, arg,
      [&](R *r) {
        if (r->status != 0) FA_errno = r->status;
        if (returnParams != nullptr) {
          F_ApiDeallocatePropVals(*returnParams);
          header = F_ApiCopyPropVals(r->retParams);
          *returnParams = &header;
        }
        return kStatus || r->status == 0 ? r->*Field : V{0};
      },
      [] { return kStatus ? V(-1) : V{0}; }, fn);
}

// ------------------------------------------------------------ arguments

F_PropIdentT ByNum(IntT num) { return {num, nullptr}; }
F_PropIdentT ByName(ConStringT name) { return {0, const_cast<StringT>(name)}; }
// The encoders only read the strings they are given.
StringT S(ConStringT s) { return const_cast<StringT>(s); }
// Records and lists given by address; null counts as all-zero / empty.
template <class T> T In(const T *p) { return p != nullptr ? *p : T{}; }

// Fixed property numbers of the element calls.
constexpr IntT kElementCatalogProp = 1488;
constexpr IntT kAttributeDefsProp = 1584;
constexpr IntT kAttributesProp = 1634;

// The static return-list headers.
F_PropValsT openReturnParams;
F_PropValsT saveReturnParams;
F_PropValsT importReturnParams;
F_PropValsT exportReturnParams;

}  // namespace

extern "C" {

void api_xdrfree(xdrproc_t proc, void *objp) {
  if (objp != nullptr) xdr_free(proc, static_cast<char *>(objp));
}

// ------------------------------------------------------------ objects and properties

F_ObjIdT F_ApiGetId(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return object<&ApiFmGetIdRetT::id>(api_fm_get_id_1, {docId, objId, ByNum(propNum)});
}
void F_ApiSetId(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, F_ObjIdT setVal) {
  void_status(api_fm_set_id_1, {docId, objId, ByNum(propNum), setVal});
}
IntT F_ApiGetInt(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return object<&ApiFmGetIntRetT::value>(api_fm_get_int_1, {docId, objId, ByNum(propNum)});
}
void F_ApiSetInt(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, IntT setVal) {
  void_status(api_fm_set_int_1, {docId, objId, ByNum(propNum), setVal});
}
IntT F_ApiGetIntByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName) {
  return object<&ApiFmGetIntRetT::value>(api_fm_get_int_1, {docId, objId, ByName(propName)});
}
void F_ApiSetIntByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName, IntT setVal) {
  void_status(api_fm_set_int_1, {docId, objId, ByName(propName), setVal});
}
MetricT F_ApiGetMetric(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return object<&ApiFmGetMetricRetT::metric>(api_fm_get_metric_1,
                                             {docId, objId, ByNum(propNum)});
}
void F_ApiSetMetric(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, MetricT setVal) {
  void_status(api_fm_set_metric_1, {docId, objId, ByNum(propNum), setVal});
}
MetricT F_ApiGetMetricByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName) {
  return object<&ApiFmGetMetricRetT::metric>(api_fm_get_metric_1,
                                             {docId, objId, ByName(propName)});
}
void F_ApiSetMetricByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName, MetricT setVal) {
  void_status(api_fm_set_metric_1, {docId, objId, ByName(propName), setVal});
}
StringT F_ApiGetString(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return copy<&ApiFmGetStringRetT::str>(api_fm_get_string_1, {docId, objId, ByNum(propNum)});
}
void F_ApiSetString(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, ConStringT setVal) {
  void_status(api_fm_set_string_1, {docId, objId, ByNum(propNum), S(setVal)});
}
F_StringsT F_ApiGetStrings(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return copy<&ApiFmGetStringsRetT::strings>(api_fm_get_strings_1,
                                             {docId, objId, ByNum(propNum)});
}
void F_ApiSetStrings(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_StringsT *setVal) {
  void_status(api_fm_set_strings_1, {docId, objId, ByNum(propNum), In(setVal)});
}
F_MetricsT F_ApiGetMetrics(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return copy<&ApiFmGetMetricsRetT::metrics>(api_fm_get_metrics_1,
                                             {docId, objId, ByNum(propNum)});
}
void F_ApiSetMetrics(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_MetricsT *setVal) {
  void_status(api_fm_set_metrics_1, {docId, objId, ByNum(propNum), In(setVal)});
}
F_IntsT F_ApiGetInts(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return copy<&ApiFmGetIntsRetT::ints>(api_fm_get_ints_1, {docId, objId, ByNum(propNum)});
}
void F_ApiSetInts(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_IntsT *setVal) {
  void_status(api_fm_set_ints_1, {docId, objId, ByNum(propNum), In(setVal)});
}
F_PointsT F_ApiGetPoints(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return copy<&ApiFmGetPointsRetT::points>(api_fm_get_points_1, {docId, objId, ByNum(propNum)});
}
void F_ApiSetPoints(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_PointsT *setVal) {
  void_status(api_fm_set_points_1, {docId, objId, ByNum(propNum), In(setVal)});
}
F_TabsT F_ApiGetTabs(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return copy<&ApiFmGetTabsRetT::tabs>(api_fm_get_tabs_1, {docId, objId, ByNum(propNum)});
}
void F_ApiSetTabs(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_TabsT *setVal) {
  void_status(api_fm_set_tabs_1, {docId, objId, ByNum(propNum), In(setVal)});
}
F_UBytesT F_ApiGetUBytesByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName) {
  return copy<&ApiFmGetUBytesRetT::ubytes>(api_fm_get_ubytes_1,
                                           {docId, objId, ByName(propName)});
}
void F_ApiSetUBytesByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName,
                          const F_UBytesT *setVal) {
  void_status(api_fm_set_ubytes_1, {docId, objId, ByName(propName), In(setVal)});
}
F_TextLocT F_ApiGetTextLoc(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return record<&ApiFmGetTextLocRetT::textLoc>(api_fm_get_textloc_1,
                                               {docId, objId, ByNum(propNum)});
}
void F_ApiSetTextLoc(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_TextLocT *setVal) {
  void_status(api_fm_set_textloc_1, {docId, objId, ByNum(propNum), In(setVal)});
}
F_TextRangeT F_ApiGetTextRange(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return record<&ApiFmGetTextRangeRetT::textRange>(api_fm_get_textrange_1,
                                                   {docId, objId, ByNum(propNum)});
}
void F_ApiSetTextRange(F_ObjIdT docId, F_ObjIdT objId, IntT propNum,
                       const F_TextRangeT *setVal) {
  void_status(api_fm_set_textrange_1, {docId, objId, ByNum(propNum), In(setVal)});
}
F_ElementRangeT F_ApiGetElementRange(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return record<&ApiFmGetElementRangeRetT::elemRange>(api_fm_get_element_range_1,
                                                      {docId, objId, ByNum(propNum)});
}
void F_ApiSetElementRange(F_ObjIdT docId, F_ObjIdT objId, IntT propNum,
                          const F_ElementRangeT *setVal) {
  void_status(api_fm_set_element_range_1, {docId, objId, ByNum(propNum), In(setVal)});
}
F_TypedValT F_ApiGetVal(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return copy<&ApiFmGetValRetT::val>(api_fm_get_val_1, {docId, objId, ByNum(propNum)});
}
void F_ApiSetVal(F_ObjIdT docId, F_ObjIdT objId, IntT propNum, const F_TypedValT *setVal) {
  void_status(api_fm_set_val_1, {docId, objId, ByNum(propNum), In(setVal)});
}
F_PropValT F_ApiGetPropVal(F_ObjIdT docId, F_ObjIdT objId, IntT propNum) {
  return copy<&ApiFmGetPropRetT::propVal>(api_fm_get_prop_1, {docId, objId, ByNum(propNum)});
}
void F_ApiSetPropVal(F_ObjIdT docId, F_ObjIdT objId, const F_PropValT *setVal) {
  void_status(api_fm_set_prop_1, {docId, objId, In(setVal)});
}
F_PropValsT F_ApiGetProps(F_ObjIdT docId, F_ObjIdT objId) {
  return copy<&ApiFmGetPropsRetT::propVals>(api_fm_get_props_1, {docId, objId});
}
void F_ApiSetProps(F_ObjIdT docId, F_ObjIdT objId, const F_PropValsT *setVal) {
  void_status(api_fm_set_props_1, {docId, objId, In(setVal)});
}
void F_ApiDeletePropByName(F_ObjIdT docId, F_ObjIdT objId, ConStringT propName) {
  void_status(api_fm_delete_prop_1, {docId, objId, ByName(propName)});
}
F_ObjIdT F_ApiGetNamedObject(F_ObjIdT docId, IntT objType, ConStringT name) {
  return object<&ApiFmObjRetT::objId>(api_fm_get_named_object_1, {docId, objType, S(name)});
}
F_ObjIdT F_ApiGetUniqueObject(F_ObjIdT docId, IntT objType, IntT uniqueId) {
  return object<&ApiFmObjRetT::objId>(api_fm_get_unique_object_1, {docId, objType, uniqueId});
}
F_ObjIdT F_ApiNewGraphicObject(F_ObjIdT docId, IntT objType, F_ObjIdT parentId) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_graphic_object_1, {docId, objType, parentId});
}
F_ObjIdT F_ApiNewNamedObject(F_ObjIdT docId, IntT objType, ConStringT name) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_named_object_1, {docId, objType, S(name)});
}
F_ObjIdT F_ApiNewAnchoredObject(F_ObjIdT docId, IntT objType, const F_TextLocT *textLoc) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_anchored_object_1,
                                      {docId, objType, In(textLoc)});
}
F_ObjIdT F_ApiNewAnchoredFormattedObject(F_ObjIdT docId, IntT objType, ConStringT format,
                                         const F_TextLocT *textLoc) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_anchored_formatted_object_1,
                                      {docId, objType, S(format), In(textLoc)});
}
F_ObjIdT F_ApiNewSeriesObject(F_ObjIdT docId, IntT objType, F_ObjIdT prevId) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_series_object_1, {docId, objType, prevId});
}
F_ObjIdT F_ApiNewSubObject(F_ObjIdT docId, F_ObjIdT parentId, IntT objType) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_sub_object_1, {docId, parentId, objType});
}
// The reply is an error code alone: the object is valid when it is 0.
IntT F_ApiObjectValid(F_ObjIdT docId, F_ObjIdT objId) {
  return status(api_fm_object_valid_1, {docId, objId}) == 0 ? 1 : 0;
}
IntT F_ApiDelete(F_ObjIdT docId, F_ObjIdT objId) {
  return status(api_fm_delete_1, {docId, objId});
}

// ------------------------------------------------------------ text and elements

TextItemsT F_ApiGetText(F_ObjIdT docId, F_ObjIdT objId, IntT flags) {
  return copy<&ApiFmGetTextRetT::items>(api_fm_get_text_1, {docId, objId, flags});
}
TextItemsT F_ApiGetTextForRange(F_ObjIdT docId, const F_TextRangeT *textRange, IntT flags) {
  return copy<&ApiFmGetTextRetT::items>(api_fm_get_text_for_range_1,
                                        {docId, In(textRange), flags});
}
F_TextLocT F_ApiAddText(F_ObjIdT docId, const F_TextLocT *textLoc, ConStringT text) {
  return record<&ApiFmAddTextRetT::textLoc>(api_fm_add_text_1, {docId, In(textLoc), S(text)});
}
IntT F_ApiDeleteText(F_ObjIdT docId, const F_TextRangeT *textRange) {
  return status(api_fm_delete_text_1, {docId, In(textRange)});
}
IntT F_ApiScrollToText(F_ObjIdT docId, const F_TextRangeT *textRange) {
  return status(api_fm_scroll_to_text_1, {docId, In(textRange)});
}
IntT F_ApiCenterOnText(F_ObjIdT docId, const F_TextRangeT *textRange) {
  return status(api_fm_center_on_text_1, {docId, In(textRange)});
}
F_TypedValT F_ApiGetTextVal(F_ObjIdT docId, const F_TextLocT *textLoc, IntT propNum) {
  return copy<&ApiFmGetValRetT::val>(api_fm_get_text_val_1,
                                     {docId, In(textLoc), ByNum(propNum)});
}
void F_ApiSetTextVal(F_ObjIdT docId, const F_TextRangeT *textRange, IntT propNum,
                     const F_TypedValT *setVal) {
  void_status(api_fm_set_text_val_1, {docId, In(textRange), ByNum(propNum), In(setVal)});
}
F_PropValT F_ApiGetTextPropVal(F_ObjIdT docId, const F_TextLocT *textLoc, IntT propNum) {
  return copy<&ApiFmGetPropRetT::propVal>(api_fm_get_text_prop_1,
                                          {docId, In(textLoc), ByNum(propNum)});
}
// The separate identifier repeats the one inside the property value.
void F_ApiSetTextPropVal(F_ObjIdT docId, const F_TextRangeT *textRange,
                         const F_PropValT *setVal) {
  F_PropValT pv = In(setVal);
  void_status(api_fm_set_text_prop_1, {docId, In(textRange), pv.propIdent, pv});
}
F_PropValsT F_ApiGetTextProps(F_ObjIdT docId, const F_TextLocT *textLoc) {
  return copy<&ApiFmGetPropsRetT::propVals>(api_fm_get_text_props_1, {docId, In(textLoc)});
}
void F_ApiSetTextProps(F_ObjIdT docId, const F_TextRangeT *textRange,
                       const F_PropValsT *setVal) {
  void_status(api_fm_set_text_props_1, {docId, In(textRange), In(setVal)});
}
F_ObjIdT F_ApiNewElement(F_ObjIdT docId, F_ObjIdT elemDefId, const F_TextLocT *textLoc) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_element_1, {docId, elemDefId, In(textLoc)});
}
F_ObjIdT F_ApiNewElementInHierarchy(F_ObjIdT docId, F_ObjIdT elemDefId,
                                    const F_ElementLocT *elemLoc) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_element_in_hierarchy_1,
                                      {docId, elemDefId, In(elemLoc)});
}
F_TextLocT F_ApiElementLocToTextLoc(F_ObjIdT docId, const F_ElementLocT *elemLoc) {
  return record<&ApiFmElementLocToTextLocRetT::textLoc>(api_fm_elementloc_to_textloc_1,
                                                        {docId, In(elemLoc)});
}
F_ElementLocT F_ApiTextLocToElementLoc(F_ObjIdT docId, const F_TextLocT *textLoc) {
  return record<&ApiFmTextLocToElementLocRetT::elemLoc>(api_fm_textloc_to_elementloc_1,
                                                        {docId, In(textLoc)});
}
// The catalog is a property of the document itself.
F_ElementCatalogEntriesT F_ApiGetElementCatalog(F_ObjIdT docId) {
  return copy<&ApiFmGetElementCatalogRetT::catalog>(api_fm_get_element_catalog_1,
                                                    {docId, docId, ByNum(kElementCatalogProp)});
}
F_AttributeDefsT F_ApiGetAttributeDefs(F_ObjIdT docId, F_ObjIdT elemDefId) {
  return copy<&ApiFmGetAttributeDefsRetT::attrDefs>(api_fm_get_attribute_defs_1,
                                                    {docId, elemDefId, ByNum(kAttributeDefsProp)});
}
void F_ApiSetAttributeDefs(F_ObjIdT docId, F_ObjIdT elemDefId, const F_AttributeDefsT *setVal) {
  void_status(api_fm_set_attribute_defs_1,
              {docId, elemDefId, ByNum(kAttributeDefsProp), In(setVal)});
}
F_AttributesT F_ApiGetAttributes(F_ObjIdT docId, F_ObjIdT elemId) {
  return copy<&ApiFmGetAttributesRetT::attrs>(api_fm_get_attributes_1,
                                              {docId, elemId, ByNum(kAttributesProp)});
}
void F_ApiSetAttributes(F_ObjIdT docId, F_ObjIdT elemId, const F_AttributesT *setVal) {
  void_status(api_fm_set_attributes_1, {docId, elemId, ByNum(kAttributesProp), In(setVal)});
}
IntT F_ApiDeleteUndefinedAttribute(F_ObjIdT docId, ConStringT attrName, IntT flags,
                                   F_ObjIdT elemId) {
  return status(api_fm_delete_undefined_attribute_1, {docId, S(attrName), flags, elemId});
}
void F_ApiMergeIntoFirst(F_ObjIdT docId) { void_status(api_fm_merge_into_first_1, {docId}); }
void F_ApiMergeIntoLast(F_ObjIdT docId) { void_status(api_fm_merge_into_last_1, {docId}); }
void F_ApiSplitElement(F_ObjIdT docId) { void_status(api_fm_split_element_1, {docId}); }
void F_ApiWrapElement(F_ObjIdT docId, F_ObjIdT elemDefId) {
  void_status(api_fm_wrap_element_1, {docId, elemDefId});
}
void F_ApiUnWrapElement(F_ObjIdT docId) { void_status(api_fm_unwrap_element_1, {docId}); }
void F_ApiPromoteElement(F_ObjIdT docId) { void_status(api_fm_promote_element_1, {docId}); }
void F_ApiDemoteElement(F_ObjIdT docId) { void_status(api_fm_demote_element_1, {docId}); }
IntT F_ApiUpdateTextInset(F_ObjIdT docId, F_ObjIdT insetId) {
  return status(api_fm_update_textinset_1, {docId, insetId});
}
IntT F_ApiDeleteTextInsetContents(F_ObjIdT docId, F_ObjIdT insetId) {
  return status(api_fm_delete_textinset_contents_1, {docId, insetId});
}

// ------------------------------------------------------------ documents, books, import, export

F_ObjIdT F_ApiOpen(ConStringT fileName, const F_PropValsT *openParams,
                   F_PropValsT **returnParams) {
  return list_exchange<&ApiFmOpenRetT::objId>(api_fm_open_1, {S(fileName), In(openParams)},
                                              returnParams, openReturnParams);
}
IntT F_ApiClose(F_ObjIdT docId, IntT flags) { return status(api_fm_close_1, {docId, flags}); }
F_ObjIdT F_ApiSave(F_ObjIdT docId, ConStringT saveAsName, const F_PropValsT *saveParams,
                   F_PropValsT **returnParams) {
  return list_exchange<&ApiFmSaveRetT::objId>(
      api_fm_save_1, {S(saveAsName), docId, In(saveParams)}, returnParams, saveReturnParams);
}
F_ObjIdT F_ApiImport(F_ObjIdT docId, const F_TextLocT *textLoc, ConStringT fileName,
                     const F_PropValsT *importParams, F_PropValsT **returnParams) {
  return list_exchange<&ApiFmImportRetT::objId>(
      api_fm_import_1, {S(fileName), docId, In(textLoc), In(importParams)}, returnParams,
      importReturnParams);
}
IntT F_ApiExport(F_ObjIdT docId, ConStringT fileName, const F_PropValsT *exportParams,
                 F_PropValsT **returnParams) {
  return list_exchange<&ApiFmExportRetT::status>(
      api_fm_export_1, {S(fileName), docId, In(exportParams)}, returnParams, exportReturnParams);
}
F_ObjIdT F_ApiCustomDoc(IntT i1, IntT i2, IntT i3, IntT i4, IntT i5, IntT i6, IntT i7, IntT i8,
                        IntT i9, IntT i10) {
  return object<&ApiFmCustomDocRetT::docId>(api_fm_custom_1,
                                            {i1, i2, i3, i4, i5, i6, i7, i8, i9, i10});
}
IntT F_ApiSilentPrintDoc(F_ObjIdT docId) { return status(api_fm_silent_print_doc_1, {docId}); }
IntT F_ApiSimpleImportFormats(F_ObjIdT docId, F_ObjIdT fromDocId, IntT flags) {
  return status(api_fm_simple_import_formats_1, {docId, fromDocId, flags});
}
IntT F_ApiSimpleImportElementDefs(F_ObjIdT docId, F_ObjIdT fromDocId, IntT flags) {
  return status(api_fm_simple_import_element_defs_1, {docId, fromDocId, flags});
}
IntT F_ApiSimpleGenerate(F_ObjIdT bookId, IntT i1, IntT i2) {
  return status(api_fm_simple_generate_1, {bookId, i1, i2});
}
F_CompareRetT F_ApiCompare(F_ObjIdT olderId, F_ObjIdT newerId, IntT flags, ConStringT s1,
                           ConStringT s2, ConStringT s3, IntT i1) {
  return valued(
      api_fm_compare_1, {olderId, newerId, flags, S(s1), S(s2), S(s3), i1},
      [](const ApiFmCompareRetT &r) { return F_CompareRetT{r.firstId, r.secondId}; },
      [] { return kZero<F_CompareRetT>; });
}
F_ObjIdT F_ApiNewBookComponentInHierarchy(F_ObjIdT bookId, ConStringT name,
                                          const F_ElementLocT *elemLoc) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_book_component_in_hierarchy_1,
                                      {bookId, S(name), In(elemLoc)});
}
IntT F_ApiCut(F_ObjIdT docId, IntT flags) { return status(api_fm_cut_1, {docId, flags}); }
IntT F_ApiClear(F_ObjIdT docId, IntT flags) { return status(api_fm_clear_1, {docId, flags}); }
IntT F_ApiCopy(F_ObjIdT docId, IntT flags) { return status(api_fm_copy_1, {docId, flags}); }
IntT F_ApiPaste(F_ObjIdT docId, IntT flags) { return status(api_fm_paste_1, {docId, flags}); }
IntT F_ApiRestartPgfNumbering(F_ObjIdT docId) {
  return status(api_fm_restart_pgf_numbering_1, {docId});
}
IntT F_ApiResetReferenceFrames(F_ObjIdT docId) {
  return status(api_fm_reset_reference_frames_1, {docId});
}
IntT F_ApiRehyphenate(F_ObjIdT docId) { return status(api_fm_rehyphenate_1, {docId}); }
IntT F_ApiReformat(F_ObjIdT docId) { return status(api_fm_reformat_1, {docId}); }
IntT F_ApiRedisplay(F_ObjIdT docId) { return status(api_fm_redisplay_1, {docId}); }
IntT F_ApiClearAllChangebars(F_ObjIdT docId) {
  return status(api_fm_clear_all_changebars_1, {docId});
}
IntT F_ApiResetEqnSettings(F_ObjIdT docId) { return status(api_fm_reset_eqn_settings_1, {docId}); }
IntT F_ApiUpdateVariables(F_ObjIdT docId) { return status(api_fm_update_variables_1, {docId}); }
IntT F_ApiUpdateXRefs(F_ObjIdT docId, IntT flags) {
  return status(api_fm_update_xrefs_1, {docId, flags});
}
IntT F_ApiApplyPageLayout(F_ObjIdT docId, F_ObjIdT id1, F_ObjIdT id2) {
  return status(api_fm_apply_page_layout_1, {docId, id1, id2});
}
IntT F_ApiHypertextCommand(F_ObjIdT docId, ConStringT command) {
  return status(api_fm_hypertext_command_1, {docId, S(command)});
}
F_FontsT F_ApiFamilyFonts(IntT family) {
  return copy<&ApiFmFamilyFontsRetT::fonts>(api_fm_family_fonts_1, family);
}

// ------------------------------------------------------------ tables

F_ObjIdT F_ApiNewTable(F_ObjIdT docId, ConStringT format, IntT i1, IntT i2, IntT i3, IntT i4,
                       const F_TextLocT *textLoc) {
  return object<&ApiFmObjRetT::objId>(api_fm_new_table_1,
                                      {docId, S(format), i1, i2, i3, i4, In(textLoc)});
}
IntT F_ApiAddRows(F_ObjIdT docId, F_ObjIdT refRowId, IntT i1, IntT numRows) {
  return status(api_fm_add_rows_1, {docId, refRowId, i1, numRows});
}
// Rows and columns are cut by one procedure; the other pair of fields is 0.
IntT F_ApiDeleteRows(F_ObjIdT docId, F_ObjIdT tableId, F_ObjIdT refRowId, IntT numRows) {
  return status(api_fm_cut_table_parts_1, {docId, tableId, refRowId, numRows, 0, 0});
}
IntT F_ApiAddCols(F_ObjIdT docId, F_ObjIdT tableId, IntT refCol, IntT i1, IntT numCols) {
  return status(api_fm_add_columns_1, {docId, tableId, refCol, i1, numCols});
}
IntT F_ApiDeleteCols(F_ObjIdT docId, F_ObjIdT tableId, IntT refCol, IntT numCols) {
  return status(api_fm_cut_table_parts_1, {docId, tableId, 0, 0, refCol, numCols});
}
IntT F_ApiMakeTblSelection(F_ObjIdT docId, F_ObjIdT tableId, IntT topRow, IntT bottomRow,
                           IntT leftCol, IntT rightCol) {
  return status(api_fm_make_table_selection_1,
                {docId, tableId, topRow, bottomRow, leftCol, rightCol});
}
IntT F_ApiStraddleCells(F_ObjIdT docId, F_ObjIdT cellId, IntT numRows, IntT numCols) {
  return status(api_fm_straddle_cells_1, {docId, cellId, numRows, numCols, 1});
}
IntT F_ApiUnStraddleCells(F_ObjIdT docId, F_ObjIdT cellId, IntT numRows, IntT numCols) {
  return status(api_fm_straddle_cells_1, {docId, cellId, numRows, numCols, 0});
}

// ------------------------------------------------------------ menus and commands

F_ObjIdT F_ApiDefineCommand(IntT cmdNum, ConStringT tag, ConStringT label, ConStringT shortcut) {
  return object<&ApiFmObjRetT::objId>(api_fm_define_command_1,
                                      {cmdNum, S(tag), S(label), S(shortcut)});
}
F_ObjIdT F_ApiDefineMenu(ConStringT name, ConStringT label) {
  return object<&ApiFmObjRetT::objId>(api_fm_define_menu_1, {S(name), S(label)});
}
F_ObjIdT F_ApiDefineAndAddCommand(IntT cmdNum, F_ObjIdT menuId, ConStringT tag, ConStringT label,
                                  ConStringT shortcut) {
  return object<&ApiFmObjRetT::objId>(api_fm_define_and_add_command_1,
                                      {cmdNum, menuId, S(tag), S(label), S(shortcut)});
}
F_ObjIdT F_ApiDefineAndAddMenu(F_ObjIdT menuId, ConStringT name, ConStringT label) {
  return object<&ApiFmObjRetT::objId>(api_fm_define_and_add_menu_1,
                                      {menuId, S(name), S(label)});
}
IntT F_ApiAddCommand(IntT cmdNum, ConStringT menuName, ConStringT tag, ConStringT label,
                     ConStringT shortcut) {
  return status(api_fm_add_command_1, {cmdNum, S(menuName), S(tag), S(label), S(shortcut)});
}
IntT F_ApiAddMenu(ConStringT s1, ConStringT s2, ConStringT s3) {
  return status(api_fm_add_menu_1, {S(s1), S(s2), S(s3)});
}
IntT F_ApiRemoveMenu(ConStringT s1, ConStringT s2) {
  return status(api_fm_remove_menu_1, {S(s1), S(s2)});
}
IntT F_ApiAddCommandToMenu(F_ObjIdT menuId, F_ObjIdT itemId) {
  return status(api_fm_add_command_to_menu_1, {menuId, itemId});
}
IntT F_ApiAddMenuToMenu(F_ObjIdT menuId, F_ObjIdT itemId) {
  return status(api_fm_add_menu_to_menu_1, {menuId, itemId});
}
F_ObjIdT F_ApiMenuItemInMenu(F_ObjIdT menuId, F_ObjIdT itemId, IntT i1) {
  return object<&ApiFmObjRetT::objId>(api_fm_menu_item_in_menu_1, {menuId, itemId, i1});
}
IntT F_ApiMenuExists(ConStringT name) { return plain(api_fm_menu_exists_1, {S(name)}); }
IntT F_ApiShortcutExists(ConStringT name) { return plain(api_fm_shortcut_exists_1, {S(name)}); }
IntT F_ApiLoadMenuCustomizationFile(ConStringT fileName, IntT i1) {
  return status(api_fm_load_menu_customization_file_1, {S(fileName), i1});
}
IntT F_ApiAnimateMenu(F_ObjIdT id1, F_ObjIdT id2, IntT i1, ConStringT s1, F_ObjIdT id3, IntT i2) {
  return status(api_fm_animate_menu_1, {id1, id2, i1, S(s1), id3, i2});
}
IntT F_ApiFcodes(IntT count, const IntT *codes) {
  F_IntsT list{count > 0 && codes != nullptr ? static_cast<UIntT>(count) : 0u,
               const_cast<IntT *>(codes)};
  return status(api_fm_fcodes_1, {list});
}

// ------------------------------------------------------------ dialogs and prompts

IntT F_ApiAlert(ConStringT message, IntT alertType) {
  return plain(api_fm_alert_1, {S(message), alertType});
}
IntT F_ApiPromptInt(IntT *intp, ConStringT message, ConStringT defVal) {
  return prompt<&ApiFmPromptIntRetT::value>(api_fm_prompt_int_1, {S(message), S(defVal)}, intp);
}
IntT F_ApiPromptString(StringT *strp, ConStringT message, ConStringT defVal) {
  return prompt<&ApiFmPromptStringRetT::str>(api_fm_prompt_string_1, {S(message), S(defVal)},
                                             strp);
}
IntT F_ApiPromptMetric(MetricT *metricp, ConStringT message, ConStringT defVal, IntT units) {
  return prompt<&ApiFmPromptMetricRetT::metric>(api_fm_prompt_metric_1,
                                                {S(message), S(defVal), units}, metricp);
}
F_PointT F_ApiPromptPoint(F_ObjIdT docId, F_ObjIdT objId, IntT i1) {
  return record<&ApiFmPromptPointRetT::point>(api_fm_prompt_point_1, {docId, objId, i1});
}
RectT F_ApiPromptRect(F_ObjIdT docId, F_ObjIdT objId, IntT i1) {
  return record<&ApiFmPromptRectRetT::rect>(api_fm_prompt_rect_1, {docId, objId, i1});
}
IntT F_ApiChooseFile(StringT *choice, ConStringT title, ConStringT directory, ConStringT defVal,
                     IntT mode, ConStringT s5) {
  return prompt<&ApiFmChooseFileRetT::path>(
      api_fm_choose_file_1, {S(title), S(directory), S(defVal), mode, S(s5)}, choice);
}
IntT oldF_ApiChooseFile(StringT *choice, ConStringT title, ConStringT directory,
                        ConStringT defVal, IntT mode) {
  return prompt<&ApiFmChooseFileRetT::path>(
      old_api_fm_choose_file_1, {S(title), S(directory), S(defVal), mode}, choice);
}
IntT F_ApiFileScrollBox(StringT *choice, ConStringT title, ConStringT directory) {
  return oldF_ApiChooseFile(choice, title, directory, nullptr, 0);
}
IntT F_ApiScrollBox(IntT *choice, ConStringT title, const F_StringsT *choices, IntT defChoice) {
  return prompt<&ApiFmScrollBoxRetT::choice>(api_fm_scroll_box_1,
                                             {S(title), defChoice, In(choices)}, choice);
}
IntT F_ApiQuickSelect(F_ObjIdT docId, ConStringT title, const F_StringsT *choices) {
  return valued(
      api_fm_quick_select_1, {docId, S(title), In(choices)},
      [](const ApiFmQuickSelectRetT &r) { return r.value; }, [] { return IntT{-1}; });
}
F_ObjIdT F_ApiOpenResource(IntT resourceType, ConStringT resourceName) {
  return object<&ApiFmObjRetT::objId>(api_fm_open_resource_1, {resourceType, S(resourceName)});
}
// After a reply to a modal dialog the dialog's callbacks are served here;
// their result replaces the reply's value.
IntT F_ApiModalDialog(IntT i1, F_ObjIdT dlgId) {
  bool replied = false;
  IntT value = exchange(
      api_fm_modal_dialog_1, {i1, dlgId},
      [&replied](IntT *v) {
        replied = true;
        return *v;
      },
      [] { return IntT{0}; });
  return replied && i1 != 0 ? F_ApiServiceModalCallbacks() : value;
}
IntT F_ApiModelessDialog(IntT i1, F_ObjIdT dlgId) {
  return plain<0>(api_fm_modeless_dialog_1, {i1, dlgId});
}
F_ObjIdT F_ApiDialogItemId(F_ObjIdT dlgId, IntT itemNum) {
  return object<&ApiFmObjRetT::objId>(api_fm_dialog_item_id_1, {dlgId, itemNum});
}

// ------------------------------------------------------------ session and client

IntT F_ApiClientNumber(void) { return plain(api_client_number_1); }
StringT F_ApiClientName(void) { return plain_string(api_client_name_1); }
StringT F_ApiClientDir(void) { return plain_string(api_client_directory_1); }
IntT F_ApiSetClientDir(ConStringT dir) { return plain(api_set_client_directory_1, S(dir)); }
IntT F_ApiCallClient(ConStringT clientName, ConStringT arg) {
  return object<&ApiFmGetIntRetT::value>(api_fm_call_client_1, {S(clientName), S(arg)});
}
IntT F_ApiNotification(IntT notification, IntT state) {
  return status(api_fm_notification_1, {notification, state});
}
IntT F_ApiReturnValue(IntT value) { return plain<0>(api_fm_return_value_1, value); }
void F_ApiPushClipboard(void) {
  (void)exchange(api_fm_push_clipboard_1, 0, [](void *) { return 0; }, [] { return 0; });
}
IntT F_ApiPopClipboard(void) { return status(api_fm_pop_clipboard_1); }
IntT F_ApiSleep(IntT seconds) {
  return exchange(api_fm_sleep_1, seconds, [](void *) { return IntT{0}; },
                  [seconds] { return seconds; });
}
IntT F_ApiUSleep(IntT microseconds) {
  return exchange(api_fm_usleep_1, microseconds, [](void *) { return IntT{0}; },
                  [microseconds] { return microseconds; });
}
IntT F_ApiUserCancel(void) { return plain(api_fm_user_cancel_1); }
IntT F_ApiSystemShell(ConStringT command) { return plain(api_fm_system_shell_1, S(command)); }
IntT F_ApiForkAndExec(ConStringT path, const F_StringsT *args) {
  return plain(api_fm_fork_and_exec_1, {S(path), In(args)});
}
// The session ends whatever Frame answers.
IntT F_ApiDisconnectFromSession(void) {
  IntT value = plain(api_fm_disconnect_from_session_1);
  F_ApiDoneCommand();
  F_ApiShutDown();
  FA_bailout = 1;
  return value;
}

}  // extern "C"
