// The framing: cutting a stream into frames, and refusing malformed headers
// before their payload is waited for.  The byte layout itself is checked
// end to end by the hand-built frames of the bus fault tests.
#include <gtest/gtest.h>

#include "wire.h"

namespace mbx {
namespace {

Frame make(FrameType t, uint32_t conv, uint32_t ref, std::string payload) {
  Frame f;
  f.type = t;
  f.conv = conv;
  f.ref = ref;
  f.payload = std::move(payload);
  return f;
}

TEST(Wire, ReaderCutsAStreamFedByteByByteOrAllAtOnce) {
  std::vector<Frame> sent = {
      make(FrameType::Hello, 0, 1, PayloadWriter().u32(1).u32(42).bytes("CADSIM  ").take()),
      make(FrameType::Item, 3, 0, ""),
      make(FrameType::Item, 3, 0, std::string(kMaxItem, 'z')),
      make(FrameType::End, 3, 0, ""),
  };
  std::string stream;
  for (const Frame& f : sent) stream += encode(f);

  for (size_t chunk : {size_t{1}, size_t{5}, size_t{4096}, stream.size()}) {
    SCOPED_TRACE(chunk);
    FrameReader r;
    std::vector<Frame> got;
    for (size_t at = 0; at < stream.size(); at += chunk) {
      r.feed(stream.data() + at, std::min(chunk, stream.size() - at));
      Frame f;
      int rc;
      while ((rc = r.next(f)) == 1) got.push_back(f);
      ASSERT_EQ(rc, 0) << r.error();
    }
    ASSERT_EQ(got.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(got[i].type, sent[i].type);
      EXPECT_EQ(got[i].conv, sent[i].conv);
      EXPECT_EQ(got[i].ref, sent[i].ref);
      EXPECT_EQ(got[i].payload, sent[i].payload);
    }
    EXPECT_EQ(r.buffered(), 0u);
  }
}

struct BadHeader {
  const char* what;
  std::string header;
};

void PrintTo(const BadHeader& b, std::ostream* os) { *os << b.what; }

class WireRejects : public ::testing::TestWithParam<BadHeader> {};

// Each is refused from its 16 header bytes alone, and the reader stays
// failed: the stream has no frame boundary left to trust.
TEST_P(WireRejects, MalformedHeaderAtOnceAndForGood) {
  FrameReader r;
  r.feed(GetParam().header.data(), GetParam().header.size());
  Frame f;
  EXPECT_EQ(r.next(f), -1);
  EXPECT_FALSE(r.error().empty());
  std::string good = encode(make(FrameType::End, 1, 0, ""));
  r.feed(good.data(), good.size());
  EXPECT_EQ(r.next(f), -1);
}

std::string header(uint32_t len, int type, uint32_t conv, int filler = 0) {
  std::string h(16, '\0');
  put_u32(h.data(), len);
  h[4] = static_cast<char>(type);
  h[6] = static_cast<char>(filler);
  put_u32(h.data() + 8, conv);
  return h;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, WireRejects,
    ::testing::Values(BadHeader{"huge length", header(0xffffffffu, 7, 1)},
                      BadHeader{"item above the largest", header(kMaxItem + 1, 7, 1)},
                      BadHeader{"type zero", header(0, 0, 0)},
                      BadHeader{"type past the last", header(0, 15, 1)},
                      BadHeader{"filler set", header(0, 9, 1, 1)},
                      BadHeader{"register too short", header(7, 2, 0)},
                      BadHeader{"register too long", header(9, 2, 0)},
                      BadHeader{"end with payload", header(1, 9, 1)},
                      BadHeader{"nak without status", header(3, 12, 0)},
                      BadHeader{"nak text too long", header(4 + kMaxText + 1, 12, 0)},
                      BadHeader{"item without conversation", header(1, 7, 0)},
                      BadHeader{"hello with conversation", header(16, 1, 5)}),
    [](const auto& info) {
      std::string n = info.param.what;
      for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

TEST(Wire, HeaderBoundsAcceptTheirLimits) {
  const uint8_t zero[3] = {0, 0, 0};
  EXPECT_EQ(check_header(7, zero, kMaxItem, 1), nullptr);
  EXPECT_EQ(check_header(7, zero, 0, 1), nullptr);
  EXPECT_EQ(check_header(12, zero, 4 + kMaxText, 0), nullptr);
  EXPECT_EQ(check_header(11, zero, 4, 9), nullptr);  // Ack of a call: conversation set
  EXPECT_EQ(check_header(11, zero, 0, 0), nullptr);
}

TEST(Wire, PayloadReaderFailsPastTheEndInsteadOfReadingOn) {
  std::string p = PayloadWriter().bytes("DOKFRMDI").u32(5).take();
  PayloadReader r(p);
  EXPECT_EQ(r.name().text(), "DOKFRMDI");
  EXPECT_EQ(r.u32(), 5u);
  EXPECT_FALSE(r.failed());
  EXPECT_EQ(r.u32(), 0u);
  EXPECT_TRUE(r.failed());

  const std::string zero_inside("AB\0DEFGH", 8);
  PayloadReader bad(zero_inside);
  bad.name();
  EXPECT_TRUE(bad.failed());
  PayloadReader short_name("ABC");
  short_name.name();
  EXPECT_TRUE(short_name.failed());
}

TEST(Wire, StatusPayloadCutsLongTexts) {
  std::string p = status_payload(16, std::string(1000, 'w'));
  EXPECT_EQ(p.size(), 4 + kMaxText);
  EXPECT_EQ(get_u32(p.data()), 16u);
}

}  // namespace
}  // namespace mbx
