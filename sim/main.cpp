// main.cpp - framesim's entry: the session stand-in, or the ctl helper.
#include <cstdio>
#include <string>
#include <vector>

#include "fdk_version.h"
#include "sim.hpp"

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ctl") {
        if (args.size() < 3) {
            std::fputs(fdk::sim::kUsage, stderr);
            return 2;
        }
        return fdk::sim::run_ctl(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    }
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(fdk::sim::kUsage, stdout);
        return 0;
    }
    if (!args.empty() && args[0] == "--version") {
        std::puts("framesim " FDK_VERSION);
        return 0;
    }
    fdk::sim::Options opt;
    std::string error;
    if (!fdk::sim::parse_options(args, opt, error)) {
        // A command line framesim cannot use is a usage error (2); trouble
        // met while starting the session is 1 (Sim::run).
        std::fprintf(stderr, "framesim: %s\n%s", error.c_str(), fdk::sim::kUsage);
        return 2;
    }
    fdk::sim::Sim sim(std::move(opt));
    return sim.run();
}
