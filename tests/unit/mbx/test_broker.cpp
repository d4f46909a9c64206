// The broker driven in-process: participants adopted over socketpairs,
// served one round at a time (the seam the fuzzing harness uses too).
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "broker.h"
#include "mbx.h"
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
  ~Side() { close(fd_); }

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

TEST(BrokerInProcess, MalformedTrafficEndsOnlyItsSender) {
  Broker b(quiet());
  Side bad(b), good(b);
  bad.send(FrameType::Hello, 0, 1, hello("BAD"));
  good.send(FrameType::Hello, 0, 1, hello("GOOD"));
  settle(b);
  bad.take();
  good.take();

  bad.send(FrameType::Item, 0, 0, "x");  // an item without a conversation
  settle(b);
  std::vector<Frame> got = bad.take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].type, FrameType::Error);
  EXPECT_EQ(PayloadReader(got[0].payload).u32(), static_cast<uint32_t>(MBX_E_PROTOCOL));
  EXPECT_TRUE(bad.closed);

  good.send(FrameType::Ready, 0, 2, PayloadWriter().name(nm("MBX_0000")).take());
  settle(b);
  got = good.take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].type, FrameType::Ack);
  EXPECT_FALSE(good.closed);
}

TEST(BrokerInProcess, AdoptRefusesBeyondTheParticipantLimit) {
  BrokerOptions o = quiet();
  o.max_participants = 1;
  Broker b(o);
  Side first(b), second(b);
  EXPECT_NE(first.id, 0u);
  EXPECT_EQ(second.id, 0u);
  std::vector<Frame> got = second.take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].type, FrameType::Error);
  EXPECT_EQ(PayloadReader(got[0].payload).u32(), static_cast<uint32_t>(MBX_E_LIMIT));
  EXPECT_TRUE(second.closed);
}

}  // namespace
}  // namespace mbx
