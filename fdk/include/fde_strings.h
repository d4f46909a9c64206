/*
 * fde_strings.h - the F_Str family over zero-terminated 8-bit strings.
 *
 * Contract:
 * - Null: every function accepts a null string.  Reading functions take it
 *   as ""; writing functions given a null destination do nothing and return
 *   0 (or nothing).
 * - Bounds: the N functions take a buffer size that counts the terminator
 *   (a 256-byte buffer is passed as 256 and holds 255 characters) and never
 *   write past it; a size below 1 writes nothing.  F_StrCpy, F_StrCat and
 *   F_StrTrunc have no bound: the caller's buffer must be large enough.
 * - Ownership: only F_StrNew and F_StrCopyString allocate (F_Calloc, flags
 *   0: null when the heap is exhausted, never the end of the process); the
 *   caller releases the result with F_Free.  Search results point into the
 *   caller's string.
 * - Comparison results are differences of unsigned byte values; the
 *   case-insensitive forms fold through FdeMToLower (fde_charmap.h).
 *   Predicates return 1 or 0.
 */
#ifndef FDE_STRINGS_H
#define FDE_STRINGS_H

#include "fde_types.h"

FDE_BEGIN_DECLS

/* Allocation and copying */
StringT F_StrNew(UIntT len);
StringT F_StrCopyString(ConStringT s);
UIntT F_StrLen(ConStringT s);
void F_StrCpy(StringT dst, ConStringT src);
IntT F_StrCpyN(StringT dst, ConStringT src, IntT size);
void F_StrTrunc(StringT s, IntT n);

/* Concatenation: each returns the resulting length of dst (0 for null). */
IntT F_StrCat(StringT dst, ConStringT src);
IntT F_StrCatN(StringT dst, ConStringT src, IntT size);
IntT F_StrNCatN(StringT dst, ConStringT src, IntT count, IntT size);
IntT F_StrCatCharN(StringT dst, IntT c, IntT size);
IntT F_StrCatIntN(StringT dst, IntT value, IntT size);

/* Comparison */
BoolT F_StrEqual(ConStringT a, ConStringT b);
BoolT F_StrEqualN(ConStringT a, ConStringT b, IntT n);
BoolT F_StrIEqual(ConStringT a, ConStringT b);
BoolT F_StrIEqualN(ConStringT a, ConStringT b, IntT n);
IntT F_StrCmp(ConStringT a, ConStringT b);
IntT F_StrCmpN(ConStringT a, ConStringT b, IntT n);
IntT F_StrICmp(ConStringT a, ConStringT b);
IntT F_StrICmpN(ConStringT a, ConStringT b, IntT n);
IntT F_StrMCmp(ConStringT a, ConStringT b);
int F_StrQsortCmp(const void *pa, const void *pb); /* elements are StringT */

/* Prefix, suffix, search */
BoolT F_StrPrefix(ConStringT s, ConStringT p);
BoolT F_StrPrefixN(ConStringT s, ConStringT p, IntT n);
BoolT F_StrIPrefix(ConStringT s, ConStringT p);
BoolT F_StrSuffix(ConStringT s, ConStringT x);
BoolT F_StrISuffix(ConStringT s, ConStringT x);
StringT F_StrChr(ConStringT s, IntT c);
StringT F_StrRChr(ConStringT s, IntT c);
IntT F_StrSubString(ConStringT s, ConStringT sub);

/* Editing in place and conversion */
void F_StrStripTrailingSpaces(StringT s);
void F_StrStripLeadingSpaces(StringT s);
void F_StrStrip(StringT s, ConStringT set);
void F_StrReverse(StringT s, IntT n);
IntT F_StrAlphaToInt(ConStringT s);
double F_StrAlphaToReal(ConStringT s);

/* Initialisation: call once before other use; returns 0. */
IntT F_FdeInit(void);

FDE_END_DECLS

#endif /* FDE_STRINGS_H */
