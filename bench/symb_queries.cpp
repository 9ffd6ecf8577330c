// Symbol lookups and qualified names:
//  - FindSymbolEntry: findSymbolEntry of a name whose chain holds 10k
//    entries, asked from a scope 50 validity ranges and 50 name spaces
//    deep; every entry but the global one lies in a scope off the chain,
//    so the whole chain is walked. Floor: the same walk over 10k nodes of
//    a plain linked list comparing two range ids per node.
//  - SymbolName: getSymbolName of a path 8 levels deep
//    (r.m[1].m[1]...) through structures and arrays. Floor: building the
//    same text by appending its parts to a String.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/stsymtab/StSyEntryTable.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/StSymbTable.h"

namespace {

constexpr int kChain = 10000, kDepth = 50, kLevels = 8;

struct DeepChain {
    StSymbTable t;
    StRangeID vr = 0, nr = 0;
    StSymbEntryID global;

    DeepChain()
    {
        t.addEntry("x", 0, 0, ST_KIND_VAR, global);
        for (int i = 0; i < kDepth; ++i) {
            vr = t.openValidityRange(vr);
            nr = t.openNameSpace(nr);
        }
        // Siblings of the deepest scope: off the chain.
        const StRangeID offVR = t.openValidityRange(0), offNR = t.openNameSpace(0);
        for (int i = 1; i < kChain; ++i) {
            StSymbEntryID sid;
            t.addEntry("x", offVR, offNR, ST_KIND_VAR, sid, -1, false);
        }
    }
};

void BM_FindSymbolEntry(benchmark::State& state)
{
    DeepChain c;
    const String name("x");
    for (auto _ : state) {
        const StSymbEntryID sid = c.t.findSymbolEntry(name, c.vr, c.nr);
        if (sid != c.global) state.SkipWithError("wrong answer");
        benchmark::DoNotOptimize(sid);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kChain);
}
BENCHMARK(BM_FindSymbolEntry)->Unit(benchmark::kMicrosecond);

struct Node {
    uint32_t vr, nr;
    Node* next;
};

void BM_FindSymbolEntryFloor(benchmark::State& state)
{
    std::vector<Node> nodes(kChain);
    for (int i = 0; i < kChain; ++i) nodes[i] = {uint32_t(i % 7), uint32_t(i % 5), i + 1 < kChain ? &nodes[i + 1] : nullptr};
    for (auto _ : state) {
        uint32_t hits = 0;
        for (const Node* n = &nodes[0]; n; n = n->next) hits += n->vr == 3 && n->nr == 4;
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kChain);
}
BENCHMARK(BM_FindSymbolEntryFloor)->Unit(benchmark::kMicrosecond);

// r: a structure of kLevels nested levels, each {m: ARRAY [0..3] OF next}.
struct DeepPath {
    StSymbTable t;
    StASMOperand* op = nullptr;
    std::string expected;

    DeepPath()
    {
        StTypeID inner = ST_DINT;
        StSymbEntryID innerDecl;
        for (int level = 0; level < kLevels; ++level) {
            StSymbEntryID anon, decl, m;
            const StTypeID arr = t.types()->createArrayType(inner, 0, 3);
            StSyBaseSymbEntry* a = t.addEntry(static_cast<const char*>(nullptr), 0, 0, ST_KIND_TYPESPEC, anon);
            a->setTypeID(arr);
            a->setTypeRefSID(innerDecl);
            const StRangeID nr = t.openNameSpace(0);
            const StTypeID st = t.types()->createStructType(StTypeIDList{ST_DINT, arr}, 4, 4 + t.types()->getSize(arr));
            const std::string name = "S" + std::to_string(level);
            StSyBaseSymbEntry* d = t.addEntry(name.c_str(), 0, 0, ST_KIND_TYPESPEC, decl);
            d->setTypeID(st);
            d->setSubNameRange(nr);
            t.addEntry("k", 0, nr, ST_KIND_TYPESPEC, m)->setTypeID(ST_DINT);
            t.findEntry(m)->setStorageAddress(0);
            StSyBaseSymbEntry* me = t.addEntry("m", 0, nr, ST_KIND_TYPESPEC, m);
            me->setTypeID(arr);
            me->setTypeRefSID(anon);
            me->setStorageAddress(4);
            inner = st;
            innerDecl = decl;
        }
        StSymbEntryID r;
        StSyBaseSymbEntry* re = t.addEntry("r", 0, 0, ST_KIND_VAR, r);
        re->setTypeID(inner);
        re->setTypeRefSID(innerDecl);
        re->setStorageAddress(0);
        StRangeID vr = 0, nr = 0;
        t.createOperandByName("r", vr, nr, op);
        expected = "r";
        for (int level = 0; level < kLevels; ++level) {
            int32_t base;
            t.selectMember("m", vr, nr, op);
            t.selectElement(op, base, vr, nr);
            const StTypeID element = op->getTID();
            op->addFixOff(int32_t(t.getTypeSize(element, false)));  // index 1
            expected += ".m[1]";
        }
    }
    ~DeepPath() { delete op; }
};

void BM_SymbolName(benchmark::State& state)
{
    DeepPath p;
    for (auto _ : state) {
        const String name = p.t.getSymbolName(p.op);
        if (p.expected != name.c_str()) state.SkipWithError("wrong name");
        benchmark::DoNotOptimize(name);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kLevels);
}
BENCHMARK(BM_SymbolName)->Unit(benchmark::kMicrosecond);

void BM_SymbolNameFloor(benchmark::State& state)
{
    for (auto _ : state) {
        String name("r");
        for (int level = 0; level < kLevels; ++level) {
            name += ".";
            name += "m";
            name += "[1]";
        }
        benchmark::DoNotOptimize(name);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kLevels);
}
BENCHMARK(BM_SymbolNameFloor)->Unit(benchmark::kMicrosecond);

}  // namespace
