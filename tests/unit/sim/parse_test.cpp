// framesim's readers of documents and scenario lines: a clear error for
// everything they do not accept.
#include <gtest/gtest.h>

#include "document.hpp"
#include "scenario.hpp"

using namespace fdk::sim;

namespace {

TEST(DocumentLoader, RefusesBadShapesWithAReason) {
    const char *bad[] = {
        "", "{\"paragraphs\": [1", "[]", R"({"title": 5})", R"({"paragraphs": "x"})",
        R"({"paragraphs": [{"txt": "x"}]})", R"({"markers": {}})",
        R"({"paragraphs": ["a"], "markers": [{"text": "x"}]})",
        R"({"paragraphs": ["a"], "markers": [{"type": 1e3}]})",
        R"({"paragraphs": ["a"], "markers": [{"type": 4294967296}]})", R"({"markers": [{"type": 19}]})",
        R"({"paragraphs": ["ab"], "markers": [{"type": 19, "offset": 3}]})",
        R"({"paragraphs": ["ab"], "markers": [{"type": 19, "paragraph": -1}]})",
        R"({"paragraphs": ["ab"], "markers": [{"type": 19, "text": 7}]})",
        R"({"paragraphs": ["a"], "markers": [{"type": 19, "next": 1}]})",
        R"({"paragraphs": ["a"], "markers": [{"type": 19, "next": "0"}]})",
        R"({"properties": [{"type": "int", "value": 1}]})",
        R"({"properties": [{"num": 0, "type": "int", "value": 1}]})",
        R"({"properties": [{"num": 5, "type": "colour", "value": 1}]})",
        R"({"properties": [{"num": 5, "type": "int", "value": 3000000000}]})",
        R"({"properties": [{"num": 5, "type": "strings", "value": ["a", 2]}]})",
        R"({"properties": [{"num": 5, "type": "textloc", "value": [1, 2, 3]}]})",
        R"({"properties": [{"num": 5, "type": "ubytes", "value": [256]}]})"};
    for (const char *text : bad) {
        LoadResult r = parse_document(text);
        EXPECT_EQ(r.error, LoadError::Invalid) << text;
        EXPECT_FALSE(r.message.empty()) << text;
    }
    EXPECT_EQ(load_document("/nonexistent/doc.json").error, LoadError::Missing);
    EXPECT_EQ(load_document("/").error, LoadError::Unreadable);
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
}

}  // namespace
