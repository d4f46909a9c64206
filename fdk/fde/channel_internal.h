/*
 * channel_internal.h - the channel record as the channel units see it.
 *
 * Not a public header.  The unit tests use it too: to put a channel around
 * a stream of their own (one whose reads, writes or close they control), to
 * point the temporary-directory choice at candidates of their own, and to
 * reach counter values that a test could not otherwise wait for.
 */
#ifndef FDE_CHANNEL_INTERNAL_H
#define FDE_CHANNEL_INTERNAL_H

#include <stdio.h>

#include "fde_channel.h"

#ifdef __cplusplus
extern "C" {
#endif

struct ChannelT {
  StringT name;  /* the channel's own copy of the path */
  FILE *stream;
};

/* A channel on stream that takes over name (F_Alloc'ed).  Null when the
 * record cannot be allocated; stream and name then stay the caller's. */
ChannelT *FdeChannelNew(FILE *stream, StringT name);

/* Replaces the two fixed candidates ("/tmp", "/usr/tmp") that the
 * temporary-directory choice tries after TMPDIR; null restores one.  Has an
 * effect only before the first temporary name is made. */
void FdeSetTmpCandidates(ConStringT first, ConStringT second);

/* Sets the temporary-name counter; the next name uses value + 1. */
void FdeSetTmpCounter(UIntT value);

#ifdef __cplusplus
}
#endif

#endif /* FDE_CHANNEL_INTERNAL_H */
