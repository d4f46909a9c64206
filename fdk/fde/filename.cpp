// filename - name utilities on caller buffers: the last name, splitting
// and joining, replacement of $NAME, "~" and "~user" references, textual
// expansion of "." and "..", and rewriting a path relative to an anchor.
//
// Every work buffer here is FDE_PATH_SIZE bytes and every write into one is
// checked against that size; an expansion that cannot fit leaves the name
// as it was, as an unset variable does.
#include "fde_dipath.h"
#include "fde_filepath.h"
#include "fde_memory.h"
#include "fde_strings.h"
#include "filename_internal.h"

#include <pwd.h>

#include <cstdlib>
#include <cstring>

namespace {

// HOME as read on the first bare "~" while it was set; empty until then.
char FMuserhomedir[FDE_PATH_SIZE];

const char *HomeDirectory() {
  if (FMuserhomedir[0] == 0) {
    const char *home = std::getenv("HOME");
    // A value that could not be kept whole is as good as none.
    if (home != nullptr && home[0] != 0 && std::strlen(home) <= FDE_PATH_LEN)
      F_StrCpyN(FMuserhomedir, home, sizeof FMuserhomedir);
  }
  return FMuserhomedir[0] != 0 ? FMuserhomedir : nullptr;
}

// Index of the next '/' at or after i, or n.
size_t NextSlash(const char *s, size_t i, size_t n) {
  while (i < n && s[i] != '/') ++i;
  return i;
}

// A bounded builder over one FDE_PATH_SIZE-byte buffer.
struct Work {
  char text[FDE_PATH_SIZE];
  size_t len = 0;

  bool Put(const char *s, size_t n) {
    if (n > FDE_PATH_LEN - len) return false;
    std::memcpy(text + len, s, n);
    len += n;
    text[len] = 0;
    return true;
  }
};

}  // namespace

extern "C" {

StringT FdeStrFileLastName(ConStringT s) {
  if (s == nullptr) return nullptr;
  const char *slash = std::strrchr(s, '/');
  return const_cast<StringT>(slash != nullptr ? slash + 1 : s);
}

void FdeSplitFullFileName(ConStringT full, StringT dir, StringT name) {
  const char *s = full != nullptr ? full : "";
  const char *slash = std::strrchr(s, '/');
  if (name != nullptr) F_StrCpyN(name, slash != nullptr ? slash + 1 : s, FDE_LAST_NAME_SIZE);
  if (dir == nullptr) return;
  if (slash == nullptr) {
    dir[0] = 0;
  } else if (slash == s) {
    F_StrCpy(dir, "/");
  } else {
    // Everything before the last '/', at most FDE_PATH_LEN - 1 characters.
    size_t k = static_cast<size_t>(slash - s);
    if (k > FDE_PATH_LEN - 1) k = FDE_PATH_LEN - 1;
    F_StrCpyN(dir, s, static_cast<IntT>(k + 1));
  }
}

IntT FdeDirCatN(StringT dir, ConStringT name, IntT size) {
  if (dir == nullptr) return 0;
  size_t len = std::strlen(dir);
  if (len > 0 && name != nullptr && name[0] != 0 && dir[len - 1] != '/')
    F_StrCatCharN(dir, '/', size);
  return F_StrCatN(dir, name, size);
}

void FdeFixTildaName(StringT name) {
  if (name == nullptr) return;
  const size_t n = strnlen(name, FDE_PATH_LEN);
  Work work;
  work.text[0] = 0;
  size_t i = 0;

  if (n > 0 && name[0] == '~') {
    size_t end = NextSlash(name, 1, n);
    const char *home = nullptr;
    if (end == 1) {
      home = HomeDirectory();
    } else {
      char user[FDE_PATH_SIZE];
      std::memcpy(user, name + 1, end - 1);
      user[end - 1] = 0;
      const passwd *pw = getpwnam(user);
      if (pw != nullptr) home = pw->pw_dir;
    }
    // No home to put in: the name stays as it is.
    if (home == nullptr || !work.Put(home, std::strlen(home))) return;
    i = end;
  }

  while (i < n) {
    if (name[i] == '$' && (i == 0 || name[i - 1] != '\\')) {
      size_t end = NextSlash(name, i + 1, n);
      char var[FDE_PATH_SIZE];
      std::memcpy(var, name + i + 1, end - i - 1);
      var[end - i - 1] = 0;
      const char *value = std::getenv(var);
      if (value == nullptr || !work.Put(value, std::strlen(value))) return;
      i = end;
    } else {
      if (!work.Put(name + i, 1)) return;  // a replacement used the room up
      ++i;
    }
  }
  std::memcpy(name, work.text, work.len + 1);
}

StringT retreat(StringT start, StringT end) {
  if (start == nullptr || end == nullptr || end <= start) return end;
  char *p = end - 1;
  while (p > start && *p != '/') --p;
  if (p == start && *start == '/') ++p;  // the root stays
  *p = 0;
  return p;
}

void FdeUiExpandFileName(StringT name, ConStringT dir) { FdeExpandFileNameWhole(name, dir); }

BoolT FdeExpandFileNameWhole(StringT name, ConStringT dir) {
  if (name == nullptr) return True;
  FdeFixTildaName(name);

  char result[FDE_PATH_SIZE];
  bool whole = true;
  if (name[0] == '/') {
    F_StrCpy(result, "/");
  } else {
    // At most FDE_PATH_LEN - 1 characters of dir.
    whole = F_StrLen(dir) < FDE_PATH_LEN;
    F_StrCpyN(result, dir, FDE_PATH_LEN);
  }
  if (name[0] == 0) {
    F_StrCpy(name, result);
    return whole ? True : False;
  }

  char *end = result + std::strlen(result);
  const char *p = name;
  for (;;) {
    while (*p == '/') ++p;
    if (*p == 0) break;
    const char *q = p;
    while (*q != 0 && *q != '/') ++q;
    const size_t clen = static_cast<size_t>(q - p);

    if (clen == 1 && p[0] == '.') {
      // the same directory
    } else if (clen == 2 && p[0] == '.' && p[1] == '.') {
      end = retreat(result, end);
    } else {
      const size_t len = static_cast<size_t>(end - result);
      if (len + 1 + clen >= FDE_PATH_LEN) {
        // The last component that still starts inside the limit goes in,
        // cut if need be; the rest of the name is dropped.
        char comp[FDE_PATH_SIZE];
        std::memcpy(comp, p, clen);
        comp[clen] = 0;
        const size_t sep = len > 0 && end[-1] != '/' ? 1 : 0;
        const size_t got = static_cast<size_t>(FdeDirCatN(result, comp, FDE_PATH_LEN));
        while (*q == '/') ++q;
        whole = whole && got == len + sep + clen && *q == 0;
        break;
      }
      if (len > 0 && end[-1] != '/') *end++ = '/';
      std::memcpy(end, p, clen);
      end += clen;
      *end = 0;
    }
    p = q;
  }
  F_StrCpyN(name, result, FDE_PATH_LEN);
  return whole ? True : False;
}

void FdeRelativizeFileName(StringT path, ConStringT anchorFile) {
  if (path == nullptr || path[0] != '/') FdeFail();
  if (anchorFile == nullptr) return;
  if (anchorFile[0] != '/') FdeFail();

  char d[FDE_PATH_SIZE];
  FdeSplitFullFileName(anchorFile, d, nullptr);
  const size_t plen = strnlen(path, FDE_PATH_LEN);

  // Walk the common prefix; a component is shared once the '/' closing it
  // matched in both.  The root '/' opens the first one and does not count.
  size_t i = 0;
  int shared = 0;
  while (i < plen && d[i] != 0 && path[i] == d[i]) {
    if (i > 0 && path[i] == '/') ++shared;
    ++i;
  }
  if (shared == 0) return;  // not even the first directory in common

  char rel[FDE_PATH_SIZE];
  size_t rl = 0;
  const char *rest;
  if (d[i] == 0 && i < plen && path[i] == '/') {
    rest = path + i + 1;  // the file lies in d or below
  } else {
    // Back to the last '/' both share (a counted one exists, so this stays
    // past the root), then one "../" per directory of d below it.
    size_t k = i - 1;
    while (path[k] != '/') --k;
    for (const char *q = d + k; *q != 0; ++q) {
      if (*q != '/') continue;
      if (rl + 3 > FDE_PATH_LEN - 3) return;
      std::memcpy(rel + rl, "../", 3);
      rl += 3;
    }
    rest = path + k + 1;
  }
  const size_t restlen = plen - static_cast<size_t>(rest - path);
  if (rl + restlen > FDE_PATH_LEN) return;
  std::memcpy(rel + rl, rest, restlen);
  rel[rl + restlen] = 0;
  std::memcpy(path, rel, rl + restlen + 1);
}

}  // extern "C"
