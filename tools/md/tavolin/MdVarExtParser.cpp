// The variables-section compiler (MdVarExtParser.h): init, messages, texts
// and the configuration, resolve and bit-type statements.
#include "tools/md/tavolin/MdVarExtParser.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "bo/bo/BoPhysUnit.h"
#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "mdvarext";

String numberText(int64_t v)
{
    return String(std::to_string(v).c_str());
}

}  // namespace

MdVarExtParser::MdVarExtParser() : CBOFrameTypeVarCont(&m_pConstTable), MdParserFrame(400) {}

void MdVarExtParser::init(const MdCompilerArgs& args)
{
    MdParserFrame::init(args);
    setVersion(args.firstId, args.secondId);
    if (!args.descriptor) return;
    FsSecCl* symb = nullptr;
    if (args.descriptor->openSect("symb", &symb, 0) != FS_OK || !symb) return;
    const bool empty = symb->getSize() == 0;
    SyStSymbTable* table = empty ? nullptr : new SyStSymbTable;
    if (table && (!table->load(*symb) || table->getStatus() != 0)) {
        countError();
        delete table;
        table = nullptr;
    }
    args.descriptor->CloseSect("symb");
    if (table) setSymbTable(table);
}

void MdVarExtParser::reportError(uint32_t id, const String* arg1, const String* arg2)
{
    mdEmitMessage(id, MdVarExtScannerFlexLexer::lineno(), arg1 ? arg1->c_str() : nullptr,
                  arg1 && arg2 ? arg2->c_str() : nullptr);
}

void MdVarExtParser::fail(uint32_t id)
{
    countError();
    reportError(id, nullptr, nullptr);
}

void MdVarExtParser::fail(uint32_t id, const String& a1)
{
    countError();
    reportError(id, &a1, nullptr);
}

void MdVarExtParser::fail(uint32_t id, int64_t a1)
{
    fail(id, numberText(a1));
}

void MdVarExtParser::fail(uint32_t id, int64_t a1, int64_t a2)
{
    fail(id, a1, numberText(a2));
}

void MdVarExtParser::fail(uint32_t id, int64_t a1, const String& a2)
{
    countError();
    const String t1 = numberText(a1);
    reportError(id, &t1, &a2);
}

bool MdVarExtParser::enterText(TextMap& map, const String& text, int32_t& id)
{
    id = m_nextStringId++;
    return map.emplace(id, text).second;
}

void MdVarExtParser::configuration(int32_t number, const String& text)
{
    int32_t id = 0;
    if (!enterText(m_cfgTexts, text, id) || !addCfgEntry(uint32_t(number), id)) fail(410, number, text);
}

void MdVarExtParser::defaultConfiguration(int32_t cfg)
{
    if (!setDefaultConfiguration(uint32_t(cfg))) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%x", uint32_t(cfg));
        fail(412, String(hex));
    }
}

void MdVarExtParser::groupHead(int32_t group, const String& text)
{
    int32_t id = 0;
    if (!enterText(m_cfgTexts, text, id) || !addCfgGroup(uint32_t(group), id)) fail(410, group, text);
}

void MdVarExtParser::groupEntry(int32_t group, int32_t cfg, const String& text)
{
    int32_t id = 0;
    if (!enterText(m_cfgTexts, text, id) || !addCfgGroupEntry(uint32_t(group), uint32_t(cfg), id))
        fail(410, cfg, text);
}

void MdVarExtParser::maxId(int32_t m)
{
    // MAXID 2147483647 would make a limit beyond 32 bits.
    if (m == INT32_MAX) {
        fail(408, m);
        return;
    }
    if (!setUnitParam(m + 1)) fail(406);
}

void MdVarExtParser::resolve(int32_t local, int32_t quantity, bool hasDefault, int32_t defaultUnit, bool hasPossible,
                             const IntList& units)
{
    if (!addResolveEntry(local, quantity)) fail(410, local, quantity);
    // A quantity outside the unit table has neither default nor units.
    if (!PhysUnitTable::isValidId(quantity)) {
        fail(403, quantity);
        return;
    }
    if (hasDefault) {
        if (!PhysUnitTable::isQuantityRecord(quantity)) fail(403, quantity);
        if (!PhysUnitTable::isValidId(defaultUnit)) {
            fail(404, defaultUnit);
        } else {
            if (PhysUnitTable::quantityOf(defaultUnit) != PhysUnitTable::quantityOf(quantity))
                fail(405, defaultUnit, quantity);
            if (!addDefaultUnit(quantity, defaultUnit)) fail(410, quantity, defaultUnit);
        }
    }
    if (hasPossible)
        for (int32_t u : units)
            if (!addUsedUnit(quantity, u)) fail(404, u);
}

void MdVarExtParser::resolveEnd()
{
    initSysParser();
}

void MdVarExtParser::initSysParser()
{
    if (!CUsedUnitTable::empty()) return;
    BoUnitIdList dims;
    if (getPhysDims(dims) != 0) {
        TV_TRACE(4, kTraceFile, "MdVarExtParser::initSysParser", "getPhysDims failed");
        fail(0);
        return;
    }
    const int32_t limit = std::min(getUnitLimit(), PhysUnitTable::kCount);
    for (int32_t p : dims) {
        if (!PhysUnitTable::isValidId(p)) continue;
        for (int32_t i = 0; i < limit; ++i) {
            if (PhysUnitTable::isQuantityRecord(i) || PhysUnitTable::quantityOf(i) != PhysUnitTable::quantityOf(p))
                continue;
            if (!addUsedUnit(p, i)) {
                TV_TRACE(4, kTraceFile, "MdVarExtParser::initSysParser", "addUsedUnit failed");
                fail(0);
            }
        }
    }
}

int32_t MdVarExtParser::getPhysGrIdx(int32_t physGr)
{
    const int32_t limit = std::min(getUnitLimit(), PhysUnitTable::kCount);
    for (int32_t i = 0; i < limit; ++i)
        if (PhysUnitTable::quantityOf(i) == physGr) return i;
    TV_TRACE(4, kTraceFile, "MdVarExtParser::getPhysGrIdx", "%i is not an PhysGrIdx", physGr);
    return -1;
}

void MdVarExtParser::bitType(int32_t number, const String& first, const String& second)
{
    const int32_t n = m_nextStringId;
    m_nextStringId += 2;
    const bool a = m_bitTexts.emplace(n, first).second;
    const bool b = m_bitTexts.emplace(n + 1, second).second;
    if (!a || !b || !addBitType(number, n + 1, n)) fail(415, number);
}
