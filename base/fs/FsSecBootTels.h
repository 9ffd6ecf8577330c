// The boot-telegram section: a list of telegrams, each an id, a number and a
// list of typed constant values, in a small text format headed by the String
// "Version(0, 0)".
//
//   13 Version(0, 0)\r\n
//   <telegram count>\r\n
//   <id> <number> <constant count>[ <type code> <value>]...\r\n   (per telegram)
//
// Values by type code: 0-3 signed decimal, 4-6 unsigned decimal, 7 float
// ("%.10g"), 8 double ("%.18g"), 9 and 10 a String (length, blank, text).
#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "base/fs/FsSecCl.h"
#include "co/tvstring.h"

// A typed telegram constant. Every getter answers 0 with the value when the
// stored type code is its own, else 1; every setter stores the value, takes
// its type code and answers 0. The base class holds no value and answers 1
// to everything.
class CTelConstVal {
public:
    enum TypeCode : uint32_t {
        TC_BOOL = 0,     // 8-bit, unsigned char
        TC_SINT8 = 1,    // signed char
        TC_INT16 = 2,
        TC_INT32 = 3,
        TC_UINT8 = 4,
        TC_UINT16 = 5,
        TC_UINT32 = 6,
        TC_FLOAT = 7,
        TC_DOUBLE = 8,
        TC_STRING = 9,
        TC_STRING2 = 10,
        TC_NONE = 11,
    };

    CTelConstVal() : m_type(TC_NONE) {}
    virtual ~CTelConstVal() {}

    uint32_t getTypeCode() const { return m_type; }

    virtual uint32_t getSChar(signed char& v) const;      // 1
    virtual uint32_t getBool(unsigned char& v) const;     // 0
    virtual uint32_t getUChar(unsigned char& v) const;    // 4
    virtual uint32_t getShort(int16_t& v) const;          // 2
    virtual uint32_t getUShort(uint16_t& v) const;        // 5
    virtual uint32_t getLong(int32_t& v) const;           // 3
    virtual uint32_t getULong(uint32_t& v) const;         // 6
    virtual uint32_t getFloat(float& v) const;            // 7
    virtual uint32_t getDouble(double& v) const;          // 8
    virtual uint32_t getString(String& v) const;          // 9
    virtual uint32_t getString2(String& v) const;         // 10

    virtual uint32_t setSChar(signed char v);
    virtual uint32_t setBool(unsigned char v);
    virtual uint32_t setUChar(unsigned char v);
    virtual uint32_t setShort(int16_t v);
    virtual uint32_t setUShort(uint16_t v);
    virtual uint32_t setLong(int32_t v);
    virtual uint32_t setULong(uint32_t v);
    virtual uint32_t setFloat(float v);
    virtual uint32_t setDouble(double v);
    virtual uint32_t setString(const String& v);
    virtual uint32_t setString2(const String& v);

protected:
    uint32_t m_type;
};

// Codes 0 to 8 in one 8-byte value field.
class CTelStdConstVal : public CTelConstVal {
public:
    CTelStdConstVal() : m_raw(0) {}

    uint32_t getSChar(signed char& v) const override;
    uint32_t getBool(unsigned char& v) const override;
    uint32_t getUChar(unsigned char& v) const override;
    uint32_t getShort(int16_t& v) const override;
    uint32_t getUShort(uint16_t& v) const override;
    uint32_t getLong(int32_t& v) const override;
    uint32_t getULong(uint32_t& v) const override;
    uint32_t getFloat(float& v) const override;
    uint32_t getDouble(double& v) const override;

    uint32_t setSChar(signed char v) override;
    uint32_t setBool(unsigned char v) override;
    uint32_t setUChar(unsigned char v) override;
    uint32_t setShort(int16_t v) override;
    uint32_t setUShort(uint16_t v) override;
    uint32_t setLong(int32_t v) override;
    uint32_t setULong(uint32_t v) override;
    uint32_t setFloat(float v) override;
    uint32_t setDouble(double v) override;

private:
    uint64_t m_raw;
};

// Codes 9 and 10 in a String.
class CTelStringConstVal : public CTelConstVal {
public:
    uint32_t getString(String& v) const override;
    uint32_t getString2(String& v) const override;
    uint32_t setString(const String& v) override;
    uint32_t setString2(const String& v) override;

private:
    String m_text;
};

// One telegram: id (kept in 32 bits, written as a 16-bit number), a number
// and its owned constants in order.
struct FsBootTelegram {
    uint32_t id = 0;
    uint32_t number = 0x7FFFFFFF;
    bool changed = false;
    std::vector<std::unique_ptr<CTelConstVal>> constants;
};

// Appends a new constant of the code to the telegram (marking it changed)
// and returns it: codes 0-8 a CTelStdConstVal, 9 and 10 a
// CTelStringConstVal. Any other code gives null and changes nothing.
CTelConstVal* createTelConstVal(FsBootTelegram& telegram, int32_t code);

class FsSecBootTels : public FsSecCl {
public:
    static const char* const VERSION;  // "Version(0, 0)"

    // Empties the list and reads the section: 12 another header text, the
    // first failing telegram's result (1), else 0.
    uint32_t read() override;
    // When the section or a telegram is changed and the section writable:
    // rewrites the whole section. The first failing telegram's result, 1
    // for a stream error, else 0.
    uint32_t write() override;

    // Appends a telegram and marks the section changed.
    FsBootTelegram& addTelegram(uint16_t id, uint32_t number);

    const std::list<FsBootTelegram>& telegrams() const { return m_telegrams; }
    std::list<FsBootTelegram>& telegrams() { return m_telegrams; }
    uint32_t telegramCount() const { return uint32_t(m_telegrams.size()); }

private:
    uint32_t writeTelegram(const FsBootTelegram& t);
    uint32_t readTelegram(FsBootTelegram& t);

    std::list<FsBootTelegram> m_telegrams;
};
