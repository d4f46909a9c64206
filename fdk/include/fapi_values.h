/*
 * fapi_values.h - API values in caller-owned memory: the memory primitives,
 * string helpers, deep copies and releases of every value type, property
 * list lookups and the default parameter lists of open, save, import and
 * export.
 *
 * Contract:
 * - Memory: every string, element array and list made here comes from
 *   FapiMalloc / FapiCalloc and goes back through F_ApiFree.  A copy is a new,
 *   independent tree: each string and each element array is its own block,
 *   and releasing the copy never touches the source.
 * - Copies take a pointer to the source (only read; null counts as an empty
 *   value) and return the new value by value.  An exhausted heap never ends
 *   the process and is not reported through FA_errno: a string copy gives
 *   null, a list copy gives the empty list {0, null}, an element that cannot
 *   be copied stays empty inside its list.
 * - Releases take a pointer to the value (null is ignored), free what it
 *   owns and leave it empty: strings null, counts 0, element arrays null.
 *   The value record itself stays the caller's.  A second release of the
 *   same value does nothing.  Give them only values built by this header or
 *   returned by the call functions of fapi_calls.h.
 * - F_TypedValT: types 3, 5-8, 12-15, 17, 18 and 20 own memory; 1, 2, 4, 9,
 *   10 are plain words; every other type (0, 11, 16, 19, out of range) is
 *   copied as its type number with a zeroed value part, and owns nothing.
 * - A list whose count is 0 has a null element array, except the one-element
 *   array that F_ApiAllocateTextItems(0) makes.
 * - Lookups report through their result: F_ApiGetPropIndex gives -4 for a
 *   missing property or list.  F_ApiCheckStatus sets FA_errno (-5: no status
 *   property, -4: bit out of range) and returns 0 then.
 * - Single-threaded, like the rest of the client library.
 */
#ifndef FAPI_VALUES_H
#define FAPI_VALUES_H

#include "fapi_types.h"

#if defined(__GNUC__)
#define FAPI_NORETURN __attribute__((noreturn))
#else
#define FAPI_NORETURN
#endif

FDE_BEGIN_DECLS

/* ------------------------------------------------------------------------
 * Memory primitives (the byte move is the C library's bcopy).
 * ---------------------------------------------------------------------- */

void *FapiMalloc(size_t size);
void *FapiCalloc(size_t count, size_t size);  /* zero-filled */
void F_ApiFree(void *ptr);                    /* null is ignored */
/* Frees *ptrp (if not null) and sets it to null; ptrp is the address of
 * the caller's pointer variable. */
void api_free(void **ptrp);

/* Ends the process with abort(); the consistency checks' last resort. */
FAPI_NORETURN void fail(void);

/* ------------------------------------------------------------------------
 * Strings
 * ---------------------------------------------------------------------- */

/* Bytes before the terminator; 0 for null or "". */
IntT F_ApiStringLen(ConStringT s);
/* Copies src and its terminator into dst (a null src writes ""); returns
 * dst.  dst must have room. */
StringT strCpy(StringT dst, ConStringT src);
/* A new copy of s (null gives a new ""); null when the heap is exhausted. */
StringT F_ApiCopyString(ConStringT s);
/* Frees *sp and sets it to null; a null sp is ignored. */
void F_ApiDeallocateString(StringT *sp);

/* ------------------------------------------------------------------------
 * Copies and releases
 * ---------------------------------------------------------------------- */

F_StringsT F_ApiCopyStrings(const F_StringsT *src);
void F_ApiDeallocateStrings(F_StringsT *v);
F_UBytesT F_ApiCopyUBytes(const F_UBytesT *src);
void F_ApiDeallocateUBytes(F_UBytesT *v);
F_MetricsT F_ApiCopyMetrics(const F_MetricsT *src);
void F_ApiDeallocateMetrics(F_MetricsT *v);
F_IntsT F_ApiCopyInts(const F_IntsT *src);
void F_ApiDeallocateInts(F_IntsT *v);
F_UIntsT F_ApiCopyUInts(const F_UIntsT *src);
void F_ApiDeallocateUInts(F_UIntsT *v);
F_PointsT F_ApiCopyPoints(const F_PointsT *src);
void F_ApiDeallocatePoints(F_PointsT *v);
F_ElementCatalogEntriesT F_ApiCopyElementCatalogEntries(const F_ElementCatalogEntriesT *src);
void F_ApiDeallocateElementCatalogEntries(F_ElementCatalogEntriesT *v);
F_TabT F_ApiCopyTab(const F_TabT *src);
void F_ApiDeallocateTab(F_TabT *v);
F_TabsT F_ApiCopyTabs(const F_TabsT *src);
void F_ApiDeallocateTabs(F_TabsT *v);
F_AttributeDefT F_ApiCopyAttributeDef(const F_AttributeDefT *src);
void F_ApiDeallocateAttributeDef(F_AttributeDefT *v);
F_AttributeDefsT F_ApiCopyAttributeDefs(const F_AttributeDefsT *src);
void F_ApiDeallocateAttributeDefs(F_AttributeDefsT *v);
F_AttributeT F_ApiCopyAttribute(const F_AttributeT *src);
void F_ApiDeallocateAttribute(F_AttributeT *v);
F_AttributesT F_ApiCopyAttributes(const F_AttributesT *src);
void F_ApiDeallocateAttributes(F_AttributesT *v);
/* The value type is kept by the release. */
F_TypedValT F_ApiCopyVal(const F_TypedValT *src);
void F_ApiDeallocateVal(F_TypedValT *v);
/* A null source gives {0, null name, type 1, value 0}. */
F_PropValT F_ApiCopyPropVal(const F_PropValT *src);
void F_ApiDeallocatePropVal(F_PropValT *v);
/* A source without an element array counts as empty. */
F_PropValsT F_ApiCopyPropVals(const F_PropValsT *src);
void F_ApiDeallocatePropVals(F_PropValsT *v);
/* A null source gives {offset 0, data type 1, null string}. */
TextItemT F_ApiCopyTextItem(const TextItemT *src);
void F_ApiDeallocateTextItem(TextItemT *v);
/* A source without an element array counts as empty. */
TextItemsT F_ApiCopyTextItems(const TextItemsT *src);
void F_ApiDeallocateTextItems(TextItemsT *v);

/* New lists of count zeroed entries; count 0 when the heap is exhausted.
 * F_ApiAllocateTextItems(0) still allocates one element. */
F_PropValsT F_ApiAllocatePropVals(IntT count);
TextItemsT F_ApiAllocateTextItems(IntT count);

/* ------------------------------------------------------------------------
 * Lookups and flags
 * ---------------------------------------------------------------------- */

/* Index of the first entry whose property number is num, or -4. */
IntT F_ApiGetPropIndex(const F_PropValsT *list, IntT num);
/* Tests bit in the status bit set (property 3, a list of 32-bit words) of
 * a returned parameter list: the bit's mask when set, 0 when clear. */
IntT F_ApiCheckStatus(const F_PropValsT *list, IntT bit);
/* Sets FA_bailout to 1: the service loops end at their next test. */
void F_ApiBailOut(void);

/* ------------------------------------------------------------------------
 * Default parameter lists, built locally; the caller releases them with
 * F_ApiDeallocatePropVals.  Strings set into them must be allocated with
 * F_ApiCopyString, as the release frees them.  Empty when the heap is
 * exhausted.
 * ---------------------------------------------------------------------- */

F_PropValsT F_ApiGetOpenDefaultParams(void);    /* 37 entries */
F_PropValsT F_ApiGetSaveDefaultParams(void);    /* 15 entries */
F_PropValsT F_ApiGetImportDefaultParams(void);  /* 34 entries */
F_PropValsT F_ApiGetExportDefaultParams(void);  /* 16 entries */

FDE_END_DECLS

#endif /* FAPI_VALUES_H */
