// The programs' command lines as a person meets them: --help and --version
// answer on standard output with status 0; framesim, mbxd and cadsim refuse
// an unknown option with the usage on standard error and status 2.  dokfrm
// answers only when Frame did not start it (no FMAPIX); under Frame every
// argument is ignored, so the same options go on to start-up, which here
// fails on a malformed FMAPIX before anything is forked or registered.
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fdk_version.h"
#include "testsupport.hpp"

namespace {

using fdk::test::ExitStatus;
using fdk::test::Millis;
using fdk::test::Process;
using fdk::test::read_file;
using fdk::test::TempDir;
using ::testing::HasSubstr;
using ::testing::StartsWith;

enum class Stream { Out, Err };

struct Case {
    const char *name;
    const char *program;
    std::vector<std::string> args;
    std::optional<std::string> fmapix;  // nullopt: FMAPIX unset
    int status;
    Stream stream;      // where the answer goes; the other stream stays empty
    std::string begins; // the answer's first bytes
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

const char kNotFromFrame[] = "Frame API client \"???\": not called by a Frame product.";

const Case kCases[] = {
    {"dokfrm_help", DOKFRM_PATH, {"--help"}, {}, 0, Stream::Out, "usage: dokfrm"},
    {"dokfrm_version", DOKFRM_PATH, {"--version"}, {}, 0, Stream::Out, "dokfrm " FDK_VERSION "\n"},
    {"dokfrm_no_arguments", DOKFRM_PATH, {}, {}, 1, Stream::Err, kNotFromFrame},
    {"dokfrm_other_option", DOKFRM_PATH, {"--verbose"}, {}, 1, Stream::Err, kNotFromFrame},
    {"dokfrm_help_under_frame", DOKFRM_PATH, {"--help"}, "1.2", 1, Stream::Err, kNotFromFrame},
    {"dokfrm_version_under_frame", DOKFRM_PATH, {"--version"}, "", 1, Stream::Err, kNotFromFrame},
    {"framesim_help", FRAMESIM_PATH, {"--help"}, {}, 0, Stream::Out, "usage: framesim"},
    {"framesim_version", FRAMESIM_PATH, {"--version"}, {}, 0, Stream::Out, "framesim " FDK_VERSION "\n"},
    {"framesim_unknown", FRAMESIM_PATH, {"--bogus", "--", "x"}, {}, 2, Stream::Err, "framesim: unknown option: --bogus\nusage:"},
    {"mbxd_help", MBXD_PATH, {"--help"}, {}, 0, Stream::Out, "usage: mbxd"},
    {"mbxd_version", MBXD_PATH, {"--version"}, {}, 0, Stream::Out, "mbxd " FDK_VERSION "\n"},
    {"mbxd_unknown", MBXD_PATH, {"--bogus"}, {}, 2, Stream::Err, "mbxd: unknown argument --bogus\nusage:"},
    {"cadsim_help", CADSIM_PATH, {"--help"}, {}, 0, Stream::Out, "usage: cadsim"},
    {"cadsim_version", CADSIM_PATH, {"--version"}, {}, 0, Stream::Out, "cadsim " FDK_VERSION "\n"},
    {"cadsim_version_after_mode", CADSIM_PATH, {"serve", "CURFCT", "--version"}, {}, 0, Stream::Out, "cadsim " FDK_VERSION "\n"},
    {"cadsim_unknown", CADSIM_PATH, {"--bogus", "request", "X"}, {}, 2, Stream::Err, "cadsim: unknown option --bogus\nusage:"},
    {"cadsim_service_version_needs_value", CADSIM_PATH, {"call", "X", "--service-version"}, {}, 2, Stream::Err, "cadsim: --service-version needs a value\nusage:"},
};

class CommandLine : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLine, AnswersOnTheRightStreamWithItsStatus) {
    const Case &c = GetParam();
    TempDir dir("cmdline");
    Process::Options o;
    o.argv = {c.program};
    o.argv.insert(o.argv.end(), c.args.begin(), c.args.end());
    if (c.fmapix) o.env["FMAPIX"] = *c.fmapix;
    else o.unset_env = {"FMAPIX"};
    // The bus programs must not meet a broker by chance.
    o.env["MBX_SOCKET"] = dir.file("no-broker.sock");
    o.stdout_path = dir.file("out");
    o.stderr_path = dir.file("err");
    Process p(o);
    ExitStatus st = p.wait(Millis(20000));
    ASSERT_TRUE(st.exited) << "still running or killed";
    EXPECT_EQ(st.code, c.status);
    const std::string out = read_file(o.stdout_path), err = read_file(o.stderr_path);
    const std::string &answer = c.stream == Stream::Out ? out : err;
    const std::string &other = c.stream == Stream::Out ? err : out;
    EXPECT_THAT(answer, StartsWith(c.begins));
    EXPECT_EQ(other, "");
}

INSTANTIATE_TEST_SUITE_P(Programs, CommandLine, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
