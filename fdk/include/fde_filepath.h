/*
 * fde_filepath.h - file-path records, Unix name expansion, the name
 * utilities behind it, and the file tests.
 *
 * Contract:
 * - Ownership: a FilePathT comes from one of the constructors below and is
 *   released with F_FilePathFree or FdeFilePathFree, which also release its
 *   path string.  The record owns its path; callers read path and flags but
 *   do not replace them.
 * - Limits: names and paths hold at most FDE_PATH_LEN characters.  The
 *   constructors refuse a longer name with null; the name utilities work in
 *   place on caller buffers of FDE_PATH_SIZE bytes and never write past them.
 * - Errors: constructors return null for a null or empty name, a rejected
 *   anchor, an expansion that comes out empty, an over-long name or an
 *   exhausted heap, and leave nothing allocated.  File tests never fail: a
 *   path that cannot be examined gives 0.  Unset variables and unknown user
 *   names leave a name unexpanded.
 * - Null: the constructors, F_FilePathFree, the file tests and the name
 *   utilities accept null names and records (see each function).  A null
 *   variable address given to FdeFilePathFree is a contract violation
 *   (FdeFail).
 * - Anchors: a record given as the reference point for relative names is
 *   accepted only with the tag set and the relative flag clear.
 * - Process state: the home directory is read from HOME on the first bare
 *   "~" and kept for the life of the process.  Single-threaded.
 */
#ifndef FDE_FILEPATH_H
#define FDE_FILEPATH_H

#include "fde_types.h"

FDE_BEGIN_DECLS

/* Work buffers hold FDE_PATH_SIZE bytes: at most FDE_PATH_LEN characters. */
#define FDE_PATH_SIZE 1024
#define FDE_PATH_LEN (FDE_PATH_SIZE - 1)
/* FdeSplitFullFileName's name part: at most 254 characters. */
#define FDE_LAST_NAME_SIZE 255

/* "path" read as a big-endian 32-bit word. */
#define FDE_FILEPATH_TAG 0x70617468u

/* FilePathT.flags */
#define FDE_FP_RELATIVE 0x0001u
#define FDE_FP_ABSOLUTE 0x0010u

typedef struct FilePathT {
  UIntT tag;     /* FDE_FILEPATH_TAG */
  UShortT flags; /* FDE_FP_RELATIVE, FDE_FP_ABSOLUTE or 0 */
  StringT path;  /* the record's own copy of the Unix path */
} FilePathT;

/* File types of the file tests (the stat mode's type bits) and access
 * modes. */
#define FDE_FT_MASK 0xF000u
#define FDE_FT_DIRECTORY 0x4000u
#define FDE_FT_REGULAR 0x8000u
#define FDE_ACCESS_WRITE 2
#define FDE_ACCESS_READ 4

/* FdeStatProperty bits */
#define FDE_SP_DIRECTORY 0x100u
#define FDE_SP_REGULAR 0x200u
#define FDE_SP_EXISTS 0x400u
/* FdeAccessProperty bits */
#define FDE_AP_READ 1u
#define FDE_AP_WRITE 2u

/* Records */
FilePathT *FdeFilePathCreate(void);                 /* tag set, no path */
FilePathT *FdeFilePathSimpleCreate(ConStringT s);   /* path copied, flags 0 */
IntT F_FilePathFree(FilePathT *fp);                 /* null accepted; 0 */
IntT FdeFilePathFree(FilePathT **fpp);              /* clears *fpp; 0 */
FilePathT *FdeInterpretAnchor(const FilePathT *anchor);

/* Conversions into a record */
FilePathT *F_UnixToFilePath(ConStringT name, const FilePathT *anchor);
FilePathT *F_MacToFilePath(ConStringT name);
FilePathT *F_DosToFilePath(ConStringT name);

/* Name utilities, in place on caller buffers */
StringT FdeStrFileLastName(ConStringT s);
/* dir: FDE_PATH_SIZE - 1 bytes or more; name: FDE_LAST_NAME_SIZE bytes or
 * more.  Either may be null. */
void FdeSplitFullFileName(ConStringT full, StringT dir, StringT name);
IntT FdeDirCatN(StringT dir, ConStringT name, IntT size);
/* name: a buffer of FDE_PATH_SIZE bytes */
void FdeFixTildaName(StringT name);
void FdeUiExpandFileName(StringT name, ConStringT dir);
StringT retreat(StringT start, StringT end);

/* File tests: 1 or 0 */
BoolT FdeExists(ConStringT path, IntT type);
BoolT FdeOperationOk(ConStringT path, IntT type, IntT mode);
BoolT F_DirectoryExists(const FilePathT *fp);
BoolT F_FileExists(const FilePathT *fp);
BoolT F_DirectoryIsWriteable(const FilePathT *fp);
BoolT F_FileIsWriteable(const FilePathT *fp);
BoolT F_DirectoryIsReadable(const FilePathT *fp);
BoolT F_FileIsReadable(const FilePathT *fp);
UIntT FdeStatProperty(ConStringT path, UIntT wanted);
UIntT FdeAccessProperty(ConStringT path, UIntT wanted);

FDE_END_DECLS

#endif /* FDE_FILEPATH_H */
