#include "base/fs/FsSecBootTels.h"

#include <cstring>

// ===========================================================================
// CTelConstVal: no value of its own.

uint32_t CTelConstVal::getSChar(signed char&) const { return 1; }
uint32_t CTelConstVal::getBool(unsigned char&) const { return 1; }
uint32_t CTelConstVal::getUChar(unsigned char&) const { return 1; }
uint32_t CTelConstVal::getShort(int16_t&) const { return 1; }
uint32_t CTelConstVal::getUShort(uint16_t&) const { return 1; }
uint32_t CTelConstVal::getLong(int32_t&) const { return 1; }
uint32_t CTelConstVal::getULong(uint32_t&) const { return 1; }
uint32_t CTelConstVal::getFloat(float&) const { return 1; }
uint32_t CTelConstVal::getDouble(double&) const { return 1; }
uint32_t CTelConstVal::getString(String&) const { return 1; }
uint32_t CTelConstVal::getString2(String&) const { return 1; }

uint32_t CTelConstVal::setSChar(signed char) { return 1; }
uint32_t CTelConstVal::setBool(unsigned char) { return 1; }
uint32_t CTelConstVal::setUChar(unsigned char) { return 1; }
uint32_t CTelConstVal::setShort(int16_t) { return 1; }
uint32_t CTelConstVal::setUShort(uint16_t) { return 1; }
uint32_t CTelConstVal::setLong(int32_t) { return 1; }
uint32_t CTelConstVal::setULong(uint32_t) { return 1; }
uint32_t CTelConstVal::setFloat(float) { return 1; }
uint32_t CTelConstVal::setDouble(double) { return 1; }
uint32_t CTelConstVal::setString(const String&) { return 1; }
uint32_t CTelConstVal::setString2(const String&) { return 1; }

// ===========================================================================
// CTelStdConstVal

#define TEL_GET(name, T, code, expr) \
    uint32_t CTelStdConstVal::name(T& v) const \
    { \
        if (m_type != (code)) return 1; \
        v = (expr); \
        return 0; \
    }

TEL_GET(getSChar, signed char, TC_SINT8, static_cast<signed char>(uint8_t(m_raw)))
TEL_GET(getBool, unsigned char, TC_BOOL, static_cast<unsigned char>(m_raw))
TEL_GET(getUChar, unsigned char, TC_UINT8, static_cast<unsigned char>(m_raw))
TEL_GET(getShort, int16_t, TC_INT16, static_cast<int16_t>(uint16_t(m_raw)))
TEL_GET(getUShort, uint16_t, TC_UINT16, static_cast<uint16_t>(m_raw))
TEL_GET(getLong, int32_t, TC_INT32, static_cast<int32_t>(uint32_t(m_raw)))
TEL_GET(getULong, uint32_t, TC_UINT32, static_cast<uint32_t>(m_raw))
#undef TEL_GET

uint32_t CTelStdConstVal::getFloat(float& v) const
{
    if (m_type != TC_FLOAT) return 1;
    uint32_t bits = uint32_t(m_raw);
    std::memcpy(&v, &bits, 4);
    return 0;
}

uint32_t CTelStdConstVal::getDouble(double& v) const
{
    if (m_type != TC_DOUBLE) return 1;
    std::memcpy(&v, &m_raw, 8);
    return 0;
}

#define TEL_SET(name, T, code, expr) \
    uint32_t CTelStdConstVal::name(T v) \
    { \
        m_raw = (expr); \
        m_type = (code); \
        return 0; \
    }

TEL_SET(setSChar, signed char, TC_SINT8, uint8_t(v))
TEL_SET(setBool, unsigned char, TC_BOOL, v)
TEL_SET(setUChar, unsigned char, TC_UINT8, v)
TEL_SET(setShort, int16_t, TC_INT16, uint16_t(v))
TEL_SET(setUShort, uint16_t, TC_UINT16, v)
TEL_SET(setLong, int32_t, TC_INT32, uint32_t(v))
TEL_SET(setULong, uint32_t, TC_UINT32, v)
#undef TEL_SET

uint32_t CTelStdConstVal::setFloat(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    m_raw = bits;
    m_type = TC_FLOAT;
    return 0;
}

uint32_t CTelStdConstVal::setDouble(double v)
{
    std::memcpy(&m_raw, &v, 8);
    m_type = TC_DOUBLE;
    return 0;
}

// ===========================================================================
// CTelStringConstVal

uint32_t CTelStringConstVal::getString(String& v) const
{
    if (m_type != TC_STRING) return 1;
    v = m_text;
    return 0;
}

uint32_t CTelStringConstVal::getString2(String& v) const
{
    if (m_type != TC_STRING2) return 1;
    v = m_text;
    return 0;
}

uint32_t CTelStringConstVal::setString(const String& v)
{
    m_text = v;
    m_type = TC_STRING;
    return 0;
}

uint32_t CTelStringConstVal::setString2(const String& v)
{
    m_text = v;
    m_type = TC_STRING2;
    return 0;
}

// ===========================================================================

CTelConstVal* createTelConstVal(FsBootTelegram& telegram, int32_t code)
{
    if (code < 0 || code > int32_t(CTelConstVal::TC_STRING2)) return nullptr;
    std::unique_ptr<CTelConstVal> c;
    try {
        if (code <= int32_t(CTelConstVal::TC_DOUBLE)) {
            auto* s = new CTelStdConstVal;
            c.reset(s);
            switch (code) {
            case CTelConstVal::TC_BOOL: s->setBool(0); break;
            case CTelConstVal::TC_SINT8: s->setSChar(0); break;
            case CTelConstVal::TC_INT16: s->setShort(0); break;
            case CTelConstVal::TC_INT32: s->setLong(0); break;
            case CTelConstVal::TC_UINT8: s->setUChar(0); break;
            case CTelConstVal::TC_UINT16: s->setUShort(0); break;
            case CTelConstVal::TC_UINT32: s->setULong(0); break;
            case CTelConstVal::TC_FLOAT: s->setFloat(0.0f); break;
            default: s->setDouble(0.0); break;
            }
        } else {
            auto* s = new CTelStringConstVal;
            c.reset(s);
            if (code == int32_t(CTelConstVal::TC_STRING))
                s->setString(String());
            else
                s->setString2(String());
        }
        telegram.constants.push_back(std::move(c));
    } catch (...) {
        return nullptr;
    }
    telegram.changed = true;
    return telegram.constants.back().get();
}

// ===========================================================================
// FsSecBootTels

const char* const FsSecBootTels::VERSION = "Version(0, 0)";

FsBootTelegram& FsSecBootTels::addTelegram(uint16_t id, uint32_t number)
{
    m_telegrams.emplace_back();
    FsBootTelegram& t = m_telegrams.back();
    t.id = id;
    t.number = number;
    setChanged();
    return t;
}

uint32_t FsSecBootTels::writeTelegram(const FsBootTelegram& t)
{
    *this << int16_t(t.id);
    putBlank();
    *this << t.number;
    putBlank();
    *this << uint32_t(t.constants.size());
    for (const auto& cp : t.constants) {
        const CTelConstVal& c = *cp;
        uint32_t code = c.getTypeCode();
        if (code > CTelConstVal::TC_STRING2) return 1;
        putBlank();
        *this << int32_t(code);
        putBlank();
        uint32_t r = 0;
        switch (code) {
        case CTelConstVal::TC_BOOL: {
            unsigned char v = 0;
            r = c.getBool(v);
            if (!r) *this << int32_t(v);
            break;
        }
        case CTelConstVal::TC_SINT8: {
            signed char v = 0;
            r = c.getSChar(v);
            if (!r) *this << int32_t(v);
            break;
        }
        case CTelConstVal::TC_INT16: {
            int16_t v = 0;
            r = c.getShort(v);
            if (!r) *this << int32_t(v);
            break;
        }
        case CTelConstVal::TC_INT32: {
            int32_t v = 0;
            r = c.getLong(v);
            if (!r) *this << v;
            break;
        }
        case CTelConstVal::TC_UINT8: {
            unsigned char v = 0;
            r = c.getUChar(v);
            if (!r) *this << uint32_t(v);
            break;
        }
        case CTelConstVal::TC_UINT16: {
            uint16_t v = 0;
            r = c.getUShort(v);
            if (!r) *this << uint32_t(v);
            break;
        }
        case CTelConstVal::TC_UINT32: {
            uint32_t v = 0;
            r = c.getULong(v);
            if (!r) *this << v;
            break;
        }
        case CTelConstVal::TC_FLOAT: {
            float v = 0;
            r = c.getFloat(v);
            if (!r) *this << v;
            break;
        }
        case CTelConstVal::TC_DOUBLE: {
            double v = 0;
            r = c.getDouble(v);
            if (!r) *this << v;
            break;
        }
        case CTelConstVal::TC_STRING: {
            String v;
            r = c.getString(v);
            if (!r) *this << v;
            break;
        }
        default: {
            String v;
            r = c.getString2(v);
            if (!r) *this << v;
            break;
        }
        }
        if (r) return 1;
    }
    return 0;
}

uint32_t FsSecBootTels::write()
{
    bool changed = isChanged();
    for (const FsBootTelegram& t : m_telegrams) changed = changed || t.changed;
    if (!changed || !isWritable()) return 0;
    if (setSize(0) != 0) return 1;
    setBase(10);
    setBinary(false);
    *this << String(VERSION);
    putNewLine();
    *this << uint32_t(m_telegrams.size());
    putNewLine();
    uint32_t result = 0;
    for (const FsBootTelegram& t : m_telegrams) {
        uint32_t r = writeTelegram(t);
        if (r && !result) result = r;
        putNewLine();
    }
    if (!result && hasError()) result = 1;
    if (!result) {
        for (FsBootTelegram& t : m_telegrams) t.changed = false;
        setChanged(false);
    }
    return result;
}

uint32_t FsSecBootTels::readTelegram(FsBootTelegram& t)
{
    int16_t id = 0;
    uint32_t count = 0;
    *this >> id >> t.number >> count;
    if (hasError()) return 1;
    t.id = uint16_t(id);
    // Every constant takes at least its code, a blank and one character.
    if (uint64_t(count) * 3 > remaining()) {
        setError(FSSEC_EOF);
        return 1;
    }
    for (uint32_t i = 0; i < count; ++i) {
        int32_t code = -1;
        *this >> code;
        if (hasError()) return 1;
        CTelConstVal* c = createTelConstVal(t, code);
        if (!c) return 1;
        switch (code) {
        case CTelConstVal::TC_BOOL: {
            int32_t v = 0;
            *this >> v;
            c->setBool(static_cast<unsigned char>(v));
            break;
        }
        case CTelConstVal::TC_SINT8: {
            int32_t v = 0;
            *this >> v;
            c->setSChar(static_cast<signed char>(v));
            break;
        }
        case CTelConstVal::TC_INT16: {
            int32_t v = 0;
            *this >> v;
            c->setShort(static_cast<int16_t>(v));
            break;
        }
        case CTelConstVal::TC_INT32: {
            int32_t v = 0;
            *this >> v;
            c->setLong(v);
            break;
        }
        case CTelConstVal::TC_UINT8: {
            uint32_t v = 0;
            *this >> v;
            c->setUChar(static_cast<unsigned char>(v));
            break;
        }
        case CTelConstVal::TC_UINT16: {
            uint32_t v = 0;
            *this >> v;
            c->setUShort(static_cast<uint16_t>(v));
            break;
        }
        case CTelConstVal::TC_UINT32: {
            uint32_t v = 0;
            *this >> v;
            c->setULong(v);
            break;
        }
        case CTelConstVal::TC_FLOAT: {
            float v = 0;
            *this >> v;
            c->setFloat(v);
            break;
        }
        case CTelConstVal::TC_DOUBLE: {
            double v = 0;
            *this >> v;
            c->setDouble(v);
            break;
        }
        case CTelConstVal::TC_STRING: {
            String v;
            *this >> v;
            c->setString(v);
            break;
        }
        default: {
            String v;
            *this >> v;
            c->setString2(v);
            break;
        }
        }
        if (hasError()) return 1;
    }
    return 0;
}

uint32_t FsSecBootTels::read()
{
    m_telegrams.clear();
    setBinary(false);
    setBase(10);
    seek(0, 0);
    String version;
    *this >> version;
    if (hasError()) return 1;
    if (version != String(VERSION)) return 12;
    int32_t count = 0;
    *this >> count;
    if (hasError()) return 1;
    // Every telegram line holds at least three numbers.
    if (count > 0 && uint64_t(count) * 6 > remaining()) {
        setError(FSSEC_EOF);
        return 1;
    }
    uint32_t result = 0;
    for (int32_t i = 0; i < count; ++i) {
        m_telegrams.emplace_back();
        result = readTelegram(m_telegrams.back());
        if (result) break;
    }
    // What was just read is what the section holds: nothing to write back.
    for (FsBootTelegram& t : m_telegrams) t.changed = false;
    setChanged(false);
    return result;
}
