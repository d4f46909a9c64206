/*
 * fde_types.h - basic types shared by the support library and the Frame API
 * client library.
 *
 * Contract: every integer that crosses the API is a fixed-width 32-bit type,
 * so records look the same from C and C++ and on every data model.  A
 * StringT is a zero-terminated string of 8-bit characters; null is accepted
 * wherever this library reads a string and means the empty string.
 */
#ifndef FDE_TYPES_H
#define FDE_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define FDE_BEGIN_DECLS extern "C" {
#define FDE_END_DECLS }
#else
#define FDE_BEGIN_DECLS
#define FDE_END_DECLS
#endif

FDE_BEGIN_DECLS

typedef char *StringT;           /* zero-terminated, 8-bit characters */
typedef const char *ConStringT;  /* the same, read only */
typedef int32_t IntT;
typedef uint32_t UIntT;
typedef int16_t ShortT;
typedef uint16_t UShortT;
typedef unsigned char UCharT;
typedef unsigned char UByteT;
typedef int32_t BoolT;           /* 1 or 0 */
typedef void *PtrT;
typedef int32_t ErrorT;          /* 0 on success, negative on failure */

#ifndef True
#define True 1
#endif
#ifndef False
#define False 0
#endif

FDE_END_DECLS

#endif /* FDE_TYPES_H */
