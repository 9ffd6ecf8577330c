#!/usr/bin/env python3
# An independent reader of the six variable-extension section layouts
# (configurations, units, values, attributes, dynamic arrays, bits), written
# from the layout descriptions rather than from the C++ reader. It is strict:
# every blank and line end must stand where the layout puts it, every number
# must be in range, and the text must end exactly after the last field.
#
# Usage: varext_layouts.py DIR
# Reads every DIR/<layout>_<n>.txt (layout: cfg, units, values, attribs,
# dynarrays, bits) and prints one line per file, sorted by file name:
# "<file> <summary numbers>" (see the summary of each parser). Exits 1 with
# a message at the first file that does not parse.
import os
import sys


class Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def fail(self, what):
        raise ValueError("%s at byte %d" % (what, self.pos))

    def digits(self):
        start = self.pos
        while self.pos < len(self.data) and self.data[self.pos:self.pos + 1].isdigit():
            self.pos += 1
        if self.pos == start:
            self.fail("number expected")
        return int(self.data[start:self.pos])

    def u(self):  # unsigned 32-bit
        v = self.digits()
        if v >= 1 << 32:
            self.fail("unsigned number out of range")
        return v

    def l(self):  # signed 32-bit
        neg = self.data[self.pos:self.pos + 1] == b"-"
        if neg:
            self.pos += 1
        v = -self.digits() if neg else self.digits()
        if not -(1 << 31) <= v < (1 << 31):
            self.fail("signed number out of range")
        return v

    def h(self):
        v = self.u()
        if v > 0xFFFF:
            self.fail("16-bit number out of range")
        return v

    def c(self):
        v = self.u()
        if v > 0xFF:
            self.fail("8-bit number out of range")
        return v

    def b(self):
        ch = self.data[self.pos:self.pos + 1]
        if ch not in (b"0", b"1"):
            self.fail("flag expected")
        self.pos += 1
        return ch == b"1"

    def expect(self, text):
        if self.data[self.pos:self.pos + len(text)] != text:
            self.fail("%r expected" % text)
        self.pos += len(text)

    def sp(self):
        self.expect(b" ")

    def nl(self):
        self.expect(b"\r\n")

    def end(self):
        if self.pos != len(self.data):
            self.fail("text after the last field")


def generic(r, key, value, unique=True):
    """count SP, then per entry key SP value SP; returns the entries."""
    n = r.u()
    r.sp()
    entries = []
    for _ in range(n):
        k = key(r)
        r.sp()
        v = value(r)
        r.sp()
        entries.append((k, v))
    if unique and len({k for k, _ in entries}) != n:
        r.fail("repeated key in a map")
    return entries


def var_key(r):
    a = r.l()
    r.sp()
    return (a, r.u())


def cfg_entries(r):
    return generic(r, Reader.u, Reader.l)


def group_value(r):
    text = r.l()
    r.sp()
    return (text, cfg_entries(r))


def parse_cfg(r):
    """summary: default, configurations, groups, group entries"""
    default = r.u()
    r.sp()
    cfgs = cfg_entries(r)
    r.sp()
    groups = generic(r, Reader.u, group_value)
    return [default, len(cfgs), len(groups), sum(len(g[1][1]) for g in groups)]


def pairs(r):
    n = r.u()
    r.nl()
    seen = set()
    for _ in range(n):
        k = r.l()
        r.sp()
        r.l()
        r.sp()
        seen.add(k)
    if len(seen) != n:
        r.fail("repeated key among the pairs")
    return n


def parse_units(r):
    """summary: limit, resolve pairs, quantities with units, units, default units"""
    limit = r.l()
    r.nl()
    resolve = pairs(r)
    used = r.u()
    r.nl()
    keys = set()
    units = 0
    for _ in range(used):
        keys.add(r.l())
        r.sp()
        length = r.u()
        r.sp()
        for _ in range(length):
            r.l()
            r.sp()
        units += length
        r.nl()
    if len(keys) != used:
        r.fail("repeated quantity among the possible units")
    r.nl()
    defaults = pairs(r)
    return [limit, resolve, used, units, defaults]


def records(r, fields):
    """summary: entries, entries with a record"""
    n = r.u()
    keys = set()
    present = 0
    for _ in range(n):
        r.sp()
        keys.add(var_key(r))
        r.sp()
        if r.b():
            present += 1
            for i, field in enumerate(fields):
                r.sp()
                field(r)
    if len(keys) != n:
        r.fail("repeated key")
    return [n, present]


def parse_values(r):
    return records(r, [Reader.u, Reader.l, Reader.l, Reader.u, Reader.u])


def parse_attribs(r):
    return records(r, [Reader.u, Reader.u, Reader.u, Reader.h, Reader.c])


def parse_dynarrays(r):
    """summary: entries"""
    return [len(generic(r, var_key, Reader.l, unique=False))]


def bit_type(r):
    s = r.l()
    r.sp()
    return (s, r.l())


def bit_entry(r):
    bit = r.l()
    r.sp()
    kind = r.l()
    r.sp()
    return (bit, kind, r.l())


def parse_bits(r):
    """summary: bit types, bit fields"""
    types = generic(r, Reader.l, bit_type)
    r.nl()
    fields = generic(r, var_key, bit_entry, unique=False)
    return [len(types), len(fields)]


PARSERS = {
    "cfg": parse_cfg,
    "units": parse_units,
    "values": parse_values,
    "attribs": parse_attribs,
    "dynarrays": parse_dynarrays,
    "bits": parse_bits,
}


def main():
    folder = sys.argv[1]
    for name in sorted(os.listdir(folder)):
        layout = name.rsplit("_", 1)[0]
        if not name.endswith(".txt") or layout not in PARSERS:
            continue
        with open(os.path.join(folder, name), "rb") as f:
            r = Reader(f.read())
        try:
            summary = PARSERS[layout](r)
            r.end()
        except ValueError as e:
            print("%s: %s" % (name, e))
            return 1
        print(name, " ".join(str(v) for v in summary))
    return 0


if __name__ == "__main__":
    sys.exit(main())
