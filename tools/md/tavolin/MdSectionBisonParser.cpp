#include "tools/md/tavolin/MdSectionBisonParser.h"

int MdSectionBisonParser::yyparse()
{
    return MdSectionparse(*this);
}

void MdSectionBisonParser::resetResults()
{
    m_head = MdSectionHeader();
    for (uint32_t& n : m_occurs) n = 0;
}

void MdSectionBisonParser::setTypeId(MdSectionTypeId& id, const MdSectionValue& guid,
                                     const MdSectionValue& version, const MdSectionValue& second)
{
    id.guid = guid.guid;
    id.version = uint16_t(version.number);
    id.second = uint16_t(second.number);
}

void MdSectionBisonParser::headerDone(int32_t kind)
{
    occurred(GroupHeader);
    m_head.kind = kind;
}

void MdSectionBisonParser::occurred(Group g)
{
    if (m_occurs[g] != 0) {
        reportError(203, std::to_string(m_occurs[g] + 1));
        // The system functions belong behind the system variables they were
        // written with; a second system-variable section breaks that pairing.
        if (g == GroupSysVar) reportError(204, std::string());
    }
    ++m_occurs[g];
}
