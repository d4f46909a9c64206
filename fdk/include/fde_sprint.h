/*
 * fde_sprint.h - formatted printing with the library's own parsing of the
 * printf notation.
 *
 * Contract:
 * - Conversions are "dioxXucsfeEgGp%".  A specification runs from '%' to the
 *   first of those characters.  Integer conversions always take a 32-bit
 *   IntT or UIntT argument, whatever size modifier (h, hh, l, ll) they
 *   carry; the modifier only changes how the value is shown.  c takes an
 *   int, s a string (null prints as ""), p a pointer, e/f/g/E/G a double.
 *   '*' in a width or precision takes an IntT; a negative precision counts
 *   as none.
 * - A specification the system formatter cannot take (an unknown character
 *   inside it, or one that does not fit FDE_SPEC_SIZE bytes once expanded)
 *   prints nothing, but still consumes its arguments so that the following
 *   conversions stay in step.  %n is never honoured.  A format that ends
 *   inside a specification stops there.
 * - Ownership: dst has no size: the caller provides room for the whole
 *   result and its terminator.  Nothing is allocated.  A null dst writes
 *   nothing and returns 0; a null format prints as "".
 */
#ifndef FDE_SPRINT_H
#define FDE_SPRINT_H

#include <stdarg.h>

#include "fde_types.h"

FDE_BEGIN_DECLS

/* Room for one specification, expanded, with its terminator. */
#define FDE_SPEC_SIZE 256

/* Both return the number of characters written, terminator excluded. */
IntT F_Sprintf(StringT dst, ConStringT format, ...);
IntT F_VSprintf(StringT dst, ConStringT format, va_list args);

/* Replaces every '*' of the zero-terminated specification in spec (a buffer
 * of FDE_SPEC_SIZE bytes) by the decimal text of the next IntT argument.
 * Returns the new length, or -1 when the result would not fit; the '*'
 * arguments are consumed either way, and spec is unchanged on -1. */
IntT FdeProcessWildFieldWidth(StringT spec, va_list *args);

/* Prints the one specification of len characters at spec into dst,
 * consuming its argument; returns the characters written. */
IntT FdePrintToStream(StringT dst, ConStringT spec, IntT len, va_list *args);

FDE_END_DECLS

#endif /* FDE_SPRINT_H */
