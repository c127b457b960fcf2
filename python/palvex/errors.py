"""The exceptions of the package."""

from __future__ import annotations


class PalvexError(Exception):
    """Any failure of the control or the card (also: no control module)."""


class LinkError(PalvexError):
    """A link did not open. `reason` is the control's own text of why, e.g.
    "COM3 open failed: no such device (ENOENT): /dev/ttyUSB0 does not exist"."""

    def __init__(self, message: str, reason: str = "") -> None:
        super().__init__(f"{message}: {reason}" if reason else message)
        self.reason = reason


class CardError(PalvexError):
    """A command the card did not acknowledge. `command` names it
    ("SendHZLib block 7"), `reason` is the control's text of the last link
    failure ("" when the link itself did not fail, e.g. a refused value)."""

    def __init__(self, command: str, reason: str = "") -> None:
        text = f"{command}: the card did not acknowledge"
        super().__init__(f"{text} ({reason})" if reason else text)
        self.command = command
        self.reason = reason
