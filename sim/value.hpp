// value.hpp - a property value as the simulator keeps it: the typed value in
// its own wire form.  Storing the encoded bytes gives a deep copy of any
// value type (lists, nested lists, optional records) with the project's own
// encoders, and decoding hands out a fresh malloc'ed copy that a reply owns
// and xdr_free releases.
#ifndef FDK_SIM_VALUE_HPP
#define FDK_SIM_VALUE_HPP

#include <string>
#include <vector>

#include "fapi_types.h"
#include "record_json.hpp"

namespace fdk::sim {

// Value type numbers of F_TypedValT (the single-word ones have no name in
// fapi_types.h).
inline constexpr IntT kTypeInt = 1;
inline constexpr IntT kTypeMetric = 2;
inline constexpr IntT kTypeId = 4;

class Value {
public:
    Value() = default;
    // Deep copy of v (v is only read).  Throws std::runtime_error when v
    // cannot be encoded (a list with a count but no elements).
    static Value of(const F_TypedValT &v);
    static Value integer(IntT type, IntT x);
    static Value string(const std::string &s);
    static Value strings(const std::vector<std::string> &list);
    static Value text_loc(F_ObjIdT obj, IntT offset);
    // From a value type and its JSON form (the arm of F_TypedValT); throws
    // std::invalid_argument on a mismatch.
    static Value from_json(IntT type, const Json &arm);

    IntT type() const { return type_; }
    bool empty() const { return bytes_.empty(); }
    // Fills *out (expected all zero) with a fresh copy; release with
    // fdk::sim::release(*out).  False when decoding fails (never for values
    // made by of()).
    bool decode(F_TypedValT *out) const;
    // Single-word value (types other than the list and record types).
    IntT word() const;
    // The string of a type-3 value ("" otherwise).
    std::string text() const;
    Json json() const;

private:
    IntT type_ = 0;
    std::vector<char> bytes_;
};

// Value type number for a name used in scenarios and documents ("int",
// "metric", "string", "id", "metrics", "strings", "points", "tabs",
// "textloc", "textrange", "catalog", "ints", "ubytes", "uints", "attrdefs",
// "attributes", "elementrange", "fileformat") or a decimal number; -1000
// when unknown.
IntT value_type_from_name(const std::string &name);
// True for the value types that travel as one word.
bool is_word_type(IntT type);

}  // namespace fdk::sim

#endif
