// CpBfNameMengeler: the name exporter of the boot-function compiler. It
// collects the symbols whose names are exported, groups symbols of equal
// name under the first one exported, and writes the group heads through the
// name-export format of StNameMengeler; while exporting a head it answers
// the ids of its group (slot 14, getExtraIds).
//
// Symbols of equal name match when neither is the zero SID and their
// subordinate entries (the members of a structure type, the enumerators of
// an enumeration type) can be read for both, are as many and have pairwise
// equal names. Other symbols (variables, constants) never match, so only
// types can be exported twice under one name.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/st/stsymtab/StNameMengeler.h"

class FsSecCl;
class CpSymbTable;

class CpBfNameMengeler : public StNameMengeler {
public:
    struct Export {
        StSymbEntryID sid;      // the first symbol exported under the name
        StSymbEntryIDList ids;  // every symbol exported under it, the first included
    };

    explicit CpBfNameMengeler(CpSymbTable* table) : m_table(table) {}

    // 0 done, 1 the symbol (or the listed symbol of its name) is not in the
    // table, 2 a symbol of the same name is listed and the two do not match
    // (the list is unchanged). The same SID twice is listed twice. The
    // listed symbol of a name is found by the name it had when it was
    // listed (symbols are listed once declared, and stay).
    uint32_t addExport(StSymbEntryID sid);
    // The ids of the export entry headed by the entry's SID (a copy), empty
    // when it heads none.
    StSymbEntryIDList getExtraIds(const StSyBaseSymbEntry* entry) override;
    // Sorts each entry's ids, rewinds the stream and exports the heads in
    // list order; false for a null stream or table, or when the export
    // could not begin or an entry could not be written.
    bool writeExports(FsSecCl* stream);

    const std::vector<Export>& exports() const { return m_exports; }

private:
    bool matches(StSymbEntryID a, StSymbEntryID b) const;

    CpSymbTable* m_table;
    std::vector<Export> m_exports;
    // The entries of m_exports by their heads' names and by their heads'
    // SIDs: a source exports a name per enumeration type it declares.
    std::unordered_map<std::string, size_t> m_byName;
    std::unordered_map<uint32_t, size_t> m_byHead;
};
