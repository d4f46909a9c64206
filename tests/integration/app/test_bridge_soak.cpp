// The bridge under load: 20,000 requests (FDK_SOAK_REQUESTS, at least 2,000),
// a quarter of each kind failing, all answered as the first; resident memory
// after the first 1,000 and after the last within 1 MiB; exit status 0, which
// in the sanitizer build also means no leak.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "bridge_rig.h"
#include "mbx.h"
#include "name.h"
#include "participant.h"

namespace fdk::bridgetest {
namespace {

constexpr long kWarmUp = 1000;

long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with("VmRSS:")) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

TEST(BridgeSoak, TwentyThousandRequestsInConstantMemory) {
  Rig rig({}, 7200);
  pid_t bridge = rig.bridge_pid();
  // The CAD side: one participant, request after request.
  mbx::Participant bus;
  bus.set_socket_path(rig.bus_socket());
  bus.set_timeout_ms(kWait.count());
  auto me = mbx::Name::from_text("SOAKCAD");
  ASSERT_EQ(bus.join(&*me), MBX_OK);
  auto request = [&bus](const char *name, const Texts &items) {
    uint32_t conv = 0;
    Texts got;
    int st = bus.open_request(*mbx::Name::from_text(name), 0, &conv);
    for (const std::string &it : items)
      if (st == MBX_OK) st = bus.send(conv, it.data(), static_cast<int32_t>(it.size()), false);
    if (st == MBX_OK) st = bus.finish(conv);
    while (st == MBX_OK) {
      int32_t size = 0;
      if ((st = bus.receive(conv, 0, nullptr, &size)) != MBX_OK) break;
      std::string item(static_cast<size_t>(size), '\0');
      st = bus.receive(conv, size, item.data(), &size);
      got.push_back(item.substr(0, static_cast<size_t>(size)));
      if (st == MBX_TRUNCATED) st = MBX_OK;
    }
    bus.abandon(conv);
    return st == MBX_E_NOITEM ? got : Texts{"lost"};
  };

  const std::string dir = rig.docs() + "/";
  const Texts ok = {std::string("OK") + '\0'}, ko = {std::string("KO") + '\0'}, none;
  const char *count = std::getenv("FDK_SOAK_REQUESTS");
  const long total = std::max(2 * kWarmUp, count != nullptr ? std::atol(count) : 20000);
  long rss_warm = -1, failures = 0;
  for (long i = 0; i < total && failures <= 10; ++i) {
    Texts got, want = i % 4 == 0 ? ok : i % 4 == 1 ? ko : none;
    if (i % 4 == 0)  // shown at a tag
      got = request("DOKFRMDI", {dir + "manual.json", i % 8 ? "chap2" : "intro"});
    else if (i % 4 == 1)  // a file that does not open
      got = request("DOKFRMDI", {dir + "missing-" + std::to_string(i % 7), "x"});
    else if (i % 4 == 2)  // a function's page
      got = request("DOKFRMFT", {dir, "list.json", i % 8 == 2 ? "ABS" : "MYFUNC"});
    else  // a function without documentation: an alert
      got = request("DOKFRMFT", {dir, "list.json", "NOSUCHFN"});
    if (got != want) {
      ADD_FAILURE() << "request " << i << " was not answered as it should be";
      ++failures;
    }
    if (i + 1 == kWarmUp) rss_warm = ResidentKiB(bridge);
  }
  long rss_end = ResidentKiB(bridge);
  std::printf("bridge resident memory: %ld KiB after %ld requests, %ld KiB after %ld\n", rss_warm,
              kWarmUp, rss_end, total);
  ASSERT_GT(rss_warm, 0);
#ifndef FDK_SANITIZE_BUILD
  EXPECT_LT(rss_end - rss_warm, 1024);  // instrumented builds keep freed memory in quarantine
#endif
  rig.journal().skip_to_end();
  EXPECT_EQ(rig.request({"DOKFRMRA", "--kind", "5"}).code, 0);
  EXPECT_EQ(rig.bridge_exit(), 0);
}

}  // namespace
}  // namespace fdk::bridgetest
