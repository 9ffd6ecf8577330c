#include "base/fs/FsDsc.h"

#include <sys/stat.h>

#include <cstring>
#include <new>

#include "base/fs/FsObjFile.h"
#include "co/TraceApi.h"
#include "platform/guid.h"

namespace {

const char* const kTraceTO = "base/fs/fs_todsc";
const char* const kTraceDV = "base/fs/fs_dvdsc";
const char* const kTraceTP = "base/fs/fs_tpdsc";

bool fileExists(const char* path)
{
    struct stat st;
    return path && ::stat(path, &st) == 0;
}

RTTypeID makeKind(uint32_t d1, uint16_t d2, uint16_t d3, std::initializer_list<uint8_t> d4)
{
    GUID g;
    g.Data1 = d1;
    g.Data2 = d2;
    g.Data3 = d3;
    size_t i = 0;
    for (uint8_t b : d4) g.Data4[i++] = b;
    return RTTypeID(g, 0, 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Section names

const char* const g_fsSectNames[FSN_COUNT] = {
    "versionstamp", "key", "header", "bodata", "varcomment", "bfvarcomment", "varval", "unit_res", "units",
    "varext", "enums", "varcont", "bitfield", "const", "camdata", "cfghead", "activation", "bfsymb", "boot",
    "almcfg", "almstr", "errmsg", "alarm_s_msg", "alarm_s_lang", "user_msg", "comp_options", "extensions",
    "oa", "plan", "plan_adrmap", "plan_if", "plan_texts", "plan_bicos", "plan_xmltmp", "plan_pd", "plan_oa",
    "props", "fblib", "dcclib_dsc", "dcclib_texts", "dcclib_compat", "code", "data", "bss_seg", "values",
    "debug", "symb", "progstate", "alarmrefs", "func_tree", "trace_condition", "symb_io", "symb_interf",
    "unitinterf", "bfinterf", "bss_symbolic", "unitused", "externrefs", "unittoadrrefs", "dcc_blockrefs",
    "cross_refdir", "plan_libupgrade", "primary", "secondary", "source", "poe_container", "ParentInfo",
    "types", "xmltypes", "xpathqueries", "tools", "connections", "connectors", "funcexport", "dvdata",
    "pack_data", "taskconfig", "taskconfigcode", "licence", "si_taskcfgdep", "taskconfigunit",
    "dvremotedata", "dvhmistamp", "sdsatopology", "freetel", "bico", "ddm", "convtransscripts", "binaries",
    "rttotypes", "rtcompattptypes", "lib_data", "lib_dv_data", "lib_dir", "inst_pack", "content", "entries",
    "mod_ver", "ext_depends", "rtg_ydbdata", "inst_ydbdata", "conn_ydbdata",
};

const char* fsSectName(uint32_t id)
{
    return id < FSN_COUNT ? g_fsSectNames[id] : nullptr;
}

uint32_t fsSectId(const char* name)
{
    if (!name) return FSN_COUNT;
    for (uint32_t i = 0; i < FSN_COUNT; ++i)
        if (std::strcmp(g_fsSectNames[i], name) == 0) return i;
    return FSN_COUNT;
}

String fsRTTypeIDText(const RTTypeID& id)
{
    std::string text = tvp::guidToString(id.guid);
    text += "  " + std::to_string(id.version) + " " + std::to_string(id.second) + " ";
    return String(text);
}

// ---------------------------------------------------------------------------
// Kind ids

const RTTypeID& fsKindIdTO()
{
    // {183021FF-2E4E-4315-B613-7E3A69210C36}
    static const RTTypeID id =
        makeKind(0x183021FF, 0x2E4E, 0x4315, {0xB6, 0x13, 0x7E, 0x3A, 0x69, 0x21, 0x0C, 0x36});
    return id;
}

const RTTypeID& fsKindIdTP()
{
    // {81A04A91-1554-43C3-97FA-63DD5EA7D9FE}
    static const RTTypeID id =
        makeKind(0x81A04A91, 0x1554, 0x43C3, {0x97, 0xFA, 0x63, 0xDD, 0x5E, 0xA7, 0xD9, 0xFE});
    return id;
}

const RTTypeID& fsKindIdDV()
{
    // {AC5106C8-1BF0-4BFA-B3C9-072AAD0516D3}
    static const RTTypeID id =
        makeKind(0xAC5106C8, 0x1BF0, 0x4BFA, {0xB3, 0xC9, 0x07, 0x2A, 0xAD, 0x05, 0x16, 0xD3});
    return id;
}

// ---------------------------------------------------------------------------
// FsDscHead

void FsDscHead::write(FsSecCl& sec) const
{
    uint32_t base = sec.getBase();
    sec.setBase(10);
    sec << FORMAT;
    sec.putNewLine();
    sec << kindId;
    sec.putNewLine();
    sec << kindList;
    sec.putNewLine();
    sec << typeId1;
    sec.putNewLine();
    sec << typeId2;
    sec.putNewLine();
    sec << typeId3;
    sec.putNewLine();
    sec << number;
    sec.putNewLine();
    sec << text1;
    sec.putNewLine();
    sec << text2;
    sec.putNewLine();
    sec << id1;
    sec.putNewLine();
    sec << id2;
    sec.putNewLine();
    sec.setBase(base);
}

bool FsDscHead::read(FsSecCl& sec)
{
    uint32_t base = sec.getBase();
    sec.setBase(10);
    int32_t format = 0;
    sec >> format;  // written and read back, not checked
    sec >> kindId;
    std::list<RTTypeID> kinds;
    sec >> kinds;
    if (!sec.hasError()) kindList.swap(kinds);
    sec >> typeId1 >> typeId2 >> typeId3 >> number >> text1 >> text2 >> id1 >> id2;
    sec.setBase(base);
    return !sec.hasError();
}

// ---------------------------------------------------------------------------
// FsDsc

FsDsc::~FsDsc() {}

const RTTypeID& FsDsc::kindId() const
{
    switch (m_kind) {
    case KIND_TO: return fsKindIdTO();
    case KIND_DV: return fsKindIdDV();
    default: return fsKindIdTP();
    }
}

FsSecCl* FsDsc::openSect(const char* name, int32_t mode, FsSecCl* (*factory)())
{
    return openSect(name, mode, factory ? FsSecFactory(factory) : FsSecFactory());
}

FsSecCl* FsDsc::openSect(const char* name, int32_t mode, const FsSecFactory& factory)
{
    FsSecCl* sec = nullptr;
    if (FsSectMan::openSect(name, &sec, uint32_t(mode) & ~FS_MODE_CREATE, factory) == FS_OK) return sec;
    if (sec) CloseSect(name);   // opened, but its content does not read
    return nullptr;
}

uint32_t FsDsc::read_head(FsDscHead& head)
{
    FsSecCl* sec = nullptr;
    if (FsSectMan::openSect("header", &sec, 0) != FS_OK || !sec) return 1;
    sec->reset();
    bool ok = head.read(*sec);
    uint32_t r = CloseSect("header");
    return ok ? r : 1;
}

uint32_t FsDsc::write_head(FsDscHead& head)
{
    // The header names the file's kind: a file without one (a new working
    // file) gets it here.
    FsSecCl* sec = getSect("header", FS_MODE_WRITE);
    if (!sec) return 1;
    head.kindId = kindId();
    if (m_kind == KIND_DV) {
        // A header read back and written again must not name the package
        // kind twice: a device header names it exactly once.
        bool named = false;
        for (const RTTypeID& k : head.kindList) named = named || k == fsKindIdTP();
        if (!named) head.kindList.push_back(fsKindIdTP());
    }
    // A shorter header must not leave the tail of a longer one behind.
    bool ok = sec->setSize(0) == 0;
    if (ok) {
        head.write(*sec);
        ok = !sec->hasError();
    }
    uint32_t r = CloseSect("header");
    return ok ? r : 1;
}

bool FsDsc::checkKind(const FsDscHead& head) const
{
    switch (m_kind) {
    case KIND_TO:
        return isCompatibleRTTypeID(fsKindIdTO(), head.kindId);
    case KIND_TP:
        return isCompatibleRTTypeID(fsKindIdTP(), head.kindId);
    case KIND_DV:
        return isCompatibleRTTypeID(fsKindIdDV(), head.kindId) && head.kindList.size() == 1 &&
               isCompatibleRTTypeID(fsKindIdTP(), head.kindList.front());
    }
    return false;
}

uint32_t FsDsc::openKindFile(const char* path, uint32_t flags, const char* traceFile, const char* method,
                             uint32_t closeFailResult)
{
    if (hasStorage()) return FS_ALREADY_OPEN;
    uint32_t r = FsFileMan::openFile(path, flags);
    if (r != FS_OK) return r;
    if (getMagic() == FsDscHead::FORMAT) {
        FsDscHead head;
        if (read_head(head) == FS_OK && checkKind(head)) return FS_OK;
    }
    if (CloseFile() != FS_OK) {
        TV_TRACE(4, traceFile, method, "error calling CloseFile");
        return closeFailResult;
    }
    return FS_WRONG_KIND;
}

uint32_t FsDsc::createSections(const char* const* names, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        FsSecCl* sec = nullptr;
        uint32_t r = FsSectMan::openSect(names[i], &sec, FS_MODE_CREATE);
        if (r != FS_OK && r != FS_EXISTS) return FS_CREATE_FAILED;
    }
    return FS_OK;
}

// ---------------------------------------------------------------------------
// Technology objects

uint32_t FsTODscFile::createFile(const char* path, bool withOa)
{
    static const char* const names[] = {
        "header", "cfghead", "symb", "unitinterf", "bfinterf", "units", "varval", "varcomment", "varext",
        "varcont", "enums", "bitfield", "const", "bfsymb", "boot", "bfvarcomment", "connectors", "almcfg",
        "almstr", "errmsg", "oa",
    };
    if (fileExists(path)) return FS_EXISTS;
    uint32_t r = FsFileMan::openFile(path, FS_OPEN_CREATE);
    if (r != FS_OK) return r;
    setMagic(FsDscHead::FORMAT);
    r = createSections(names, sizeof(names) / sizeof(names[0]) - (withOa ? 0 : 1));
    if (r != FS_OK) return r;
    return CloseAll();
}

uint32_t FsTODscFile::openExistFile(const char* path, uint32_t flags)
{
    return openKindFile(path, flags, kTraceTO, "FsTODscFile::openExistFile", FS_WRONG_KIND);
}

FsSecCl* FsTODscFile::getKeySect(uint32_t mode)
{
    return getSect("key", mode);
}

// ---------------------------------------------------------------------------
// Packages and devices

namespace {
const char* const kPackageSections[] = {"rttotypes", "licence", "rtcompattptypes"};
}

uint32_t FsTPDscFile::createFile(const char* path)
{
    if (fileExists(path)) return FS_EXISTS;
    uint32_t r = FsFileMan::openFile(path, FS_OPEN_CREATE);
    if (r != FS_OK) return r;
    setMagic(FsDscHead::FORMAT);
    static const char* const header[] = {"header"};
    if (createSections(header, 1) != FS_OK ||
        createSections(kPackageSections, sizeof(kPackageSections) / sizeof(kPackageSections[0])) != FS_OK)
        return FS_CREATE_FAILED;
    FsObjFileBase* obj = new (std::nothrow) FsObjFileBase;
    if (!obj) return FS_FAILED;
    FsSectMan* dir = obj;
    if (OpenDir("code", &dir, FS_MODE_CREATE | FS_MODE_ADOPT) != FS_OK) {
        delete obj;
        return FS_CREATE_FAILED;
    }
    obj->setFlags(obj->getFlags() | FS_MODE_WRITE);
    if (obj->initSections() != FS_OK) return FS_CREATE_FAILED;
    return CloseAll();
}

uint32_t FsTPDscFile::openFile(const char* path, uint32_t flags)
{
    // A package whose close fails after the kind check answers 1.
    return openKindFile(path, flags, m_kind == KIND_DV ? kTraceDV : kTraceTP,
                        m_kind == KIND_DV ? "FsDvDscFile::openExistFile" : "FsTPDscFile::openFile",
                        m_kind == KIND_DV ? FS_WRONG_KIND : FS_FAILED);
}

uint32_t FsTPDscFile::prepareFile(const char* path)
{
    if (!hasStorage()) {
        uint32_t r = FsFileMan::openFile(path, FS_OPEN_WRITE);
        if (r != FS_OK) return r;
        if (getMagic() != FsDscHead::FORMAT) return CloseFile() != FS_OK ? FS_FAILED : FS_WRONG_KIND;
    }
    FsSecCl* head = getSect("header", FS_MODE_WRITE);
    if (!head) return FS_CREATE_FAILED;
    if (head->getSize() != 0) {
        head->reset();
        FsDscHead h;
        if (!h.read(*head) || !checkKind(h)) {
            head->clearError();
            if (head->setSize(0) != 0) return FS_FAILED;
        }
    }
    for (const char* name : kPackageSections)
        if (!getSect(name, FS_MODE_WRITE)) return FS_CREATE_FAILED;
    if (!getDir("code", FS_MODE_WRITE)) return FS_CREATE_FAILED;
    return CloseAll();
}

FsObjFileBase* FsTPDscFile::openObjFile()
{
    FsObjFileBase* obj = new (std::nothrow) FsObjFileBase;
    if (!obj) return nullptr;
    FsSectMan* dir = obj;
    if (OpenDir("code", &dir, (getFlags() & FS_MODE_WRITE) | FS_MODE_ADOPT) != FS_OK) {
        delete obj;
        return nullptr;
    }
    return obj;
}

FsSecCl* FsTPDscFile::openLicenceSect(uint32_t mode)
{
    return openSect("licence", mode);
}

uint32_t FsTPDscFile::closeLicenceSect()
{
    return CloseSect("licence");
}

uint32_t FsDvDscFile::openExistFile(const char* path, uint32_t flags)
{
    return openKindFile(path, flags, kTraceDV, "FsDvDscFile::openExistFile", FS_WRONG_KIND);
}
