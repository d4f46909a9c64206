// mbxd on its own: the socket file's life, a second broker, the
// participant limit; cadsim's own failures.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>

#include "testsupport.hpp"

namespace {

using fdk::test::Process;

class Mbxd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    sock_ = dir_.path() + "/bus.sock";
  }
  Process broker(const std::vector<std::string>& extra = {}, const std::string& tag = "mbxd") {
    std::vector<std::string> argv = {MBXD_PATH, "--socket", sock_};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return Process(argv, dir_.path(), tag);
  }
  bool exists() const {
    struct stat sb;
    return lstat(sock_.c_str(), &sb) == 0;
  }
  fdk::test::TempDir dir_;
  std::string sock_;
};

TEST_F(Mbxd, AnnouncesItselfAndRemovesItsSocketOnStop) {
  Process b = broker();
  ASSERT_TRUE(b.wait_for_output("mbxd ready " + sock_ + "\n", 10000)) << b.err();
  struct stat sb;
  ASSERT_EQ(stat(sock_.c_str(), &sb), 0);
  EXPECT_TRUE(S_ISSOCK(sb.st_mode));
  EXPECT_EQ(sb.st_mode & 077, 0u);  // the owner's processes only
  b.stop();
  EXPECT_EQ(b.exit_code(), 0) << b.err();
  EXPECT_FALSE(exists());
}

TEST_F(Mbxd, ReplacesTheSocketOfABrokerThatDied) {
  Process first = fdk::test::start_broker(MBXD_PATH, dir_.path(), sock_, {}, "first");
  first.kill(SIGKILL);
  ASSERT_TRUE(first.ends_within(5000));
  ASSERT_TRUE(exists());  // left behind
  Process second = broker({}, "second");
  EXPECT_TRUE(second.wait_for_output("ready", 10000)) << second.err();
  EXPECT_TRUE(fdk::test::wait_for_socket(sock_, 5000));
}

TEST_F(Mbxd, RefusesALiveBrokersSocketAndOtherFiles) {
  Process first = fdk::test::start_broker(MBXD_PATH, dir_.path(), sock_, {}, "first");
  Process second = broker({}, "second");
  ASSERT_TRUE(second.ends_within(10000));
  EXPECT_EQ(second.exit_code(), 1);
  EXPECT_NE(second.err().find("another broker is serving"), std::string::npos);
  EXPECT_TRUE(first.running());
  first.stop();

  std::ofstream(sock_) << "precious";
  Process third = broker({}, "third");
  ASSERT_TRUE(third.ends_within(10000));
  EXPECT_EQ(third.exit_code(), 1);
  EXPECT_NE(third.err().find("is not a socket"), std::string::npos);
  EXPECT_EQ(fdk::test::read_file(sock_), "precious");
}

// Another user's processes, here nobody's (setpriv drops to it before the
// program starts): the broker refuses them, a participant refuses their
// broker, and a broker does not take over a socket path they hold.
TEST_F(Mbxd, OnlyTheSameUserJoins) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root and setpriv to run a process as nobody";
  auto as_nobody = [](std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                               "--clear-groups", "--"});
    return argv;
  };
  // The file modes would stop nobody at once; open them so that only the
  // credentials are left to do it.
  ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);

  Process mine = fdk::test::start_broker(MBXD_PATH, dir_.path(), sock_, {"--verbose"}, "mine");
  ASSERT_EQ(chmod(sock_.c_str(), 0666), 0);
  Process stranger = Process(as_nobody({CADSIM_PATH, "--socket", sock_, "request", "X"}),
                                dir_.path(), "stranger");
  ASSERT_TRUE(stranger.ends_within(10000));
  EXPECT_EQ(stranger.exit_code(), 1) << stranger.err();
  EXPECT_TRUE(fdk::test::wait_until(
      [&] { return mine.err().find("refused a connection: the other end runs as uid 65534") !=
                   std::string::npos; },
      10000))
      << mine.err();
  EXPECT_EQ(mine.err().find("joined"), std::string::npos) << mine.err();
  mine.stop();
  EXPECT_EQ(mine.exit_code(), 0) << mine.err();

  Process theirs = Process(as_nobody({MBXD_PATH, "--socket", sock_}), dir_.path(), "theirs");
  ASSERT_TRUE(theirs.wait_for_output("ready", 10000)) << theirs.err();
  Process cad = Process({CADSIM_PATH, "--socket", sock_, "request", "X"}, dir_.path(), "cad");
  ASSERT_TRUE(cad.ends_within(10000));
  EXPECT_EQ(cad.exit_code(), 1);
  EXPECT_NE(cad.err().find("not joining the broker at " + sock_ + ": the other end runs as uid 65534"),
            std::string::npos)
      << cad.err();
  Process second = broker({}, "second");
  ASSERT_TRUE(second.ends_within(10000));
  EXPECT_EQ(second.exit_code(), 1);
  EXPECT_NE(second.err().find(sock_ + " belongs to uid 65534: another user holds this path"),
            std::string::npos)
      << second.err();
  theirs.stop();
  EXPECT_EQ(theirs.exit_code(), 0) << theirs.err();
}

TEST_F(Mbxd, ParticipantsBeyondTheLimitAreToldAndClosed) {
  Process b = fdk::test::start_broker(MBXD_PATH, dir_.path(), sock_, {"--max-participants", "1"});
  Process serve = Process({CADSIM_PATH, "--socket", sock_, "serve", "CURFCT"},
                             dir_.path(), "serve");
  ASSERT_TRUE(serve.wait_for_output("ready", 10000)) << serve.err();
  Process extra = Process({CADSIM_PATH, "--socket", sock_, "request", "CURFCT"},
                             dir_.path(), "extra");
  ASSERT_TRUE(extra.ends_within(10000));
  EXPECT_EQ(extra.exit_code(), 1);
  EXPECT_NE(extra.err().find("too many participants"), std::string::npos) << extra.err();
  EXPECT_TRUE(serve.running());
  serve.stop();
}

// Bad command lines are usage errors (exit status 2), a socket path that
// cannot be used or a missing broker end with 1.
TEST_F(Mbxd, BadCommandLinesAndMissingBroker) {
  struct Case {
    std::vector<std::string> argv;
    int code;
    const char* says;
  };
  const std::string s = sock_;
  const std::vector<Case> cases = {
      {{MBXD_PATH, "--bogus"}, 2, "usage:"},
      {{MBXD_PATH, "--max-participants", "0"}, 2, "usage:"},
      {{MBXD_PATH, "--socket", std::string(200, 'x')}, 1, "mbxd: "},
      {{CADSIM_PATH, "--socket", s}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "request"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "fly", "CURFCT"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "request", "TOOLONGNAME"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "request", "X", "--item-hex", "4"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "request", "X", "--kind", "many"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "serve", "X", "--count"}, 2, "usage:"},
      {{CADSIM_PATH, "--socket", s, "request", "X"}, 1, "cannot reach the broker"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::PrintToString(k.argv));
    Process c(k.argv, dir_.path(), "bad");
    ASSERT_TRUE(c.ends_within(10000));
    EXPECT_EQ(c.exit_code(), k.code);
    EXPECT_NE(c.err().find(k.says), std::string::npos) << c.err();
  }
}

}  // namespace
