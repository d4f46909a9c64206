// bus_fuzz - the bus framing of mbxd: the frame reader and the broker that
// routes what it cuts out, in-process.
//
// Three participants talk to one broker over socketpairs (the broker adopts
// one end of each).  The input is a run of chunks:
//   u8 op, u16 length (big-endian), then that many bytes (fewer at the end)
//   op & 3 = 0..2  the bytes are sent by participant op & 3
//   op & 3 = 3     participant (op >> 2) % 3 closes its sending side; the
//                  chunk's bytes are ignored
// After each chunk the broker serves until it is idle, and every
// participant reads what it was sent.
//
// Checked besides the sanitizers' findings:
// - each participant's bytes also go through a FrameReader of their own,
//   fed in the same pieces: every frame it returns encodes back to exactly
//   the bytes it was cut from, and a reader that failed stays failed;
// - whatever the broker sends a participant is well framed.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "broker.h"
#include "fixed_env.hpp"
#include "wire.h"

namespace {

constexpr int kParticipants = 3;

[[noreturn]] void fail(int who, const char *what) {
  std::fprintf(stderr, "bus_fuzz: participant %d: %s\n", who, what);
  std::abort();
}

// Replays one direction of a stream through a FrameReader.
struct Replay {
  mbx::FrameReader reader;
  std::string seen;  // every byte fed so far
  size_t framed = 0;  // bytes of `seen` that frames were cut from
  bool failed = false;

  // Feeds bytes; false when the stream turned out malformed.
  bool feed(int who, const char *p, size_t n) {
    reader.feed(p, n);
    if (!failed) seen.append(p, n);
    mbx::Frame f;
    int r;
    while ((r = reader.next(f)) == 1) {
      if (failed) fail(who, "a failed reader returned a frame");
      std::string bytes = mbx::encode(f);
      if (seen.compare(framed, bytes.size(), bytes) != 0)
        fail(who, "a frame does not encode back to its bytes");
      framed += bytes.size();
    }
    if (r < 0) {
      if (reader.error().empty()) fail(who, "a failed reader gives no reason");
      failed = true;
    }
    if (!failed && reader.buffered() != seen.size() - framed)
      fail(who, "the reader lost count of its bytes");
    return !failed;
  }
};

struct Participant {
  int fd = -1;
  bool open = true;  // still sending
  Replay sent;       // what it sent, as the broker reads it
  Replay received;   // what the broker sent it
};

void drain(Participant *ps) {
  char buf[65536];
  for (int i = 0; i < kParticipants; ++i) {
    for (;;) {
      ssize_t n = ::recv(ps[i].fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) break;  // nothing more now, closed by the broker, or broken
      if (!ps[i].received.feed(i, buf, static_cast<size_t>(n)))
        fail(i, "the broker sent a malformed frame");
    }
  }
}

void serve(mbx::Broker &broker, Participant *ps) {
  for (int round = 0; round < 64; ++round) {
    int ready = broker.serve_once(0, nullptr);
    drain(ps);
    if (ready <= 0) return;
  }
}

void send_all(mbx::Broker &broker, Participant *ps, int who, const char *p, size_t n) {
  while (n > 0) {
    ssize_t w = ::send(ps[who].fd, p, n, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (w > 0) {
      p += w;
      n -= static_cast<size_t>(w);
    } else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      serve(broker, ps);  // the broker reads; room appears
    } else {
      return;  // the broker closed this participant
    }
  }
}

}  // namespace

// Nothing here reads the environment; it is fixed all the same.
FDK_FUZZ_FIXED_ENVIRONMENT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  mbx::BrokerOptions opts;
  opts.quiet = true;
  // Small limits, so that inputs of a few kilobytes reach them.
  opts.max_participants = kParticipants;
  opts.max_open_per_requester = 4;
  opts.max_conv_items = 8;
  opts.max_conv_bytes = 4096;
  mbx::Broker broker(opts);

  Participant ps[kParticipants];
  for (int i = 0; i < kParticipants; ++i) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) != 0)
      fail(i, "socketpair failed");
    if (broker.adopt(sv[0]) == 0) fail(i, "the broker refused a participant");
    ps[i].fd = sv[1];
  }

  size_t pos = 0;
  while (pos + 3 <= size) {
    const uint8_t op = data[pos];
    size_t len = (size_t{data[pos + 1]} << 8) | data[pos + 2];
    pos += 3;
    if (len > size - pos) len = size - pos;
    const char *bytes = reinterpret_cast<const char *>(data + pos);
    pos += len;

    if ((op & 3) == 3) {
      Participant &p = ps[(op >> 2) % kParticipants];
      if (p.open) ::shutdown(p.fd, SHUT_WR);
      p.open = false;
    } else {
      const int who = op & 3;
      if (!ps[who].open) continue;
      ps[who].sent.feed(who, bytes, len);
      send_all(broker, ps, who, bytes, len);
    }
    serve(broker, ps);
  }

  for (Participant &p : ps) {
    ::close(p.fd);
    p.fd = -1;
  }
  serve(broker, ps);
  return 0;  // the broker's destructor closes its ends
}
