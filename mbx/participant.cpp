#include "participant.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mbx.h"

namespace mbx {

namespace {

// A Nak or Abort status that would read as success is a broken peer.
int32_t failure_status(uint32_t s) {
  auto v = static_cast<int32_t>(s);
  return (v == MBX_OK || v == MBX_TRUNCATED) ? MBX_E_PROTOCOL : v;
}

}  // namespace

Participant::~Participant() { leave(); }

void Participant::leave() {
  if (fd_ >= 0) close(fd_);
  if (wake_fd_ >= 0) close(wake_fd_);
  fd_ = wake_fd_ = -1;
  wake_on_ = lost_ = setup_ended_ = false;
  id_ = 0;
  reader_ = FrameReader();
  awaiting_ref_ = 0;
  reply_.reset();
  handlers_.clear();
  incoming_.clear();
  pending_.clear();
  active_ = 0;
  outgoing_.clear();
  calls_.clear();
}

int Participant::join(const Name* name) {
  if (in_dispatch_) return MBX_E_STATE;
  if (joined() && !lost_) return MBX_E_STATE;
  leave();
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) {
    error_ = std::string("eventfd: ") + std::strerror(errno);
    return MBX_E_SYSTEM;
  }
  std::string path = path_;
  if (!resolve_socket_path(path, error_) || (fd_ = connect_unix(path, error_)) < 0) {
    std::string why = error_;
    leave();
    error_ = why;
    return MBX_E_NOBUS;
  }
  // Only a broker of this user: another user's could see and steer every
  // request this process serves.
  std::string who;
  if (!peer_is_same_user(fd_, who)) {
    leave();
    error_ = "not joining the broker at " + path + ": " + who;
    return MBX_E_NOBUS;
  }
  Name me;
  if (name != nullptr) {
    me = *name;
  } else {
    me = *Name::from_text(("P" + std::to_string(getpid())).substr(0, kNameSize));
  }
  Frame ack;
  int st = control(FrameType::Hello,
                   PayloadWriter()
                       .u32(kProtocolVersion)
                       .u32(static_cast<uint32_t>(getpid()))
                       .name(me)
                       .take(),
                   &ack);
  if (st == MBX_OK) {
    PayloadReader r(ack.payload);
    id_ = r.u32();
    if (r.failed() || id_ == 0 || id_ > INT32_MAX) {
      error_ = "the broker sent no participant number";
      st = MBX_E_PROTOCOL;
    }
  }
  if (st != MBX_OK) {
    std::string why = error_;
    leave();
    error_ = why;
    return st;
  }
  return MBX_OK;
}

int Participant::register_request(const Name& name, Handler handler) {
  if (fd_ < 0) return MBX_E_NOBUS;
  if (setup_ended_) return MBX_E_STATE;
  if (!handler) return MBX_E_ARG;
  int st = control(FrameType::Register, PayloadWriter().name(name).take(), nullptr);
  if (st == MBX_OK) handlers_[name] = std::move(handler);
  return st;
}

int Participant::declare(const Name& service, int32_t version, const Name& request) {
  if (fd_ < 0) return MBX_E_NOBUS;
  if (setup_ended_) return MBX_E_STATE;
  return control(FrameType::Declare,
                 PayloadWriter()
                     .name(service)
                     .u32(static_cast<uint32_t>(version))
                     .name(request)
                     .take(),
                 nullptr);
}

int Participant::end_setup(const Name& label) {
  if (fd_ < 0) return MBX_E_NOBUS;
  if (setup_ended_) return MBX_E_STATE;
  int st = control(FrameType::Ready, PayloadWriter().name(label).take(), nullptr);
  if (st == MBX_OK) setup_ended_ = true;
  return st;
}

std::vector<int> Participant::watch_fds(int32_t handle) const {
  std::vector<int> fds;
  if (!joined()) return fds;
  if (handle != 0 && static_cast<uint32_t>(handle) != id_) return fds;
  if (fd_ >= 0) fds.push_back(fd_);
  fds.push_back(wake_fd_);
  return fds;
}

int32_t Participant::next(int32_t wait_ms) {
  if (!joined()) return -1;
  pump(0);
  if (pending_.empty() && wait_ms > 0) {
    auto deadline = deadline_after_ms(wait_ms);
    while (pending_.empty() && !lost_)
      if (!await(deadline)) break;
  }
  if (lost_) return -1;
  return static_cast<int32_t>(pending_.size());
}

int Participant::dispatch(int32_t wait_ms) {
  if (in_dispatch_) return MBX_E_STATE;
  if (!joined()) return MBX_E_NOBUS;
  if (pending_.empty()) next(wait_ms);
  if (pending_.empty()) return lost_ ? MBX_E_NOBUS : MBX_E_NOMESSAGE;

  uint32_t conv = pending_.front();
  pending_.pop_front();
  update_wake();
  Incoming& in = incoming_.at(conv);
  auto h = handlers_.find(in.request);
  if (h == handlers_.end()) {
    // Declared for a request name that was never registered here.
    if (fd_ >= 0)
      send_frame(FrameType::Abort, conv, 0, PayloadWriter().u32(MBX_E_UNKNOWN).take());
    incoming_.erase(conv);
    return MBX_E_UNKNOWN;
  }
  Handler fn = h->second;

  // The handler may leave by an exception (cadsim's are C++); the request
  // must end either way.
  struct Finish {
    Participant& p;
    uint32_t conv;
    ~Finish() {
      p.in_dispatch_ = false;
      p.active_ = 0;
      auto it = p.incoming_.find(conv);
      if (it == p.incoming_.end()) return;
      if (p.fd_ >= 0 && it->second.inbox.abort == 0)
        p.send_frame(FrameType::End, conv, 0, {});
      p.incoming_.erase(it);
    }
  } finish{*this, conv};

  active_ = conv;
  in_dispatch_ = true;
  int32_t kind = in.kind;
  fn(&kind, &in);
  return MBX_OK;
}

int Participant::get_handle(const void* token, int32_t* handle) const {
  if (active_ == 0) return MBX_E_NOREQUEST;
  if (token != &incoming_.at(active_) || handle == nullptr) return MBX_E_ARG;
  *handle = static_cast<int32_t>(id_);
  return MBX_OK;
}

int Participant::request_info(RequestInfo& out) const {
  if (active_ == 0) return MBX_E_NOREQUEST;
  const Incoming& in = incoming_.at(active_);
  out.kind = in.kind;
  out.conv = in.conv;
  out.request = in.request;
  out.requester = in.requester;
  return MBX_OK;
}

int Participant::check_read_args(int32_t length, const void* buffer,
                                 const int32_t* length_out) {
  if (length_out == nullptr || length < 0) return MBX_E_ARG;
  if (buffer == nullptr && length > 0) return MBX_E_ARG;
  return MBX_OK;
}

int Participant::read(int32_t length, void* buffer, int32_t* length_out) {
  if (active_ == 0) return MBX_E_NOREQUEST;
  if (int st = check_read_args(length, buffer, length_out)) return st;
  return read_inbox(incoming_.at(active_).inbox, length, buffer, length_out);
}

int Participant::read_inbox(Inbox& box, int32_t length, void* buffer,
                            int32_t* length_out) {
  auto deadline = deadline_after_ms(timeout_ms_);
  for (;;) {
    if (!box.items.empty()) {
      std::string& item = box.items.front();
      auto size = static_cast<int32_t>(item.size());
      if (buffer == nullptr) {  // size query: the item stays next
        *length_out = size;
        return MBX_OK;
      }
      int32_t n = std::min(size, length);
      if (n > 0) std::memcpy(buffer, item.data(), static_cast<size_t>(n));
      *length_out = n;
      box.items.pop_front();
      return size > length ? MBX_TRUNCATED : MBX_OK;
    }
    if (box.abort != 0) return box.abort;
    if (box.closed) return MBX_E_NOITEM;
    if (fd_ < 0) return MBX_E_NOBUS;
    if (!await(deadline)) {
      if (!box.items.empty() || box.abort != 0 || box.closed) continue;
      error_ = "no item arrived in time";
      return MBX_E_TIMEOUT;
    }
  }
}

int Participant::write(const void* data, int32_t length) {
  if (active_ == 0) return MBX_E_NOREQUEST;
  if (length < 0 || (data == nullptr && length > 0)) return MBX_E_ARG;
  if (static_cast<uint32_t>(length) > kMaxItem) return MBX_E_TOOBIG;
  pump(0);  // notice a requester that has gone
  Incoming& in = incoming_.at(active_);
  if (in.inbox.abort != 0) return in.inbox.abort;
  if (fd_ < 0) return MBX_E_NOBUS;
  return send_frame(FrameType::Item, active_, 0,
                    std::string(static_cast<const char*>(data),
                                static_cast<size_t>(length)));
}

int Participant::open(bool is_call, const Name& target, std::string payload,
                      uint32_t* conv) {
  if (fd_ < 0) return MBX_E_NOBUS;
  opening_ = Opening{is_call, target};
  Frame ack;
  int st = control(is_call ? FrameType::Call : FrameType::Request, std::move(payload), &ack);
  opening_.reset();
  if (st != MBX_OK) return st;
  if (outgoing_.count(ack.conv) == 0) return MBX_E_PROTOCOL;  // made with the Ack
  if (is_call) calls_[target] = ack.conv;
  if (conv != nullptr) *conv = ack.conv;
  return MBX_OK;
}

int Participant::open_call(const Name& service, int32_t version, uint32_t* conv) {
  if (fd_ < 0) return MBX_E_NOBUS;
  if (auto c = calls_.find(service); c != calls_.end()) abandon(c->second);
  return open(true, service,
              PayloadWriter().name(service).u32(static_cast<uint32_t>(version)).take(), conv);
}

int Participant::find_call(const Name& service, const Name* request, uint32_t* conv) const {
  auto c = calls_.find(service);
  if (c == calls_.end()) return MBX_E_NOCALL;
  if (request != nullptr && !(outgoing_.at(c->second).request == *request))
    return MBX_E_NOCALL;
  *conv = c->second;
  return MBX_OK;
}

int Participant::open_request(const Name& name, int32_t kind, uint32_t* conv) {
  return open(false, name,
              PayloadWriter().name(name).u32(static_cast<uint32_t>(kind)).take(), conv);
}

int Participant::send(uint32_t conv, const void* data, int32_t length, bool last) {
  auto it = outgoing_.find(conv);
  if (it == outgoing_.end()) return MBX_E_NOCALL;
  if (length < 0 || (data == nullptr && length > 0)) return MBX_E_ARG;
  if (static_cast<uint32_t>(length) > kMaxItem) return MBX_E_TOOBIG;
  Outgoing& o = it->second;
  if (o.last_sent) return MBX_E_STATE;
  pump(0);
  if (o.inbox.abort != 0) return o.inbox.abort;
  if (fd_ < 0) return MBX_E_NOBUS;
  int st = send_frame(FrameType::Item, conv, 0,
                      std::string(static_cast<const char*>(data),
                                  static_cast<size_t>(length)));
  if (st == MBX_OK && last) st = finish(conv);
  return st;
}

int Participant::finish(uint32_t conv) {
  auto it = outgoing_.find(conv);
  if (it == outgoing_.end()) return MBX_E_NOCALL;
  if (it->second.last_sent) return MBX_OK;
  if (fd_ < 0) return MBX_E_NOBUS;
  int st = send_frame(FrameType::EndOfItems, conv, 0, {});
  if (st == MBX_OK) it->second.last_sent = true;
  return st;
}

int Participant::receive(uint32_t conv, int32_t length, void* buffer,
                         int32_t* length_out) {
  auto it = outgoing_.find(conv);
  if (it == outgoing_.end()) return MBX_E_NOCALL;
  if (int st = check_read_args(length, buffer, length_out)) return st;
  return read_inbox(it->second.inbox, length, buffer, length_out);
}

void Participant::abandon(uint32_t conv) {
  auto it = outgoing_.find(conv);
  if (it == outgoing_.end()) return;
  const Outgoing& o = it->second;
  if (!o.ended && o.inbox.abort == 0 && fd_ >= 0)
    send_frame(FrameType::Abort, conv, 0, PayloadWriter().u32(MBX_E_GONE).take());
  if (o.is_call) {
    auto c = calls_.find(o.target);
    if (c != calls_.end() && c->second == conv) calls_.erase(c);
  }
  outgoing_.erase(it);
}

int Participant::control(FrameType type, std::string payload, Frame* ack) {
  if (fd_ < 0) return MBX_E_NOBUS;
  if (++ref_seq_ == 0) ++ref_seq_;
  uint32_t ref = ref_seq_;
  awaiting_ref_ = ref;
  reply_.reset();
  if (int st = send_frame(type, 0, ref, std::move(payload))) {
    awaiting_ref_ = 0;
    return st;
  }
  auto deadline = deadline_after_ms(timeout_ms_);
  while (!reply_) {
    if (fd_ < 0) {
      awaiting_ref_ = 0;
      return MBX_E_NOBUS;
    }
    if (!await(deadline) && !reply_) {
      awaiting_ref_ = 0;
      error_ = std::string("the broker did not answer ") + frame_type_name(type);
      return MBX_E_TIMEOUT;
    }
  }
  awaiting_ref_ = 0;
  Frame r = std::move(*reply_);
  reply_.reset();
  if (r.type == FrameType::Nak) {
    PayloadReader pr(r.payload);
    int32_t st = failure_status(pr.u32());
    error_ = std::string(pr.rest());
    return st;
  }
  if (ack != nullptr) *ack = std::move(r);
  return MBX_OK;
}

int Participant::send_frame(FrameType type, uint32_t conv, uint32_t ref,
                            std::string payload) {
  if (fd_ < 0) return MBX_E_NOBUS;
  Frame f;
  f.type = type;
  f.conv = conv;
  f.ref = ref;
  f.payload = std::move(payload);
  std::string bytes = encode(f);
  int st = write_all(fd_, bytes.data(), bytes.size(), deadline_after_ms(timeout_ms_));
  if (st != MBX_OK) {
    // The broker may have said why it closed before it did: read that.
    pump(0);
    if (fd_ < 0) return MBX_E_NOBUS;
    // A frame may be half written: the stream can no longer be trusted.
    lose(st == MBX_E_TIMEOUT ? "the broker does not take our frames"
                                          : "the broker connection broke");
  }
  return st;
}

bool Participant::await(Clock::time_point deadline) {
  if (fd_ < 0) return false;
  int left = remaining_ms(deadline);
  if (left == 0) {
    pump(0);
    return false;
  }
  pollfd p{fd_, POLLIN, 0};
  int r = poll(&p, 1, left);
  if (r < 0 && errno != EINTR) {
    lose(std::string("poll: ") + std::strerror(errno));
    return false;
  }
  if (r > 0) pump(0);
  return true;
}

bool Participant::pump(int wait_ms) {
  if (fd_ < 0) return false;
  if (wait_ms > 0) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, wait_ms) <= 0) return true;
  }
  static thread_local char buf[65536];
  // Bounded, so one busy sender cannot keep the caller here for ever;
  // whatever stays in the socket keeps the descriptor readable.
  for (int round = 0; round < 64; ++round) {
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
      reader_.feed(buf, static_cast<size_t>(n));
      Frame f;
      int r;
      while ((r = reader_.next(f)) == 1) {
        handle(f);
        if (fd_ < 0) return false;
      }
      if (r < 0) {
        lose("malformed frame from the broker: " + reader_.error());
        return false;
      }
      continue;
    }
    if (n == 0) {
      lose("the broker closed the connection");
      return false;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    lose(std::string("read: ") + std::strerror(errno));
    return false;
  }
  return true;
}

void Participant::handle(Frame& f) {
  switch (f.type) {
    case FrameType::Ack:
    case FrameType::Nak:
      if (f.ref == 0 || f.ref != awaiting_ref_) return;  // a late answer
      if (f.type == FrameType::Ack && opening_) {
        PayloadReader r(f.payload);
        Name request = opening_->is_call ? r.name() : opening_->target;
        if (r.failed() || f.conv == 0 || outgoing_.count(f.conv) != 0) {
          lose("the broker's answer to an opening is malformed");
          return;
        }
        Outgoing& o = outgoing_[f.conv];
        o.target = opening_->target;
        o.request = request;
        o.is_call = opening_->is_call;
      }
      reply_ = std::move(f);
      return;

    case FrameType::Deliver: {
      PayloadReader r(f.payload);
      Incoming in;
      in.conv = f.conv;
      in.request = r.name();
      in.kind = static_cast<int32_t>(r.u32());
      in.requester_id = r.u32();
      in.requester = r.name();
      if (r.failed() || incoming_.count(f.conv) != 0) {
        lose("malformed delivery from the broker");
        return;
      }
      incoming_.emplace(f.conv, std::move(in));
      pending_.push_back(f.conv);
      update_wake();
      return;
    }

    case FrameType::Item: {
      Inbox* box = nullptr;
      if (auto in = incoming_.find(f.conv); in != incoming_.end())
        box = &in->second.inbox;
      else if (auto out = outgoing_.find(f.conv); out != outgoing_.end())
        box = &out->second.inbox;
      // Items of a conversation already finished here are dropped.
      if (box != nullptr && !box->closed && box->abort == 0)
        box->items.push_back(std::move(f.payload));
      return;
    }

    case FrameType::EndOfItems:
      if (auto in = incoming_.find(f.conv); in != incoming_.end())
        in->second.inbox.closed = true;
      return;

    case FrameType::End:
      if (auto out = outgoing_.find(f.conv); out != outgoing_.end()) {
        out->second.ended = true;
        out->second.inbox.closed = true;
      }
      return;

    case FrameType::Abort: {
      int32_t st = failure_status(PayloadReader(f.payload).u32());
      if (auto in = incoming_.find(f.conv); in != incoming_.end()) {
        if (f.conv == active_) {
          in->second.inbox.abort = st;
        } else {  // never dispatched: nobody waits for an answer
          incoming_.erase(in);
          pending_.erase(std::remove(pending_.begin(), pending_.end(), f.conv),
                         pending_.end());
          update_wake();
        }
      } else if (auto out = outgoing_.find(f.conv); out != outgoing_.end()) {
        if (!out->second.ended) out->second.inbox.abort = st;
      }
      return;
    }

    case FrameType::Error: {
      PayloadReader r(f.payload);
      int32_t st = failure_status(r.u32());
      lose("the broker closed the connection: " + std::string(r.rest()) + " (status " +
           std::to_string(st) + ")");
      return;
    }

    default:
      lose(std::string("unexpected frame from the broker: ") + frame_type_name(f.type));
      return;
  }
}

void Participant::lose(std::string why) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  lost_ = true;
  error_ = std::move(why);
  for (auto it = incoming_.begin(); it != incoming_.end();) {
    if (it->first == active_) {
      if (it->second.inbox.abort == 0) it->second.inbox.abort = MBX_E_NOBUS;
      ++it;
    } else {
      it = incoming_.erase(it);
    }
  }
  pending_.clear();
  for (auto& [conv, o] : outgoing_)
    if (!o.ended && o.inbox.abort == 0) o.inbox.abort = MBX_E_NOBUS;
  update_wake();
}

void Participant::update_wake() {
  if (wake_fd_ < 0) return;
  bool want = lost_ || !pending_.empty();
  if (want == wake_on_) return;
  uint64_t v = 1;
  ssize_t r = want ? ::write(wake_fd_, &v, sizeof v) : ::read(wake_fd_, &v, sizeof v);
  if (r == static_cast<ssize_t>(sizeof v)) wake_on_ = want;
}

}  // namespace mbx
