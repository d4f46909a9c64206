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

using T = FrameType;
using Seen = std::pair<FrameType, uint32_t>;  // a frame's type and status word

Name nm(const char* text) { return *Name::from_text(text); }
std::string named(const char* text, uint32_t word = 0) { return PayloadWriter().name(nm(text)).u32(word).take(); }

// One participant's end of a connection to the broker.
class Side {
 public:
  explicit Side(Broker& b) {
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv), 0);
    fd_ = sv[1];
    id = b.adopt(sv[0]);
  }
  explicit Side(const std::string& path) : fd_(connect_unix(path, err_)) {}  // through the listening socket
  ~Side() { hang_up(); }
  void hang_up() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  void put(const std::string& bytes) { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  void send(T t, uint32_t conv, uint32_t ref, std::string payload) { put(encode(Frame{t, conv, ref, payload})); }
  void hello(const char* name) { send(T::Hello, 0, 1, PayloadWriter().u32(1).u32(7).name(nm(name)).take()); }
  // Everything the broker has sent so far; `closed` tells whether it hung up.
  std::vector<Frame> take() {
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0) reader_.feed(buf, static_cast<size_t>(n));
    closed = n == 0;
    std::vector<Frame> out;
    for (Frame f; reader_.next(f) == 1;) out.push_back(f);
    return out;
  }
  Seen last() {  // of the frames sent so far; type 0 for none
    std::vector<Frame> got = take();
    if (got.empty()) return {};
    return {got.back().type, got.back().payload.size() >= 4 ? get_u32(got.back().payload.data()) : 0};
  }

  uint32_t id = 0;
  bool closed = false;

 private:
  std::string err_;
  int fd_ = -1;
  FrameReader reader_;
};

void settle(Broker& b) {
  for (int i = 0; i < 16 && b.serve_once(0, nullptr) > 0; ++i) {
  }
}

// A handler serving "DOKFRMDI" and a requester, both joined.
void join_both(Broker& b, Side& handler, Side& requester) {
  handler.hello("DOKFRM");
  handler.send(T::Register, 0, 2, PayloadWriter().name(nm("DOKFRMDI")).take());
  handler.send(T::Ready, 0, 3, PayloadWriter().name(nm("MBX_0000")).take());
  requester.hello("CAD");
  settle(b);
  handler.take();
  requester.take();
}

// Conversation numbers run up to max_conversation and start again at 1; a
// number still in use is passed over; with all in use the opening is refused.
TEST(BrokerInProcess, WrappedConversationNumbersSkipLiveOnes) {
  Broker b({.path = {}, .max_conversation = 3, .quiet = true});
  Side handler(b), requester(b);
  join_both(b, handler, requester);
  auto open = [&](uint32_t ref) {
    requester.send(T::Request, 0, ref, named("DOKFRMDI"));
    settle(b);
    std::vector<Frame> r = requester.take();
    return r.size() == 1 ? r[0] : Frame{};
  };
  EXPECT_EQ(open(10).conv, 1u);
  EXPECT_EQ(open(11).conv, 2u);
  EXPECT_EQ(open(12).conv, 3u);
  handler.send(T::End, 2, 0, "");  // 1 and 3 stay open
  settle(b);
  requester.take();
  Frame again = open(13);
  EXPECT_TRUE(again.type == T::Ack && again.ref == 13u && again.conv == 2u) << "1 is still in use";
  EXPECT_EQ(PayloadReader(open(14).payload).u32(), uint32_t{MBX_E_LIMIT});
  EXPECT_EQ(handler.take().size(), 4u);  // three deliveries, then one more for conversation 2
}

// What a peer sends (then hanging up or not) in the middle of a
// conversation, and the last frame each side gets then: the conversation
// ends for both, the offender alone is disconnected; refusals leave the
// conversation alone.
TEST(BrokerInProcess, PeerFaultsEndTheConversationForBothSides) {
  auto enc = [](T t, uint32_t conv, std::string payload = "") { return encode(Frame{t, conv, 5, payload}); };
  const std::string zero = PayloadWriter().u32(0).take(), item = enc(T::Item, 1, "x");
  const struct {
    const char* what;
    bool by_handler;
    std::string bytes;
    bool leaves;
    Seen requester, handler;
  } faults[] = {
      {"requester leaves", false, "", true, {}, {T::Abort, MBX_E_GONE}},
      {"requester leaves mid-frame", false, item.substr(0, 18), true, {}, {T::Abort, MBX_E_GONE}},
      {"handler leaves", true, "", true, {T::Abort, MBX_E_GONE}, {}},
      {"unknown frame type", false, enc(T(99), 0), false, {T::Error, MBX_E_PROTOCOL}, {T::Abort, MBX_E_GONE}},
      {"broker-only frame", false, enc(T::Deliver, 1, std::string(24, 'A')), false, {T::Error, MBX_E_PROTOCOL},
       {T::Abort, MBX_E_GONE}},
      {"second Hello", false, enc(T::Hello, 0, zero + zero + "CAD     "), false, {T::Error, MBX_E_PROTOCOL},
       {T::Abort, MBX_E_GONE}},
      {"item after the last", false, enc(T::EndOfItems, 1) + item, false, {T::Abort, MBX_E_PROTOCOL},
       {T::Abort, MBX_E_GONE}},
      {"one item above the limit of 2", false, item + item + item, false, {T::Abort, MBX_E_TOOBIG},
       {T::Abort, MBX_E_TOOBIG}},
      {"handler aborts saying success", true, enc(T::Abort, 1, zero), false, {T::Abort, MBX_E_GONE}, {}},
      {"control character in a name", false, enc(T::Request, 0, "DOK\nFRMD" + zero), false, {T::Nak, MBX_E_ARG}, {}},
      {"stray item, then a name nobody serves", false, enc(T::Item, 77) + enc(T::Request, 0, named("NOSUCH")), false,
       {T::Nak, MBX_E_UNKNOWN}, {}},
      {"a name another participant holds", false, enc(T::Register, 0, "DOKFRMDI"), false, {T::Nak, MBX_E_TAKEN}, {}},
      {"registering after the set-up", true, enc(T::Register, 0, "LATE    "), false, {}, {T::Nak, MBX_E_STATE}},
      {"addressing itself", true, enc(T::Request, 0, named("DOKFRMDI")), false, {}, {T::Nak, MBX_E_ARG}},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.what);
    Broker b({.path = {}, .max_conv_items = 2, .quiet = true});
    Side handler(b), requester(b);
    join_both(b, handler, requester);
    requester.send(T::Request, 0, 4, named("DOKFRMDI"));
    settle(b);
    ASSERT_EQ(requester.last(), Seen(T::Ack, 0));  // conversation 1
    handler.take();
    Side& peer = f.by_handler ? handler : requester;
    peer.put(f.bytes);
    if (f.leaves) peer.hang_up();
    settle(b);
    EXPECT_EQ(requester.last(), f.requester);
    EXPECT_EQ(handler.last(), f.handler);
    EXPECT_EQ(requester.closed, f.requester.first == T::Error);
  }
}

// Connections that do not join properly are told why and closed: a bad
// first frame, silence, one participant too many.  The others stay.
TEST(BrokerInProcess, RefusesBadJoinsSilenceAndTooManyParticipants) {
  Broker b({.path = {}, .max_participants = 3, .hello_timeout_ms = 50, .quiet = true});
  Side talker(b), silent(b);
  talker.hello("TALKER");
  for (const Frame& first : {Frame{T::Item, 1, 0, "x"}, Frame{T::Hello, 0, 1, PayloadWriter().u32(2).u32(1).take() + "RAWPEER "},
                             Frame{T::Hello, 0, 1, PayloadWriter().u32(1).u32(1).take() + std::string("RAW\0PEER", 8)}}) {
    Side s(b);
    s.put(encode(first));
    settle(b);
    EXPECT_EQ(s.last(), Seen(T::Error, MBX_E_PROTOCOL));
    EXPECT_TRUE(s.closed);
  }
  Side third(b), extra(b);
  EXPECT_EQ(extra.id, 0u);
  EXPECT_EQ(extra.last(), Seen(T::Error, MBX_E_LIMIT));
  Seen said;
  for (int i = 0; i < 200 && !silent.closed; ++i) {
    b.serve_once(20, nullptr);
    said = silent.last();
  }
  EXPECT_EQ(said, Seen(T::Error, MBX_E_TIMEOUT));
  EXPECT_TRUE(silent.closed);
  EXPECT_EQ(talker.last().first, T::Ack);
  EXPECT_FALSE(talker.closed);
}

// Out of descriptors, the broker leaves its listening socket alone instead
// of waking for it again and again, and accepts the waiting connection once
// a connection has closed.
TEST(BrokerListening, PausesAcceptingWhileOutOfDescriptors) {
  fdk::test::TempDir dir;
  const std::string path = dir.file("bus.sock");
  Broker b({.path = path, .quiet = true});
  std::string err;
  ASSERT_TRUE(b.open(err)) << err;
  Side first(path);
  settle(b);
  Side waiting(path);  // queued, not accepted yet
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = static_cast<rlim_t>(open("/dev/null", O_RDONLY | O_CLOEXEC));  // the next one is over the limit
  close(static_cast<int>(low.rlim_cur));
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
  EXPECT_EQ(waiting.last().first, T::Ack);
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

  // Each puts something else where the per-user directory goes; false when
  // it cannot here (chown needs root).
  const std::pair<std::function<bool(const char*)>, const char*> bad[] = {
      {[](const char* d) { return mkdir(d, 0700) == 0 && chmod(d, 0755) == 0; }, "open to other users (mode 0755)"},
      {[&](const char* d) { return symlink(own.c_str(), d) == 0; }, "is not a directory"},
      {[](const char* d) { return close(open(d, O_CREAT | O_WRONLY | O_CLOEXEC, 0600)) == 0; }, "is not a directory"},
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
