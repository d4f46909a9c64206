// mbxd - the message bus broker.
//
//   mbxd [--socket PATH] [--max-participants N] [--verbose]
//   mbxd --help | --version
//
// Listens on PATH (default: MBX_SOCKET, else mbx.sock in the user's private
// directory, $XDG_RUNTIME_DIR or /tmp/mbx-<uid>; see sock.h), prints
// "mbxd ready PATH" on standard output once participants can connect, and
// serves until SIGTERM, SIGINT or SIGHUP, then disconnects everyone and
// removes the socket file.  Exit status 0 after a signal, 1 when it cannot
// listen, 2 on a usage error (the usage goes to standard error).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker.h"
#include "fdk_version.h"
#include "sock.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void on_signal(int) { g_stop = 1; }

const char kUsage[] =
    "usage: mbxd [--socket PATH] [--max-participants N] [--verbose]\n"
    "       mbxd --help | --version\n";

int usage(const char* why) {
  std::fprintf(stderr, "mbxd: %s\n%s", why, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  mbx::BrokerOptions opts;
  opts.path = mbx::socket_path_from_env();
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--socket" && i + 1 < argc) {
      opts.path = argv[++i];
    } else if (a == "--max-participants" && i + 1 < argc) {
      char* end = nullptr;
      long n = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || n < 1 || n > 100000) return usage("bad participant count");
      opts.max_participants = static_cast<size_t>(n);
    } else if (a == "--verbose") {
      opts.verbose = true;
    } else if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::puts("mbxd " FDK_VERSION);
      return 0;
    } else {
      return usage(("unknown argument " + a).c_str());
    }
  }

  // The stop signals are blocked except while the broker waits, so a
  // signal can never slip in between a check of the flag and the wait.
  sigset_t stop_set, wait_mask;
  sigemptyset(&stop_set);
  sigaddset(&stop_set, SIGTERM);
  sigaddset(&stop_set, SIGINT);
  sigaddset(&stop_set, SIGHUP);
  sigprocmask(SIG_BLOCK, &stop_set, &wait_mask);
  sigdelset(&wait_mask, SIGTERM);
  sigdelset(&wait_mask, SIGINT);
  sigdelset(&wait_mask, SIGHUP);
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  std::string err;
  if (!mbx::resolve_socket_path(opts.path, err)) {
    std::fprintf(stderr, "mbxd: %s\n", err.c_str());
    return 1;
  }
  mbx::Broker broker(opts);
  if (!broker.open(err)) {
    std::fprintf(stderr, "mbxd: %s\n", err.c_str());
    return 1;
  }
  std::printf("mbxd ready %s\n", opts.path.c_str());
  std::fflush(stdout);
  broker.run(&g_stop, &wait_mask);
  broker.shut();
  return 0;
}
