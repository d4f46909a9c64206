// wildfld - expands the '*' fields of one printf specification into the
// numbers they stand for.
#include "fde_sprint.h"

#include <cstdio>
#include <cstring>

extern "C" {

IntT FdeProcessWildFieldWidth(StringT spec, va_list *args) {
  if (spec == nullptr || args == nullptr) return -1;
  char out[FDE_SPEC_SIZE];
  size_t o = 0;
  bool fits = true;
  size_t len = strnlen(spec, FDE_SPEC_SIZE - 1);
  for (size_t i = 0; i < len; ++i) {
    if (spec[i] != '*') {
      if (o + 1 < sizeof out)
        out[o++] = spec[i];
      else
        fits = false;
      continue;
    }
    // Every '*' is consumed, even once the result no longer fits, so the
    // caller's argument cursor stays in step with the format.
    IntT value = va_arg(*args, IntT);
    char num[16];
    int n = std::snprintf(num, sizeof num, "%d", static_cast<int>(value));
    if (o + static_cast<size_t>(n) < sizeof out) {
      std::memcpy(out + o, num, static_cast<size_t>(n));
      o += static_cast<size_t>(n);
    } else {
      fits = false;
    }
  }
  if (!fits) return -1;
  out[o] = 0;
  std::memcpy(spec, out, o + 1);
  return static_cast<IntT>(o);
}

}  // extern "C"
