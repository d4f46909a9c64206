// trace.hpp - the trace of what a client asks of Frame and what Frame asks
// of it, switched on by the environment variable FDK_TRACE (a file name,
// "-" for standard error).  Not a public header: applications write their
// own lines with F_ApiTrace (fapi_runtime.h).
//
// One line per event, written with one write(2) on a descriptor opened for
// appending, so that the lines of several processes sharing the file do not
// mix.  Every line starts with the UTC time (microseconds) and the process
// id; the rest is the event: README.md lists the forms.
//
// The variable is looked at once, when the first event asks whether tracing
// is on.  Afterwards, with tracing off, a call function pays one load and
// one branch (`off()`).
#ifndef FDK_APILIB_TRACE_HPP
#define FDK_APILIB_TRACE_HPP

#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "fapi_calls.h"
#include "fapi_runtime.h"
#include "xdr_record.hpp"

namespace fdk::trace {

// -1 until FDK_TRACE was looked at, then 0 (off) or 1 (on) for good.
extern int state;

// Looks at FDK_TRACE (once) and opens the file; true when tracing is on.
bool settle();

inline bool on() {
  if (state == 0) [[likely]] return false;
  return state > 0 || settle();
}

// True only once tracing is known to be off: the one test in the path of a
// call function.  The out-of-line work behind it asks on() itself.
inline bool off() { return state == 0; }

// Forgets the settled state and closes the file, so that the next event
// looks at FDK_TRACE again.  For tests.
void reset();

// Strings longer than this many bytes are cut; lists show this many
// elements.  A line is at most kLineMax bytes, newline included.
inline constexpr std::size_t kStringMax = 64;
inline constexpr std::size_t kListMax = 8;
inline constexpr std::size_t kLineMax = 4096;

// One line under construction: the time and the process id are already in
// it; write() adds the newline and hands it to the file.  Text that does not
// fit ends with a mark instead.
class Line {
 public:
  Line();
  Line(const Line &) = delete;
  Line &operator=(const Line &) = delete;

  Line &text(std::string_view s);
  Line &number(long long n);
  // The bytes between quotes, escaped, cut after kStringMax bytes with the
  // mark ...(N bytes).  Null is written null.
  Line &quoted(const void *data, std::size_t length);
  Line &string(const char *s) { return quoted(s, s != nullptr ? std::strlen(s) : 0); }

  // Any value that travels: numbers, strings, lists as [count: elements],
  // records as {field=value ...}.
  template <class T> Line &value(const T &v);
  // The fields of a record as field=value, separated by blanks.
  template <class T> Line &fields(const T &rec);

  void write();

 private:
  char buf_[kLineMax];
  std::size_t len_ = 0;
  bool cut_ = false;
};

template <class T> Line &Line::fields(const T &rec) {
  bool first = true;
  fdk::xdr::for_each_field(rec, [&](std::string_view name, const auto &member) {
    if (!first) text(" ");
    first = false;
    text(name).text("=").value(member);
  });
  return *this;
}

template <class T> Line &Line::value(const T &v) {
  using V = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<V, StringT> || std::is_same_v<V, ConStringT>) {
    if (v == nullptr) return text("null");
    return string(v);
  } else if constexpr (std::is_same_v<V, UByteT> || std::is_same_v<V, UIntT>) {
    return number(static_cast<long long>(v));
  } else if constexpr (std::is_integral_v<V>) {
    return number(static_cast<long long>(v));
  } else if constexpr (std::is_array_v<V>) {
    text("[");
    for (std::size_t i = 0; i < std::extent_v<V>; ++i) {
      if (i > 0) text(" ");
      value(v[i]);
    }
    return text("]");
  } else if constexpr (fdk::xdr::IsArray<V>) {
    text("[").number(v.len);
    if (v.val != nullptr && v.len > 0) {
      text(":");
      for (UIntT i = 0; i < v.len && i < kListMax; ++i) text(" ").value(v.val[i]);
      if (v.len > kListMax) text(" ...");
    }
    return text("]");
  } else if constexpr (std::is_pointer_v<V>) {
    if (v == nullptr) return text("null");
    return value(*v);
  } else if constexpr (fdk::xdr::IsWalkable<V>) {
    return text("{").fields(v).text("}");
  } else if constexpr (std::is_same_v<V, F_CompareRetT>) {
    return text("{firstId=").number(v.firstId).text(" secondId=").number(v.secondId).text("}");
  } else {
    static_assert(sizeof(V) == 0, "no trace form for this type");
  }
}

// The procedure number of a client stub (api_fm_get_int_1 -> 1064), 0 for
// a function that is no stub.
int procedure_of(void (*stub)());

// The line of one call function: its name, procedure, argument record
// (Arg void: none), result and FA_errno after the call.  Out of line, cold,
// and given its values by copy (shallow: records, list headers, string
// pointers), so that the call function around the test stays what it was
// untraced: nothing of it escapes and the compiler still inlines it whole.
template <class Arg, class R, class V, class Result>
[[gnu::noinline, gnu::cold]] void call(const char *function, R *(*stub)(Arg *, CLIENT *),
                                       V arg, Result result) {
  if (!on()) return;
  Line line;
  line.text("call ").text(function).text(" ");
  line.number(procedure_of(reinterpret_cast<void (*)()>(stub))).text(" (");
  if constexpr (fdk::xdr::IsRecord<V> && !std::is_void_v<Arg>) line.fields(arg);
  else if constexpr (!std::is_void_v<Arg>) line.value(arg);
  line.text(") -> ").value(result).text(" FA_errno=").number(FA_errno);
  line.write();
}

// How a callback handed control back to Frame.
enum class Over {
  kNone,        // it never took control (quit, old-style notification)
  kRuntime,     // the runtime's over call after the entry point returned
  kEntryPoint,  // the entry point's own F_ApiDoneCommand
  kRefused,     // nested in another callback: dropped, no over call
};

// The line of one callback of procedure `proc` with its decoded argument
// record (the dispatcher's argument area).
void callback(unsigned long proc, const void *args, Over over);

}  // namespace fdk::trace

#endif  // FDK_APILIB_TRACE_HPP
