// trace.cpp - the trace file, the form of its lines, and the lines of the
// callbacks; see trace.hpp.
#include "trace.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "fapi_stubs.h"

namespace fdk::trace {

int state = -1;

namespace {

int trace_fd = -1;

// Room kept at the end of a line for the cut mark and the newline.
constexpr char kCutMark[] = " ...(line cut)";
constexpr std::size_t kReserve = sizeof kCutMark;

}  // namespace

// The file is opened for appending and created private to the user.  Its
// last component is never followed when it is a symbolic link (a link
// planted where the trace is expected would otherwise make the client
// append to whatever it points at); the directories above it are taken
// as they are.  O_NONBLOCK keeps a FIFO without a reader from hanging the
// open; it is cleared again so that no line is lost to a full pipe.
bool settle() {
  if (state >= 0) return state > 0;
  state = 0;
  const char *path = std::getenv("FDK_TRACE");
  if (path == nullptr || path[0] == '\0') return false;
  if (std::strcmp(path, "-") == 0) {
    trace_fd = STDERR_FILENO;
  } else {
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                  0600);
    if (fd < 0) {
      std::fprintf(stderr, "FDK_TRACE: cannot open %s (%s); nothing is traced\n", path,
                   std::strerror(errno));
      return false;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) (void)fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    trace_fd = fd;
  }
  state = 1;
  return true;
}

void reset() {
  if (trace_fd > STDERR_FILENO) close(trace_fd);
  trace_fd = -1;
  state = -1;
}

Line::Line() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm utc {};
  gmtime_r(&now.tv_sec, &utc);
  char stamp[64];
  int n = std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ %ld ",
                        utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                        utc.tm_min, utc.tm_sec, now.tv_nsec / 1000, static_cast<long>(getpid()));
  text(std::string_view(stamp, n > 0 ? static_cast<std::size_t>(n) : 0));
}

Line &Line::text(std::string_view s) {
  std::size_t room = kLineMax - kReserve - len_;
  if (s.size() > room) {
    cut_ = true;
    s = s.substr(0, room);
  }
  std::memcpy(buf_ + len_, s.data(), s.size());
  len_ += s.size();
  return *this;
}

Line &Line::number(long long n) {
  char digits[24];
  int k = std::snprintf(digits, sizeof digits, "%lld", n);
  return text(std::string_view(digits, k > 0 ? static_cast<std::size_t>(k) : 0));
}

Line &Line::quoted(const void *data, std::size_t length) {
  if (data == nullptr) return text("null");
  const auto *p = static_cast<const unsigned char *>(data);
  std::size_t shown = length < kStringMax ? length : kStringMax;
  text("\"");
  for (std::size_t i = 0; i < shown; ++i) {
    unsigned char c = p[i];
    char esc[5] = {'\\', 0, 0, 0, 0};
    switch (c) {
    case '"': esc[1] = '"'; break;
    case '\\': esc[1] = '\\'; break;
    case '\n': esc[1] = 'n'; break;
    case '\r': esc[1] = 'r'; break;
    case '\t': esc[1] = 't'; break;
    case '\0': esc[1] = '0'; break;
    default:
      if (c >= 0x20 && c < 0x7f) {
        text(std::string_view(reinterpret_cast<const char *>(p + i), 1));
        continue;
      }
      std::snprintf(esc + 1, sizeof esc - 1, "x%02x", c);
    }
    text(esc);
  }
  text("\"");
  if (shown < length) text("...(").number(static_cast<long long>(length)).text(" bytes)");
  return *this;
}

void Line::write() {
  if (cut_) {
    std::memcpy(buf_ + len_, kCutMark, sizeof kCutMark - 1);
    len_ += sizeof kCutMark - 1;
  }
  buf_[len_++] = '\n';
  if (trace_fd < 0) return;
  // One write: a short or failed one loses (the rest of) the line, nothing
  // else; the client goes on as if untraced.
  ssize_t n;
  do {
    n = ::write(trace_fd, buf_, len_);
  } while (n < 0 && errno == EINTR);
}

int procedure_of(void (*stub)()) {
  struct Row {
    void (*stub)();
    int number;
  };
  static const Row rows[] = {
#define FAPI_PROC(number, CONSTANT, stub, Arg, Res) \
  {reinterpret_cast<void (*)()>(&stub), number},
#include "fapi_procs.def"
  };
  for (const Row &r : rows)
    if (r.stub == stub) return r.number;
  return 0;
}

namespace {

template <class Arg> void callback_args(Line &line, const void *args) {
  line.text("(").fields(*static_cast<const Arg *>(args)).text(")");
}

}  // namespace

void callback(unsigned long proc, const void *args, Over over) {
  if (!on()) return;
  Line line;
  line.text("callback ").number(static_cast<long long>(proc)).text(" ");
  switch (proc) {
  case 1: line.text("quit ()"); break;
  case 2: callback_args<FmApiInitArgT>(line.text("init "), args); break;
  case 3: callback_args<FmApiCommandArgT>(line.text("command "), args); break;
  case 4: callback_args<FmApiMessageArgT>(line.text("message "), args); break;
  case 5: callback_args<Fm4ApiNotifyArgT>(line.text("old-notify "), args); break;
  case 6: callback_args<FmApiDialogEventArgT>(line.text("dialog-event "), args); break;
  case 7: callback_args<FmApiNotifyArgT>(line.text("notify "), args); break;
  default: line.text("?"); break;
  }
  switch (over) {
  case Over::kNone: line.text(" over=none"); break;
  case Over::kRuntime: line.text(" over=runtime"); break;
  case Over::kEntryPoint: line.text(" over=entry-point"); break;
  case Over::kRefused: line.text(" over=none refused=nested"); break;
  }
  line.text(" FA_bailout=").number(FA_bailout);
  line.write();
}

}  // namespace fdk::trace

extern "C" {

IntT F_ApiTracing(void) { return fdk::trace::on() ? 1 : 0; }

void F_ApiTrace(const void *data, IntT length, const char *format, ...) {
  if (!fdk::trace::on()) return;
  char text[fdk::trace::kLineMax];
  int n = 0;
  if (format != nullptr) {
    va_list ap;
    va_start(ap, format);
    n = std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
  }
  fdk::trace::Line line;
  line.text(std::string_view(text, n < 0 ? 0 : std::min<std::size_t>(n, sizeof text - 1)));
  if (data != nullptr) line.text(" ").quoted(data, length > 0 ? static_cast<std::size_t>(length) : 0);
  line.write();
}

}  // extern "C"
