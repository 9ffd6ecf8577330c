#!/usr/bin/env python3
"""Independent reader of a symbol-table text (section-stream text mode).

Written from the field lists of the format, not from the C++ readers: it
parses a saved table to its end and checks that every count, kind and id
is consistent. Prints a one-line summary and exits 0, or names the first
inconsistency and exits 1.

Usage: symtab_reader.py FILE
"""
import sys

SEPARATORS = b"\x00\t\n\r "
INVALID = 0xFFFFFFFF


class Bad(Exception):
    pass


class Reader:
    def __init__(self, data):
        self.d = data
        self.p = 0

    def token(self):
        d, n = self.d, len(self.d)
        while self.p < n and d[self.p] in SEPARATORS:
            self.p += 1
        if self.p >= n:
            raise Bad("unexpected end at byte %d" % self.p)
        start = self.p
        while self.p < n and d[self.p] not in SEPARATORS:
            self.p += 1
        tok = d[start:self.p]
        if self.p < n:
            self.p += 1  # the separator that ended the token
        return tok

    def u32(self):
        v = int(self.token())
        if not 0 <= v <= INVALID:
            raise Bad("u32 out of range: %d" % v)
        return v

    def i32(self):
        v = int(self.token())
        if not -0x80000000 <= v <= 0x7FFFFFFF:
            raise Bad("i32 out of range: %d" % v)
        return v

    def flag(self):
        v = int(self.token())
        if v not in (0, 1):
            raise Bad("flag %d" % v)
        return v

    def real(self):
        return float(self.token())

    def text(self):
        """A String: length, one blank, then exactly that many characters."""
        n = self.u32()
        s = self.d[self.p:self.p + n]
        if len(s) != n:
            raise Bad("text cut short")
        self.p += n
        return s

    def guid(self):
        g = self.token()
        if not (g.startswith(b"{") and g.endswith(b"}") and len(g) == 38):
            raise Bad("GUID %r" % g)
        return g

    def at_end(self):
        return all(c in SEPARATORS for c in self.d[self.p:])


# --- constants: elementary value part by type id ---
U8, U16, U32 = (1, 2, 6, 10), (3, 7, 11), (4, 8, 12, 17, 18, 19, 20, 22, 23, 31)


def std_value(r):
    tid = r.i32()
    r.i32()  # sign
    if tid in U8 or tid in U16 or tid in U32:
        r.u32()
    elif tid == 14 or tid in (15, 32):
        r.real()
    elif tid == 16:
        r.u32(); r.u32(); r.u32()
    elif tid == 21:
        r.u32(); r.u32()
    elif not (0 <= tid <= 35):
        raise Bad("elementary type id %d" % tid)


def body(r, kind, depth=0):
    """The complete body of a value of the kind (shared flag .. address)."""
    if depth > 200:
        raise Bad("nesting too deep")
    r.flag()
    if kind == 0:
        std_value(r)
    elif kind == 1:
        r.u32()  # TID
        n = r.i32()
        if n < 0:
            raise Bad("member count %d" % n)
        for _ in range(n):
            body(r, member_kind(r), depth + 1)
    elif kind == 2:
        r.u32()
        if len(r.text()) > 254:
            raise Bad("string constant above 254 characters")
    elif kind in (3, 4):
        int_array(r, depth)
        if kind == 4:
            r.u32()       # type
            r.guid()
            r.u32(); r.u32()
            r.i32()       # FCT
    else:
        raise Bad("constant kind %d" % kind)
    r.i32()  # storage address


def member_kind(r):
    k = r.i32()
    if not 0 <= k <= 4:
        raise Bad("member kind %d" % k)
    return k


def int_array(r, depth):
    n = r.i32()
    r.i32()  # esize
    if n != 0:
        body(r, member_kind(r), depth + 1)


# --- entries ---
FRAME_KINDS = (6, 7, 8, 9, 11, 12, 13, 14, 17)
VAR_KINDS = (3, 4, 5, 19)


def frame(r):
    for _ in range(3):
        r.u32()
    for _ in range(3):
        r.i32()


def const_part(r, kind, mode):
    r.u32()  # init CID
    if mode == 1 and kind in (1, 2):
        r.u32(); r.i32()
        if kind == 1:
            r.u32()


def entry(r, kind, mode):
    """Returns (sid, prev, next, vr, nr) of the entry."""
    r.i32()  # storage address
    sid, prev, nxt, _tid, vr, nr = (r.u32() for _ in range(6))
    if kind in (1, 2) or kind in VAR_KINDS:
        const_part(r, kind, mode)
    if kind == 1:
        pass
    elif kind == 2:
        r.u32(); r.u32()
    elif kind in VAR_KINDS:
        r.u32(); r.i32(); r.u32()
        if kind == 4:
            r.u32(); r.i32(); r.flag(); r.u32()
        elif kind == 5:
            r.u32()
        elif kind == 19:
            r.flag(); r.i32()
    elif kind in FRAME_KINDS:
        frame(r)
        if kind in (6, 7, 8):
            r.i32(); r.u32(); r.u32(); r.i32(); r.flag()
            if kind in (7, 8):
                r.u32()
        elif kind == 9:
            r.u32(); r.u32(); r.i32()
        elif kind in (11, 12, 14):
            r.u32()
        elif kind == 17:
            r.i32(); r.u32()
    elif kind == 16:
        r.u32()
    elif kind == 18:
        r.u32(); r.i32(); r.guid()
    elif kind == 20:
        r.i32()
    elif kind == 21:
        r.u32(); r.u32()
    elif kind not in (10, 15):
        raise Bad("entry kind %d" % kind)
    return sid, prev, nxt, vr, nr


def id_list(r):
    return [r.u32() for _ in range(r.u32())]


def type_node(r, kind):
    r.u32()  # TID
    id_list(r)
    r.u32(); r.i32()
    if kind in (0, 1, 2):
        r.i32()
        if kind == 1:
            r.u32(); r.u32()
        elif kind == 2:
            id_list(r)
    elif kind == 3:
        code = r.i32()
        if code not in (60, 70):
            raise Bad("array code %d" % code)
        lo, hi = r.i32(), r.i32()
        if hi < lo:
            raise Bad("array bounds %d..%d" % (lo, hi))
    elif kind == 5:
        id_list(r)
        r.u32(); r.u32(); r.i32(); r.u32()
    elif kind != 4:
        raise Bad("node kind %d" % kind)


def ranges(r):
    recs = {}
    for _ in range(r.u32()):
        rid, parent = r.u32(), r.u32()
        recs[rid] = parent
    for rid, parent in recs.items():
        if parent != INVALID and parent not in recs:
            raise Bad("range %d has unknown parent %d" % (rid, parent))
    return recs


def read_table(data, details=None):
    """Checks a table; details, when given, receives its "entries" (SID to
    the entry's ids) and "consts" (CID to the constant's kind)."""
    r = Reader(data)
    version = r.text()
    if version not in (b"symbol-table__V4.1", b"symbol-table__V0.16"):
        raise Bad("version %r" % version)
    new = version.endswith(b"V4.1")
    names = {}
    for _ in range(r.u32()):
        name = r.text()
        if name in names:
            raise Bad("name %r twice" % name)
        names[name] = r.u32()
    types = {}
    for _ in range(r.u32()):
        tid, kind = r.u32(), r.i32()
        type_node(r, kind)
        types[tid] = kind
    entries = {}
    for _ in range(r.u32()):
        sid, header = r.u32(), r.u32()
        kind, mode = header & 0xFFFF, header >> 16
        if not 1 <= kind <= 21:
            raise Bad("entry kind %d" % kind)
        if mode != (1 if new and kind in (1, 2) else 0):
            raise Bad("header 0x%X in the %s format" % (header, "new" if new else "old"))
        got = entry(r, kind, mode)
        if got[0] != sid:
            raise Bad("entry %d carries SID %d" % (sid, got[0]))
        if sid in entries:
            raise Bad("SID %d twice" % sid)
        entries[sid] = got
    consts = {}
    count = r.u32()
    for _ in range(count):
        cid, kind = r.u32(), r.i32()
        if kind == 3 or not 0 <= kind <= 4:
            raise Bad("table constant kind %d" % kind)
        body(r, kind)
        consts[cid] = kind
    counter = r.u32()
    if consts and counter <= max(consts):
        raise Bad("constant counter %d below a CID" % counter)
    vrs, nrs = ranges(r), ranges(r)
    gvr, gnr, _mode = r.u32(), r.u32(), r.u32()
    if not r.at_end():
        raise Bad("bytes after the mode word")

    # Cross checks: chains, names, scopes.
    for name, head in names.items():
        if head not in entries:
            raise Bad("name %r heads unknown SID %d" % (name, head))
        if entries[head][1] != INVALID:
            raise Bad("head %d of %r has a prev" % (head, name))
        seen, sid = set(), head
        while sid != INVALID:
            if sid in seen or sid not in entries:
                raise Bad("broken chain of %r at %d" % (name, sid))
            seen.add(sid)
            nxt = entries[sid][2]
            if nxt != INVALID and entries.get(nxt, (0, None))[1] != sid:
                raise Bad("prev of %d is not %d" % (nxt, sid))
            sid = nxt
    for sid, (_s, _p, _n, vr, nr) in entries.items():
        if vr not in vrs or nr not in nrs:
            raise Bad("entry %d in unknown scope (%d, %d)" % (sid, vr, nr))
    if gvr not in vrs or gnr not in nrs:
        raise Bad("global scope (%d, %d) unknown" % (gvr, gnr))
    if details is not None:
        details["entries"], details["consts"] = entries, consts
    return "names %d types %d entries %d constants %d ranges %d/%d" % (
        len(names), len(types), len(entries), len(consts), len(vrs), len(nrs))


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    try:
        print(read_table(data))
    except (Bad, ValueError) as e:
        print("inconsistent: %s" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
