#include "broker.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "mbx.h"
#include "sock.h"

namespace mbx {

namespace {

// Tells a connection that is not taken why, and closes it.
void refuse(int fd, int32_t status, const std::string& why) {
  Frame f;
  f.type = FrameType::Error;
  f.payload = status_payload(status, why);
  std::string bytes = encode(f);
  (void)!::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  close(fd);
}

}  // namespace

Broker::~Broker() { shut(); }

void Broker::log(const std::string& line, bool always) const {
  if (!opts_.quiet && (always || opts_.verbose))
    std::fprintf(stderr, "mbxd: %s\n", line.c_str());
}

std::string Broker::who(const Conn& c) const {
  std::string s = "participant " + std::to_string(c.id);
  if (c.hello) s += " (" + c.name.text() + ", pid " + std::to_string(c.pid) + ")";
  return s;
}

bool Broker::open(std::string& err) {
  sockaddr_un addr;
  socklen_t len;
  if (!make_address(opts_.path, addr, len)) {
    err = "socket path empty or too long: " + opts_.path;
    return false;
  }
  struct stat st;
  if (lstat(opts_.path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      err = opts_.path + " exists and is not a socket";
      return false;
    }
    if (st.st_uid != geteuid()) {
      err = opts_.path + " belongs to uid " + std::to_string(st.st_uid) +
            ": another user holds this path";
      return false;
    }
    std::string ignored;
    int probe = connect_unix(opts_.path, ignored);
    if (probe >= 0) {
      close(probe);
      err = "another broker is serving " + opts_.path;
      return false;
    }
    unlink(opts_.path.c_str());  // left behind by a broker that is gone
  }
  listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) {
    err = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  // Only the owner's processes may join: the socket is created 0600.
  mode_t old = umask(077);
  int rc = bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), len);
  umask(old);
  if (rc != 0 || listen(listen_fd_, 64) != 0) {
    err = "cannot listen on " + opts_.path + ": " + std::strerror(errno);
    close(listen_fd_);
    listen_fd_ = -1;
    return false;
  }
  if (stat(opts_.path.c_str(), &st) == 0) inode_ = st.st_ino;
  return true;
}

void Broker::shut() {
  for (auto& [id, c] : conns_)
    if (c->fd >= 0) close(c->fd);
  conns_.clear();
  requests_.clear();
  services_.clear();
  convs_.clear();
  if (listen_fd_ >= 0) {
    close(listen_fd_);
    listen_fd_ = -1;
    // Remove the socket file only if it is still ours.
    struct stat st;
    if (stat(opts_.path.c_str(), &st) == 0 && st.st_ino == inode_)
      unlink(opts_.path.c_str());
  }
}

Broker::Conn* Broker::find(uint32_t id) {
  auto it = conns_.find(id);
  return it == conns_.end() || it->second->dead ? nullptr : it->second.get();
}

void Broker::run(volatile sig_atomic_t* stop, const sigset_t* wait_mask) {
  while (*stop == 0)
    if (serve_once(-1, wait_mask) < 0) return;
}

int Broker::serve_once(int timeout_ms, const sigset_t* wait_mask) {
  // The wait ends in time for the next connection that must have said
  // Hello, and for the next try to accept after running out of descriptors.
  int wait = timeout_ms;
  auto shorten = [&wait](int ms) {
    if (ms >= 0 && (wait < 0 || ms < wait)) wait = ms;
  };
  shorten(expire_silent());
  if (accept_paused_) {
    int left = remaining_ms(accept_retry_);
    if (left == 0)
      accept_paused_ = false;
    else
      shorten(left);
  }
  std::vector<pollfd> fds;
  std::vector<uint32_t> ids;
  // -1 (no listening socket, or accepting paused) is skipped.
  fds.push_back({accept_paused_ ? -1 : listen_fd_, POLLIN, 0});
  for (auto& [id, c] : conns_) {
    short ev = POLLIN;
    if (c->out.size() > c->out_pos) ev |= POLLOUT;
    fds.push_back({c->fd, ev, 0});
    ids.push_back(id);
  }
  timespec ts{wait / 1000, (wait % 1000) * 1000000L};
  int r = ppoll(fds.data(), fds.size(), wait < 0 ? nullptr : &ts, wait_mask);
  if (r < 0) {
    if (errno == EINTR) return 0;
    log(std::string("poll: ") + std::strerror(errno), true);
    return -1;
  }
  if (fds[0].fd >= 0 && (fds[0].revents & POLLIN)) accept_all();
  for (size_t i = 0; i < ids.size(); ++i) {
    short rev = fds[i + 1].revents;
    if (Conn* c = find(ids[i]); c != nullptr && (rev & POLLOUT)) flush(*c);
    if (Conn* c = find(ids[i]); c != nullptr && (rev & (POLLIN | POLLHUP | POLLERR)))
      read_from(*c);
  }
  expire_silent();
  // Hand out what was queued in this round, then bury the dead: each
  // descriptor freed lets accepting resume.
  for (auto& [id, c] : conns_)
    if (!c->dead && c->out.size() > c->out_pos) flush(*c);
  for (auto it = conns_.begin(); it != conns_.end();) {
    if (it->second->dead) {
      close(it->second->fd);
      accept_paused_ = false;
      it = conns_.erase(it);
    } else {
      ++it;
    }
  }
  return r;
}

void Broker::accept_all() {
  for (;;) {
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // The connection stays queued; polling the listening socket now
        // would only wake us again at once.
        log(std::string("accept: ") + std::strerror(errno) +
                ": not accepting until a descriptor is free",
            true);
        accept_paused_ = true;
        accept_retry_ = deadline_after_ms(1000);
      } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
        log(std::string("accept: ") + std::strerror(errno), true);
      }
      return;
    }
    // Only this user's processes: another user's could read every request
    // and call every service of the bus.
    std::string why;
    if (!peer_is_same_user(fd, why)) {
      refuse(fd, MBX_E_NOBUS, "the broker takes only its own user's processes");
      log("refused a connection: " + why, true);
      continue;
    }
    adopt(fd);
  }
}

int Broker::expire_silent() {
  auto now = Clock::now();
  int next = -1;
  for (auto& [id, c] : conns_) {
    if (c->hello || c->dead) continue;
    if (now >= c->hello_by) {
      kill(*c, MBX_E_TIMEOUT,
           "no Hello within " + std::to_string(opts_.hello_timeout_ms) + " ms");
      continue;
    }
    int left = remaining_ms(c->hello_by);
    if (next < 0 || left < next) next = left;
  }
  return next;
}

uint32_t Broker::new_conv_id() {
  // At most convs_.size() numbers are taken: one more try finds a free one
  // unless the whole range is in use.
  uint32_t max = opts_.max_conversation == 0 ? 1 : opts_.max_conversation;
  for (size_t tries = 0; tries <= convs_.size(); ++tries) {
    uint32_t id = next_conv_ > max ? 1 : next_conv_;
    next_conv_ = id >= max ? 1 : id + 1;
    if (convs_.count(id) == 0) return id;
  }
  return 0;
}

uint32_t Broker::adopt(int fd) {
  if (conns_.size() >= opts_.max_participants) {
    refuse(fd, MBX_E_LIMIT, "too many participants");
    log("refused a participant: too many participants", true);
    return 0;
  }
  auto c = std::make_unique<Conn>();
  c->id = next_id_++;
  c->fd = fd;
  c->hello_by = deadline_after_ms(opts_.hello_timeout_ms);
  log("participant " + std::to_string(c->id) + " connected");
  uint32_t id = c->id;
  conns_.emplace(id, std::move(c));
  return id;
}

void Broker::read_from(Conn& c) {
  static char buf[65536];
  // A few reads per wake-up, so one busy participant cannot starve others.
  for (int round = 0; round < 16 && !c.dead; ++round) {
    ssize_t n = ::read(c.fd, buf, sizeof buf);
    if (n > 0) {
      c.reader.feed(buf, static_cast<size_t>(n));
      Frame f;
      int r;
      while (!c.dead && (r = c.reader.next(f)) == 1) on_frame(c, f);
      if (!c.dead && r < 0) kill(c, MBX_E_PROTOCOL, "malformed frame: " + c.reader.error());
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    // End of stream or a broken connection: the participant is gone.
    std::string why = n == 0 ? "left" : std::string("connection broke: ") + std::strerror(errno);
    if (c.reader.buffered() > 0) why += " in the middle of a frame";
    kill(c, 0, why);
    return;
  }
}

void Broker::flush(Conn& c) {
  while (c.out_pos < c.out.size()) {
    ssize_t w = ::send(c.fd, c.out.data() + c.out_pos, c.out.size() - c.out_pos,
                       MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w > 0) {
      c.out_pos += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    kill(c, 0, std::string("connection broke: ") + std::strerror(errno));
    return;
  }
  if (c.out_pos == c.out.size()) {
    c.out.clear();
    c.out_pos = 0;
  } else if (c.out_pos > (1u << 20)) {
    c.out.erase(0, c.out_pos);
    c.out_pos = 0;
  }
}

void Broker::send(Conn& c, FrameType type, uint32_t conv, uint32_t ref,
                  std::string payload) {
  if (c.dead) return;
  Frame f;
  f.type = type;
  f.conv = conv;
  f.ref = ref;
  f.payload = std::move(payload);
  c.out += encode(f);
  if (c.out.size() - c.out_pos > opts_.max_out_queue)
    kill(c, MBX_E_LIMIT, "does not read its traffic");
}

void Broker::nak(Conn& c, uint32_t ref, int32_t status, const std::string& text) {
  send(c, FrameType::Nak, 0, ref, status_payload(status, text));
  log(who(c) + ": refused: " + text);
}

void Broker::kill(Conn& c, int32_t status, const std::string& why) {
  if (c.dead) return;
  c.dead = true;
  if (status != 0) {
    // Tell it why, then close: what it sent can no longer be framed.
    Frame f;
    f.type = FrameType::Error;
    f.payload = status_payload(status, why);
    c.out += encode(f);
    flush(c);
    log(who(c) + ": disconnected: " + why, true);
  } else {
    log(who(c) + " " + why, c.reader.buffered() > 0);
  }
  std::set<uint32_t> convs = c.convs;
  for (uint32_t id : convs) end_conv(id, MBX_E_GONE, MBX_E_GONE);
  for (auto it = requests_.begin(); it != requests_.end();)
    it = it->second == c.id ? requests_.erase(it) : std::next(it);
  for (auto it = services_.begin(); it != services_.end();)
    it = it->second.owner == c.id ? services_.erase(it) : std::next(it);
}

// Ends a conversation, sending Abort with the given status to each side
// that is still there (0: that side is not told).
void Broker::end_conv(uint32_t id, int32_t requester_status, int32_t handler_status) {
  auto it = convs_.find(id);
  if (it == convs_.end()) return;
  Conv conv = it->second;
  convs_.erase(it);
  if (Conn* r = find(conv.requester)) {
    r->convs.erase(id);
    if (r->opened > 0) --r->opened;
    if (requester_status != 0)
      send(*r, FrameType::Abort, id, 0, PayloadWriter().u32(requester_status).take());
  } else if (auto rc = conns_.find(conv.requester); rc != conns_.end()) {
    rc->second->convs.erase(id);
  }
  if (Conn* h = find(conv.handler)) {
    h->convs.erase(id);
    if (handler_status != 0)
      send(*h, FrameType::Abort, id, 0, PayloadWriter().u32(handler_status).take());
  } else if (auto hc = conns_.find(conv.handler); hc != conns_.end()) {
    hc->second->convs.erase(id);
  }
}

void Broker::on_frame(Conn& c, Frame& f) {
  if (!c.hello && f.type != FrameType::Hello)
    return kill(c, MBX_E_PROTOCOL, "Hello expected first");
  PayloadReader r(f.payload);
  switch (f.type) {
    case FrameType::Hello: {
      if (c.hello) return kill(c, MBX_E_PROTOCOL, "second Hello");
      uint32_t version = r.u32();
      c.pid = r.u32();
      c.name = r.name();
      if (version != kProtocolVersion)
        return kill(c, MBX_E_PROTOCOL,
                    "protocol version " + std::to_string(version) + " not served");
      if (r.failed()) return kill(c, MBX_E_PROTOCOL, "bad participant name");
      c.hello = true;
      send(c, FrameType::Ack, 0, f.ref, PayloadWriter().u32(c.id).take());
      log(who(c) + " joined");
      return;
    }
    case FrameType::Register: {
      Name name = r.name();
      if (r.failed()) return nak(c, f.ref, MBX_E_ARG, "bad request name");
      if (c.ready) return nak(c, f.ref, MBX_E_STATE, "set-up has ended");
      auto it = requests_.find(name);
      if (it != requests_.end() && it->second != c.id)
        return nak(c, f.ref, MBX_E_TAKEN,
                   "request " + name.text() + " is registered by participant " +
                       std::to_string(it->second));
      requests_[name] = c.id;
      send(c, FrameType::Ack, 0, f.ref, {});
      log(who(c) + " registered request " + name.text());
      return;
    }
    case FrameType::Declare: {
      Name service = r.name();
      auto version = static_cast<int32_t>(r.u32());
      Name request = r.name();
      if (r.failed()) return nak(c, f.ref, MBX_E_ARG, "bad service or request name");
      if (c.ready) return nak(c, f.ref, MBX_E_STATE, "set-up has ended");
      auto it = services_.find(service);
      if (it != services_.end() && it->second.owner != c.id)
        return nak(c, f.ref, MBX_E_TAKEN,
                   "service " + service.text() + " is declared by participant " +
                       std::to_string(it->second.owner));
      services_[service] = Service{c.id, version, request};
      send(c, FrameType::Ack, 0, f.ref, {});
      log(who(c) + " declared service " + service.text() + " version " +
          std::to_string(version) + " for request " + request.text());
      return;
    }
    case FrameType::Ready: {
      Name label = r.name();
      if (r.failed()) return nak(c, f.ref, MBX_E_ARG, "bad set-up name");
      if (c.ready) return nak(c, f.ref, MBX_E_STATE, "set-up has already ended");
      c.ready = true;
      send(c, FrameType::Ack, 0, f.ref, {});
      log(who(c) + " ended set-up " + label.text());
      return;
    }
    case FrameType::Request:
      return on_open(c, f, false);
    case FrameType::Call:
      return on_open(c, f, true);
    case FrameType::Item:
      return on_item(c, f);
    case FrameType::EndOfItems: {
      auto it = convs_.find(f.conv);
      if (it == convs_.end() || it->second.requester != c.id || it->second.eoi) return;
      it->second.eoi = true;
      if (Conn* h = find(it->second.handler)) send(*h, FrameType::EndOfItems, f.conv, 0, {});
      return;
    }
    case FrameType::End: {
      auto it = convs_.find(f.conv);
      if (it == convs_.end() || it->second.handler != c.id) return;
      uint32_t requester = it->second.requester;
      end_conv(f.conv, 0, 0);
      if (Conn* q = find(requester)) send(*q, FrameType::End, f.conv, 0, {});
      return;
    }
    case FrameType::Abort: {
      auto it = convs_.find(f.conv);
      if (it == convs_.end()) return;
      // The other side learns the sender's reason; one that reads as
      // success becomes "gone".
      auto st = static_cast<int32_t>(r.u32());
      if (st == MBX_OK || st == MBX_TRUNCATED) st = MBX_E_GONE;
      const Conv& conv = it->second;
      if (conv.requester == c.id)
        end_conv(f.conv, 0, st);
      else if (conv.handler == c.id)
        end_conv(f.conv, st, 0);
      return;
    }
    default:
      return kill(c, MBX_E_PROTOCOL,
                  std::string("a participant may not send ") + frame_type_name(f.type));
  }
}

void Broker::on_open(Conn& c, Frame& f, bool is_call) {
  PayloadReader r(f.payload);
  Name name = r.name();
  auto word = static_cast<int32_t>(r.u32());
  if (r.failed()) return nak(c, f.ref, MBX_E_ARG, "bad name");

  uint32_t owner = 0;
  Name request = name;
  int32_t kind = word;
  if (is_call) {
    auto it = services_.find(name);
    Conn* h = it == services_.end() ? nullptr : find(it->second.owner);
    if (h == nullptr || !h->ready)
      return nak(c, f.ref, MBX_E_UNKNOWN, "no participant declares service " + name.text());
    if (it->second.version != word)
      return nak(c, f.ref, MBX_E_VERSION,
                 "service " + name.text() + " has version " +
                     std::to_string(it->second.version) + ", not " + std::to_string(word));
    owner = h->id;
    request = it->second.request;
    kind = 0;
  } else {
    auto it = requests_.find(name);
    Conn* h = it == requests_.end() ? nullptr : find(it->second);
    if (h == nullptr || !h->ready)
      return nak(c, f.ref, MBX_E_UNKNOWN, "no participant serves request " + name.text());
    owner = h->id;
  }
  if (owner == c.id)
    return nak(c, f.ref, MBX_E_ARG, "a participant cannot address itself");
  if (c.opened >= opts_.max_open_per_requester)
    return nak(c, f.ref, MBX_E_LIMIT, "too many open conversations");

  // After the numbers wrap, one still in use is passed over.
  uint32_t id = new_conv_id();
  if (id == 0) return nak(c, f.ref, MBX_E_LIMIT, "no free conversation number");
  Conn& h = *find(owner);
  Conv conv;
  conv.requester = c.id;
  conv.handler = owner;
  conv.name = request;
  convs_.emplace(id, conv);
  c.convs.insert(id);
  ++c.opened;
  h.convs.insert(id);
  send(c, FrameType::Ack, id, f.ref,
       is_call ? PayloadWriter().name(request).take() : std::string());
  send(h, FrameType::Deliver, id, 0,
       PayloadWriter()
           .name(request)
           .u32(static_cast<uint32_t>(kind))
           .u32(c.id)
           .name(c.name)
           .take());
  log(who(c) + (is_call ? " calls " : " requests ") + name.text() + " from " + who(h) +
      ", conversation " + std::to_string(id));
}

void Broker::on_item(Conn& c, Frame& f) {
  auto it = convs_.find(f.conv);
  if (it == convs_.end()) return;  // ended already; late items are dropped
  Conv& conv = it->second;
  int dir;
  if (conv.requester == c.id)
    dir = 0;
  else if (conv.handler == c.id)
    dir = 1;
  else
    return;  // not a side of it
  if (dir == 0 && conv.eoi) {
    log(who(c) + ": item after the last item, conversation " + std::to_string(f.conv) +
            " ended",
        true);
    return end_conv(f.conv, MBX_E_PROTOCOL, MBX_E_GONE);
  }
  if (++conv.items[dir] > opts_.max_conv_items ||
      (conv.bytes[dir] += f.payload.size()) > opts_.max_conv_bytes) {
    log("conversation " + std::to_string(f.conv) + " too large, ended", true);
    return end_conv(f.conv, MBX_E_TOOBIG, MBX_E_TOOBIG);
  }
  uint32_t to = dir == 0 ? conv.handler : conv.requester;
  if (Conn* t = find(to)) send(*t, FrameType::Item, f.conv, 0, std::move(f.payload));
}

}  // namespace mbx
