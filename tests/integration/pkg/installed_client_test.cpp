// The installed tree as a client's developer meets it: `cmake --install` into
// a staging prefix, examples/client built out of tree against it through
// pkg-config and through find_package(Fdk 5), each build run by the installed
// framesim with the example's own scenario.  (What the packages carry is
// checked file by file by check_deb.cmake.)
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
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// Runs argv to its end in `dir`; its standard output, or a test failure
// with both streams when it does not succeed.
std::string run(const TempDir &dir, const std::vector<std::string> &argv,
                const std::map<std::string, std::string> &env = {}) {
    static int count = 0;
    const std::string tag = "step" + std::to_string(++count);
    Process::Options o;
    o.argv = argv;
    o.env = env;
    o.stdout_path = dir.file(tag + ".out");
    o.stderr_path = dir.file(tag + ".err");
    Process p(o);
    ExitStatus st = p.wait(Millis(240000));
    EXPECT_TRUE(st.exited && st.code == 0)
        << argv[0] << " " << (argv.size() > 1 ? argv[1] : "") << ":\n"
        << p.out() << p.err();
    return p.out();
}

}  // namespace

TEST(InstalledTree, ExampleClientBuildsAgainstItAndServesFramesim) {
    TempDir work("pkgclient");
    const std::string prefix = work.file("prefix");
    const std::string libdir = prefix + "/" + FDK_INSTALL_LIBDIR;
    run(work, {CMAKE_COMMAND, "--install", FDK_BUILD_DIR, "--prefix", prefix});
    ASSERT_FALSE(::testing::Test::HasFailure());

#ifdef FDK_HAS_DOKFRM
    // The bridge finds the bus library in its private folder.
    EXPECT_THAT(run(work, {READELF, "-d", prefix + "/bin/dokfrm"}),
                ContainsRegex("RUNPATH.*\\[\\$ORIGIN/\\.\\./" FDK_INSTALL_LIBDIR "/fdk\\]"));
#endif

    // pkg-config names the staging prefix and libtirpc (the headers include
    // <rpc/rpc.h>).
    const std::map<std::string, std::string> pc_env = {{"PKG_CONFIG_PATH", libdir + "/pkgconfig"}};
    const std::string flags = run(work, {PKG_CONFIG_PROGRAM, "--cflags", "--libs", "fdkapi"}, pc_env);
    EXPECT_THAT(flags, HasSubstr("-I" + prefix + "/include/fdk "));
    EXPECT_THAT(flags, HasSubstr("tirpc"));

    // Built out of tree with warnings as errors: through pkg-config, and
    // through find_package, which finds the prefix by CMAKE_PREFIX_PATH alone.
    std::string cflags = "-Wall -Wextra -Werror", ldflags;
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
        std::vector<std::string> configure = {
            CMAKE_COMMAND, "-S", EXAMPLE_SOURCE_DIR, "-B", build, "-G", "Ninja",
            "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_C_FLAGS=" + cflags,
            "-DCMAKE_EXE_LINKER_FLAGS=" + ldflags};
        configure.insert(configure.end(), way.options.begin(), way.options.end());
        run(work, configure, way.env);
        run(work, {CMAKE_COMMAND, "--build", build}, way.env);
        ASSERT_FALSE(::testing::Test::HasFailure());
        const std::string client = build + "/notify_client";
        const std::string dynamic = run(work, {READELF, "-d", client});
        EXPECT_THAT(dynamic, HasSubstr("[libfdkapi.so.5]"));
        EXPECT_THAT(dynamic, HasSubstr(libdir));

        // The installed framesim plays the example's scenario.  Notification
        // 3 was not asked for and never arrives; "command 5" comes from the
        // client's own F_ApiCommand, not the library's default.
        ASSERT_EQ(setenv("FRAMESIM", (prefix + "/bin/framesim").c_str(), 1), 0);
        Framesim::Options o;
        o.client = {client, "2"};
        o.scenario = read_file(std::string(EXAMPLE_SOURCE_DIR) + "/scenario.txt");
        Framesim fs(o);
        ExitStatus done = fs.wait_exit(Millis(90000));
        EXPECT_TRUE(done.exited && done.code == 0) << read_file(fs.stderr_path());
        EXPECT_EQ(read_file(fs.stdout_path()),
                  "started\ninitialize 1\nasked for notification 2: ok\n"
                  "notify 2 doc 7 file \"/docs/guide.fm\" param 0\n"
                  "message \"hello client\" doc 7 object 12\ncommand 5\nquit\n")
            << read_file(fs.stderr_path());
        EXPECT_THAT(read_file(fs.stderr_path()), Not(HasSubstr("AddressSanitizer")));
    }
}
