#include "wire.h"

#include <algorithm>
#include <cstring>

namespace mbx {

void put_u32(char* p, uint32_t v) {
  p[0] = static_cast<char>(v >> 24);
  p[1] = static_cast<char>(v >> 16);
  p[2] = static_cast<char>(v >> 8);
  p[3] = static_cast<char>(v);
}

uint32_t get_u32(const char* p) {
  auto b = reinterpret_cast<const unsigned char*>(p);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) |
         (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}

const char* frame_type_name(FrameType t) {
  switch (t) {
    case FrameType::Hello: return "Hello";
    case FrameType::Register: return "Register";
    case FrameType::Declare: return "Declare";
    case FrameType::Ready: return "Ready";
    case FrameType::Request: return "Request";
    case FrameType::Call: return "Call";
    case FrameType::Item: return "Item";
    case FrameType::EndOfItems: return "EndOfItems";
    case FrameType::End: return "End";
    case FrameType::Abort: return "Abort";
    case FrameType::Ack: return "Ack";
    case FrameType::Nak: return "Nak";
    case FrameType::Deliver: return "Deliver";
    case FrameType::Error: return "Error";
  }
  return "?";
}

namespace {

struct Bounds {
  uint32_t min, max;
  bool needs_conv;  // conversation number must be non-zero
  bool no_conv;     // conversation number must be zero
};

// Payload bounds per type, indexed by type number.
bool bounds_of(uint8_t type, Bounds& b) {
  constexpr uint32_t N = kNameSize;
  switch (static_cast<FrameType>(type)) {
    case FrameType::Hello: b = {8 + N, 8 + N, false, true}; return true;
    case FrameType::Register: b = {N, N, false, true}; return true;
    case FrameType::Declare: b = {2 * N + 4, 2 * N + 4, false, true}; return true;
    case FrameType::Ready: b = {N, N, false, true}; return true;
    case FrameType::Request: b = {N + 4, N + 4, false, true}; return true;
    case FrameType::Call: b = {N + 4, N + 4, false, true}; return true;
    case FrameType::Item: b = {0, kMaxItem, true, false}; return true;
    case FrameType::EndOfItems: b = {0, 0, true, false}; return true;
    case FrameType::End: b = {0, 0, true, false}; return true;
    case FrameType::Abort: b = {4, 4, true, false}; return true;
    case FrameType::Ack: b = {0, 16, false, false}; return true;
    case FrameType::Nak: b = {4, 4 + kMaxText, false, false}; return true;
    case FrameType::Deliver: b = {2 * N + 8, 2 * N + 8, true, false}; return true;
    case FrameType::Error: b = {4, 4 + kMaxText, false, false}; return true;
  }
  return false;
}

}  // namespace

const char* check_header(uint8_t type, const uint8_t filler[3], uint32_t length,
                         uint32_t conv) {
  Bounds b{};
  if (!bounds_of(type, b)) return "unknown frame type";
  if (filler[0] != 0 || filler[1] != 0 || filler[2] != 0)
    return "reserved header bytes not zero";
  if (length > kMaxPayload) return "frame too large";
  if (length < b.min || length > b.max) return "payload length wrong for frame type";
  if (b.needs_conv && conv == 0) return "conversation number missing";
  if (b.no_conv && conv != 0) return "unexpected conversation number";
  return nullptr;
}

std::string encode(const Frame& f) {
  std::string out(kHeaderSize, '\0');
  put_u32(out.data(), static_cast<uint32_t>(f.payload.size()));
  out[4] = static_cast<char>(f.type);
  put_u32(out.data() + 8, f.conv);
  put_u32(out.data() + 12, f.ref);
  out += f.payload;
  return out;
}

void FrameReader::feed(const char* data, size_t n) {
  if (!error_.empty()) return;
  // Drop what was consumed before growing, so the buffer stays bounded by
  // one frame plus one read.
  if (pos_ > 0 && pos_ == buf_.size()) {
    buf_.clear();
    pos_ = 0;
  } else if (pos_ > 65536) {
    buf_.erase(0, pos_);
    pos_ = 0;
  }
  buf_.append(data, n);
}

int FrameReader::next(Frame& out) {
  if (!error_.empty()) return -1;
  if (buffered() < kHeaderSize) return 0;
  const char* h = buf_.data() + pos_;
  uint32_t length = get_u32(h);
  uint8_t type = static_cast<uint8_t>(h[4]);
  uint8_t filler[3] = {static_cast<uint8_t>(h[5]), static_cast<uint8_t>(h[6]),
                       static_cast<uint8_t>(h[7])};
  uint32_t conv = get_u32(h + 8);
  if (const char* why = check_header(type, filler, length, conv)) {
    error_ = why;
    return -1;
  }
  if (buffered() < kHeaderSize + length) return 0;
  out.type = static_cast<FrameType>(type);
  out.conv = conv;
  out.ref = get_u32(h + 12);
  out.payload.assign(h + kHeaderSize, length);
  pos_ += kHeaderSize + length;
  return 1;
}

PayloadWriter& PayloadWriter::u32(uint32_t v) {
  char b[4];
  put_u32(b, v);
  s_.append(b, 4);
  return *this;
}

PayloadWriter& PayloadWriter::name(const Name& n) {
  s_.append(n.data(), kNameSize);
  return *this;
}

PayloadWriter& PayloadWriter::bytes(std::string_view s) {
  s_.append(s);
  return *this;
}

uint32_t PayloadReader::u32() {
  if (failed_ || s_.size() - pos_ < 4) {
    failed_ = true;
    return 0;
  }
  uint32_t v = get_u32(s_.data() + pos_);
  pos_ += 4;
  return v;
}

Name PayloadReader::name() {
  if (failed_ || s_.size() - pos_ < kNameSize) {
    failed_ = true;
    return Name();
  }
  auto n = Name::from_field(s_.data() + pos_);
  pos_ += kNameSize;
  if (!n) {
    failed_ = true;
    return Name();
  }
  return *n;
}

std::string_view PayloadReader::rest() {
  std::string_view r = s_.substr(pos_);
  pos_ = s_.size();
  return r;
}

std::string status_payload(int32_t status, std::string_view text) {
  return PayloadWriter()
      .u32(static_cast<uint32_t>(status))
      .bytes(text.substr(0, kMaxText))
      .take();
}

}  // namespace mbx
