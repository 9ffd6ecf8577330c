// Memory queries of the symbol access table: system variables by block,
// segment ends, the arrangement of frame and plan-interface variables and
// memory maps of segments.
#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>

#include "base/fs/FsSections.h"
#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

constexpr uint32_t kNoAddress = 0x7FFFFFFFu;
// Marks an entry whose address an arrangement gave it (not a fixed one).
constexpr uint32_t kArrangedBit = 0x80000000u;

void traceLine(std::ostream* trace, const char* text)
{
    if (trace) *trace << text << "\n";
}

struct Placed {
    uint64_t first;
    uint64_t end;  // one behind
};

}  // namespace

OperandEntry::OperandEntry() { VariantInit(&value); }
OperandEntry::OperandEntry(const OperandEntry& o) : name(o.name), typeSpec(o.typeSpec), address(o.address)
{
    VariantInit(&value);
    VariantCopy(&value, const_cast<VARIANT*>(&o.value));
}
OperandEntry::~OperandEntry() { VariantClear(&value); }

bool SyStSymbTable::isSysVarAdr(uint32_t address)
{
    uint32_t start = 0;
    return findSysVarByAdr(address, &start) && start == address;
}

uint32_t SyStSymbTable::getSysVarStartInBlock(uint32_t address)
{
    const uint32_t block = address & 0xFFFF0000u;
    uint32_t start = 0;
    StSyBaseSymbEntry* e = findSysVarByAdr(block | 0xFFFFu, &start);
    if (!e || start < block) return 0;
    return start + (isArrayType(e->getTypeID()) ? 1 : 0);
}

uint32_t SyStSymbTable::getSegmentEnd() const
{
    if (inError()) return kNoAddress;
    StSymbEntryIDVect list;
    listSymbolIDs(list, StSymbEntryID(0), getCurrentSID());
    uint64_t best = 0;
    bool any = false;
    for (StSymbEntryID sid : list) {
        const StSyBaseSymbEntry* e = findEntry(sid);
        if (!e || e->segmentBits() != ST_SEG_INTERFACE || !e->hasAddress()) continue;
        const int32_t size = std::max(getTypeSize(e->getTypeID(), false), 0);
        best = std::max(best, uint64_t(uint32_t(e->getStorageAddress())) + uint64_t(size));
        any = true;
    }
    return any && best <= 0xFFFFFFFFu ? uint32_t(best) : kNoAddress;
}

// Placement: variables with an address that no arrangement gave are fixed
// and stay. The others are placed first fit, in SID order, at the lowest
// aligned address of their segment where they meet neither a fixed nor an
// already placed variable. Retain variables go to the retain segment, the
// others to the normal one. A variable that fits nowhere leaves every
// address as it was ("no space in segment", 2).
uint32_t SyStSymbTable::arrangeEntries(const std::vector<StSyBaseSymbEntry*>& vars, uint64_t retainLo,
                                       uint64_t retainHi, uint64_t normalLo, uint64_t normalHi,
                                       std::ostream* trace)
{
    std::vector<Placed> taken;
    std::vector<StSyBaseSymbEntry*> movable;
    for (StSyBaseSymbEntry* e : vars) {
        const bool fixed = e->hasAddress() && !(e->getExtra() & kArrangedBit);
        if (!fixed) {
            movable.push_back(e);
            continue;
        }
        const uint64_t a = uint32_t(e->getStorageAddress());
        if (!e->isRemanent() && a >= retainLo && a < retainHi) {
            char b[200];
            std::snprintf(b, sizeof b, "Non-retain variable with fixed addr in retain segment found :%s",
                          e->getName() ? e->getName()->c_str() : "");
            traceLine(trace, b);
            return 3;
        }
        taken.push_back({a, a + uint64_t(std::max(getTypeSize(e->getTypeID(), false), 1))});
    }
    std::vector<std::pair<StSyBaseSymbEntry*, uint32_t>> result;
    for (StSyBaseSymbEntry* e : movable) {
        const uint64_t size = uint64_t(std::max(getTypeSize(e->getTypeID(), false), 1));
        const StSyBaseTypeNode* n = findTypeNode(e->getTypeID());
        const uint64_t align = n && n->alignment() ? n->alignment() : 1;
        const uint64_t lo = e->isRemanent() ? retainLo : normalLo;
        const uint64_t hi = e->isRemanent() ? retainHi : normalHi;
        uint64_t a = (lo + align - 1) / align * align;
        bool moved = true;
        while (moved && a + size <= hi) {
            moved = false;
            for (const Placed& p : taken)
                if (a < p.end && p.first < a + size) {
                    a = (p.end + align - 1) / align * align;
                    moved = true;
                }
        }
        if (a + size > hi || a + size - 1 > 0xFFFFFFFFu) {
            traceLine(trace, "no space in segment");
            return 2;
        }
        taken.push_back({a, a + size});
        result.emplace_back(e, uint32_t(a));
    }
    for (const auto& [e, a] : result) {
        e->setStorageAddress(int32_t(a));
        e->setExtra(e->getExtra() | kArrangedBit);
    }
    return 0;
}

// The frame's variables (kinds 3, 4, 10 and 19 of its member scope): the
// retain segment is [0, retain size), the normal one [retain size, frame
// size). 0 arranged, 1 no frame, 2 no space, 3 a fixed non-retain variable
// in the retain segment.
uint32_t SyStSymbTable::arrangeFrameVariables(StSymbEntryID frameSID, std::ostream* trace)
{
    StSyBaseSymbEntry* frame = inError() ? nullptr : findEntry(frameSID);
    if (!frame) {
        char b[96];
        std::snprintf(b, sizeof b, "tab(Status = %d) / frameid( = %d) invalid", int32_t(getStatus()),
                      int32_t(uint32_t(frameSID)));
        traceLine(trace, b);
        return 1;
    }
    const StFrameProperties* f = frame->getFrameProperties();
    if (!f || f->membVRange == ST_INVALID_VR || f->retainSize < 0 || f->frameSize < f->retainSize) {
        traceLine(trace, "error getting frame props");
        return 1;
    }
    std::vector<StSyBaseSymbEntry*> all, vars;
    collectSymbols(all, f->membVRange, f->membNRange, false);
    for (StSyBaseSymbEntry* e : all) {
        const uint32_t k = e->getKind();
        if (k == ST_KIND_VAR || k == ST_KIND_GLOBVAR || k == ST_KIND_TEMP || k == ST_KIND_INTERFACEVAR)
            vars.push_back(e);
    }
    return arrangeEntries(vars, 0, uint32_t(f->retainSize), uint32_t(f->retainSize), uint32_t(f->frameSize),
                          trace);
}

// The interface variables (kind 19) of the global scope in one segment of
// 4096 bytes; retain ones in its first half, the others in the second.
uint32_t SyStSymbTable::arrangePlanInterfMemory(std::ostream* trace)
{
    if (inError()) {
        char b[96];
        std::snprintf(b, sizeof b, "tab(Status = %d) / frameid( = %d) invalid", int32_t(getStatus()), 0);
        traceLine(trace, b);
        return 1;
    }
    std::vector<StSyBaseSymbEntry*> all, vars;
    collectSymbols(all, getGlobalVR(), getGlobalNR(), false);
    for (StSyBaseSymbEntry* e : all)
        if (e->getKind() == ST_KIND_INTERFACEVAR) vars.push_back(e);
    return arrangeEntries(vars, 0, 2048, 2048, 4096, trace);
}

// The entries of the segment (its segment bits) whose storage begins in
// [start, start + size), in address order, each once: a second entry at
// the same address is left out with "address %d of symbol %s (%s) is
// already in map". Each record holds the name, the symbol's type code, the
// address and the value.
int32_t SyStSymbTable::getMemMappingOfSegment(uint32_t segment, uint32_t start, uint32_t size,
                                              std::vector<OperandEntry>& out, std::ostream* trace) const
{
    if (inError()) return 0;
    StSymbEntryIDVect list;
    listSymbolIDs(list, StSymbEntryID(0), getCurrentSID());
    std::map<uint32_t, StSymbEntryID> map;
    const uint64_t end = uint64_t(start) + size;
    for (StSymbEntryID sid : list) {
        const StSyBaseSymbEntry* e = findEntry(sid);
        if (!e || e->segmentBits() != segment || !e->hasAddress()) continue;
        const uint32_t a = uint32_t(e->getStorageAddress());
        if (a < start || a >= end) continue;
        auto [it, fresh] = map.emplace(a, sid);
        if (!fresh && trace) {
            const String* other = getName(it->second);
            char b[300];
            std::snprintf(b, sizeof b, "address %d of symbol %s (%s) is already in map", int32_t(a),
                          e->getName() ? e->getName()->c_str() : "", other ? other->c_str() : "");
            *trace << b << "\n";
        }
    }
    if (trace) {
        char b[96];
        std::snprintf(b, sizeof b, "SegStart %d  SegSize %d, Entries %d", int32_t(start), int32_t(size),
                      int32_t(map.size()));
        *trace << b << "\n";
    }
    for (const auto& [a, sid] : map) {
        OperandEntry r;
        getMemMappingOfSymbol(sid, r);
        out.push_back(r);
    }
    return int32_t(map.size());
}

// A symbol's record; a TO-typed symbol without a TO is named "TO#NIL".
bool SyStSymbTable::getMemMappingOfSymbol(StSymbEntryID sid, OperandEntry& r) const
{
    const StSyBaseSymbEntry* e = inError() ? nullptr : findEntry(sid);
    if (!e) return false;
    r.name = e->getName() ? *e->getName() : String();
    if (e->getKind() == ST_KIND_TO && e->getTypeRefSID() == ST_INVALID_SID) r.name = "TO#NIL";
    r.typeSpec = getSymbolTypeCode(sid);
    r.address = e->hasAddress() ? uint32_t(e->getStorageAddress()) : kNoAddress;
    VariantClear(&r.value);
    getSymbolValue(sid, &r.value, false, nullptr);
    return true;
}

// The record of the operand's symbol with the operand's own address.
bool SyStSymbTable::getMemMappingOfOperand(const StASMOperand* operand, OperandEntry& r) const
{
    if (!operand || !getMemMappingOfSymbol(operand->getSID(), r)) return false;
    r.address = getOperandAddress(operand);
    return true;
}

// The initial values of the entries of segment 0xF4000000 or 0, each at
// its entry's address + base: 0 with "%ld Initial Values written"; 2
// "Section not arranged" for such an entry without an address; 3 for a
// value other than its type's default unless `all`; 1 when a constant
// cannot be found or the section refuses a value.
uint32_t SyStSymbTable::writeDataSection(FsSecData& section, int32_t base, bool all, std::ostream* trace)
{
    if (inError()) return 1;
    StSymbEntryIDVect list;
    listSymbolIDs(list, StSymbEntryID(0), getCurrentSID());
    int32_t written = 0;
    for (StSymbEntryID sid : list) {
        const StSyBaseSymbEntry* e = findEntry(sid);
        if (!e) return 1;
        const uint32_t seg = e->segmentBits();
        if (seg != ST_SEG_INTERFACE && seg != 0) continue;
        if (!e->hasAddress()) {
            traceLine(trace, "Section not arranged");
            return 2;
        }
        const StConstEntryID cid = e->getInitCID();
        if (cid == ST_INVALID_CID) continue;
        StConstantVal* value = getConstant(cid);
        if (!value) return 1;
        if (!all && !value->isDefault()) return 3;
        value->setStorageAddress(e->getStorageAddress());
        if (value->writeImage(section, base) != 0) return 1;
        ++written;
    }
    char b[64];
    std::snprintf(b, sizeof b, "%ld Initial Values written", long(written));
    traceLine(trace, b);
    return 0;
}
