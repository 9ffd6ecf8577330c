#!/usr/bin/env python3
"""Independent reader of the boot-function section "boot" (text mode).

Written from the record layout of the format, not from the C++ readers: it
parses the section strictly (every count, blank and line end where the
format puts it), writes the parsed content back and requires the very same
bytes. Given the symbol table "bfsymb" of the same compile, it also checks
that every SID of "boot" (types, tokens, symbols, sub-functions, attributes)
names an entry of the table and every CID a constant of it.

Usage:
  boot_reader.py BOOT [BFSYMB]     the sections as files
  boot_reader.py --ole FILE        both sections of a compound file (olefile)
  boot_reader.py --self-test       the built-in cases
Prints a one-line summary and exits 0, or names the first fault and exits 1.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "base", "st", "stsymtab"))
import symtab_reader  # noqa: E402

INVALID = 0xFFFFFFFF
NL = b"\r\n"


Bad = symtab_reader.Bad


class Reader(symtab_reader.Reader):
    """Reads numbers and texts at exact positions."""

    def number(self, lo, hi):
        start = self.p
        if self.p < len(self.d) and self.d[self.p:self.p + 1] == b"-":
            self.p += 1
        while self.p < len(self.d) and self.d[self.p:self.p + 1].isdigit():
            self.p += 1
        digits = self.d[start:self.p]
        if digits in (b"", b"-"):
            raise Bad("number expected at byte %d" % start)
        v = int(digits)
        if not lo <= v <= hi:
            raise Bad("number %d out of %d..%d at byte %d" % (v, lo, hi, start))
        return v

    def u32(self):
        return self.number(0, INVALID)

    def i32(self):
        return self.number(-0x80000000, 0x7FFFFFFF)

    def u16(self):
        return self.number(0, 0xFFFF)

    def flag(self):
        return self.number(0, 1)

    def text(self):
        n = self.u32()
        self.expect(b" ")
        s = self.d[self.p:self.p + n]
        if len(s) != n:
            raise Bad("text cut short at byte %d" % self.p)
        self.p += n
        return s

    def expect(self, sep):
        if self.d[self.p:self.p + len(sep)] != sep:
            raise Bad("%r expected at byte %d, found %r" % (sep, self.p, self.d[self.p:self.p + 8]))
        self.p += len(sep)

    def done(self):
        if self.p != len(self.d):
            raise Bad("%d bytes after the address table" % (len(self.d) - self.p))


def ascending(keys, what, strict=True):
    for a, b in zip(keys, keys[1:]):
        if a > b or (strict and a == b):
            raise Bad("%s not in ascending order: %d before %d" % (what, a, b))


def group(r, *fields):
    """A count, a blank, then per row each field followed by a blank."""
    n = r.u32()
    r.expect(b" ")
    rows = []
    for _ in range(n):
        row = []
        for field in fields:
            row.append(field())
            r.expect(b" ")
        rows.append(tuple(row))
    return rows


def read_boot(data):
    r = Reader(data)
    types = []
    count = r.u32()
    r.expect(NL)
    for _ in range(count):
        sid = r.u32()
        r.expect(NL)
        t = {"key": sid, "sid": r.u32()}
        r.expect(b" ")
        t["name"] = r.text()
        r.expect(b" ")
        t["vr"] = r.u32()
        r.expect(b" ")
        t["nr"] = r.u32()
        r.expect(NL)
        t["sets"] = []
        n = r.u32()
        r.expect(b" ")
        for _ in range(n):
            cs = r.u16()
            r.expect(NL)
            tokens = group(r, r.i32, r.u32, r.u32)
            r.expect(b" ")
            t["sets"].append((cs, tokens))
        r.expect(NL)
        t["symbols"] = group(r, r.u32, r.u32)
        r.expect(NL)
        t["subfkts"] = group(r, r.u32, r.flag, r.flag)
        r.expect(NL)
        t["attribs"] = group(r, r.u32, r.i32)
        r.expect(NL)
        if t["key"] != t["sid"]:
            raise Bad("type listed under SID %d carries SID %d" % (t["key"], t["sid"]))
        for cs, tokens in t["sets"]:
            for kind, _sid, _cid in tokens:
                if kind not in (0, 1):
                    raise Bad("token kind %d in CS %d" % (kind, cs))
        for s, a in t["attribs"]:
            if a not in (0, 1, 2):
                raise Bad("access %d of SID %d" % (a, s))
        ascending([row[0] for row in t["symbols"]], "symbols of %r" % t["name"], strict=False)
        ascending([row[0] for row in t["subfkts"]], "sub-functions of %r" % t["name"])
        ascending([row[0] for row in t["attribs"]], "attributes of %r" % t["name"])
        types.append(t)
    ascending([t["key"] for t in types], "types")
    n = r.u32()
    r.expect(NL)
    addresses = []
    for _ in range(n):
        k = r.u32()
        r.expect(b" ")
        a = r.u32()
        r.expect(b" ")
        addresses.append((k, a))
    r.done()
    ascending([k for k, _ in addresses], "address keys")
    return types, addresses


def num(v):
    return str(v).encode()


def put_group(out, rows):
    out += [num(len(rows)), b" "]
    for row in rows:
        for v in row:
            out += [num(v), b" "]


def write_boot(types, addresses):
    out = [num(len(types)), NL]
    for t in types:
        out += [num(t["key"]), NL, num(t["sid"]), b" ", num(len(t["name"])), b" ", t["name"], b" ",
                num(t["vr"]), b" ", num(t["nr"]), NL]
        out += [num(len(t["sets"])), b" "]
        for cs, tokens in t["sets"]:
            out += [num(cs), NL]
            put_group(out, tokens)
            out.append(b" ")
        out.append(NL)
        for name in ("symbols", "subfkts", "attribs"):
            put_group(out, t[name])
            out.append(NL)
    out += [num(len(addresses)), NL]
    for k, a in addresses:
        out += [num(k), b" ", num(a), b" "]
    return b"".join(out)


def table_ids(table):
    """The SIDs of the entries and the CIDs of the constants of "bfsymb"."""
    details = {}
    symtab_reader.read_table(table, details)
    return details["entries"], details["consts"]


def check_against_table(types, entries, consts):
    """Every SID of "boot" names an entry of "bfsymb", every CID a constant;
    answers the number of tokens."""

    def sid_known(sid, what):
        if sid not in entries:
            raise Bad("%s names SID %d, which \"bfsymb\" lacks" % (what, sid))

    def cid_known(cid, what):
        if cid != INVALID and cid not in consts:
            raise Bad("%s names CID %d, which \"bfsymb\" lacks" % (what, cid))

    tokens = 0
    for t in types:
        name = t["name"].decode("latin-1")
        sid_known(t["sid"], "type %s" % name)
        for cs, toks in t["sets"]:
            for kind, sid, cid in toks:
                tokens += 1
                if kind == 1:
                    sid_known(sid, "a token of %s, CS %d" % (name, cs))
                elif sid != INVALID:
                    raise Bad("a constant token of %s carries SID %d" % (name, sid))
                cid_known(cid, "a token of %s, CS %d" % (name, cs))
        for s, c in t["symbols"]:
            sid_known(s, "a symbol of %s" % name)
            cid_known(c, "a symbol of %s" % name)
        for s, _u, _r in t["subfkts"]:
            sid_known(s, "a sub-function of %s" % name)
        for s, _a in t["attribs"]:
            sid_known(s, "an attribute of %s" % name)
    return tokens


def check(boot, table=None):
    types, addresses = read_boot(boot)
    again = write_boot(types, addresses)
    if again != boot:
        at = next((i for i, (a, b) in enumerate(zip(boot, again)) if a != b), min(len(boot), len(again)))
        raise Bad("written back differently from byte %d" % at)
    summary = "types %d sets %d addresses %d" % (
        len(types), sum(len(t["sets"]) for t in types), len(addresses))
    if table is not None:
        summary += " tokens %d named in bfsymb" % check_against_table(types, *table_ids(table))
    return summary


# --- built-in cases, written by hand from the format ---

# The empty declaration block: the main type alone.
EMPTY = (b"1\r\n5\r\n5 11 @BfMainType 0 2\r\n1 0\r\n0  \r\n0 \r\n0 \r\n0 \r\n0\r\n")
# Two types, tokens of both kinds, a repeated symbol, sub-functions, attributes
# and an address table.
RICH = (b"2\r\n"
        b"12\r\n12 5 drive 3 4\r\n"
        b"2 7\r\n2 1 13 1 0 4294967295 2  16\r\n1 1 14 4294967295  \r\n"
        b"3 13 1 14 4294967295 14 4294967295 \r\n"
        b"1 15 1 0 \r\n"
        b"2 13 1 14 2 \r\n"
        b"20\r\n20 9 name with 6 7\r\n0 \r\n0 \r\n0 \r\n0 \r\n"
        b"2\r\n1 2147483648 2 16 ")
BAD = [
    (b"1\r\n5\r\n5 11 @BfMainType 0 2\r\n1 0\r\n0 \r\n0 \r\n0 \r\n0 \r\n0\r\n", "blank after a set missing"),
    (EMPTY[:-2], "cut short"),
    (EMPTY + b" ", "bytes after the end"),
    (EMPTY.replace(b"5 11", b"6 11"), "type under another SID"),
    (RICH.replace(b"0 4294967295 2  16", b"0 4294967295 9  16"), None),  # another CID: still well formed
    (RICH.replace(b"0 4294967295 2  16", b"3 4294967295 2  16"), "token kind 3"),
    (RICH.replace(b"2 13 1 14 2", b"2 13 1 14 3"), "access 3"),
    (RICH.replace(b"1 15 1 0", b"1 15 2 0"), "flag 2"),
    (RICH.replace(b"16\r\n1 1", b"65536\r\n1 1"), "cs beyond 16 bits"),
    (RICH.replace(b"2 13 1 14 2", b"2 14 1 13 2"), "attributes out of order"),
    (RICH.replace(b"1 2147483648 2 16", b"2 2147483648 1 16"), "address keys out of order"),
    (RICH.replace(b"9 name with", b"99 name with"), "text longer than the section"),
]


def self_test():
    for text in (EMPTY, RICH):
        check(text)
    for text, why in BAD:
        try:
            check(text)
        except (Bad, ValueError):
            if why is None:
                raise Bad("a well-formed variant was refused")
            continue
        if why is not None:
            raise Bad("accepted: %s" % why)
    # The cross check: entries for each SID but the token's 14, then for
    # each but the sub-function's 15.
    types, _ = read_boot(RICH)
    for entries, missing in (({12, 13, 15, 20}, "SID 14"), ({12, 13, 14, 20}, "SID 15"),
                             ({12, 13, 14, 15, 20}, None)):
        try:
            tokens = check_against_table(types, entries, {1, 2})
        except Bad as e:
            if missing is None or missing not in str(e):
                raise
            continue
        if missing is not None:
            raise Bad("%s was not missed" % missing)
        if tokens != 3:
            raise Bad("token count %d" % tokens)
    return "self-test: %d cases" % (2 + len(BAD) + 3)


def main(argv):
    try:
        if len(argv) == 2 and argv[1] == "--self-test":
            print(self_test())
        elif len(argv) == 3 and argv[1] == "--ole":
            import olefile
            ole = olefile.OleFileIO(argv[2])
            print(check(ole.openstream("boot").read(), ole.openstream("bfsymb").read()))
        elif len(argv) in (2, 3):
            with open(argv[1], "rb") as f:
                boot = f.read()
            table = None
            if len(argv) == 3:
                with open(argv[2], "rb") as f:
                    table = f.read()
            print(check(boot, table))
        else:
            print(__doc__)
            return 2
    except (Bad, ValueError) as e:
        print("inconsistent: %s" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
