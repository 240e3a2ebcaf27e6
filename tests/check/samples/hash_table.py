#!/usr/bin/env python3
"""A program under test in Python: hash_table.cc's table, line for line.

Open addressing, linear probing and tombstones, 64 slots to start with, the
key times 2^32 over the golden ratio as its hash (the top bits). Past 3/4 of
its slots used it is rebuilt with at least twice as many slots as keys. With
the argument rebuild_same_size it is rebuilt with the fewest slots that hold
the keys, so every insertion past 3/4 rebuilds it: the listings stay right,
and the cost grows with the table.
"""
import sys

EMPTY = -1
TOMBSTONE = -2
FEWEST_SLOTS = 64


class HashTable:
    def __init__(self, same_size):
        self.same_size = same_size
        self.slots = [EMPTY] * FEWEST_SLOTS
        self.shift = 32 - 6
        self.used = 0  # keys and tombstones
        self.held = 0

    def home(self, key):
        return ((key * 2654435769) & 0xFFFFFFFF) >> self.shift

    def place(self, key):
        """Puts KEY in the table unless it is there; False when it was."""
        slots = self.slots
        mask = len(slots) - 1
        slot = self.home(key)
        reuse = -1
        while slots[slot] != EMPTY:
            if slots[slot] == key:
                return False
            if slots[slot] == TOMBSTONE and reuse < 0:
                reuse = slot
            slot = (slot + 1) & mask
        if reuse < 0:
            reuse = slot
            self.used += 1
        slots[reuse] = key
        self.held += 1
        return True

    def insert(self, key):
        if self.place(key) and self.used * 4 > len(self.slots) * 3:
            self.rebuild()

    def delete(self, key):
        slots = self.slots
        mask = len(slots) - 1
        slot = self.home(key)
        while slots[slot] != EMPTY:
            if slots[slot] == key:
                slots[slot] = TOMBSTONE
                self.held -= 1
                return
            slot = (slot + 1) & mask

    def rebuild(self):
        wanted = self.held + 1 if self.same_size else 2 * self.held
        size = FEWEST_SLOTS
        while size < wanted:
            size *= 2
        previous = self.slots
        self.slots = [EMPTY] * size
        self.shift = 32 - (size.bit_length() - 1)
        self.used = self.held = 0
        for key in previous:
            if key >= 0:
                self.place(key)

    def listing(self):
        return "".join(f"{key}\n" for key in sorted(key for key in self.slots if key >= 0))


def main():
    table = HashTable(sys.argv[1:] == ["rebuild_same_size"])
    for line in sys.stdin:
        first = line[:1]
        if first.isdigit():
            table.insert(int(line))
        elif first == "d":
            table.delete(int(line[2:]))
        elif first in ("s", "q"):
            sys.stdout.write(table.listing())
            if first == "q":
                break


main()
