// Value encoders (xdr, xdrstr): golden bytes written from the wire rules,
// the edge cases of strings, identifiers, typed values and text items.
#include "xdr_test_util.hpp"

using namespace fdk_test;

namespace {

char *S(const char *s) { return const_cast<char *>(s); }

// ---------------------------------------------------------------------------
// Strings

TEST(XdrString, LengthBytesAndPadding) {
    check_golden<StringT>(xdr_StringT, S("abcd"), Wire().str("abcd"));
    check_golden<StringT>(xdr_StringT, S("abcde"), Wire().str("abcde"));
    check_golden<StringT>(xdr_StringT, S("x"), Wire().u32(1).u32(0x78000000));
    check_golden<StringT>(xdr_StringT, S(""), Wire().u32(0));
}

TEST(XdrString, NullIsSentAsEmptyAndDecodesToEmptyNotNull) {
    StringT s = nullptr;
    bool ok = false;
    EXPECT_EQ(hex(encode<StringT>(xdr_StringT, s, &ok)), hex(Wire().u32(0).b));
    EXPECT_TRUE(ok);
    Decoded<StringT> back(xdr_StringT, Wire().u32(0).b);
    ASSERT_TRUE(back.ok);
    ASSERT_NE(back.value, nullptr);
    EXPECT_STREQ(back.value, "");
}

TEST(XdrString, LongStringCrossesReadSteps) {
    // Longer than one read step of the decoder, with a length not a multiple of 4.
    std::string big(fdk::xdr::kGrowBytes * 2 + 3, 'q');
    big[12345] = 'Z';
    Bytes wire = Wire().str(big).b;
    Decoded<StringT> back(xdr_StringT, wire);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.used, wire.size());
    EXPECT_EQ(std::string(back.value), big);
}

TEST(XdrString, ClaimedLengthBeyondStreamFails) {
    for (uint32_t len : {5u, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
        Decoded<StringT> back(xdr_StringT, Wire().u32(len).u32(0x61626364).b);
        EXPECT_FALSE(back.ok) << len;
        EXPECT_EQ(back.value, nullptr) << len;
    }
}

// ---------------------------------------------------------------------------
// Fixed records

TEST(XdrValues, PointsSizesRects) {
    check_golden(xdr_F_PointT, F_PointT{1, -2}, Wire().i32(1).i32(-2));
    check_golden(xdr_SizeT, SizeT{3, 4}, Wire().i32(3).i32(4));
    check_golden(xdr_RectT, RectT{5, 6, 7, -8}, Wire().i32(5).i32(6).i32(7).i32(-8));
}

TEST(XdrValues, TabUBytesTakeAWholeUnit) {
    check_golden(xdr_F_TabT, F_TabT{-100, 2, S("ab"), '.'},
                 Wire().i32(-100).u32(2).str("ab").u32('.'));
}

TEST(XdrValues, FontsAndCatalogEntries) {
    check_golden(xdr_F_FontT, F_FontT{1, 2, 3, 0xFFFFFFF0u}, Wire().u32(1).u32(2).u32(3).u32(0xFFFFFFF0u));
    check_golden(xdr_F_ElementCatalogEntryT, F_ElementCatalogEntryT{0xDEADBEEFu, -1},
                 Wire().u32(0xDEADBEEFu).i32(-1));
}

TEST(XdrValues, FileFormatCodeIsFourUnitsWithoutCount) {
    check_golden(xdr_F_FileFormatT, F_FileFormatT{S("Vendor"), S("v5"), {'A', 'B', 'C', 0xFE}},
                 Wire().str("Vendor").str("v5").u32('A').u32('B').u32('C').u32(0xFE));
}

TEST(XdrValues, LocationsAndRanges) {
    check_golden(xdr_F_TextLocT, F_TextLocT{0x80000001u, 17}, Wire().u32(0x80000001u).i32(17));
    check_golden(xdr_F_TextRangeT, F_TextRangeT{{11, 12}, {13, 14}},
                 Wire().u32(11).i32(12).u32(13).i32(14));
    check_golden(xdr_F_ElementLocT, F_ElementLocT{21, 22, -23}, Wire().u32(21).u32(22).i32(-23));
    check_golden(xdr_F_ElementRangeT, F_ElementRangeT{{1, 2, 3}, {4, 5, 6}},
                 Wire().u32(1).u32(2).i32(3).u32(4).u32(5).i32(6));
}

TEST(XdrValues, AttributeDefinitionsAndAttributes) {
    StringT choices[] = {S("yes"), S("no")};
    StringT defs[] = {S("maybe")};
    F_AttributeDefT def{S("Kind"), 1, 0, 7, {2, choices}, {1, defs}, S("a"), S("zz")};
    Wire want;
    want.str("Kind").i32(1).i32(0).i32(7).u32(2).str("yes").str("no").u32(1).str("maybe").str("a").str("zz");
    check_golden(xdr_F_AttributeDefT, def, want);

    StringT vals[] = {S("v1"), S("v22"), S("")};
    F_AttributeT attr{S("Id"), {3, vals}, 4, 9};
    check_golden(xdr_F_AttributeT, attr,
                 Wire().str("Id").u32(3).str("v1").str("v22").str("").u32(4).u32(9));

    F_AttributeDefT defList[] = {def, def};
    Wire twice = Wire().u32(2).raw(want.b).raw(want.b);
    check_golden(xdr_F_AttributeDefsT, F_AttributeDefsT{2, defList}, twice);
    F_AttributeT attrList[] = {attr};
    check_golden(xdr_F_AttributesT, F_AttributesT{1, attrList},
                 Wire().u32(1).str("Id").u32(3).str("v1").str("v22").str("").u32(4).u32(9));
}

// ---------------------------------------------------------------------------
// Counted arrays

TEST(XdrArrays, ScalarArrays) {
    StringT ss[] = {S("one"), S("three"), nullptr};
    check_golden(xdr_F_StringsT, F_StringsT{3, ss}, Wire().u32(3).str("one").str("three").str(""));
    MetricT ms[] = {65536, -1};
    check_golden(xdr_F_MetricsT, F_MetricsT{2, ms}, Wire().u32(2).i32(65536).i32(-1));
    IntT is[] = {7, -8, 9};
    check_golden(xdr_F_IntsT, F_IntsT{3, is}, Wire().u32(3).i32(7).i32(-8).i32(9));
    UIntT us[] = {0xFFFFFFFFu};
    check_golden(xdr_F_UIntsT, F_UIntsT{1, us}, Wire().u32(1).u32(0xFFFFFFFFu));
}

TEST(XdrArrays, ThreeUBytesTakeSixteenBytes) {
    UByteT b[] = {0x01, 0x80, 0xFF};
    bool ok = false;
    F_UBytesT v{3, b};
    Bytes got = encode(xdr_F_UBytesT, v, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(got.size(), 16u);
    check_golden(xdr_F_UBytesT, v, Wire().u32(3).u32(0x01).u32(0x80).u32(0xFF));
}

TEST(XdrArrays, RecordArrays) {
    F_PointT pts[] = {{1, 2}, {3, 4}};
    check_golden(xdr_F_PointsT, F_PointsT{2, pts}, Wire().u32(2).i32(1).i32(2).i32(3).i32(4));
    F_TabT tabs[] = {{10, 1, S("."), ','}, {20, 2, nullptr, 0}};
    check_golden(xdr_F_TabsT, F_TabsT{2, tabs},
                 Wire().u32(2).i32(10).u32(1).str(".").u32(',').i32(20).u32(2).str("").u32(0));
    F_FontT fonts[] = {{1, 2, 3, 4}};
    check_golden(xdr_F_FontsT, F_FontsT{1, fonts}, Wire().u32(1).u32(1).u32(2).u32(3).u32(4));
    F_ElementCatalogEntryT cat[] = {{5, 6}, {7, -8}};
    check_golden(xdr_F_ElementCatalogEntriesT, F_ElementCatalogEntriesT{2, cat},
                 Wire().u32(2).u32(5).i32(6).u32(7).i32(-8));
    F_FileFormatT ff[] = {{S("a"), S("bc"), {1, 2, 3, 4}}};
    check_golden(xdr_F_FileFormatsT, F_FileFormatsT{1, ff},
                 Wire().u32(1).str("a").str("bc").u32(1).u32(2).u32(3).u32(4));
}

TEST(XdrArrays, EmptyArraysAreOneZeroWordAndDecodeToNull) {
    Bytes zero = Wire().u32(0).b;
    F_StringsT s{0, nullptr};
    EXPECT_EQ(hex(encode(xdr_F_StringsT, s)), hex(zero));
    F_PropValsT p{0, nullptr};
    EXPECT_EQ(hex(encode(xdr_F_PropValsT, p)), hex(zero));
    TextItemsT t{0, nullptr};
    EXPECT_EQ(hex(encode(xdr_TextItemsT, t)), hex(zero));
    Decoded<F_IntsT> back(xdr_F_IntsT, zero);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.value.len, 0u);
    EXPECT_EQ(back.value.val, nullptr);
}

TEST(XdrArrays, CountWithoutElementsRefusesToEncode) {
    F_IntsT bad{2, nullptr};
    bool ok = true;
    encode(xdr_F_IntsT, bad, &ok);
    EXPECT_FALSE(ok);
}

TEST(XdrArrays, ManyElementsCrossGrowthSteps) {
    // More elements than the decoder's first allocation step holds.
    const UIntT n = static_cast<UIntT>(fdk::xdr::kGrowBytes / sizeof(F_PointT)) * 3 + 5;
    std::vector<F_PointT> pts(n);
    Wire w;
    w.u32(n);
    for (UIntT i = 0; i < n; ++i) {
        pts[i] = {static_cast<IntT>(i), -static_cast<IntT>(i)};
        w.i32(static_cast<IntT>(i)).i32(-static_cast<IntT>(i));
    }
    F_PointsT v{n, pts.data()};
    bool ok = false;
    Bytes got = encode(xdr_F_PointsT, v, &ok, w.b.size() + 16);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(got == w.b);
    Decoded<F_PointsT> back(xdr_F_PointsT, w.b);
    ASSERT_TRUE(back.ok);
    EXPECT_TRUE(DeepEqual(v, back.value));
}

// ---------------------------------------------------------------------------
// Property identifiers

TEST(XdrPropIdent, NumberAloneWhenNotZero) {
    F_PropIdentT id{7, S("ignored")};
    bool ok = false;
    EXPECT_EQ(hex(encode(xdr_F_PropIdentT, id, &ok)), hex(Wire().i32(7).b));
    Decoded<F_PropIdentT> back(xdr_F_PropIdentT, Wire().i32(7).str("tail").b);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.used, 4u) << "a name must not be read after a non-zero number";
    EXPECT_EQ(back.value.name, nullptr);
    EXPECT_EQ(back.value.num, 7);
}

TEST(XdrPropIdent, NameWhenNumberIsZero) {
    check_golden(xdr_F_PropIdentT, F_PropIdentT{0, S("Width")}, Wire().i32(0).str("Width"));
    F_PropIdentT noName{0, nullptr};
    EXPECT_EQ(hex(encode(xdr_F_PropIdentT, noName)), hex(Wire().i32(0).u32(0).b));
    check_golden(xdr_F_PropIdentT, F_PropIdentT{-5, nullptr}, Wire().i32(-5));
}

// ---------------------------------------------------------------------------
// Typed values: one sample per arm.

F_TypedValT tv(IntT type) {
    F_TypedValT v;
    std::memset(&v, 0, sizeof v);
    v.valType = type;
    return v;
}

TEST(XdrTypedVal, SingleWordTypes) {
    for (IntT type : {0, 1, 2, 4, 11, 16, 21, 42, -1}) {
        F_TypedValT v = tv(type);
        v.u.ival = 1000 + type;
        check_golden(xdr_F_TypedValT, v, Wire().i32(type).i32(1000 + type));
    }
}

TEST(XdrTypedVal, StringAndLists) {
    F_TypedValT v = tv(3);
    v.u.sval = S("hello");
    check_golden(xdr_F_TypedValT, v, Wire().i32(3).str("hello"));

    MetricT ms[] = {1, 2};
    v = tv(5);
    v.u.msval = {2, ms};
    check_golden(xdr_F_TypedValT, v, Wire().i32(5).u32(2).i32(1).i32(2));

    StringT ss[] = {S("a"), S("bb")};
    v = tv(6);
    v.u.ssval = {2, ss};
    check_golden(xdr_F_TypedValT, v, Wire().i32(6).u32(2).str("a").str("bb"));

    F_PointT pts[] = {{3, 4}};
    v = tv(7);
    v.u.psval = {1, pts};
    check_golden(xdr_F_TypedValT, v, Wire().i32(7).u32(1).i32(3).i32(4));

    F_TabT tabs[] = {{5, 6, S("L"), 7}};
    v = tv(8);
    v.u.tsval = {1, tabs};
    check_golden(xdr_F_TypedValT, v, Wire().i32(8).u32(1).i32(5).u32(6).str("L").u32(7));

    F_ElementCatalogEntryT cat[] = {{9, 10}};
    v = tv(12);
    v.u.csval = {1, cat};
    check_golden(xdr_F_TypedValT, v, Wire().i32(12).u32(1).u32(9).i32(10));

    IntT is[] = {-11};
    v = tv(13);
    v.u.isval = {1, is};
    check_golden(xdr_F_TypedValT, v, Wire().i32(13).u32(1).i32(-11));

    UByteT ub[] = {0xAB, 0xCD};
    v = tv(14);
    v.u.ubsval = {2, ub};
    check_golden(xdr_F_TypedValT, v, Wire().i32(14).u32(2).u32(0xAB).u32(0xCD));

    UIntT us[] = {0x12345678u};
    v = tv(15);
    v.u.uisval = {1, us};
    check_golden(xdr_F_TypedValT, v, Wire().i32(15).u32(1).u32(0x12345678u));
}

TEST(XdrTypedVal, LocationsAndAttributes) {
    F_TypedValT v = tv(9);
    v.u.tlval = {31, 32};
    check_golden(xdr_F_TypedValT, v, Wire().i32(9).u32(31).i32(32));

    v = tv(10);
    v.u.trval = {{41, 42}, {43, 44}};
    check_golden(xdr_F_TypedValT, v, Wire().i32(10).u32(41).i32(42).u32(43).i32(44));

    StringT none[] = {S("c")};
    F_AttributeDefT defs[] = {{S("n"), 1, 2, 3, {1, none}, {0, nullptr}, nullptr, S("max")}};
    v = tv(17);
    v.u.adsval = {1, defs};
    check_golden(xdr_F_TypedValT, v,
                 Wire().i32(17).u32(1).str("n").i32(1).i32(2).i32(3).u32(1).str("c").u32(0).str("").str("max"));

    F_AttributeT attrs[] = {{S("m"), {0, nullptr}, 1, 0}};
    v = tv(18);
    v.u.asval = {1, attrs};
    check_golden(xdr_F_TypedValT, v, Wire().i32(18).u32(1).str("m").u32(0).u32(1).u32(0));
}

TEST(XdrTypedVal, ElementRangeIsAnOptionalPointer) {
    F_TypedValT v = tv(19);
    v.u.erngval = nullptr;
    check_golden(xdr_F_TypedValT, v, Wire().i32(19).u32(0));

    F_ElementRangeT r{{1, 2, 3}, {4, 5, 6}};
    v.u.erngval = &r;
    check_golden(xdr_F_TypedValT, v, Wire().i32(19).u32(1).u32(1).u32(2).i32(3).u32(4).u32(5).i32(6));

    Decoded<F_TypedValT> flag2(xdr_F_TypedValT, Wire().i32(19).u32(2).u32(1).u32(2).i32(3).u32(4).u32(5).i32(6).b);
    EXPECT_FALSE(flag2.ok) << "a presence flag must be 0 or 1";
}

TEST(XdrTypedVal, FileFormatIsInline) {
    F_TypedValT v = tv(20);
    v.u.ffval = {S("s1"), S("s2"), {9, 8, 7, 6}};
    check_golden(xdr_F_TypedValT, v, Wire().i32(20).str("s1").str("s2").u32(9).u32(8).u32(7).u32(6));
}

// ---------------------------------------------------------------------------
// Property values and text items

TEST(XdrPropVals, IdentifierThenValue) {
    F_PropValT pv{{0, S("Name")}, tv(3)};
    pv.propVal.u.sval = S("v");
    check_golden(xdr_F_PropValT, pv, Wire().i32(0).str("Name").i32(3).str("v"));

    F_PropValT list[2] = {{{12, nullptr}, tv(1)}, {{0, S("P")}, tv(10)}};
    list[0].propVal.u.ival = 99;
    list[1].propVal.u.trval = {{1, 2}, {3, 4}};
    check_golden(xdr_F_PropValsT, F_PropValsT{2, list},
                 Wire().u32(2).i32(12).i32(1).i32(99).i32(0).str("P").i32(10).u32(1).i32(2).u32(3).i32(4));
}

TEST(XdrTextItems, StringForTypeOneWordOtherwise) {
    TextItemDataT d{1, {}};
    d.u.sdata = S("text");
    check_golden(xdr_TextItemDataT, d, Wire().i32(1).str("text"));
    TextItemDataT h{2, {}};
    h.u.idata = 0xCAFEF00Du;
    check_golden(xdr_TextItemDataT, h, Wire().i32(2).u32(0xCAFEF00Du));

    TextItemT items[2] = {{5, d}, {-6, h}};
    check_golden(xdr_TextItemT, items[0], Wire().i32(5).i32(1).str("text"));
    check_golden(xdr_TextItemsT, TextItemsT{2, items},
                 Wire().u32(2).i32(5).i32(1).str("text").i32(-6).i32(2).u32(0xCAFEF00Du));
}

}  // namespace
