// document_test.cpp - the document loader: the shape it accepts and a clear
// error, never a crash, for everything else.
#include <gtest/gtest.h>

#include "document.hpp"

using namespace fdk::sim;

namespace {

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

TEST(DocumentLoader, RefusesBadShapesWithAReason) {
    const char *bad[] = {
        "", "{\"paragraphs\": [1", "[]", R"({"title": 5})", R"({"paragraphs": "x"})",
        R"({"paragraphs": [{"txt": "x"}]})", R"({"markers": {}})",
        R"({"paragraphs": ["a"], "markers": [{"text": "x"}]})",
        R"({"paragraphs": ["a"], "markers": [{"type": 1e3}]})",
        R"({"paragraphs": ["a"], "markers": [{"type": 4294967296}]})",
        R"({"markers": [{"type": 19}]})",
        R"({"paragraphs": ["ab"], "markers": [{"type": 19, "offset": 3}]})",
        R"({"paragraphs": ["ab"], "markers": [{"type": 19, "paragraph": -1}]})",
        R"({"paragraphs": ["ab"], "markers": [{"type": 19, "text": 7}]})",
        R"({"paragraphs": ["a"], "markers": [{"type": 19, "next": 1}]})",
        R"({"paragraphs": ["a"], "markers": [{"type": 19, "next": "0"}]})",
        R"({"properties": [{"type": "int", "value": 1}]})",
        R"({"properties": [{"num": 0, "type": "int", "value": 1}]})",
        R"({"properties": [{"num": 5, "type": "colour", "value": 1}]})",
        R"({"properties": [{"num": 5, "type": "int", "value": "one"}]})",
        R"({"properties": [{"num": 5, "type": "int", "value": 3000000000}]})",
        R"({"properties": [{"num": 5, "type": "strings", "value": ["a", 2]}]})",
        R"({"properties": [{"num": 5, "type": "textloc", "value": [1, 2, 3]}]})",
        R"({"properties": [{"num": 5, "type": "ubytes", "value": [256]}]})"};
    for (const char *text : bad) {
        LoadResult r = parse_document(text);
        EXPECT_EQ(r.error, LoadError::Invalid) << text;
        EXPECT_FALSE(r.message.empty()) << text;
    }
    // The reason names the part of the document at fault.
    EXPECT_EQ(parse_document(R"({"paragraphs": ["ab"], "markers": [{"type": 19, "offset": 3}]})").message,
              "marker 0: offset 3 lies outside paragraph 0");
}

TEST(DocumentLoader, FilesThatAreMissingOrNotFiles) {
    LoadResult r = load_document("/nonexistent/dir/doc.json");
    EXPECT_EQ(r.error, LoadError::Missing);
    EXPECT_NE(r.message.find("/nonexistent/dir/doc.json"), std::string::npos);
    EXPECT_EQ(load_document("/").error, LoadError::Unreadable);
    EXPECT_EQ(load_document(std::string(FDK_EXAMPLES_DIR) + "/functions.json").error, LoadError::None);
}

}  // namespace
