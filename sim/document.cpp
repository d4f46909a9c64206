// document.cpp - reads and checks the JSON documents.
#include "document.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fdk::sim {

namespace {

// Documents are small; anything larger is not one of ours.
constexpr std::size_t kMaxDocumentBytes = 16 * 1024 * 1024;

struct Bad {
    std::string what;
};

std::vector<PropSpec> read_properties(const Json &list, const std::string &where) {
    std::vector<PropSpec> out;
    if (!list.is_array()) throw Bad{where + ": \"properties\" must be a list"};
    for (size_t i = 0; i < list.size(); ++i) {
        const Json &p = list[i];
        std::string at = where + ": property " + std::to_string(i);
        if (!p.is_object()) throw Bad{at + " must be an object"};
        PropSpec s;
        if (p.contains("num")) {
            if (!p["num"].is_number_integer() || p["num"].get<long long>() == 0 ||
                p["num"].get<long long>() < INT32_MIN || p["num"].get<long long>() > INT32_MAX)
                throw Bad{at + ": \"num\" must be a non-zero integer"};
            s.num = static_cast<IntT>(p["num"].get<long long>());
        } else if (p.contains("name")) {
            if (!p["name"].is_string() || p["name"].get<std::string>().empty())
                throw Bad{at + ": \"name\" must be a non-empty string"};
            s.name = p["name"].get<std::string>();
        } else {
            throw Bad{at + " needs \"num\" or \"name\""};
        }
        if (!p.contains("type") || !p.contains("value")) throw Bad{at + " needs \"type\" and \"value\""};
        IntT type = -1000;
        if (p["type"].is_string()) type = value_type_from_name(p["type"].get<std::string>());
        else if (p["type"].is_number_integer()) type = static_cast<IntT>(p["type"].get<long long>());
        if (type == -1000) throw Bad{at + ": unknown value type " + p["type"].dump()};
        try {
            s.value = Value::from_json(type, p["value"]);
        } catch (const std::exception &e) {
            throw Bad{at + ": " + e.what()};
        }
        out.push_back(std::move(s));
    }
    return out;
}

DocSpec read_doc(const Json &j) {
    if (!j.is_object()) throw Bad{"the document must be a JSON object"};
    DocSpec d;
    if (j.contains("title")) {
        if (!j["title"].is_string()) throw Bad{"\"title\" must be a string"};
        d.title = j["title"].get<std::string>();
    }
    if (j.contains("paragraphs")) {
        const Json &ps = j["paragraphs"];
        if (!ps.is_array()) throw Bad{"\"paragraphs\" must be a list"};
        for (size_t i = 0; i < ps.size(); ++i) {
            if (ps[i].is_string()) d.paragraphs.push_back(ps[i].get<std::string>());
            else if (ps[i].is_object() && ps[i].contains("text") && ps[i]["text"].is_string())
                d.paragraphs.push_back(ps[i]["text"].get<std::string>());
            else throw Bad{"paragraph " + std::to_string(i) + " must be a string or {\"text\": ...}"};
        }
    }
    if (j.contains("markers")) {
        const Json &ms = j["markers"];
        if (!ms.is_array()) throw Bad{"\"markers\" must be a list"};
        for (size_t i = 0; i < ms.size(); ++i) {
            const Json &m = ms[i];
            std::string at = "marker " + std::to_string(i);
            if (!m.is_object()) throw Bad{at + " must be an object"};
            MarkerSpec s;
            if (!m.contains("type") || !m["type"].is_number_integer() ||
                m["type"].get<long long>() < INT32_MIN || m["type"].get<long long>() > INT32_MAX)
                throw Bad{at + ": \"type\" must be an integer"};
            s.type = static_cast<IntT>(m["type"].get<long long>());
            if (m.contains("text")) {
                if (!m["text"].is_string()) throw Bad{at + ": \"text\" must be a string"};
                s.text = m["text"].get<std::string>();
            }
            long long para = 0, offset = 0;
            if (m.contains("paragraph")) {
                if (!m["paragraph"].is_number_integer()) throw Bad{at + ": \"paragraph\" must be an integer"};
                para = m["paragraph"].get<long long>();
            }
            if (m.contains("offset")) {
                if (!m["offset"].is_number_integer()) throw Bad{at + ": \"offset\" must be an integer"};
                offset = m["offset"].get<long long>();
            }
            if (para < 0 || para >= static_cast<long long>(d.paragraphs.size()))
                throw Bad{at + ": paragraph " + std::to_string(para) + " does not exist"};
            if (offset < 0 || offset > static_cast<long long>(d.paragraphs[static_cast<size_t>(para)].size()))
                throw Bad{at + ": offset " + std::to_string(offset) + " lies outside paragraph " +
                          std::to_string(para)};
            s.paragraph = static_cast<int>(para);
            s.offset = static_cast<IntT>(offset);
            if (m.contains("next")) {
                if (!m["next"].is_number_integer() || m["next"].get<long long>() < 0 ||
                    m["next"].get<long long>() >= static_cast<long long>(ms.size()))
                    throw Bad{at + ": \"next\" must be the index of a marker"};
                s.next = static_cast<int>(m["next"].get<long long>());
            }
            if (m.contains("properties")) s.properties = read_properties(m["properties"], at);
            d.markers.push_back(std::move(s));
        }
    }
    if (j.contains("properties")) d.properties = read_properties(j["properties"], "document");
    return d;
}

}  // namespace

LoadResult parse_document(const std::string &text) {
    LoadResult r;
    Json j = Json::parse(text, nullptr, false);
    if (j.is_discarded()) {
        r.error = LoadError::Invalid;
        r.message = "not a JSON document";
        return r;
    }
    try {
        r.doc = read_doc(j);
    } catch (const Bad &b) {
        r.error = LoadError::Invalid;
        r.message = b.what;
    }
    return r;
}

LoadResult load_document(const std::string &path) {
    LoadResult r;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        r.error = errno == ENOENT || errno == ENOTDIR ? LoadError::Missing : LoadError::Unreadable;
        r.message = path + ": " + std::strerror(errno);
        return r;
    }
    if (!S_ISREG(st.st_mode)) {
        r.error = LoadError::Unreadable;
        r.message = path + ": not a regular file";
        return r;
    }
    if (static_cast<std::size_t>(st.st_size) > kMaxDocumentBytes) {
        r.error = LoadError::Invalid;
        r.message = path + ": too large for a document";
        return r;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        r.error = LoadError::Unreadable;
        r.message = path + ": cannot be read";
        return r;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    r = parse_document(ss.str());
    if (r.error != LoadError::None) r.message = path + ": " + r.message;
    return r;
}

}  // namespace fdk::sim
