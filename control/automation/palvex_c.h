/* A plain C interface to the Palvex link control, for programs and scripting
 * languages that would rather not deal with interface tables (for example
 * Python through ctypes). The functions live in the control module
 * (libpalvex.so) itself; link against it or load it and look them up.
 *
 *     palvex_control* c = NULL;
 *     if (palvex_create(NULL, &c) != PALVEX_OK) ...;
 *     palvex_arg args[3] = {PALVEX_I2(3), PALVEX_I2(9600), PALVEX_I2(1000)};
 *     palvex_result r;
 *     palvex_invoke_name(c, "ComInitial", args, 3, &r, NULL);
 *     ...
 *     palvex_destroy(c);
 *
 * Every function returns a status: PALVEX_OK (0) or a negative code, the
 * automation layer's own (palvex_status_text describes each). A call the
 * control refuses (unknown method, wrong argument count or types) runs no
 * method and changes nothing. The control's methods report their own
 * failures in their results (a boolean false, or the values each method
 * documents), never as a status.
 *
 * A control belongs to the thread that created it; calls must come from it.
 */
#ifndef PALVEX_C_H
#define PALVEX_C_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PALVEX_C_API __attribute__((visibility("default")))

typedef int32_t palvex_status;

#define PALVEX_OK ((palvex_status)0)
#define PALVEX_E_FAIL ((palvex_status)0x80004005u)
#define PALVEX_E_POINTER ((palvex_status)0x80004003u)
#define PALVEX_E_INVALID_ARG ((palvex_status)0x80070057u)
#define PALVEX_E_OUT_OF_MEMORY ((palvex_status)0x8007000Eu)
#define PALVEX_E_BUFFER_TOO_SMALL ((palvex_status)0x8007007Au)
/* The module file could not be loaded, or it lacks an entry point. */
#define PALVEX_E_MODULE ((palvex_status)0x8007007Eu)
/* The module does not serve the control class. */
#define PALVEX_E_CLASS ((palvex_status)0x80040111u)
/* Refusals of the automation layer: no method ran. */
#define PALVEX_E_UNKNOWN_MEMBER ((palvex_status)0x80020003u)
#define PALVEX_E_TYPE_MISMATCH ((palvex_status)0x80020005u)
#define PALVEX_E_UNKNOWN_NAME ((palvex_status)0x80020006u)
#define PALVEX_E_BAD_ARG_TYPE ((palvex_status)0x80020008u)
#define PALVEX_E_OVERFLOW ((palvex_status)0x8002000Au)
#define PALVEX_E_BAD_ARG_COUNT ((palvex_status)0x8002000Eu)
/* A saved state too short to be one. */
#define PALVEX_E_READ_FAULT ((palvex_status)0x8003001Eu)

typedef struct palvex_control palvex_control;

/* What an argument holds. */
typedef enum palvex_arg_type {
    PALVEX_ARG_I2 = 1,      /* value.i2: a 16-bit parameter (short) */
    PALVEX_ARG_I4 = 2,      /* value.i4: a 32-bit parameter (long, RemoteIP) */
    PALVEX_ARG_ADDR = 3,    /* value.addr: the address of caller memory (lp...) */
    PALVEX_ARG_I2_REF = 4,  /* value.i2_ref: a short* parameter (Resultx, lpCount...) */
    PALVEX_ARG_TEXT_OUT = 5 /* a BSTR* parameter (QKGetProperty): after a call that
                               succeeded value.text holds a new zero-terminated 8-bit
                               text (or NULL), freed with palvex_free_text */
} palvex_arg_type;

typedef struct palvex_arg {
    int32_t type; /* palvex_arg_type */
    int32_t reserved;
    union {
        int16_t i2;
        int32_t i4;
        intptr_t addr;
        int16_t* i2_ref;
        char* text;
    } value;
} palvex_arg;

/* Argument makers for C callers. */
#define PALVEX_I2(v)                                                                               \
    {                                                                                              \
        PALVEX_ARG_I2, 0, {                                                                        \
            .i2 = (int16_t)(v)                                                                     \
        }                                                                                          \
    }
#define PALVEX_I4(v)                                                                               \
    {                                                                                              \
        PALVEX_ARG_I4, 0, {                                                                        \
            .i4 = (int32_t)(v)                                                                     \
        }                                                                                          \
    }
#define PALVEX_ADDR(p)                                                                             \
    {                                                                                              \
        PALVEX_ARG_ADDR, 0, {                                                                      \
            .addr = (intptr_t)(p)                                                                  \
        }                                                                                          \
    }
#define PALVEX_I2_REF(p)                                                                           \
    {                                                                                              \
        PALVEX_ARG_I2_REF, 0, {                                                                    \
            .i2_ref = (p)                                                                          \
        }                                                                                          \
    }
#define PALVEX_TEXT_OUT()                                                                          \
    {                                                                                              \
        PALVEX_ARG_TEXT_OUT, 0, {                                                                  \
            .text = NULL                                                                           \
        }                                                                                          \
    }

typedef enum palvex_result_type {
    PALVEX_RESULT_VOID = 0, /* QKClose, SetSendFlag */
    PALVEX_RESULT_BOOL = 1, /* value: 1 true, 0 false */
    PALVEX_RESULT_I2 = 2    /* value: the 16-bit result */
} palvex_result_type;

typedef struct palvex_result {
    int32_t type; /* palvex_result_type */
    int32_t value;
} palvex_result;

/* A new control. module_path NULL: the control of this module. Otherwise the
 * control module at that path is loaded and the control made by its class
 * factory; the module stays loaded while the control lives. */
PALVEX_C_API palvex_status palvex_create(const char* module_path, palvex_control** control);
/* Why the last palvex_create on this thread failed ("" after a success). */
PALVEX_C_API const char* palvex_last_error(void);
/* Releases the control (NULL is allowed). A link it left open is closed. */
PALVEX_C_API void palvex_destroy(palvex_control* control);

/* The dispatch identifier of a method name (case does not matter). */
PALVEX_C_API palvex_status palvex_id_of_name(palvex_control* control, const char* name,
                                             int32_t* id);

/* Calls a method with `count` arguments in call order. `result` and
 * `bad_arg` may be NULL; on a refused argument *bad_arg receives its index
 * (call order). */
PALVEX_C_API palvex_status palvex_invoke(palvex_control* control, int32_t id, palvex_arg* args,
                                         unsigned int count, palvex_result* result,
                                         unsigned int* bad_arg);
PALVEX_C_API palvex_status palvex_invoke_name(palvex_control* control, const char* name,
                                              palvex_arg* args, unsigned int count,
                                              palvex_result* result, unsigned int* bad_arg);
PALVEX_C_API void palvex_free_text(char* text);

/* What a host saves with its document. *length receives the size needed;
 * PALVEX_E_BUFFER_TOO_SMALL when it exceeds capacity (buffer may be NULL to
 * ask). Loading accepts any version stamp and changes no link or screen
 * state. */
PALVEX_C_API palvex_status palvex_save(palvex_control* control, void* buffer, size_t capacity,
                                       size_t* length);
PALVEX_C_API palvex_status palvex_load(palvex_control* control, const void* data, size_t length);

/* The design-time picture into an RGBA image (4 bytes a pixel, R G B A,
 * rows `stride` bytes apart): the whole image is the control's bounds,
 * filled white, with a black ellipse inscribed. */
PALVEX_C_API palvex_status palvex_draw(palvex_control* control, uint8_t* rgba, int32_t width,
                                       int32_t height, int32_t stride);

/* Why the link last failed, as one English line: "COM3 open failed:
 * permission denied (EACCES): /dev/ttyUSB0 is owned by root:dialout mode
 * 0660; add your user to the group 'dialout': ...". "" when the last open
 * went well and no exchange since fell short. The methods still return
 * false on a failure; this says why. Copies at most capacity-1 characters
 * and a zero into buffer (buffer may be NULL when capacity is 0); returns
 * the full length without the zero (0 for a NULL control). */
PALVEX_C_API size_t palvex_last_link_error(palvex_control* control, char* buffer, size_t capacity);

/* What the trace tells: a frame written, a reply read or a link failure. */
typedef enum palvex_trace_kind {
    PALVEX_TRACE_FRAME = 0, /* data, length: the frame written (0 bytes: refused) */
    PALVEX_TRACE_REPLY = 1, /* data, length of wanted: the reply read */
    PALVEX_TRACE_ERROR = 2  /* operation, error_kind, sys_errno, text */
} palvex_trace_kind;

/* One event; its pointers are valid during the sink's call only, and its
 * texts are never NULL ("" where they do not apply). */
typedef struct palvex_trace_event {
    const char* link; /* "COM3", "192.168.1.20:5000" */
    int32_t attempt;  /* 1-based; 0 for an open */
    int32_t max_attempts;
    int32_t kind; /* palvex_trace_kind */
    const uint8_t* data;
    size_t length;
    size_t wanted;
    const char* operation;  /* "open", "write", "read" */
    const char* error_kind; /* "no such device", "busy, held by another program", ... */
    int32_t sys_errno;      /* 0 when the system gave none */
    const char* text;       /* the whole line, as palvex_last_link_error gives it */
} palvex_trace_event;

typedef void (*palvex_trace_sink)(void* context, const palvex_trace_event* event);

/* Calls sink, during the control's methods and on their thread, for every
 * frame written, every reply read and every link failure; NULL stops it.
 * The trace PALVEX_TRACE prints on standard error goes on beside it. The
 * sink must not call the control. */
PALVEX_C_API palvex_status palvex_set_trace(palvex_control* control, palvex_trace_sink sink,
                                            void* context);

/* A short English description of a status, never NULL. */
PALVEX_C_API const char* palvex_status_text(palvex_status status);

/* The module's version block. */
typedef struct palvex_version_info {
    uint16_t file_version[4];         /* 1, 0, 0, 1 */
    uint16_t product_version[4];      /* 1, 0, 0, 1 */
    const char* file_version_text;    /* "1, 0, 0, 1" */
    const char* product_version_text; /* "1, 0, 0, 1" */
    const char* file_description;     /* "Palvex ActiveX Control Module" */
    const char* product_name;         /* "Palvex ActiveX Control Module" */
    const char* internal_name;        /* "Palvex" */
    const char* original_filename;    /* "Palvex.OCX" */
    const char* ole_self_register;    /* "": the module registers itself */
    uint16_t language;                /* 0x0409, US English */
    uint16_t code_page;               /* 0x04b0, Unicode */
} palvex_version_info;

PALVEX_C_API const palvex_version_info* palvex_version(void);

/* The type library as IDL text. Copies at most capacity-1 characters and a
 * zero into buffer (buffer may be NULL when capacity is 0); returns the full
 * length without the zero. */
PALVEX_C_API size_t palvex_typelib_text(char* buffer, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* PALVEX_C_H */
