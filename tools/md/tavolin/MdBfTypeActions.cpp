#include "tools/md/tavolin/MdBfTypeActions.h"

#include <memory>
#include <utility>

#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/stmcspec.h"

MdBfTypeActions::MdBfTypeActions(CBfSymbTable& table, Report report)
    : m_table(table), m_report(std::move(report)), m_vr(table.getGlobalVR()), m_nr(table.getGlobalNR())
{
}

MdBfNameList* MdBfTypeActions::addName(MdBfValue* list, String* name)
{
    std::unique_ptr<String> owned(name);
    MdBfNameList* names = mdBfTake<MdBfNameList>(list).release();
    if (!owned)
        return names;
    if (m_declared ? m_declared(*owned) : m_table.getSIDByName(*owned, m_vr, m_nr).isValid()) {
        ++names->refused;
        m_report(505, owned.get());
    } else
        names->names.push_back(std::move(*owned));
    return names;
}

StTypeID MdBfTypeActions::elementaryType(int rule)
{
    switch (rule) {
    case 105: return ST_BOOL;
    case 106: return ST_INT;
    case 107: return ST_UINT;
    case 108: return ST_DINT;
    case 109: return ST_UDINT;
    case 110: return ST_SINT;
    case 111: return ST_USINT;
    case 112: return ST_REAL;
    case 113: return ST_LREAL;
    case 114: return ST_STRING_TID;
    default: return ST_INVALID_TID;
    }
}

StTypeID MdBfTypeActions::namedType(String* name)
{
    std::unique_ptr<String> owned(name);
    if (!owned)
        return ST_INVALID_TID;
    StTypeID tid = ST_INVALID_TID;
    StSymbEntryID sid;
    m_table.getTypeByName(tid, *owned, m_vr, m_nr, sid, false, true);
    if (tid == ST_INVALID_TID)
        m_report(510, owned.get());
    return tid;
}
