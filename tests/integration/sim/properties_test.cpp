// properties_test.cpp - framesim's property store over the wire: for every
// value type a set followed by a get returns the value (by number and by
// name), and the error statuses of bad objects, properties and types.
#include <algorithm>
#include <cstring>

#include <memory>

#include "sim_test_util.hpp"

using namespace simtest;
using fdk::sim::to_json;

namespace {

class Properties : public Connected {};

// Sets through `set` (status reply), reads back through `get`, and compares
// the value field of both in their JSON form.
template <class SetArg, class GetRet, class SetFn, class GetFn, class Field>
void round_trip(CLIENT *c, SetArg arg, SetFn set, GetFn get, Field GetRet::*field) {
    int *st = set(&arg, c);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(*st, 0);
    ApiFmGetPropArgT g{arg.docId, arg.objId, arg.propIdent};
    GetRet *r = get(&g, c);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->status, 0);
    EXPECT_EQ(to_json(r->*field), to_json(arg.value)) << "property " << arg.propIdent.num;
    release(r);
}

TEST_F(Properties, EveryValueTypeRoundTripsOnTheSession) {
    round_trip(c(), ApiFmSetIntArgT{0, 0, prop(5001), -42}, api_fm_set_int_1, api_fm_get_int_1,
               &ApiFmGetIntRetT::value);
    round_trip(c(), ApiFmSetMetricArgT{0, 0, prop(5002), 3 * 65536}, api_fm_set_metric_1,
               api_fm_get_metric_1, &ApiFmGetMetricRetT::metric);
    round_trip(c(), ApiFmSetIdArgT{0, 0, prop(5003), 0xFFFFFFF0u}, api_fm_set_id_1, api_fm_get_id_1,
               &ApiFmGetIdRetT::id);
    char text[] = "Umlaut \xc3\xa4 and a long string with blanks";
    round_trip(c(), ApiFmSetStringArgT{0, 0, prop(5004), text}, api_fm_set_string_1, api_fm_get_string_1,
               &ApiFmGetStringRetT::str);

    char s1[] = "one", s2[] = "", s3[] = "three";
    StringT strs[] = {s1, s2, s3};
    round_trip(c(), ApiFmSetStringsArgT{0, 0, prop(5005), {3, strs}}, api_fm_set_strings_1,
               api_fm_get_strings_1, &ApiFmGetStringsRetT::strings);
    MetricT ms[] = {0, -1, 2147483647};
    round_trip(c(), ApiFmSetMetricsArgT{0, 0, prop(5006), {3, ms}}, api_fm_set_metrics_1,
               api_fm_get_metrics_1, &ApiFmGetMetricsRetT::metrics);
    IntT is[] = {-2147483647 - 1, 7};
    round_trip(c(), ApiFmSetIntsArgT{0, 0, prop(5007), {2, is}}, api_fm_set_ints_1, api_fm_get_ints_1,
               &ApiFmGetIntsRetT::ints);
    F_PointT pts[] = {{1, 2}, {-3, -4}};
    round_trip(c(), ApiFmSetPointsArgT{0, 0, prop(5008), {2, pts}}, api_fm_set_points_1,
               api_fm_get_points_1, &ApiFmGetPointsRetT::points);
    char dots[] = "...", none[] = "";
    F_TabT tabs[] = {{720, 1, dots, '.'}, {1440, 2, none, ','}};
    round_trip(c(), ApiFmSetTabsArgT{0, 0, prop(5009), {2, tabs}}, api_fm_set_tabs_1, api_fm_get_tabs_1,
               &ApiFmGetTabsRetT::tabs);
    UByteT bytes[] = {0, 127, 255};
    round_trip(c(), ApiFmSetUBytesArgT{0, 0, prop("Bytes"), {3, bytes}}, api_fm_set_ubytes_1,
               api_fm_get_ubytes_1, &ApiFmGetUBytesRetT::ubytes);
    round_trip(c(), ApiFmSetTextLocArgT{0, 0, prop(5011), {123, 45}}, api_fm_set_textloc_1,
               api_fm_get_textloc_1, &ApiFmGetTextLocRetT::textLoc);
    round_trip(c(), ApiFmSetTextRangeArgT{0, 0, prop(5012), {{1, 2}, {3, 4}}}, api_fm_set_textrange_1,
               api_fm_get_textrange_1, &ApiFmGetTextRangeRetT::textRange);
    round_trip(c(), ApiFmSetElementRangeArgT{0, 0, prop(5013), {{1, 2, 3}, {4, 5, -6}}},
               api_fm_set_element_range_1, api_fm_get_element_range_1, &ApiFmGetElementRangeRetT::elemRange);

    char an[] = "Kind", ch1[] = "a", ch2[] = "b", mn[] = "0", mx[] = "9";
    StringT choices[] = {ch1, ch2};
    F_AttributeDefT defs[] = {{an, 1, 0, 3, {2, choices}, {1, choices}, mn, mx}};
    round_trip(c(), ApiFmSetAttributeDefsArgT{0, 0, prop(1584), {1, defs}}, api_fm_set_attribute_defs_1,
               api_fm_get_attribute_defs_1, &ApiFmGetAttributeDefsRetT::attrDefs);
    char empty[] = "";
    F_AttributeT attrs[] = {{an, {2, choices}, 1, 0}, {empty, {0, nullptr}, 0, 1}};
    round_trip(c(), ApiFmSetAttributesArgT{0, 0, prop(1634), {2, attrs}}, api_fm_set_attributes_1,
               api_fm_get_attributes_1, &ApiFmGetAttributesRetT::attrs);
}

TEST_F(Properties, TypedValuesOfTheRemainingTypesRoundTripThroughSetVal) {
    UIntT uis[] = {0, 4000000000u};
    F_ElementCatalogEntryT cat[] = {{77, 3}};
    char f1[] = "fmt", f2[] = "Format";
    F_ElementRangeT er{{1, 2, 3}, {4, 5, 6}};
    std::vector<F_TypedValT> values(6);
    values[0].valType = FT_UInts;
    values[0].u.uisval = {2, uis};
    values[1].valType = FT_ElementCatalog;
    values[1].u.csval = {1, cat};
    values[2].valType = FT_FileFormat;
    values[2].u.ffval = {f1, f2, {'T', 'E', 'X', 'T'}};
    values[3].valType = FT_ElementRange;
    values[3].u.erngval = nullptr;
    values[4].valType = FT_ElementRange;
    values[4].u.erngval = &er;
    values[5].valType = 11;
    values[5].u.ival = -5;
    IntT num = 6000;
    for (auto &v : values) {
        ApiFmSetValArgT a{0, 0, prop(++num), v};
        int *st = api_fm_set_val_1(&a, c());
        ASSERT_NE(st, nullptr);
        EXPECT_EQ(*st, 0);
        ApiFmGetPropArgT g{0, 0, prop(num)};
        ApiFmGetValRetT *r = api_fm_get_val_1(&g, c());
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->status, 0);
        EXPECT_EQ(to_json(r->val), to_json(v));
        release(r);
    }
    // The element catalog procedure reads the same store.
    ApiFmGetPropArgT g{0, 0, prop(6002)};
    ApiFmGetElementCatalogRetT *cr = api_fm_get_element_catalog_1(&g, c());
    ASSERT_NE(cr, nullptr);
    EXPECT_EQ(cr->status, 0);
    ASSERT_EQ(cr->catalog.len, 1u);
    EXPECT_EQ(cr->catalog.val[0].objId, 77u);
    release(cr);
}

TEST_F(Properties, PropValsByNameAndByNumberAndTextProperties) {
    char name[] = "Colour", red[] = "red";
    F_PropValT pv{{0, name}, {}};
    pv.propVal.valType = FT_String;
    pv.propVal.u.sval = red;
    ApiFmSetPropArgT sp{0, 0, pv};
    int *st = api_fm_set_prop_1(&sp, c());
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(*st, 0);
    ApiFmGetPropArgT gp{0, 0, prop("Colour")};
    ApiFmGetPropRetT *r = api_fm_get_prop_1(&gp, c());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->status, 0);
    EXPECT_EQ(to_json(r->propVal), to_json(pv));
    release(r);

    // A property named "Colour" is not property number 7000 and vice versa.
    ApiFmSetIntArgT si{0, 0, prop(7000), 1};
    ASSERT_NE(api_fm_set_int_1(&si, c()), nullptr);
    IntT status = 0;
    get_int(c(), 0, 0, 7000, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(get_string(c(), 0, 0, 7000, &status), "");
    EXPECT_EQ(status, -5);

    // set_props / get_props: every property of an object.
    OpenResult o = open_doc(c(), example("reference.json"));
    ASSERT_EQ(o.status, 0);
    F_PropValT list[2] = {};
    list[0].propIdent = prop(7101);
    list[0].propVal.valType = 1;
    list[0].propVal.u.ival = 11;
    list[1].propIdent = prop(name);
    list[1].propVal = pv.propVal;
    ApiFmSetPropsArgT sps{0, o.doc, {2, list}};
    st = api_fm_set_props_1(&sps, c());
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(*st, 0);
    ApiFmGeneralObjArgT go{0, o.doc};
    ApiFmGetPropsRetT *all = api_fm_get_props_1(&go, c());
    ASSERT_NE(all, nullptr);
    Json got = to_json(all->propVals);
    release(all);
    EXPECT_TRUE(std::count(got.begin(), got.end(), to_json(list[0])) == 1) << got.dump();
    EXPECT_TRUE(std::count(got.begin(), got.end(), to_json(list[1])) == 1) << got.dump();

    // Text properties live on the paragraph that holds the location.
    F_TextLocT loc = get_textloc(c(), o.doc, get_id(c(), 0, o.doc, 114), 879);
    F_TypedValT v{};
    v.valType = 1;
    v.u.ival = 99;
    ApiFmSetTextValArgT stv{o.doc, {loc, loc}, prop(8000), v};
    st = api_fm_set_text_val_1(&stv, c());
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(*st, 0);
    ApiFmGetTextPropArgT gtv{o.doc, loc, prop(8000)};
    ApiFmGetValRetT *tv = api_fm_get_text_val_1(&gtv, c());
    ASSERT_NE(tv, nullptr);
    EXPECT_EQ(tv->status, 0);
    EXPECT_EQ(tv->val.u.ival, 99);
    release(tv);
}

TEST_F(Properties, ErrorsNameTheirCause) {
    IntT status = 0;
    ApiFmSetStringArgT ss{0, 0, prop(9001), const_cast<char *>("text")};
    ASSERT_NE(api_fm_set_string_1(&ss, c()), nullptr);

    get_int(c(), 0, 0, 9001, &status);
    EXPECT_EQ(status, -5) << "a string read as an int";
    get_int(c(), 0, 0, 9002, &status);
    EXPECT_EQ(status, -4) << "a property never set";
    get_int(c(), 0, 99999, 9001, &status);
    EXPECT_EQ(status, -3) << "no such object";
    get_int(c(), 99999, 99999, 9001, &status);
    EXPECT_EQ(status, -2) << "no such document";

    ApiFmGetPropArgT del{0, 0, prop(9001)};
    int *st = api_fm_delete_prop_1(&del, c());
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(*st, 0);
    get_string(c(), 0, 0, 9001, &status);
    EXPECT_EQ(status, -4) << "deleted";
    st = api_fm_delete_prop_1(&del, c());
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(*st, -4);

    // A setting of the active document must name an open document.
    ApiFmSetIdArgT sa{0, 0, prop(51), 4242};
    st = api_fm_set_id_1(&sa, c());
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(*st, -2);
    EXPECT_EQ(get_id(c(), 0, 0, 51), 0u);
}

TEST_F(Properties, SessionListAndScenarioEdits) {
    ApiFmGetPropArgT g{0, 0, prop(59)};
    ApiFmGetStringsRetT *r = api_fm_get_strings_1(&g, c());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->status, 0);
    EXPECT_GT(r->strings.len, 0u) << "session property 59 starts non-empty";
    release(r);

    EXPECT_EQ(fs.ctl("empty session 59"), "ok");
    r = api_fm_get_strings_1(&g, c());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->status, 0);
    EXPECT_EQ(r->strings.len, 0u);
    release(r);

    EXPECT_EQ(fs.ctl("set 0 9100 strings [\"x\",\"y\"]"), "ok");
    r = api_fm_get_strings_1(&g, c());
    release(r);
    g.propIdent = prop(9100);
    r = api_fm_get_strings_1(&g, c());
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->strings.len, 2u);
    EXPECT_STREQ(r->strings.val[1], "y");
    release(r);
    EXPECT_EQ(fs.ctl("set session Title string \"two words\""), "ok");
    ApiFmGetPropArgT gn{0, 0, prop("Title")};
    ApiFmGetStringRetT *sr = api_fm_get_string_1(&gn, c());
    ASSERT_NE(sr, nullptr);
    EXPECT_STREQ(sr->str, "two words");
    release(sr);
    EXPECT_EQ(fs.ctl("set 0 9101 textloc [1, 2, 3]").rfind("error", 0), 0u);
    EXPECT_EQ(fs.ctl("set 0 9101 nosuchtype 1").rfind("error", 0), 0u);
}

}  // namespace
