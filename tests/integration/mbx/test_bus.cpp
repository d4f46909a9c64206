// libmbx.so in this process, a broker per test, cadsim as the CAD side.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>

#include "mbx.h"
#include "testsupport.hpp"

namespace {

using fdk::test::Process;
using Statuses = std::vector<int32_t>;

// What this process does with each request it serves.
std::function<void(int32_t* kind, void* value)> handler;
void on_request(int32_t* kind, void* value) { handler(kind, value); }

// Runs each call with a fresh status word; the status words in order.
Statuses statuses(std::initializer_list<std::function<void(int32_t*)>> calls) {
  Statuses out;
  for (const auto& call : calls) {
    int32_t s = -1;
    call(&s);
    out.push_back(s);
  }
  return out;
}

std::vector<int> fds_of(const int32_t* handle) {
  std::vector<int> fds;
  mbx_fdset* set = mbx_fd_set(handle);
  for (int fd = 0; set != nullptr && fd < 32 * MBX_FDSET_WORDS; ++fd)
    if (set->words[fd / 32] & (uint32_t{1} << (fd % 32))) fds.push_back(fd);
  std::free(set);
  return fds;
}

// Whether the set's wake-up descriptor (the one that is no socket) is readable.
bool woken() {
  struct stat sb;
  for (int fd : fds_of(nullptr)) {
    pollfd p{fd, POLLIN, 0};
    if (fstat(fd, &sb) == 0 && !S_ISSOCK(sb.st_mode)) return poll(&p, 1, 0) == 1;
  }
  return false;
}

// Waits until mbx_next reports `want` messages waiting (-1: off the bus).
bool next_reaches(int32_t want) {
  int32_t wait = 50, result = -9;
  return fdk::test::wait_until(
      [&] {
        mbx_next(&wait, &result);
        return want < 0 ? result < 0 : result == want;
      },
      10000, 0);
}

class Bus : public ::testing::Test {
 protected:
  void SetUp() override {
    handler = [](int32_t*, void*) {};
    setenv("MBX_SOCKET", sock_.c_str(), 1);
    setenv("MBX_TIMEOUT", "5", 1);
    broker_ = fdk::test::start_broker(MBXD_PATH, dir_.path(), sock_, {"--verbose"});
  }
  void TearDown() override {
    // Under the sanitizers a leak or a fault of mbxd shows in its exit status.
    if (broker_.running()) {
      broker_.stop();
      EXPECT_EQ(broker_.exit_code(), 0) << broker_.err();
    }
  }
  // Joins as the bridge does, plus a service "ORPHAN" whose request has no handler.
  void join_as_bridge() {
    int32_t one = 1;
    EXPECT_EQ(statuses({[](int32_t* s) { mbx_init(nullptr, s); },
                        [](int32_t* s) { mbx_register_request("DOKFRMRA", on_request, s); },
                        [](int32_t* s) { mbx_register_request("DOKFRMDI", on_request, s); },
                        [&](int32_t* s) { mbx_declare("DOKFRMID", &one, "DOKFRMRA", s); },
                        [&](int32_t* s) { mbx_declare("ORPHAN  ", &one, "NOHANDLR", s); }}),
              Statuses(5, MBX_OK));
    mbx_end_setup("MBX_0000");
  }
  Process cadsim(std::vector<std::string> args, const std::string& tag = "cadsim") {
    args.insert(args.begin(), {CADSIM_PATH, "--socket", sock_, "--timeout", "20"});
    return Process(args, dir_.path(), tag);
  }
  // Dispatches what comes while `c` runs; the status of the last dispatch in dispatched_.
  bool serve_while(Process& c) {
    int32_t fifty = 50, st = 0;
    return fdk::test::wait_until(
        [&] {
          mbx_dispatch(&fifty, &st);
          if (st != MBX_E_NOMESSAGE) dispatched_ = st;
          return !c.running();
        },
        15000, 0);
  }
  // Runs argv (after `prefix`), which must end by itself.
  Process ended(std::vector<std::string> argv, const std::string& tag, std::vector<std::string> prefix = {}) {
    argv.insert(argv.begin(), prefix.begin(), prefix.end());
    Process p(argv, dir_.path(), tag);
    EXPECT_TRUE(p.ends_within(10000)) << tag;
    return p;
  }
  bool says(Process& p, const std::string& text) { return p.err().find(text) != std::string::npos; }

  fdk::test::TempDir dir_;
  std::string sock_ = dir_.file("bus.sock");
  Process broker_;
  int32_t dispatched_ = -1;
};

// One request walks the handler's side of the API; bad arguments and calls
// out of order get status words.
TEST_F(Bus, HandlerWalksARequestConversation) {
  join_as_bridge();
  int32_t zero = 0, one = 1, three = 3, minus1 = -1, len257 = 257, neg = -1, five = 5, big = MBX_MAX_ITEM + 1;
  int32_t kind = 0, conv = 0, handle = 0, out = 0, st = -1;
  Statuses len(7, -7);
  char path[32], area[262], req[12], from[12], none = '#';
  std::memset(area, '#', sizeof area);
  std::string huge(static_cast<size_t>(big), 'y');
  EXPECT_EQ(statuses({[](int32_t* s) { mbx_init(nullptr, s); },
                      [](int32_t* s) { mbx_register_request("LATE    ", on_request, s); },
                      [](int32_t* s) { mbx_register_request("AB\0CDEFG", on_request, s); },
                      [](int32_t* s) { mbx_register_request("DOKFRMXX", nullptr, s); },
                      [](int32_t* s) { mbx_declare("DOKFRMID", nullptr, "DOKFRMRA", s); },
                      [&](int32_t* s) { mbx_dispatch(&minus1, s); },
                      [&](int32_t* s) { mbx_get_fd(area, &handle, s); }}),
            (Statuses{MBX_E_STATE, MBX_E_STATE, MBX_E_ARG, MBX_E_ARG, MBX_E_ARG, MBX_E_NOMESSAGE, MBX_E_NOREQUEST}));
  handler = [&](int32_t*, void* value) {
    EXPECT_EQ(statuses({[&](int32_t* s) { mbx_request_info(&kind, &conv, req, from, s); },
                        [&](int32_t* s) { mbx_get_fd(value, &handle, s); },
                        [&](int32_t* s) { mbx_get_fd(&kind, &out, s); },  // not the request's token
                        [&](int32_t* s) { mbx_read(&neg, area, &out, s); },
                        [&](int32_t* s) { mbx_read(&five, nullptr, &out, s); },
                        [&](int32_t* s) { mbx_read(nullptr, area, &out, s); },
                        [&](int32_t* s) { mbx_write(huge.data(), &big, &zero, s); },
                        [&](int32_t* s) { mbx_write("OK", &one, &one, s); },  // flags must be 0
                        [&](int32_t* s) { mbx_dispatch(&minus1, s); },        // no nesting
                        [&](int32_t* s) { mbx_init(nullptr, s); },
                        [&](int32_t* s) { mbx_read(&zero, nullptr, &len[0], s); },  // size queries: the item stays
                        [&](int32_t* s) { mbx_read(&zero, nullptr, &len[1], s); },
                        [&](int32_t* s) { mbx_read(&len257, path, &len[2], s); },
                        [&](int32_t* s) { mbx_read(&len257, area, &len[3], s); },  // 300 bytes, cut
                        [&](int32_t* s) { mbx_read(&zero, &none, &len[4], s); },   // takes the item, copies nothing
                        [&](int32_t* s) { mbx_write("OK", &three, &zero, s); },
                        [&](int32_t* s) { mbx_read(&len257, area, &len[5], s); },  // sent once the reply came
                        [&](int32_t* s) { mbx_read(&zero, nullptr, &len[6], s); }}),
              (Statuses{MBX_OK, MBX_OK, MBX_E_ARG, MBX_E_ARG, MBX_E_ARG, MBX_E_ARG, MBX_E_TOOBIG, MBX_E_ARG,
                        MBX_E_STATE, MBX_E_STATE, MBX_OK, MBX_OK, MBX_OK, MBX_TRUNCATED, MBX_TRUNCATED, MBX_OK,
                        MBX_OK, MBX_E_NOITEM}));
  };
  Process c = cadsim({"request", "DOKFRMDI", "--kind", "-3", "--name", "CAD42", "--item", "/docs/$MANUAL/intro.fm",
                      "--item-fill", "300", "--item", "abc", "--read", "--pause", "300", "--item", "chapter2"});
  ASSERT_TRUE(serve_while(c));
  EXPECT_EQ(c.out(), "item 3 OK\\x00\nend\n") << c.err();
  EXPECT_EQ(len, (Statuses{22, 22, 22, 257, 0, 8, -7}));
  EXPECT_EQ(std::string(path, 22), "/docs/$MANUAL/intro.fm");
  EXPECT_EQ(std::string(area, 8), "chapter2");
  EXPECT_EQ(area[257], '#');
  EXPECT_EQ(none, '#');
  EXPECT_EQ(kind, -3);
  EXPECT_GT(conv, 0);
  EXPECT_EQ(std::string(req, 12), std::string("DOKFRMDI\0\0\0\0", 12));
  EXPECT_EQ(std::string(from, 12), std::string("CAD42   \0\0\0\0", 12));
  EXPECT_EQ(fds_of(&handle), fds_of(&zero));  // the handle stands for this connection
  mbx_request_info(nullptr, nullptr, nullptr, nullptr, &st);
  EXPECT_EQ(st, MBX_E_NOREQUEST);  // outside again
}

// What this process sees of others: a requester giving up before dispatch,
// waiting requests, a call without handler, the broker going and coming.
TEST_F(Bus, FaultsOfOthers) {
  join_as_bridge();
  int32_t one = 1, minus1 = -1, runs = 0;
  handler = [&](int32_t*, void*) { ++runs; };
  Process late = cadsim({"--timeout", "1", "request", "DOKFRMDI", "--read"}, "late");
  ASSERT_TRUE(late.ends_within(10000));  // never dispatched: it gives up
  EXPECT_NE(late.err().find("timed out"), std::string::npos) << late.err();
  Process a = cadsim({"request", "DOKFRMDI"}, "a"), b = cadsim({"request", "DOKFRMDI"}, "b");
  ASSERT_TRUE(next_reaches(2));  // theirs; the one that gave up is dropped
  for (int i = 0; i < 2; ++i) {  // read off the socket, each still wakes the loop
    EXPECT_TRUE(woken()) << i;
    mbx_dispatch(&minus1, &dispatched_);
  }
  EXPECT_FALSE(woken());
  EXPECT_EQ(runs, 2);

  Process orphan = cadsim({"call", "ORPHAN", "--item", "x"}, "orphan");
  ASSERT_TRUE(serve_while(orphan));
  EXPECT_EQ(dispatched_, MBX_E_UNKNOWN);
  mbx_call("CURFCT  ", &one, nullptr, &dispatched_);  // the broker's refusal, as a status word
  EXPECT_EQ(dispatched_, MBX_E_UNKNOWN);

  // A call of this process's own: one item out, the reply read back.
  Process served = cadsim({"serve", "FCT", "--count", "1", "--reply-hex", "5c0aAf"}, "serve");
  ASSERT_TRUE(served.wait_for_output("ready\n", 10000)) << served.err();
  int32_t zero = 0, two = 2, four = 4, got = 0;
  char reply[4];
  EXPECT_EQ(statuses({[&](int32_t* s) { mbx_call("FCT     ", &one, nullptr, s); },
                      [&](int32_t* s) { mbx_send("FCT     ", "OTHER   ", &two, "\\x", &one, &zero, s); },
                      [&](int32_t* s) { mbx_send("FCT     ", "FCT     ", &two, "\\x", &one, &one, s); },
                      [&](int32_t* s) { mbx_send("FCT     ", "FCT     ", &two, "\\x", &one, &zero, s); },
                      [&](int32_t* s) { mbx_receive("FCT     ", "        ", &four, reply, &got, s); }}),
            (Statuses{MBX_OK, MBX_E_NOCALL, MBX_E_ARG, MBX_OK, MBX_OK}));
  EXPECT_EQ(std::string(reply, static_cast<size_t>(got)), "\\\n\xaf");
  ASSERT_TRUE(served.ends_within(10000));
  EXPECT_EQ(served.out(), "ready\ncall 1\nitem 2 \\\\x\nreplied 1\n");

  broker_.kill(SIGKILL);
  ASSERT_TRUE(next_reaches(-1));
  EXPECT_TRUE(woken());  // and stays so: the loop cannot miss it
  EXPECT_EQ(statuses({[&](int32_t* s) { mbx_call("CURFCT  ", &one, nullptr, s); },
                      [&](int32_t* s) { mbx_dispatch(&minus1, s); },
                      [&](int32_t* s) { mbx_init(nullptr, s); }}),  // nobody to join
            (Statuses{MBX_E_NOBUS, MBX_E_NOBUS, MBX_E_NOBUS}));
  broker_ = fdk::test::start_broker(MBXD_PATH, dir_.path(), sock_, {}, "mbxd2");
  join_as_bridge();  // joins afresh
  Process again = cadsim({"request", "DOKFRMDI"}, "again");
  ASSERT_TRUE(serve_while(again));
  EXPECT_EQ(runs, 3);
}

// Nobody's processes (via setpriv): the broker refuses them, a participant
// refuses their broker, a broker does not take over their socket path.
TEST_F(Bus, OnlyTheSameUserJoins) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
  const std::vector<std::string> nobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  // Open modes, so that only the credentials are left to stop nobody.
  ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
  ASSERT_EQ(chmod(sock_.c_str(), 0666), 0);
  Process stranger = ended({CADSIM_PATH, "--socket", sock_, "request", "X"}, "stranger", nobody);
  EXPECT_EQ(stranger.exit_code(), 1) << stranger.err();
  EXPECT_TRUE(fdk::test::wait_until(
      [&] { return says(broker_, "refused a connection: the other end runs as uid 65534"); }, 10000))
      << broker_.err();
  EXPECT_FALSE(says(broker_, "joined")) << broker_.err();

  const std::string path = dir_.file("theirs.sock");
  std::vector<std::string> argv = nobody;
  argv.insert(argv.end(), {MBXD_PATH, "--socket", path});
  Process theirs(argv, dir_.path(), "theirs");
  ASSERT_TRUE(theirs.wait_for_output("ready", 10000)) << theirs.err();
  Process cad = ended({CADSIM_PATH, "--socket", path, "request", "X"}, "cad");
  EXPECT_EQ(cad.exit_code(), 1);
  EXPECT_TRUE(says(cad, "not joining the broker at " + path + ": the other end runs as uid 65534")) << cad.err();
  Process second = ended({MBXD_PATH, "--socket", path}, "second");
  EXPECT_EQ(second.exit_code(), 1);
  EXPECT_TRUE(says(second, path + " belongs to uid 65534: another user holds this path")) << second.err();
  theirs.stop();
  EXPECT_EQ(theirs.exit_code(), 0) << theirs.err();
}

}  // namespace
