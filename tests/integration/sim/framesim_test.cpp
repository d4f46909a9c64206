// framesim over the wire, driven with the client library's stubs: its
// documents and markers, the statuses of failing calls, and its faults.
#include <fstream>
#include <vector>
#include <string>

#include <gtest/gtest.h>

#include "fapi_stubs.h"
#include "record_json.hpp"
#include "testsupport.hpp"

using namespace fdk::test;

namespace {

std::string example(const std::string &name) { return std::string(FDK_EXAMPLES_DIR) + "/" + name; }

template <class R> void release(R *r) {
    if (r) xdr_free(fdk::xdr::proc_of<R>(), reinterpret_cast<char *>(r));
}

// A session-mode framesim and a connection to its program, made as the
// runtime makes it (clnttcp_create asks the port mapper).
class Sim : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs.wait_ready());
        c = connect();
        ASSERT_NE(c, nullptr);
    }
    void TearDown() override { clnt_destroy(c); }
    CLIENT *connect() {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int sock = RPC_ANYSOCK;
        return clnttcp_create(&addr, fs.prog(), fs.vers(), &sock, 0, 0);
    }
    // Property calls; the status goes to `status`.
    template <class R, R *(*call)(ApiFmGetPropArgT *, CLIENT *)>
    R get(F_ObjIdT doc, F_ObjIdT obj, IntT num, IntT *status = nullptr) {
        ApiFmGetPropArgT a{doc, obj, {num, nullptr}};
        R *r = call(&a, c);
        EXPECT_NE(r, nullptr);
        if (r && status) *status = r->status;
        return r ? *r : R{};
    }
    IntT get_int(F_ObjIdT doc, F_ObjIdT obj, IntT num, IntT *status = nullptr) {
        return get<ApiFmGetIntRetT, api_fm_get_int_1>(doc, obj, num, status).value;
    }
    F_ObjIdT get_id(F_ObjIdT doc, F_ObjIdT obj, IntT num, IntT *status = nullptr) {
        return get<ApiFmGetIdRetT, api_fm_get_id_1>(doc, obj, num, status).id;
    }
    std::string get_string(F_ObjIdT doc, F_ObjIdT obj, IntT num) {
        ApiFmGetPropArgT a{doc, obj, {num, nullptr}};
        ApiFmGetStringRetT *r = api_fm_get_string_1(&a, c);
        std::string s = r && r->str ? r->str : "";
        release(r);
        return s;
    }
    // Opens `path`; the document.
    F_ObjIdT open(const std::string &path) {
        ApiFmOpenArgT a{const_cast<char *>(path.c_str()), {0, nullptr}};
        ApiFmOpenRetT *r = api_fm_open_1(&a, c);
        EXPECT_TRUE(r && r->status == 0);
        F_ObjIdT doc = r ? r->objId : 0;
        release(r);
        return doc;
    }
    Framesim fs{[] {
        Framesim::Options o;
        o.session = "simtest";
        return o;
    }()};
    CLIENT *c = nullptr;
};

// The marker chain as the bridge walks it: the first marker from the
// document, each next one with the document.  A marker asked for with
// another document, or with the session (0) as its document, is refused.
TEST_F(Sim, MarkerChainMatchesTheFileAndNeedsItsDocument) {
    const F_ObjIdT doc = open(example("reference.json"));
    std::ifstream in(example("reference.json"));
    const Json file = Json::parse(in);
    size_t i = 0;
    const F_ObjIdT first = get_id(0, doc, 114);
    for (F_ObjIdT m = first; m != 0 && i < file["markers"].size(); m = get_id(doc, m, 1026), ++i) {
        const Json &want = file["markers"][i];
        EXPECT_EQ(get_int(doc, m, 1024), want["type"].get<int>());
        EXPECT_EQ(get_string(doc, m, 1025), want["text"].get<std::string>());
        F_TextLocT loc = get<ApiFmGetTextLocRetT, api_fm_get_textloc_1>(doc, m, 879).textLoc;
        EXPECT_EQ(loc.offset, want["offset"].get<int>());
        ApiFmGetTextArgT ga{doc, loc.objId, 0};
        ApiFmGetTextRetT *t = api_fm_get_text_1(&ga, c);
        ASSERT_TRUE(t && t->items.len == 1);
        EXPECT_EQ(t->items.val[0].data.u.sdata, file["paragraphs"][want["paragraph"].get<size_t>()]);
        release(t);
    }
    EXPECT_EQ(i, file["markers"].size());
    IntT status = 0;
    get_int(open(example("intro.json")), first, 1024, &status);
    EXPECT_EQ(status, -3);
    EXPECT_EQ(get_id(0, first, 1026, &status), 0u);
    EXPECT_EQ(status, -3);
}

// Each failing call names its cause in its status.
TEST_F(Sim, FailingCallsNameTheirCause) {
    const F_ObjIdT doc = open(example("functions.json"));
    char text[] = "text";
    ApiFmSetStringArgT ss{0, 0, {9001, nullptr}, text};
    ASSERT_NE(api_fm_set_string_1(&ss, c), nullptr);
    ApiFmGetPropArgT prop{0, 0, {9001, nullptr}};
    ApiFmCloseDocArgT close{doc, 0};
    IntT st[4] = {};
    get_int(0, 0, 9001, &st[0]);
    get_int(0, 0, 9002, &st[1]);
    get_int(0, 99999, 9001, &st[2]);
    get_int(99999, 99999, 9001, &st[3]);
    // A string read as an int, a property never set, no such object, no such document.
    EXPECT_EQ(std::vector<IntT>(st, st + 4), (std::vector<IntT>{-5, -4, -3, -2}));
    EXPECT_EQ(*api_fm_delete_prop_1(&prop, c), 0);
    EXPECT_EQ(*api_fm_delete_prop_1(&prop, c), -4);
    EXPECT_EQ(*api_fm_close_1(&close, c), 0);
    EXPECT_EQ(*api_fm_close_1(&close, c), -2);
    EXPECT_EQ(get_id(0, 0, 51), 0u) << "the closed document is no longer active";
    int zero = 0;
    timeval wait = {5, 0};
    EXPECT_EQ(clnt_call(c, 1049, fdk::xdr::proc_of<int>(), reinterpret_cast<caddr_t>(&zero),
                        fdk::xdr::proc_of<void>(), nullptr, wait),
              RPC_PROCUNAVAIL);
}

// fail: the status of the next reply only (an int result carries it, a void
// one fails); cut: the reply stops after its record mark, the call took
// effect; drop: no answer, connection closed.
TEST_F(Sim, FaultsApplyToTheNextCallOfTheirProcedureOnly) {
    IntT status = 0;
    EXPECT_EQ(fs.ctl("fail 1066 -77"), "ok");
    get_id(0, 0, 51, &status);
    EXPECT_EQ(status, -77);
    get_id(0, 0, 51, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(fs.ctl("fail 1008 5"), "ok");
    char msg[] = "x";
    ApiFmAlertArgT alert{msg, 1};
    EXPECT_EQ(*api_fm_alert_1(&alert, c), 5);
    EXPECT_EQ(fs.ctl("fail 1370 -1"), "ok");
    int secs = 0;
    EXPECT_EQ(api_fm_sleep_1(&secs, c), nullptr);
    EXPECT_NE(api_fm_sleep_1(&secs, c), nullptr);

    EXPECT_EQ(fs.ctl("cut 1065"), "ok");
    ApiFmSetIntArgT set{0, 0, {5001, nullptr}, 1};
    EXPECT_EQ(api_fm_set_int_1(&set, c), nullptr);
    clnt_destroy(c);
    c = connect();
    EXPECT_EQ(get_int(0, 0, 5001, &status), 1) << "the cut call had its effect";

    EXPECT_EQ(fs.ctl("drop 1064"), "ok");
    ApiFmGetPropArgT a{0, 0, {51, nullptr}};
    EXPECT_EQ(api_fm_get_int_1(&a, c), nullptr);
    EXPECT_EQ(api_fm_get_id_1(&a, c), nullptr) << "the connection is closed";
}

}  // namespace
