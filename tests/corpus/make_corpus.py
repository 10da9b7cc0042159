#!/usr/bin/env python3
"""Writes the seed patches of tests/corpus: good-* apply to a 64-byte target,
bad-* fail. The engine tests replay every file here; the application fuzzer
starts from them. Also writes the creation fuzzer's seeds to
tests/corpus-create, in the layout tests/fuzz/create_fuzz.cpp reads."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def data(offset, payload):
    return struct.pack(">IH", offset, len(payload)) + payload


def run(offset, length, value):
    return struct.pack(">IHHB", offset, 0, length, value)


def patch(*records):
    return b"IPS32" + b"".join(records) + b"EEOF"


GOOD = {
    "empty": patch(),
    "worked-example": patch(run(0x10, 0x300, 0xAA), data(0x400, b"ABC")),
    "overlapping": patch(run(0, 40, 1), data(10, b"over"), run(12, 3, 2), data(0, b"x")),
    "zero-length-runs": patch(run(0, 0, 9), run(1000, 0, 9), run(0xFFFFFFFF, 0, 9)),
    "past-the-end": patch(data(100, b"far"), run(70, 5, 0x55)),
    "longest-run": patch(run(1, 65535, 0x7F)),
    "descending": patch(data(50, b"c"), data(30, b"b"), data(10, b"a")),
    "trailing-bytes": patch(data(0, b"ok")) + data(1, b"no") + b"EEOF junk",
    "terminator-inside-data": patch(data(0x20, b"IPS32EEOF"), run(0x45, 4, 0x45)),
}

BAD = {
    "empty-file": b"",
    "short-magic": b"IPS3",
    "lower-case-magic": b"ips32EEOF",
    "other-magic": b"PATCHEOF",
    "magic-only": b"IPS32",
    "cut-in-offset": b"IPS32\x00\x00",
    "cut-in-size": b"IPS32\x00\x00\x00\x01\x00",
    "cut-in-data": b"IPS32" + data(4, b"abcdef")[:-2],
    "cut-in-run-length": b"IPS32" + run(4, 9, 1)[:7],
    "cut-before-value": b"IPS32" + run(4, 9, 1)[:8],
    "cut-in-terminator": patch(data(0, b"x"))[:-1],
    "data-longer-than-patch": b"IPS32" + struct.pack(">IH", 0, 65535) + b"short" + b"EEOF",
    "eeof-inside-data": b"IPS32" + struct.pack(">IH", 2, 10) + b"EEOF",
}


def pair(read_size, t, pattern, original_size, tail_size, tail_value, *changes):
    """A creation seed: reads of read_size, t standing in for the offset no
    record begins at, an original of the repeated pattern, a tail, and
    changes (at, length, mode): an odd mode writes itself, an even one the
    pattern shifted."""
    def number(value, count):
        return value.to_bytes(count, "little")
    seed = number(read_size - 1, 2) + number(t - 1, 3) + number(len(pattern) - 1, 1) + pattern
    seed += number(original_size, 3) + number(tail_size, 3) + number(tail_value, 1)
    for at, length, mode in changes:
        seed += number(at, 3) + number(length, 3) + number(mode, 1)
    return seed


CREATE = {
    "run-at-t-on-a-read-boundary": pair(8, 8, b"o", 16, 0, 0, (8, 3, 0x61)),
    "equal-run-whose-piece-would-end-at-t": pair(1000, 65536, b"\0", 70001, 0, 0, (1, 70000, 0x77)),
    "data-run-whose-piece-would-end-at-t": pair(4096, 65535, b"abcd", 131071, 0, 0, (0, 131071, 2)),
    "tail-at-t": pair(4, 8, b"abcdefgh", 8, 5, 0x71),
    "run-to-the-end-then-tail-at-t": pair(4, 8, b"abcdefgh", 8, 2, 0x69, (7, 1, 0x59)),
    "equal-then-other-past-a-record": pair(1000, 200000, b"\0", 70001, 0, 0, (0, 70000, 0x77), (70000, 1, 0x79)),
}


def main():
    for prefix, patches in (("good", GOOD), ("bad", BAD)):
        for name, content in patches.items():
            with open(os.path.join(HERE, f"{prefix}-{name}.ips"), "wb") as out:
                out.write(content)
    create_dir = os.path.join(HERE, "..", "corpus-create")
    os.makedirs(create_dir, exist_ok=True)
    for name, content in CREATE.items():
        with open(os.path.join(create_dir, f"{name}.bin"), "wb") as out:
            out.write(content)


if __name__ == "__main__":
    main()
