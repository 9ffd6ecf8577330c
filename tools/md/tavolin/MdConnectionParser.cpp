// Compiler of the connection section.
#include "tools/md/tavolin/MdConnectionParser.h"

namespace {

const char kSection[] = "connectors";

}  // namespace

void MdConnectionParser::connection(const MdConnectionDecl& d)
{
    const bool incoming = d.direction == MdConIn || d.direction == MdConInOut;
    const bool outgoing = d.direction == MdConOut || d.direction == MdConInOut;
    const uint16_t id = uint16_t(d.id);
    const CBoConProps props(*d.name, id, d.ifType, incoming, outgoing, d.remote, d.multipoint, d.required,
                            d.exclusiveGroup, d.major, d.minor);
    if (!add(id, props)) reportError(MdConnectionMsgDuplicate);
}

int32_t MdConnectionParser::parse()
{
    return compileInto(kSection, [this](FsSecCl& sec) { sec << sectionList(); });
}
