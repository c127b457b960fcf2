#!/usr/bin/env python3
"""Drive the Palvex link control from Python with the package palvex.

Starts a simulated card (cardsim) on a TCP port of this machine, opens a
network link to it, reads the card's property and version, shows a text on
the card and closes the link:

    python3 palvex_example.py [--module libpalvex.so.1] [--cardsim cardsim]

--module names the control module (default: where the package finds it);
--cardsim the simulated card program (default: cardsim on PATH). Exits 0
when every call succeeded, 1 otherwise.
"""

import argparse
import re
import subprocess
import sys
from pathlib import Path

try:
    import palvex
except ImportError:  # run from a source tree, the package not installed
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))
    import palvex


def start_cardsim(program):
    sim = subprocess.Popen([program, "--tcp", "0"], stdout=subprocess.PIPE, text=True)
    for line in sim.stdout:
        found = re.search(r"on tcp 127\.0\.0\.1:(\d+)", line)
        if found:
            return sim, int(found.group(1))
    sim.wait()
    raise palvex.PalvexError("cardsim did not start")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module")
    parser.add_argument("--cardsim", default="cardsim")
    options = parser.parse_args()

    sim, port = start_cardsim(options.cardsim)
    try:
        with palvex.open_tcp("127.0.0.1", port, card=1, width=256, height=64,
                             module=options.module) as card:
            print(card.property())
            print("version", hex(card.control.GetVersion()))
            card.show_text("Palvex 欢迎光临")
            print("text shown")
    except palvex.PalvexError as e:
        print("palvex_example:", e, file=sys.stderr)
        return 1
    finally:
        sim.terminate()
        sim.wait(timeout=10)
    return 0


if __name__ == "__main__":
    sys.exit(main())
