/*
 * filename_internal.h - the expansion as the record constructors use it.
 *
 * Not a public header.
 */
#ifndef FDE_FILENAME_INTERNAL_H
#define FDE_FILENAME_INTERNAL_H

#include "fde_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* FdeUiExpandFileName, telling whether the result is whole: 0 when the
 * limit cut a component or dropped the rest of the name, or when dir was
 * too long to be taken whole. */
BoolT FdeExpandFileNameWhole(StringT name, ConStringT dir);

#ifdef __cplusplus
}
#endif

#endif /* FDE_FILENAME_INTERNAL_H */
