/* How the Palvex headers declare an interface, once for C and C++.
 *
 * In C++ an interface is an abstract class: a pointer to it points at a
 * pointer to its table of functions, and every function takes the object
 * as its hidden first argument. In C the same interface is a struct whose
 * only member, lpVtbl, points at a struct of function pointers that take
 * the object ("This") first. Both spell the same binary layout, so a host
 * written in either calls a module written in either.
 *
 * A declaration lists every function of its table, those of the interfaces
 * it extends included (C has no inheritance; in C++ the repeated ones only
 * restate the base's). Every table begins with IUnknown's three:
 *
 *   #undef PALVEX_SELF
 *   #define PALVEX_SELF IExample
 *   PALVEX_INTERFACE_(IExample, IUnknown) {
 *       PALVEX_IUNKNOWN_METHODS;
 *       PALVEX_METHOD(Frob)(PALVEX_THIS_ int how) PALVEX_PURE;
 *   };
 *
 * PALVEX_CALL is the calling convention of the system's interfaces: the
 * header of each system defines it before including this one (empty where
 * the system has a single convention).
 */
#ifndef PALVEX_INTERFACE_H
#define PALVEX_INTERFACE_H

#ifndef PALVEX_CALL
#define PALVEX_CALL
#endif

#ifdef __cplusplus
#define PALVEX_INTERFACE(iface) struct iface
#define PALVEX_INTERFACE_(iface, base) struct iface : public base
#define PALVEX_METHOD(name) virtual HRESULT PALVEX_CALL name
#define PALVEX_METHOD_(type, name) virtual type PALVEX_CALL name
#define PALVEX_PURE = 0
#define PALVEX_THIS_
#define PALVEX_THIS void
#else
#define PALVEX_INTERFACE(iface)                                                                   \
    typedef struct iface {                                                                         \
        const struct iface##Vtbl* lpVtbl;                                                          \
    } iface;                                                                                       \
    typedef struct iface##Vtbl iface##Vtbl;                                                        \
    struct iface##Vtbl
#define PALVEX_INTERFACE_(iface, base) PALVEX_INTERFACE(iface)
#define PALVEX_METHOD(name) HRESULT(PALVEX_CALL* name)
#define PALVEX_METHOD_(type, name) type(PALVEX_CALL* name)
#define PALVEX_PURE
#define PALVEX_THIS_ PALVEX_SELF* This,
#define PALVEX_THIS PALVEX_SELF* This
#endif

/* QueryInterface, AddRef and Release, which every table begins with. */
#define PALVEX_IUNKNOWN_METHODS                                                                   \
    PALVEX_METHOD(QueryInterface)(PALVEX_THIS_ REFIID riid, void** ppv) PALVEX_PURE;             \
    PALVEX_METHOD_(ULONG, AddRef)(PALVEX_THIS) PALVEX_PURE;                                      \
    PALVEX_METHOD_(ULONG, Release)(PALVEX_THIS) PALVEX_PURE

#endif /* PALVEX_INTERFACE_H */
