/* A C program against the client library's public headers: they must stay
 * C-callable, and the layout facts that C callers rely on must hold. */
#include "fapi_calls.h"
#include "fapi_runtime.h"
#include "fapi_stubs.h"
#include "fapi_types.h"
#include "fapi_values.h"
#include "fapi_xdr.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

_Static_assert(sizeof(F_ObjIdT) == 4, "handles are 32 bits");
_Static_assert(sizeof(IntT) == 4, "ints are 32 bits");
_Static_assert(offsetof(F_StringsT, len) == 0, "count first");
_Static_assert(offsetof(F_PropValT, propIdent) == 0, "identifier first");
_Static_assert(API_FM_SCROLL_TO_TEXT == 1038, "procedure numbers");

/* The entry points that a C application supplies. */
void F_ApiInitialize(IntT initialization) { (void)initialization; }
void F_ApiNotify(IntT notification, F_ObjIdT docId, StringT filename, IntT iparm) {
    (void)notification; (void)docId; (void)filename; (void)iparm;
}
void F_ApiMessage(StringT message, F_ObjIdT docId, F_ObjIdT objId) {
    (void)message; (void)docId; (void)objId;
}

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

    /* Values and calls from C: a default list, a lookup, a copy, and a call
     * without a connection. */
    {
        F_PropValsT open = F_ApiGetOpenDefaultParams();
        F_PropValsT copy;
        StringT s = F_ApiCopyString("path");
        CHECK(open.len == 37 && F_ApiGetPropIndex(&open, 16) == 12);
        open.val[F_ApiGetPropIndex(&open, 31)].propVal.u.sval = s;
        copy = F_ApiCopyPropVals(&open);
        CHECK(copy.len == 37 && copy.val[32].propVal.u.sval != s);
        F_ApiDeallocatePropVals(&open);
        F_ApiDeallocatePropVals(&copy);
        CHECK(open.len == 0 && open.val == NULL);
        FA_errno = 0;
        CHECK(F_ApiGetInt(0, 0, 1) == 0 && FA_errno == -1);
        CHECK(F_ApiGetStrings(0, 0, 1).len == 0);
    }

    if (failures == 0) printf("C API check passed\n");
    return failures ? 1 : 0;
}
