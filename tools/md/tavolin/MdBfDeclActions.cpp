// The boot-function compiler's actions on declarations: variables with and
// without initial values, named and anonymous arrays and their
// initialisers, enumerations, structures and the values of literals and
// named constants.
//
// A declaration group (MdBfSymbols) lists every symbol it declared, types
// included; the boot-function and structure types take its variables
// (kind 3) as members. A value that failed has been reported where it
// failed; what is built on it later stays silent about it.
#include <cstring>
#include <memory>
#include <string>

#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StSySymbEntry.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "tools/md/tavolin/MdBfParser.h"

namespace {

// The bounds of an array range; ok false when either could not be taken.
class MdBfRange : public MdBfValue {
public:
    static constexpr Kind kKind = KindRange;
    MdBfRange() : MdBfValue(kKind) {}
    int32_t low = 0;
    int32_t high = 0;
    bool ok = false;
};

// The first element of a constant value, null when it has none.
const StConstantElem* firstElement(const MdBfValue* v)
{
    const auto* elems = mdBfAs<MdBfElems>(v);
    return elems && !elems->list.empty() ? elems->list.front() : nullptr;
}

// The largest enumerator value: an enumerator is a DINT constant.
constexpr uint32_t kMaxEnumerator = 0x7fffffffu;

}  // namespace

void MdBfParser::recordType(StSymbEntryID sid)
{
    const StTypeID tid = m_symbols->getTypeID(sid);
    if (tid != ST_INVALID_TID) m_typeDecls.set(tid, sid.get() + 1);
}

StSymbEntryID MdBfParser::typeDeclaration(StTypeID tid) const
{
    const uint32_t found = m_typeDecls.get(tid);
    return found != 0 ? StSymbEntryID(found - 1) : ST_INVALID_SID;
}

bool MdBfParser::elementValue(const StConstantElem& elem, uint32_t typeId, StConstantVal*& value) const
{
    value = nullptr;
    const StConstantVal* source =
        elem.getValue() ? elem.getValue() : m_symbols->getConstantVal(elem.getCID());
    if (!source) return false;
    std::unique_ptr<StConstantVal> copy(source->clone());
    if (copy->setType(typeId, true) != 0) return false;
    value = copy.release();
    return true;
}

// ---- values ----

MdBfValue* MdBfParser::literal(String* text, int radix)
{
    std::unique_ptr<String> owned(text);
    auto* elems = new MdBfElems;
    if (!owned) return elems;
    // Read untyped, as every reader of literals reads it; the variable's
    // type takes it when the value is bound.
    auto* value = new StStdConstantVal(ST_ANYTYPE);
    const char* hash = radix == 10 ? nullptr : std::strchr(owned->c_str(), '#');
    const int status = StStdConstantVal::readLiteral(hash ? String(hash + 1) : *owned, radix, *value);
    // A real below the normal range reads with the range status (2) as one
    // above it does: out of range for every type, not a 0 of the variable's
    // type nor an untyped array element.
    if (status != 0) {
        delete value;
        error(506);
        elems->refused = true;
        return elems;
    }
    elems->list.push_back(new StConstantElem(value));
    return elems;
}

MdBfValue* MdBfParser::rule132(String* text)
{
    std::unique_ptr<String> owned(text);
    auto* elems = new MdBfElems;
    if (!owned) return elems;
    if (owned->length() > int32_t(StStringConstantVal::MAX_LENGTH)) {
        error(506);
        elems->refused = true;
        return elems;
    }
    int status = 0;
    elems->list.push_back(new StConstantElem(
        new StStringConstantVal(ST_STRING_TID, *owned, uint8_t(owned->length()), status)));
    return elems;
}

MdBfValue* MdBfParser::rule124(String* name)
{
    std::unique_ptr<String> owned(name);
    auto* elems = new MdBfElems;
    if (!owned) return elems;
    const StSymbEntryID sid = m_symbols->lookupSymbolEntry(*owned, m_validRange, m_nameRange);
    if (sid.isInvalid() || m_symbols->getEntryKind(sid) != ST_KIND_CONST) {
        error(511, owned.get());
        elems->refused = true;
        return elems;
    }
    StConstEntryID cid;
    m_symbols->getValueID(cid, sid);
    elems->list.push_back(new StConstantElem(cid, ST_INVALID_SID));
    return elems;
}

MdBfValue* MdBfParser::rule122(MdBfValue* list, MdBfValue* value)
{
    std::unique_ptr<MdBfElems> to = mdBfTake<MdBfElems>(list);
    std::unique_ptr<MdBfElems> from = mdBfTake<MdBfElems>(value);
    to->list.splice(to->list.end(), from->list);
    to->refused = to->refused || from->refused;
    return to.release();
}

// ---- variables ----

MdBfSymbols* MdBfParser::declareVariables(MdBfValue* names, StTypeID type)
{
    std::unique_ptr<MdBfNameList> list = mdBfTake<MdBfNameList>(names);
    auto* vars = new MdBfSymbols;
    vars->type = type;
    if (type == ST_INVALID_TID) return vars;  // reported with the type
    vars->items.reserve(list->names.size());
    // The list holds no name that was declared in this scope when it was
    // read (MdBfTypeActions::addName refused those), and what stands between
    // the list and here declares no name in this scope (a type's name comes
    // before the list; an anonymous array's entry has none): a name is taken
    // here only when an earlier one of this list has been declared.
    std::vector<const String*>& declared = m_listDeclared;
    declared.clear();
    for (const String& name : list->names) {
        bool taken = false;
        for (const String* earlier : declared) taken = taken || String::compare(*earlier, name) == 0;
        if (taken) {
            error(505, &name);  // twice in one list
            continue;
        }
        // Unique in its scope by the check above.
        StSymbEntryID sid;
        m_symbols->declareSymbol(sid, name, m_validRange, m_nameRange, m_declWord, 0, true, false);
        if (sid.isValid()) declared.push_back(&name);
        if (sid.isInvalid() || m_symbols->setSymbolType(sid, type, typeDeclaration(type)) != 0) {
            error(MdBfMsgInternal);
            continue;
        }
        vars->items.push_back({sid, MdBfAccessNone});
    }
    return vars;
}

void MdBfParser::giveDefaults(const MdBfSymbols& vars)
{
    for (const MdBfSymbols::Item& item : vars.items) {
        if (m_symbols->getEntryCID(item.sid).isValid()) continue;
        int status = 0;
        const StConstEntryID cid = m_symbols->assignConstant(vars.type, m_symbols->createInitValue(vars.type), status);
        if (cid.isInvalid())
            error(512);
        else if (m_symbols->getSymbolValue(item.sid, cid) != 0)
            error(MdBfMsgInternal);
    }
}

bool MdBfParser::bindValue(MdBfSymbols& vars, StConstEntryID cid, bool removeRefused)
{
    for (auto it = vars.items.begin(); it != vars.items.end();) {
        const int r = m_symbols->getSymbolValue(it->sid, cid);
        if (r == 1) {
            error(MdBfMsgInternal);
            return false;
        }
        if (r == 2) {
            error(506);
            if (removeRefused) {
                m_symbols->removeEntry(it->sid);
                it = vars.items.erase(it);
                continue;
            }
        }
        ++it;
    }
    return true;
}

void MdBfParser::removeAll(MdBfSymbols& group)
{
    for (const MdBfSymbols::Item& item : group.items) {
        m_symbols->removeEntry(item.sid);
    }
    group.items.clear();
}

MdBfValue* MdBfParser::rule64(MdBfValue* names, uint32_t type)
{
    return declareVariables(names, StTypeID(type));
}

MdBfValue* MdBfParser::rule60(MdBfValue* head)
{
    std::unique_ptr<MdBfSymbols> vars = mdBfTake<MdBfSymbols>(head);
    giveDefaults(*vars);
    return vars.release();
}

MdBfValue* MdBfParser::rule61(MdBfValue* head, MdBfValue* value, uint32_t access)
{
    std::unique_ptr<MdBfSymbols> vars = mdBfTake<MdBfSymbols>(head);
    std::unique_ptr<MdBfValue> ownedValue(value);
    auto* elems = mdBfAs<MdBfElems>(value);
    if (!elems) {
        error(503);
    } else if (!vars->items.empty()) {
        StConstEntryID cid;
        if (!elems->list.empty()) {
            StConstantElemPtrList* list = &elems->list;
            int status = 0;
            m_symbols->buildInitValue(cid, vars->type, list, status);
            if (cid.isInvalid()) error(512);
        }
        if (cid.isInvalid())
            giveDefaults(*vars);
        else if (!bindValue(*vars, cid, false))
            endParse();
    }
    for (MdBfSymbols::Item& item : vars->items) item.word = access;
    return vars.release();
}

void MdBfParser::rule62(const MdBfValue* head)
{
    const auto* vars = mdBfAs<MdBfSymbols>(head);
    m_initType = vars ? vars->type : ST_INVALID_TID;
}

MdBfValue* MdBfParser::rule63(MdBfValue* head, MdBfValue* init, uint32_t access)
{
    std::unique_ptr<MdBfSymbols> vars = mdBfTake<MdBfSymbols>(head);
    std::unique_ptr<MdBfValue> ownedInit(init);
    const auto* value = mdBfAs<MdBfInit>(init);
    if (!value)
        error(512);
    else if (value->cid.isInvalid())
        removeAll(*vars);
    else
        bindValue(*vars, value->cid, true);
    for (MdBfSymbols::Item& item : vars->items) item.word = access;
    return vars.release();
}

// ---- arrays ----

MdBfValue* MdBfParser::rule67(MdBfValue* head, MdBfValue* init)
{
    return rule63(head, init, MdBfAccessNone);
}

void MdBfParser::rule69(const String* name)
{
    m_arrayName = name ? *name : String();
    m_namedArray = true;
}

void MdBfParser::rule71()
{
    m_namedArray = false;
}

MdBfValue* MdBfParser::rule77(MdBfValue* low, MdBfValue* high)
{
    std::unique_ptr<MdBfValue> ownedLow(low), ownedHigh(high);
    auto* range = new MdBfRange;
    const StConstantElem* bounds[2] = {firstElement(low), firstElement(high)};
    int32_t values[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        if (!bounds[i]) return range;  // reported with the value
        StConstantVal* v = nullptr;
        const bool converted = elementValue(*bounds[i], ST_DINT, v) && v->getDInt(values[i]);
        delete v;
        if (!converted) {
            error(MdBfMsgInternal);
            return range;
        }
        if (values[i] < 0) {
            error(508);
            return range;
        }
    }
    if (values[0] > values[1]) {
        error(508);
        return range;
    }
    range->low = values[0];
    range->high = values[1];
    range->ok = true;
    return range;
}

uint32_t MdBfParser::rule74(MdBfValue* range, uint32_t elementType)
{
    std::unique_ptr<MdBfValue> owned(range);
    const auto* bounds = mdBfAs<MdBfRange>(range);
    m_arraySID = ST_INVALID_SID;
    if (!bounds || !bounds->ok || StTypeID(elementType) == ST_INVALID_TID) return ST_INVALID_TID;
    const StSymbEntryID sid =
        m_symbols->addTypeDecl(m_namedArray ? m_arrayName.c_str() : nullptr, m_validRange, m_nameRange,
                               StTypeID(elementType), typeDeclaration(StTypeID(elementType)), bounds->low,
                               bounds->high, m_nameRange, false);
    if (sid.isInvalid()) {
        if (m_namedArray && m_symbols->getSIDByName(m_arrayName, m_validRange, m_nameRange).isValid())
            error(505, &m_arrayName);
        else
            error(MdBfMsgInternal);
        return ST_INVALID_TID;
    }
    m_arraySID = sid;
    recordType(sid);
    return m_symbols->getTypeID(sid);
}

MdBfValue* MdBfParser::rule70(String* name, uint32_t arrayType)
{
    delete name;
    auto* group = new MdBfSymbols;
    group->type = StTypeID(arrayType);
    if (group->type != ST_INVALID_TID && m_arraySID.isValid()) group->items.push_back({m_arraySID, MdBfAccessNone});
    return group;
}

MdBfValue* MdBfParser::rule75(MdBfValue* values)
{
    std::unique_ptr<MdBfElems> elems = mdBfTake<MdBfElems>(values);
    auto* init = new MdBfInit;
    // A value of the list was reported and left out: the rest is not what
    // was written, and its message says why (not 507 for the count as well).
    if (m_initType == ST_INVALID_TID || elems->list.empty() || elems->refused) return init;
    StConstantElemPtrList* list = &elems->list;
    int status = 0;
    StConstEntryID cid;
    m_symbols->buildInitValue(cid, m_initType, list, status);
    switch (status) {
    case CpSymbTable::CP_OK:
    case CpSymbTable::CP_WARNING: init->cid = cid; break;
    case CpSymbTable::CP_UNUSABLE: error(MdBfMsgInternal); break;
    case CpSymbTable::CP_REFUSED: error(506); break;
    default: error(507); break;
    }
    return init;
}

MdBfValue* MdBfParser::rule76(MdBfValue* count, MdBfValue* value)
{
    std::unique_ptr<MdBfValue> ownedCount(count);
    std::unique_ptr<MdBfElems> elems = mdBfTake<MdBfElems>(value);
    const StConstantElem* repeat = firstElement(count);
    if (!repeat || elems->list.empty()) return new MdBfInit;  // reported with the value
    StConstantVal* v = nullptr;
    int32_t n = 0;
    const bool converted = elementValue(*repeat, ST_DINT, v) && v->getDInt(n);
    delete v;
    if (!converted || n < 1) {
        error(506);
        return new MdBfInit;
    }
    elems->list.front()->setCount(n);
    return rule75(elems.release());
}

// ---- enumerations ----

bool MdBfParser::singleName(const MdBfNameList* names)
{
    if (names->names.size() + names->refused != 1) {
        error(500);
        return false;
    }
    return !names->names.empty();
}

uint32_t MdBfParser::rule117(const MdBfValue* items)
{
    const auto* list = mdBfAs<MdBfSymbols>(items);
    return list ? list->next : 0;
}

MdBfValue* MdBfParser::rule118(MdBfValue* items, MdBfValue* item)
{
    return joined(items, item);
}

MdBfValue* MdBfParser::rule119(String* name, uint32_t running)
{
    if (running > kMaxEnumerator) error(508);
    return enumerator(name, running);
}

MdBfValue* MdBfParser::enumerator(String* name, uint32_t running)
{
    std::unique_ptr<String> owned(name);
    auto* item = new MdBfSymbols;
    item->next = running + 1;
    if (!owned) return item;
    if (declaredHere(*owned)) {
        error(505, owned.get());
        return item;
    }
    StSymbEntryID sid;
    m_symbols->declareConstant(sid, *owned, m_validRange, m_nameRange, int32_t(running), 0, true, false);
    if (sid.isInvalid())
        error(MdBfMsgInternal);
    else
        item->items.push_back({sid, 0});
    return item;
}

MdBfValue* MdBfParser::rule120(String* name, MdBfValue* literal, uint32_t running)
{
    std::unique_ptr<MdBfValue> ownedLiteral(literal);
    const StConstantElem* elem = firstElement(literal);
    if (!elem) return enumerator(name, running);  // reported with the literal
    StConstantVal* v = nullptr;
    uint32_t value = 0;
    const bool converted = elementValue(*elem, ST_UDINT, v) && v->getULong(value) && value <= kMaxEnumerator;
    delete v;
    if (!converted) {
        error(508);
        value = running;
    }
    return enumerator(name, value);
}

MdBfValue* MdBfParser::rule80(MdBfValue* names, MdBfValue* enumerators)
{
    std::unique_ptr<MdBfNameList> list = mdBfTake<MdBfNameList>(names);
    std::unique_ptr<MdBfSymbols> items = mdBfTake<MdBfSymbols>(enumerators);
    auto* group = new MdBfSymbols;
    if (!singleName(list.get())) {
        removeAll(*items);
        return group;
    }
    const String& name = list->names.front();
    if (items->items.empty()) return group;  // reported with the enumerators
    auto* ids = new StSymbEntryIDList;
    for (const MdBfSymbols::Item& item : items->items) ids->push_back(item.sid);
    StSymbEntryID sid, parent;
    m_symbols->declareEnumType(sid, name, m_validRange, m_nameRange, ids, parent, 0, false, false, true, true);
    delete ids;  // null when the type took it
    if (sid.isInvalid()) {
        error(MdBfMsgInternal);
        return group;
    }
    recordType(sid);
    const uint32_t exported = m_exports.addExport(sid);
    if (exported == 1)
        error(MdBfMsgInternal);
    else if (exported != 0)
        error(505, &name);
    group->items.push_back({sid, 0});
    group->type = m_symbols->getTypeID(sid);
    return group;
}

MdBfValue* MdBfParser::rule79(MdBfValue* head, MdBfValue* names, String* initial)
{
    std::unique_ptr<MdBfSymbols> group = mdBfTake<MdBfSymbols>(head);
    std::unique_ptr<String> ownedInitial(initial);
    std::unique_ptr<MdBfSymbols> vars(declareVariables(names, group->type));
    if (group->type == ST_INVALID_TID || group->items.empty() || !ownedInitial) return group.release();
    int32_t value = 0;
    const StSymbEntryID enumerator =
        m_symbols->lookupSymbolEntry(*ownedInitial, m_validRange, m_nameRange, ST_KIND_CONST);
    if (enumerator.isInvalid() || !m_symbols->findEnumValue(group->items.front().sid, *ownedInitial, value)) {
        error(509, ownedInitial.get());
        giveDefaults(*vars);
    } else {
        StConstEntryID cid;
        m_symbols->getValueID(cid, enumerator);
        bindValue(*vars, cid, false);
    }
    return joined(group.release(), vars.release());
}

// ---- structures ----

void MdBfParser::rule85(const MdBfValue* /*names*/)
{
    setNameRange(m_symbols->openNameSpace(m_nameRange));
}

MdBfValue* MdBfParser::rule86(MdBfValue* names, MdBfValue* members)
{
    std::unique_ptr<MdBfNameList> list = mdBfTake<MdBfNameList>(names);
    std::unique_ptr<MdBfSymbols> memberGroup = mdBfTake<MdBfSymbols>(members);
    const StRangeID ownRange = m_nameRange;
    setNameRange(m_symbols->closeNameSpace(ownRange, true));
    auto* group = new MdBfSymbols;
    if (!singleName(list.get())) return group;
    StSymbEntryIDList memberList;
    memberList.reserve(memberGroup->items.size());
    for (const MdBfSymbols::Item& item : memberGroup->items)
        if (m_symbols->getEntryKind(item.sid) == ST_KIND_VAR) memberList.push_back(item.sid);
    if (memberList.empty()) return group;
    StSymbEntryID sid, parent;
    m_symbols->declareStructType(sid, list->names.front(), m_validRange, m_nameRange, &memberList, ownRange, parent,
                                 0, 0, false, true, true);
    if (sid.isInvalid() || m_symbols->getTypeID(sid) == ST_INVALID_TID ||
        m_symbols->assignOffsets(memberList, 0) == CBfSymbTable::NO_OFFSET) {
        error(MdBfMsgInternal);
        return group;
    }
    recordType(sid);
    group->items.push_back({sid, 0});
    group->type = m_symbols->getTypeID(sid);
    return group;
}

MdBfValue* MdBfParser::rule84(MdBfValue* def, MdBfValue* names)
{
    std::unique_ptr<MdBfSymbols> group = mdBfTake<MdBfSymbols>(def);
    MdBfSymbols* vars = declareVariables(names, group->type);
    giveDefaults(*vars);
    return joined(group.release(), vars);
}
