// The name-list and type actions of the boot-function compiler: grammar
// rules 99 and 100 (name_list) and 105-115 (elementary, string and named
// types) over the boot-function symbol table.
//
// Messages go through the report function given at construction (id and
// the name, or null); counting them is the reporter's business:
// 505 "doppelte Definition von %s" for a list name that exists already in
// the current scope (the name is left out of the list), 510 "Typ erwartet
// %s" for a type identifier that names no declared type.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "bo/bf/BfSymbTable.h"
#include "co/tvstring.h"
#include "tools/md/tavolin/MdBfBisonParser.h"

// A value of the actions as the kind T: v itself when it is one, else a
// new empty T (v deleted).
template <class T>
std::unique_ptr<T> mdBfTake(MdBfValue* v)
{
    if (T* t = mdBfAs<T>(v)) return std::unique_ptr<T>(t);
    delete v;
    return std::unique_ptr<T>(new T);
}

// The names of a name list in source order, and how many were left out as
// declared already.
class MdBfNameList : public MdBfValue {
public:
    static constexpr Kind kKind = KindNames;
    MdBfNameList() : MdBfValue(kKind) {}
    std::vector<String> names;
    size_t refused = 0;
};

class MdBfTypeActions {
public:
    using Report = std::function<void(uint32_t id, const String* arg)>;

    // The table is the caller's; the current scope starts as the table's
    // global one.
    MdBfTypeActions(CBfSymbTable& table, Report report);

    // The scope in which names are looked up (the current name space).
    void setScope(StRangeID vr, StRangeID nr)
    {
        m_vr = vr;
        m_nr = nr;
    }

    // Answers whether a name is declared in exactly the current scope in
    // place of the table's lookup (which walks every symbol of that name).
    using DeclaredHere = std::function<bool(const String& name)>;
    void setDeclaredHere(DeclaredHere declared) { m_declared = std::move(declared); }

    // Rules 99 (list null) and 100: the list with the name appended, unless
    // the name is declared in exactly the current scope (505 with the name).
    // Takes both; a list that is no MdBfNameList is replaced by a new one.
    MdBfNameList* addName(MdBfValue* list, String* name);

    // Rules 105-114: BOOL, INT, UINT, DINT, UDINT, SINT, USINT, REAL, LREAL
    // give their elementary type id, STRING the string type; any other
    // rule the invalid type id.
    static StTypeID elementaryType(int rule);

    // Rule 115: the type id of the declared type visible from the current
    // scope; 510 with the name and the invalid type id when there is none.
    // Takes the name.
    StTypeID namedType(String* name);

private:
    CBfSymbTable& m_table;
    Report m_report;
    DeclaredHere m_declared;
    StRangeID m_vr;
    StRangeID m_nr;
};
