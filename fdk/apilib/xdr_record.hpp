// xdr_record.hpp - one field list per record, many uses.
//
// Every record of the wire protocol is a C struct (fapi_types.h) plus one
// line in xdr_values.def or xdr_api_records.def that lists its fields in wire
// order.  This header turns those lines into compile-time descriptions:
//
//   fdk::xdr::Record<T>  fixed records: `name`, `fields` (a tuple of Field
//                        descriptors: name, pointer to member, codec), `proc`
//   fdk::xdr::Array<T>   counted arrays {len, val}: `name`, `element`, `proc`
//   fdk::xdr::Custom<T>  the three types with hand-written bodies
//                        (F_PropIdentT, F_TypedValT, TextItemDataT)
//   fdk::xdr::Codec<T>   `static bool_t code(XDR *, T *)`: encode, decode or
//                        free by the stream's direction, for any wire type
//                        (ints, strings, records, arrays, optional pointers)
//
// Walking a record's fields (for printing, comparing, generic handlers):
//
//   fdk::xdr::for_each_field(rec, [](std::string_view name, auto &member) {
//       using M = std::remove_cvref_t<decltype(member)>;
//       if constexpr (fdk::xdr::IsWalkable<M>) { /* recurse */ }
//       else if constexpr (fdk::xdr::IsArray<M>) { /* member.len, member.val */ }
//       else if constexpr (std::is_pointer_v<M>) { /* string or optional */ }
//       ...
//   });
//
// for_each_field visits what travels, in wire order: for fixed records every
// field; for F_PropIdentT `num` and, only when num is 0, `name`; for
// F_TypedValT `valType` and then the active union arm under its member name
// (`ival`, `sval`, `ssval`, ..., `erngval` for type 19, a possibly null
// pointer); for TextItemDataT `dataType` then `sdata` or `idata`.
//
// Generic coding: fdk::xdr::code(xdrs, &value) for any wire type, and
// fdk::xdr::proc_of<T>() for the xdrproc_t that libtirpc wants (T may be
// void); type_name<T>() gives the record's name.  The cast to libtirpc's
// variadic xdrproc_t is made in to_xdrproc() and nowhere else.  Code made
// once per procedure (stubs, server handlers) expands fapi_procs.def; see
// api_procs.hpp.
//
// Decoding allocates with malloc (strings, element arrays, optional records)
// and expects null pointers in the destination; freeing releases with free()
// and leaves pointers null and counts 0.  A decode that fails part-way leaves
// everything it allocated reachable from the record, so one free pass with
// the same codec releases it.
#ifndef FDK_APILIB_XDR_RECORD_HPP
#define FDK_APILIB_XDR_RECORD_HPP

#include <rpc/rpc.h>

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "fapi_types.h"
#include "fapi_xdr.h"

namespace fdk::xdr {

// The one place where a typed filter becomes libtirpc's variadic xdrproc_t.
template <class T>
inline xdrproc_t to_xdrproc(bool_t (*fn)(XDR *, T *)) {
    return reinterpret_cast<xdrproc_t>(fn);
}
// xdr_void takes no arguments at all; going through void (*)() tells the
// compiler that the change of signature is meant.
inline xdrproc_t to_xdrproc(bool_t (*fn)()) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(fn));
}

// ---------------------------------------------------------------------------
// Descriptions filled in by the .def files.

template <class T> struct Codec;  // specialised below for every wire type
template <class T> struct Record {};
template <class T> struct Array {};
template <class T> struct Custom {};

template <class T> concept IsRecord = requires { Record<T>::fields; };
template <class T> concept IsArray = requires { typename Array<T>::element; };
template <class T> concept IsCustom = requires { Custom<T>::name; };
// Types with named fields that for_each_field can walk.
template <class T> concept IsWalkable = IsRecord<T> || IsCustom<T>;

// One field: its name, where it lives and the codec that carries it.
template <class Rec, class M, class C>
struct Field {
    using record_type = Rec;
    using member_type = M;
    using codec = C;
    std::string_view name;
    M Rec::*member;
};

template <class C, class Rec, class M>
constexpr Field<Rec, M, C> field_as(std::string_view name, M Rec::*member) {
    return {name, member};
}
template <class Rec, class M>
constexpr Field<Rec, M, Codec<M>> field(std::string_view name, M Rec::*member) {
    return {name, member};
}

// ---------------------------------------------------------------------------
// Allocation used by every decoder; freeing uses std::free.

inline void *zalloc(std::size_t count, std::size_t size) { return std::calloc(count, size); }

// Strings longer than this, and arrays whose elements would take more than
// kGrowBytes, are read in steps: a hostile count costs at most one step of
// memory before the stream runs out.
inline constexpr std::size_t kGrowBytes = 256 * 1024;

// ---------------------------------------------------------------------------
// Codecs of the primitive types.

template <> struct Codec<IntT> {
    static bool_t code(XDR *x, IntT *p) { return xdr_int(x, p); }
};
template <> struct Codec<UIntT> {
    static bool_t code(XDR *x, UIntT *p) { return xdr_u_int(x, p); }
};
template <> struct Codec<UByteT> {
    static bool_t code(XDR *x, UByteT *p) { return xdr_u_char(x, p); }
};
// StringT: no length limit, null sent as "" (xdr_StringT, xdrstr.cpp).
template <> struct Codec<StringT> {
    static bool_t code(XDR *x, StringT *p) { return xdr_StringT(x, p); }
};
// Four bytes, each in its own unit, no count (the F_FileFormatT code).
template <> struct Codec<UByteT[4]> {
    static bool_t code(XDR *x, UByteT (*p)[4]) {
        for (UByteT &b : *p)
            if (!xdr_u_char(x, &b)) return FALSE;
        return TRUE;
    }
};
// The plain XDR string filter, for the connect records: a null string cannot
// be encoded.  The null case is answered here because some builds of the
// filter (the sanitizers' wrapper among them) read the string before looking.
struct PlainString {
    static bool_t code(XDR *x, StringT *p) {
        if (*p == nullptr && x->x_op != XDR_DECODE) return x->x_op == XDR_FREE;
        return xdr_wrapstring(x, p);
    }
};

// ---------------------------------------------------------------------------
// Whether decoding a T may allocate, i.e. whether freeing it has work to do.

template <class T> struct OwnsMemory : std::false_type {};
template <> struct OwnsMemory<StringT> : std::true_type {};
template <class T> struct OwnsMemory<T *> : std::true_type {};
template <IsArray T> struct OwnsMemory<T> : std::true_type {};
template <IsCustom T> struct OwnsMemory<T> : std::true_type {};
template <IsRecord T> struct OwnsMemory<T> {
    static constexpr bool value = std::apply(
        [](const auto &...f) {
            return (OwnsMemory<typename std::remove_cvref_t<decltype(f)>::member_type>::value ||
                    ...);
        },
        Record<T>::fields);
};
template <class T> inline constexpr bool owns_memory_v = OwnsMemory<T>::value;

// ---------------------------------------------------------------------------
// Fixed records: each field in order, stopping at the first failure.

template <IsRecord T> struct Codec<T> {
    static bool_t code(XDR *x, T *p) {
        return std::apply(
            [x, p](const auto &...f) {
                return (code_field(x, p, f) && ...);
            },
            Record<T>::fields);
    }

private:
    template <class F> static bool code_field(XDR *x, T *p, const F &f) {
        return F::codec::code(x, &(p->*f.member)) != 0;
    }
};

// ---------------------------------------------------------------------------
// Counted arrays: the count (XDR unsigned int, no upper limit), then each
// element.  A count of 0 decodes to a null pointer.
//
// Decoding grows the element storage as elements arrive instead of trusting
// the count, so 0xFFFFFFFF in a short stream fails after at most kGrowBytes.
// At every moment `len` is the number of elements allocated (all zeroed or
// decoded), which is exactly what a free pass must walk.

template <IsArray A> struct Codec<A> {
    using E = typename Array<A>::element;

    static bool_t code(XDR *x, A *a) {
        switch (x->x_op) {
        case XDR_ENCODE: return encode(x, a);
        case XDR_DECODE: return decode(x, a);
        case XDR_FREE: release(x, a); return TRUE;
        }
        return FALSE;
    }

private:
    static bool_t encode(XDR *x, A *a) {
        u_int n = a->len;
        if (!xdr_u_int(x, &n)) return FALSE;
        if (n != 0 && a->val == nullptr) return FALSE;
        for (u_int i = 0; i < n; ++i)
            if (!Codec<E>::code(x, &a->val[i])) return FALSE;
        return TRUE;
    }

    static bool_t decode(XDR *x, A *a) {
        a->len = 0;
        a->val = nullptr;
        u_int n = 0;
        if (!xdr_u_int(x, &n)) return FALSE;
        if (n == 0) return TRUE;
        constexpr std::size_t step = kGrowBytes / sizeof(E) ? kGrowBytes / sizeof(E) : 1;
        u_int cap = n < step ? n : static_cast<u_int>(step);
        a->val = static_cast<E *>(zalloc(cap, sizeof(E)));
        if (a->val == nullptr) return FALSE;
        a->len = cap;
        for (u_int i = 0; i < n; ++i) {
            if (i == cap) {
                std::size_t want = static_cast<std::size_t>(cap) * 2;
                u_int next = want < n ? static_cast<u_int>(want) : n;
                void *grown = std::realloc(a->val, static_cast<std::size_t>(next) * sizeof(E));
                if (grown == nullptr) return FALSE;
                a->val = static_cast<E *>(grown);
                std::memset(static_cast<void *>(a->val + cap), 0,
                            static_cast<std::size_t>(next - cap) * sizeof(E));
                cap = next;
                a->len = cap;
            }
            if (!Codec<E>::code(x, &a->val[i])) return FALSE;
        }
        return TRUE;
    }

    static void release(XDR *x, A *a) {
        if (a->val != nullptr) {
            if constexpr (owns_memory_v<E>) {
                for (u_int i = 0; i < a->len; ++i) Codec<E>::code(x, &a->val[i]);
            }
            std::free(a->val);
        }
        a->val = nullptr;
        a->len = 0;
    }
};

// ---------------------------------------------------------------------------
// Optional records: a flag word (1 present, 0 null), then the record.

template <class T>
    requires(IsRecord<T> || IsArray<T> || IsCustom<T>)
struct Codec<T *> {
    static bool_t code(XDR *x, T **pp) {
        switch (x->x_op) {
        case XDR_ENCODE: {
            u_int present = *pp != nullptr;
            if (!xdr_u_int(x, &present)) return FALSE;
            return present ? Codec<T>::code(x, *pp) : TRUE;
        }
        case XDR_DECODE: {
            *pp = nullptr;
            u_int present = 0;
            if (!xdr_u_int(x, &present)) return FALSE;
            if (present == 0) return TRUE;
            if (present != 1) return FALSE;  // not an XDR boolean
            *pp = static_cast<T *>(zalloc(1, sizeof(T)));
            if (*pp == nullptr) return FALSE;
            return Codec<T>::code(x, *pp);
        }
        case XDR_FREE:
            if (*pp != nullptr) {
                Codec<T>::code(x, *pp);
                std::free(*pp);
                *pp = nullptr;
            }
            return TRUE;
        }
        return FALSE;
    }
};

// ---------------------------------------------------------------------------
// Types with hand-written encoders (xdrstr.cpp).

template <IsCustom T> struct Codec<T> {
    static bool_t code(XDR *x, T *p) { return Custom<T>::proc(x, p); }
};

// ---------------------------------------------------------------------------
// The descriptions themselves.

#define FDK_XDR_NARGS_(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, _13, _14, _15, _16, \
                       N, ...)                                                              \
    N
#define FDK_XDR_NARGS(...) \
    FDK_XDR_NARGS_(__VA_ARGS__, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define FDK_XDR_CAT_(a, b) a##b
#define FDK_XDR_CAT(a, b) FDK_XDR_CAT_(a, b)

#define FDK_FIELD(T, m) ::fdk::xdr::field(#m, &T::m)
#define FDK_FIELD_AS(T, m, C) ::fdk::xdr::field_as<C>(#m, &T::m)

#define FDK_XDR_F1(T, a) FDK_FIELD(T, a)
#define FDK_XDR_F2(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F1(T, __VA_ARGS__)
#define FDK_XDR_F3(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F2(T, __VA_ARGS__)
#define FDK_XDR_F4(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F3(T, __VA_ARGS__)
#define FDK_XDR_F5(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F4(T, __VA_ARGS__)
#define FDK_XDR_F6(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F5(T, __VA_ARGS__)
#define FDK_XDR_F7(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F6(T, __VA_ARGS__)
#define FDK_XDR_F8(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F7(T, __VA_ARGS__)
#define FDK_XDR_F9(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F8(T, __VA_ARGS__)
#define FDK_XDR_F10(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F9(T, __VA_ARGS__)
#define FDK_XDR_F11(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F10(T, __VA_ARGS__)
#define FDK_XDR_F12(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F11(T, __VA_ARGS__)
#define FDK_XDR_F13(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F12(T, __VA_ARGS__)
#define FDK_XDR_F14(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F13(T, __VA_ARGS__)
#define FDK_XDR_F15(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F14(T, __VA_ARGS__)
#define FDK_XDR_F16(T, a, ...) FDK_FIELD(T, a), FDK_XDR_F15(T, __VA_ARGS__)
#define FDK_XDR_FIELDS(T, ...) FDK_XDR_CAT(FDK_XDR_F, FDK_XDR_NARGS(__VA_ARGS__))(T, __VA_ARGS__)

#define FDK_RECORD_FIELDS(T, ...)                                                 \
    template <> struct Record<T> {                                                \
        static constexpr std::string_view name = #T;                              \
        static constexpr auto fields = std::make_tuple(__VA_ARGS__);              \
        static constexpr bool_t (*proc)(XDR *, T *) = &::xdr_##T;                 \
    };
#define FDK_RECORD(T, ...) FDK_RECORD_FIELDS(T, FDK_XDR_FIELDS(T, __VA_ARGS__))
#define FDK_ARRAY(T, E)                                                           \
    template <> struct Array<T> {                                                 \
        static_assert(std::is_same_v<decltype(T::len), UIntT>);                   \
        static_assert(std::is_same_v<decltype(T::val), E *>);                     \
        static constexpr std::string_view name = #T;                              \
        using element = E;                                                        \
        static constexpr bool_t (*proc)(XDR *, T *) = &::xdr_##T;                 \
    };
#define FDK_CUSTOM(T)                                                             \
    template <> struct Custom<T> {                                                \
        static constexpr std::string_view name = #T;                              \
        static constexpr bool_t (*proc)(XDR *, T *) = &::xdr_##T;                 \
    };

#include "xdr_values.def"  // undefines FDK_RECORD, FDK_ARRAY, FDK_CUSTOM

#define FDK_RECORD(T, ...) FDK_RECORD_FIELDS(T, FDK_XDR_FIELDS(T, __VA_ARGS__))
#include "xdr_api_records.def"  // undefines FDK_RECORD, FDK_RECORD_FIELDS

// ---------------------------------------------------------------------------
// Generic entry points.

template <class T> inline bool_t code(XDR *x, T *p) { return Codec<T>::code(x, p); }

// The wire name of a described type ("ApiFmOpenArgT", "F_StringsT", ...).
template <class T> constexpr std::string_view type_name() {
    if constexpr (IsRecord<T>) return Record<T>::name;
    else if constexpr (IsArray<T>) return Array<T>::name;
    else if constexpr (IsCustom<T>) return Custom<T>::name;
    else if constexpr (std::is_same_v<T, IntT>) return "int";
    else if constexpr (std::is_same_v<T, StringT>) return "StringT";
    else if constexpr (std::is_void_v<T>) return "void";
    else return "?";
}

// The libtirpc filter for T: xdr_void for void, xdr_int, xdr_StringT, or the
// record's own xdr_<T>.
template <class T> inline xdrproc_t proc_of() {
    if constexpr (std::is_void_v<T>) return to_xdrproc(&xdr_void);
    else if constexpr (std::is_same_v<T, IntT>) return to_xdrproc(&xdr_int);
    else if constexpr (std::is_same_v<T, StringT>) return to_xdrproc(&xdr_StringT);
    else if constexpr (IsRecord<T>) return to_xdrproc(Record<T>::proc);
    else if constexpr (IsArray<T>) return to_xdrproc(Array<T>::proc);
    else return to_xdrproc(Custom<T>::proc);
}

// ---------------------------------------------------------------------------
// Field walking.  f(std::string_view name, M &member) per field on the wire.

template <class T, class F>
    requires IsRecord<std::remove_const_t<T>>
void for_each_field(T &rec, F &&f) {
    std::apply([&](const auto &...fd) { (f(fd.name, rec.*(fd.member)), ...); },
               Record<std::remove_const_t<T>>::fields);
}

template <class T, class F>
    requires std::is_same_v<std::remove_const_t<T>, F_PropIdentT>
void for_each_field(T &id, F &&f) {
    f(std::string_view("num"), id.num);
    if (id.num == 0) f(std::string_view("name"), id.name);
}

template <class T, class F>
    requires std::is_same_v<std::remove_const_t<T>, TextItemDataT>
void for_each_field(T &d, F &&f) {
    f(std::string_view("dataType"), d.dataType);
    if (d.dataType == 1) f(std::string_view("sdata"), d.u.sdata);
    else f(std::string_view("idata"), d.u.idata);
}

template <class T, class F>
    requires std::is_same_v<std::remove_const_t<T>, F_TypedValT>
void for_each_field(T &v, F &&f) {
    f(std::string_view("valType"), v.valType);
    auto &u = v.u;
    switch (v.valType) {
    case FT_String: f(std::string_view("sval"), u.sval); break;
    case FT_Metrics: f(std::string_view("msval"), u.msval); break;
    case FT_Strings: f(std::string_view("ssval"), u.ssval); break;
    case FT_Points: f(std::string_view("psval"), u.psval); break;
    case FT_Tabs: f(std::string_view("tsval"), u.tsval); break;
    case FT_TextLoc: f(std::string_view("tlval"), u.tlval); break;
    case FT_TextRange: f(std::string_view("trval"), u.trval); break;
    case FT_ElementCatalog: f(std::string_view("csval"), u.csval); break;
    case FT_Ints: f(std::string_view("isval"), u.isval); break;
    case FT_UBytes: f(std::string_view("ubsval"), u.ubsval); break;
    case FT_UInts: f(std::string_view("uisval"), u.uisval); break;
    case FT_AttributeDefs: f(std::string_view("adsval"), u.adsval); break;
    case FT_Attributes: f(std::string_view("asval"), u.asval); break;
    case FT_ElementRange: f(std::string_view("erngval"), u.erngval); break;
    case FT_FileFormat: f(std::string_view("ffval"), u.ffval); break;
    default: f(std::string_view("ival"), u.ival); break;
    }
}

}  // namespace fdk::xdr

#endif  // FDK_APILIB_XDR_RECORD_HPP
