// xdr_roundtrip_fuzz - decode, encode, decode again, encode again.
//
// Input as for xdr_decode_fuzz.  When the bytes decode, the value must
// encode (decoded values are always encodable), the encoding must decode
// again over exactly its own length, and that second value must encode to
// the same bytes: decoding then encoding is canonical.  The encoding is
// never longer than what the first decode consumed (padding may be dropped,
// a string stops at its first zero byte, a byte field keeps its low eight
// bits, but nothing is invented).
#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fixed_env.hpp"
#include "xdr_catalog.hpp"

namespace {

[[noreturn]] void fail(std::string_view type, const char *what) {
  std::fprintf(stderr, "xdr_roundtrip_fuzz: %.*s: %s\n", static_cast<int>(type.size()),
               type.data(), what);
  std::abort();
}

// Decodes `size` bytes into a fresh record; null when they do not decode
// (everything allocated is released then).  *used: bytes consumed.
template <class T> T *decode(xdrproc_t proc, const char *data, size_t size, size_t *used) {
  T *value = fdk::fuzz::zeroed<T>();
  if (value == nullptr) fail(fdk::fuzz::xdr_name<T>(), "out of memory");
  XDR x;
  xdrmem_create(&x, const_cast<char *>(data), static_cast<u_int>(size), XDR_DECODE);
  const bool ok = fdk::fuzz::filter_of<T>()(&x, value) != 0;
  *used = xdr_getpos(&x);
  xdr_destroy(&x);
  if (!ok) {
    xdr_free(proc, reinterpret_cast<char *>(value));
    std::free(value);
    return nullptr;
  }
  return value;
}

// Encodes into a buffer of exactly the size xdr_sizeof announces.
template <class T> char *encode(std::string_view name, xdrproc_t proc, T *value, size_t *size) {
  const u_long want = xdr_sizeof(proc, value);
  // xdr_sizeof answers 0 both for an empty encoding and for a failure.
  char *buf = static_cast<char *>(std::malloc(want != 0 ? want : 1));
  if (buf == nullptr) fail(name, "out of memory");
  XDR x;
  xdrmem_create(&x, buf, static_cast<u_int>(want), XDR_ENCODE);
  if (!fdk::fuzz::filter_of<T>()(&x, value)) fail(name, "a decoded value does not encode");
  if (xdr_getpos(&x) != want) fail(name, "xdr_sizeof and the encoding disagree");
  xdr_destroy(&x);
  *size = want;
  return buf;
}

template <class T> void round_trip(const uint8_t *data, size_t size) {
  constexpr std::string_view name = fdk::fuzz::xdr_name<T>();
  const xdrproc_t proc = fdk::xdr::proc_of<T>();
  size_t used = 0;
  T *first = decode<T>(proc, reinterpret_cast<const char *>(data), size, &used);
  if (first == nullptr) return;
  size_t n1 = 0;
  char *bytes1 = encode(name, proc, first, &n1);
  if (n1 > used) fail(name, "the encoding is longer than the input it came from");

  size_t used2 = 0;
  T *second = decode<T>(proc, bytes1, n1, &used2);
  if (second == nullptr) fail(name, "an encoding does not decode");
  if (used2 != n1) fail(name, "decoding an encoding does not consume all of it");
  size_t n2 = 0;
  char *bytes2 = encode(name, proc, second, &n2);
  if (n2 != n1 || std::memcmp(bytes1, bytes2, n1) != 0)
    fail(name, "encode(decode(encode(v))) differs from encode(v)");

  std::free(bytes2);
  std::free(bytes1);
  xdr_free(proc, reinterpret_cast<char *>(second));
  xdr_free(proc, reinterpret_cast<char *>(first));
  std::free(second);
  std::free(first);
}

}  // namespace

// Nothing here reads the environment; it is fixed all the same.
FDK_FUZZ_FIXED_ENVIRONMENT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const size_t index = data[0] % fdk::fuzz::kXdrTypeCount;
  fdk::fuzz::visit_type(fdk::fuzz::XdrTypes{}, index, [&](auto tag) {
    round_trip<typename decltype(tag)::type>(data + 1, size - 1);
  });
  return 0;
}
