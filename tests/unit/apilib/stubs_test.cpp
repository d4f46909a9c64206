// Client stubs (api_to_fm) and the procedure table.
#include "stub_server.hpp"

using namespace fdk_test;

namespace {

// The table is sorted by number and looked up by it; the calls below and the
// call functions against framesim check each row's stub and filters.
TEST(ProcTable, FindsUsedNumbersOnly) {
    for (size_t i = 1; i < fapi_proc_count; ++i)
        EXPECT_LT(fapi_procs[i - 1].number, fapi_procs[i].number);
    for (int n : {999, 1049, 1407}) EXPECT_EQ(fapi_proc_find(n), nullptr) << n;
    EXPECT_EQ(fapi_proc_find(API_FM_OPEN)->number, API_FM_OPEN);
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
    // The handle's own time-out (1 s) wins over the stubs' 25 s; a longer one
    // lets a slower reply through (rt_liveness_test).
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
