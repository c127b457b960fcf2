"""The high level against cardsim, over TCP and over a pty."""

import datetime
import os
import signal
import threading

import pytest

import palvex


def test_the_property_reads_as_python_values_and_configures(card):
    p = card.property()
    assert (p.ident, p.version, p.produced) == ("DDDD7", "2.00", datetime.date(2006, 1, 1))
    assert (p.width, p.height) == (256, 64)
    card.configure(width=512, height=32, module="8x4", wiring={"left-to-right", "row-swap"})
    p = card.property()
    assert (p.width, p.height, p.module, p.wiring, p.flags) == (
        512, 32, "8x4", frozenset({"left-to-right", "row-swap"}), 0x83)
    card.configure(height=64)  # the rest as the card has it
    assert card.property().flags == 0x83 and card.property().height == 64
    with pytest.raises(ValueError):
        card.configure(wiring={"upside-down"})


def test_text_reaches_the_card_in_gbk_and_what_gbk_cannot_hold_is_refused(card, sim):
    card.show_text("欢迎光临", 8, 16, color=2)
    shown = r'text "欢迎光临" at \(8, 16\)'
    assert sim.lines(shown, until=shown)
    with pytest.raises(UnicodeEncodeError):
        card.show_text("😀")
    assert len(sim.lines(r"text ")) == 1


def test_readings_come_back_as_lists(card):
    card.start_test()
    assert isinstance(card.test_state(), int)
    assert [len(card.test_result(0, 0)), len(card.power_state()), len(card.status())] == [64, 128, 13]
    card.relays(True, False, True)
    card.brightness = 7
    assert card.brightness == 7
    card.line(0, 5, 100, 5)
    card.reset()


def test_the_clock_is_set_to_now_or_to_a_given_time(card):
    card.set_time()
    assert abs((card.time() - datetime.datetime.now()).total_seconds()) < 3
    when = datetime.datetime.now().replace(microsecond=0) + datetime.timedelta(hours=5, minutes=7)
    card.set_time(when)
    assert abs((card.time() - when).total_seconds()) < 3
    assert abs((datetime.datetime.now() - when).total_seconds()) > 3600  # the zone is back


def test_a_picture_page_and_a_font_library_go_with_progress(card, sim, tmp_path):
    done = []
    card.send_picture([[1] * 256] * 64, page=2, progress=lambda *p: done.append(p))
    assert done == [(s, 64) for s in range(1, 65)]
    assert sim.lines(r"picture page 2 step 63, 256 column\(s\), page complete", until="complete")
    font = tmp_path / "font.bin"
    font.write_bytes(bytes(range(256)) * 13)  # three blocks and a quarter
    done.clear()
    card.send_font(font, progress=lambda *p: done.append(p), start=1)
    assert done == [(2, 4), (3, 4), (4, 4)]
    assert sim.lines(r"font library block (\d+) ", until="block 3 ") == ["1", "2", "3"]


def test_keyboard_interrupt_stops_between_exchanges_and_closes_the_link(slow_sim, tmp_path):
    font = tmp_path / "font.bin"
    font.write_bytes(bytes(1024 * 40))
    done = []
    timer = threading.Timer(0.1, os.kill, (os.getpid(), signal.SIGINT))

    def progress(*p):  # Ctrl-C from another thread, a while after the first block
        done.append(p)
        if len(done) == 1:
            timer.start()

    with palvex.open_tcp("127.0.0.1", slow_sim.port, card=1, width=256, height=64) as card:
        with pytest.raises(KeyboardInterrupt):
            card.send_font(font, progress=progress)
        assert card.closed
    slow_sim.stop()  # its log complete
    stored = len(slow_sim.lines(r"font library block \d+ "))
    assert 0 < len(done) < 40 and stored in (len(done), len(done) + 1)
    with pytest.raises(palvex.PalvexError, match="closed"):
        card.reset()


def _busy(sim):
    holder = palvex.open_serial(3, 9600, card=1, width=256, height=64)
    try:
        palvex.open_serial(3, 9600, card=1, width=256, height=64)
    finally:
        holder.close()


@pytest.mark.parametrize("open_, error, reason", [
    (lambda s: palvex.open_serial(9, 9600, card=1, width=256, height=64), palvex.LinkError,
     "COM9 open failed: no such device"),
    (_busy, palvex.LinkError, "COM3 open failed: busy"),
    (lambda s: palvex.open_tcp("127.0.0.1", 1, card=1, width=256, height=64), palvex.LinkError,
     "refused"),
    (lambda s: palvex.open_tcp("no-such-host.invalid", 1, card=1, width=8, height=8),
     palvex.LinkError, "no-such-host.invalid"),
    (lambda s: palvex.open_tcp("127.0.0.1", s.port, card=2, width=256, height=64, wait=100)
     .property(), palvex.CardError, "attempt 5/5 read failed: timed out"),
    (lambda s: palvex.open_serial(3, 19200, card=1, width=256, height=64), ValueError, "baud"),
    (lambda s: palvex.open_tcp("127.0.0.1", s.port, card=32, width=256, height=64), ValueError,
     "card"),
    (lambda s: palvex.Control(module="/no/such/libpalvex.so.1"), palvex.PalvexError,
     "no such file"),
])
def test_every_failure_raises_its_exception_with_the_reason(sim, monkeypatch, open_, error, reason):
    monkeypatch.setenv("PALVEX_COM9", "/no/such/device")
    monkeypatch.setenv("PALVEX_COM3", sim.pty)
    with pytest.raises(error) as raised:
        open_(sim)
    assert reason in getattr(raised.value, "reason", "") + str(raised.value)
    if error is palvex.CardError:
        assert raised.value.command == "QKGetProperty"


def test_card_refusals_before_anything_is_sent(card, sim, tmp_path):
    with pytest.raises(ValueError):
        card.line(0, 0, 5, 5)
    with pytest.raises(ValueError):
        card.send_picture(bytes(100))
    with pytest.raises(ValueError):
        card.send_picture(bytes(65536), page=64)
    with pytest.raises(FileNotFoundError):
        card.send_font(tmp_path / "missing.bin")
    assert not sim.lines(r"line |picture |font ")


def test_ports_lists_the_numbers_the_control_opens(sim, monkeypatch):
    monkeypatch.setenv("PALVEX_COM7", sim.pty)
    [port] = [p for p in palvex.ports() if p.com == 7]
    assert (port.device, port.source, port.usable) == (sim.pty, "environment", True)


def _numpy(rows, *, image=False):
    numpy = pytest.importorskip("numpy")
    array = numpy.array(rows, dtype=numpy.uint8)
    return pytest.importorskip("PIL.Image").fromarray(array) if image else array


@pytest.mark.parametrize("make, codes", [
    (lambda: [[1, 0, 7]], [1, 0, 7]),
    (lambda: _numpy([[1, 0, 7]]), [1, 0, 7]),
    (lambda: _numpy([[[255, 0, 0], [0, 0, 0], [128, 255, 200]]]), [1, 0, 7]),
    (lambda: _numpy([[[255, 0, 0, 255], [255, 255, 255, 127], [255, 255, 255, 128]]]), [1, 0, 7]),
    (lambda: _numpy([[[255, 0, 0, 255], [255, 255, 255, 127]]], image=True), [1, 0]),
    (lambda: _numpy([[[255, 0, 0], [0, 0, 127], [255, 255, 255]]], image=True), [1, 0, 7]),
    (lambda: _numpy([[128, 127, 255]], image=True), [1, 0, 1]),
])
def test_pictures_convert_to_pixel_codes_as_palvex_converts_them(make, codes):
    assert palvex.picture_bytes(make()) == bytes(codes) + bytes(65536 - len(codes))
