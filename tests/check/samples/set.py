#!/usr/bin/env python3
"""A correct program under test in Python: a set, sorted at every listing."""
import sys


def main():
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
                break


main()
