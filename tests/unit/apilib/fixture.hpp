// Shared by the apilib unit tests: wire bytes written by hand, memory-stream codecs, a dry client heap.
#pragma once

#include <gtest/gtest.h>
#include <rpc/rpc.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "apimem_internal.h"
#include "fapi_xdr.h"
#include "testsupport.hpp"
#include "xdr_record.hpp"

namespace fdk_test {

using Bytes = std::vector<uint8_t>;
using DryHeap = fdk::test::HeapFault<FapiSysAllocT, FapiSetSysAlloc>;
template <class T> using Proc = bool_t (*)(XDR *, T *);

// Wire bytes from a hand-written spec: every number is one big-endian 4-byte unit, every 'text' a
// string (length, bytes, zero padding to 4).
inline Bytes W(std::string_view spec) {
    Bytes b;
    auto unit = [&b](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
    };
    for (std::size_t i = 0; i < spec.size(); ++i) {
        if (spec[i] == ' ') continue;
        std::size_t end = spec[i] == '\'' ? spec.find('\'', i + 1) : spec.find(' ', i);
        if (end == std::string_view::npos) end = spec.size();
        if (spec[i] == '\'') {
            unit(static_cast<uint32_t>(end - i - 1));
            b.insert(b.end(), spec.begin() + i + 1, spec.begin() + end);
            while (b.size() % 4 != 0) b.push_back(0);
        } else {
            std::string number(spec.substr(i, end - i));
            unit(static_cast<uint32_t>(std::stoll(number, nullptr, 0)));
        }
        i = end;
    }
    return b;
}

inline std::string hex(const Bytes &b) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) s += {digits[c >> 4], digits[c & 15], ' '};
    return s;
}

// Encodes through a memory stream; empty with *ok false on failure.
template <class T> Bytes encode(Proc<T> proc, T &value, bool *ok = nullptr, u_int cap = 1 << 20) {
    Bytes buf(cap);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(buf.data()), cap, XDR_ENCODE);
    bool r = proc(&x, &value) != 0;
    if (ok != nullptr) *ok = r;
    buf.resize(r ? xdr_getpos(&x) : 0);
    xdr_destroy(&x);
    return buf;
}

// Decodes into `out` (zeroed first); `used` gets the bytes consumed.
template <class T> bool decode(Proc<T> proc, const Bytes &bytes, T &out, u_int *used = nullptr) {
    std::memset(static_cast<void *>(&out), 0, sizeof out);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(const_cast<uint8_t *>(bytes.data())),
                  static_cast<u_int>(bytes.size()), XDR_DECODE);
    bool r = proc(&x, &out) != 0;
    if (used != nullptr) *used = xdr_getpos(&x);
    xdr_destroy(&x);
    return r;
}

template <class T> void release(Proc<T> proc, T &value) {
    xdr_free(fdk::xdr::to_xdrproc(proc), reinterpret_cast<char *>(&value));
}

// Whether `bytes` decode; what the decoder allocated is released either way.
template <class T> bool decodes(Proc<T> proc, const Bytes &bytes) {
    T v;
    bool ok = decode(proc, bytes, v);
    release(proc, v);
    return ok;
}

// `value` encodes to exactly `spec`, and `spec` decodes whole into a value that encodes to it again.
template <class T> void check_golden(Proc<T> proc, T value, std::string_view spec) {
    SCOPED_TRACE(std::string(spec.substr(0, 100)));
    const Bytes want = W(spec), got = encode(proc, value);
    EXPECT_TRUE(got == want) << hex(got) << "\nwanted " << hex(want);
    T back;
    u_int used = 0;
    EXPECT_TRUE(decode(proc, want, back, &used));
    EXPECT_EQ(used, want.size());
    EXPECT_TRUE(encode(proc, back) == want) << "the decoded value differs";
    release(proc, back);
}

}  // namespace fdk_test
