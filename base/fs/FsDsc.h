// Descriptor files: the compound file that describes one technology-object
// type, technology package or device. It holds the section "header" with
// the descriptor header FsDscHead and further sections written by the
// section compilers; package and device descriptors also hold the object
// file in the sub-storage "code".
//
// Class tree. The kind of a descriptor (technology object, package, device)
// changes only data: its kind id and the check of a header's kinds. So the
// kind is a value given by the concrete class, not a branch of a class
// diamond:
//
//   FsFileMan
//     FsDsc                 header reading/writing, kind check, sections
//       FsTODsc             technology object
//         FsTODscFile       + createFile, openExistFile, the "key" section
//       FsTPDsc             technology package
//         FsTPDscFile       + createFile, openFile, prepareFile, object file
//           FsDvDscFile     device (a package that also names the package kind)
//       FsDvDsc             device
//
// Every class can be made over a storage of the caller (which it lists at
// once) or without one (a file is opened later).
#pragma once
#include <cstdint>
#include <list>

#include "base/fs/FsFileMan.h"
#include "base/fs/FsRTTypeID.h"
#include "base/fs/FsSecCl.h"
#include "base/fs/FsSectMan.h"
#include "co/tvstring.h"

class FsObjFileBase;

// ---------------------------------------------------------------------------
// Section names. All sections and sub-storages of descriptor and object files
// are named from this one list.

enum FsSectName : uint32_t {
    FSN_versionstamp, FSN_key, FSN_header, FSN_bodata, FSN_varcomment, FSN_bfvarcomment, FSN_varval,
    FSN_unit_res, FSN_units, FSN_varext, FSN_enums, FSN_varcont, FSN_bitfield, FSN_const, FSN_camdata,
    FSN_cfghead, FSN_activation, FSN_bfsymb, FSN_boot, FSN_almcfg, FSN_almstr, FSN_errmsg, FSN_alarm_s_msg,
    FSN_alarm_s_lang, FSN_user_msg, FSN_comp_options, FSN_extensions, FSN_oa, FSN_plan, FSN_plan_adrmap,
    FSN_plan_if, FSN_plan_texts, FSN_plan_bicos, FSN_plan_xmltmp, FSN_plan_pd, FSN_plan_oa, FSN_props,
    FSN_fblib, FSN_dcclib_dsc, FSN_dcclib_texts, FSN_dcclib_compat, FSN_code, FSN_data, FSN_bss_seg,
    FSN_values, FSN_debug, FSN_symb, FSN_progstate, FSN_alarmrefs, FSN_func_tree, FSN_trace_condition,
    FSN_symb_io, FSN_symb_interf, FSN_unitinterf, FSN_bfinterf, FSN_bss_symbolic, FSN_unitused,
    FSN_externrefs, FSN_unittoadrrefs, FSN_dcc_blockrefs, FSN_cross_refdir, FSN_plan_libupgrade, FSN_primary,
    FSN_secondary, FSN_source, FSN_poe_container, FSN_ParentInfo, FSN_types, FSN_xmltypes, FSN_xpathqueries,
    FSN_tools, FSN_connections, FSN_connectors, FSN_funcexport, FSN_dvdata, FSN_pack_data, FSN_taskconfig,
    FSN_taskconfigcode, FSN_licence, FSN_si_taskcfgdep, FSN_taskconfigunit, FSN_dvremotedata, FSN_dvhmistamp,
    FSN_sdsatopology, FSN_freetel, FSN_bico, FSN_ddm, FSN_convtransscripts, FSN_binaries, FSN_rttotypes,
    FSN_rtcompattptypes, FSN_lib_data, FSN_lib_dv_data, FSN_lib_dir, FSN_inst_pack, FSN_content, FSN_entries,
    FSN_mod_ver, FSN_ext_depends, FSN_rtg_ydbdata, FSN_inst_ydbdata, FSN_conn_ydbdata,
    FSN_COUNT
};

extern const char* const g_fsSectNames[FSN_COUNT];

// The name of a section; null for an id outside the list.
const char* fsSectName(uint32_t id);
// The id of a name (exact comparison); FSN_COUNT when it is not in the list.
uint32_t fsSectId(const char* name);

// ---------------------------------------------------------------------------
// Text form of a runtime type id, as section streams write it: the GUID in
// braces, two blanks, the version, a blank, the second word and a blank.
String fsRTTypeIDText(const RTTypeID& id);

// ---------------------------------------------------------------------------
// Kind ids (version 0, second word 0).

const RTTypeID& fsKindIdTO();
const RTTypeID& fsKindIdTP();
const RTTypeID& fsKindIdDV();

// ---------------------------------------------------------------------------
// The descriptor header.
//
// Text form in "header", one item per line, each ended by "\r\n": the format
// number 3; kindId; kindList (count, blank, each id and one more blank);
// typeId1; typeId2; typeId3; number; text1; text2 (String form); id1; id2.

struct FsDscHead {
    static constexpr int32_t FORMAT = 3;

    RTTypeID kindId;               // the descriptor kind [invalid]
    std::list<RTTypeID> kindList;  // further kinds; a device names the package kind
    RTTypeID typeId1;              // the object's type id
    RTTypeID typeId2;
    RTTypeID typeId3;
    uint32_t number = 0;
    String text1;
    String text2;
    uint16_t id1 = 0;
    uint16_t id2 = 0;

    // Writes the text form at the section's position.
    void write(FsSecCl& sec) const;
    // Reads the text form from the section's position; false (the head
    // keeps what was read) when the section reports an error.
    bool read(FsSecCl& sec);
};

// ---------------------------------------------------------------------------

class FsDsc : public FsFileMan {
public:
    enum Kind { KIND_TO = 1, KIND_TP = 4, KIND_DV = 5 };

    ~FsDsc() override;

    Kind kind() const { return m_kind; }
    // The kind id this class writes into a header.
    const RTTypeID& kindId() const;

    // Reads "header" (opened read-only): 0, 1 when it cannot be opened or
    // read, else the result of closing it.
    virtual uint32_t read_head(FsDscHead& head);
    // Sets head.kindId to this kind (a device also names the package kind in
    // head.kindList unless it is there) and rewrites "header" from an empty
    // section (created when missing): 0, 1 when it cannot be opened or
    // written, else the result of closing it.
    virtual uint32_t write_head(FsDscHead& head);
    // Whether a header describes a descriptor of this kind.
    virtual bool checkKind(const FsDscHead& head) const;

    using FsSectMan::openSect;
    // Opens an existing section and never creates one (the compilers write
    // only sections that createFile or prepareFile made): null when it is
    // missing, cannot be opened or does not read. A literal 0 as the
    // factory (the plain section) selects the first form. getSect (of the
    // section manager) opens and creates a missing section.
    FsSecCl* openSect(const char* name, int32_t mode, FsSecCl* (*factory)() = nullptr);
    FsSecCl* openSect(const char* name, int32_t mode, const FsSecFactory& factory);

protected:
    // The most derived class constructs the FsSectMan base with the storage.
    explicit FsDsc(Kind kind) : m_kind(kind) {}

    // Opens an existing file and accepts it only when its magic number is 3
    // and its header is of this kind: 0; 3 a file is open; the result of
    // openFile when it fails; else the file is closed again and the result
    // is 11 (or closeFailResult when that close fails).
    uint32_t openKindFile(const char* path, uint32_t flags, const char* traceFile, const char* method,
                          uint32_t closeFailResult);
    // Creates the named sections in order (an existing one is accepted);
    // 4 at the first that cannot be made.
    uint32_t createSections(const char* const* names, size_t count);

    Kind m_kind;
};

// Every descriptor file is a descriptor with a file manager.
using FsDscFile = FsDsc;

class FsTODsc : public FsDsc {
public:
    FsTODsc() : FsDsc(KIND_TO) {}
    explicit FsTODsc(IStorage* storage) : FsSectMan(storage), FsDsc(KIND_TO) {}
};

class FsTPDsc : public FsDsc {
public:
    FsTPDsc() : FsDsc(KIND_TP) {}
    explicit FsTPDsc(IStorage* storage) : FsSectMan(storage), FsDsc(KIND_TP) {}

protected:
    explicit FsTPDsc(Kind kind) : FsDsc(kind) {}
};

class FsDvDsc : public FsTPDsc {
public:
    FsDvDsc() : FsTPDsc(KIND_DV) {}
    explicit FsDvDsc(IStorage* storage) : FsSectMan(storage), FsTPDsc(KIND_DV) {}
};

// ---------------------------------------------------------------------------

class FsTODscFile : public FsTODsc {
public:
    FsTODscFile() {}
    explicit FsTODscFile(IStorage* storage) : FsSectMan(storage) {}

    // Creates a new descriptor file with the sections of a technology
    // object ("oa" too with withOa): 2 the file exists, the result of
    // openFile when it fails, 4 a section cannot be made, else the result
    // of closing them. The file stays open.
    uint32_t createFile(const char* path, bool withOa = false);
    // Opens an existing technology-object descriptor: 0, 3 a file is open,
    // the result of openFile, 11 not a descriptor of this kind (closed).
    uint32_t openExistFile(const char* path, uint32_t flags);
    uint32_t open_exist_file(const char* path, uint32_t flags) { return openExistFile(path, flags); }

    // The section "key", created when missing; null on failure.
    FsSecCl* getKeySect(uint32_t mode);
};

class FsTPDscFile : public FsTPDsc {
public:
    FsTPDscFile() : FsTPDsc(KIND_TP) {}
    explicit FsTPDscFile(IStorage* storage) : FsSectMan(storage), FsTPDsc(KIND_TP) {}

    // Creates a new descriptor file with "header", "rttotypes", "licence",
    // "rtcompattptypes" and the object file "code" with its sections: 2 the
    // file exists, the result of openFile when it fails, 4 a section or the
    // sub-storage cannot be made, 1 the object file cannot be allocated.
    // The file stays open.
    uint32_t createFile(const char* path);
    // Opens an existing descriptor of this kind: 0, 3 a file is open, the
    // result of FsFileMan::openFile, 11 another kind (closed; 1 when that
    // close fails).
    uint32_t openFile(const char* path, uint32_t flags);
    uint32_t openExistFile(const char* path, uint32_t flags) { return openFile(path, flags); }
    uint32_t open_exist_file(const char* path, uint32_t flags) { return openFile(path, flags); }
    // Makes an open (or the named) file a descriptor of this kind: a header
    // of another kind is emptied, the package sections and "code" are made
    // when missing. 11 the named file's magic number is not 3 (closed), 4 a
    // section cannot be made.
    uint32_t prepareFile(const char* path);
    // Binds a new object-file object to the sub-storage "code" in this
    // manager's mode; it belongs to this manager (CloseDir("code") deletes
    // it). Null on failure.
    FsObjFileBase* openObjFile();
    FsSecCl* openLicenceSect(uint32_t mode);
    uint32_t closeLicenceSect();

protected:
    explicit FsTPDscFile(Kind kind) : FsTPDsc(kind) {}
};

class FsDvDscFile : public FsTPDscFile {
public:
    FsDvDscFile() : FsTPDscFile(KIND_DV) {}
    explicit FsDvDscFile(IStorage* storage) : FsSectMan(storage), FsTPDscFile(KIND_DV) {}

    // Opens an existing device descriptor: 0, 3, the result of openFile, 11.
    uint32_t openExistFile(const char* path, uint32_t flags);
    uint32_t open_exist_file(const char* path, uint32_t flags) { return openExistFile(path, flags); }
};
