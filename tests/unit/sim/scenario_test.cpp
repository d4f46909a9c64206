// scenario_test.cpp - the scenario and control language: each command's
// fields, quoting, and clear errors for bad lines.
#include <gtest/gtest.h>

#include "scenario.hpp"

using namespace fdk::sim;

namespace {

Command parse_ok(const std::string &line) {
    std::string error;
    auto c = parse_command(line, error);
    EXPECT_TRUE(c.has_value()) << line << ": " << error;
    return c ? *c : Command{};
}

std::string parse_error(const std::string &line) {
    std::string error;
    auto c = parse_command(line, error);
    EXPECT_FALSE(c.has_value()) << line;
    return error;
}

TEST(ScenarioParser, CallbacksCarryTheirRecordFields) {
    Command c = parse_ok("init 1");
    EXPECT_EQ(c.op, Op::Callback);
    EXPECT_EQ(c.proc, 2);
    EXPECT_EQ(c.a, 1);
    c = parse_ok("command 0xF33");
    EXPECT_EQ(c.proc, 3);
    EXPECT_EQ(c.a, 0xF33);
    c = parse_ok("message \"click \\\"here\\\"\" active 0");
    EXPECT_EQ(c.proc, 4);
    EXPECT_EQ(c.text, "click \"here\"");
    EXPECT_EQ(c.doc.kind, ObjRef::Active);
    c = parse_ok("dialog 0 1 -5");
    EXPECT_EQ(c.proc, 6);
    EXPECT_EQ(c.c, -5);
    c = parse_ok("quit");
    EXPECT_EQ(c.proc, 1);
    c = parse_ok("notify4 2 123 /tmp/x");
    EXPECT_EQ(c.proc, 5);
    EXPECT_EQ(c.doc.id, 123u);
    EXPECT_EQ(c.text, "/tmp/x");
    c = parse_ok("callback 7 34 session \"\" 9");
    EXPECT_EQ(c.proc, 7);
    EXPECT_EQ(c.text, "");
    EXPECT_EQ(c.c, 9);
    c = parse_ok("callback 12");
    EXPECT_EQ(c.proc, 12);
    c = parse_ok("event 34 active file.doc 0");
    EXPECT_EQ(c.op, Op::Event);
    EXPECT_EQ(c.a, 34);
    EXPECT_EQ(c.source, "event 34 active file.doc 0");
}

TEST(ScenarioParser, WaitsFaultsModelAndEndCommands) {
    Command c = parse_ok("wait over");
    EXPECT_EQ(c.op, Op::WaitOver);
    EXPECT_EQ(c.timeout, kDefaultWaitSeconds);
    c = parse_ok("wait over 2.5");
    EXPECT_EQ(c.timeout, 2.5);
    c = parse_ok("wait journal \"\\\"proc\\\":1038\" 4");
    EXPECT_EQ(c.op, Op::WaitJournal);
    EXPECT_EQ(c.text, "\"proc\":1038");
    EXPECT_EQ(c.timeout, 4);
    EXPECT_EQ(parse_ok("sleep 250").a, 250);
    c = parse_ok("fail 1019 -6");
    EXPECT_EQ(c.op, Op::Fail);
    EXPECT_EQ(c.proc, 1019);
    EXPECT_EQ(c.a, -6);
    EXPECT_EQ(parse_ok("drop 1002").op, Op::Drop);
    EXPECT_EQ(parse_ok("cut 1019").proc, 1019);
    EXPECT_EQ(parse_ok("delay 1064 100").a, 100);
    c = parse_ok("set active 30 string \"Two words\"");
    EXPECT_EQ(c.op, Op::Set);
    EXPECT_EQ(c.num, 30);
    EXPECT_EQ(c.value, "Two words");
    c = parse_ok("set 0 Colours strings [\"red\", \"green\"]");
    EXPECT_EQ(c.name, "Colours");
    EXPECT_EQ(c.value.size(), 2u);
    c = parse_ok("set session 7 int 42");
    EXPECT_EQ(c.value, 42);
    c = parse_ok("empty session 59");
    EXPECT_EQ(c.op, Op::Empty);
    EXPECT_EQ(parse_ok("open docs/a.json").text, "docs/a.json");
    EXPECT_EQ(parse_ok("vanish").op, Op::Vanish);
    EXPECT_EQ(parse_ok("exit").op, Op::Exit);
    EXPECT_EQ(parse_ok("shutdown").op, Op::Shutdown);
    EXPECT_EQ(parse_ok("  status  ").op, Op::Status);
}

TEST(ScenarioParser, BadLinesAreRefusedWithAReason) {
    EXPECT_EQ(parse_error("launch"), "unknown command: launch");
    EXPECT_EQ(parse_error("init"), "usage: init CODE");
    EXPECT_EQ(parse_error("init 1 2"), "usage: init CODE");
    EXPECT_EQ(parse_error("init one"), "code: not a number: one");
    EXPECT_EQ(parse_error("init 99999999999"), "code: out of range: 99999999999");
    EXPECT_EQ(parse_error("message \"open"), "unterminated quote");
    EXPECT_EQ(parse_error("message \"a\"b 0 0"), "text after a closing quote");
    EXPECT_EQ(parse_error("message \"a\\q\" 0 0"), "unknown escape \\q");
    EXPECT_EQ(parse_error("callback 9 1"), "procedure 9 takes no arguments");
    EXPECT_EQ(parse_error("callback -1"), "procedure must not be negative: -1");
    EXPECT_EQ(parse_error("wait"), "usage: wait over [TIMEOUT] | wait journal PATTERN [TIMEOUT]");
    EXPECT_EQ(parse_error("wait over -1"), "bad time-out (seconds, 0 to 86400): -1");
    EXPECT_EQ(parse_error("wait over nan"), "bad time-out (seconds, 0 to 86400): nan");
    EXPECT_EQ(parse_error("wait journal \"\""), "wait journal: empty pattern");
    EXPECT_EQ(parse_error("sleep -5"), "sleep: 0 to 86400000 milliseconds");
    EXPECT_EQ(parse_error("delay 1 9999999"), "delay: 0 to 600000 milliseconds");
    EXPECT_EQ(parse_error("set 0 30 string"), "usage: set OBJ PROP TYPE VALUE");
    EXPECT_EQ(parse_error("set 0 0 int 1"), "property number 0: name the property instead");
    EXPECT_EQ(parse_error("set 0 30 strings [1, "), "set: value is not JSON: [1,");
    EXPECT_EQ(parse_error("exit now"), "usage: exit");
    EXPECT_EQ(parse_error(std::string("init 1\0", 7)), "NUL byte in command");
    std::string error;
    EXPECT_FALSE(parse_command("   # a comment", error).has_value());
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(parse_command("", error).has_value());
    EXPECT_TRUE(error.empty());
}

TEST(ScenarioParser, WholeScenarioReportsTheLineOfTheFirstError) {
    std::vector<Command> cmds;
    std::string error;
    ASSERT_TRUE(parse_scenario("# start\ninit 1\n\nwait over 5\r\nquit\n", cmds, error)) << error;
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[1].line, 4);
    EXPECT_EQ(cmds[1].source, "wait over 5");
    EXPECT_FALSE(parse_scenario("init 1\nwait for it\n", cmds, error));
    EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
    EXPECT_TRUE(cmds.empty());
}

TEST(ScenarioParser, QuotingRoundTripsThroughTheCtlHelperForm) {
    std::vector<std::string> words;
    std::string error;
    ASSERT_TRUE(split_words("a \"b c\" \"\" \"d\\\\e\"", words, error));
    EXPECT_EQ(words, (std::vector<std::string>{"a", "b c", "", "d\\e"}));
}

}  // namespace
