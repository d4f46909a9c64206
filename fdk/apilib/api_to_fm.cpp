// api_to_fm.cpp - the client stubs of Frame's API program and the run-time
// procedure table, both generated from fapi_procs.def.
#include "fapi_stubs.h"

#include <algorithm>
#include <cstring>

#include "api_procs.hpp"

namespace {

// Per-call time-out.  A handle whose own time-out has been set ignores it.
const struct timeval TIMEOUT = {25, 0};

// One call: clear this procedure's buffer, call, null on any failure.  The
// buffer is a static of the instantiation, so every procedure has its own.
template <int Number, class Arg, class Res>
Res *call(Arg *argp, CLIENT *clnt) {
    using Buffer = fdk::apilib::ResultBuffer<Res>;
    static Buffer result;
    std::memset(static_cast<void *>(&result), 0, sizeof result);
    if (clnt == nullptr) return nullptr;
    enum clnt_stat st = clnt_call(clnt, Number, fdk::xdr::proc_of<Arg>(), static_cast<void *>(argp),
                                  fdk::xdr::proc_of<Res>(), static_cast<void *>(&result), TIMEOUT);
    if (st != RPC_SUCCESS) {
        // A reply that broke off inside its body leaves what was decoded
        // before the break in the buffer: release it.
        xdr_free(fdk::xdr::proc_of<Res>(), reinterpret_cast<char *>(&result));
        std::memset(static_cast<void *>(&result), 0, sizeof result);
        return nullptr;
    }
    return static_cast<Res *>(static_cast<void *>(&result));
}

}  // namespace

#define FAPI_PROC(number, CONSTANT, stub, Arg, Res) \
    extern "C" Res *stub(Arg *argp, CLIENT *clnt) { return call<number, Arg, Res>(argp, clnt); }
#include "fapi_procs.def"

extern "C" {

const FapiProcT fapi_procs[] = {
#define FAPI_PROC(number, CONSTANT, stub, Arg, Res)                                         \
    {number, #stub, fdk::xdr::proc_of<Arg>(), fdk::xdr::proc_of<Res>(),                     \
     fdk::apilib::wire_size<Arg>(), sizeof(fdk::apilib::ResultBuffer<Res>)},
#include "fapi_procs.def"
};

const size_t fapi_proc_count = sizeof fapi_procs / sizeof fapi_procs[0];

const FapiProcT *fapi_proc_find(int32_t number) {
    const FapiProcT *end = fapi_procs + fapi_proc_count;
    const FapiProcT *it = std::lower_bound(fapi_procs, end, number,
                                           [](const FapiProcT &p, int32_t n) { return p.number < n; });
    return it != end && it->number == number ? it : nullptr;
}

}  // extern "C"
