// Lists of 32-bit ids: the symbol-id lists (enumerators, referenced
// results) and the type-id lists of the type nodes (post and argument
// lists).
//
// Written as the count and a blank, then each id followed by a blank.
// Reading clears the list, reads the count and then as many ids as the
// stream holds, up to the count: the list never grows beyond what was
// read, whatever count the stream claims.
#pragma once
#include "base/st/stsymtab/StSerialDecl.h"
#include <cstdint>
#include <iosfwd>
#include <vector>


// A copy holds the same ids as its source. Lists travel by value (the
// extra ids a derived name exporter hands back, the enumerators and
// members a type node keeps a copy of), and a copy that came out empty
// would drop them without a sign.
class StIdList : public std::vector<uint32_t> {
public:
    using std::vector<uint32_t>::vector;

    ST_DECLARE_SERIALISERS(0)
    // The ids, each preceded by a blank.
    void dump(std::ostream& os) const;

};

using StSymbEntryIDList = StIdList;
using StTypeIDList = StIdList;
