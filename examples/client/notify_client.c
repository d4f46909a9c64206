/*
 * notify_client - a small Frame API client, built against an installed fdk.
 *
 * Frame starts it (Frame puts the connection details in FMAPIX), or it
 * joins a running Frame session, on this host or another one:
 *
 *   notify_client [N...]                               started by Frame
 *   notify_client --join SESSION HOST PROGRAM [N...]   joins SESSION, served
 *                                                      by PROGRAM on HOST
 *
 * It starts up, and when Frame initialises it, asks to be notified of each
 * notification number given on its command line (2 when none is given).
 * Then it prints one line on standard output for everything Frame sends,
 * until Frame tells it to quit:
 *
 *   started
 *   initialize CODE
 *   asked for notification N: ok | asked for notification N: failed (FA_errno E)
 *   notify N doc DOC file "FILE" param P
 *   message "TEXT" doc DOC object OBJ
 *   command CODE
 *   quit
 *
 * Every client supplies F_ApiInitialize, F_ApiNotify and F_ApiMessage.
 * F_ApiCommand, F_ApiDialogEvent and F_ApiEmergency have defaults in the
 * library that do nothing; this client replaces F_ApiCommand and keeps the
 * other two.  A replacement works the same with the static and the shared
 * library: the executable's definition is the one the library calls.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fapi_calls.h"
#include "fapi_runtime.h"

#define MAX_NOTIFICATIONS 16

static IntT wanted[MAX_NOTIFICATIONS];
static int wanted_count;

void F_ApiInitialize(IntT initialization) {
    int i;
    printf("initialize %d\n", (int)initialization);
    for (i = 0; i < wanted_count; ++i) {
        /* FA_errno is only written on failure: clear it to read this call's. */
        FA_errno = 0;
        F_ApiNotification(wanted[i], True);
        if (FA_errno == 0)
            printf("asked for notification %d: ok\n", (int)wanted[i]);
        else
            printf("asked for notification %d: failed (FA_errno %d)\n", (int)wanted[i],
                   (int)FA_errno);
    }
}

void F_ApiNotify(IntT notification, F_ObjIdT docId, StringT filename, IntT iparm) {
    /* filename belongs to the runtime and is gone once this returns. */
    printf("notify %d doc %u file \"%s\" param %d\n", (int)notification, (unsigned)docId,
           filename ? filename : "", (int)iparm);
}

void F_ApiMessage(StringT message, F_ObjIdT docId, F_ObjIdT objId) {
    printf("message \"%s\" doc %u object %u\n", message ? message : "", (unsigned)docId,
           (unsigned)objId);
}

void F_ApiCommand(IntT command) { printf("command %d\n", (int)command); }

/* Reads the notification numbers to ask for, from argv[first] on; 0 on
 * success. */
static int read_arguments(int argc, char **argv, int first) {
    int i;
    if (argc - first > MAX_NOTIFICATIONS) {
        fprintf(stderr, "notify_client: at most %d notifications\n", MAX_NOTIFICATIONS);
        return -1;
    }
    for (i = first; i < argc; ++i) {
        char *end = NULL;
        long n = strtol(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || n < 1 || n > 100000) {
            fprintf(stderr, "notify_client: not a notification number: %s\n", argv[i]);
            return -1;
        }
        wanted[wanted_count++] = (IntT)n;
    }
    if (wanted_count == 0) wanted[wanted_count++] = 2;
    return 0;
}

/* Joins the running session SESSION whose API program PROGRAM runs on
 * HOST (a name or a dotted address; empty for this host).  Frame then calls
 * this client back on this host, so the port mapper here must be running
 * and HOST must be able to reach this host by its name.  0 on success. */
static int join(const char *session, const char *host, const char *program) {
    char *end = NULL;
    long number = strtol(program, &end, 0);
    IntT result;
    if (end == program || *end != '\0' || number <= 0 || number > 0x7FFFFFFF) {
        fprintf(stderr, "notify_client: not a program number: %s\n", program);
        return -1;
    }
    result = F_ApiConnectToSession(session, host, (IntT)number);
    if (result != 0) {
        fprintf(stderr, "notify_client: cannot join session %s on %s (%d)\n", session,
                host[0] ? host : "this host", (int)result);
        return -1;
    }
    return 0;
}

int main(int argc, char **argv) {
    const char *failure;
    int joining = argc > 1 && strcmp(argv[1], "--join") == 0;

    /* One line at a time, also when the output goes to a file or a pipe. */
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (joining && argc < 5) {
        fprintf(stderr, "usage: notify_client --join SESSION HOST PROGRAM [N...]\n");
        return 2;
    }
    if (read_arguments(argc, argv, joining ? 5 : 1) != 0) return 2;

    if (joining) {
        if (join(argv[2], argv[3], argv[4]) != 0) return 1;
    } else {
        /* Connects to Frame and registers this client's callbacks.  Unless
         * Frame gave a negative client number, the process Frame started
         * leaves here and a child of it goes on as the client. */
        failure = F_ApiStartUp(NULL);
        if (failure != NULL) {
            F_ApiErr(failure);
            return 1;
        }
    }
    printf("started\n");

    /* Serve Frame's callbacks until it says quit (F_ApiRun does the same,
     * start-up included). */
    while (FA_bailout == 0) F_ApiService(NULL);
    printf("quit\n");
    F_ApiShutDown();
    return 0;
}
