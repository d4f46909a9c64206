// The broker driven in-process: participants adopted over socketpairs and
// served one round at a time (the seam the fuzzing harness uses too).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "broker.h"
#include "mbx.h"
#include "sock.h"
#include "testsupport.hpp"
#include "wire.h"

namespace mbx {
namespace {

Name nm(const char* text) { return *Name::from_text(text); }
std::string u32(uint32_t v) { return PayloadWriter().u32(v).take(); }
std::string named(const char* text, uint32_t word) { return PayloadWriter().name(nm(text)).u32(word).take(); }

class Side {
 public:
  explicit Side(Broker& b) {
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv), 0);
    fd_ = sv[1];
    id = b.adopt(sv[0]);
  }
  explicit Side(const std::string& path) {  // through the listening socket
    std::string err;
    fd_ = connect_unix(path, err);
    EXPECT_GE(fd_, 0) << err;
  }
  ~Side() { hang_up(); }
  void hang_up() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  void put(const std::string& bytes) { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  void send(FrameType t, uint32_t conv, uint32_t ref, std::string payload) {
    put(encode(Frame{t, conv, ref, std::move(payload)}));
  }
  void hello(const char* name) {
    send(FrameType::Hello, 0, 1, PayloadWriter().u32(kProtocolVersion).u32(7).name(nm(name)).take());
  }
  // Everything the broker has sent so far; `closed` tells whether it hung up.
  std::vector<Frame> take() {
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0) reader_.feed(buf, static_cast<size_t>(n));
    closed = n == 0;
    std::vector<Frame> out;
    Frame f;
    while (reader_.next(f) == 1) out.push_back(f);
    return out;
  }
  // The type and status word of the last frame received; type 0 for none.
  std::pair<int, uint32_t> last() {
    std::vector<Frame> got = take();
    if (got.empty()) return {0, 0};
    const Frame& f = got.back();
    bool has_status = f.type == FrameType::Nak || f.type == FrameType::Abort || f.type == FrameType::Error;
    return {static_cast<int>(f.type), has_status ? PayloadReader(f.payload).u32() : 0};
  }

  uint32_t id = 0;
  bool closed = false;

 private:
  int fd_ = -1;
  FrameReader reader_;
};

void settle(Broker& b) {
  for (int i = 0; i < 16 && b.serve_once(0, nullptr) > 0; ++i) {
  }
}

BrokerOptions quiet() {
  BrokerOptions o;
  o.quiet = true;
  return o;
}

// A handler serving "DOKFRMDI" and a requester, both joined.
void join_both(Broker& b, Side& handler, Side& requester) {
  handler.hello("DOKFRM");
  handler.send(FrameType::Register, 0, 2, PayloadWriter().name(nm("DOKFRMDI")).take());
  handler.send(FrameType::Ready, 0, 3, PayloadWriter().name(nm("MBX_0000")).take());
  requester.hello("CAD");
  settle(b);
  handler.take();
  requester.take();
}

// Conversation numbers run up to max_conversation and start again at 1;
// a number still in use is passed over, and with every number in use the
// opening is refused.
TEST(BrokerInProcess, WrappedConversationNumbersSkipLiveOnes) {
  BrokerOptions o = quiet();
  o.max_conversation = 3;
  Broker b(o);
  Side handler(b), requester(b);
  join_both(b, handler, requester);
  auto open = [&](uint32_t ref) {
    requester.send(FrameType::Request, 0, ref, named("DOKFRMDI", 4));
    settle(b);
    std::vector<Frame> r = requester.take();
    EXPECT_EQ(r.size(), 1u);
    return r.empty() ? Frame{} : r[0];
  };
  EXPECT_EQ(open(10).conv, 1u);
  EXPECT_EQ(open(11).conv, 2u);
  EXPECT_EQ(open(12).conv, 3u);
  handler.send(FrameType::End, 2, 0, "");  // 1 and 3 stay open
  settle(b);
  requester.take();
  Frame again = open(13);
  EXPECT_TRUE(again.type == FrameType::Ack && again.ref == 13u);
  EXPECT_EQ(again.conv, 2u) << "1 is still in use";
  EXPECT_EQ(PayloadReader(open(14).payload).u32(), static_cast<uint32_t>(MBX_E_LIMIT));
  std::vector<Frame> h = handler.take();
  ASSERT_EQ(h.size(), 4u);  // three deliveries, then one more for conversation 2
  EXPECT_EQ(h[3].conv, 2u);
  EXPECT_EQ(h[3].payload, PayloadWriter().name(nm("DOKFRMDI")).u32(4).u32(requester.id).name(nm("CAD")).take());
}

// What a peer does in the middle of a conversation, and the last frame each
// side gets then: the conversation ends for both, the offender alone is
// disconnected, and refusals leave the conversation alone.
TEST(BrokerInProcess, PeerFaultsEndTheConversationForBothSides) {
  using T = FrameType;
  const std::string item = encode(Frame{T::Item, 1, 0, "half"});
  struct Fault {
    const char* what;
    std::function<void(Side& requester, Side& handler)> act;
    T to_requester;
    uint32_t requester_status;
    T to_handler;
    uint32_t handler_status;
  };
  const T none{};
  const Fault faults[] = {
      {"requester leaves", [](Side& r, Side&) { r.hang_up(); }, none, 0, T::Abort, MBX_E_GONE},
      {"requester leaves mid-frame", [&](Side& r, Side&) { r.put(item.substr(0, 18)); r.hang_up(); },
       none, 0, T::Abort, MBX_E_GONE},
      {"handler leaves", [](Side&, Side& h) { h.hang_up(); }, T::Abort, MBX_E_GONE, none, 0},
      {"unknown frame type", [](Side& r, Side&) { r.send(T(99), 0, 0, ""); }, T::Error, MBX_E_PROTOCOL,
       T::Abort, MBX_E_GONE},
      {"broker-only frame", [](Side& r, Side&) { r.send(T::Deliver, 5, 0, std::string(24, 'A')); },
       T::Error, MBX_E_PROTOCOL, T::Abort, MBX_E_GONE},
      {"second Hello", [](Side& r, Side&) { r.hello("CAD"); }, T::Error, MBX_E_PROTOCOL, T::Abort, MBX_E_GONE},
      {"item after the last", [](Side& r, Side&) { r.send(T::EndOfItems, 1, 0, ""); r.send(T::Item, 1, 0, ""); },
       T::Abort, MBX_E_PROTOCOL, T::Abort, MBX_E_GONE},
      {"one item too many", [](Side& r, Side&) { for (int i = 0; i < 3; ++i) r.send(T::Item, 1, 0, ""); },
       T::Abort, MBX_E_TOOBIG, T::Abort, MBX_E_TOOBIG},
      {"handler aborts saying success", [](Side&, Side& h) { h.send(T::Abort, 1, 0, u32(MBX_OK)); },
       T::Abort, MBX_E_GONE, none, 0},
      {"control character in a name", [](Side& r, Side&) { r.send(T::Request, 0, 5, "DOK\nFRMD" + u32(0)); },
       T::Nak, MBX_E_ARG, none, 0},
      {"stray item, then a name nobody serves", [](Side& r, Side&) { r.send(T::Item, 77, 0, "x"); r.send(T::Request, 0, 5, named("NOSUCH", 0)); },
       T::Nak, MBX_E_UNKNOWN, none, 0},
      {"a name another participant holds", [](Side& r, Side&) { r.send(T::Register, 0, 5, PayloadWriter().name(nm("DOKFRMDI")).take()); },
       T::Nak, MBX_E_TAKEN, none, 0},
      {"registering after the set-up", [](Side&, Side& h) { h.send(T::Register, 0, 5, PayloadWriter().name(nm("LATE")).take()); },
       none, 0, T::Nak, MBX_E_STATE},
      {"addressing itself", [](Side&, Side& h) { h.send(T::Request, 0, 5, named("DOKFRMDI", 0)); },
       none, 0, T::Nak, MBX_E_ARG},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.what);
    BrokerOptions o = quiet();
    o.max_conv_items = 2;
    Broker b(o);
    Side handler(b), requester(b);
    join_both(b, handler, requester);
    requester.send(T::Request, 0, 4, named("DOKFRMDI", 0));
    settle(b);
    ASSERT_EQ(requester.take().at(0).conv, 1u);
    handler.take();
    f.act(requester, handler);
    settle(b);
    EXPECT_EQ(requester.last(), std::make_pair(static_cast<int>(f.to_requester), f.requester_status));
    EXPECT_EQ(handler.last(), std::make_pair(static_cast<int>(f.to_handler), f.handler_status));
    EXPECT_EQ(requester.closed, f.to_requester == T::Error);
  }
}

// Connections that never joined properly are told why and closed; the
// others stay.
TEST(BrokerInProcess, RefusesBadJoinsAndSilenceAndTooManyParticipants) {
  BrokerOptions o = quiet();
  o.hello_timeout_ms = 50;
  o.max_participants = 3;
  Broker b(o);
  Side talker(b), silent(b);
  talker.hello("TALKER");
  const std::string bad_hellos[] = {
      encode(Frame{FrameType::Item, 1, 0, "x"}),
      encode(Frame{FrameType::Hello, 0, 1, PayloadWriter().u32(2).u32(1).name(nm("RAWPEER")).take()}),
      encode(Frame{FrameType::Hello, 0, 1, PayloadWriter().u32(1).u32(1).bytes(std::string("RAW\0PEER", 8)).take()}),
  };
  for (const std::string& bytes : bad_hellos) {
    Side s(b);
    s.put(bytes);
    settle(b);
    EXPECT_EQ(s.last(), std::make_pair(static_cast<int>(FrameType::Error), uint32_t{MBX_E_PROTOCOL}));
    EXPECT_TRUE(s.closed);
  }
  Side third(b), extra(b);
  EXPECT_EQ(extra.id, 0u);
  EXPECT_EQ(extra.last(), std::make_pair(static_cast<int>(FrameType::Error), uint32_t{MBX_E_LIMIT}));
  std::pair<int, uint32_t> said;
  for (int i = 0; i < 200 && !silent.closed; ++i) {
    b.serve_once(20, nullptr);
    said = silent.last();
  }
  EXPECT_EQ(said, std::make_pair(static_cast<int>(FrameType::Error), uint32_t{MBX_E_TIMEOUT}));
  EXPECT_TRUE(silent.closed);
  EXPECT_EQ(talker.take().size(), 1u);  // its Ack
  EXPECT_FALSE(talker.closed);
}

// Out of descriptors, the broker leaves its listening socket alone instead
// of waking for it again and again, and accepts the waiting connection once
// a connection has closed.
TEST(BrokerListening, PausesAcceptingWhileOutOfDescriptors) {
  fdk::test::TempDir dir;
  BrokerOptions o = quiet();
  o.path = dir.file("bus.sock");
  Broker b(o);
  std::string err;
  ASSERT_TRUE(b.open(err)) << err;
  Side first(o.path);
  settle(b);
  Side waiting(o.path);  // queued, not accepted yet
  // The next descriptor the process would get is over the limit.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  int lowest = open("/dev/null", O_RDONLY | O_CLOEXEC);
  close(lowest);
  rlimit low = saved;
  low.rlim_cur = static_cast<rlim_t>(lowest);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  int ready_then = b.serve_once(0, nullptr);   // accept fails
  int ready_after = b.serve_once(0, nullptr);  // nothing to serve
  first.hang_up();
  for (int i = 0; i < 4; ++i) b.serve_once(0, nullptr);  // buries it, accepts
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(ready_then, 1);
  EXPECT_EQ(ready_after, 0) << "the listening socket it cannot serve is not polled";
  waiting.hello("WAITING");
  settle(b);
  EXPECT_EQ(waiting.last().first, static_cast<int>(FrameType::Ack));
}

// The default socket lives in a directory only its user can enter; a
// directory that someone else could have put there is refused.
TEST(DefaultSocket, OnlyInAPrivateDirectory) {
  fdk::test::TempDir shared;
  std::string err;
  const std::string own = shared.file("mbx-" + std::to_string(geteuid()));
  EXPECT_EQ(private_socket_path(nullptr, shared.path(), err), own + "/mbx.sock") << err;
  struct stat st;
  ASSERT_EQ(lstat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(private_socket_path("relative", shared.path(), err), own + "/mbx.sock") << "made once, kept";
  const std::string run = shared.mkdir("run");
  ASSERT_EQ(chmod(run.c_str(), 0700), 0);
  EXPECT_EQ(private_socket_path(run.c_str(), shared.path(), err), run + "/mbx.sock");

  // Each maker puts something other than a private directory where the
  // per-user directory goes; false when it cannot here (chown needs root).
  const std::pair<std::function<bool(const std::string&)>, const char*> bad[] = {
      {[](const std::string& d) { return mkdir(d.c_str(), 0700) == 0 && chmod(d.c_str(), 0755) == 0; },
       "open to other users (mode 0755)"},
      {[&](const std::string& d) { return symlink(own.c_str(), d.c_str()) == 0; }, "is not a directory"},
      {[](const std::string& d) { return close(open(d.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)) == 0; },
       "is not a directory"},
      {[](const std::string& d) { return mkdir(d.c_str(), 0700) == 0 && chown(d.c_str(), 65534, 65534) == 0; },
       "belongs to uid 65534"},
  };
  for (const auto& [make, says] : bad) {
    fdk::test::TempDir other;
    std::string dir = other.file("mbx-" + std::to_string(geteuid()));
    if (!make(dir)) continue;
    for (const char* run_dir : {static_cast<const char*>(nullptr), dir.c_str()}) {
      err.clear();
      EXPECT_EQ(private_socket_path(run_dir, other.path(), err), "") << says;
      EXPECT_NE(err.find(says), std::string::npos) << err;
    }
  }
}

}  // namespace
}  // namespace mbx
