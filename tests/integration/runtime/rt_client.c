/* rt_client LOG serve|run|take-done|connect SESSION HOST PROGRAM: a Frame API
 * client that logs each event, entry point and runtime answer to LOG.  As
 * rt_defaults it leaves F_ApiCommand, F_ApiDialogEvent, F_ApiEmergency to the library. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "fapi_runtime.h"
#include "fapi_stubs.h"

static int log_fd = -1;

static void note(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vdprintf(log_fd, fmt, ap);
    va_end(ap);
    dprintf(log_fd, "\n");
}

static void on_end(int status, void *arg) {
    (void)arg;
    note("exit %d", status);
}

static void fd_report(int fd, int on) { note("fd %d %s", fd, on ? "on" : "off"); }

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

#ifndef RT_DEFAULTS
/* By Frame's codes: what the entry point asks of the runtime. */
void F_ApiCommand(IntT command) {
    note("command %d", command);
    switch (command) {
    case 2: note("done %d", F_ApiDoneCommand()); /* fall through */
    case 1: note("done %d", F_ApiDoneCommand()); break;
    case 3: note("take %d", F_ApiTakeControl()); break;
    case 6: {
        ApiFmAlertArgT alert = {"slow reply", 0};
        int *reply = api_fm_alert_1(&alert, frame_client);
        note("alert %d", reply ? *reply : -9999);
        break;
    }
    default: break;
    }
}

void F_ApiDialogEvent(IntT a, IntT b, IntT c) {
    note("dialog %d %d %d", a, b, c);
}

void F_ApiEmergency(void) { note("emergency"); }
#endif

static int serve(void) {
    while (!FA_bailout) F_ApiService(NULL);
    F_ApiShutDown();
    return 0;
}

int main(int argc, char **argv) {
    if (argc < 3) return 2;
    log_fd = open(argv[1], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (log_fd < 0) return 2;
    on_exit(on_end, NULL);
    const char *mode = argv[2];
    if (strcmp(mode, "run") == 0) return F_ApiRun();
    if (strcmp(mode, "connect") == 0 && argc >= 6) {
        F_ApiSetFdFunc(fd_report);
        IntT result = F_ApiConnectToSession(argv[3], argv[4], (IntT)strtol(argv[5], NULL, 0));
        note("connect %d %d", result, FA_errno);
        return result != 0 ? 1 : serve();
    }
    const char *message = F_ApiStartUp(NULL);
    if (message != NULL) {
        note("startup-failed %s", message);
        F_ApiErr(message);
        return 1;
    }
    note("start %d %d", (int)getpid(), FA_clientno);
    F_ApiSetFdFunc(fd_report);
    if (strcmp(mode, "take-done") == 0) {
        note("take %d", F_ApiTakeControl());
        note("take %d", F_ApiTakeControl());
        note("done %d", F_ApiDoneCommand());
        note("done %d", F_ApiDoneCommand());
    }
    return serve();
}
