// Qualified names at random: seeded tables of nested structure, array and
// function-block types; random member and element paths walked with
// createOperandByName, selectMember, selectElement and addFixOff must name
// themselves back through getSymbolName and lie where getOperandAddress
// says. Byte-addressed variables and bit-addressed system variables (flat
// item positions) both.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

enum Shape { ELEM, STRUCT, ARRAY, FB };

struct Member {
    std::string name;
    size_t type;         // index into Gen::types
    int64_t offset;      // byte offset in the instance
    int64_t ordinal;     // flat item position (structures)
};

struct TypeInfo {
    Shape shape = ELEM;
    StTypeID tid = ST_INVALID_TID;
    StSymbEntryID decl;
    std::vector<Member> members;
    size_t element = 0;
    int32_t lower = 0, upper = 0;
};

int64_t roundUp(int64_t v, int64_t a) { return a > 1 ? (v + a - 1) / a * a : v; }

class Gen {
public:
    Gen(StSymbTable& t, uint32_t seed) : m_t(t), m_rng(seed) {}

    uint32_t u(uint32_t n) { return m_rng() % n; }

    size_t make(int depth, bool allowFB)
    {
        TypeInfo info;
        const uint32_t pick = depth > 0 ? u(allowFB ? 4 : 3) : 0;
        info.shape = Shape(pick);
        StSyTypeTable& tt = *m_t.types();
        const int n = ++m_count;
        switch (info.shape) {
        case ELEM: {
            static const StTypeID kElems[] = {ST_BOOL, ST_BYTE, ST_INT, ST_DINT, ST_REAL, ST_LREAL};
            info.tid = kElems[u(6)];
            break;
        }
        case ARRAY: {
            info.element = make(depth - 1, allowFB);
            info.lower = int32_t(u(7)) - 3;
            info.upper = info.lower + int32_t(u(5));
            info.tid = tt.createArrayType(types[info.element].tid, info.lower, info.upper);
            StSyBaseSymbEntry* d = m_t.addEntry(static_cast<const char*>(nullptr), 0, 0, ST_KIND_TYPESPEC, info.decl);
            d->setTypeID(info.tid);
            d->setTypeRefSID(types[info.element].decl);
            break;
        }
        case STRUCT:
        case FB: {
            const StRangeID nr = m_t.openNameSpace(0);
            const uint32_t count = 1 + u(4);
            StTypeIDList post;
            int64_t pos = 0, ordinal = 1;
            uint32_t align = 1;
            for (uint32_t i = 0; i < count; ++i) {
                Member m;
                m.name = "m" + std::to_string(i);
                m.type = make(depth - 1, allowFB);
                const StTypeID mt = types[m.type].tid;
                const uint32_t a = tt.getAlignment(mt);
                align = std::max(align, a);
                pos = roundUp(pos, a);
                m.offset = pos;
                m.ordinal = ordinal;
                pos += tt.getSize(mt);
                ordinal += tt.getItemCount(mt);
                post.push_back(mt);
                info.members.push_back(m);
            }
            const int32_t size = int32_t(roundUp(pos, align));
            const int32_t base = info.shape == FB ? int32_t(4 * u(4)) : 0;
            const std::string name = (info.shape == FB ? "FB" : "S") + std::to_string(n);
            StSyBaseSymbEntry* d;
            if (info.shape == STRUCT) {
                info.tid = tt.createStructType(post, align, size);
                d = m_t.addEntry(name.c_str(), 0, 0, ST_KIND_TYPESPEC, info.decl);
                d->setSubNameRange(nr);
            } else {
                info.tid = tt.createFuncType(align, post, size, StTypeIDList{}, align, size + base, ST_INVALID_SID, true);
                d = m_t.addEntry(name.c_str(), 0, 0, ST_KIND_FUNCBLOCK, info.decl);
                d->setSubValidRange(0);
                d->setSubNameRange(nr);
            }
            d->setTypeID(info.tid);
            for (const Member& m : info.members) {
                StSymbEntryID sid;
                const bool fb = info.shape == FB;
                StSyBaseSymbEntry* e = m_t.addEntry(m.name.c_str(), 0, nr, fb ? ST_KIND_VAR : ST_KIND_TYPESPEC, sid);
                e->setTypeID(types[m.type].tid);
                e->setTypeRefSID(types[m.type].decl);
                const bool isStatic = fb && u(3) == 0;
                e->setStorageAddress(int32_t(m.offset + (fb && !isStatic ? base : 0)));
                if (fb) {
                    e->setSecondFlag(isStatic ? 1 : 0);
                    e->setAccessMode(int32_t(1 + u(3)));
                }
            }
            break;
        }
        }
        types.push_back(info);
        return types.size() - 1;
    }

    std::vector<TypeInfo> types;

private:
    StSymbTable& m_t;
    std::mt19937 m_rng;
    int m_count = 0;
};

// Walks a random path from a root operand; checks name and address.
void walk(StSymbTable& t, Gen& g, std::mt19937& rng, size_t type, const std::string& root, StRangeID vr,
          StRangeID nr, bool bits, uint32_t rootAddress, uint32_t segment)
{
    StASMOperand* op = nullptr;
    ASSERT_EQ(0, t.createOperandByName(root.c_str(), vr, nr, op, bits)) << root;
    std::string path = root;
    int64_t where = 0;  // byte offset, or flat item position
    while (g.types[type].shape != ELEM && rng() % 5 != 0) {
        const TypeInfo& info = g.types[type];
        if (info.shape == ARRAY) {
            int32_t indexBase = 0;
            ASSERT_EQ(0, t.selectElement(op, indexBase, vr, nr)) << path;
            ASSERT_EQ(-info.lower, indexBase);
            const int32_t index = info.lower + int32_t(rng() % uint32_t(info.upper - info.lower + 1));
            const StTypeID element = g.types[info.element].tid;
            const int64_t step = bits ? t.types()->getItemCount(element)
                                      : roundUp(t.types()->getSize(element), t.types()->getAlignment(element));
            op->addFixOff(int32_t((index + indexBase) * step));
            where += (bits ? 1 : 0) + (index - info.lower) * step;
            path += "[" + std::to_string(index) + "]";
            type = info.element;
        } else {
            const Member& m = info.members[rng() % info.members.size()];
            ASSERT_EQ(0, t.selectMember(m.name.c_str(), vr, nr, op, true)) << path << "." << m.name;
            where += bits ? m.ordinal : m.offset;
            path += "." + m.name;
            type = m.type;
        }
        ASSERT_EQ(g.types[type].tid, op->getTID()) << path;
    }
    EXPECT_EQ(path, std::string(t.getSymbolName(op).c_str()));
    EXPECT_EQ(where, op->getFixOff()) << path;
    EXPECT_EQ(segment | ((rootAddress + uint32_t(where)) & 0xFFFFFFu), t.getOperandAddress(op)) << path;
    delete op;
}

TEST(SymbPathsRandom, NamesAndAddressesOfRandomPaths)
{
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed * 7919u);
        {
            // Byte-addressed variables of every shape, function blocks too.
            StSymbTable t;
            Gen g(t, seed);
            for (int r = 0; r < 12; ++r) {
                const size_t type = g.make(3, true);
                const std::string name = "r" + std::to_string(r);
                StSymbEntryID sid;
                StSyBaseSymbEntry* e = t.addEntry(name.c_str(), 0, 0, ST_KIND_VAR, sid);
                e->setTypeID(g.types[type].tid);
                e->setTypeRefSID(g.types[type].decl);
                const uint32_t address = 0x1000u * uint32_t(r + 1);
                e->setStorageAddress(int32_t(address));
                for (int w = 0; w < 6; ++w) walk(t, g, rng, type, name, 0, 0, false, address, ST_SEG_FRAME);
            }
        }
        {
            // Bit-addressed system variables: mode-word bits 0-3 clear and
            // table mode 0; offsets count flat item positions.
            StSymbTable t;
            const StRangeID toVR = t.openValidityRange(0), toNR = t.openNameSpace(0);
            const StSymbEntryID toType = t.addTOType("Axis", 0, 0, toVR, toNR, ST_INVALID_SID, -1);
            Gen g(t, seed + 1000);
            for (int r = 0; r < 12; ++r) {
                const size_t type = g.make(3, false);
                const std::string name = "sv" + std::to_string(r);
                const uint32_t address = 0x100u * uint32_t(r + 1);
                const StSymbEntryID sid = t.addSysVar(name.c_str(), toType, int32_t(address), -1);
                ASSERT_TRUE(sid.isValid());
                t.findEntry(sid)->setTypeID(g.types[type].tid);
                t.findEntry(sid)->setTypeRefSID(g.types[type].decl);
                for (int w = 0; w < 6; ++w) walk(t, g, rng, type, name, toVR, toNR, true, address, 0);
            }
        }
    }
}

}  // namespace
