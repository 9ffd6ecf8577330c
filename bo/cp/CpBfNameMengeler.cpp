// Name exporter of the boot-function compiler (see CpBfNameMengeler.h).
#include "bo/cp/CpBfNameMengeler.h"

#include <algorithm>

#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StSyTypeNode.h"
#include "bo/cp/CpSymbTable.h"

namespace {

// The subordinate entries of a symbol: the members of a structure type, the
// enumerators of an enumeration type; false when it has none to read.
bool subordinates(const CpSymbTable& t, StSymbEntryID sid, StSymbEntryIDVect& list)
{
    if (t.getStructMembers(sid, list) == 0) return true;
    const StSyBaseSymbEntry* e = t.findEntry(sid);
    const StSyBaseTypeNode* node = e && e->getKind() == ST_KIND_TYPESPEC ? t.findTypeNode(e->getTypeID()) : nullptr;
    if (!node || node->kind() != ST_NODE_ENUM || !node->enumList()) return false;
    list.assign(node->enumList()->begin(), node->enumList()->end());
    return true;
}

}  // namespace

bool CpBfNameMengeler::matches(StSymbEntryID a, StSymbEntryID b) const
{
    if (a == ST_ZERO_SID || b == ST_ZERO_SID) return false;
    StSymbEntryIDVect ma, mb;
    if (!subordinates(*m_table, a, ma) || !subordinates(*m_table, b, mb)) return false;
    if (ma.size() != mb.size()) return false;
    for (size_t i = 0; i < ma.size(); ++i) {
        const String* na = m_table->getName(ma[i]);
        const String* nb = m_table->getName(mb[i]);
        if (!na || !nb || String::compare(*na, *nb) != 0) return false;
    }
    return true;
}

uint32_t CpBfNameMengeler::addExport(StSymbEntryID sid)
{
    const StSyBaseSymbEntry* entry = m_table ? m_table->findEntry(sid) : nullptr;
    if (!entry || !entry->getName()) return 1;
    const String& name = *entry->getName();
    const auto [it, fresh] = m_byName.emplace(std::string(name.chars(), size_t(name.length())), m_exports.size());
    if (!fresh) {
        Export& e = m_exports[it->second];
        const String* listed = m_table->getName(e.sid);
        if (!listed) return 1;
        if (!matches(e.sid, sid)) return 2;
        e.ids.push_back(sid);
        return 0;
    }
    m_byHead.emplace(uint32_t(sid), m_exports.size());
    m_exports.push_back({sid, StSymbEntryIDList{uint32_t(sid)}});
    return 0;
}

StSymbEntryIDList CpBfNameMengeler::getExtraIds(const StSyBaseSymbEntry* entry)
{
    if (!entry) return StSymbEntryIDList();
    const auto it = m_byHead.find(uint32_t(entry->getID()));
    return it == m_byHead.end() ? StSymbEntryIDList() : m_exports[it->second].ids;
}

bool CpBfNameMengeler::writeExports(FsSecCl* stream)
{
    if (!stream || !m_table) return false;
    StSymbEntryIDList heads;
    for (Export& e : m_exports) {
        heads.push_back(e.sid);
        std::sort(e.ids.begin(), e.ids.end());
    }
    stream->reset();
    if (!beginExport(m_table, stream, ST_INVALID_SID, false)) return false;
    const bool ok = exportList(heads);
    endExport();
    return ok;
}
