// Shared by the apilib unit tests: sample values of every value type built
// with the C library's heap (released with xdr_free, independently of the
// code under test), and a walk that collects the memory a value owns.
#ifndef APILIB_TEST_VALUE_SAMPLES_H
#define APILIB_TEST_VALUE_SAMPLES_H

#include <rpc/rpc.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "fapi_types.h"
#include "fapi_xdr.h"
#include "xdr_record.hpp"

namespace apilib_test {

inline StringT Str(const char *s) { return strdup(s); }

// An array of the items; null for none, as the decoder makes it.
template <class E> E *Arr(std::initializer_list<E> items) {
  if (items.size() == 0) return nullptr;
  auto *p = static_cast<E *>(std::calloc(items.size(), sizeof(E)));
  std::size_t i = 0;
  for (const E &e : items) p[i++] = e;
  return p;
}

template <class L> L List(std::initializer_list<std::remove_pointer_t<decltype(L::val)>> items) {
  L l;
  l.len = static_cast<UIntT>(items.size());
  l.val = Arr(items);
  return l;
}

inline F_StringsT Strings(std::initializer_list<const char *> items) {
  F_StringsT l{static_cast<UIntT>(items.size()), nullptr};
  if (items.size() == 0) return l;
  l.val = static_cast<StringT *>(std::calloc(items.size(), sizeof(StringT)));
  std::size_t i = 0;
  for (const char *s : items) l.val[i++] = s != nullptr ? Str(s) : nullptr;
  return l;
}

// A typed value of type t holding something distinctive for every type
// (types without a value part get a word or, for 19, an element range).
inline F_TypedValT SampleVal(IntT t) {
  F_TypedValT v;
  std::memset(&v, 0, sizeof v);
  v.valType = t;
  auto &u = v.u;
  switch (t) {
  case FT_String: u.sval = Str("three"); break;
  case FT_Metrics: u.msval = List<F_MetricsT>({10, -20, 30}); break;
  case FT_Strings: u.ssval = Strings({"a", "bc", ""}); break;
  case FT_Points: u.psval = List<F_PointsT>({{1, 2}, {-3, 4}}); break;
  case FT_Tabs:
    u.tsval = List<F_TabsT>({{100, 1, Str(".."), '.'}, {200, 2, Str("-"), ','}});
    break;
  case FT_TextLoc: u.tlval = {5, 6}; break;
  case FT_TextRange: u.trval = {{5, 6}, {7, 8}}; break;
  case FT_ElementCatalog: u.csval = List<F_ElementCatalogEntriesT>({{7, 1}, {8, 2}}); break;
  case FT_Ints: u.isval = List<F_IntsT>({-1, 0, 1}); break;
  case FT_UBytes: u.ubsval = List<F_UBytesT>({1, 2, 255}); break;
  case FT_UInts: u.uisval = List<F_UIntsT>({0xFFFFFFFFu, 1}); break;
  case FT_AttributeDefs:
    u.adsval = List<F_AttributeDefsT>(
        {{Str("attr"), 1, 0, 2, Strings({"x", "y"}), Strings({"x"}), Str("0"), Str("9")},
         {Str("other"), 0, 1, 3, Strings({}), Strings({"d"}), Str(""), Str("z")}});
    break;
  case FT_Attributes:
    u.asval = List<F_AttributesT>({{Str("a"), Strings({"v", "w"}), 1, 0},
                                   {Str("b"), Strings({}), 0, 1}});
    break;
  case FT_ElementRange: u.erngval = Arr<F_ElementRangeT>({{{1, 2, 3}, {4, 5, 6}}}); break;
  case FT_FileFormat: u.ffval = {Str("fmt"), Str("ext"), {'A', 'B', 'C', 'D'}}; break;
  default: u.ival = 1000 + t; break;
  }
  return v;
}

inline void FreeSample(F_TypedValT *v) {
  xdr_free(fdk::xdr::proc_of<F_TypedValT>(), reinterpret_cast<char *>(v));
}

// The value's wire form: equal bytes mean equal values.
template <class T> std::string Wire(const T &v) {
  std::vector<char> buf(1 << 16);
  XDR x;
  xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
  T copy = v;  // the encoder takes a non-const pointer; it only reads
  bool ok = fdk::xdr::code(&x, &copy);
  std::string out(buf.data(), xdr_getpos(&x));
  xdr_destroy(&x);
  return ok ? out : std::string("<encode failed>");
}

// Every block a value owns, and how many of its counted arrays are non-empty.
struct Owned {
  std::set<const void *> blocks;
  int counts = 0;
  bool Empty() const { return blocks.empty() && counts == 0; }
};

template <class M> void Collect(const M &m, Owned &o) {
  using namespace fdk::xdr;
  if constexpr (std::is_same_v<M, F_PropIdentT>) {
    // the name is owned whatever the number (the wire sends it only for 0)
    if (m.name != nullptr) o.blocks.insert(m.name);
  } else if constexpr (std::is_same_v<M, StringT>) {
    if (m != nullptr) o.blocks.insert(m);
  } else if constexpr (IsArray<M>) {
    if (m.len != 0) ++o.counts;
    if (m.val != nullptr) {
      o.blocks.insert(m.val);
      for (UIntT i = 0; i < m.len; ++i) Collect(m.val[i], o);
    }
  } else if constexpr (IsWalkable<M>) {
    for_each_field(m, [&o](std::string_view, const auto &f) { Collect(f, o); });
  } else if constexpr (std::is_pointer_v<M>) {
    if (m != nullptr) {
      o.blocks.insert(m);
      Collect(*m, o);
    }
  }
}

template <class T> Owned OwnedBy(const T &v) {
  Owned o;
  Collect(v, o);
  return o;
}

// True when the two values share no block.
template <class A, class B> bool Disjoint(const A &a, const B &b) {
  Owned oa = OwnedBy(a), ob = OwnedBy(b);
  for (const void *p : oa.blocks)
    if (ob.blocks.count(p) != 0) return false;
  return true;
}

}  // namespace apilib_test

#endif
