// Compiler of the supported technology-object section.
#include "tools/md/tavolin/MdSuppTOParser.h"

namespace {

const char kSection[] = "rttotypes";

}  // namespace

void MdSuppTOParser::entry(const String& name, int32_t number, const GUID& guid, int32_t version, int32_t second)
{
    // The version fields keep the low 16 bits of what the source gave.
    m_types.emplace_back(RTTypeID(guid, uint16_t(version), uint16_t(second)), name, number);
}

int32_t MdSuppTOParser::parse()
{
    return compileInto(kSection, [this](FsSecCl& sec) { sec << m_types; });
}
