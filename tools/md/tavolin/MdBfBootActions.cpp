// The boot-function compiler's actions on scopes, boot-function types,
// implementations, code blocks, dependencies and the address table.
//
// Scopes: rule 1 opens the section's name space under the table's global
// one (the table's global entry from then on); each boot function (rule
// 16) and each structure (rule 85) opens one inside the current one. A
// boot function's type is declared in the section's name space, the global
// block's "@BfMainType" and "@BfMain" in the table's global one; each
// boot-function type keeps the name range of its own name space, where its
// variables live.
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "base/st/stsymtab/StSySymbEntry.h"
#include "bo/bo/BoPhysUnit.h"
#include "tools/md/tavolin/MdBfAddressAction.h"
#include "tools/md/tavolin/MdBfParser.h"

namespace {

const char kMainType[] = "@BfMainType";
const char kMainSymbol[] = "@BfMain";
const char kDummyMember[] = "@Dummy";

const MdBfSymbols* symbolsOf(const MdBfValue* v)
{
    return mdBfAs<MdBfSymbols>(v);
}

// A decimal text of at most 32 bits ("+" allowed); false otherwise.
bool decimalNumber(const String& text, uint32_t& value)
{
    const char* p = text.c_str();
    if (*p == '+') ++p;
    if (!*p) return false;
    uint64_t v = 0;
    for (; *p; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
        v = v * 10 + uint64_t(*p - '0');
        if (v > 0xffffffffu) return false;
    }
    value = uint32_t(v);
    return true;
}

}  // namespace

bool MdBfParser::m4Balanced(std::initializer_list<const String*> texts) const
{
    if (!m4TextsWritten()) return true;
    for (const String* t : texts)
        if (t && !bfM4QuotesBalance(*t))
            return false;
    return true;
}

bool MdBfParser::nulFree(std::initializer_list<const String*> texts, int32_t line,
                         const std::function<std::string()>& block)
{
    for (const String* t : texts) {
        const char* const chars = t ? t->chars() : nullptr;
        const std::size_t length = chars ? std::size_t(t->length()) : 0;
        const char* const nul = mdFirstNul(chars, length);
        if (!nul) {
            if (length) line += mdLineFeeds(chars, chars + length);
            continue;
        }
        ++m_errors;
        // (a NUL in a function's name is named in the block's name too)
        const std::string name = block();
        mdEmitMessage(MdBfMsgNulInText, line + mdLineFeeds(chars, nul), mdQuotedNul().c_str(),
                      mdTokenArg(name.data(), name.size()).c_str());
        return false;
    }
    return true;
}

MdBfValue* MdBfParser::joined(MdBfValue* list, MdBfValue* next)
{
    std::unique_ptr<MdBfValue> ownedNext(next);
    std::unique_ptr<MdBfSymbols> symbols = mdBfTake<MdBfSymbols>(list);
    if (const MdBfSymbols* more = symbolsOf(next)) {
        symbols->items.insert(symbols->items.end(), more->items.begin(), more->items.end());
        symbols->next = more->next;
    }
    return symbols.release();
}

void MdBfParser::rule1()
{
    setNameRange(m_symbols->openNameSpace(m_symbols->getGlobalNR()));
    m_symbols->setGlobalEntry(m_validRange, m_nameRange);
}

void MdBfParser::rule16()
{
    setNameRange(m_symbols->openNameSpace(m_nameRange));
}

void MdBfParser::rule8(String* name, String* params, String* body)
{
    nulFree({name, params, body}, m_functionLine, [&] { return functionBlock(name); });
    if (!m4Balanced({name, params, body})) noteM4Quotes(functionBlock(name), m_functionLine);
    addFunctionImpl(new String("int"), name, params, body, messageFunction() != 0);
}

std::string MdBfParser::functionBlock(const String* name) const
{
    return std::string(messageFunction() != 0 ? "BF_MSG_FUNCTION(" : "BF_FUNCTION(") +
           (name ? name->stdString() : std::string()) + ")";
}

void MdBfParser::rule11()
{
    makeBootType(String(kMainType), nullptr, nullptr, true, nullptr);
}

void MdBfParser::rule12(const MdBfValue* vars, const MdBfValue* subFunctions)
{
    makeBootType(String(kMainType), vars, subFunctions, true, nullptr);
}

void MdBfParser::rule17(const String* name, const MdBfValue* cs, const MdBfValue* vars,
                        const MdBfValue* subFunctions)
{
    makeBootType(name ? *name : String(), vars, subFunctions, false, cs);
}

void MdBfParser::makeBootType(const String& name, const MdBfValue* vars, const MdBfValue* subFunctions,
                              bool global, const MdBfValue* cs)
{
    const StRangeID ownRange = m_nameRange;
    setNameRange(m_symbols->closeNameSpace(m_nameRange, true));

    // The members: the variables, then the sub-functions. The variables
    // are the first variableCount members; their access words, wanted only
    // for the outputs, are kept in the same order in variableWords.
    // (Both lists are the parser's own, kept for the next boot function.)
    StSymbEntryIDList& members = m_typeMembers;
    std::vector<uint32_t>& variableWords = m_typeWords;
    members.clear();
    variableWords.clear();
    const MdBfSymbols* v = symbolsOf(vars);
    const MdBfSymbols* subs = symbolsOf(subFunctions);
    members.reserve((v ? v->items.size() : 0) + (subs ? subs->items.size() : 0) + 1);
    if (v) {
        if (!m_outputsUnused) variableWords.reserve(v->items.size());
        for (const MdBfSymbols::Item& item : v->items)
            if (m_symbols->getEntryKind(item.sid) == ST_KIND_VAR) {
                members.push_back(item.sid);
                if (!m_outputsUnused) variableWords.push_back(item.word);
            }
    }
    const size_t variableCount = members.size();
    if (subs)
        for (const MdBfSymbols::Item& item : subs->items) members.push_back(item.sid);
    if (members.empty()) {
        // An empty global block or boot function: the structure type gets a
        // placeholder member (a structure has at least one), which is no
        // symbol of the boot-function type.
        StSymbEntryID dummy;
        // Its own scope is new: nothing there to clash with.
        m_symbols->declareSymbol(dummy, String(kDummyMember), m_validRange, ownRange, m_declWord, 0, true, false);
        if (dummy.isInvalid() || m_symbols->setSymbolType(dummy, ST_BOOL, ST_INVALID_SID) != 0)
            error(MdBfMsgInternal);
        members.push_back(dummy);
    }

    StSymbEntryID typeSID;
    if (!global && declaredHere(name)) {
        error(505, &name);
    } else {
        StSymbEntryID parent;
        // The type's default value (its members' values) only goes into
        // "bfsymb": a run whose outputs are unused makes none when every
        // member has its value (making it could not fail then, and the
        // declarations that follow make their own values from the type).
        bool valued = m_outputsUnused;
        for (size_t i = 0; valued && i < members.size(); ++i)
            valued = m_symbols->getEntryCID(members[i]).isValid();
        m_symbols->setNoDefaultValues(valued);
        m_symbols->declareStructType(typeSID, name, m_validRange, m_nameRange, &members, ownRange, parent, 0, 0,
                                     false, true, true);
        m_symbols->setNoDefaultValues(false);
        if (typeSID.isInvalid() || m_symbols->getTypeID(typeSID) == ST_INVALID_TID ||
            m_symbols->assignOffsets(members, 0) == CBfSymbTable::NO_OFFSET)
            error(MdBfMsgInternal);
        else
            recordType(typeSID);
    }

    if (global) {
        StTypeID tid = ST_INVALID_TID;
        StSymbEntryID found;
        m_symbols->getTypeByName(tid, name, m_validRange, m_nameRange, found, false, false);
        StSymbEntryID instance;
        if (tid == ST_INVALID_TID) {
            error(MdBfMsgInternal);
        } else {
            m_symbols->declareSymbol(instance, String(kMainSymbol), m_validRange, m_nameRange, m_declWord, 0, true,
                                     true);
            if (instance.isInvalid() || m_symbols->setSymbolType(instance, tid, found) != 0) error(MdBfMsgInternal);
        }
    }

    m_curType = createNewBootFunct(name, typeSID, m_validRange, ownRange);
    m_curImpl = nullptr;
    if (!m_curType) {
        error(504, &name);
        endParse();
        return;
    }
    // The type's telegram set only goes into "boot": a run whose outputs
    // are unused checks the CS value without keeping it.
    CBfBootSet unkept;
    CBfBootSet* set = m_outputsUnused ? &unkept : m_curType->newBootSet();
    if (const auto* literal = mdBfAs<MdBfElems>(cs); literal && !literal->list.empty()) {
        StConstantVal* value = nullptr;
        uint32_t number = 0;
        if (elementValue(*literal->list.front(), ST_UINT, value) && value->getULong(number))
            set->cs = uint16_t(number);
        else
            error(506);
        delete value;
    }
    m_curImpl = createImpl(typeSID);
    // The telegram tokens and access words of the variables only go into
    // "boot": a run whose outputs are unused leaves them out.
    if (!m_outputsUnused) {
        m_curType->reserveSymbols(variableCount);
        for (size_t i = 0; i < variableCount; ++i)
            m_curType->addSymbol(members[i], CVarAttrib(variableWords[i]));
    }
    if (subs)
        for (const MdBfSymbols::Item& item : subs->items)
            m_curType->addSubFkt(item.sid, CFktAttrib((item.word & 2u) != 0, (item.word & 1u) != 0));
}

MdBfValue* MdBfParser::rule37(MdBfValue* head, uint32_t callers)
{
    auto* subFunction = mdBfAs<MdBfSymbols>(joined(head, nullptr));
    for (MdBfSymbols::Item& item : subFunction->items) item.word = callers;
    return subFunction;
}

void MdBfParser::storeCode(String* code, CodeStore store, const char* keyword, bool twice505)
{
    std::unique_ptr<String> owned(code);
    nulFree({code}, m_codeLine, [keyword] { return std::string(keyword); });
    if (!m_curImpl || !owned) return;
    // Read before the text moves into the model; kept only if it does.
    const bool balanced = m4Balanced({owned.get()});
    if ((m_curImpl->*store)(std::move(*owned))) {
        if (!balanced) noteM4Quotes(keyword, m_codeLine);
    } else if (twice505) {
        const String word(keyword);
        error(505, &word);
    }
}

void MdBfParser::rule32(String* code)
{
    storeCode(code, &CBfBootFktImpl::addCheck, "CHECK", false);
}

void MdBfParser::rule34(String* code)
{
    storeCode(code, &CBfBootFktImpl::addCheckEx, "CHECK_EX", false);
}

void MdBfParser::rule44(String* code)
{
    storeCode(code, &CBfBootFktImpl::addDefault, "DEFAULT", true);
}

void MdBfParser::rule45(String* code)
{
    storeCode(code, &CBfBootFktImpl::addCfgChange, "CFGCHANGED", true);
}

void MdBfParser::rule46(String* path, String* code)
{
    std::unique_ptr<String> ownedPath(path), ownedCode(code);
    nulFree({code}, m_codeLine, [path] { return "MODIFY(" + (path ? path->stdString() : std::string()) + ")"; });
    if (!m_curImpl || !m_curType) {
        error(MdBfMsgInternal);
        return;
    }
    if (!ownedPath || !ownedCode) return;
    // Walk into the implementations of the sub-functions the path names.
    CBfBootFktTyp* type = m_curType;
    CBfBootFktImpl* impl = m_curImpl;
    std::string rest = ownedPath->stdString();
    std::string element = rest;
    for (size_t dot; (dot = rest.find('.')) != std::string::npos;) {
        element = rest.substr(0, dot);
        StSymbEntryID sub;
        if (!type->findSubFkt(String(element.c_str()), sub)) break;
        // The types are keyed by the SIDs of their declarations.
        CBfBootFktTyp* subType = findType(type->getEntryRefID(sub));
        if (!subType) break;
        impl = findImpl(subType->SID);
        if (!impl) break;
        type = subType;
        const String moved(element.c_str());
        warn(514, &moved);
        rest.erase(0, dot + 1);
        element = rest;
    }
    const String last(element.substr(0, element.find('.')).c_str());
    const bool balanced = m4Balanced({ownedCode.get()});
    if (!impl || !impl->addModify(*ownedPath, std::move(*ownedCode)))
        error(513, ownedPath.get(), &last);
    else if (!balanced)
        noteM4Quotes("MODIFY(" + ownedPath->stdString() + ")", m_codeLine);
}

void MdBfParser::rule47(String* name, String* code)
{
    std::unique_ptr<String> ownedName(name), ownedCode(code);
    nulFree({code}, m_codeLine, [name] { return "INSTANTIATE(" + (name ? name->stdString() : std::string()) + ")"; });
    if (!m_curImpl || !m_curType) {
        error(MdBfMsgInternal);
        return;
    }
    if (!ownedName || !ownedCode) return;
    StSymbEntryID sub;
    const bool balanced = m4Balanced({ownedCode.get()});
    if (!m_curType->findSubFkt(*ownedName, sub))
        error(510, ownedName.get());
    else if (!m_curImpl->addInstantiate(sub, std::move(*ownedCode)))
        error(505, ownedName.get());
    else if (!balanced)
        noteM4Quotes("INSTANTIATE(" + ownedName->stdString() + ")", m_codeLine);
}

void MdBfParser::rule48(String* number, String* code)
{
    std::unique_ptr<String> ownedNumber(number), ownedCode(code);
    nulFree({code}, m_codeLine, [number] { return "UNITCHANGED(" + (number ? number->stdString() : std::string()) + ")"; });
    if (!m_curImpl) {
        error(MdBfMsgInternal);
        return;
    }
    if (!ownedNumber || !ownedCode) return;
    uint32_t quantity = 0;
    const bool balanced = m4Balanced({ownedCode.get()});
    if (!decimalNumber(*ownedNumber, quantity) || quantity >= uint32_t(PhysUnitTable::kCount) ||
        !PhysUnitTable::isQuantityRecord(int32_t(quantity)) || !m_curImpl->addUnit(*ownedNumber, std::move(*ownedCode)))
        error(509, ownedNumber.get());
    else if (!balanced)
        noteM4Quotes("UNITCHANGED(" + ownedNumber->stdString() + ")", m_codeLine);
}

void MdBfParser::rule24(String* dollarNumber, String* atNumber)
{
    mdBfAddAddress(*this, dollarNumber, atNumber, [this](uint32_t id, const String* arg) { error(id, arg); });
}
