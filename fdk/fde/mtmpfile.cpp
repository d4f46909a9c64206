// mtmpfile - temporary file names and temporary channels.
//
// The directory is chosen once per process, on the first request: the
// first of TMPDIR, "/tmp", "/usr/tmp" and HOME that is a directory the
// process may write, else the working directory read at that moment.  Names
// are "%s/F%x.%s": directory, a per-process counter in hexadecimal, and six
// characters that make the name unused.  F_ChannelMakeTmp creates the file
// with O_EXCL, so a file or link that appears under the name between the
// choice of the name and the open is never opened.
#include "channel_internal.h"
#include "fde_channel.h"
#include "fde_filepath.h"
#include "fde_memory.h"
#include "fde_sprint.h"
#include "fde_strings.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// "/F", eight hexadecimal digits, '.', the six-character template and the
// terminator: room for every counter value.
constexpr size_t kNameExtra = 2 + 8 + 1 + 6 + 1;
constexpr int kAttempts = 100;
constexpr char kTemplate[] = "XXXXXX";
constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool firstCall = true;
UIntT counter = 0;
char chosenDir[FDE_PATH_SIZE];   // "" when no candidate passed
char workingDir[FDE_PATH_SIZE];  // "" when it could not be read
const char *fixedCandidates[2] = {"/tmp", "/usr/tmp"};

bool Usable(const char *dir) {
  return dir != nullptr && dir[0] != 0 && std::strlen(dir) <= FDE_PATH_LEN &&
         FdeOperationOk(dir, FDE_FT_DIRECTORY, FDE_ACCESS_WRITE);
}

void ChooseDirectory() {
  const char *candidates[] = {std::getenv("TMPDIR"), fixedCandidates[0], fixedCandidates[1],
                              std::getenv("HOME")};
  for (const char *dir : candidates) {
    if (Usable(dir)) {
      F_StrCpyN(chosenDir, dir, sizeof chosenDir);
      break;
    }
  }
  if (getcwd(workingDir, sizeof workingDir) == nullptr) workingDir[0] = 0;
  firstCall = false;
}

uint64_t RandomWord() {
  uint64_t r;
  if (getrandom(&r, sizeof r, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof r)) return r;
  // No entropy at hand: the clock and the process id still differ between
  // attempts and processes, and the existence check below does the rest.
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  r = static_cast<uint64_t>(ts.tv_nsec) ^ (static_cast<uint64_t>(ts.tv_sec) << 30) ^
      (static_cast<uint64_t>(getpid()) << 40);
  r ^= r >> 33;
  r *= 0xff51afd7ed558ccdULL;
  return r ^ (r >> 33);
}

// Replaces the six X at the end of name with characters that give a name
// nothing uses yet; leaves name empty when no such name turns up.
void FillTemplate(char *name) {
  char *t = name + std::strlen(name) - (sizeof kTemplate - 1);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    uint64_t r = RandomWord();
    for (size_t i = 0; i < sizeof kTemplate - 1; ++i) {
      t[i] = kLetters[r % (sizeof kLetters - 1)];
      r /= sizeof kLetters - 1;
    }
    struct stat st;
    if (lstat(name, &st) != 0) {
      if (errno == ENOENT) return;
      break;  // the directory cannot be examined
    }
  }
  name[0] = 0;
}

}  // namespace

extern "C" {

void FdeSetTmpCandidates(ConStringT first, ConStringT second) {
  fixedCandidates[0] = first != nullptr ? first : "/tmp";
  fixedCandidates[1] = second != nullptr ? second : "/usr/tmp";
}

void FdeSetTmpCounter(UIntT value) { counter = value; }

StringT FdeMakeTmpFileName(void) {
  if (firstCall) ChooseDirectory();
  const char *dir = chosenDir[0] != 0 ? chosenDir : workingDir;
  // Neither a candidate nor the working directory: rather no name than one
  // at the root of the file system.
  if (dir[0] == 0) return nullptr;

  auto *name = static_cast<StringT>(F_Alloc(static_cast<UIntT>(std::strlen(dir) + kNameExtra), 0));
  if (name == nullptr) return nullptr;
  ++counter;
  F_Sprintf(name, "%s/F%x.%s", dir, counter, kTemplate);
  FillTemplate(name);
  if (name[0] == 0) {
    F_Free(name);
    return nullptr;
  }
  return name;
}

ChannelT *F_ChannelMakeTmp(void) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    StringT name = FdeMakeTmpFileName();
    if (name == nullptr) return nullptr;
    int fd = open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      int err = errno;
      F_Free(name);
      if (err == EEXIST) continue;  // taken since the name was chosen
      return nullptr;
    }
    FILE *stream = fdopen(fd, "w+");
    ChannelT *ch = stream != nullptr ? FdeChannelNew(stream, name) : nullptr;
    if (ch == nullptr) {
      if (stream != nullptr)
        std::fclose(stream);
      else
        close(fd);
      unlink(name);
      F_Free(name);
    }
    return ch;
  }
  return nullptr;
}

}  // extern "C"
