// main.cpp - framesim's entry: the session stand-in, or the ctl helper.
#include <cstdio>
#include <string>
#include <vector>

#include "sim.hpp"

int main(int argc, char **argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ctl") {
        if (args.size() < 3) {
            std::fputs(fdk::sim::kUsage, stderr);
            return 1;
        }
        return fdk::sim::run_ctl(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    }
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(fdk::sim::kUsage, stdout);
        return 0;
    }
    fdk::sim::Options opt;
    std::string error;
    if (!fdk::sim::parse_options(args, opt, error)) {
        std::fprintf(stderr, "framesim: %s\n%s", error.c_str(), fdk::sim::kUsage);
        return 1;
    }
    fdk::sim::Sim sim(std::move(opt));
    return sim.run();
}
