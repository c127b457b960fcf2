"""The high level: a card on an open link, with Python values and exceptions.

    with palvex.open_tcp("192.0.2.10", 5005, card=1, width=256, height=64) as card:
        print(card.property())
        card.show_text("欢迎光临")
"""

from __future__ import annotations

import builtins
import contextlib
import datetime
import os
import socket
import time
from dataclasses import dataclass
from typing import Any, Callable, Iterable, Iterator, Optional, Sequence, Union

from .control import Control
from .errors import CardError, LinkError, PalvexError
from .picture import Picture, picture_bytes

BAUD_RATES = (9600, 14400, 28800, 38400, 57600)
MODULES = ("8x8", "8x4")
# The driver board's wiring options, bit 7 down to bit 1 of the flags byte
# (the names dravel takes).
WIRING = ("left-to-right", "blank-invert", "data-invert", "even-col-reverse",
          "odd-col-reverse", "row8-reverse", "row-swap")
FONT_BLOCK = 1024
MAX_TEXT = 1092  # bytes of text in the card's code page
Progress = Callable[[int, int], Any]
ClockTime = Union[datetime.time, int]


@dataclass(frozen=True)
class CardProperty:
    """What a card says about itself (QKGetProperty): identification
    ("DDDD7" on a D-type card), firmware version ("2.00"), production date
    (None when the card holds no valid date), the screen it is configured
    for, its module type ("8x8" or "8x4") and its wiring options."""

    ident: str
    version: str
    produced: Optional[datetime.date]
    width: int
    height: int
    module: str
    wiring: frozenset[str]

    @classmethod
    def from_text(cls, text: str) -> CardProperty:
        """The property of the card's property text (two hex digits a byte)."""
        try:
            width, height, flags = (int(text[a:b], 16) for a, b in ((16, 19), (19, 22), (22, 24)))
        except ValueError:
            raise PalvexError(f"the card's property text {text!r} cannot be read") from None
        try:
            produced: Optional[datetime.date] = datetime.date(
                int(text[8:12]), int(text[12:14]), int(text[14:16]))
        except ValueError:
            produced = None
        wiring = frozenset(n for i, n in enumerate(WIRING) if flags & (0x80 >> i))
        return cls(text[:5], f"{text[5]}.{text[6:8]}", produced, width, height,
                   MODULES[flags & 1], wiring)

    @property
    def flags(self) -> int:
        """The flags byte: the wiring options in bits 7 to 1, the module in bit 0."""
        return flags_byte(self.module, self.wiring)


def flags_byte(module: str, wiring: Iterable[str]) -> int:
    names = set(wiring)
    if module not in MODULES:
        raise ValueError(f"module is one of {', '.join(MODULES)}, not {module!r}")
    if unknown := names - set(WIRING):
        raise ValueError(f"unknown wiring options {sorted(unknown)}; they are {', '.join(WIRING)}")
    return MODULES.index(module) | sum(0x80 >> i for i, n in enumerate(WIRING) if n in names)


def _check_screen(card: int, width: int, height: int) -> None:
    for name, value, low, high in (("card", card, 0, 31), ("width", width, 1, 512),
                                   ("height", height, 1, 128)):
        if not isinstance(value, int):
            raise TypeError(f"{name} is an int, not {type(value).__name__}")
        if not low <= value <= high:
            raise ValueError(f"{name} is {low} to {high}, not {value}")


def _hhmm(value: ClockTime) -> int:
    return value.hour * 100 + value.minute if isinstance(value, datetime.time) else value


@contextlib.contextmanager
def _local_clock_at(when: datetime.datetime) -> Iterator[None]:
    """The process's local time reads `when` for the duration: the control
    sets a card's clock from the local time, so the time zone is shifted by
    the difference (within a day) and put back afterwards."""
    if when.tzinfo is not None:
        when = when.astimezone().replace(tzinfo=None)
    utc = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)
    offset = round((utc - when).total_seconds())
    if abs(offset) >= 86400:
        raise ValueError("a card's clock is set within a day of the computer's local time")
    hours, rest = divmod(abs(offset), 3600)
    saved = os.environ.get("TZ")
    os.environ["TZ"] = f"PVX{'-' if offset < 0 else '+'}{hours:02d}:{rest // 60:02d}:{rest % 60:02d}"
    time.tzset()
    try:
        yield
    finally:
        if saved is None:
            del os.environ["TZ"]
        else:
            os.environ["TZ"] = saved
        time.tzset()


class Card:
    """A card on an open link, armed with its card number and screen size
    (made by `open_serial` or `open_tcp`). A context manager: the link
    closes on exit, also on an exception. A command the card does not
    acknowledge raises CardError; KeyboardInterrupt comes between two
    exchanges and leaves the link closed. `control` is the low level."""

    def __init__(self, control: Control, link: str, card: int, width: int, height: int) -> None:
        self.control: Optional[Control] = control
        self.link = link
        self.card, self.width, self.height = card, width, height
        self._brightness: Optional[int] = None

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<palvex.Card {self.card} on {self.link}, {self.width} x {self.height}, {state}>"

    @property
    def closed(self) -> bool:
        return self.control is None

    def close(self) -> None:
        """Closes the link (QKClose) and releases the control; again is harmless."""
        control, self.control = self.control, None
        if control is not None:
            try:
                control.QKClose()
            finally:
                control.close()

    def __enter__(self) -> Card:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def _run(self, name: str, *args: Any, command: str = "") -> Any:
        """One method on the control; a result of False raises CardError."""
        if self.control is None:
            raise PalvexError(f"the link to card {self.card} on {self.link} is closed")
        try:
            out = self.control.invoke(self.control.methods[name], *args)
        except KeyboardInterrupt:
            self.close()
            raise
        if (out[0] if isinstance(out, tuple) else out) is False:
            raise CardError(command or name, self.control.last_link_error())
        return out

    def _each(self, items: Iterable[int], send: Callable[[int], Any], total: int,
              progress: Optional[Progress]) -> None:
        try:
            for i in items:
                send(i)
                if progress is not None:
                    progress(i + 1, total)
        except KeyboardInterrupt:
            self.close()
            raise

    # --- the card's configuration ---------------------------------------------

    def property(self) -> CardProperty:
        """The card's identification, version, production date and screen settings."""
        return CardProperty.from_text(self._run("QKGetProperty")[1])

    def configure(self, width: Optional[int] = None, height: Optional[int] = None,
                  module: Optional[str] = None, wiring: Optional[Iterable[str]] = None) -> None:
        """Writes the card's screen settings; what is not given stays as the
        card has it (read first). Does not change what this Card is armed with."""
        if None in (width, height, module, wiring):
            now = self.property()
            width = now.width if width is None else width
            height = now.height if height is None else height
            module = now.module if module is None else module
            wiring = now.wiring if wiring is None else wiring
        assert width is not None and height is not None and module is not None
        _check_screen(0, width, height)
        flags = flags_byte(module, wiring or ())
        self._run("QKSetProperty", f"{width:03X}{height:03X}{flags:02X}")

    def setup(self, ident: str = "DDDD7200") -> None:
        """Writes the identification and version (8 hex digits); the card's
        production date becomes today's."""
        self._run("QKSetup", ident)

    # --- clock ----------------------------------------------------------------

    def time(self) -> datetime.datetime:
        """The card's clock."""
        values = self._run("GetTime")[1]
        try:
            return datetime.datetime(*values)
        except (TypeError, ValueError):
            raise CardError("GetTime", f"the card's clock reads {values}, not a time") from None

    def set_time(self, when: Optional[datetime.datetime] = None) -> None:
        """Sets the card's clock to the computer's local time, or to `when`
        (within a day of it; naive is local time). For the one exchange the
        process's time zone (TZ) is shifted: other threads reading the local
        time meanwhile see the shift."""
        if when is None:
            self._run("SetTime")
            return
        with _local_clock_at(when):
            self._run("SetTime")

    # --- drawing --------------------------------------------------------------

    def show_text(self, text: str, x: int = 0, y: int = 0, *, color: int = 1, bank: int = 0) -> None:
        """Draws text at (x, y) of a bank, in the card's code page (GBK):
        UnicodeEncodeError for a character GBK does not hold."""
        data = text.encode("gbk")
        if len(data) > MAX_TEXT or b"\0" in data:
            raise ValueError(f"a text is at most {MAX_TEXT} bytes in GBK, without a zero character")
        self._run("ShowString", bank, x, y, color, data, command=f"ShowString {text!r}")

    def line(self, x1: int, y1: int, x2: int, y2: int, *, color: int = 1, bank: int = 0) -> None:
        """Draws a line along a row or a column (colours 0 to 7)."""
        if x1 != x2 and y1 != y2:
            raise ValueError("a line runs along a row or a column")
        self._run("Line", bank, x1, y1, x2, y2, color)

    def switch_bank(self, bank: int) -> None:
        self._run("SwitchToBank", bank)

    def clear_bank(self, bank: int) -> None:
        self._run("ClearBank", bank)

    def copy_bank(self, bank: int) -> None:
        """Copies the other bank into `bank`."""
        self._run("CopyToBank", bank)

    # --- content --------------------------------------------------------------

    def send_picture(self, image: Picture, page: int = 0,
                     progress: Optional[Progress] = None) -> None:
        """Sends one picture page, every step of it (see picture_bytes for
        what `image` may be); progress(done, total) after each step."""
        data = picture_bytes(image)
        pages = min(self._run("GetTotalPageNum"), 64)
        if not 0 <= page < pages:
            raise ValueError(f"page is 0 to {pages - 1} on a {self.width} x {self.height} screen")
        steps = self._run("GetSendStepNum")
        self._each(range(steps), lambda s: self._run(
            "SendPicture", page, s, data, command=f"SendPicture page {page} step {s}"),
            steps, progress)

    def send_font(self, path: Union[str, os.PathLike[str]], progress: Optional[Progress] = None,
                  start: int = 0) -> None:
        """Sends the font library file block by block from block `start`
        (resume where a failure stopped); progress(done, total) in blocks.
        The file must be writable, as the control opens it for update."""
        with open(path, "r+b") as f:
            blocks = -(-os.fstat(f.fileno()).st_size // FONT_BLOCK)
        if blocks > 16384:
            raise ValueError("a font library holds at most 16384 blocks (16 MiB)")
        if not 0 <= start <= blocks:
            raise ValueError(f"start is a block number 0 to {blocks}")
        name = os.fsencode(path)
        self._each(range(start, blocks), lambda k: self._run(
            "SendHZLib", k, name, command=f"SendHZLib block {k} of {blocks}"), blocks, progress)

    def send_program_list(self, records: Union[bytes, Sequence[int]]) -> bytes:
        """Sends the program list (8-byte records) and starts it; returns the
        records as the control normalised them."""
        data = bytes(records)
        normalised: bytes = self._run("SendProgList", len(data) // 8, data)[1]
        return normalised

    def send_order_list(self, pages: Sequence[int]) -> None:
        self._run("SetOrderList", len(pages), list(pages))

    def lock_font(self, locked: bool = True) -> None:
        self._run("LockHZLib", int(locked))

    # --- device ---------------------------------------------------------------

    @builtins.property  # `property` is the card's own, above
    def brightness(self) -> Optional[int]:
        """The brightness last set through this Card (the card does not tell)."""
        return self._brightness

    @brightness.setter
    def brightness(self, value: int) -> None:
        self._run("SetBrightness", value)
        self._brightness = value

    def relays(self, power: bool, fan: bool, other: bool) -> None:
        self._run("SetRelay", int(power), int(fan), int(other))

    def temperature_control(self, power_off: int, power_on: int, fan_on: int, fan_off: int,
                            enable: bool = True) -> None:
        self._run("SetCtrlTemperature", power_off, power_on, fan_on, fan_off, int(enable))

    def temperature_offset(self, offset: int) -> None:
        self._run("SetTemperatureOffset", offset)

    def schedule(self, on0: ClockTime, off0: ClockTime, on1: ClockTime = 0,
                 off1: ClockTime = 0) -> None:
        """Two daily on/off periods, as datetime.time or hhmm (2400: day's end)."""
        self._run("SetOnOffTime", *(_hhmm(v) for v in (on0, off0, on1, off1)))

    def comm_timeout(self, seconds: int) -> None:
        self._run("SetCommTimeOut", seconds)

    def reset(self) -> None:
        self._run("Reset")

    def start_test(self) -> None:
        self._run("StartTest")

    def test_state(self) -> int:
        state: int = self._run("GetTestState")
        if state == 9999:
            raise CardError("GetTestState", self.control.last_link_error() if self.control else "")
        return state

    def test_result(self, color: int, column: int) -> list[int]:
        """The self-test's result of a colour (0-3) and column group (0-63), one value a row."""
        return list(self._run("GetTestResult", color, column)[1])

    def power_state(self) -> list[int]:
        """The 128 power check results."""
        return list(self._run("GetPowerState")[1])

    def clear_power_check(self) -> None:
        self._run("ClearPowerCheckResult")

    def status(self) -> list[int]:
        """The 13 values of the card's status record."""
        return list(self._run("GetAllResult", 5)[1])


def _open(control: Control, link: str, opened: bool, card: int, width: int, height: int) -> Card:
    try:
        if not opened:
            raise LinkError(f"{link} did not open",
                            control.last_link_error() or "the control gave no reason")
        if not control.SetLedProperty(card, width, height):
            raise ValueError(f"the control refused card {card}, {width} x {height}")
    except BaseException:
        control.close()
        raise
    return Card(control, link, card, width, height)


def open_serial(com: int, baud: int, *, card: int, width: int, height: int, wait: int = 1000,
                module: Optional[Union[str, os.PathLike[str]]] = None) -> Card:
    """Opens COM`com` at `baud` bit/s (9600, 14400, 28800, 38400 or 57600)
    to the card numbered `card`, with a screen of width x height; `wait` is
    the reply time-out in ms. LinkError when the port does not open."""
    _check_screen(card, width, height)
    if baud not in BAUD_RATES:
        raise ValueError(f"baud is one of {', '.join(map(str, BAUD_RATES))}, not {baud}")
    control = Control(module)
    return _open(control, f"COM{com}", control.ComInitial(com, baud, wait), card, width, height)


def open_tcp(host: str, port: int, *, card: int, width: int, height: int, wait: int = 1000,
             module: Optional[Union[str, os.PathLike[str]]] = None) -> Card:
    """Opens a TCP link to host:port (a name or an IPv4 address), as
    open_serial does for a serial port."""
    _check_screen(card, width, height)
    link = f"{host}:{port}"
    try:
        address = socket.getaddrinfo(host, port, socket.AF_INET, socket.SOCK_STREAM)[0][4][0]
    except (socket.gaierror, UnicodeError) as e:
        raise LinkError(f"{link} did not open", f"{host}: {getattr(e, 'strerror', e)}") from None
    control = Control(module)
    ip = int.from_bytes(socket.inet_aton(address), "big")
    return _open(control, link, control.NetInitial(0, ip, port, wait), card, width, height)
