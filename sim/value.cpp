// value.cpp - property values kept in their wire form.
#include "value.hpp"

#include <rpc/rpc.h>

#include <cstring>
#include <map>
#include <stdexcept>

namespace fdk::sim {

namespace {

xdrproc_t typed_proc() { return wire_proc<F_TypedValT>(); }

}  // namespace

bool is_word_type(IntT type) {
    switch (type) {
    case FT_String: case FT_Metrics: case FT_Strings: case FT_Points: case FT_Tabs:
    case FT_TextLoc: case FT_TextRange: case FT_ElementCatalog: case FT_Ints: case FT_UBytes:
    case FT_UInts: case FT_AttributeDefs: case FT_Attributes: case FT_ElementRange:
    case FT_FileFormat:
        return false;
    default:
        return true;
    }
}

Value Value::of(const F_TypedValT &v) {
    F_TypedValT copy = v;  // the encoder takes a non-const pointer; it only reads
    unsigned long size = xdr_sizeof(typed_proc(), &copy);
    Value out;
    out.type_ = v.valType;
    out.bytes_.resize(size);
    XDR x;
    xdrmem_create(&x, out.bytes_.data(), static_cast<u_int>(size), XDR_ENCODE);
    bool ok = xdr::code(&x, &copy);
    xdr_destroy(&x);
    if (!ok) throw std::runtime_error("value cannot be encoded");
    return out;
}

bool Value::decode(F_TypedValT *out) const {
    if (bytes_.empty()) return false;
    std::vector<char> buf = bytes_;  // xdrmem wants a writable buffer
    XDR x;
    xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_DECODE);
    bool ok = xdr::code(&x, out);
    xdr_destroy(&x);
    if (!ok) release(*out);
    return ok;
}

Value Value::integer(IntT type, IntT x) {
    F_TypedValT v{};
    v.valType = type;
    v.u.ival = x;
    return of(v);
}

Value Value::string(const std::string &s) {
    F_TypedValT v{};
    v.valType = FT_String;
    v.u.sval = const_cast<char *>(s.c_str());
    return of(v);
}

Value Value::strings(const std::vector<std::string> &list) {
    std::vector<StringT> ptrs;
    for (const auto &s : list) ptrs.push_back(const_cast<char *>(s.c_str()));
    F_TypedValT v{};
    v.valType = FT_Strings;
    v.u.ssval.len = static_cast<UIntT>(ptrs.size());
    v.u.ssval.val = ptrs.empty() ? nullptr : ptrs.data();
    return of(v);
}

Value Value::text_loc(F_ObjIdT obj, IntT offset) {
    F_TypedValT v{};
    v.valType = FT_TextLoc;
    v.u.tlval.objId = obj;
    v.u.tlval.offset = offset;
    return of(v);
}

Value Value::from_json(IntT type, const Json &arm) {
    F_TypedValT v{};
    Json whole = {{"valType", type}};
    Value out;
    try {
        // The arm's member name comes from the field walker.
        std::string name;
        v.valType = type;
        xdr::for_each_field(v, [&name](std::string_view n, auto &) { name = std::string(n); });
        whole[name] = arm;
        v = F_TypedValT{};
        fdk::sim::from_json(whole, v);
        out = of(v);
    } catch (...) {
        release(v);
        throw;
    }
    release(v);
    return out;
}

IntT Value::word() const {
    F_TypedValT v{};
    if (!decode(&v)) return 0;
    IntT w = is_word_type(v.valType) ? v.u.ival : 0;
    release(v);
    return w;
}

std::string Value::text() const {
    F_TypedValT v{};
    if (!decode(&v)) return {};
    std::string s = (v.valType == FT_String && v.u.sval) ? v.u.sval : "";
    release(v);
    return s;
}

Json Value::json() const {
    F_TypedValT v{};
    if (!decode(&v)) return nullptr;
    Json j = to_json(v);
    release(v);
    return j;
}

IntT value_type_from_name(const std::string &name) {
    static const std::map<std::string, IntT> names = {
        {"int", kTypeInt}, {"metric", kTypeMetric}, {"string", FT_String}, {"id", kTypeId},
        {"metrics", FT_Metrics}, {"strings", FT_Strings}, {"points", FT_Points},
        {"tabs", FT_Tabs}, {"textloc", FT_TextLoc}, {"textrange", FT_TextRange},
        {"catalog", FT_ElementCatalog}, {"ints", FT_Ints}, {"ubytes", FT_UBytes},
        {"uints", FT_UInts}, {"attrdefs", FT_AttributeDefs}, {"attributes", FT_Attributes},
        {"elementrange", FT_ElementRange}, {"fileformat", FT_FileFormat}};
    auto it = names.find(name);
    if (it != names.end()) return it->second;
    if (name.empty() || name.size() > 6) return -1000;
    size_t i = (name[0] == '-') ? 1 : 0;
    if (i == name.size()) return -1000;
    for (size_t k = i; k < name.size(); ++k)
        if (name[k] < '0' || name[k] > '9') return -1000;
    return static_cast<IntT>(std::stol(name));
}

}  // namespace fdk::sim
