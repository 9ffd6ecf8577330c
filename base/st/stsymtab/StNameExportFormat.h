// The name-exports section: its header and its entries as records, read
// from and written to a section stream. The name exporter and importer
// (StNameMengeler) and the header rewrite of the front end share this one
// reader and writer.
//
// Layout: the entry count in lower-case hexadecimal over the first of
// twelve blanks, the header word as a section-stream String and a blank,
// then the top-level entries. Every entry opens with its kind code and
// name; the fields by kind follow (see StNeEntry). Every field is written
// with the stream's text operators and followed by a blank.
//
// Versions: "Name_Exports_V0.5" is 1, "Name_Exports_V3.1" is 2. They differ
// in one field: the trailing frame word of program-unit entries exists in
// version 2 only (read as -1 from version 1).
//
// Readers stop at the first stream error, never allocate by a count read
// from the section (lists grow by what was actually read) and nest type
// references, constants and entry lists at most kStNeMaxDepth levels.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "base/fs/FsRTTypeID.h"
#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StIdList.h"
#include "co/tvstring.h"

constexpr int kStNeMaxDepth = 64;

// Writes a field followed by a blank (the blank only in text mode).
template <class T>
void stNePut(FsSecCl& s, const T& v)
{
    s << v;
    s.putBlank();
}

// Entry kinds (the code that opens every entry).
enum StNameExportKind : int32_t {
    NE_TYPEDEF = 0, NE_ARRAY = 1, NE_ENUM = 2, NE_STRUCT = 3, NE_SUBRANGE = 4, NE_CONSTANT = 5,
    NE_VARIABLE = 6, NE_GLOBAL = 7, NE_SYSVAR = 8, NE_INTERFACE = 9, NE_PROGRAM_UNIT = 10, NE_TOTYPE = 11,
    NE_DIRECT_VAR = 12, NE_NOT_EXPORTED = 13,
};

// The two header words.
extern const String g_stNeHeaderV1;  // "Name_Exports_V0.5"
extern const String g_stNeHeaderV2;  // "Name_Exports_V3.1"

// The version a header word names: 1, 2, or 0.
int stNeVersionOf(const String& word);

// The value-only form of a constant: kind 0 elementary (type id, sign,
// value by type id), 1 structure (members with their kinds), 2 string
// (length, text), 3 integer array (n, element size, the element when n is
// not 0), 4 package init (the integer-array form, 17, package id, FCT).
struct StNeValue {
    int32_t kind = 0;
    int32_t type = 0;          // elementary type id
    int32_t sign = 0;
    uint32_t words[3] = {0, 0, 0};  // integer values; 16: the three ids; 21: date and milliseconds
    float real4 = 0;           // type 14
    double real8 = 0;          // types 15 and 32
    std::vector<StNeValue> members;  // structure; the element of an array (0 or 1)
    uint8_t length = 0;        // string
    String text;
    int32_t n = 0;             // integer array, package init
    int32_t esize = 0;
    uint32_t packageType = 17;
    RTTypeID package;
    int32_t fct = 0;

    // False at a stream error or a kind it cannot read.
    bool read(FsSecCl& s, int32_t kind, int depth = 0);
    void write(FsSecCl& s) const;
    bool operator==(const StNeValue& o) const;
};

// An initial value: the presence flag and, when set, the kind (0, 1, 2 or
// 4), the value-only form and one more blank after the form's own (so a
// DINT 5 is "1 0 8 1 5  "). Reading skips blanks before every field, so
// sections written without that last blank read the same.
struct StNeInit {
    bool present = false;
    StNeValue value;

    // False at a stream error; badKind is set for another constant kind.
    bool read(FsSecCl& s, bool& badKind);
    void write(FsSecCl& s) const;
};

// A type reference: the name ("$$" an anonymous array with its element
// type, lower bound and count), then size and alignment.
struct StNeTypeRef {
    String name;
    std::unique_ptr<StNeTypeRef> element;
    int32_t lower = 0;
    uint32_t count = 0;
    int32_t size = 0;
    uint32_t alignment = 0;

    StNeTypeRef() = default;
    StNeTypeRef(const StNeTypeRef& o) { *this = o; }
    StNeTypeRef& operator=(const StNeTypeRef& o);
    bool isAnonymousArray() const { return name == "$$"; }
    bool read(FsSecCl& s, int depth = 0);
    void write(FsSecCl& s) const;
};

// One entry. Fields by kind after the kind code and the name:
//   0 type definition, 5 constant   type, init
//   1 array type                    type (element), lower, count, init
//   2 enumeration                   enumerators (count; name, value each),
//                                   the initial enumerator (0, or 1 and its name),
//                                   extra ids, size, alignment
//   3 structure                     members (count; name, type, init each),
//                                   size, alignment
//   4 subrange                      nothing
//   6 variable, 7 global, 8 system  type, init, address, access mode, flag
//   9 interface variable            type, init, address, system-variable
//                                   address, access mode, flag
//   10 program unit                 unit kind (6, 7, 8); for 6 the result
//                                   type, else the used units (count; names);
//                                   list A; for 7 and 8 list B (each a count
//                                   and complete kind-6 entries); frame flag,
//                                   two layout words, two further words, the
//                                   number, and in version 2 the frame word
//   11 technology-object type       0, or 1 and the base type's name
//   12 direct variable              type, address, flag
struct StNeEntry {
    struct Member {
        String name;
        StNeTypeRef type;
        StNeInit init;
    };

    int32_t kind = NE_NOT_EXPORTED;
    String name;
    StNeTypeRef type;
    StNeInit init;
    int32_t lower = 0;
    uint32_t count = 0;
    std::vector<std::pair<String, int32_t>> enumerators;
    bool hasInitEnumerator = false;
    String initEnumerator;
    StIdList extraIds;
    int32_t size = 0;
    uint32_t alignment = 0;
    std::vector<Member> members;
    int32_t address = 0;
    int32_t sysAddress = 0;
    int32_t accessMode = 0;
    bool flag = false;
    int32_t unitKind = 0;
    std::vector<String> usedUnits;
    std::vector<StNeEntry> listA, listB;
    bool frameFlag = false;
    uint32_t layout1 = 0;
    int32_t layout2 = 0;
    uint32_t word3 = 0;
    int32_t word4 = 0;
    int32_t number = 0;
    int32_t frameWord = -1;
    bool hasBase = false;
    String baseName;

    // The kind code and the name; false at a stream error.
    bool readHead(FsSecCl& s);
    // The fields of the kind read by readHead. False at a stream error or
    // content that cannot be read (kind 13 or more, another unit kind,
    // another constant kind); bad is set for the latter.
    bool readFields(FsSecCl& s, int version, bool& bad, int depth = 0);
    // Head and fields.
    bool read(FsSecCl& s, int version, bool& bad, int depth = 0);
    // The parts of a program unit around its lists: the unit kind with the
    // result type or the used units, and the words after the lists.
    bool readUnitHead(FsSecCl& s, bool& bad);
    bool readUnitTail(FsSecCl& s, int version);
    void write(FsSecCl& s, int version) const;
};

// Reads the header from the section's start: the count (base 16) and the
// header word (base 10). The version (0 for an unknown word or an error).
int stNeReadHeader(FsSecCl& s, uint32_t& count);
// Writes twelve blanks, the header word of the version and a blank from
// the section's start, in base 10.
void stNeWriteHeader(FsSecCl& s, int version);
// Writes count in hexadecimal over the start of the placeholder and goes
// back to where the section stood, in base 10.
void stNeWriteCount(FsSecCl& s, uint32_t count);
