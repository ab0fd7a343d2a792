#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_registry_values: a first byte whose low bit
picks kestrune-reg's output (1) or the settings' load (0), then per value read, a status
byte (0 missing, 1 store failure, else found), a type byte (1 REG_SZ, 4
REG_DWORD), a 16-bit length and the data, for the seventeen settings in
their load order."""
import os
import re
import struct

out = os.path.join(os.path.dirname(__file__), "corpus", "fuzz_registry_values")
os.makedirs(out, exist_ok=True)


def value(data, kind=1, status=2):
    return bytes([status, kind]) + struct.pack("<H", len(data)) + data


def sz(text):
    return value(text.encode("utf-16-le") + b"\0\0")


def dword(number):
    return value(struct.pack("<I", number), 4)


ORDER = ["sz"] * 5 + ["dw"] + ["sz"] * 4 + ["dw", "sz", "sz", "sz", "sz", "sz", "dw"]
TEXTS = ["mail.lab.example", "/var/log/kestrune/", "errlgr.txt", "TRUE", "FALSE", None, "FALSE",
         "raid@lab.example", "", "Kestrune - Configuration", None, "Kestrune - Event",
         "ops@lab.example;", "Disabled", "/sounds/w.wav", "Disabled", None]


def stored(texts):
    data = b""
    for kind, text in zip(ORDER, texts):
        data += dword(3) if kind == "dw" else sz(text)
    return data


seeds = {
    "all-stored": stored(TEXTS),
    "long-text": sz("x" * 219) + sz("y" * 220) + value(b"\x41", 1) + value(b"\0\xd8\0\0"),
    "wrong-types": dword(1) + value(b"abc", 3) + sz("TRUE")[:-2] + value(b"\1\2\3", 4),
    "missing-and-failing": value(b"", 1, 0) + value(b"", 1, 1) * 16,
}
# Old seeds go; inputs the fuzzer grew (named by their SHA-1) stay.
for old in os.listdir(out):
    if not re.fullmatch("[0-9a-f]{40}", old):
        os.remove(os.path.join(out, old))
for name, data in seeds.items():
    for reader, first in (("settings", 0), ("reg", 1)):
        with open(os.path.join(out, "%s-%s" % (reader, name)), "wb") as f:
            f.write(bytes([first]) + data)
