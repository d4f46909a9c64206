// mbxd and cadsim as programs: the socket file's life, other users, bad
// command lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "testsupport.hpp"

namespace {

using fdk::test::Process;

class Mbxd : public ::testing::Test {
 protected:
  // Runs argv (after `prefix`), which must end by itself; the process.
  Process ended(std::vector<std::string> argv, const std::string& tag, std::vector<std::string> prefix = {}) {
    argv.insert(argv.begin(), prefix.begin(), prefix.end());
    Process p(argv, dir_.path(), tag);
    EXPECT_TRUE(p.ends_within(10000)) << tag;
    return p;
  }
  bool says(Process& p, const std::string& text) { return p.err().find(text) != std::string::npos; }

  fdk::test::TempDir dir_;
  std::string sock_ = dir_.file("bus.sock");
};

// The socket is the owner's alone, never taken from a live broker, taken
// over from one that died, and removed by the broker that stops.
TEST_F(Mbxd, SocketFileLife) {
  Process first = fdk::test::start_broker(MBXD_PATH, dir_.path(), sock_, {}, "first");
  struct stat sb;
  ASSERT_EQ(stat(sock_.c_str(), &sb), 0);
  EXPECT_TRUE(S_ISSOCK(sb.st_mode) && (sb.st_mode & 077) == 0);
  Process second = ended({MBXD_PATH, "--socket", sock_}, "second");
  EXPECT_EQ(second.exit_code(), 1);
  EXPECT_TRUE(says(second, "another broker is serving")) << second.err();
  first.kill(SIGKILL);
  ASSERT_TRUE(first.ends_within(5000));
  Process third({MBXD_PATH, "--socket", sock_}, dir_.path(), "third");
  ASSERT_TRUE(third.wait_for_output("mbxd ready " + sock_ + "\n", 10000)) << third.err();
  third.stop();
  EXPECT_EQ(third.exit_code(), 0) << third.err();
  EXPECT_NE(lstat(sock_.c_str(), &sb), 0);
}

// Another user's processes, here nobody's (setpriv drops to it before the
// program starts): the broker refuses them, a participant refuses their
// broker, and a broker does not take over a socket path they hold.
TEST_F(Mbxd, OnlyTheSameUserJoins) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
  const std::vector<std::string> nobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  // The file modes would stop nobody at once; open them so that only the
  // credentials are left to do it.
  ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
  Process mine = fdk::test::start_broker(MBXD_PATH, dir_.path(), sock_, {"--verbose"}, "mine");
  ASSERT_EQ(chmod(sock_.c_str(), 0666), 0);
  Process stranger = ended({CADSIM_PATH, "--socket", sock_, "request", "X"}, "stranger", nobody);
  EXPECT_EQ(stranger.exit_code(), 1) << stranger.err();
  EXPECT_TRUE(fdk::test::wait_until([&] { return says(mine, "refused a connection: the other end runs as uid 65534"); },
                                    10000)) << mine.err();
  EXPECT_FALSE(says(mine, "joined")) << mine.err();
  mine.stop();
  EXPECT_EQ(mine.exit_code(), 0) << mine.err();

  std::vector<std::string> argv = nobody;
  argv.insert(argv.end(), {MBXD_PATH, "--socket", sock_});
  Process theirs(argv, dir_.path(), "theirs");
  ASSERT_TRUE(theirs.wait_for_output("ready", 10000)) << theirs.err();
  Process cad = ended({CADSIM_PATH, "--socket", sock_, "request", "X"}, "cad");
  EXPECT_EQ(cad.exit_code(), 1);
  EXPECT_TRUE(says(cad, "not joining the broker at " + sock_ + ": the other end runs as uid 65534")) << cad.err();
  Process second = ended({MBXD_PATH, "--socket", sock_}, "second");
  EXPECT_EQ(second.exit_code(), 1);
  EXPECT_TRUE(says(second, sock_ + " belongs to uid 65534: another user holds this path")) << second.err();
  theirs.stop();
  EXPECT_EQ(theirs.exit_code(), 0) << theirs.err();
}

// Bad command lines are usage errors (exit status 2); a socket path that
// cannot be used or a missing broker end with 1.
TEST_F(Mbxd, BadCommandLinesAndMissingBroker) {
  const std::string s = sock_, file = dir_.write("precious", "precious");
  const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
      {{MBXD_PATH, "--bogus"}, 2, "usage:"},
      {{MBXD_PATH, "--max-participants", "0"}, 2, "usage:"},
      {{MBXD_PATH, "--socket", std::string(200, 'x')}, 1, "mbxd: "},
      {{MBXD_PATH, "--socket", file}, 1, "is not a socket"},
      {{CADSIM_PATH, "--socket", s, "request"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "fly", "CURFCT"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "request", "TOOLONGNAME"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "request", "X", "--item-hex", "4"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "request", "X", "--kind", "many"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "serve", "X", "--count"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "request", "X"}, 1, "cannot reach the broker"},
  };
  for (const auto& [argv, code, text] : cases) {
    Process c = ended(argv, "bad");
    EXPECT_EQ(c.exit_code(), code) << testing::PrintToString(argv);
    EXPECT_TRUE(says(c, text)) << c.err();
  }
  EXPECT_EQ(fdk::test::read_file(file), "precious");
}

}  // namespace
