"""The serial ports and their COM numbers, as `palvex ports --json` lists
them: the package runs the palvex program (given, PALVEX_PROGRAM, the one
installed or built beside the control module, or palvex on PATH), so that
the numbers are the ones the control opens."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

from . import _module
from .errors import PalvexError


@dataclass(frozen=True)
class PortInfo:
    """One COM number: the device it opens ("" when its adapter is not
    plugged in), the stable path the number is kept for, what the device
    is, where the number comes from ("automatic", "environment" or
    "registry"), and, for USB adapters, vendor and product ids, maker,
    product and serial number ("" where not known)."""

    com: int
    device: str
    stable_path: str
    description: str
    source: str
    usable: bool
    present: bool
    note: str = ""
    driver: str = ""
    vendor_id: str = ""
    product_id: str = ""
    manufacturer: str = ""
    product: str = ""
    serial: str = ""


def find_program(program: Optional[str] = None) -> str:
    if program or os.environ.get("PALVEX_PROGRAM"):
        return program or os.environ["PALVEX_PROGRAM"]
    try:
        # <prefix>/lib/libpalvex.so.1 and <prefix>/bin/palvex, or in a build
        # tree control/libpalvex.so.1 and cli/palvex
        top = Path(_module.load_module().path).resolve().parent.parent
        for beside in (top / "bin" / "palvex", top / "cli" / "palvex"):
            if beside.is_file():
                return str(beside)
    except PalvexError:
        pass
    found = shutil.which("palvex")
    if found is None:
        raise PalvexError("no palvex program: give program=, set PALVEX_PROGRAM or put it on PATH")
    return found


def ports(program: Optional[str] = None) -> list[PortInfo]:
    """The COM numbers and their devices."""
    exe = find_program(program)
    try:
        run = subprocess.run([exe, "ports", "--json"], capture_output=True, timeout=30)
    except OSError as e:
        raise PalvexError(f"{exe} did not run: {e}") from None
    if run.returncode != 0:
        raise PalvexError(f"{exe} ports --json: {run.stderr.decode(errors='replace').strip()}")
    listed = []
    for p in json.loads(run.stdout):
        usb = p.get("usb", {})
        listed.append(PortInfo(
            p["number"], p["device"], p["stable_path"], p["description"], p["source"],
            p["usable"], p["present"], p["note"], p.get("driver", ""),
            usb.get("vendor_id", ""), usb.get("product_id", ""), usb.get("manufacturer", ""),
            usb.get("product", ""), usb.get("serial", "")))
    return listed
