// broker.h - the routing core of mbxd.
//
// Participants connect over a Unix-domain socket, say Hello, register
// request names and declare services, and say Ready.  From then on the
// broker routes a Request to the participant that registered its name and
// a Call to the one that declared its service, and forwards the items of
// each conversation between its two sides.  A conversation ends when the
// handler sends End, or when either side aborts or leaves; the other side
// is always told.  A participant that sends a malformed frame gets an
// Error frame and is disconnected; everyone else is served on.
//
// Only processes of the broker's own user are taken (SO_PEERCRED); a
// connection that says no Hello within hello_timeout_ms is closed; when the
// process runs out of descriptors the broker stops accepting until one is
// free again instead of polling a listening socket it cannot serve.
#ifndef MBX_BROKER_H
#define MBX_BROKER_H

#include <sys/types.h>

#include <csignal>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "name.h"
#include "sock.h"
#include "wire.h"

namespace mbx {

struct BrokerOptions {
  std::string path;
  size_t max_participants = 256;
  size_t max_open_per_requester = 64;    // conversations opened and not ended
  uint32_t max_conv_items = 4096;        // per conversation and direction
  uint64_t max_conv_bytes = 8u << 20;    // per conversation and direction
  size_t max_out_queue = 16u << 20;      // unsent bytes per participant
  int hello_timeout_ms = 5000;           // a connection must say Hello within this
  uint32_t max_conversation = UINT32_MAX;  // numbers run 1..this, then start again
  bool verbose = false;
  bool quiet = false;  // no log lines at all, not even about faults
};

class Broker {
 public:
  explicit Broker(BrokerOptions opts) : opts_(std::move(opts)) {}
  ~Broker();
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;

  // Binds and listens.  A socket file left by a broker that is gone is
  // replaced; a live broker or a file that is not a socket is an error.
  bool open(std::string& err);
  // Serves until *stop is non-zero.  `wait_mask` is the signal mask while
  // waiting (signals that set *stop are blocked outside the wait).
  void run(volatile sig_atomic_t* stop, const sigset_t* wait_mask);
  // One round of run(): waits up to `timeout_ms` (-1: no limit) for traffic,
  // serves what arrived and closes the connections that ended.  Returns the
  // number of descriptors that were ready, -1 when polling failed (EINTR
  // counts as 0 ready).
  int serve_once(int timeout_ms, const sigset_t* wait_mask);
  // Takes a connected, non-blocking stream socket as a new participant, as
  // if it had come through the listening socket; the broker owns and closes
  // it from now on.  Returns the participant's id, or 0 when the broker is
  // full (the socket is then told so and closed).  In-process drivers (the
  // fuzzing harness) use it with one end of a socketpair.
  uint32_t adopt(int fd);
  // Disconnects everyone and removes the socket file.
  void shut();

 private:
  struct Conn {
    uint32_t id = 0;
    int fd = -1;
    Clock::time_point hello_by;  // until Hello: when it must have come
    bool hello = false, ready = false, dead = false;
    uint32_t pid = 0;
    Name name;
    FrameReader reader;
    std::string out;
    size_t out_pos = 0;
    std::set<uint32_t> convs;
    size_t opened = 0;  // conversations it opened, still running
  };
  struct Service {
    uint32_t owner;
    int32_t version;
    Name request;
  };
  struct Conv {
    uint32_t requester, handler;
    Name name;
    bool eoi = false;
    uint32_t items[2] = {0, 0};  // [0] requester->handler, [1] back
    uint64_t bytes[2] = {0, 0};
  };

  void accept_all();
  int expire_silent();  // closes connections past hello_by; ms to the next, -1: none
  uint32_t new_conv_id();  // 0 when every number is in use
  void read_from(Conn& c);
  void flush(Conn& c);
  void on_frame(Conn& c, Frame& f);
  void on_open(Conn& c, Frame& f, bool is_call);
  void on_item(Conn& c, Frame& f);
  void send(Conn& c, FrameType type, uint32_t conv, uint32_t ref, std::string payload);
  void nak(Conn& c, uint32_t ref, int32_t status, const std::string& text);
  void kill(Conn& c, int32_t status, const std::string& why);
  void end_conv(uint32_t conv, int32_t requester_status, int32_t handler_status);
  Conn* find(uint32_t id);
  void log(const std::string& line, bool always = false) const;
  std::string who(const Conn& c) const;

  BrokerOptions opts_;
  int listen_fd_ = -1;
  ino_t inode_ = 0;
  uint32_t next_id_ = 1;
  uint32_t next_conv_ = 1;
  // Out of descriptors: the listening socket is left alone until a
  // connection closes or this time has come.
  bool accept_paused_ = false;
  Clock::time_point accept_retry_;
  std::map<uint32_t, std::unique_ptr<Conn>> conns_;
  std::map<Name, uint32_t> requests_;  // request name -> owner
  std::map<Name, Service> services_;
  std::map<uint32_t, Conv> convs_;
};

}  // namespace mbx

#endif
