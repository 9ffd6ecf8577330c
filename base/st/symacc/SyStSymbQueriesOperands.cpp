// Operand queries of the symbol access table: user operands for symbols,
// the address range of an operand and the operands of an address range.
#include <cstdio>
#include <ostream>

#include "base/st/stsymtab/StASMOperand.h"
#include "base/st/symacc/SyStSymbTable.h"

namespace {

constexpr uint32_t kNoAddress = 0x7FFFFFFFu;

// The filter bit of an entry kind; 0 for kinds only the full mask passes.
uint32_t kindFilterBit(uint32_t kind)
{
    switch (kind) {
    case ST_KIND_CONST: return 0x4;
    case ST_KIND_TYPESPEC:
    case ST_KIND_TOTYPE:
    case ST_KIND_DEVICETYPE:
    case ST_KIND_PACKAGETYPE: return 0x2;
    case ST_KIND_VAR:
    case ST_KIND_SYSVAR:
    case ST_KIND_DEVICE: return 0x1;
    case ST_KIND_FUNC: return 0xC000000;
    case ST_KIND_TASK: return 0x100;
    default: return 0;
    }
}

}  // namespace

uint32_t SyStSymbTable::createUserOperand(StSymbEntryID sid, StASMUserOperand*& operand) const
{
    operand = nullptr;
    if (inError()) return 1;
    const StSyBaseSymbEntry* e = findEntry(sid);
    if (!e) return 2;
    return createUserOperandForEntry(e, operand);
}

uint32_t SyStSymbTable::createUserOperandForEntry(const StSyBaseSymbEntry* entry, StASMUserOperand*& operand) const
{
    operand = nullptr;
    if (inError()) return 1;
    if (!entry) return 2;
    const uint32_t k = entry->getKind();
    if (k != ST_KIND_TYPESPEC && k != ST_KIND_FUNC && k != ST_KIND_FUNCBLOCK && k != ST_KIND_PROGRAM) return 3;
    const StTypeID tid = entry->getTypeID();
    operand = new StASMUserOperand(entry->getID(), tid, getMachMode(tid), 0, 1, ST_INVALID_SID);
    return 0;
}

// The last address is computed in 64 bits: a range running past the
// 32-bit address space is refused, as is an operand without a size.
bool SyStSymbTable::getOperandRange(const StASMOperand* operand, uint32_t& first, uint32_t& last) const
{
    if (!operand || inError()) return false;
    first = getOperandAddress(operand);
    const int32_t size = getTypeSize(operand->getTID(), false);
    if (first == kNoAddress || size <= 0) return false;
    const uint64_t end = uint64_t(first) + uint64_t(size) - 1;
    if (end > 0xFFFFFFFFu || end == kNoAddress) return false;
    last = uint32_t(end);
    return true;
}

StASMUserOperand* SyStSymbTable::addUserOperand(const StSyBaseSymbEntry* entry, StTypeID tid, int32_t fixOff,
                                                std::vector<StASMOperand*>& out) const
{
    const uint32_t k = entry->getKind();
    const int32_t scope = (k == ST_KIND_VAR || k == ST_KIND_TEMP) ? 0 : k == ST_KIND_CONST ? 2 : 1;
    auto* op = new StASMUserOperand(entry->getID(), tid, getMachMode(tid), fixOff, scope, ST_INVALID_SID);
    out.push_back(op);
    return op;
}

// One operand per element of an array variable whose storage meets
// [first, last]; "traceArrayASMUserOperand <name>[<index>] <address>".
int32_t SyStSymbTable::getArraySubSymbols(const StSyBaseSymbEntry* entry, uint32_t first, uint32_t last,
                                          std::vector<StASMOperand*>& out, std::ostream* trace) const
{
    int32_t lower = 0, upper = -1;
    const StTypeID tid = entry->getTypeID();
    if (!getArrayBounds(tid, lower, upper)) return 0;
    const StTypeID element = getElementType(tid);
    const int32_t size = getTypeSize(element, false);
    if (size <= 0) return 0;
    int32_t count = 0;
    for (int64_t i = lower; i <= upper; ++i) {
        const int64_t offset = getElementOffset(tid, int32_t(i), false);
        StASMUserOperand probe(entry->getID(), element, 0, int32_t(offset), 1, ST_INVALID_SID);
        uint32_t a = 0, z = 0;
        if (!getOperandRange(&probe, a, z) || z < first || a > last) continue;
        addUserOperand(entry, element, int32_t(offset), out);
        ++count;
        if (trace) {
            char b[64];
            std::snprintf(b, sizeof b, "[%d] %u", int32_t(i), a);
            *trace << "traceArrayASMUserOperand " << (entry->getName() ? entry->getName()->c_str() : "") << b
                   << "\n";
        }
    }
    return count;
}

// The entries of the scope (and, always, of the name spaces in it) that
// pass the mask and whose storage meets [first, last]: arrays element by
// element, others whole. Trace: per scope "filter: .., tab-no: <table
// mode>, vr/nr: .., sym-no: <entries in the scope>", per operand
// "TSI#<sid> <name> <address>". The count of operands added.
int32_t SyStSymbTable::getOperandsInRange(uint32_t first, uint32_t last, uint32_t mask,
                                          std::vector<StASMOperand*>& out, std::ostream* trace) const
{
    if (inError() || first > last) return 0;
    return operandsInScope(getGlobalVR(), getGlobalNR(), first, last, mask, out, trace);
}

int32_t SyStSymbTable::operandsInScope(StRangeID vr, StRangeID nr, uint32_t first, uint32_t last, uint32_t mask,
                                       std::vector<StASMOperand*>& out, std::ostream* trace) const
{
    std::vector<StSyBaseSymbEntry*> entries;
    collectSymbols(entries, vr, nr, false);
    if (trace) {
        char b[128];
        std::snprintf(b, sizeof b, "filter: 0x%08X, tab-no: %d, vr/nr: %d/%d, sym-no: %d", mask,
                      int32_t(getTableMode()), int32_t(vr), int32_t(nr), int32_t(entries.size()));
        *trace << b << "\n";
    }
    int32_t count = 0;
    for (const StSyBaseSymbEntry* e : entries) {
        const uint32_t k = e->getKind();
        if (k == ST_KIND_NAMESPACE) {
            const StRangeID svr = e->getSubValidRange(), snr = e->getSubNameRange();
            if (svr != ST_INVALID_VR && snr != ST_INVALID_NR && !(svr == vr && snr == nr))
                count += operandsInScope(svr, snr, first, last, mask, out, trace);
            continue;
        }
        if (mask != 0xFFFFFFFFu && !(mask & kindFilterBit(k))) continue;
        if (isArrayType(e->getTypeID())) {
            count += getArraySubSymbols(e, first, last, out, trace);
            continue;
        }
        StASMUserOperand probe(e->getID(), e->getTypeID(), 0, 0, 1, ST_INVALID_SID);
        uint32_t a = 0, z = 0;
        if (!getOperandRange(&probe, a, z) || z < first || a > last) continue;
        addUserOperand(e, e->getTypeID(), 0, out);
        ++count;
        if (trace) {
            char b[48];
            std::snprintf(b, sizeof b, "TSI#%u ", uint32_t(e->getID()));
            *trace << b << (e->getName() ? e->getName()->c_str() : "") << " " << a << "\n";
        }
    }
    return count;
}
