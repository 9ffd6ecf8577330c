// Scope chain of a position (VR, NR) in a symbol table: the validity
// ranges from VR outward and the name spaces from NR outward. The pairs
// of the chain are met VR first (for each VR' every NR' in turn); the
// place of an entry is the index of the first pair equal to its scope,
// -1 when its scope is not on the chain.
#pragma once
#include <cstdint>
#include <vector>

#include "base/st/stsymtab/StIds.h"

class StSymbTable;
class StSyBaseSymbEntry;

class StScopeChain {
public:
    StScopeChain(const StSymbTable& table, StRangeID vr, StRangeID nr);
    int64_t place(const StSyBaseSymbEntry* entry) const;
    // 1 when a comes first (also on a tie), 2 when b, 0 when neither is on it.
    int closer(const StSyBaseSymbEntry* a, const StSyBaseSymbEntry* b) const;
    const std::vector<StRangeID>& vrs() const { return m_vrs; }
    const std::vector<StRangeID>& nrs() const { return m_nrs; }

private:
    std::vector<StRangeID> m_vrs;
    std::vector<StRangeID> m_nrs;
    bool m_vrFalling;
    bool m_nrFalling;
};
