// The header rewrite of a name-exports section (see NameExportFile.h). The
// entry layout is the one the name exporter writes; every field is read
// from the input and written to the output in the same text form, each
// followed by a blank.
#include "tools/md/tavolin/NameExportFile.h"

#include "base/fs/FsSecClMem.h"

const String g_nameExportsV1("Name_Exports_V0.5");
const String g_nameExportsV2("Name_Exports_V3.1");

namespace {

// Entry kinds of a name-exports section.
enum : int32_t {
    NeTypeDef = 0, NeArray = 1, NeEnum = 2, NeStruct = 3, NeSubrange = 4, NeConstant = 5, NeVariable = 6,
    NeGlobal = 7, NeSysVar = 8, NeInterface = 9, NeProgramUnit = 10, NeTOType = 11, NeDirectVar = 12,
};

// Constant kinds of an initial value.
enum : int32_t { CvElementary = 0, CvStruct = 1, CvString = 2, CvIntArray = 3, CvPackageInit = 4 };

}  // namespace

int NameExportFile::versionOf(const String& word)
{
    if (word == g_nameExportsV1) return 1;
    if (word == g_nameExportsV2) return 2;
    return 0;
}

template <class T>
bool NameExportFile::copy()
{
    T v{};
    *m_in >> v;
    if (m_in->hasError()) return false;
    *m_out << v;
    m_out->putBlank();
    return true;
}

bool NameExportFile::copyString()
{
    String s;
    *m_in >> s;
    if (m_in->hasError()) return false;
    *m_out << s;
    m_out->putBlank();
    return true;
}

// A type reference: the name, for "$$" the element type, the lower bound
// and the count, then size and alignment.
bool NameExportFile::convertTypeRef(int depth)
{
    if (depth > kMaxDepth) return false;
    String name;
    *m_in >> name;
    if (m_in->hasError()) return false;
    *m_out << name;
    m_out->putBlank();
    if (name == "$$" && !(convertTypeRef(depth + 1) && copy<int32_t>() && copy<uint32_t>())) return false;
    return copy<int32_t>() && copy<uint32_t>();
}

// The value-only form of a constant of the kind.
bool NameExportFile::convertConstant(int16_t kind, int depth)
{
    if (depth > kMaxDepth) return false;
    switch (kind) {
    case CvElementary: {
        int32_t type = 0;
        *m_in >> type;
        if (m_in->hasError()) return false;
        *m_out << type;
        m_out->putBlank();
        if (!copy<int32_t>()) return false;  // sign
        switch (type) {
        case 1: case 2: case 6: case 10: return copy<uint8_t>();
        case 3: case 7: case 11: return copy<uint16_t>();
        case 4: case 8: case 12: case 17: case 18: case 19: case 20: case 22: case 23: case 31:
            return copy<uint32_t>();
        case 14: return copy<float>();
        case 15: case 32: return copy<double>();
        case 16: return copy<uint16_t>() && copy<uint16_t>() && copy<uint32_t>();
        case 21: return copy<uint32_t>() && copy<uint32_t>();
        default: return true;  // no value
        }
    }
    case CvStruct: {
        int32_t count = 0;
        *m_in >> count;
        if (m_in->hasError()) return false;
        *m_out << count;
        m_out->putBlank();
        for (int32_t i = 0; i < count; ++i) {
            int32_t member = 0;
            *m_in >> member;
            if (m_in->hasError()) return false;
            *m_out << member;
            m_out->putBlank();
            if (member < CvElementary || member > CvPackageInit) return false;
            if (!convertConstant(int16_t(member), depth + 1)) return false;
        }
        return true;
    }
    case CvString:
        return copy<uint8_t>() && copyString();
    case CvIntArray:
    case CvPackageInit: {
        int32_t n = 0;
        *m_in >> n;
        if (m_in->hasError()) return false;
        *m_out << n;
        m_out->putBlank();
        if (!copy<int32_t>()) return false;  // element size
        if (n != 0) {
            int32_t element = 0;
            *m_in >> element;
            if (m_in->hasError()) return false;
            *m_out << element;
            m_out->putBlank();
            if (element < CvElementary || element > CvPackageInit) return false;
            if (!convertConstant(int16_t(element), depth + 1)) return false;
        }
        if (kind == CvIntArray) return true;
        if (!copy<uint32_t>()) return false;  // 17
        RTTypeID package;
        *m_in >> package;
        if (m_in->hasError()) return false;
        *m_out << package;
        m_out->putBlank();
        return copy<int32_t>();  // FCT
    }
    }
    return false;
}

// The presence flag and, when set, the kind and the value-only form; only
// kinds 0, 1, 2 and 4 stand as initial values.
bool NameExportFile::convertInitValue()
{
    int16_t present = 0;
    *m_in >> present;
    if (m_in->hasError()) return false;
    *m_out << present;
    m_out->putBlank();
    if (present == 0) return true;
    int16_t kind = 0;
    *m_in >> kind;
    if (m_in->hasError()) return false;
    *m_out << kind;
    m_out->putBlank();
    if (kind != CvElementary && kind != CvStruct && kind != CvString && kind != CvPackageInit) {
        m_failed = true;
        return false;
    }
    return convertConstant(kind, 0);
}

// A count and that many complete entries.
bool NameExportFile::convertList(int depth)
{
    uint32_t count = 0;
    *m_in >> count;
    if (m_in->hasError()) return false;
    *m_out << count;
    m_out->putBlank();
    for (uint32_t i = 0; i < count; ++i)
        if (!convertEntry(depth + 1)) return false;
    return true;
}

bool NameExportFile::convertEntry(int depth)
{
    if (depth > kMaxDepth) return false;
    int32_t kind = 0;
    *m_in >> kind;
    if (m_in->hasError()) return false;
    *m_out << kind;
    m_out->putBlank();
    if (!copyString()) return false;
    switch (kind) {
    case NeTypeDef:
    case NeConstant:
        return convertTypeRef(depth) && convertInitValue();
    case NeArray:
        return convertTypeRef(depth) && copy<int32_t>() && copy<uint32_t>() && convertInitValue();
    case NeEnum: {
        uint32_t count = 0;
        *m_in >> count;
        if (m_in->hasError()) return false;
        *m_out << count;
        m_out->putBlank();
        for (uint32_t i = 0; i < count; ++i)
            if (!(copyString() && copy<int32_t>())) return false;
        int32_t hasInit = 0;
        *m_in >> hasInit;
        if (m_in->hasError()) return false;
        *m_out << hasInit;
        m_out->putBlank();
        if (hasInit != 0 && !copyString()) return false;
        uint32_t ids = 0;
        *m_in >> ids;
        if (m_in->hasError()) return false;
        *m_out << ids;
        m_out->putBlank();
        for (uint32_t i = 0; i < ids; ++i)
            if (!copy<uint32_t>()) return false;
        return copy<int32_t>() && copy<uint32_t>();
    }
    case NeStruct: {
        uint32_t count = 0;
        *m_in >> count;
        if (m_in->hasError()) return false;
        *m_out << count;
        m_out->putBlank();
        for (uint32_t i = 0; i < count; ++i)
            if (!(copyString() && convertTypeRef(depth) && convertInitValue())) return false;
        return copy<int32_t>() && copy<uint32_t>();
    }
    case NeSubrange:
        return true;
    case NeVariable:
    case NeGlobal:
    case NeSysVar:
        return convertTypeRef(depth) && convertInitValue() && copy<int32_t>() && copy<int32_t>() && copy<bool>();
    case NeInterface:
        return convertTypeRef(depth) && convertInitValue() && copy<int32_t>() && copy<int32_t>() &&
               copy<int32_t>() && copy<bool>();
    case NeProgramUnit: {
        int32_t unitKind = 0;
        *m_in >> unitKind;
        if (m_in->hasError()) return false;
        *m_out << unitKind;
        m_out->putBlank();
        if (unitKind < 6 || unitKind > 8) {
            m_failed = true;
            return false;
        }
        if (unitKind == 6) {
            if (!convertTypeRef(depth)) return false;
        } else {
            uint32_t used = 0;
            *m_in >> used;
            if (m_in->hasError()) return false;
            *m_out << used;
            m_out->putBlank();
            for (uint32_t i = 0; i < used; ++i)
                if (!copyString()) return false;
        }
        if (!convertList(depth)) return false;                        // list A
        if (unitKind != 6 && !convertList(depth)) return false;       // list B
        if (!(copy<bool>() && copy<uint32_t>() && copy<int32_t>() && copy<uint32_t>() && copy<int32_t>() &&
              copy<int32_t>()))
            return false;
        // The trailing frame word exists in version 2 only.
        int32_t frame = -1;
        if (m_version == 2) {
            *m_in >> frame;
            if (m_in->hasError()) return false;
        }
        if (m_requested == 2) {
            *m_out << frame;
            m_out->putBlank();
        }
        return true;
    }
    case NeTOType: {
        int32_t hasBase = 0;
        *m_in >> hasBase;
        if (m_in->hasError()) return false;
        *m_out << hasBase;
        m_out->putBlank();
        return hasBase == 0 || copyString();
    }
    case NeDirectVar:
        return convertTypeRef(depth) && copy<int32_t>() && copy<bool>();
    }
    // Kind 13 and unknown kinds are not converted.
    m_failed = true;
    return false;
}

int NameExportFile::update(FsSecCl* section, int version)
{
    if (!section) return 1;
    m_in = section;
    m_in->clearError();
    m_in->reset();
    m_in->setBase(16);
    m_count = 0;
    *m_in >> m_count;
    m_in->setBase(10);
    String word;
    *m_in >> word;
    m_version = m_in->hasError() ? 0 : versionOf(word);
    m_requested = version == 1 || version == 2 ? version : 0;
    if (m_in->hasError() || m_version == 0 || m_requested == 0) {
        m_in->clearError();
        return 1;
    }
    if (m_version == m_requested) return 0;

    FsSecClMem out;
    m_out = &out;
    m_failed = false;
    out.setBase(10);
    out << "            ";
    out << (m_requested == 2 ? g_nameExportsV2 : g_nameExportsV1);
    if (!out.hasError()) out.putBlank();
    const uint32_t body = out.tell();
    out.seek(0, 0);
    out.setBase(16);
    out << m_count;
    out.seek(int32_t(body), 0);
    out.setBase(10);

    bool ok = true;
    for (uint32_t i = 0; ok && i < m_count; ++i) ok = convertEntry(0);
    m_out = nullptr;
    const bool good = ok && !m_failed && !m_in->hasError() && !out.hasError();
    m_in->clearError();
    if (!good) return 2;
    out.reset();
    if (m_in->setSize(0) != 0) return 2;
    m_in->copyFrom(out);
    return m_in->hasError() || out.hasError() ? 2 : 0;
}
