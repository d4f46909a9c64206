// participant.h - one participant's side of the bus: the connection to the
// broker, the requests waiting for dispatch, the running request and the
// outgoing conversations.  The C operations of mbx.h and cadsim are thin
// layers over this class.
//
// Single-threaded.  Nothing runs in the background: the connection is read
// only inside the calls, and a descriptor (an eventfd) is kept readable
// while a request waits in memory or after the connection was lost, so a
// caller's select() wakes even when the socket itself has nothing new.
#ifndef MBX_PARTICIPANT_H
#define MBX_PARTICIPANT_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "name.h"
#include "sock.h"
#include "wire.h"

namespace mbx {

using Handler = std::function<void(int32_t* kind, void* value)>;

struct RequestInfo {
  int32_t kind = 0;
  uint32_t conv = 0;
  Name request;
  Name requester;
};

class Participant {
 public:
  Participant() = default;
  ~Participant();
  Participant(const Participant&) = delete;
  Participant& operator=(const Participant&) = delete;

  // The broker's socket; "" (the default) is found at join time, see
  // default_socket_path.  join() refuses a broker of another user.
  void set_socket_path(std::string path) { path_ = std::move(path); }
  void set_timeout_ms(int64_t ms) { timeout_ms_ = ms > 0 ? ms : 1; }
  int64_t timeout_ms() const { return timeout_ms_; }
  // What went wrong last, in words (the broker's text where it sent one).
  const std::string& last_error() const { return error_; }

  // Set-up.
  int join(const Name* name);
  void leave();
  bool joined() const { return wake_fd_ >= 0; }
  bool lost() const { return lost_; }
  uint32_t id() const { return id_; }
  int register_request(const Name& name, Handler handler);
  int declare(const Name& service, int32_t version, const Name& request);
  int end_setup(const Name& label);

  // The main loop's side.
  std::vector<int> watch_fds(int32_t handle) const;
  int32_t next(int32_t wait_ms);
  int dispatch(int32_t wait_ms);

  // Inside a dispatched request.
  int get_handle(const void* token, int32_t* handle) const;
  int request_info(RequestInfo& out) const;
  int read(int32_t length, void* buffer, int32_t* length_out);
  int write(const void* data, int32_t length);

  // Outgoing conversations: calls to services and requests by name.
  int open_call(const Name& service, int32_t version, uint32_t* conv);
  int find_call(const Name& service, const Name* request, uint32_t* conv) const;
  int open_request(const Name& name, int32_t kind, uint32_t* conv);
  int send(uint32_t conv, const void* data, int32_t length, bool last);
  int finish(uint32_t conv);  // no further item
  int receive(uint32_t conv, int32_t length, void* buffer, int32_t* length_out);
  void abandon(uint32_t conv);

 private:
  struct Inbox {
    std::deque<std::string> items;
    bool closed = false;   // the sender has sent its last item
    int32_t abort = 0;     // non-zero: the conversation broke with this status
  };
  struct Incoming {
    uint32_t conv = 0;
    Name request;
    int32_t kind = 0;
    uint32_t requester_id = 0;
    Name requester;
    Inbox inbox;
  };
  struct Outgoing {
    Name target;   // service or request name
    Name request;  // request name on the handler's side
    bool is_call = false;
    bool last_sent = false;
    bool ended = false;
    Inbox inbox;
  };

  int control(FrameType type, std::string payload, Frame* ack);
  int open(bool is_call, const Name& target, std::string payload, uint32_t* conv);
  int send_frame(FrameType type, uint32_t conv, uint32_t ref, std::string payload);
  bool pump(int wait_ms);
  bool await(Clock::time_point deadline);
  void handle(Frame& f);
  void lose(std::string why);
  void update_wake();
  int read_inbox(Inbox& box, int32_t length, void* buffer, int32_t* length_out);
  static int check_read_args(int32_t length, const void* buffer,
                             const int32_t* length_out);

  std::string path_ = socket_path_from_env();  // "": the default path
  int64_t timeout_ms_ = 30000;
  std::string error_;

  int fd_ = -1;       // broker connection
  int wake_fd_ = -1;  // readable while a request waits or the bus is lost
  bool wake_on_ = false;
  bool lost_ = false;
  uint32_t id_ = 0;
  bool setup_ended_ = false;
  FrameReader reader_;
  uint32_t ref_seq_ = 0;
  uint32_t awaiting_ref_ = 0;
  std::optional<Frame> reply_;
  // While a Request or Call awaits its Ack: what it opens.  The record is
  // made as the Ack is handled, before any later frame of the same read,
  // so replies and End that follow the Ack at once find it.
  struct Opening {
    bool is_call;
    Name target;
  };
  std::optional<Opening> opening_;

  std::map<Name, Handler> handlers_;
  std::map<uint32_t, Incoming> incoming_;  // delivered, not yet finished
  std::deque<uint32_t> pending_;           // waiting for dispatch, oldest first
  uint32_t active_ = 0;                    // the request being dispatched
  bool in_dispatch_ = false;
  std::map<uint32_t, Outgoing> outgoing_;
  std::map<Name, uint32_t> calls_;  // open call per service
};

}  // namespace mbx

#endif
