// The broker driven in-process: participants adopted over socketpairs,
// served one round at a time (the seam the fuzzing harness uses too).
// Malformed traffic and the participant limit are checked end to end
// against mbxd by the bus tests.
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

class Side {
 public:
  explicit Side(Broker& b) {
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv), 0);
    fd_ = sv[1];
    id = b.adopt(sv[0]);
  }
  // A participant that comes through the broker's listening socket.
  explicit Side(const std::string& path) {
    std::string err;
    fd_ = connect_unix(path, err);
    EXPECT_GE(fd_, 0) << err;
  }
  ~Side() { hang_up(); }
  void hang_up() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  void send(FrameType t, uint32_t conv, uint32_t ref, std::string payload) {
    Frame f;
    f.type = t;
    f.conv = conv;
    f.ref = ref;
    f.payload = std::move(payload);
    std::string bytes = encode(f);
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Everything the broker has sent so far; `closed` tells whether it hung up.
  std::vector<Frame> take() {
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0)
      reader_.feed(buf, static_cast<size_t>(n));
    closed = n == 0;
    std::vector<Frame> out;
    Frame f;
    while (reader_.next(f) == 1) out.push_back(f);
    return out;
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

std::string hello(const char* name) {
  return PayloadWriter().u32(kProtocolVersion).u32(7).name(nm(name)).take();
}

BrokerOptions quiet() {
  BrokerOptions o;
  o.quiet = true;
  return o;
}

TEST(BrokerInProcess, RoutesARequestBetweenAdoptedParticipants) {
  Broker b(quiet());
  Side handler(b), requester(b);
  ASSERT_NE(handler.id, 0u);
  ASSERT_NE(requester.id, handler.id);

  handler.send(FrameType::Hello, 0, 1, hello("DOKFRM"));
  handler.send(FrameType::Register, 0, 2, PayloadWriter().name(nm("DOKFRMDI")).take());
  handler.send(FrameType::Ready, 0, 3, PayloadWriter().name(nm("MBX_0000")).take());
  requester.send(FrameType::Hello, 0, 1, hello("CAD"));
  settle(b);
  std::vector<Frame> acks = handler.take();
  ASSERT_EQ(acks.size(), 3u);
  EXPECT_EQ(acks[0].payload, PayloadWriter().u32(handler.id).take());  // Hello: the id
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(acks[i].type, FrameType::Ack);
    EXPECT_EQ(acks[i].ref, i + 1);
  }

  requester.send(FrameType::Request, 0, 2, PayloadWriter().name(nm("DOKFRMDI")).u32(4).take());
  requester.send(FrameType::Item, 1, 0, "a.fm");
  settle(b);
  std::vector<Frame> r = requester.take();
  ASSERT_EQ(r.size(), 2u);  // Hello's Ack, then the Request's with the conversation
  EXPECT_TRUE(r[1].type == FrameType::Ack && r[1].ref == 2u && r[1].conv == 1u);
  std::vector<Frame> h = handler.take();
  ASSERT_EQ(h.size(), 2u);
  EXPECT_EQ(h[0].type, FrameType::Deliver);
  EXPECT_EQ(h[0].payload,
            PayloadWriter().name(nm("DOKFRMDI")).u32(4).u32(requester.id).name(nm("CAD")).take());
  EXPECT_TRUE(h[1].type == FrameType::Item && h[1].conv == 1u && h[1].payload == "a.fm");

  handler.send(FrameType::End, 1, 0, "");
  settle(b);
  r = requester.take();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(r[0].type == FrameType::End && r[0].conv == 1u);
}

// A connection that never introduces itself is closed after a while; one
// that did stays.
TEST(BrokerInProcess, ClosesAConnectionThatSaysNoHello) {
  BrokerOptions o = quiet();
  o.hello_timeout_ms = 50;
  Broker b(o);
  Side silent(b), talker(b);
  talker.send(FrameType::Hello, 0, 1, hello("TALKER"));
  std::vector<Frame> got;
  for (int i = 0; i < 200 && !silent.closed; ++i) {
    b.serve_once(20, nullptr);
    for (Frame& f : silent.take()) got.push_back(f);
  }
  ASSERT_TRUE(silent.closed);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].type, FrameType::Error);
  EXPECT_EQ(PayloadReader(got[0].payload).u32(), static_cast<uint32_t>(MBX_E_TIMEOUT));
  EXPECT_EQ(talker.take().size(), 1u);  // its Ack
  EXPECT_FALSE(talker.closed);
}

// Conversation numbers run up to max_conversation and start again at 1;
// a number still in use is passed over, and with every number in use the
// opening is refused.
TEST(BrokerInProcess, WrappedConversationNumbersSkipLiveOnes) {
  BrokerOptions o = quiet();
  o.max_conversation = 3;
  Broker b(o);
  Side handler(b), requester(b);
  handler.send(FrameType::Hello, 0, 1, hello("DOKFRM"));
  handler.send(FrameType::Register, 0, 2, PayloadWriter().name(nm("DOKFRMDI")).take());
  handler.send(FrameType::Ready, 0, 3, PayloadWriter().name(nm("MBX_0000")).take());
  requester.send(FrameType::Hello, 0, 1, hello("CAD"));
  settle(b);
  handler.take();
  requester.take();

  auto open = [&](uint32_t ref) {
    requester.send(FrameType::Request, 0, ref, PayloadWriter().name(nm("DOKFRMDI")).u32(0).take());
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
  EXPECT_EQ(again.type, FrameType::Ack);
  EXPECT_EQ(again.conv, 2u) << "1 is still in use";
  Frame full = open(14);
  EXPECT_EQ(full.type, FrameType::Nak);
  EXPECT_EQ(PayloadReader(full.payload).u32(), static_cast<uint32_t>(MBX_E_LIMIT));
  std::vector<Frame> h = handler.take();
  ASSERT_EQ(h.size(), 4u);  // three deliveries, then one more for conversation 2
  EXPECT_EQ(h[3].conv, 2u);
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
  first.send(FrameType::Hello, 0, 1, hello("FIRST"));
  settle(b);
  ASSERT_EQ(first.take().size(), 1u);
  Side waiting(o.path);  // queued, not accepted yet

  // The next descriptor the process would get is over the limit.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  int lowest = open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(lowest, 0);
  close(lowest);
  rlimit low = saved;
  low.rlim_cur = static_cast<rlim_t>(lowest);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  int ready_then = b.serve_once(0, nullptr);     // accept fails
  int ready_after = b.serve_once(0, nullptr);    // nothing to serve
  first.hang_up();
  for (int i = 0; i < 4; ++i) b.serve_once(0, nullptr);  // buries it, accepts
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);

  EXPECT_EQ(ready_then, 1);
  EXPECT_EQ(ready_after, 0) << "the listening socket it cannot serve is not polled";
  waiting.send(FrameType::Hello, 0, 1, hello("WAITING"));
  settle(b);
  std::vector<Frame> got = waiting.take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].type, FrameType::Ack);
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
  EXPECT_EQ(private_socket_path("", shared.path(), err), own + "/mbx.sock") << "made once, kept";

  ASSERT_EQ(mkdir(shared.file("run").c_str(), 0700), 0);
  EXPECT_EQ(private_socket_path(shared.file("run").c_str(), shared.path(), err),
            shared.file("run") + "/mbx.sock");
  EXPECT_EQ(private_socket_path("relative", shared.path(), err), own + "/mbx.sock");

  // Each maker puts something other than a private directory where the
  // per-user directory goes; false when it cannot here (chown needs root).
  struct Bad {
    const char* what;
    std::function<bool(const std::string&)> make;
    const char* says;
  };
  const Bad bad[] = {
      {"open to others",
       [](const std::string& d) { return mkdir(d.c_str(), 0700) == 0 && chmod(d.c_str(), 0755) == 0; },
       "open to other users (mode 0755)"},
      {"a symbolic link", [&](const std::string& d) { return symlink(own.c_str(), d.c_str()) == 0; },
       "is not a directory"},
      {"a file",
       [](const std::string& d) {
         int fd = open(d.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
         return fd >= 0 && close(fd) == 0;
       },
       "is not a directory"},
      {"another user's",
       [](const std::string& d) { return mkdir(d.c_str(), 0700) == 0 && chown(d.c_str(), 65534, 65534) == 0; },
       "belongs to uid 65534"},
  };
  for (const Bad& c : bad) {
    fdk::test::TempDir other;
    std::string dir = other.file("mbx-" + std::to_string(geteuid()));
    if (!c.make(dir)) continue;
    err.clear();
    EXPECT_EQ(private_socket_path(nullptr, other.path(), err), "") << c.what;
    EXPECT_NE(err.find(c.says), std::string::npos) << c.what << ": " << err;
    err.clear();
    EXPECT_EQ(private_socket_path(dir.c_str(), shared.path(), err), "") << c.what << " as run dir";
    EXPECT_NE(err.find(c.says), std::string::npos) << c.what << ": " << err;
  }
}

}  // namespace
}  // namespace mbx
