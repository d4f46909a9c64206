// The framing, and the broker in-process: participants adopted over socketpairs.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "broker.h"
#include "mbx.h"
#include "sock.h"
#include "testsupport.hpp"
#include "wire.h"

namespace mbx {
namespace {

using namespace std::string_literals;
using T = FrameType;

// The layout written out by hand (all big-endian), and a stream fed a byte at a time.
TEST(Wire, LayoutAndAStreamFedByteByByte) {
  const Frame hello{T::Hello, 0, 0x01020304, PayloadWriter().u32(1).u32(42).bytes("CADSIM  ").take()};
  EXPECT_EQ(encode(hello), "\0\0\0\x10" "\x01\0\0\0" "\0\0\0\0" "\x01\x02\x03\x04" "\0\0\0\x01" "\0\0\0\x2a" "CADSIM  "s);
  const Frame nak{T::Nak, 0, 3, status_payload(16, std::string(1000, 'w'))};  // text cut to fit
  const std::string stream = encode(hello) + encode(Frame{T::Item, 3, 0, std::string(kMaxItem, 'z')}) + encode(nak);
  FrameReader r;
  std::string again;
  for (char c : stream) {
    r.feed(&c, 1);
    for (Frame f; r.next(f) == 1;) again += encode(f);
  }
  EXPECT_EQ(again, stream);
  EXPECT_EQ(r.buffered(), 0u);
}

std::string header(uint32_t len, int type, uint32_t conv) {
  return encode(Frame{T(type), conv, 0, std::string(len, 'x')}).substr(0, 16);
}

// Refused from the 16 header bytes alone, and for good: no frame boundary is left to trust.
TEST(Wire, MalformedHeaderRefusedAtOnceAndForGood) {
  const std::pair<const char*, std::string> bad[] = {
      {"huge length", "\xff\xff\xff\xff\x07\0\0\0\0\0\0\x01\0\0\0\0"s},
      {"item above the largest", header(kMaxItem + 1, 7, 1)},
      {"type zero", header(0, 0, 0)},
      {"type past the last", header(0, 15, 1)},
      {"filler set", "\0\0\0\0\x09\0\x01\0\0\0\0\x01\0\0\0\0"s},
      {"register too short", header(7, 2, 0)},
      {"end with payload", header(1, 9, 1)},
      {"nak without status", header(3, 12, 0)},
      {"nak text too long", header(4 + kMaxText + 1, 12, 0)},
      {"item without conversation", header(1, 7, 0)},
      {"hello with conversation", header(16, 1, 5)},
  };
  const std::string good = encode(Frame{T::End, 1, 0, ""});
  for (const auto& [what, bytes] : bad) {
    FrameReader r;
    r.feed(bytes.data(), bytes.size());
    Frame f;
    EXPECT_EQ(r.next(f), -1) << what;
    EXPECT_FALSE(r.error().empty()) << what;
    r.feed(good.data(), good.size());
    EXPECT_EQ(r.next(f), -1) << what;
  }
}

Name nm(const char* text) { return *Name::from_text(text); }
std::string named(const char* text) { return PayloadWriter().name(nm(text)).u32(0).take(); }

// The last frame a side got: its type, conversation and status word.
struct Seen {
  T type{};
  uint32_t conv = 0, status = 0;
  bool operator==(const Seen&) const = default;
};

// One participant's end of a connection to the broker.
class Side {
 public:
  explicit Side(Broker& b) {
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv), 0);
    fd_ = sv[1];
    b.adopt(sv[0]);
  }
  explicit Side(const std::string& path) : fd_(connect_unix(path, err_)) {}  // through the listening socket
  ~Side() { hang_up(); }
  void hang_up() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  void put(const std::string& bytes) { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  void send(T t, uint32_t conv, std::string payload) { put(encode(Frame{t, conv, 5, payload})); }
  void hello(const char* name) { send(T::Hello, 0, PayloadWriter().u32(1).u32(7).name(nm(name)).take()); }
  // Reads what the broker has sent; `closed` tells whether it hung up.
  Seen last() {
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0) reader_.feed(buf, static_cast<size_t>(n));
    closed = n == 0;
    Seen s;
    for (Frame f; reader_.next(f) == 1;) {
      bool has_status = f.type == T::Nak || f.type == T::Abort || f.type == T::Error;
      s = {f.type, f.conv, has_status ? get_u32(f.payload.data()) : 0};
    }
    return s;
  }

  bool closed = false;

 private:
  std::string err_;
  int fd_ = -1;
  FrameReader reader_;
};

void settle(Broker& b) {
  for (int i = 0; i < 16 && b.serve_once(0, nullptr) > 0; ++i) continue;
}

// A handler serving "DOKFRMDI" and the service "DOKFRMID" version 2, and a requester.
void join_both(Broker& b, Side& handler, Side& requester) {
  handler.hello("DOKFRM");
  handler.send(T::Register, 0, "DOKFRMDI");
  handler.send(T::Declare, 0, "DOKFRMID" + PayloadWriter().u32(2).take() + "DOKFRMDI");
  handler.send(T::Ready, 0, "MBX_0000");
  requester.hello("CAD");
  settle(b);
  EXPECT_EQ(handler.last(), (Seen{T::Ack}));
  EXPECT_EQ(requester.last(), (Seen{T::Ack}));
}

// Numbers wrap after max_conversation, pass over those in use, and run out.
TEST(BrokerInProcess, WrappedConversationNumbersSkipLiveOnes) {
  Broker b({.path = {}, .max_conversation = 3, .quiet = true});
  Side handler(b), requester(b);
  join_both(b, handler, requester);
  auto open = [&] {
    requester.send(T::Request, 0, named("DOKFRMDI"));
    settle(b);
    return requester.last();
  };
  for (uint32_t conv : {1, 2, 3}) EXPECT_EQ(open(), (Seen{T::Ack, conv}));
  handler.send(T::End, 2, "");  // 1 and 3 stay open
  settle(b);
  EXPECT_EQ(requester.last(), (Seen{T::End, 2}));
  EXPECT_EQ(open(), (Seen{T::Ack, 2})) << "1 is still in use";
  EXPECT_EQ(open(), (Seen{T::Nak, 0, MBX_E_LIMIT}));
  EXPECT_EQ(handler.last(), (Seen{T::Deliver, 2}));
}

// What a peer sends, or its leaving, amid conversation 1, and the last frame
// each side gets: the conversation ends for both, only the offender is cut off.
TEST(BrokerInProcess, PeerFaultsEndTheConversationForBothSides) {
  auto enc = [](T t, uint32_t conv, std::string payload = "") { return encode(Frame{t, conv, 5, payload}); };
  const std::string zero = PayloadWriter().u32(0).take(), item = enc(T::Item, 1, "x");
  const Seen gone{T::Abort, 1, MBX_E_GONE}, broken{T::Error, 0, MBX_E_PROTOCOL};
  const struct {
    const char* what;
    bool by_handler;
    std::string bytes;
    bool leaves;
    Seen requester, handler;
  } faults[] = {
      {"requester leaves", false, "", true, {}, gone},
      {"requester leaves mid-frame", false, item.substr(0, 10), true, {}, gone},
      {"handler leaves", true, "", true, gone, {}},
      {"unknown frame type", false, enc(T(99), 0), false, broken, gone},
      {"broker-only frame", false, enc(T::Deliver, 1, std::string(24, 'A')), false, broken, gone},
      {"second Hello", false, enc(T::Hello, 0, zero + zero + "CAD     "), false, broken, gone},
      {"item after the last", false, enc(T::EndOfItems, 1) + item, false, {T::Abort, 1, MBX_E_PROTOCOL}, gone},
      {"one item above the limit of 2", false, item + item + item, false, {T::Abort, 1, MBX_E_TOOBIG},
       {T::Abort, 1, MBX_E_TOOBIG}},
      {"handler aborts saying success", true, enc(T::Abort, 1, zero), false, gone, {}},
      {"control character in a name", false, enc(T::Request, 0, "DOK\nFRMD" + zero), false, {T::Nak, 0, MBX_E_ARG}, {}},
      {"stray item, then a name nobody serves", false, enc(T::Item, 77) + enc(T::Request, 0, named("NOSUCH")), false,
       {T::Nak, 0, MBX_E_UNKNOWN}, {}},
      {"a name another participant holds", false, enc(T::Register, 0, "DOKFRMDI"), false, {T::Nak, 0, MBX_E_TAKEN}, {}},
      {"registering after the set-up", true, enc(T::Register, 0, "LATE    "), false, {}, {T::Nak, 0, MBX_E_STATE}},
      {"calling another version", false, enc(T::Call, 0, named("DOKFRMID")), false, {T::Nak, 0, MBX_E_VERSION}, {}},
      {"addressing itself", true, enc(T::Request, 0, named("DOKFRMDI")), false, {}, {T::Nak, 0, MBX_E_ARG}},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.what);
    Broker b({.path = {}, .max_conv_items = 2, .quiet = true});
    Side handler(b), requester(b);
    join_both(b, handler, requester);
    requester.send(T::Request, 0, named("DOKFRMDI"));
    settle(b);
    ASSERT_EQ(requester.last(), (Seen{T::Ack, 1}));
    ASSERT_EQ(handler.last(), (Seen{T::Deliver, 1}));
    Side& peer = f.by_handler ? handler : requester;
    peer.put(f.bytes);
    if (f.leaves) peer.hang_up();
    settle(b);
    EXPECT_EQ(requester.last(), f.requester);
    EXPECT_EQ(handler.last(), f.handler);
    EXPECT_EQ(requester.closed, f.requester == broken);
  }
}

// Bad first frames, silence and one participant too many are told why and closed.
TEST(BrokerInProcess, RefusesBadJoinsSilenceAndTooManyParticipants) {
  Broker b({.path = {}, .max_participants = 3, .hello_timeout_ms = 50, .quiet = true});
  Side talker(b), silent(b);
  talker.hello("TALKER");
  // An unknown version, a name with a zero byte, no Hello at all.
  for (const Frame& first : {Frame{T::Hello, 0, 1, "\0\0\0\x02\0\0\0\x01RAWPEER "s},
                             Frame{T::Hello, 0, 1, "\0\0\0\x01\0\0\0\x01RAW\0PEER"s}, Frame{T::Item, 1, 0, "x"}}) {
    Side s(b);
    s.put(encode(first));
    settle(b);
    EXPECT_EQ(s.last(), (Seen{T::Error, 0, MBX_E_PROTOCOL}));
    EXPECT_TRUE(s.closed);
  }
  Side third(b), extra(b);
  EXPECT_EQ(extra.last(), (Seen{T::Error, 0, MBX_E_LIMIT}));
  Seen said;
  for (int i = 0; i < 200 && !silent.closed; ++i) {
    b.serve_once(20, nullptr);
    said = silent.last();
  }
  EXPECT_EQ(said, (Seen{T::Error, 0, MBX_E_TIMEOUT}));
  EXPECT_EQ(talker.last(), (Seen{T::Ack}));
  EXPECT_FALSE(talker.closed);
}

// The listening socket is its owner's alone and not taken from others; out of
// descriptors, the broker stops polling it (no busy loop) till one is free.
TEST(BrokerListening, PausesAcceptingWhileOutOfDescriptors) {
  fdk::test::TempDir dir;
  const std::string path = dir.file("bus.sock");
  Broker b({.path = path, .quiet = true});
  std::string err;
  ASSERT_TRUE(b.open(err)) << err;
  struct stat st;  // the owner's alone
  EXPECT_TRUE(stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && (st.st_mode & 077) == 0);
  for (const std::string& taken : {path, dir.write("file", "x"), std::string(200, 'x')}) {  // live, no socket, too long
    Broker other({.path = taken, .quiet = true});
    EXPECT_FALSE(other.open(err)) << taken;
  }
  Side first(path);
  settle(b);
  Side waiting(path);  // queued, not accepted yet
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = static_cast<rlim_t>(open("/dev/null", O_RDONLY | O_CLOEXEC));  // the next one is over the limit
  close(static_cast<int>(low.rlim_cur));
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  EXPECT_EQ(b.serve_once(0, nullptr), 1);  // accept fails
  EXPECT_EQ(b.serve_once(0, nullptr), 0) << "the listening socket it cannot serve is not polled";
  first.hang_up();
  for (int i = 0; i < 4; ++i) b.serve_once(0, nullptr);  // buries it, accepts
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  waiting.hello("WAITING");
  settle(b);
  EXPECT_EQ(waiting.last(), (Seen{T::Ack}));
}

// The default socket's directory must be the user's own and closed to others.
TEST(DefaultSocket, OnlyInAPrivateDirectory) {
  fdk::test::TempDir shared;
  std::string err;
  const std::string own = shared.file("mbx-" + std::to_string(geteuid()));
  EXPECT_EQ(private_socket_path(nullptr, shared.path(), err), own + "/mbx.sock") << err;
  EXPECT_EQ(private_socket_path("relative", shared.path(), err), own + "/mbx.sock") << "made once, kept";
  struct stat st;
  EXPECT_TRUE(lstat(own.c_str(), &st) == 0 && (st.st_mode & 0777) == 0700);
  // Each makes a bad per-user directory; false when it cannot here (chown needs root).
  const std::pair<std::function<bool(const char*)>, const char*> bad[] = {
      {[](const char* d) { return mkdir(d, 0700) == 0 && chmod(d, 0755) == 0; }, "open to other users (mode 0755)"},
      {[&](const char* d) { return symlink(own.c_str(), d) == 0; }, "is not a directory"},
      {[](const char* d) { return mkdir(d, 0700) == 0 && chown(d, 65534, 65534) == 0; }, "belongs to uid 65534"},
  };
  for (const auto& [make, says] : bad) {
    fdk::test::TempDir other;
    std::string dir = other.file("mbx-" + std::to_string(geteuid()));
    if (!make(dir.c_str())) continue;
    for (const char* run_dir : {static_cast<const char*>(nullptr), dir.c_str()}) {
      err.clear();
      EXPECT_EQ(private_socket_path(run_dir, other.path(), err), "") << says;
      EXPECT_NE(err.find(says), std::string::npos) << err;
    }
  }
}

}  // namespace
}  // namespace mbx
