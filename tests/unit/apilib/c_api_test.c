/* A C program against the client library's public headers: they must stay
 * C-callable, and the layout facts that C callers rely on must hold. */
#include "fapi_stubs.h"
#include "fapi_types.h"
#include "fapi_xdr.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

_Static_assert(sizeof(F_ObjIdT) == 4, "handles are 32 bits");
_Static_assert(sizeof(IntT) == 4, "ints are 32 bits");
_Static_assert(offsetof(F_StringsT, len) == 0, "count first");
_Static_assert(offsetof(F_PropValT, propIdent) == 0, "identifier first");
_Static_assert(API_FM_SCROLL_TO_TEXT == 1038, "procedure numbers");

static int failures;
#define CHECK(c) do { if (!(c)) { fprintf(stderr, "failed: %s\n", #c); ++failures; } } while (0)

int main(void) {
    /* ApiFmOpenArgT{"ab", one property by name with value type 1} */
    F_PropValT pv;
    F_PropValsT list;
    ApiFmOpenArgT arg;
    char buf[64];
    XDR xdrs;
    static const unsigned char want[] = {0, 0, 0, 2, 'a', 'b', 0, 0, 0, 0, 0, 1, 0, 0, 0, 0,
                                         0, 0, 0, 1, 'n', 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 9};
    const FapiProcT *row;

    memset(&pv, 0, sizeof pv);
    pv.propIdent.num = 0;
    pv.propIdent.name = "n";
    pv.propVal.valType = 1;
    pv.propVal.u.ival = 9;
    list.len = 1;
    list.val = &pv;
    arg.fileName = "ab";
    arg.params = list;

    xdrmem_create(&xdrs, buf, sizeof buf, XDR_ENCODE);
    CHECK(xdr_ApiFmOpenArgT(&xdrs, &arg));
    CHECK(xdr_getpos(&xdrs) == sizeof want);
    CHECK(memcmp(buf, want, sizeof want) == 0);
    xdr_destroy(&xdrs);

    row = fapi_proc_find(API_FM_OPEN);
    CHECK(row != NULL && strcmp(row->stub, "api_fm_open_1") == 0);
    CHECK(row != NULL && row->xdr_res == (xdrproc_t)xdr_ApiFmOpenRetT);
    CHECK(fapi_proc_count == 157);
    CHECK(api_fm_open_1(&arg, NULL) == NULL);

    if (failures == 0) printf("C API check passed\n");
    return failures ? 1 : 0;
}
