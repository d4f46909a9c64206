// wire_bench - encode plus decode, through an in-memory XDR stream, of
//   - a 10,000-entry F_PropValsT mixing value types 1, 3, 6 and 10, and
//   - an F_StringsT of 100,000 short strings,
// with our encoders and, as the anchor in the same run, with the encoders
// that rpcgen generates from wire_anchor.x for the same wire form.  Prints
// MB/s (wire bytes per second, counted once per encode+decode) and, at the
// end, the ratio of our time to rpcgen's for each value.
#include <benchmark/benchmark.h>
#include <rpc/rpc.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fapi_xdr.h"
#include "wire_anchor.h"
#include "xdr_record.hpp"

namespace {

constexpr int kProps = 10000;
constexpr int kStrings = 100000;

// ---------------------------------------------------------------------------
// The sample values, built once; both sides point at the same text.

struct Samples {
    std::vector<std::string> text;  // owns every string below
    std::vector<F_PropValT> props;
    std::vector<StringT> strings;
    std::vector<std::vector<StringT>> lists;
    std::vector<rg_PropVal> rgProps;
    std::vector<rg_String> rgStrings;
    std::vector<std::vector<rg_String>> rgLists;

    Samples() {
        text.reserve(kProps * 5 + kStrings);
        auto keep = [&](std::string s) { return text.emplace_back(std::move(s)).data(); };
        props.resize(kProps);
        rgProps.resize(kProps);
        lists.resize(kProps);
        rgLists.resize(kProps);
        for (int i = 0; i < kProps; ++i) {
            F_PropValT &p = props[i];
            rg_PropVal &r = rgProps[i];
            std::memset(&p, 0, sizeof p);
            std::memset(&r, 0, sizeof r);
            if (i % 5 == 0) {
                p.propIdent = {0, keep("Prop" + std::to_string(i))};
                r.propIdent.num = 0;
                r.propIdent.rg_PropIdent_u.name = p.propIdent.name;
            } else {
                p.propIdent.num = r.propIdent.num = 1000 + i;
            }
            const int types[] = {1, 3, 6, 10};
            int type = types[i % 4];
            p.propVal.valType = r.propVal.valType = type;
            switch (type) {
            case 1: p.propVal.u.ival = r.propVal.rg_TypedVal_u.ival = i * 7; break;
            case 3: p.propVal.u.sval = r.propVal.rg_TypedVal_u.sval = keep("value " + std::to_string(i)); break;
            case 6:
                for (int k = 0; k < 3; ++k) lists[i].push_back(keep("item" + std::to_string(i * 3 + k)));
                rgLists[i] = lists[i];
                p.propVal.u.ssval = {3, lists[i].data()};
                r.propVal.rg_TypedVal_u.ssval = {3, rgLists[i].data()};
                break;
            case 10:
                p.propVal.u.trval = {{static_cast<F_ObjIdT>(i), 1}, {static_cast<F_ObjIdT>(i), 9}};
                r.propVal.rg_TypedVal_u.trval = {{static_cast<u_int>(i), 1}, {static_cast<u_int>(i), 9}};
                break;
            }
        }
        for (int i = 0; i < kStrings; ++i) strings.push_back(keep("s" + std::to_string(i)));
        rgStrings = strings;
    }
};

const Samples &samples() {
    static const Samples s;
    return s;
}

// ---------------------------------------------------------------------------
// One round: encode into buf, decode into a cleared value, free it.

template <class T>
std::size_t round_trip(xdrproc_t proc, const T &value, std::vector<char> &buf) {
    XDR enc;
    xdrmem_create(&enc, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    if (!proc(&enc, const_cast<T *>(&value))) std::abort();
    u_int size = xdr_getpos(&enc);
    xdr_destroy(&enc);

    T back;
    std::memset(static_cast<void *>(&back), 0, sizeof back);
    XDR dec;
    xdrmem_create(&dec, buf.data(), size, XDR_DECODE);
    if (!proc(&dec, &back)) std::abort();
    xdr_destroy(&dec);
    xdr_free(proc, reinterpret_cast<char *>(&back));
    return size;
}

template <class T>
void run(benchmark::State &state, xdrproc_t proc, const T &value) {
    std::vector<char> buf(16 << 20);
    std::size_t size = 0;
    for (auto _ : state) {
        size = round_trip(proc, value, buf);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    state.counters["wire_bytes"] = static_cast<double>(size);
}

void PropVals_fdk(benchmark::State &state) {
    const Samples &s = samples();
    F_PropValsT v{kProps, const_cast<F_PropValT *>(s.props.data())};
    run(state, fdk::xdr::to_xdrproc(&xdr_F_PropValsT), v);
}
void PropVals_rpcgen(benchmark::State &state) {
    const Samples &s = samples();
    rg_PropVals v{kProps, const_cast<rg_PropVal *>(s.rgProps.data())};
    run(state, fdk::xdr::to_xdrproc(&xdr_rg_PropVals), v);
}
void Strings_fdk(benchmark::State &state) {
    const Samples &s = samples();
    F_StringsT v{kStrings, const_cast<StringT *>(s.strings.data())};
    run(state, fdk::xdr::to_xdrproc(&xdr_F_StringsT), v);
}
void Strings_rpcgen(benchmark::State &state) {
    const Samples &s = samples();
    rg_Strings v{kStrings, const_cast<rg_String *>(s.rgStrings.data())};
    run(state, fdk::xdr::to_xdrproc(&xdr_rg_Strings), v);
}

BENCHMARK(PropVals_rpcgen)->Unit(benchmark::kMicrosecond);
BENCHMARK(PropVals_fdk)->Unit(benchmark::kMicrosecond);
BENCHMARK(Strings_rpcgen)->Unit(benchmark::kMicrosecond);
BENCHMARK(Strings_fdk)->Unit(benchmark::kMicrosecond);

// Console output plus a record of each benchmark's time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    std::map<std::string, double> cpu;  // name -> cpu time per iteration
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median")
                cpu[r.run_name.function_name] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    samples();  // built outside the measured loops
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\nratio to the rpcgen anchor (our time / rpcgen time, target <= 1.20):\n");
    for (const char *name : {"PropVals", "Strings"}) {
        auto ours = reporter.cpu.find(std::string(name) + "_fdk");
        auto anchor = reporter.cpu.find(std::string(name) + "_rpcgen");
        if (ours != reporter.cpu.end() && anchor != reporter.cpu.end() && anchor->second > 0)
            std::printf("  %-9s %.2f\n", name, ours->second / anchor->second);
    }
    return 0;
}
