// record_json.hpp - JSON for any wire record, driven by the records' field
// lists (xdr_record.hpp): one printer and one reader for every record, value
// type and counted array.
//
//   to_json(value)        fixed records become objects keyed by field name,
//                         counted arrays become arrays, strings JSON strings
//                         (null for a null pointer), optional records null or
//                         an object, the 4-byte code an array of numbers.
//   from_json(j, value)   the reverse, used by the scenario language and the
//                         documents' property lists.  Records accept an object
//                         (missing fields stay zero) or an array of the fields
//                         in wire order.  For F_TypedValT and F_PropIdentT the
//                         selecting field (valType, num) is read first.
//                         Everything allocated comes from malloc, so the value
//                         is released with xdr_free and its own codec.  Throws
//                         std::invalid_argument on a mismatch; what was
//                         allocated before the throw stays reachable.
//
// Arrays longer than kJsonArrayCap elements are cut in the printout, followed
// by a string "... N more" so that a huge list cannot swell the journal.
#ifndef FDK_SIM_RECORD_JSON_HPP
#define FDK_SIM_RECORD_JSON_HPP

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "xdr_record.hpp"

namespace fdk::sim {

using Json = nlohmann::json;

inline constexpr unsigned kJsonArrayCap = 1024;

// An empty struct that stands for an xdr_void argument or result.
struct VoidRec {};

// The XDR filter of a wire type; VoidRec stands for void.
template <class T> inline xdrproc_t wire_proc() {
    if constexpr (std::is_same_v<T, VoidRec>) return xdr::proc_of<void>();
    else return xdr::proc_of<T>();
}

template <class T> Json to_json(const T &v);

namespace detail {

template <class M> Json member_json(const M &m) {
    using T = std::remove_cvref_t<M>;
    if constexpr (std::is_same_v<T, StringT>) {
        return m ? Json(std::string(m)) : Json(nullptr);
    } else if constexpr (std::is_same_v<T, UByteT[4]>) {
        return Json::array({m[0], m[1], m[2], m[3]});
    } else if constexpr (std::is_pointer_v<T>) {  // optional record
        return m ? to_json(*m) : Json(nullptr);
    } else {
        return to_json(m);
    }
}

}  // namespace detail

template <class T> Json to_json(const T &v) {
    using xdr::IsArray;
    using xdr::IsWalkable;
    if constexpr (std::is_same_v<T, VoidRec>) {
        return nullptr;
    } else if constexpr (std::is_same_v<T, IntT> || std::is_same_v<T, UIntT> ||
                         std::is_same_v<T, UByteT>) {
        return v;
    } else if constexpr (std::is_same_v<T, StringT>) {
        return v ? Json(std::string(v)) : Json(nullptr);
    } else if constexpr (IsArray<T>) {
        Json a = Json::array();
        unsigned n = v.val ? v.len : 0;
        for (unsigned i = 0; i < n && i < kJsonArrayCap; ++i) a.push_back(detail::member_json(v.val[i]));
        if (n > kJsonArrayCap) a.push_back("... " + std::to_string(n - kJsonArrayCap) + " more");
        return a;
    } else if constexpr (IsWalkable<T>) {
        Json o = Json::object();
        xdr::for_each_field(v, [&o](std::string_view name, const auto &m) {
            o[std::string(name)] = detail::member_json(m);
        });
        return o;
    } else {
        static_assert(sizeof(T) == 0, "no JSON form for this type");
    }
}

// ---------------------------------------------------------------------------

template <class T> void from_json(const Json &j, T &v);

namespace detail {

[[noreturn]] inline void bad(const std::string &what) { throw std::invalid_argument(what); }

inline StringT dup_string(const std::string &s) {
    char *p = static_cast<char *>(std::malloc(s.size() + 1));
    if (!p) throw std::bad_alloc();
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

template <class I> I json_int(const Json &j) {
    if (!j.is_number_integer() && !j.is_number_unsigned()) bad("expected an integer, got " + j.dump());
    if constexpr (std::is_signed_v<I>) {
        auto x = j.get<long long>();
        if (x < INT32_MIN || x > INT32_MAX) bad("integer out of range: " + j.dump());
        return static_cast<I>(x);
    } else {
        long long x = j.is_number_unsigned() ? static_cast<long long>(j.get<unsigned long long>())
                                             : j.get<long long>();
        if (x < 0 || x > static_cast<long long>(std::numeric_limits<I>::max()))
            bad("integer out of range: " + j.dump());
        return static_cast<I>(x);
    }
}

template <class M> void member_from(const Json &j, M &m) {
    using T = std::remove_cvref_t<M>;
    if constexpr (std::is_same_v<T, UByteT[4]>) {
        if (!j.is_array() || j.size() != 4) bad("expected 4 bytes");
        for (int i = 0; i < 4; ++i) m[i] = json_int<UByteT>(j[i]);
    } else if constexpr (std::is_pointer_v<T> && !std::is_same_v<T, StringT>) {
        using R = std::remove_pointer_t<T>;
        if (j.is_null()) {
            m = nullptr;
            return;
        }
        m = static_cast<R *>(std::calloc(1, sizeof(R)));
        if (!m) throw std::bad_alloc();
        from_json(j, *m);
    } else {
        from_json(j, m);
    }
}

}  // namespace detail

template <class T> void from_json(const Json &j, T &v) {
    using namespace detail;
    if constexpr (std::is_same_v<T, IntT> || std::is_same_v<T, UIntT> || std::is_same_v<T, UByteT>) {
        v = json_int<T>(j);
    } else if constexpr (std::is_same_v<T, StringT>) {
        if (j.is_null()) v = nullptr;
        else if (j.is_string()) v = dup_string(j.get<std::string>());
        else bad("expected a string, got " + j.dump());
    } else if constexpr (xdr::IsArray<T>) {
        using E = typename xdr::Array<T>::element;
        if (!j.is_array()) bad("expected a list, got " + j.dump());
        v.len = 0;
        v.val = nullptr;
        if (j.empty()) return;
        v.val = static_cast<E *>(std::calloc(j.size(), sizeof(E)));
        if (!v.val) throw std::bad_alloc();
        v.len = static_cast<UIntT>(j.size());
        for (size_t i = 0; i < j.size(); ++i) member_from(j[i], v.val[i]);
    } else if constexpr (std::is_same_v<T, F_TypedValT> || std::is_same_v<T, F_PropIdentT> ||
                         std::is_same_v<T, TextItemDataT>) {
        // The selecting field first, then the fields it selects.
        if (!j.is_object()) bad("expected an object, got " + j.dump());
        if constexpr (std::is_same_v<T, F_TypedValT>) v.valType = json_int<IntT>(j.at("valType"));
        if constexpr (std::is_same_v<T, F_PropIdentT>) v.num = json_int<IntT>(j.value("num", Json(0)));
        if constexpr (std::is_same_v<T, TextItemDataT>) v.dataType = json_int<IntT>(j.at("dataType"));
        bool first = true;
        xdr::for_each_field(v, [&](std::string_view name, auto &m) {
            if (first) {
                first = false;
                return;
            }
            auto it = j.find(std::string(name));
            if (it != j.end()) member_from(*it, m);
        });
    } else if constexpr (xdr::IsRecord<T>) {
        if (j.is_array()) {
            size_t i = 0;
            xdr::for_each_field(v, [&](std::string_view, auto &m) {
                if (i < j.size()) member_from(j[i], m);
                ++i;
            });
            if (i != j.size()) bad("expected " + std::to_string(i) + " fields, got " + j.dump());
        } else if (j.is_object()) {
            xdr::for_each_field(v, [&](std::string_view name, auto &m) {
                auto it = j.find(std::string(name));
                if (it != j.end()) member_from(*it, m);
            });
        } else {
            bad("expected an object or a list, got " + j.dump());
        }
    } else {
        static_assert(sizeof(T) == 0, "no JSON form for this type");
    }
}

// Releases what from_json or a decoder allocated inside v.
template <class T> void release(T &v) {
    xdr_free(wire_proc<T>(), reinterpret_cast<char *>(&v));
}

}  // namespace fdk::sim

#endif  // FDK_SIM_RECORD_JSON_HPP
