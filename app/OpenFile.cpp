// OpenFile.cpp - document opening for the request handlers: $NAME
// expansion of request paths, the open parameters (defaults, three forced
// values, the caller's list), and the dressing of an opened document
// (title, path, display settings or re-activation of the previous
// document after a background open).
#include <cstdlib>
#include <cstring>

#include "dokfrm.h"
#include "fapi_calls.h"
#include "fapi_values.h"
#include "fde_memory.h"
#include "fde_strings.h"

namespace {

// Frame's numbers.  Open parameters forced on every open (number, value);
// parameter 5 at 0 in the caller's list also asks for a background open.
struct Forced {
  IntT num;
  IntT value;
};
constexpr Forced kForcedParams[] = {{24, 11}, {5, 0}, {22, 1}};
constexpr IntT kOpenParamBackground = 5;
// Document properties: the path (22), and the two display settings of a
// foreground open (110 to 1, 139 to 3).
constexpr IntT kPropDocPath = 22;
constexpr IntT kPropDoc110 = 110;
constexpr IntT kPropDoc139 = 139;
constexpr IntT kReturnValue = -10001;
constexpr UIntT kTitleRoom = 50;  // bytes beyond the base name, suffix and zero included

const char *OrEmpty(const char *s) { return s != nullptr ? s : ""; }

// An output area that never grows beyond its size: text that does not fit
// marks it overflowed instead of being cut.
template <std::size_t Max>
class BoundedText {
 public:
  void Append(const char *s, std::size_t len) {
    if (len > Max - len_) {
      overflow_ = true;
      return;
    }
    std::memcpy(buf_ + len_, s, len);
    len_ += len;
  }
  bool Overflowed() const { return overflow_; }
  bool EndsWithSlash() const { return len_ > 0 && buf_[len_ - 1] == '/'; }
  const char *Terminated() {
    buf_[len_] = '\0';
    return buf_;
  }

 private:
  char buf_[Max + 1];
  std::size_t len_ = 0;
  bool overflow_ = false;
};

}  // namespace

namespace dokfrm {

void MergeOpenParams(F_PropValsT *open, const F_PropValsT *caller) {
  for (const Forced &f : kForcedParams) {
    IntT i = F_ApiGetPropIndex(open, f.num);
    if (i >= 0 && open->val[i].propVal.valType == 1) open->val[i].propVal.u.ival = f.value;
  }

  if (caller == nullptr || caller->val == nullptr) return;
  for (UIntT k = 0; k < caller->len; ++k) {
    const F_PropValT &entry = caller->val[k];
    IntT type = entry.propVal.valType;
    if (type != 1 && type != FT_String) continue;
    IntT i = F_ApiGetPropIndex(open, entry.propIdent.num);
    if (i < 0) continue;  // not an open parameter
    F_TypedValT &target = open->val[i].propVal;
    if (target.valType != type) continue;  // never a word over a pointer
    if (type == 1) {
      target.u.ival = entry.propVal.u.ival;
    } else {
      StringT copy = F_ApiCopyString(entry.propVal.u.sval);
      F_ApiDeallocateString(&target.u.sval);
      target.u.sval = copy;
    }
  }
}

bool IsBackgroundOpen(const F_PropValsT *caller) {
  if (caller == nullptr || caller->val == nullptr) return false;
  for (UIntT k = 0; k < caller->len; ++k)
    if (caller->val[k].propIdent.num == kOpenParamBackground && caller->val[k].propVal.u.ival == 0)
      return true;
  return false;
}

}  // namespace dokfrm

extern "C" StringT parseVariable(StringT path) {
  BoundedText<DOKFRM_PATH_MAX> out;
  const char *p = OrEmpty(path);
  while (*p != '\0') {
    if (*p != '$') {
      out.Append(p, 1);
      ++p;
      continue;
    }
    // The name runs from after the '$' to the next '/' or the end; the
    // slash stays in the path and is copied as an ordinary character.
    const char *name = p + 1;
    const char *end = std::strchr(name, '/');
    if (end == nullptr) end = name + std::strlen(name);
    std::size_t nameLen = static_cast<std::size_t>(end - name);
    // A name too long for its area is never looked up by a part of it: the
    // reference stays as written, like one to an unset variable.
    const char *value = nullptr;
    if (nameLen <= DOKFRM_NAME_MAX) {
      char var[DOKFRM_NAME_MAX + 1];
      std::memcpy(var, name, nameLen);
      var[nameLen] = '\0';
      value = std::getenv(var);
    }
    if (value == nullptr) {
      out.Append(p, static_cast<std::size_t>(end - p));  // '$' and name, as they stood
    } else if (value[0] != '\0') {
      if (value[0] == '/' && out.EndsWithSlash()) ++value;  // no doubled slash
      out.Append(value, std::strlen(value));
    }
    p = end;
  }
  // A cut path would name another file: nothing at all is better.
  if (out.Overflowed()) return nullptr;
  return F_StrCopyString(out.Terminated());
}

extern "C" StringT Basename(StringT path) {
  const char *slash = F_StrRChr(path, '/');
  return F_StrCopyString(slash != nullptr ? slash + 1 : OrEmpty(path));
}

extern "C" StringT Dirname(StringT path) {
  const char *slash = F_StrRChr(path, '/');
  if (slash == nullptr) return F_StrNew(0);
  // A buffer of n + 1 bytes; the bounded copy takes the n - 1 characters
  // before the slash.
  UIntT n = static_cast<UIntT>(slash - path) + 1;
  StringT result = F_StrNew(n);
  F_StrCpyN(result, path, static_cast<IntT>(n));
  return result;
}

extern "C" int OpenFile(F_ObjIdT *document, StringT path, F_PropValsT properties) {
  using namespace dokfrm;
  F_ObjIdT previous = F_ApiGetId(0, 0, kPropActiveDoc);
  StringT expanded = parseVariable(path);
  if (expanded == nullptr) {  // does not fit the path area: nothing is opened
    if (document != nullptr) *document = 0;
    return 1;
  }
  StringT base = Basename(path);

  F_PropValsT open = F_ApiGetOpenDefaultParams();
  F_PropValsT *returned = nullptr;
  MergeOpenParams(&open, &properties);

  F_ObjIdT doc = F_ApiOpen(expanded, &open, &returned);
  if (document != nullptr) *document = doc;

  int result = 1;
  if (doc != 0) {
    if (!IsBackgroundOpen(&properties)) {
      F_ApiSetInt(0, doc, kPropDoc110, 1);
      IntT code = kFcodeShow;
      F_ApiFcodes(1, &code);
      F_ApiSetInt(0, doc, kPropDoc139, 3);
    } else {
      F_ApiSetId(0, 0, kPropActiveDoc, previous);
    }
    UIntT baseLen = F_StrLen(base);
    auto title = static_cast<StringT>(F_Alloc(baseLen + kTitleRoom, 0));
    if (title != nullptr) {
      F_StrCpy(title, base);
      F_StrCat(title, kTitleSuffix);
      F_ApiSetString(0, doc, kPropTitle, title);
      F_Free(title);
    }
    F_ApiSetString(0, doc, kPropDocPath, expanded);
    F_ApiReturnValue(kReturnValue);
    result = 0;
  }

  F_ApiDeallocatePropVals(&open);
  F_ApiDeallocatePropVals(returned);
  F_Free(base);
  F_Free(expanded);
  return result;
}
