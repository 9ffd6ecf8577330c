#!/usr/bin/env python3
"""Independent oracle of the elementary constants, written apart from the
C++ code: prints one expected case per line for the constant tests to check.

  date <day> <YYYY-MM-DD>                      every day 1992-01-01 .. 2200-12-31
  time <ms> <T#...>                            TIME texts of random 32-bit values
  conv <src> <literal> <target> <status> [<raw u64 hex> <sign>]
                                               integer rows of the conversion
  round <src> <bits hex> <target> <status> [<raw u64 hex> <sign>]
                                               REAL / LREAL to integers, ties to even

Day numbers come from the datetime module, floats from struct, rounding from
Python's round (ties to even). Usage: const_oracle.py [seed]
"""
import datetime
import random
import struct
import sys

BOOL, BYTE, WORD, DWORD, SINT, INT, DINT, USINT, UINT, UDINT = 1, 2, 3, 4, 6, 7, 8, 10, 11, 12
REAL, LREAL, TIME = 14, 15, 18
WIDTH = {BOOL: 1, BYTE: 1, SINT: 1, USINT: 1, WORD: 2, INT: 2, UINT: 2,
         DWORD: 4, DINT: 4, UDINT: 4, TIME: 4, REAL: 4}
UNSIGNED = {BOOL, BYTE, USINT, WORD, UINT, DWORD, UDINT}
SIGNED = {SINT, INT, DINT}
INTEGERS = UNSIGNED | SIGNED
TARGETS = [BOOL, BYTE, WORD, DWORD, SINT, INT, DINT, USINT, UINT, UDINT, REAL, LREAL, TIME, 16, 19, 30]


def f32_bits(x):
    return struct.unpack('<I', struct.pack('<f', x))[0]


def f64_bits(x):
    return struct.unpack('<Q', struct.pack('<d', x))[0]


def dates():
    base = datetime.date(1992, 1, 1)
    end = datetime.date(2200, 12, 31)
    day = 1
    d = base
    while d <= end:
        print('date %d %04d-%02d-%02d' % (day, d.year, d.month, d.day))
        d += datetime.timedelta(days=1)
        day += 1


def time_text(ms):
    parts = [(ms // 86400000, 'd'), (ms // 3600000 % 24, 'h'), (ms // 60000 % 60, 'm'), (ms // 1000 % 60, 's')]
    t = 'T#' + ''.join('%d%s' % (v, u) for v, u in parts if v)
    if ms % 1000 or ms < 1000:
        t += '%dms' % (ms % 1000)
    return t


def times(rng):
    for ms in [0, 1, 999, 1000, 86400000, 0xFFFFFFFF] + [rng.randrange(1 << 32) for _ in range(3000)]:
        print('time %d %s' % (ms, time_text(ms)))


def convert(src, sign, mag, tgt):
    """Returns (status, raw, sign) of converting an integer or TIME value."""
    if tgt == src or tgt == 30:
        return None
    w = WIDTH[src]
    if sign == 0:
        sign = 1
        if src in SIGNED and mag >> (8 * w - 1):
            sign, mag = -1, (1 << 8 * w) - mag
    value = -mag if sign < 0 else mag
    if src in UNSIGNED and sign < 0:
        return (2,)
    if tgt in (REAL, LREAL):
        if src == TIME and tgt == LREAL:
            return (3,)
        if src == DWORD and tgt == REAL:
            f = struct.unpack('<f', struct.pack('<I', mag))[0]
            if f != f or f in (float('inf'), float('-inf')):
                return (4,)
            return (0, f32_bits(f), 1)
        if tgt == REAL:
            return (0, f32_bits(float(value)), 1)
        return (0, f64_bits(float(value)), 1)
    if src == TIME:
        allowed = {INT, UDINT}
    elif src in UNSIGNED:
        allowed = {BYTE, SINT, USINT, WORD, INT, UINT, DWORD, DINT, UDINT}
        if src != BOOL:
            allowed.add(BOOL)
        if w == 4:
            allowed.add(TIME)
    elif src == SINT:
        allowed = {BYTE, USINT, WORD, UINT, DWORD, UDINT, INT, DINT}
    elif src == INT:
        allowed = {BYTE, SINT, USINT, WORD, UINT, DWORD, UDINT, TIME, DINT}
    else:
        allowed = {BYTE, SINT, USINT, WORD, INT, UINT, DWORD, UDINT}
    if tgt not in allowed:
        return (3,)
    if tgt == BOOL:
        return (0, mag & 1, 1)
    if tgt in SIGNED and src in SIGNED and WIDTH[tgt] > w:
        return (0, mag, sign)  # widening to a signed type keeps sign and magnitude
    if src == SINT:
        return (0, value & 0xFF, 1)  # the byte, zero-extended
    if src == INT and tgt in (DWORD, UDINT, TIME):
        return (0, value & 0xFFFF, 1)
    return (0, value & ((1 << 8 * WIDTH[tgt]) - 1), 1)


def literal(src, sign, mag):
    if sign == 0:
        return '16#%X' % mag
    return ('-%d' if sign < 0 else '%d') % mag


def conversions(rng):
    for src in sorted(INTEGERS | {TIME}):
        w = WIDTH[src]
        for _ in range(40):
            top = 1 << 8 * w
            if src == BOOL:
                sign, mag = 1, rng.randrange(2)
            elif src in SIGNED:
                sign = rng.choice([-1, 0, 1])
                mag = rng.randrange(1, top // 2 + 1) if sign < 0 else rng.randrange(top // 2 if sign > 0 else top)
            else:
                sign, mag = 1, rng.choice([0, 1, top - 1, rng.randrange(top)])
            for tgt in TARGETS:
                r = convert(src, sign, mag, tgt)
                if r is None:
                    continue
                tail = ' %x %d' % (r[1], r[2]) if r[0] == 0 else ''
                print('conv %d %s %d %d%s' % (src, literal(src, sign, mag), tgt, r[0], tail))


RANGES = {DINT: (-2147483648, 2147483647), BYTE: (0, 255), USINT: (0, 255), WORD: (0, 65535),
          UINT: (0, 65535), UDINT: (0, 4294967295), DWORD: (0, 4294967295), SINT: (-128, 127), INT: (-32768, 32767)}


def rounding(rng):
    samples = [0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 127.5, 128.5, -128.5, -129.0, 255.5, 65535.5, 3.5,
               2147483647.0, -2147483648.0, 4294967295.0, 4294967296.0, 1e10, -1e-3]
    samples += [rng.randrange(-70000, 70000) + rng.choice([0.5, 0.25, 0.75, 0.0]) for _ in range(150)]
    for src in (REAL, LREAL):
        for v in samples:
            if src == REAL:
                v = struct.unpack('<f', struct.pack('<f', v))[0]
                bits = f32_bits(v)
            else:
                bits = f64_bits(v)
            for tgt, (lo, hi) in sorted(RANGES.items()):
                if src == REAL and tgt == DWORD:
                    continue
                if src == LREAL and tgt == TIME:
                    continue
                k = round(v)
                if not lo <= k <= hi:
                    print('round %d %x %d 4' % (src, bits, tgt))
                    continue
                print('round %d %x %d 0 %x %d' % (src, bits, tgt, abs(k), -1 if k < 0 else 1))


def main():
    rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 1207)
    dates()
    times(rng)
    conversions(rng)
    rounding(rng)


if __name__ == '__main__':
    main()
