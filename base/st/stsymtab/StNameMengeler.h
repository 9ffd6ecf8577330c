// StNameMengeler: writes the public names of a compilation unit (types,
// constants, variables, program units, technology-object types, direct
// variables) into a name-exports section (StNameExportFormat.h), and reads
// such a section back, handing every entry to creation and decision hooks
// so that the owner of the import decides what to create. The import
// defaults create nothing: a plain StNameMengeler import parses the section
// and creates no entries. Derived classes override any of the 32 virtual
// slots (in the order below).
//
// Export: beginExport writes the header with a twelve-blank placeholder for
// the count; exportList / exportVector write entries; endExport writes the
// count of complete entries in hexadecimal over the placeholder. An entry
// opens with its kind code and name; a private name gets the unit prefix
// ("@@" + unit name) when the unit flag is set (never a technology-object
// type). Type references name the referenced type entry ("TO#" + name for a
// technology-object type; a type of another scope than the unit's is
// qualified "a#b#name", or, private under the unit flag, "name@@unit@a@b@";
// an anonymous array "$$" is followed by its element type, lower bound and
// element count), else an elementary keyword or "STRING"; then size and
// alignment. A missing entry or type node, an entry that is not exported
// (kind 13, whose head stays in the section) or a type that cannot be
// referenced ends the export with false.
//
// Initial values: "0" without a value, else "1", the constant kind, the
// value-only form and a blank (see StNeInit). No value is written under
// flag bit 1, for a default value under flag bit 2, for function types,
// and when the entry's type entry carries the same value (export format
// 2). Export format 1 also withholds the values of structures and of
// arrays whose element type is not elementary; withholding a package-init
// value that way fails, and so does a value of a kind importers cannot
// read (a bare integer array).
//
// Fields this exporter chooses: the flag of variables and system
// variables is the second flag byte, of global and interface variables the
// remanent flag, of direct variables whether they are writable. A program
// unit names the function blocks and programs its members instantiate
// (named like type references); list A holds its members of access modes
// 2 and 4, list B (function blocks and programs) those of 1 and 3, each as
// a complete kind-6 entry under its bare name; the words after the lists
// are frame flag bit 16, the function type node's alignment and size
// fields, its total alignment and size, the function index (-1 under
// frame flag bit 13) and the frame size.
//
// Import: readHeader gives the version and the count; beginImport starts an
// import (refused without a stream, during an export, or without a table to
// resolve standard types in); the caller then reads the counted top-level
// entries with importCounted (or one at a time with readEntry); importEntries
// reads a count and that many entries (the lists of program units);
// endImport ends it. Readers stop at the first stream error; lists nest at
// most kStNeMaxDepth levels (deeper is a read failure reported to slot 31).
//
// Type references on import: an anonymous array ("$$") is created through
// slot 8 from its element type (nothing without one); an elementary keyword
// is the standard type of that code; "STRING" is the string type of length
// size - 2 of the type table; any other name goes to slot 6. A type whose
// node's size or alignment differs from the values read is reported to
// slot 31 with 0.
//
// Entry status of readEntry: 0 an entry was created (a valid, non-zero
// SID), 2 it was known already (slot 26), else 1.
#pragma once
#include <cstdint>
#include <vector>

#include "base/st/stsymtab/StIdList.h"
#include "base/st/stsymtab/StIds.h"
#include "base/st/stsymtab/StNameExportFormat.h"
#include "co/tvstring.h"

class FsSecCl;
class StConstantVal;
class StSymbEntryIDVect;
class StSymbTable;
class StSyBaseSymbEntry;
class StSyBaseTypeNode;
class StSyTypeTable;

// A scope: validity range and name space.
struct StNeScope {
    StRangeID vr = ST_INVALID_VR;
    StRangeID nr = ST_INVALID_NR;
};

// The words of a program unit's frame after its lists, handed to slot 22.
struct StNeUnitFrame {
    uint32_t unit;       // SID the unit was created as
    int32_t unitKind;    // 6 function, 7 function block, 8 program
    uint32_t frameFlag;  // frame flag bit 16
    uint32_t layout1;
    int32_t layout2;
    uint32_t word3;
    int32_t word4;
    int32_t number;
    int32_t frameWord;   // -1 from version 1
    uint32_t usedUnits;  // number of used units
};

// Elementary type keywords: "VOID" 0 ... "_TASKTYPE" 23.
// The keyword of a code ("@???" for any other code).
const char* stNeElemTypeName(uint32_t code);
// The code of a keyword, -1 when it is none.
int32_t stNeElemTypeCodeOfName(const String& name);

class StNameMengeler {
public:
    StNameMengeler();
    virtual ~StNameMengeler();
    StNameMengeler(const StNameMengeler&) = delete;
    StNameMengeler& operator=(const StNameMengeler&) = delete;

    // --- slots 0-5 ---
    virtual bool beginExport(StSymbTable* table, FsSecCl* stream, StSymbEntryID unit, bool unitFlag);
    virtual bool beginImport(StSymbTable* table, FsSecCl* stream, uint32_t& count);
    virtual int32_t classifySymbol(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    virtual bool writeTOTypeEntry(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    // Reads the fields of a technology-object type (kind 11) and, when
    // import is set, creates it through slot 24.
    virtual StSymbEntryID readTOTypeEntry(const String& name, bool import);
    // Reads a count and that many entries.
    virtual bool importEntries();

    // --- slots 6-31: creation and decision hooks ---
    virtual StTypeID findNamedType(const String& name, const StNeTypeRef& ref);                      // 6
    virtual StSymbEntryID createTypeDef(const String& name, StSymbEntryID& out, StTypeID type,
                                        const StNeScope& unit);                                       // 7
    virtual StTypeID createArrayType(StTypeID element, int32_t lower, uint32_t count, int32_t size,
                                     uint32_t alignment);                                             // 8
    virtual void setInitValue(StSymbEntryID sid, StTypeID type, const StNeValue& value);              // 9
    virtual void createConstant(const String& name, StTypeID type, const StNeValue* value,
                                StSymbEntryID& out);                                                  // 10
    virtual StSymbEntryID createEnumType(const StNeEntry& entry, const StNeScope& unit,
                                         StSymbEntryID& out);                                         // 11
    virtual StSymbEntryID createStructType(const StNeEntry& entry, const std::vector<StTypeID>& members,
                                           StSymbEntryID& out);                                       // 12
    virtual bool addUsedUnit(StSymbEntryID unit, const String& name, uint32_t index);                 // 13
    virtual StSymbEntryIDList getExtraIds(const StSyBaseSymbEntry* entry);                            // 14
    virtual bool acceptEntry(int32_t kind, const String& name);                                       // 15
    virtual StSymbEntryID createSubrangeType(const String& name, const StNeScope& unit,
                                             StSymbEntryID& out);                                     // 16
    virtual StSymbEntryID createVariable(const String& name, StTypeID type, int32_t address,
                                         int32_t accessMode, bool flag);                              // 17
    virtual StSymbEntryID createGlobalVariable(const String& name, StTypeID type, int32_t address,
                                               int32_t accessMode, bool remanent);                    // 18
    virtual StSymbEntryID createSystemVariable(const String& name, StTypeID type, int32_t address,
                                               int32_t accessMode, bool flag);                        // 19
    virtual StSymbEntryID createInterfaceVariable(const String& name, StTypeID type, int32_t address,
                                                  int32_t sysAddress, int32_t accessMode, bool flag);  // 20
    virtual StSymbEntryID createProgramUnit(const String& name, int32_t unitKind, StTypeID result,
                                            StSymbEntryID& out);                                      // 21
    virtual void setUnitFrame(StNeUnitFrame frame);                                                   // 22
    virtual void addUnitMember(StSymbEntryID unit, int32_t list, StSymbEntryID member, const String& name,
                               StTypeID type, int32_t address, int32_t accessMode);                   // 23
    virtual StSymbEntryID importTOType(const String& name, const String* baseName);                  // 24
    virtual StSymbEntryID importDirectVar(const String& name, StTypeID type, const StNeScope& unit,
                                          int32_t address, bool flag);                                // 25
    virtual bool isKnown(const String& name, bool isTOType);                                          // 26
    virtual void enterUnitScope();                                                                    // 27
    virtual void leaveUnitScope();                                                                    // 28
    virtual void beginEntries();                                                                      // 29
    virtual void endEntries();                                                                        // 30
    virtual void onImportError(uint32_t code);                                                        // 31

    // --- non-virtual ---
    // Writes the count of complete entries over the placeholder and ends
    // the export (nothing when none is running).
    void endExport();
    // Writes the entries in order; false (the export stops) at a missing
    // entry or type node or an entry that cannot be written.
    bool exportList(const StSymbEntryIDList& ids);
    bool exportVector(const StSymbEntryIDVect& ids);
    // The head through slot 2, then the fields of the kind.
    bool writeEntry(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    // The type reference of the entry over its type node.
    bool writeTypeRef(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    // An initial value (see above) of a value of the node's type.
    bool writeInitValue(const StConstantVal* value, const StSyBaseTypeNode* node);
    // Seeks to the start and reads the header: 2 "Name_Exports_V3.1", 1
    // "Name_Exports_V0.5", 0 anything else or a stream error.
    int readHeader(FsSecCl* stream, uint32_t& count);
    // Reads count entries (the top level after the header).
    bool importCounted(uint32_t count);
    // Reads one entry and creates it through the hooks unless it is known.
    StSymbEntryID readEntry(uint32_t& status);
    // Reads an initial value; false (slot 31 with 1 for another constant
    // kind) when none could be read.
    bool readInitValue(StNeInit& init);
    // Reads a type reference and resolves it (see above).
    StTypeID readTypeRef();
    StTypeID resolveTypeRef(const StNeTypeRef& ref, int depth = 0);
    void endImport();
    // Writes the keyword of an elementary type code as a String and a blank
    // into the stream of the running import or export; false (after
    // writing "@???") for a code without keyword or without a stream.
    bool writeElemTypeName(uint32_t code);
    static int32_t elemTypeCodeOfName(const String& name) { return stNeElemTypeCodeOfName(name); }

    // Where standard types are resolved while no symbol table is given.
    void setTypeTable(StSyTypeTable* types) { m_types = types; }
    int importVersion() const { return m_importVersion; }
    bool isImporting() const { return m_importing; }
    bool isExporting() const { return m_exporting; }
    void setFlags(uint32_t flags) { m_flags = flags; }
    void setExportFormat(int32_t format) { m_exportFormat = format; }
    // Subtracted from exported addresses of global and interface variables.
    void setAddressBases(int32_t base1, int32_t base2)
    {
        m_addressBase1 = base1;
        m_addressBase2 = base2;
    }
    uint32_t exportedCount() const { return m_count; }

protected:
    FsSecCl* stream() const { return m_stream; }
    const StNeScope& unitRange() const { return m_unitRange; }
    StSymbTable* table() const { return m_table; }
    // The name an entry head carries (the unit prefix behind a private
    // name under the unit flag, unless the kind is 11).
    String headName(const StSyBaseSymbEntry* entry, int32_t kind) const;

private:
    bool readFailed() const;
    // Export helpers; all false when the entry cannot be written.
    bool writeTypeRefAt(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node, int depth);
    String typeRefName(const StSyBaseSymbEntry* type) const;
    // The entry's initial value, null when its type entry carries the
    // same one under export format 2.
    const StConstantVal* entryInitValue(const StSyBaseSymbEntry* entry) const;
    bool exportOne(StSymbEntryID sid);
    // The entry that owns the scope (a name space or a frame), else null.
    const StSyBaseSymbEntry* scopeOwner(StRangeID vr, StRangeID nr) const;
    bool writeEntryFields(int32_t kind, const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    bool writeArrayType(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    bool writeEnumType(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    bool writeStructType(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    // The fields of kinds 6-9 after the head.
    bool writeVariable(int32_t kind, const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    bool writeProgramUnit(const StSyBaseSymbEntry* entry, const StSyBaseTypeNode* node);
    const StSyBaseTypeNode* nodeOf(const StSyBaseSymbEntry* entry) const;
    // Resolves the entry's type references and, when create is set, creates
    // it through its hook.
    StSymbEntryID createEntry(const StNeEntry& e, bool create);
    StSymbEntryID readProgramUnit(StNeEntry& e, bool create, bool& bad);

    StNeScope m_unitRange;
    int32_t m_addressBase1 = 0;
    int32_t m_addressBase2 = 0;
    StSymbTable* m_table = nullptr;
    FsSecCl* m_stream = nullptr;
    bool m_exporting = false;
    bool m_importing = false;
    uint32_t m_count = 0;
    int32_t m_depth = 0;
    bool m_unitFlag = false;
    String m_unitPrefix;
    uint32_t m_flags = 0;
    int m_importVersion = 2;
    int32_t m_exportFormat = 2;
    StSyTypeTable* m_types = nullptr;
};
