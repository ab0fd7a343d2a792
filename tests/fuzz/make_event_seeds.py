#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_event_records: FetchEvents payloads (a u32
record count, then 88-byte records), the last byte choosing the mode."""
import os
import random
import struct
import uuid

out = os.path.join(os.path.dirname(__file__), "corpus", "fuzz_event_records")
os.makedirs(out, exist_ok=True)

CLASSES = [
    "650CC120-94B0-46EF-9C61-0520199E3232", "629096C0-FFB7-4998-8DFA-4C3923DBBEDC",
    "392545EB-C108-46C5-A45F-ABBBECDCA762", "90E49A68-52C8-47A9-B50B-4D2C6FA94B4B",
    "4B705BF7-2A71-47CE-B026-76263ADA8717", "D86DA798-3D7C-4507-859B-96B4F1137B79",
    "38D93923-FA17-417E-9BEE-DC6CCF4A4044", "412EDC53-66FD-4A6A-928A-22DAC88B1B23",
    "6060575F-4812-476E-AE55-D55F4236A6DC", "F91BDB3D-42A6-4CE2-916B-FAD3662DAC0E",
    "B3F80651-DD10-4E5A-9CCD-328980435E0F", "4B658109-9168-4390-838C-9F86E86251E3",
    "86B0E6FA-E61F-40DB-AE42-218223451D2B",
]


def record(guid, stamp, severity, data):
    head = uuid.UUID(guid).bytes_le + b"\xee" * 8 + struct.pack("<Q", stamp) + b"\xee" * 8
    return head + struct.pack("<I", severity) + bytes(data).ljust(44, b"\0")[:44]


def payload(records, count=None, fill=2124, mode=0):
    body = struct.pack("<I", len(records) if count is None else count) + b"".join(records)
    return body.ljust(fill - 1, b"\xff") + bytes([mode])


rng = random.Random(7)
stamp = 127229692290000000
every = []
for guid in CLASSES:
    for sub in range(1, 8):
        data = [rng.randrange(4), rng.randrange(4), sub, sub, rng.randrange(8)] + \
               [rng.randrange(256) for _ in range(39)]
        every.append(record(guid, stamp, sub % 4, data))
seeds = {
    "empty": b"",
    "count-only": struct.pack("<I", 0),
    "untouched-count": payload([], count=0xFFFFFFFF),
    "unknown-class": payload([record("01020304-0506-0708-090A-0B0C0D0E0F10", 0, 7, range(44))]),
    "short": payload(every[:3], count=3, fill=4 + 88 * 2 + 40),
}
for mode in range(0, 32, 3):
    chunk = every[(mode * 5) % len(every):][:20]
    seeds[f"classes-mode{mode}"] = payload(chunk, mode=mode)
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
