// The installed tree as a client's developer meets it: `cmake --install`
// into a staging prefix, the example client (examples/client) configured and
// built out of tree against that prefix twice, once through pkg-config and
// once through the CMake package (find_package(Fdk 5)), and each build run by
// the installed framesim with the example's own scenario.
//
// One test: each step needs the one before, and the staging prefix is made
// once.  Everything lives in temporary directories removed afterwards; the
// Framesim launcher removes its port-mapper registrations.
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testsupport.hpp"

using fdk::test::ExitStatus;
using fdk::test::Framesim;
using fdk::test::Millis;
using fdk::test::Process;
using fdk::test::read_file;
using fdk::test::TempDir;
using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct Step {
    ExitStatus status;
    std::string out, err;
};

// Runs argv to its end (at most `limit`), output captured in `dir`.
Step step(const TempDir &dir, const std::vector<std::string> &argv,
        const std::map<std::string, std::string> &env = {}, Millis limit = Millis(240000)) {
    static int count = 0;
    const std::string tag = "step" + std::to_string(++count);
    Process::Options o;
    o.argv = argv;
    o.env = env;
    o.stdout_path = dir.file(tag + ".out");
    o.stderr_path = dir.file(tag + ".err");
    Process p(o);
    Step r;
    r.status = p.wait(limit);
    r.out = read_file(o.stdout_path);
    r.err = read_file(o.stderr_path);
    return r;
}

bool succeeded(const Step &r) { return r.status.exited && r.status.code == 0; }

std::string describe(const Step &r) { return "stdout:\n" + r.out + "\nstderr:\n" + r.err; }

bool exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    return out;
}

}  // namespace

TEST(InstalledTree, ExampleClientBuildsAgainstItAndServesFramesim) {
    TempDir work("pkgclient");
    const std::string prefix = work.file("prefix");
    const std::string libdir = prefix + "/" + FDK_INSTALL_LIBDIR;

    // 1. Install.
    Step install = step(work, {CMAKE_COMMAND, "--install", FDK_BUILD_DIR, "--prefix", prefix});
    ASSERT_TRUE(succeeded(install)) << describe(install);
    for (const char *file : {"/include/fdk/fapi_runtime.h", "/include/fdk/fapi_calls.h",
                             "/include/fdk/fapi_procs.def", "/include/fdk/fde.h",
                             "/bin/framesim"})
        EXPECT_TRUE(exists(prefix + file)) << file;
    for (const char *file : {"libfdkapi.so", "libfdkapi.so.5", "libfdkapi.a", "libfdkfde.so",
                             "libfdkfde.so.5", "libfdkfde.a", "pkgconfig/fdkapi.pc",
                             "pkgconfig/fdkfde.pc"})
        EXPECT_TRUE(exists(libdir + "/" + file)) << file;

#ifdef FDK_HAS_DOKFRM
    // The bridge finds the bus library in its private folder.
    EXPECT_TRUE(exists(libdir + "/fdk/libmbx.so"));
    Step bridge = step(work, {READELF, "-d", prefix + "/bin/dokfrm"});
    ASSERT_TRUE(succeeded(bridge)) << describe(bridge);
    EXPECT_THAT(bridge.out, HasSubstr("[libmbx.so]"));
    EXPECT_THAT(bridge.out, ContainsRegex("RUNPATH.*\\[\\$ORIGIN/\\.\\./" FDK_INSTALL_LIBDIR "/fdk\\]"));
#endif

    // The CMake package and the manual pages (compressed, as packages want them).
    for (const char *file : {"cmake/Fdk/FdkConfig.cmake", "cmake/Fdk/FdkConfigVersion.cmake",
                             "cmake/Fdk/FdkTargets.cmake"})
        EXPECT_TRUE(exists(libdir + "/" + file)) << file;
    for (const char *page : {"man1/dokfrm.1.gz", "man1/framesim.1.gz", "man1/mbxd.1.gz",
                             "man1/cadsim.1.gz", "man3/fdkapi.3.gz", "man5/framesim.5.gz"})
        EXPECT_TRUE(exists(prefix + "/share/man/" + page)) << page;

    // 2. pkg-config points at the staging prefix.
    const std::map<std::string, std::string> pc_env = {{"PKG_CONFIG_PATH", libdir + "/pkgconfig"}};
    Step flags = step(work, {PKG_CONFIG_PROGRAM, "--cflags", "--libs", "fdkapi"}, pc_env);
    ASSERT_TRUE(succeeded(flags)) << describe(flags);
    EXPECT_THAT(flags.out, HasSubstr("-I" + prefix + "/include/fdk "));
    EXPECT_THAT(flags.out, HasSubstr("tirpc")) << "the headers include <rpc/rpc.h>";
    EXPECT_THAT(flags.out, HasSubstr("-lfdkapi"));

    // 3. Configure and build the example out of tree, warnings as errors:
    // with pkg-config, and with find_package, which must find the staging
    // prefix through CMAKE_PREFIX_PATH alone (no PKG_CONFIG_PATH for fdk).
    std::string cflags = "-Wall -Wextra -Werror";
    std::string ldflags;
#ifdef FDK_SANITIZE_FLAGS
    cflags += std::string(" ") + FDK_SANITIZE_FLAGS;
    ldflags = FDK_SANITIZE_FLAGS;
#endif
    struct Way {
        std::string name;
        std::vector<std::string> options;
        std::map<std::string, std::string> env;
    };
    const Way ways[] = {
        {"pkg-config", {}, pc_env},
        {"find_package", {"-DNOTIFY_CLIENT_FIND_PACKAGE=ON", "-DCMAKE_PREFIX_PATH=" + prefix}, {}},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE("built with " + way.name);
        const std::string build = work.file("example-" + way.name);
        std::vector<std::string> configure_argv = {
            CMAKE_COMMAND, "-S", EXAMPLE_SOURCE_DIR, "-B", build, "-G", "Ninja",
            "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_C_FLAGS=" + cflags,
            "-DCMAKE_EXE_LINKER_FLAGS=" + ldflags};
        configure_argv.insert(configure_argv.end(), way.options.begin(), way.options.end());
        Step configure = step(work, configure_argv, way.env);
        ASSERT_TRUE(succeeded(configure)) << describe(configure);
        Step make = step(work, {CMAKE_COMMAND, "--build", build}, way.env);
        ASSERT_TRUE(succeeded(make)) << describe(make);
        const std::string client = build + "/notify_client";

        // It uses the shared library of the staging prefix.
        Step dynamic = step(work, {READELF, "-d", client});
        ASSERT_TRUE(succeeded(dynamic)) << describe(dynamic);
        EXPECT_THAT(dynamic.out, HasSubstr("[libfdkapi.so.5]"));
        EXPECT_THAT(dynamic.out, HasSubstr(libdir));

        // 4. The installed framesim plays the example's scenario.
        ASSERT_EQ(setenv("FRAMESIM", (prefix + "/bin/framesim").c_str(), 1), 0);
        Framesim::Options o;
        o.client = {client, "2"};
        o.scenario = read_file(std::string(EXAMPLE_SOURCE_DIR) + "/scenario.txt");
        ASSERT_FALSE(o.scenario.empty());
        o.time_limit = 60;
        Framesim fs(o);
        ExitStatus done = fs.wait_exit(Millis(90000));
        ASSERT_FALSE(done.timed_out) << read_file(fs.stderr_path());
        EXPECT_TRUE(done.exited && done.code == 0)
            << "framesim: " << read_file(fs.stderr_path());

        // Everything Frame sent, in order; notification 3 was not asked for
        // and never arrives.  "command 5" comes from the client's own
        // F_ApiCommand, not the library's default.
        EXPECT_THAT(lines_of(read_file(fs.stdout_path())),
                    ElementsAre("started", "initialize 1", "asked for notification 2: ok",
                                "notify 2 doc 7 file \"/docs/guide.fm\" param 0",
                                "message \"hello client\" doc 7 object 12", "command 5", "quit"))
            << "framesim stderr:\n" << read_file(fs.stderr_path());
        EXPECT_THAT(read_file(fs.journal_path()), HasSubstr("\"notify-request\""));
        EXPECT_THAT(read_file(fs.stderr_path()), Not(HasSubstr("AddressSanitizer")));
    }
}
