"""The low level: the module's own method table, frames built in capture
mode against golden frames, and arguments refused before anything is built."""

import binascii
import re
from pathlib import Path

import pytest

import palvex
from palvex import control as control_module


def frame(body, card=1):
    length = len(body).to_bytes(2, "big")
    crc = binascii.crc_hqx(length + body, 0).to_bytes(2, "big")
    return b"\x1b$QK%02XW" % card + length + body + crc


@pytest.fixture
def ctl():
    with palvex.Control() as c:
        c.SetSendFlag(0)
        assert c.SetLedProperty(1, 256, 64)
        yield c


def test_the_typed_methods_are_the_modules_methods_with_the_same_parameters():
    source = Path(control_module.__file__).read_text().split("if TYPE_CHECKING:")[-1]
    typed = {m.group(1): re.findall(r"(\w+):", m.group(2))
             for m in re.finditer(r"def (\w+)\(self,?([^)]*)\)", source)}
    with palvex.Control() as c:
        described = {name: [p.name for p in info.params if not control_module._is_written(name, p)]
                     for name, info in c.methods.items()}
        assert len(described) == 39 and c.methods["GetVersion"].id == 31
        assert "QKSetup" in dir(c)
    assert typed == described


def test_the_helper_builds_the_frames_the_card_expects():
    assert frame(b"Z").hex() == "1b24514b30315700015ac88e"
    assert frame(bytes.fromhex("4320004081")).hex() == "1b24514b30315700054320004081" "0790"


picture = bytearray(512 * 128)
picture[512 : 512 + 256] = b"\xa5" * 256

GOLDEN = [
    ("QKSetProperty", ("20004081",), "4320004081"),
    ("Reset", (), "5a"),
    ("SetRelay", (1, 0, 1), "53010001"),
    ("SetBrightness", (300,), "502c"),
    ("SetOrderList", (3, [5, 0x0102, 7]), "7803050207"),
    ("ShowString", (0, 300, 16, 1, "中文"), "4a00012c001001d6d0cec400"),
    ("ShowString", (0, 300, 16, 1, b""), "4a00012c00100100"),
    ("Line", (0, 10, 5, 3, 5, 9), "4b0000030005000a000501"),
    ("SendPicture", (0, 1, picture), "470001" + "a5" * 256),
    ("SendPicture", (0, 1, memoryview(picture)), "470001" + "a5" * 256),
    ("SendProgList", (1, bytes([20, 7, 3, 0, 0, 0x80, 0x1F, 0])), "4801e33f0001"),
    ("GetTestResult", (1, 5), "5745"),
]


@pytest.mark.parametrize("method, args, body", GOLDEN)
def test_capture_mode_builds_the_golden_frame(ctl, method, args, body):
    out = getattr(ctl, method)(*args)
    assert (out[0] if isinstance(out, tuple) else out) is True
    assert ctl.GetSendString() == (True, frame(bytes.fromhex(body)))


def test_outputs_come_back_after_the_result_and_empty_when_nothing_was_written(ctl):
    assert ctl.GetTime() == (True, [])
    assert ctl.QKGetProperty() == (True, "")
    ok, records = ctl.SendProgList(2, bytes([20, 7, 3, 0, 0, 0x80, 0x1F, 0]) + bytes(8))
    assert ok and records[:8] == bytes([0xE0, 0x30, 3, 0, 1, 0, 0x0F, 0])
    ctl.QKClose()
    assert ctl.GetSendString() == (False, b"")


@pytest.mark.parametrize("call, error", [
    (lambda c: c.ComInitial(3, 70000, 1000), OverflowError),
    (lambda c: c.SetBrightness(-32769), OverflowError),
    (lambda c: c.NetInitial(0, 2**32, 5005, 100), OverflowError),
    (lambda c: c.ComInitial("3", 9600, 1000), TypeError),
    (lambda c: c.ComInitial(3, 9600), TypeError),
    (lambda c: c.ComInitial(3, 9600, 1000, Speed=1), TypeError),
    (lambda c: c.Reset(1), TypeError),
    (lambda c: c.SendPicture(0, 0, b"short"), ValueError),
    (lambda c: c.SendPicture(0, 0, [300] * 65536), OverflowError),
    (lambda c: c.SendPicture(0, 0, "text"), TypeError),
    (lambda c: c.SendPicture(0, 0, 7), TypeError),
    (lambda c: c.QKSetProperty("2000"), ValueError),
    (lambda c: c.ShowString(0, 0, 0, 1, "😀"), UnicodeEncodeError),
    (lambda c: c.ShowString(0, 0, 0, 1, b"a\0b"), ValueError),
    (lambda c: c.SetOrderList(3, [1]), ValueError),
    (lambda c: c.SetOrderList(1, [70000]), OverflowError),
    (lambda c: c.SendProgList(2, bytes(8)), ValueError),
    (lambda c: c.NoSuchMethod(), AttributeError),
])
def test_a_bad_argument_is_refused_before_anything_is_built(ctl, call, error):
    assert ctl.Reset()
    with pytest.raises(error):
        call(ctl)
    assert ctl.GetSendString() == (True, frame(b"Z"))


def test_named_arguments_and_unsigned_patterns_reach_the_control(ctl):
    assert ctl.SetRelay(Other=1, Power=1, Fan=0)
    assert ctl.GetSendString()[1] == frame(bytes.fromhex("53010001"))
    assert ctl.ComInitial(3, 57600, 100) is False  # no such port here; 57600 is not refused
