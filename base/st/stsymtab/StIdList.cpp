// Id lists: serialisers and dump.
#include "base/st/stsymtab/StIdList.h"

#include <ostream>

#include "base/st/stsymtab/StSerial.h"

template <class A>
void StIdList::io(A& a, uint32_t)
{
    uint32_t count = uint32_t(size());
    a.num(count);
    if (!A::kReading) {
        for (uint32_t& id : *this) a.num(id);
        return;
    }
    clear();
    for (uint32_t i = 0; i < count && a.good(); ++i) {
        uint32_t id = 0xFFFFFFFFu;
        a.num(id);
        if (a.good()) push_back(id);
    }
}

ST_SERIALISERS(StIdList)

void StIdList::dump(std::ostream& os) const
{
    for (uint32_t id : *this) os << ' ' << id;
}
