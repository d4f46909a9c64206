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

// MBX_SOCKET when set and not empty, else /tmp/mbx-<uid>.sock.
std::string socket_path_from_env();

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
