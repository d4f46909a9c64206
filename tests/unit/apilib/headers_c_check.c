/* Compiled as C: every public header of the client library must stay
 * C-callable.  Also checks a few layout facts that C callers rely on. */
#include "fapi_types.h"
#include "fapi_xdr.h"
#include "fapi_values.h"

#include <stddef.h>

_Static_assert(sizeof(F_ObjIdT) == 4, "handles are 32 bits");
_Static_assert(sizeof(IntT) == 4, "ints are 32 bits");
_Static_assert(offsetof(F_StringsT, len) == 0, "count first");
_Static_assert(offsetof(F_PropValT, propIdent) == 0, "identifier first");

int fapi_c_headers_check(void);
int fapi_c_headers_check(void) {
    F_PropValsT list = {0, NULL};
    XDR xdrs;
    char buf[16];
    xdrmem_create(&xdrs, buf, sizeof buf, XDR_ENCODE);
    return xdr_F_PropValsT(&xdrs, &list) ? 0 : 1;
}
