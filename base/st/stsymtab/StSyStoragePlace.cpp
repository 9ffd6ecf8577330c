// Storage place: target address and dump.
#include "base/st/stsymtab/StSyStoragePlace.h"

#include <ostream>

uint32_t StSyStoragePlace::getAddress(int32_t offset) const
{
    if (m_address == ST_NO_ADDRESS) throw StNoAddressError();
    // Unsigned arithmetic: the sum is cut to 24 bits and must not overflow.
    return segmentBits() | ((uint32_t(m_address) + uint32_t(offset)) & ST_OFFSET_MASK);
}

void StSyStoragePlace::dumpPlace(std::ostream& os) const
{
    os << " Adr: " << std::hex << m_address << " Seg: " << segmentBits() << std::dec;
}
