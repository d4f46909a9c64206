// strings - the F_Str family over zero-terminated 8-bit strings.
//
// A null string reads as "" and a null destination is left alone.  Lengths
// and budgets are worked out in 64 bits so that no size the caller passes,
// however odd, can overflow the arithmetic.
#include "fde_strings.h"

#include "fde_charmap.h"
#include "fde_memory.h"
#include "fde_sprint.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

const char kEmpty[1] = {0};

inline const char *OrEmpty(ConStringT s) { return s != nullptr ? s : kEmpty; }

inline UCharT Byte(const char *s, int64_t i) { return static_cast<UCharT>(s[i]); }

// Case folding goes through whatever table FdeMToLower points at now.
inline UCharT Lower(const char *s, int64_t i) { return FdeMToLower[Byte(s, i)]; }

template <typename Fold>
BoolT EqualN(ConStringT a, ConStringT b, IntT n, Fold fold) {
  if (a == b || n < 1) return True;
  const char *x = OrEmpty(a);
  const char *y = OrEmpty(b);
  for (int64_t i = 0; i < n; ++i) {
    if (fold(x, i) != fold(y, i)) return False;
    if (x[i] == 0) return True;
  }
  return True;
}

// Difference of the first differing (folded) bytes among the first n.
template <typename Fold>
IntT CmpN(ConStringT a, ConStringT b, int64_t n, Fold fold) {
  const char *x = OrEmpty(a);
  const char *y = OrEmpty(b);
  for (int64_t i = 0; i < n; ++i) {
    int d = fold(x, i) - fold(y, i);
    if (d != 0 || x[i] == 0) return d;
  }
  return 0;
}

template <typename Fold>
BoolT PrefixN(ConStringT s, ConStringT p, int64_t n, Fold fold) {
  const char *x = OrEmpty(s);
  const char *y = OrEmpty(p);
  for (int64_t i = 0; i < n && y[i] != 0; ++i)
    if (fold(x, i) != fold(y, i)) return False;
  return True;
}

template <typename Equal>
BoolT Suffix(ConStringT s, ConStringT x, Equal equal) {
  if (x == nullptr || x[0] == 0) return True;
  if (s == nullptr) return False;
  size_t ls = std::strlen(s);
  size_t lx = std::strlen(x);
  if (ls < lx) return False;
  return equal(s + (ls - lx), x);
}

constexpr int64_t kNoLimit = INT64_MAX;

IntT Length(int64_t n) { return n > INT_MAX ? INT_MAX : static_cast<IntT>(n); }

}  // namespace

extern "C" {

StringT F_StrNew(UIntT len) {
  if (len >= FDE_ALLOC_LIMIT) FdeFail();  // len + 1 would reach the limit
  return static_cast<StringT>(F_Calloc(len + 1, 1, 0));
}

StringT F_StrCopyString(ConStringT s) {
  if (s == nullptr) return nullptr;
  size_t n = std::strlen(s);
  if (n >= FDE_ALLOC_LIMIT) FdeFail();
  auto *p = static_cast<StringT>(F_Calloc(static_cast<UIntT>(n + 1), 1, 0));
  if (p != nullptr) std::memcpy(p, s, n);
  return p;
}

UIntT F_StrLen(ConStringT s) {
  return s != nullptr ? static_cast<UIntT>(std::strlen(s)) : 0;
}

void F_StrCpy(StringT dst, ConStringT src) {
  if (dst == nullptr) return;
  const char *s = OrEmpty(src);
  std::memmove(dst, s, std::strlen(s) + 1);
}

IntT F_StrCpyN(StringT dst, ConStringT src, IntT size) {
  // A buffer of size 0 (or less) has no room even for the terminator.
  if (dst == nullptr || size < 1) return 0;
  const char *s = OrEmpty(src);
  size_t n = strnlen(s, static_cast<size_t>(size) - 1);
  std::memmove(dst, s, n);
  dst[n] = 0;
  return static_cast<IntT>(n);
}

void F_StrTrunc(StringT s, IntT n) {
  if (s != nullptr && n >= 0) s[n] = 0;
}

IntT F_StrCat(StringT dst, ConStringT src) {
  if (dst == nullptr) return 0;
  size_t len = std::strlen(dst);
  if (src != nullptr && src[0] != 0) {
    size_t n = std::strlen(src);
    std::memmove(dst + len, src, n + 1);
    len += n;
  }
  return Length(static_cast<int64_t>(len));
}

IntT F_StrCatN(StringT dst, ConStringT src, IntT size) {
  if (dst == nullptr) return 0;
  int64_t len = static_cast<int64_t>(std::strlen(dst));
  if (src == nullptr || src[0] == 0) return Length(len);
  int64_t budget = int64_t{size} - 1;
  if (len >= budget) return Length(len);
  for (const char *p = src; *p != 0 && len < budget; ++p) dst[len++] = *p;
  dst[len] = 0;
  return Length(len);
}

IntT F_StrNCatN(StringT dst, ConStringT src, IntT count, IntT size) {
  if (dst == nullptr) return 0;
  if (size < 1) return Length(static_cast<int64_t>(std::strlen(dst)));
  int64_t budget = int64_t{size} - 1;
  int64_t len = 0;
  while (len < budget && dst[len] != 0) ++len;
  const char *s = OrEmpty(src);
  for (int64_t i = 0; i < count && s[i] != 0 && len < budget; ++i) dst[len++] = s[i];
  dst[len] = 0;  // also cuts a dst that held more than size - 1 characters
  return Length(len);
}

IntT F_StrCatCharN(StringT dst, IntT c, IntT size) {
  if (dst == nullptr) return 0;
  int64_t len = static_cast<int64_t>(std::strlen(dst));
  auto ch = static_cast<char>(static_cast<UCharT>(c));
  if (ch != 0 && len < int64_t{size} - 1) {
    dst[len++] = ch;
    dst[len] = 0;
  }
  return Length(len);
}

IntT F_StrCatIntN(StringT dst, IntT value, IntT size) {
  char scratch[16];
  F_Sprintf(scratch, "%d", value);
  return F_StrCatN(dst, scratch, size);
}

BoolT F_StrEqual(ConStringT a, ConStringT b) {
  return std::strcmp(OrEmpty(a), OrEmpty(b)) == 0;
}

BoolT F_StrEqualN(ConStringT a, ConStringT b, IntT n) { return EqualN(a, b, n, Byte); }

BoolT F_StrIEqual(ConStringT a, ConStringT b) { return F_StrICmp(a, b) == 0; }

BoolT F_StrIEqualN(ConStringT a, ConStringT b, IntT n) { return EqualN(a, b, n, Lower); }

IntT F_StrCmp(ConStringT a, ConStringT b) { return CmpN(a, b, kNoLimit, Byte); }

IntT F_StrCmpN(ConStringT a, ConStringT b, IntT n) { return CmpN(a, b, n, Byte); }

IntT F_StrICmp(ConStringT a, ConStringT b) { return CmpN(a, b, kNoLimit, Lower); }

IntT F_StrICmpN(ConStringT a, ConStringT b, IntT n) { return CmpN(a, b, n, Lower); }

IntT F_StrMCmp(ConStringT a, ConStringT b) {
  IntT r = F_StrICmp(a, b);
  return r != 0 ? r : F_StrCmp(a, b);
}

int F_StrQsortCmp(const void *pa, const void *pb) {
  return F_StrMCmp(*static_cast<const ConStringT *>(pa), *static_cast<const ConStringT *>(pb));
}

BoolT F_StrPrefix(ConStringT s, ConStringT p) { return PrefixN(s, p, kNoLimit, Byte); }

BoolT F_StrPrefixN(ConStringT s, ConStringT p, IntT n) {
  return n <= 0 ? True : PrefixN(s, p, n, Byte);
}

BoolT F_StrIPrefix(ConStringT s, ConStringT p) { return PrefixN(s, p, kNoLimit, Lower); }

BoolT F_StrSuffix(ConStringT s, ConStringT x) { return Suffix(s, x, F_StrEqual); }

BoolT F_StrISuffix(ConStringT s, ConStringT x) { return Suffix(s, x, F_StrIEqual); }

StringT F_StrChr(ConStringT s, IntT c) {
  if (s == nullptr) return nullptr;
  for (const char *p = s; *p != 0; ++p)
    if (static_cast<UCharT>(*p) == c) return const_cast<StringT>(p);
  return nullptr;
}

StringT F_StrRChr(ConStringT s, IntT c) {
  if (s == nullptr) return nullptr;
  const char *found = nullptr;
  for (const char *p = s; *p != 0; ++p)
    if (static_cast<UCharT>(*p) == c) found = p;
  return const_cast<StringT>(found);
}

IntT F_StrSubString(ConStringT s, ConStringT sub) {
  if (s == nullptr || sub == nullptr || s[0] == 0) return -1;
  const char *at = std::strstr(s, sub);
  return at != nullptr ? Length(at - s) : -1;
}

void F_StrStripTrailingSpaces(StringT s) {
  if (s == nullptr) return;
  size_t n = std::strlen(s);
  while (n > 0 && s[n - 1] == ' ') s[--n] = 0;
}

void F_StrStripLeadingSpaces(StringT s) {
  if (s == nullptr) return;
  size_t k = 0;
  while (s[k] == ' ') ++k;
  if (k > 0) std::memmove(s, s + k, std::strlen(s + k) + 1);
}

void F_StrStrip(StringT s, ConStringT set) {
  if (s == nullptr || set == nullptr || set[0] == 0) return;
  bool drop[256] = {};
  for (const char *p = set; *p != 0; ++p) drop[static_cast<UCharT>(*p)] = true;
  char *out = s;
  for (const char *in = s; *in != 0; ++in)
    if (!drop[static_cast<UCharT>(*in)]) *out++ = *in;
  *out = 0;
}

void F_StrReverse(StringT s, IntT n) {
  if (s == nullptr || n <= 1) return;
  size_t len = strnlen(s, static_cast<size_t>(n));
  for (size_t i = 0, j = len; i + 1 < j; ++i, --j) {
    char t = s[i];
    s[i] = s[j - 1];
    s[j - 1] = t;
  }
}

IntT F_StrAlphaToInt(ConStringT s) {
  if (s == nullptr) return 0;
  // atoi without its undefined behaviour: out-of-range values saturate.
  long v = std::strtol(s, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<IntT>(v);
}

double F_StrAlphaToReal(ConStringT s) { return s != nullptr ? std::strtod(s, nullptr) : 0.0; }

IntT F_FdeInit(void) {
  F_CharmapInit();
  return 0;
}

}  // extern "C"
