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
    // The first connector with the id stays; a later one is only reported
    // (a large source may repeat one id thousands of times).
    if (find(id) || !add(id, CBoConProps(*d.name, id, d.ifType, incoming, outgoing, d.remote, d.multipoint,
                                         d.required, d.exclusiveGroup, d.major, d.minor)))
        reportError(MdConnectionMsgDuplicate);
}

int32_t MdConnectionParser::parse()
{
    return compileInto(kSection, [this](FsSecCl& sec) { sec << sectionList(); });
}
