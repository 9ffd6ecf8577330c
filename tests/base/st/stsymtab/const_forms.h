// Test helpers of the constant values: the three written forms of a value
// body, a value-only form and a table, and a data section in memory whose
// records can be read back.
#pragma once
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/fs/FsSections.h"
#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "st_forms.h"

namespace consttest {

using sttest::Form;
using ValPtr = std::unique_ptr<StConstantVal>;

inline std::string writeBody(Form f, const StConstantVal& v)
{
    return sttest::write(
        f, [&](FsSecCl& s) { v.write(s); }, [&](std::ostream& os) { v.write(os); });
}

inline bool readBody(Form f, StConstantVal& v, const std::string& bytes)
{
    bool ok = false;
    const bool good = sttest::read(
        f, bytes, [&](FsSecCl& s) { ok = v.read(s); }, [&](std::istream& is) { ok = v.read(is); });
    return ok && good;
}

inline std::string writeValueOnly(Form f, const StConstantVal& v)
{
    return sttest::write(
        f, [&](FsSecCl& s) { v.writeValue(s); }, [](std::ostream&) {});
}

inline bool readValueOnly(Form f, StConstantVal& v, const std::string& bytes)
{
    bool ok = false;
    sttest::read(
        f, bytes, [&](FsSecCl& s) { ok = v.readValue(s); }, [](std::istream&) {});
    return ok;
}

inline std::string writeTable(Form f, const StSyConstValTable& t)
{
    return sttest::write(
        f, [&](FsSecCl& s) { t.write(s); }, [&](std::ostream& os) { t.write(os); });
}

inline bool readTable(Form f, StSyConstValTable& t, const std::string& bytes)
{
    bool ok = false;
    sttest::read(
        f, bytes, [&](FsSecCl& s) { ok = t.read(s); }, [&](std::istream& is) { ok = t.read(is); });
    return ok;
}

// A data section over a memory stream.
struct MemData {
    FsSecData data;
    MemData()
    {
        IStream* s = nullptr;
        FsSecClMem::CreateStream(&s);
        data.attach(s, FS_MODE_WRITE);
        s->Release();
    }
    std::vector<FsDataValue> records()
    {
        std::vector<FsDataValue> out;
        uint32_t total = 0;
        data.seek(0, 0);
        data.readValues(out, total);
        return out;
    }
};

inline std::string dumpOf(const StConstantVal& v)
{
    std::ostringstream os;
    v.dump(os);
    return os.str();
}

inline std::string valueText(const StConstantVal& v)
{
    std::ostringstream os;
    v.dumpValue(os);
    return os.str();
}

}  // namespace consttest
