// The boot-function model: a boot-function type with its telegrams (boot
// sets), their tokens, the per-symbol access attribute and the sub-function
// attribute, their diagnostic prints and the stream form of a type.
//
// Stream form of a type (text mode; in binary mode the blanks and line ends
// are left out and each number takes its binary width: u32/i32 4 bytes, u16
// 2 bytes, bool 1 byte):
//   SID name VR NR\r\n                       (name: length, blank, characters)
//   nSets [cs\r\n nTok [kind SID CID ]... ]... \r\n    (a blank after each set)
//   nSymbols [SID CID ]...\r\n
//   nSubFkts [SID flagU flagR ]...\r\n
//   nVarAttribs [SID access ]...
// e.g. the empty type "BF" (SID 5, VR 0, NR 3): "5 2 BF 0 3\r\n0 \r\n0 \r\n0 \r\n0 ".
//
// Loads read into an emptied object and stop at the first stream error;
// reading past the end of the section is such an error, so a huge count in
// a short section ends there. What was read before an error stays.
#pragma once
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <vector>

#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StIds.h"
#include "bo/bf/BfFlatMap.h"
#include "co/tvstring.h"

class CBfSymbTable;
class CBfConstValTable;
class FsSecBootTels;
class FsSecRun;

// One entry of a telegram: a symbol (kind 1) or a constant (kind 0) and the
// CID of the value written into the telegram.
class CBfBootToken {
public:
    enum : uint32_t { CONSTANT = 0, SYMBOL = 1 };
    CBfBootToken() = default;
    CBfBootToken(uint32_t kind, StSymbEntryID sid, StConstEntryID cid) : kind(kind), SID(sid), CID(cid) {}
    virtual ~CBfBootToken() = default;
    // "S - SID(n) CID(n)" or "C - CID(n)"; sets the stream's precision to 10
    // before and to 4 after.
    virtual void print(std::ostream& os) const;

    uint32_t kind = SYMBOL;
    StSymbEntryID SID;
    StConstEntryID CID;
};

// One telegram: its tokens in order and its number cs.
class CBfBootSet {
public:
    virtual ~CBfBootSet() = default;
    // "CS(cs) " and the tokens' prints.
    virtual void print(std::ostream& os) const;
    // Appends the telegram record cs (with the second number) holding the
    // tokens' constants in order (array elements typed through symbols, when
    // given): 0, or 1 when it was cut short at an unknown CID or a null value.
    uint32_t writeToTel(uint32_t second, const CBfSymbTable* symbols, const CBfConstValTable& constants,
                        FsSecBootTels& section) const;

    std::vector<CBfBootToken> tokens;
    uint16_t cs = 0;
};

// Access of a symbol: 0 "NA", 1 "A", 2 "AWR" (anything else prints "???").
class CVarAttrib {
public:
    explicit CVarAttrib(uint32_t access = 0) : access(access) {}
    virtual ~CVarAttrib() = default;
    virtual void print(std::ostream& os) const;
    uint32_t access;
};

// A sub-function: "U/R", "U", "R" or "???".
class CFktAttrib {
public:
    CFktAttrib(bool u = false, bool r = false) : flagU(u), flagR(r) {}
    virtual ~CFktAttrib() = default;
    virtual void print(std::ostream& os) const;
    bool flagU;
    bool flagR;
};

FsSecCl& operator<<(FsSecCl& s, const CBfBootToken& t);
FsSecCl& operator>>(FsSecCl& s, CBfBootToken& t);
FsSecCl& operator<<(FsSecCl& s, const CBfBootSet& set);
FsSecCl& operator>>(FsSecCl& s, CBfBootSet& set);

class CBfBootFktTyp {
public:
    static constexpr uint32_t NO_ADDRESS = 0x7fffffffu;
    using SymbolMap = CBfFlatMap<StSymbEntryID, StConstEntryID, true>;

    // symbols: the table of the type's symbols, not owned (may be null: the
    // queries that need it then answer their neutral value).
    CBfBootFktTyp(const String& name, CBfSymbTable* symbols, StSymbEntryID sid, StRangeID vr, StRangeID nr);
    virtual ~CBfBootFktTyp() = default;
    // The lines of the type, its sub-functions, its symbols and its sets
    // (the last without a line end).
    virtual void print(std::ostream& os) const;

    // Appends an empty set (cs 0) and answers it.
    CBfBootSet* newBootSet();
    // Appends the token {1, sid, initial-value CID} to the last set and
    // records sid (with that CID and the attribute) unless recorded already.
    // Without a set: a level-4 trace line, nothing recorded.
    void addSymbol(StSymbEntryID sid, const CVarAttrib& attrib);
    // Room for n more symbols in the last set and the symbol tables, so
    // that n calls of addSymbol grow nothing (no effect without a set).
    void reserveSymbols(std::size_t n);
    bool addSubFkt(StSymbEntryID sid, const CFktAttrib& attrib);
    bool hasSubFkt(StSymbEntryID sid) const { return subFkts.count(sid) != 0; }
    bool isSubFktU(StSymbEntryID sid) const;
    bool isSubFktR(StSymbEntryID sid) const;
    // The first sub-function (in SID order) whose symbol is named name
    // (exact); sid null when none.
    bool findSubFkt(const String& name, StSymbEntryID& sid) const;
    // The SID of the declaration of the symbol's type (the key of a
    // boot-function type); the invalid SID when unknown.
    StSymbEntryID getEntryRefID(StSymbEntryID sid) const;
    // Offset + 1 of a sub-function or of a symbol of the type's scope;
    // NO_ADDRESS (with a level-1 trace line) otherwise.
    uint32_t getAdr(StSymbEntryID sid) const;
    // The sets as boot telegrams. First every symbol token takes its value
    // from values (a null CID: the symbol's initial value); nothing is
    // written unless all resolve: 65535 a symbol missing from values, 21 no
    // value at all. Then one record per set (in text mode each followed by
    // "\r\n"); 21 when a record was cut short (the records written stay).
    uint32_t writeToTel(uint32_t second, const SymbolMap& values, const CBfConstValTable* constants,
                        FsSecBootTels& section);

    // False with a level-4 trace line when the stream is not writable or in
    // error afterwards.
    bool saveBfTyp(FsSecCl& s) const;
    // The same record into a run of writes to a writable stream: false when
    // the stream is in error (the run hands on its bytes in pieces, so an
    // error may show only with a later record, or at the run's flush).
    bool saveBfTyp(FsSecRun& s) const;
    // False with a level-4 trace line when the stream is in error afterwards
    // (duplicate SIDs among the sub-functions or attributes set error 18).
    bool loadBfTyp(FsSecCl& s);

    CBfSymbTable* getSymbTable() const { return symbTable; }

    std::vector<CBfBootSet> sets;
    SymbolMap symbols;
    CBfFlatMap<StSymbEntryID, CVarAttrib> varAttribs;
    CBfFlatMap<StSymbEntryID, CFktAttrib> subFkts;
    StSymbEntryID SID;
    String name;
    StRangeID ValidRange;
    StRangeID NameRange;

private:
    CBfSymbTable* symbTable;
};
