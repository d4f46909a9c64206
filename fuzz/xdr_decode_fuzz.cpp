// xdr_decode_fuzz - arbitrary bytes through every XDR decoder of the client.
//
// The first byte picks the type (xdr_catalog.hpp), the rest is decoded into
// a zeroed record with the type's own filter, successful or not, and then
// released with xdr_free and the same filter.  The sanitizers catch reads
// past the input, writes past the record and leaks; the harness itself
// checks what the encoders' contract promises after freeing: every string,
// element array and optional record is null again and every count 0.
#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fixed_env.hpp"
#include "xdr_catalog.hpp"

namespace {

using namespace fdk::xdr;

[[noreturn]] void fail(std::string_view type, const char *what) {
  std::fprintf(stderr, "xdr_decode_fuzz: %.*s: %s\n", static_cast<int>(type.size()),
               type.data(), what);
  std::abort();
}

// True when nothing that decoding may allocate is left in v.
template <class M> bool released(M &v) {
  if constexpr (std::is_pointer_v<M>) {
    return v == nullptr;
  } else if constexpr (IsArray<M>) {
    return v.len == 0 && v.val == nullptr;
  } else if constexpr (IsWalkable<M>) {
    bool all = true;
    for_each_field(v, [&all](std::string_view, auto &member) { all = all && released(member); });
    return all;
  } else {
    return true;
  }
}

template <class T> void decode_and_free(const uint8_t *data, size_t size) {
  constexpr std::string_view name = fdk::fuzz::xdr_name<T>();
  T *value = fdk::fuzz::zeroed<T>();
  if (value == nullptr) return;
  const xdrproc_t proc = proc_of<T>();
  XDR x;
  xdrmem_create(&x, reinterpret_cast<char *>(const_cast<uint8_t *>(data)),
                static_cast<u_int>(size), XDR_DECODE);
  const bool ok = fdk::fuzz::filter_of<T>()(&x, value) != 0;
  if (ok && xdr_getpos(&x) > size) fail(name, "decoding claims more bytes than it was given");
  xdr_destroy(&x);
  xdr_free(proc, reinterpret_cast<char *>(value));
  if (!released(*value)) fail(name, "xdr_free left memory in the record");
  std::free(value);
}

}  // namespace

// Nothing here reads the environment; it is fixed all the same.
FDK_FUZZ_FIXED_ENVIRONMENT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const size_t index = data[0] % fdk::fuzz::kXdrTypeCount;
  fdk::fuzz::visit_type(fdk::fuzz::XdrTypes{}, index, [&](auto tag) {
    decode_and_free<typename decltype(tag)::type>(data + 1, size - 1);
  });
  return 0;
}
