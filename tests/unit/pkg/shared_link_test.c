/* A C program linked against the shared libraries libfdkapi.so and
 * libfdkfde.so, the way an installed client is.  It supplies the three entry
 * points every client must, replaces the default F_ApiCommand and keeps the
 * library's F_ApiDialogEvent and F_ApiEmergency.  It checks what the dynamic
 * linker makes of that: the library's references to the entry points are
 * looked up in the global scope, which starts at this program, so this
 * program must export its definitions (the linker does that for symbols a
 * shared object on the command line refers to or defines) and the first
 * definition found must be its own, or the library's default where it has
 * none.  That the library really calls a replaced F_ApiCommand is shown end
 * to end by the example client's test against framesim.  Both libraries
 * answer from C, and the runtime's internals stay inside. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "fapi_runtime.h"
#include "fapi_stubs.h"
#include "fde_strings.h"

static int failures;
#define CHECK(c)                                                              \
    do {                                                                      \
        if (!(c)) {                                                           \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c);   \
            ++failures;                                                       \
        }                                                                     \
    } while (0)

void F_ApiInitialize(IntT initialization) { (void)initialization; }
void F_ApiNotify(IntT notification, F_ObjIdT docId, StringT filename, IntT iparm) {
    (void)notification, (void)docId, (void)filename, (void)iparm;
}
void F_ApiMessage(StringT message, F_ObjIdT docId, F_ObjIdT objId) {
    (void)message, (void)docId, (void)objId;
}
void F_ApiCommand(IntT command) { (void)command; }

/* The file of the object that defines `address`, or "". */
static const char *object_of(void *address) {
    Dl_info info;
    if (address == NULL || dladdr(address, &info) == 0 || info.dli_fname == NULL) return "";
    return info.dli_fname;
}

static int from_library(void *address, const char *library) {
    return strstr(object_of(address), library) != NULL;
}

int main(void) {
    /* The executable's definitions come first. */
    CHECK(dlsym(RTLD_DEFAULT, "F_ApiCommand") == (void *)F_ApiCommand);
    CHECK(dlsym(RTLD_DEFAULT, "F_ApiInitialize") == (void *)F_ApiInitialize);
    CHECK(dlsym(RTLD_DEFAULT, "F_ApiNotify") == (void *)F_ApiNotify);
    CHECK(dlsym(RTLD_DEFAULT, "F_ApiMessage") == (void *)F_ApiMessage);
    /* The library's own default is still there behind it, under its version. */
    CHECK(from_library(dlvsym(RTLD_DEFAULT, "F_ApiCommand", "FDKAPI_5"), "libfdkapi.so.5"));
    /* Defaults this program does not replace come from the library. */
    CHECK(from_library(dlvsym(RTLD_DEFAULT, "F_ApiDialogEvent", "FDKAPI_5"), "libfdkapi.so.5"));
    CHECK(from_library(dlvsym(RTLD_DEFAULT, "F_ApiEmergency", "FDKAPI_5"), "libfdkapi.so.5"));

    /* Each library answers, and from its own object. */
    CHECK(from_library((void *)F_StrLen, "libfdkfde.so.5"));
    CHECK(F_StrLen("abc") == 3);
    CHECK(from_library((void *)fapi_proc_find, "libfdkapi.so.5"));
    CHECK(fapi_proc_find(API_FM_OPEN) != NULL);
    CHECK(fapi_proc_find(API_FM_OPEN) != NULL &&
          strcmp(fapi_proc_find(API_FM_OPEN)->stub, "api_fm_open_1") == 0);
    CHECK(frame_client == NULL);

    /* Internals stay inside. */
    CHECK(dlsym(RTLD_DEFAULT, "myprog") == NULL);
    CHECK(dlsym(RTLD_DEFAULT, "hookup") == NULL);

    if (failures == 0) printf("shared libraries: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
