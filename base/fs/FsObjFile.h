// Object files: a storage (the sub-storage "code" of a package or device
// descriptor, or a file of its own) holding the compiled form of a program
// unit: a header section and one section per kind of content.
//
//   FsFileMan
//     FsBinAdm        typed access to the sections by name
//       FsObjFileBase creates the sections of a new object file, caches the
//                     main section objects, hashes and the code digest
//         FsObjFile   an object file on disk
//
// Section objects handed out are owned by the manager; a cached pointer is
// handed out again only while the manager still holds that very object
// open, so closing a section (also through CloseAll) never leaves a stale
// pointer behind.
//
// The magic number of an object file (first value of "header") is 1.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "base/fs/FsFileMan.h"
#include "base/fs/FsSecCl.h"
#include "base/fs/FsSections.h"
#include "base/fs/FsSectMan.h"
#include "co/CoCrypt.h"
#include "co/tvstring.h"

// Record of the section "trace_condition"; each item on its own line.
struct FsTraceCondition {
    String name;
    GUID guid = GUID_NULL;
    GUID guids[3] = {GUID_NULL, GUID_NULL, GUID_NULL};
    int32_t value1 = 0;
    int32_t value2 = 0;
    int32_t value3 = 0;  // 0x7FFFFFFF after reading a record of another name
};

// Loads content that another layer owns (symbol tables) from a section
// positioned at 0; true on success.
using FsSecLoader = std::function<bool(FsSecCl&)>;

class FsBinAdm : public FsFileMan {
public:
    static constexpr int32_t MAGIC = 1;

    FsBinAdm() {}
    explicit FsBinAdm(IStorage* storage) : FsSectMan(storage) {}
    ~FsBinAdm() override;

    // The factory of the section class that belongs to a name (plain
    // sections for names of no own class).
    static FsSecFactory factoryFor(const char* name);

    // Readers: 0 without doing anything when the section is empty or
    // missing; else the open, read and close result, 1 when the section
    // reports an error.
    uint32_t readSymbTab(const FsSecLoader& load);
    uint32_t readUnitInterface(const FsSecLoader& load);
    uint32_t readBssSymbolic(const FsSecLoader& load);
    uint32_t readExtRefs(std::vector<FsExtUnitRef>* units, std::vector<FsExtTypeRef>* types2,
                         std::vector<FsExtTypeRef>* types3, std::vector<FsExtTypeName>* names,
                         std::vector<FsExtTypeNumber>* numbers);
    // mode 0 every entry; 2 only entries with bit 0 of the flag word; 1 only
    // used entries, sorted by number, and 11 unless they are numbered 1, 2,
    // 3, ... in order.
    uint32_t readUnitUsed(std::vector<FsUnitUsedEntry>& list, uint32_t mode);
    uint32_t readFuncExport(std::vector<FsFuncExport>& list);
    uint32_t readAlarmRefs(std::vector<FsAlarmRef>& list);

    // Cached section objects, opened on first use with the mode; null when
    // they cannot be opened.
    FsSecSymbTab* getSymbSect(uint32_t mode);
    FsSecUnInterface* getUnitInterfaceSect(uint32_t mode);
    FsSecUnDataEx* getBssSymbolicSect(uint32_t mode);
    FsSecProgState* getProgStateSect(uint32_t mode);
    FsSecCl* getFuncTreeSect(uint32_t mode);
    // A copy of "func_tree" in a new memory stream (null on failure).
    void getCopyOfFuncTree(IStream** out);

protected:
    // The cached object of a section when the manager still holds it open,
    // else the section opened anew (and cached); null when it cannot be
    // opened. A section whose content does not read is handed out all the
    // same, with the recovery values of its class, so that it can be
    // rewritten.
    FsSecCl* cachedSect(const char* name, FsSecCl*& slot, uint32_t mode);
    // Opens a section with its class; when its content does not read it is
    // closed again, sec is null and read's result is returned.
    uint32_t openReadable(const char* name, FsSecCl*& sec, uint32_t mode);
    // Whether the manager holds exactly this object open under the name.
    bool holdsOpen(const char* name, const FsSecCl* sec) const;
    // The open object of a section, null when it is not open.
    FsSecCl* openObject(const char* name) const;
    // Opens a section read-only with its class for a reader; 0 and null
    // when it is missing or empty.
    uint32_t openForReading(const char* name, FsSecCl*& sec);
    uint32_t finishReading(const char* name, bool ok);
    uint32_t readWith(const char* name, const FsSecLoader& load);

    FsSecCl* m_symb = nullptr;
    FsSecCl* m_unitInterf = nullptr;
    FsSecCl* m_bssSymbolic = nullptr;
    FsSecCl* m_progState = nullptr;
    FsSecCl* m_funcTree = nullptr;
};

class FsObjFileBase : public FsBinAdm {
public:
    FsObjFileBase() {}
    explicit FsObjFileBase(IStorage* storage) : FsSectMan(storage) {}
    ~FsObjFileBase() override;

    // Creates the sections of a new object file ("header", "unitused",
    // "unitinterf", "bss_symbolic", "externrefs", "unittoadrrefs", "code",
    // "values", "debug", "symb", "funcexport", "progstate", "alarmrefs",
    // "func_tree" and the sub-storage "cross_refdir"); existing ones are
    // kept. 4 when one cannot be made, else the result of CloseAll.
    virtual uint32_t initSections();
    // Feeds the bytes of "code" into the digest.
    virtual bool hashCode(CoCryptHashStream& hash);
    // Feeds the bytes of a section, from position 0, into the digest; false
    // when the section or its stream is missing or hashing fails. A section
    // that is open already is hashed as it stands and stays open.
    bool hashSect(CoCryptHashStream& hash, const char* name);

    // Reads "header": 0, 1 the section reports an error, else the first
    // failure (opening or closing).
    uint32_t getHeader(FsObjHeadData& head);
    // Writes the record into "header" (created when missing).
    uint32_t setHeader(const FsObjHeadData& head);
    // Sets the first two of the header's three flags to false.
    uint32_t clearHeaderFlags();

    FsSecCode* getCodeSect(uint32_t mode);
    FsSecData* getDataSect(uint32_t mode);
    FsSecData* getBssSect(uint32_t mode);
    FsSecLinNr* getDebugSect(uint32_t mode);
    // Not cached: the caller closes them.
    FsSecDataDescr* getUnitToAdrRefs(uint32_t mode);
    FsSecCValue* getValues(uint32_t mode);
    // "dcc_blockrefs"; with create in mode it is made anew first.
    FsSecCl* getDccBlockRefs(uint32_t mode);
    // Lends the storage of "cross_refdir" (created when it cannot be
    // opened); false on failure.
    bool getCrossRefDir(IStorage** out);

    uint32_t writeTraceCondition(const FsTraceCondition& cond);
    uint32_t readTraceCondition(FsTraceCondition& cond);

    // With destroyFirst the section is destroyed (a missing one accepted)
    // and created (7 on failure); else opened, created when missing. Then
    // closed.
    uint32_t renewSect(const char* name, bool destroyFirst);

    // MD5 code digest over "code", "values" (and "unittoadrrefs" with
    // withRefs), the used units and the header's code GUID, translation
    // records and first GUID. Without withRefs a second digest over the
    // first, "unittoadrrefs" and "CodeVersion V4.1" becomes the code GUID;
    // the first becomes GUID 1. False (head unchanged) when a step failed.
    bool computeCodeVersion(FsObjHeadData& head, bool withRefs);

protected:
    FsSecCl* m_code = nullptr;
    FsSecCl* m_data = nullptr;
    FsSecCl* m_bss = nullptr;
    FsSecCl* m_debug = nullptr;
};

class FsObjFile : public FsObjFileBase {
public:
    FsObjFile() {}
    explicit FsObjFile(IStorage* storage) : FsSectMan(storage) {}
    ~FsObjFile() override;

    // Opens an object file: 0; 3 a file is open; the result of openFile when
    // it fails; 11 its magic number is not 1 (the file is closed again).
    uint32_t open_exist_file(const char* path, uint32_t flags);
};
