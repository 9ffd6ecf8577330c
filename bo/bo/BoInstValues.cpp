// Instance values of the variable extensions: made from the type's
// defaults, changed one by one or by an upload, shared or made private,
// and the locked elements of dynamic arrays (see BoInstVarCont.h).
#include <cstring>
#include <memory>
#include <vector>

#include "base/st/stsymtab/stmcspec.h"
#include "bo/bo/BoInstVarCont.h"
#include "co/TraceApi.h"

namespace {

bool neverEmpty(int32_t) { return false; }

// Longest dynamic array whose elements are locked one by one: a hostile
// symbol table cannot make the lock table grow without bound.
constexpr int64_t kMaxArrayLength = int64_t(1) << 20;

template <typename T>
T valueAs(const uint8_t bytes[8])
{
    T v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

// Sets the copy from the uploaded bytes read as the given machine mode;
// 1 for a mode without setter.
int setFromUpload(StStdConstantVal& c, uint32_t kind, const uint8_t bytes[8])
{
    switch (kind) {
    case MC_SINT: case MC_INT: case MC_DINT: return c.SetLongVal(valueAs<int32_t>(bytes));
    case MC_USINT: case MC_UINT: case MC_UDINT: return c.SetULongVal(valueAs<uint32_t>(bytes));
    case MC_REAL: return c.SetRealVal(valueAs<float>(bytes));
    case MC_LREAL: return c.SetLRealVal(valueAs<double>(bytes));
    default: return -1;
    }
}

}  // namespace

StConstEntryID CBOInstVarCont::appendValue(uint32_t adr, const StConstantVal& source, bool flag)
{
    StConstEntryID wanted = ST_INVALID_CID;
    if (m_pSysVarTab) {
        std::unique_ptr<StASMSysVarOperand> op(m_pSysVarTab->getSysVarOperand(adr, ST_INVALID_SID));
        if (op && m_pSysVarTab->getEntryKind(op->getSID()) == ST_KIND_SYSVAR) wanted = adr;
    }
    if (wanted.isInvalid()) traceObj(3, "CBOInstVarCont::appendValue", "no operand found for ADR(0x%08X)", adr);
    return m_pSysVarConst->appendInstVal(wanted, source, flag);
}

StStdConstantVal* CBOInstVarCont::privateConst(VarInstValue& rec, uint32_t adr, const char* method)
{
    StStdConstantVal* c = sysVarConst(rec.Act);
    if (!c || !c->isShared()) return c;
    const StConstEntryID cid = m_pSysVarConst->appendInstVal(ST_INVALID_CID, *c, false);
    if (cid.isInvalid()) {
        traceObj(4, method, "appendInstVal failed for ADR(0x%08X)", adr);
        return nullptr;
    }
    rec.Act = cid;
    return sysVarConst(cid);
}

bool CBOInstVarCont::checkArrayEntry(uint32_t adr)
{
    return findMasked(m_locked, VarExtKey(int32_t(adr), m_currentCfg), neverEmpty) != m_locked.end();
}

void CBOInstVarCont::removeValues(int32_t adr, uint32_t mask)
{
    auto& t = instValues();
    for (auto it = t.lower_bound(VarExtKey(adr, 0)); it != t.end() && it->first.adr == adr;) {
        if ((it->first.mask & mask) == 0) {
            ++it;
            continue;
        }
        if (it->second && m_pSysVarConst && m_pSysVarConst->removeConstantVal(it->second->Act, true) != 0)
            traceObj(4, "CBOInstVarCont::removeValues", "removeConstantVal failed for ADR(0x%08X)", uint32_t(adr));
        delete it->second;
        it = t.erase(it);
    }
}

bool CBOInstVarCont::lockElements(const VarExtKey& dynKey, int32_t array, int32_t step, int32_t from, int32_t to)
{
    for (int32_t i = from; i < to; ++i) {
        const int32_t e = int32_t(uint32_t(array) + uint32_t(i) * uint32_t(step));
        m_locked[VarExtKey(e, dynKey.mask)] = array;
        removeValues(e, dynKey.mask);
    }
    return true;
}

bool CBOInstVarCont::unlockElements(const VarExtKey& dynKey, int32_t array, int32_t step, int32_t from, int32_t to)
{
    const char* method = "CBOInstVarCont::unlockElements";
    bool ok = true;
    for (int32_t i = from; i < to; ++i) {
        const int32_t e = int32_t(uint32_t(array) + uint32_t(i) * uint32_t(step));
        m_locked.erase(VarExtKey(e, dynKey.mask));
        for (auto it = m_pTypeValues->lower_bound(VarExtKey(e, 0)); it != m_pTypeValues->end() && it->first.adr == e;
             ++it) {
            if (!it->second || (it->first.mask & dynKey.mask) == 0) continue;
            const StStdConstantVal* def = m_pTypeVarCont->getStdVal(uint32_t(e), it->first.mask);
            std::unique_ptr<StStdConstantVal> conv(
                def ? convertVal(*def, uint32_t(e), it->first.mask, false, false, true) : nullptr);
            const StConstEntryID cid = conv ? appendValue(uint32_t(e), *conv, true) : ST_INVALID_CID;
            if (cid.isInvalid()) {
                traceObj(4, method, "appendInstVal failed for ADR(0x%08X)", uint32_t(e));
                ok = false;
                continue;
            }
            auto* rec = new VarInstValue;
            rec->Act = cid;
            rec->Unit = it->second->Unit;
            rec->Fix = it->second->Fix;
            if (!instValues().add(it->first, rec)) {
                delete rec;
                traceObj(4, method, "addInstValue failed for ADR(0x%08X)", uint32_t(e));
                ok = false;
            }
        }
    }
    return ok;
}

bool CBOInstVarCont::arrayShape(uint32_t adr, int32_t& step, int32_t& count, const char* method)
{
    auto h = m_arrayHandles.find(adr);
    if (h != m_arrayHandles.end()) {
        step = h->second.step;
        count = h->second.length;
        return true;
    }
    bool noOperand = false;
    const StTypeID tid = boSysVarTypeAt(m_pSysVarTab, adr, noOperand);
    if (tid == ST_INVALID_TID || !m_pSysVarTab->isArrayType(tid)) {
        traceObj(4, method, "invalid array-address: 0x%08X", adr);
        return false;
    }
    int32_t lo = 0, hi = 0;
    step = m_pSysVarTab->getTypeSize(m_pSysVarTab->getElementType(tid), false);
    if (!m_pSysVarTab->getArrayBounds(tid, lo, hi) || hi < lo || step <= 0) {
        traceObj(4, method, "couldn't get bounds for tid 0x%08X", tid);
        return false;
    }
    const int64_t length = int64_t(hi) - lo + 1;
    if (length > kMaxArrayLength) {
        TV_TRACE(4, "boinstvar", method, "invalid array-size: %i", int32_t(length));
        return false;
    }
    count = int32_t(length);
    return true;
}

uint32_t CBOInstVarCont::initSysVar(bool fromType)
{
    const char* method = "CBOInstVarCont::initSysVar";
    if (!typeOr(method)) return BO_INST_MISSING;
    if (!m_pDynArrayTab) return BO_INST_NO_PARTNER;
    if (!m_pTypeValues || !m_pSysVarConst) {
        traceObj(4, method, "m_pTypeValues or m_pVarValueTab is invalid");
        return BO_INST_NO_PARTNER;
    }
    uint32_t rc = 0;
    if (fromType) {
        cleanValues();
        for (const auto& tv : *m_pTypeValues) {
            if (!tv.second) continue;
            const StStdConstantVal* def = m_pTypeVarCont->getStdVal(uint32_t(tv.first.adr), tv.first.mask);
            // In the current unit, as the elements of a growing array get it.
            std::unique_ptr<StStdConstantVal> converted;
            if (def && inOtherUnit(*tv.second)) {
                converted.reset(convertVal(*def, uint32_t(tv.first.adr), tv.first.mask, false, false, true));
                def = converted.get();
            }
            const StConstEntryID cid = def ? appendValue(uint32_t(tv.first.adr), *def, true) : ST_INVALID_CID;
            if (cid.isInvalid()) {
                traceObj(4, method, "appendInstVal failed for ADR(0x%08X)", uint32_t(tv.first.adr));
                rc = BO_INST_MISSING;
                continue;
            }
            auto* rec = new VarInstValue;
            rec->Act = cid;
            rec->Unit = tv.second->Unit;
            rec->Fix = tv.second->Fix;
            if (!instValues().add(tv.first, rec)) delete rec;
        }
    }
    m_locked.clear();
    for (const auto& d : *m_pDynArrayTab) {
        const uint32_t sizeAdr = uint32_t(d.first.adr), array = uint32_t(d.second);
        const VarInstValue* rec = findInstRecord(sizeAdr, d.first.mask);
        const StStdConstantVal* sizeVal = rec ? sysVarConst(rec->Act) : nullptr;
        if (!sizeVal) {
            TV_TRACE(4, "boinstvar", method, "value not found for adr[cfg]: 0x%08X[0x%08X]", sizeAdr, d.first.mask);
            rc = BO_INST_MISSING;
            continue;
        }
        bool err = false;
        const int32_t size = sizeVal->GetLongVal(err);
        if (err) {
            TV_TRACE(4, "boinstvar", method, "couldn't get value for adr[cfg]: 0x%08X[0x%08X]", sizeAdr, d.first.mask);
            rc = BO_INST_MISSING;
            continue;
        }
        int32_t step = 0, length = 0;
        if (!arrayShape(array, step, length, method)) {
            rc = BO_INST_MISSING;
            continue;
        }
        if (size < 1 || size > length) {
            TV_TRACE(4, "boinstvar", method, "invalid array-size: %i", size);
            rc = BO_INST_MISSING;
            continue;
        }
        lockElements(d.first, int32_t(array), step, size, length);
        if (!m_pSysVarTab || !m_pSysVarTab->modifyArraySize(array, size)) {
            TV_TRACE(4, "boinstvar", method, "modifyArraySize falied for ADR(0x%08X)", array);
            rc = BO_INST_MISSING;
        }
        if (!m_arrayHandles.emplace(array, BoArrayHandle{sizeAdr, step, length}).second)
            TV_TRACE(3, "boinstvar", method, "init hdl-map falied for ADR(0x%08X)", array);
    }
    m_valuesLoaded = rc == 0;
    return rc;
}

uint32_t CBOInstVarCont::resizeArrays(uint32_t sizeAdr, int32_t oldSize, int32_t newSize, StStdConstantVal* max)
{
    const char* method = "CBOInstVarCont::setActVal";
    bool err = false;
    const int32_t maxSize = max->GetLongVal(err);
    struct Resize {
        VarExtKey key;
        int32_t array, step, length;
    };
    std::vector<Resize> arrays;
    for (auto it = m_pDynArrayTab->lower_bound(VarExtKey(int32_t(sizeAdr), 0));
         it != m_pDynArrayTab->end() && it->first.adr == int32_t(sizeAdr); ++it) {
        if (!it->first.covers(m_currentCfg)) continue;
        Resize r{it->first, it->second, 0, 0};
        if (!arrayShape(uint32_t(r.array), r.step, r.length, method)) return BO_INST_MISSING;
        if (err || newSize < 1 || newSize > maxSize || newSize > r.length) {
            TV_TRACE(4, "boinstvar", method, "invalid array-size: %i", newSize);
            return BO_INST_MISSING;
        }
        arrays.push_back(r);
    }
    uint32_t rc = 0;
    for (const Resize& r : arrays) {
        const bool done = newSize < oldSize ? lockElements(r.key, r.array, r.step, newSize, oldSize)
                                            : unlockElements(r.key, r.array, r.step, oldSize, newSize);
        if (!done) rc = BO_INST_MISSING;
        if (!m_pSysVarTab || !m_pSysVarTab->modifyArraySize(uint32_t(r.array), newSize)) {
            TV_TRACE(4, "boinstvar", method, "modifyArraySize falied for ADR(0x%08X)", uint32_t(r.array));
            rc = BO_INST_MISSING;
        }
    }
    return rc;
}

bool CBOInstVarCont::setActVal(uint32_t adr, StStdConstantVal* newValue, bool& structChanged)
{
    const char* method = "CBOInstVarCont::setActVal";
    if (!newValue || !m_pTypeVarCont || !m_pDynArrayTab || !m_pTypeValues || !m_pSysVarConst) {
        TV_TRACE(4, "boinstvar", method, "invalid pointer");
        return false;
    }
    const uint32_t cfg = m_currentCfg;
    VarInstValue* rec = findInstRecord(adr, cfg);
    StStdConstantVal* cur = rec ? sysVarConst(rec->Act) : nullptr;
    StStdConstantVal* max = cur ? m_pTypeVarCont->getMaxVal(adr, cfg) : nullptr;
    if (!cur || !max) {
        TV_TRACE(4, "boinstvar", method, "no value found for adr[cfg]: 0x%08X[0x%08X]", adr, cfg);
        return false;
    }
    newValue->setShared(cur->isShared());
    if (constValEqual(cur, newValue)) return true;
    // A value of another type would be refused by the assignment only after
    // the arrays were resized: refuse it first.
    if (newValue->getTypeId() != cur->getTypeId()) {
        TV_TRACE(4, "boinstvar", method, "couldn't assign val for adr[cfg]: 0x%08X[0x%08X]", adr, cfg);
        return false;
    }
    BoIdList arrays;
    if (getDynArraySizes(adr, arrays)) {
        bool errOld = false, errNew = false;
        const int32_t oldSize = cur->GetLongVal(errOld), newSize = newValue->GetLongVal(errNew);
        if (errOld || errNew) {
            TV_TRACE(4, "boinstvar", method, "GetLongVal failed");
            return false;
        }
        structChanged = true;
        if (resizeArrays(adr, oldSize, newSize, max) != 0) return false;
    }
    cur = privateConst(*rec, adr, method);
    if (!cur || cur->assign(newValue) != 0) {
        TV_TRACE(4, "boinstvar", method, "couldn't assign val for adr[cfg]: 0x%08X[0x%08X]", adr, cfg);
        return false;
    }
    changeSysVarVersion((isOnlRel(adr) ? BoVer_Online : BoVer_Offline) | (isStructRel(adr) ? BoVer_Struct : BoVer_Data));
    if (structChanged) structureChanged(adr);
    return true;
}

uint32_t CBOInstVarCont::arrangeSysVar(bool share)
{
    const char* method = "CBOInstVarCont::arrangeSysVar";
    if (!m_pSysVarConst) return BO_INST_MISSING;
    uint32_t rc = 0;
    for (auto& e : instValues()) {
        VarInstValue* rec = e.second;
        if (!rec) continue;
        const uint32_t adr = uint32_t(e.first.adr);
        const StStdConstantVal* c = sysVarConst(rec->Act);
        if (!c) {
            traceObj(4, method, "no value found for ADR(0x%08X)", adr);
            rc = BO_INST_MISSING;
            continue;
        }
        if (c->hasAddress() || c->isShared() == share) continue;
        const StConstEntryID old = rec->Act;
        const StConstEntryID cid = m_pSysVarConst->appendInstVal(ST_INVALID_CID, *c, share);
        if (cid.isInvalid()) {
            traceObj(4, method, "appendInstVal failed for ADR(0x%08X)", adr);
            rc = BO_INST_MISSING;
            continue;
        }
        rec->Act = cid;
        if (share && cid != old && m_pSysVarConst->removeConstantVal(old, true) != 0) {
            traceObj(4, method, "removeConstantVal failed for ADR(0x%08X)", adr);
            rc = BO_INST_MISSING;
        }
    }
    return rc;
}

uint32_t CBOInstVarCont::readDefVal(const BoUploadList& uploaded, bool strict, BoIdPairList& errors,
                                    bool& structChanged)
{
    const char* method = "CBOInstVarCont::readDefVal";
    for (const BoUploadRecord& r : uploaded) {
        const VarInstValue* rec = findInstRecord(r.adr, m_currentCfg);
        if (!rec) {
            errors.emplace_back(BO_INST_REFUSED, r.adr);
            if (strict) {
                traceObj(4, method, "cannot get value for the sysvar(0x%08X) after upload", r.adr);
                return BO_INST_REFUSED;
            }
            traceObj(3, method, "cannot get value for the sysvar(0x%08X) after upload, ignored", r.adr);
            continue;
        }
        const StStdConstantVal* c = sysVarConst(rec->Act);
        if (!c) {
            traceObj(4, method, "bad ConstVal");
            return BO_INST_MISSING;
        }
        const uint32_t kind = McConvert::getMachModeOfTypeId(c->getTypeId());
        uint32_t recordKind = r.kind;
        if (kind != recordKind) {
            if (!strict && (kind == MC_INT || kind == MC_DINT) && (recordKind == MC_SINT || recordKind == MC_UINT)) {
                traceObj(3, method, "type conflict for the sysvar(0x%08X) after upload, type casted", r.adr);
                recordKind = kind;
            } else {
                errors.emplace_back(BO_INST_NO_PARTNER, r.adr);
                traceObj(4, method, "type conflict for the sysvar(0x%08X) after upload", r.adr);
                return BO_INST_NO_PARTNER;
            }
        }
        std::unique_ptr<StStdConstantVal> copy(new CBOFrameStdConstantVal(*c, c->isShared()));
        if (setFromUpload(*copy, recordKind, r.value) != 0) {
            traceObj(4, method, "type not supported for uploaded sysvar(0x%08X)", r.adr);
            return BO_INST_MISSING;
        }
        if (!setActVal(r.adr, copy.get(), structChanged)) {
            traceObj(4, method, "cannot set actual value for var with address 0x%08X", r.adr);
            return BO_INST_MISSING;
        }
    }
    return 0;
}
