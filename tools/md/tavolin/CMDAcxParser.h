// The ACX import: carries what an ACX file says about the object being
// compiled from its tag tree (MdAcxHandlers.h) into the object's descriptor.
// The parser is itself a type-side variable-extension model
// (MdVarExtBase): it loads the sections the variables compiler wrote,
// merges the file's values into them and saves them again.
//
// parseHeader checks the file's header block against the descriptor head
// and completes the head with the object's own type id:
//  - every 2144 compound below the root is read in file order; its 67 and
//    150 texts must not be empty; a 2147 compound gives the object's type
//    id (2121 GUID as 32 hexadecimal digits, 2122 and 2123 its two
//    numbers as one-byte unsigned tags), a 2145 compound the type id the
//    file requires, which must be compatible with the head's type id as it
//    stands when that block ends (same GUID, required first number not
//    above the head's);
//  - a 2122 or 2123 of another type or width, and every other tag, is
//    ignored; each 2121 text is converted on its own;
//  - the head is written back only when every check passed.
// Results: 0; 30 the head's type id is still incomplete; 141 the type is not
// compatible; 0xFFFF anything else. Messages: 0 bad input or a tag of the
// wrong kind, 1200 a GUID text that does not convert, 1201 the head cannot
// be read or written, 1202 an incomplete head or an incompatible type.
//
// parseConfiguration (root, the open "cfghead" section): loads the
// configurations, takes the last 2132 of every 2107 block of every 2144
// block as the default configuration (each 2131 must be a number) and saves
// them. 0, the status of loadCfg / saveCfg, or 0xFFFF (message 0).
//
// parseVarExt (root, descriptor): the system-variable table from "symb"
// ("sym" only when "symb" is missing), the constants from "const", then
// "varval", "varcont", "bitfield" and "varext" are loaded (57 a section is
// missing, 27 one does not load); values, dynamic arrays and attributes are
// emptied; then every 1037 variable of every 2144 block, completed by the
// block's 65 defaults (a tag of the variable's own id wins), is checked
// against the table under its name "p<136>" ("r<136>" with bit 0 of 2138;
// bit 27 skips it) and its values, dynamic-array sizes and attributes are
// entered; last "const", "varval", "varcont" and "varext" are rewritten.
// Nothing is written unless every variable went in: a failing call leaves
// every section as it was. Results: 0; 10 an enumeration number that is
// not 16 bits wide; 27; 57; 21 a section could not be written (no message;
// the tables are written to memory first, so only a failing storage leaves
// the sections before it rewritten); 0xFFFF for anything else.
//
// Value tags are read as the variable's elementary type when their width
// and class (integer or real) are the type's (a u32 tag can carry a
// negative DINT); any other is decoded by its own kind and converted, the
// range check reporting what does not fit (409, stored all the same).
// The 140 values of 2118 and 156 must be numbers but are not kept: the
// model has no place for them.
//
// Every failure writes one level-4 trace line naming the operation, then
// (where the operation has one) one message through the process-wide
// message handler: 0, 1203 unknown variable, 1204 enumeration numbers not
// 16 bits wide, 1205 drive access level above 7, 1206 array size or
// dynamic-array bounds, 1207 unknown dimension parameter, 1208 enumeration
// differs from the symbol's, and the builders' block-400 messages.
// Reporting does not count; only the builders count their errors.
//
// The import reads the tree and never changes it.
#pragma once
#include <cstdint>
#include <list>
#include <map>
#include <vector>

#include "bo/bo/MdVarExtBase.h"

class CAcxCompoundTag;
class CAcxTagBase;
class FsDsc;
class FsSecCl;

// Results of the import's operations (codes below 0x10000; the front end
// ORs 0xBE110000 into them).
enum : uint32_t {
    kAcxOk = 0,
    kAcxBadEnumType = 10,
    kAcxLoadFailed = 27,
    kAcxHeadIncomplete = 30,
    kAcxNoSection = 57,
    kAcxNotCompatible = 141,
    kAcxFailed = 0xFFFF,
};

// Messages of the import.
enum : uint32_t {
    kAcxMsgInternal = 0,
    kAcxMsgSyntax = 1200,
    kAcxMsgSectionWrite = 1201,
    kAcxMsgHeadMissing = 1202,
    kAcxMsgNoSymbol = 1203,
    kAcxMsgEnumType = 1204,
    kAcxMsgAccessLevel = 1205,
    kAcxMsgArraySize = 1206,
    kAcxMsgNoDimension = 1207,
    kAcxMsgEnumMismatch = 1208,
};

class CMDAcxParser : public MdVarExtBase {
public:
    CMDAcxParser();
    ~CMDAcxParser() override;
    CMDAcxParser(const CMDAcxParser&) = delete;
    CMDAcxParser& operator=(const CMDAcxParser&) = delete;

    // Reports message id with no text argument (arg1 null), arg1 alone, or
    // both, through the process-wide message handler (nothing without one).
    // It does not count.
    void reportError(uint32_t id, const String* arg1, const String* arg2) override;
    void countError() override { ++m_errorCount; }
    int32_t getErrorCount() override { return m_errorCount; }

    // The operations of the file comment. root and descriptor / section are
    // not owned and may be null (message 0, 0xFFFF).
    uint32_t parseHeader(CAcxCompoundTag* root, FsDsc* descriptor);
    uint32_t parseConfiguration(CAcxCompoundTag* root, FsSecCl* cfghead);
    uint32_t parseVarExt(CAcxCompoundTag* root, FsDsc* descriptor);

    // The program's unit id of an ACX unit code; 0 for 0, codes from 157 up
    // and every code without an entry.
    static int32_t mapAcxTypeCode(uint32_t code);
    // The display code of an ACX display type (0-5 give 0, 12, 10, 11, 15,
    // 14); -1 for any other.
    static int32_t mapDisplayType(uint32_t displayType);
    // The symbol table's change stamp of a file time (low and high word).
    static uint16_t changeStampOf(uint32_t low, uint32_t high);
    // A new attribute record: first word, the attribute word with the drive
    // access level in bits 11-13, the third word, the 16-bit value and the
    // display code; null (with its trace, and 1205 for an access level
    // above 7) when the level or the display type has no code.
    VarExt* makeAttribs(uint32_t first, uint32_t attributes, uint32_t third, uint32_t sixteen, uint32_t displayType,
                        uint32_t accessLevel);

private:
    // Leaf tags of a value compound, by id in file order.
    using TagsById = std::map<uint32_t, std::vector<CAcxTagBase*>>;
    // What one variable's tags said so far.
    struct Param;
    // One value block of a variable: its values and settings.
    struct Block;

    uint32_t loadSections(FsDsc& descriptor);
    uint32_t loadSymbols(FsDsc& descriptor);
    uint32_t saveSections(FsDsc& descriptor);
    uint32_t walk(CAcxCompoundTag& root);
    uint32_t parseParam(const String& name, CAcxCompoundTag* view);
    uint32_t parseDimension(Param& p, uint32_t number);
    uint32_t parseBlock(Param& p, CAcxCompoundTag& block);
    uint32_t parseValues(const Param& p, const Block& b);
    uint32_t addElements(const Param& p, const Block& b, const VarValueEntryList& common,
                         const std::vector<VarValueEntry*>& defaults, uint32_t elementType);

    int32_t m_errorCount = 0;
};
