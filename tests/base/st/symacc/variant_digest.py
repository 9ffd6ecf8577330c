#!/usr/bin/env python3
# Checks the digests of the VARIANTs that constant values convert to without
# a context, built here from the hashing rules alone: the type as u32, then
# VT_UI1 zero-extended and VT_I1 sign-extended to u32, VT_I2/VT_UI2 as u16,
# VT_I4/VT_UI4/VT_R4 as u32, VT_R8 as u64, a BSTR as its UTF-16LE units; an
# array as the dimension count (u32), the element type (u16), per dimension
# the upper bound and 0 (u32 each, for a non-negative upper bound), then the
# element size (u32), and no elements. MD5, bytes in memory order.
#
# Usage: variant_digest.py FILE with lines "<case> <hex digest>". Prints
# "<n> digests match" or exits 1 at the first difference.
import hashlib
import struct
import sys


def u16(v):
    return struct.pack('<H', v & 0xFFFF)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def ui1(v):
    return u32(17) + u32(v)


def bstr(t):
    return u32(8) + t.encode('utf-16-le')


CASES = {
    'T1': ui1(1),
    'T2': ui1(0xAB),
    'T10': ui1(200),
    'T3': u32(18) + u16(0xBEEF),
    'T11': u32(18) + u16(65535),
    'T4': u32(19) + u32(0xDEADBEEF),
    'T12': u32(19) + u32(4000000000),
    'T6': u32(16) + u32(-5),
    'T7': u32(2) + u16(-300),
    'T8': u32(3) + u32(-70000),
    'T14': u32(4) + struct.pack('<f', 1.5),
    'T15': u32(5) + struct.pack('<d', -2.25),
    'T16': bstr('TO#NIL'),
    'T17': u32(3) + u32(0x1234),
    'T18': bstr('T#1s'),
    'T19': bstr('D#2001-02-03'),
    'T20': bstr('TOD#12:34:56'),
    'T21': bstr('DT#2001-02-03-12:34:56'),
    'T22': bstr('STRUCTALARMID#7'),  # alarm id 7 named without a host
    'T23': u32(19) + u32(9),         # task id 9 keeps its number
    # {DINT, {BOOL, STRING}}: VT_ARRAY|VT_VARIANT, 1 dimension, VT_VARIANT,
    # upper bound 1, element size 16.
    'STRUCT': u32(0x200C) + u32(1) + u16(12) + u32(1) + u32(0) + u32(16),
    'DINT5': bytes([3, 0, 0, 0, 5, 0, 0, 0]),
}


def main():
    n = 0
    with open(sys.argv[1]) as f:
        for line in f:
            name, digest = line.split()
            want = hashlib.md5(CASES[name]).hexdigest()
            if want != digest:
                print('%s: computed %s, expected %s' % (name, digest, want))
                return 1
            n += 1
    print('%d digests match' % n)
    return 0


sys.exit(main())
