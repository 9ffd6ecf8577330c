// All boot-function types of one boot-function source, keyed by the SID of
// each type, with the address table (key -> address); creates the types for
// the compiler, answers name and address questions, walks operand names
// ("a.b[3].c") through the types, and saves itself as the section "boot".
//
// Section "boot" (text mode; in binary mode the blanks and line ends are
// left out):
//   nTypes\r\n [SID\r\n <type record, see BfBootFktTyp.h>\r\n]...
//   nAddresses\r\n [key address ]...
// e.g. one type and the addresses 2 -> 0x100, 3 -> 0x108:
//   "1\r\n12\r\n<record>\r\n2\r\n2 256 3 264 "
//
// The owner (the boot-function parser) holds the symbol table and the
// comment container; the container reads them through the owner's pointers
// each time. The owner also answers status: the operations that use the
// symbol table ask it first and fail ("bad status") when it is not 0.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <list>
#include <map>
#include <string>

#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StFlatMap.h"
#include "bo/bf/BfBootFktTyp.h"
#include "bo/bf/BfOperand.h"
#include "bo/bf/BfSidTable.h"

class CBfSymbTable;
class CBoVarComment;
class SyVarScannerFlexLexer;

class CBfBootFktTypCont {
public:
    static constexpr uint32_t NO_ADDRESS = 0x7fffffffu;

    // symbols, comments: the owner's pointers (read at each use; *comments
    // may be null).
    CBfBootFktTypCont(CBfSymbTable* const* symbols, CBoVarComment* const* comments);
    // Deletes the scanner and every type.
    virtual ~CBfBootFktTypCont();
    CBfBootFktTypCont(const CBfBootFktTypCont&) = delete;
    CBfBootFktTypCont& operator=(const CBfBootFktTypCont&) = delete;

    // "Typen  n", per type "SID(n) " and its print, an empty line, the
    // symbol table's dump.
    virtual void print(std::ostream& os) const;
    // The owner's hooks; the defaults trace (level 4) and answer 65535.
    virtual uint32_t loadData();
    virtual uint32_t status(uint32_t code);
    virtual uint32_t status();

    // A new type of the owner's symbol table; null (traced) when the name
    // exists, the status is bad or it cannot be inserted.
    CBfBootFktTyp* createNewBootFunct(const String& name, StSymbEntryID sid, StRangeID vr, StRangeID nr);
    // Inserts type under sid; false for a null SID, a SID present or a bad
    // status. On false the caller keeps type.
    bool addFkt(StSymbEntryID sid, CBfBootFktTyp* type);
    // The first type (in SID order) named name exactly, its SID out.
    CBfBootFktTyp* existFkt(const String& name, StSymbEntryID& sid) const;
    CBfBootFktTyp* findType(StSymbEntryID sid) const;
    bool addAdr(uint32_t key, uint32_t address) { return m_addresses.emplace(key, address).second; }
    // The smallest key holding address; NO_ADDRESS when none.
    uint32_t getLogAdr(uint32_t address) const;
    // The type's name; empty (traced) when sid has no type.
    String getFktName(StSymbEntryID sid) const;
    // Comment texts of a variable / a type; false without a comment container.
    bool getBfText(int32_t address, uint32_t cfg, String& text) const;
    bool getBfText(const String& typeName, uint32_t cfg, String& text) const;

    // Walks an operand name from start: identifiers are looked up in the
    // scope of the current type and add their address (getAdr) to offset;
    // "." and "[n]" step into the boot-function type of the last symbol's
    // type (the index takes no part in the offset). position ends after the
    // last "." or "]" walked, sid is the last symbol found. Answers the type
    // reached: start unwalked for a text beginning with "." or "["; null for
    // an unknown name, a symbol without address or a bad status. The walk
    // stops (answering the current type) at an index of 2147483647 or more,
    // a step into no type, a scan error (traced) or any other token.
    CBfBootFktTyp* getLastType(const String& text, CBfBootFktTyp* start, StSymbEntryID& sid, uint32_t& offset,
                               size_t& position) const;

    // Every type's sets as boot telegrams, in SID order, each type with its
    // own symbols as values and the symbol table's constants; the first
    // non-zero result of a type (its records and the earlier types' stay).
    uint32_t writeToTel(FsSecBootTels& section);

    // The operand of an operand name "first.rest": first is looked up in
    // the symbol table's global scope; when it names a boot-function type
    // the walk of rest starts there (first adds no address), else at the
    // boot-function type of first's type (first adds its offset). The
    // operand is that of the last symbol walked, its pair (last SID, walked
    // offset), its fixed offset plus first's offset, its address SID first.
    // Null for a bad status, an unknown first name, a failed walk; owned by
    // the caller.
    StASMBfOperand* getOperand(const String& text) const;
    // Expands an operand whose symbol has a boot-function type into its
    // members or elements (appended to list, owned by the caller): 0 done
    // (also for a null operand), 0xFFFF (traced, nothing kept) otherwise.
    // A member that is itself of a boot-function type gets the pair
    // (member, operand's offset + the member's address in the type).
    uint32_t getSubOperands(const StASMBfOperand* operand, std::list<StASMBfOperand*>& list) const;

    // False (traced) when the stream is not writable or a type fails.
    bool saveBfTypCont(FsSecCl& s) const;
    // Reads into the emptied container; false (and empty) when the stream
    // is or gets in error, a type cannot be loaded or inserted, or an
    // address key repeats.
    bool loadBfTypCont(FsSecCl& s);

    using Types = CBfSidTable<CBfBootFktTyp>;
    // The types in SID order.
    const std::vector<Types::Entry>& types() const { return m_types.ordered(); }
    const std::map<uint32_t, uint32_t>& addresses() const { return m_addresses; }
    CBfSymbTable* symbTable() const { return m_symbols ? *m_symbols : nullptr; }

private:
    // The boot-function type keyed by the declaration of the symbol's type
    // (as the compiler keys each type), null if none.
    CBfBootFktTyp* typeOfSymbol(StSymbEntryID sid) const;
    // status() == 0; else the "bad status" trace line of method.
    bool goodStatus(const char* method) const;
    void clear();

    struct NameHash {
        std::size_t operator()(const std::string& s) const { return std::hash<std::string>()(s); }
    };
    Types m_types;
    // The smallest SID of m_types per type name, plus 1, so that the check
    // for a name taken does not walk every type (a source declares
    // thousands).
    StFlatMap<std::string, uint32_t, NameHash> m_byName;
    std::map<uint32_t, uint32_t> m_addresses;
    CBfSymbTable* const* m_symbols;
    CBoVarComment* const* m_comments;
    SyVarScannerFlexLexer* m_scanner;
};
