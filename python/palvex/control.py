"""The low level: one link control, every automation method by its name.

    ctl = Control()
    ctl.ComInitial(3, 9600, 1000)       # -> bool
    ctl.SetLedProperty(1, 256, 64)
    ok, text = ctl.QKGetProperty()      # out-parameters come back after the result
    ctl.QKClose()

The methods, their parameters and results are those the module describes
(its type library text), so they are always the module's own. Numbers are
ints; a `short` takes -32768..32767 (BaudRate, LocalPort and RemotePort up
to 65535, passed as their 16-bit pattern, as the control takes them), a
`long` -2**31..2**32-1. Address parameters take Python values: buffers as
bytes, bytearray, memoryview or a list of ints, texts as str or bytes.
Parameters the control only writes are left out of the call and returned:
`ctl.GetTime() -> (bool, [year, month, day, hour, minute, second])`, the list
empty when the control wrote nothing (a failed call, or capture mode).

A wrong type or argument count raises TypeError, a number out of range
OverflowError, a buffer of the wrong size ValueError, all before anything
is sent.
"""

from __future__ import annotations

import ctypes
import operator
import os
import signal
import threading
from typing import TYPE_CHECKING, Any, Callable, Sequence, Union

from . import _module
from ._module import ARG_ADDR, ARG_I2_REF, ARG_I4, ARG_TEXT_OUT, Arg, MethodInfo, Param
from .errors import PalvexError

Buffer = Union[bytes, bytearray, memoryview, Sequence[int]]
Text = Union[str, bytes, bytearray, memoryview]

PICTURE_BYTES = 512 * 128
_UNWRITTEN = -32768  # what no reading method writes into an element
_I2 = ctypes.c_int16
_HELD_SIGNALS = {signal.SIGINT}

# Refusals of the automation layer (palvex_c.h) as Python exceptions.
_REFUSALS: dict[int, type[Exception]] = {
    0x80020005: TypeError,  # type mismatch
    0x80020008: TypeError,  # bad argument type
    0x8002000E: TypeError,  # wrong argument count
    0x8002000A: OverflowError,
    0x80020003: AttributeError,  # unknown member
}


class _Call:
    """The arguments of one call, the memory they point to, and how each
    output is read back once the method has run."""

    def __init__(self, method: str, values: dict[str, Any]) -> None:
        self.method = method
        self.values = values
        self.args: list[Arg] = []
        self.keep: list[object] = []
        self.outputs: list[Callable[[], Any]] = []
        self.array: ctypes.Array[Arg] | None = None

    def add(self, kind: int, field: str, value: object) -> Arg:
        arg = Arg(kind)
        setattr(arg.value, field, value)
        self.args.append(arg)
        return arg

    def memory(self, data: ctypes.Array[Any], kind: int = ARG_ADDR) -> None:
        self.keep.append(data)
        self.add(kind, "addr" if kind == ARG_ADDR else "i2_ref", ctypes.addressof(data))

    def shorts_out(self, p: Param, count: int, all_or_nothing: bool = True) -> None:
        """`count` 16-bit elements the method may write; read back as a list
        of what it wrote (all or nothing, or the elements up to the first it
        left)."""
        cells = (_I2 * count)(*([_UNWRITTEN] * count))
        self.memory(cells, ARG_I2_REF if p.type == "short*" else ARG_ADDR)

        def read() -> list[int]:
            if all_or_nothing:
                return list(cells) if cells[0] != _UNWRITTEN else []
            written = []
            for v in cells:
                if v == _UNWRITTEN:
                    break
                written.append(v)
            return written

        self.outputs.append(read)

    def fail(self, kind: type[Exception], param: str, why: str) -> Exception:
        return kind(f"{self.method}: {param} {why}")


def _integer(call: _Call, name: str, value: object) -> int:
    try:
        return operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise call.fail(TypeError, name, f"takes an integer, not {type(value).__name__}") from None


def _bytes(call: _Call, name: str, value: object) -> bytes:
    if isinstance(value, str):
        raise call.fail(TypeError, name, "takes bytes, not str")
    try:
        view = memoryview(value)  # type: ignore[arg-type]
    except TypeError:
        view = None
    if view is not None:
        if view.itemsize != 1:
            raise call.fail(TypeError, name, "takes a buffer of single bytes")
        return view.tobytes()
    try:
        items = list(value)  # type: ignore[call-overload]
    except TypeError:
        raise call.fail(TypeError, name, "takes bytes, a bytearray, a memoryview or a list of "
                        f"ints, not {type(value).__name__}") from None
    numbers = [_integer(call, name, v) for v in items]
    if any(not 0 <= v <= 255 for v in numbers):
        raise call.fail(OverflowError, name, "holds a value outside 0..255")
    return bytes(numbers)


def _text(call: _Call, name: str, value: object, encode: Callable[[str], bytes]) -> bytes:
    data = encode(value) if isinstance(value, str) else _bytes(call, name, value)
    if b"\0" in data:
        raise call.fail(ValueError, name, "holds an embedded null byte")
    return data


def _zero_terminated(call: _Call, data: bytes) -> None:
    call.memory(ctypes.create_string_buffer(data))


def _sized(call: _Call, name: str, data: bytes, size: int) -> bytes:
    if len(data) != size:
        raise call.fail(ValueError, name, f"must be {size} bytes, not {len(data)}")
    return data


# How each address parameter is given: by (method, parameter).
def _picture(call: _Call, p: Param, value: object) -> None:
    data = _sized(call, p.name, _bytes(call, p.name, value), PICTURE_BYTES)
    call.memory(ctypes.create_string_buffer(data, len(data)))


def _records(call: _Call, p: Param, value: object) -> None:
    data = _bytes(call, p.name, value)
    wanted = min(max(call.values["TotalProgNum"], 0), 64)
    if len(data) % 8 or len(data) < 8 * wanted:
        raise call.fail(ValueError, p.name, f"must be whole 8-byte records, at least {wanted}")
    records = ctypes.create_string_buffer(data, max(len(data), 8))
    call.memory(records)
    call.outputs.append(lambda: records.raw[: len(data)])


def _order(call: _Call, p: Param, value: object) -> None:
    try:
        items = list(value)  # type: ignore[call-overload]
    except TypeError:
        raise call.fail(TypeError, p.name, "takes a sequence of ints") from None
    entries = [_integer(call, p.name, v) for v in items]
    if any(not -32768 <= v <= 65535 for v in entries):
        raise call.fail(OverflowError, p.name, "holds a value outside 16 bits")
    if len(entries) < min(call.values["count"], 99):
        raise call.fail(ValueError, p.name, f"has {len(entries)} entries, fewer than count")
    call.memory((_I2 * max(len(entries), 1))(*(_I2(v).value for v in entries)))


def _property(call: _Call, p: Param, value: object) -> None:
    data = _text(call, p.name, value, lambda s: s.encode("ascii"))
    _zero_terminated(call, _sized(call, p.name, data, 8))


def _text_in(encode: Callable[[str], bytes]) -> Callable[[_Call, Param, object], None]:
    def given(call: _Call, p: Param, value: object) -> None:
        if isinstance(value, os.PathLike):
            value = os.fspath(value)
        _zero_terminated(call, _text(call, p.name, value, encode))

    return given


def _answer(call: _Call, p: Param) -> None:
    answer = ctypes.create_string_buffer(128)
    call.memory(answer)
    call.outputs.append(lambda: answer.value.decode("latin-1"))


def _frame_length(call: _Call, p: Param) -> None:
    call.values[p.name] = (_I2 * 1)()
    call.memory(call.values[p.name], ARG_I2_REF)


def _frame(call: _Call, p: Param) -> None:
    cells = (_I2 * 1600)()
    call.memory(cells, ARG_I2_REF)
    length = call.values["lpCount"]
    call.outputs.append(lambda: bytes(v & 0xFF for v in cells[: max(length[0], 0)]))


_GIVEN: dict[tuple[str, str], Callable[[_Call, Param, object], None]] = {
    ("SendPicture", "lpBuff"): _picture,
    ("SendProgList", "lpProgList"): _records,
    ("SetOrderList", "lptrList"): _order,
    ("QKSetup", "lpProperty"): _property,
    ("QKSetProperty", "lpProperty"): _property,
    ("ShowString", "lpstr"): _text_in(lambda s: s.encode("gbk")),
    ("SendHZLib", "lpLibFileName"): _text_in(os.fsencode),
    ("SendModemCmd", "lpCmdStr"): _text_in(lambda s: s.encode("ascii")),
}
# Parameters the control only writes: left out of the call, returned.
_WRITTEN: dict[tuple[str, str], Callable[[_Call, Param], None]] = {
    ("GetTime", "lpBuff"): lambda c, p: c.shorts_out(p, 6),
    ("GetAllResult", "lpPara"): lambda c, p: c.shorts_out(p, 13),
    ("GetPowerState", "Resultx"): lambda c, p: c.shorts_out(p, 128),
    ("GetTestResult", "Resultx"): lambda c, p: c.shorts_out(p, 128, all_or_nothing=False),
    ("GetSendString", "lpCount"): _frame_length,
    ("GetSendString", "lpRetBuff"): _frame,
    ("SendModemCmd", "lpRetStr"): _answer,
}


def _is_written(method: str, p: Param) -> bool:
    return (method, p.name) in _WRITTEN or p.type == "BSTR*"


def _number(call: _Call, p: Param, value: object) -> None:
    v = _integer(call, p.name, value)
    if p.type == "long" and 2**31 <= v < 2**32:
        v -= 2**32  # an address such as 192.168.0.1 as its 32-bit pattern
    if not -(2**31) <= v < 2**31:
        raise call.fail(OverflowError, p.name, f"={v} is out of range")
    call.add(ARG_I4, "i4", v)  # the control checks the parameter's own range


def _other_address(call: _Call, p: Param, value: object) -> None:
    """An address parameter of a method this package does not know."""
    if isinstance(value, (bytearray, memoryview)) and not getattr(value, "readonly", False):
        call.memory((ctypes.c_char * len(value)).from_buffer(value))
    else:
        _zero_terminated(call, _text(call, p.name, value, os.fsencode))


def _other_reference(call: _Call, p: Param, value: object) -> None:
    cell = (_I2 * 1)(_I2(_integer(call, p.name, value)).value)
    call.memory(cell, ARG_I2_REF)
    call.outputs.append(lambda: cell[0])


class Control:
    """One link control of the module (`module`: a path; else as
    `palvex.load_module` finds it). Belongs to the thread that made it.
    Every method of the dispatch interface is an attribute; `methods` lists
    them as the module describes them. `close()` (or `with`) releases it,
    which also closes a link it left open."""

    def __init__(self, module: str | os.PathLike[str] | None = None) -> None:
        self._handle = ctypes.c_void_p()
        self._module = _module.load_module(module)
        lib = self._module.lib
        if lib.palvex_create(None, ctypes.byref(self._handle)) != 0:
            raise PalvexError("the control could not be created: " + lib.palvex_last_error().decode())
        self._thread = threading.get_ident()

    @property
    def methods(self) -> dict[str, MethodInfo]:
        return self._module.methods

    @property
    def module_path(self) -> str:
        return self._module.path

    def close(self) -> None:
        if getattr(self, "_handle", None):
            self._module.lib.palvex_destroy(self._handle)
            self._handle = ctypes.c_void_p()

    def __enter__(self) -> Control:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # the interpreter is shutting down
            pass

    def __dir__(self) -> list[str]:
        return sorted(set(super().__dir__()) | set(self.methods))

    def __getattr__(self, name: str) -> Callable[..., Any]:
        module = self.__dict__.get("_module")
        info = module.methods.get(name) if module is not None else None
        if info is None:
            raise AttributeError(f"the control has no method {name}")

        def method(*args: Any, **kwargs: Any) -> Any:
            return self.invoke(info, *args, **kwargs)

        method.__name__ = name
        method.__doc__ = f"{info.result} {name}({', '.join(p.type + ' ' + p.name for p in info.params)})"
        return method

    def last_link_error(self) -> str:
        """Why the link last failed, as the control says it; "" when it did not."""
        return self._module.last_link_error(self._handle) if self._handle else ""

    def invoke(self, info: MethodInfo, *args: Any, **kwargs: Any) -> Any:
        """Calls a method: its result alone, or with the outputs after it."""
        if not self._handle:
            raise PalvexError("the control is closed")
        if threading.get_ident() != self._thread:
            raise PalvexError("a control is called from the thread that made it only")
        taken = [p for p in info.params if not _is_written(info.name, p)]
        if len(args) > len(taken):
            raise TypeError(f"{info.name}() takes {len(taken)} arguments ({len(args)} given)")
        values = dict(zip((p.name for p in taken), args))
        for keyword, value in kwargs.items():
            if keyword not in {p.name for p in taken} or keyword in values:
                raise TypeError(f"{info.name}() got an unexpected or repeated argument {keyword!r}")
            values[keyword] = value
        if len(values) != len(taken):
            missing = [p.name for p in taken if p.name not in values]
            raise TypeError(f"{info.name}() is missing {', '.join(missing)}")
        call = _Call(info.name, dict(values))
        for p in info.params:
            key = (info.name, p.name)
            if key in _WRITTEN:
                _WRITTEN[key](call, p)
            elif p.type == "BSTR*":
                call.add(ARG_TEXT_OUT, "text", None)
                call.outputs.append(self._text_reader(call, len(call.args) - 1))
            elif key in _GIVEN:
                _GIVEN[key](call, p, values[p.name])
            elif p.type == "__int3264":
                _other_address(call, p, values[p.name])
            elif p.type == "short*":
                _other_reference(call, p, values[p.name])
            else:
                _number(call, p, values[p.name])
        return self._run(info, call)

    def _run(self, info: MethodInfo, call: _Call) -> Any:
        array = call.array = (Arg * max(len(call.args), 1))(*call.args)
        result = _module.Result()
        bad = ctypes.c_uint(0)
        # A Ctrl-C during an exchange waits for its end: the exchange is not
        # cut short, and KeyboardInterrupt comes between two of them.
        held = signal.pthread_sigmask(signal.SIG_BLOCK, _HELD_SIGNALS)
        try:
            status = self._module.lib.palvex_invoke(self._handle, info.id, array, len(call.args),
                                                    ctypes.byref(result), ctypes.byref(bad))
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, held)
        if status != 0:
            code = status & 0xFFFFFFFF
            why = self._module.lib.palvex_status_text(status).decode()
            param = info.params[bad.value].name if bad.value < len(info.params) else "?"
            kind = _REFUSALS.get(code, PalvexError)
            raise kind(f"{info.name}: {why} (argument {param})")
        value: Any = {_module.RESULT_BOOL: bool(result.value),
                      _module.RESULT_I2: result.value}.get(result.type)
        outputs = [read() for read in call.outputs]
        return (value, *outputs) if outputs else value

    def _text_reader(self, call: _Call, at: int) -> Callable[[], str]:
        """Reads the string the control made for argument `at`."""
        return lambda: self._take_text(call.array[at]) if call.array is not None else ""

    def _take_text(self, arg: Arg) -> str:
        """A string the control made, freed once it is read."""
        address = arg.value.text
        if not address:
            return ""
        try:
            return ctypes.string_at(address).decode("latin-1")
        finally:
            self._module.lib.palvex_free_text(address)
            arg.value.text = None

    if TYPE_CHECKING:  # the methods as the module describes them
        def NetInitial(self, LocalPort: int, RemoteIP: int, RemotePort: int, WaitTime: int) -> bool: ...
        def ComInitial(self, ComPort: int, BaudRate: int, WaitTime: int) -> bool: ...
        def ModemInitial(self, ModemPort: int, WaitTime: int) -> bool: ...
        def SetLedProperty(self, LedNum: int, LedWidth: int, LedHeight: int) -> bool: ...
        def GetTotalPageNum(self) -> int: ...
        def GetSendStepNum(self) -> int: ...
        def SendPicture(self, ProgNum: int, Step: int, lpBuff: Buffer) -> bool: ...
        def SendProgList(self, TotalProgNum: int, lpProgList: Buffer) -> tuple[bool, bytes]: ...
        def QKClose(self) -> None: ...
        def SendModemCmd(self, lpCmdStr: Text) -> tuple[bool, str]: ...
        def QKGetProperty(self) -> tuple[bool, str]: ...
        def SetTime(self) -> bool: ...
        def LockHZLib(self, LockFlag: int) -> bool: ...
        def SetBrightness(self, Brightness: int) -> bool: ...
        def SendHZLib(self, Steps: int, lpLibFileName: Text | os.PathLike[str]) -> bool: ...
        def SetRelay(self, Power: int, Fan: int, Other: int) -> bool: ...
        def SetCtrlTemperature(self, TPowerOff: int, TPowerOn: int, TFanOn: int, TFanOff: int,
                               Enable: int) -> bool: ...
        def SetTemperatureOffset(self, Offset: int) -> bool: ...
        def StartTest(self) -> bool: ...
        def GetTestState(self) -> int: ...
        def GetTestResult(self, color: int, column: int) -> tuple[bool, list[int]]: ...
        def GetPowerState(self) -> tuple[bool, list[int]]: ...
        def ShowString(self, bank: int, xpos: int, ypos: int, color: int, lpstr: Text) -> bool: ...
        def Line(self, bank: int, left: int, top: int, right: int, bottom: int, color: int) -> bool: ...
        def SwitchToBank(self, DestBank: int) -> bool: ...
        def ClearBank(self, DestBank: int) -> bool: ...
        def CopyToBank(self, DestBank: int) -> bool: ...
        def ClearPowerCheckResult(self) -> bool: ...
        def GetAllResult(self, Retry: int) -> tuple[bool, list[int]]: ...
        def Reset(self) -> bool: ...
        def GetVersion(self) -> int: ...
        def SetOnOffTime(self, On0: int, Off0: int, On1: int, Off1: int) -> bool: ...
        def SetOrderList(self, count: int, lptrList: Sequence[int]) -> bool: ...
        def SetCommTimeOut(self, Seconds: int) -> bool: ...
        def GetTime(self) -> tuple[bool, list[int]]: ...
        def QKSetup(self, lpProperty: Text) -> bool: ...
        def QKSetProperty(self, lpProperty: Text) -> bool: ...
        def GetSendString(self) -> tuple[bool, bytes]: ...
        def SetSendFlag(self, SendOrNot: int) -> None: ...
