"""Finding and loading the control module, its C interface through ctypes,
and the method table the module describes about itself."""

from __future__ import annotations

import ctypes
import os
import re
import sysconfig
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

from .errors import PalvexError

CLASS_ID = "{BA4ADFFC-268B-45C6-AD0C-FD39779FBEDF}"
MODULE_FILE = "libpalvex.so.1"

# palvex_arg_type and palvex_result_type (palvex_c.h)
ARG_I2, ARG_I4, ARG_ADDR, ARG_I2_REF, ARG_TEXT_OUT = 1, 2, 3, 4, 5
RESULT_VOID, RESULT_BOOL, RESULT_I2 = 0, 1, 2


class _Value(ctypes.Union):
    _fields_ = [
        ("i2", ctypes.c_int16),
        ("i4", ctypes.c_int32),
        ("addr", ctypes.c_ssize_t),
        ("i2_ref", ctypes.c_void_p),
        ("text", ctypes.c_void_p),  # kept as an address so that it can be freed
    ]


class Arg(ctypes.Structure):
    """One palvex_arg."""

    _fields_ = [("type", ctypes.c_int32), ("reserved", ctypes.c_int32), ("value", _Value)]


class Result(ctypes.Structure):
    """One palvex_result."""

    _fields_ = [("type", ctypes.c_int32), ("value", ctypes.c_int32)]


@dataclass(frozen=True)
class Param:
    """A parameter as the type library names it: `type` is "short", "long",
    "__int3264" (an address), "short*" or "BSTR*"."""

    name: str
    type: str


@dataclass(frozen=True)
class MethodInfo:
    """A method of the dispatch interface: identifier, name, parameters in
    call order and result type ("VARIANT_BOOL", "short" or "void")."""

    id: int
    name: str
    params: tuple[Param, ...]
    result: str


_METHOD = re.compile(r"\[id\((\d+)\)\]\s+(\w+)\s+(\w+)\(([^)]*)\);")
_PARAM = re.compile(r"^\s*(\w+\s*\*?)\s*(\w+)\s*$")


def parse_methods(idl: str) -> dict[str, MethodInfo]:
    """The methods of `_DPalvex` in the module's type library text."""
    start = idl.find("dispinterface _DPalvex\n")
    end = idl.find("};", start)
    if start < 0 or end < 0:
        raise PalvexError("the module's type library has no dispatch interface _DPalvex")
    methods: dict[str, MethodInfo] = {}
    for m in _METHOD.finditer(idl, start, end):
        params = []
        for text in filter(str.strip, m.group(4).split(",")):
            p = _PARAM.match(text)
            if p is None:
                raise PalvexError(f"cannot read the parameter {text!r} of {m.group(3)}")
            params.append(Param(p.group(2), p.group(1).replace(" ", "")))
        methods[m.group(3)] = MethodInfo(int(m.group(1)), m.group(3), tuple(params), m.group(2))
    return methods


class Module:
    """One loaded control module: its C interface and its methods."""

    def __init__(self, path: str) -> None:
        lib = ctypes.CDLL(path)
        try:
            lib.palvex_create.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]
        except AttributeError:
            raise OSError(f"{path} has no C interface (palvex_create)") from None
        lib.palvex_create.restype = ctypes.c_int32
        lib.palvex_last_error.restype = ctypes.c_char_p
        lib.palvex_last_error.argtypes = []
        lib.palvex_destroy.argtypes = [ctypes.c_void_p]
        lib.palvex_destroy.restype = None
        lib.palvex_invoke.argtypes = [ctypes.c_void_p, ctypes.c_int32, ctypes.POINTER(Arg),
                                      ctypes.c_uint, ctypes.POINTER(Result),
                                      ctypes.POINTER(ctypes.c_uint)]
        lib.palvex_invoke.restype = ctypes.c_int32
        lib.palvex_free_text.argtypes = [ctypes.c_void_p]
        lib.palvex_free_text.restype = None
        lib.palvex_status_text.argtypes = [ctypes.c_int32]
        lib.palvex_status_text.restype = ctypes.c_char_p
        lib.palvex_last_link_error.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
        lib.palvex_last_link_error.restype = ctypes.c_size_t
        lib.palvex_typelib_text.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
        lib.palvex_typelib_text.restype = ctypes.c_size_t
        self.path = path
        self.lib = lib
        self.methods = parse_methods(self._text(lib.palvex_typelib_text))

    @staticmethod
    def _text(copy: Callable[..., int], *first: object) -> str:
        """A text of the C interface's length-then-copy kind."""
        size = copy(*first, None, 0)
        buffer = ctypes.create_string_buffer(size + 1)
        copy(*first, buffer, size + 1)
        return buffer.value.decode("utf-8", errors="replace")

    def last_link_error(self, handle: ctypes.c_void_p) -> str:
        return self._text(self.lib.palvex_last_link_error, handle)


def _store_directory() -> Path | None:
    xdg = os.environ.get("XDG_CONFIG_HOME", "")
    if xdg.startswith("/"):
        return Path(xdg) / "palvex-registry"
    home = os.environ.get("HOME", "")
    return Path(home) / ".config" / "palvex-registry" if home.startswith("/") else None


def registered_module() -> str:
    """The module file registered for the control class in the per-user
    store (`palvex register`), or ""."""
    store = _store_directory()
    if store is None:
        return ""
    value = store.joinpath("HKEY_CURRENT_USER", "SOFTWARE", "Classes", "CLSID", CLASS_ID,
                           "InprocServer32", "@")
    try:
        return value.read_bytes().split(b"\0", 1)[0].decode("utf-8", errors="replace")
    except OSError:
        return ""


def module_candidates(module: str | os.PathLike[str] | None = None) -> list[tuple[str, str]]:
    """The files to try, in order, each with where it comes from."""
    if module is not None:
        return [(os.fspath(module), "given")]
    if os.environ.get("PALVEX_MODULE"):
        return [(os.environ["PALVEX_MODULE"], "PALVEX_MODULE")]
    found = []
    if registered := registered_module():
        found.append((registered, "registered for the class"))
    here = Path(__file__).resolve().parent
    if len(here.parents) > 2:
        # <prefix>/lib/python3.X/dist-packages/palvex -> <prefix>/lib, and on
        # Debian the module lies in the multiarch folder below it
        # (<prefix>/lib/x86_64-linux-gnu).
        lib = here.parents[2]
        if multiarch := sysconfig.get_config_var("MULTIARCH"):
            found.append((str(lib / multiarch / MODULE_FILE), "installed beside the package"))
        found.append((str(lib / MODULE_FILE), "installed beside the package"))
    found.append((MODULE_FILE, "installed"))
    root = here.parent.parent
    if here.parent.name == "python" and (root / "CMakeLists.txt").is_file():
        found.append((str(root / "build" / "control" / MODULE_FILE), "from the build tree"))
    return found


_loaded: dict[str, Module] = {}


def load_module(module: str | os.PathLike[str] | None = None) -> Module:
    """The first candidate that loads (each file is loaded once)."""
    tried = []
    for path, source in module_candidates(module):
        if path in _loaded:
            return _loaded[path]
        if "/" in path and not os.path.exists(path):
            tried.append(f"{path} ({source}): no such file")
            continue
        try:
            _loaded[path] = Module(path)
            return _loaded[path]
        except (OSError, PalvexError) as e:
            tried.append(f"{path} ({source}): {e}")
    raise PalvexError(f"no control module for {CLASS_ID}, tried:\n  " + "\n  ".join(tried))
