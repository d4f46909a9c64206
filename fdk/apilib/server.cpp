// server.cpp - the dispatcher of the client's callback program and its
// handlers.
//
// Frame calls procedures 0 to 7 of the callback program.  The handlers of
// the working callbacks (2, 3, 4, 6, 7) reply at once, so that Frame's call
// returns before the application runs, then take control, run the
// application's entry point and hand control back with one over call,
// unless the entry point already did with F_ApiDoneCommand.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "apislib.h"
#include "fapi_xdr.h"
#include "trace.hpp"
#include "xdr_record.hpp"

using fdk::xdr::proc_of;

extern "C" {

int turn_over_needed = 0;
int callbacksDone = 0;
int modalRetval = 0;
const char *nest_msg = "Nested API_Init/F_ApiNotify/F_ApiMessage/F_ApiCommand";

}  // extern "C"

namespace {

enum CallbackProc : rpcproc_t {
    kNull = 0,
    kQuit = 1,
    kInit = 2,
    kCommand = 3,
    kMessage = 4,
    kOldNotify = 5,
    kDialogEvent = 6,
    kNotify = 7,
};

// How the callback being dispatched handed control back, for its trace line.
fdk::trace::Over callback_over = fdk::trace::Over::kNone;

// The reply of the working callbacks, sent before the application runs.
void reply_at_once(struct svc_req *rqstp) {
    (void)svc_sendreply(rqstp->rq_xprt, proc_of<void>(), nullptr);
}

// Common shape of the working callbacks: reply, refuse a nested callback,
// take control, run the entry point, hand control back once.
template <class Run>
void *serve_callback(struct svc_req *rqstp, Run run) {
    reply_at_once(rqstp);
    if (turn_over_needed) {
        F_ApiErr(nest_msg);
        callback_over = fdk::trace::Over::kRefused;
        return nullptr;
    }
    turn_over_needed = 1;
    run();
    callback_over = turn_over_needed ? fdk::trace::Over::kRuntime : fdk::trace::Over::kEntryPoint;
    if (turn_over_needed) fdk::runtime::send_over();
    turn_over_needed = 0;
    return nullptr;
}

}  // namespace

extern "C" void *fm_api_quit_1(void *, struct svc_req *) {
    static char result;
    FA_bailout = 1;
    return &result;
}

extern "C" void *fm_api_init_1(FmApiInitArgT *argp, struct svc_req *rqstp) {
    return serve_callback(rqstp, [&] { F_ApiInitialize(argp->initialization); });
}

extern "C" void *fm_api_command_1(FmApiCommandArgT *argp, struct svc_req *rqstp) {
    return serve_callback(rqstp, [&] { F_ApiCommand(argp->command); });
}

extern "C" void *fm_api_message_1(FmApiMessageArgT *argp, struct svc_req *rqstp) {
    return serve_callback(rqstp,
                          [&] { F_ApiMessage(argp->message, argp->docId, argp->objId); });
}

extern "C" void *fm4_api_notify_1(Fm4ApiNotifyArgT *, struct svc_req *) {
    F_ApiErr("Frame process sent old-style notification");
    return nullptr;
}

extern "C" void *fm_api_dialog_event_1(FmApiDialogEventArgT *argp, struct svc_req *rqstp) {
    return serve_callback(rqstp, [&] {
        if (argp->dialog != 0) {
            F_ApiDialogEvent(argp->dialog, argp->item, argp->value);
        } else {
            // Dialog 0 closes the innermost modal wait with its value.
            --callbacksDone;
            modalRetval = argp->value;
        }
    });
}

extern "C" void *fm_api_notify_1(FmApiNotifyArgT *argp, struct svc_req *rqstp) {
    return serve_callback(rqstp, [&] {
        F_ApiNotify(argp->notification, argp->docId, argp->fileName, argp->iparm);
    });
}

namespace {

using Handler = void *(*)(void *, struct svc_req *);

// Calls a typed handler with the dispatcher's argument area.
template <class Arg, void *(*typed)(Arg *, struct svc_req *)>
void *call_with(void *argument, struct svc_req *rqstp) {
    return typed(static_cast<Arg *>(argument), rqstp);
}

struct Route {
    xdrproc_t decode;
    Handler handler;
};

template <class Arg, void *(*typed)(Arg *, struct svc_req *)>
Route route() {
    return Route{proc_of<Arg>(), &call_with<Arg, typed>};
}

}  // namespace

extern "C" void fm_api_prog_1(struct svc_req *rqstp, SVCXPRT *transp) {
    union {
        FmApiInitArgT init;
        FmApiCommandArgT command;
        FmApiMessageArgT message;
        Fm4ApiNotifyArgT old_notify;
        FmApiDialogEventArgT dialog_event;
        FmApiNotifyArgT notify;
    } argument;
    Route r{};
    // A whole call came on this connection: it is not stalling.
    fdk::runtime::guard_dispatched(transp->xp_fd);
    switch (rqstp->rq_proc) {
    case kNull:
        (void)svc_sendreply(transp, proc_of<void>(), nullptr);
        return;
    case kQuit: r = Route{proc_of<void>(), fm_api_quit_1}; break;
    case kInit: r = route<FmApiInitArgT, fm_api_init_1>(); break;
    case kCommand: r = route<FmApiCommandArgT, fm_api_command_1>(); break;
    case kMessage: r = route<FmApiMessageArgT, fm_api_message_1>(); break;
    case kOldNotify: r = route<Fm4ApiNotifyArgT, fm4_api_notify_1>(); break;
    case kDialogEvent: r = route<FmApiDialogEventArgT, fm_api_dialog_event_1>(); break;
    case kNotify: r = route<FmApiNotifyArgT, fm_api_notify_1>(); break;
    default:
        svcerr_noproc(transp);
        return;
    }

    std::memset(&argument, 0, sizeof argument);
    char *area = reinterpret_cast<char *>(&argument);
    if (!svc_getargs(transp, r.decode, area)) {
        // Release whatever a partial decode allocated before refusing.
        (void)svc_freeargs(transp, r.decode, area);
        svcerr_decode(transp);
        return;
    }
    callback_over = fdk::trace::Over::kNone;
    void *result = r.handler(&argument, rqstp);
    if (fdk::trace::on()) fdk::trace::callback(rqstp->rq_proc, &argument, callback_over);
    if (result != nullptr && !svc_sendreply(transp, proc_of<void>(), result))
        svcerr_systemerr(transp);
    if (!svc_freeargs(transp, r.decode, area)) {
        std::fprintf(stderr, "unable to free arguments\n");
        std::exit(1);
    }
}
