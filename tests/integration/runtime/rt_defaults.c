/*
 * rt_defaults - a Frame API client that supplies only F_ApiInitialize,
 * F_ApiNotify and F_ApiMessage, so that the library's own F_ApiCommand,
 * F_ApiDialogEvent and F_ApiEmergency are linked in.  Records its entry
 * points and its exit status in the file named by its first argument; serves
 * until quit.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "fapi_runtime.h"

static int log_fd = -1;

static void note(const char *text) {
    if (log_fd >= 0 && write(log_fd, text, strlen(text)) < 0) _exit(3);
}

static void on_end(int status, void *arg) {
    (void)arg;
    char line[32];
    snprintf(line, sizeof line, "exit %d\n", status);
    note(line);
}

void F_ApiInitialize(IntT initialization) {
    char line[32];
    snprintf(line, sizeof line, "init %d\n", initialization);
    note(line);
}

void F_ApiNotify(IntT notification, F_ObjIdT docId, StringT filename, IntT iparm) {
    (void)notification, (void)docId, (void)filename, (void)iparm;
    note("notify\n");
}

void F_ApiMessage(StringT message, F_ObjIdT docId, F_ObjIdT objId) {
    (void)message, (void)docId, (void)objId;
    note("message\n");
}

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    log_fd = open(argv[1], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (log_fd < 0) return 2;
    on_exit(on_end, NULL);
    return F_ApiRun();
}
