// Elementary constant: one value of an elementary type id, kept as eight
// little-endian value bytes, the type id and a sign word.
//
// Value bytes by type id: u8 for BOOL, BYTE, SINT, USINT; u16 for WORD,
// INT, UINT; u32 for DWORD, DINT, UDINT, @MEMADR, TIME, DATE, TOD, the alarm
// and task ids and ANYINT; a float for REAL, a double for LREAL and ANYREAL;
// ANYOBJECT two u16 ids and a u32 word; DT the milliseconds of the day and
// then the day; nothing for the other ids. Bytes beyond a type's value are
// kept zero.
//
// Signed integers (SINT, INT, DINT, the alarm id, ANYINT) keep the magnitude
// in the value and the sign in the sign word: +1, -1, or 0 for the bit
// pattern of a based literal whose sign is not known yet. A based literal
// typed as any other integer, time or address type keeps that 0 too; only
// DWORD, UDINT and the task id turn it to +1. Floats carry their
// own sign (sign word +1). TIME and TOD are milliseconds, DATE a day number
// (1 = 1992-01-01, 0 = the null date 0001-01-01, at most 76336 =
// 2200-12-31). No value ever holds a NaN or an infinity.
//
// Texts are read and written in the C locale; day numbers are plain
// Gregorian arithmetic.
#pragma once
#include <cstdint>
#include <cstring>

#include "base/st/stsymtab/StConstantVal.h"
#include "base/st/stsymtab/stmcspec.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the value bytes are the target's little-endian bytes");

class StStdConstantVal : public StConstantVal {
public:
    // Type 30, value 0, sign +1, shared.
    StStdConstantVal() : StStdConstantVal(ST_ANYTYPE) {}
    // Value 0, sign +1.
    explicit StStdConstantVal(uint32_t typeId, bool shared = true);
    // Sign and magnitude of v; ANYINT when asAnyInt, else DINT.
    StStdConstantVal(int32_t v, bool asAnyInt);
    // A typed literal: types 1-4, 6-8, 10-12, 17, 22, 23, 31 are read as
    // based integers in radix, 14, 15 and 32 as reals; any other type gives
    // status 1 and leaves the value untyped. A parsed integer or real (also
    // a real read with loss, status 2) is then typed (setType without
    // normalising): 1 refused (the value stays untyped), 2 when the reading
    // or the typing lost precision, else 0. A caller to whom a reading out of
    // range is a failure (a literal of a declaration or an operand) reads
    // untyped (ST_ANYREAL), where status 2 is that range status alone.
    StStdConstantVal(const String& text, uint32_t typeId, int radix, int& status);
    // A number literal read untyped, as every reader of literals reads it:
    // `text` without type prefix and '_' (a based one with or without its
    // "2#", "8#", "16#"; radix 2, 8, 16 or 10) is a real (ANYREAL) when
    // decimal with a point or an exponent, else an integer (ANYINT) of at
    // most 32 bits: -2147483648 to 4294967295 decimal, 16#FFFFFFFF based; a
    // longer decimal one is read as a real. The reader's status: 0, else
    // (1, or 2 for a real read with loss) the text is no value of any type
    // and `out` of no use.
    static int readLiteral(const String& text, int radix, StStdConstantVal& out);
    // Why literalOfType refused a literal.
    enum class LiteralFit { Ok, NotOfType, OutOfRange };
    // The value of a number literal as type `target`, one rule for every
    // reader of literals: read by readLiteral and typed as a declaration's
    // initial value is (fitsType 0 or 2, then setType): an integer type
    // takes the integers of its range, a signed one also a based number of
    // its width as that pattern (16#FF in a SINT is -1); a REAL or LREAL
    // takes every integer (a based one as unsigned) and the reals whose
    // magnitude is 0 or within its normal range, as the nearest value.
    // NotOfType for a real into an integer type and for any other target;
    // OutOfRange for the rest. On Ok `out` (of type target, sign word as
    // SetLongVal or SetULongVal leave it) holds the value; else it is
    // unchanged.
    static LiteralFit literalOfType(const String& text, int radix, uint32_t target, StStdConstantVal& out);
    // The same for typeId 14, 15 or 32 and a text whose value readPlainDecimal
    // read already: that value typed, with the status of the typing.
    StStdConstantVal(double plainReal, uint32_t typeId, int& status);
    StStdConstantVal(const StStdConstantVal&) = default;
    StStdConstantVal(const StStdConstantVal& other, bool shared) : StStdConstantVal(other) { m_shared = shared; }

    StConstValKind getKind() const override { return ST_CONST_STD; }
    StConstantVal* cloneShared(bool shared) const override { return new StStdConstantVal(*this, shared); }
    StConstantVal* clone() const override { return new StStdConstantVal(*this); }
    // 1 null or not elementary, 2 another type id; else copies value and sign.
    int assign(const StConstantVal* source) override;
    bool isDefault() const override;
    // Based integer in radix (the text after "2#", "8#" or "16#" for those
    // radixes): 0 ok (ANYINT; sign 0 for a non-negative value outside radix
    // 10), 1 above 0xFFFFFFFF or below -0x80000000.
    int parseLiteral(const String& text, int radix) override;
    // The whole text as a real (ANYREAL): 0 ok, 1 trailing characters or not
    // finite (value unchanged), 2 out of range.
    int parseReal(const String& text) override;
    int setSysAddr(uint32_t address) override;
    // Types an untyped value (ANYINT, ANYREAL; a typed one first made
    // untyped again with normaliseFirst): 0 ok, 1 out of the type's range or
    // a type the value cannot take (value, type and sign unchanged), 2 ok
    // with loss (an integer above 24 bits as REAL, a real whose digits a
    // REAL does not keep, a real below the normal range made 0). The sign
    // word stays as the literal had it (see above).
    int setType(uint32_t typeId, bool normaliseFirst) override;
    int negate() override;
    bool setMin() override;
    bool setMax() override;
    uint32_t getTypeId() const override { return m_type; }
    int fitsType(uint32_t typeId) const override;
    bool getDInt(int32_t& v) const override;
    bool getLong(int32_t& v) const override;
    uint32_t getSmallestType() const override;
    uint32_t getSysAddr() const override;
    bool getULong(uint32_t& v) const override;
    bool getDouble(double& v) const override;
    bool isSameType(const StConstantVal* other) const override;
    int convertTo(uint32_t typeId) override;
    // A duration: 0 ok, 1 refused, 3 ok with the digits below a millisecond
    // dropped (TIME on 0 and 3). The literal parsers change nothing when
    // they refuse.
    int parseTime(const String& text) override;
    bool parseDate(const String& text) override;
    bool parseTimeOfDay(const String& text) override;
    // Fewer than 12 characters after "#" answer false.
    bool parseDateAndTime(const String& text) override;
    bool setObjectIds(uint16_t first, uint16_t second) override;
    // Non-zero when a data-value record could not be written.
    int writeImage(FsSecData& data, int32_t offset) const override;
    ST_CONST_DECLARE_BODIES
    void dumpValue(std::ostream& os) const override;
    bool isEqual(const StConstantVal& other) const override;
    int compareTo(const StConstantVal& other) const override;
    // Equal for two values exactly when compareTo answers 0 (the table's
    // hash of shared values relies on it).
    StConstOrderKey orderKey() const;
    // The hash of the order key (equivalent values have equal keys).
    uint64_t orderHash() const override { return StConstOrderKeyHash()(orderKey()); }
    // A system address holding none: equal to no value, itself included.
    bool isNeverEqual() const { return m_type == ST_MEMADR && u32() == 0x7FFFFFFFu; }
    void getRaw(uint8_t value[8], uint32_t& typeId, int32_t& sign) const override;
    // dumpValue, four blanks, the place dump.
    void dump(std::ostream& os) const override;

    // --- accessors of the business objects and the value conversion ---
    // Types below 13, 23 and 31 with a sign other than -1; else error, 0.
    uint32_t GetULongVal(bool& error) const;
    // Types below 13, 22 and 31, with the sign (a SINT, INT or DINT pattern
    // of unknown sign as the type's signed number); else error, 0x80000000.
    int32_t GetLongVal(bool& error) const;
    float GetRealVal(bool& error) const;
    double GetLRealVal(bool& error) const;
    void GetSysAddrVal(bool& error, uint16_t& first, uint16_t& second, uint32_t& word) const;
    // SINT, INT, DINT, alarm id: sign and magnitude in the type's width; 1
    // for other types.
    int SetLongVal(const int32_t& v);
    // BOOL, BYTE, USINT, WORD, UINT, DWORD, UDINT, task id; 1 otherwise.
    int SetULongVal(const uint32_t& v);
    // 1 and nothing changed for a NaN or an infinity (no written form
    // could carry it back); else type 14 / 15.
    int SetRealVal(const float& v);
    int SetLRealVal(const double& v);
    // Both words (ids in the first) and type 16.
    void SetSysAddrVal(const uint32_t words[2]);
    // The literal texts of TIME, DATE, TOD, DT; false for other types.
    bool getTimeText(String& text) const;
    bool getDateText(String& text) const;
    bool getTimeOfDayText(String& text) const;
    bool getDateAndTimeText(String& text) const;
    // One 32-bit target word, sign applied, REAL as its bits; 0 for types
    // without one.
    uint32_t getTargetWord() const;
    // n >= 2: a new integer array of n copies (esize apart) holding value;
    // else value itself. The caller's pointer is nulled either way.
    static StConstantVal* makeArrayConstantVal(StConstantVal*& value, uint32_t n, uint32_t elementSize);
    // One data-value record of the value repeated count times (elementary
    // scalar types); the image of the whole value otherwise.
    int writeImageCount(FsSecData& data, int32_t offset, uint32_t count) const;

    // A plain decimal [+-]digits[.digits][(e|E)[+-]digits] filling [text,
    // end) whose digits make at most 2^53 with a power of ten up to 22 either
    // way: the double strtod reads from it (one exact operation rounds as
    // strtod does). False, value untouched, for any other text.
    static bool readPlainDecimal(const char* text, const char* end, double& value);

    int32_t getSign() const { return m_sign; }
    void setSign(int32_t sign) { m_sign = sign; }

    // Day number of a Gregorian date (1992-01-01 = 1); the date of a day
    // number (false when its year would pass 9999).
    static int64_t dayNumber(int64_t year, unsigned month, unsigned day);
    static bool dateOfDay(uint32_t day, uint32_t& year, uint32_t& month, uint32_t& dayOfMonth);
    // Literal texts of the four time types from their values.
    static String timeText(uint32_t ms);
    static String dateText(uint32_t day);
    static String todText(uint32_t ms);


private:
    uint8_t u8() const { return m_value[0]; }
    uint16_t u16() const { return get<uint16_t>(0); }
    uint32_t u32() const { return get<uint32_t>(0); }
    uint32_t hi32() const { return get<uint32_t>(4); }
    float flt() const { return get<float>(0); }
    double dbl() const { return get<double>(0); }
    template <typename T>
    T get(unsigned at) const
    {
        T v;
        std::memcpy(&v, m_value + at, sizeof(T));
        return v;
    }
    template <typename T>
    void put(T v, unsigned at = 0)
    {
        std::memcpy(m_value + at, &v, sizeof(T));
    }
    void clearValue() { std::memset(m_value, 0, sizeof(m_value)); }
    // A float of the type (sign +1); 1 and nothing changed when not finite.
    template <typename F>
    int setFloat(F v, int32_t type);
    // The value of an integer type widened to 32 bits (pattern of its width).
    uint32_t pattern() const;
    // Stores a 32-bit magnitude or pattern in the width of the type.
    void setPattern(uint32_t v);
    // A positive 32-bit value of the type.
    void setWord(int32_t type, uint32_t v);
    // Zeroes the bytes the type does not use.
    void canonicalise();
    int typeUntyped(uint32_t target);
    // The value of a pattern type (1-13) as compareTo orders it.
    int64_t patternKey() const;
    // SINT / INT / DINT with sign 0 take the sign of their top bit.
    void resolveSign();
    template <class A>
    void ioNumber(A& a);

    uint8_t m_value[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int32_t m_type;
    int32_t m_sign = 1;
};

namespace McConvert {
// Machine value record of an elementary constant: mode of its type id,
// address = storage address + offset, extra, and the value in its width
// (signed bytes, words and double words with the sign applied, LREAL as
// the whole double; 0 for the 64-bit integers, ANYOBJECT and DT).
McMachValue makeMachValue(const StConstantVal& constant, int32_t offset, uint32_t extra);
}  // namespace McConvert
