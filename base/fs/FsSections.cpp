#include "base/fs/FsSections.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

bool isSeparator(char c)
{
    return c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

void putLE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void putLE16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

// Keeps the number base of a section for the length of a scope.
class BaseScope {
public:
    BaseScope(FsSecCl& s, uint32_t base) : m_s(s), m_old(s.getBase()) { s.setBase(base); }
    ~BaseScope() { m_s.setBase(m_old); }

private:
    FsSecCl& m_s;
    uint32_t m_old;
};

}  // namespace

// ===========================================================================
// FsSecVersioned

void FsSecVersioned::writeVersionLine(const char* version)
{
    BaseScope b(*this, 10);
    *this << String(version);
    putNewLine();
}

bool FsSecVersioned::readVersionText(String& text)
{
    *this >> text;
    return !hasError();
}

bool FsSecVersioned::readVersion(const char* expected)
{
    String text;
    if (!readVersionText(text)) return false;
    if (text != String(expected)) {
        m_wrongVersion = true;
        return false;
    }
    return true;
}

bool FsSecVersioned::checkCount(uint32_t count, uint32_t minBytes)
{
    if (hasError()) return false;
    uint64_t need = uint64_t(count) * (minBytes ? minBytes : 1);
    if (need > remaining()) {
        setError(FSSEC_EOF);
        return false;
    }
    return true;
}

bool FsSecVersioned::skipSeparators()
{
    char c;
    while (!hasError() && peekChar(c)) {
        if (!isSeparator(c)) return true;
        readChar();
    }
    return false;
}

// ===========================================================================
// Header

const char* const FsSecObjHead::VERSION = "ObjectFileFormat_Version4.1";
const char* const FsSecObjHead::VERSION_04 = "ObjectFileFormat_Version 0.4";
const char* const FsSecObjHead::VERSION_321 = "ObjectFileFormat_Version 3.21";

void FsAddrTranslEntry::toRecord(uint8_t out[RECORD_SIZE]) const
{
    putLE32(out, guid.Data1);
    putLE16(out + 4, guid.Data2);
    putLE16(out + 6, guid.Data3);
    std::memcpy(out + 8, guid.Data4, 8);
    putLE32(out + 16, kind);
    putLE32(out + 20, area);
    putLE32(out + 24, uint32_t(long1));
    putLE32(out + 28, uint32_t(long2));
    putLE32(out + 32, uint32_t(long3));
    putLE32(out + 36, uint32_t(long4));
}

bool FsAddrTranslEntry::operator==(const FsAddrTranslEntry& o) const
{
    return guid == o.guid && kind == o.kind && area == o.area && long1 == o.long1 && long2 == o.long2 &&
           long3 == o.long3 && long4 == o.long4;
}

bool FsObjHeadData::operator==(const FsObjHeadData& o) const
{
    if (!(name == o.name && codeGuid == o.codeGuid && text1 == o.text1 && text2 == o.text2 &&
          idPair1 == o.idPair1 && guid1 == o.guid1 && idPair2 == o.idPair2 && guid2 == o.guid2 &&
          guid3 == o.guid3 && flags == o.flags && translations == o.translations && guid4 == o.guid4 &&
          guid5 == o.guid5 && guid6 == o.guid6))
        return false;
    for (int i = 0; i < 5; ++i)
        if (longs[i] != o.longs[i]) return false;
    for (int i = 0; i < 3; ++i)
        if (bools[i] != o.bools[i]) return false;
    return true;
}

FsHmiTranslate_ObjHead::FsHmiTranslate_ObjHead(const FsObjHeadData& head)
{
    for (const FsAddrTranslEntry& e : head.translations) {
        if (e.long1 == 0x7FFFFFFF) continue;
        addRange(uint32_t(e.long1), uint32_t(e.long3), uint32_t(e.long2), (e.long4 & 1) != 0);
    }
}

void FsHmiTranslate_ObjHead::addRange(uint32_t start, uint32_t size, uint32_t target, bool translate)
{
    Range r{start, size, target, translate};
    auto it = std::upper_bound(m_ranges.begin(), m_ranges.end(), start,
                               [](uint32_t s, const Range& x) { return s < x.start; });
    m_ranges.insert(it, r);
}

bool FsHmiTranslate_ObjHead::translate(uint32_t& address)
{
    // The last range that starts at or below the address.
    auto it = std::upper_bound(m_ranges.begin(), m_ranges.end(), address,
                               [](uint32_t a, const Range& x) { return a < x.start; });
    while (it != m_ranges.begin()) {
        --it;
        if (uint64_t(address) < uint64_t(it->start) + it->size) {
            if (it->translate) address = address - it->start + it->target;
            return true;
        }
    }
    return false;
}

void FsHmiTranslate_ObjHead::clone(StBubAddressTranslate*& out)
{
    delete out;
    out = nullptr;
    try {
        out = new FsHmiTranslate_ObjHead(*this);
    } catch (...) {
        out = nullptr;
    }
}

void FsSecObjHead::readIdPair(FsIdPair& p)
{
    *this >> p.first >> p.second;
}

void FsSecObjHead::readTranslation(FsAddrTranslEntry& e)
{
    {
        BaseScope b(*this, 16);
        *this >> e.guid >> e.area;
    }
    *this >> e.long1 >> e.long2 >> e.long3 >> e.kind >> e.long4;
}

void FsSecObjHead::writeTranslation(const FsAddrTranslEntry& e)
{
    {
        BaseScope b(*this, 16);
        putFields(e.guid, e.area);
    }
    putFields(e.long1, e.long2, e.long3, e.kind);
    *this << e.long4;
    putNewLine();
}

uint32_t FsSecObjHead::read()
{
    m_format = FORMAT_NONE;
    m_wrongVersion = false;
    reset();
    int32_t leading = 0;
    *this >> leading;
    String version;
    if (!readVersionText(version)) return 1;
    FsObjHeadData d;
    *this >> d.name;
    if (hasError()) return 1;
    m_data = d;
    if (version == String(VERSION)) {
        readBody41();
        m_format = FORMAT_41;
    } else if (version == String(VERSION_321)) {
        readBody321();
        m_format = FORMAT_321;
    } else if (version == String(VERSION_04)) {
        readBody04();
        m_format = FORMAT_04;
    } else {
        m_wrongVersion = true;
        return FS_SEC_WRONG_VERSION;
    }
    return hasError() ? 1 : 0;
}

void FsSecObjHead::readBody41()
{
    FsObjHeadData& d = m_data;
    *this >> d.codeGuid >> d.text1 >> d.text2;
    readIdPair(d.idPair1);
    *this >> d.guid1;
    readIdPair(d.idPair2);
    *this >> d.guid2 >> d.guid3;
    {
        BaseScope b(*this, 16);
        *this >> d.flags;
    }
    uint32_t count = 0;
    *this >> count;
    if (!checkCount(count)) return;
    for (uint32_t i = 0; i < count && !hasError(); ++i) {
        FsAddrTranslEntry e;
        readTranslation(e);
        if (!hasError()) d.translations.push_back(e);
    }
    *this >> d.guid4 >> d.guid5 >> d.guid6;
    for (int32_t& l : d.longs) *this >> l;
    for (bool& b : d.bools) *this >> b;
}

void FsSecObjHead::readBody321()
{
    FsObjHeadData& d = m_data;
    *this >> d.codeGuid >> d.text1 >> d.text2;
    readIdPair(d.idPair1);
    *this >> d.guid1;
    readIdPair(d.idPair2);
    *this >> d.guid2 >> d.guid3;
    GUID guids[5];
    uint32_t values[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < 5; ++i) *this >> guids[i] >> values[i];
    *this >> d.guid4 >> d.guid5;
    for (int32_t& l : d.longs) *this >> l;
    for (bool& b : d.bools) *this >> b;
    if (hasError()) return;
    d.guid6 = d.guid2;
    // The five pairs of this form were kept per area; they become entries
    // with the kinds the 0.4 form assigns, in the same order.
    static const uint32_t kinds[5] = {2, 4, 3, 5, 1};
    for (int i = 0; i < 5; ++i) {
        if (guids[i] == GUID_NULL) continue;
        FsAddrTranslEntry e;
        e.guid = guids[i];
        e.kind = kinds[i];
        e.area = values[i];
        d.translations.push_back(e);
    }
}

void FsSecObjHead::readBody04()
{
    FsObjHeadData& d = m_data;
    *this >> d.codeGuid >> d.text1 >> d.text2;
    readIdPair(d.idPair1);
    *this >> d.guid1;
    readIdPair(d.idPair2);
    *this >> d.guid2 >> d.guid3;
    for (int32_t& l : d.longs) *this >> l;
    for (bool& b : d.bools) *this >> b;
    if (hasError()) return;
    d.guid4 = d.guid3;
    d.guid5 = d.guid1;
    d.guid6 = d.guid2;
    static const uint32_t kinds[4] = {2, 4, 3, 5};
    static const uint32_t areas[4] = {770, 776, 260, 272};
    for (int i = 0; i < 4; ++i) {
        FsAddrTranslEntry e;
        e.guid = d.guid3;
        e.kind = kinds[i];
        e.area = areas[i];
        d.translations.push_back(e);
    }
}

uint32_t FsSecObjHead::write()
{
    if (!isChanged() || !isWritable()) return 0;
    if (setSize(0) != 0) {
        clearError();
        return 1;
    }
    const FsObjHeadData& d = m_data;
    *this << int32_t(1);
    putNewLine();
    writeVersionLine(VERSION);
    *this << d.name;
    putNewLine();
    *this << d.codeGuid;
    putNewLine();
    *this << d.text1;
    putNewLine();
    *this << d.text2;
    putNewLine();
    writeULongPair(d.idPair1.first, d.idPair1.second);
    putNewLine();
    *this << d.guid1;
    putNewLine();
    writeULongPair(d.idPair2.first, d.idPair2.second);
    putNewLine();
    *this << d.guid2;
    putNewLine();
    *this << d.guid3;
    putNewLine();
    {
        BaseScope b(*this, 16);
        *this << d.flags;
    }
    putNewLine();
    *this << uint32_t(d.translations.size());
    putBlank();
    for (const FsAddrTranslEntry& e : d.translations) writeTranslation(e);
    putNewLine();
    for (const GUID* g : {&d.guid4, &d.guid5, &d.guid6}) {
        *this << *g;
        putNewLine();
    }
    for (int32_t l : d.longs) {
        *this << l;
        putNewLine();
    }
    for (bool b : d.bools) {
        *this << b;
        putNewLine();
    }
    if (hasError()) {
        clearError();
        return 1;
    }
    setChanged(false);
    return 0;
}

// ===========================================================================
// Code

const char* const FsSecCode::VERSION = "CodeSec_V2_0";

bool FsSecCode::readWord(uint32_t& word)
{
    if (hasError()) return false;
    if (!isBinary()) {
        char c;
        while (!hasError() && peekChar(c)) {
            if (c == ' ' || c == '\r' || c == '\n') {
                readChar();
            } else if (c == '#') {
                while (!hasError() && peekChar(c) && c != '\r') readChar();
            } else if (c == '>') {
                readChar();
                String version;
                *this >> version;
                if (hasError()) return false;
                if (version != String(VERSION)) {
                    setError(FSSEC_GUID);
                    return false;
                }
                readChar();
                readChar();
                if (hasError()) return false;
                setBinary(true);
                break;
            } else {
                break;
            }
        }
    }
    if (isBinary()) {
        uint8_t b[4];
        readBytes(b, 4);
        if (hasError()) return false;
        word = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    BaseScope base(*this, 16);
    uint32_t w = 0;
    *this >> w;
    if (hasError()) return false;
    word = w;
    return true;
}

void FsSecCode::writeBinaryHeader()
{
    *this << '>';
    {
        BaseScope b(*this, 10);
        *this << String(VERSION);
    }
    putNewLine();
    setBinary(true);
}

void FsSecCode::writeWord(uint32_t word)
{
    if (isBinary()) {
        uint8_t b[4];
        putLE32(b, word);
        writeBytes(b, 4);
        return;
    }
    BaseScope base(*this, 16);
    *this << word;
    putBlank();
}

// ===========================================================================
// Data

float FsDataValue::getFloat() const
{
    uint32_t bits = uint32_t(raw);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

double FsDataValue::getDouble() const
{
    double d;
    std::memcpy(&d, &raw, 8);
    return d;
}

void FsDataValue::setFloat(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    type = T_REAL;
    raw = bits;
}

void FsDataValue::setDouble(double v)
{
    type = T_LREAL;
    std::memcpy(&raw, &v, 8);
}

bool FsDataValue::isZero() const
{
    switch (type) {
    case T_REAL:
        return getFloat() == 0.0f;
    case T_LREAL:
        return getDouble() == 0.0;
    case T_LINT:
    case T_ULINT:
        return raw == 0;
    default:
        return uint32_t(raw) == 0;
    }
}

bool FsSecData::writeValue(const FsDataValue& v)
{
    if (hasError()) return false;
    if (!m_started) {
        m_started = true;
        // A rewrite starts from an empty section: no records of an earlier
        // content may stay behind the new ones.
        if (setSize(0) != 0) return false;
    }
    if (!m_writeAll && v.isZero()) return true;
    switch (v.type) {
    case FsDataValue::T_LINT:
        *this << static_cast<long long>(v.raw);
        return false;
    case FsDataValue::T_ULINT:
        *this << static_cast<unsigned long long>(v.raw);
        return false;
    default:
        if (v.type > FsDataValue::T_LREAL) {
            setError(FSSEC_EOF);
            return false;
        }
    }
    if (isBinary())
        *this << uint8_t(v.type);
    else
        *this << uint32_t(v.type);
    putBlank();
    *this << v.address;
    putBlank();
    *this << v.size;
    putBlank();
    switch (v.type) {
    case FsDataValue::T_SINT:
    case FsDataValue::T_INT:
    case FsDataValue::T_DINT:
        *this << v.getLong();
        break;
    case FsDataValue::T_REAL:
        *this << v.getFloat();
        break;
    case FsDataValue::T_LREAL:
        *this << v.getDouble();
        break;
    default:
        *this << v.getULong();
        break;
    }
    putBlank();
    return !hasError();
}

bool FsSecData::readValues(std::vector<FsDataValue>& out, uint32_t& totalSize)
{
    totalSize = 0;
    for (;;) {
        if (hasError()) return false;
        if (!isBinary()) {
            char c;
            bool more = false;
            while (peekChar(c)) {
                if (!isSeparator(c)) {
                    more = true;
                    break;
                }
                readChar();
            }
            if (!more) break;
        } else if (atEnd()) {
            break;
        }
        FsDataValue v;
        if (isBinary()) {
            uint8_t t = 0;
            *this >> t;
            v.type = t;
        } else {
            *this >> v.type;
        }
        *this >> v.address >> v.size;
        if (hasError()) return false;
        switch (v.type) {
        case FsDataValue::T_SINT:
        case FsDataValue::T_INT:
        case FsDataValue::T_DINT: {
            int32_t l = 0;
            *this >> l;
            v.raw = uint32_t(l);
            break;
        }
        case FsDataValue::T_USINT:
        case FsDataValue::T_UINT:
        case FsDataValue::T_UDINT: {
            uint32_t u = 0;
            *this >> u;
            v.raw = u;
            break;
        }
        case FsDataValue::T_REAL: {
            float f = 0;
            *this >> f;
            v.setFloat(f);
            break;
        }
        case FsDataValue::T_LREAL: {
            double d = 0;
            *this >> d;
            v.setDouble(d);
            break;
        }
        case FsDataValue::T_LINT: {
            long long ll = 0;
            *this >> ll;
            return false;
        }
        case FsDataValue::T_ULINT: {
            unsigned long long ull = 0;
            *this >> ull;
            return false;
        }
        default:
            setError(FSSEC_EOF);
            return false;
        }
        if (hasError()) return false;
        out.push_back(v);
        totalSize += uint32_t(v.size);
    }
    return !hasError();
}

// ===========================================================================
// Line numbers

uint32_t FsSecLinNr::addFileName(const String& name)
{
    for (size_t i = 0; i < m_fileNames.size(); ++i)
        if (m_fileNames[i] == name) return uint32_t(i);
    m_fileNames.push_back(name);
    return uint32_t(m_fileNames.size() - 1);
}

void FsSecLinNr::writeHeader()
{
    char buf[HEADER_SIZE + 1];
    int n = std::snprintf(buf, sizeof buf, "%u\r\n%d %u",
                          unsigned(m_extended ? FS_SECTYPE_LINNR_EXT : FS_SECTYPE_LINNR), int(m_headValue),
                          unsigned(m_lineCount));
    if (n < 0) n = 0;
    std::memset(buf + n, ' ', HEADER_SIZE - size_t(n));
    writeBytes(buf, HEADER_SIZE);
}

void FsSecLinNr::writeLists()
{
    BaseScope b(*this, 10);
    putNewLine();
    m_namesInSection = uint32_t(m_fileNames.size());
    *this << uint32_t(m_fileNames.size());
    putBlank();
    for (const String& s : m_fileNames) putFields(s);
    putNewLine();
    if (m_extended) {
        *this << uint32_t(m_named.size());
        putBlank();
        for (const FsLinNrNamed& n : m_named) putFields(n.name, n.value1, n.value2, n.value3);
        putNewLine();
    }
}

bool FsSecLinNr::writeLine(const FsLineRecord& rec)
{
    if (hasError()) return false;
    uint32_t fileIndex = NO_FILE;
    if (!rec.fileName.empty()) {
        auto it = std::find(m_fileNames.begin(), m_fileNames.end(), rec.fileName);
        if (it == m_fileNames.end()) return false;
        fileIndex = uint32_t(it - m_fileNames.begin());
    }
    if (!m_listsWritten) {
        if (setSize(0) != 0) return false;
        writeHeader();
        writeLists();
        m_listsWritten = true;
    } else if (fileIndex != NO_FILE && fileIndex >= m_namesInSection) {
        return false;  // the name came after the list was written
    }
    // Lines that are already there (read from the section) stay.
    seek(0, 2);
    BaseScope b(*this, 10);
    putFields(rec.key, fileIndex, rec.line, rec.column, rec.extra, uint32_t(rec.values.size()));
    for (int32_t v : rec.values) putFields(v);
    putNewLine();
    if (hasError()) return false;
    ++m_lineCount;
    setChanged();
    return true;
}

uint32_t FsSecLinNr::write()
{
    if (!isChanged() || !isWritable()) return 0;
    if (!m_listsWritten) {
        if (setSize(0) != 0) return 1;
        writeHeader();
        writeLists();
        m_listsWritten = true;
    } else {
        uint32_t pos = tell();
        seek(0, 0);
        writeHeader();
        seek(int32_t(pos), 0);
    }
    if (hasError()) return 1;
    setChanged(false);
    return 0;
}

uint32_t FsSecLinNr::read()
{
    reset();
    m_fileNames.clear();
    m_named.clear();
    m_linesRead = 0;
    m_listsWritten = false;
    m_namesInSection = 0;
    uint32_t id = 0;
    *this >> id;
    if (hasError() || (id != FS_SECTYPE_LINNR && id != FS_SECTYPE_LINNR_EXT)) {
        m_headValue = 0x7FFFFFFF;
        m_lineCount = 0;
        return 1;
    }
    m_extended = id == FS_SECTYPE_LINNR_EXT;
    *this >> m_headValue >> m_lineCount;
    if (hasError() || getSize() < HEADER_SIZE) {
        if (!hasError()) setError(FSSEC_EOF);
        return 1;
    }
    seek(HEADER_SIZE, 0);
    uint32_t count = 0;
    *this >> count;
    if (count > remaining()) setError(FSSEC_EOF);
    for (uint32_t i = 0; i < count && !hasError(); ++i) {
        String s;
        *this >> s;
        if (!hasError()) m_fileNames.push_back(s);
    }
    if (m_extended) {
        *this >> count;
        if (count > remaining()) setError(FSSEC_EOF);
        for (uint32_t i = 0; i < count && !hasError(); ++i) {
            FsLinNrNamed n;
            *this >> n.name >> n.value1 >> n.value2 >> n.value3;
            if (!hasError()) m_named.push_back(n);
        }
    }
    // Lines already in the section stay; new lines are appended after them.
    m_namesInSection = uint32_t(m_fileNames.size());
    m_listsWritten = !hasError();
    return hasError() ? 1 : 0;
}

bool FsSecLinNr::readLine(FsLineRecord& rec)
{
    if (hasError() || m_linesRead >= m_lineCount) return false;
    uint32_t fileIndex = 0;
    uint32_t count = 0;
    FsLineRecord r;
    *this >> r.key >> fileIndex >> r.line >> r.column >> r.extra >> count;
    if (hasError()) return false;
    if (count > remaining()) {
        setError(FSSEC_EOF);
        return false;
    }
    for (uint32_t i = 0; i < count && !hasError(); ++i) {
        int32_t v = 0;
        *this >> v;
        r.values.push_back(v);
    }
    if (hasError()) return false;
    if (fileIndex != NO_FILE) {
        if (fileIndex >= m_fileNames.size()) {
            setError(FSSEC_EOF);
            return false;
        }
        r.fileName = m_fileNames[fileIndex];
    }
    rec = r;
    ++m_linesRead;
    return true;
}

// ===========================================================================
// Program state

const char* const FsSecProgState::VERSION = "PrgState 0.2";

uint32_t FsSecProgState::read()
{
    m_wrongVersion = false;
    reset();
    uint32_t id = 0;
    *this >> id;
    if (hasError() || id != FS_SECTYPE_PROGSTATE) {
        m_state = 0;
        return 1;
    }
    if (!readVersion(VERSION)) return 1;
    *this >> m_state;
    if (hasError()) return 1;
    if (getSize() >= HEADER_SIZE) seek(HEADER_SIZE, 0);
    return 0;
}

uint32_t FsSecProgState::write()
{
    if (!isChanged() || !isWritable()) return 0;
    char buf[HEADER_SIZE + 24];
    int n = std::snprintf(buf, sizeof buf, "%u\r\n%u %s\r\n%u\r\n", unsigned(FS_SECTYPE_PROGSTATE),
                          unsigned(std::strlen(VERSION)), VERSION, unsigned(m_state));
    if (n < 0 || uint32_t(n) > HEADER_SIZE) return 1;
    std::memset(buf + n, ' ', HEADER_SIZE - size_t(n));
    uint32_t pos = tell();
    seek(0, 0);
    writeBytes(buf, HEADER_SIZE);
    seek(int32_t(pos), 0);
    if (hasError()) return 1;
    setChanged(false);
    return 0;
}

// ===========================================================================
// External references

const char* const FsSecExtTable::VERSION = "ExternTable_Version 1.0";

bool FsSecExtTable::writeTable(const std::vector<FsExtUnitRef>* units, const std::vector<FsExtTypeRef>* types2,
                               const std::vector<FsExtTypeRef>* types3, const std::vector<FsExtTypeName>* names,
                               const std::vector<FsExtTypeNumber>* numbers)
{
    if (setSize(0) != 0) return false;
    writeVersionLine(VERSION);
    writeList(units, [this](const FsExtUnitRef& u) {
        putFields(u.name, u.kind, u.value1, u.value2, u.value3, u.value4, uint32_t(u.ids.size()));
        for (uint16_t id : u.ids) putFields(id);
        putBlank();
    });
    for (const std::vector<FsExtTypeRef>* list : {types2, types3})
        writeList(list, [this](const FsExtTypeRef& t) { putFields(t.name, t.typeId, t.number); });
    writeList(names, [this](const FsExtTypeName& t) { putFields(t.name, t.typeId); });
    writeList(numbers, [this](const FsExtTypeNumber& t) { putFields(t.typeId, t.number); });
    *this << uint32_t(0);
    putNewLine();
    return !hasError();
}

bool FsSecExtTable::readTable(std::vector<FsExtUnitRef>* units, std::vector<FsExtTypeRef>* types2,
                              std::vector<FsExtTypeRef>* types3, std::vector<FsExtTypeName>* names,
                              std::vector<FsExtTypeNumber>* numbers)
{
    std::vector<FsExtUnitRef> tmpUnits;
    std::vector<FsExtTypeRef> tmp2, tmp3;
    std::vector<FsExtTypeName> tmpNames;
    std::vector<FsExtTypeNumber> tmpNumbers;
    if (!units) units = &tmpUnits;
    if (!types2) types2 = &tmp2;
    if (!types3) types3 = &tmp3;
    if (!names) names = &tmpNames;
    if (!numbers) numbers = &tmpNumbers;

    m_wrongVersion = false;
    reset();
    if (!readVersion(VERSION)) return false;

    bool ok = readList(*units, [this](FsExtUnitRef& u) {
        uint32_t n = 0;
        *this >> u.name >> u.kind >> u.value1 >> u.value2 >> u.value3 >> u.value4 >> n;
        if (!checkCount(n)) return;
        for (uint32_t k = 0; k < n && !hasError(); ++k) {
            uint16_t id = 0;
            *this >> id;
            u.ids.push_back(id);
        }
    });
    for (std::vector<FsExtTypeRef>* list : {types2, types3})
        ok = ok && readList(*list, [this](FsExtTypeRef& t) { *this >> t.name >> t.typeId >> t.number; });
    ok = ok && readList(*names, [this](FsExtTypeName& t) { *this >> t.name >> t.typeId; });
    ok = ok && readList(*numbers, [this](FsExtTypeNumber& t) { *this >> t.typeId >> t.number; });
    if (!ok) return false;
    uint32_t end = 0;
    *this >> end;
    return !hasError();
}

// ===========================================================================
// Unit-using table

const char* const FsSecUnUseTable::VERSION = "UnitUsingTable_Version 3.2";
const char* const FsSecUnUseTable::VERSION_10 = "UnitUsingTable_Version 1.0";

bool FsSecUnUseTable::writeTable(const std::vector<FsUnitUsedEntry>& entries)
{
    if (setSize(0) != 0) return false;
    writeVersionLine(VERSION);
    writeList(&entries, [this](const FsUnitUsedEntry& e) {
        putFields(e.name, e.typeName, e.guid, e.version, e.used, e.number, e.flags, e.guid2);
    });
    return !hasError();
}

bool FsSecUnUseTable::readTable(std::vector<FsUnitUsedEntry>& entries)
{
    m_wrongVersion = false;
    reset();
    String version;
    if (!readVersionText(version)) return false;
    bool withGuid2;
    if (version == String(VERSION))
        withGuid2 = true;
    else if (version == String(VERSION_10))
        withGuid2 = false;
    else {
        m_wrongVersion = true;
        return false;
    }
    return readList(entries, [this, withGuid2](FsUnitUsedEntry& e) {
        *this >> e.name >> e.typeName >> e.guid >> e.version >> e.used >> e.number >> e.flags;
        if (withGuid2) *this >> e.guid2;
    });
}

// ===========================================================================
// Function exports

const char* const FsSecUnFuncExportTable::VERSION = "FuncExportTable_Version 0.1";

bool FsSecUnFuncExportTable::writeTable(const std::vector<FsFuncExport>& entries)
{
    if (setSize(0) != 0) return false;
    writeVersionLine(VERSION);
    writeList(&entries, [this](const FsFuncExport& e) { putFields(e.first, e.second); });
    return !hasError();
}

bool FsSecUnFuncExportTable::readTable(std::vector<FsFuncExport>& entries)
{
    m_wrongVersion = false;
    reset();
    if (!readVersion(VERSION)) return false;
    return readList(entries, [this](FsFuncExport& e) { *this >> e.first >> e.second; });
}

// ===========================================================================
// Alarm references

const char* const FsSecAlarmUsing::VERSION = "AlarmReferences_Version 1.0";

bool FsSecAlarmUsing::writeTable(const std::vector<FsAlarmRef>& entries)
{
    if (setSize(0) != 0) return false;
    writeVersionLine(VERSION);
    writeList(&entries, [this](const FsAlarmRef& e) { putFields(e.name, e.id, e.value); });
    return !hasError();
}

bool FsSecAlarmUsing::readTable(std::vector<FsAlarmRef>& entries)
{
    m_wrongVersion = false;
    reset();
    if (!readVersion(VERSION)) return false;
    return readList(entries, [this](FsAlarmRef& e) { *this >> e.name >> e.id >> e.value; });
}

// ===========================================================================
// Data description

const char* const FsSecDataDescr::VERSION = "DataDescription_Version 1.0";

bool FsSecDataDescr::openTable(bool write, uint32_t& count)
{
    if (hasError()) return false;
    if (write) {
        if (m_wroteOnce || !isWritable()) return false;
        m_wroteOnce = true;
        if (setSize(0) != 0) return false;
        writeVersionLine(VERSION);
        setBase(10);
        *this << count;
        putNewLine();
        if (hasError()) return false;
        m_dir = DIR_WRITE;
    } else {
        if (m_readOnce) return false;
        m_readOnce = true;
        m_wrongVersion = false;
        seek(0, 0);
        setBase(10);
        if (!readVersion(VERSION)) return false;
        uint32_t n = 0;
        *this >> n;
        if (hasError()) return false;
        count = n;
        m_dir = DIR_READ;
    }
    setBase(16);
    m_numbersLeft = count;
    m_unitOpen = false;
    m_entriesLeft = 0;
    return true;
}

bool FsSecDataDescr::writeNumber(uint32_t number)
{
    if (m_dir != DIR_WRITE || m_unitOpen || m_numbersLeft == 0 || hasError()) return false;
    *this << number;
    putBlank();
    if (hasError()) return false;
    --m_numbersLeft;
    return true;
}

bool FsSecDataDescr::readNumber(uint32_t& number)
{
    if (m_dir != DIR_READ || m_unitOpen || m_numbersLeft == 0 || hasError()) return false;
    uint32_t n = 0;
    *this >> n;
    if (hasError()) return false;
    number = n;
    --m_numbersLeft;
    return true;
}

bool FsSecDataDescr::beginUnit(uint32_t& n)
{
    if (m_dir == DIR_NONE || m_numbersLeft != 0 || m_entriesLeft != 0 || hasError()) return false;
    {
        BaseScope b(*this, 10);
        if (m_dir == DIR_WRITE) {
            putNewLine();
            *this << n;
            putNewLine();
        } else {
            uint32_t v = 0;
            *this >> v;
            if (!hasError()) {
                // Each entry takes at least its name length and list count.
                if (uint64_t(v) * 4 > remaining()) setError(FSSEC_EOF);
                else n = v;
            }
        }
    }
    if (hasError()) return false;
    m_unitOpen = true;
    m_entriesLeft = n;
    return true;
}

bool FsSecDataDescr::writeEntry(const String& name, const std::vector<uint32_t>& list)
{
    if (m_dir != DIR_WRITE || !m_unitOpen || m_entriesLeft == 0 || hasError()) return false;
    *this << name;
    putBlank();
    *this << uint32_t(list.size());
    putBlank();
    for (uint32_t v : list) {
        *this << v;
        putBlank();
    }
    putNewLine();
    if (hasError()) return false;
    --m_entriesLeft;
    return true;
}

bool FsSecDataDescr::readEntry(String& name, std::vector<uint32_t>& list)
{
    if (m_dir != DIR_READ || !m_unitOpen || m_entriesLeft == 0 || hasError()) return false;
    String s;
    uint32_t count = 0;
    *this >> s >> count;
    if (!checkCount(count)) return false;
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < count && !hasError(); ++i) {
        uint32_t v = 0;
        *this >> v;
        values.push_back(v);
    }
    if (hasError()) return false;
    name = s;
    list.swap(values);
    --m_entriesLeft;
    return true;
}

// ===========================================================================
// Constant values

const char* const FsSecCValue::VERSION = "ValueTable_Version 1.0";

bool FsSecCValue::writeValue(uint32_t value)
{
    if (hasError()) return true;
    if (!m_started) {
        m_started = true;
        if (setSize(0) != 0) return true;
        setBinary(false);
        writeVersionLine(VERSION);
        {
            BaseScope b(*this, 16);
            *this << m_count;
        }
        putNewLine();
        *this << '>';
        setBinary(true);
    }
    if (m_written < m_count) {
        uint8_t b[4];
        putLE32(b, value);
        writeBytes(b, 4);
        if (!hasError()) ++m_written;
    }
    return hasError() || m_written >= m_count;
}

uint32_t FsSecCValue::readValues(std::vector<uint32_t>& values)
{
    values.clear();
    m_wrongVersion = false;
    setBinary(false);
    seek(0, 0);
    String version;
    if (!readVersionText(version)) return 1;
    if (version != String(VERSION)) {
        m_wrongVersion = true;
        return FS_SEC_WRONG_VERSION;
    }
    uint32_t count = 0;
    {
        BaseScope b(*this, 16);
        *this >> count;
    }
    if (hasError()) return 1;
    // The number ended at the CR; the LF follows, then ">" in the binary form.
    readChar();
    char marker = readChar();
    if (hasError()) {
        // A table without values may end right after its count.
        if (count == 0) {
            clearError();
            return 0;
        }
        return 1;
    }
    bool binary = marker == '>';
    if (binary) {
        if (uint64_t(count) * 4 > remaining()) {
            setError(FSSEC_EOF);
            return 1;
        }
        setBinary(true);
    } else {
        seek(-2, 1);
        if (count > remaining()) {
            setError(FSSEC_EOF);
            return 1;
        }
    }
    values.reserve(count);
    for (uint32_t i = 0; i < count && !hasError(); ++i) {
        if (binary) {
            uint8_t b[4];
            readBytes(b, 4);
            if (hasError()) break;
            values.push_back(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                             uint32_t(b[3]) << 24);
        } else {
            BaseScope b(*this, 16);
            uint32_t v = 0;
            *this >> v;
            if (hasError()) break;
            values.push_back(v);
        }
    }
    setBinary(false);
    m_count = count;
    return values.size() == count && !hasError() ? 0 : 1;
}
