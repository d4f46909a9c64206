// options.hpp - framesim's command line.
#ifndef FDK_SIM_OPTIONS_HPP
#define FDK_SIM_OPTIONS_HPP

#include <cstdint>
#include <string>
#include <vector>

namespace fdk::sim {

struct Options {
    uint32_t prog = 0;     // 0: pick a free transient number
    uint32_t vers = 1;
    uint32_t cb_prog = 0;  // 0: pick a free transient number
    uint32_t cb_vers = 1;
    int client_no = 0;
    std::string client_name;  // "": the client program's base name
    std::string docroot;      // relative document paths; "": working directory
    std::string journal;      // "": journal kept in memory only
    std::string scenario;
    std::string control;      // control socket path; "": none
    double time_limit = 0;    // seconds; 0: none
    bool summary = false;
    std::string session;      // --session NAME
    std::vector<std::string> client;  // after "--"
};

// Parses argv (without the program name).  False with a message on a bad
// command line.
bool parse_options(const std::vector<std::string> &args, Options &o, std::string &error);

extern const char *const kUsage;

}  // namespace fdk::sim

#endif
