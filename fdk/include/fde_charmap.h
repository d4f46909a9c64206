/*
 * fde_charmap.h - the support library's character maps.
 *
 * Contract: six global pointers, each set at load time to a read-only table
 * of 256 entries indexed by an unsigned byte.  Codes 0x80-0xFF are the
 * Macintosh Roman letters and signs; the case maps pair exactly its small
 * and capital letters (the sharp s 0xA7 has no capital).  The pointers may
 * be pointed at another table of 256 entries, which must outlive its use;
 * the case-insensitive string functions read FdeMToLower at every
 * comparison.  Nothing here allocates or fails.
 */
#ifndef FDE_CHARMAP_H
#define FDE_CHARMAP_H

#include "fde_types.h"

FDE_BEGIN_DECLS

extern const UCharT *FdeIdentMap;   /* entry i holds i */
extern const UCharT *FdeMToUpper;   /* small letter -> capital, else identity */
extern const UCharT *FdeMToLower;   /* capital -> small letter, else identity */
extern const UCharT *FdeHexDtoA;    /* 0-15 -> "0123456789ABCDEF", else 0 */
extern const UCharT *FdeHexAtoD;    /* hex digit (either case) -> value, else 0 */
extern const UShortT *FdeCharProps; /* class bits below, OR-ed per code */

/* Class bits of FdeCharProps. */
#define FDE_CP_TEXT_CONTROL 0x0001u /* 0x08-0x0B */
#define FDE_CP_UPPER 0x0002u        /* capital letters */
#define FDE_CP_LOWER 0x0004u        /* small letters, sharp s included */
#define FDE_CP_ALPHA 0x0008u        /* every letter */
#define FDE_CP_DIGIT 0x0010u        /* 0-9 */
#define FDE_CP_XDIGIT 0x0020u       /* 0-9, A-F, a-f */
#define FDE_CP_SPACE 0x0040u        /* 0x08-0x0B, 0x10-0x14, space */
#define FDE_CP_BLANK 0x0080u        /* the space alone */
#define FDE_CP_WORD 0x0100u         /* letters, digits, '_', 0x04-0x06, 0x1B-0x1C */
#define FDE_CP_TAB 0x0200u          /* 0x09-0x0B */
#define FDE_CP_SENTENCE_END 0x0400u /* '!', '.', '?' */
#define FDE_CP_ALNUM 0x0800u        /* letters, digits, 0x15 */
#define FDE_CP_MARKER 0x1000u       /* 0x01-0x06 */
#define FDE_CP_WORD_BREAK 0x2000u   /* 0x00, white space, opening marks */
#define FDE_CP_CONSONANT 0x4000u    /* consonant letters */
#define FDE_CP_QUOTE 0x8000u        /* quotes and brackets */

/* The maps are static tables: there is nothing to set up. */
void F_CharmapInit(void);
PtrT FdeInitCharMaps(PtrT x); /* returns x */

FDE_END_DECLS

#endif /* FDE_CHARMAP_H */
