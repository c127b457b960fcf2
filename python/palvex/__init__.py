"""Palvex for Python: drive an LED display controller card through the
Palvex link control (libpalvex.so.1) with Python values and exceptions.

    import palvex
    with palvex.open_tcp("192.0.2.10", 5005, card=1, width=256, height=64) as card:
        print(card.property())
        card.show_text("欢迎光临")

High level: `open_serial`, `open_tcp` -> `Card`; `CardProperty`; `ports()`.
Low level: `Control`, every automation method by its name.
Errors: `PalvexError`, and its `LinkError` (a link did not open) and
`CardError` (the card did not acknowledge a command).
"""

from __future__ import annotations

from ._module import MethodInfo, Param, load_module
from .card import BAUD_RATES, MODULES, WIRING, Card, CardProperty, open_serial, open_tcp
from .control import Control
from .errors import CardError, LinkError, PalvexError
from .picture import picture_bytes
from .ports import PortInfo, ports

__version__ = "1.0.0.1"

__all__ = [
    "BAUD_RATES", "MODULES", "WIRING", "Card", "CardError", "CardProperty", "Control",
    "LinkError", "MethodInfo", "Param", "PalvexError", "PortInfo", "load_module", "open_serial",
    "open_tcp", "picture_bytes", "ports",
]
