// Test helper: seeded random symbol tables whose global scope holds an
// entry of every name-export kind 0-12 (typedefs and aliases, array types
// of elementary and named elements, enumerations, structures, subranges,
// constants, the four variable kinds over elementary, named, STRING and
// nested anonymous array types, functions, function blocks and programs
// with members, technology-object types, direct variables), together with
// the records an export of them must carry, built from what was declared.
// An exporter subclass answers the extra ids of enumerations.
#pragma once
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StNameMengeler.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace netest {

// The extra ids an exporter writes after an enumeration's enumerators.
inline StSymbEntryIDList extraIdsOf(StSymbEntryID sid)
{
    return sid.get() % 3 == 0 ? StSymbEntryIDList() : StSymbEntryIDList{sid.get() * 3, 7};
}

class Exporter : public StNameMengeler {
public:
    StSymbEntryIDList getExtraIds(const StSyBaseSymbEntry* entry) override { return extraIdsOf(entry->getID()); }
};

// The value-only form of a constant read back as a record.
inline StNeValue recordOf(const StConstantVal* v)
{
    FsSecClMem s;
    v->writeValue(s);
    s.reset();
    StNeValue out;
    out.read(s, v->getKind());
    return out;
}

class ExportTableGen {
public:
    explicit ExportTableGen(unsigned seed) : m_rng(seed) {}

    // Fills an empty table; ids are the SIDs to export in order, expected
    // the records of their export.
    void fill(StSymbTable& t, StSymbEntryIDList& ids, std::vector<StNeEntry>& expected)
    {
        m_t = &t;
        m_vr = t.getGlobalVR();
        m_nr = t.getGlobalNR();
        m_pool.clear();
        for (const uint32_t code : {ST_BOOL, ST_INT, ST_DINT, ST_LREAL, ST_TIME}) m_pool.push_back(elementary(code));
        m_pool.push_back(stringType(1 + int32_t(u(80))));
        for (uint32_t round = 0, n = 1 + u(2); round < n; ++round)
            for (int32_t kind = NE_TYPEDEF; kind <= NE_DIRECT_VAR; ++kind) {
                StNeEntry e;
                e.kind = kind;
                e.name = String(("e" + std::to_string(m_next++)).c_str());
                const StSymbEntryID sid = make(e);
                if (sid.isInvalid()) continue;
                ids.push_back(sid.get());
                expected.push_back(std::move(e));
            }
    }

private:
    struct TypeUse {
        StTypeID tid = ST_INVALID_TID;
        StSymbEntryID sid;  // the type entry a user refers to (invalid: none)
        StNeTypeRef ref;
        bool elementary = false;
    };

    uint32_t u(uint32_t n) { return n ? m_rng() % n : 0; }
    bool coin() { return m_rng() & 1; }
    std::string fresh() { return "e" + std::to_string(m_next++); }

    StNeTypeRef refOf(const char* name, StTypeID tid)
    {
        StNeTypeRef r;
        r.name = name;
        const StSyBaseTypeNode* node = m_t->findTypeNode(tid);
        r.size = node->size();
        r.alignment = node->alignment();
        return r;
    }
    TypeUse elementary(uint32_t code)
    {
        TypeUse t;
        t.tid = code;
        t.ref = refOf(stNeElemTypeName(code), code);
        t.elementary = true;
        return t;
    }
    TypeUse stringType(int32_t length)
    {
        TypeUse t;
        t.tid = m_t->types()->createStringType(length);
        t.ref = refOf("STRING", t.tid);
        return t;
    }
    // A type a variable or member may have: from the pool, or a new
    // anonymous array (nested at most twice).
    TypeUse anyType(int depth = 0)
    {
        if (depth < 2 && u(4) == 0) {
            const TypeUse element = anyType(depth + 1);
            const int32_t lower = int32_t(u(3)) - 1;
            const int32_t upper = lower + int32_t(u(5));
            TypeUse t;
            t.sid = m_t->addTypeDecl(nullptr, m_vr, m_nr, element.tid, element.sid, lower, upper, ST_INVALID_RANGE,
                                     false);
            t.tid = m_t->getTypeID(t.sid);
            t.ref = refOf("$$", t.tid);
            t.ref.element.reset(new StNeTypeRef(element.ref));
            t.ref.lower = lower;
            t.ref.count = uint32_t(upper - lower + 1);
            return t;
        }
        return m_pool[u(uint32_t(m_pool.size()))];
    }

    StConstEntryID enter(StConstantVal* v)
    {
        const StConstEntryID cid = m_t->constants()->addConstantVal(v);
        delete v;
        return cid;
    }
    StConstantVal* dint(int32_t value)
    {
        auto* v = new StStdConstantVal(ST_DINT, false);
        v->SetLongVal(value);
        return v;
    }
    // A value of the type, or null when the type has none here.
    StConstantVal* valueOf(const TypeUse& type)
    {
        if (type.tid == ST_DINT || type.tid == ST_INT) return dint(int32_t(m_rng() % 20000) - 10000);
        if (type.tid == ST_LREAL) {
            auto* v = new StStdConstantVal(ST_LREAL, false);
            v->SetLRealVal(double(int32_t(u(100000))) / 8);
            return v;
        }
        if (type.ref.name == "STRING") {
            int st = 0;
            const std::string text(u(5), char('a' + u(26)));
            auto* v = new StStringConstantVal(type.tid, String(text.c_str()), uint8_t(text.size()), st);
            v->setShared(false);
            return v;
        }
        return nullptr;
    }
    // Gives the entry an initial value (or none) and sets the record's.
    void initialise(StSyBaseSymbEntry* e, const TypeUse& type, StNeInit& init)
    {
        const StSyBaseSymbEntry* typeEntry = m_t->findEntry(type.sid);
        if (typeEntry && typeEntry->getInitCID().isValid() && coin()) {
            e->setInitCID(typeEntry->getInitCID());  // the type's own value: left out
            return;
        }
        StConstantVal* v = coin() ? valueOf(type) : nullptr;
        if (!v) return;
        init.present = true;
        init.value = recordOf(v);
        e->setInitCID(enter(v));
    }
    StSyBaseSymbEntry* add(const StNeEntry& r, uint32_t kind, StSymbEntryID& sid, StRangeID vr, StRangeID nr)
    {
        sid = ST_INVALID_SID;
        StSyBaseSymbEntry* e = m_t->addEntry(r.name.c_str(), vr, nr, kind, sid);
        if (e) e->setVisibility(ST_VIS_EXPORT, 0);
        return e;
    }
    void setType(StSyBaseSymbEntry* e, const TypeUse& type)
    {
        e->setTypeID(type.tid);
        e->setTypeRefSID(type.sid);
    }

    // A variable of kind 3 (member or top level), 4, 5 or 19 with the
    // record fields of kinds 6-9.
    StSyBaseSymbEntry* variable(StNeEntry& r, uint32_t kind, StSymbEntryID& sid, StRangeID vr, StRangeID nr,
                                int32_t access)
    {
        const TypeUse type = anyType();
        StSyBaseSymbEntry* e = add(r, kind, sid, vr, nr);
        if (!e) return nullptr;
        setType(e, type);
        r.type = type.ref;
        initialise(e, type, r.init);
        r.address = int32_t(u(5000));
        e->setStorageAddress(r.address);
        r.accessMode = access;
        e->setAccessMode(access);
        const bool second = coin();
        e->setSecondFlag(second);
        e->setRemanent(coin());
        r.flag = kind == ST_KIND_GLOBVAR || kind == ST_KIND_INTERFACEVAR ? e->isRemanent() : second;
        if (kind == ST_KIND_INTERFACEVAR) {
            r.sysAddress = int32_t(u(900));
            e->setSysVarAddress(r.sysAddress);
        }
        return e;
    }

    StSymbEntryID make(StNeEntry& r)
    {
        StSymbEntryID sid;
        switch (r.kind) {
        case NE_TYPEDEF: {
            // An elementary type with its own value, or an alias of a named type.
            const TypeUse base = m_pool[u(uint32_t(m_pool.size()))];
            StSyBaseSymbEntry* e = add(r, ST_KIND_TYPESPEC, sid, m_vr, m_nr);
            if (!e) return sid;
            if (base.sid.isValid() && m_t->findEntry(base.sid)->getKind() == ST_KIND_TYPESPEC) {
                setType(e, base);
                r.type = base.ref;
                initialise(e, base, r.init);
            } else {
                const TypeUse type = base.ref.name == "STRING" ? base : elementary(ST_DINT);
                setType(e, TypeUse{type.tid, ST_INVALID_SID, type.ref, type.elementary});
                r.type = type.ref;
                initialise(e, type, r.init);
            }
            m_pool.push_back(named(r, sid));
            return sid;
        }
        case NE_ARRAY: {
            const TypeUse element = m_pool[u(uint32_t(m_pool.size()))];
            r.lower = int32_t(u(4)) - 2;
            r.count = 1 + u(3);
            sid = m_t->addTypeDecl(r.name.c_str(), m_vr, m_nr, element.tid, element.sid, r.lower,
                                   r.lower + int32_t(r.count) - 1, ST_INVALID_RANGE, false);
            StSyBaseSymbEntry* e = m_t->findEntry(sid);
            if (!e) return sid;
            e->setVisibility(ST_VIS_EXPORT, 0);
            r.type = element.ref;
            // The declaration gives it the element type's value once per
            // element; a single one of a named element type is left out.
            const StConstantVal* v = m_t->getConstant(e->getInitCID());
            const uint32_t code = m_t->findTypeNode(element.tid)->elemCode();
            const bool elementaryNode = (code >= 1 && code <= 15) || (code >= 18 && code <= 21);
            if (v && (elementaryNode || r.count > 1)) {
                r.init.present = true;
                r.init.value = recordOf(v);
            }
            m_pool.push_back(named(r, sid));
            return sid;
        }
        case NE_ENUM: {
            auto list = std::make_unique<StSymbEntryIDList>();
            std::vector<StConstEntryID> cids;
            for (uint32_t i = 0, n = 1 + u(4); i < n; ++i) {
                StNeEntry c;
                c.name = String(fresh().c_str());
                StSymbEntryID csid;
                StSyBaseSymbEntry* ce = add(c, ST_KIND_CONST, csid, m_vr, m_nr);
                const int32_t value = int32_t(i * 10) - 5;
                ce->setTypeID(ST_DINT);
                ce->setInitCID(enter(dint(value)));
                cids.push_back(ce->getInitCID());
                list->push_back(csid.get());
                r.enumerators.emplace_back(c.name, value);
            }
            const StTypeID tid = m_t->types()->createEnumType(list, ST_DINT);
            StSyBaseSymbEntry* e = add(r, ST_KIND_TYPESPEC, sid, m_vr, m_nr);
            e->setTypeID(tid);
            if (coin()) {
                const uint32_t k = u(uint32_t(cids.size()));
                e->setInitCID(cids[k]);
                r.hasInitEnumerator = true;
                r.initEnumerator = r.enumerators[k].first;
            }
            r.extraIds = extraIdsOf(sid);
            r.size = m_t->types()->getSize(tid);
            r.alignment = m_t->types()->getAlignment(tid);
            m_pool.push_back(named(r, sid));
            return sid;
        }
        case NE_STRUCT: {
            std::vector<StNeEntry> members(1 + u(3));
            StTypeIDList tids;
            const StRangeID nr = m_t->openNameSpace(m_nr);
            StSyBaseSymbEntry* e = add(r, ST_KIND_TYPESPEC, sid, m_vr, m_nr);
            for (StNeEntry& m : members) {
                m.name = String(fresh().c_str());
                StSymbEntryID msid;
                const TypeUse type = anyType();
                StSyBaseSymbEntry* me = add(m, ST_KIND_VAR, msid, m_vr, nr);
                setType(me, type);
                m.type = type.ref;
                initialise(me, type, m.init);
                tids.push_back(type.tid);
                r.members.push_back({m.name, m.type, m.init});
            }
            m_t->closeNameSpace(nr, true);
            e->setSubNameRange(nr);
            r.size = int32_t(8 * tids.size());
            r.alignment = 4;
            e->setTypeID(m_t->types()->createStructType(tids, r.alignment, r.size));
            m_pool.push_back(named(r, sid));
            return sid;
        }
        case NE_SUBRANGE: {
            const StConstEntryID lo = enter(dint(0)), hi = enter(dint(int32_t(1 + u(99))));
            StSyBaseSymbEntry* e = add(r, ST_KIND_TYPESPEC, sid, m_vr, m_nr);
            e->setTypeID(m_t->types()->createSubrangeType(ST_DINT, lo, hi));
            return sid;
        }
        case NE_CONSTANT: {
            const TypeUse type = m_pool[u(uint32_t(m_pool.size()))];
            StSyBaseSymbEntry* e = add(r, ST_KIND_CONST, sid, m_vr, m_nr);
            setType(e, type);
            r.type = type.ref;
            initialise(e, type, r.init);
            return sid;
        }
        case NE_VARIABLE: variable(r, ST_KIND_VAR, sid, m_vr, m_nr, int32_t(1 + u(4))); return sid;
        case NE_GLOBAL: variable(r, ST_KIND_GLOBVAR, sid, m_vr, m_nr, int32_t(1 + u(4))); return sid;
        case NE_SYSVAR: variable(r, ST_KIND_SYSVAR, sid, m_vr, m_nr, int32_t(1 + u(4))); return sid;
        case NE_INTERFACE: variable(r, ST_KIND_INTERFACEVAR, sid, m_vr, m_nr, int32_t(1 + u(4))); return sid;
        case NE_PROGRAM_UNIT: return programUnit(r);
        case NE_TOTYPE: {
            StSyBaseSymbEntry* e = add(r, ST_KIND_TOTYPE, sid, m_vr, m_nr);
            e->setTypeID(ST_ANYOBJECT);
            if (!m_toTypes.empty() && coin()) {
                const auto& base = m_toTypes[u(uint32_t(m_toTypes.size()))];
                e->setBaseTOTypeSID(base.first);
                r.hasBase = true;
                r.baseName = base.second;
            }
            m_toTypes.emplace_back(sid, r.name);
            return sid;
        }
        case NE_DIRECT_VAR: {
            const TypeUse type = elementary(coin() ? ST_DINT : ST_BOOL);
            StSyBaseSymbEntry* e = add(r, ST_KIND_DIRECTVAR, sid, m_vr, m_nr);
            setType(e, type);
            r.type = type.ref;
            r.address = int32_t(0xF8000000u | u(4096));
            e->setStorageAddress(r.address);
            r.flag = e->isWritable();
            return sid;
        }
        default: return sid;
        }
    }

    TypeUse named(const StNeEntry& r, StSymbEntryID sid)
    {
        TypeUse t;
        t.sid = sid;
        t.tid = m_t->getTypeID(sid);
        t.ref = refOf(r.name.c_str(), t.tid);
        return t;
    }

    StSymbEntryID programUnit(StNeEntry& r)
    {
        static const uint32_t kinds[] = {ST_KIND_FUNC, ST_KIND_FUNCBLOCK, ST_KIND_PROGRAM};
        const uint32_t kind = kinds[u(3)];
        r.unitKind = int32_t(kind);
        StSymbEntryID sid;
        StSyBaseSymbEntry* e = add(r, kind, sid, m_vr, m_nr);
        StFrameProperties* f = e->getFrameProperties();
        f->membVRange = m_t->openValidityRange(m_vr);
        f->membNRange = m_t->openNameSpace(m_nr);
        f->flags = (coin() ? 1u << 16 : 0u) | (coin() ? 1u << 13 : 0u);
        f->frameSize = int32_t(u(4096));
        e->setFuncIndex(int32_t(u(50)));
        r.frameFlag = (f->flags >> 16) & 1;
        r.number = (f->flags & (1u << 13)) ? -1 : e->getFuncIndex();
        r.frameWord = f->frameSize;
        if (kind == ST_KIND_FUNC) {
            if (coin()) {
                StNeEntry result;
                result.name = r.name;
                StSymbEntryID rsid;
                const TypeUse type = anyType();
                StSyBaseSymbEntry* re = add(result, ST_KIND_VAR, rsid, f->membVRange, f->membNRange);
                if (!re) return ST_INVALID_SID;
                setType(re, type);
                re->setAccessMode(ST_ACCESS_WRITEONLY);
                r.type = type.ref;
            } else {
                r.type = elementary(0).ref;
            }
        }
        for (uint32_t i = 0, n = u(6); i < n; ++i) {
            StNeEntry m;
            m.kind = NE_VARIABLE;
            m.name = String(fresh().c_str());
            const int32_t access = int32_t(1 + u(4));
            StSymbEntryID msid;
            if (kind != ST_KIND_FUNC && !m_units.empty() && u(3) == 0) {
                // An instance of an earlier function block or program.
                const TypeUse& unit = m_units[u(uint32_t(m_units.size()))];
                StSyBaseSymbEntry* me = add(m, ST_KIND_VAR, msid, f->membVRange, f->membNRange);
                setType(me, unit);
                me->setStorageAddress(0);
                me->setAccessMode(access);
                m.type = unit.ref;
                m.accessMode = access;
                if (std::find(r.usedUnits.begin(), r.usedUnits.end(), unit.ref.name) == r.usedUnits.end())
                    r.usedUnits.push_back(unit.ref.name);
            } else {
                variable(m, ST_KIND_VAR, msid, f->membVRange, f->membNRange, access);
            }
            if (access == ST_ACCESS_READONLY || access == ST_ACCESS_READWRITE) r.listA.push_back(m);
            else if (kind != ST_KIND_FUNC) r.listB.push_back(m);
        }
        // Left out of the lists: a global of the unit and a temporary.
        StNeEntry skipped;
        skipped.name = String(fresh().c_str());
        StSymbEntryID ssid;
        variable(skipped, ST_KIND_GLOBVAR, ssid, f->membVRange, f->membNRange, ST_ACCESS_READWRITE);
        skipped.name = String(fresh().c_str());
        if (StSyBaseSymbEntry* temp = add(skipped, ST_KIND_TEMP, ssid, f->membVRange, f->membNRange))
            temp->setTypeID(ST_INT);
        m_t->closeValidityRange(f->membVRange, true);
        m_t->closeNameSpace(f->membNRange, true);
        const StTypeID tid =
            m_t->types()->createFuncType(4, StTypeIDList{ST_INT}, int32_t(4 * u(10)), StTypeIDList{ST_DINT}, 8,
                                         int32_t(8 * u(20)), ST_INVALID_SID, coin());
        e->setTypeID(tid);
        const StSyBaseTypeNode* node = m_t->findTypeNode(tid);
        r.layout1 = node->getAlignmentField();
        r.layout2 = node->getSizeField();
        r.word3 = node->alignment();
        r.word4 = node->size();
        if (kind != ST_KIND_FUNC) m_units.push_back(named(r, sid));
        return sid;
    }

    std::mt19937 m_rng;
    StSymbTable* m_t = nullptr;
    StRangeID m_vr, m_nr;
    uint32_t m_next = 0;
    std::vector<TypeUse> m_pool;
    std::vector<TypeUse> m_units;
    std::vector<std::pair<StSymbEntryID, String>> m_toTypes;
};

}  // namespace netest
