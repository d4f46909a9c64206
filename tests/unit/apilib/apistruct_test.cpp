// Copies, releases, list allocation and property lookups of the API values.
#include "fapi_runtime.h"
#include "fapi_values.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "dry_heap.h"
#include "value_samples.h"

using apilib_test::Disjoint;
using apilib_test::DryHeap;
using apilib_test::FreeSample;
using apilib_test::OwnedBy;
using apilib_test::SampleVal;
using apilib_test::Str;
using apilib_test::Strings;
using apilib_test::Wire;

namespace {

// ------------------------------------------------------------ typed values

// Every type with a copy rule: the copy equals the source on the wire, owns
// none of the source's blocks, and its release leaves it empty (twice).
class CopyValByType : public testing::TestWithParam<IntT> {};

TEST_P(CopyValByType, CopyIsDeepAndReleaseEmptiesIt) {
  F_TypedValT src = SampleVal(GetParam());
  const std::string before = Wire(src);

  F_TypedValT copy = F_ApiCopyVal(&src);
  EXPECT_EQ(copy.valType, src.valType);
  EXPECT_EQ(Wire(copy), before);
  EXPECT_TRUE(Disjoint(copy, src));
  EXPECT_EQ(OwnedBy(copy).blocks.size(), OwnedBy(src).blocks.size());

  F_ApiDeallocateVal(&copy);
  EXPECT_EQ(copy.valType, src.valType) << "the type survives the release";
  EXPECT_TRUE(OwnedBy(copy).Empty());
  F_ApiDeallocateVal(&copy);  // harmless
  EXPECT_TRUE(OwnedBy(copy).Empty());

  EXPECT_EQ(Wire(src), before) << "releasing the copy touched the source";
  FreeSample(&src);
}

INSTANTIATE_TEST_SUITE_P(AllCopiedTypes, CopyValByType,
                         testing::Values(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15, 17, 18,
                                         20));

// Types without a copy rule keep their number and get a zeroed value part:
// nothing is shared, in particular not a type-19 element range.
class CopyValUnlisted : public testing::TestWithParam<IntT> {};

TEST_P(CopyValUnlisted, CopiesTheTypeAndZeroesTheValue) {
  F_TypedValT src = SampleVal(GetParam());
  F_TypedValT copy = F_ApiCopyVal(&src);
  EXPECT_EQ(copy.valType, GetParam());
  decltype(copy.u) zero;
  std::memset(&zero, 0, sizeof zero);
  EXPECT_EQ(std::memcmp(&copy.u, &zero, sizeof zero), 0);
  F_ApiDeallocateVal(&copy);
  FreeSample(&src);
}

INSTANTIATE_TEST_SUITE_P(UnlistedTypes, CopyValUnlisted,
                         testing::Values(0, 11, 16, 19, 21, 42, -1, INT_MIN));

TEST(CopyVal, NullSourceAndPlainWordsAreNotReleased) {
  F_TypedValT none = F_ApiCopyVal(nullptr);
  EXPECT_EQ(none.valType, 0);
  F_ApiDeallocateVal(nullptr);

  // Types 9 and 10 are plain words: their release changes nothing.
  F_TypedValT range = SampleVal(FT_TextRange);
  F_ApiDeallocateVal(&range);
  EXPECT_EQ(range.valType, FT_TextRange);
  EXPECT_EQ(range.u.trval.end.offset, 8);
  F_TypedValT loc = SampleVal(FT_TextLoc);
  F_ApiDeallocateVal(&loc);
  EXPECT_EQ(loc.u.tlval.objId, 5u);
}

// ------------------------------------------------------------ flat lists

// Each flat list's copy function and release, with a sample of 3 elements.
template <class L, L (*CopyFn)(const L *), void (*ReleaseFn)(L *)> struct Flat {
  using List = L;
  using Elem = std::remove_pointer_t<decltype(L::val)>;
  static L Copy(const L *s) { return CopyFn(s); }
  static void Release(L *v) { ReleaseFn(v); }
};

using FlatKinds =
    testing::Types<Flat<F_UBytesT, F_ApiCopyUBytes, F_ApiDeallocateUBytes>,
                   Flat<F_MetricsT, F_ApiCopyMetrics, F_ApiDeallocateMetrics>,
                   Flat<F_IntsT, F_ApiCopyInts, F_ApiDeallocateInts>,
                   Flat<F_UIntsT, F_ApiCopyUInts, F_ApiDeallocateUInts>,
                   Flat<F_PointsT, F_ApiCopyPoints, F_ApiDeallocatePoints>,
                   Flat<F_ElementCatalogEntriesT, F_ApiCopyElementCatalogEntries,
                        F_ApiDeallocateElementCatalogEntries>>;

template <class K> class FlatList : public testing::Test {};
TYPED_TEST_SUITE(FlatList, FlatKinds);

TYPED_TEST(FlatList, CopyIsIndependentOfTheSource) {
  using L = typename TypeParam::List;
  using E = typename TypeParam::Elem;
  E items[3];
  std::memset(items, 0x5A, sizeof items);
  L src{3, items};
  L copy = TypeParam::Copy(&src);
  ASSERT_EQ(copy.len, 3u);
  ASSERT_NE(copy.val, nullptr);
  EXPECT_NE(copy.val, items);
  EXPECT_EQ(std::memcmp(copy.val, items, sizeof items), 0);
  TypeParam::Release(&copy);
  EXPECT_EQ(copy.len, 0u);
  EXPECT_EQ(copy.val, nullptr);
  TypeParam::Release(&copy);
  TypeParam::Release(nullptr);
}

TYPED_TEST(FlatList, CountWithoutElementsGivesZeroedElements) {
  using L = typename TypeParam::List;
  using E = typename TypeParam::Elem;
  L src{2, nullptr};
  L copy = TypeParam::Copy(&src);
  ASSERT_EQ(copy.len, 2u);
  ASSERT_NE(copy.val, nullptr);
  E zero[2];
  std::memset(zero, 0, sizeof zero);
  EXPECT_EQ(std::memcmp(copy.val, zero, sizeof zero), 0);
  TypeParam::Release(&copy);
}

TYPED_TEST(FlatList, EmptyNullAndExhaustedGiveTheEmptyList) {
  using L = typename TypeParam::List;
  using E = typename TypeParam::Elem;
  L empty{0, nullptr};
  L a = TypeParam::Copy(&empty);
  EXPECT_EQ(a.len, 0u);
  EXPECT_EQ(a.val, nullptr);
  L b = TypeParam::Copy(nullptr);
  EXPECT_EQ(b.len, 0u);
  E items[2] = {};
  L src{2, items};
  DryHeap dry;
  L c = TypeParam::Copy(&src);
  EXPECT_EQ(c.len, 0u);
  EXPECT_EQ(c.val, nullptr);
}

// ------------------------------------------------------------ deep lists

TEST(DeepLists, CountWithoutElementsGivesEmptyElements) {
  F_StringsT s{2, nullptr};
  F_StringsT sc = F_ApiCopyStrings(&s);
  ASSERT_EQ(sc.len, 2u);
  EXPECT_EQ(sc.val[0], nullptr);
  EXPECT_EQ(sc.val[1], nullptr);
  F_ApiDeallocateStrings(&sc);
  EXPECT_EQ(sc.len, 0u);

  F_AttributeDefsT d{1, nullptr};
  F_AttributeDefsT dc = F_ApiCopyAttributeDefs(&d);
  ASSERT_EQ(dc.len, 1u);
  EXPECT_TRUE(OwnedBy(dc.val[0]).Empty());
  F_ApiDeallocateAttributeDefs(&dc);

  // A released list without elements but with a count ends at count 0.
  F_TabsT t{5, nullptr};
  F_ApiDeallocateTabs(&t);
  EXPECT_EQ(t.len, 0u);
}

TEST(DeepLists, NullStringsAreCopiedAsEmptyStrings) {
  F_StringsT src = Strings({"x", nullptr});
  F_StringsT copy = F_ApiCopyStrings(&src);
  ASSERT_EQ(copy.len, 2u);
  EXPECT_STREQ(copy.val[0], "x");
  ASSERT_NE(copy.val[1], nullptr);
  EXPECT_STREQ(copy.val[1], "");
  F_ApiDeallocateStrings(&copy);
  xdr_free(fdk::xdr::proc_of<F_StringsT>(), reinterpret_cast<char *>(&src));
}

// Elements are copied from the last to the first; one that cannot be copied
// stays empty while the others are complete.
TEST(DeepLists, AnElementThatCannotBeCopiedStaysEmpty) {
  F_StringsT src = Strings({"first", "second", "third"});
  F_StringsT copy;
  {
    DryHeap dry(3);  // 1: the array, 2: "third", 3: "second"
    copy = F_ApiCopyStrings(&src);
  }
  ASSERT_EQ(copy.len, 3u);
  EXPECT_STREQ(copy.val[0], "first");
  EXPECT_EQ(copy.val[1], nullptr);
  EXPECT_STREQ(copy.val[2], "third");
  F_ApiDeallocateStrings(&copy);
  xdr_free(fdk::xdr::proc_of<F_StringsT>(), reinterpret_cast<char *>(&src));

  F_TypedValT defs = SampleVal(FT_AttributeDefs);
  F_AttributeDefsT dc;
  {
    DryHeap dry(1);  // the array itself
    dc = F_ApiCopyAttributeDefs(&defs.u.adsval);
  }
  EXPECT_EQ(dc.len, 0u);
  EXPECT_EQ(dc.val, nullptr);
  FreeSample(&defs);
}

TEST(DeepLists, ElementCopiesAndReleases) {
  F_TypedValT tabs = SampleVal(FT_Tabs);
  F_TabT tab = F_ApiCopyTab(&tabs.u.tsval.val[1]);
  EXPECT_EQ(tab.x, 200);
  EXPECT_EQ(tab.type, 2);
  EXPECT_EQ(tab.decimal, ',');
  EXPECT_STREQ(tab.leader, "-");
  EXPECT_NE(tab.leader, tabs.u.tsval.val[1].leader);
  F_ApiDeallocateTab(&tab);
  EXPECT_EQ(tab.leader, nullptr);
  FreeSample(&tabs);

  F_TypedValT defs = SampleVal(FT_AttributeDefs);
  F_AttributeDefT def = F_ApiCopyAttributeDef(&defs.u.adsval.val[0]);
  EXPECT_EQ(Wire(def), Wire(defs.u.adsval.val[0]));
  EXPECT_TRUE(Disjoint(def, defs));
  F_ApiDeallocateAttributeDef(&def);
  EXPECT_TRUE(OwnedBy(def).Empty());
  F_ApiDeallocateAttributeDef(&def);
  FreeSample(&defs);

  F_TypedValT attrs = SampleVal(FT_Attributes);
  F_AttributeT attr = F_ApiCopyAttribute(&attrs.u.asval.val[0]);
  EXPECT_EQ(Wire(attr), Wire(attrs.u.asval.val[0]));
  EXPECT_TRUE(Disjoint(attr, attrs));
  F_ApiDeallocateAttribute(&attr);
  EXPECT_TRUE(OwnedBy(attr).Empty());
  FreeSample(&attrs);
}

// ------------------------------------------------------------ property values

TEST(PropVals, CopyOfOneValue) {
  F_PropValT none = F_ApiCopyPropVal(nullptr);
  EXPECT_EQ(none.propIdent.num, 0);
  EXPECT_EQ(none.propIdent.name, nullptr);
  EXPECT_EQ(none.propVal.valType, 1);
  EXPECT_EQ(none.propVal.u.ival, 0);

  F_PropValT byNum{{16, nullptr}, SampleVal(FT_Strings)};
  F_PropValT c1 = F_ApiCopyPropVal(&byNum);
  EXPECT_EQ(c1.propIdent.num, 16);
  EXPECT_EQ(c1.propIdent.name, nullptr) << "a null name stays null";
  EXPECT_EQ(Wire(c1), Wire(byNum));
  EXPECT_TRUE(Disjoint(c1, byNum));
  F_ApiDeallocatePropVal(&c1);
  EXPECT_TRUE(OwnedBy(c1).Empty());
  F_ApiDeallocatePropVal(&c1);
  F_ApiDeallocatePropVal(nullptr);

  F_PropValT byName{{0, Str("Color")}, SampleVal(FT_String)};
  F_PropValT c2 = F_ApiCopyPropVal(&byName);
  EXPECT_STREQ(c2.propIdent.name, "Color");
  EXPECT_TRUE(Disjoint(c2, byName));
  F_ApiDeallocatePropVal(&c2);
  EXPECT_EQ(c2.propIdent.name, nullptr);

  FreeSample(&byNum.propVal);
  xdr_free(fdk::xdr::proc_of<F_PropValT>(), reinterpret_cast<char *>(&byName));
}

TEST(PropVals, ListCopyIsDeep) {
  F_PropValT items[3] = {{{1, nullptr}, SampleVal(FT_Tabs)},
                         {{0, Str("n")}, SampleVal(FT_FileFormat)},
                         {{3, nullptr}, SampleVal(FT_UInts)}};
  F_PropValsT src{3, items};
  const std::string before = Wire(src);
  F_PropValsT copy = F_ApiCopyPropVals(&src);
  ASSERT_EQ(copy.len, 3u);
  EXPECT_EQ(Wire(copy), before);
  EXPECT_TRUE(Disjoint(copy, src));
  F_ApiDeallocatePropVals(&copy);
  EXPECT_EQ(copy.len, 0u);
  EXPECT_EQ(copy.val, nullptr);
  F_ApiDeallocatePropVals(&copy);
  F_ApiDeallocatePropVals(nullptr);
  EXPECT_EQ(Wire(src), before);
  for (F_PropValT &pv : items) xdr_free(fdk::xdr::proc_of<F_PropValT>(), reinterpret_cast<char *>(&pv));
}

TEST(PropVals, ListsWithoutElementsAreEmpty) {
  F_PropValsT countOnly{2, nullptr};
  F_PropValsT a = F_ApiCopyPropVals(&countOnly);
  EXPECT_EQ(a.len, 0u);
  EXPECT_EQ(a.val, nullptr);
  F_PropValsT b = F_ApiCopyPropVals(nullptr);
  EXPECT_EQ(b.len, 0u);
  F_ApiDeallocatePropVals(&countOnly);
  EXPECT_EQ(countOnly.len, 0u);
}

TEST(PropVals, Allocation) {
  F_PropValsT l = F_ApiAllocatePropVals(4);
  ASSERT_EQ(l.len, 4u);
  for (UIntT i = 0; i < l.len; ++i) {
    EXPECT_EQ(l.val[i].propIdent.num, 0);
    EXPECT_EQ(l.val[i].propVal.valType, 0);
  }
  F_ApiDeallocatePropVals(&l);
  EXPECT_EQ(F_ApiAllocatePropVals(0).len, 0u);
  EXPECT_EQ(F_ApiAllocatePropVals(-3).len, 0u);
  DryHeap dry;
  F_PropValsT none = F_ApiAllocatePropVals(4);
  EXPECT_EQ(none.len, 0u);
  EXPECT_EQ(none.val, nullptr);
}

// ------------------------------------------------------------ text items

TEST(TextItems, CopyOfOneItem) {
  TextItemT none = F_ApiCopyTextItem(nullptr);
  EXPECT_EQ(none.offset, 0);
  EXPECT_EQ(none.data.dataType, 1);
  EXPECT_EQ(none.data.u.sdata, nullptr);

  TextItemT str{4, {1, {.sdata = Str("text")}}};
  TextItemT c = F_ApiCopyTextItem(&str);
  EXPECT_EQ(c.offset, 4);
  EXPECT_STREQ(c.data.u.sdata, "text");
  EXPECT_NE(c.data.u.sdata, str.data.u.sdata);
  F_ApiDeallocateTextItem(&c);
  EXPECT_EQ(c.data.u.sdata, nullptr);
  std::free(str.data.u.sdata);

  // Any other data type is a handle in one word; the release leaves it.
  TextItemT handle{9, {2, {.idata = 0xCAFEu}}};
  TextItemT h = F_ApiCopyTextItem(&handle);
  EXPECT_EQ(h.data.dataType, 2);
  EXPECT_EQ(h.data.u.idata, 0xCAFEu);
  F_ApiDeallocateTextItem(&h);
  EXPECT_EQ(h.data.u.idata, 0xCAFEu);
}

TEST(TextItems, ListAllocationCopyAndRelease) {
  TextItemsT zero = F_ApiAllocateTextItems(0);
  EXPECT_EQ(zero.len, 0u);
  EXPECT_NE(zero.val, nullptr) << "count 0 still gets one element";
  F_ApiDeallocateTextItems(&zero);  // the leak checker sees whether it was freed
  EXPECT_EQ(zero.val, nullptr);

  TextItemT items[3] = {{0, {1, {.sdata = Str("a")}}},
                        {1, {5, {.idata = 77}}},
                        {2, {1, {.sdata = Str("")}}}};
  TextItemsT src{3, items};
  const std::string before = Wire(src);
  TextItemsT copy = F_ApiCopyTextItems(&src);
  EXPECT_EQ(Wire(copy), before);
  EXPECT_TRUE(Disjoint(copy, src));
  F_ApiDeallocateTextItems(&copy);
  EXPECT_EQ(copy.len, 0u);
  EXPECT_EQ(copy.val, nullptr);
  F_ApiDeallocateTextItems(&copy);
  EXPECT_EQ(Wire(src), before);
  std::free(items[0].data.u.sdata);
  std::free(items[2].data.u.sdata);

  TextItemsT countOnly{3, nullptr};
  TextItemsT empty = F_ApiCopyTextItems(&countOnly);
  EXPECT_EQ(empty.len, 0u);
  F_ApiDeallocateTextItems(&empty);

  DryHeap dry;
  TextItemsT none = F_ApiAllocateTextItems(2);
  EXPECT_EQ(none.len, 0u);
  EXPECT_EQ(none.val, nullptr);
}

// ------------------------------------------------------------ lookups

F_PropValT Word(IntT num, IntT value) {
  F_PropValT pv;
  std::memset(&pv, 0, sizeof pv);
  pv.propIdent.num = num;
  pv.propVal.valType = 1;
  pv.propVal.u.ival = value;
  return pv;
}

TEST(GetPropIndex, FindsTheFirstEntryByNumberOnly) {
  F_PropValT items[4] = {Word(5, 0), Word(0, 0), Word(9, 1), Word(9, 2)};
  items[1].propIdent.name = const_cast<StringT>("ByName");
  F_PropValsT list{4, items};
  FA_errno = 123;
  EXPECT_EQ(F_ApiGetPropIndex(&list, 5), 0);
  EXPECT_EQ(F_ApiGetPropIndex(&list, 9), 2) << "the lower of two equal numbers";
  EXPECT_EQ(F_ApiGetPropIndex(&list, 0), 1) << "a named entry is found by 0";
  EXPECT_EQ(F_ApiGetPropIndex(&list, 7), -4);
  EXPECT_EQ(F_ApiGetPropIndex(nullptr, 5), -4);
  F_PropValsT noElems{4, nullptr};
  EXPECT_EQ(F_ApiGetPropIndex(&noElems, 5), -4);
  EXPECT_EQ(FA_errno, 123) << "the lookup does not report through FA_errno";
}

TEST(CheckStatus, TestsOneBitOfTheStatusWords) {
  UIntT words[2] = {0x80000001u, 0x00000002u};
  F_PropValT items[2] = {Word(1, 0), Word(3, 0)};
  items[1].propVal.valType = FT_UInts;
  items[1].propVal.u.uisval = {2, words};
  F_PropValsT list{2, items};

  FA_errno = 0;
  EXPECT_EQ(F_ApiCheckStatus(&list, 0), 1);
  EXPECT_EQ(F_ApiCheckStatus(&list, 1), 0);
  EXPECT_EQ(static_cast<UIntT>(F_ApiCheckStatus(&list, 31)), 0x80000000u)
      << "the mask itself, not 1";
  EXPECT_EQ(F_ApiCheckStatus(&list, 33), 2);
  EXPECT_EQ(FA_errno, 0) << "set or clear bits leave FA_errno alone";

  EXPECT_EQ(F_ApiCheckStatus(&list, 64), 0);
  EXPECT_EQ(FA_errno, -4);
  FA_errno = 0;
  EXPECT_EQ(F_ApiCheckStatus(&list, -1), 0) << "compared as unsigned";
  EXPECT_EQ(FA_errno, -4);

  // One word: bit 32 is out of range.
  items[1].propVal.u.uisval.len = 1;
  FA_errno = 0;
  EXPECT_EQ(F_ApiCheckStatus(&list, 32), 0);
  EXPECT_EQ(FA_errno, -4);

  // Signed words are read the same way.
  IntT signedWords[1] = {INT_MIN};
  items[1].propVal.valType = FT_Ints;
  items[1].propVal.u.isval = {1, signedWords};
  EXPECT_NE(F_ApiCheckStatus(&list, 31), 0);
}

TEST(CheckStatus, MissingOrUnreadableStatus) {
  F_PropValT items[1] = {Word(1, 0)};
  F_PropValsT list{1, items};
  FA_errno = 0;
  EXPECT_EQ(F_ApiCheckStatus(&list, 0), 0);
  EXPECT_EQ(FA_errno, -5);
  FA_errno = 0;
  EXPECT_EQ(F_ApiCheckStatus(nullptr, 0), 0);
  EXPECT_EQ(FA_errno, -5);

  // A status that is a single word, or words without storage, has no bits.
  items[0] = Word(3, -1);
  FA_errno = 0;
  EXPECT_EQ(F_ApiCheckStatus(&list, 0), 0);
  EXPECT_EQ(FA_errno, -4);
  items[0].propVal.valType = FT_UInts;
  items[0].propVal.u.uisval = {4, nullptr};
  FA_errno = 0;
  EXPECT_EQ(F_ApiCheckStatus(&list, 0), 0);
  EXPECT_EQ(FA_errno, -4);
}

TEST(BailOut, SetsTheFlag) {
  FA_bailout = 0;
  F_ApiBailOut();
  EXPECT_EQ(FA_bailout, 1);
  FA_bailout = 0;
}

}  // namespace
