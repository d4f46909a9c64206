// xdr.cpp - encoders of the value types whose wire form is the fixed sequence
// of their fields (records and counted arrays of xdr_values.def).  The bodies
// come from the field lists; see xdr_record.hpp.
#include "xdr_record.hpp"

#define FDK_XDR_DEFINE(T)                                 \
    extern "C" bool_t xdr_##T(XDR *xdrs, T *objp) {       \
        return ::fdk::xdr::Codec<T>::code(xdrs, objp);    \
    }
#define FDK_RECORD(T, ...) FDK_XDR_DEFINE(T)
#define FDK_ARRAY(T, E) FDK_XDR_DEFINE(T)
#include "xdr_values.def"
