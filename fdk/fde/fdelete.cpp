// fdelete - removing files and directories, and closing a temporary channel
// together with its file.
#include "channel_internal.h"
#include "fde_channel.h"
#include "fde_filepath.h"
#include "fde_memory.h"

#include <unistd.h>

extern "C" {

IntT F_DeleteFile(const FilePathT *path) {
  if (path == nullptr || path->path == nullptr || path->path[0] == 0) return -1;
  const char *p = path->path;
  int r = (FdeStatProperty(p, FDE_SP_DIRECTORY) & FDE_SP_DIRECTORY) != 0 ? rmdir(p) : unlink(p);
  return r == 0 ? 0 : -1;
}

IntT F_ChannelCloseTmp(ChannelT *ch) {
  if (ch == nullptr) return -1;
  // The file goes first, while the stream is still open.  A channel without
  // a name has no file of its own: F_GetFilePath would name the working
  // directory, which is not this channel's to remove.
  if (ch->name != nullptr && ch->name[0] != 0) {
    FilePathT *fp = F_GetFilePath(ch);
    if (fp != nullptr) {
      F_DeleteFile(fp);
      F_FilePathFree(fp);
    }
  }
  return F_ChannelClose(ch);
}

IntT FdeChannelCloseTmp(ChannelT **chp) {
  if (chp == nullptr) FdeFail();
  IntT r = F_ChannelCloseTmp(*chp);
  *chp = nullptr;
  return r;
}

}  // extern "C"
