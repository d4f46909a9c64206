// The encoders: golden bytes written by hand for every record (a field missing or out of order shows
// in the bytes; the call table against framesim cannot see it, both ends share the field lists), the
// value rules, malformed input, the procedure table.
#include "fapi_stubs.h"
#include "fixture.hpp"

using namespace fdk_test;

namespace {

char *S(const char *s) { return const_cast<char *>(s); }

// Calls f with each of the filters.
template <class F, class... P> void each(F f, P... procs) { (f(procs), ...); }

// Values

// Every public filter of the value list: a zeroed value encodes (else the bytes are empty and do not
// decode), and the bytes decode into a value that encodes to them again.
template <class T> void ZeroRoundTrip(Proc<T> proc, const char *name) {
    T zero{}, back;
    const Bytes bytes = encode(proc, zero);
    EXPECT_TRUE(decode(proc, bytes, back)) << name;
    EXPECT_TRUE(encode(proc, back) == bytes) << name;
    release(proc, back);
}

TEST(XdrValues, EveryPublicFilterRoundTripsAZeroValue) {
#define FDK_RECORD(T, ...) ZeroRoundTrip<T>(xdr_##T, #T);
#define FDK_ARRAY(T, E) ZeroRoundTrip<T>(xdr_##T, #T);
#include "xdr_values.def"
}

// Strings are padded to 4 bytes, null travels as "" and decodes as ""; an empty list is one zero word
// and decodes to null; a count without elements cannot be encoded.
TEST(XdrValues, EmptyAndNull) {
    check_golden<StringT>(xdr_StringT, S("x"), "1 0x78000000");
    StringT none = nullptr;
    EXPECT_TRUE(encode<StringT>(xdr_StringT, none) == W("0"));
    ASSERT_TRUE(decode<StringT>(xdr_StringT, W("0"), none));
    EXPECT_STREQ(none, "");
    release<StringT>(xdr_StringT, none);
    check_golden(xdr_F_StringsT, {0, nullptr}, "0");
    F_IntsT ints;
    ASSERT_TRUE(decode(xdr_F_IntsT, W("0"), ints));
    EXPECT_EQ(ints.val, nullptr);
    ints.len = 2;
    bool ok = true;
    encode(xdr_F_IntsT, ints, &ok);
    EXPECT_FALSE(ok);
}

TEST(XdrValues, LongStringsAndListsCrossTheDecodersReadSteps) {
    std::string big(fdk::xdr::kGrowBytes * 2 + 3, 'q');
    big[12345] = 'Z';
    check_golden<StringT>(xdr_StringT, big.data(), "'" + big + "'");

    std::vector<F_PointT> pts(fdk::xdr::kGrowBytes / sizeof(F_PointT) * 3 + 5);
    std::string spec = std::to_string(pts.size());
    for (std::size_t i = 0; i < pts.size(); ++i) {
        pts[i] = {static_cast<IntT>(i), static_cast<IntT>(i + 7)};
        spec += " " + std::to_string(i) + " " + std::to_string(i + 7);
    }
    check_golden(xdr_F_PointsT, {static_cast<UIntT>(pts.size()), pts.data()}, spec);
}

// Result records

TEST(XdrGolden, ResultRecords) {
    each([](auto p) { check_golden(p, {1, 2}, "1 2"); }, xdr_ApiFmPromptIntRetT,
         xdr_ApiFmPromptMetricRetT, xdr_ApiFmScrollBoxRetT, xdr_ApiFmGetIntRetT,
         xdr_ApiFmGetMetricRetT, xdr_ApiFmQuickSelectRetT, xdr_ApiFmCustomDocRetT, xdr_ApiFmObjRetT,
         xdr_ApiFmGetIdRetT);
    each([](auto p) { check_golden(p, {1, S("/a b")}, "1 '/a b'"); }, xdr_ApiFmPromptStringRetT,
         xdr_ApiFmChooseFileRetT, xdr_ApiFmGetStringRetT);
    check_golden(xdr_ApiFmCompareRetT, {1, 2, 3}, "1 2 3");
    each([](auto p) { check_golden(p, {1, {2, 3}}, "1 2 3"); }, xdr_ApiFmAddTextRetT,
         xdr_ApiFmGetTextLocRetT, xdr_ApiFmElementLocToTextLocRetT, xdr_ApiFmPromptPointRetT);
    check_golden(xdr_ApiFmGetTextRangeRetT, {1, {{2, 3}, {4, 5}}}, "1 2 3 4 5");
    check_golden(xdr_ApiFmTextLocToElementLocRetT, {1, {2, 3, 4}}, "1 2 3 4");
    check_golden(xdr_ApiFmGetElementRangeRetT, {1, {{2, 3, 4}, {5, 6, 7}}}, "1 2 3 4 5 6 7");
    check_golden(xdr_ApiFmPromptRectRetT, {1, {2, 3, 4, 5}}, "1 2 3 4 5");
    check_golden(xdr_ApiFmGetValRetT, {1, {3, {.sval = S("sv")}}}, "1 3 'sv'");
    check_golden(xdr_ApiFmGetPropRetT, {1, {{0, S("Nm")}, {2, {3}}}}, "1 0 'Nm' 2 3");
    F_PropValT pv[] = {{{4, nullptr}, {9, {.tlval = {5, 6}}}}};
    check_golden(xdr_ApiFmGetPropsRetT, {1, {1, pv}}, "1 1 4 9 5 6");

    StringT ss[] = {S("p"), S("qq")};
    check_golden(xdr_ApiFmGetStringsRetT, {1, {2, ss}}, "1 2 'p' 'qq'");
    MetricT ms[] = {2, 3};
    check_golden(xdr_ApiFmGetMetricsRetT, {1, {2, ms}}, "1 2 2 3");
    IntT is[] = {2};
    check_golden(xdr_ApiFmGetIntsRetT, {1, {1, is}}, "1 1 2");
    F_PointT pts[] = {{2, 3}};
    check_golden(xdr_ApiFmGetPointsRetT, {1, {1, pts}}, "1 1 2 3");
    F_TabT tabs[] = {{2, 3, S("-"), 4}};
    check_golden(xdr_ApiFmGetTabsRetT, {1, {1, tabs}}, "1 1 2 3 '-' 4");
    UByteT ub[] = {5, 6, 0xFF};
    check_golden(xdr_ApiFmGetUBytesRetT, {1, {3, ub}}, "1 3 5 6 255");
    StringT choices[] = {S("c")};
    F_AttributeDefT defs[] = {{S("a"), 2, 3, 4, {1, choices}, {0, nullptr}, S("lo"), nullptr}};
    check_golden(xdr_ApiFmGetAttributeDefsRetT, {1, {1, defs}}, "1 1 'a' 2 3 4 1 'c' 0 'lo' ''");
    F_AttributeT attrs[] = {{S("b"), {1, choices}, 2, 3}};
    check_golden(xdr_ApiFmGetAttributesRetT, {1, {1, attrs}}, "1 1 'b' 1 'c' 2 3");
    F_ElementCatalogEntryT cat[] = {{2, 3}};
    check_golden(xdr_ApiFmGetElementCatalogRetT, {1, {1, cat}}, "1 1 2 3");
    // A text item carries a string for type 1, one word for any other type.
    TextItemT items[] = {{2, {1, {.sdata = S("txt")}}}, {3, {4, {.idata = 0xCAFEF00Du}}}};
    check_golden(xdr_ApiFmGetTextRetT, {1, {2, items}}, "1 2 2 1 'txt' 3 4 0xCAFEF00D");
    F_FontT fonts[] = {{2, 3, 4, 5}, {6, 7, 8, 9}};
    check_golden(xdr_ApiFmFamilyFontsRetT, {1, {2, fonts}}, "1 2 2 3 4 5 6 7 8 9");
}

TEST(XdrGolden, OpenSaveExportImportResultsWithAndWithoutTheirList) {
    F_PropValT pv[] = {{{5, nullptr}, {1, {6}}}, {{7, nullptr}, {3, {.sval = S("ret")}}}};
    F_PropValsT list{2, pv};
    each(
        [&list](auto p) {
            check_golden(p, {1, 2, nullptr}, "1 2 0");
            check_golden(p, {1, 2, &list}, "1 2 1 2 5 1 6 7 3 'ret'");
        },
        xdr_ApiFmOpenRetT, xdr_ApiFmSaveRetT, xdr_ApiFmExportRetT, xdr_ApiFmImportRetT);
}

// Arguments

TEST(XdrGolden, PropertyArguments) {
    check_golden(xdr_ApiFmGetPropArgT, {1, 2, {3, nullptr}}, "1 2 3");
    check_golden(xdr_ApiFmGetPropArgT, {1, 2, {0, S("ByName")}}, "1 2 0 'ByName'");
    const F_PropIdentT id{0, S("p")};
    each([&id](auto p) { check_golden(p, {1, 2, id, 3}, "1 2 0 'p' 3"); }, xdr_ApiFmSetIntArgT,
         xdr_ApiFmSetMetricArgT, xdr_ApiFmSetIdArgT);
    check_golden(xdr_ApiFmSetStringArgT, {1, 2, id, S("v")}, "1 2 0 'p' 'v'");
    StringT ss[] = {S("x")};
    check_golden(xdr_ApiFmSetStringsArgT, {1, 2, id, {1, ss}}, "1 2 0 'p' 1 'x'");
    MetricT ms[] = {3};
    check_golden(xdr_ApiFmSetMetricsArgT, {1, 2, id, {1, ms}}, "1 2 0 'p' 1 3");
    IntT is[] = {3, 4};
    check_golden(xdr_ApiFmSetIntsArgT, {1, 2, id, {2, is}}, "1 2 0 'p' 2 3 4");
    F_PointT pts[] = {{3, 4}};
    check_golden(xdr_ApiFmSetPointsArgT, {1, 2, id, {1, pts}}, "1 2 0 'p' 1 3 4");
    F_TabT tabs[] = {{3, 4, S(""), 5}};
    check_golden(xdr_ApiFmSetTabsArgT, {1, 2, id, {1, tabs}}, "1 2 0 'p' 1 3 4 '' 5");
    UByteT ub[] = {0xEE};
    check_golden(xdr_ApiFmSetUBytesArgT, {1, 2, id, {1, ub}}, "1 2 0 'p' 1 0xEE");
    check_golden(xdr_ApiFmSetTextLocArgT, {1, 2, id, {3, 4}}, "1 2 0 'p' 3 4");
    check_golden(xdr_ApiFmSetTextRangeArgT, {1, 2, id, {{3, 4}, {5, 6}}}, "1 2 0 'p' 3 4 5 6");
    check_golden(xdr_ApiFmSetElementRangeArgT, {1, 2, id, {{3, 4, 5}, {6, 7, 8}}},
                 "1 2 0 'p' 3 4 5 6 7 8");
    F_AttributeDefT defs[] = {{S("d"), 3, 4, 5, {0, nullptr}, {0, nullptr}, nullptr, S("z")}};
    check_golden(xdr_ApiFmSetAttributeDefsArgT, {1, 2, id, {1, defs}},
                 "1 2 0 'p' 1 'd' 3 4 5 0 0 '' 'z'");
    F_AttributeT attrs[] = {{S("e"), {0, nullptr}, 3, 4}};
    check_golden(xdr_ApiFmSetAttributesArgT, {1, 2, id, {1, attrs}}, "1 2 0 'p' 1 'e' 0 3 4");
    check_golden(xdr_ApiFmSetValArgT, {1, 2, id, {4, {5}}}, "1 2 0 'p' 4 5");
    F_PropValT one{{7, nullptr}, {1, {8}}};
    check_golden(xdr_ApiFmSetPropArgT, {1, 2, one}, "1 2 7 1 8");
    check_golden(xdr_ApiFmSetPropsArgT, {1, 2, {1, &one}}, "1 2 1 7 1 8");
}

TEST(XdrGolden, TextArguments) {
    const F_TextLocT loc{2, 3};
    const F_TextRangeT rng{{2, 3}, {4, 5}};
    check_golden(xdr_ApiFmGetTextPropArgT, {1, loc, {9, nullptr}}, "1 2 3 9");
    check_golden(xdr_ApiFmGetTextPropsArgT, {1, loc}, "1 2 3");
    check_golden(xdr_ApiFmTextLocToElementLocArgT, {1, loc}, "1 2 3");
    check_golden(xdr_ApiFmGeneralTextRangeArgT, {1, rng}, "1 2 3 4 5");
    check_golden(xdr_ApiFmGetTextArgT, {1, 2, 3}, "1 2 3");
    check_golden(xdr_ApiFmGetTextForRangeArgT, {1, rng, 6}, "1 2 3 4 5 6");
    check_golden(xdr_ApiFmAddTextArgT, {1, loc, S("added")}, "1 2 3 'added'");
    check_golden(xdr_ApiFmElementLocToTextLocArgT, {1, {2, 3, 4}}, "1 2 3 4");
    check_golden(xdr_ApiFmSetTextValArgT, {1, rng, {0, S("tv")}, {16, {6}}},
                 "1 2 3 4 5 0 'tv' 16 6");
    F_PropValT pv[] = {{{6, nullptr}, {1, {7}}}};
    check_golden(xdr_ApiFmSetTextPropsArgT, {1, rng, {1, pv}}, "1 2 3 4 5 1 6 1 7");
    // Both identifiers travel, each with its name only for number 0.
    check_golden(xdr_ApiFmSetTextPropArgT,
                 {1, rng, {0, S("outer")}, {{0, S("inner")}, {3, {.sval = S("v")}}}},
                 "1 2 3 4 5 0 'outer' 0 'inner' 3 'v'");
    ApiFmSetTextPropArgT byNumber{1, rng, {12, S("x")}, {{13, S("y")}, {1, {6}}}};
    EXPECT_EQ(hex(encode(xdr_ApiFmSetTextPropArgT, byNumber)), hex(W("1 2 3 4 5 12 13 1 6")));
}

TEST(XdrGolden, OtherArguments) {
    each([](auto p) { check_golden(p, {1}, "1"); }, xdr_ApiFmSilentPrintDocArgT,
         xdr_ApiFmGeneralDocArgT, xdr_FmApiInitArgT, xdr_FmApiCommandArgT);
    check_golden(xdr_ApiFmExistsArgT, {S("Menu")}, "'Menu'");
    IntT codes[] = {0xF33, -2};
    check_golden(xdr_ApiFmFcodesArgT, {{2, codes}}, "2 0xF33 -2");
    each([](auto p) { check_golden(p, {1, 2}, "1 2"); }, xdr_ApiFmNotificationArgT,
         xdr_ApiFmAddCommandToMenuArgT, xdr_ApiFmAddMenuToMenuArgT, xdr_ApiFmUpdateTextInsetArgT,
         xdr_ApiFmDeleteTextInsetContentsArgT, xdr_ApiFmGeneralObjArgT,
         xdr_ApiFmGeneralElementDefArgT, xdr_ApiFmCloseDocArgT, xdr_ApiFmUpdateXRefsArgT,
         xdr_ApiFmCutCopyPasteArgT, xdr_ApiFmDialogItemIdArgT, xdr_ApiFmDoDialogArgT, xdr_SizeT);
    each([](auto p) { check_golden(p, {1, S("s")}, "1 's'"); }, xdr_ApiFmOpenResourceArgT,
         xdr_ApiFmHypertextCommandArgT);
    each([](auto p) { check_golden(p, {S("s"), 1}, "'s' 1"); },
         xdr_ApiFmLoadMenuCustomizationFileArgT, xdr_ApiFmAlertArgT);
    each([](auto p) { check_golden(p, {S("one"), S("two2")}, "'one' 'two2'"); },
         xdr_ApiFmCallClientArgT, xdr_ApiFmRemoveMenuArgT, xdr_ApiFmDefineMenuArgT,
         xdr_ApiFmPromptArgT);
    check_golden(xdr_ApiFmAddMenuArgT, {S("a"), S("bb"), S("ccc")}, "'a' 'bb' 'ccc'");
    check_golden(xdr_ApiFmPromptMetricArgT, {S("m"), S("1in"), 1}, "'m' '1in' 1");
    each([](auto p) { check_golden(p, {1, 2, 3}, "1 2 3"); }, xdr_ApiFmMenuItemInMenuArgT,
         xdr_ApiFmSimpleImportFormatsArgT, xdr_ApiFmSimpleImportElementDefsArgT,
         xdr_ApiFmNewSubObjectArgT, xdr_ApiFmPromptPointArgT, xdr_ApiFmPromptRectArgT,
         xdr_ApiFmApplyPageLayoutArgT, xdr_ApiFmSimpleGenerateArgT, xdr_ApiFmGetUniqueObjArgT,
         xdr_ApiFmNewGraphicObjArgT, xdr_ApiFmNewSeriesObjArgT, xdr_FmApiDialogEventArgT);
    each([](auto p) { check_golden(p, {1, 2, S("nm")}, "1 2 'nm'"); }, xdr_ApiFmGetNamedObjArgT,
         xdr_ApiFmNewNamedObjArgT);
    check_golden(xdr_ApiFmNewAnchoredObjArgT, {1, 2, {3, 4}}, "1 2 3 4");
    check_golden(xdr_ApiFmNewAnchoredFormattedObjArgT, {1, 2, S("f"), {3, 4}}, "1 2 'f' 3 4");
    check_golden(xdr_ApiFmNewElementArgT, {1, 2, {3, 4}}, "1 2 3 4");
    check_golden(xdr_ApiFmNewElementInHierarchyArgT, {1, 2, {3, 4, 5}}, "1 2 3 4 5");
    check_golden(xdr_ApiFmNewBookComponentInHierarchyArgT, {1, S("ch"), {2, 3, 4}}, "1 'ch' 2 3 4");
    check_golden(xdr_ApiFmDefineAndAddMenuArgT, {1, S("n"), S("l")}, "1 'n' 'l'");
    check_golden(xdr_ApiFmDeleteUndefinedAttributeArgT, {1, S("at"), 2, 3}, "1 'at' 2 3");
    StringT ch[] = {S("c1"), S("c2")};
    check_golden(xdr_ApiFmQuickSelectArgT, {1, S("t"), {2, ch}}, "1 't' 2 'c1' 'c2'");
    check_golden(xdr_ApiFmForkAndExecArgT, {S("/bin/x"), {2, ch}}, "'/bin/x' 2 'c1' 'c2'");
    check_golden(xdr_ApiFmScrollBoxArgT, {S("T"), 1, {2, ch}}, "'T' 1 2 'c1' 'c2'");
    check_golden(xdr_ApiFmDefineCommandArgT, {1, S("t"), S("l"), S("!k")}, "1 't' 'l' '!k'");
    check_golden(xdr_oldApiFmChooseFileArgT, {S("t"), S("/d"), S("f"), 1}, "'t' '/d' 'f' 1");
    check_golden(xdr_ApiFmChooseFileArgT, {S("t"), S("/d"), S("f"), 1, S("5")},
                 "'t' '/d' 'f' 1 '5'");
    check_golden(xdr_ApiFmAddRowsArgT, {1, 2, 3, 4}, "1 2 3 4");
    check_golden(xdr_ApiFmAddCommandArgT, {1, S("m"), S("t"), S("l"), S("s")}, "1 'm' 't' 'l' 's'");
    check_golden(xdr_ApiFmDefineAndAddCommandArgT, {1, 2, S("t"), S("l"), S("s")},
                 "1 2 't' 'l' 's'");
    check_golden(xdr_ApiFmAnimateMenuArgT, {1, 2, 3, S("lab"), 4, 5}, "1 2 3 'lab' 4 5");
    each([](auto p) { check_golden(p, {1, 2, 3, 4, 5}, "1 2 3 4 5"); }, xdr_ApiFmAddColumnsArgT,
         xdr_ApiFmStraddleCellsArgT);
    each([](auto p) { check_golden(p, {1, 2, 3, 4, 5, 6}, "1 2 3 4 5 6"); },
         xdr_ApiFmCutTablePartsArgT, xdr_ApiFmMakeTableSelectionArgT);
    check_golden(xdr_ApiFmNewTableArgT, {1, S("F"), 2, 3, 4, 5, {6, 7}}, "1 'F' 2 3 4 5 6 7");
    check_golden(xdr_ApiFmCompareArgT, {1, 2, 3, S("a"), S("b"), S("c"), 4}, "1 2 3 'a' 'b' 'c' 4");
    check_golden(xdr_ApiFmCustomDocArgT, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "1 2 3 4 5 6 7 8 9 10");
    F_PropValT pv[] = {{{0, S("Param")}, {1, {2}}}};
    check_golden(xdr_ApiFmOpenArgT, {S("/a.doc"), {1, pv}}, "'/a.doc' 1 0 'Param' 1 2");
    each([&](auto p) { check_golden(p, {S("f"), 3, {1, pv}}, "'f' 3 1 0 'Param' 1 2"); },
         xdr_ApiFmSaveArgT, xdr_ApiFmExportArgT);
    check_golden(xdr_ApiFmImportArgT, {S("g"), 3, {4, 5}, {1, pv}}, "'g' 3 4 5 1 0 'Param' 1 2");
    // The callback program's own records.
    check_golden(xdr_FmApiMessageArgT, {S("msg"), 1, 2}, "'msg' 1 2");
    check_golden(xdr_FmApiNotifyArgT, {1, 2, S("/f"), 3}, "1 2 '/f' 3");
    check_golden(xdr_Fm4ApiNotifyArgT, {1, 2, S("/g")}, "1 2 '/g'");
}

TEST(XdrGolden, ConnectRecords) {
    check_golden(xdr_FmRpcApiConnectArgT, {1, S("host-a"), S("sess")}, "'sess' 'host-a' 1");
    check_golden(xdr_FmRpcApiConnectReturnT, {1, 2, 3, 4, 5, 6, 7, S("fh")}, "1 2 3 4 5 6 7 'fh'");
    FmRpcApiConnectArgT noHost{1, nullptr, S("s")};
    bool ok = true;
    encode(xdr_FmRpcApiConnectArgT, noHost, &ok);
    EXPECT_FALSE(ok) << "the plain string filter refuses null";
}

// Malformed input fails without a crash; the free pass releases what was allocated (checked by ASan).

TEST(XdrMalformed, EveryTruncationFails) {
    // Replies rich in nested allocations: every prefix is a truncated stream.
    const std::string open =
        "0 1 1 6 0 'S' 3 'string value' 0 'SS' 6 3 'a' 'bbbbb' '' 21 8 1 5 1 '..' 2 "
        "22 17 1 'def' 1 2 3 1 'c' 1 'd' 'lo' 'hi' 23 19 1 1 2 3 4 5 6 24 20 'f1' 'f2' 1 2 3 4";
    const std::string text = "0 3 1 1 'abc' 2 2 77 3 1 'defgh'";
    const std::string attrs = "0 2 'n1' 2 'v1' 'v2' 1 0 'n2' 0 0 1";
    auto prefixes = [](auto proc, const std::string &spec) {
        const Bytes full = W(spec);
        EXPECT_TRUE(decodes(proc, full));
        for (std::size_t n = 0; n < full.size(); ++n)
            EXPECT_FALSE(decodes(proc, Bytes(full.begin(), full.begin() + static_cast<long>(n))))
                << n;
    };
    prefixes(xdr_ApiFmOpenRetT, open);
    prefixes(xdr_ApiFmGetTextRetT, text);
    prefixes(xdr_ApiFmGetAttributesRetT, attrs);
}

TEST(XdrMalformed, AbsurdCountsAndFlagsFail) {
    EXPECT_FALSE(decodes(xdr_StringT, W("0x7FFFFFFF 0x61626364")));
    EXPECT_FALSE(decodes(xdr_StringT, W("0xFFFFFFFF 0x61626364")));
    EXPECT_FALSE(decodes(xdr_ApiFmGetStringsRetT, W("0 0xFFFFFFFF 'a' 'b'")));
    // One-byte elements: the count alone must not make the decoder allocate 4 GiB.
    EXPECT_FALSE(decodes(xdr_ApiFmGetUBytesRetT, W("0 0xFFFFFFFF 1 2")));
    EXPECT_FALSE(decodes(xdr_ApiFmGetPropsRetT, W("0 0xFFFFFFFF 5 3 'x'")));
    // A sane outer list whose second element claims a huge inner list.
    EXPECT_FALSE(decodes(xdr_ApiFmGetPropsRetT, W("0 2 1 6 1 'ok' 2 6 0xFFFFFFFF 'p'")));
    EXPECT_FALSE(decodes(xdr_ApiFmGetValRetT, W("0 13 0x40000000 1")));
    EXPECT_FALSE(decodes(xdr_FmRpcApiConnectReturnT, W("0 0 1 1 2 1 7 0xFFFFFFFF")));
    // A presence flag is an XDR boolean: 0 or 1.
    EXPECT_FALSE(decodes(xdr_ApiFmOpenRetT, W("0 1 0xFFFFFFFF 0")));
    EXPECT_FALSE(decodes(xdr_F_TypedValT, W("19 2 1 2 3 4 5 6")));
}

TEST(XdrMalformed, FreeAfterAPartialDecodeLeavesTheRecordEmpty) {
    ApiFmGetStringsRetT r;
    ASSERT_FALSE(decode(xdr_ApiFmGetStringsRetT, W("0 3 'one' 'two'"), r));
    ASSERT_NE(r.strings.val, nullptr);
    EXPECT_STREQ(r.strings.val[0], "one");
    release(xdr_ApiFmGetStringsRetT, r);
    EXPECT_EQ(r.strings.val, nullptr);
    EXPECT_EQ(r.strings.len, 0u);
}

// The table is looked up by binary search: it must stay sorted.
TEST(ProcTable, FindsEveryRowAndNothingElse) {
    for (std::size_t i = 0; i < fapi_proc_count; ++i)
        EXPECT_EQ(fapi_proc_find(fapi_procs[i].number), &fapi_procs[i]) << fapi_procs[i].stub;
    EXPECT_EQ(fapi_proc_find(999), nullptr);
}

}  // namespace
