// sprint - F_Sprintf and F_VSprintf.
//
// The format is cut into single specifications here.  Each one is checked
// against the grammar %[flags][width][.precision][size]conversion, its
// argument is fetched with the type the library promises (32-bit integers
// for every integer conversion), and the conversion text is rebuilt with the
// size modifier that matches the value actually handed to the C library.
// The system formatter therefore only ever sees one well-formed
// specification together with exactly the argument it names.
#include "fde_sprint.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kConversions[] = "dioxXucsfeEgGp%";

bool IsConversion(char c) { return c != 0 && std::strchr(kConversions, c) != nullptr; }
bool IsFlag(char c) { return c != 0 && std::strchr("-+ #0'", c) != nullptr; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSizeModifier(char c) { return c != 0 && std::strchr("hlLqjzt", c) != nullptr; }
bool IsSigned(char c) { return c == 'd' || c == 'i'; }
bool IsUnsigned(char c) { return c == 'o' || c == 'u' || c == 'x' || c == 'X'; }
bool IsFloat(char c) { return c != 0 && std::strchr("eEfgG", c) != nullptr; }

// Moves the cursor past the argument that conversion c takes.
void SkipArgument(char c, va_list *args) {
  if (IsSigned(c) || IsUnsigned(c) || c == 'c')
    (void)va_arg(*args, IntT);
  else if (c == 's' || c == 'p')
    (void)va_arg(*args, void *);
  else if (IsFloat(c))
    (void)va_arg(*args, double);
}

template <typename T>
IntT Emit(char *dst, const char *spec, T value) {
  int n = std::sprintf(dst, spec, value);
  if (n < 0) {
    *dst = 0;
    return 0;
  }
  return n;
}

// The rebuilt specification; false when spec does not follow the grammar.
bool Rebuild(const char *spec, size_t len, char (&out)[FDE_SPEC_SIZE]) {
  const char c = spec[len - 1];
  const char *p = spec + 1;
  const char *end = spec + len - 1;  // the conversion character
  size_t o = 0;
  out[o++] = '%';
  while (p < end && IsFlag(*p)) out[o++] = *p++;
  while (p < end && IsDigit(*p)) out[o++] = *p++;
  if (p < end && *p == '.') {
    const char *dot = p++;
    bool negative = p < end && *p == '-';
    if (negative) ++p;
    while (p < end && IsDigit(*p)) ++p;
    // A negative precision (from a '*') means none at all.
    if (!negative) {
      std::memcpy(out + o, dot, static_cast<size_t>(p - dot));
      o += static_cast<size_t>(p - dot);
    }
  }
  const char *mods = p;
  while (p < end && IsSizeModifier(*p)) ++p;
  if (p != end) return false;
  if (IsSigned(c) || IsUnsigned(c)) {
    // Integers are printed at least as long; a modifier the C library could
    // read as another argument type is replaced.
    size_t n = static_cast<size_t>(end - mods);
    bool keep = (n == 1 && (mods[0] == 'h' || mods[0] == 'l')) ||
                (n == 2 && mods[0] == mods[1] && (mods[0] == 'h' || mods[0] == 'l'));
    if (keep) {
      std::memcpy(out + o, mods, n);
      o += n;
    } else {
      out[o++] = 'l';
    }
  }
  // Other conversions take exactly one argument type: modifiers are dropped.
  if (o + 2 > FDE_SPEC_SIZE) return false;
  out[o++] = c;
  out[o] = 0;
  return true;
}

// The size modifier that Rebuild left in front of the conversion character.
int LongCount(const char *spec, size_t len) {
  if (len >= 3 && spec[len - 2] == 'l') return (len >= 4 && spec[len - 3] == 'l') ? 2 : 1;
  return 0;
}

}  // namespace

extern "C" {

IntT FdePrintToStream(StringT dst, ConStringT spec, IntT len, va_list *args) {
  if (dst == nullptr || args == nullptr) return 0;
  *dst = 0;
  if (spec == nullptr || len < 1) return 0;
  const char c = spec[len - 1];
  if (len < 2 || len >= FDE_SPEC_SIZE || spec[0] != '%' || !IsConversion(c)) {
    SkipArgument(c, args);
    return 0;
  }
  if (c == '%') {
    dst[0] = '%';
    dst[1] = 0;
    return 1;
  }
  char fmt[FDE_SPEC_SIZE];
  if (!Rebuild(spec, static_cast<size_t>(len), fmt)) {
    SkipArgument(c, args);
    return 0;
  }
  const size_t flen = std::strlen(fmt);
  const int longs = LongCount(fmt, flen);
  if (IsSigned(c)) {
    IntT v = va_arg(*args, IntT);
    if (longs == 2) return Emit(dst, fmt, static_cast<long long>(v));
    if (longs == 1) return Emit(dst, fmt, static_cast<long>(v));
    return Emit(dst, fmt, static_cast<int>(v));
  }
  if (IsUnsigned(c)) {
    UIntT v = va_arg(*args, UIntT);
    if (longs == 2) return Emit(dst, fmt, static_cast<unsigned long long>(v));
    if (longs == 1) return Emit(dst, fmt, static_cast<unsigned long>(v));
    return Emit(dst, fmt, static_cast<unsigned int>(v));
  }
  if (c == 'c') return Emit(dst, fmt, va_arg(*args, int));
  if (c == 's') {
    const char *s = va_arg(*args, const char *);
    return Emit(dst, fmt, s != nullptr ? s : "");
  }
  if (c == 'p') return Emit(dst, fmt, va_arg(*args, void *));
  return Emit(dst, fmt, va_arg(*args, double));
}

IntT F_VSprintf(StringT dst, ConStringT format, va_list args) {
  if (dst == nullptr) return 0;
  char *out = dst;
  va_list ap;
  va_copy(ap, args);
  for (const char *p = format != nullptr ? format : ""; *p != 0;) {
    if (*p != '%') {
      *out++ = *p++;
      continue;
    }
    const char *end = p + 1;
    while (*end != 0 && !IsConversion(*end)) ++end;
    if (*end == 0) break;  // the format ends inside a specification
    const size_t len = static_cast<size_t>(end - p) + 1;
    IntT n = 0;
    if (len < FDE_SPEC_SIZE) {
      char spec[FDE_SPEC_SIZE];
      std::memcpy(spec, p, len);
      spec[len] = 0;
      IntT elen = FdeProcessWildFieldWidth(spec, &ap);
      if (elen >= 0) {
        n = FdePrintToStream(out, spec, elen, &ap);
      } else {
        SkipArgument(*end, &ap);
      }
    } else {
      // Too long for the conversion buffer: printed as nothing, but its
      // arguments are still consumed.
      for (const char *q = p; q < end; ++q)
        if (*q == '*') (void)va_arg(ap, IntT);
      SkipArgument(*end, &ap);
    }
    out += n;
    p = end + 1;
  }
  *out = 0;
  va_end(ap);
  const ptrdiff_t total = out - dst;
  return total > INT_MAX ? INT_MAX : static_cast<IntT>(total);
}

IntT F_Sprintf(StringT dst, ConStringT format, ...) {
  va_list args;
  va_start(args, format);
  IntT n = F_VSprintf(dst, format, args);
  va_end(args);
  return n;
}

}  // extern "C"
