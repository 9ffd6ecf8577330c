// All variable-extension tables of one type, with the writer and the reader
// of each of the six sections by layout number (0 configurations, 1 units,
// 2 values, 3 attributes, 4 dynamic arrays, 5 bits). Shared by the layout
// tests and the fuzz targets of the section readers.
#pragma once
#include <cstdint>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "bo/bo/BoVarExtIo.h"

struct VarExtSections {
    static constexpr int kLayoutCount = 6;
    static constexpr const char* kLayouts[kLayoutCount] = {"cfg", "units", "values", "attribs", "dynarrays", "bits"};

    uint32_t defaultCfg = 0xFFFFFFFFu;
    CCfgEntryTable cfgs;
    CCfgGroupTable groups;
    int32_t unitLimit = 0;
    CResolveTable resolve;
    CUsedUnitTable used;
    CUnitEntryTable defaults;
    CVarTypeValueTable values;
    CAttribTable attribs;
    CDynArrayTable arrays;
    CBitTypeTable bitTypes;
    CBitFieldTable bits;

    uint32_t write(int layout, FsSecCl& s) const
    {
        switch (layout) {
        case 0: return writeCfgSection(s, defaultCfg, cfgs, groups);
        case 1: return writeUnitsSection(s, unitLimit, resolve, used, defaults);
        case 2: return writeValuesSection(s, values);
        case 3: return writeAttribSection(s, attribs);
        case 4: return writeDynArraySection(s, arrays);
        default: return writeBitSection(s, bitTypes, bits);
        }
    }
    uint32_t read(int layout, FsSecCl& s)
    {
        switch (layout) {
        case 0: return readCfgSection(s, defaultCfg, cfgs, groups);
        case 1: return readUnitsSection(s, unitLimit, resolve, used, defaults);
        case 2: return readValuesSection(s, values);
        case 3: return readAttribSection(s, attribs);
        case 4: return readDynArraySection(s, arrays);
        default: return readBitSection(s, bitTypes, bits);
        }
    }
};

// The whole content of a section.
inline std::string sectionText(FsSecCl& s)
{
    std::string out(s.getSize(), '\0');
    s.seek(0, 0);
    if (!out.empty()) s.readBytes(&out[0], uint32_t(out.size()));
    return out;
}

// A new text section holding the bytes, positioned at 0.
inline void fillSection(FsSecCl& s, const void* bytes, size_t size)
{
    if (size) s.writeBytes(bytes, uint32_t(size));
    s.seek(0, 0);
}
