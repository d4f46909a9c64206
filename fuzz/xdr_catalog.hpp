// xdr_catalog.hpp - every type the client's XDR filters carry, as one type
// list built from the field lists themselves (xdr_values.def and
// xdr_api_records.def), so a record added there is fuzzed without anyone
// touching the harnesses.
//
// An input of the XDR harnesses is one byte that picks the type (its index
// in the list, modulo the list's length) followed by the bytes to decode.
// The seed generator writes its seeds in the same form.
#ifndef FDK_FUZZ_XDR_CATALOG_HPP
#define FDK_FUZZ_XDR_CATALOG_HPP

#include <cstddef>
#include <cstdlib>
#include <string_view>
#include <type_traits>

#include "xdr_record.hpp"

namespace fdk::fuzz {

template <class... T> struct TypeList {
  static constexpr std::size_t size = sizeof...(T);
};

// StringT, then every value type, then every argument, result, callback and
// connect record, in the order of the lists.
using XdrTypes = TypeList<StringT
#define FDK_RECORD(T, ...) , T
#define FDK_ARRAY(T, E) , T
#define FDK_CUSTOM(T) , T
#include "xdr_values.def"
#define FDK_RECORD(T, ...) , T
#define FDK_RECORD_FIELDS(T, ...) , T
#include "xdr_api_records.def"
                          >;

inline constexpr std::size_t kXdrTypeCount = XdrTypes::size;
static_assert(kXdrTypeCount <= 256, "one selector byte must reach every type");

// Calls f(std::type_identity<T>{}) for the type at `index` of the list.
template <class F, class... T>
void visit_type(TypeList<T...>, std::size_t index, F &&f) {
  std::size_t i = 0;
  // Stops at the first match.
  (void)((i++ == index ? (f(std::type_identity<T>{}), true) : false) || ...);
}

// Calls f(std::type_identity<T>{}, index) for every type of the list.
template <class F, class... T> void for_each_type(TypeList<T...>, F &&f) {
  std::size_t i = 0;
  (f(std::type_identity<T>{}, i++), ...);
}

template <class T> constexpr std::string_view xdr_name() {
  if constexpr (std::is_same_v<T, StringT>) return "StringT";
  else return ::fdk::xdr::type_name<T>();
}

// The type's own filter with its real signature.  The harnesses call it
// directly: a call through libtirpc's variadic xdrproc_t is what clang's
// function-type check reports; proc_of<T>() is only handed to libtirpc
// (xdr_free, xdr_sizeof), which calls it the way it always does.
template <class T> constexpr auto filter_of() {
  using namespace ::fdk::xdr;
  if constexpr (std::is_same_v<T, StringT>) return &::xdr_StringT;
  else if constexpr (IsRecord<T>) return Record<T>::proc;
  else if constexpr (IsArray<T>) return Array<T>::proc;
  else return Custom<T>::proc;
}

// A zeroed heap record of exactly sizeof(T) bytes, so that the address
// sanitizer sees any access past it.
template <class T> T *zeroed() { return static_cast<T *>(std::calloc(1, sizeof(T))); }

}  // namespace fdk::fuzz

#endif  // FDK_FUZZ_XDR_CATALOG_HPP
