// The API values: one sample per value type (its wire bytes, copy and release, under a heap that fails
// at each step), property value and text item lists, lookups, default lists, strings and memory.
#include <climits>
#include <cstdlib>
#include <set>

#include "fapi_runtime.h"
#include "fapi_values.h"
#include "fixture.hpp"

using namespace fdk_test;

namespace {

// A value decoded from hand-written bytes.
template <class T> T Sample(Proc<T> proc, const std::string &wire) {
    T v;
    EXPECT_TRUE(decode(proc, W(wire), v)) << wire;
    return v;
}
template <class T> void Free(T &v) { release(fdk::xdr::Codec<T>::code, v); }

// Every block a value owns (also a numbered identifier's name).
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

struct Row {
    IntT type;
    const char *wire;
    bool copied;  // the type has a copy rule; the others copy as type alone
};

const Row kSamples[] = {
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

class ValueSample : public testing::TestWithParam<Row> {};

TEST_P(ValueSample, EncodesCopiesAndReleases) {
    const Row &s = GetParam();
    F_TypedValT src = Sample(xdr_F_TypedValT, s.wire);
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
    F_PropValsT props = Sample(xdr_F_PropValsT, "3 1 8 1 100 1 '..' 46 0 'n' 20 'f' 'e' 1 2 3 4 "
                                                "3 6 2 'a' ''");
    F_PropValsT copy = F_ApiCopyPropVals(&props);
    ExpectDeepCopy(xdr_F_PropValsT, copy, props);
    F_ApiDeallocatePropVals(&copy);
    EXPECT_TRUE(Released(xdr_F_PropValsT, copy));
    F_PropValT one = F_ApiCopyPropVal(&props.val[1]);
    ExpectDeepCopy(xdr_F_PropValT, one, props.val[1]);
    F_ApiDeallocatePropVal(&one);
    EXPECT_TRUE(Released(xdr_F_PropValT, one));
    Free(props);

    TextItemsT text = Sample(xdr_TextItemsT, "3 0 1 'a' 1 5 77 2 1 ''");
    TextItemsT tcopy = F_ApiCopyTextItems(&text);
    ExpectDeepCopy(xdr_TextItemsT, tcopy, text);
    F_ApiDeallocateTextItems(&tcopy);
    EXPECT_TRUE(Released(xdr_TextItemsT, tcopy));
    TextItemT item = F_ApiCopyTextItem(&text.val[1]);
    F_ApiDeallocateTextItem(&item);
    EXPECT_EQ(item.data.u.idata, 77u) << "a handle is no block of its own";
    Free(text);
}

// Null sources, counts without elements, a dry heap.
TEST(ValueLists, EdgeCases) {
    EXPECT_EQ(F_ApiCopyVal(nullptr).valType, 0);
    EXPECT_EQ(F_ApiCopyPropVal(nullptr).propVal.valType, 1);
    EXPECT_EQ(F_ApiCopyTextItem(nullptr).data.dataType, 1);
    F_ApiDeallocatePropVals(nullptr);

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
    F_TabsT tabs{5, nullptr};
    F_ApiDeallocateTabs(&tabs);
    EXPECT_EQ(tabs.len, 0u);

    F_PropValsT two = F_ApiAllocatePropVals(2);
    ASSERT_EQ(two.len, 2u);
    F_ApiDeallocatePropVals(&two);
    EXPECT_EQ(F_ApiAllocatePropVals(-3).len, 0u);
    TextItemsT none = F_ApiAllocateTextItems(0);
    EXPECT_NE(none.val, nullptr) << "count 0 still gets one element";
    F_ApiDeallocateTextItems(&none);

    DryHeap dry;
    EXPECT_EQ(F_ApiAllocatePropVals(2).val, nullptr);
    EXPECT_EQ(F_ApiAllocateTextItems(2).val, nullptr);
}

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
    list.len = 1;
    EXPECT_EQ(F_ApiCheckStatus(&list, 0), 0);
    EXPECT_EQ(FA_errno, -5) << "no status";
}

// A default list that cannot be allocated is empty.
TEST(Lookups, DefaultListsOnADryHeap) {
    for (auto make : {F_ApiGetOpenDefaultParams, F_ApiGetSaveDefaultParams,
                      F_ApiGetImportDefaultParams, F_ApiGetExportDefaultParams}) {
        F_PropValsT list = make();
        EXPECT_GT(list.len, 0u);
        F_ApiDeallocatePropVals(&list);
        DryHeap dry;
        EXPECT_EQ(make().len, 0u);
    }
}

// Strings and memory

TEST(ApiString, HelpersTakeNullAsEmpty) {
    EXPECT_EQ(F_ApiStringLen(nullptr), 0);
    EXPECT_EQ(F_ApiStringLen("abc"), 3);
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(strCpy(buf, "hey"), buf);
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
