// The variables-section compiler (MdVarExtParser.h): init, messages, texts
// and the configuration, resolve and bit-type statements.
#include "tools/md/tavolin/MdVarExtParser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <list>
#include <new>
#include <string>

#include "bo/bo/BoPhysUnit.h"
#include "bo/boframe/BoFrameSymbTable.h"
#include "co/TraceApi.h"
#include "tools/md/tavolin/MdRcStringTable.h"
#include "tools/md/tavolin/MdStepCause.h"
#include "tools/md/tavolin/MdVarSourceRules.h"
#include "MdVarExtBisonParser.tab.hpp"

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
        m_noTableCause = MdCauseBadSysTable;
        mdNoteStepCause(m_noTableCause);
        delete table;
        table = nullptr;
    }
    args.descriptor->CloseSect("symb");
    m_lastAdr = AdrLookup();
    m_adrFacts.clear();
    m_adrCursor = 0;
    if (table) setSymbTable(table);
}

MdVarExtParser::~MdVarExtParser()
{
    freeItems();
}

int MdVarExtParser::yylex()
{
    m_lineAfterLast = m_lineNow;
    const int token = MdParserFrame::yylex();
    m_lineNow = MdVarExtScanner::lineno();
    if (token == VAREXT_STRING) noteTextLine(mdTextFirstLine(m_lineNow, MdVarExtlval.text));
    return token;
}

void MdVarExtParser::reportError(uint32_t id, const String* arg1, const String* arg2)
{
    mdEmitMessage(id, m_messageLine >= 0 ? m_messageLine : MdVarExtScanner::lineno(), arg1 ? arg1->c_str() : nullptr,
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
    checkTextId(id);
    // Past the last id, or with a text too long, the section is not
    // written: the text is not kept.
    const bool fits = textFits(text);
    return idsRunOut() || !fits || map.emplace(id, text).second;
}

bool MdVarExtParser::textFits(const String& text, int back)
{
    const int32_t line = m_messageLine >= 0 ? m_messageLine : MdVarExtScanner::lineno();
    return scriptTextFits(text.chars(), std::size_t(text.length()), {MdVarExtMsgTooLong, MdVarExtMsgUndefinedByte},
                          line, textLine(back));
}

void MdVarExtParser::checkTextId(int32_t id)
{
    if (mdRcTextIdFits(id)) return;
    const int32_t line = m_messageLine >= 0 ? m_messageLine : MdVarExtScanner::lineno();
    textIdFits(id, 408, line, mdRcIdText(id).c_str());
}

void MdVarExtParser::configuration(int32_t number, const String& text)
{
    int32_t id = 0;
    const bool entered = enterText(m_cfgTexts, text, id);
    const uint32_t cfg = uint32_t(number);
    const bool added = idsRunOut() ? m_past.remember(m_past.cfgs, cfg, cfgEntries().count(cfg) != 0)
                                   : addCfgEntry(cfg, id);
    if (!entered || !added) fail(410, number, text);
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
    const bool entered = enterText(m_cfgTexts, text, id);
    bool added = false;
    if (!idsRunOut()) {
        added = addCfgGroupEntry(uint32_t(group), uint32_t(cfg), id);
    } else {
        const auto g = cfgGroups().find(uint32_t(group));
        added = g != cfgGroups().end() &&
                m_past.remember(m_past.groupEntries, uint64_t(uint32_t(group)) << 32 | uint32_t(cfg),
                                g->second.entries.count(uint32_t(cfg)) != 0);
    }
    if (!entered || !added) fail(410, cfg, text);
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
    checkTextId(n);
    checkTextId(n + 1);
    const bool firstFits = textFits(first, 1), secondFits = textFits(second);
    const bool a = idsRunOut() || !firstFits || m_bitTexts.emplace(n, first).second;
    const bool b = idsRunOut() || !secondFits || m_bitTexts.emplace(n + 1, second).second;
    const bool added = idsRunOut() ? m_past.remember(m_past.bitTypes, uint32_t(number), bitTypeKnown(number))
                                   : addBitType(number, n + 1, n);
    if (!a || !b || !added) fail(415, number);
}

bool MdVarExtParser::needTable()
{
    if (m_pSymTab) return true;
    fail(0);
    mdNoteStepCause(m_noTableCause);
    stopParse(5);
    return false;
}

bool MdVarExtParser::rangeAccepted(bool range, int32_t first, int32_t last)
{
    if (!range || mdRangeAccepted(uint32_t(first), uint32_t(last))) return true;
    fail(408, first);
    stopParse(3);
    return false;
}

const MdVarExtParser::AdrFact* MdVarExtParser::knownFact(int32_t adr)
{
    const size_t n = m_adrFacts.size();
    if (n == 0) return nullptr;
    // From the previous answer a few steps forward, else a search (behind
    // it, at the start of a new block, or far ahead).
    size_t c = m_adrCursor < n && m_adrFacts[m_adrCursor].adr <= adr ? m_adrCursor : 0;
    for (int steps = 0; steps < 8 && c + 1 < n && m_adrFacts[c + 1].adr <= adr; ++steps) ++c;
    if (c + 1 < n && m_adrFacts[c + 1].adr <= adr) {
        const auto it = std::upper_bound(m_adrFacts.begin() + ptrdiff_t(c) + 1, m_adrFacts.end(), adr,
                                         [](int32_t a, const AdrFact& f) { return a < f.adr; });
        c = size_t(it - m_adrFacts.begin()) - 1;
    }
    if (m_adrFacts[c].adr > adr) return nullptr;
    m_adrCursor = c;
    return m_adrFacts[c].adr == adr ? &m_adrFacts[c] : nullptr;
}

const MdVarExtParser::AdrLookup& MdVarExtParser::lookUp(int32_t adr)
{
    if (m_pSymTab && m_lastAdr.table == m_pSymTab && m_lastAdr.adr == adr) return m_lastAdr;
    if (m_lastAdr.table != m_pSymTab) {
        m_adrFacts.clear();
        m_adrCursor = 0;
    }
    m_lastAdr.table = m_pSymTab;
    m_lastAdr.adr = adr;
    if (const AdrFact* f = m_pSymTab ? knownFact(adr) : nullptr) {
        m_lastAdr.tid = f->tid;
        m_lastAdr.noOperand = f->noOperand;
        return m_lastAdr;
    }
    m_lastAdr.tid = boSysVarTypeAt(m_pSymTab, uint32_t(adr), m_lastAdr.noOperand);
    if (m_pSymTab && (m_adrFacts.empty() || m_adrFacts.back().adr < adr) && m_adrFacts.size() < kMaxAdrFacts) {
        m_adrFacts.push_back(AdrFact{adr, m_lastAdr.tid, m_lastAdr.noOperand});
        m_adrCursor = m_adrFacts.size() - 1;
    }
    return m_lastAdr;
}

bool MdVarExtParser::operandExists(int32_t adr)
{
    return m_pSymTab && !lookUp(adr).noOperand;
}

StTypeID MdVarExtParser::typeIdAt(int32_t adr)
{
    const AdrLookup& l = lookUp(adr);
    return tracedTypeAt(adr, l.tid, l.noOperand);
}

uint32_t MdVarExtParser::elemTypeAt(int32_t adr)
{
    const StTypeID tid = typeIdAt(adr);
    return m_pSymTab && tid != ST_INVALID_TID ? m_pSymTab->getElemTypeId(tid) : 30;
}

VarExt* MdVarExtParser::attributeValues(int32_t a, int32_t ato1, int32_t ato2, int32_t g, int32_t te)
{
    if (g < 0 || g > 0xFFFF) fail(408, g);
    if (te < 0 || te > 0xFF) fail(408, te);
    VarExt* r = new (std::nothrow)
        VarExt{uint32_t(a), uint32_t(ato1), uint32_t(ato2), uint16_t(g), uint8_t(te)};
    if (!r) {
        reportError(0, nullptr, nullptr);
        stopParse(2);
    }
    return r;
}

void MdVarExtParser::attribute(bool range, int32_t first, int32_t last, int32_t mask, VarExt* record)
{
    if (!needTable() || !rangeAccepted(range, first, last)) {
        delete record;
        return;
    }
    // The first address takes the record, each further one a copy of it
    // (null stays null); a refused record stays here and is deleted.
    bool taken = false;
    for (uint64_t a = uint32_t(first); a <= uint32_t(last); ++a) {
        const int32_t adr = int32_t(uint32_t(a));
        if (!operandExists(adr)) fail(411, adr);
        VarExt* r = record;
        if (a != uint32_t(first) && record) {
            r = new (std::nothrow) VarExt(*record);
            if (!r) {
                reportError(0, nullptr, nullptr);
                stopParse(2);
                break;
            }
        }
        const bool added = addAttrib(VarExtKey(adr, uint32_t(mask)), r);
        if (!added) fail(410, adr, int64_t(mask));
        if (r == record)
            taken = added;
        else if (!added)
            delete r;
    }
    if (!taken) delete record;
}

void MdVarExtParser::bitField(bool range, int32_t first, int32_t last, int32_t mask, int32_t bit, int32_t type,
                              const String& text)
{
    if (!needTable() || !rangeAccepted(range, first, last)) return;
    int32_t id = 0;
    const bool entered = enterText(m_bitTexts, text, id);
    mdForEachAddress(uint32_t(first), uint32_t(last), [&](uint32_t a) {
        const int32_t adr = int32_t(a);
        if (!operandExists(adr)) fail(411, adr);
        if (!isBitNoValid(elemTypeAt(adr), bit)) fail(416, bit);
        if (!entered || !bitFieldTable().addBitField(VarExtKey(adr, uint32_t(mask)), bit, type, id, bitTypeKnown(type)))
            fail(415, bit);
    });
}

bool MdVarExtParser::bitTypeKnown(int32_t type) const
{
    return bitTypeTable().count(type) != 0 || m_past.bitTypes.contains(uint32_t(type));
}

void MdVarExtParser::dynArrayElement(int32_t adr)
{
    if (!needTable()) return;
    if (!m_pSymTab->isArrayType(typeIdAt(adr))) fail(411, adr);
}

void MdVarExtParser::dynArray(int32_t sizeAdr, int32_t mask, const IntList& arrays)
{
    if (!needTable()) return;
    // The line where the statement began (its "$"). A repeated key keeps
    // its first statement's.
    m_dynArrayLines.emplace(VarExtKey(sizeAdr, uint32_t(mask)), m_dynArrayStart);
    // Each check reports on its own, and the sizes are offered all the
    // same: a repeated size variable is reported too.
    if (!operandExists(sizeAdr)) fail(411, sizeAdr);
    const uint32_t t = elemTypeAt(sizeAdr);
    if (t != ST_USINT && t != ST_UINT) fail(411, sizeAdr);
    const std::list<int32_t> list(arrays.begin(), arrays.end());
    if (!addDynArraySizes(VarExtKey(sizeAdr, uint32_t(mask)), list)) fail(411, sizeAdr);
}

void MdVarExtParser::dynArrayStart()
{
    // Reduced right after the statement's "$" without a look-ahead: the
    // scanner stands on the line of that token.
    m_dynArrayStart = MdVarExtScanner::lineno();
}

int32_t MdVarExtParser::dynArrayStatementOrder(const VarExtKey& sizeKey) const
{
    const auto at = m_dynArrayLines.find(sizeKey);
    return at != m_dynArrayLines.end() ? at->second : -1;
}

void MdVarExtParser::placeDynArrayMessages(const VarExtKey& sizeKey)
{
    m_messageLine = dynArrayStatementOrder(sizeKey);
}

namespace {

String hexText(int32_t v)
{
    char t[16];
    std::snprintf(t, sizeof t, "%x", uint32_t(v));
    return String(t);
}

}  // namespace

uint32_t MdVarExtParser::itemTypeAt(int32_t adr, StTypeID* enumType)
{
    if (enumType) *enumType = ST_INVALID_TID;
    if (!m_pSymTab) return 30;
    const StTypeID tid = typeIdAt(adr);
    if (tid == ST_INVALID_TID) return 30;
    const uint32_t e = m_pSymTab->getElemTypeId(tid);
    if (e != 30) return e;
    uint32_t valueType = 30;
    if (m_pSymTab->isEnumType(tid, &valueType)) {
        if (enumType) *enumType = tid;
        return valueType;
    }
    return 30;
}

void MdVarExtParser::freeItems()
{
    releaseEntries(m_items);
}

void MdVarExtParser::addItem(VarValueEntry* item)
{
    m_items.push_back(item);
}

void MdVarExtParser::valueHead(bool range, int32_t first, int32_t last, int32_t mask)
{
    freeItems();
    m_repeatMin = m_repeatMax = m_repeatDef = m_repeatUnit = m_repeatFixed = 0;
    m_itemType = 30;
    if (!needTable() || !rangeAccepted(range, first, last)) return;
    m_itemType = itemTypeAt(first);
    if (m_itemType == 30) fail(411, hexText(first));
    if (!range) return;
    for (uint64_t a = uint64_t(uint32_t(first)) + 1; a <= uint32_t(last); ++a) {
        const int32_t adr = int32_t(uint32_t(a));
        const uint32_t t = itemTypeAt(adr);
        if (t == 30) {
            fail(411, hexText(adr));
        } else if (t != m_itemType) {
            countError();
            const String a1 = hexText(first), a2 = hexText(adr);
            reportError(414, &a1, &a2);
        }
    }
}

void MdVarExtParser::valueNumber(ItemKind kind, int32_t value)
{
    int32_t& repeats = kind == ItemMin ? m_repeatMin : kind == ItemMax ? m_repeatMax : m_repeatDef;
    addItem(checkValueRange(value, m_itemType, kind, uint32_t(repeats++)));
}

// The number of a value item comes as its text: a variable of a number
// type reads it as every reader of literals does; any other keeps the
// section's 32-bit integer (its pattern for a based one) or the real text.
void MdVarExtParser::valueReal(ItemKind kind, const String& text)
{
    int32_t& repeats = kind == ItemMin ? m_repeatMin : kind == ItemMax ? m_repeatMax : m_repeatDef;
    const bool based = std::strncmp(text.c_str(), "16#", 3) == 0;
    if (isLiteralType(m_itemType)) {
        addItem(parseValueLiteral(text, based ? 16 : 10, m_itemType, kind, uint32_t(repeats++)));
        return;
    }
    if (!based && std::strpbrk(text.c_str(), ".eE")) {
        addItem(parseValueText(text, m_itemType, kind, uint32_t(repeats++)));
        return;
    }
    int32_t value = 0;
    uint32_t pattern = 0;
    if (based ? mdScanWideHex(text.c_str() + 3, pattern) : mdScanSignedDecimal(text.c_str(), value)) {
        if (based) value = int32_t(pattern);
    } else {
        numberOutOfRange(text.c_str());
    }
    addItem(checkValueRange(value, m_itemType, kind, uint32_t(repeats++)));
}

void MdVarExtParser::valueUnit(int32_t unit)
{
    if (m_repeatUnit++ != 0) fail(407, m_repeatUnit);
    // A number outside the unit table is not entered (it indexes nothing).
    if (!PhysUnitTable::isValidId(unit) || !PhysUnitTable::isQuantityRecord(unit)) fail(403, unit);
    if (!PhysUnitTable::isValidId(unit)) return;
    VarValueEntry* e = newEntry(VarValueEntry::Unit);
    e->number = unit;
    addItem(e);
}

void MdVarExtParser::valueFixed(int32_t unit)
{
    if (m_repeatFixed++ != 0) fail(407, m_repeatFixed);
    if (!PhysUnitTable::isValidId(unit) || PhysUnitTable::isQuantityRecord(unit)) fail(404, unit);
    if (!PhysUnitTable::isValidId(unit)) return;
    VarValueEntry* e = newEntry(VarValueEntry::Fix);
    e->number = unit;
    addItem(e);
}

void MdVarExtParser::undefWithItems()
{
    reportError(400, nullptr, nullptr);
    stopParse(3);
}

// Runs when the grammar reduces a value statement, which it does only after
// reading the token that follows the statement, often on a later line. The
// messages of the reduction name the line on which the statement's last
// token ended (the scanner's line before that look-ahead), not the
// scanner's line less one: the look-ahead may stand on the same line, or
// several lines further down behind blank lines and comments.
void MdVarExtParser::valueStatement(bool range, int32_t first, int32_t last, int32_t mask, bool undef)
{
    if (!m_pSymTab) return;  // the head stopped the parse
    m_messageLine = m_lineAfterLast;
    uint32_t type = 30;
    if (!undef) {
        StTypeID enumType = ST_INVALID_TID;
        type = itemTypeAt(first, &enumType);
        if (enumType != ST_INVALID_TID && !makeEnumEntry(m_items, enumType)) fail(410, first, int64_t(mask));
        if (type == 30) fail(411, hexText(first));
    }
    for (uint64_t a = uint32_t(first); a <= uint32_t(last); ++a) {
        const int32_t adr = int32_t(uint32_t(a));
        if (!operandExists(adr)) fail(411, adr);
        VarTypeValue* record = nullptr;
        if (!undef) {
            // Each further address gets constants of its own.
            if (a != uint32_t(first))
                for (VarValueEntry* e : m_items)
                    if (e->kind <= VarValueEntry::Max) e->cid = m_pConstTable->cloneConstantVal(e->cid, false);
            record = createTypeValue(m_items, type);
        }
        if (!addTypeValue(VarExtKey(adr, uint32_t(mask)), record)) {
            fail(410, adr, int64_t(mask));
            delete record;
        }
    }
    m_repeatMin = m_repeatMax = m_repeatDef = m_repeatUnit = m_repeatFixed = 0;
    freeItems();
    m_messageLine = -1;
}

int32_t MdVarExtParser::parseSource()
{
    const int result = yyparse();
    if (result != 0) return result;
    if (m_errors != 0) return 3;
    const bool arraysFit = checkDynArraySize();
    m_messageLine = -1;
    if (!arraysFit) return 3;

    // Values: entries of a new address; modifys: further entries of the
    // same address; null modifys: those without a record.
    int32_t values = 0, modifys = 0, nullModifys = 0;
    const CVarTypeValueTable& table = *this;
    const VarExtKeyFields* previous = nullptr;
    for (const auto& e : table) {
        if (!previous || previous->adr != e.first.adr) {
            ++values;
        } else {
            ++modifys;
            if (!e.second) ++nullModifys;
        }
        previous = &e.first;
    }
    TV_TRACE(1, kTraceFile, "MdVarExtParser::parseSource", "Values: %i, Modifys: %i, NullModifys: %i", values,
             modifys, nullModifys);

    // The savers live in a virtual base: called through lambdas rather than
    // member pointers, whose adjustment into that base the undefined-behaviour
    // checker takes for a call on the wrong object.
    const struct {
        const char* name;
        std::function<uint32_t(FsSecCl&)> save;
    } sections[] = {
        {"units", [this](FsSecCl& sec) { return saveUnits(sec); }},
        {"varval", [this](FsSecCl& sec) { return saveValues(sec); }},
        {"varext", [this](FsSecCl& sec) { return saveAttribs(sec); }},
        {"varcont", [this](FsSecCl& sec) { return saveDynArrays(sec); }},
        {"cfghead", [this](FsSecCl& sec) { return saveCfg(sec); }},
        {"bitfield", [this](FsSecCl& sec) { return saveBits(sec); }},
    };
    for (const auto& s : sections) {
        uint32_t saved = 0;
        if (mdRewriteSection(m_target, s.name, [&](FsSecCl& sec) { saved = s.save(sec); }) != 0 || saved != 0)
            return 4;
    }
    if (mdRewriteSection(m_target, "const", [&](FsSecCl& sec) { m_pConstTable->write(sec); }) != 0) return 4;

    MdRcStringTable script;
    if (!script.open(m_rcPath)) return 4;
    for (const TextMap* texts : {&m_bitTexts, &m_cfgTexts}) {
        if (texts->empty()) continue;
        script.beginTable();
        for (const auto& t : *texts) script.addText(t.first, t.second);
        script.endTable();
    }
    return script.close() ? 0 : 4;
}
