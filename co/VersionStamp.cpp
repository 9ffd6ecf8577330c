#include "co/VersionStamp.h"

#include "platform/guid.h"

bool operator==(const VRX_VersionStamp& a, const VRX_VersionStamp& b)
{
    return a.Guid == b.Guid && a.Major == b.Major && a.Minor == b.Minor;
}

bool operator<(const VRX_VersionStamp& a, const VRX_VersionStamp& b)
{
    int c = tvp::guidCompare(a.Guid, b.Guid);
    if (c != 0) return c < 0;
    if (a.Major != b.Major) return a.Major < b.Major;
    return a.Minor < b.Minor;
}

HRESULT CVersionStamp::newStamp()
{
    Major = 0;
    Minor = 0;
    return CoCreateGuid(&Guid);
}

void CVersionStamp::bumpMajor()
{
    Minor = 0;
    Major = uint16_t(Major + 1);
    if (Major == 0) newStamp();
}

void CVersionStamp::bumpMinor()
{
    Minor = uint16_t(Minor + 1);
    if (Minor == 0) bumpMajor();
}
