/* The frame trace of the Palvex control: what travels on the link and why
 * it failed, handed to a host's sink through IPalvexDiagnostics. Usable
 * from C and C++, on every system the control is built for.
 */
#ifndef PALVEX_TRACE_H
#define PALVEX_TRACE_H

#include <stddef.h>
#include <stdint.h>

typedef enum PALVEX_TRACE_KIND {
    PALVEX_TRACE_FRAME_OUT = 0, /* a frame written (length 0: the write failed) */
    PALVEX_TRACE_REPLY_IN = 1,  /* a reply read (length < wanted: it fell short) */
    PALVEX_TRACE_LINK_ERROR = 2 /* an open, a write or a read that failed */
} PALVEX_TRACE_KIND;

/* One event of the trace. Every pointer is valid during the sink's call
 * only; texts are never null ("" where a field does not apply). */
typedef struct PALVEX_TRACE_EVENT {
    const char* link;      /* "COM3", "192.168.1.20:5000" */
    int32_t attempt;       /* 1-based; 0 for an open */
    int32_t maxAttempts;   /* 0 for an open */
    int32_t kind;          /* PALVEX_TRACE_KIND */
    const uint8_t* data;   /* frames and replies: the bytes; null for link errors */
    size_t length;         /* bytes transferred */
    size_t wanted;         /* bytes wanted; equals length when complete */
    const char* operation; /* link errors: "open", "write" or "read" */
    const char* errorKind; /* link errors: "no such device", "permission denied", ... */
    int32_t sysErrno;      /* link errors: the system's errno, 0 when none */
    const char* text;      /* link errors: the whole text, as GetLastLinkError gives
                              it: "COM3 open failed: permission denied (EACCES):
                              /dev/ttyUSB0 is owned by root:dialout mode 0660; ..." */
} PALVEX_TRACE_EVENT;

typedef void (*PALVEX_TRACE_SINK)(void* context, const PALVEX_TRACE_EVENT* event);

#endif /* PALVEX_TRACE_H */
