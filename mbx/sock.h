// sock.h - Unix-domain sockets, deadlines and status texts shared by the
// bus library, the broker and cadsim.
#ifndef MBX_SOCK_H
#define MBX_SOCK_H

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mbx {

using Clock = std::chrono::steady_clock;

// MBX_SOCKET when set and not empty, else "", which stands for the
// default path (default_socket_path).
std::string socket_path_from_env();

// The default socket: mbx.sock in the user's private directory, which is
// $XDG_RUNTIME_DIR when set (absolute), else /tmp/mbx-<euid>, made with
// mode 0700 when missing.  The directory is used only when it is a real
// directory (not a symbolic link), belongs to the user and is closed to
// everyone else; otherwise the result is "" with the reason in `err`.
std::string default_socket_path(std::string& err);
// The same with the two places given: `runtime_dir` (null or "": none) and
// the directory under which the per-user one is made.
std::string private_socket_path(const char* runtime_dir, const std::string& shared_dir,
                                std::string& err);
// Turns "" into the default path; false (with `err`) when there is none.
bool resolve_socket_path(std::string& path, std::string& err);

// True when the process at the other end of the connected Unix-domain
// socket `fd` runs as this process's effective user; otherwise false with
// the reason in `err`.
bool peer_is_same_user(int fd, std::string& err);

// Fills `addr` for `path`; false when the path is empty or too long for a
// socket address.
bool make_address(const std::string& path, sockaddr_un& addr, socklen_t& len);

// Connects to the broker at `path`.  Returns a non-blocking, close-on-exec
// descriptor, or -1 with a message in `err`.
int connect_unix(const std::string& path, std::string& err);

// Milliseconds left until `deadline` (0 when past), capped to fit poll().
int remaining_ms(Clock::time_point deadline);
Clock::time_point deadline_after_ms(int64_t ms);

// Writes all of `data` to the non-blocking socket `fd`, waiting for room
// until `deadline`.  0 on success; MBX_E_TIMEOUT or MBX_E_NOBUS otherwise.
int write_all(int fd, const char* data, size_t n, Clock::time_point deadline);

// A short text for a status word, for messages.
const char* status_text(int32_t status);

}  // namespace mbx

#endif
