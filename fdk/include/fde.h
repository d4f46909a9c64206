/*
 * fde.h - the whole support library in one include.
 *
 * Contract: see each header; this one only gathers them.  Plain C, usable
 * from C and C++.
 */
#ifndef FDE_H
#define FDE_H

#include "fde_types.h"
#include "fde_channel.h"
#include "fde_charmap.h"
#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"
#include "fde_sprint.h"
#include "fde_strings.h"

#endif /* FDE_H */
