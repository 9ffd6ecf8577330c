// System-variable tables built from code or from a list (SysVarTable.h).
#include "tools/mksymb/SysVarTable.h"

#include <cctype>
#include <istream>
#include <ostream>
#include <sstream>

#include "base/fs/FsSecClMem.h"
#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "base/st/stsymtab/StSyTypeTable.h"
#include "base/st/stsymtab/stmcspec.h"

namespace {

std::string trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// A signed decimal (32-bit signed) or "16#" number (up to 32 bits) filling
// the whole text.
bool readNumber(const std::string& text, int32_t& value)
{
    const bool hex = text.compare(0, 3, "16#") == 0;
    const size_t at = hex ? 3 : text[0] == '+' || text[0] == '-' ? 1 : 0;
    const char* digits = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (text.size() <= at || text.find_first_not_of(digits, at) != std::string::npos) return false;
    uint64_t v = 0;
    for (size_t i = at; i < text.size(); ++i) {
        const char c = text[i];
        v = v * (hex ? 16 : 10) + uint64_t(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 0x20) - 'a' + 10);
        if (v > 0xFFFFFFFFu) return false;
    }
    if (hex) {
        value = int32_t(uint32_t(v));
        return true;
    }
    const bool negative = text[0] == '-';
    if (v > (negative ? 0x80000000u : 0x7FFFFFFFu)) return false;
    value = negative ? int32_t(0u - uint32_t(v)) : int32_t(v);
    return true;
}

bool isName(const std::string& s)
{
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return true;
}

}  // namespace

SysVarTable::SysVarTable() : m_table(new StSymbTable)
{
    m_table->setNewFormat(true);
}

StTypeID SysVarTable::elementaryType(const std::string& name)
{
    for (uint32_t id = ST_BOOL; id <= ST_LREAL; ++id) {
        const char* n = stTypeIdName(id);
        if (n && name == n) return id;
    }
    return ST_INVALID_TID;
}

StSyBaseSymbEntry* SysVarTable::addVariable(uint32_t address, const std::string& name, StTypeID type,
                                            std::string& error)
{
    if (type == ST_INVALID_TID) {
        error = "no type for " + name;
        return nullptr;
    }
    StSymbEntryID sid;
    StSyBaseSymbEntry* e =
        m_table->addEntry(name.c_str(), m_table->getGlobalVR(), m_table->getGlobalNR(), ST_KIND_SYSVAR, sid);
    if (!e) {
        error = "name " + name + " is taken";
        return nullptr;
    }
    e->setStorageAddress(int32_t(address));
    e->setTypeID(type);
    return e;
}

bool SysVarTable::addElementary(uint32_t address, const std::string& name, StTypeID type, std::string& error)
{
    if (elementaryType(stTypeIdName(type) ? stTypeIdName(type) : "") != type) {
        error = "not an elementary type: " + std::to_string(type);
        return false;
    }
    return addVariable(address, name, type, error) != nullptr;
}

bool SysVarTable::addArray(uint32_t address, const std::string& name, StTypeID element, int32_t lower,
                           int32_t upper, std::string& error)
{
    if (lower > upper) {
        error = "array bounds " + std::to_string(lower) + ".." + std::to_string(upper);
        return false;
    }
    if (!m_table->types()) {
        error = "table in error";
        return false;
    }
    return addVariable(address, name, m_table->types()->createArrayType(element, lower, upper), error) != nullptr;
}

bool SysVarTable::addEnum(uint32_t address, const std::string& name, const Enumerators& values, std::string& error)
{
    if (values.empty() || !m_table->types() || !m_table->constants()) {
        error = "an enumeration needs enumerators";
        return false;
    }
    auto list = std::make_unique<StSymbEntryIDList>();
    for (const auto& v : values) {
        StSymbEntryID sid;
        StSyBaseSymbEntry* c =
            m_table->addEntry(v.first.c_str(), m_table->getGlobalVR(), m_table->getGlobalNR(), ST_KIND_CONST, sid);
        if (!c) {
            error = "name " + v.first + " is taken";
            return false;
        }
        StConstantVal* value = new StStdConstantVal(ST_DINT, false);
        static_cast<StStdConstantVal*>(value)->SetLongVal(v.second);
        c->setTypeID(ST_DINT);
        c->setInitCID(m_table->constants()->addConstantVal(value));
        delete value;
        list->push_back(sid.get());
    }
    const StTypeID tid = m_table->types()->createEnumType(list, ST_DINT);
    StSymbEntryID declSid;
    StSyBaseSymbEntry* decl = m_table->addEntry(static_cast<const char*>(nullptr), m_table->getGlobalVR(),
                                                m_table->getGlobalNR(), ST_KIND_TYPESPEC, declSid);
    if (!decl) {
        error = "no type declaration for " + name;
        return false;
    }
    decl->setTypeID(tid);
    StSyBaseSymbEntry* var = addVariable(address, name, tid, error);
    if (!var) return false;
    var->setTypeRefSID(declSid);
    return true;
}

bool SysVarTable::add(uint32_t address, const std::string& name, const std::string& typeText, std::string& error)
{
    const std::string type = trim(typeText);
    if (!isName(name)) {
        error = "not a name: " + name;
        return false;
    }
    if (!type.empty() && type[0] == '(') {
        if (type.back() != ')') {
            error = "enumeration without \")\"";
            return false;
        }
        Enumerators values;
        std::istringstream items(type.substr(1, type.size() - 2));
        int32_t next = 0;
        for (std::string item; std::getline(items, item, ',');) {
            const size_t assign = item.find(":=");
            const std::string n = trim(item.substr(0, assign));
            int32_t v = next;
            if (assign != std::string::npos && !readNumber(trim(item.substr(assign + 2)), v)) {
                error = "bad enumerator value: " + trim(item);
                return false;
            }
            if (!isName(n)) {
                error = "bad enumerator: " + trim(item);
                return false;
            }
            values.emplace_back(n, v);
            next = int32_t(uint32_t(v) + 1);
        }
        return addEnum(address, name, values, error);
    }
    if (type.compare(0, 5, "ARRAY") == 0) {
        // ARRAY [lo..hi] OF ELEM
        const size_t open = type.find('['), dots = type.find(".."), close = type.find(']');
        const size_t of = type.find("OF", close == std::string::npos ? 0 : close);
        int32_t lo = 0, hi = 0;
        if (open == std::string::npos || dots == std::string::npos || close == std::string::npos || of == std::string::npos ||
            !(open < dots && dots < close) || trim(type.substr(5, open - 5)) != "" ||
            trim(type.substr(close + 1, of - close - 1)) != "" ||
            !readNumber(trim(type.substr(open + 1, dots - open - 1)), lo) ||
            !readNumber(trim(type.substr(dots + 2, close - dots - 2)), hi)) {
            error = "bad array type: " + type;
            return false;
        }
        const StTypeID element = elementaryType(trim(type.substr(of + 2)));
        if (element == ST_INVALID_TID) {
            error = "bad array element type: " + trim(type.substr(of + 2));
            return false;
        }
        return addArray(address, name, element, lo, hi, error);
    }
    const StTypeID t = elementaryType(type);
    if (t == ST_INVALID_TID) {
        error = "unknown type: " + type;
        return false;
    }
    return addElementary(address, name, t, error);
}

bool SysVarTable::addList(std::istream& list, std::string& error)
{
    int line = 0;
    for (std::string text; std::getline(list, text);) {
        ++line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const std::string t = trim(text);
        if (t.empty() || t[0] == '#') continue;
        std::istringstream fields(t);
        std::string address, name, rest;
        fields >> address >> name;
        std::getline(fields, rest);
        int32_t a = 0;
        std::string why;
        if (!readNumber(address, a))
            why = "bad address: " + address;
        else if (trim(rest).empty())
            why = "no type";
        else
            add(uint32_t(a), name, rest, why);
        if (!why.empty()) {
            error = "line " + std::to_string(line) + ": " + why;
            return false;
        }
    }
    return true;
}

bool SysVarTable::save(std::ostream& out)
{
    FsSecClMem section;
    section.setBinary(false);
    if (!m_table->save(section) || section.getError() != 0) return false;
    const uint32_t size = section.getSize();
    std::string bytes(size, '\0');
    section.seek(0, 0);
    if (size) section.readBytes(&bytes[0], size);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}
