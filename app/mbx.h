/*
 * mbx.h - the message bus as the application sees it: fourteen operations
 * for joining the bus, serving named requests and calling services of
 * other participants.
 *
 * Contract
 * - Every number is passed by address, as a pointer to a 32-bit word.  The
 *   bus reads the words the caller passes and writes only the result words
 *   named below.
 * - A name is an 8-byte field of printable characters, padded with blanks,
 *   with no terminating zero; exactly 8 bytes are read.  A name that holds a
 *   byte outside 0x20..0x7E, or only blanks, is refused with MBX_E_ARG.
 * - Every operation that has a status word sets it: MBX_OK (0) on success,
 *   MBX_TRUNCATED (2, mbx_read and mbx_receive only) on success where the
 *   item was longer than the length asked and was cut, and one of the
 *   MBX_E_ codes otherwise.  A null status pointer is allowed: the
 *   operation runs and reports nothing.
 * - Memory: mbx_fd_set returns a set allocated with malloc; the caller
 *   releases it with free.  The bus keeps no pointer into the caller's
 *   memory, except the handler functions it is given.
 * - One thread: the bus may not be entered from two threads at once.
 *   Handlers run only inside mbx_dispatch.
 * - Waiting: operations that need an answer (mbx_read and mbx_receive when
 *   no item is there yet, mbx_call, the set-up calls) wait at most
 *   MBX_TIMEOUT seconds (environment, default 30), then fail with
 *   MBX_E_TIMEOUT.
 * - The broker is reached over the Unix-domain socket named by MBX_SOCKET
 *   (environment), by default mbx.sock in the user's private directory
 *   ($XDG_RUNTIME_DIR, else /tmp/mbx-<uid>).  A broker run by another user
 *   is refused (MBX_E_NOBUS).
 */
#ifndef MBX_H
#define MBX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Status words. */
#define MBX_OK 0
#define MBX_E_NOBUS 1      /* not on the bus, or the broker connection is lost */
#define MBX_TRUNCATED 2    /* read succeeded; the item was cut to the length asked */
#define MBX_E_ARG 3        /* bad argument: null pointer, bad name, bad length */
#define MBX_E_NOITEM 4     /* no further item: the sender has sent its last one */
#define MBX_E_NOREQUEST 5  /* only allowed while a dispatched request runs */
#define MBX_E_UNKNOWN 6    /* nobody serves that request name or service */
#define MBX_E_VERSION 7    /* the service was declared with another version */
#define MBX_E_TIMEOUT 8    /* no answer within MBX_TIMEOUT seconds */
#define MBX_E_GONE 9       /* the other side left the conversation */
#define MBX_E_STATE 10     /* out of order: joined twice, set-up already ended... */
#define MBX_E_TAKEN 11     /* name already registered by another participant */
#define MBX_E_TOOBIG 12    /* item above MBX_MAX_ITEM, or conversation too large */
#define MBX_E_NOCALL 13    /* no open call to that service */
#define MBX_E_NOMESSAGE 14 /* mbx_dispatch found no waiting message */
#define MBX_E_LIMIT 15     /* a limit of the broker was reached */
#define MBX_E_PROTOCOL 16  /* malformed traffic on the bus connection */
#define MBX_E_SYSTEM 17    /* the system refused a resource (memory, socket) */

/* Largest data item, in bytes. */
#define MBX_MAX_ITEM 65536

/* A descriptor set: bit n of words[n / 32] is descriptor n (bit n % 32 of
 * the word); words[0] holds descriptors 0 to 31. */
#define MBX_FDSET_WORDS 32
typedef struct mbx_fdset {
  uint32_t words[MBX_FDSET_WORDS];
} mbx_fdset;

/* A request handler: kind points to the event kind word of the request,
 * value is the bus's own token for the request (for mbx_get_fd). */
typedef void (*mbx_handler)(int32_t *kind, void *value);

/* Joins the bus.  name: null, or the participant's 8-byte name (shown by
 * mbx_request_info to those it sends requests to).  Joining while joined is
 * MBX_E_STATE; after the broker connection was lost it joins afresh, with
 * no registrations. */
void mbx_init(const char *name, int32_t *status);

/* Binds a request name to a handler.  MBX_E_TAKEN when another participant
 * holds the name, MBX_E_STATE after mbx_end_setup. */
void mbx_register_request(const char *name, mbx_handler handler,
                          int32_t *status);

/* Declares the service `service` under the version *version; calls to it
 * are dispatched to the handler registered for `request` (registered before
 * or after, but before mbx_end_setup), with kind 0. */
void mbx_declare(const char *service, const int32_t *version,
                 const char *request, int32_t *status);

/* Ends the set-up: from now on the broker routes requests and calls to
 * this participant's names.  `name` labels the set-up in the broker's log
 * (the application passes "MBX_0000").  Failures are not reported. */
void mbx_end_setup(const char *name);

/* Returns a new descriptor set (malloc; the caller frees it) holding every
 * descriptor to watch for reading.  *handle 0 (or a null handle) means this
 * participant's own connection, as does the handle mbx_get_fd stores; any
 * other handle gives an empty set, as does a participant not on the bus.
 * A descriptor is readable while a message waits or after the broker
 * connection was lost.  Null only when memory runs out. */
mbx_fdset *mbx_fd_set(const int32_t *handle);

/* Looks for messages, waiting up to *wait milliseconds (0 or less: do not
 * wait).  *result: number of messages waiting (above 0), 0 when none, -1
 * when not on the bus or the broker connection is lost. */
void mbx_next(const int32_t *wait, int32_t *result);

/* Runs the handler of the oldest waiting message and returns after it,
 * waiting up to *wait milliseconds for a message (0 or less: do not wait);
 * MBX_E_NOMESSAGE when none came.  When the handler returns, the
 * conversation ends and the requester is told. */
void mbx_dispatch(const int32_t *wait, int32_t *status);

/* Stores in *handle the connection handle of the request whose token is
 * `value`.  Only while that request runs; MBX_E_ARG for any other value. */
void mbx_get_fd(void *value, int32_t *handle, int32_t *status);

/* Status MBX_OK exactly while a dispatched request runs; then stores its
 * kind, its conversation number, its request name and the requester's name
 * (each 8 bytes then 4 zero bytes, in 12-byte areas).  Outside a request
 * status MBX_E_NOREQUEST and nothing is stored.  Any output may be null. */
void mbx_request_info(int32_t *kind, int32_t *conversation,
                      char *request_name, char *requester_name,
                      int32_t *status);

/* Reads the running request's next data item, waiting for it if the
 * requester has not sent it yet.  *length 0 with a null buffer: a size
 * query; *length_out gets the item's size and the item stays next.
 * Otherwise copies at most *length bytes, consumes the item and sets
 * *length_out to the number of bytes copied; MBX_TRUNCATED when the item
 * was longer.  MBX_E_NOITEM once the requester sent its last item,
 * MBX_E_GONE when the requester left. */
void mbx_read(const int32_t *length, void *buffer, int32_t *length_out,
              int32_t *status);

/* As mbx_read, for the reply items of the open call to `service`.
 * `request` is the request name the service was declared with, or 8 blanks
 * for any.  MBX_E_NOITEM once the service's handler has returned and every
 * reply item was read. */
void mbx_receive(const char *service, const char *request,
                 const int32_t *length, void *buffer, int32_t *length_out,
                 int32_t *status);

/* Sends one reply item of *length bytes to the running request's
 * requester, at once.  *flags must be 0. */
void mbx_write(const void *data, const int32_t *length, const int32_t *flags,
               int32_t *status);

/* Opens a call to the service `service`, which must be declared with the
 * version *version.  *conversation gets the call's number (may be null).
 * A new call to the same service abandons the previous one. */
void mbx_call(const char *service, const int32_t *version,
              int32_t *conversation, int32_t *status);

/* Sends one item of *length bytes to the open call to `service` (`request`
 * as in mbx_receive).  *last non-zero: it is the last item, and the
 * service's handler sees no further one.  *flags must be 0. */
void mbx_send(const char *service, const char *request,
              const int32_t *length, const void *data, const int32_t *last,
              const int32_t *flags, int32_t *status);

#ifdef __cplusplus
}
#endif

#endif /* MBX_H */
