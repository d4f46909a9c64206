// bridge_bench - one "DOKFRMDI" display on a document of 10,000 tag markers
// whose tag is on the last marker, from the request to the scroll, against
// its floor measured in the same run: the same number of raw clnt_call
// round trips to the same framesim (the marker walk's own procedures, get
// type, get text and get next, over the same markers).
//
// The set-up is the integration tests': a private mbxd, framesim starting
// dokfrm with FMAPIX, and this process as the CAD side on the bus.  The
// warm-up display counts the API calls one display makes (framesim's
// journal) and checks that it ends with the scroll to the last marker.
// Prints both times and their ratio (target: at most 1.25).
#include <benchmark/benchmark.h>
#include <rpc/rpc.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "fapi_xdr.h"
#include "mbx.h"
#include "participant.h"
#include "testsupport.hpp"

namespace {

using fdk::test::Json;
using fdk::test::Millis;

constexpr int kMarkers = 10000;
constexpr int kMarkerTag = 19;

std::string TagOf(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "tag-%05d", i);
  return buf;
}

bool SocketAnswers(const std::string &path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  struct sockaddr_un sa {};
  sa.sun_family = AF_UNIX;
  std::strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
  bool ok = connect(fd, reinterpret_cast<struct sockaddr *>(&sa), sizeof sa) == 0;
  close(fd);
  return ok;
}

// Everything the two benchmarks share, started once.
class Session {
 public:
  Session() : dir_("bridgebench") {
    Json markers = Json::array();
    for (int i = 0; i < kMarkers; ++i)
      markers.push_back({{"type", kMarkerTag}, {"text", TagOf(i)}, {"paragraph", i / 100}});
    Json paragraphs = Json::array();
    for (int i = 0; i < kMarkers / 100; ++i) paragraphs.push_back("paragraph " + std::to_string(i));
    path_ = dir_.write("docs/big.json", Json{{"paragraphs", paragraphs}, {"markers", markers}}.dump());

    socket_ = dir_.file("bus.sock");
    fdk::test::Process::Options bus;
    bus.argv = {MBXD_PATH, "--socket", socket_};
    bus_.start(bus);
    for (int i = 0; i < 500 && !SocketAnswers(socket_); ++i) std::this_thread::sleep_for(Millis(10));

    fdk::test::Framesim::Options fo;
    fo.client = {DOKFRM_PATH};
    fo.client_no = 1;
    fo.time_limit = 3600;
    fo.env = {{"MBX_SOCKET", socket_}};
    frame_ = std::make_unique<fdk::test::Framesim>(fo);
    if (!frame_->wait_ready()) throw std::runtime_error("framesim did not start");

    cad_.set_socket_path(socket_);
    cad_.set_timeout_ms(60000);
    auto me = mbx::Name::from_text("BENCH");
    if (cad_.join(&*me) != MBX_OK) throw std::runtime_error("cannot join the bus");
    // The bridge is on the bus once it serves "DOKFRMRA"; its turn ends
    // with an over call.
    bool served = false;
    for (int i = 0; i < 500 && !served; ++i) {
      size_t before = frame_->journal().lines().size();
      uint32_t conv = 0;
      if (cad_.open_request(*mbx::Name::from_text("DOKFRMRA"), 4, &conv) == MBX_OK) {
        cad_.finish(conv);
        Drain(conv);
        served = frame_->journal()
                     .wait_kind("control", {{"event", "over"}}, Millis(60000), before)
                     .has_value();
      } else {
        std::this_thread::sleep_for(Millis(20));
      }
    }
    if (!served) throw std::runtime_error("the bridge does not serve DOKFRMRA");

    // Warm-up: one display, counted and checked.
    size_t from = frame_->journal().lines().size();
    if (!Display()) throw std::runtime_error("the warm-up display was not answered OK");
    auto over = frame_->journal().wait_kind("control", {{"event", "over"}}, Millis(60000), from);
    if (!over) throw std::runtime_error("no over call after the display");
    const auto &lines = frame_->journal().lines();
    bool scrolled = false;
    for (size_t i = from; i < *over; ++i) {
      const Json &j = lines[i];
      std::string kind = j.value("kind", "");
      if (kind == "call") ++calls_;
      if (kind == "document" && j.contains("doc")) doc_ = j["doc"].get<uint32_t>();
      if (kind == "scroll" && j.value("paragraph", -1) == (kMarkers - 1) / 100) scrolled = true;
    }
    if (!scrolled) throw std::runtime_error("the display did not scroll to the last marker");

    // The floor's client: a plain TCP handle on framesim's program, and the
    // marker chain it walks.
    struct sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int sock = RPC_ANYSOCK;
    raw_ = clnttcp_create(&addr, frame_->prog(), frame_->vers(), &sock, 0, 0);
    if (raw_ == nullptr) throw std::runtime_error("no raw client");
    for (F_ObjIdT m = GetId(0, doc_, 114); m != 0; m = GetId(doc_, m, 1026)) chain_.push_back(m);
    if (chain_.size() != kMarkers) throw std::runtime_error("the marker chain is incomplete");
  }

  ~Session() {
    if (raw_ != nullptr) clnt_destroy(raw_);
    cad_.leave();
    frame_.reset();
    bus_.stop(Millis(3000));
  }

  // One request as the CAD side sends it; true when the reply was "OK" and
  // the handler returned.
  bool Display() {
    uint32_t conv = 0;
    if (cad_.open_request(*mbx::Name::from_text("DOKFRMDI"), 0, &conv) != MBX_OK) return false;
    cad_.send(conv, path_.data(), static_cast<int32_t>(path_.size()), false);
    char reply[8] = {};
    int32_t got = 0;
    int st = cad_.receive(conv, sizeof reply, reply, &got);
    std::string tag = TagOf(kMarkers - 1);
    cad_.send(conv, tag.data(), static_cast<int32_t>(tag.size()), true);
    Drain(conv);
    return st == MBX_OK && got == 3 && std::strcmp(reply, "OK") == 0;
  }

  // The floor: as many raw round trips as one display makes.
  void Floor() {
    size_t done = 0;
    for (size_t i = 0; done < calls_; i = (i + 1) % chain_.size()) {
      F_ObjIdT m = chain_[i];
      Get<ApiFmGetIntRetT>(doc_, m, 1024, 1064);
      if (++done == calls_) break;
      Get<ApiFmGetStringRetT>(doc_, m, 1025, 1070);
      if (++done == calls_) break;
      Get<ApiFmGetIdRetT>(doc_, m, 1026, 1066);
      ++done;
    }
  }

  size_t calls() const { return calls_; }

 private:
  void Drain(uint32_t conv) {
    char buf[64];
    int32_t got = 0;
    while (cad_.receive(conv, sizeof buf, buf, &got) == MBX_OK) {
    }
    cad_.abandon(conv);
  }

  template <class R>
  R Get(F_ObjIdT doc, F_ObjIdT obj, IntT prop, int proc) {
    ApiFmGetPropArgT arg{};
    arg.docId = doc;
    arg.objId = obj;
    arg.propIdent.num = prop;
    R res{};
    struct timeval tv {60, 0};
    xdrproc_t in = reinterpret_cast<xdrproc_t>(xdr_ApiFmGetPropArgT);
    xdrproc_t out = Filter<R>();
    if (clnt_call(raw_, static_cast<rpcproc_t>(proc), in, reinterpret_cast<char *>(&arg), out,
                  reinterpret_cast<char *>(&res), tv) != RPC_SUCCESS)
      throw std::runtime_error("raw call failed");
    R copy = res;
    xdr_free(out, reinterpret_cast<char *>(&res));
    return copy;
  }
  template <class R> static xdrproc_t Filter() {
    if constexpr (std::is_same_v<R, ApiFmGetIntRetT>)
      return reinterpret_cast<xdrproc_t>(xdr_ApiFmGetIntRetT);
    else if constexpr (std::is_same_v<R, ApiFmGetStringRetT>)
      return reinterpret_cast<xdrproc_t>(xdr_ApiFmGetStringRetT);
    else
      return reinterpret_cast<xdrproc_t>(xdr_ApiFmGetIdRetT);
  }
  F_ObjIdT GetId(F_ObjIdT doc, F_ObjIdT obj, IntT prop) {
    return Get<ApiFmGetIdRetT>(doc, obj, prop, 1066).id;
  }

  fdk::test::TempDir dir_;
  std::string path_, socket_;
  fdk::test::Process bus_;
  std::unique_ptr<fdk::test::Framesim> frame_;
  mbx::Participant cad_;
  CLIENT *raw_ = nullptr;
  size_t calls_ = 0;
  F_ObjIdT doc_ = 0;
  std::vector<F_ObjIdT> chain_;
};

Session *session = nullptr;

void DisplayAtLastTag(benchmark::State &state) {
  for (auto _ : state)
    if (!session->Display()) state.SkipWithError("display not answered OK");
  state.counters["api_calls"] = static_cast<double>(session->calls());
}

void RawRoundTrips(benchmark::State &state) {
  for (auto _ : state) session->Floor();
  state.counters["api_calls"] = static_cast<double>(session->calls());
}

BENCHMARK(RawRoundTrips)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(DisplayAtLastTag)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> real;  // name -> wall time per iteration
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs)
      if (r.run_type == Run::RT_Iteration) real[r.run_name.function_name] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  try {
    session = new Session;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "bridge_bench: %s\n", e.what());
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("\none display: %zu API calls\n", session->calls());
  auto display = reporter.real.find("DisplayAtLastTag");
  auto floor = reporter.real.find("RawRoundTrips");
  if (display != reporter.real.end() && floor != reporter.real.end() && floor->second > 0)
    std::printf("ratio to the raw round-trip floor (display / floor, target <= 1.25): %.2f\n",
                display->second / floor->second);
  delete session;
  return 0;
}
