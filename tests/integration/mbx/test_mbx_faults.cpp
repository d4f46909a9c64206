// Faults: participants that die in the middle of a conversation, names
// nobody serves, malformed frames, a broker that stops, bad arguments.
// After each, the broker must go on serving everyone else and no
// conversation may stay half-open.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "bus_fixture.h"

namespace mbxtest {
namespace {

using fdk::test::Process;

// A participant that speaks the wire by hand, to send what the library
// never would.  Frames are built here from the framing rules, not with the
// library's encoder.
class Raw {
 public:
  explicit Raw(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    ok_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Raw() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return ok_; }

  static std::string u32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
  }
  static std::string frame(uint8_t type, uint32_t conv, uint32_t ref,
                           const std::string& payload) {
    return u32(static_cast<uint32_t>(payload.size())) + std::string(1, static_cast<char>(type)) +
           std::string(3, '\0') + u32(conv) + u32(ref) + payload;
  }
  void put(const std::string& bytes) {
    ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Reads one frame: its type, conversation and payload; false on end of
  // stream or after `ms` without one.
  bool get(uint8_t& type, uint32_t& conv, std::string& payload, int ms = 5000) {
    std::string h;
    if (!read_n(16, h, ms)) return false;
    auto be = [&](size_t at) {
      auto b = reinterpret_cast<const unsigned char*>(h.data() + at);
      return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    };
    type = static_cast<uint8_t>(h[4]);
    conv = be(8);
    return read_n(be(0), payload, ms);
  }
  // True when the broker has closed the connection.
  bool closed(int ms = 5000) {
    std::string rest;
    while (read_n(1, rest, ms)) {
    }
    return eof_;
  }
  void hello() {
    put(frame(1, 0, 1, u32(1) + u32(static_cast<uint32_t>(getpid())) + "RAWPEER "));
    uint8_t t = 0;
    uint32_t c = 0;
    std::string p;
    ASSERT_TRUE(get(t, c, p));
    ASSERT_EQ(t, 11);  // Ack
  }
  // Sends a Request for `name` (8 characters, kind 0) and reads the
  // broker's Ack; the new conversation's number, 0 when no Ack came.
  uint32_t request(const std::string& name) {
    put(frame(5, 0, 2, name + u32(0)));
    uint8_t t = 0;
    uint32_t conv = 0;
    std::string p;
    bool got = get(t, conv, p);
    EXPECT_TRUE(got);
    EXPECT_EQ(t, 11);  // Ack
    return got && t == 11 ? conv : 0;
  }

 private:
  bool read_n(size_t n, std::string& out, int ms) {
    out.clear();
    while (out.size() < n) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, ms) <= 0) return false;
      char buf[4096];
      ssize_t r = recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
      if (r <= 0) {
        eof_ = true;
        return false;
      }
      out.append(buf, static_cast<size_t>(r));
    }
    return true;
  }
  int fd_ = -1;
  bool ok_ = false;
  bool eof_ = false;
};

uint32_t status_of(const std::string& payload) {
  auto b = reinterpret_cast<const unsigned char*>(payload.data());
  return payload.size() < 4 ? 0 : (uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 |
                                   uint32_t{b[2]} << 8 | b[3]);
}

TEST_F(Bus, RequesterDyingMidConversationEndsTheHandlersRead) {
  join_as_bridge();
  int32_t path_status = -1, tag_status = -1;
  std::string path;
  behaviours()["DOKFRMDI"] = [&](int32_t*, void*) {
    path = read_item(&path_status);
    int32_t three = 3, zero = 0, st = -1;
    mbx_write("OK", &three, &zero, &st);
    int32_t len = 257, got = -1;
    char area[258];
    // cadsim dies after reading "OK": this read must end with "gone",
    // not wait for its time limit.
    mbx_read(&len, area, &got, &tag_status);
  };
  Process c = cadsim({"request", "DOKFRMDI", "--item", "/docs/a.fm", "--read", "--die"});
  ASSERT_TRUE(serve_until([&] { return tag_status != -1; }));
  ASSERT_TRUE(c.ends_within(5000));
  EXPECT_EQ(c.exit_code(), 3);
  EXPECT_EQ(path_status, MBX_OK);
  EXPECT_EQ(path, "/docs/a.fm");
  EXPECT_EQ(tag_status, MBX_E_GONE);
  expect_still_served();
}

TEST_F(Bus, RequesterBreakingTheFramingMidConversationEndsTheRead) {
  join_as_bridge();
  int32_t tag_status = -1;
  behaviours()["DOKFRMDI"] = [&](int32_t*, void*) {
    int32_t st = -1, three = 3, zero = 0;
    read_item(&st);
    mbx_write("OK", &three, &zero, &st);
    read_item(&tag_status);
  };
  // The raw requester waits for "OK", then sends a frame with a bad type.
  std::thread requester([this] {
    Raw raw(sock_);
    ASSERT_TRUE(raw.ok());
    raw.hello();
    uint32_t conv = raw.request("DOKFRMDI");
    ASSERT_NE(conv, 0u);
    uint8_t t = 0;
    std::string p;
    raw.put(Raw::frame(7, conv, 0, "/docs/b.fm"));
    ASSERT_TRUE(raw.get(t, conv, p));
    EXPECT_EQ(t, 7);
    EXPECT_EQ(p, std::string("OK\0", 3));
    raw.put(Raw::frame(99, conv, 0, ""));
    ASSERT_TRUE(raw.get(t, conv, p));
    EXPECT_EQ(t, 14);  // Error
    EXPECT_EQ(status_of(p), uint32_t{MBX_E_PROTOCOL});
    EXPECT_TRUE(raw.closed());
  });
  bool served = serve_until([&] { return tag_status != -1; });
  requester.join();
  ASSERT_TRUE(served);
  EXPECT_EQ(tag_status, MBX_E_GONE);
  expect_still_served();
}

TEST_F(Bus, HandlerDyingMidCallFailsTheReceiveAndDropsItsService) {
  join_as_bridge();
  Process serve = cadsim({"serve", "CURFCT", "--abort-after-items", "1", "--reply", "never"},
                       "serve");
  ASSERT_TRUE(serve.wait_for_output("ready\n", 10000)) << serve.err();
  int32_t one = 1, zero = 0, four = 4, st = -1, size = -1;
  mbx_call("CURFCT  ", &one, nullptr, &st);
  ASSERT_EQ(st, MBX_OK);
  mbx_send("CURFCT  ", "CURFCT  ", &four, &four, &one, &zero, &st);
  ASSERT_EQ(st, MBX_OK);
  mbx_receive("CURFCT  ", "CURFCT  ", &zero, nullptr, &size, &st);
  EXPECT_EQ(st, MBX_E_GONE);
  ASSERT_TRUE(serve.ends_within(5000));
  EXPECT_EQ(serve.exit_code(), 3);
  mbx_call("CURFCT  ", &one, nullptr, &st);
  EXPECT_EQ(st, MBX_E_UNKNOWN);
  expect_still_served();
}

TEST_F(Bus, CallToServiceWithoutHandlerEndsWithUnknown) {
  int32_t st = -1, one = 1;
  mbx_init(nullptr, &st);
  ASSERT_EQ(st, MBX_OK);
  mbx_declare("ORPHAN  ", &one, "NOHANDLR", &st);  // no handler registered
  ASSERT_EQ(st, MBX_OK);
  mbx_end_setup("MBX_0000");
  Process c = cadsim({"call", "ORPHAN", "--item", "x"});
  int32_t zero = 0, minus1 = -1, result = 0, dispatched = -1;
  ASSERT_TRUE(fdk::test::wait_until(
      [&] {
        mbx_next(&zero, &result);
        if (result > 0) mbx_dispatch(&minus1, &dispatched);
        return dispatched != -1;
      },
      10000));
  EXPECT_EQ(dispatched, MBX_E_UNKNOWN);
  ASSERT_TRUE(c.ends_within(10000));
  EXPECT_EQ(c.exit_code(), 1);
  EXPECT_NE(c.err().find("status 6"), std::string::npos) << c.err();
}

TEST_F(Bus, MalformedFramesDisconnectOnlyTheirSender) {
  join_as_bridge();
  struct Case {
    const char* what;
    bool say_hello;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      // Header checks are the framing's own (its unit tests have them all);
      // one is enough to see the broker answer and close.
      {"unknown frame type", true, Raw::frame(99, 0, 0, "")},
      {"broker-only frame", true, Raw::frame(13, 5, 0, std::string(24, 'A'))},
      {"item before hello", false, Raw::frame(7, 1, 0, "x")},
      {"unsupported version", false,
       Raw::frame(1, 0, 1, Raw::u32(2) + Raw::u32(1) + "RAWPEER ")},
      {"name with a zero byte", false,
       Raw::frame(1, 0, 1, Raw::u32(1) + Raw::u32(1) + std::string("RAW\0PEER", 8))},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Raw raw(sock_);
    ASSERT_TRUE(raw.ok());
    if (k.say_hello) raw.hello();
    raw.put(k.bytes);
    uint8_t t = 0;
    uint32_t conv = 0;
    std::string p;
    ASSERT_TRUE(raw.get(t, conv, p));
    EXPECT_EQ(t, 14);
    EXPECT_EQ(status_of(p), uint32_t{MBX_E_PROTOCOL});
    EXPECT_FALSE(p.substr(4).empty());  // says why
    EXPECT_TRUE(raw.closed());
  }
  // Half a frame, then gone.
  {
    Raw raw(sock_);
    raw.hello();
    raw.put(Raw::u32(10) + "\x07");
  }
  int32_t zero = 0, result = -9;
  mbx_next(&zero, &result);
  EXPECT_EQ(result, 0);  // this participant's connection is untouched
  expect_still_served();
  EXPECT_TRUE(broker_.running());
}

TEST_F(Bus, WellFormedButWrongRequestsAreRefusedWithoutDisconnecting) {
  join_as_bridge();
  Raw raw(sock_);
  ASSERT_TRUE(raw.ok());
  raw.hello();
  uint8_t t = 0;
  uint32_t conv = 0;
  std::string p;
  // (A name another participant holds: NamesHeldByAnotherParticipantAreRefused.)
  // A request name with a control character.
  raw.put(Raw::frame(5, 0, 3, std::string("DOK\nFRMD") + Raw::u32(0)));
  ASSERT_TRUE(raw.get(t, conv, p));
  EXPECT_EQ(t, 12);
  EXPECT_EQ(status_of(p), uint32_t{MBX_E_ARG});
  // Items of a conversation that does not exist are dropped; the
  // connection still works afterwards.
  raw.put(Raw::frame(7, 12345, 0, "stray"));
  raw.put(Raw::frame(5, 0, 4, "NOSUCH  " + Raw::u32(0)));
  ASSERT_TRUE(raw.get(t, conv, p));
  EXPECT_EQ(t, 12);
  EXPECT_EQ(status_of(p), uint32_t{MBX_E_UNKNOWN});
}

TEST_F(Bus, OversizedConversationIsEndedForBothSides) {
  join_as_bridge();
  int runs = 0;
  behaviours()["TESTREQ"] = [&](int32_t*, void*) { ++runs; };
  Raw raw(sock_);
  ASSERT_TRUE(raw.ok());
  raw.hello();
  uint32_t conv = raw.request("TESTREQ ");
  ASSERT_NE(conv, 0u);
  uint8_t t = 0;
  std::string p;
  // One item more than a conversation may carry in one direction.
  std::string items;
  for (int i = 0; i < 4097; ++i) items += Raw::frame(7, conv, 0, "");
  raw.put(items);
  uint32_t c = 0;
  ASSERT_TRUE(raw.get(t, c, p));
  EXPECT_EQ(t, 10);  // Abort
  EXPECT_EQ(c, conv);
  EXPECT_EQ(status_of(p), uint32_t{MBX_E_TOOBIG});
  // The requester stays connected and may go on.
  raw.put(Raw::frame(5, 0, 3, "NOSUCH  " + Raw::u32(0)));
  ASSERT_TRUE(raw.get(t, c, p));
  EXPECT_EQ(t, 12);
  // Here the request was never dispatched: it is dropped, not left open.
  int32_t wait = 200, result = -9;
  ASSERT_TRUE(fdk::test::wait_until(
      [&] {
        mbx_next(&wait, &result);
        return result == 0;
      },
      5000));
  EXPECT_EQ(runs, 0);
  expect_still_served();
}

TEST_F(Bus, RequestWhoseRequesterLeftBeforeDispatchIsDropped) {
  join_as_bridge();
  int runs = 0;
  behaviours()["TESTREQ"] = [&](int32_t*, void*) { ++runs; };
  {
    Raw raw(sock_);
    raw.hello();
    ASSERT_NE(raw.request("TESTREQ "), 0u);
  }  // gone before this process looked at the bus
  int32_t wait = 200, result = -9;
  ASSERT_TRUE(fdk::test::wait_until(
      [&] {
        mbx_next(&wait, &result);
        return result == 0;
      },
      5000));
  int32_t minus1 = -1, st = -1;
  mbx_dispatch(&minus1, &st);
  EXPECT_EQ(st, MBX_E_NOMESSAGE);
  EXPECT_EQ(runs, 0);
}

TEST_F(Bus, NextTurnsNegativeWhenTheBrokerStops) {
  for (int sig : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(sig);
    join_as_bridge();
    broker_.kill(sig);
    ASSERT_TRUE(broker_.ends_within(5000));
    // The bridge's loop: the set becomes readable, mbx_next reports < 0.
    int32_t result = 0;
    ASSERT_TRUE(serve_until(
        [&] {
          int32_t zero = 0;
          mbx_next(&zero, &result);
          return result < 0;
        },
        10000));
    int32_t zero = 0;
    mbx_fdset* set = mbx_fd_set(&zero);
    ASSERT_NE(set, nullptr);
    std::vector<int> fds = fds_of(set);
    std::free(set);
    ASSERT_EQ(fds.size(), 1u);  // only the wake-up descriptor is left
    pollfd p{fds[0], POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 1);  // and stays readable: the loop cannot miss it

    int32_t one = 1, st = -1, minus1 = -1;
    mbx_call("CURFCT  ", &one, nullptr, &st);
    EXPECT_EQ(st, MBX_E_NOBUS);
    mbx_dispatch(&minus1, &st);
    EXPECT_EQ(st, MBX_E_NOBUS);
    mbx_init(nullptr, &st);  // nobody to join
    EXPECT_EQ(st, MBX_E_NOBUS);
    mbx_next(&zero, &result);
    EXPECT_LT(result, 0);
    if (sig == SIGTERM) {
      struct stat sb;
      EXPECT_NE(stat(sock_.c_str(), &sb), 0);  // a stopped broker cleans up
    }
    start_broker();  // joins afresh once a broker is there again
  }
  join_as_bridge();
  expect_still_served();
}

TEST_F(Bus, BadArgumentsAndOrderGetStatusWords) {
  int32_t st = -1, zero = 0, minus1 = -1, len = 4, out = 0, one = 1;
  // Not on the bus yet.
  mbx_fdset* set = mbx_fd_set(&zero);
  ASSERT_NE(set, nullptr);
  EXPECT_TRUE(fds_of(set).empty());
  std::free(set);
  mbx_next(&zero, &out);
  EXPECT_LT(out, 0);
  mbx_register_request("DOKFRMDI", on_request, &st);
  EXPECT_EQ(st, MBX_E_NOBUS);
  mbx_init("BAD\0NAME", &st);
  EXPECT_EQ(st, MBX_E_ARG);

  join_as_bridge();
  mbx_init(nullptr, &st);
  EXPECT_EQ(st, MBX_E_STATE);
  mbx_register_request("LATE    ", on_request, &st);
  EXPECT_EQ(st, MBX_E_STATE);  // set-up has ended
  mbx_register_request("AB\0CDEFG", on_request, &st);
  EXPECT_EQ(st, MBX_E_ARG);
  mbx_register_request(kBlank8, on_request, &st);
  EXPECT_EQ(st, MBX_E_ARG);
  mbx_register_request("DOKFRMXX", nullptr, &st);
  EXPECT_EQ(st, MBX_E_ARG);
  mbx_declare("DOKFRMID", nullptr, "DOKFRMRA", &st);
  EXPECT_EQ(st, MBX_E_ARG);
  mbx_dispatch(&minus1, &st);
  EXPECT_EQ(st, MBX_E_NOMESSAGE);
  char buf[4];
  mbx_read(&len, buf, &out, &st);
  EXPECT_EQ(st, MBX_E_NOREQUEST);
  mbx_write("OK", &len, &zero, &st);
  EXPECT_EQ(st, MBX_E_NOREQUEST);
  mbx_get_fd(buf, &out, &st);
  EXPECT_EQ(st, MBX_E_NOREQUEST);
  mbx_call("CURFCT  ", &one, nullptr, nullptr);  // no status word: no crash

  std::vector<int32_t> got;
  behaviours()["TESTREQ"] = [&](int32_t*, void* value) {
    int32_t s = -1, o = 0, neg = -1, big = MBX_MAX_ITEM + 1, max = MBX_MAX_ITEM, five = 5;
    int32_t local = 0;
    mbx_get_fd(&local, &o, &s);  // not the request's value
    got.push_back(s);
    mbx_get_fd(value, nullptr, &s);
    got.push_back(s);
    mbx_read(&neg, buf, &o, &s);
    got.push_back(s);
    mbx_read(&five, nullptr, &o, &s);
    got.push_back(s);
    mbx_read(&five, buf, nullptr, &s);
    got.push_back(s);
    mbx_read(nullptr, buf, &o, &s);
    got.push_back(s);
    std::string item(static_cast<size_t>(big), 'y');
    mbx_write(item.data(), &big, &zero, &s);
    got.push_back(s);
    mbx_write("OK", &one, &one, &s);  // flags must be 0
    got.push_back(s);
    mbx_dispatch(&minus1, &s);  // no nesting
    got.push_back(s);
    mbx_write(item.data(), &max, &zero, &s);  // the largest item passes
    got.push_back(s);
  };
  Process c = cadsim({"request", "TESTREQ"});
  ASSERT_TRUE(serve_while(c));
  EXPECT_EQ(c.exit_code(), 0) << c.err();
  EXPECT_EQ(got, (std::vector<int32_t>{MBX_E_ARG, MBX_E_ARG, MBX_E_ARG, MBX_E_ARG, MBX_E_ARG,
                                       MBX_E_ARG, MBX_E_TOOBIG, MBX_E_ARG, MBX_E_STATE, MBX_OK}));
  EXPECT_EQ(c.out(), "item 65536 " + std::string(65536, 'y') + "\nend\n");
}

TEST_F(Bus, NamesHeldByAnotherParticipantAreRefused) {
  Process serve = cadsim({"serve", "CURFCT"}, "serve");
  ASSERT_TRUE(serve.wait_for_output("ready\n", 10000)) << serve.err();
  int32_t st = -1, one = 1;
  mbx_init("BRIDGE  ", &st);
  ASSERT_EQ(st, MBX_OK);
  mbx_register_request("CURFCT  ", on_request, &st);
  EXPECT_EQ(st, MBX_E_TAKEN);
  mbx_declare("CURFCT  ", &one, "DOKFRMRA", &st);
  EXPECT_EQ(st, MBX_E_TAKEN);
  serve.stop();
  EXPECT_EQ(serve.exit_code(), 0);
}

TEST_F(Bus, CadsimGivesUpAtItsTimeLimit) {
  join_as_bridge();  // registered, but this process never dispatches
  Process c = Process({CADSIM_PATH, "--socket", sock_, "--timeout", "1", "request",
                          "TESTREQ", "--read"},
                         dir_.path(), "late");
  ASSERT_TRUE(c.ends_within(10000));
  EXPECT_EQ(c.exit_code(), 1);
  EXPECT_NE(c.err().find("timed out"), std::string::npos) << c.err();
}

}  // namespace
}  // namespace mbxtest
