// rt_log.hpp - the event log that rt_client writes, read as it grows.
#ifndef FDK_TESTS_RT_LOG_HPP
#define FDK_TESTS_RT_LOG_HPP

#include <optional>
#include <string>
#include <vector>

#include "testsupport.hpp"

namespace rt {

class ClientLog {
public:
    using Json = fdk::test::Json;
    const std::string &path() const { return path_; }
    std::vector<std::string> lines() {
        const auto &all = reader_.lines();
        return {all.begin(), all.end()};
    }
    // The first line starting with `prefix`, waiting up to `timeout`.
    std::optional<std::string> wait_prefix(const std::string &prefix, fdk::test::Millis timeout) {
        auto starts = [&](const Json &l) { return l.get<std::string>().rfind(prefix, 0) == 0; };
        auto at = reader_.wait_for(starts, timeout);
        return at ? std::optional(reader_.lines()[*at].get<std::string>()) : std::nullopt;
    }
    bool wait_line(const std::string &line, fdk::test::Millis timeout = fdk::test::Millis(15000)) {
        return reader_.wait_for([&](const Json &l) { return l == line; }, timeout).has_value();
    }

private:
    fdk::test::TempDir dir_{"rtclient"};
    std::string path_ = dir_.file("client.log");
    fdk::test::JournalReader reader_{path_};
};

}  // namespace rt

#endif
