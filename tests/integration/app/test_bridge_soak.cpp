// The bridge under load: 20,000 bus requests, "DOKFRMDI" and "DOKFRMFT"
// mixed, a quarter of each failing, served under framesim.  Its resident
// memory after the first 1,000 and after the last may differ by less than
// 1 MiB; it answers every request as the first; and it ends with status 0 -
// in the sanitizer build that also means LeakSanitizer found no leak at its
// exit.
//
// FDK_SOAK_REQUESTS overrides the number of requests (at least 2,000).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bridge_rig.h"
#include "mbx.h"
#include "name.h"
#include "participant.h"

namespace fdk::bridgetest {
namespace {

constexpr long kWarmUp = 1000;
constexpr long kDefaultRequests = 20000;
constexpr long kMaxGrowthKiB = 1024;
constexpr size_t kNoReply = SIZE_MAX;

// VmRSS of a process in KiB, or -1.
long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

long RequestCount() {
  const char *text = std::getenv("FDK_SOAK_REQUESTS");
  long n = text != nullptr ? std::strtol(text, nullptr, 10) : kDefaultRequests;
  return n < 2 * kWarmUp ? 2 * kWarmUp : n;
}

// The CAD side as one long-lived bus participant sending request after
// request, each to its end.
class CadSide {
 public:
  explicit CadSide(const std::string &socket) {
    bus_.set_socket_path(socket);
    bus_.set_timeout_ms(kWait.count());
    auto name = mbx::Name::from_text("SOAKCAD");
    joined_ = bus_.join(&*name) == MBX_OK;
  }
  bool joined() const { return joined_; }

  // Sends request `name` with the items; after `read_after` of them reads
  // one reply item (kNoReply: none).  Returns every reply item, or nullopt
  // on a bus failure.
  std::optional<std::vector<std::string>> request(const char *name,
                                                  const std::vector<std::string> &items,
                                                  size_t read_after) {
    uint32_t conv = 0;
    if (bus_.open_request(*mbx::Name::from_text(name), 0, &conv) != MBX_OK) return std::nullopt;
    std::vector<std::string> replies;
    for (size_t i = 0; i <= items.size(); ++i) {
      if (i == read_after) {
        std::string item;
        if (!receive(conv, item)) return fail(conv);
        replies.push_back(item);
      }
      if (i == items.size()) break;
      const std::string &it = items[i];
      if (bus_.send(conv, it.data(), static_cast<int32_t>(it.size()), false) != MBX_OK)
        return fail(conv);
    }
    if (bus_.finish(conv) != MBX_OK) return fail(conv);
    for (;;) {
      std::string item;
      int st = receive_status(conv, item);
      if (st == MBX_E_NOITEM) break;
      if (st != MBX_OK) return fail(conv);
      replies.push_back(item);
    }
    bus_.abandon(conv);
    return replies;
  }

 private:
  std::nullopt_t fail(uint32_t conv) {
    bus_.abandon(conv);
    return std::nullopt;
  }
  bool receive(uint32_t conv, std::string &out) { return receive_status(conv, out) == MBX_OK; }
  int receive_status(uint32_t conv, std::string &out) {
    int32_t size = 0;
    int st = bus_.receive(conv, 0, nullptr, &size);
    if (st != MBX_OK) return st;
    out.assign(static_cast<size_t>(size), '\0');
    int32_t got = 0;
    st = bus_.receive(conv, size, out.data(), &got);
    out.resize(static_cast<size_t>(got));
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
  ASSERT_GT(bridge, 0);
  CadSide cad(rig.bus_socket());
  ASSERT_TRUE(cad.joined());

  const std::string dir = rig.docs() + "/";
  const std::string ok(std::string("OK") + '\0');
  const std::string ko(std::string("KO") + '\0');
  const long total = RequestCount();
  long rss_warm = -1, failures = 0;
  for (long i = 0; i < total; ++i) {
    std::optional<std::vector<std::string>> got;
    std::vector<std::string> want;
    switch (i % 4) {
      case 0:  // shown at a tag
        got = cad.request("DOKFRMDI", {dir + "manual.json", i % 8 ? "chap2" : "intro"}, 1);
        want = {ok};
        break;
      case 1:  // a file that does not open
        got = cad.request("DOKFRMDI", {dir + "missing-" + std::to_string(i % 7) + ".json", "x"}, 1);
        want = {ko};
        break;
      case 2:  // a function's page
        got = cad.request("DOKFRMFT", {dir, "list.json", i % 8 == 2 ? "ABS" : "MYFUNCTION"}, kNoReply);
        break;
      default:  // a function without documentation: an alert
        got = cad.request("DOKFRMFT", {dir, "list.json", "NOSUCHFN"}, kNoReply);
        break;
    }
    if (!got || *got != want) {
      ADD_FAILURE() << "request " << i << " was not answered as it should be";
      if (++failures > 10) break;
    }
    if (i + 1 == kWarmUp) rss_warm = ResidentKiB(bridge);
  }
  long rss_end = ResidentKiB(bridge);
  std::printf("bridge resident memory: %ld KiB after %ld requests, %ld KiB after %ld (%+ld KiB)\n",
              rss_warm, kWarmUp, rss_end, total, rss_end - rss_warm);
  RecordProperty("rss_after_warm_up_kib", std::to_string(rss_warm));
  RecordProperty("rss_at_end_kib", std::to_string(rss_end));
  ASSERT_GT(rss_warm, 0);
#ifndef FDK_SANITIZE_BUILD
  // Instrumented builds keep freed memory in quarantine: no figure there.
  EXPECT_LT(rss_end - rss_warm, kMaxGrowthKiB);
#endif

  // The bridge still answers, and ends in order: under LeakSanitizer a
  // leak would make its exit status non-zero.
  rig.journal().skip_to_end();
  CadRun r = rig.request({"DOKFRMRA", "--kind", "5"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(rig.bridge_exit(), 0);
}

}  // namespace
}  // namespace fdk::bridgetest
