// A concrete instance container for the tests of the instance side (named
// "T" in trace lines, recording its notifications, with GUIDs that count
// up from 1 instead of random ones) and a hand-built type to put under it.
#pragma once
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/fs/FsSecClMem.h"
#include "tests/base/fs/section_bytes.h"
#include "bo/bo/BoInstVarCont.h"
#include "co/TraceApi.h"
#include "tools/mksymb/SysVarTable.h"
#include "var_ext_recorder.h"

class TestInst : public CBOInstVarCont {
public:
    String getObjName() const override { return "T"; }
    void configurationChanged(uint32_t oldCfg, uint32_t newCfg) override { cfgChanges.emplace_back(oldCfg, newCfg); }
    void structureChanged(uint32_t adr) override { structs.push_back(adr); }

    std::vector<std::pair<uint32_t, uint32_t>> cfgChanges;
    std::vector<uint32_t> structs;
    uint32_t guids = 0;  // GUIDs handed out; the n-th has Data1 n

protected:
    void newGuid(CVersionStamp& s) override
    {
        s = kNullVersionStamp;
        s.Guid.Data1 = ++guids;
    }
};

// "<level> <message>" of every captured line.
inline std::vector<std::string> traceTexts(const CTraceCapture& cap)
{
    std::vector<std::string> out;
    for (auto& l : cap.lines()) out.push_back(std::to_string(l.level) + " " + l.message);
    return out;
}

// A type with configurations 1 and 2 (default 1), the quantities 91
// (temperature: default "°C" 93, possible 92-94) and 14 (time: default "s"
// 15, possible 15, 16, 17, 19), resolve {0 -> 91, 1 -> 14, 2 -> 93}, a
// quantity 21 with possible units but no default, and an instance on it
// with its own sysvar and boot-function constant tables.
struct InstModel {
    RecordingVarExt type;
    CBOFrameConstValTable sysConsts, bfConsts;
    TestInst inst;

    InstModel()
    {
        type.setUnitParam(429);
        type.addCfgEntry(1, 10);
        type.addCfgEntry(2, 11);
        type.setDefaultConfiguration(1);
        type.addResolveEntry(0, 91);
        type.addResolveEntry(1, 14);
        type.addResolveEntry(2, 93);
        type.addDefaultUnit(91, 93);
        type.addDefaultUnit(14, 15);
        for (int32_t u : {92, 93, 94}) type.addUsedUnit(91, u);
        for (int32_t u : {15, 16, 17, 19}) type.addUsedUnit(14, u);
        type.addUsedUnit(21, 22);
        inst.setTypeVarCont(&type);
        inst.setConstTables(&sysConsts, &bfConsts);
    }

    BoConstId c(double v, uint32_t typeId) { return type.getFrameConstTable()->appendConstantVal(v, typeId); }
    // A type value with default, bounds (the type's range when equal) and units.
    void value(int32_t adr, uint32_t mask, uint32_t typeId, double def, int32_t unit, int32_t fix = -1,
               double min = 0, double max = 0)
    {
        if (min == max) {
            const double lo[] = {0, 0, 0, 0, 0, 0, -128, -32768, -2147483648.0, 0, 0, 0, 0, 0, -3e38, -1e300};
            const double hi[] = {0, 1, 255, 65535, 4294967295.0, 0, 127, 32767, 2147483647.0, 0, 255, 65535,
                                 4294967295.0, 0, 3e38, 1e300};
            min = typeId < 16 ? lo[typeId] : 0;
            max = typeId < 16 ? hi[typeId] : 0;
        }
        type.addTypeValue(VarExtKey(adr, mask),
                          VarTypeValue::make(c(def, typeId), unit, fix, c(min, typeId), c(max, typeId)));
    }
    // Loads a sysvar table made from "address name type" lines.
    void sysVars(const std::string& list)
    {
        SysVarTable t;
        std::string err;
        std::istringstream in(list);
        t.addList(in, err);
        sysVars(t);
    }
    // Loads the section text of a sysvar table.
    void sysVars(SysVarTable& t)
    {
        std::ostringstream text;
        t.save(text);
        FsSecClMem s;
        s << text.str().c_str();
        s.seek(0, 0);
        inst.loadSysVarTab(s);
    }
    double act(uint32_t adr)
    {
        double v = -999;
        if (StStdConstantVal* c = inst.getInstValue(adr)) c->getDouble(v);
        return v;
    }
    BoConstId cid(uint32_t adr, uint32_t cfg = 1)
    {
        auto it = inst.instValues().findForCfg(VarExtKey(int32_t(adr), cfg));
        return it == inst.instValues().end() ? ST_INVALID_CID : it->second->Act;
    }
};

// A value of the type as a new frame constant (owned by the caller).
inline StStdConstantVal* constOf(uint32_t typeId, double v)
{
    auto* c = new CBOFrameStdConstantVal(typeId, false);
    if (typeId == ST_REAL)
        c->SetRealVal(float(v));
    else if (typeId == ST_LREAL)
        c->SetLRealVal(v);
    else if (typeId == ST_SINT || typeId == ST_INT || typeId == ST_DINT)
        c->SetLongVal(int32_t(v));
    else
        c->SetULongVal(uint32_t(v));
    return c;
}
