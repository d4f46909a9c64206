/*
 * dokfrm.h - the documentation bridge's own interface: the process-wide
 * state of the main loop and of the pending tag, the bus handlers, the
 * Frame entry points it supplies, and document opening.
 *
 * Contract:
 * - One thread.  Everything here is touched from the main loop only: the
 *   bus handlers run inside mbx_dispatch, the Frame entry points inside
 *   F_ApiService.
 * - Strings returned by parseVariable, Basename and Dirname are new; the
 *   caller releases them with F_Free.  They return null when the heap is
 *   exhausted, and parseVariable also when the expanded path does not fit
 *   DOKFRM_PATH_MAX (a cut path would name another file).  A null path
 *   reads as "".
 * - OpenFile never changes the path or the caller's list; a string entry of
 *   the list is copied into the open parameters, never taken over.
 * - Not a public header: only app/ and its tests include it.
 */
#ifndef DOKFRM_H
#define DOKFRM_H

#include <stdint.h>
#include <sys/time.h>

#include "fapi_types.h"
#include "mbx.h"

FDE_BEGIN_DECLS

/* ---------------------------------------------------------------------
 * Main loop (dokfrm0).
 * ------------------------------------------------------------------- */

/* Bit n set while descriptor n (0..31) belongs to the API runtime. */
extern uint32_t api_fds;
/* The bus's read set of the current turn (owned by the loop), or null. */
extern mbx_fdset *mbx_fds;
/* The bus connection handle stored by the kind-4 event of "DOKFRMRA". */
extern int32_t mbx_fd;

/* Descriptor callback handed to F_ApiStartUp: on non-zero sets bit
 * (descriptor & 31) of api_fds, zero clears it. */
void DokFCB_getfd(int descriptor, int on);

/* ---------------------------------------------------------------------
 * Bus handlers and Frame entry points (dokfcb).
 * ------------------------------------------------------------------- */

/* The pending tag: up to DOKFRM_TAG_MAX bytes and a terminating zero. */
#define DOKFRM_TAG_MAX 257
extern char _tag[DOKFRM_TAG_MAX + 1];
extern int32_t _lgTag;      /* bytes in _tag, 0..DOKFRM_TAG_MAX */
extern int32_t _tagPresent; /* 1 while a tag was read but not yet placed */

/* "DOKFRMRA": kind 4 stores the bus connection handle in mbx_fd; kind 5
 * asks Frame to close the session and sets FA_bailout. */
void DokFCB_InitApplication(int32_t *kind, void *value);
/* "DOKFRMDI": path, reply "OK"/"KO", tag; scrolls to the first type-19
 * marker that begins with the tag.  The arguments are not used. */
void DokFCB_Display(int32_t *kind, void *value);
/* "DOKFRMFT" and the reply to "CURFCT  ": shows a function's page found
 * through a function list.  The arguments are not used (F_ApiMessage passes
 * nulls). */
void DokFCB_Display_Fct(int32_t *kind, void *value);
/* Calls F_ApiShutDown; for outside use. */
void DokFCB_ExitFrame(void);

/* ---------------------------------------------------------------------
 * Document opening (OpenFile).
 * ------------------------------------------------------------------- */

/* Expanded paths hold at most this many bytes; variable names this many.
 * A longer name is not looked up: its reference stays as written. */
#define DOKFRM_PATH_MAX 1023
#define DOKFRM_NAME_MAX 127

/* Opens path ($NAME references expanded) with the default open parameters,
 * three forced values and the caller's list merged in; *document receives
 * the new document or 0.  Returns 0 when a document was opened, else 1; a
 * path whose expansion does not fit DOKFRM_PATH_MAX is not opened (1). */
int OpenFile(F_ObjIdT *document, StringT path, F_PropValsT properties);
StringT parseVariable(StringT path);
StringT Basename(StringT path);
StringT Dirname(StringT path);

FDE_END_DECLS

#ifdef __cplusplus
namespace dokfrm {

/* The text a title gets after the base name, and the title of every
 * document the bridge shows. */
inline constexpr const char kTitleSuffix[] = " - NORVA/TESMO Documentation";
inline constexpr const char kHelpTitle[] = "HELP NORVA/FRAME";

/* Frame's numbers used by the bridge. */
inline constexpr IntT kFcodeShow = 0xF33;
inline constexpr IntT kPropActiveDoc = 51;     /* session */
inline constexpr IntT kPropFirstMarker = 114;  /* document */
inline constexpr IntT kPropMarkerType = 1024;
inline constexpr IntT kPropMarkerText = 1025;
inline constexpr IntT kPropNextMarker = 1026;
inline constexpr IntT kPropTextLoc = 879;
inline constexpr IntT kPropTitle = 30;
inline constexpr IntT kMarkerTag = 19;
inline constexpr IntT kMarkerFunction = 25;

/* One wait of select over descriptors 0 to 31 for reading: returns the
 * descriptors of `mask` that are ready.  A failed wait (a signal, say)
 * counts as a wait with nothing ready, so no stale bit survives it. */
uint32_t WaitOn(uint32_t mask, struct timeval *timeout);

/* Sets the three forced open parameters (24 = 11, 5 = 0, 22 = 1), then
 * merges `caller` into `open`: an entry of value type 1 or 3 replaces the
 * value of the open entry with the same property number, later entries
 * winning.  Entries of other types, numbers not in `open`, and entries
 * whose type differs from the open entry's are skipped, so an integer is
 * never written over a string pointer or the other way round. */
void MergeOpenParams(F_PropValsT *open, const F_PropValsT *caller);

/* True when `caller` holds an entry for property 5 whose integer value is
 * 0: the document opens in the background. */
bool IsBackgroundOpen(const F_PropValsT *caller);

/* True when the first len bytes of text (null: no text), its terminating
 * zero byte counted as one of them, equal the first len bytes of prefix: a
 * prefix without a zero byte matches every text that begins with it, one
 * that ends in a zero byte only the text equal to it.  Never reads text
 * past its terminator.  len 0 matches every text that is not null. */
bool BeginsWith(const char *text, const char *prefix, int32_t len);

/* Walks the markers of doc from its first one and returns the first of
 * type `type` whose text begins with the first len bytes of prefix (as
 * BeginsWith), or 0.  The walk visits each marker once: a chain of next
 * links that comes back to a marker already seen ends it. */
F_ObjIdT FindMarker(F_ObjIdT doc, IntT type, const char *prefix, int32_t len);

/* Scrolls doc to the first type-19 marker that begins with the pending
 * tag; clears _tagPresent when one is found.  Returns 1 when it scrolled. */
int PlaceTag(F_ObjIdT doc);

/* Length of the function name held by a 12-byte name area: only the first
 * 8 bytes count; the name ends at the first blank or zero byte from
 * position 1 on (a leading blank belongs to it), so the length is 1 to 8.
 * Sets positions 8 and 9 to a blank and a terminator.  The area must be
 * zero-filled before the item is read into it. */
int32_t FunctionNameLength(char area[12]);

/* Set by the Frame entry points below: Frame called the bridge during the
 * current service of its descriptors (the loop clears it before each). */
extern bool FrameCalled;

}  // namespace dokfrm
#endif

#endif /* DOKFRM_H */
