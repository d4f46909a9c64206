// api_to_fm_xdr.cpp - encoders of the argument and result records of Frame's
// API program, of the callback program and of the connect call.  The bodies
// come from the field lists of xdr_api_records.def; see xdr_record.hpp.
#include "xdr_record.hpp"

#define FDK_XDR_DEFINE(T)                                 \
    extern "C" bool_t xdr_##T(XDR *xdrs, T *objp) {       \
        return ::fdk::xdr::Codec<T>::code(xdrs, objp);    \
    }
#define FDK_RECORD(T, ...) FDK_XDR_DEFINE(T)
#define FDK_RECORD_FIELDS(T, ...) FDK_XDR_DEFINE(T)
#include "xdr_api_records.def"
