// The name-exports importer and its default hooks (see StNameMengeler.h);
// the export is in StNameMengelerExport.cpp.
#include "base/st/stsymtab/StNameMengeler.h"

#include "base/fs/FsSecCl.h"
#include "base/st/stsymtab/StSyTypeTable.h"

namespace {

const char* const kElemTypeNames[] = {
    "VOID", "BOOL", "BYTE", "WORD", "DWORD", "LWORD", "SINT", "INT", "DINT", "LINT", "USINT", "UINT",
    "UDINT", "ULINT", "REAL", "LREAL", "@SYSADR", "@MEMADR", "TIME", "DATE", "TOD", "DT", "_ALARMTYPE",
    "_TASKTYPE",
};
constexpr uint32_t kElemTypeCount = sizeof kElemTypeNames / sizeof kElemTypeNames[0];

// Error code of the stream when lists nest too deep.
constexpr uint32_t kTooDeep = 18;

bool created(StSymbEntryID sid)
{
    return sid.isValid() && sid.get() != 0;
}

}  // namespace

const char* stNeElemTypeName(uint32_t code)
{
    return code < kElemTypeCount ? kElemTypeNames[code] : "@???";
}

int32_t stNeElemTypeCodeOfName(const String& name)
{
    for (uint32_t i = 0; i < kElemTypeCount; ++i)
        if (name == kElemTypeNames[i]) return int32_t(i);
    return -1;
}

StNameMengeler::StNameMengeler() = default;
StNameMengeler::~StNameMengeler() = default;

// ---------------------------------------------------------------------------
// Slots 0-5

bool StNameMengeler::beginImport(StSymbTable* table, FsSecCl* stream, uint32_t& count)
{
    count = 0;
    if (!stream || m_exporting || m_importing || (!table && !m_types)) return false;
    m_table = table;
    m_stream = stream;
    m_count = 0;
    m_depth = 0;
    readHeader(stream, m_count);
    count = m_count;
    m_importing = m_importVersion != 0;
    if (!m_importing) {
        m_stream = nullptr;
        m_table = nullptr;
    }
    return m_importing;
}

StSymbEntryID StNameMengeler::readTOTypeEntry(const String& name, bool import)
{
    StNeEntry e;
    e.kind = NE_TOTYPE;
    bool bad = false;
    if (!m_stream || !e.readFields(*m_stream, m_importVersion, bad)) return ST_INVALID_SID;
    if (!import) return ST_INVALID_SID;
    return importTOType(name, e.hasBase ? &e.baseName : nullptr);
}

bool StNameMengeler::importEntries()
{
    if (!m_importing || !m_stream) return false;
    int32_t count = 0;
    *m_stream >> count;
    if (readFailed()) return false;
    return importCounted(count < 0 ? 0 : uint32_t(count));
}

// ---------------------------------------------------------------------------
// Slots 6-31: the defaults create nothing.

StTypeID StNameMengeler::findNamedType(const String&, const StNeTypeRef&) { return 0; }
StSymbEntryID StNameMengeler::createTypeDef(const String&, StSymbEntryID&, StTypeID, const StNeScope&)
{
    return ST_ZERO_SID;
}
StTypeID StNameMengeler::createArrayType(StTypeID, int32_t, uint32_t, int32_t, uint32_t) { return 0; }
void StNameMengeler::setInitValue(StSymbEntryID, StTypeID, const StNeValue&) {}
void StNameMengeler::createConstant(const String&, StTypeID, const StNeValue*, StSymbEntryID& out)
{
    out = ST_INVALID_SID;
}
StSymbEntryID StNameMengeler::createEnumType(const StNeEntry&, const StNeScope&, StSymbEntryID&)
{
    return ST_ZERO_SID;
}
StSymbEntryID StNameMengeler::createStructType(const StNeEntry&, const std::vector<StTypeID>&, StSymbEntryID&)
{
    return ST_ZERO_SID;
}
bool StNameMengeler::addUsedUnit(StSymbEntryID, const String&, uint32_t) { return false; }
StSymbEntryIDList StNameMengeler::getExtraIds(const StSyBaseSymbEntry*) { return StSymbEntryIDList(); }
bool StNameMengeler::acceptEntry(int32_t, const String&) { return true; }
StSymbEntryID StNameMengeler::createSubrangeType(const String&, const StNeScope&, StSymbEntryID&)
{
    return ST_ZERO_SID;
}
StSymbEntryID StNameMengeler::createVariable(const String&, StTypeID, int32_t, int32_t, bool) { return ST_ZERO_SID; }
StSymbEntryID StNameMengeler::createGlobalVariable(const String&, StTypeID, int32_t, int32_t, bool)
{
    return ST_ZERO_SID;
}
StSymbEntryID StNameMengeler::createSystemVariable(const String&, StTypeID, int32_t, int32_t, bool)
{
    return ST_ZERO_SID;
}
StSymbEntryID StNameMengeler::createInterfaceVariable(const String&, StTypeID, int32_t, int32_t, int32_t, bool)
{
    return ST_ZERO_SID;
}
StSymbEntryID StNameMengeler::createProgramUnit(const String&, int32_t, StTypeID, StSymbEntryID&)
{
    return ST_ZERO_SID;
}
void StNameMengeler::setUnitFrame(StNeUnitFrame) {}
void StNameMengeler::addUnitMember(StSymbEntryID, int32_t, StSymbEntryID, const String&, StTypeID, int32_t, int32_t) {}
StSymbEntryID StNameMengeler::importTOType(const String&, const String*) { return ST_ZERO_SID; }
StSymbEntryID StNameMengeler::importDirectVar(const String&, StTypeID, const StNeScope&, int32_t, bool)
{
    return ST_ZERO_SID;
}
bool StNameMengeler::isKnown(const String&, bool) { return true; }
void StNameMengeler::enterUnitScope() {}
void StNameMengeler::leaveUnitScope() {}
void StNameMengeler::beginEntries() {}
void StNameMengeler::endEntries() {}
void StNameMengeler::onImportError(uint32_t) {}

// ---------------------------------------------------------------------------
// Import

bool StNameMengeler::readFailed() const
{
    return !m_stream || m_stream->hasError();
}

int StNameMengeler::readHeader(FsSecCl* stream, uint32_t& count)
{
    count = 0;
    m_importVersion = stream ? stNeReadHeader(*stream, count) : 0;
    return m_importVersion;
}

bool StNameMengeler::importCounted(uint32_t count)
{
    if (!m_importing || readFailed()) return false;
    if (m_depth >= kStNeMaxDepth) {
        onImportError(1);
        m_stream->setError(kTooDeep);
        return false;
    }
    ++m_depth;
    beginEntries();
    for (uint32_t i = 0; i < count && !readFailed(); ++i) {
        uint32_t status = 1;
        const StSymbEntryID sid = readEntry(status);
        if (!created(sid) || status != 0) onImportError(0);
    }
    endEntries();
    --m_depth;
    return !readFailed();
}

StSymbEntryID StNameMengeler::readEntry(uint32_t& status)
{
    status = 1;
    if (!m_importing || readFailed()) return ST_INVALID_SID;
    StNeEntry e;
    if (!e.readHead(*m_stream) || e.kind < 0 || e.kind >= NE_NOT_EXPORTED) {
        onImportError(1);
        return ST_INVALID_SID;
    }
    const bool known = isKnown(e.name, e.kind == NE_TOTYPE);
    const bool create = !known && acceptEntry(e.kind, e.name);
    StSymbEntryID sid = ST_INVALID_SID;
    bool bad = false;
    if (e.kind == NE_TOTYPE) {
        sid = readTOTypeEntry(e.name, create);
    } else if (e.kind == NE_PROGRAM_UNIT) {
        sid = readProgramUnit(e, create, bad);
    } else if (e.readFields(*m_stream, m_importVersion, bad, m_depth)) {
        // Type references belong to the parse, known entry or not.
        sid = createEntry(e, create);
    }
    if (bad) onImportError(1);
    if (bad || readFailed()) return ST_INVALID_SID;
    status = known ? 2 : created(sid) ? 0 : 1;
    return sid;
}

StSymbEntryID StNameMengeler::createEntry(const StNeEntry& e, bool create)
{
    StSymbEntryID sid = ST_INVALID_SID;
    StTypeID type = ST_INVALID_TID;
    switch (e.kind) {
    case NE_TYPEDEF:
    case NE_ARRAY:
        type = resolveTypeRef(e.type);
        if (e.kind == NE_ARRAY)
            type = type != ST_INVALID_TID ? createArrayType(type, e.lower, e.count, 0, 0) : ST_INVALID_TID;
        if (create) {
            StSymbEntryID out;
            sid = createTypeDef(e.name, out, type, m_unitRange);
        }
        break;
    case NE_ENUM:
        if (create) {
            StSymbEntryID out;
            sid = createEnumType(e, m_unitRange, out);
        }
        break;
    case NE_STRUCT: {
        std::vector<StTypeID> members;
        for (const StNeEntry::Member& m : e.members) members.push_back(resolveTypeRef(m.type));
        if (create) {
            StSymbEntryID out;
            sid = createStructType(e, members, out);
        }
        break;
    }
    case NE_SUBRANGE:
        if (create) {
            StSymbEntryID out;
            sid = createSubrangeType(e.name, m_unitRange, out);
        }
        break;
    case NE_CONSTANT:
        type = resolveTypeRef(e.type);
        if (create) createConstant(e.name, type, e.init.present ? &e.init.value : nullptr, sid);
        return sid;
    case NE_VARIABLE:
    case NE_GLOBAL:
    case NE_SYSVAR:
        type = resolveTypeRef(e.type);
        if (!create) break;
        sid = e.kind == NE_VARIABLE ? createVariable(e.name, type, e.address, e.accessMode, e.flag)
              : e.kind == NE_GLOBAL ? createGlobalVariable(e.name, type, e.address, e.accessMode, e.flag)
                                    : createSystemVariable(e.name, type, e.address, e.accessMode, e.flag);
        break;
    case NE_INTERFACE:
        type = resolveTypeRef(e.type);
        if (create) sid = createInterfaceVariable(e.name, type, e.address, e.sysAddress, e.accessMode, e.flag);
        break;
    case NE_DIRECT_VAR:
        type = resolveTypeRef(e.type);
        if (create) sid = importDirectVar(e.name, type, m_unitRange, e.address, e.flag);
        return sid;
    default:
        return sid;
    }
    if (created(sid) && e.init.present) setInitValue(sid, type, e.init.value);
    return sid;
}

StSymbEntryID StNameMengeler::readProgramUnit(StNeEntry& e, bool create, bool& bad)
{
    FsSecCl& s = *m_stream;
    if (!e.readUnitHead(s, bad)) return ST_INVALID_SID;
    const StTypeID result = e.unitKind == 6 ? resolveTypeRef(e.type) : ST_INVALID_TID;
    StSymbEntryID sid = ST_INVALID_SID;
    if (create) {
        StSymbEntryID out;
        sid = createProgramUnit(e.name, e.unitKind, result, out);
        for (uint32_t i = 0; i < e.usedUnits.size(); ++i) addUsedUnit(sid, e.usedUnits[i], i);
    }
    enterUnitScope();
    const bool lists = importEntries() && (e.unitKind == 6 || importEntries());
    leaveUnitScope();
    if (!lists || !e.readUnitTail(s, m_importVersion)) return ST_INVALID_SID;
    if (create) {
        setUnitFrame(StNeUnitFrame{sid.get(), e.unitKind, uint32_t(e.frameFlag), e.layout1, e.layout2, e.word3,
                                   e.word4, e.number, e.frameWord, uint32_t(e.usedUnits.size())});
    }
    return sid;
}

bool StNameMengeler::readInitValue(StNeInit& init)
{
    bool bad = false;
    if (!m_stream || readFailed()) return false;
    if (init.read(*m_stream, bad)) return true;
    if (bad) onImportError(1);
    return false;
}

StTypeID StNameMengeler::readTypeRef()
{
    StNeTypeRef ref;
    if (!m_stream || readFailed() || !ref.read(*m_stream)) return ST_INVALID_TID;
    return resolveTypeRef(ref);
}

StTypeID StNameMengeler::resolveTypeRef(const StNeTypeRef& ref, int depth)
{
    if (depth > kStNeMaxDepth) return ST_INVALID_TID;
    StTypeID tid = ST_INVALID_TID;
    const int32_t code = stNeElemTypeCodeOfName(ref.name);
    if (ref.isAnonymousArray()) {
        const StTypeID element = ref.element ? resolveTypeRef(*ref.element, depth + 1) : ST_INVALID_TID;
        if (element != ST_INVALID_TID) tid = createArrayType(element, ref.lower, ref.count, ref.size, ref.alignment);
    } else if (code >= 0) {
        tid = StTypeID(code);
    } else if (ref.name == "STRING") {
        if (m_types) tid = m_types->createStringType(ref.size - 2);
    } else {
        tid = findNamedType(ref.name, ref);
    }
    if (m_types && tid != ST_INVALID_TID && m_types->findNode(tid) &&
        (m_types->getSize(tid) != ref.size || m_types->getAlignment(tid) != ref.alignment))
        onImportError(0);
    return tid;
}

bool StNameMengeler::writeElemTypeName(uint32_t code)
{
    if (!m_stream) return false;
    *m_stream << String(stNeElemTypeName(code));
    m_stream->putBlank();
    return code < kElemTypeCount && !m_stream->hasError();
}

void StNameMengeler::endImport()
{
    m_importing = false;
    m_stream = nullptr;
    m_table = nullptr;
    m_depth = 0;
}
