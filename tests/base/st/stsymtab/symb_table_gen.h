// Test helper: seeded random symbol tables with nested scopes, every entry
// kind, every constant kind, types of every node kind and equal names in
// several scopes, and the written forms and dump of a whole table.
#pragma once
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"
#include "st_forms.h"
#include <sstream>

namespace sttest {

inline std::string saved(StSymbTable& t, Form f)
{
    return write(
        f, [&](FsSecCl& s) { t.save(s); }, [&](std::ostream& os) { t.save(os); });
}

inline void loadFrom(StSymbTable& t, Form f, const std::string& bytes)
{
    read(
        f, bytes, [&](FsSecCl& s) { t.load(s); }, [&](std::istream& is) { t.load(is); });
}

inline std::string dumped(const StSymbTable& t)
{
    std::ostringstream os;
    t.dump(os);
    return os.str();
}

class TableGen {
public:
    explicit TableGen(uint32_t seed) : m_rng(seed) {}

    uint32_t u(uint32_t n) { return n ? m_rng() % n : 0; }
    bool coin() { return m_rng() & 1; }

    // Integer arrays only nested (the table holds no bare one), package
    // inits only at the top.
    StConstantVal* value(int depth, bool top = true)
    {
        uint32_t kind = depth > 0 ? u(top ? 5 : 4) : 0;
        if (top && kind == 3) kind = 1;
        switch (kind) {
        case 1: {
            auto* s = new StStructConstantVal();
            s->setTypeRef(40 + u(4));
            for (uint32_t i = 0, n = 1 + u(3); i < n; ++i) s->addMember(value(depth - 1, false));
            s->setShared(coin());
            return s;
        }
        case 2: {
            int st;
            std::string t;
            for (uint32_t i = 0, n = u(20); i < n; ++i) t += char('a' + u(26));
            auto* s = new StStringConstantVal(40 + u(3), String(t.c_str()), uint8_t(t.size()), st);
            s->setText(String(t.c_str()));
            return s;
        }
        case 3: return new StIntArrayConstantVal(1 + u(50), value(0), 1 + u(8), coin());
        case 4: {
            auto* p = new StPckInitConstantVal();
            p->setArray(1 + u(5), value(0), 4);
            StPackageId id{};
            id.Guid.Data1 = m_rng();
            id.Major = uint16_t(u(4));
            p->setPackageInit(u(60), id, int32_t(m_rng()));
            return p;
        }
        default: {
            static const uint32_t kTypes[] = {ST_BOOL, ST_INT, ST_DINT, ST_UDINT, ST_REAL, ST_LREAL, ST_TIME, ST_BYTE};
            const uint32_t type = kTypes[u(8)];
            auto* v = new StStdConstantVal(type, coin());
            const uint32_t r = m_rng();
            if (type == ST_REAL)
                v->SetRealVal(float(int32_t(r)) / 7.0f);
            else if (type == ST_LREAL)
                v->SetLRealVal(double(int32_t(r)) / 3.0);
            else if (type == ST_INT)
                v->SetLongVal(int32_t(r % 30000));
            else if (type == ST_DINT)
                v->SetLongVal(int32_t(r));
            else if (type == ST_BOOL)
                v->SetULongVal(r & 1);
            else if (type == ST_BYTE)
                v->SetULongVal(r & 0xFF);
            else
                v->SetULongVal(r);
            v->setStorageAddress(coin() ? ST_NO_ADDRESS : int32_t(r & 0xFFFF));
            return v;
        }
        }
    }

    // Fills an empty table: `entries` entries in nested scopes.
    void fill(StSymbTable& t, uint32_t entries, uint32_t constants, uint32_t types)
    {
        StSyTypeTable& tt = *t.types();
        std::vector<StTypeID> tids{ST_BOOL, ST_INT, ST_DINT, ST_REAL, ST_STRING_TID};
        for (uint32_t i = 0; i < types; ++i) {
            StTypeID tid = ST_INVALID_TID;
            switch (u(5)) {
            case 0: tid = tt.createArrayType(tids[u(tids.size())], -int32_t(u(3)), int32_t(u(6))); break;
            case 1: {
                StTypeIDList members;
                for (uint32_t m = 0, n = 1 + u(4); m < n; ++m) members.push_back(tids[u(tids.size())]);
                tid = tt.createStructType(members, 4, int32_t(4 * members.size()));
                break;
            }
            case 2: tid = tt.createStringType(int32_t(1 + u(200))); break;
            case 3: {
                auto list = std::make_unique<StSymbEntryIDList>(StSymbEntryIDList{u(100), u(100)});
                tid = tt.createEnumType(list, ST_DINT);
                break;
            }
            default:
                tid = tt.createFuncType(4, StTypeIDList{ST_INT}, 4, StTypeIDList{ST_DINT, ST_BOOL}, 4, 12,
                                        StSymbEntryID(u(100)), coin());
                break;
            }
            if (tid != ST_INVALID_TID) tids.push_back(tid);
        }
        std::vector<StConstEntryID> cids;
        for (uint32_t i = 0; i < constants; ++i) {
            StConstantVal* v = value(2);
            const StConstEntryID cid = t.constants()->addConstantVal(v);
            delete v;
            if (cid.isValid()) cids.push_back(cid);
        }
        static const char* kNames[] = {"a", "b", "Speed", "x1", "value", "T", "n_2"};
        std::vector<std::pair<StRangeID, StRangeID>> scopes{{t.getGlobalVR(), t.getGlobalNR()}};
        for (uint32_t i = 0; i < entries; ++i) {
            if (u(16) == 0) {
                const auto parent = scopes[u(scopes.size())];
                scopes.emplace_back(t.openValidityRange(parent.first), t.openNameSpace(parent.second));
            }
            const auto scope = scopes[u(scopes.size())];
            const uint32_t kind = 1 + u(ST_KIND_LAST);
            std::string name = u(3) ? kNames[u(7)] : "v" + std::to_string(i);
            StSymbEntryID sid;
            StSyBaseSymbEntry* e = t.addEntry(name.c_str(), scope.first, scope.second, kind, sid, -1, coin());
            if (!e) continue;
            e->setTypeID(tids[u(tids.size())]);
            if (!cids.empty() && coin()) e->setInitCID(cids[u(cids.size())]);
            e->setStorageAddress(coin() ? ST_NO_ADDRESS : int32_t(u(0x10000)));
            e->setVisibility(int32_t(u(3)), uint8_t(u(4)));
            e->setAccessMode(int32_t(1 + u(5)));
            e->setTypeRefSID(u(3) ? ST_INVALID_SID : StSymbEntryID(u(i + 1)));
            e->setUnitSID(u(3) ? ST_INVALID_SID : StSymbEntryID(u(i + 1)));
            e->setBaseTOTypeSID(u(3) ? ST_INVALID_SID : StSymbEntryID(u(i + 1)));
            e->setSysVarTOTypeRef(u(3) ? ST_INVALID_SID : StSymbEntryID(u(i + 1)));
            e->setRemanent(coin());
            e->setFuncIndex(int32_t(u(10)) - 1);
            if (StFrameProperties* f = e->getFrameProperties()) {
                const auto sub = scopes[u(scopes.size())];
                f->membVRange = sub.first;
                f->membNRange = sub.second;
                f->frameID = u(1000);
                f->frameSize = int32_t(u(4096));
            }
            e->setSubNameRange(scopes[u(scopes.size())].second);
            e->setTaskRecord(StTaskRecord{uint32_t(m_rng()), u(16), int32_t(u(9999))});
        }
        t.setNewFormat(coin());
    }

private:
    std::mt19937 m_rng;
};

}  // namespace sttest
