#!/usr/bin/env python3
"""A correct program under test in Python: a set, sorted at every listing.

With KEYSCRIPT_PERSISTENT=1 (keyscript-check --persistent) it goes on after
each script's q: a line "q" after the listing, an empty set, and the next
script, until its input ends."""
import os
import sys


def main():
    persistent = os.environ.get("KEYSCRIPT_PERSISTENT") == "1"
    held = set()
    for line in sys.stdin:
        first = line[:1]
        if first.isdigit():
            held.add(int(line))
        elif first == "d":
            held.discard(int(line[2:]))
        elif first in ("s", "q"):
            sys.stdout.write("".join(f"{key}\n" for key in sorted(held)))
            if first == "q":
                if not persistent:
                    break
                sys.stdout.write("q\n")
                sys.stdout.flush()
                held = set()


main()
