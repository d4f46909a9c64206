// api_procs.hpp - compile-time view of the procedure table (fapi_procs.def)
// for C++ code that instantiates something per procedure: the stubs, a
// generic server handler per row, call templates.
//
//   #define FAPI_PROC(number, CONSTANT, stub, Arg, Res) add(Proc<number, Arg, Res>{});
//   #include "fapi_procs.def"
//
// Proc<...>::arg_proc / res_proc give the filters, Proc<...>::Buffer the
// type to decode a result into (char for void), and fdk::xdr::Codec<Arg> or
// fdk::xdr::for_each_field reach the fields of record arguments.
#ifndef FDK_APILIB_API_PROCS_HPP
#define FDK_APILIB_API_PROCS_HPP

#include <cstddef>
#include <type_traits>

#include "xdr_record.hpp"

namespace fdk::apilib {

// What a result is decoded into: the type itself, or one byte for void.
template <class T> struct ResultBufferOf { using type = T; };
template <> struct ResultBufferOf<void> { using type = char; };
template <class T> using ResultBuffer = typename ResultBufferOf<T>::type;

// Size of an argument of type T on the caller's side (0 for void).
template <class T> constexpr std::size_t wire_size() {
    if constexpr (std::is_void_v<T>) return 0;
    else return sizeof(T);
}

template <int Number, class Arg, class Res> struct Proc {
    static constexpr int number = Number;
    using ArgType = Arg;
    using ResType = Res;
    using Buffer = ResultBuffer<Res>;
    static xdrproc_t arg_proc() { return fdk::xdr::proc_of<Arg>(); }
    static xdrproc_t res_proc() { return fdk::xdr::proc_of<Res>(); }
};

}  // namespace fdk::apilib

#endif  // FDK_APILIB_API_PROCS_HPP
