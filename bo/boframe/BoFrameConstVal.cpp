// The frame constant table and its elementary constant (see BoFrameConstVal.h).
#include "bo/boframe/BoFrameConstVal.h"

#include <cfloat>
#include <cmath>
#include <unordered_set>

#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "boframe";
const char kAppend[] = "CBOFrameConstValTable::appendConstantVal";
const char kAppendInst[] = "CBOFrameConstValTable::appendInstVal";
const char kWriteSysVar[] = "CBOFrameConstValTable::writeSysVarDefVal";

// The setter a type spec takes its value by.
enum class Setter { Long, ULong, Real, LReal, None };

Setter setterOf(uint32_t typeSpec)
{
    switch (typeSpec) {
    case ST_SINT: case ST_INT: case ST_DINT: return Setter::Long;
    case ST_BOOL: case ST_BYTE: case ST_WORD: case ST_DWORD: case ST_USINT: case ST_UINT: case ST_UDINT:
        return Setter::ULong;
    case ST_REAL: return Setter::Real;
    case ST_LREAL: return Setter::LReal;
    default: return Setter::None;
    }
}

// Traces a failing setter (rc != 0) or a type spec without one.
void traceSetter(Setter s, int rc)
{
    static const char* const kFailed[] = {"SetLongVal failed", "SetULongVal failed", "SetRealVal failed",
                                          "SetLRealVal failed"};
    if (s == Setter::None)
        TV_TRACE(4, kTraceFile, kAppend, "bad typespec");
    else if (rc != 0)
        TV_TRACE(4, kTraceFile, kAppend, "%s", kFailed[int(s)]);
}

double clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

CBOFrameConstValTable::CBOFrameConstValTable() : CpConstValTable(0) {}

CBOFrameConstValTable::~CBOFrameConstValTable() = default;

StConstantVal* CBOFrameConstValTable::createConstantVal(int32_t kind) const
{
    return kind == ST_CONST_STD ? new CBOFrameStdConstantVal : nullptr;
}

StConstEntryID CBOFrameConstValTable::addOwned(StConstantVal* c)
{
    StConstEntryID cid = addConstantVal(c);
    delete c;  // null when the table took it
    return cid;
}

StConstEntryID CBOFrameConstValTable::appendConstantVal(int32_t value, uint32_t typeSpec)
{
    // Built here; the table copies it only when no equal value stands for it.
    CBOFrameStdConstantVal c(typeSpec, true);
    const Setter s = setterOf(typeSpec);
    int rc = 0;
    switch (s) {
    case Setter::Long: rc = c.SetLongVal(value); break;
    case Setter::ULong: rc = c.SetULongVal(uint32_t(value)); break;
    case Setter::Real: rc = c.SetRealVal(float(value)); break;
    case Setter::LReal: rc = c.SetLRealVal(double(value)); break;
    case Setter::None: break;
    }
    traceSetter(s, rc);
    StConstEntryID cid = addConstantCopy(c);
    if (cid.isInvalid()) TV_TRACE(4, kTraceFile, kAppend, "appendConstantVal for %i failed", value);
    return cid;
}

StConstEntryID CBOFrameConstValTable::appendConstantVal(double value, uint32_t typeSpec)
{
    CBOFrameStdConstantVal c(typeSpec, true);
    const Setter s = setterOf(typeSpec);
    const bool nan = std::isnan(value);
    int rc = 0;
    switch (s) {
    case Setter::Long:
        rc = nan ? 1 : c.SetLongVal(int32_t(std::trunc(clamp(value, INT32_MIN, INT32_MAX))));
        break;
    case Setter::ULong:
        rc = nan ? 1 : c.SetULongVal(uint32_t(std::trunc(clamp(value, 0.0, UINT32_MAX))));
        break;
    case Setter::Real: rc = c.SetRealVal(float(clamp(value, -FLT_MAX, FLT_MAX))); break;
    case Setter::LReal: rc = c.SetLRealVal(clamp(value, -DBL_MAX, DBL_MAX)); break;
    case Setter::None: break;
    }
    traceSetter(s, rc);
    StConstEntryID cid = addConstantCopy(c);
    if (cid.isInvalid()) TV_TRACE(4, kTraceFile, kAppend, "appendConstantVal for %g failed", value);
    return cid;
}

StConstEntryID CBOFrameConstValTable::appendConstantVal(const String& text, uint32_t typeSpec, uint32_t typeId,
                                                        int& status)
{
    status = 0;
    // A real text below the normal range comes back typed as well (0 of the
    // type, with the loss status), so "const" holds no untyped value.
    const StStdConstantVal read(text, typeId, 10, status);
    return addRead(read, status, text);
}

StConstEntryID CBOFrameConstValTable::appendPlainReal(const String& text, double value, uint32_t typeId, int& status)
{
    status = 0;
    const StStdConstantVal read(value, typeId, status);
    return addRead(read, status, text);
}

StConstEntryID CBOFrameConstValTable::addRead(const StStdConstantVal& read, int status, const String& text)
{
    StConstEntryID cid = ST_INVALID_CID;
    if (status == 0 || status == 2) cid = addConstantCopy(CBOFrameStdConstantVal(read, true));
    if (cid.isInvalid()) TV_TRACE(4, kTraceFile, kAppend, "appendConstantVal for %s failed", text.c_str());
    return cid;
}

StConstEntryID CBOFrameConstValTable::appendConstantVal(const BoSysAddr& value, uint32_t typeSpec)
{
    CBOFrameStdConstantVal c(typeSpec, true);
    if (typeSpec == ST_ANYOBJECT)
        c.SetSysAddrVal(value.words);
    else
        traceSetter(Setter::None, 0);
    StConstEntryID cid = addConstantCopy(c);
    if (cid.isInvalid()) TV_TRACE(4, kTraceFile, kAppend, "appendConstantVal for failed");
    return cid;
}

StConstEntryID CBOFrameConstValTable::appendInstVal(StConstEntryID wanted, const StConstantVal& source, bool flag)
{
    StConstantVal* c = source.cloneShared(wanted.isValid() ? false : flag);
    StConstEntryID cid = ST_INVALID_CID;
    if (c && c->getKind() == ST_CONST_STD) {
        c->setStorageAddress(wanted.isValid() ? int32_t(wanted.get()) : ST_NO_ADDRESS);
        cid = addOwned(c);
    } else {
        delete c;
    }
    if (cid.isInvalid()) TV_TRACE(4, kTraceFile, kAppendInst, "appendInstVal failed");
    return cid;
}

StConstEntryID CBOFrameConstValTable::cloneConstantVal(StConstEntryID cid, bool flag)
{
    const StConstantVal* v = getConstantVal(cid);
    return v ? addOwned(v->cloneShared(flag)) : ST_INVALID_CID;
}

int CBOFrameConstValTable::removeConstantVal(StConstEntryID cid, bool keepShared)
{
    const StConstantVal* v = getConstantVal(cid);
    if (keepShared && v && v->isShared()) return 0;
    return removeConstantVal(cid);
}

uint32_t CBOFrameConstValTable::writeSysVarDefVal(FsSecCl& stream, CidList& cids)
{
    std::unordered_set<uint32_t> listed, written;
    listed.reserve(cids.size());
    for (StConstEntryID c : cids) listed.insert(c.get());
    // What was written leaves the list, also when a later CID fails.
    auto unlist = [&] { cids.remove_if([&](StConstEntryID c) { return written.count(c.get()) != 0; }); };
    for (const auto& e : values()) {
        if (!e.second) {
            TV_TRACE(4, kTraceFile, kWriteSysVar, "no value found for CID(%i)", int32_t(e.first));
            unlist();
            return 1;
        }
        if (!e.second->hasAddress() || listed.count(e.first) == 0) continue;
        if (!e.second->writeValue(stream)) {
            TV_TRACE(4, kTraceFile, kWriteSysVar, "write data for CID(%i) failed", int32_t(e.first));
            unlist();
            return 1;
        }
        written.insert(e.first);
    }
    unlist();
    TV_TRACE(1, kTraceFile, kWriteSysVar, "Write SysVarBuffer: %ld Vars", long(written.size()));
    return 0;
}

StStdConstantVal* boStdConstant(const StSyConstValTable* table, StConstEntryID cid)
{
    StConstantVal* c = table ? table->getConstantVal(cid) : nullptr;
    return c && c->getKind() == ST_CONST_STD ? static_cast<StStdConstantVal*>(c) : nullptr;
}
