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
    const int result = yyparse();
    if (result != 0) return result;
    if (m_errors != 0) return 3;
    if (!m_target) return 4;
    FsSecCl* sec = m_target->openSect(kSection, FS_MODE_WRITE);
    if (!sec) return 4;
    // A section brought along from the host's storage may be longer than
    // the new list: it is emptied first.
    bool ok = sec->setSize(0) == 0;
    if (ok) {
        *sec << m_types;
        ok = !sec->hasError();
    }
    const bool closed = m_target->CloseSect(kSection) == 0;
    return ok && closed ? 0 : 4;
}
