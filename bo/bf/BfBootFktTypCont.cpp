// The boot-function type container: types, addresses, names, operand walks
// and the section "boot".
#include "bo/bf/BfBootFktTypCont.h"

#include <cerrno>
#include <cstdlib>
#include <ostream>

#include "base/fs/FsSecRun.h"
#include "base/st/symacc/SyVarScanner.h"
#include "bo/bf/BfSymbTable.h"
#include "bo/bo/BoVarComment.h"
#include "co/TraceApi.h"

namespace {

const char kTraceFile[] = "bfbootcont";

// Gives the scanner back its previous input when a walk ends.
class ScannerText {
public:
    ScannerText(SyVarScannerFlexLexer& scanner, const String& text)
        : m_scanner(scanner), m_previous(scanner.switchToText(text.chars(), size_t(text.length())))
    {
    }
    ~ScannerText() { m_scanner.restoreBuffer(m_previous); }

private:
    SyVarScannerFlexLexer& m_scanner;
    yy_buffer_state* m_previous;
};

}  // namespace

CBfBootFktTypCont::CBfBootFktTypCont(CBfSymbTable* const* symbols, CBoVarComment* const* comments)
    : m_symbols(symbols), m_comments(comments), m_scanner(new SyVarScannerFlexLexer)
{
}

CBfBootFktTypCont::~CBfBootFktTypCont()
{
    delete m_scanner;
    clear();
}

void CBfBootFktTypCont::clear()
{
    m_types.clear();
    m_byName.clear();
    m_addresses.clear();
}

uint32_t CBfBootFktTypCont::loadData()
{
    TV_TRACE(4, kTraceFile, "CBfBootFktTypCont::loadData", "loadData must be overwritten");
    return 0xFFFF;
}

uint32_t CBfBootFktTypCont::status(uint32_t)
{
    TV_TRACE(4, kTraceFile, "CBfBootFktTypCont::status", "status must be overwritten");
    return 0xFFFF;
}

uint32_t CBfBootFktTypCont::status()
{
    TV_TRACE(4, kTraceFile, "CBfBootFktTypCont::status", "status must be overwritten");
    return 0xFFFF;
}

bool CBfBootFktTypCont::goodStatus(const char* method) const
{
    if (const_cast<CBfBootFktTypCont*>(this)->status() == 0) return true;
    TV_TRACE(4, kTraceFile, method, "bad status");
    return false;
}

void CBfBootFktTypCont::print(std::ostream& os) const
{
    os << "Typen  " << m_types.size() << std::endl;
    for (const auto& t : m_types.ordered()) {
        os << "SID(" << t.sid.get() << ") ";
        t.object->print(os);
        os << std::endl;
    }
    os << std::endl;
    if (CBfSymbTable* table = symbTable()) table->dump(os);
}

CBfBootFktTyp* CBfBootFktTypCont::createNewBootFunct(const String& name, StSymbEntryID sid, StRangeID vr,
                                                     StRangeID nr)
{
    const char method[] = "CBfBootFktTypCont::createNewBootFunct";
    if (!goodStatus(method)) return nullptr;
    // One probe of the name index for the check and the insertion (a source
    // declares thousands of types, each name's slot a cache miss): the
    // name's slot is made here, and taken back when no type comes of it.
    const std::string key(name.chars(), name.length());
    uint32_t& named = m_byName[key];
    if (named != 0) {
        TV_TRACE(3, kTraceFile, method, "Type(%s) exists already", name.c_str());
        return nullptr;
    }
    auto owned = std::make_unique<CBfBootFktTyp>(name, symbTable(), sid, vr, nr);
    CBfBootFktTyp* const type = owned.get();
    if (sid.isInvalid() || !m_types.insert(sid, owned)) {
        if (sid.isInvalid()) TV_TRACE(4, kTraceFile, "CBfBootFktTypCont::addFkt", "type couldn't be inserted");
        m_byName.erase(key);
        TV_TRACE(4, kTraceFile, method, "type %s couldn't be created", name.c_str());
        return nullptr;
    }
    named = sid.get() + 1;
    return type;
}

bool CBfBootFktTypCont::addFkt(StSymbEntryID sid, CBfBootFktTyp* type)
{
    const char method[] = "CBfBootFktTypCont::addFkt";
    if (!goodStatus(method)) return false;
    if (sid.isInvalid() || !type) {
        TV_TRACE(4, kTraceFile, method, "type couldn't be inserted");
        return false;
    }
    std::unique_ptr<CBfBootFktTyp> owned(type);
    if (!m_types.insert(sid, owned)) {
        owned.release();  // the caller keeps it
        return false;
    }
    uint32_t& first = m_byName[std::string(type->name.chars(), type->name.length())];
    if (first == 0 || sid.get() + 1 < first) first = sid.get() + 1;
    return true;
}

CBfBootFktTyp* CBfBootFktTypCont::existFkt(const String& name, StSymbEntryID& sid) const
{
    sid = ST_INVALID_SID;
    if (!goodStatus("CBfBootFktTypCont::existFkt")) return nullptr;
    // The first type of that name in SID order, as a walk of m_types finds.
    const uint32_t* named = m_byName.find(std::string(name.chars(), name.length()));
    if (!named) return nullptr;
    sid = *named - 1;
    return findType(sid);
}

CBfBootFktTyp* CBfBootFktTypCont::findType(StSymbEntryID sid) const
{
    return m_types.find(sid);
}

uint32_t CBfBootFktTypCont::getLogAdr(uint32_t address) const
{
    if (!goodStatus("CBfBootFktTypCont::getLogAdr")) return NO_ADDRESS;
    for (const auto& a : m_addresses)
        if (a.second == address) return a.first;
    return NO_ADDRESS;
}

String CBfBootFktTypCont::getFktName(StSymbEntryID sid) const
{
    const char method[] = "CBfBootFktTypCont::getFktName";
    if (!goodStatus(method)) return String();
    if (CBfBootFktTyp* t = findType(sid)) return t->name;
    TV_TRACE(4, kTraceFile, method, "type for SID(%i) not exist", int(sid.get()));
    return String();
}

bool CBfBootFktTypCont::getBfText(int32_t address, uint32_t cfg, String& text) const
{
    if (!goodStatus("CBfBootFktTypCont::getBfText")) return false;
    CBoVarComment* comments = m_comments ? *m_comments : nullptr;
    return comments && comments->getText(address, cfg, text);
}

bool CBfBootFktTypCont::getBfText(const String& typeName, uint32_t cfg, String& text) const
{
    if (!goodStatus("CBfBootFktTypCont::getBfText")) return false;
    CBoVarComment* comments = m_comments ? *m_comments : nullptr;
    return comments && comments->getText(typeName, cfg, text);
}

CBfBootFktTyp* CBfBootFktTypCont::getLastType(const String& text, CBfBootFktTyp* start, StSymbEntryID& sid,
                                              uint32_t& offset, size_t& position) const
{
    const char method[] = "CBfBootFktTypCont::getLastType";
    sid = ST_INVALID_SID;
    position = 0;
    if (!goodStatus(method)) return nullptr;
    CBfSymbTable* table = symbTable();
    if (!start || !table) return nullptr;

    ScannerText input(*m_scanner, text);
    SyVarScannerFlexLexer& scan = *m_scanner;
    auto scanError = [&] { TV_TRACE(4, kTraceFile, method, "internal Scanner Error: %s", scan.errorText.c_str()); };

    CBfBootFktTyp* current = start;
    int tok = scan.yylex();
    if (tok == SyVarScannerFlexLexer::TokDot || tok == SyVarScannerFlexLexer::TokLBracket) return current;
    for (;; tok = scan.yylex()) {
        if (tok == SyVarScannerFlexLexer::TokIdent || tok == SyVarScannerFlexLexer::TokAtIdent) {
            sid = table->findSymbol(scan.name, current->ValidRange, current->NameRange);
            if (sid.isInvalid()) return nullptr;
            // The lookup also sees names that have no address in this type:
            // a type, an enumeration or an enumerator declared in its scope,
            // a symbol of an enclosing scope, a symbol never laid out. The
            // walk stops there and fails as for an unknown name: adding the
            // no-address mark would make an offset that points nowhere, and
            // a walk that went on from it would report a wrong place.
            uint32_t adr = current->getAdr(sid);
            if (adr == CBfBootFktTyp::NO_ADDRESS) return nullptr;
            offset += adr;
        } else if (tok == SyVarScannerFlexLexer::TokDot) {
            CBfBootFktTyp* next = typeOfSymbol(sid);
            if (!next) break;
            current = next;
            position = scan.position();
        } else if (tok == SyVarScannerFlexLexer::TokLBracket) {
            tok = scan.yylex();
            if (tok == SyVarScannerFlexLexer::TokScanError) {
                scanError();
                break;
            }
            if (tok != SyVarScannerFlexLexer::TokInteger) break;
            errno = 0;
            long long index = std::strtoll(scan.name.c_str(), nullptr, 0);
            if (errno == ERANGE || index >= 0x7fffffffLL || index <= -0x80000000LL) break;
            CBfBootFktTyp* next = typeOfSymbol(sid);
            if (!next) break;
            current = next;
            tok = scan.yylex();
            if (tok == SyVarScannerFlexLexer::TokScanError) {
                scanError();
                break;
            }
            if (tok != SyVarScannerFlexLexer::TokRBracket) break;
            position = scan.position();
        } else {
            if (tok == SyVarScannerFlexLexer::TokScanError) scanError();
            break;
        }
    }
    return current;
}

bool CBfBootFktTypCont::saveBfTypCont(FsSecCl& s) const
{
    const char method[] = "CBfBootFktTypCont::saveBfTypCont";
    if (!s.isWritable() || s.setSize(0) != 0) {
        TV_TRACE(4, kTraceFile, method, "file is readonly");
        return false;
    }
    // One run of writes for the whole section: a call of the stream per
    // field cost more than the field.
    FsSecRun run(s);
    run << uint32_t(m_types.size());
    run.putNewLine();
    for (const auto& t : m_types.ordered()) {
        run << t.sid.get();
        run.putNewLine();
        if (!t.object->saveBfTyp(run)) {
            TV_TRACE(4, kTraceFile, method, "couldn't save type for SID(%i)", int(t.sid.get()));
            return false;
        }
        run.putNewLine();
    }
    run << uint32_t(m_addresses.size());
    run.putNewLine();
    for (const auto& a : m_addresses) run.putFields(a.first, a.second);
    run.flush();
    return !s.hasError();
}

bool CBfBootFktTypCont::loadBfTypCont(FsSecCl& s)
{
    const char method[] = "CBfBootFktTypCont::loadBfTypCont";
    clear();
    auto fail = [&] {
        clear();
        return false;
    };
    uint32_t count = 0;
    s >> count;
    for (uint32_t i = 0; i < count && !s.hasError(); ++i) {
        uint32_t sid = ST_INVALID_SID;
        s >> sid;
        auto* type = new CBfBootFktTyp(String(), symbTable(), ST_INVALID_SID, ST_INVALID_VR, ST_INVALID_NR);
        if (!type->loadBfTyp(s) || !addFkt(sid, type)) {
            TV_TRACE(4, kTraceFile, method, "couldn't load type for SID(%i)", int(sid));
            delete type;
            return fail();
        }
    }
    count = 0;
    s >> count;
    for (uint32_t i = 0; i < count && !s.hasError(); ++i) {
        uint32_t key = 0, address = 0;
        s >> key >> address;
        if (!s.hasError() && !addAdr(key, address)) {
            TV_TRACE(4, kTraceFile, method, "couldn't insert Adr 0x%08X", key);
            return fail();
        }
    }
    if (s.hasError()) {
        TV_TRACE(4, kTraceFile, method, "streamerror");
        return fail();
    }
    return true;
}

uint32_t CBfBootFktTypCont::writeToTel(FsSecBootTels& section)
{
    CBfSymbTable* table = symbTable();
    for (auto& t : m_types.ordered())
        if (uint32_t r = t.object->writeToTel(0x7fffffffu, t.object->symbols, table ? table->constTable() : nullptr,
                                               section))
            return r;
    return 0;
}

CBfBootFktTyp* CBfBootFktTypCont::typeOfSymbol(StSymbEntryID sid) const
{
    CBfSymbTable* table = symbTable();
    return table ? findType(table->getSymbolTypeID(sid)) : nullptr;
}

StASMBfOperand* CBfBootFktTypCont::getOperand(const String& text) const
{
    if (!goodStatus("CBfBootFktTypCont::getOperand")) return nullptr;
    CBfSymbTable* table = symbTable();
    if (!table) return nullptr;
    const std::string all = text.stdString();
    const size_t end = all.find_first_of(".[");
    const std::string firstName = all.substr(0, end);
    const StSymbEntryID first = table->getSIDByName(String(firstName.c_str()));
    if (first.isInvalid()) return nullptr;
    CBfBootFktTyp* start = findType(first);
    uint32_t firstAdr = 0;
    if (!start) {
        start = typeOfSymbol(first);
        const uint32_t off = table->getOffset(first);
        firstAdr = off == CBfSymbTable::NO_OFFSET ? 0 : off;
    }
    StSymbEntryID last = first;
    uint32_t walked = 0;
    if (end != std::string::npos) {
        if (!start) return nullptr;
        const std::string rest = all.substr(all[end] == '.' ? end + 1 : end);
        size_t position = 0;
        if (!getLastType(String(rest.c_str()), start, last, walked, position) || last.isInvalid()) return nullptr;
    }
    StASMBfOperand* operand = nullptr;
    uint32_t address = 0, size = 0;
    if (table->createSimpleASMBfOperand(last, 0, operand, address, size) != 0) return nullptr;
    operand->setSidOffset(StBfSidOffset(last, walked));
    operand->addFixOff(int32_t(firstAdr));
    operand->setAdrSID(first);
    return operand;
}

uint32_t CBfBootFktTypCont::getSubOperands(const StASMBfOperand* operand, std::list<StASMBfOperand*>& list) const
{
    const char method[] = "CBfBootFktTypCont::getSubOperands";
    if (!operand) return 0;
    CBfSymbTable* table = symbTable();
    CBfBootFktTyp* type = table ? typeOfSymbol(operand->getSID()) : nullptr;
    if (!type) {
        TV_TRACE(4, kTraceFile, method, "no instance found or no stab set");
        return 0xFFFF;
    }
    std::list<StASMBfOperand*> parts;
    const uint32_t r = table->traceASMBfOperand(operand, &parts);
    if (r != 0 && r != 1) {
        for (StASMBfOperand* p : parts) delete p;
        return 0xFFFF;
    }
    for (StASMBfOperand* p : parts) {
        if (!p) {
            TV_TRACE(4, kTraceFile, method, "sub-operand is NULL");
            continue;
        }
        if (typeOfSymbol(p->getSID())) {
            const uint32_t adr = type->getAdr(p->getSID());
            p->setSidOffset(StBfSidOffset(p->getSID(), operand->getSidOffset().second + adr));
            p->setAdrSID(operand->getAdrSID());
        }
        list.push_back(p);
    }
    return 0;
}
