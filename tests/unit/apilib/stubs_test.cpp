// Client stubs (api_to_fm) and the procedure table.
#include <set>

#include "stub_server.hpp"

using namespace fdk_test;

namespace {

// ---------------------------------------------------------------------------
// The table

// Numbers 1000-1406 that the protocol does not use.
bool unused(int n) {
    const int ranges[][2] = {{1049, 1049}, {1056, 1057}, {1085, 1088}, {1094, 1097}, {1107, 1107},
                             {1110, 1110}, {1114, 1199}, {1206, 1249}, {1259, 1265}, {1270, 1284},
                             {1288, 1297}, {1306, 1309}, {1311, 1314}, {1319, 1339}, {1345, 1359},
                             {1362, 1369}, {1377, 1399}};
    for (const auto &r : ranges)
        if (n >= r[0] && n <= r[1]) return true;
    return false;
}

TEST(ProcTable, HoldsExactlyTheUsedNumbers) {
    ASSERT_EQ(fapi_proc_count, 157u);
    std::set<int> expected;
    for (int n = 1000; n <= 1406; ++n)
        if (!unused(n)) expected.insert(n);
    ASSERT_EQ(expected.size(), 157u);
    std::set<int> got;
    for (size_t i = 0; i < fapi_proc_count; ++i) {
        got.insert(fapi_procs[i].number);
        if (i > 0) {
            EXPECT_LT(fapi_procs[i - 1].number, fapi_procs[i].number) << "table must be sorted";
        }
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(fapi_proc_find(1049), nullptr);
    EXPECT_EQ(fapi_proc_find(999), nullptr);
    EXPECT_EQ(fapi_proc_find(1407), nullptr);
}

TEST(ProcTable, RowsCarryTheirStubsAndFilters) {
    using fdk::xdr::to_xdrproc;
    const FapiProcT *del = fapi_proc_find(1050);
    ASSERT_NE(del, nullptr);
    EXPECT_STREQ(del->stub, "api_fm_delete_1");
    EXPECT_EQ(del->xdr_arg, to_xdrproc(&xdr_ApiFmGeneralObjArgT));
    EXPECT_EQ(del->xdr_res, to_xdrproc(&xdr_int));

    const FapiProcT *id = fapi_proc_find(1066);
    ASSERT_NE(id, nullptr);
    EXPECT_STREQ(id->stub, "api_fm_get_id_1");
    EXPECT_EQ(id->xdr_res, to_xdrproc(&xdr_ApiFmGetIdRetT));
    EXPECT_EQ(id->res_size, sizeof(ApiFmGetIdRetT));

    const FapiProcT *take = fapi_proc_find(1343);
    ASSERT_NE(take, nullptr);
    EXPECT_STREQ(take->stub, "api_fm_take_control_1");
    EXPECT_EQ(take->xdr_arg, to_xdrproc(&xdr_void));
    EXPECT_EQ(take->xdr_res, to_xdrproc(&xdr_void));
    EXPECT_EQ(take->res_size, 1u);

    EXPECT_STREQ(fapi_proc_find(1012)->stub, "old_api_fm_choose_file_1");
    EXPECT_EQ(fapi_proc_find(1341)->xdr_res, to_xdrproc(&xdr_StringT));
    EXPECT_EQ(fapi_proc_find(1023)->xdr_arg, to_xdrproc(&xdr_ApiFmGeneralDocArgT));
    static_assert(API_FM_OPEN == 1019 && API_FM_INIT_ACK_5 == 1000 && API_FM_DELETE_UNDEFINED_ATTRIBUTE == 1406);
}

// ---------------------------------------------------------------------------
// Calls

class Stubs : public ::testing::Test {
protected:
    StubServer server;
    int zero = 0;
};

TEST_F(Stubs, VoidResultStubsReturnNonNull) {
    ASSERT_NE(server.client(), nullptr);
    int pid = getpid();
    EXPECT_NE(api_fm_init_ack_5_1(&pid, server.client()), nullptr);
    EXPECT_NE(api_fm_take_control_1(&zero, server.client()), nullptr);
    EXPECT_NE(api_fm_push_clipboard_1(&zero, server.client()), nullptr);
    int bailout = 0;
    EXPECT_NE(api_fm_over_1(&bailout, server.client()), nullptr);
}

TEST_F(Stubs, SameStubTwiceGivesTheSameBufferWithTheNewReply) {
    ApiFmGetPropArgT arg{1, 2, {3, nullptr}};
    ApiFmGetIdRetT *first = api_fm_get_id_1(&arg, server.client());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id, 6u) << "the argument record reaches the server";
    arg = {10, 20, {0, const_cast<char *>("ByName")}};
    ApiFmGetIdRetT *second = api_fm_get_id_1(&arg, server.client());
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->id, 30u);
}

TEST_F(Stubs, StringReplyIsReplacedByTheNextCall) {
    StringT *first = api_client_name_1(&zero, server.client());
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(*first, "reply-1");
    xdr_free(fdk::xdr::to_xdrproc(&xdr_StringT), reinterpret_cast<char *>(first));
    StringT *second = api_client_name_1(&zero, server.client());
    ASSERT_EQ(second, first);
    EXPECT_STREQ(*second, "reply-2");
    xdr_free(fdk::xdr::to_xdrproc(&xdr_StringT), reinterpret_cast<char *>(second));
}

TEST_F(Stubs, EachStubHasItsOwnBuffer) {
    ApiFmGeneralObjArgT obj{5, 6};
    int *deleted = api_fm_delete_1(&obj, server.client());
    ASSERT_NE(deleted, nullptr);
    EXPECT_EQ(*deleted, 1);
    ApiFmGetPropArgT arg{1, 1, {1, nullptr}};
    ApiFmGetIdRetT *id = api_fm_get_id_1(&arg, server.client());
    ASSERT_NE(id, nullptr);
    EXPECT_NE(static_cast<void *>(id), static_cast<void *>(deleted));
    EXPECT_EQ(*deleted, 1) << "another stub's call must not touch this buffer";
    EXPECT_EQ(id->id, 3u);
}

TEST_F(Stubs, RecordRepliesWithListsDecodeAndRelease) {
    ApiFmOpenArgT open{const_cast<char *>("/doc"), {0, nullptr}};
    ApiFmOpenRetT *r = api_fm_open_1(&open, server.client());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->objId, 1u);
    EXPECT_EQ(r->retParams, nullptr);
    xdr_free(fdk::xdr::to_xdrproc(&xdr_ApiFmOpenRetT), reinterpret_cast<char *>(r));
}

TEST_F(Stubs, CallsFailWithNullOnceTheServerIsGone) {
    ASSERT_NE(api_fm_take_control_1(&zero, server.client()), nullptr);
    server.stop();
    EXPECT_EQ(api_fm_take_control_1(&zero, server.client()), nullptr);
    ApiFmGeneralObjArgT obj{5, 6};
    EXPECT_EQ(api_fm_delete_1(&obj, server.client()), nullptr);
    EXPECT_EQ(api_client_name_1(&zero, server.client()), nullptr);
}

TEST_F(Stubs, HandleTimeOutGovernsTheWait) {
    // The handle's own time-out (1 s) wins over the stubs' 25 s.
    struct timeval one = {1, 0};
    ASSERT_TRUE(clnt_control(server.client(), CLSET_TIMEOUT, reinterpret_cast<char *>(&one)));
    int secs = 3;
    EXPECT_EQ(api_fm_sleep_1(&secs, server.client()), nullptr);
}

TEST(StubsWithoutConnection, NullClientGivesNull) {
    int zero = 0;
    EXPECT_EQ(api_fm_take_control_1(&zero, nullptr), nullptr);
    EXPECT_EQ(api_client_number_1(&zero, nullptr), nullptr);
}

}  // namespace
