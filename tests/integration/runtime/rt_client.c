/*
 * rt_client - a Frame API client for the runtime's integration tests.  It
 * is what framesim starts as its client (or what joins a running session),
 * and it records everything the runtime hands it, one line per event, in
 * the file named by its first argument:
 *
 *   start PID CLIENTNO           start-up (or connect) succeeded in PID
 *   startup-failed MESSAGE       F_ApiStartUp returned MESSAGE
 *   connect RESULT FA_ERRNO      F_ApiConnectToSession's result
 *   fd N on|off                  descriptor reports
 *   init C / command C / message TEXT DOC OBJ / dialog A B C /
 *   notify C DOC FILE PARM / emergency      entry points
 *   take R / done R / modal R / inner-modal R   what the runtime answered
 *                                inside an entry point
 *   request R                    the reply to a notification request
 *   alert ok R SECONDS / alert failed SECONDS   an API call and its duration
 *   exit STATUS                  the process is ending with STATUS
 *
 * Usage: rt_client LOG MODE [ARGS]; modes:
 *   serve            start up, serve until quit, shut down
 *   run              F_ApiRun
 *   late-fd          start up without a descriptor callback, install it after
 *   take-done        start up, take and hand back control twice, then serve
 *   shutdown-twice   start up, shut down twice, exit
 *   connect SESSION HOST PROGRAM [TIMEOUT]   join a running session, serve
 *
 * What an entry point does is chosen by Frame's codes:
 *   init 1       ask for notification 2
 *   command 1    hand back control itself      command 2   hand back twice
 *   command 3    ask for control (refused)     command 6   call Frame (alert)
 *   command 4    hand back control, then wait modally (dialog 0 ends it)
 *   dialog 9 x y hand back control, then a nested modal wait
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "fapi_runtime.h"
#include "fapi_stubs.h"

static int log_fd = -1;

static void note(const char *fmt, ...) {
    char line[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(line, sizeof line - 1, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if (n > (int)sizeof line - 2) n = (int)sizeof line - 2;
    line[n++] = '\n';
    if (log_fd >= 0 && write(log_fd, line, (size_t)n) != n) _exit(3);
}

static void on_end(int status, void *arg) {
    (void)arg;
    note("exit %d", status);
}

static void fd_report(int fd, int on) { note("fd %d %s", fd, on ? "on" : "off"); }

static double now_seconds(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

void F_ApiInitialize(IntT initialization) {
    note("init %d", initialization);
    if (initialization == 1) {
        ApiFmNotificationArgT request = {2, 1};
        int *reply = api_fm_notification_1(&request, frame_client);
        note("request %d", reply ? *reply : -9999);
    }
}

void F_ApiNotify(IntT notification, F_ObjIdT docId, StringT filename, IntT iparm) {
    note("notify %d %u %s %d", notification, docId, filename ? filename : "(null)", iparm);
}

void F_ApiMessage(StringT message, F_ObjIdT docId, F_ObjIdT objId) {
    note("message %s %u %u", message ? message : "(null)", docId, objId);
}

void F_ApiCommand(IntT command) {
    note("command %d", command);
    switch (command) {
    case 1: note("done %d", F_ApiDoneCommand()); break;
    case 2:
        note("done %d", F_ApiDoneCommand());
        note("done %d", F_ApiDoneCommand());
        break;
    case 3: note("take %d", F_ApiTakeControl()); break;
    case 4:
        note("done %d", F_ApiDoneCommand());
        note("modal %d", F_ApiServiceModalCallbacks());
        note("done %d", F_ApiDoneCommand());
        break;
    case 6: {
        ApiFmAlertArgT alert = {"slow reply", 0};
        double start = now_seconds();
        int *reply = api_fm_alert_1(&alert, frame_client);
        if (reply != NULL)
            note("alert ok %d %.1f", *reply, now_seconds() - start);
        else
            note("alert failed %.1f", now_seconds() - start);
        break;
    }
    default: break;
    }
}

void F_ApiDialogEvent(IntT a, IntT b, IntT c) {
    note("dialog %d %d %d", a, b, c);
    if (a == 9) {
        note("done %d", F_ApiDoneCommand());
        note("inner-modal %d", F_ApiServiceModalCallbacks());
    }
}

void F_ApiEmergency(void) { note("emergency"); }

static int serve(void) {
    while (!FA_bailout) F_ApiService(NULL);
    F_ApiShutDown();
    return 0;
}

static int start(F_ApiFdFuncT fdFunc) {
    const char *message = F_ApiStartUp(fdFunc);
    if (message != NULL) {
        note("startup-failed %s", message);
        F_ApiErr(message);
        return 0;
    }
    note("start %d %d", (int)getpid(), FA_clientno);
    return 1;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: rt_client LOG MODE [ARGS]\n");
        return 2;
    }
    log_fd = open(argv[1], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (log_fd < 0) {
        perror(argv[1]);
        return 2;
    }
    on_exit(on_end, NULL);
    const char *mode = argv[2];

    if (strcmp(mode, "serve") == 0) return start(fd_report) ? serve() : 1;
    if (strcmp(mode, "run") == 0) return F_ApiRun();
    if (strcmp(mode, "late-fd") == 0) {
        if (!start(NULL)) return 1;
        note("installing");
        F_ApiSetFdFunc(fd_report);
        return serve();
    }
    if (strcmp(mode, "take-done") == 0) {
        if (!start(fd_report)) return 1;
        note("take %d", F_ApiTakeControl());
        note("take %d", F_ApiTakeControl());
        note("done %d", F_ApiDoneCommand());
        note("done %d", F_ApiDoneCommand());
        return serve();
    }
    if (strcmp(mode, "shutdown-twice") == 0) {
        if (!start(fd_report)) return 1;
        F_ApiShutDown();
        F_ApiShutDown();
        note("shut down");
        return 0;
    }
    if (strcmp(mode, "connect") == 0 && argc >= 6) {
        if (argc >= 7) FA_TimeOut.tv_sec = atoi(argv[6]);
        F_ApiSetFdFunc(fd_report);
        IntT result = F_ApiConnectToSession(argv[3], argv[4], (IntT)strtol(argv[5], NULL, 0));
        note("connect %d %d", result, FA_errno);
        if (result != 0) return 1;
        note("start %d %d", (int)getpid(), FA_clientno);
        return serve();
    }
    fprintf(stderr, "rt_client: unknown mode %s\n", mode);
    return 2;
}
