#!/usr/bin/env python3
# Checks the sysvar digests of instance containers with hashlib, written
# from the digest rule and the VARIANT hashing rule rather than from the
# C++ code. Each input line holds the GUID texts of the offline version (A),
# the online signature (B) and the structure version (C), then one record
# per address with a value, ascending: "adr:online:structure:TYPE:value".
# Per record A gets the address (u32 little-endian) and the value as a
# VARIANT: its type (u32; INT VT_I2 = 2, DINT VT_I4 = 3, REAL VT_R4 = 4,
# LREAL VT_R8 = 5) and its bytes (2, 4, float, double); an online record
# feeds C (when structure-relevant) and then B the same bytes. The GUID
# holds the 16 digest bytes in memory order.
#
# Usage: sysvar_digest.py FILE. Prints "<n> digests match" or exits 1 at
# the first line that differs.
import hashlib
import struct
import sys
import uuid

VARIANT = {
    "INT": (2, lambda v: struct.pack("<h", int(v))),
    "DINT": (3, lambda v: struct.pack("<i", int(v))),
    "REAL": (4, lambda v: struct.pack("<f", v)),
    "LREAL": (5, lambda v: struct.pack("<d", v)),
}


def guid(data):
    return "{" + str(uuid.UUID(bytes_le=hashlib.md5(data).digest())).upper() + "}"


def main():
    count = 0
    with open(sys.argv[1]) as f:
        for n, line in enumerate(f, 1):
            words = line.split()
            a = b = c = b""
            for rec in words[3:]:
                adr, online, structure, kind, value = rec.split(":")
                vt, pack = VARIANT[kind]
                data = struct.pack("<II", int(adr) & 0xFFFFFFFF, vt) + pack(float(value))
                a += data
                if online == "1":
                    if structure == "1":
                        c += data
                    b += data
            want = [guid(a), guid(b), guid(c)]
            if want != words[:3]:
                print("line %d: computed %s, script %s" % (n, " ".join(words[:3]), " ".join(want)))
                sys.exit(1)
            count += 1
    print("%d digests match" % count)


main()
