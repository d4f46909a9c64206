/*
 * fde_channel.h - channels (buffered files with the name they were opened
 * under), temporary files and file deletion.
 *
 * Contract:
 * - Ownership: a channel comes from F_ChannelOpen or F_ChannelMakeTmp and
 *   is ended by one of the close functions, which release everything it
 *   holds; the pointer is invalid afterwards and the Fde forms clear the
 *   caller's variable.  FdeMakeTmpFileName and F_GetFilePath return a string
 *   (F_Free) and a record (F_FilePathFree) that the caller owns.
 * - Errors: opening and name making return null and leave nothing allocated,
 *   open or created.  Reads, writes, seeks, tells and flushes return the C
 *   library's results untranslated.  Deletion returns 0 or -1.
 * - Null: the close functions accept a null channel and return -1.  Every
 *   other channel function requires a channel (F_ChannelAppend both), and
 *   F_ChannelOpen a record; a null one, or a null variable address for the
 *   Fde forms, is a contract violation (FdeFail).  F_DeleteFile takes null
 *   as a failure (-1).
 * - Temporary files: the directory is chosen on the first request (TMPDIR,
 *   "/tmp", "/usr/tmp", HOME: the first that is a writable directory, else
 *   the working directory) and kept for the life of the process.  Names are
 *   "<dir>/F<counter in hex>.<six unique characters>".  F_ChannelMakeTmp
 *   creates its file exclusively (mode 0600); F_ChannelCloseTmp removes it.
 * - Single-threaded: the temporary-name state is process-wide.
 */
#ifndef FDE_CHANNEL_H
#define FDE_CHANNEL_H

#include "fde_filepath.h"
#include "fde_types.h"

FDE_BEGIN_DECLS

/* Block size of F_ChannelAppend. */
#define FDE_APPEND_BLOCK 8192

typedef struct ChannelT ChannelT; /* owned by the library */

ChannelT *F_ChannelOpen(const FilePathT *path, ConStringT mode);
ChannelT *F_ChannelMakeTmp(void);

UIntT F_ChannelRead(PtrT buf, UIntT size, UIntT count, ChannelT *ch);
UIntT F_ChannelWrite(const void *buf, UIntT size, UIntT count, ChannelT *ch);
/* whence: 0 from the start, 1 from the current position, 2 from the end */
IntT F_ChannelSeek(ChannelT *ch, int64_t offset, IntT whence);
int64_t F_ChannelTell(ChannelT *ch);
int64_t F_ChannelSize(ChannelT *ch);
IntT F_ChannelAppend(ChannelT *from, ChannelT *to);
IntT F_ChannelFlush(ChannelT *ch);
IntT F_ChannelEof(ChannelT *ch);

IntT F_ChannelClose(ChannelT *ch);
IntT FdeChannelClose(ChannelT **chp);
IntT F_ChannelCloseTmp(ChannelT *ch);
IntT FdeChannelCloseTmp(ChannelT **chp);

FilePathT *F_GetFilePath(ChannelT *ch);
IntT F_DeleteFile(const FilePathT *path);
StringT FdeMakeTmpFileName(void);

FDE_END_DECLS

#endif /* FDE_CHANNEL_H */
