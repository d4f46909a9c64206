// options.cpp - command-line parsing.
#include "options.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace fdk::sim {

const char *const kUsage =
    "usage: framesim [options] -- CLIENT [ARGS...]\n"
    "       framesim --session NAME [options]\n"
    "       framesim ctl SOCKET COMMAND...\n"
    "       framesim --help | --version\n"
    "options: --prog N --vers N --cb-prog N --cb-vers N --client-no N --client-name NAME\n"
    "         --docroot DIR --journal FILE --scenario FILE --control SOCKET\n"
    "         --time-limit SECONDS --summary\n";

namespace {

bool number(const std::string &s, long long lo, long long hi, long long &out) {
    if (s.empty()) return false;
    errno = 0;
    char *end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

}  // namespace

bool parse_options(const std::vector<std::string> &args, Options &o, std::string &error) {
    size_t i = 0;
    auto value = [&](const std::string &name, std::string &out) {
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return false;
        }
        out = args[++i];
        return true;
    };
    for (; i < args.size(); ++i) {
        const std::string &a = args[i];
        std::string v;
        long long n = 0;
        if (a == "--") {
            o.client.assign(args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (a == "--prog" || a == "--cb-prog" || a == "--vers" || a == "--cb-vers") {
            if (!value(a, v)) return false;
            if (!number(v, 1, 0xFFFFFFFFll, n)) {
                error = a + ": not a program or version number: " + v;
                return false;
            }
            uint32_t u = static_cast<uint32_t>(n);
            (a == "--prog" ? o.prog : a == "--cb-prog" ? o.cb_prog : a == "--vers" ? o.vers : o.cb_vers) = u;
        } else if (a == "--client-no") {
            if (!value(a, v)) return false;
            if (!number(v, -2147483647ll, 2147483647ll, n)) {
                error = "--client-no: not a number: " + v;
                return false;
            }
            o.client_no = static_cast<int>(n);
        } else if (a == "--client-name") {
            if (!value(a, o.client_name)) return false;
            if (o.client_name.empty() || o.client_name.find_first_of(" \t\n") != std::string::npos) {
                error = "--client-name must be one word";
                return false;
            }
        } else if (a == "--docroot") {
            if (!value(a, o.docroot)) return false;
        } else if (a == "--journal") {
            if (!value(a, o.journal)) return false;
        } else if (a == "--scenario") {
            if (!value(a, o.scenario)) return false;
        } else if (a == "--control") {
            if (!value(a, o.control)) return false;
        } else if (a == "--session") {
            if (!value(a, o.session)) return false;
            if (o.session.empty()) {
                error = "--session needs a name";
                return false;
            }
        } else if (a == "--time-limit") {
            if (!value(a, v)) return false;
            char *end = nullptr;
            errno = 0;
            double t = std::strtod(v.c_str(), &end);
            if (errno != 0 || *end != '\0' || v.empty() || !std::isfinite(t) || t <= 0 || t > 1e7) {
                error = "--time-limit: not a positive number of seconds: " + v;
                return false;
            }
            o.time_limit = t;
        } else if (a == "--summary") {
            o.summary = true;
        } else {
            error = "unknown option: " + a;
            return false;
        }
    }
    if (o.session.empty() && o.client.empty()) {
        error = "name a client after -- or give --session NAME";
        return false;
    }
    if (!o.session.empty() && !o.client.empty()) {
        error = "--session and a client exclude each other";
        return false;
    }
    if (o.client_name.empty()) {
        std::string base = o.client.empty() ? o.session : o.client[0];
        auto slash = base.find_last_of('/');
        o.client_name = slash == std::string::npos ? base : base.substr(slash + 1);
        if (o.client_name.empty() || o.client_name.find_first_of(" \t\n") != std::string::npos)
            o.client_name = "client";
    }
    return true;
}

}  // namespace fdk::sim
