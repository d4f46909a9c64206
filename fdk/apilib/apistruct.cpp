// apistruct - deep copies and releases of the API values, list allocation,
// property lookups, and the default parameter lists of open, save, import
// and export.
//
// The lists come in two shapes, each told once:
//   flat lists   (elements without pointers): one zero-filled array, the
//                elements copied byte for byte;
//   deep lists   (elements owning strings or lists): the same array, each
//                element copied with its own copy function, from the last to
//                the first; released the same way.
// A list of count 0 never gets an array (except F_ApiAllocateTextItems(0)),
// so every copy of an empty list is {0, null}.
#include "fapi_runtime.h"
#include "fapi_values.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>

namespace {

template <class L> using ElemOf = std::remove_pointer_t<decltype(L::val)>;

template <class L> L EmptyList() {
  L out;
  out.len = 0;
  out.val = nullptr;
  return out;
}

// An array of n zeroed elements, or null (also for n 0).
template <class E> E *NewArray(UIntT n) {
  if (n == 0) return nullptr;
  return static_cast<E *>(FapiCalloc(n, sizeof(E)));
}

template <class L> L CopyFlat(const L *src) {
  using E = ElemOf<L>;
  L out = EmptyList<L>();
  if (src == nullptr) return out;
  E *arr = NewArray<E>(src->len);
  if (arr == nullptr) return out;
  if (src->val != nullptr) std::memcpy(arr, src->val, sizeof(E) * src->len);
  out.len = src->len;
  out.val = arr;
  return out;
}

template <class L> void ReleaseFlat(L *v) {
  if (v == nullptr) return;
  F_ApiFree(v->val);
  v->val = nullptr;
  v->len = 0;
}

// A source with a count but no array gives that many empty elements.
template <class L, ElemOf<L> (*CopyElem)(const ElemOf<L> *)> L CopyDeep(const L *src) {
  using E = ElemOf<L>;
  L out = EmptyList<L>();
  if (src == nullptr) return out;
  E *arr = NewArray<E>(src->len);
  if (arr == nullptr) return out;
  if (src->val != nullptr)
    for (UIntT i = src->len; i-- > 0;) arr[i] = CopyElem(&src->val[i]);
  out.len = src->len;
  out.val = arr;
  return out;
}

template <class L, void (*ReleaseElem)(ElemOf<L> *)> void ReleaseDeep(L *v) {
  if (v == nullptr) return;
  if (v->val == nullptr) v->len = 0;
  for (UIntT i = v->len; i-- > 0;) ReleaseElem(&v->val[i]);
  F_ApiFree(v->val);
  v->val = nullptr;
  v->len = 0;
}

// Records lists (property values, text items): a source without an array is
// empty; entries are copied first to last into a list from Allocate.
template <class L, L (*Allocate)(IntT), ElemOf<L> (*CopyElem)(const ElemOf<L> *)>
L CopyRecords(const L *src) {
  UIntT n = (src == nullptr || src->val == nullptr) ? 0 : src->len;
  if (n > static_cast<UIntT>(INT32_MAX)) return EmptyList<L>();
  L out = Allocate(static_cast<IntT>(n));
  if (out.len != 0)
    for (UIntT i = 0; i < out.len; ++i) out.val[i] = CopyElem(&src->val[i]);
  return out;
}

StringT CopyStringElem(const StringT *s) { return F_ApiCopyString(*s); }

// Property 3 of a returned parameter list: the status bit set.
constexpr IntT kStatusProp = 3;

}  // namespace

extern "C" {

// ------------------------------------------------------------ flat lists

F_UBytesT F_ApiCopyUBytes(const F_UBytesT *src) { return CopyFlat(src); }
void F_ApiDeallocateUBytes(F_UBytesT *v) { ReleaseFlat(v); }
F_MetricsT F_ApiCopyMetrics(const F_MetricsT *src) { return CopyFlat(src); }
void F_ApiDeallocateMetrics(F_MetricsT *v) { ReleaseFlat(v); }
F_IntsT F_ApiCopyInts(const F_IntsT *src) { return CopyFlat(src); }
void F_ApiDeallocateInts(F_IntsT *v) { ReleaseFlat(v); }
F_UIntsT F_ApiCopyUInts(const F_UIntsT *src) { return CopyFlat(src); }
void F_ApiDeallocateUInts(F_UIntsT *v) { ReleaseFlat(v); }
F_PointsT F_ApiCopyPoints(const F_PointsT *src) { return CopyFlat(src); }
void F_ApiDeallocatePoints(F_PointsT *v) { ReleaseFlat(v); }
F_ElementCatalogEntriesT F_ApiCopyElementCatalogEntries(const F_ElementCatalogEntriesT *src) {
  return CopyFlat(src);
}
void F_ApiDeallocateElementCatalogEntries(F_ElementCatalogEntriesT *v) { ReleaseFlat(v); }

// ------------------------------------------------------------ elements

F_TabT F_ApiCopyTab(const F_TabT *src) {
  F_TabT out{};
  if (src == nullptr) return out;
  out = *src;
  out.leader = F_ApiCopyString(src->leader);
  return out;
}
void F_ApiDeallocateTab(F_TabT *v) {
  if (v != nullptr) F_ApiDeallocateString(&v->leader);
}

F_AttributeDefT F_ApiCopyAttributeDef(const F_AttributeDefT *src) {
  F_AttributeDefT out{};
  if (src == nullptr) return out;
  out.name = F_ApiCopyString(src->name);
  out.required = src->required;
  out.readOnly = src->readOnly;
  out.attrType = src->attrType;
  out.choices = F_ApiCopyStrings(&src->choices);
  out.defValues = F_ApiCopyStrings(&src->defValues);
  out.rangeMin = F_ApiCopyString(src->rangeMin);
  out.rangeMax = F_ApiCopyString(src->rangeMax);
  return out;
}
void F_ApiDeallocateAttributeDef(F_AttributeDefT *v) {
  if (v == nullptr) return;
  F_ApiDeallocateString(&v->name);
  F_ApiDeallocateStrings(&v->choices);
  F_ApiDeallocateStrings(&v->defValues);
  F_ApiDeallocateString(&v->rangeMin);
  F_ApiDeallocateString(&v->rangeMax);
}

F_AttributeT F_ApiCopyAttribute(const F_AttributeT *src) {
  F_AttributeT out{};
  if (src == nullptr) return out;
  out.name = F_ApiCopyString(src->name);
  out.values = F_ApiCopyStrings(&src->values);
  out.flag1 = src->flag1;
  out.flag2 = src->flag2;
  return out;
}
void F_ApiDeallocateAttribute(F_AttributeT *v) {
  if (v == nullptr) return;
  F_ApiDeallocateString(&v->name);
  F_ApiDeallocateStrings(&v->values);
}

// ------------------------------------------------------------ deep lists

F_StringsT F_ApiCopyStrings(const F_StringsT *src) {
  return CopyDeep<F_StringsT, CopyStringElem>(src);
}
void F_ApiDeallocateStrings(F_StringsT *v) { ReleaseDeep<F_StringsT, F_ApiDeallocateString>(v); }
F_TabsT F_ApiCopyTabs(const F_TabsT *src) { return CopyDeep<F_TabsT, F_ApiCopyTab>(src); }
void F_ApiDeallocateTabs(F_TabsT *v) { ReleaseDeep<F_TabsT, F_ApiDeallocateTab>(v); }
F_AttributeDefsT F_ApiCopyAttributeDefs(const F_AttributeDefsT *src) {
  return CopyDeep<F_AttributeDefsT, F_ApiCopyAttributeDef>(src);
}
void F_ApiDeallocateAttributeDefs(F_AttributeDefsT *v) {
  ReleaseDeep<F_AttributeDefsT, F_ApiDeallocateAttributeDef>(v);
}
F_AttributesT F_ApiCopyAttributes(const F_AttributesT *src) {
  return CopyDeep<F_AttributesT, F_ApiCopyAttribute>(src);
}
void F_ApiDeallocateAttributes(F_AttributesT *v) {
  ReleaseDeep<F_AttributesT, F_ApiDeallocateAttribute>(v);
}

// ------------------------------------------------------------ typed values

// Types without a copy rule (0, 11, 16, 19, out of range) keep only their
// number: the value part stays zeroed, so the copy shares nothing with the
// source (a type-19 copy has no element range).
F_TypedValT F_ApiCopyVal(const F_TypedValT *src) {
  F_TypedValT out;
  std::memset(&out, 0, sizeof out);
  if (src == nullptr) return out;
  out.valType = src->valType;
  const auto &s = src->u;
  auto &d = out.u;
  switch (src->valType) {
  case 1:
  case 2:
  case 4: d.ival = s.ival; break;
  case FT_String: d.sval = F_ApiCopyString(s.sval); break;
  case FT_Metrics: d.msval = F_ApiCopyMetrics(&s.msval); break;
  case FT_Strings: d.ssval = F_ApiCopyStrings(&s.ssval); break;
  case FT_Points: d.psval = F_ApiCopyPoints(&s.psval); break;
  case FT_Tabs: d.tsval = F_ApiCopyTabs(&s.tsval); break;
  case FT_TextLoc: d.tlval = s.tlval; break;
  case FT_TextRange: d.trval = s.trval; break;
  case FT_ElementCatalog: d.csval = F_ApiCopyElementCatalogEntries(&s.csval); break;
  case FT_Ints: d.isval = F_ApiCopyInts(&s.isval); break;
  case FT_UBytes: d.ubsval = F_ApiCopyUBytes(&s.ubsval); break;
  case FT_UInts: d.uisval = F_ApiCopyUInts(&s.uisval); break;
  case FT_AttributeDefs: d.adsval = F_ApiCopyAttributeDefs(&s.adsval); break;
  case FT_Attributes: d.asval = F_ApiCopyAttributes(&s.asval); break;
  case FT_FileFormat:
    d.ffval.str1 = F_ApiCopyString(s.ffval.str1);
    d.ffval.str2 = F_ApiCopyString(s.ffval.str2);
    std::memcpy(d.ffval.code, s.ffval.code, sizeof d.ffval.code);
    break;
  default: break;
  }
  return out;
}

void F_ApiDeallocateVal(F_TypedValT *v) {
  if (v == nullptr) return;
  auto &u = v->u;
  switch (v->valType) {
  case FT_String: F_ApiDeallocateString(&u.sval); break;
  case FT_Metrics: F_ApiDeallocateMetrics(&u.msval); break;
  case FT_Strings: F_ApiDeallocateStrings(&u.ssval); break;
  case FT_Points: F_ApiDeallocatePoints(&u.psval); break;
  case FT_Tabs: F_ApiDeallocateTabs(&u.tsval); break;
  case FT_ElementCatalog: F_ApiDeallocateElementCatalogEntries(&u.csval); break;
  case FT_Ints: F_ApiDeallocateInts(&u.isval); break;
  case FT_UBytes: F_ApiDeallocateUBytes(&u.ubsval); break;
  case FT_UInts: F_ApiDeallocateUInts(&u.uisval); break;
  case FT_AttributeDefs: F_ApiDeallocateAttributeDefs(&u.adsval); break;
  case FT_Attributes: F_ApiDeallocateAttributes(&u.asval); break;
  case FT_FileFormat:
    F_ApiDeallocateString(&u.ffval.str1);
    F_ApiDeallocateString(&u.ffval.str2);
    break;
  default: break;  // plain words, or nothing that this layer owns
  }
}

// ------------------------------------------------------------ property values

F_PropValT F_ApiCopyPropVal(const F_PropValT *src) {
  F_PropValT out;
  std::memset(&out, 0, sizeof out);
  if (src == nullptr) {
    out.propVal.valType = 1;
    return out;
  }
  out.propIdent.num = src->propIdent.num;
  if (src->propIdent.name != nullptr) out.propIdent.name = F_ApiCopyString(src->propIdent.name);
  out.propVal = F_ApiCopyVal(&src->propVal);
  return out;
}

void F_ApiDeallocatePropVal(F_PropValT *v) {
  if (v == nullptr) return;
  F_ApiDeallocateString(&v->propIdent.name);
  F_ApiDeallocateVal(&v->propVal);
}

F_PropValsT F_ApiAllocatePropVals(IntT count) {
  F_PropValsT out = EmptyList<F_PropValsT>();
  if (count <= 0) return out;
  out.val = NewArray<F_PropValT>(static_cast<UIntT>(count));
  if (out.val != nullptr) out.len = static_cast<UIntT>(count);
  return out;
}

F_PropValsT F_ApiCopyPropVals(const F_PropValsT *src) {
  return CopyRecords<F_PropValsT, F_ApiAllocatePropVals, F_ApiCopyPropVal>(src);
}

void F_ApiDeallocatePropVals(F_PropValsT *v) {
  ReleaseDeep<F_PropValsT, F_ApiDeallocatePropVal>(v);
}

// ------------------------------------------------------------ text items

TextItemT F_ApiCopyTextItem(const TextItemT *src) {
  TextItemT out;
  std::memset(&out, 0, sizeof out);
  if (src == nullptr) {
    out.data.dataType = 1;
    return out;
  }
  out.offset = src->offset;
  out.data.dataType = src->data.dataType;
  if (src->data.dataType == 1) out.data.u.sdata = F_ApiCopyString(src->data.u.sdata);
  else out.data.u.idata = src->data.u.idata;
  return out;
}

void F_ApiDeallocateTextItem(TextItemT *v) {
  if (v != nullptr && v->data.dataType == 1) F_ApiDeallocateString(&v->data.u.sdata);
}

// Count 0 still gets a one-element array, so the list always has one.
TextItemsT F_ApiAllocateTextItems(IntT count) {
  TextItemsT out = EmptyList<TextItemsT>();
  UIntT n = count > 0 ? static_cast<UIntT>(count) : 0;
  out.val = NewArray<TextItemT>(n == 0 ? 1 : n);
  if (out.val != nullptr) out.len = n;
  return out;
}

TextItemsT F_ApiCopyTextItems(const TextItemsT *src) {
  return CopyRecords<TextItemsT, F_ApiAllocateTextItems, F_ApiCopyTextItem>(src);
}

void F_ApiDeallocateTextItems(TextItemsT *v) { ReleaseDeep<TextItemsT, F_ApiDeallocateTextItem>(v); }

// ------------------------------------------------------------ lookups

IntT F_ApiGetPropIndex(const F_PropValsT *list, IntT num) {
  if (list == nullptr || list->val == nullptr) return -4;
  for (UIntT i = 0; i < list->len && i <= static_cast<UIntT>(INT32_MAX); ++i)
    if (list->val[i].propIdent.num == num) return static_cast<IntT>(i);
  return -4;
}

// The status value is a list of 32-bit words (type 13 or 15), count x 32
// bits.  A status value of any other type, or one without its words, is an
// empty bit set: every bit is out of range.
IntT F_ApiCheckStatus(const F_PropValsT *list, IntT bit) {
  IntT i = F_ApiGetPropIndex(list, kStatusProp);
  if (i < 0) {
    FA_errno = -5;
    return 0;
  }
  const F_TypedValT &v = list->val[i].propVal;
  const UIntT *words = nullptr;
  UIntT count = 0;
  if (v.valType == FT_UInts) {
    words = v.u.uisval.val;
    count = v.u.uisval.len;
  } else if (v.valType == FT_Ints && v.u.isval.val != nullptr) {
    words = reinterpret_cast<const UIntT *>(v.u.isval.val);  // same words, unsigned view
    count = v.u.isval.len;
  }
  const uint64_t nbits = words != nullptr ? uint64_t{count} * 32 : 0;
  const auto ubit = static_cast<UIntT>(bit);
  if (ubit >= nbits) {
    FA_errno = -4;
    return 0;
  }
  const UIntT mask = UIntT{1} << (ubit % 32);
  return static_cast<IntT>(words[ubit / 32] & mask);
}

void F_ApiBailOut(void) { FA_bailout = 1; }

}  // extern "C"

// ------------------------------------------------------------ default lists

namespace {

// One entry of a default list: property number, value type, value word.
// Types other than 1 keep the zero fill of the allocation as their value
// (null strings, an all-zero text range, a file format with null strings).
struct DefaultEntry {
  IntT prop;
  IntT type;
  IntT value;
};

constexpr DefaultEntry kOpenDefaults[] = {
    {1, 1, 0},   {5, 1, 1},   {7, 1, 0},   {8, 1, 0},   {33, 1, 0},  {9, 1, 0},   {10, 1, 0},
    {11, 1, 0},  {13, 1, 0},  {2, 1, 0},   {14, 1, 0},  {15, 1, 0},  {16, 1, 12}, {17, 1, 5},
    {18, 1, 0},  {19, 1, 0},  {20, 1, 0},  {21, 1, 5},  {22, 1, 0},  {23, 1, 0},  {28, 1, 0},
    {24, 1, 0},  {25, 1, 0},  {32, 1, 0},  {26, 1, 1},  {27, 1, 0},  {29, 1, 0},  {6, 1, 0},
    {30, 1, 0},  {4, 1, 0},   {3, 1, 0},   {12, 1, 0},  {31, 3, 0},  {36, 1, 12}, {35, 1, 12},
    {34, 3, 0},  {37, 1, 0},
};

constexpr DefaultEntry kSaveDefaults[] = {
    {1, 1, 0},  {4, 1, 1},  {5, 1, 2},  {6, 1, 2},    {7, 1, 0},  {8, 1, 0},  {10, 1, 0}, {9, 1, 0},
    {11, 1, 1}, {13, 1, 0666}, {2, 1, 0}, {12, 1, 0}, {3, 1, 0},  {14, 1, 0}, {15, 20, 0},
};

constexpr DefaultEntry kImportDefaults[] = {
    {1, 1, 0},   {2, 1, 0},   {4, 1, 5},   {5, 1, 0},   {6, 3, 0},   {7, 1, 0},   {8, 1, 0},
    {9, 1, 0},   {10, 1, 0},  {11, 1, 0},  {12, 1, 0},  {33, 1, 0},  {17, 1, 0},  {13, 1, 1},
    {15, 1, 72}, {14, 1, 1},  {16, 1, 12}, {18, 1, 1},  {32, 1, 1},  {19, 1, 1},  {20, 3, 0},
    {21, 1, 10}, {22, 1, 1},  {23, 1, 1},  {24, 1, 1},  {25, 3, 0},  {26, 1, 1},  {27, 1, 0},
    {29, 3, 0},  {30, 1, 0},  {28, 1, 1},  {31, 1, 1},  {34, 3, 0},  {3, 1, 0},
};

constexpr DefaultEntry kExportDefaults[] = {
    {1, 1, 0},  {2, 1, 0},  {3, 1, 0},  {4, 1, 0},     {5, 1, 1},   {7, 10, 0},  {6, 1, 8},
    {12, 1, 0}, {8, 1, 0},  {9, 1, 0},  {10, 1, 0},    {11, 1, 1},  {13, 1, 0666}, {15, 1, 72},
    {14, 1, 1}, {16, 20, 0},
};

static_assert(std::size(kOpenDefaults) == 37);
static_assert(std::size(kSaveDefaults) == 15);
static_assert(std::size(kImportDefaults) == 34);
static_assert(std::size(kExportDefaults) == 16);

template <std::size_t N> F_PropValsT BuildDefaults(const DefaultEntry (&table)[N]) {
  F_PropValsT list = F_ApiAllocatePropVals(static_cast<IntT>(N));
  if (list.len == 0) return list;
  for (UIntT i = 0; i < list.len; ++i) list.val[i].propVal.valType = 1;
  UIntT filled = 0;
  for (const DefaultEntry &e : table) {
    if (filled >= list.len) break;
    F_PropValT &pv = list.val[filled++];
    pv.propIdent.num = e.prop;
    pv.propVal.valType = e.type;
    if (e.type == 1) pv.propVal.u.ival = e.value;
  }
  if (filled != list.len || filled != N) fail();
  return list;
}

}  // namespace

extern "C" {

F_PropValsT F_ApiGetOpenDefaultParams(void) { return BuildDefaults(kOpenDefaults); }
F_PropValsT F_ApiGetSaveDefaultParams(void) { return BuildDefaults(kSaveDefaults); }
F_PropValsT F_ApiGetImportDefaultParams(void) { return BuildDefaults(kImportDefaults); }
F_PropValsT F_ApiGetExportDefaultParams(void) { return BuildDefaults(kExportDefaults); }

}  // extern "C"
