#!/usr/bin/env python3
"""Drive the Palvex link control from Python through its C interface (ctypes).

Starts a simulated card (cardsim) on a TCP port of this machine, opens a
network link to it, arms the control, reads the card's property text and
version, shows a text on the card and closes the link:

    python3 palvex_example.py [--module libpalvex.so.1] [--cardsim cardsim]

--module names the control module (default: libpalvex.so.1 wherever the
dynamic loader finds it); --cardsim the simulated card program (default:
cardsim on PATH). Exits 0 when every call succeeded, 1 otherwise.
"""

import argparse
import ctypes
import re
import subprocess
import sys

# palvex_arg types and palvex_result types (palvex_c.h)
ARG_I2, ARG_I4, ARG_ADDR, ARG_I2_REF, ARG_TEXT_OUT = 1, 2, 3, 4, 5
RESULT_VOID, RESULT_BOOL, RESULT_I2 = 0, 1, 2


class _Value(ctypes.Union):
    _fields_ = [
        ("i2", ctypes.c_int16),
        ("i4", ctypes.c_int32),
        ("addr", ctypes.c_ssize_t),
        ("i2_ref", ctypes.POINTER(ctypes.c_int16)),
        ("text", ctypes.c_void_p),  # kept as an address so it can be freed
    ]


class Arg(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int32), ("reserved", ctypes.c_int32), ("value", _Value)]


class _Result(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int32), ("value", ctypes.c_int32)]


def i2(v):
    """A 16-bit argument; values up to 65535 pass as their 16-bit pattern."""
    a = Arg(ARG_I2)
    a.value.i2 = ctypes.c_int16(v).value
    return a


def i4(v):
    a = Arg(ARG_I4)
    a.value.i4 = ctypes.c_int32(v).value
    return a


def addr(buffer):
    """The address of caller memory (the lp... parameters)."""
    a = Arg(ARG_ADDR)
    a.value.addr = ctypes.addressof(buffer)
    return a


def text_out():
    """A string the control makes (QKGetProperty's bStr)."""
    return Arg(ARG_TEXT_OUT)


class PalvexError(Exception):
    pass


class Palvex:
    """One link control made by the module's C interface."""

    def __init__(self, module):
        lib = ctypes.CDLL(module)
        lib.palvex_create.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]
        lib.palvex_create.restype = ctypes.c_int32
        lib.palvex_last_error.restype = ctypes.c_char_p
        lib.palvex_destroy.argtypes = [ctypes.c_void_p]
        lib.palvex_invoke_name.argtypes = [
            ctypes.c_void_p, ctypes.c_char_p, ctypes.POINTER(Arg), ctypes.c_uint,
            ctypes.POINTER(_Result), ctypes.POINTER(ctypes.c_uint)]
        lib.palvex_invoke_name.restype = ctypes.c_int32
        lib.palvex_free_text.argtypes = [ctypes.c_void_p]
        lib.palvex_status_text.argtypes = [ctypes.c_int32]
        lib.palvex_status_text.restype = ctypes.c_char_p
        lib.palvex_last_link_error.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
        lib.palvex_last_link_error.restype = ctypes.c_size_t
        self._lib = lib
        self._handle = ctypes.c_void_p()
        status = lib.palvex_create(None, ctypes.byref(self._handle))
        if status != 0:
            raise PalvexError("no control: " + lib.palvex_last_error().decode())

    def close(self):
        if self._handle:
            self._lib.palvex_destroy(self._handle)
            self._handle = ctypes.c_void_p()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def call(self, method, *args):
        """Calls a method by name. Returns its result (True/False, a number or
        None) and the texts the control made, in argument order."""
        array = (Arg * len(args))(*args)
        result = _Result()
        bad = ctypes.c_uint(0)
        status = self._lib.palvex_invoke_name(self._handle, method.encode(), array, len(args),
                                              ctypes.byref(result), ctypes.byref(bad))
        if status != 0:
            why = self._lib.palvex_status_text(status).decode()
            raise PalvexError(f"{method} refused: {why} (argument {bad.value})")
        texts = []
        for a in array:
            if a.type == ARG_TEXT_OUT and a.value.text:
                texts.append(ctypes.string_at(a.value.text).decode("latin-1"))
                self._lib.palvex_free_text(a.value.text)
        value = {RESULT_BOOL: bool(result.value), RESULT_I2: result.value}.get(result.type)
        return value, texts


    def last_link_error(self):
        """Why the last link operation failed, as the control says it; "" when
        none did."""
        size = self._lib.palvex_last_link_error(self._handle, None, 0)
        text = ctypes.create_string_buffer(size + 1)
        self._lib.palvex_last_link_error(self._handle, text, size + 1)
        return text.value.decode(errors="replace")


def start_cardsim(program):
    sim = subprocess.Popen([program, "--tcp", "0"], stdout=subprocess.PIPE, text=True)
    for line in sim.stdout:
        found = re.search(r"on tcp 127\.0\.0\.1:(\d+)", line)
        if found:
            return sim, int(found.group(1))
    sim.wait()
    raise PalvexError("cardsim did not start")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module", default="libpalvex.so.1")
    parser.add_argument("--cardsim", default="cardsim")
    options = parser.parse_args()

    sim, port = start_cardsim(options.cardsim)
    ok = True
    try:
        with Palvex(options.module) as ctl:
            def show(method, *args):
                nonlocal ok
                value, texts = ctl.call(method, *args)
                print(method, value, *(f'"{t}"' for t in texts))
                if value is False and ctl.last_link_error():
                    print("palvex_example:", ctl.last_link_error(), file=sys.stderr)
                ok = ok and value is not False
                return value, texts

            loopback = (127 << 24) | 1  # 127.0.0.1, most significant byte first
            show("NetInitial", i2(0), i4(loopback), i2(port), i2(1000))
            show("SetLedProperty", i2(1), i2(256), i2(64))
            show("QKGetProperty", text_out())
            show("GetVersion")
            message = ctypes.create_string_buffer(b"Palvex")
            show("ShowString", i2(0), i2(0), i2(0), i2(1), addr(message))
            show("QKClose")
    except PalvexError as e:
        print("palvex_example:", e, file=sys.stderr)
        ok = False
    finally:
        sim.terminate()
        sim.wait(timeout=10)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
