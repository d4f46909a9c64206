// cadsim - plays the CAD side of the bus from the command line.
//
//   cadsim [OPTIONS] request NAME [--kind N] [--wait] STEP...
//     Sends the request NAME with event kind N (default 0), then runs the
//     steps in order:
//       --item TEXT      send TEXT as one item (its bytes, no terminator)
//       --item-hex HEX   send the bytes given as hex pairs
//       --item-fill N    send N bytes 'x'
//       --read           wait for the next reply item and print it
//       --pause MS       wait MS milliseconds
//       --die            leave at once, without ending (exit status 3)
//     then tells the handler no further item comes, prints the remaining
//     reply items, and "end" once the handler has returned.  --wait: while
//     nobody serves NAME, try again until the time limit.
//
//   cadsim [OPTIONS] call SERVICE [--service-version N] [--wait] STEP...
//     The same for a call to the service SERVICE (version 1 by default).
//
//   cadsim [OPTIONS] serve SERVICE [--request NAME] [--service-version N]
//          [--count N] [--items N] [--abort-after-items N]
//          [--reply TEXT | --reply-hex HEX | --reply-fill N]...
//     Declares SERVICE (version 1, served as request NAME, default SERVICE),
//     prints "ready", and answers each call: prints "call K", reads the
//     call's items (all of them, or N with --items) and prints each, sends
//     the replies in order, prints "replied K".  Ends after --count calls,
//     on SIGTERM or SIGINT, or at the time limit.  --abort-after-items N:
//     leave abruptly (exit status 3) once N items of a call were read.
//
//   OPTIONS: --socket PATH (default MBX_SOCKET, else the user's default
//            socket, see sock.h),
//            --timeout SECONDS (whole run; default 30, serve 300),
//            --name NAME (participant name, default CADSIM)
//
//   cadsim --help | --version
//
// Each item is printed as "item LENGTH TEXT", TEXT as mbx::escape() writes
// it.  Exit status 0 on success, 1 on a bus failure or time-out, 2 on a
// usage error.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fdk_version.h"
#include "mbx.h"
#include "name.h"
#include "participant.h"
#include "sock.h"
#include "text.h"

namespace {

struct Step {
  enum Kind { Item, Read, Pause, Die } kind;
  std::string data;
  long ms = 0;
};

struct Options {
  std::string mode, target;
  std::string socket = mbx::socket_path_from_env();
  long timeout_s = -1;
  std::string name = "CADSIM";
  // request
  int32_t kind = 0;
  bool wait = false;
  std::vector<Step> steps;
  // serve
  std::string request;
  int32_t version = 1;
  long count = 0;
  long items = -1;
  long abort_after = -1;
  std::vector<std::string> replies;
};

volatile sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

const char kUsage[] =
    "usage: cadsim [--socket PATH] [--timeout S] [--name NAME] request NAME\n"
    "              [--kind N] [--wait] [--item TEXT | --item-hex HEX |\n"
    "              --item-fill N | --read | --pause MS | --die]...\n"
    "       cadsim [OPTIONS] call SERVICE [--service-version N] [--wait] STEP...\n"
    "       cadsim [--socket PATH] [--timeout S] [--name NAME] serve SERVICE\n"
    "              [--request NAME] [--service-version N] [--count N] [--items N]\n"
    "              [--abort-after-items N]\n"
    "              [--reply TEXT | --reply-hex HEX | --reply-fill N]...\n"
    "       cadsim --help | --version\n";

[[noreturn]] void usage(const std::string& why) {
  std::fprintf(stderr, "cadsim: %s\n%s", why.c_str(), kUsage);
  std::exit(2);
}

// --help and --version: TEXT on standard output, exit status 0.
[[noreturn]] void answer(const char* text) {
  std::fputs(text, stdout);
  std::exit(0);
}

long number(const char* s, long lo, long hi, const char* what) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (errno != 0 || end == s || *end != '\0' || v < lo || v > hi)
    usage(std::string("bad ") + what + ": " + s);
  return v;
}

std::string bytes_of(const std::string& opt, const char* arg) {
  if (opt.ends_with("-hex")) {
    auto b = mbx::from_hex(arg);
    if (!b) usage("bad hex bytes: " + std::string(arg));
    return *b;
  }
  if (opt.ends_with("-fill"))
    return std::string(static_cast<size_t>(number(arg, 0, 1 << 24, "fill size")), 'x');
  return arg;
}

mbx::Name name_arg(const std::string& s) {
  auto n = mbx::Name::from_text(s);
  if (!n) usage("bad name (1 to 8 printable characters): " + s);
  return *n;
}

Options parse(int argc, char** argv) {
  Options o;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) usage(a + " needs a value");
      return argv[++i];
    };
    if (a == "--help") answer(kUsage);
    else if (a == "--version") answer("cadsim " FDK_VERSION "\n");
    else if (a == "--socket") o.socket = value();
    else if (a == "--timeout") o.timeout_s = number(value(), 1, 86400, "time limit");
    else if (a == "--name") o.name = value();
    else if (a == "--kind") o.kind = static_cast<int32_t>(number(value(), INT32_MIN, INT32_MAX, "kind"));
    else if (a == "--wait") o.wait = true;
    else if (a == "--item" || a == "--item-hex" || a == "--item-fill")
      o.steps.push_back({Step::Item, bytes_of(a, value())});
    else if (a == "--read") o.steps.push_back({Step::Read, {}});
    else if (a == "--pause") o.steps.push_back({Step::Pause, {}, number(value(), 0, 3600000, "pause")});
    else if (a == "--die") o.steps.push_back({Step::Die, {}});
    else if (a == "--request") o.request = value();
    else if (a == "--service-version")
      o.version = static_cast<int32_t>(number(value(), INT32_MIN, INT32_MAX, "service version"));
    else if (a == "--count") o.count = number(value(), 0, 1000000, "count");
    else if (a == "--items") o.items = number(value(), 0, 1000000, "item count");
    else if (a == "--abort-after-items") o.abort_after = number(value(), 0, 1000000, "item count");
    else if (a == "--reply" || a == "--reply-hex" || a == "--reply-fill")
      o.replies.push_back(bytes_of(a, value()));
    else if (a.starts_with("--")) usage("unknown option " + a);
    else words.push_back(a);
  }
  if (words.size() != 2) usage("expected a mode and a name");
  o.mode = words[0];
  o.target = words[1];
  if (o.mode != "request" && o.mode != "call" && o.mode != "serve") usage("unknown mode " + o.mode);
  if (o.timeout_s < 0) o.timeout_s = o.mode == "serve" ? 300 : 30;
  if (o.request.empty()) o.request = o.target;
  name_arg(o.target);
  name_arg(o.request);
  return o;
}

int fail(const mbx::Participant& p, const std::string& what, int st) {
  std::fprintf(stderr, "cadsim: %s: %s (status %d)%s%s\n", what.c_str(),
               mbx::status_text(st), st, p.last_error().empty() ? "" : ": ",
               p.last_error().c_str());
  return 1;
}

void print_item(const std::string& bytes) {
  std::printf("item %zu %s\n", bytes.size(), mbx::escape(bytes).c_str());
  std::fflush(stdout);
}

// Reads the next reply item; MBX_OK with `out` filled, or a failure.
int receive_item(mbx::Participant& p, uint32_t conv, std::string& out) {
  int32_t size = 0;
  int st = p.receive(conv, 0, nullptr, &size);
  if (st != MBX_OK) return st;
  out.assign(static_cast<size_t>(size), '\0');
  int32_t got = 0;
  st = p.receive(conv, size, out.data(), &got);
  out.resize(static_cast<size_t>(got));
  return st == MBX_TRUNCATED ? MBX_OK : st;
}

// Every wait of the participant ends by the run's deadline at the latest.
void bound(mbx::Participant& p, mbx::Clock::time_point deadline) {
  p.set_timeout_ms(std::max(1, mbx::remaining_ms(deadline)));
}

int run_request(const Options& o, mbx::Participant& p, mbx::Clock::time_point deadline) {
  mbx::Name target = name_arg(o.target);
  uint32_t conv = 0;
  int st;
  for (;;) {
    bound(p, deadline);
    st = o.mode == "call" ? p.open_call(target, o.version, &conv)
                          : p.open_request(target, o.kind, &conv);
    if (st != MBX_E_UNKNOWN || !o.wait || mbx::remaining_ms(deadline) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (st != MBX_OK) return fail(p, o.mode + " " + o.target, st);

  for (const Step& s : o.steps) {
    switch (s.kind) {
      case Step::Item:
        st = p.send(conv, s.data.data(), static_cast<int32_t>(s.data.size()), false);
        if (st != MBX_OK) return fail(p, "sending an item", st);
        break;
      case Step::Read: {
        std::string item;
        bound(p, deadline);
        st = receive_item(p, conv, item);
        if (st == MBX_E_NOITEM) {
          std::printf("end\n");
          std::fflush(stdout);
          std::fprintf(stderr, "cadsim: the handler returned before a reply item came\n");
          return 1;
        }
        if (st != MBX_OK) return fail(p, "reading a reply item", st);
        print_item(item);
        break;
      }
      case Step::Pause:
        std::this_thread::sleep_for(std::chrono::milliseconds(s.ms));
        break;
      case Step::Die:
        std::fflush(stdout);
        _exit(3);
    }
  }
  st = p.finish(conv);
  if (st != MBX_OK) return fail(p, "ending the items", st);
  for (;;) {
    std::string item;
    bound(p, deadline);
    st = receive_item(p, conv, item);
    if (st == MBX_E_NOITEM) break;
    if (st != MBX_OK) {
      p.abandon(conv);
      return fail(p, "waiting for the handler", st);
    }
    print_item(item);
  }
  std::printf("end\n");
  std::fflush(stdout);
  p.abandon(conv);
  return 0;
}

int run_serve(const Options& o, mbx::Participant& p, mbx::Clock::time_point deadline) {
  mbx::Name service = name_arg(o.target);
  mbx::Name request = name_arg(o.request);
  long served = 0;

  auto handler = [&](int32_t* /*kind*/, void* /*value*/) {
    ++served;
    std::printf("call %ld\n", served);
    std::fflush(stdout);
    long read_count = 0;
    while (o.items < 0 || read_count < o.items) {
      if (read_count == o.abort_after) {
        std::fflush(stdout);
        _exit(3);
      }
      int32_t size = 0;
      bound(p, deadline);
      int st = p.read(0, nullptr, &size);
      if (st == MBX_E_NOITEM) break;
      if (st != MBX_OK) {
        fail(p, "reading an item of the call", st);
        break;
      }
      std::string item(static_cast<size_t>(size), '\0');
      int32_t got = 0;
      st = p.read(size, item.data(), &got);
      item.resize(static_cast<size_t>(got));
      print_item(item);
      ++read_count;
    }
    if (read_count == o.abort_after) {
      std::fflush(stdout);
      _exit(3);
    }
    for (const std::string& r : o.replies) {
      int st = p.write(r.data(), static_cast<int32_t>(r.size()));
      if (st != MBX_OK) fail(p, "sending a reply item", st);
    }
    std::printf("replied %ld\n", served);
    std::fflush(stdout);
  };

  int st = p.register_request(request, handler);
  if (st == MBX_OK) st = p.declare(service, o.version, request);
  if (st == MBX_OK) st = p.end_setup(*mbx::Name::from_text("MBX_0000"));
  if (st != MBX_OK) return fail(p, "declaring " + o.target, st);
  std::printf("ready\n");
  std::fflush(stdout);

  while (g_stop == 0 && (o.count == 0 || served < o.count)) {
    int left = mbx::remaining_ms(deadline);
    if (left == 0) break;
    std::vector<pollfd> fds;
    for (int fd : p.watch_fds(0)) fds.push_back({fd, POLLIN, 0});
    poll(fds.data(), fds.size(), std::min(left, 500));
    int32_t r = p.next(0);
    if (r < 0) return fail(p, "the bus", MBX_E_NOBUS);
    if (r > 0) {
      st = p.dispatch(-1);
      if (st != MBX_OK && st != MBX_E_NOMESSAGE) fail(p, "dispatching a call", st);
    }
  }
  if (g_stop == 0 && o.count > 0 && served < o.count) {
    std::fprintf(stderr, "cadsim: time limit reached after %ld of %ld calls\n", served,
                 o.count);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = parse(argc, argv);
  auto me = mbx::Name::from_text(o.name);
  if (!me) usage("bad participant name: " + o.name);

  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  // The last guard against hanging: whatever blocks, the run ends.
  alarm(static_cast<unsigned>(o.timeout_s + 5));

  auto deadline = mbx::deadline_after_ms(o.timeout_s * 1000);
  mbx::Participant p;
  p.set_socket_path(o.socket);
  p.set_timeout_ms(o.timeout_s * 1000);
  int st = p.join(&*me);
  if (st != MBX_OK) return fail(p, "joining the bus", st);
  return o.mode == "serve" ? run_serve(o, p, deadline) : run_request(o, p, deadline);
}
