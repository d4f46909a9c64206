// The bridge under load: 20,000 bus requests (FDK_SOAK_REQUESTS, at least
// 2,000), "DOKFRMDI" and "DOKFRMFT" mixed, a quarter of each failing.  It
// answers every request as the first, its resident memory after the first
// 1,000 and after the last differs by less than 1 MiB, and it ends with
// status 0 - in the sanitizer build that also means no leak at its exit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

// The CAD side as one long-lived bus participant, request after request.
class CadSide {
 public:
  explicit CadSide(const std::string &socket) {
    bus_.set_socket_path(socket);
    bus_.set_timeout_ms(kWait.count());
    auto name = mbx::Name::from_text("SOAKCAD");
    joined_ = bus_.join(&*name) == MBX_OK;
  }
  bool joined() const { return joined_; }

  // Sends the items, reading the reply after the first one when a reply
  // is wanted (a display's "OK" or "KO" comes before its tag); true when
  // the replies were `want`.
  bool request(const char *name, const std::vector<std::string> &items,
               const std::vector<std::string> &want) {
    uint32_t conv = 0;
    if (bus_.open_request(*mbx::Name::from_text(name), 0, &conv) != MBX_OK) return false;
    std::vector<std::string> got;
    bool ok = true;
    for (size_t i = 0; ok && i < items.size(); ++i) {
      if (i == 1 && !want.empty()) ok = receive(conv, got) == MBX_OK;
      const std::string &it = items[i];
      ok = ok && bus_.send(conv, it.data(), static_cast<int32_t>(it.size()), false) == MBX_OK;
    }
    int st = ok ? bus_.finish(conv) : MBX_OK;
    while (ok && st == MBX_OK) st = receive(conv, got);
    bus_.abandon(conv);
    return ok && st == MBX_E_NOITEM && got == want;
  }

 private:
  int receive(uint32_t conv, std::vector<std::string> &got) {
    int32_t size = 0;
    int st = bus_.receive(conv, 0, nullptr, &size);
    if (st != MBX_OK) return st;
    std::string item(static_cast<size_t>(size), '\0');
    st = bus_.receive(conv, size, item.data(), &size);
    item.resize(static_cast<size_t>(size));
    got.push_back(item);
    return st == MBX_TRUNCATED ? MBX_OK : st;
  }

  mbx::Participant bus_;
  bool joined_ = false;
};

TEST(BridgeSoak, TwentyThousandRequestsInConstantMemory) {
  Rig::Options options;
  options.time_limit = 7200;
  Rig rig(options);
  pid_t bridge = rig.bridge_pid();
  CadSide cad(rig.bus_socket());
  ASSERT_TRUE(cad.joined());

  const std::string dir = rig.docs() + "/";
  const std::vector<std::string> ok = {std::string("OK") + '\0'}, ko = {std::string("KO") + '\0'};
  const char *count = std::getenv("FDK_SOAK_REQUESTS");
  const long total = std::max(2 * kWarmUp, count != nullptr ? std::atol(count) : 20000);
  long rss_warm = -1, failures = 0;
  for (long i = 0; i < total && failures <= 10; ++i) {
    bool answered = false;
    switch (i % 4) {
      case 0:  // shown at a tag
        answered = cad.request("DOKFRMDI", {dir + "manual.json", i % 8 ? "chap2" : "intro"}, ok);
        break;
      case 1:  // a file that does not open
        answered = cad.request("DOKFRMDI", {dir + "missing-" + std::to_string(i % 7), "x"}, ko);
        break;
      case 2:  // a function's page
        answered = cad.request("DOKFRMFT", {dir, "list.json", i % 8 == 2 ? "ABS" : "MYFUNC"}, {});
        break;
      default:  // a function without documentation: an alert
        answered = cad.request("DOKFRMFT", {dir, "list.json", "NOSUCHFN"}, {});
    }
    if (!answered) {
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
