// xdrstr.cpp - the encoders whose wire form depends on a value: StringT,
// the property identifier, the typed value and text item data.
#include "xdr_record.hpp"

#include <cstdlib>
#include <cstring>

using fdk::xdr::Codec;

namespace {

// Reads `len` string bytes (plus padding) into a fresh zero-terminated buffer.
// Long strings are read in steps so that a hostile length in a short stream
// costs one step of memory, not the whole claimed length.
bool_t decode_string(XDR *xdrs, u_int len, StringT *sp) {
    constexpr std::size_t step = fdk::xdr::kGrowBytes;  // a multiple of 4: no padding between steps
    static_assert(step % 4 == 0);
    std::size_t total = len;
    std::size_t cap = total < step ? total : step;
    char *buf = static_cast<char *>(std::malloc(cap + 1));
    if (buf == nullptr) return FALSE;
    std::size_t done = 0;
    while (done < total) {
        std::size_t chunk = total - done < step ? total - done : step;
        if (done + chunk > cap) {
            std::size_t next = cap * 2 < total ? cap * 2 : total;
            char *grown = static_cast<char *>(std::realloc(buf, next + 1));
            if (grown == nullptr) {
                std::free(buf);
                return FALSE;
            }
            buf = grown;
            cap = next;
        }
        if (!xdr_opaque(xdrs, buf + done, static_cast<u_int>(chunk))) {
            std::free(buf);
            return FALSE;
        }
        done += chunk;
    }
    buf[total] = '\0';
    *sp = buf;
    return TRUE;
}

}  // namespace

extern "C" bool_t xdr_StringT(XDR *xdrs, StringT *objp) {
    switch (xdrs->x_op) {
    case XDR_ENCODE: {
        char *s = *objp != nullptr ? *objp : const_cast<char *>("");
        std::size_t n = std::strlen(s);
        if (n > UINT_MAX) return FALSE;
        u_int len = static_cast<u_int>(n);
        return xdr_u_int(xdrs, &len) && xdr_opaque(xdrs, s, len);
    }
    case XDR_DECODE: {
        *objp = nullptr;
        u_int len = 0;
        if (!xdr_u_int(xdrs, &len)) return FALSE;
        return decode_string(xdrs, len, objp);
    }
    case XDR_FREE:
        std::free(*objp);
        *objp = nullptr;
        return TRUE;
    }
    return FALSE;
}

// The number, and the name only when the number is 0: a property is named
// either by number or by name.
extern "C" bool_t xdr_F_PropIdentT(XDR *xdrs, F_PropIdentT *objp) {
    if (!xdr_int(xdrs, &objp->num)) return FALSE;
    if (objp->num != 0) return TRUE;
    return xdr_StringT(xdrs, &objp->name);
}

// Type 1 carries a string; every other type one word (a handle or number).
extern "C" bool_t xdr_TextItemDataT(XDR *xdrs, TextItemDataT *objp) {
    if (!xdr_int(xdrs, &objp->dataType)) return FALSE;
    if (objp->dataType == 1) return xdr_StringT(xdrs, &objp->u.sdata);
    return xdr_u_int(xdrs, &objp->u.idata);
}

// The value type, then the arm it selects; unlisted types are one int.
extern "C" bool_t xdr_F_TypedValT(XDR *xdrs, F_TypedValT *objp) {
    if (!xdr_int(xdrs, &objp->valType)) return FALSE;
    auto &u = objp->u;
    switch (objp->valType) {
    case FT_String: return xdr_StringT(xdrs, &u.sval);
    case FT_Metrics: return Codec<F_MetricsT>::code(xdrs, &u.msval);
    case FT_Strings: return Codec<F_StringsT>::code(xdrs, &u.ssval);
    case FT_Points: return Codec<F_PointsT>::code(xdrs, &u.psval);
    case FT_Tabs: return Codec<F_TabsT>::code(xdrs, &u.tsval);
    case FT_TextLoc: return Codec<F_TextLocT>::code(xdrs, &u.tlval);
    case FT_TextRange: return Codec<F_TextRangeT>::code(xdrs, &u.trval);
    case FT_ElementCatalog: return Codec<F_ElementCatalogEntriesT>::code(xdrs, &u.csval);
    case FT_Ints: return Codec<F_IntsT>::code(xdrs, &u.isval);
    case FT_UBytes: return Codec<F_UBytesT>::code(xdrs, &u.ubsval);
    case FT_UInts: return Codec<F_UIntsT>::code(xdrs, &u.uisval);
    case FT_AttributeDefs: return Codec<F_AttributeDefsT>::code(xdrs, &u.adsval);
    case FT_Attributes: return Codec<F_AttributesT>::code(xdrs, &u.asval);
    case FT_ElementRange: return Codec<F_ElementRangeT *>::code(xdrs, &u.erngval);
    case FT_FileFormat: return Codec<F_FileFormatT>::code(xdrs, &u.ffval);
    default: return xdr_int(xdrs, &u.ival);
    }
}
