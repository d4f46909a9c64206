// Record encoders (api_to_fm_xdr): golden bytes for every record, grouped by
// shape (a member missing from a record's field list shows as missing
// bytes), the record edge cases and malformed input.
#include "xdr_test_util.hpp"

using namespace fdk_test;

namespace {

char *S(const char *s) { return const_cast<char *>(s); }

// Distinct sample values.  Handles are written as u32, ints as i32.
constexpr UIntT H1 = 0x10000001u, H2 = 0x20000002u, H3 = 0x30000003u;
constexpr IntT I1 = -11, I2 = 22, I3 = -33, I4 = 44, I5 = -55, I6 = 66;

// ---------------------------------------------------------------------------
// Result records

TEST(XdrResults, StatusAndOneWord) {
    auto int_int = []<class T>(Proc<T> p) { check_golden(p, T{I1, I2}, Wire().i32(I1).i32(I2)); };
    int_int(xdr_ApiFmPromptIntRetT);
    int_int(xdr_ApiFmPromptMetricRetT);
    int_int(xdr_ApiFmScrollBoxRetT);
    int_int(xdr_ApiFmGetIntRetT);
    int_int(xdr_ApiFmGetMetricRetT);
    int_int(xdr_ApiFmQuickSelectRetT);

    auto int_uint = []<class T>(Proc<T> p) { check_golden(p, T{I3, H1}, Wire().i32(I3).u32(H1)); };
    int_uint(xdr_ApiFmCustomDocRetT);
    int_uint(xdr_ApiFmObjRetT);
    int_uint(xdr_ApiFmGetIdRetT);

    check_golden(xdr_ApiFmCompareRetT, ApiFmCompareRetT{I4, H2, H3}, Wire().i32(I4).u32(H2).u32(H3));
}

TEST(XdrResults, StatusAndString) {
    auto int_str = []<class T>(Proc<T> p) { check_golden(p, T{I5, S("/tmp/a b")}, Wire().i32(I5).str("/tmp/a b")); };
    int_str(xdr_ApiFmPromptStringRetT);
    int_str(xdr_ApiFmChooseFileRetT);
    int_str(xdr_ApiFmGetStringRetT);
}

TEST(XdrResults, NonZeroStatusStillCarriesEveryField) {
    F_TextLocT loc{H1, I2};
    check_golden(xdr_ApiFmGetTextLocRetT, ApiFmGetTextLocRetT{-42, loc}, Wire().i32(-42).u32(H1).i32(I2));
    check_golden(xdr_ApiFmGetStringRetT, ApiFmGetStringRetT{7, nullptr}, Wire().i32(7).str(""));
}

TEST(XdrResults, StatusAndPlainRecords) {
    F_TextLocT loc{H1, I1};
    auto loc_ret = [&]<class T>(Proc<T> p) { check_golden(p, T{I2, loc}, Wire().i32(I2).u32(H1).i32(I1)); };
    loc_ret(xdr_ApiFmAddTextRetT);
    loc_ret(xdr_ApiFmGetTextLocRetT);
    loc_ret(xdr_ApiFmElementLocToTextLocRetT);

    check_golden(xdr_ApiFmGetTextRangeRetT, ApiFmGetTextRangeRetT{I3, {{H1, I1}, {H2, I2}}},
                 Wire().i32(I3).u32(H1).i32(I1).u32(H2).i32(I2));
    check_golden(xdr_ApiFmTextLocToElementLocRetT, ApiFmTextLocToElementLocRetT{I4, {H1, H2, I5}},
                 Wire().i32(I4).u32(H1).u32(H2).i32(I5));
    check_golden(xdr_ApiFmGetElementRangeRetT,
                 ApiFmGetElementRangeRetT{I1, {{H1, H2, I2}, {H3, 7, I3}}},
                 Wire().i32(I1).u32(H1).u32(H2).i32(I2).u32(H3).u32(7).i32(I3));
    check_golden(xdr_ApiFmPromptPointRetT, ApiFmPromptPointRetT{I1, {I2, I3}}, Wire().i32(I1).i32(I2).i32(I3));
    check_golden(xdr_ApiFmPromptRectRetT, ApiFmPromptRectRetT{I1, {I2, I3, I4, I5}},
                 Wire().i32(I1).i32(I2).i32(I3).i32(I4).i32(I5));
}

TEST(XdrResults, StatusAndValues) {
    ApiFmGetValRetT val{I1, {}};
    val.val.valType = 3;
    val.val.u.sval = S("sv");
    check_golden(xdr_ApiFmGetValRetT, val, Wire().i32(I1).i32(3).str("sv"));

    ApiFmGetPropRetT prop{I2, {{0, S("Nm")}, {}}};
    prop.propVal.propVal.valType = 2;
    prop.propVal.propVal.u.ival = I3;
    check_golden(xdr_ApiFmGetPropRetT, prop, Wire().i32(I2).i32(0).str("Nm").i32(2).i32(I3));

    F_PropValT pv[1] = {{{H1 & 0xFFFF, nullptr}, {}}};
    pv[0].propVal.valType = 9;
    pv[0].propVal.u.tlval = {H2, I4};
    check_golden(xdr_ApiFmGetPropsRetT, ApiFmGetPropsRetT{I5, {1, pv}},
                 Wire().i32(I5).u32(1).i32(static_cast<IntT>(H1 & 0xFFFF)).i32(9).u32(H2).i32(I4));
}

TEST(XdrResults, StatusAndLists) {
    StringT ss[] = {S("p"), S("qq")};
    check_golden(xdr_ApiFmGetStringsRetT, ApiFmGetStringsRetT{I1, {2, ss}}, Wire().i32(I1).u32(2).str("p").str("qq"));
    MetricT ms[] = {I2, I3};
    check_golden(xdr_ApiFmGetMetricsRetT, ApiFmGetMetricsRetT{I1, {2, ms}}, Wire().i32(I1).u32(2).i32(I2).i32(I3));
    IntT is[] = {I4};
    check_golden(xdr_ApiFmGetIntsRetT, ApiFmGetIntsRetT{I2, {1, is}}, Wire().i32(I2).u32(1).i32(I4));
    F_PointT pts[] = {{I5, I6}};
    check_golden(xdr_ApiFmGetPointsRetT, ApiFmGetPointsRetT{I3, {1, pts}}, Wire().i32(I3).u32(1).i32(I5).i32(I6));
    F_TabT tabs[] = {{I1, 3, S("-"), 4}};
    check_golden(xdr_ApiFmGetTabsRetT, ApiFmGetTabsRetT{I4, {1, tabs}},
                 Wire().i32(I4).u32(1).i32(I1).u32(3).str("-").u32(4));
    UByteT ub[] = {5, 6, 7};
    check_golden(xdr_ApiFmGetUBytesRetT, ApiFmGetUBytesRetT{I5, {3, ub}},
                 Wire().i32(I5).u32(3).u32(5).u32(6).u32(7));
    F_AttributeDefT defs[] = {{S("a"), 1, 2, 3, {0, nullptr}, {0, nullptr}, S("lo"), S("hi")}};
    check_golden(xdr_ApiFmGetAttributeDefsRetT, ApiFmGetAttributeDefsRetT{I6, {1, defs}},
                 Wire().i32(I6).u32(1).str("a").i32(1).i32(2).i32(3).u32(0).u32(0).str("lo").str("hi"));
    StringT av[] = {S("v")};
    F_AttributeT attrs[] = {{S("b"), {1, av}, 8, 9}};
    check_golden(xdr_ApiFmGetAttributesRetT, ApiFmGetAttributesRetT{I1, {1, attrs}},
                 Wire().i32(I1).u32(1).str("b").u32(1).str("v").u32(8).u32(9));
    F_ElementCatalogEntryT cat[] = {{H1, I2}};
    check_golden(xdr_ApiFmGetElementCatalogRetT, ApiFmGetElementCatalogRetT{I3, {1, cat}},
                 Wire().i32(I3).u32(1).u32(H1).i32(I2));
    TextItemT items[1] = {{I4, {1, {}}}};
    items[0].data.u.sdata = S("txt");
    check_golden(xdr_ApiFmGetTextRetT, ApiFmGetTextRetT{I5, {1, items}},
                 Wire().i32(I5).u32(1).i32(I4).i32(1).str("txt"));
    F_FontT fonts[] = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    check_golden(xdr_ApiFmFamilyFontsRetT, ApiFmFamilyFontsRetT{I6, {2, fonts}},
                 Wire().i32(I6).u32(2).u32(1).u32(2).u32(3).u32(4).u32(5).u32(6).u32(7).u32(8));
}

TEST(XdrResults, OpenFamilyWithAndWithoutReturnList) {
    // Without a list: status, handle and a 0 flag.
    auto without = []<class T>(Proc<T> p) {
        check_golden(p, T{I1, H1, nullptr}, Wire().i32(I1).u32(H1).u32(0));
    };
    without(xdr_ApiFmOpenRetT);
    without(xdr_ApiFmSaveRetT);
    without(xdr_ApiFmExportRetT);
    without(xdr_ApiFmImportRetT);

    F_PropValT pv[2] = {{{5, nullptr}, {}}, {{6, nullptr}, {}}};
    pv[0].propVal.valType = 1;
    pv[0].propVal.u.ival = I2;
    pv[1].propVal.valType = 3;
    pv[1].propVal.u.sval = S("ret");
    F_PropValsT list{2, pv};
    Wire want = Wire().i32(I3).u32(H2).u32(1).u32(2).i32(5).i32(1).i32(I2).i32(6).i32(3).str("ret");
    auto with = [&]<class T>(Proc<T> p) { check_golden(p, T{I3, H2, &list}, want); };
    with(xdr_ApiFmOpenRetT);
    with(xdr_ApiFmSaveRetT);
    with(xdr_ApiFmExportRetT);
    with(xdr_ApiFmImportRetT);

    // A 1 flag allocates the list record and its elements.
    Decoded<ApiFmOpenRetT> back(xdr_ApiFmOpenRetT, want.b);
    ASSERT_TRUE(back.ok);
    ASSERT_NE(back.value.retParams, nullptr);
    ASSERT_EQ(back.value.retParams->len, 2u);
    EXPECT_STREQ(back.value.retParams->val[1].propVal.u.sval, "ret");
}

// ---------------------------------------------------------------------------
// Property access arguments

TEST(XdrPropertyArgs, GetPropByNumberAndByName) {
    check_golden(xdr_ApiFmGetPropArgT, ApiFmGetPropArgT{H1, H2, {1488, nullptr}},
                 Wire().u32(H1).u32(H2).i32(1488));
    check_golden(xdr_ApiFmGetPropArgT, ApiFmGetPropArgT{H2, H3, {0, S("ByName")}},
                 Wire().u32(H2).u32(H3).i32(0).str("ByName"));
}

TEST(XdrPropertyArgs, SetRecordsCarryTheirValueLast) {
    Wire head = Wire().u32(H1).u32(H2).i32(0).str("p");
    F_PropIdentT id{0, S("p")};
    auto same_head = [&](Wire tail) { return Wire().raw(head.b).raw(tail.b); };

    check_golden(xdr_ApiFmSetIntArgT, ApiFmSetIntArgT{H1, H2, id, I1}, same_head(Wire().i32(I1)));
    check_golden(xdr_ApiFmSetMetricArgT, ApiFmSetMetricArgT{H1, H2, id, I2}, same_head(Wire().i32(I2)));
    check_golden(xdr_ApiFmSetIdArgT, ApiFmSetIdArgT{H1, H2, id, H3}, same_head(Wire().u32(H3)));
    check_golden(xdr_ApiFmSetStringArgT, ApiFmSetStringArgT{H1, H2, id, S("val")}, same_head(Wire().str("val")));
    StringT ss[] = {S("x")};
    check_golden(xdr_ApiFmSetStringsArgT, ApiFmSetStringsArgT{H1, H2, id, {1, ss}}, same_head(Wire().u32(1).str("x")));
    MetricT ms[] = {I3};
    check_golden(xdr_ApiFmSetMetricsArgT, ApiFmSetMetricsArgT{H1, H2, id, {1, ms}}, same_head(Wire().u32(1).i32(I3)));
    IntT is[] = {I4, I5};
    check_golden(xdr_ApiFmSetIntsArgT, ApiFmSetIntsArgT{H1, H2, id, {2, is}}, same_head(Wire().u32(2).i32(I4).i32(I5)));
    F_PointT pts[] = {{I1, I2}};
    check_golden(xdr_ApiFmSetPointsArgT, ApiFmSetPointsArgT{H1, H2, id, {1, pts}},
                 same_head(Wire().u32(1).i32(I1).i32(I2)));
    F_TabT tabs[] = {{I6, 1, S(""), 2}};
    check_golden(xdr_ApiFmSetTabsArgT, ApiFmSetTabsArgT{H1, H2, id, {1, tabs}},
                 same_head(Wire().u32(1).i32(I6).u32(1).str("").u32(2)));
    UByteT ub[] = {0xEE};
    check_golden(xdr_ApiFmSetUBytesArgT, ApiFmSetUBytesArgT{H1, H2, id, {1, ub}}, same_head(Wire().u32(1).u32(0xEE)));
    check_golden(xdr_ApiFmSetTextLocArgT, ApiFmSetTextLocArgT{H1, H2, id, {H3, I1}}, same_head(Wire().u32(H3).i32(I1)));
    check_golden(xdr_ApiFmSetTextRangeArgT, ApiFmSetTextRangeArgT{H1, H2, id, {{H3, I1}, {H1, I2}}},
                 same_head(Wire().u32(H3).i32(I1).u32(H1).i32(I2)));
    check_golden(xdr_ApiFmSetElementRangeArgT, ApiFmSetElementRangeArgT{H1, H2, id, {{1, 2, I3}, {4, 5, I4}}},
                 same_head(Wire().u32(1).u32(2).i32(I3).u32(4).u32(5).i32(I4)));
    F_AttributeDefT defs[] = {{S("d"), 0, 1, 2, {0, nullptr}, {0, nullptr}, nullptr, nullptr}};
    check_golden(xdr_ApiFmSetAttributeDefsArgT, ApiFmSetAttributeDefsArgT{H1, H2, id, {1, defs}},
                 same_head(Wire().u32(1).str("d").i32(0).i32(1).i32(2).u32(0).u32(0).str("").str("")));
    F_AttributeT attrs[] = {{S("e"), {0, nullptr}, 0, 1}};
    check_golden(xdr_ApiFmSetAttributesArgT, ApiFmSetAttributesArgT{H1, H2, id, {1, attrs}},
                 same_head(Wire().u32(1).str("e").u32(0).u32(0).u32(1)));
    ApiFmSetValArgT sv{H1, H2, id, {}};
    sv.value.valType = 4;
    sv.value.u.ival = I5;
    check_golden(xdr_ApiFmSetValArgT, sv, same_head(Wire().i32(4).i32(I5)));
}

TEST(XdrPropertyArgs, SetPropAndSetProps) {
    ApiFmSetPropArgT one{H1, H2, {{77, nullptr}, {}}};
    one.propVal.propVal.valType = 1;
    one.propVal.propVal.u.ival = I1;
    check_golden(xdr_ApiFmSetPropArgT, one, Wire().u32(H1).u32(H2).i32(77).i32(1).i32(I1));
    F_PropValT list[1] = {one.propVal};
    check_golden(xdr_ApiFmSetPropsArgT, ApiFmSetPropsArgT{H2, H3, {1, list}},
                 Wire().u32(H2).u32(H3).u32(1).i32(77).i32(1).i32(I1));
}

// ---------------------------------------------------------------------------
// Text arguments

TEST(XdrTextArgs, LocationsRangesAndIdentifiers) {
    F_TextLocT loc{H2, I1};
    F_TextRangeT rng{{H2, I1}, {H3, I2}};
    Wire locW = Wire().u32(H2).i32(I1);
    Wire rngW = Wire().u32(H2).i32(I1).u32(H3).i32(I2);

    check_golden(xdr_ApiFmGetTextPropArgT, ApiFmGetTextPropArgT{H1, loc, {9, nullptr}},
                 Wire().u32(H1).raw(locW.b).i32(9));
    check_golden(xdr_ApiFmGetTextPropsArgT, ApiFmGetTextPropsArgT{H1, loc}, Wire().u32(H1).raw(locW.b));
    check_golden(xdr_ApiFmTextLocToElementLocArgT, ApiFmTextLocToElementLocArgT{H1, loc}, Wire().u32(H1).raw(locW.b));
    check_golden(xdr_ApiFmGeneralTextRangeArgT, ApiFmGeneralTextRangeArgT{H1, rng}, Wire().u32(H1).raw(rngW.b));
    check_golden(xdr_ApiFmGetTextArgT, ApiFmGetTextArgT{H1, H3, I3}, Wire().u32(H1).u32(H3).i32(I3));
    check_golden(xdr_ApiFmGetTextForRangeArgT, ApiFmGetTextForRangeArgT{H1, rng, I4},
                 Wire().u32(H1).raw(rngW.b).i32(I4));
    check_golden(xdr_ApiFmAddTextArgT, ApiFmAddTextArgT{H1, loc, S("added")}, Wire().u32(H1).raw(locW.b).str("added"));
    check_golden(xdr_ApiFmElementLocToTextLocArgT, ApiFmElementLocToTextLocArgT{H1, {H2, H3, I5}},
                 Wire().u32(H1).u32(H2).u32(H3).i32(I5));

    ApiFmSetTextValArgT tv{H1, rng, {0, S("tv")}, {}};
    tv.value.valType = 16;
    tv.value.u.ival = I6;
    check_golden(xdr_ApiFmSetTextValArgT, tv, Wire().u32(H1).raw(rngW.b).i32(0).str("tv").i32(16).i32(I6));

    F_PropValT pv[1] = {{{3, nullptr}, {}}};
    pv[0].propVal.valType = 1;
    pv[0].propVal.u.ival = I2;
    check_golden(xdr_ApiFmSetTextPropsArgT, ApiFmSetTextPropsArgT{H1, rng, {1, pv}},
                 Wire().u32(H1).raw(rngW.b).u32(1).i32(3).i32(1).i32(I2));
}

TEST(XdrTextArgs, SetTextPropCarriesTheIdentifierTwice) {
    ApiFmSetTextPropArgT a{H1, {{H2, I1}, {H3, I2}}, {0, S("outer")}, {{0, S("inner")}, {}}};
    a.propVal.propVal.valType = 3;
    a.propVal.propVal.u.sval = S("v");
    check_golden(xdr_ApiFmSetTextPropArgT, a,
                 Wire().u32(H1).u32(H2).i32(I1).u32(H3).i32(I2).i32(0).str("outer").i32(0).str("inner").i32(3).str("v"));
    // By number: neither identifier carries a name.
    ApiFmSetTextPropArgT b{H1, {{H2, I1}, {H3, I2}}, {12, S("x")}, {{12, S("y")}, {}}};
    b.propVal.propVal.valType = 1;
    b.propVal.propVal.u.ival = I3;
    check_golden(xdr_ApiFmSetTextPropArgT, b,
                 Wire().u32(H1).u32(H2).i32(I1).u32(H3).i32(I2).i32(12).i32(12).i32(1).i32(I3));
}

// ---------------------------------------------------------------------------
// Other arguments, by shape

TEST(XdrOtherArgs, OneAndTwoFields) {
    auto u = []<class T>(Proc<T> p) { check_golden(p, T{H1}, Wire().u32(H1)); };
    u(xdr_ApiFmSilentPrintDocArgT);
    u(xdr_ApiFmGeneralDocArgT);
    check_golden(xdr_ApiFmExistsArgT, ApiFmExistsArgT{S("Menu")}, Wire().str("Menu"));
    IntT codes[] = {0xF33, -2};
    check_golden(xdr_ApiFmFcodesArgT, ApiFmFcodesArgT{{2, codes}}, Wire().u32(2).i32(0xF33).i32(-2));
    check_golden(xdr_ApiFmNotificationArgT, ApiFmNotificationArgT{I1, I2}, Wire().i32(I1).i32(I2));

    auto uu = []<class T>(Proc<T> p) { check_golden(p, T{H1, H2}, Wire().u32(H1).u32(H2)); };
    uu(xdr_ApiFmAddCommandToMenuArgT);
    uu(xdr_ApiFmAddMenuToMenuArgT);
    uu(xdr_ApiFmUpdateTextInsetArgT);
    uu(xdr_ApiFmDeleteTextInsetContentsArgT);
    uu(xdr_ApiFmGeneralObjArgT);
    uu(xdr_ApiFmGeneralElementDefArgT);

    auto ui = []<class T>(Proc<T> p) { check_golden(p, T{H3, I3}, Wire().u32(H3).i32(I3)); };
    ui(xdr_ApiFmCloseDocArgT);
    ui(xdr_ApiFmUpdateXRefsArgT);
    ui(xdr_ApiFmCutCopyPasteArgT);
    ui(xdr_ApiFmDialogItemIdArgT);

    check_golden(xdr_ApiFmDoDialogArgT, ApiFmDoDialogArgT{I4, H1}, Wire().i32(I4).u32(H1));
    check_golden(xdr_ApiFmOpenResourceArgT, ApiFmOpenResourceArgT{I5, S("res")}, Wire().i32(I5).str("res"));
    auto si = []<class T>(Proc<T> p) { check_golden(p, T{S("msg"), I6}, Wire().str("msg").i32(I6)); };
    si(xdr_ApiFmLoadMenuCustomizationFileArgT);
    si(xdr_ApiFmAlertArgT);
    check_golden(xdr_ApiFmHypertextCommandArgT, ApiFmHypertextCommandArgT{H2, S("jump here")},
                 Wire().u32(H2).str("jump here"));
    auto ss = []<class T>(Proc<T> p) { check_golden(p, T{S("one"), S("two2")}, Wire().str("one").str("two2")); };
    ss(xdr_ApiFmCallClientArgT);
    ss(xdr_ApiFmRemoveMenuArgT);
    ss(xdr_ApiFmDefineMenuArgT);
    ss(xdr_ApiFmPromptArgT);
}

TEST(XdrOtherArgs, ThreeAndFourFields) {
    check_golden(xdr_ApiFmAddMenuArgT, ApiFmAddMenuArgT{S("a"), S("bb"), S("ccc")}, Wire().str("a").str("bb").str("ccc"));
    check_golden(xdr_ApiFmPromptMetricArgT, ApiFmPromptMetricArgT{S("m"), S("1in"), I1},
                 Wire().str("m").str("1in").i32(I1));
    auto uui = []<class T>(Proc<T> p) { check_golden(p, T{H1, H2, I2}, Wire().u32(H1).u32(H2).i32(I2)); };
    uui(xdr_ApiFmMenuItemInMenuArgT);
    uui(xdr_ApiFmSimpleImportFormatsArgT);
    uui(xdr_ApiFmSimpleImportElementDefsArgT);
    uui(xdr_ApiFmNewSubObjectArgT);
    uui(xdr_ApiFmPromptPointArgT);
    uui(xdr_ApiFmPromptRectArgT);
    check_golden(xdr_ApiFmApplyPageLayoutArgT, ApiFmApplyPageLayoutArgT{H1, H2, H3}, Wire().u32(H1).u32(H2).u32(H3));
    auto uii = []<class T>(Proc<T> p) { check_golden(p, T{H3, I3, I4}, Wire().u32(H3).i32(I3).i32(I4)); };
    uii(xdr_ApiFmSimpleGenerateArgT);
    uii(xdr_ApiFmGetUniqueObjArgT);
    auto uiu = []<class T>(Proc<T> p) { check_golden(p, T{H1, I5, H2}, Wire().u32(H1).i32(I5).u32(H2)); };
    uiu(xdr_ApiFmNewGraphicObjArgT);
    uiu(xdr_ApiFmNewSeriesObjArgT);
    auto uis = []<class T>(Proc<T> p) { check_golden(p, T{H2, I6, S("nm")}, Wire().u32(H2).i32(I6).str("nm")); };
    uis(xdr_ApiFmGetNamedObjArgT);
    uis(xdr_ApiFmNewNamedObjArgT);
    check_golden(xdr_ApiFmNewAnchoredObjArgT, ApiFmNewAnchoredObjArgT{H1, I1, {H2, I2}},
                 Wire().u32(H1).i32(I1).u32(H2).i32(I2));
    check_golden(xdr_ApiFmNewAnchoredFormattedObjArgT, ApiFmNewAnchoredFormattedObjArgT{H1, I1, S("fmt"), {H2, I2}},
                 Wire().u32(H1).i32(I1).str("fmt").u32(H2).i32(I2));
    check_golden(xdr_ApiFmNewElementArgT, ApiFmNewElementArgT{H1, H2, {H3, I3}}, Wire().u32(H1).u32(H2).u32(H3).i32(I3));
    check_golden(xdr_ApiFmNewElementInHierarchyArgT, ApiFmNewElementInHierarchyArgT{H1, H2, {H3, 9, I4}},
                 Wire().u32(H1).u32(H2).u32(H3).u32(9).i32(I4));
    check_golden(xdr_ApiFmNewBookComponentInHierarchyArgT,
                 ApiFmNewBookComponentInHierarchyArgT{H1, S("ch1"), {H2, H3, I5}},
                 Wire().u32(H1).str("ch1").u32(H2).u32(H3).i32(I5));
    check_golden(xdr_ApiFmDefineAndAddMenuArgT, ApiFmDefineAndAddMenuArgT{H1, S("n"), S("lbl")},
                 Wire().u32(H1).str("n").str("lbl"));
    check_golden(xdr_ApiFmDeleteUndefinedAttributeArgT, ApiFmDeleteUndefinedAttributeArgT{H1, S("at"), I1, H2},
                 Wire().u32(H1).str("at").i32(I1).u32(H2));
    StringT ch[] = {S("c1"), S("c2")};
    check_golden(xdr_ApiFmQuickSelectArgT, ApiFmQuickSelectArgT{H3, S("t"), {2, ch}},
                 Wire().u32(H3).str("t").u32(2).str("c1").str("c2"));
    check_golden(xdr_ApiFmForkAndExecArgT, ApiFmForkAndExecArgT{S("/bin/x"), {2, ch}},
                 Wire().str("/bin/x").u32(2).str("c1").str("c2"));
    check_golden(xdr_ApiFmScrollBoxArgT, ApiFmScrollBoxArgT{S("T"), I2, {2, ch}},
                 Wire().str("T").i32(I2).u32(2).str("c1").str("c2"));
    check_golden(xdr_ApiFmDefineCommandArgT, ApiFmDefineCommandArgT{I3, S("t"), S("l"), S("!k")},
                 Wire().i32(I3).str("t").str("l").str("!k"));
    check_golden(xdr_oldApiFmChooseFileArgT, oldApiFmChooseFileArgT{S("ti"), S("/d"), S("f"), I4},
                 Wire().str("ti").str("/d").str("f").i32(I4));
    check_golden(xdr_ApiFmAddRowsArgT, ApiFmAddRowsArgT{H1, H2, I1, I2}, Wire().u32(H1).u32(H2).i32(I1).i32(I2));
}

TEST(XdrOtherArgs, FiveFieldsAndMore) {
    check_golden(xdr_ApiFmAddCommandArgT, ApiFmAddCommandArgT{I1, S("m"), S("t"), S("l"), S("s")},
                 Wire().i32(I1).str("m").str("t").str("l").str("s"));
    check_golden(xdr_ApiFmDefineAndAddCommandArgT, ApiFmDefineAndAddCommandArgT{I2, H1, S("t"), S("l"), S("s")},
                 Wire().i32(I2).u32(H1).str("t").str("l").str("s"));
    check_golden(xdr_ApiFmAnimateMenuArgT, ApiFmAnimateMenuArgT{H1, H2, I3, S("lab"), H3, I4},
                 Wire().u32(H1).u32(H2).i32(I3).str("lab").u32(H3).i32(I4));
    check_golden(xdr_ApiFmChooseFileArgT, ApiFmChooseFileArgT{S("ti"), S("/d"), S("f"), I4, S("fifth")},
                 Wire().str("ti").str("/d").str("f").i32(I4).str("fifth"));
    auto uuiii = []<class T>(Proc<T> p) {
        check_golden(p, T{H1, H2, I1, I2, I3}, Wire().u32(H1).u32(H2).i32(I1).i32(I2).i32(I3));
    };
    uuiii(xdr_ApiFmAddColumnsArgT);
    uuiii(xdr_ApiFmStraddleCellsArgT);
    check_golden(xdr_ApiFmCutTablePartsArgT, ApiFmCutTablePartsArgT{H1, H2, H3, I1, I2, I3},
                 Wire().u32(H1).u32(H2).u32(H3).i32(I1).i32(I2).i32(I3));
    check_golden(xdr_ApiFmMakeTableSelectionArgT, ApiFmMakeTableSelectionArgT{H1, H2, I1, I2, I3, I4},
                 Wire().u32(H1).u32(H2).i32(I1).i32(I2).i32(I3).i32(I4));
    check_golden(xdr_ApiFmNewTableArgT, ApiFmNewTableArgT{H1, S("Fmt"), I1, I2, I3, I4, {H2, I5}},
                 Wire().u32(H1).str("Fmt").i32(I1).i32(I2).i32(I3).i32(I4).u32(H2).i32(I5));
    check_golden(xdr_ApiFmCompareArgT, ApiFmCompareArgT{H1, H2, I1, S("a"), S("b"), S("c"), I2},
                 Wire().u32(H1).u32(H2).i32(I1).str("a").str("b").str("c").i32(I2));
    Wire ten;
    for (IntT i = 1; i <= 10; ++i) ten.i32(i * 101 - 500);
    check_golden(xdr_ApiFmCustomDocArgT,
                 ApiFmCustomDocArgT{-399, -298, -197, -96, 5, 106, 207, 308, 409, 510}, ten);
}

TEST(XdrOtherArgs, OpenSaveExportImport) {
    F_PropValT pv[1] = {{{0, S("Param")}, {}}};
    pv[0].propVal.valType = 1;
    pv[0].propVal.u.ival = I1;
    Wire list = Wire().u32(1).i32(0).str("Param").i32(1).i32(I1);
    check_golden(xdr_ApiFmOpenArgT, ApiFmOpenArgT{S("/a/b.doc"), {1, pv}}, Wire().str("/a/b.doc").raw(list.b));
    auto sul = [&]<class T>(Proc<T> p) {
        check_golden(p, T{S("f"), H1, {1, pv}}, Wire().str("f").u32(H1).raw(list.b));
    };
    sul(xdr_ApiFmSaveArgT);
    sul(xdr_ApiFmExportArgT);
    check_golden(xdr_ApiFmImportArgT, ApiFmImportArgT{S("g"), H2, {H3, I2}, {1, pv}},
                 Wire().str("g").u32(H2).u32(H3).i32(I2).raw(list.b));
    check_golden(xdr_ApiFmOpenArgT, ApiFmOpenArgT{S("e"), {0, nullptr}}, Wire().str("e").u32(0));
}

// ---------------------------------------------------------------------------
// Callback and connect records

TEST(XdrCallbackArgs, AllSix) {
    check_golden(xdr_FmApiInitArgT, FmApiInitArgT{I1}, Wire().i32(I1));
    check_golden(xdr_FmApiCommandArgT, FmApiCommandArgT{I2}, Wire().i32(I2));
    check_golden(xdr_FmApiMessageArgT, FmApiMessageArgT{S("msg"), H1, H2}, Wire().str("msg").u32(H1).u32(H2));
    check_golden(xdr_FmApiNotifyArgT, FmApiNotifyArgT{I3, H3, S("/f"), I4}, Wire().i32(I3).u32(H3).str("/f").i32(I4));
    check_golden(xdr_Fm4ApiNotifyArgT, Fm4ApiNotifyArgT{I5, H1, S("/g")}, Wire().i32(I5).u32(H1).str("/g"));
    check_golden(xdr_FmApiDialogEventArgT, FmApiDialogEventArgT{I1, I2, I3}, Wire().i32(I1).i32(I2).i32(I3));
}

TEST(XdrConnect, ArgumentTravelsInReverseMemoryOrder) {
    check_golden(xdr_FmRpcApiConnectArgT, FmRpcApiConnectArgT{4242, S("host-a"), S("sess")},
                 Wire().str("sess").str("host-a").i32(4242));
    check_golden(xdr_FmRpcApiConnectReturnT, FmRpcApiConnectReturnT{0, I1, 0x40000001, 2, 0x40000002, 3, 999, S("fh")},
                 Wire().i32(0).i32(I1).i32(0x40000001).i32(2).i32(0x40000002).i32(3).i32(999).str("fh"));
}

TEST(XdrConnect, PlainStringsRefuseNull) {
    FmRpcApiConnectArgT a{1, nullptr, S("s")};
    bool ok = true;
    encode(xdr_FmRpcApiConnectArgT, a, &ok);
    EXPECT_FALSE(ok);
}

// ---------------------------------------------------------------------------
// Malformed input.  Every failure below must return 0 without a crash, and
// the free pass must release whatever was allocated (the sanitizer build
// checks for leaks).

// A reply rich in nested allocations: every prefix of it is a truncated
// stream.
Bytes rich_open_reply() {
    Wire w;
    w.i32(0).u32(H1).u32(1).u32(6);
    w.i32(0).str("S").i32(3).str("string value");
    w.i32(0).str("SS").i32(6).u32(3).str("a").str("bbbbb").str("");
    w.i32(21).i32(8).u32(1).i32(5).u32(1).str("..").u32(2);
    w.i32(22).i32(17).u32(1).str("def").i32(1).i32(2).i32(3).u32(1).str("c").u32(1).str("d").str("lo").str("hi");
    w.i32(23).i32(19).u32(1).u32(1).u32(2).i32(3).u32(4).u32(5).i32(6);
    w.i32(24).i32(20).str("f1").str("f2").u32(1).u32(2).u32(3).u32(4);
    return w.b;
}

TEST(XdrMalformed, EveryTruncationFailsAndFreesCleanly) {
    Bytes full = rich_open_reply();
    {
        Decoded<ApiFmOpenRetT> whole(xdr_ApiFmOpenRetT, full);
        ASSERT_TRUE(whole.ok);
        EXPECT_EQ(whole.used, full.size());
    }
    for (std::size_t n = 0; n < full.size(); ++n) {
        Bytes cut(full.begin(), full.begin() + static_cast<long>(n));
        ApiFmOpenRetT r;
        EXPECT_FALSE(decode(xdr_ApiFmOpenRetT, cut, r)) << "prefix " << n;
        release(xdr_ApiFmOpenRetT, r);
        EXPECT_EQ(r.retParams, nullptr);
    }
}

TEST(XdrMalformed, TruncatedTextAndAttributes) {
    Wire text = Wire().i32(0).u32(3).i32(1).i32(1).str("abc").i32(2).i32(2).u32(77).i32(3).i32(1).str("defgh");
    for (std::size_t n = 0; n < text.b.size(); ++n) {
        ApiFmGetTextRetT r;
        EXPECT_FALSE(decode(xdr_ApiFmGetTextRetT, Bytes(text.b.begin(), text.b.begin() + static_cast<long>(n)), r));
        release(xdr_ApiFmGetTextRetT, r);
    }
    Wire attrs = Wire().i32(0).u32(2).str("n1").u32(2).str("v1").str("v2").u32(1).u32(0).str("n2").u32(0).u32(0).u32(1);
    for (std::size_t n = 0; n < attrs.b.size(); ++n) {
        ApiFmGetAttributesRetT r;
        EXPECT_FALSE(decode(xdr_ApiFmGetAttributesRetT, Bytes(attrs.b.begin(), attrs.b.begin() + static_cast<long>(n)), r));
        release(xdr_ApiFmGetAttributesRetT, r);
    }
}

TEST(XdrMalformed, AbsurdCountsFail) {
    const uint32_t huge = 0xFFFFFFFFu;
    {
        Decoded<ApiFmGetStringsRetT> r(xdr_ApiFmGetStringsRetT, Wire().i32(0).u32(huge).str("a").str("b").b);
        EXPECT_FALSE(r.ok);
    }
    {
        // One-byte elements: the count alone must not make the decoder allocate 4 GiB.
        Decoded<ApiFmGetUBytesRetT> r(xdr_ApiFmGetUBytesRetT, Wire().i32(0).u32(huge).u32(1).u32(2).b);
        EXPECT_FALSE(r.ok);
    }
    {
        Decoded<ApiFmGetPropsRetT> r(xdr_ApiFmGetPropsRetT, Wire().i32(0).u32(huge).i32(5).i32(3).str("x").b);
        EXPECT_FALSE(r.ok);
    }
    {
        // Nested: a sane outer list whose second element claims a huge inner list.
        Wire w = Wire().i32(0).u32(2).i32(1).i32(6).u32(1).str("ok").i32(2).i32(6).u32(huge).str("p");
        Decoded<ApiFmGetPropsRetT> r(xdr_ApiFmGetPropsRetT, w.b);
        EXPECT_FALSE(r.ok);
    }
    {
        Decoded<ApiFmGetValRetT> r(xdr_ApiFmGetValRetT, Wire().i32(0).i32(13).u32(0x40000000u).i32(1).b);
        EXPECT_FALSE(r.ok);
    }
    {
        Decoded<ApiFmGetStringRetT> r(xdr_ApiFmGetStringRetT, Wire().i32(0).u32(huge).u32(0).b);
        EXPECT_FALSE(r.ok);
    }
    {
        Decoded<FmRpcApiConnectReturnT> r(xdr_FmRpcApiConnectReturnT,
                                          Wire().i32(0).i32(0).i32(1).i32(1).i32(2).i32(1).i32(7).u32(huge).b);
        EXPECT_FALSE(r.ok);
    }
    {
        Decoded<ApiFmOpenRetT> r(xdr_ApiFmOpenRetT, Wire().i32(0).u32(H1).u32(huge).u32(0).b);
        EXPECT_FALSE(r.ok) << "an optional-pointer flag must be 0 or 1";
        EXPECT_EQ(r.value.retParams, nullptr);
    }
}

TEST(XdrMalformed, FreeAfterPartialDecodeLeavesRecordEmpty) {
    Wire w = Wire().i32(0).u32(3).str("one").str("two");  // third string missing
    ApiFmGetStringsRetT r;
    ASSERT_FALSE(decode(xdr_ApiFmGetStringsRetT, w.b, r));
    ASSERT_NE(r.strings.val, nullptr);
    EXPECT_STREQ(r.strings.val[0], "one");
    release(xdr_ApiFmGetStringsRetT, r);
    EXPECT_EQ(r.strings.val, nullptr);
    EXPECT_EQ(r.strings.len, 0u);
}

}  // namespace
