// documents_test.cpp - framesim's documents over the wire: opening present,
// missing and malformed files, the open parameters, the marker chain,
// hypertext commands, closing, objects made by clients, unknown procedures
// and the summary.
#include <fstream>

#include <memory>

#include "sim_test_util.hpp"

using namespace simtest;
using fdk::sim::to_json;

namespace {

class Documents : public Connected {
protected:
    Documents() : Connected(options()) {}
    static Framesim::Options options() {
        Framesim::Options o = session_options();
        o.summary = true;
        return o;
    }
};

// An open parameter list holding one integer parameter.
struct Params {
    F_PropValT v{};
    explicit Params(IntT num, IntT value) {
        v.propIdent = prop(num);
        v.propVal.valType = 1;
        v.propVal.u.ival = value;
    }
    F_PropValsT list() { return F_PropValsT{1, &v}; }
};

TEST_F(Documents, OpenPresentMissingAndMalformedFiles) {
    OpenResult o = open_doc(c(), example("intro.json"));
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.doc, 0u);
    EXPECT_EQ(o.ret, Json::parse(R"([{"propIdent":{"num":1},"propVal":{"ival":1,"valType":1}}])"));
    EXPECT_EQ(get_id(c(), 0, 0, 51), o.doc) << "an opened document becomes active";
    EXPECT_EQ(get_string(c(), 0, o.doc, 30), "Introduction");
    EXPECT_EQ(get_string(c(), 0, o.doc, 22), example("intro.json"));

    OpenResult again = open_doc(c(), example("intro.json"));
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.doc, o.doc) << "an open file is not opened twice";
    EXPECT_EQ(again.ret[0]["propVal"]["ival"], 2);

    OpenResult missing = open_doc(c(), fs.dir().file("no-such.json"));
    EXPECT_EQ(missing.status, -6);
    EXPECT_EQ(missing.doc, 0u);
    EXPECT_EQ(missing.ret[0]["propVal"]["ival"], -6);

    std::string bad = fs.dir().write("bad.json", R"({"paragraphs": ["a"], "markers": [{"type": 19, "paragraph": 3}]})");
    OpenResult malformed = open_doc(c(), bad);
    EXPECT_EQ(malformed.status, -8);
    EXPECT_EQ(malformed.doc, 0u);
    auto line = fs.journal().wait_kind("document", {{"event", "open-failed"}, {"path", bad}}, Millis(10000));
    ASSERT_TRUE(line);
    EXPECT_NE(fs.journal().lines()[*line]["why"].get<std::string>().find("paragraph 3"), std::string::npos);

    EXPECT_EQ(open_doc(c(), fs.dir().path()).status, -7) << "a directory is not a document";
    EXPECT_EQ(open_doc(c(), "").status, -11);
    EXPECT_EQ(get_id(c(), 0, 0, 51), o.doc) << "failed opens leave the active document";
}

TEST_F(Documents, HiddenOpenKeepsTheActiveDocumentAndRelativePathsUseTheDocRoot) {
    OpenResult first = open_doc(c(), example("intro.json"));
    ASSERT_EQ(first.status, 0);
    Params hidden(22, 0);
    OpenResult list = open_doc(c(), example("functions.json"), hidden.list());
    ASSERT_EQ(list.status, 0);
    EXPECT_EQ(get_id(c(), 0, 0, 51), first.doc);
    Params other(5, 0);  // recorded, no effect
    EXPECT_EQ(open_doc(c(), example("reference.json"), other.list()).status, 0);
    EXPECT_NE(get_id(c(), 0, 0, 51), first.doc);
}

TEST_F(Documents, MarkerChainMatchesTheFile) {
    OpenResult o = open_doc(c(), example("reference.json"));
    ASSERT_EQ(o.status, 0);
    std::ifstream in(example("reference.json"));
    Json file = Json::parse(in);
    std::vector<F_ObjIdT> paragraphs;
    size_t i = 0;
    F_ObjIdT m = get_id(c(), 0, o.doc, 114);
    while (m != 0) {
        ASSERT_LT(i, file["markers"].size()) << "more markers than the file has";
        const Json &want = file["markers"][i];
        EXPECT_EQ(get_int(c(), o.doc, m, 1024), want["type"].get<int>());
        EXPECT_EQ(get_string(c(), o.doc, m, 1025), want["text"].get<std::string>());
        F_TextLocT loc = get_textloc(c(), o.doc, m, 879);
        EXPECT_EQ(loc.offset, want["offset"].get<int>());
        size_t para = want["paragraph"].get<size_t>();
        if (paragraphs.size() <= para) paragraphs.resize(para + 1, 0);
        if (paragraphs[para] == 0) paragraphs[para] = loc.objId;
        EXPECT_EQ(paragraphs[para], loc.objId) << "one handle per paragraph";
        // The location's paragraph holds the paragraph's text.
        ApiFmGetTextArgT ga{o.doc, loc.objId, 0};
        ApiFmGetTextRetT *t = api_fm_get_text_1(&ga, c());
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(t->items.len, 1u);
        EXPECT_STREQ(t->items.val[0].data.u.sdata, file["paragraphs"][para].get<std::string>().c_str());
        release(t);
        m = get_id(c(), o.doc, m, 1026);
        ++i;
    }
    EXPECT_EQ(i, file["markers"].size());
    // A marker asked for with another document, or with the session as its
    // document, is refused.
    F_ObjIdT first = get_id(c(), 0, o.doc, 114);
    OpenResult other = open_doc(c(), example("intro.json"));
    IntT status = 0;
    get_int(c(), other.doc, first, 1024, &status);
    EXPECT_EQ(status, -3);
    EXPECT_EQ(get_id(c(), 0, first, 1026, &status), 0u);
    EXPECT_EQ(status, -3);
    // A document without markers has none.
    std::string empty = fs.dir().write("empty.json", R"({"paragraphs": ["only text"]})");
    OpenResult e = open_doc(c(), empty);
    ASSERT_EQ(e.status, 0);
    EXPECT_EQ(get_id(c(), 0, e.doc, 114), 0u);
    EXPECT_EQ(get_string(c(), 0, e.doc, 30), "empty.json") << "no title: the file name";
}

TEST_F(Documents, GotolinkOpensRelativeToTheDocumentAndScrollsToTheTag) {
    Params hidden(22, 0);
    OpenResult list = open_doc(c(), example("functions.json"), hidden.list());
    ASSERT_EQ(list.status, 0);
    char cmd[] = "gotolink functions/move.json:MOVECOPY";
    ApiFmHypertextCommandArgT h{list.doc, cmd};
    int *st = api_fm_hypertext_command_1(&h, c());
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(*st, 0);
    F_ObjIdT page = get_id(c(), 0, 0, 51);
    EXPECT_NE(page, list.doc);
    EXPECT_EQ(get_string(c(), 0, page, 22), example("functions/move.json"));
    auto line = fs.journal().wait_kind("scroll", {{"doc", page}, {"via", "hypertext"}}, Millis(10000));
    ASSERT_TRUE(line);
    EXPECT_EQ(fs.journal().lines()[*line]["paragraph"], 2) << "MOVECOPY sits in paragraph 2";

    // Within the same document, and the errors.
    char same[] = "gotolink MOVE";
    h = {page, same};
    EXPECT_EQ(*api_fm_hypertext_command_1(&h, c()), 0);
    char no_tag[] = "gotolink functions/move.json:NOSUCH";
    h = {list.doc, no_tag};
    EXPECT_EQ(*api_fm_hypertext_command_1(&h, c()), -10);
    char no_file[] = "gotolink functions/none.json:X";
    h = {list.doc, no_file};
    EXPECT_EQ(*api_fm_hypertext_command_1(&h, c()), -10);
    char unknown[] = "launchrocket now";
    h = {list.doc, unknown};
    EXPECT_EQ(*api_fm_hypertext_command_1(&h, c()), -9);
    char empty[] = "gotolink";
    h = {list.doc, empty};
    EXPECT_EQ(*api_fm_hypertext_command_1(&h, c()), -9);
    h = {4242, same};
    EXPECT_EQ(*api_fm_hypertext_command_1(&h, c()), -2);
    char open[] = "openlink ../docs/intro.json";
    h = {list.doc, open};
    EXPECT_EQ(*api_fm_hypertext_command_1(&h, c()), 0);
    EXPECT_EQ(get_string(c(), 0, get_id(c(), 0, 0, 51), 30), "Introduction");
}

TEST_F(Documents, ScrollCloseAndObjects) {
    OpenResult o = open_doc(c(), example("intro.json"));
    F_ObjIdT marker = get_id(c(), 0, o.doc, 114);
    F_TextLocT loc = get_textloc(c(), o.doc, marker, 879);
    ApiFmGeneralTextRangeArgT sc{o.doc, {loc, loc}};
    EXPECT_EQ(*api_fm_scroll_to_text_1(&sc, c()), 0);
    EXPECT_TRUE(fs.journal().wait_kind("scroll", {{"doc", o.doc}, {"via", "scroll"}}, Millis(10000)));
    sc.textRange.beg.objId = 4242;
    EXPECT_EQ(*api_fm_scroll_to_text_1(&sc, c()), -3);
    sc.docId = 4242;
    EXPECT_EQ(*api_fm_scroll_to_text_1(&sc, c()), -2);

    // Objects made by clients get fresh handles and can be deleted once.
    char name[] = "Frame1";
    ApiFmNewNamedObjArgT nn{o.doc, 17, name};
    ApiFmObjRetT *r = api_fm_new_named_object_1(&nn, c());
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->status, 0);
    F_ObjIdT made = r->objId;
    EXPECT_NE(made, 0u);
    ApiFmGetNamedObjArgT gn{o.doc, 17, name};
    r = api_fm_get_named_object_1(&gn, c());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->objId, made);
    ApiFmGeneralObjArgT del{o.doc, made};
    EXPECT_EQ(*api_fm_object_valid_1(&del, c()), 0);
    EXPECT_EQ(*api_fm_delete_1(&del, c()), 0);
    EXPECT_EQ(*api_fm_delete_1(&del, c()), -3);
    EXPECT_EQ(*api_fm_object_valid_1(&del, c()), -3);

    char menu[] = "HelpMenu", label[] = "Help";
    ApiFmDefineMenuArgT dm{menu, label};
    r = api_fm_define_menu_1(&dm, c());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->status, 0);
    ApiFmExistsArgT ex{menu};
    EXPECT_EQ(*api_fm_menu_exists_1(&ex, c()), 1);
    ApiFmAddCommandToMenuArgT bad{4242, 4243};
    EXPECT_EQ(*api_fm_add_command_to_menu_1(&bad, c()), -3);

    // Closing: the document and its markers go; the active one moves on.
    ApiFmCloseDocArgT cl{o.doc, 0};
    EXPECT_EQ(*api_fm_close_1(&cl, c()), 0);
    EXPECT_EQ(*api_fm_close_1(&cl, c()), -2);
    IntT status = 0;
    get_int(c(), 0, marker, 1024, &status);
    EXPECT_EQ(status, -3);
    EXPECT_EQ(get_id(c(), 0, 0, 51), 0u);
}

// The error statuses of property calls; the store itself is exercised by
// every call function in apilib_calls_wire_test.
TEST_F(Documents, PropertyErrorsNameTheirCause) {
    IntT status = 0;
    ApiFmSetStringArgT ss{0, 0, prop(9001), const_cast<char *>("text")};
    ASSERT_NE(api_fm_set_string_1(&ss, c()), nullptr);
    struct { F_ObjIdT doc, obj; IntT prop, want; } cases[] = {
        {0, 0, 9001, -5},          // a string read as an int
        {0, 0, 9002, -4},          // never set
        {0, 99999, 9001, -3},      // no such object
        {99999, 99999, 9001, -2},  // no such document
    };
    for (auto k : cases) {
        get_int(c(), k.doc, k.obj, k.prop, &status);
        EXPECT_EQ(status, k.want) << k.doc << " " << k.obj << " " << k.prop;
    }
    ApiFmGetPropArgT del{0, 0, prop(9001)};
    EXPECT_EQ(*api_fm_delete_prop_1(&del, c()), 0);
    EXPECT_EQ(*api_fm_delete_prop_1(&del, c()), -4);
    // The active document must be an open one.
    ApiFmSetIdArgT sa{0, 0, prop(51), 4242};
    EXPECT_EQ(*api_fm_set_id_1(&sa, c()), -2);
    EXPECT_EQ(fs.ctl("set 0 9101 textloc [1, 2, 3]").rfind("error", 0), 0u);
}

TEST_F(Documents, UnknownProcedureAndDefaultReplies) {
    int zero = 0;
    struct timeval tv {5, 0};
    enum clnt_stat st = clnt_call(c(), 1049, fdk::xdr::proc_of<int>(), reinterpret_cast<caddr_t>(&zero),
                                  fdk::xdr::proc_of<void>(), nullptr, tv);
    EXPECT_EQ(st, RPC_PROCUNAVAIL);
    // A procedure without a model answers status 0 and an empty result.
    int family = 1;
    ApiFmFamilyFontsRetT *ff = api_fm_family_fonts_1(&family, c());
    ASSERT_NE(ff, nullptr);
    EXPECT_EQ(ff->status, 0);
    EXPECT_EQ(ff->fonts.len, 0u);
    release(ff);
    EXPECT_NE(api_fm_push_clipboard_1(&zero, c()), nullptr);
    // Client information.
    int *no = api_client_number_1(&zero, c());
    ASSERT_NE(no, nullptr);
    EXPECT_EQ(*no, 0);
    StringT *name = api_client_name_1(&zero, c());
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(*name, "simtest");
    release(name);
}

TEST_F(Documents, SummaryListsWhatAUserWouldHaveSeen) {
    OpenResult o = open_doc(c(), example("intro.json"));
    char title[] = "HELP NORVA/FRAME";
    ApiFmSetStringArgT t{0, o.doc, prop(30), title};
    EXPECT_EQ(*api_fm_set_string_1(&t, c()), 0);
    IntT code = 0xF33;
    ApiFmFcodesArgT fc{{1, &code}};
    EXPECT_EQ(*api_fm_fcodes_1(&fc, c()), 0);
    char msg[] = "List of NORVA functions not found";
    ApiFmAlertArgT al{msg, 2};
    EXPECT_EQ(*api_fm_alert_1(&al, c()), 0);
    ApiFmNotificationArgT n{2, 1};
    EXPECT_EQ(*api_fm_notification_1(&n, c()), 0);
    EXPECT_EQ(fs.ctl("exit"), "ok");
    auto status = fs.wait_exit(Millis(10000));
    ASSERT_TRUE(status.exited);
    EXPECT_EQ(status.code, 0);
    std::string out = fdk::test::read_file(fs.stdout_path());
    for (const char *want : {"intro.json", "HELP NORVA/FRAME", "0xF33", static_cast<const char *>(msg), "2 on"})
        EXPECT_NE(out.find(want), std::string::npos) << want << " missing from:\n" << out;
    EXPECT_EQ(fs.journal().of_kind("notify-request").size(), 1u);
}

}  // namespace
