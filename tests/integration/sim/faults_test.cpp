// faults_test.cpp - framesim's fault injection: an error status in the next
// reply, a call that is never answered and its connection closed, a delayed
// reply; each applies to the next call of its procedure only.
#include <chrono>

#include <memory>

#include "sim_test_util.hpp"

using namespace simtest;

namespace {

class Faults : public Connected {};

TEST_F(Faults, FailPutsTheStatusIntoTheNextReplyOnly) {
    EXPECT_EQ(fs.ctl("fail 1066 -77"), "ok");
    IntT status = 0;
    get_id(conn->c, 0, 0, 51, &status);
    EXPECT_EQ(status, -77);
    get_id(conn->c, 0, 0, 51, &status);
    EXPECT_EQ(status, 0);
    // A plain int result carries the status itself.
    EXPECT_EQ(fs.ctl("fail 1008 5"), "ok");
    char msg[] = "x";
    ApiFmAlertArgT al{msg, 1};
    EXPECT_EQ(*api_fm_alert_1(&al, conn->c), 5);
    // The failed call changed nothing.
    EXPECT_EQ(fs.ctl("fail 1019 -30"), "ok");
    OpenResult o = open_doc(conn->c, example("intro.json"));
    EXPECT_EQ(o.status, -30);
    EXPECT_EQ(get_id(conn->c, 0, 0, 51), 0u);
    // A void result has no status: the call fails with an RPC error.
    EXPECT_EQ(fs.ctl("fail 1370 -1"), "ok");
    int secs = 0;
    EXPECT_EQ(api_fm_sleep_1(&secs, conn->c), nullptr);
    EXPECT_NE(api_fm_sleep_1(&secs, conn->c), nullptr);
    auto line = fs.journal().wait_kind("call", {{"proc", 1066}, {"fault", {{"fail", -77}}}}, Millis(10000));
    EXPECT_TRUE(line);
}

TEST_F(Faults, DropLeavesTheCallUnansweredAndClosesTheConnection) {
    EXPECT_EQ(fs.ctl("drop 1064"), "ok");
    ApiFmGetPropArgT a{0, 0, prop(51)};
    EXPECT_EQ(api_fm_get_int_1(&a, conn->c), nullptr);
    EXPECT_EQ(api_fm_get_id_1(&a, conn->c), nullptr) << "the connection is closed";
    FrameConn again(fs);
    ASSERT_NE(again.c, nullptr);
    EXPECT_NE(api_fm_get_id_1(&a, again.c), nullptr) << "a new connection is served";
    EXPECT_TRUE(fs.journal().wait_kind("call", {{"proc", 1064}, {"fault", {{"drop", true}}}}, Millis(10000)));
}

// The call is carried out, but its reply stops after the record mark: the
// client is left waiting for bytes that never come until the connection
// closes, and its call fails.
TEST_F(Faults, CutReplyFailsTheCallAfterItTookEffect) {
    EXPECT_EQ(fs.ctl("cut 1065"), "ok");
    ApiFmSetIntArgT set{0, 0, prop(5001), 1};
    EXPECT_EQ(api_fm_set_int_1(&set, conn->c), nullptr);
    EXPECT_TRUE(fs.journal().wait_kind("call", {{"proc", 1065}, {"fault", {{"cut", true}}}}, Millis(10000)));
    FrameConn again(fs);
    ASSERT_NE(again.c, nullptr);
    ApiFmGetPropArgT get{0, 0, prop(5001)};
    ApiFmGetIntRetT *r = api_fm_get_int_1(&get, again.c);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->status, 0);
    EXPECT_EQ(r->value, 1) << "the cut call had its effect";
}

TEST_F(Faults, DelayHoldsTheNextReplyBack) {
    EXPECT_EQ(fs.ctl("delay 1066 400"), "ok");
    auto t0 = std::chrono::steady_clock::now();
    IntT status = -1;
    get_id(conn->c, 0, 0, 51, &status);
    auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(status, 0) << "a delayed reply is still the right reply";
    EXPECT_GE(waited, std::chrono::milliseconds(400));
    auto first = fs.journal().wait_kind("call", {{"proc", 1066}, {"fault", {{"delay", 400}}}},
                                        Millis(10000));
    ASSERT_TRUE(first);
    get_id(conn->c, 0, 0, 51, &status);
    // The second call's line may land a moment after its reply: wait for it.
    auto second = fs.journal().wait_kind("call", {{"proc", 1066}}, Millis(10000), *first + 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(fs.journal().lines()[*second].count("fault"), 0u) << "one-shot";
}

TEST_F(Faults, ScenarioCommandsThatFailStopTheScenario) {
    Framesim::Options o = session_options("s2");
    o.scenario = "wait journal never-written 0.2\nset 0 1 int 5\n";
    Framesim bad(o);
    ASSERT_TRUE(bad.wait_ready());
    ASSERT_TRUE(bad.journal().wait_kind("command", {{"ok", false}}, Millis(5000)));
    EXPECT_EQ(bad.ctl("exit"), "ok");
    auto st = bad.wait_exit(Millis(5000));
    EXPECT_TRUE(st.exited);
    EXPECT_EQ(st.code, 2);
    EXPECT_TRUE(bad.journal().of_kind("model").empty()) << "the scenario stopped at its failure";

    Framesim::Options broken = session_options("s3");
    broken.scenario = "init 1\nwait sometime\n";
    Framesim refused(broken);
    auto rst = refused.wait_exit(Millis(5000));
    EXPECT_TRUE(rst.exited);
    EXPECT_EQ(rst.code, 1);
    EXPECT_NE(fdk::test::read_file(refused.stderr_path()).find("line 2"), std::string::npos);
}

}  // namespace
