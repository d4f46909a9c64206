// document_test.cpp - the document loader: the shape it accepts and a clear
// error, never a crash, for everything else.
#include <gtest/gtest.h>

#include "document.hpp"

using namespace fdk::sim;

namespace {

std::string invalid(const std::string &text) {
    LoadResult r = parse_document(text);
    EXPECT_EQ(r.error, LoadError::Invalid) << text;
    return r.message;
}

TEST(DocumentLoader, ReadsParagraphsMarkersAndProperties) {
    LoadResult r = parse_document(R"({
      "title": "T",
      "paragraphs": ["first", {"text": "second"}],
      "markers": [{"type": 19, "text": "tag", "paragraph": 1, "offset": 6, "next": 0},
                  {"type": 8, "paragraph": 0,
                   "properties": [{"name": "Colour", "type": "string", "value": "red"}]}],
      "properties": [{"num": 1234, "type": "ints", "value": [1, -2]},
                     {"num": 99, "type": 9, "value": {"objId": 5, "offset": 1}}]
    })");
    ASSERT_EQ(r.error, LoadError::None) << r.message;
    EXPECT_EQ(r.doc.title, "T");
    EXPECT_EQ(r.doc.paragraphs, (std::vector<std::string>{"first", "second"}));
    ASSERT_EQ(r.doc.markers.size(), 2u);
    EXPECT_EQ(r.doc.markers[0].offset, 6) << "an offset at the end of the text is allowed";
    EXPECT_EQ(r.doc.markers[0].next, 0) << "a next link back to itself";
    EXPECT_EQ(r.doc.markers[1].next, -1) << "no link: the marker after it in the file";
    EXPECT_EQ(r.doc.markers[1].text, "");
    ASSERT_EQ(r.doc.markers[1].properties.size(), 1u);
    EXPECT_EQ(r.doc.markers[1].properties[0].value.text(), "red");
    ASSERT_EQ(r.doc.properties.size(), 2u);
    EXPECT_EQ(r.doc.properties[0].value.type(), 13);
    EXPECT_EQ(r.doc.properties[1].value.json(), Json::parse(R"({"tlval":{"objId":5,"offset":1},"valType":9})"));
    EXPECT_EQ(parse_document("{}").error, LoadError::None) << "an empty document is a document";
}

TEST(DocumentLoader, RefusesBadShapesWithTheReason) {
    EXPECT_EQ(invalid(""), "not a JSON document");
    EXPECT_EQ(invalid("{\"paragraphs\": [1"), "not a JSON document");
    EXPECT_EQ(invalid("[]"), "the document must be a JSON object");
    EXPECT_EQ(invalid(R"({"title": 5})"), "\"title\" must be a string");
    EXPECT_EQ(invalid(R"({"paragraphs": "x"})"), "\"paragraphs\" must be a list");
    EXPECT_EQ(invalid(R"({"paragraphs": [{"txt": "x"}]})"), "paragraph 0 must be a string or {\"text\": ...}");
    EXPECT_EQ(invalid(R"({"markers": {}})"), "\"markers\" must be a list");
    EXPECT_EQ(invalid(R"({"paragraphs": ["a"], "markers": [{"text": "x"}]})"),
              "marker 0: \"type\" must be an integer");
    EXPECT_EQ(invalid(R"({"paragraphs": ["a"], "markers": [{"type": 1e3}]})"),
              "marker 0: \"type\" must be an integer");
    EXPECT_EQ(invalid(R"({"paragraphs": ["a"], "markers": [{"type": 4294967296}]})"),
              "marker 0: \"type\" must be an integer");
    EXPECT_EQ(invalid(R"({"markers": [{"type": 19}]})"), "marker 0: paragraph 0 does not exist");
    EXPECT_EQ(invalid(R"({"paragraphs": ["ab"], "markers": [{"type": 19, "offset": 3}]})"),
              "marker 0: offset 3 lies outside paragraph 0");
    EXPECT_EQ(invalid(R"({"paragraphs": ["ab"], "markers": [{"type": 19, "paragraph": -1}]})"),
              "marker 0: paragraph -1 does not exist");
    EXPECT_EQ(invalid(R"({"paragraphs": ["ab"], "markers": [{"type": 19, "text": 7}]})"),
              "marker 0: \"text\" must be a string");
    EXPECT_EQ(invalid(R"({"paragraphs": ["a"], "markers": [{"type": 19, "next": 1}]})"),
              "marker 0: \"next\" must be the index of a marker");
    EXPECT_EQ(invalid(R"({"paragraphs": ["a"], "markers": [{"type": 19, "next": "0"}]})"),
              "marker 0: \"next\" must be the index of a marker");
    EXPECT_EQ(invalid(R"({"properties": [{"type": "int", "value": 1}]})"),
              "document: property 0 needs \"num\" or \"name\"");
    EXPECT_EQ(invalid(R"({"properties": [{"num": 0, "type": "int", "value": 1}]})"),
              "document: property 0: \"num\" must be a non-zero integer");
    EXPECT_EQ(invalid(R"({"properties": [{"num": 5, "type": "colour", "value": 1}]})"),
              "document: property 0: unknown value type \"colour\"");
    EXPECT_EQ(invalid(R"({"properties": [{"num": 5, "type": "int", "value": "one"}]})"),
              "document: property 0: expected an integer, got \"one\"");
    EXPECT_EQ(invalid(R"({"properties": [{"num": 5, "type": "int", "value": 3000000000}]})"),
              "document: property 0: integer out of range: 3000000000");
    EXPECT_EQ(invalid(R"({"properties": [{"num": 5, "type": "strings", "value": ["a", 2]}]})"),
              "document: property 0: expected a string, got 2");
    EXPECT_EQ(invalid(R"({"properties": [{"num": 5, "type": "textloc", "value": [1, 2, 3]}]})"),
              "document: property 0: expected 2 fields, got [1,2,3]");
    EXPECT_EQ(invalid(R"({"properties": [{"num": 5, "type": "ubytes", "value": [256]}]})"),
              "document: property 0: integer out of range: 256");
}

TEST(DocumentLoader, FilesThatAreMissingOrNotFiles) {
    LoadResult r = load_document("/nonexistent/dir/doc.json");
    EXPECT_EQ(r.error, LoadError::Missing);
    EXPECT_NE(r.message.find("/nonexistent/dir/doc.json"), std::string::npos);
    EXPECT_EQ(load_document("/").error, LoadError::Unreadable);
    EXPECT_EQ(load_document(std::string(FDK_EXAMPLES_DIR) + "/functions.json").error, LoadError::None);
}

}  // namespace
