// Writers and readers of the variable-extension layouts (see BoVarExtIo.h).
// Keys and values of the generic layout are written by one overloaded put()
// per type and read by the matching get(); the tables are walked by one
// writer and one reader template.
#include "bo/bo/BoVarExtIo.h"

#include <memory>
#include <type_traits>
#include <utility>

#include "base/fs/FsSecRun.h"

namespace {

// --- fields of the generic layout ---

void put(FsSecCl& s, uint32_t v) { s << v; }
void put(FsSecCl& s, int32_t v) { s << v; }
void put(FsSecCl& s, const VarExtKey& k) { s << k.adr << ' ' << k.mask; }
void put(FsSecCl& s, const TypeExtKey& k) { s << k.name << ' ' << k.mask; }
void put(FsSecCl& s, const BitType& t) { s << t.setTextId << ' ' << t.unsetTextId; }
void put(FsSecCl& s, const BitEntry& e) { s << e.bit << ' ' << e.bitType << ' ' << e.third; }
void put(FsSecCl& s, const CfgGroupEntry& g)
{
    s << g.textId << ' ';
    s << g.entries;
}

void get(FsSecCl& s, uint32_t& v) { s >> v; }
void get(FsSecCl& s, int32_t& v) { s >> v; }
void get(FsSecCl& s, VarExtKey& k) { s >> k.adr >> k.mask; }
void get(FsSecCl& s, TypeExtKey& k) { s >> k.name >> k.mask; }
void get(FsSecCl& s, BitType& t) { s >> t.setTextId >> t.unsetTextId; }
void get(FsSecCl& s, BitEntry& e) { s >> e.bit >> e.bitType >> e.third; }
void get(FsSecCl& s, CfgGroupEntry& g)
{
    s >> g.textId;
    s >> g.entries;
}

// --- storing a read entry ---

enum class Repeat { KeepLater, KeepFirst };

template <class K, class V>
void store(BoMap<K, V>& t, K&& k, V&& v, Repeat repeat)
{
    if (repeat == Repeat::KeepLater)
        t[k] = std::move(v);
    else
        t.emplace(std::move(k), std::move(v));
}
template <class K, class V>
void store(BoMultiMap<K, V>& t, K&& k, V&& v, Repeat)
{
    t.emplace(std::move(k), std::move(v));
}
template <class K, class V>
constexpr bool isCounted(const BoMap<K, V>&) { return true; }
template <class K, class V>
constexpr bool isCounted(const BoMultiMap<K, V>&) { return false; }

// Count, then the entries; stops at the first error. The units section
// ends the count with a line end instead of the blank (the sections are
// text only, so its blanks between fields are the same bytes).
template <class Table>
void writeTable(FsSecCl& s, const Table& t, bool newLineAfterCount = false)
{
    s << uint32_t(t.size());
    if (newLineAfterCount)
        s.putNewLine();
    else
        s.putBlank();
    for (const auto& e : t) {
        if (s.hasError()) break;
        put(s, e.first);
        s.putBlank();
        put(s, e.second);
        s.putBlank();
    }
}

// Count (0 when the stream is in error already), then the entries while the
// count lasts and the stream is good; a half-read entry is not stored.
// Maps check their size against the count.
template <class Table>
void readTable(FsSecCl& s, Table& t, Repeat repeat = Repeat::KeepLater)
{
    t.clear();
    uint32_t count = 0;
    if (!s.hasError()) s >> count;
    for (uint32_t i = 0; i < count && !s.hasError(); ++i) {
        typename Table::key_type k{};
        typename Table::mapped_type v{};
        get(s, k);
        get(s, v);
        if (s.hasError()) break;
        store(t, std::move(k), std::move(v), repeat);
    }
    if (isCounted(t) && t.size() != count && !s.hasError()) s.setError(BO_COUNT_MISMATCH);
}

// --- the record sections (values, attributes) ---

void putRecord(FsSecRun& s, const VarTypeValue& r)
{
    s << ' ' << uint32_t(r.Def()) << ' ' << r.Unit << ' ' << r.Fix << ' ' << uint32_t(r.Min) << ' '
      << uint32_t(r.Max);
}
void putRecord(FsSecRun& s, const VarInstValue& r)
{
    s << ' ' << uint32_t(r.Act) << ' ' << r.Unit << ' ' << r.Fix;
}
void putRecord(FsSecRun& s, const VarExt& r)
{
    s << ' ' << r.A << ' ' << r.ATO1 << ' ' << r.ATO2 << ' ' << r.G << ' ' << r.TE;
}
// A CID reads as the unsigned number it is written as.
FsSecCl& operator>>(FsSecCl& s, BoConstId& id) { return s >> id.ref(); }
void getRecord(FsSecCl& s, VarTypeValue& r) { s >> r.Def() >> r.Unit >> r.Fix >> r.Min >> r.Max; }
void getRecord(FsSecCl& s, VarInstValue& r) { s >> r.Act.ref() >> r.Unit >> r.Fix; }
void getRecord(FsSecCl& s, VarExt& r) { s >> r.A >> r.ATO1 >> r.ATO2 >> r.G >> r.TE; }

// Over either kind of record table (CVarExtRecordMap, CVarExtRecordVector).
template <class Table>
void writeRecords(FsSecCl& s, const Table& t)
{
    // Many small fields: collected and handed to the stream in pieces.
    FsSecRun b(s);
    b << uint32_t(t.size());
    for (const auto& e : t) {
        if (b.hasError()) break;
        b << ' ' << e.first.adr << ' ' << e.first.mask << ' ' << (e.second != nullptr);
        if (e.second) putRecord(b, *e.second);
    }
}

template <class Table>
void readRecords(FsSecCl& s, Table& t)
{
    using Rec = std::remove_pointer_t<decltype(t.begin()->second)>;
    t.freeAll();
    uint32_t count = 0;
    s >> count;
    for (uint32_t i = 0; i < count && !s.hasError(); ++i) {
        VarExtKey key;
        bool present = false;
        s >> key.adr >> key.mask >> present;
        if (s.hasError()) break;
        std::unique_ptr<Rec> rec;
        if (present) {
            rec.reset(new Rec);
            getRecord(s, *rec);
            if (s.hasError()) break;
        }
        // A repeated key keeps the first entry; the later record is freed.
        if (t.add(key, rec.get())) rec.release();
    }
}

// --- section frame ---

// A save: nothing touched on a binary section; else the section is
// truncated and written. 0, or BO_SAVE_FAILED when the stream is in error.
template <class Write>
uint32_t save(FsSecCl& s, Write write)
{
    if (s.isBinary() || s.setSize(0) != 0) return BO_SAVE_FAILED;
    write();
    return s.hasError() ? BO_SAVE_FAILED : 0;
}

// A load: nothing touched on a binary section. 0, or BO_LOAD_FAILED when
// the stream is in error.
template <class Read>
uint32_t load(FsSecCl& s, Read read)
{
    if (s.isBinary()) return BO_LOAD_FAILED;
    read();
    return s.hasError() ? BO_LOAD_FAILED : 0;
}

}  // namespace

FsSecCl& operator<<(FsSecCl& s, const CCfgEntryTable& t) { return writeTable(s, t), s; }
FsSecCl& operator<<(FsSecCl& s, const CCfgGroupTable& t) { return writeTable(s, t), s; }
FsSecCl& operator<<(FsSecCl& s, const CDynArrayTable& t) { return writeTable(s, t), s; }
FsSecCl& operator<<(FsSecCl& s, const CBitTypeTable& t) { return writeTable(s, t), s; }
FsSecCl& operator<<(FsSecCl& s, const CBitFieldTable& t) { return writeTable(s, t), s; }
FsSecCl& operator<<(FsSecCl& s, const CVarTextTable& t) { return writeTable(s, t), s; }
FsSecCl& operator<<(FsSecCl& s, const CTypeTextTable& t) { return writeTable(s, t), s; }
FsSecCl& operator>>(FsSecCl& s, CCfgEntryTable& t) { return readTable(s, t), s; }
FsSecCl& operator<<(FsSecCl& s, const CBoNumberMap<uint32_t>& t) { return writeTable(s, t), s; }
FsSecCl& operator>>(FsSecCl& s, CBoNumberMap<uint32_t>& t) { return readTable(s, t), s; }
FsSecCl& operator>>(FsSecCl& s, CCfgGroupTable& t) { return readTable(s, t), s; }
FsSecCl& operator>>(FsSecCl& s, CDynArrayTable& t) { return readTable(s, t), s; }
FsSecCl& operator>>(FsSecCl& s, CBitTypeTable& t) { return readTable(s, t), s; }
FsSecCl& operator>>(FsSecCl& s, CBitFieldTable& t) { return readTable(s, t), s; }
FsSecCl& operator>>(FsSecCl& s, CVarTextTable& t) { return readTable(s, t), s; }
FsSecCl& operator>>(FsSecCl& s, CTypeTextTable& t) { return readTable(s, t), s; }

uint32_t writeCfgSection(FsSecCl& s, uint32_t defaultCfg, const CCfgEntryTable& cfgs, const CCfgGroupTable& groups)
{
    return save(s, [&] { s << defaultCfg << ' ' << cfgs << ' ' << groups; });
}

uint32_t readCfgSection(FsSecCl& s, uint32_t& defaultCfg, CCfgEntryTable& cfgs, CCfgGroupTable& groups)
{
    return load(s, [&] {
        uint32_t def = 0;
        s >> def;
        if (!s.hasError()) defaultCfg = def;
        s >> cfgs >> groups;
    });
}

uint32_t writeUnitsSection(FsSecCl& s, int32_t unitLimit, const CResolveTable& resolve, const CUsedUnitTable& used,
                           const CUnitEntryTable& defaults)
{
    return save(s, [&] {
        s << unitLimit;
        s.putNewLine();
        writeTable(s, resolve, true);
        s << uint32_t(used.size());
        s.putNewLine();
        for (const auto& e : used) {
            if (s.hasError()) break;
            s << e.first << ' ' << uint32_t(e.second.size()) << ' ';
            for (int32_t unit : e.second) s << unit << ' ';
            s.putNewLine();
        }
        s.putNewLine();
        writeTable(s, defaults, true);
    });
}

uint32_t readUnitsSection(FsSecCl& s, int32_t& unitLimit, CResolveTable& resolve, CUsedUnitTable& used,
                          CUnitEntryTable& defaults)
{
    return load(s, [&] {
        used.clear();
        defaults.clear();
        int32_t limit = 0;
        s >> limit;
        if (!s.hasError()) unitLimit = limit;
        readTable(s, resolve, Repeat::KeepFirst);
        uint32_t count = 0;
        if (!s.hasError()) s >> count;
        for (uint32_t i = 0; i < count && !s.hasError(); ++i) {
            int32_t physGr = 0;
            uint32_t length = 0;
            s >> physGr >> length;
            BoUnitList units;
            for (uint32_t j = 0; j < length && !s.hasError(); ++j) {
                int32_t unit = 0;
                s >> unit;
                if (!s.hasError()) units.push_back(unit);
            }
            if (s.hasError()) break;
            if (!used.emplace(physGr, std::move(units)).second) s.setError(BO_COUNT_MISMATCH);
        }
        readTable(s, defaults, Repeat::KeepFirst);
    });
}

uint32_t writeValuesSection(FsSecCl& s, const CVarTypeValueTable& values)
{
    return save(s, [&] { writeRecords(s, values); });
}

uint32_t readValuesSection(FsSecCl& s, CVarTypeValueTable& values)
{
    return load(s, [&] { readRecords(s, values); });
}

uint32_t writeAttribSection(FsSecCl& s, const CAttribTable& attribs)
{
    return save(s, [&] { writeRecords(s, attribs); });
}

uint32_t readAttribSection(FsSecCl& s, CAttribTable& attribs)
{
    return load(s, [&] { readRecords(s, attribs); });
}

uint32_t writeDynArraySection(FsSecCl& s, const CDynArrayTable& arrays)
{
    return save(s, [&] { s << arrays; });
}

uint32_t readDynArraySection(FsSecCl& s, CDynArrayTable& arrays)
{
    return load(s, [&] { s >> arrays; });
}

uint32_t writeBitSection(FsSecCl& s, const CBitTypeTable& types, const CBitFieldTable& fields)
{
    // The bit fields follow only when the bit types were written whole.
    return save(s, [&] {
        s << types;
        if (s.hasError()) return;
        s.putNewLine();
        s << fields;
    });
}

uint32_t readBitSection(FsSecCl& s, CBitTypeTable& types, CBitFieldTable& fields)
{
    return load(s, [&] { s >> types >> fields; });
}

uint32_t writeInstCfgSection(FsSecCl& s, uint32_t cfg)
{
    return save(s, [&] { s << cfg << ' '; });
}

uint32_t readInstCfgSection(FsSecCl& s, uint32_t& cfg)
{
    return load(s, [&] {
        uint32_t v = 0;
        s >> v;
        if (!s.hasError()) cfg = v;
    });
}

uint32_t writeInstUnitsSection(FsSecCl& s, const CUnitEntryTable& current,
                               const std::function<int32_t(int32_t)>& defaultUnitOf)
{
    return save(s, [&] {
        s << uint32_t(current.size()) << ' ';
        for (const auto& e : current) {
            if (s.hasError()) break;
            s << e.first << ' ' << defaultUnitOf(e.first) << ' ' << e.second << ' ';
        }
    });
}

uint32_t readInstUnitsSection(FsSecCl& s, CUnitEntryTable& current)
{
    return load(s, [&] {
        current.clear();
        uint32_t count = 0;
        s >> count;
        for (uint32_t i = 0; i < count && !s.hasError(); ++i) {
            int32_t physGr = 0, def = 0, unit = 0;
            s >> physGr >> def >> unit;
            if (!s.hasError()) current.add(physGr, unit);
        }
        if (current.size() != count && !s.hasError()) s.setError(BO_COUNT_MISMATCH);
    });
}

uint32_t writeInstValuesSection(FsSecCl& s, const CVarInstValueTable& values)
{
    return save(s, [&] { writeRecords(s, values); });
}

uint32_t readInstValuesSection(FsSecCl& s, CVarInstValueTable& values)
{
    return load(s, [&] { readRecords(s, values); });
}

uint32_t readUnitStream(FsSecCl& s, CUnitEntryTable& pairs)
{
    return load(s, [&] {
        pairs.clear();
        uint32_t count = 0;
        s >> count;
        for (uint32_t i = 0; i < count && !s.hasError(); ++i) {
            int32_t unit = 0;
            double factor = 0, offset = 0;
            s >> unit >> factor >> offset;
        }
        if (!s.hasError()) readTable(s, pairs, Repeat::KeepFirst);
    });
}
