#include "sock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mbx.h"

namespace mbx {

std::string socket_path_from_env() {
  const char* env = std::getenv("MBX_SOCKET");
  return env != nullptr ? env : "";
}

namespace {

// A directory only this user can enter: a real directory (lstat, so a
// symbolic link planted in its place is refused), owned by the user, with
// no access for group or others.
bool private_dir(const std::string& dir, std::string& err) {
  struct stat st;
  if (lstat(dir.c_str(), &st) != 0) {
    err = "cannot use " + dir + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    err = dir + " is not a directory (a symbolic link or another file): not using it";
    return false;
  }
  if (st.st_uid != geteuid()) {
    err = dir + " belongs to uid " + std::to_string(st.st_uid) +
          ", not to this user: someone else holds the bus's directory";
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    err = dir + " is open to other users (mode " + mode + "): not using it";
    return false;
  }
  return true;
}

}  // namespace

std::string private_socket_path(const char* runtime_dir, const std::string& shared_dir,
                                std::string& err) {
  std::string dir;
  if (runtime_dir != nullptr && runtime_dir[0] == '/') {
    dir = runtime_dir;
  } else {
    dir = shared_dir + "/mbx-" + std::to_string(geteuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      err = "cannot make " + dir + ": " + std::strerror(errno);
      return "";
    }
  }
  if (!private_dir(dir, err)) return "";
  return dir + "/mbx.sock";
}

std::string default_socket_path(std::string& err) {
  return private_socket_path(std::getenv("XDG_RUNTIME_DIR"), "/tmp", err);
}

bool resolve_socket_path(std::string& path, std::string& err) {
  if (!path.empty()) return true;
  path = default_socket_path(err);
  return !path.empty();
}

bool peer_is_same_user(int fd, std::string& err) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
    err = std::string("cannot tell who is at the other end: ") + std::strerror(errno);
    return false;
  }
  if (cred.uid != geteuid()) {
    err = "the other end runs as uid " + std::to_string(cred.uid) + " (pid " +
          std::to_string(cred.pid) + "), not as this user";
    return false;
  }
  return true;
}

bool make_address(const std::string& path, sockaddr_un& addr, socklen_t& len) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return true;
}

int connect_unix(const std::string& path, std::string& err) {
  sockaddr_un addr;
  socklen_t len;
  if (!make_address(path, addr, len)) {
    err = "socket path empty or too long: " + path;
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    err = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  // A local connect completes or fails at once; go non-blocking after it.
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    err = "cannot reach the broker at " + path + ": " + std::strerror(errno);
    close(fd);
    return -1;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    err = std::string("fcntl: ") + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

int remaining_ms(Clock::time_point deadline) {
  auto now = Clock::now();
  if (now >= deadline) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

Clock::time_point deadline_after_ms(int64_t ms) {
  return Clock::now() + std::chrono::milliseconds(ms);
}

int write_all(int fd, const char* data, size_t n, Clock::time_point deadline) {
  size_t done = 0;
  while (done < n) {
    ssize_t w = send(fd, data + done, n - done, MSG_NOSIGNAL);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      int left = remaining_ms(deadline);
      if (left == 0) return MBX_E_TIMEOUT;
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, left) < 0 && errno != EINTR) return MBX_E_NOBUS;
      continue;
    }
    return MBX_E_NOBUS;
  }
  return MBX_OK;
}

const char* status_text(int32_t status) {
  switch (status) {
    case MBX_OK: return "success";
    case MBX_E_NOBUS: return "not on the bus";
    case MBX_TRUNCATED: return "item cut to the length asked";
    case MBX_E_ARG: return "bad argument";
    case MBX_E_NOITEM: return "no further item";
    case MBX_E_NOREQUEST: return "not inside a request";
    case MBX_E_UNKNOWN: return "nobody serves that name";
    case MBX_E_VERSION: return "service version differs";
    case MBX_E_TIMEOUT: return "timed out";
    case MBX_E_GONE: return "the other side left";
    case MBX_E_STATE: return "out of order";
    case MBX_E_TAKEN: return "name taken";
    case MBX_E_TOOBIG: return "too large";
    case MBX_E_NOCALL: return "no open call";
    case MBX_E_NOMESSAGE: return "no message waiting";
    case MBX_E_LIMIT: return "broker limit reached";
    case MBX_E_PROTOCOL: return "protocol error";
    case MBX_E_SYSTEM: return "system error";
  }
  return "unknown status";
}

}  // namespace mbx
