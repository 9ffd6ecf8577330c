// The boot-function model: tokens, sets, attributes, a type's queries, its
// stream form and the prints.
#include "bo/bf/BfBootFktTyp.h"

#include <ostream>

#include "base/fs/FsSecBootTels.h"
#include "base/fs/FsSecRun.h"
#include "bo/bf/BfSymbTable.h"
#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "bfbootfkt";

// Writes every field, each followed by a blank (text mode).
template <class W, typename... Fields>
void putFields(W& s, const Fields&... fields)
{
    ((s << fields, s.putBlank()), ...);
}

// Reads count entries with one, stopping at the first stream error.
template <typename Fn>
void readEntries(FsSecCl& s, uint32_t count, Fn one)
{
    for (uint32_t i = 0; i < count && !s.hasError(); ++i) one();
}

}  // namespace

// --- prints ---

void CBfBootToken::print(std::ostream& os) const
{
    os.precision(10);
    if (kind == CONSTANT)
        os << "C - ";
    else
        os << "S - SID(" << SID.get() << ") ";
    os << "CID(" << CID.get() << ")";
    os.precision(4);
}

void CBfBootSet::print(std::ostream& os) const
{
    os << "CS(" << cs << ") ";
    for (const CBfBootToken& t : tokens) t.print(os);
}

void CVarAttrib::print(std::ostream& os) const
{
    static const char* const texts[] = {"NA", "A", "AWR"};
    os << (access < 3 ? texts[access] : "???");
}

void CFktAttrib::print(std::ostream& os) const
{
    os << (flagU && flagR ? "U/R" : flagU ? "U" : flagR ? "R" : "???");
}

void CBfBootFktTyp::print(std::ostream& os) const
{
    os << name.c_str() << " SID(" << SID.get() << ") ValidRange(" << ValidRange << "), NameRange(" << NameRange
       << ")" << std::endl;
    os << "  " << subFkts.size() << " SubFkt: ";
    for (const auto& f : subFkts) {
        os << " {" << f.first.get();
        f.second.print(os);
        os << "}";
    }
    os << std::endl;
    os << "  " << symbols.size() << " Symbole:";
    for (const auto& sym : symbols) {
        os << " {SID(" << sym.first.get() << ") CID(" << sym.second.get() << ")";
        auto a = varAttribs.find(sym.first);
        if (a != varAttribs.end()) {
            os << " ATR(";
            a->second.print(os);
            os << ")";
        }
        os << "}";
    }
    os << std::endl;
    os << "  " << sets.size() << " Tel's: ";
    for (const CBfBootSet& set : sets) {
        os << " {";
        set.print(os);
        os << "}";
    }
}

// --- stream operators ---

namespace {

// The fields of a token, of a set and of a type, to the stream or to a run
// of writes to it (the same bytes).
template <class W>
void writeToken(W& s, const CBfBootToken& t)
{
    putFields(s, int32_t(t.kind), t.SID.get(), t.CID.get());
}

template <class W>
void writeSet(W& s, const CBfBootSet& set)
{
    s << set.cs;
    s.putNewLine();
    s << uint32_t(set.tokens.size());
    s.putBlank();
    for (const CBfBootToken& t : set.tokens) writeToken(s, t);
}

}  // namespace

FsSecCl& operator<<(FsSecCl& s, const CBfBootToken& t)
{
    writeToken(s, t);
    return s;
}

FsSecCl& operator>>(FsSecCl& s, CBfBootToken& t)
{
    int32_t kind = 1;
    uint32_t sid = ST_INVALID_SID, cid = ST_INVALID_CID;
    s >> kind >> sid >> cid;
    if (kind == 0 || kind == 1) {
        t.kind = uint32_t(kind);
        t.SID = sid;
    } else {
        t.kind = CBfBootToken::SYMBOL;
        t.SID = ST_INVALID_SID;
    }
    t.CID = cid;
    return s;
}

FsSecCl& operator<<(FsSecCl& s, const CBfBootSet& set)
{
    writeSet(s, set);
    return s;
}

FsSecCl& operator>>(FsSecCl& s, CBfBootSet& set)
{
    uint32_t count = 0;
    s >> set.cs >> count;
    set.tokens.clear();
    if (count < 16000) set.tokens.reserve(count);
    readEntries(s, count, [&] {
        CBfBootToken t;
        s >> t;
        if (!s.hasError()) set.tokens.push_back(t);
    });
    return s;
}

// --- the type ---

CBfBootFktTyp::CBfBootFktTyp(const String& name, CBfSymbTable* symbols, StSymbEntryID sid, StRangeID vr,
                             StRangeID nr)
    : SID(sid), name(name), ValidRange(vr), NameRange(nr), symbTable(symbols)
{
}

CBfBootSet* CBfBootFktTyp::newBootSet()
{
    sets.emplace_back();
    return &sets.back();
}

void CBfBootFktTyp::addSymbol(StSymbEntryID sid, const CVarAttrib& attrib)
{
    if (sets.empty()) {
        TV_TRACE(4, kTraceFile, "CBfBootFktTyp::addSymbol", "Type(%s) has no boot set for SID(%i)", name.c_str(),
                 int(sid.get()));
        return;
    }
    StConstEntryID cid = symbTable ? symbTable->getInitValID(sid) : ST_INVALID_CID;
    sets.back().tokens.emplace_back(CBfBootToken::SYMBOL, sid, cid);
    if (symbols.count(sid) || varAttribs.count(sid)) return;
    varAttribs.emplace(sid, attrib);
    symbols.emplace(sid, cid);
}

void CBfBootFktTyp::reserveSymbols(std::size_t n)
{
    if (sets.empty()) return;
    std::vector<CBfBootToken>& tokens = sets.back().tokens;
    tokens.reserve(tokens.size() + n);
    symbols.reserve(symbols.size() + n);
    varAttribs.reserve(varAttribs.size() + n);
}

bool CBfBootFktTyp::addSubFkt(StSymbEntryID sid, const CFktAttrib& attrib)
{
    return subFkts.emplace(sid, attrib).second;
}

bool CBfBootFktTyp::isSubFktU(StSymbEntryID sid) const
{
    auto it = subFkts.find(sid);
    return it != subFkts.end() && it->second.flagU;
}

bool CBfBootFktTyp::isSubFktR(StSymbEntryID sid) const
{
    auto it = subFkts.find(sid);
    return it != subFkts.end() && it->second.flagR;
}

bool CBfBootFktTyp::findSubFkt(const String& fktName, StSymbEntryID& sid) const
{
    sid = ST_INVALID_SID;
    if (!symbTable) return false;
    for (const auto& f : subFkts) {
        String* n = symbTable->getName(f.first);
        if (n && String::compare(*n, fktName) == 0) {
            sid = f.first;
            return sid.isValid();
        }
    }
    return false;
}

StSymbEntryID CBfBootFktTyp::getEntryRefID(StSymbEntryID sid) const
{
    return symbTable ? symbTable->getSymbolTypeID(sid) : ST_INVALID_SID;
}

uint32_t CBfBootFktTyp::getAdr(StSymbEntryID sid) const
{
    uint32_t offset = NO_ADDRESS;
    if (symbTable && (hasSubFkt(sid) || symbTable->isInScope(sid, ValidRange, NameRange)))
        offset = symbTable->getOffset(sid);
    if (offset == NO_ADDRESS) {
        TV_TRACE(1, kTraceFile, "CBfBootFktTyp::getAdr", "symbol for SID(%i) not exist", int(sid.get()));
        return NO_ADDRESS;
    }
    return offset + 1;
}

bool CBfBootFktTyp::saveBfTyp(FsSecCl& s) const
{
    if (!s.isWritable()) {
        TV_TRACE(4, kTraceFile, "CBfBootFktTyp::saveBfTyp", "file is readonly");
        return false;
    }
    FsSecRun run(s);
    const bool written = saveBfTyp(run);
    run.flush();
    if (written && s.hasError()) TV_TRACE(4, kTraceFile, "CBfBootFktTyp::saveBfTyp", "streamerror");
    return !s.hasError();
}

bool CBfBootFktTyp::saveBfTyp(FsSecRun& s) const
{
    s << SID.get();
    s.putBlank();
    s << name;
    s.putBlank();
    s << ValidRange;
    s.putBlank();
    s << NameRange;
    s.putNewLine();

    s << uint32_t(sets.size());
    s.putBlank();
    for (const CBfBootSet& set : sets) {
        writeSet(s, set);
        s.putBlank();
    }
    s.putNewLine();

    s << uint32_t(symbols.size());
    s.putBlank();
    for (const auto& sym : symbols) s.putFields(sym.first.get(), sym.second.get());
    s.putNewLine();

    s << uint32_t(subFkts.size());
    s.putBlank();
    for (const auto& f : subFkts) s.putFields(f.first.get(), f.second.flagU, f.second.flagR);
    s.putNewLine();

    s << uint32_t(varAttribs.size());
    s.putBlank();
    for (const auto& a : varAttribs) s.putFields(a.first.get(), int32_t(a.second.access));

    if (s.hasError()) {
        TV_TRACE(4, kTraceFile, "CBfBootFktTyp::saveBfTyp", "streamerror");
        return false;
    }
    return true;
}

bool CBfBootFktTyp::loadBfTyp(FsSecCl& s)
{
    sets.clear();
    symbols.clear();
    varAttribs.clear();
    subFkts.clear();

    uint32_t sid = ST_INVALID_SID, count = 0;
    s >> sid >> name >> ValidRange >> NameRange;
    SID = sid;

    s >> count;
    if (count < 16000) sets.reserve(count);
    readEntries(s, count, [&] {
        CBfBootSet set;
        s >> set;
        sets.push_back(std::move(set));
    });

    // Each table is read whole and sorted once (a stream's keys may come in
    // any order).
    count = 0;
    s >> count;
    std::vector<std::pair<StSymbEntryID, StConstEntryID>> readSymbols;
    readEntries(s, count, [&] {
        uint32_t key = ST_INVALID_SID, cid = ST_INVALID_CID;
        s >> key >> cid;
        if (!s.hasError()) readSymbols.emplace_back(key, cid);
    });
    symbols.assignAll(std::move(readSymbols));

    count = 0;
    s >> count;
    std::vector<std::pair<StSymbEntryID, CFktAttrib>> readSubFkts;
    readEntries(s, count, [&] {
        uint32_t key = ST_INVALID_SID;
        bool u = false, r = false;
        s >> key >> u >> r;
        if (!s.hasError()) readSubFkts.emplace_back(key, CFktAttrib(u, r));
    });
    subFkts.assignAll(std::move(readSubFkts));
    if (!s.hasError() && subFkts.size() < count) s.setError(FSSEC_INTERNAL);

    count = 0;
    s >> count;
    std::vector<std::pair<StSymbEntryID, CVarAttrib>> readAttribs;
    readEntries(s, count, [&] {
        uint32_t key = ST_INVALID_SID;
        int32_t access = 0;
        s >> key >> access;
        if (!s.hasError())
            readAttribs.emplace_back(key, CVarAttrib(access == 1 || access == 2 ? uint32_t(access) : 0));
    });
    varAttribs.assignAll(std::move(readAttribs));
    if (!s.hasError() && varAttribs.size() < count) s.setError(FSSEC_INTERNAL);

    if (s.hasError()) {
        TV_TRACE(4, kTraceFile, "CBfBootFktTyp::loadBfTyp", "streamerror");
        return false;
    }
    return true;
}

// --- boot telegrams ---

uint32_t CBfBootSet::writeToTel(uint32_t second, const CBfSymbTable* symbols, const CBfConstValTable& constants,
                                FsSecBootTels& section) const
{
    TV_TRACE(1, kTraceFile, "CBfBootSet::writeToTel", "writing boot function with cs %d", int(cs));
    FsBootTelegram& record = section.addTelegram(cs, second);
    std::vector<StConstEntryID> cids;
    cids.reserve(tokens.size());
    for (const CBfBootToken& t : tokens) cids.push_back(t.CID);
    return constants.writeToTel(cids, record, symbols);
}

uint32_t CBfBootFktTyp::writeToTel(uint32_t second, const SymbolMap& values, const CBfConstValTable* constants,
                                   FsSecBootTels& section)
{
    const char method[] = "CBfBootFktTyp::writeToTel";
    for (CBfBootSet& set : sets)
        for (CBfBootToken& t : set.tokens) {
            if (t.kind != CBfBootToken::SYMBOL) continue;
            auto it = values.find(t.SID);
            if (it == values.end()) {
                TV_TRACE(4, kTraceFile, method, "Symbol for SID(%i) not found", int(t.SID.get()));
                return 0xFFFF;
            }
            StConstEntryID cid = it->second;
            if (cid.isInvalid()) {
                TV_TRACE(4, kTraceFile, method, "actval for SID(%i) not found - write initval", int(t.SID.get()));
                cid = symbTable ? symbTable->getInitValID(t.SID) : ST_INVALID_CID;
            }
            if (cid.isInvalid()) return 21;
            t.CID = cid;
        }
    // A record cut short answers 21, as a symbol without any value does:
    // every symbol's value is known by now, so a token whose constant is
    // missing (a constant token with an unknown CID, a table without that
    // value, no constant table at all) leaves the telegram without values
    // it was declared with, and a 0 would pass it on as complete. The
    // records written so far stay, as the records of earlier types do when
    // a later type fails.
    if (!constants) return sets.empty() ? 0 : 21;
    for (const CBfBootSet& set : sets) {
        if (set.writeToTel(second, symbTable, *constants, section) != 0) return 21;
        section.putNewLine();
    }
    return 0;
}
