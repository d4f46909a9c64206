// The API values: one sample per value type (its wire bytes, its copy and
// release, under a heap that fails at each step), property value and text
// item lists, lookups, the default parameter lists, strings and memory.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <set>

#include "fapi_runtime.h"
#include "fapi_values.h"
#include "fixture.hpp"

using namespace fdk_test;

namespace {

// Samples are built with the C library's heap and freed with xdr_free,
// independently of the code under test.
StringT Str(const char *s) { return s != nullptr ? strdup(s) : nullptr; }

template <class L> L List(std::initializer_list<std::remove_pointer_t<decltype(L::val)>> items) {
    L l{static_cast<UIntT>(items.size()), nullptr};
    if (l.len != 0) l.val = static_cast<decltype(l.val)>(std::calloc(l.len, sizeof *l.val));
    if (l.len != 0) std::copy(items.begin(), items.end(), l.val);
    return l;
}

F_StringsT Strings(std::initializer_list<const char *> items) {
    F_StringsT l{static_cast<UIntT>(items.size()), nullptr};
    if (l.len != 0) l.val = static_cast<StringT *>(std::calloc(l.len, sizeof(StringT)));
    std::transform(items.begin(), items.end(), l.val, Str);
    return l;
}

F_TypedValT SampleVal(IntT t) {
    F_TypedValT v{t, {}};
    auto &u = v.u;
    switch (t) {
    case FT_String: u.sval = Str("three"); break;
    case FT_Metrics: u.msval = List<F_MetricsT>({10, -20, 30}); break;
    case FT_Strings: u.ssval = Strings({"a", "bc", ""}); break;
    case FT_Points: u.psval = List<F_PointsT>({{1, 2}, {-3, 4}}); break;
    case FT_Tabs: u.tsval = List<F_TabsT>({{100, 1, Str(".."), '.'}, {200, 2, Str("-"), ','}}); break;
    case FT_TextLoc: u.tlval = {5, 6}; break;
    case FT_TextRange: u.trval = {{5, 6}, {7, 8}}; break;
    case FT_ElementCatalog: u.csval = List<F_ElementCatalogEntriesT>({{7, 1}, {8, 2}}); break;
    case FT_Ints: u.isval = List<F_IntsT>({-1, 0, 1}); break;
    case FT_UBytes: u.ubsval = List<F_UBytesT>({1, 2, 255}); break;
    case FT_UInts: u.uisval = List<F_UIntsT>({0xFFFFFFFFu, 1}); break;
    case FT_AttributeDefs:
        u.adsval = List<F_AttributeDefsT>(
            {{Str("attr"), 1, 0, 2, Strings({"x", "y"}), Strings({"x"}), Str("0"), Str("9")},
             {Str("other"), 0, 1, 3, Strings({}), Strings({"d"}), Str(""), Str("z")}});
        break;
    case FT_Attributes:
        u.asval = List<F_AttributesT>(
            {{Str("a"), Strings({"v", "w"}), 1, 0}, {Str("b"), Strings({}), 0, 1}});
        break;
    case FT_ElementRange:
        u.erngval = static_cast<F_ElementRangeT *>(std::malloc(sizeof(F_ElementRangeT)));
        *u.erngval = {{1, 2, 3}, {4, 5, 6}};
        break;
    case FT_FileFormat: u.ffval = {Str("fmt"), Str("ext"), {'A', 'B', 'C', 'D'}}; break;
    default: u.ival = 1000 + t; break;
    }
    return v;
}

template <class T> void Free(T &v) { xdr_free(fdk::xdr::proc_of<T>(), reinterpret_cast<char *>(&v)); }

// Every block a value owns (also the name of a numbered identifier, which
// does not travel).
template <class M> void Collect(const M &m, std::multiset<const void *> &blocks) {
    using namespace fdk::xdr;
    if constexpr (std::is_same_v<M, F_PropIdentT>) {
        if (m.name != nullptr) blocks.insert(m.name);
    } else if constexpr (std::is_same_v<M, StringT>) {
        if (m != nullptr) blocks.insert(m);
    } else if constexpr (IsArray<M>) {
        if (m.val != nullptr) blocks.insert(m.val);
        for (UIntT i = 0; m.val != nullptr && i < m.len; ++i) Collect(m.val[i], blocks);
    } else if constexpr (IsWalkable<M>) {
        for_each_field(m, [&blocks](std::string_view, const auto &f) { Collect(f, blocks); });
    } else if constexpr (std::is_pointer_v<M>) {
        if (m != nullptr) blocks.insert(m);
        if (m != nullptr) Collect(*m, blocks);
    }
}

template <class T> std::multiset<const void *> Blocks(const T &v) {
    std::multiset<const void *> b;
    Collect(v, b);
    return b;
}

// `copy` equals `src` on the wire and owns as many blocks, none of src's.
template <class T> void ExpectDeepCopy(Proc<T> proc, T copy, T src) {
    EXPECT_EQ(hex(encode(proc, copy)), hex(encode(proc, src)));
    auto mine = Blocks(copy), theirs = Blocks(src);
    EXPECT_EQ(mine.size(), theirs.size());
    for (const void *p : mine) EXPECT_EQ(theirs.count(p), 0u) << "a block is shared";
}

// Released: it owns nothing and no count is left without its elements.
template <class T> bool Released(Proc<T> proc, T v) {
    bool ok = false;
    encode(proc, v, &ok);
    return ok && Blocks(v).empty();
}

struct Sample {
    IntT type;
    const char *wire;
    bool copied;  // the type has a copy rule; the others copy as type alone
};

const Sample kSamples[] = {
    {0, "0 1000", false},
    {1, "1 1001", true},
    {2, "2 1002", true},
    {FT_String, "3 'three'", true},
    {4, "4 1004", true},
    {FT_Metrics, "5 3 10 -20 30", true},
    {FT_Strings, "6 3 'a' 'bc' ''", true},
    {FT_Points, "7 2 1 2 -3 4", true},
    {FT_Tabs, "8 2 100 1 '..' 46 200 2 '-' 44", true},
    {FT_TextLoc, "9 5 6", true},
    {FT_TextRange, "10 5 6 7 8", true},
    {11, "11 1011", false},
    {FT_ElementCatalog, "12 2 7 1 8 2", true},
    {FT_Ints, "13 3 -1 0 1", true},
    {FT_UBytes, "14 3 1 2 255", true},
    {FT_UInts, "15 2 0xFFFFFFFF 1", true},
    {16, "16 1016", false},
    {FT_AttributeDefs,
     "17 2 'attr' 1 0 2 2 'x' 'y' 1 'x' '0' '9' 'other' 0 1 3 0 1 'd' '' 'z'", true},
    {FT_Attributes, "18 2 'a' 2 'v' 'w' 1 0 'b' 0 0 1", true},
    {FT_ElementRange, "19 1 1 2 3 4 5 6", false},
    {FT_FileFormat, "20 'fmt' 'ext' 65 66 67 68", true},
    {42, "42 1042", false},
    {-1, "-1 999", false},
};

class ValueSample : public testing::TestWithParam<Sample> {};

TEST_P(ValueSample, EncodesCopiesAndReleases) {
    const Sample &s = GetParam();
    F_TypedValT src = SampleVal(s.type);
    check_golden(xdr_F_TypedValT, src, s.wire);

    F_TypedValT copy = F_ApiCopyVal(&src);
    EXPECT_EQ(copy.valType, s.type);
    if (s.copied) {
        ExpectDeepCopy(xdr_F_TypedValT, copy, src);
    } else {
        // Nothing is shared, in particular not a type-19 element range.
        decltype(copy.u) zero;
        std::memset(&zero, 0, sizeof zero);
        EXPECT_EQ(std::memcmp(&copy.u, &zero, sizeof zero), 0);
    }
    F_ApiDeallocateVal(&copy);
    EXPECT_EQ(copy.valType, s.type) << "the type survives the release";
    EXPECT_TRUE(Released(xdr_F_TypedValT, copy));
    F_ApiDeallocateVal(&copy);  // harmless

    // A copy that runs out of memory at any step is still released whole.
    for (int n = 1; n <= 24; ++n) {
        F_TypedValT partial;
        {
            DryHeap dry(n);
            partial = F_ApiCopyVal(&src);
        }
        bool ok = false;
        encode(xdr_F_TypedValT, partial, &ok);
        EXPECT_TRUE(ok) << "a partial copy is a whole value, " << n;
        F_ApiDeallocateVal(&partial);
        EXPECT_TRUE(Released(xdr_F_TypedValT, partial)) << n;
    }
    EXPECT_EQ(hex(encode(xdr_F_TypedValT, src)), hex(W(s.wire))) << "the source was touched";
    Free(src);
}

INSTANTIATE_TEST_SUITE_P(EveryType, ValueSample, testing::ValuesIn(kSamples));

TEST(ValueLists, PropertyValuesAndTextItemsCopyDeep) {
    F_PropValT pvs[] = {{{1, nullptr}, SampleVal(FT_Tabs)},
                        {{0, Str("n")}, SampleVal(FT_FileFormat)},
                        {{3, nullptr}, SampleVal(FT_Strings)}};
    F_PropValsT props{3, pvs};
    F_PropValsT copy = F_ApiCopyPropVals(&props);
    ExpectDeepCopy(xdr_F_PropValsT, copy, props);
    F_ApiDeallocatePropVals(&copy);
    EXPECT_TRUE(Released(xdr_F_PropValsT, copy));
    F_PropValT one = F_ApiCopyPropVal(&pvs[1]);
    ExpectDeepCopy(xdr_F_PropValT, one, pvs[1]);
    F_ApiDeallocatePropVal(&one);
    EXPECT_TRUE(Released(xdr_F_PropValT, one));
    for (F_PropValT &pv : pvs) Free(pv);

    TextItemsT text = List<TextItemsT>(
        {{0, {1, {.sdata = Str("a")}}}, {1, {5, {.idata = 77}}}, {2, {1, {.sdata = Str("")}}}});
    TextItemsT tcopy = F_ApiCopyTextItems(&text);
    ExpectDeepCopy(xdr_TextItemsT, tcopy, text);
    F_ApiDeallocateTextItems(&tcopy);
    EXPECT_TRUE(Released(xdr_TextItemsT, tcopy));
    TextItemT item = F_ApiCopyTextItem(&text.val[1]);
    EXPECT_EQ(item.data.u.idata, 77u);
    F_ApiDeallocateTextItem(&item);
    EXPECT_EQ(item.data.u.idata, 77u) << "a handle is no block of its own";
    Free(text);
}

// Null sources, counts without elements, a heap that is dry.
TEST(ValueLists, EdgeCases) {
    EXPECT_EQ(F_ApiCopyVal(nullptr).valType, 0);
    F_PropValT pv = F_ApiCopyPropVal(nullptr);
    EXPECT_EQ(pv.propVal.valType, 1);
    EXPECT_EQ(pv.propIdent.name, nullptr);
    EXPECT_EQ(F_ApiCopyTextItem(nullptr).data.dataType, 1);
    EXPECT_EQ(F_ApiCopyPropVals(nullptr).len, 0u);
    EXPECT_EQ(F_ApiCopyInts(nullptr).len, 0u);
    F_ApiDeallocateVal(nullptr);
    F_ApiDeallocatePropVals(nullptr);
    F_ApiDeallocateInts(nullptr);

    // Flat lists get zeroed elements, deep lists empty ones, record lists none.
    F_IntsT ints{2, nullptr};
    F_IntsT ic = F_ApiCopyInts(&ints);
    ASSERT_EQ(ic.len, 2u);
    EXPECT_EQ(ic.val[0] | ic.val[1], 0);
    F_ApiDeallocateInts(&ic);
    F_StringsT strs{2, nullptr};
    F_StringsT sc = F_ApiCopyStrings(&strs);
    ASSERT_EQ(sc.len, 2u);
    EXPECT_EQ(sc.val[1], nullptr);
    F_ApiDeallocateStrings(&sc);
    F_PropValsT props{2, nullptr};
    EXPECT_EQ(F_ApiCopyPropVals(&props).len, 0u);
    TextItemsT text{2, nullptr};
    EXPECT_EQ(F_ApiCopyTextItems(&text).len, 0u);
    F_TabsT tabs{5, nullptr};
    F_ApiDeallocateTabs(&tabs);
    EXPECT_EQ(tabs.len, 0u);

    F_PropValsT four = F_ApiAllocatePropVals(4);
    ASSERT_EQ(four.len, 4u);
    EXPECT_EQ(four.val[3].propIdent.num, 0);
    F_ApiDeallocatePropVals(&four);
    EXPECT_EQ(F_ApiAllocatePropVals(-3).len, 0u);
    TextItemsT none = F_ApiAllocateTextItems(0);
    EXPECT_EQ(none.len, 0u);
    EXPECT_NE(none.val, nullptr) << "count 0 still gets one element";
    F_ApiDeallocateTextItems(&none);

    DryHeap dry;
    EXPECT_EQ(F_ApiCopyInts(&ints).val, nullptr);
    EXPECT_EQ(F_ApiAllocatePropVals(2).val, nullptr);
    EXPECT_EQ(F_ApiAllocateTextItems(2).val, nullptr);
    EXPECT_EQ(F_ApiCopyString("x"), nullptr);
}

// Elements are copied last to first; one that cannot be copied stays empty.
TEST(ValueLists, AnElementThatCannotBeCopiedStaysEmpty) {
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
    Free(src);
}

// ---------------------------------------------------------------------------
// Lookups

F_PropValT Word(IntT num, IntT value) { return {{num, nullptr}, {1, {value}}}; }

TEST(Lookups, GetPropIndexFindsTheFirstEntryByNumber) {
    F_PropValT items[] = {Word(5, 0), {{0, const_cast<char *>("ByName")}, {1, {0}}}, Word(9, 1),
                          Word(9, 2)};
    F_PropValsT list{4, items};
    FA_errno = 123;
    EXPECT_EQ(F_ApiGetPropIndex(&list, 5), 0);
    EXPECT_EQ(F_ApiGetPropIndex(&list, 9), 2);
    EXPECT_EQ(F_ApiGetPropIndex(&list, 0), 1);
    EXPECT_EQ(F_ApiGetPropIndex(&list, 7), -4);
    EXPECT_EQ(F_ApiGetPropIndex(nullptr, 5), -4);
    F_PropValsT noElems{4, nullptr};
    EXPECT_EQ(F_ApiGetPropIndex(&noElems, 5), -4);
    EXPECT_EQ(FA_errno, 123) << "the lookup leaves FA_errno alone";
}

TEST(Lookups, CheckStatusTestsOneBitOfTheStatusWords) {
    UIntT words[] = {0x80000001u, 0x00000002u};
    IntT signedWords[] = {INT_MIN};
    F_PropValT items[] = {Word(1, 0), {{3, nullptr}, {FT_UInts, {.uisval = {2, words}}}}};
    F_PropValsT list{2, items};
    struct Case {
        IntT bit, result, err;
    } cases[] = {{0, 1, 0},   {1, 0, 0},  {31, INT_MIN, 0}, {33, 2, 0},
                 {64, 0, -4}, {-1, 0, -4}};
    for (const Case &c : cases) {
        FA_errno = 0;
        EXPECT_EQ(F_ApiCheckStatus(&list, c.bit), c.result) << c.bit;
        EXPECT_EQ(FA_errno, c.err) << c.bit;
    }
    items[1].propVal = {FT_Ints, {.isval = {1, signedWords}}};
    EXPECT_NE(F_ApiCheckStatus(&list, 31), 0) << "signed words read the same";
    EXPECT_EQ(F_ApiCheckStatus(&list, 32), 0) << "one word: 32 bits";
    items[1].propVal = {FT_UInts, {.uisval = {4, nullptr}}};
    FA_errno = 0;
    EXPECT_EQ(F_ApiCheckStatus(&list, 0), 0);
    EXPECT_EQ(FA_errno, -4) << "words without storage hold no bit";
    items[1] = Word(3, -1);
    EXPECT_EQ(F_ApiCheckStatus(&list, 0), 0) << "a single word holds no bit";
    list.len = 1;
    EXPECT_EQ(F_ApiCheckStatus(&list, 0), 0);
    EXPECT_EQ(FA_errno, -5) << "no status";
}

// Each list names every parameter of its operation once, by number.
TEST(Lookups, DefaultListsNameEveryParameterOnce) {
    for (auto make : {F_ApiGetOpenDefaultParams, F_ApiGetSaveDefaultParams,
                      F_ApiGetImportDefaultParams, F_ApiGetExportDefaultParams}) {
        F_PropValsT list = make();
        ASSERT_GT(list.len, 0u);
        std::set<IntT> numbers;
        for (UIntT i = 0; i < list.len; ++i) numbers.insert(list.val[i].propIdent.num);
        EXPECT_EQ(numbers.size(), list.len);
        EXPECT_EQ(*numbers.begin(), 1);
        EXPECT_EQ(*numbers.rbegin(), static_cast<IntT>(list.len));
        F_ApiDeallocatePropVals(&list);
        DryHeap dry;
        EXPECT_EQ(make().len, 0u);
    }
}

// ---------------------------------------------------------------------------
// Strings and memory

TEST(ApiString, HelpersTakeNullAsEmpty) {
    EXPECT_EQ(F_ApiStringLen(nullptr), 0);
    EXPECT_EQ(F_ApiStringLen("abc"), 3);
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(strCpy(buf, "hey"), buf);
    EXPECT_STREQ(buf, "hey");
    strCpy(buf, nullptr);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], 'e') << "a null source writes just the terminator";
    StringT copy = F_ApiCopyString(nullptr);
    EXPECT_STREQ(copy, "");
    F_ApiDeallocateString(&copy);
    EXPECT_EQ(copy, nullptr);
    F_ApiDeallocateString(nullptr);
    void *block = FapiCalloc(2, 4);
    api_free(&block);
    EXPECT_EQ(block, nullptr);
    api_free(nullptr);
}

TEST(ApiMemoryDeathTest, FailAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(fail(), "");
}

}  // namespace
