/* Every public header compiled as C, and linked calls of the table, the
 * values and the encoders: the headers must stay C-callable. */
#include "fapi_calls.h"
#include "fapi_runtime.h"
#include "fapi_stubs.h"
#include "fapi_types.h"
#include "fapi_values.h"
#include "fapi_xdr.h"

#include <stdio.h>

_Static_assert(sizeof(F_ObjIdT) == 4 && sizeof(IntT) == 4, "handles and ints are 32 bits");

void F_ApiInitialize(IntT initialization) { (void)initialization; }
void F_ApiNotify(IntT notification, F_ObjIdT docId, StringT filename, IntT iparm) {
    (void)notification; (void)docId; (void)filename; (void)iparm;
}
void F_ApiMessage(StringT message, F_ObjIdT docId, F_ObjIdT objId) {
    (void)message; (void)docId; (void)objId;
}

int main(void) {
    F_PropValsT open = F_ApiGetOpenDefaultParams();
    F_StringsT none = {0, NULL};
    char buf[8];
    XDR x;
    int ok = open.len > 0 && fapi_proc_find(API_FM_OPEN) != NULL && F_ApiGetInt(0, 0, 1) == 0;
    F_ApiDeallocatePropVals(&open);
    xdrmem_create(&x, buf, sizeof buf, XDR_ENCODE);
    ok = ok && xdr_F_StringsT(&x, &none) && xdr_getpos(&x) == 4;
    puts(ok ? "C API check passed" : "C API check failed");
    return ok ? 0 : 1;
}
