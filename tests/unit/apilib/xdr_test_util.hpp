// Helpers for the encoder tests: a builder for expected wire bytes written
// from the XDR rules, encode/decode through memory streams, and a deep
// comparison of decoded values.
#pragma once

#include <gtest/gtest.h>
#include <rpc/rpc.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fapi_types.h"
#include "fapi_xdr.h"
#include "xdr_record.hpp"

namespace fdk_test {

using Bytes = std::vector<uint8_t>;

// Expected bytes, written by hand from the rules: big-endian 4-byte units,
// strings as length, bytes, zero padding to a multiple of 4.
struct Wire {
    Bytes b;
    Wire &u32(uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
        return *this;
    }
    Wire &i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Wire &str(std::string_view s) {
        u32(static_cast<uint32_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        while (b.size() % 4 != 0) b.push_back(0);
        return *this;
    }
    Wire &raw(const Bytes &more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
};

template <class T> using Proc = bool_t (*)(XDR *, T *);

// Encodes through a memory stream; an empty result with ok=false on failure.
template <class T> Bytes encode(Proc<T> proc, T &value, bool *ok = nullptr,
                                std::size_t cap = 1 << 20) {
    Bytes buf(cap);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(buf.data()), static_cast<u_int>(cap), XDR_ENCODE);
    bool r = proc(&x, &value) != 0;
    if (ok) *ok = r;
    buf.resize(r ? xdr_getpos(&x) : 0);
    xdr_destroy(&x);
    return buf;
}

// Decodes into `out` (cleared first).  Returns the filter's result; `used`
// receives the number of bytes consumed.
template <class T> bool decode(Proc<T> proc, const Bytes &bytes, T &out, u_int *used = nullptr) {
    std::memset(static_cast<void *>(&out), 0, sizeof out);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(const_cast<uint8_t *>(bytes.data())),
                  static_cast<u_int>(bytes.size()), XDR_DECODE);
    bool r = proc(&x, &out) != 0;
    if (used) *used = xdr_getpos(&x);
    xdr_destroy(&x);
    return r;
}

template <class T> void release(Proc<T> proc, T &value) {
    xdr_free(fdk::xdr::to_xdrproc(proc), reinterpret_cast<char *>(&value));
}

// A decoded value that frees itself with its encoder.
template <class T> struct Decoded {
    Proc<T> proc;
    T value{};
    bool ok = false;
    u_int used = 0;
    Decoded(Proc<T> p, const Bytes &bytes) : proc(p) { ok = decode(p, bytes, value, &used); }
    ~Decoded() { release(proc, value); }
    Decoded(const Decoded &) = delete;
    Decoded &operator=(const Decoded &) = delete;
};

// ---------------------------------------------------------------------------
// Deep comparison of wire values (a null string equals ""), reporting the
// path of the first difference.

inline std::string_view sv(const char *s) { return s ? std::string_view(s) : std::string_view(); }

template <class T> bool deep_equal(const T &a, const T &b, std::string &path);

template <class T> bool deep_equal_fields(const T &a, const T &b, std::string &path) {
    namespace x = fdk::xdr;
    if constexpr (x::IsRecord<T>) {
        return std::apply(
            [&](const auto &...f) {
                return ([&] {
                    if (deep_equal(a.*(f.member), b.*(f.member), path)) return true;
                    path = std::string(f.name) + "." + path;
                    return false;
                }() && ...);
            },
            x::Record<T>::fields);
    } else if constexpr (std::is_same_v<T, F_PropIdentT>) {
        if (a.num != b.num) return path = "num", false;
        if (a.num == 0 && sv(a.name) != sv(b.name)) return path = "name", false;
        return true;
    } else if constexpr (std::is_same_v<T, TextItemDataT>) {
        if (a.dataType != b.dataType) return path = "dataType", false;
        if (a.dataType == 1) return sv(a.u.sdata) == sv(b.u.sdata) || (path = "sdata", false);
        return a.u.idata == b.u.idata || (path = "idata", false);
    } else {
        static_assert(std::is_same_v<T, F_TypedValT>);
        if (a.valType != b.valType) return path = "valType", false;
        // Walk both values' active arm in step.
        std::vector<const void *> arms;
        std::string arm;
        bool same = true;
        fdk::xdr::for_each_field(a, [&](std::string_view n, const auto &m) {
            if (n != "valType") arm = n, arms.push_back(&m);
        });
        fdk::xdr::for_each_field(b, [&](std::string_view n, const auto &m) {
            using M = std::remove_cvref_t<decltype(m)>;
            if (n == "valType") return;
            if (!deep_equal(*static_cast<const M *>(arms.at(0)), m, path)) same = false;
        });
        if (!same) path = arm + "." + path;
        return same;
    }
}

template <class T> bool deep_equal(const T &a, const T &b, std::string &path) {
    namespace x = fdk::xdr;
    if constexpr (std::is_same_v<T, StringT>) {
        return sv(a) == sv(b) || (path = "'" + std::string(sv(a)) + "'!='" + std::string(sv(b)) + "'", false);
    } else if constexpr (std::is_array_v<T>) {
        return std::memcmp(a, b, sizeof a) == 0 || (path = "bytes", false);
    } else if constexpr (std::is_pointer_v<T>) {
        if (!a || !b) return a == b || (path = "presence", false);
        return deep_equal(*a, *b, path);
    } else if constexpr (x::IsArray<T>) {
        if (a.len != b.len) return path = "len", false;
        for (UIntT i = 0; i < a.len; ++i)
            if (!deep_equal(a.val[i], b.val[i], path)) return path = "[" + std::to_string(i) + "]." + path, false;
        return true;
    } else if constexpr (x::IsWalkable<T>) {
        return deep_equal_fields(a, b, path);
    } else {
        return a == b || (path = std::to_string(a) + "!=" + std::to_string(b), false);
    }
}

template <class T>::testing::AssertionResult DeepEqual(const T &a, const T &b) {
    std::string path;
    if (deep_equal(a, b, path)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "differs at " << path;
}

inline std::string hex(const Bytes &b) {
    static const char *d = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i && i % 4 == 0) s += ' ';
        s += d[b[i] >> 4];
        s += d[b[i] & 15];
    }
    return s;
}

// Encodes `value`, compares with `expected`, decodes `expected` back and
// compares field by field, then frees the decoded copy.
template <class T>
void check_golden(Proc<T> proc, T value, const Wire &expected) {
    bool ok = false;
    Bytes got = encode(proc, value, &ok);
    ASSERT_TRUE(ok) << "encoding failed";
    EXPECT_EQ(hex(got), hex(expected.b));
    Decoded<T> back(proc, expected.b);
    ASSERT_TRUE(back.ok) << "decoding failed";
    EXPECT_EQ(back.used, expected.b.size()) << "decoder did not consume the whole record";
    EXPECT_TRUE(DeepEqual(value, back.value));
}

}  // namespace fdk_test
