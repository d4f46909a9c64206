// journal.hpp - the simulator's journal: JSON Lines, one object per line,
// each with "t" (seconds since start) and "kind".  Lines are kept in memory
// (for `wait journal`) and, when a file is given, written and flushed one by
// one so that a reader sees every line as soon as it is complete.
//
// A group collects the lines that a handler writes while it runs and puts
// them after the handler's own line (the call comes first, its consequences
// after it).
#ifndef FDK_SIM_JOURNAL_HPP
#define FDK_SIM_JOURNAL_HPP

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace fdk::sim {

class Journal {
public:
    Journal();
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Opens (truncates) the journal file; false with errno set on failure.
    bool open(const std::string &path);
    // Adds "t" and writes the line (or holds it while a group is open).
    void write(nlohmann::json line);
    void begin_group();
    // Writes `first`, then the lines held since begin_group.
    void end_group(nlohmann::json first);

    const std::vector<std::string> &lines() const { return lines_; }
    double seconds() const;

private:
    void emit(nlohmann::json &line);

    std::FILE *file_ = nullptr;
    std::vector<std::string> lines_;
    std::vector<nlohmann::json> held_;
    int depth_ = 0;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace fdk::sim

#endif
