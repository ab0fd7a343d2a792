#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_replies. An input is a decoder selector byte,
a flags byte (bit 0: extended adapter, bit 1: extended naming, bits 2-7: the
channel and device counts) and the reply payload. The payloads are those of
the reply streams of a discovery below (each driver call: a status byte, a
16-bit length and the payload), each written as a seed of every decoder."""
import os
import re
import random
import struct

out = os.path.join(os.path.dirname(__file__), "corpus", "fuzz_replies")
os.makedirs(out, exist_ok=True)


def reply(payload, selector=0):
    return bytes([selector]) + struct.pack("<H", len(payload)) + payload


def extended_adapter():
    s = reply(struct.pack("<HH", 2, 1))  # driver version 2.1
    info = struct.pack("<8I", 0x7420, 2, 2, 0, 11, 2, 4, 7) + struct.pack("<HH", 4, 1)
    info += b"bv7420r".ljust(128, b"\0")
    s += reply(info)
    for c in range(4):
        s += reply(struct.pack("<HHIIHHHHHBB", c, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0))
    ident = bytearray(512)
    ident[54:94] = b"SIM DISK".ljust(40)
    ident[164:166] = struct.pack("<H", 1)  # word 82 bit 0: SMART
    ident[170:172] = struct.pack("<H", 1)  # word 85 bit 0
    for slot in range(4):
        dev = struct.pack("<HHIIIHBBBB", slot, 1, 0x20, 0, 16, 0, slot, 0, 5, 1) + bytes(ident)
        s += reply(dev)
        s += reply(bytes(16) + bytes([0, 0, 0, 0x4F, 0xC2]))  # SMART status OK
    s += reply(struct.pack("<HHB", 2, 0, 0))  # RAID layer version
    s += reply(struct.pack("<HB", 1, 2))  # one spare on channel 2
    sets = struct.pack("<HH", 0, 1)
    sets += struct.pack("<IHBBBBBB", 0, 2, 1, 0, 2, 2, 0, 0)
    sets += struct.pack("<HBBBBH", 1, 0, 0, 0, 50, 0) + struct.pack("<HBBBBH", 2, 1, 1, 40, 50, 0)
    s += reply(sets + bytes(16))
    s += reply(bytes(16) + b"\x00" * 512)  # set disk identify
    s += reply(b"")  # GPIO interface
    s += reply(b"")  # GPIO status
    events = struct.pack("<I", 2) + bytes(range(88)) + bytes(88)
    s += reply(events)
    return s


def legacy_adapter():
    s = reply(struct.pack("<HH", 1, 5))
    info = struct.pack("<8I", 0x7210, 1, 1, 0, 10, 1, 3, 1)
    info += struct.pack("<4I", 3, 0x1F0, 0x3F6, 0xFFA0) + struct.pack("<4I", 1, 0x170, 0x376, 0xFFA8)
    s += reply(info)
    block = struct.pack("<IIIIB", 0x04, 0, 16, 0, 4).ljust(18, b"\0") + bytes(512)
    s += reply(struct.pack("<HH", 0, 4) + block * 4)
    return s


def payloads(stream):
    """The reply payloads of a stream, in order."""
    at = 0
    while at + 3 <= len(stream):
        length = struct.unpack_from("<H", stream, at + 1)[0]
        yield stream[at + 3:at + 3 + length]
        at += 3 + length


random.seed(7)
streams = {
    "empty": (b"", 0),
    "extended": (extended_adapter(), 1),
    "legacy": (legacy_adapter(), 0),
    "failing-calls": (bytes([0xEE]) * 16, 0),
    "error-codes": (bytes([0x8E, 0, 0]) * 40, 0),
    "noise": (bytes(random.getrandbits(8) for _ in range(4096)), 1),
}
# Old seeds go; inputs the fuzzer grew (named by their SHA-1) stay.
for old in os.listdir(out):
    if not re.fullmatch("[0-9a-f]{40}", old):
        os.remove(os.path.join(out, old))
seeds = {}
for name, (stream, flags) in streams.items():
    seen = set()
    for i, payload in enumerate(payloads(stream)):
        if payload in seen or name == "noise":
            continue
        seen.add(payload)
        for selector in (0, 1, 2, 3, 4, 5, 6, 8, 9):
            counts = (4 << 2) | (1 << 5) if flags else (2 << 2) | (2 << 5)
            seeds["%s-%02d-decoder%d" % (name, i, selector)] = (
                bytes([selector, flags | counts]) + payload)
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
