"""The simulated card of this build for the package's tests. CTest gives
PALVEX_MODULE, PALVEX_CARDSIM and PALVEX_PROGRAM; no test opens a real port
(the device tree is an empty folder)."""

import os
import re
import subprocess
import time

import pytest

import palvex


@pytest.fixture(autouse=True, scope="session")
def no_real_ports(tmp_path_factory):
    os.environ["PALVEX_DEVICE_ROOT"] = str(tmp_path_factory.mktemp("devices"))
    os.environ["XDG_CONFIG_HOME"] = str(tmp_path_factory.mktemp("config"))


class Sim:
    """cardsim on a TCP port and a pty, its log (--verbose) in a file."""

    def __init__(self, folder, *options):
        self.pty = str(folder / "com")
        self.log_file = folder / "cardsim.log"
        with open(self.log_file, "w") as log:
            self.process = subprocess.Popen(
                [os.environ["PALVEX_CARDSIM"], "--tcp", "0", "--pty", self.pty, "--verbose",
                 *options], stdout=log, stderr=subprocess.STDOUT)
        for _ in range(200):
            found = re.search(r"on tcp 127\.0\.0\.1:(\d+)", self.log())
            if found:
                self.port = int(found.group(1))
                return
            time.sleep(0.01)
        raise RuntimeError("cardsim did not start: " + self.log())

    def log(self):
        return self.log_file.read_text()

    def lines(self, pattern, until=None):
        """The matches in the log, once `until` is in it (cardsim logs a
        frame after its reply)."""
        for _ in range(200):
            if until is None or re.search(until, self.log()):
                break
            time.sleep(0.01)
        return re.findall(pattern, self.log())

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


@pytest.fixture
def sim(tmp_path):
    s = Sim(tmp_path)
    yield s
    s.stop()


@pytest.fixture
def slow_sim(tmp_path):
    s = Sim(tmp_path, "--delay", "20")
    yield s
    s.stop()


@pytest.fixture(params=["tcp", "pty"])
def card(request, sim, monkeypatch):
    """A card of 256 x 64 on card number 1, over TCP or over the pty as COM3."""
    if request.param == "tcp":
        opened = palvex.open_tcp("127.0.0.1", sim.port, card=1, width=256, height=64)
    else:
        monkeypatch.setenv("PALVEX_COM3", sim.pty)
        opened = palvex.open_serial(3, 9600, card=1, width=256, height=64)
    with opened:
        yield opened
