// rt_log.hpp - the event log that rt_client writes, read as it grows.
#ifndef FDK_TESTS_RT_LOG_HPP
#define FDK_TESTS_RT_LOG_HPP

#include <optional>
#include <string>
#include <vector>

#include "testsupport.hpp"

namespace rt {

using fdk::test::Json;
using fdk::test::Millis;

class ClientLog {
public:
    const std::string &path() const { return path_; }
    std::vector<std::string> lines() {
        std::vector<std::string> out;
        for (const Json &l : reader_.lines()) out.push_back(l.get<std::string>());
        return out;
    }
    // The first line starting with `prefix`, waiting up to `timeout`.
    std::optional<std::string> wait_prefix(const std::string &prefix, Millis timeout = Millis(15000)) {
        auto at = reader_.wait_for([&](const Json &l) { return l.get<std::string>().rfind(prefix, 0) == 0; },
                                   timeout);
        return at ? std::optional(reader_.lines()[*at].get<std::string>()) : std::nullopt;
    }
    bool wait_line(const std::string &line, Millis timeout = Millis(15000)) {
        return reader_.wait_for([&](const Json &l) { return l == line; }, timeout).has_value();
    }

private:
    fdk::test::TempDir dir_{"rtclient"};
    std::string path_ = dir_.file("client.log");
    fdk::test::JournalReader reader_{path_};
};

}  // namespace rt

#endif
