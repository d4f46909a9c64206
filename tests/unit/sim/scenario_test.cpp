// scenario_test.cpp - the scenario and control language: each command's
// fields, quoting, and an error (never a crash) for bad lines.
#include <gtest/gtest.h>

#include "scenario.hpp"

using namespace fdk::sim;

namespace {

TEST(ScenarioParser, CommandsCarryTheirFields) {
    struct Case {
        const char *line;
        Op op;
        IntT proc, a;
        std::string text;
    } cases[] = {
        {"init 1", Op::Callback, 2, 1, ""},
        {"command 0xF33", Op::Callback, 3, 0xF33, ""},
        {"message \"click \\\"here\\\"\" active 0", Op::Callback, 4, 0, "click \"here\""},
        {"notify4 2 123 /tmp/x", Op::Callback, 5, 2, "/tmp/x"},
        {"dialog 0 1 -5", Op::Callback, 6, 0, ""},
        {"quit", Op::Callback, 1, 0, ""},
        {"callback 7 34 session \"\" 9", Op::Callback, 7, 34, ""},
        {"callback 12", Op::Callback, 12, 0, ""},
        {"event 34 active file.doc 0", Op::Event, 0, 34, ""},
        {"wait journal \"\\\"proc\\\":1038\" 4", Op::WaitJournal, 0, 0, "\"proc\":1038"},
        {"sleep 250", Op::Sleep, 0, 250, ""},
        {"fail 1019 -6", Op::Fail, 1019, -6, ""},
        {"drop 1002", Op::Drop, 1002, 0, ""},
        {"cut 1019", Op::Cut, 1019, 0, ""},
        {"delay 1064 100", Op::Delay, 1064, 100, ""},
        {"open docs/a.json", Op::Open, 0, 0, "docs/a.json"},
        {"empty session 59", Op::Empty, 0, 0, ""},
        {"vanish", Op::Vanish, 0, 0, ""},
        {"exit", Op::Exit, 0, 0, ""},
        {"shutdown", Op::Shutdown, 0, 0, ""},
        {"  status  ", Op::Status, 0, 0, ""},
    };
    for (const Case &k : cases) {
        std::string error;
        auto c = parse_command(k.line, error);
        ASSERT_TRUE(c.has_value()) << k.line << ": " << error;
        EXPECT_EQ(c->op, k.op) << k.line;
        EXPECT_TRUE(k.proc == 0 || c->proc == k.proc) << k.line;
        EXPECT_TRUE(k.a == 0 || c->a == k.a) << k.line;
        EXPECT_TRUE(k.text.empty() || c->text == k.text) << k.line;
    }
    std::string error;
    auto c = parse_command("message x active 0", error);
    EXPECT_EQ(c->doc.kind, ObjRef::Active);
    c = parse_command("notify4 2 123 /tmp/x", error);
    EXPECT_EQ(c->doc.id, 123u);
    c = parse_command("callback 7 34 session \"\" 9", error);
    EXPECT_EQ(c->c, 9);
    c = parse_command("wait over", error);
    EXPECT_EQ(c->timeout, kDefaultWaitSeconds);
    c = parse_command("wait over 2.5", error);
    EXPECT_EQ(c->timeout, 2.5);
    c = parse_command("set active 30 string \"Two words\"", error);
    EXPECT_EQ(c->op, Op::Set);
    EXPECT_EQ(c->num, 30);
    EXPECT_EQ(c->value, "Two words");
    c = parse_command("set 0 Colours strings [\"red\", \"green\"]", error);
    EXPECT_EQ(c->name, "Colours");
    EXPECT_EQ(c->value.size(), 2u);
    EXPECT_EQ(parse_command("event 34 active file.doc 0", error)->source, "event 34 active file.doc 0");
}

TEST(ScenarioParser, BadLinesAreRefusedWithAReason) {
    const std::string bad[] = {
        "launch", "init", "init 1 2", "init one", "init 99999999999", "message \"open",
        "message \"a\"b 0 0", "message \"a\\q\" 0 0", "callback 9 1", "callback -1", "wait",
        "wait over -1", "wait over nan", "wait journal \"\"", "sleep -5", "delay 1 9999999",
        "set 0 30 string", "set 0 0 int 1", "set 0 30 strings [1, ", "exit now",
        std::string("init 1\0", 7)};
    for (const std::string &line : bad) {
        std::string error;
        EXPECT_FALSE(parse_command(line, error).has_value()) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
    for (const char *blank : {"   # a comment", ""}) {
        std::string error;
        EXPECT_FALSE(parse_command(blank, error).has_value());
        EXPECT_TRUE(error.empty());
    }
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
    std::vector<std::string> words;
    ASSERT_TRUE(split_words("a \"b c\" \"\" \"d\\\\e\"", words, error));
    EXPECT_EQ(words, (std::vector<std::string>{"a", "b c", "", "d\\e"}));
}

}  // namespace
