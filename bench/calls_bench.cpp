// The call layer against its anchors, measured in the same run on the same
// connection to framesim (this process joins a framesim session):
//
//   GetInt/F_ApiGetInt    one F_ApiGetInt round trip
//   GetInt/clnt_call      a raw clnt_call of the same procedure (1064) with
//                         the same argument on frame_client
//   GetInt/tcp_floor      a loopback TCP round trip of the same byte counts
//                         (56 bytes out, 36 back) to an echo thread
//   GetInt/no_connection  F_ApiGetInt with frame_client null: the stub fails
//                         at once, so this is the call layer's own cost
//                         (argument record, stub, failure result), which the
//                         round trip would hide
//   GetProps/F_ApiGetProps   F_ApiGetProps of an object with 1,000 properties
//                            (call, copy, release of the copy)
//   GetProps/clnt_call       the raw call of 1062 and xdr_free of the reply
//   GetProps/copy            F_ApiCopyPropVals of the same 1,000-entry list and
//                            its release, in memory
//
// After the table the program prints the ratios (medians and minima of the
// repetitions).  Target: F_ApiGetInt at most 1.10 x the raw clnt_call.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "fapi_calls.h"
#include "fapi_runtime.h"
#include "fapi_stubs.h"
#include "fapi_values.h"
#include "testsupport.hpp"
#include "xdr_record.hpp"

void F_ApiInitialize(IntT) {}
void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) {}
void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {}

namespace {

constexpr IntT kIntProp = 7001;
constexpr F_ObjIdT kPropsObject = 0;  // the session
constexpr int kProps = 1000;

// RPC record mark (4) + call header (40) + ApiFmGetPropArgT (12), and
// record mark (4) + accepted-reply header (24) + ApiFmGetIntRetT (8).
constexpr size_t kRequestBytes = 56;
constexpr size_t kReplyBytes = 36;

// ------------------------------------------------------------ GetInt

void GetInt_F_ApiGetInt(benchmark::State &state) {
  for (auto _ : state) benchmark::DoNotOptimize(F_ApiGetInt(0, 0, kIntProp));
}

void GetInt_clnt_call(benchmark::State &state) {
  ApiFmGetPropArgT arg{0, 0, {kIntProp, nullptr}};
  ApiFmGetIntRetT res{};
  struct timeval unused = {25, 0};  // the handle's own time-out applies
  xdrproc_t in = fdk::xdr::proc_of<ApiFmGetPropArgT>();
  xdrproc_t out = fdk::xdr::proc_of<ApiFmGetIntRetT>();
  for (auto _ : state) {
    std::memset(&res, 0, sizeof res);
    if (clnt_call(frame_client, API_FM_GET_INT, in, reinterpret_cast<char *>(&arg), out,
                  reinterpret_cast<char *>(&res), unused) != RPC_SUCCESS)
      state.SkipWithError("clnt_call failed");
    xdr_free(out, reinterpret_cast<char *>(&res));
    benchmark::DoNotOptimize(res.value);
  }
}

// A loopback echo: reads kRequestBytes, answers kReplyBytes.
class TcpFloor {
 public:
  TcpFloor() {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
    listen(listener, 1);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);
    client_ = socket(AF_INET, SOCK_STREAM, 0);
    connect(client_, reinterpret_cast<sockaddr *>(&a), sizeof a);
    server_ = accept(listener, nullptr, nullptr);
    close(listener);
    echo_ = std::thread([this] {
      char in[kRequestBytes], out[kReplyBytes] = {};
      while (Exactly(server_, in, sizeof in, false) && Exactly(server_, out, sizeof out, true)) {
      }
    });
  }
  ~TcpFloor() {
    shutdown(client_, SHUT_RDWR);
    echo_.join();
    close(client_);
    close(server_);
  }
  bool RoundTrip() {
    char out[kRequestBytes] = {}, in[kReplyBytes];
    return Exactly(client_, out, sizeof out, true) && Exactly(client_, in, sizeof in, false);
  }

 private:
  static bool Exactly(int fd, char *p, size_t n, bool write) {
    while (n > 0) {
      ssize_t k = write ? send(fd, p, n, MSG_NOSIGNAL) : recv(fd, p, n, 0);
      if (k <= 0) return false;
      p += k;
      n -= static_cast<size_t>(k);
    }
    return true;
  }
  int client_ = -1, server_ = -1;
  std::thread echo_;
};

void GetInt_tcp_floor(benchmark::State &state) {
  static TcpFloor floor;
  for (auto _ : state)
    if (!floor.RoundTrip()) state.SkipWithError("loopback round trip failed");
}

// Put back after each run, so that the other benchmarks keep the connection.
void GetInt_no_connection(benchmark::State &state) {
  CLIENT *connection = frame_client;
  frame_client = nullptr;
  for (auto _ : state) benchmark::DoNotOptimize(F_ApiGetInt(0, 0, kIntProp));
  frame_client = connection;
}

// ------------------------------------------------------------ GetProps

void GetProps_F_ApiGetProps(benchmark::State &state) {
  for (auto _ : state) {
    F_PropValsT props = F_ApiGetProps(0, kPropsObject);
    if (props.len < kProps) state.SkipWithError("property list too short");
    F_ApiDeallocatePropVals(&props);
  }
}

void GetProps_clnt_call(benchmark::State &state) {
  ApiFmGeneralObjArgT arg{0, kPropsObject};
  ApiFmGetPropsRetT res{};
  struct timeval unused = {25, 0};
  xdrproc_t in = fdk::xdr::proc_of<ApiFmGeneralObjArgT>();
  xdrproc_t out = fdk::xdr::proc_of<ApiFmGetPropsRetT>();
  for (auto _ : state) {
    std::memset(&res, 0, sizeof res);
    if (clnt_call(frame_client, API_FM_GET_PROPS, in, reinterpret_cast<char *>(&arg), out,
                  reinterpret_cast<char *>(&res), unused) != RPC_SUCCESS)
      state.SkipWithError("clnt_call failed");
    xdr_free(out, reinterpret_cast<char *>(&res));
  }
}

void GetProps_copy(benchmark::State &state) {
  F_PropValsT source = F_ApiGetProps(0, kPropsObject);
  for (auto _ : state) {
    F_PropValsT copy = F_ApiCopyPropVals(&source);
    benchmark::DoNotOptimize(copy.val);
    F_ApiDeallocatePropVals(&copy);
  }
  F_ApiDeallocatePropVals(&source);
}

// Repetitions give a median and a minimum per benchmark; the minimum is the
// figure least disturbed by other work on the machine.
double Min(const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); }

#define FDK_BENCH(f)                                                         \
  BENCHMARK(f)->UseRealTime()->Unit(benchmark::kMicrosecond)->Repetitions(5) \
      ->ComputeStatistics("min", Min)
FDK_BENCH(GetInt_F_ApiGetInt);
FDK_BENCH(GetInt_clnt_call);
FDK_BENCH(GetInt_tcp_floor);
BENCHMARK(GetInt_no_connection)->Unit(benchmark::kNanosecond)->Repetitions(5)
    ->ComputeStatistics("min", Min);
FDK_BENCH(GetProps_F_ApiGetProps);
FDK_BENCH(GetProps_clnt_call);
FDK_BENCH(GetProps_copy);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  // function name -> "median"/"min" (real time), "cpu median" (this
  // process's CPU time, which the other processes on the machine disturb
  // least) -> time per iteration
  std::map<std::string, std::map<std::string, double>> times;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs) {
      if (r.run_type != Run::RT_Aggregate) continue;
      auto &t = times[r.run_name.function_name];
      t[r.aggregate_name] = r.GetAdjustedRealTime();
      if (r.aggregate_name == "median") t["cpu median"] = r.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Ratio(const char *what, const std::string &a, const std::string &b) {
    for (const char *agg : {"median", "min", "cpu median"}) {
      double x = times[a][agg], y = times[b][agg];
      if (x > 0 && y > 0) std::printf("  %-36s %-10s %.2f\n", what, agg, x / y);
    }
  }
};

// Sets up the session: one int property and 1,000 properties of mixed types
// on the session object.
bool Prepare() {
  F_ApiSetInt(0, 0, kIntProp, 42);
  F_PropValsT list = F_ApiAllocatePropVals(kProps);
  for (int i = 0; i < kProps; ++i) {
    F_PropValT &pv = list.val[i];
    pv.propIdent.num = 10000 + i;
    if (i % 2 == 0) {
      pv.propVal.valType = 1;
      pv.propVal.u.ival = i;
    } else {
      pv.propVal.valType = FT_String;
      pv.propVal.u.sval = F_ApiCopyString("a property value of moderate length");
    }
  }
  FA_errno = 0;
  F_ApiSetProps(0, kPropsObject, &list);
  F_ApiDeallocatePropVals(&list);
  return FA_errno == 0 && F_ApiGetInt(0, 0, kIntProp) == 42;
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  fdk::test::Framesim::Options o;
  o.session = "calls-bench-" + std::to_string(getpid());
  o.time_limit = 0;
  o.extra = {"--journal", "/dev/null"};  // no journal file work in the measured calls
  fdk::test::Framesim sim(o);
  if (!sim.wait_ready() ||
      F_ApiConnectToSession(o.session.c_str(), "localhost", static_cast<IntT>(sim.prog())) != 0) {
    std::fprintf(stderr, "calls_bench: cannot join a framesim session\n");
    return 1;
  }
  F_ApiTakeControl();
  if (!Prepare()) {
    std::fprintf(stderr, "calls_bench: cannot set up the properties\n");
    F_ApiShutDown();
    return 1;
  }

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  F_ApiShutDown();

  std::printf("\nratios (real time; target F_ApiGetInt / clnt_call <= 1.10):\n");
  reporter.Ratio("F_ApiGetInt / clnt_call", "GetInt_F_ApiGetInt", "GetInt_clnt_call");
  reporter.Ratio("clnt_call / tcp_floor", "GetInt_clnt_call", "GetInt_tcp_floor");
  reporter.Ratio("F_ApiGetProps / clnt_call", "GetProps_F_ApiGetProps", "GetProps_clnt_call");
  reporter.Ratio("copy / clnt_call (1,000 properties)", "GetProps_copy", "GetProps_clnt_call");
  return 0;
}
