// callback_fuzz - the client's callback service on raw bytes: the RPC
// runtime's connection transport with the record limit the client sets,
// the dispatcher fm_api_prog_1, the decoders of the callback records and
// the handlers, in-process.
//
// The input is what a peer writes on a connection to the callback program:
// record marks, call headers (the harness's program is kProgram, version
// kVersion), arguments.  It goes into one end of a connected socket pair
// whose other end is a transport of the service, the writing side is
// closed, and the service is served until it drops the connection.  Every
// reply is read and thrown away.
//
// Checked besides the sanitizers' findings: the strings handed to the entry
// points are readable to their end and no longer than a record, and the
// service ends the connection within a bounded number of rounds.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "apislib.h"

#include <rpc/rpc_com.h>  // rpc_control, after rpc/rpc.h

namespace {

constexpr rpcprog_t kProgram = 0x4fffff01;
constexpr rpcvers_t kVersion = 1;
// The client's record limit (apiguard.cpp), and inputs a little larger.
constexpr int kMaxRecord = 16 * 1024;
constexpr std::size_t kMaxInput = 4 * kMaxRecord;

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "callback_fuzz: %s\n", what);
  std::abort();
}

void check_string(StringT s) {
  if (s != nullptr && std::strlen(s) > static_cast<std::size_t>(kMaxRecord))
    fail("a string longer than a record");
}

void drain(int fd) {
  char buf[4096];
  while (recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
  }
}

}  // namespace

// The entry points the dispatcher calls.
extern "C" void F_ApiInitialize(IntT) {}
extern "C" void F_ApiNotify(IntT, F_ObjIdT, StringT file, IntT) { check_string(file); }
extern "C" void F_ApiMessage(StringT message, F_ObjIdT, F_ObjIdT) { check_string(message); }

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  int max = kMaxRecord;
  (void)rpc_control(RPC_SVC_CONNMAXREC_SET, &max);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMaxInput) return -1;
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) fail("socketpair");
  SVCXPRT *xprt = svc_fd_create(pair[0], 0, 0);
  if (xprt == nullptr) fail("svc_fd_create");
  // No network configuration: served here, not registered with the port mapper.
  if (!svc_reg(xprt, kProgram, kVersion, fm_api_prog_1, nullptr)) fail("svc_reg");

  for (size_t done = 0; done < size;) {
    ssize_t n = send(pair[1], data + done, size - done, MSG_NOSIGNAL);
    if (n <= 0) fail("send");
    done += static_cast<size_t>(n);
  }
  shutdown(pair[1], SHUT_WR);

  // Each round takes at least one record or the end of the stream.
  const int fd = pair[0];
  int rounds = 0;
  while (FD_ISSET(fd, &svc_fdset)) {
    if (++rounds > static_cast<int>(size) + 2) fail("the service never ended the connection");
    fd_set one;
    FD_ZERO(&one);
    FD_SET(fd, &one);
    svc_getreqset(&one);
    drain(pair[1]);
  }
  svc_unreg(kProgram, kVersion);
  close(pair[1]);

  // What a quit call or a closing dialog event leaves behind.
  FA_bailout = 0;
  turn_over_needed = 0;
  callbacksDone = 0;
  modalRetval = 0;
  return 0;
}
