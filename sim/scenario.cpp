// scenario.cpp - parser of the scenario and control language.
#include "scenario.hpp"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace fdk::sim {

namespace {

struct Bad {
    std::string what;
};

IntT to_int(const std::string &w, const char *what) {
    if (w.empty()) throw Bad{std::string(what) + ": empty number"};
    errno = 0;
    char *end = nullptr;
    long long v = std::strtoll(w.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') throw Bad{std::string(what) + ": not a number: " + w};
    // Handles and codes are 32 bits; accept the unsigned range for handles.
    if (v < INT32_MIN || v > static_cast<long long>(UINT32_MAX))
        throw Bad{std::string(what) + ": out of range: " + w};
    return static_cast<IntT>(static_cast<uint32_t>(v));
}

double to_seconds(const std::string &w) {
    errno = 0;
    char *end = nullptr;
    double v = std::strtod(w.c_str(), &end);
    if (errno != 0 || *end != '\0' || w.empty() || !std::isfinite(v) || v < 0 || v > 86400)
        throw Bad{"bad time-out (seconds, 0 to 86400): " + w};
    return v;
}

ObjRef to_obj(const std::string &w, const char *what) {
    ObjRef r;
    if (w == "active") {
        r.kind = ObjRef::Active;
    } else if (w == "session") {
        r.id = 0;
    } else {
        r.id = static_cast<F_ObjIdT>(to_int(w, what));
    }
    return r;
}

int to_proc(const std::string &w) {
    IntT p = to_int(w, "procedure");
    if (p < 0) throw Bad{"procedure must not be negative: " + w};
    return p;
}

void arity(const std::vector<std::string> &w, size_t min, size_t max, const char *usage) {
    if (w.size() - 1 < min || w.size() - 1 > max) throw Bad{std::string("usage: ") + usage};
}

// Fills a callback command's fields from the words after the procedure.
void callback_args(Command &c, const std::vector<std::string> &w, size_t first) {
    size_t n = w.size() - first;
    auto need = [&](size_t k, const char *usage) {
        if (n != k) throw Bad{std::string("usage: ") + usage};
    };
    switch (c.proc) {
    case 2:
    case 3:
        need(1, c.proc == 2 ? "init CODE" : "command CODE");
        c.a = to_int(w[first], "code");
        break;
    case 4:
        need(3, "message TEXT DOC OBJ");
        c.text = w[first];
        c.doc = to_obj(w[first + 1], "document");
        c.b = to_int(w[first + 2], "object");
        break;
    case 5:
        need(3, "notify4 CODE DOC FILE");
        c.a = to_int(w[first], "notification");
        c.doc = to_obj(w[first + 1], "document");
        c.text = w[first + 2];
        break;
    case 6:
        need(3, "dialog A B C");
        c.a = to_int(w[first], "dialog");
        c.b = to_int(w[first + 1], "item");
        c.c = to_int(w[first + 2], "value");
        break;
    case 7:
        need(4, "callback 7 NOTIFICATION DOC FILE PARAM");
        c.a = to_int(w[first], "notification");
        c.doc = to_obj(w[first + 1], "document");
        c.text = w[first + 2];
        c.c = to_int(w[first + 3], "parameter");
        break;
    default:
        if (n != 0) throw Bad{"procedure " + std::to_string(c.proc) + " takes no arguments"};
    }
}

Command parse_words(const std::vector<std::string> &w, const std::vector<std::string> &rest) {
    Command c;
    const std::string &k = w[0];
    if (k == "init" || k == "command") {
        c.op = Op::Callback;
        c.proc = k == "init" ? 2 : 3;
        callback_args(c, w, 1);
    } else if (k == "message") {
        c.op = Op::Callback;
        c.proc = 4;
        callback_args(c, w, 1);
    } else if (k == "dialog") {
        c.op = Op::Callback;
        c.proc = 6;
        callback_args(c, w, 1);
    } else if (k == "quit") {
        arity(w, 0, 0, "quit");
        c.op = Op::Callback;
        c.proc = 1;
    } else if (k == "notify4") {
        c.op = Op::Callback;
        c.proc = 5;
        callback_args(c, w, 1);
    } else if (k == "callback") {
        if (w.size() < 2) throw Bad{"usage: callback PROC [ARGS...]"};
        c.op = Op::Callback;
        c.proc = to_proc(w[1]);
        callback_args(c, w, 2);
    } else if (k == "event") {
        arity(w, 4, 4, "event NOTIFICATION DOC FILE PARAM");
        c.op = Op::Event;
        c.proc = 7;
        callback_args(c, w, 1);
    } else if (k == "wait") {
        if (w.size() >= 2 && w[1] == "over") {
            arity(w, 1, 2, "wait over [TIMEOUT]");
            c.op = Op::WaitOver;
            if (w.size() == 3) c.timeout = to_seconds(w[2]);
        } else if (w.size() >= 2 && w[1] == "journal") {
            arity(w, 2, 3, "wait journal PATTERN [TIMEOUT]");
            c.op = Op::WaitJournal;
            c.text = w[2];
            if (c.text.empty()) throw Bad{"wait journal: empty pattern"};
            if (w.size() == 4) c.timeout = to_seconds(w[3]);
        } else {
            throw Bad{"usage: wait over [TIMEOUT] | wait journal PATTERN [TIMEOUT]"};
        }
    } else if (k == "sleep") {
        arity(w, 1, 1, "sleep MS");
        c.op = Op::Sleep;
        c.a = to_int(w[1], "milliseconds");
        if (c.a < 0 || c.a > 86400000) throw Bad{"sleep: 0 to 86400000 milliseconds"};
    } else if (k == "fail") {
        arity(w, 2, 2, "fail PROC ERRSTATUS");
        c.op = Op::Fail;
        c.proc = to_proc(w[1]);
        c.a = to_int(w[2], "error status");
    } else if (k == "drop") {
        arity(w, 1, 1, "drop PROC");
        c.op = Op::Drop;
        c.proc = to_proc(w[1]);
    } else if (k == "cut") {
        arity(w, 1, 2, "cut PROC [OFFSET]");
        c.op = Op::Cut;
        c.proc = to_proc(w[1]);
        // -1: only the record mark goes out.
        c.b = w.size() > 2 ? to_int(w[2], "byte offset") : -1;
        if (w.size() > 2 && (c.b < 0 || c.b > 1 << 24)) throw Bad{"cut: offset 0 to 16777216"};
    } else if (k == "delay") {
        arity(w, 2, 2, "delay PROC MS");
        c.op = Op::Delay;
        c.proc = to_proc(w[1]);
        c.a = to_int(w[2], "milliseconds");
        if (c.a < 0 || c.a > 600000) throw Bad{"delay: 0 to 600000 milliseconds"};
    } else if (k == "set" || k == "empty") {
        bool set = k == "set";
        if (set && (w.size() < 4 || rest.size() < 5)) throw Bad{"usage: set OBJ PROP TYPE VALUE"};
        if (!set) arity(w, 2, 2, "empty OBJ PROP");
        c.op = set ? Op::Set : Op::Empty;
        c.doc = to_obj(w[1], "object");
        const std::string &p = w[2];
        bool numeric = !p.empty() && (std::isdigit(static_cast<unsigned char>(p[0])) || p[0] == '-');
        if (numeric) {
            c.num = to_int(p, "property");
            if (c.num == 0) throw Bad{"property number 0: name the property instead"};
        } else {
            c.name = p;
        }
        if (set) {
            c.text = w[3];  // type name, resolved by the caller
            std::string raw = rest.size() > 4 ? rest[4] : std::string();
            while (!raw.empty() && std::isspace(static_cast<unsigned char>(raw.back()))) raw.pop_back();
            nlohmann::json j = nlohmann::json::parse(raw, nullptr, false);
            if (j.is_discarded()) {
                // A bare word stands for a string.
                bool bare = !raw.empty() && raw.find_first_of(" \t") == std::string::npos &&
                            raw.find_first_of("[{\"") != 0;
                if (!bare) throw Bad{"set: value is not JSON: " + raw};
                j = raw;
            }
            c.value = j;
        }
    } else if (k == "open") {
        arity(w, 1, 1, "open PATH");
        c.op = Op::Open;
        c.text = w[1];
    } else if (k == "vanish" || k == "exit" || k == "shutdown" || k == "status") {
        arity(w, 0, 0, k.c_str());
        c.op = k == "vanish" ? Op::Vanish : k == "exit" ? Op::Exit : k == "shutdown" ? Op::Shutdown
                                                                                     : Op::Status;
    } else {
        throw Bad{"unknown command: " + k};
    }
    return c;
}

}  // namespace

bool split_words(const std::string &line, std::vector<std::string> &words, std::string &error,
                 std::vector<std::string> *rest, size_t max_words) {
    words.clear();
    if (rest) rest->clear();
    size_t i = 0, n = line.size();
    while (i < n) {
        while (i < n && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i >= n) break;
        if (rest) rest->push_back(line.substr(i));
        if (words.size() == max_words) break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                char ch = line[i++];
                if (ch == '"') {
                    closed = true;
                    break;
                }
                if (ch == '\\') {
                    if (i >= n) break;
                    char e = line[i++];
                    if (e == '"' || e == '\\') word += e;
                    else if (e == 'n') word += '\n';
                    else if (e == 't') word += '\t';
                    else {
                        error = std::string("unknown escape \\") + e;
                        return false;
                    }
                } else {
                    word += ch;
                }
            }
            if (!closed) {
                error = "unterminated quote";
                return false;
            }
            if (i < n && !std::isspace(static_cast<unsigned char>(line[i]))) {
                error = "text after a closing quote";
                return false;
            }
        } else {
            while (i < n && !std::isspace(static_cast<unsigned char>(line[i]))) word += line[i++];
        }
        words.push_back(std::move(word));
    }
    return true;
}

std::optional<Command> parse_command(const std::string &line, std::string &error) {
    error.clear();
    size_t first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || line[first] == '#') return std::nullopt;
    if (line.find('\0') != std::string::npos) {
        error = "NUL byte in command";
        return std::nullopt;
    }
    std::vector<std::string> words, rest;
    // The value of "set" is JSON, with quotes of its own: only the first
    // four words are split.
    size_t max_words = line.compare(first, 4, "set ") == 0 || line.compare(first, 4, "set\t") == 0 ? 4 : SIZE_MAX;
    if (!split_words(line, words, error, &rest, max_words)) return std::nullopt;
    try {
        Command c = parse_words(words, rest);
        c.source = line.substr(first);
        while (!c.source.empty() && (c.source.back() == '\r' || c.source.back() == '\n'))
            c.source.pop_back();
        return c;
    } catch (const Bad &b) {
        error = b.what;
        return std::nullopt;
    }
}

bool parse_scenario(const std::string &text, std::vector<Command> &out, std::string &error) {
    out.clear();
    std::vector<Command> cmds;
    std::istringstream in(text);
    std::string line;
    int no = 0;
    while (std::getline(in, line)) {
        ++no;
        std::string e;
        auto c = parse_command(line, e);
        if (!e.empty()) {
            error = "line " + std::to_string(no) + ": " + e;
            return false;
        }
        if (c) {
            c->line = no;
            cmds.push_back(std::move(*c));
        }
    }
    out = std::move(cmds);
    return true;
}

bool callback_expects_over(int proc) {
    return proc == 2 || proc == 3 || proc == 4 || proc == 6 || proc == 7;
}

bool callback_expects_reply(int proc) { return proc != 5; }

const char *callback_name(int proc) {
    switch (proc) {
    case 0: return "null";
    case 1: return "quit";
    case 2: return "init";
    case 3: return "command";
    case 4: return "message";
    case 5: return "notify4";
    case 6: return "dialog";
    case 7: return "notify";
    default: return "raw";
    }
}

}  // namespace fdk::sim
