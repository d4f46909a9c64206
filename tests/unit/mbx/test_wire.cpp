// The framing: cutting a stream into frames, refusing malformed headers
// before their payload is waited for; bus names and cadsim's item text.
#include <gtest/gtest.h>

#include "name.h"
#include "text.h"
#include "wire.h"

namespace mbx {
namespace {

using namespace std::string_literals;

TEST(Wire, ReaderCutsAStreamFedByteByByteOrAllAtOnce) {
  const std::vector<Frame> sent = {
      {FrameType::Hello, 0, 0x01020304, PayloadWriter().u32(1).u32(42).bytes("CADSIM  ").take()},
      {FrameType::Item, 3, 0, ""},
      {FrameType::Item, 3, 0, std::string(kMaxItem, 'z')},
      {FrameType::Ack, 9, 2, "DOKFRMDI"},  // a call's Ack: conversation and request name
      {FrameType::Nak, 0, 3, status_payload(16, std::string(1000, 'w'))},  // text cut to fit
  };
  // The layout, written out by hand: length, type, zero filler,
  // conversation, reference, then the payload's words, all big-endian.
  EXPECT_EQ(encode(sent[0]), "\0\0\0\x10" "\x01\0\0\0" "\0\0\0\0" "\x01\x02\x03\x04"
                             "\0\0\0\x01" "\0\0\0\x2a" "CADSIM  "s);
  EXPECT_EQ(sent[4].payload.size(), 4 + kMaxText);
  std::string stream;
  for (const Frame& f : sent) stream += encode(f);
  for (size_t chunk : {size_t{1}, size_t{5}, stream.size()}) {
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
    for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(encode(got[i]), encode(sent[i])) << i;
    EXPECT_EQ(r.buffered(), 0u);
  }
}

std::string header(uint32_t len, int type, uint32_t conv, int filler = 0) {
  std::string h(16, '\0');
  put_u32(h.data(), len);
  h[4] = static_cast<char>(type);
  h[6] = static_cast<char>(filler);
  put_u32(h.data() + 8, conv);
  return h;
}

// Each is refused from its 16 header bytes alone, and the reader stays
// failed: the stream has no frame boundary left to trust.
TEST(Wire, MalformedHeaderRefusedAtOnceAndForGood) {
  const std::pair<const char*, std::string> bad[] = {
      {"huge length", header(0xffffffffu, 7, 1)},
      {"item above the largest", header(kMaxItem + 1, 7, 1)},
      {"type zero", header(0, 0, 0)},
      {"type past the last", header(0, 15, 1)},
      {"filler set", header(0, 9, 1, 1)},
      {"register too short", header(7, 2, 0)},
      {"register too long", header(9, 2, 0)},
      {"end with payload", header(1, 9, 1)},
      {"nak without status", header(3, 12, 0)},
      {"nak text too long", header(4 + kMaxText + 1, 12, 0)},
      {"item without conversation", header(1, 7, 0)},
      {"hello with conversation", header(16, 1, 5)},
  };
  const std::string good = encode(Frame{FrameType::End, 1, 0, ""});
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

TEST(Wire, PayloadReaderFailsPastTheEndInsteadOfReadingOn) {
  PayloadReader r(PayloadWriter().bytes("DOKFRMDI").u32(5).take());
  EXPECT_TRUE(r.name().text() == "DOKFRMDI" && r.u32() == 5u && !r.failed());
  EXPECT_TRUE(r.u32() == 0u && r.failed());
  for (const std::string& bad : {"AB\0DEFGH"s, "ABC"s}) {
    PayloadReader n(bad);
    n.name();
    EXPECT_TRUE(n.failed()) << bad;
  }
}

// Names: exactly 8 printable bytes, blank-padded; cadsim's item text.
TEST(Name, ExactlyEightPrintableBytesBlankPadded) {
  EXPECT_EQ(Name::from_field("CURFCT  and more")->text(), "CURFCT");
  EXPECT_EQ(*Name::from_text("CURFCT"), *Name::from_field("CURFCT  "));
  EXPECT_NE(*Name::from_text("CURFCT"), *Name::from_text("MBX_0000"));
  EXPECT_TRUE(Name::from_field(" LEADING"));
  for (const char* bad : {static_cast<const char*>(nullptr), "        ", "ABC\0DEFG", "ABC\tDEFG", "ABCDEFG\x80"})
    EXPECT_FALSE(Name::from_field(bad));
  for (const char* bad : {"", "NINECHARS", "   "}) EXPECT_FALSE(Name::from_text(bad)) << bad;
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(escape(all).find('\n'), std::string::npos);
  EXPECT_EQ(unescape(escape(all)), all);
}

}  // namespace
}  // namespace mbx
