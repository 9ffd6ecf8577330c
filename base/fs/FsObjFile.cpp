#include "base/fs/FsObjFile.h"

#include <algorithm>
#include <cstring>

#include "co/TraceApi.h"

namespace {

const char* const kTraceFile = "base/fs/fs_obj";

void putLE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// The 16 bytes of a GUID as it lies in memory (Data1..Data3 little-endian).
void guidBytes(const GUID& g, uint8_t out[16])
{
    putLE32(out, g.Data1);
    out[4] = uint8_t(g.Data2);
    out[5] = uint8_t(g.Data2 >> 8);
    out[6] = uint8_t(g.Data3);
    out[7] = uint8_t(g.Data3 >> 8);
    std::memcpy(out + 8, g.Data4, 8);
}

GUID guidFromBytes(const uint8_t b[16])
{
    GUID g;
    g.Data1 = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    g.Data2 = uint16_t(b[4] | b[5] << 8);
    g.Data3 = uint16_t(b[6] | b[7] << 8);
    std::memcpy(g.Data4, b + 8, 8);
    return g;
}

bool hashGuid(CoCryptHashStream& h, const GUID& g)
{
    uint8_t b[16];
    guidBytes(g, b);
    return h.hashData(b, 16);
}

struct SectClass {
    const char* name;
    FsSecFactory (*make)();
};

template <class T>
FsSecFactory factoryOf()
{
    return &fsNewSection<T>;
}

const SectClass kSectClasses[] = {
    {"header", factoryOf<FsSecObjHead>},
    {"code", factoryOf<FsSecCode>},
    {"data", factoryOf<FsSecData>},
    {"bss_seg", factoryOf<FsSecData>},
    {"debug", factoryOf<FsSecLinNr>},
    {"symb", factoryOf<FsSecSymbTab>},
    {"externrefs", factoryOf<FsSecExtTable>},
    {"unitinterf", factoryOf<FsSecUnInterface>},
    {"unitused", factoryOf<FsSecUnUseTable>},
    {"funcexport", factoryOf<FsSecUnFuncExportTable>},
    {"progstate", factoryOf<FsSecProgState>},
    {"alarmrefs", factoryOf<FsSecAlarmUsing>},
    {"bss_symbolic", factoryOf<FsSecUnDataEx>},
    {"unittoadrrefs", factoryOf<FsSecDataDescr>},
    {"values", factoryOf<FsSecCValue>},
};

}  // namespace

// ===========================================================================
// FsBinAdm

FsBinAdm::~FsBinAdm() {}

FsSecFactory FsBinAdm::factoryFor(const char* name)
{
    if (name)
        for (const SectClass& c : kSectClasses)
            if (std::strcmp(c.name, name) == 0) return c.make();
    return &fsNewSection<FsSecCl>;
}

FsSecCl* FsBinAdm::openObject(const char* name) const
{
    auto it = m_sections.find(String(name));
    return it == m_sections.end() ? nullptr : it->second;
}

bool FsBinAdm::holdsOpen(const char* name, const FsSecCl* sec) const
{
    return sec && openObject(name) == sec;
}

FsSecCl* FsBinAdm::cachedSect(const char* name, FsSecCl*& slot, uint32_t mode)
{
    if (holdsOpen(name, slot)) return slot;
    slot = nullptr;
    FsSecCl* sec = nullptr;
    FsSectMan::openSect(name, &sec, mode, factoryFor(name));
    slot = sec;
    return sec;
}

uint32_t FsBinAdm::openReadable(const char* name, FsSecCl*& sec, uint32_t mode)
{
    sec = nullptr;
    uint32_t r = FsSectMan::openSect(name, &sec, mode, factoryFor(name));
    if (r != FS_OK && sec) {
        CloseSect(name);
        sec = nullptr;
    }
    return r;
}

uint32_t FsBinAdm::openForReading(const char* name, FsSecCl*& sec)
{
    sec = nullptr;
    if (getType(name) != 1 || GetSize(name) == 0) return FS_OK;
    return openReadable(name, sec, 0);
}

uint32_t FsBinAdm::finishReading(const char* name, bool ok)
{
    uint32_t r = CloseSect(name);
    return ok ? r : FS_FAILED;
}

uint32_t FsBinAdm::readWith(const char* name, const FsSecLoader& load)
{
    FsSecCl* sec = nullptr;
    uint32_t r = openForReading(name, sec);
    if (r != FS_OK || !sec) return r;
    sec->reset();
    bool ok = load && load(*sec) && !sec->hasError();
    return finishReading(name, ok);
}

uint32_t FsBinAdm::readSymbTab(const FsSecLoader& load)
{
    return readWith("symb", load);
}

uint32_t FsBinAdm::readUnitInterface(const FsSecLoader& load)
{
    return readWith("unitinterf", load);
}

uint32_t FsBinAdm::readBssSymbolic(const FsSecLoader& load)
{
    return readWith("bss_symbolic", load);
}

uint32_t FsBinAdm::readExtRefs(std::vector<FsExtUnitRef>* units, std::vector<FsExtTypeRef>* types2,
                               std::vector<FsExtTypeRef>* types3, std::vector<FsExtTypeName>* names,
                               std::vector<FsExtTypeNumber>* numbers)
{
    return readWith("externrefs", [&](FsSecCl& sec) {
        return static_cast<FsSecExtTable&>(sec).readTable(units, types2, types3, names, numbers);
    });
}

uint32_t FsBinAdm::readUnitUsed(std::vector<FsUnitUsedEntry>& list, uint32_t mode)
{
    std::vector<FsUnitUsedEntry> entries;
    uint32_t r = readWith(
        "unitused", [&entries](FsSecCl& sec) { return static_cast<FsSecUnUseTable&>(sec).readTable(entries); });
    if (r != FS_OK) return r;
    if (mode == 2) {
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [](const FsUnitUsedEntry& e) { return (e.flags & 1) == 0; }),
                      entries.end());
    } else if (mode == 1) {
        entries.erase(std::remove_if(entries.begin(), entries.end(), [](const FsUnitUsedEntry& e) { return !e.used; }),
                      entries.end());
        std::stable_sort(entries.begin(), entries.end(),
                         [](const FsUnitUsedEntry& a, const FsUnitUsedEntry& b) { return a.number < b.number; });
        // Counted in 32 bits: tables of more than 255 used units are fine.
        uint32_t expected = 1;
        for (const FsUnitUsedEntry& e : entries) {
            if (e.number != expected) {
                list.insert(list.end(), entries.begin(), entries.end());
                return FS_WRONG_KIND;
            }
            ++expected;
        }
    }
    list.insert(list.end(), entries.begin(), entries.end());
    return FS_OK;
}

uint32_t FsBinAdm::readFuncExport(std::vector<FsFuncExport>& list)
{
    return readWith("funcexport",
                    [&list](FsSecCl& sec) { return static_cast<FsSecUnFuncExportTable&>(sec).readTable(list); });
}

uint32_t FsBinAdm::readAlarmRefs(std::vector<FsAlarmRef>& list)
{
    return readWith("alarmrefs",
                    [&list](FsSecCl& sec) { return static_cast<FsSecAlarmUsing&>(sec).readTable(list); });
}

FsSecSymbTab* FsBinAdm::getSymbSect(uint32_t mode)
{
    return dynamic_cast<FsSecSymbTab*>(cachedSect("symb", m_symb, mode));
}

FsSecUnInterface* FsBinAdm::getUnitInterfaceSect(uint32_t mode)
{
    return dynamic_cast<FsSecUnInterface*>(cachedSect("unitinterf", m_unitInterf, mode));
}

FsSecUnDataEx* FsBinAdm::getBssSymbolicSect(uint32_t mode)
{
    return dynamic_cast<FsSecUnDataEx*>(cachedSect("bss_symbolic", m_bssSymbolic, mode));
}

FsSecProgState* FsBinAdm::getProgStateSect(uint32_t mode)
{
    return dynamic_cast<FsSecProgState*>(cachedSect("progstate", m_progState, mode));
}

FsSecCl* FsBinAdm::getFuncTreeSect(uint32_t mode)
{
    return cachedSect("func_tree", m_funcTree, mode);
}

void FsBinAdm::getCopyOfFuncTree(IStream** out)
{
    getCopyOfSect(out, "func_tree");
}

// ===========================================================================
// FsObjFileBase

FsObjFileBase::~FsObjFileBase() {}

uint32_t FsObjFileBase::initSections()
{
    static const char* const names[] = {
        "header", "unitused", "unitinterf", "bss_symbolic", "externrefs", "unittoadrrefs", "code",
        "values", "debug", "symb", "funcexport", "progstate", "alarmrefs", "func_tree",
    };
    for (const char* name : names) {
        FsSecCl* sec = nullptr;
        uint32_t r = FsSectMan::openSect(name, &sec, FS_MODE_CREATE, factoryFor(name));
        if (r != FS_OK && r != FS_EXISTS) return FS_CREATE_FAILED;
    }
    FsSectMan* dir = nullptr;
    uint32_t r = OpenDir("cross_refdir", &dir, FS_MODE_CREATE);
    if (r != FS_OK && r != FS_EXISTS) return FS_CREATE_FAILED;
    return CloseAll();
}

bool FsObjFileBase::hashCode(CoCryptHashStream& hash)
{
    return hashSect(hash, "code");
}

bool FsObjFileBase::hashSect(CoCryptHashStream& hash, const char* name)
{
    FsSecCl* sec = openObject(name);
    bool openedHere = false;
    if (!sec) {
        FsSectMan::openSect(name, &sec, 0, factoryFor(name));
        if (!sec) return false;
        openedHere = true;
    }
    // Taking the stream back may reload the window at 0; a section that stays
    // open keeps its position.
    const uint32_t pos = sec->tell();
    IStream* stream = nullptr;
    bool ok = sec->getIStreamPtr(&stream) == 0 && stream;
    if (ok) {
        ok = hash.hashStream(stream, 0);
        stream->Release();
        if (sec->reloadIfChanged() != 0) ok = false;
        if (!openedHere) sec->seek(int32_t(pos), 0);
    }
    if (openedHere && CloseSect(name) != FS_OK) {
        TV_TRACE(4, kTraceFile, "FsObjFileBase::hashSect", "error calling CloseSect");
        ok = false;
    }
    return ok;
}

uint32_t FsObjFileBase::getHeader(FsObjHeadData& head)
{
    FsSecCl* sec = nullptr;
    uint32_t r = openReadable("header", sec, 0);
    if (r != FS_OK) return r;
    auto* h = dynamic_cast<FsSecObjHead*>(sec);
    if (!h || h->hasError()) {
        CloseSect("header");
        return FS_FAILED;
    }
    head = h->data();
    return CloseSect("header");
}

uint32_t FsObjFileBase::setHeader(const FsObjHeadData& head)
{
    FsSecCl* sec = nullptr;
    uint32_t r = FsSectMan::openSect("header", &sec, FS_MODE_WRITE, factoryFor("header"));
    if (r == FS_NOT_FOUND) r = FsSectMan::openSect("header", &sec, FS_MODE_CREATE, factoryFor("header"));
    // A header that does not read is handed out all the same and replaced
    // as a whole.
    if (!sec) return r;
    auto* h = dynamic_cast<FsSecObjHead*>(sec);
    if (!h) {
        CloseSect("header");
        return FS_FAILED;
    }
    h->clearError();
    h->setData(head);
    return CloseSect("header");
}

uint32_t FsObjFileBase::clearHeaderFlags()
{
    FsSecCl* sec = nullptr;
    uint32_t r = openReadable("header", sec, FS_MODE_WRITE);
    if (r != FS_OK) return r;
    auto* h = dynamic_cast<FsSecObjHead*>(sec);
    if (!h) {
        CloseSect("header");
        return FS_FAILED;
    }
    h->data().bools[0] = false;
    h->data().bools[1] = false;
    h->setChanged();
    return CloseSect("header");
}

FsSecCode* FsObjFileBase::getCodeSect(uint32_t mode)
{
    return dynamic_cast<FsSecCode*>(cachedSect("code", m_code, mode));
}

FsSecData* FsObjFileBase::getDataSect(uint32_t mode)
{
    return dynamic_cast<FsSecData*>(cachedSect("data", m_data, mode));
}

FsSecData* FsObjFileBase::getBssSect(uint32_t mode)
{
    return dynamic_cast<FsSecData*>(cachedSect("bss_seg", m_bss, mode));
}

FsSecLinNr* FsObjFileBase::getDebugSect(uint32_t mode)
{
    return dynamic_cast<FsSecLinNr*>(cachedSect("debug", m_debug, mode));
}

FsSecDataDescr* FsObjFileBase::getUnitToAdrRefs(uint32_t mode)
{
    FsSecCl* sec = nullptr;
    FsSectMan::openSect("unittoadrrefs", &sec, mode, factoryFor("unittoadrrefs"));
    return dynamic_cast<FsSecDataDescr*>(sec);
}

FsSecCValue* FsObjFileBase::getValues(uint32_t mode)
{
    FsSecCl* sec = nullptr;
    FsSectMan::openSect("values", &sec, mode, factoryFor("values"));
    return dynamic_cast<FsSecCValue*>(sec);
}

FsSecCl* FsObjFileBase::getDccBlockRefs(uint32_t mode)
{
    if (mode & FS_MODE_CREATE) {
        if (renewSect("dcc_blockrefs", true) != FS_OK) return nullptr;
        mode = (mode & ~FS_MODE_CREATE) | FS_MODE_WRITE;
    }
    FsSecCl* sec = nullptr;
    if (FsSectMan::openSect("dcc_blockrefs", &sec, mode) != FS_OK) return nullptr;
    return sec;
}

bool FsObjFileBase::getCrossRefDir(IStorage** out)
{
    if (!out) return false;
    *out = nullptr;
    FsSectMan* dir = nullptr;
    uint32_t r = OpenDir("cross_refdir", &dir, FS_MODE_WRITE);
    if (r != FS_OK) r = OpenDir("cross_refdir", &dir, FS_MODE_CREATE);
    if (r != FS_OK || !dir) return false;
    return dir->getIStoragePtr(out);
}

uint32_t FsObjFileBase::renewSect(const char* name, bool destroyFirst)
{
    FsSecCl* sec = nullptr;
    if (destroyFirst) {
        uint32_t r = DestroySect(name);
        if (r != FS_OK && r != FS_NOT_FOUND) return r;
        if (FsSectMan::openSect(name, &sec, FS_MODE_CREATE) != FS_OK) return FS_OPEN_FAILED;
    } else {
        uint32_t r = FsSectMan::openSect(name, &sec, FS_MODE_WRITE);
        if (r == FS_NOT_FOUND) r = FsSectMan::openSect(name, &sec, FS_MODE_CREATE);
        if (r != FS_OK) return r;
    }
    return CloseSect(name);
}

uint32_t FsObjFileBase::writeTraceCondition(const FsTraceCondition& cond)
{
    uint32_t r = renewSect("trace_condition", true);
    if (r != FS_OK) return r;
    FsSecCl* sec = nullptr;
    r = FsSectMan::openSect("trace_condition", &sec, FS_MODE_WRITE);
    if (r != FS_OK) return r;
    FsSecCl& s = *sec;
    s << cond.name;
    s.putNewLine();
    s << cond.guid;
    s.putNewLine();
    for (const GUID& g : cond.guids) {
        s << g;
        s.putNewLine();
    }
    s << cond.value1;
    s.putNewLine();
    s << cond.value2;
    s.putNewLine();
    s << cond.value3;
    s.putNewLine();
    bool ok = !s.hasError();
    r = CloseSect("trace_condition");
    return ok ? r : FS_FAILED;
}

uint32_t FsObjFileBase::readTraceCondition(FsTraceCondition& cond)
{
    FsSecCl* sec = nullptr;
    uint32_t r = FsSectMan::openSect("trace_condition", &sec, 0);
    if (r != FS_OK) return r;
    FsSecCl& s = *sec;
    FsTraceCondition c;
    s >> c.name >> c.guid;
    for (GUID& g : c.guids) s >> g;
    s >> c.value1 >> c.value2 >> c.value3;
    bool ok = !s.hasError();
    r = CloseSect("trace_condition");
    if (!ok) return FS_FAILED;
    // A condition stored for another unit name does not apply.
    if (c.name != cond.name) c.value3 = 0x7FFFFFFF;
    cond = c;
    return r;
}

bool FsObjFileBase::computeCodeVersion(FsObjHeadData& head, bool withRefs)
{
    CoCryptHashStream h1;
    bool ok = hashCode(h1) && hashSect(h1, "values") && (!withRefs || hashSect(h1, "unittoadrrefs"));
    if (ok) {
        std::vector<FsUnitUsedEntry> units;
        ok = readUnitUsed(units, 0) == FS_OK;
        for (size_t i = 0; ok && i < units.size(); ++i) {
            const FsUnitUsedEntry& u = units[i];
            if (!u.used || (u.flags & 0xC) == 0xC) continue;
            uint8_t ver[4];
            putLE32(ver, u.version);
            ok = (u.name.empty() || h1.hashData(reinterpret_cast<const uint8_t*>(u.name.chars()),
                                                uint32_t(u.name.length()))) &&
                 hashGuid(h1, u.guid) && h1.hashData(ver, 4);
        }
    }
    if (ok) ok = hashGuid(h1, head.codeGuid);
    for (size_t i = 0; ok && i < head.translations.size(); ++i) {
        uint8_t rec[FsAddrTranslEntry::RECORD_SIZE];
        head.translations[i].toRecord(rec);
        ok = h1.hashData(rec, FsAddrTranslEntry::RECORD_SIZE);
    }
    if (ok) ok = hashGuid(h1, head.guid1);
    uint8_t digest1[16] = {0};
    if (ok) ok = h1.getHash16(digest1);
    if (!ok) return false;

    uint8_t digest2[16];
    if (withRefs) {
        std::memcpy(digest2, digest1, 16);
    } else {
        CoCryptHashStream h2;
        static const char kTag[] = "CodeVersion V4.1";
        ok = h2.hashData(digest1, 16) && hashSect(h2, "unittoadrrefs") &&
             h2.hashData(reinterpret_cast<const uint8_t*>(kTag), 16) && h2.getHash16(digest2);
        if (!ok) return false;
    }
    head.codeGuid = guidFromBytes(digest2);
    head.guid1 = guidFromBytes(digest1);
    return true;
}

// ===========================================================================
// FsObjFile

FsObjFile::~FsObjFile() {}

uint32_t FsObjFile::open_exist_file(const char* path, uint32_t flags)
{
    if (hasStorage()) return FS_ALREADY_OPEN;
    uint32_t r = openFile(path, flags);
    if (r != FS_OK) return r;
    if (getMagic() == MAGIC) return FS_OK;
    if (CloseFile() != FS_OK) TV_TRACE(4, kTraceFile, "FsObjFile::open_exist_file", "error calling CloseFile");
    return FS_WRONG_KIND;
}
