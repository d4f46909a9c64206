// document.hpp - the documents that framesim opens: JSON files describing
// paragraphs and the markers that sit in them (schema in sim/README.md).
//
//   {
//     "title": "Introduction",                      optional, default: file name
//     "paragraphs": ["text", {"text": "..."}],      strings or objects
//     "markers": [ {"type": 19, "text": "intro", "paragraph": 0, "offset": 0,
//                   "next": 0, "properties": [...]} ],
//     "properties": [ {"num": 1234, "type": "int", "value": 5},
//                     {"name": "Colour", "type": "string", "value": "red"} ]
//   }
//
// load_document never throws: a file that is missing, unreadable, not JSON or
// not of this shape gives an error code and a message naming the problem.
#ifndef FDK_SIM_DOCUMENT_HPP
#define FDK_SIM_DOCUMENT_HPP

#include <string>
#include <vector>

#include "value.hpp"

namespace fdk::sim {

struct PropSpec {
    IntT num = 0;      // non-zero: by number
    std::string name;  // used when num is 0
    Value value;
};

struct MarkerSpec {
    IntT type = 0;
    std::string text;
    int paragraph = 0;  // index into DocSpec::paragraphs
    IntT offset = 0;    // character offset in that paragraph
    int next = -1;      // index of the marker its next link names; -1: the one after it in the file
    std::vector<PropSpec> properties;
};

struct DocSpec {
    std::string title;  // empty: none given
    std::vector<std::string> paragraphs;
    std::vector<MarkerSpec> markers;
    std::vector<PropSpec> properties;
};

enum class LoadError { None, Missing, Unreadable, Invalid };

struct LoadResult {
    LoadError error = LoadError::None;
    std::string message;  // empty when error is None
    DocSpec doc;
};

LoadResult load_document(const std::string &path);
// The same checks on text already read (the unit tests use it directly).
LoadResult parse_document(const std::string &text);

}  // namespace fdk::sim

#endif
