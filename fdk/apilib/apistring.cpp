// apistring - the string helpers of the API values: length, copy into a
// buffer, copy into a new block, release.
#include "fapi_values.h"

#include <climits>
#include <cstring>

extern "C" {

IntT F_ApiStringLen(ConStringT s) {
  if (s == nullptr) return 0;
  size_t n = std::strlen(s);
  return n > INT32_MAX ? INT32_MAX : static_cast<IntT>(n);
}

StringT strCpy(StringT dst, ConStringT src) {
  if (dst == nullptr) return dst;
  if (src == nullptr) src = "";
  std::memmove(dst, src, std::strlen(src) + 1);
  return dst;
}

StringT F_ApiCopyString(ConStringT s) {
  if (s == nullptr) s = "";
  size_t n = std::strlen(s);
  auto *copy = static_cast<StringT>(FapiMalloc(n + 1));
  if (copy != nullptr) std::memcpy(copy, s, n + 1);
  return copy;
}

void F_ApiDeallocateString(StringT *sp) {
  if (sp == nullptr) return;
  F_ApiFree(*sp);
  *sp = nullptr;
}

}  // extern "C"
