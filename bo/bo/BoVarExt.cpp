// Key print and the duplicate rule of the bit fields.
#include "bo/bo/BoVarExt.h"

#include <cstdio>

std::string VarExtKey::print() const
{
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "{0x%08X, 0x%08X}", uint32_t(adr), mask);
    if (n < 0 || size_t(n) >= sizeof buf) return "internal error";
    return std::string(buf, size_t(n));
}

std::ostream& operator<<(std::ostream& out, const VarExtKey& key) { return out << key.print(); }

bool CBitFieldTable::addBitField(const VarExtKey& key, int32_t bit, int32_t bitType, int32_t third,
                                 const CBitTypeTable& types)
{
    return addBitField(key, bit, bitType, third, types.find(bitType) != types.end());
}

bool CBitFieldTable::addBitField(const VarExtKey& key, int32_t bit, int32_t bitType, int32_t third, bool typeKnown)
{
    if (!typeKnown) return false;
    for (auto it = lower_bound(VarExtKey(key.adr, 0)); it != end() && it->first.adr == key.adr; ++it)
        if (it->first.covers(key.mask) && it->second.bit == bit) return false;
    emplace(key, BitEntry{bit, bitType, third});
    return true;
}
