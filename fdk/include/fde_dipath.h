/*
 * fde_dipath.h - device-independent path names (DI names) and the
 * path-segment cursor.
 *
 * A DI name is a run of tokens, each a letter between '<' and '>' followed
 * by its text:
 *   <r>       the path starts at the root (text ignored); first token only
 *   <c>text   one component
 *   <u>       one level up (text ignored); not after <r>, <h> or <v>
 *   <h>text   root plus text as first component; first token only (<v> too)
 *   other     skipped with its text
 * In text a backslash makes the next character literal ("\<" is a '<').
 *
 * Contract:
 * - Ownership: F_FilePathToDI stores a new string (F_Calloc, flags 0) that
 *   the caller releases with F_Free; F_DIToFilePath returns a record released
 *   with F_FilePathFree.
 * - Errors: F_FilePathToDI returns -1 (text null, length 0) for a null or
 *   untagged record, a path over FDE_PATH_LEN characters, a DI text that
 *   would exceed FDE_DI_LEN characters, or an exhausted heap.  F_DIToFilePath
 *   returns null for a null or empty name, a rejected anchor, an empty
 *   result or an exhausted heap; a name that stops on an error yields the
 *   text read so far as an unexpanded record with flags 0.
 * - Contract violations (FdeFail): null out-parameters, a relative record
 *   or anchor where an absolute one is required, an anchored record whose
 *   path is not absolute; null buffers or cursors given to the helpers.
 * - Buffers named out or path are FDE_PATH_SIZE bytes; nothing is written
 *   past them, and the reader never looks past the name's terminator.
 */
#ifndef FDE_DIPATH_H
#define FDE_DIPATH_H

#include "fde_filepath.h"
#include "fde_types.h"

FDE_BEGIN_DECLS

/* Longest DI text the writer produces. */
#define FDE_DI_LEN (FDE_PATH_SIZE - 2)
/* A path segment or component text: at most 255 characters. */
#define FDE_SEGMENT_SIZE 256

/* Walks a path one segment at a time. */
typedef struct FdeUFCursorT {
  ConStringT position;              /* into the path being walked */
  char segment[FDE_SEGMENT_SIZE];   /* the current segment */
} FdeUFCursorT;

/* Records to and from DI names */
IntT F_FilePathToDI(const FilePathT *fp, const FilePathT *anchor, StringT *text,
                    IntT *length);
FilePathT *F_DIToFilePath(ConStringT di, const FilePathT *anchor);

/* Rewrites the absolute path relative to anchorFile's directory when the two
 * share at least their first directory; a null anchorFile leaves it. */
void FdeRelativizeFileName(StringT path, ConStringT anchorFile);

/* The reader: 0 on success, -1 when the name stops on an error (out then
 * holds what was read so far). */
IntT FdeParseDiName(ConStringT di, StringT out);
IntT GetDiTokenID(ConStringT *cursor);
void AdvPastToken(ConStringT *cursor);
void CopyTokenIntoString(ConStringT *cursor, StringT buffer, IntT size);
IntT ExtractComponent(ConStringT *cursor, StringT *out, IntT *used);
IntT ExtractUp(ConStringT *cursor, StringT *out, IntT *used);
/* Appends s at *out (FDE_PATH_SIZE-byte output, *used characters so far);
 * -1 with nothing appended when the output would pass FDE_PATH_LEN. */
IntT F_StrCpyAndAdvance(StringT *out, IntT *used, ConStringT s);

/* The path-segment cursor */
void FdeUFCinit(FdeUFCursorT *cursor, ConStringT path);
BoolT FdeUFCgetSegment(FdeUFCursorT *cursor);

FDE_END_DECLS

#endif /* FDE_DIPATH_H */
