// Implementation descriptions of the boot-function types and the writer of
// the macro files path + ".m4h" (declarations) and path + ".m4c"
// (implementations), which a later build step expands with the macro
// package "bfimplmk.m4".
//
// Items of an implementation, keyed by (SID, kind): 0 default, 1
// configuration change, 5 check and 6 extended check carry the
// implementation's own SID; 2 modify and 4 unit the SID of a symbol they
// declare in the implementation's scope (VR 0, NR = the implementation's
// creation index) of the container's symbol table; 3 instantiate a SID the
// compiler gives.
//
// Macro files: plain text, each line ended by "\n"; texts stand between the
// m4 quotes ` and ' as they are (the macro package reads them unescaped),
// so a text whose own quotes do not balance (bfM4QuotesBalance) reaches m4
// changed or runs on to the end of the file; the compilers warn of those.
// Every open, write and close is checked; a failure answers false.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bo/bf/BfSidTable.h"
#include "bo/cp/CpSymbTable.h"
#include "co/tvstring.h"

class CBfBootFktTypCont;

// Line end of the macro files.
extern const char kBfMacroLineEnd[];

// Whether m4, reading text between its default quotes (` opens, ' closes;
// the macro files never change them), takes it back as it stands: each '
// closes a ` of the text before it (the nesting depth never drops below
// zero, where the ' would end the quoted argument early) and every ` is
// closed by the end (a depth above zero runs the quote on into the lines
// that follow, to the end of the file).
bool bfM4QuotesBalance(const String& text);

// Lines of a macro file gathered in one text, each ended by kBfMacroLineEnd
// (a line made of parts is appended part by part, without a string of its
// own).
class CBfMacroLines {
public:
    CBfMacroLines() = default;
    CBfMacroLines(std::initializer_list<std::string_view> lines)
    {
        for (std::string_view l : lines) push_back(l);
    }
    void push_back(std::string_view line) { add({line}); }
    // One line of the parts one after the other.
    void add(std::initializer_list<std::string_view> parts)
    {
        for (std::string_view p : parts) m_text.append(p.data(), p.size());
        m_text += kBfMacroLineEnd;
    }
    void clear() { m_text.clear(); }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

// One implemented function; owns its texts (any may be null: written as
// empty text).
class CBfFunctionImpl {
public:
    CBfFunctionImpl(String* returnType, String* text1, String* text2, String* text3, bool isMsgFkt)
        : returnType(returnType), text1(text1), text2(text2), text3(text3), isMsgFkt(isMsgFkt)
    {
    }
    virtual ~CBfFunctionImpl() = default;

    std::unique_ptr<String> returnType, text1, text2, text3;
    bool isMsgFkt;  // the "MSG_" macro variants
};

// Key of an item: SID (unsigned), then kind (signed).
struct CImplDsc {
    enum Kind : int32_t { DEFAULT = 0, CFGCHANGE = 1, MODIFY = 2, INSTANTIATE = 3, UNIT = 4, CHECK = 5, CHECKEX = 6 };
    uint32_t SID;
    int32_t kind;
    bool operator<(const CImplDsc& o) const { return SID != o.SID ? SID < o.SID : kind < o.kind; }
};

class CBfBootFktImpl {
public:
    // symbols: the container's table of the names of modify and unit items.
    CBfBootFktImpl(StSymbEntryID sid, CpSymbTable* symbols, uint32_t index)
        : SID(sid), symbTable(symbols), ValidRange(0), NameRange(index)
    {
    }
    virtual ~CBfBootFktImpl() = default;

    // True when inserted; false when the key exists (the first text stays).
    bool addDefault(String text) { return add(SID, CImplDsc::DEFAULT, std::move(text)); }
    bool addCfgChange(String text) { return add(SID, CImplDsc::CFGCHANGE, std::move(text)); }
    bool addCheck(String text) { return add(SID, CImplDsc::CHECK, std::move(text)); }
    bool addCheckEx(String text) { return add(SID, CImplDsc::CHECKEX, std::move(text)); }
    bool addInstantiate(StSymbEntryID sid, String text) { return add(sid, CImplDsc::INSTANTIATE, std::move(text)); }
    // Declare name as a variable in the implementation's scope first; false
    // when that is refused (a name declared there already).
    bool addModify(const String& name, String text) { return addNamed(name, CImplDsc::MODIFY, std::move(text)); }
    bool addUnit(const String& name, String text) { return addNamed(name, CImplDsc::UNIT, std::move(text)); }

    bool hasItems() const { return !items.empty(); }
    // Appends the implementation's declaration block to path + ".m4h" and
    // its implementation lines to path + ".m4c".
    bool writeM4(const String& path) const;
    // The lines of that block: h for ".m4h", c for ".m4c" (appended).
    void collectM4(CBfMacroLines& h, CBfMacroLines& c) const;

    // A tree: INSTANTIATE items come in the source's order of sub-functions.
    std::map<CImplDsc, String> items;
    StSymbEntryID SID;
    CpSymbTable* symbTable;
    uint32_t ValidRange;
    uint32_t NameRange;

private:
    bool add(StSymbEntryID sid, int32_t kind, String text);
    bool addNamed(const String& name, int32_t kind, String text);
    // The symbol's name, empty when the table has none.
    std::string nameOf(uint32_t sid) const;
};

class CBfBootFktImplCont {
public:
    // types: the owner's type container (not owned).
    explicit CBfBootFktImplCont(CBfBootFktTypCont* types) : m_types(types) {}
    virtual ~CBfBootFktImplCont() = default;
    CBfBootFktImplCont(const CBfBootFktImplCont&) = delete;
    CBfBootFktImplCont& operator=(const CBfBootFktImplCont&) = delete;

    // Takes ownership of the texts.
    void addFunctionImpl(String* returnType, String* text1, String* text2, String* text3, bool isMsgFkt);
    // A new implementation of the type sid; null when the type container
    // has no such type or sid has one already. Every attempt past the type
    // check takes the next index.
    CBfBootFktImpl* createImpl(StSymbEntryID sid);
    // Null also when the type container has no such type.
    CBfBootFktImpl* findImpl(StSymbEntryID sid) const;

    // Writes both macro files anew (truncating them): the headers, the
    // container's declaration, the creation list, the functions and, per
    // implementation with items, its blocks. False for an empty path
    // (nothing opened) or any failing file operation. bfM4SetName(path)
    // names the macro set; with noImpl no implementation nor function is
    // written. Texts are written as they are, whether their m4 quotes
    // balance or not, and so are the set's name and the includes, whether
    // m4 reads them back or not (bfM4Misreading tells).
    bool writeM4(const String& path, const std::list<String>& includes, const String& containerName,
                 bool noImpl) const;

    CpSymbTable& symbTable() { return m_symbols; }
    const std::list<std::unique_ptr<CBfFunctionImpl>>& functions() const { return m_functions; }

    int32_t ERRTXT_OFFSET = 0;

private:
    std::list<std::unique_ptr<CBfFunctionImpl>> m_functions;
    CBfSidTable<CBfBootFktImpl> m_impls;
    CBfBootFktTypCont* m_types;
    CpSymbTable m_symbols{0, 0};
    uint32_t m_nextIndex = 0;
};
