// The client runtime against framesim and the port mapper: start-up, the
// callback service and turn-over protocol, joining a running session, and
// framesim's documents and statuses as the library reads them.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apislib.h"
#include "fapi_calls.h"
#include "fapi_values.h"
#include "rt_log.hpp"

using namespace fdk::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Entry points of this test program, which never serves a callback itself.
extern "C" void F_ApiInitialize(IntT) {}
extern "C" void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) {}
extern "C" void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {}

namespace {

Framesim::Options launch(const std::string &client, rt::ClientLog &log, const char *mode,
                         int client_no, const std::string &scenario = {}) {
    Framesim::Options o;
    o.client = {client, log.path(), mode};
    o.client_no = client_no;
    o.scenario = scenario;
    return o;
}

int client_pid(JournalReader &j, const std::string &event) {
    auto at = j.wait_kind("client", {{"event", event}}, Millis(15000));
    return at ? j.lines()[*at].value("pid", -1) : -1;
}

bool exited(JournalReader &j, int pid, int status) {
    return j.wait_kind("client", {{"event", "exit"}, {"pid", pid}, {"status", status}}, Millis(15000))
        .has_value();
}

// Number 0: a forked child makes the contact and the parent exits at once;
// below zero: no fork, the number turned around.
TEST(StartUp, ANumberFromZeroForksAndABelowZeroOneIsTurnedAround) {
    for (int no : {0, -5}) {
        rt::ClientLog log;
        Framesim fs(launch(RT_CLIENT_PATH, log, "serve", no));
        const int launched = client_pid(fs.journal(), "start"), contact = client_pid(fs.journal(), "contact");
        ASSERT_GT(contact, 0);
        EXPECT_EQ(contact != launched, no == 0);
        EXPECT_TRUE(no != 0 || exited(fs.journal(), launched, 0));
        EXPECT_EQ(log.wait_prefix("start ", Millis(15000)), "start " + std::to_string(contact) + (no ? " 4" : " 0"));
    }
}

// A bad FMAPIX: the message, exit status 1 (no fork), no registration left.
TEST(StartUp, WithoutAUsableFmapixTheClientIsRefusedAndLeavesNoRegistration) {
    const uint32_t prog = unique_program(), frame_prog = unique_program();
    const std::string p = std::to_string(prog), good = p + ".1 " + std::to_string(frame_prog) + ".1 ";
    struct Case {
        std::string fmapix;  // "-": unset
        bool run = false;    // rt_defaults through F_ApiRun
        std::string message = "not called by a Frame product";
    };
    const std::string frame = std::to_string(frame_prog) + ".1 99.-1.name";
    const Case cases[] = {
        {"-"}, {"-", true}, {"garbage"}, {good + "99"}, {good + "99.-1."}, {good + "99.-1x.name"},
        {good + "99.-1 .name"}, {good + "99.4294967295.name"}, {good + "99999999999.-1.name"},
        {p + ".1x " + frame}, {p + ".1" + frame}, {"4294967296.1 " + frame},
        // Well formed, but Frame's program is not there: the callback
        // program was registered and is removed again.
        {good + std::to_string(getpid()) + ".-1.name trailing", false,
         "unable to create TCP client"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fmapix);
        rt::ClientLog log;
        Process::Options po;
        po.argv = {c.run ? RT_DEFAULTS_PATH : RT_CLIENT_PATH, log.path(), c.run ? "run" : "serve"};
        if (c.fmapix != "-") po.env["FMAPIX"] = c.fmapix;
        else po.unset_env = {"FMAPIX"};
        po.stderr_path = log.path() + ".err";
        Process proc(po);
        ExitStatus st = proc.wait(Millis(10000));
        ASSERT_TRUE(st.exited);
        EXPECT_EQ(st.code, 1);
        const std::string name = c.message == "not called by a Frame product" ? "???" : "name";
        EXPECT_EQ(read_file(po.stderr_path), "Frame API client \"" + name + "\": " + c.message + ".\n");
        EXPECT_TRUE(log.wait_line("exit 1", Millis(0)));
        EXPECT_EQ(registered_port(prog, 1), 0);
    }
}

TEST(StartUp, RefusedInitialContactIsReportedWithTheBoundedName) {
    rt::ClientLog log;
    Framesim::Options o = launch(RT_CLIENT_PATH, log, "serve", -1, "drop 1000\n");
    o.client_name = std::string(300, 'n');
    Framesim fs(o);
    ASSERT_TRUE(exited(fs.journal(), client_pid(fs.journal(), "start"), 1));
    EXPECT_TRUE(log.wait_line("startup-failed unable to make initial contact", Millis(0)));
    EXPECT_THAT(read_file(fs.stderr_path()), HasSubstr("Frame API client \"" + std::string(255, 'n') +
                                                       "\": unable to make initial contact.\n"));
}

// In-process, hookup with no Frame: an unknown host, every descriptor
// taken, or descriptors 3 to 40 taken (as a parent may leave them).
void hookup_without_descriptors(uint32_t prog, bool all) {
    if (all) {
        struct rlimit lim = {64, 64};
        setrlimit(RLIMIT_NOFILE, &lim);
        while (dup(2) >= 0) {
        }
    } else {
        for (int fd = 3; fd <= 40; ++fd)
            if (fcntl(fd, F_GETFD) < 0) dup2(2, fd);
    }
    const char *m = hookup(static_cast<int>(prog), 1, static_cast<int>(prog) + 1, 1, 0, nullptr);
    std::fprintf(stderr, "%s %s", m ? m : "(null)", client_transp == nullptr ? "none" : "made");
    _exit(0);
}

TEST(Hookup, FailuresAreReportedAndLeaveNoRegistration) {
    const uint32_t prog = unique_program();
    EXPECT_STREQ(hookup(static_cast<int>(prog), 1, 1, 1, getpid(), "no-such-host.invalid"),
                 "unable to gethostbyname");
    EXPECT_EQ(hispid, kRemoteFramePid) << "not this host: no liveness test by pid";
    F_ApiShutDown();
    EXPECT_EQ(registered_port(prog, 1), 0);
    EXPECT_EXIT(hookup_without_descriptors(prog, true), ::testing::ExitedWithCode(0),
                "^unable to create TCP service none$");
    EXPECT_EXIT(hookup_without_descriptors(prog, false), ::testing::ExitedWithCode(0),
                "^no free descriptor below 32 none$");
}

// Runs a test client under framesim with `scenario`, which ends with quit.
struct SimRun {
    SimRun(const std::string &client, const char *mode, const std::string &scenario) {
        fs = std::make_unique<Framesim>(launch(client, log, mode, -1, scenario));
        auto st = fs->wait_exit(Millis(30000));
        JournalReader &j = fs->journal();
        ended = !st.timed_out &&
                j.wait_kind("end", {{"reason", "client exited"}, {"failed", false}}, Millis(0));
        for (const auto &l : j.of_kind("control")) control.push_back(l.value("event", "?"));
        for (const auto &l : j.of_kind("callback"))
            outcomes.push_back(std::to_string(l.value("proc", -1)) + " " + l.value("outcome", "?"));
        for (const auto &l : log.lines())
            if (l.rfind("start ", 0) != 0 && l.rfind("fd ", 0) != 0) entries.push_back(l);
    }
    rt::ClientLog log;
    std::unique_ptr<Framesim> fs;
    bool ended = false;
    std::vector<std::string> control, outcomes, entries;
};

// Control taken and handed back twice outside a callback, then every
// callback: framesim sends the next one only after the over call of the last.
TEST(Callbacks, EveryProcedureIsAnsweredAndDeliveredWithOneOverCallEach) {
    SimRun run(RT_CLIENT_PATH, "take-done",
               "init 5\ncommand 0\ncommand 1\ncommand 2\ncommand 3\n"
               "message \"hello there\" 3 4294967295\ndialog 5 6 7\ndialog 0 0 42\n"
               "callback 0\ncallback 8\ncallback 9\nnotify4 2 3 oldfile\n"
               "event 2 1 early 0\ninit 1\nevent 2 4 \"a file\" -5\nquit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    EXPECT_THAT(run.outcomes, ElementsAre("2 replied", "3 replied", "3 replied", "3 replied", "3 replied",
                                          "4 replied", "6 replied", "6 replied", "0 replied", "8 noproc",
                                          "9 noproc", "5 sent", "2 replied", "7 replied", "1 replied"));
    // The event sent before its request is not delivered; "done -1": control
    // was already handed back.
    EXPECT_THAT(run.entries,
                ElementsAre("take 0", "take -1", "done 0", "done -1", "init 5", "command 0", "command 1",
                            "done 0", "command 2", "done 0", "done -1", "command 3", "take -1",
                            "message hello there 3 4294967295", "dialog 5 6 7", "init 1", "request 0",
                            "notify 2 4 a file -5", "exit 0"));
    // One over call per callback, handed back by the entry point or not.
    std::vector<std::string> turns = {"take", "over"};
    for (int i = 0; i < 10; ++i) turns.insert(turns.end(), {"callback", "over"});
    EXPECT_EQ(run.control, turns);
    EXPECT_THAT(read_file(run.fs->stderr_path()),
                HasSubstr("Frame API client \"rt_client\": Frame process sent old-style notification.\n"));
}

TEST(Callbacks, RunWithTheLibraryDefaultsServesCommandsAndDialogEvents) {
    SimRun run(RT_DEFAULTS_PATH, "run", "command 3\ndialog 1 2 3\ninit 7\nquit\n");
    ASSERT_TRUE(run.ended) << read_file(run.fs->journal_path());
    EXPECT_THAT(run.outcomes, ElementsAre("3 replied", "6 replied", "2 replied", "1 replied"));
    EXPECT_THAT(run.control, ElementsAre("callback", "over", "callback", "over", "callback", "over"));
    EXPECT_THAT(run.entries, ElementsAre("init 7", "exit 0"));
    EXPECT_EQ(registered_port(run.fs->cb_prog(), run.fs->cb_vers()), 0);
}

Framesim::Options session() {
    Framesim::Options o;
    o.session = "docs";
    return o;
}

// A session of framesim, joined in-process.
class Session : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs.wait_ready());
        ASSERT_EQ(F_ApiConnectToSession("docs", "", static_cast<IntT>(fs.prog())), 0);
    }
    void TearDown() override { F_ApiShutDown(); }
    F_ObjIdT open(const std::string &name) { return F_ApiOpen((FDK_EXAMPLES_DIR "/" + name).c_str(), nullptr, nullptr); }
    Framesim fs{session()};
};

void other_dispatcher(struct svc_req *, SVCXPRT *) {}

// The connection and its time-out, the result codes (also in FA_errno), a
// callback program already taken.
TEST(Connect, JoinsARunningSessionOrSaysWhyNot) {
    Framesim fs(session());
    ASSERT_TRUE(fs.wait_ready());
    const IntT prog = static_cast<IntT>(fs.prog());
    SVCXPRT *other = svctcp_create(RPC_ANYSOCK, 0, 0);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(svc_register(other, fs.cb_prog(), fs.cb_vers(), other_dispatcher, 0));
    EXPECT_EQ(F_ApiConnectToSession("docs", "", prog), -22);
    F_ApiShutDown();
    EXPECT_STREQ(hookup(static_cast<int>(fs.cb_prog()), 1, prog, 1, 0, nullptr),
                 "unable to register TCP client).");
    F_ApiShutDown();
    svc_unregister(fs.cb_prog(), fs.cb_vers());
    svc_destroy(other);
    FA_bailout = 1;
    ASSERT_EQ(F_ApiConnectToSession("docs", "localhost", prog), 0);
    EXPECT_EQ(FA_bailout, 0);
    EXPECT_EQ(hispid, fs.process().pid()) << "a session on this host keeps the liveness test";
    timeval t{};
    ASSERT_TRUE(clnt_control(frame_client, CLGET_TIMEOUT, reinterpret_cast<char *>(&t)));
    EXPECT_EQ(t.tv_sec, 604800) << "no time-out chosen: a week";
    F_ApiShutDown();
    EXPECT_EQ(registered_port(fs.cb_prog(), fs.cb_vers()), 0);

    EXPECT_EQ(F_ApiConnectToSession("docs", "", static_cast<IntT>(unique_program())), -20);
    EXPECT_EQ(FA_errno, -20);
    const IntT status = F_ApiConnectToSession("another", "", prog);  // the session's own status
    EXPECT_NE(status, 0);
    EXPECT_EQ(FA_errno, status);
    EXPECT_TRUE(fs.journal().wait_for(
        [&](const Json &l) { return l.value("proc", 0) == 108 && l["reply"].value("status", 0) == status; },
        Millis(5000)));
    FA_TimeOut = {0, 1};  // no reply in time
    EXPECT_EQ(F_ApiConnectToSession("docs", "", prog), -7);
    FA_TimeOut = {0, 0};
    EXPECT_EQ(F_ApiConnectToSession(nullptr, "", prog), -7);  // a session name that cannot travel
    EXPECT_EQ(FA_errno, -7);
    EXPECT_EQ(frame_client, nullptr);
}

// The marker chain: the first marker from the document, each next one with
// the document; with another document, or the session (0), it is refused.
TEST_F(Session, MarkerChainMatchesTheFileAndNeedsItsDocument) {
    const F_ObjIdT doc = open("reference.json");
    std::ifstream in(FDK_EXAMPLES_DIR "/reference.json");
    const Json file = Json::parse(in), &markers = file["markers"];
    size_t i = 0;
    const F_ObjIdT first = F_ApiGetId(0, doc, 114);
    for (F_ObjIdT m = first; m != 0 && i < markers.size(); m = F_ApiGetId(doc, m, 1026), ++i) {
        EXPECT_EQ(F_ApiGetInt(doc, m, 1024), markers[i]["type"].get<int>());
        StringT text = F_ApiGetString(doc, m, 1025);
        EXPECT_EQ(text, markers[i]["text"].get<std::string>());
        F_ApiDeallocateString(&text);
        const F_TextLocT loc = F_ApiGetTextLoc(doc, m, 879);
        EXPECT_EQ(loc.offset, markers[i]["offset"].get<int>());
        TextItemsT t = F_ApiGetText(doc, loc.objId, 0);
        EXPECT_EQ(t.len, 1u);
        EXPECT_EQ(t.len ? t.val[0].data.u.sdata : "", file["paragraphs"][markers[i]["paragraph"].get<size_t>()]);
        F_ApiDeallocateTextItems(&t);
    }
    EXPECT_EQ(i, markers.size());
    F_ApiGetInt(open("intro.json"), first, 1024);
    EXPECT_EQ(FA_errno, -3);
    FA_errno = 0;
    EXPECT_EQ(F_ApiGetId(0, first, 1026), 0u);
    EXPECT_EQ(FA_errno, -3);
}

// framesim refuses an unknown procedure; a call whose reply was cut after
// its record mark fails here but took effect there.
TEST_F(Session, UnknownProcedureAndCutReply) {
    int zero = 0;
    const timeval wait = {5, 0};
    EXPECT_EQ(clnt_call(frame_client, 1049, reinterpret_cast<xdrproc_t>(xdr_int), reinterpret_cast<caddr_t>(&zero),
                        reinterpret_cast<xdrproc_t>(xdr_int), reinterpret_cast<caddr_t>(&zero), wait),
              RPC_PROCUNAVAIL);

    EXPECT_EQ(fs.ctl("cut 1065"), "ok");
    F_ApiSetInt(0, 0, 5001, 1);
    EXPECT_EQ(FA_errno, -1);
    F_ApiShutDown();
    ASSERT_EQ(F_ApiConnectToSession("docs", "", static_cast<IntT>(fs.prog())), 0);
    EXPECT_EQ(F_ApiGetInt(0, 0, 5001), 1);
}

}  // namespace
