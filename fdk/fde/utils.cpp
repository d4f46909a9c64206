// utils - the DI name reader: token recognition, text copying with the
// backslash escape, and the bounded output it builds the path in.
//
// The reader never looks past the name's terminator and never writes more
// than FDE_PATH_LEN characters (plus the terminator) into its output.
#include "fde_dipath.h"
#include "fde_memory.h"

#include <cstring>

namespace {

void CheckCursor(ConStringT *cursor) {
  if (cursor == nullptr || *cursor == nullptr) FdeFail();
}

}  // namespace

extern "C" {

IntT GetDiTokenID(ConStringT *cursor) {
  CheckCursor(cursor);
  const char *p = *cursor;
  if (p[0] != '<') {
    if (p[0] != 0) *cursor = p + 1;
    return 0;
  }
  // "<", "<x" at the end of the name: step over what is there and no more.
  if (p[1] == 0) {
    *cursor = p + 1;
    return 0;
  }
  if (p[2] == 0) {
    *cursor = p + 2;
    return 0;
  }
  *cursor = p + 3;
  return p[2] == '>' ? static_cast<UCharT>(p[1]) : 0;
}

void AdvPastToken(ConStringT *cursor) {
  CheckCursor(cursor);
  const char *p = *cursor;
  while (*p != 0 && *p != '<') p += (p[0] == '\\' && p[1] != 0) ? 2 : 1;
  *cursor = p;
}

void CopyTokenIntoString(ConStringT *cursor, StringT buffer, IntT size) {
  CheckCursor(cursor);
  if (buffer == nullptr) FdeFail();
  if (size < 1) return;
  const char *p = *cursor;
  IntT n = 0;
  while (*p != 0 && *p != '<' && n < size - 1) {
    if (*p == '\\') {
      ++p;  // the escape itself is not part of the text
      if (*p == 0) break;
    }
    buffer[n++] = *p++;
  }
  buffer[n] = 0;
  *cursor = p;
}

IntT F_StrCpyAndAdvance(StringT *out, IntT *used, ConStringT s) {
  if (out == nullptr || *out == nullptr || used == nullptr) FdeFail();
  size_t n = s != nullptr ? std::strlen(s) : 0;
  if (n == 0) return 0;
  if (*used < 0 || n > static_cast<size_t>(FDE_PATH_LEN - *used)) return -1;
  std::memcpy(*out, s, n);
  (*out)[n] = 0;
  *out += n;
  *used += static_cast<IntT>(n);
  return 0;
}

IntT ExtractComponent(ConStringT *cursor, StringT *out, IntT *used) {
  char component[FDE_SEGMENT_SIZE];
  CopyTokenIntoString(cursor, component, sizeof component);
  IntT r = F_StrCpyAndAdvance(out, used, component);
  if (r == 0) r = F_StrCpyAndAdvance(out, used, "/");
  AdvPastToken(cursor);  // skips what did not fit the component buffer
  return r;
}

IntT ExtractUp(ConStringT *cursor, StringT *out, IntT *used) {
  IntT r = F_StrCpyAndAdvance(out, used, "../");
  AdvPastToken(cursor);
  return r;
}

IntT FdeParseDiName(ConStringT di, StringT out) {
  if (di == nullptr || out == nullptr) FdeFail();
  out[0] = 0;
  StringT o = out;
  IntT used = 0;
  bool rooted = false;
  ConStringT cursor = di;

  for (IntT id; (id = GetDiTokenID(&cursor)) != 0;) {
    IntT r = 0;
    switch (id) {
      case 'r':
        AdvPastToken(&cursor);
        rooted = true;
        if (used > 0) return -1;  // the root must come first
        r = F_StrCpyAndAdvance(&o, &used, "/");
        break;
      case 'h':
      case 'v':
        rooted = true;
        if (used > 0) return -1;
        r = F_StrCpyAndAdvance(&o, &used, "/");
        if (r == 0) r = ExtractComponent(&cursor, &o, &used);
        break;
      case 'c':
        r = ExtractComponent(&cursor, &o, &used);
        break;
      case 'u':
        if (rooted) return -1;  // nothing lies above the root
        r = ExtractUp(&cursor, &o, &used);
        break;
      default:
        AdvPastToken(&cursor);
        break;
    }
    if (r != 0) return -1;
  }
  if (used == 0) return -1;
  // Every token leaves a '/' behind; drop the last one, except when it is
  // the root itself: "<r>" alone, as the writer puts "/", reads back as "/"
  // and not as an empty (or, under an anchor, relative) name.
  if (!(rooted && used == 1)) out[used - 1] = 0;
  return 0;
}

}  // extern "C"
