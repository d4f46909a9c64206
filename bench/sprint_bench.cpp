// F_Sprintf against its anchor, glibc's vsnprintf, on the same formats.
// After the usual table the program prints, per format, the time of
// F_Sprintf divided by the time of vsnprintf.
#include "fde_sprint.h"

#include <benchmark/benchmark.h>

#include <cstdarg>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

int Anchor(char *dst, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = std::vsnprintf(dst, 256, format, ap);
  va_end(ap);
  return n;
}

// Each case is run once through F_Sprintf and once through the anchor.
template <bool kFde>
void Int(benchmark::State &state) {
  char buf[256];
  for (auto _ : state) {
    int n = kFde ? F_Sprintf(buf, "%d", 123456) : Anchor(buf, "%d", 123456);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
}

template <bool kFde>
void Mixed(benchmark::State &state) {
  char buf[256];
  for (auto _ : state) {
    int n = kFde ? F_Sprintf(buf, "%s: %5d items, %08X, %.2f%%", "queue", 42, 48879, 97.5)
                 : Anchor(buf, "%s: %5d items, %08X, %.2f%%", "queue", 42, 48879, 97.5);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
}

template <bool kFde>
void Wild(benchmark::State &state) {
  char buf[256];
  for (auto _ : state) {
    int n = kFde ? F_Sprintf(buf, "[%*s|%-*d]", 12, "name", 6, 7)
                 : Anchor(buf, "[%*s|%-*d]", 12, "name", 6, 7);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
}

template <bool kFde>
void Text(benchmark::State &state) {
  char buf[256];
  for (auto _ : state) {
    int n = kFde ? F_Sprintf(buf, "a plain line of text without conversions")
                 : Anchor(buf, "a plain line of text without conversions");
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
}

BENCHMARK(Int<true>)->Name("fde/int");
BENCHMARK(Int<false>)->Name("glibc/int");
BENCHMARK(Mixed<true>)->Name("fde/mixed");
BENCHMARK(Mixed<false>)->Name("glibc/mixed");
BENCHMARK(Wild<true>)->Name("fde/wild");
BENCHMARK(Wild<false>)->Name("glibc/wild");
BENCHMARK(Text<true>)->Name("fde/text");
BENCHMARK(Text<false>)->Name("glibc/text");

// Keeps the per-iteration time of every run so the ratios can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &r : runs)
      if (r.run_type == Run::RT_Iteration) times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\nF_Sprintf / vsnprintf:\n");
    for (const auto &[name, t] : times_) {
      if (name.rfind("fde/", 0) != 0) continue;
      std::string anchor = "glibc/" + name.substr(4);
      auto it = times_.find(anchor);
      if (it != times_.end() && it->second > 0)
        std::printf("  %-8s %.2f\n", name.substr(4).c_str(), t / it->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
