#!/usr/bin/env python3
# Checks the configuration version of alarm lists with hashlib, written from
# the layout and the digest rule rather than from the C++ code: each input
# line is the GUID text of the computed version, a blank, and the saved
# alarm list in text mode (its "\r\n" kept). The digest is MD5 over, per
# alarm in ascending id order, the id, the four global values and the
# (index, value) pairs of the local reactions and then of the local
# parameters, each as u32 little-endian; the GUID holds the 16 digest bytes
# in memory order (Data1, Data2, Data3 little-endian).
#
# Usage: alarm_digest.py FILE. Prints "<n> digests match" or exits 1 at the
# first line that differs.
import hashlib
import struct
import sys
import uuid


def words(text):
    return [int(w) for w in text.split()]


def digest_of(alarm_list):
    w = words(alarm_list)
    pos = 0

    def take():
        nonlocal pos
        pos += 1
        return w[pos - 1]

    alarms = {}
    for _ in range(take()):
        alarm_id = take()
        globals_ = [take() for _ in range(4)]
        reactions = [(take(), take()) for _ in range(take())]
        params = [(take(), take()) for _ in range(take())]
        alarms[alarm_id] = (globals_, sorted(reactions), sorted(params))
    if pos != len(w):
        raise ValueError("trailing words")
    data = b""
    for alarm_id in sorted(alarms):
        g, r, p = alarms[alarm_id]
        vals = [alarm_id] + g + [x for pair in r + p for x in pair]
        data += b"".join(struct.pack("<I", v & 0xFFFFFFFF) for v in vals)
    return uuid.UUID(bytes_le=hashlib.md5(data).digest())


def main():
    lines = open(sys.argv[1], "rb").read().decode("ascii").split("\n")
    n = 0
    for line in lines:
        if not line:
            continue
        guid, alarm_list = line.split(" ", 1)
        expected = digest_of(alarm_list)
        if uuid.UUID(guid.strip("{}")) != expected:
            print("line %d: %s, hashlib gives {%s}" % (n + 1, guid, str(expected).upper()))
            sys.exit(1)
        n += 1
    print("%d digests match" % n)


main()
