// wire.h - the frames that travel between participants and the broker.
//
// Every frame is a 16-byte header followed by its payload:
//   offset 0  u32 payload length
//   offset 4  u8  frame type
//   offset 5  3 bytes, zero
//   offset 8  u32 conversation number (0 when the frame is about none)
//   offset 12 u32 reference: set by the sender of a control frame, echoed
//             in the broker's Ack or Nak
// All numbers are big-endian.  Each type has fixed payload bounds, so a
// header alone tells whether a frame is acceptable, before its payload has
// arrived.
#ifndef MBX_WIRE_H
#define MBX_WIRE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "name.h"

namespace mbx {

inline constexpr uint32_t kProtocolVersion = 1;
inline constexpr size_t kHeaderSize = 16;
inline constexpr uint32_t kMaxItem = 65536;      // MBX_MAX_ITEM
inline constexpr uint32_t kMaxText = 256;        // text of a Nak or Error
inline constexpr uint32_t kMaxPayload = kMaxItem;

enum class FrameType : uint8_t {
  Hello = 1,     // p->b  u32 version, u32 pid, name
  Register = 2,  // p->b  request name
  Declare = 3,   // p->b  service, u32 version, request name
  Ready = 4,     // p->b  set-up name; the participant's names become routable
  Request = 5,   // p->b  request name, u32 kind; Ack carries the conversation
  Call = 6,      // p->b  service, u32 version; Ack carries the conversation
                 //       and the request name as payload
  Item = 7,      // both  one data item of a conversation
  EndOfItems = 8,  // requester->handler: no further item
  End = 9,       // handler->requester: the handler has returned
  Abort = 10,    // both  u32 status: the conversation is over, the other
                 //       side left or broke it
  Ack = 11,      // b->p  answer to a control frame; payload by frame
  Nak = 12,      // b->p  u32 status, text
  Deliver = 13,  // b->handler  request name, u32 kind, u32 requester id,
                 //       requester name: a new conversation
  Error = 14,    // b->p  u32 status, text; the broker closes the connection
};

const char* frame_type_name(FrameType t);

struct Frame {
  FrameType type = FrameType::Item;
  uint32_t conv = 0;
  uint32_t ref = 0;
  std::string payload;
};

// Header plus payload, ready to be written.
std::string encode(const Frame& f);

// Checks a decoded header: known type, zero filler, payload length within
// the type's bounds, conversation number present where the type needs one.
// Returns null when acceptable, else a short reason.
const char* check_header(uint8_t type, const uint8_t filler[3], uint32_t length,
                         uint32_t conv);

// Cuts a byte stream into frames.  Once a malformed header was seen, the
// reader stays failed: the stream has no recoverable frame boundary.
class FrameReader {
 public:
  void feed(const char* data, size_t n);
  // 1: `out` holds the next frame; 0: more bytes are needed; -1: malformed,
  // error() tells why.
  int next(Frame& out);
  const std::string& error() const { return error_; }
  size_t buffered() const { return buf_.size() - pos_; }

 private:
  std::string buf_;
  size_t pos_ = 0;
  std::string error_;
};

// Builds a payload field by field.
class PayloadWriter {
 public:
  PayloadWriter& u32(uint32_t v);
  PayloadWriter& name(const Name& n);
  PayloadWriter& bytes(std::string_view s);
  std::string take() { return std::move(s_); }

 private:
  std::string s_;
};

// Reads a payload field by field; reading past the end sets failed().
class PayloadReader {
 public:
  explicit PayloadReader(std::string_view s) : s_(s) {}
  uint32_t u32();
  Name name();
  std::string_view rest();
  bool failed() const { return failed_; }

 private:
  std::string_view s_;
  size_t pos_ = 0;
  bool failed_ = false;
};

// Status payload of a Nak or Error: the status and a text cut to kMaxText.
std::string status_payload(int32_t status, std::string_view text);

void put_u32(char* p, uint32_t v);
uint32_t get_u32(const char* p);

}  // namespace mbx

#endif
