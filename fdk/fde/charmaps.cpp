// charmaps - the static character maps: identity, case, hexadecimal digits
// and the class bits.  Every table is computed at compile time from the
// lists below and placed in read-only data.
#include "fde_charmap.h"

#include <array>
#include <initializer_list>

namespace {

using ByteMap = std::array<UCharT, 256>;
using PropMap = std::array<UShortT, 256>;

struct CasePair {
  UCharT small;
  UCharT capital;
};

// The letters above 0x7F that have both cases, small first.
constexpr CasePair kHighPairs[] = {
    {0x87, 0xE7}, {0x88, 0xCB}, {0x89, 0xE5}, {0x8A, 0x80}, {0x8B, 0xCC},  // a
    {0x8C, 0x81}, {0x8D, 0x82},                                            // a ring, c cedilla
    {0x8E, 0x83}, {0x8F, 0xE9}, {0x90, 0xE6}, {0x91, 0xE8},                // e
    {0x92, 0xEA}, {0x93, 0xED}, {0x94, 0xEB}, {0x95, 0xEC},                // i
    {0x96, 0x84},                                                          // n tilde
    {0x97, 0xEE}, {0x98, 0xF1}, {0x99, 0xEF}, {0x9A, 0x85}, {0x9B, 0xCD},  // o
    {0x9C, 0xF2}, {0x9D, 0xF4}, {0x9E, 0xF3}, {0x9F, 0x86},                // u
    {0xBE, 0xAE}, {0xBF, 0xAF}, {0xCF, 0xCE}, {0xD8, 0xD9},                // ae, o slash, oe, y
};

constexpr ByteMap MakeIdent() {
  ByteMap m{};
  for (int i = 0; i < 256; ++i) m[i] = static_cast<UCharT>(i);
  return m;
}

constexpr ByteMap MakeCase(bool to_upper) {
  ByteMap m = MakeIdent();
  for (int c = 'a'; c <= 'z'; ++c) {
    if (to_upper)
      m[c] = static_cast<UCharT>(c - 'a' + 'A');
    else
      m[c - 'a' + 'A'] = static_cast<UCharT>(c);
  }
  for (const CasePair &p : kHighPairs) {
    if (to_upper)
      m[p.small] = p.capital;
    else
      m[p.capital] = p.small;
  }
  return m;
}

constexpr ByteMap MakeHexDtoA() {
  ByteMap m{};
  const char digits[] = "0123456789ABCDEF";
  for (int i = 0; i < 16; ++i) m[i] = static_cast<UCharT>(digits[i]);
  return m;
}

constexpr ByteMap MakeHexAtoD() {
  ByteMap m{};
  for (int i = 0; i < 10; ++i) m['0' + i] = static_cast<UCharT>(i);
  for (int i = 0; i < 6; ++i) {
    m['A' + i] = static_cast<UCharT>(10 + i);
    m['a' + i] = static_cast<UCharT>(10 + i);
  }
  return m;
}

// A set of codes given as inclusive ranges.
struct Range {
  int lo;
  int hi;
};

constexpr void Mark(PropMap &m, UShortT bit, std::initializer_list<Range> ranges) {
  for (const Range &r : ranges)
    for (int c = r.lo; c <= r.hi; ++c) m[c] |= bit;
}

constexpr void MarkWhere(PropMap &m, UShortT bit, UShortT any_of) {
  for (auto &w : m)
    if (w & any_of) w |= bit;
}

constexpr PropMap MakeCharProps() {
  PropMap m{};
  Mark(m, FDE_CP_TEXT_CONTROL, {{0x08, 0x0B}});
  Mark(m, FDE_CP_UPPER,
       {{'A', 'Z'}, {0x80, 0x86}, {0xAE, 0xAF}, {0xCB, 0xCE}, {0xD9, 0xD9}, {0xE5, 0xEF},
        {0xF1, 0xF4}});
  Mark(m, FDE_CP_LOWER,
       {{'a', 'z'}, {0x87, 0x9F}, {0xA7, 0xA7}, {0xBE, 0xBF}, {0xCF, 0xCF}, {0xD8, 0xD8}});
  MarkWhere(m, FDE_CP_ALPHA, FDE_CP_UPPER | FDE_CP_LOWER);
  Mark(m, FDE_CP_DIGIT, {{'0', '9'}});
  Mark(m, FDE_CP_XDIGIT, {{'0', '9'}, {'A', 'F'}, {'a', 'f'}});
  Mark(m, FDE_CP_SPACE, {{0x08, 0x0B}, {0x10, 0x14}, {0x20, 0x20}});
  Mark(m, FDE_CP_BLANK, {{0x20, 0x20}});
  MarkWhere(m, FDE_CP_WORD, FDE_CP_ALPHA | FDE_CP_DIGIT);
  Mark(m, FDE_CP_WORD, {{'_', '_'}, {0x04, 0x06}, {0x1B, 0x1C}});
  Mark(m, FDE_CP_TAB, {{0x09, 0x0B}});
  Mark(m, FDE_CP_SENTENCE_END, {{'!', '!'}, {'.', '.'}, {'?', '?'}});
  MarkWhere(m, FDE_CP_ALNUM, FDE_CP_ALPHA | FDE_CP_DIGIT);
  Mark(m, FDE_CP_ALNUM, {{0x15, 0x15}});
  Mark(m, FDE_CP_MARKER, {{0x01, 0x06}});
  MarkWhere(m, FDE_CP_WORD_BREAK, FDE_CP_SPACE);
  Mark(m, FDE_CP_WORD_BREAK,
       {{0x00, 0x00}, {0x22, 0x22}, {'(', '('}, {'<', '<'}, {'[', '['}, {'{', '{'}, {0xD2, 0xD2}});
  Mark(m, FDE_CP_CONSONANT,
       {{'B', 'D'}, {'F', 'H'}, {'J', 'N'}, {'P', 'T'}, {'V', 'Z'}, {'b', 'd'}, {'f', 'h'},
        {'j', 'n'}, {'p', 't'}, {'v', 'z'}, {0x82, 0x82}, {0x8D, 0x8D}, {0xA7, 0xA7},
        {0xD8, 0xD9}});
  Mark(m, FDE_CP_QUOTE,
       {{0x22, 0x22}, {0x27, 0x29}, {'<', '<'}, {'>', '>'}, {'[', '['}, {']', ']'}, {'{', '{'},
        {'}', '}'}, {0xC7, 0xC8}, {0xD2, 0xD5}, {0xDC, 0xDD}, {0xE2, 0xE3}});
  return m;
}

constexpr ByteMap ident_map = MakeIdent();
constexpr ByteMap mto_upper = MakeCase(true);
constexpr ByteMap mto_lower = MakeCase(false);
constexpr ByteMap HexDtoA = MakeHexDtoA();
constexpr ByteMap HexAtoD = MakeHexAtoD();
constexpr PropMap char_props = MakeCharProps();

}  // namespace

extern "C" {

const UCharT *FdeIdentMap = ident_map.data();
const UCharT *FdeMToUpper = mto_upper.data();
const UCharT *FdeMToLower = mto_lower.data();
const UCharT *FdeHexDtoA = HexDtoA.data();
const UCharT *FdeHexAtoD = HexAtoD.data();
const UShortT *FdeCharProps = char_props.data();

void F_CharmapInit(void) {}

PtrT FdeInitCharMaps(PtrT x) { return x; }

}  // extern "C"
