#!/usr/bin/env python3
"""Writes the stand-in loader and firmware images as Intel HEX.

They carry no working 8051 code: they only have the record layout of the
maker's images (record count, byte count, first and last record address), so
the loader, the simulated bare device and the tests exercise the same
transfers as with the real files. Run it from this folder to regenerate
loader.hex and firmware.hex; the output is deterministic.
"""
import random

VECTORS = [0x0000, 0x0003, 0x000B, 0x0013, 0x001B, 0x0023, 0x002B, 0x0033]


def layout(seed, records, data_bytes, last_address):
    """Returns [(address, bytes)] matching the requested totals exactly.

    Eight 3-byte LJMP vectors, then a contiguous code area cut into
    "functions", each written as 16-byte records plus a shorter tail record,
    as a linker emits them. The last function has no tail, so the last record
    is a full 16-byte one starting at last_address.
    """
    rng = random.Random(seed)
    code_records = records - len(VECTORS)
    code_bytes = data_bytes - 3 * len(VECTORS)
    # full records S and tails T: S + T = code_records, 16 S + sum(tails) = code_bytes
    for tails in range(1, code_records):
        full = code_records - tails
        tail_bytes = code_bytes - 16 * full
        if tails <= tail_bytes <= 15 * tails and full > tails:
            break
    else:
        raise SystemExit("no layout for these totals")
    tail_sizes = [1] * tails
    for _ in range(tail_bytes - tails):
        while True:
            i = rng.randrange(tails)
            if tail_sizes[i] < 15:
                tail_sizes[i] += 1
                break
    # spread the full records over tails + 1 functions; the last gets at least one
    fulls = [0] * (tails + 1)
    fulls[-1] = 1
    for _ in range(full - 1):
        fulls[rng.randrange(tails + 1)] += 1
    start = last_address + 16 - code_bytes
    assert start >= VECTORS[-1] + 3
    out = []
    address = start
    functions = []
    for f in range(tails + 1):
        functions.append(address)
        sizes = [16] * fulls[f] + ([tail_sizes[f]] if f < tails else [])
        for n in sizes:
            out.append((address, bytes(rng.randrange(256) for _ in range(n))))
            address += n
    vec = []
    for i, v in enumerate(VECTORS):
        target = functions[i % len(functions)]
        vec.append((v, bytes([0x02, target >> 8, target & 0xFF])))
    out = vec + out
    assert len(out) == records
    assert sum(len(d) for _, d in out) == data_bytes
    assert out[-1][0] == last_address
    return out


def hex_line(address, rtype, data):
    body = bytes([len(data), address >> 8, address & 0xFF, rtype]) + data
    checksum = (-sum(body)) & 0xFF
    return ":" + body.hex().upper() + "%02X" % checksum


def write(name, recs):
    with open(name, "w", newline="\n") as f:
        for address, data in recs:
            f.write(hex_line(address, 0, data) + "\n")
        f.write(hex_line(0, 1, b"") + "\n")


write("loader.hex", layout(1, 59, 792, 0x0400))
write("firmware.hex", layout(2, 297, 3703, 0x0EEA))
