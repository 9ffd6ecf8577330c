#include "co/GuidHelpers.h"

#include <string>

#include "platform/guid.h"

bool guidLess(const GUID& a, const GUID& b)
{
    return tvp::guidCompare(a, b) < 0;
}

std::ostream& writeGuidText(std::ostream& os, const GUID& guid)
{
    std::string text = tvp::guidToString(guid);
    os.write(text.data(), std::streamsize(text.size()));
    return os;
}

std::istream& readGuidText(std::istream& is, GUID& guid)
{
    std::string word;
    if (!(is >> word)) return is;
    GUID g;
    if (tvp::guidFromString(word, g))
        guid = g;
    else
        is.setstate(std::ios::failbit);
    return is;
}
