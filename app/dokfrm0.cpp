// dokfrm0.cpp - the bridge process: start-up as a Frame API client, joining
// the message bus with the three requests, and the one select loop that
// serves Frame's callbacks and the bus's requests until FA_bailout is set.
//
// Frame comes first: in a turn where both sides are ready only Frame is
// served, followed by a pause of one second and a settling wait of at most
// 0.2 seconds; a bus message is taken only in a turn without Frame traffic,
// between F_ApiTakeControl and F_ApiDoneCommand, so that its handler may
// call Frame.
//
// Built with DOKFRM_NO_MAIN, the unit leaves out main so that tests can link
// the descriptor callback and the wait.
#include <sys/select.h>
#include <unistd.h>

#include <cstdlib>

#include "dokfrm.h"
#include "fapi_runtime.h"
#include "fde_memory.h"
#include "mbx.h"

extern "C" {
uint32_t api_fds = 0;
mbx_fdset *mbx_fds = nullptr;
int32_t mbx_fd = 0;
}

namespace {

constexpr int kMaskBits = 32;  // select looks at descriptors 0 to 31 only
constexpr time_t kWaitSeconds = 60;
constexpr suseconds_t kSettleMicroseconds = 200000;

}  // namespace

uint32_t dokfrm::WaitOn(uint32_t mask, struct timeval *timeout) {
  fd_set readable;
  FD_ZERO(&readable);
  for (int fd = 0; fd < kMaskBits; ++fd)
    if (mask & (uint32_t{1} << fd)) FD_SET(fd, &readable);
  if (select(kMaskBits, &readable, nullptr, nullptr, timeout) <= 0) return 0;
  uint32_t ready = 0;
  for (int fd = 0; fd < kMaskBits; ++fd)
    if (FD_ISSET(fd, &readable)) ready |= uint32_t{1} << fd;
  return ready;
}

extern "C" void DokFCB_getfd(int descriptor, int on) {
  uint32_t bit = uint32_t{1} << (descriptor & 31);
  if (on)
    api_fds |= bit;
  else
    api_fds &= ~bit;
}

#ifndef DOKFRM_NO_MAIN
#include <cstdio>
#include <cstring>

#include "fdk_version.h"

namespace {

// The runtime notices a vanished Frame only inside F_ApiService, which the
// loop enters only when Frame's descriptors are ready.  Once Frame's
// connection is gone nothing is ever ready again, so the loop asks after
// quiet turns and Frame turns itself, and ends the way the runtime does.
void EndIfFrameGone() {
  if (F_ApiFrameAlive()) return;
  F_ApiShutDown();  // also removes the port-mapper registration
  F_ApiEmergency();
  std::exit(1);
}

// Frame passes arguments of its own, which the bridge does not use.  Only a
// person starting it by hand (no FMAPIX) gets an answer to --help or
// --version; anything else goes on to start-up, which refuses to run
// outside Frame.
int AnswerCommandLine(int argc, char **argv) {
  if (std::getenv("FMAPIX") != nullptr || argc != 2) return -1;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs("usage: dokfrm [--help | --version]\n"
               "Frame starts dokfrm as an API client, with FMAPIX set; it then ignores\n"
               "its arguments, joins the message bus and serves DOKFRMRA, DOKFRMDI and\n"
               "DOKFRMFT.  Started without FMAPIX it ends with status 1.\n",
               stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::puts("dokfrm " FDK_VERSION);
    return 0;
  }
  return -1;
}

// Frame's process may leave descriptors open across the exec (its own
// listeners among them).  The bridge uses none of them, and they would take
// the low numbers the loop's 32-bit masks can see: close all but the
// standard streams before anything is opened.
void CloseInherited() {
  if (close_range(3, ~0u, 0) == 0) return;
  long last = sysconf(_SC_OPEN_MAX);
  for (long fd = 3; fd < last; ++fd) close(static_cast<int>(fd));
}

}  // namespace

int main(int argc, char **argv) {
  using dokfrm::WaitOn;
  if (int answered = AnswerCommandLine(argc, argv); answered >= 0) return answered;
  CloseInherited();
  const char *message = F_ApiStartUp(DokFCB_getfd);
  if (message != nullptr) {
    F_ApiErr(message);
    return 1;
  }

  // Join the bus.  Statuses are not examined: a refused registration
  // leaves that request unserved and nothing else.
  int32_t status = 0;
  const int32_t version = 1;
  mbx_init(nullptr, &status);
  mbx_register_request("DOKFRMRA", DokFCB_InitApplication, &status);
  mbx_register_request("DOKFRMDI", DokFCB_Display, &status);
  mbx_register_request("DOKFRMFT", DokFCB_Display_Fct, &status);
  mbx_declare("DOKFRMID", &version, "DOKFRMRA", &status);
  mbx_end_setup("MBX_0000");

  const int32_t nextWait = 0;
  const int32_t dispatchWait = -1;
  int32_t result = 0;
  while (FA_bailout == 0) {
    struct timeval wait = {kWaitSeconds, 0};
    F_Free(mbx_fds);  // the bus allocates its sets with malloc
    mbx_fds = mbx_fd_set(&mbx_fd);
    uint32_t busMask = mbx_fds != nullptr ? mbx_fds->words[0] : 0;
    uint32_t mask = WaitOn(busMask | api_fds, &wait);
    F_ApiTrace(nullptr, 0, "loop %s", mask == 0 ? "quiet" : (mask & api_fds) ? "frame" : "bus");

    if (mask == 0) {
      EndIfFrameGone();
    } else if (mask & api_fds) {
      dokfrm::FrameCalled = false;
      F_ApiService(&mask);
      // The pause gives Frame the turn it drove.  A turn in which Frame's
      // descriptors carried no call (bytes of an unfinished one, a
      // connection opened or closed, the guard's timer) is not Frame's: the
      // bus is served next, whoever sends those bytes.
      if (dokfrm::FrameCalled) {
        sleep(1);
        struct timeval settle = {0, kSettleMicroseconds};
        (void)WaitOn(api_fds, &settle);
      }
      EndIfFrameGone();
    } else if (mask & busMask) {
      F_ApiTakeControl();
      mbx_next(&nextWait, &result);
      if (result < 0) {
        F_ApiDoneCommand();
        break;
      }
      if (result > 0) mbx_dispatch(&dispatchWait, &status);
      F_ApiDoneCommand();
    }
  }

  F_ApiShutDown();
  return 0;
}
#endif  // DOKFRM_NO_MAIN
