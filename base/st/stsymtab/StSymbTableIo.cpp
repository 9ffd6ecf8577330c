// StSymbTable: the written form on a section stream and on the standard
// streams, with the chain sort before saving and, after loading, the name
// linking (with folding), the range-span rebuild and the mode word.
//
// Order: version text, "\r\n"; string table, " "; type table, "\r\n";
// entry table (new or old form), "\r\n"; constant table, "\r\n"; VR table,
// " "; NR table, " "; global VR, " "; global NR, " "; mode word, " ".
// On a standard stream the version text is bare and every "\r\n" is a
// line end. Separators follow only while the section stream has no error.
#include <istream>
#include <ostream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyRangeTable.h"
#include "base/st/stsymtab/StSyStringTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

const String& StSymbTable::versionNew()
{
    static const String v("symbol-table__V4.1");
    return v;
}

const String& StSymbTable::versionOld()
{
    static const String v("symbol-table__V0.16");
    return v;
}

namespace {

// The frame's separators and numbers on either stream.
struct SecOut {
    FsSecCl& s;
    void version(const String& v) { s << v; }
    void line()
    {
        if (!s.hasError()) s.putNewLine();
    }
    void blank()
    {
        if (!s.hasError()) s.putBlank();
    }
    void num(uint32_t v) { s << v; }
    template <class P>
    void part(const P& p, uint32_t mode)
    {
        p.writeToSection(s, mode);
    }
    void consts(const StSyConstValTable& c) { c.write(s); }
};

struct StdOut {
    std::ostream& os;
    void version(const String& v) { os << v.c_str(); }
    void line() { os << std::endl; }
    void blank() { os << ' '; }
    void num(uint32_t v) { os << v; }
    template <class P>
    void part(const P& p, uint32_t mode)
    {
        p.writeToStream(os, mode);
    }
    void consts(const StSyConstValTable& c) { c.write(os); }
};

struct SecIn {
    FsSecCl& s;
    void version(String& v) { s >> v; }
    bool num(uint32_t& v)
    {
        s >> v;
        return !s.hasError();
    }
    template <class P>
    bool part(P& p, uint32_t mode)
    {
        return p.readFromSection(s, mode);
    }
    bool consts(StSyConstValTable& c) { return c.read(s); }
    bool good() const { return !s.hasError(); }
};

struct StdIn {
    std::istream& is;
    void version(String& v)
    {
        std::string word;
        if (is >> word) v = word;
    }
    bool num(uint32_t& v)
    {
        uint32_t x;
        if (!(is >> x)) return false;
        v = x;
        return true;
    }
    template <class P>
    bool part(P& p, uint32_t mode)
    {
        return p.readFromStream(is, mode);
    }
    bool consts(StSyConstValTable& c) { return c.read(is); }
    bool good() const { return !is.fail(); }
};

}  // namespace

template <class Out>
void StSymbTable::writeBody(Out& out)
{
    if (m_sortChains) sortChains();
    out.version(m_newFormat ? versionNew() : versionOld());
    out.line();
    out.part(*m_strings, 0);
    out.blank();
    out.part(*m_types, 0);
    out.line();
    out.part(*m_entries, m_newFormat ? 1 : 0);
    out.line();
    out.consts(*m_constants);
    out.line();
    out.part(*m_vrTable, 0);
    out.blank();
    out.part(*m_nrTable, 0);
    out.blank();
    out.num(m_globalVR);
    out.blank();
    out.num(m_globalNR);
    out.blank();
    out.num(m_modeWord);
    out.blank();
}

bool StSymbTable::save(FsSecCl& s)
{
    if (inError()) {
        s.setError(FSSEC_INTERNAL);
        return false;
    }
    SecOut out{s};
    writeBody(out);
    return !s.hasError();
}

bool StSymbTable::save(std::ostream& os)
{
    if (inError()) {
        os.setstate(std::ios::failbit);
        return false;
    }
    StdOut out{os};
    writeBody(out);
    return !os.fail();
}

template <class In>
void StSymbTable::readBody(In& in, bool)
{
    clear();
    if (inError()) return;
    String version;
    in.version(version);
    if (version == versionOld())
        m_newFormat = 0;
    else if (version == versionNew())
        m_newFormat = 1;
    else {
        m_status = ST_BAD_VERSION;
        return;
    }
    m_status = ST_READ_ERROR;  // until the whole text is read
    if (!in.part(*m_strings, 0)) return;
    delete m_types;
    m_types = new StSyTypeTable(ST_TYPETABLE_NO_STD);
    if (!in.part(*m_types, 0)) return;
    if (!in.part(*m_entries, m_newFormat ? 1 : 0) || !m_entries->readOk()) return;
    linkNames();
    if (!in.consts(*m_constants)) return;
    if (!in.part(*m_vrTable, 0) || !in.part(*m_nrTable, 0)) return;
    rebuildRangeSpans();
    uint32_t vr = 0, nr = 0, word = 0;
    if (!in.num(vr) || !in.num(nr) || !in.num(word)) return;
    m_globalVR = vr;
    m_globalNR = nr;
    interpretModeWord(word);
    m_status = in.good() ? ST_OK : ST_READ_ERROR;
}

bool StSymbTable::load(FsSecCl& s)
{
    SecIn in{s};
    readBody(in, true);
    return !inError();
}

bool StSymbTable::load(std::istream& is)
{
    StdIn in{is};
    readBody(in, false);
    return !inError();
}

void StSymbTable::interpretModeWord(uint32_t word)
{
    if (word & 0xFu) {
        if (!(word & 0xF0000u)) setEnumBaseType(ST_INT);
        setSysVarIdMode(true, false);
    } else if (word & 0xF0u) {
        setSysVarIdMode(false, false);
    }
    switch ((word >> 16) & 0xFu) {
    case 1: setEnumBaseType(ST_INT); break;
    case 2: setEnumBaseType(ST_UINT); break;
    case 3: setEnumBaseType(ST_DINT); break;
    default: break;
    }
    m_modeWord = word;
}

namespace {

void foldLower(String& s)
{
    for (int i = 0; i < s.length(); ++i) {
        const char c = s.elem(i);
        if (c >= 'A' && c <= 'Z') s[i] = char(c - 'A' + 'a');
    }
}

}  // namespace

void StSymbTable::linkNames()
{
    // Every entry is named once: a walk stops at an entry that an earlier
    // chain took, so chains read from a file that loop or run into each
    // other cost one pass over the table in all.
    std::unordered_set<const StSyBaseSymbEntry*> named;
    auto chainOf = [&](StSymbEntryID head) {
        std::vector<StSyBaseSymbEntry*> chain;
        for (StSyBaseSymbEntry* e = m_entries->findEntry(head); e && named.insert(e).second; e = e->getNextEntry())
            chain.push_back(e);
        return chain;
    };
    // The last entry of each chain that folded names were joined to.
    std::unordered_map<const String*, StSyBaseSymbEntry*> lastOf;
    std::vector<std::pair<String*, StSymbEntryID>> names;
    names.reserve(m_strings->size());
    for (const auto& kv : m_strings->names()) names.emplace_back(kv.first, kv.second.sid);

    for (auto& [key, head] : names) {
        std::vector<StSyBaseSymbEntry*> chain = chainOf(head);
        String* name = key;
        if (m_foldNames) {
            String folded(*key);
            foldLower(folded);
            if (!(folded == *key)) {
                StSymbEntryID otherHead;
                String* other = m_strings->lookup(folded, otherHead);
                if (other && otherHead != head) {
                    // Append this chain to the chain of the folded name.
                    StSyBaseSymbEntry* last = nullptr;
                    if (auto it = lastOf.find(other); it != lastOf.end()) {
                        last = it->second;
                    } else {
                        for (StSyBaseSymbEntry* e : chainOf(otherHead)) {
                            e->setName(other);
                            last = e;
                        }
                    }
                    if (last && !chain.empty()) {
                        last->setNext(chain.front()->getID(), chain.front());
                        chain.front()->setPrev(last->getID());
                    }
                    if (!chain.empty()) last = chain.back();
                    lastOf[other] = last;
                    m_strings->remove(*key);
                    name = other;
                } else if (!other) {
                    const uint32_t extra = m_strings->find(*key)->extra;
                    m_strings->remove(*key);
                    m_strings->insert(new String(folded), head, extra);
                    name = m_strings->lookup(folded, otherHead);
                    // A later spelling of the same folded name ("Abc" after
                    // "ABC") joins after this chain, whose entries are
                    // already taken and so cannot be walked again.
                    lastOf[name] = chain.empty() ? nullptr : chain.back();
                } else {
                    name = other;
                }
            }
        }
        for (StSyBaseSymbEntry* e : chain) e->setName(name);
    }
    m_entries->noteChange();
}

void StSymbTable::rebuildRangeSpans()
{
    const auto& map = m_entries->entries();
    if (map.empty()) return;
    StRangeID prevVR = ST_INVALID_VR, prevNR = ST_INVALID_NR;
    StSymbEntryID prevSID;
    auto step = [](StSyRangeTable& table, StRangeID prev, StRangeID cur, StSymbEntryID prevSid, StSymbEntryID sid) {
        if (prev != ST_INVALID_RANGE)
            if (StRangeRecord* r = table.record(prev)) r->endSID = prevSid;
        if (StRangeRecord* r = table.record(cur))
            if (r->startSID.isInvalid()) r->startSID = sid;
    };
    bool first = true;
    for (const auto& [sid, e] : map) {
        if (first || e->getNR() != prevNR) step(*m_nrTable, first ? ST_INVALID_NR : prevNR, e->getNR(), prevSID, sid);
        if (first || e->getVR() != prevVR) step(*m_vrTable, first ? ST_INVALID_VR : prevVR, e->getVR(), prevSID, sid);
        first = false;
        prevNR = e->getNR();
        prevVR = e->getVR();
        prevSID = sid;
    }
    if (StRangeRecord* r = m_nrTable->record(prevNR)) r->endSID = prevSID;
    if (StRangeRecord* r = m_vrTable->record(prevVR)) r->endSID = prevSID;
}

void StSymbTable::sortChains()
{
    StSymbEntryIDList referenced;
    m_types->markReferenced(referenced);
    for (uint32_t id : referenced) {
        StSyBaseSymbEntry* e = m_entries->findEntry(id);
        if (!e) continue;
        const StFrameProperties* f = e->getFrameProperties();
        if (f && (f->flags & 4u)) continue;
        // An entry written without its name could not be linked again.
        for (StSyBaseSymbEntry* m : {e, m_entries->findEntry(e->getUnitSID())}) {
            if (!m) continue;
            m->mark();
            if (m->getName()) m_strings->mark(*m->getName());
        }
    }
    // Each entry is sorted into one chain only (see linkNames).
    std::unordered_set<const StSyBaseSymbEntry*> seen;
    for (auto& kv : m_strings->names()) {
        StSymbIDStStore& rec = const_cast<StSymbIDStStore&>(kv.second);
        std::vector<StSyBaseSymbEntry*> marked, unmarked;
        bool reorder = false;
        for (StSyBaseSymbEntry* e = m_entries->findEntry(rec.sid); e && seen.insert(e).second; e = e->getNextEntry()) {
            if (e->isMarked()) {
                if (!unmarked.empty()) reorder = true;
                marked.push_back(e);
            } else {
                unmarked.push_back(e);
            }
        }
        if (reorder) {
            m_entries->noteChange();
            std::vector<StSyBaseSymbEntry*> order(marked);
            order.insert(order.end(), unmarked.begin(), unmarked.end());
            rec.sid = order.front()->getID();
            for (size_t i = 0; i < order.size(); ++i) {
                order[i]->setPrev(i ? order[i - 1]->getID() : ST_INVALID_SID);
                if (i + 1 < order.size())
                    order[i]->setNext(order[i + 1]->getID(), order[i + 1]);
                else
                    order[i]->setNext(ST_INVALID_SID, nullptr);
            }
        }
        if (!marked.empty()) rec.extra = 1;
    }
}

FsSecCl& operator<<(FsSecCl& s, StSymbTable& table)
{
    table.save(s);
    return s;
}

FsSecCl& operator>>(FsSecCl& s, StSymbTable& table)
{
    table.load(s);
    return s;
}

std::ostream& operator<<(std::ostream& os, StSymbTable& table)
{
    table.save(os);
    return os;
}

std::istream& operator>>(std::istream& is, StSymbTable& table)
{
    table.load(is);
    return is;
}
