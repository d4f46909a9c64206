// parse_variable_fuzz - the bridge's path helpers: $NAME expansion of
// request paths (parseVariable), Basename and Dirname.
//
// Input: the path, up to the first zero byte, in a heap string of its own
// exact size.  Checked besides the sanitizers' findings: every result is a
// new string; an expansion holds at most DOKFRM_PATH_MAX characters or is
// refused (null), and leaves a path without '$' as it is; Basename is what
// follows the last '/', and Dirname plus '/' plus Basename gives the path
// back whenever it has a '/'.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dokfrm.h"
#include "fapi_runtime.h"
#include "fde_memory.h"
#include "fixed_env.hpp"

// The entry points every client of the API library supplies.  Never called
// here; defining them keeps the bridge's own (and the main loop they need)
// out of the harness.
extern "C" void F_ApiInitialize(IntT) {}
extern "C" void F_ApiNotify(IntT, F_ObjIdT, StringT, IntT) {}
extern "C" void F_ApiMessage(StringT, F_ObjIdT, F_ObjIdT) {}

namespace {

[[noreturn]] void fail(const char *what, const std::string &path) {
  std::fprintf(stderr, "parse_variable_fuzz: %s: \"%s\"\n", what, path.c_str());
  std::abort();
}

}  // namespace

// Fixed values, so that an input means the same on every run: a relative
// value, an absolute one (its '/' meets a '/' already written), an empty
// one, one longer than an expanded path may be, and one whose name is
// exactly as long as a name may be.
FDK_FUZZ_FIXED_ENVIRONMENT({{"FZ", "a/b"},
                            {"FZROOT", "/srv/docs"},
                            {"FZEMPTY", ""},
                            {"FZLONG", std::string(1500, 'L')},
                            {std::string(DOKFRM_NAME_MAX, 'N'), "named-to-the-limit"}})

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string path(reinterpret_cast<const char *>(data),
                         strnlen(reinterpret_cast<const char *>(data), size));
  char *in = static_cast<char *>(std::malloc(path.size() + 1));
  if (in == nullptr) fail("out of memory", "");
  std::memcpy(in, path.c_str(), path.size() + 1);

  StringT expanded = parseVariable(in);
  StringT base = Basename(in);
  StringT dir = Dirname(in);
  if (base == nullptr || dir == nullptr) fail("a result is null", path);
  if (path != in) fail("the path was changed", path);

  // An expansion that does not fit is refused (null), never cut.
  const bool plain = path.find('$') == std::string::npos;
  if (expanded == nullptr) {
    if (plain && path.size() <= DOKFRM_PATH_MAX) fail("a path that fits was refused", path);
  } else {
    if (std::strlen(expanded) > DOKFRM_PATH_MAX) fail("the expansion is over the limit", path);
    if (plain && path != expanded) fail("a path without variables changed", path);
  }

  const size_t slash = path.rfind('/');
  const std::string want_base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (want_base != base) fail("Basename is not what follows the last '/'", path);
  if (slash == std::string::npos ? dir[0] != '\0'
                                 : std::string(dir) + "/" + base != path)
    fail("Dirname and Basename do not make the path", path);

  F_Free(dir);
  F_Free(base);
  F_Free(expanded);
  std::free(in);
  return 0;
}
