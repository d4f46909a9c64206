// Tests of the callback dispatcher (server.cpp) and the turn-over requests:
// replies, decoded entry-point arguments, exactly one over call per callback,
// nesting, quit, refused procedures.  Frame's side is rtfake's in-process
// client and transport.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fapi_xdr.h"
#include "runtime_fakes.hpp"

using rtfake::events;
using rtfake::FakeCallback;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtfake::reset();
        turn_over_needed = 0;
        callbacksDone = 0;
        modalRetval = 0;
        FA_bailout = 0;
        frame_client = frame.handle();
    }
    void TearDown() override {
        frame_client = nullptr;
        turn_over_needed = 0;
        callbacksDone = 0;
        modalRetval = 0;
        FA_bailout = 0;
        rtfake::reset();
    }

    static std::vector<char> message(const char *text, F_ObjIdT doc, F_ObjIdT obj) {
        return FakeCallback::encode(&xdr_FmApiMessageArgT,
                                    FmApiMessageArgT{const_cast<char *>(text), doc, obj});
    }
    static std::vector<char> command(IntT code) {
        return FakeCallback::encode(&xdr_FmApiCommandArgT, FmApiCommandArgT{code});
    }

    rtfake::FakeFrame frame;
    FakeCallback cb;
};

TEST_F(ServerTest, NullProcedureIsAnsweredAndChangesNothing) {
    cb.call(0);
    EXPECT_THAT(events, ElementsAre("reply ok"));
    EXPECT_EQ(turn_over_needed, 0);
}

TEST_F(ServerTest, WorkingCallbacksReplyThenRunTheEntryPointThenHandBackOnce) {
    struct Case {
        rpcproc_t proc;
        std::vector<char> args;
        std::string entry;
    };
    const Case cases[] = {
        {2, FakeCallback::encode(&xdr_FmApiInitArgT, FmApiInitArgT{-3}), "init -3"},
        {3, command(0x7FFFFFFF), "command 2147483647"},
        {4, message("hello world", 3, 0xFFFFFFFFu), "message hello world 3 4294967295"},
        {6, FakeCallback::encode(&xdr_FmApiDialogEventArgT, FmApiDialogEventArgT{5, 6, 7}),
         "dialog 5 6 7"},
        {7,
         FakeCallback::encode(&xdr_FmApiNotifyArgT,
                              FmApiNotifyArgT{2, 17, const_cast<char *>("/tmp/a b.fm"), -1}),
         "notify 2 17 /tmp/a b.fm -1"},
        {7, FakeCallback::encode(&xdr_FmApiNotifyArgT, FmApiNotifyArgT{34, 0, nullptr, 0}),
         "notify 34 0  0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        rtfake::reset();
        int held = -1;
        rtfake::during_entry = [&](const std::string &) { held = turn_over_needed; };
        cb.call(c.proc, c.args);
        EXPECT_THAT(events, ElementsAre("reply ok", c.entry, "over 0"));
        EXPECT_EQ(held, 1) << "the client holds control inside the entry point";
        EXPECT_EQ(turn_over_needed, 0);
    }
}

TEST_F(ServerTest, EntryPointThatHandsBackItselfCausesExactlyOneOverCall) {
    int first = 99, second = 99, take = 99;
    rtfake::during_entry = [&](const std::string &) {
        take = F_ApiTakeControl();  // already held: nothing is sent
        first = F_ApiDoneCommand();
        second = F_ApiDoneCommand();
    };
    cb.call(3, command(9));
    EXPECT_EQ(take, -1);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, -1);
    EXPECT_THAT(events, ElementsAre("reply ok", "command 9", "over 0"));
    EXPECT_EQ(turn_over_needed, 0);
}

TEST_F(ServerTest, CallbackWhileTheClientHoldsControlIsRepliedAndDropped) {
    // Held through F_ApiTakeControl.
    ASSERT_EQ(F_ApiTakeControl(), 0);
    ::testing::internal::CaptureStderr();
    cb.call(4, message("dropped", 1, 2));
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, HasSubstr("\": Nested API_Init/F_ApiNotify/F_ApiMessage/F_ApiCommand.\n"));
    EXPECT_THAT(err, ::testing::StartsWith("Frame API client \""));
    EXPECT_THAT(events, ElementsAre("take", "reply ok"));
    EXPECT_EQ(turn_over_needed, 1);
    EXPECT_EQ(F_ApiDoneCommand(), 0);
    EXPECT_THAT(events, ElementsAre("take", "reply ok", "over 0"));

    // Held inside an entry point that serves another callback.
    rtfake::reset();
    FakeCallback inner;
    rtfake::during_entry = [&](const std::string &what) {
        if (what == "command 1") inner.call(3, command(2));
    };
    ::testing::internal::CaptureStderr();
    cb.call(3, command(1));
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, HasSubstr("Nested API_Init"));
    EXPECT_THAT(events, ElementsAre("reply ok", "command 1", "reply ok", "over 0"));
}

TEST_F(ServerTest, QuitSetsBailoutAndIsRepliedWithoutOverCall) {
    cb.call(1);
    EXPECT_EQ(FA_bailout, 1);
    EXPECT_THAT(events, ElementsAre("reply ok"));
    // The next hand-back tells Frame.
    ASSERT_EQ(F_ApiTakeControl(), 0);
    ASSERT_EQ(F_ApiDoneCommand(), 0);
    EXPECT_THAT(events, ElementsAre("reply ok", "take", "over 1"));
}

TEST_F(ServerTest, QuitReplyThatCannotBeSentGetsASystemError) {
    cb.reply_fails = true;
    cb.call(1);
    EXPECT_EQ(FA_bailout, 1);
    EXPECT_THAT(events, ElementsAre("reply lost", "reply systemerr"));
}

TEST_F(ServerTest, OldStyleNotificationIsNeitherRepliedNorDelivered) {
    ::testing::internal::CaptureStderr();
    cb.call(5, FakeCallback::encode(&xdr_Fm4ApiNotifyArgT,
                                    Fm4ApiNotifyArgT{2, 3, const_cast<char *>("f")}));
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                HasSubstr("\": Frame process sent old-style notification.\n"));
    EXPECT_THAT(events, IsEmpty());
    EXPECT_EQ(turn_over_needed, 0);
}

TEST_F(ServerTest, UnknownProceduresAreRefusedWithoutStateChange) {
    for (rpcproc_t proc : {8u, 9u, 1002u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(proc);
        rtfake::reset();
        cb.call(proc, command(1));
        EXPECT_THAT(events, ElementsAre("reply noproc"));
        EXPECT_EQ(turn_over_needed, 0);
        EXPECT_EQ(callbacksDone, 0);
        EXPECT_EQ(FA_bailout, 0);
    }
}

TEST_F(ServerTest, UndecodableArgumentsAreRefusedAndReleased) {
    // The string decodes, the two handles after it are missing: whatever was
    // decoded must be released (the leak checker watches).
    std::vector<char> cut = message("a string that decodes", 1, 2);
    cut.resize(cut.size() - 8);
    cb.call(4, cut);
    // A length that claims more than the stream holds.
    cb.call(7, {0, 0, 0, 2, 0, 0, 0, 1, 0x7F, 0, 0, 0});
    cb.call(2, {});
    EXPECT_THAT(events, ElementsAre("reply decode", "reply decode", "reply decode"));
    EXPECT_EQ(turn_over_needed, 0);
}

TEST_F(ServerTest, DialogEventZeroClosesAModalWaitInsteadOfCallingTheEntryPoint) {
    cb.call(6, FakeCallback::encode(&xdr_FmApiDialogEventArgT, FmApiDialogEventArgT{0, 1, 42}));
    EXPECT_EQ(callbacksDone, -1);
    EXPECT_EQ(modalRetval, 42);
    EXPECT_THAT(events, ElementsAre("reply ok", "over 0"));
}

TEST_F(ServerTest, TurnOverWithoutConnectionSendsNothing) {
    frame_client = nullptr;
    EXPECT_EQ(F_ApiTakeControl(), 0);
    EXPECT_EQ(F_ApiDoneCommand(), 0);
    cb.call(3, command(4));
    EXPECT_THAT(events, ElementsAre("reply ok", "command 4"));
}

TEST_F(ServerTest, FailedOverCallStillHandsBackControl) {
    frame.failing = true;
    cb.call(3, command(4));
    EXPECT_THAT(events, ElementsAre("reply ok", "command 4"));
    EXPECT_EQ(turn_over_needed, 0);
}

}  // namespace
