// journal.cpp - JSON Lines journal, flushed per line.
#include "journal.hpp"

#include <cmath>

namespace fdk::sim {

Journal::Journal() : start_(std::chrono::steady_clock::now()) {}

Journal::~Journal() {
    if (file_) std::fclose(file_);
}

bool Journal::open(const std::string &path) {
    std::FILE *f = std::fopen(path.c_str(), "we");
    if (!f) return false;
    if (file_) std::fclose(file_);
    file_ = f;
    return true;
}

double Journal::seconds() const {
    std::chrono::duration<double> d = std::chrono::steady_clock::now() - start_;
    return std::round(d.count() * 1000.0) / 1000.0;
}

void Journal::emit(nlohmann::json &line) {
    // Strings from the wire need not be UTF-8: replace what is not.
    std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (file_) {
        std::fputs(text.c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }
    lines_.push_back(std::move(text));
}

void Journal::write(nlohmann::json line) {
    nlohmann::json out = {{"t", seconds()}};
    for (auto it = line.begin(); it != line.end(); ++it) out[it.key()] = it.value();
    if (depth_ > 0) {
        held_.push_back(std::move(out));
        return;
    }
    emit(out);
}

void Journal::begin_group() { ++depth_; }

void Journal::end_group(nlohmann::json first) {
    if (depth_ > 0) --depth_;
    std::vector<nlohmann::json> held;
    if (depth_ == 0) held.swap(held_);
    if (depth_ > 0) {  // nested group: keep holding, in order
        write(std::move(first));
        return;
    }
    nlohmann::json out = {{"t", seconds()}};
    for (auto it = first.begin(); it != first.end(); ++it) out[it.key()] = it.value();
    emit(out);
    for (auto &h : held) emit(h);
}

}  // namespace fdk::sim
