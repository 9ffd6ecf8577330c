// The section classes of object files. Each class reads and writes one kind
// of section of an object file through the section stream it derives from;
// the section manager makes it through its factory when the section is
// opened, runs read() when the section is not empty and write() when it is
// closed.
//
// Common text conventions: a version line is a String (decimal length, blank,
// characters) and "\r\n"; a list is its count (unsigned), a blank, then each
// record followed by a blank; inside a record every field is followed by a
// blank. Table writers truncate the section first. Readers stop at the first
// stream error; a count that cannot fit into the bytes left of the section
// sets error 1 before anything is allocated.
#pragma once
#include <cstdint>
#include <list>
#include <vector>

#include "base/fs/FsRTTypeID.h"
#include "base/fs/FsSecCl.h"
#include "co/tvstring.h"
#include "platform/wintypes.h"

// Type ids reported by typeId().
enum FsSecTypeId : uint32_t {
    FS_SECTYPE_PLAIN = 0,
    FS_SECTYPE_OBJHEAD = 2,
    FS_SECTYPE_DATA = 3,
    FS_SECTYPE_CODE = 4,
    FS_SECTYPE_LINNR = 5,
    FS_SECTYPE_SYMBTAB = 6,
    FS_SECTYPE_EXTTABLE = 11,
    FS_SECTYPE_UNINTERFACE = 15,
    FS_SECTYPE_UNUSETABLE = 16,
    FS_SECTYPE_FUNCEXPORT = 17,
    FS_SECTYPE_PROGSTATE = 18,
    FS_SECTYPE_ALARMUSING = 19,
    FS_SECTYPE_UNDATAEX = 20,
    FS_SECTYPE_DATADESCR = 21,
    FS_SECTYPE_CVALUE = 22,
    // The extended form of the line-number section announces itself with
    // this id in place of FS_SECTYPE_LINNR.
    FS_SECTYPE_LINNR_EXT = 105,
};

// Result of a reader that met a version text it does not know.
constexpr uint32_t FS_SEC_WRONG_VERSION = 12;

// Allocation that reports failure as null (the section manager turns a null
// section into result 1).
template <class T>
FsSecCl* fsNewSection()
{
    try {
        return new T;
    } catch (...) {
        return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Base of the sections with a version line.

class FsSecVersioned : public FsSecCl {
public:
    // Set by a reader that met another version text than it accepts.
    bool isWrongVersion() const { return m_wrongVersion; }

protected:
    // String form of the version and "\r\n" (base 10).
    void writeVersionLine(const char* version);
    // Reads the version String into text; false on a stream error.
    bool readVersionText(String& text);
    // Reads the version and compares it with the expected text; a different
    // text sets the wrong-version flag. False unless it matched.
    bool readVersion(const char* expected);
    // A count of records each at least minBytes long must fit into what is
    // left of the section; else error 1 and false.
    bool checkCount(uint32_t count, uint32_t minBytes = 1);
    // Skips separators; false at the end of the section.
    bool skipSeparators();

    // A table list: the count and a blank, every entry (writeEntry puts its
    // fields) followed by one more blank, then a new line (blanks and new
    // lines in text mode only). No list counts as empty.
    template <typename Entry, typename WriteEntry>
    void writeList(const std::vector<Entry>* entries, WriteEntry writeEntry)
    {
        *this << uint32_t(entries ? entries->size() : 0);
        putBlank();
        if (entries)
            for (const Entry& e : *entries) {
                writeEntry(e);
                putBlank();
            }
        putNewLine();
    }
    // Reads what writeList wrote (readEntry reads the fields of one entry)
    // and appends the entries; false at the first error.
    template <typename Entry, typename ReadEntry>
    bool readList(std::vector<Entry>& entries, ReadEntry readEntry)
    {
        uint32_t count = 0;
        *this >> count;
        if (!checkCount(count)) return false;
        for (uint32_t i = 0; i < count; ++i) {
            Entry e;
            readEntry(e);
            if (hasError()) return false;
            entries.push_back(e);
        }
        return true;
    }

    bool m_wrongVersion = false;
};

// ---------------------------------------------------------------------------
// Header section "header" of an object file.

// One address-translation entry. Its record layout (40 bytes, little-endian:
// GUID, kind, area code, four signed words) is what the code digest takes.
struct FsAddrTranslEntry {
    GUID guid = GUID_NULL;
    uint32_t kind = 0;
    uint32_t area = 0;
    int32_t long1 = 0x7FFFFFFF;
    int32_t long2 = 0x7FFFFFFF;
    int32_t long3 = 0;
    int32_t long4 = 0;

    static constexpr uint32_t RECORD_SIZE = 40;
    void toRecord(uint8_t out[RECORD_SIZE]) const;

    bool operator==(const FsAddrTranslEntry& o) const;
};

struct FsIdPair {
    uint32_t first = 0;
    uint32_t second = 0;
    bool operator==(const FsIdPair& o) const { return first == o.first && second == o.second; }
};

// Content of the object-file header, fields in file order.
struct FsObjHeadData {
    String name;
    GUID codeGuid = GUID_NULL;  // code version
    String text1;
    String text2;
    FsIdPair idPair1;
    GUID guid1 = GUID_NULL;     // second version
    FsIdPair idPair2;
    GUID guid2 = GUID_NULL;
    GUID guid3 = GUID_NULL;
    uint32_t flags = 0;
    std::vector<FsAddrTranslEntry> translations;
    GUID guid4 = GUID_NULL;
    GUID guid5 = GUID_NULL;
    GUID guid6 = GUID_NULL;
    int32_t longs[5] = {0, 0, 0, 0, 0};
    bool bools[3] = {false, false, false};

    bool operator==(const FsObjHeadData& o) const;
};

// Translates target addresses through an ordered table of ranges.
class StBubAddressTranslate {
public:
    virtual ~StBubAddressTranslate() {}
    // False when no range holds the address; a range without its translate
    // flag answers true and leaves the address alone.
    virtual bool translate(uint32_t& address) = 0;
    // Deletes what out points to and makes out a copy of this object.
    virtual void clone(StBubAddressTranslate*& out) = 0;
};

class FsHmiTranslate_ObjHead : public StBubAddressTranslate {
public:
    struct Range {
        uint32_t start;
        uint32_t size;
        uint32_t target;
        bool translate;
    };

    FsHmiTranslate_ObjHead() {}
    // One range per entry that has a start address: long1 start, long3
    // size, long2 target, bit 0 of long4 the translate flag.
    explicit FsHmiTranslate_ObjHead(const FsObjHeadData& head);
    ~FsHmiTranslate_ObjHead() override {}

    void addRange(uint32_t start, uint32_t size, uint32_t target, bool translate);
    bool translate(uint32_t& address) override;
    void clone(StBubAddressTranslate*& out) override;
    size_t rangeCount() const { return m_ranges.size(); }

private:
    std::vector<Range> m_ranges;  // ordered by start
};

class FsSecObjHead : public FsSecVersioned {
public:
    static const char* const VERSION;     // "ObjectFileFormat_Version4.1"
    static const char* const VERSION_04;  // "ObjectFileFormat_Version 0.4"
    static const char* const VERSION_321; // "ObjectFileFormat_Version 3.21"

    enum Format { FORMAT_NONE = 0, FORMAT_04 = 1, FORMAT_321 = 2, FORMAT_41 = 3 };

    // 0 read, 12 unknown version, 1 read error.
    uint32_t read() override;
    // Rewrites the section when changed and writable; 1 (error cleared)
    // when the stream failed.
    uint32_t write() override;
    uint32_t typeId() const override { return FS_SECTYPE_OBJHEAD; }

    const FsObjHeadData& data() const { return m_data; }
    FsObjHeadData& data() { return m_data; }
    void setData(const FsObjHeadData& d)
    {
        m_data = d;
        setChanged();
    }
    // Which format the last read met.
    int format() const { return m_format; }

private:
    void readBody41();
    void readBody321();
    void readBody04();
    void readIdPair(FsIdPair& p);
    void readTranslation(FsAddrTranslEntry& e);
    void writeTranslation(const FsAddrTranslEntry& e);

    FsObjHeadData m_data;
    int m_format = FORMAT_NONE;
};

// ---------------------------------------------------------------------------
// Code section "code": text until the line ">" "CodeSec_V2_0", then binary.

class FsSecCode : public FsSecCl {
public:
    static const char* const VERSION;  // "CodeSec_V2_0"

    uint32_t typeId() const override { return FS_SECTYPE_CODE; }

    // The next 32-bit word: in text mode blanks, line ends and comment
    // lines ("#" up to the CR) are skipped, a ">" line switches to binary
    // (another version text: error 9); text words are hexadecimal, binary
    // words 4 raw bytes. False when an error is set.
    bool readWord(uint32_t& word);

    // Writers of the same form: the ">" line (switching to binary) and one
    // word (text: hexadecimal and a blank; binary: 4 bytes).
    void writeBinaryHeader();
    void writeWord(uint32_t word);
};

// ---------------------------------------------------------------------------
// Data sections "data" and "bss_seg": a sequence of value records.

struct FsDataValue {
    enum : uint32_t {
        T_SINT = 0, T_INT = 1, T_DINT = 2, T_LINT = 3,
        T_USINT = 4, T_UINT = 5, T_UDINT = 6, T_ULINT = 7,
        T_REAL = 8, T_LREAL = 9, T_UNSET = 13,
    };

    uint32_t type = T_UNSET;
    int32_t address = 0x7FFFFFFF;
    int32_t size = 0;
    uint64_t raw = 0;  // the value; 32-bit types in the low word

    int32_t getLong() const { return int32_t(uint32_t(raw)); }
    uint32_t getULong() const { return uint32_t(raw); }
    float getFloat() const;
    double getDouble() const;
    void setLong(uint32_t t, int32_t v) { type = t; raw = uint32_t(v); }
    void setULong(uint32_t t, uint32_t v) { type = t; raw = v; }
    void setFloat(float v);
    void setDouble(double v);
    // Integer 0, or a float or double equal to 0 (-0.0 included).
    bool isZero() const;
};

class FsSecData : public FsSecCl {
public:
    uint32_t typeId() const override { return FS_SECTYPE_DATA; }

    // With write-all cleared, zero values are not written. Set by default.
    void setWriteAll(bool all) { m_writeAll = all; }
    bool isWriteAll() const { return m_writeAll; }

    // Appends one record; the first call after opening empties the section.
    // 64-bit and unset types are refused (error 1). False when an error is set.
    bool writeValue(const FsDataValue& v);
    // Reads records from the position to the end and appends them; the sum
    // of their sizes goes to totalSize. False at the first error.
    bool readValues(std::vector<FsDataValue>& out, uint32_t& totalSize);

private:
    bool m_writeAll = true;
    bool m_started = false;
};

// ---------------------------------------------------------------------------
// Line-number section "debug".

struct FsLinNrNamed {
    String name;
    int32_t value1 = 0;
    int32_t value2 = 0;
    uint32_t value3 = 0;
};

struct FsLineRecord {
    int32_t key = 0;
    String fileName;     // empty: no file
    int32_t line = 0;
    uint32_t column = 0;
    int32_t extra = 0;
    std::vector<int32_t> values;
};

class FsSecLinNr : public FsSecCl {
public:
    static constexpr uint32_t HEADER_SIZE = 40;
    static constexpr uint32_t NO_FILE = 0xFFFFFFFFu;

    uint32_t read() override;
    // Rewrites the header in place (with the lists when no line was written).
    uint32_t write() override;
    uint32_t typeId() const override { return FS_SECTYPE_LINNR; }

    void setExtended(bool ext) { m_extended = ext; }
    bool isExtended() const { return m_extended; }
    void setHeadValue(int32_t v) { m_headValue = v; }
    int32_t headValue() const { return m_headValue; }
    uint32_t lineCount() const { return m_lineCount; }

    // Before the first line only (a name added later is refused by
    // writeLine). Returns the index of the name.
    uint32_t addFileName(const String& name);
    void addNamed(const FsLinNrNamed& n) { m_named.push_back(n); }
    const std::vector<String>& fileNames() const { return m_fileNames; }
    const std::vector<FsLinNrNamed>& named() const { return m_named; }

    // Writes the lists before the first line; false for a file name that
    // is not in the list written to the section, or a stream error. Lines
    // go to the end of the section, also after read().
    bool writeLine(const FsLineRecord& rec);
    // The next line after read(); false at the end or on an error.
    bool readLine(FsLineRecord& rec);

private:
    void writeHeader();
    void writeLists();

    bool m_extended = false;
    bool m_listsWritten = false;
    uint32_t m_namesInSection = 0;  // file names the section's list holds
    int32_t m_headValue = 0;
    uint32_t m_lineCount = 0;
    uint32_t m_linesRead = 0;
    std::vector<String> m_fileNames;
    std::vector<FsLinNrNamed> m_named;
};

// ---------------------------------------------------------------------------
// Program-state section "progstate": a 40-byte header, then state records.

class FsSecProgState : public FsSecVersioned {
public:
    static const char* const VERSION;  // "PrgState 0.2"
    static constexpr uint32_t HEADER_SIZE = 40;

    uint32_t read() override;
    uint32_t write() override;
    uint32_t typeId() const override { return FS_SECTYPE_PROGSTATE; }

    uint32_t getState() const { return m_state; }
    void setState(uint32_t s)
    {
        m_state = s;
        setChanged();
    }

private:
    uint32_t m_state = 0;
};

// ---------------------------------------------------------------------------
// External-references table "externrefs".

struct FsExtUnitRef {
    String name;
    int16_t kind = 0;
    int32_t value1 = 0;
    int32_t value2 = 0;
    uint32_t value3 = 0;
    int32_t value4 = 0;
    std::vector<uint16_t> ids;
};

struct FsExtTypeRef {  // lists 2 and 3
    String name;
    RTTypeID typeId;
    uint16_t number = 0;
};

struct FsExtTypeName {  // list 4
    String name;
    RTTypeID typeId;
};

struct FsExtTypeNumber {  // list 5
    RTTypeID typeId;
    uint16_t number = 0;
};

class FsSecExtTable : public FsSecVersioned {
public:
    static const char* const VERSION;  // "ExternTable_Version 1.0"

    uint32_t typeId() const override { return FS_SECTYPE_EXTTABLE; }

    // Null lists are written empty.
    bool writeTable(const std::vector<FsExtUnitRef>* units, const std::vector<FsExtTypeRef>* types2,
                    const std::vector<FsExtTypeRef>* types3, const std::vector<FsExtTypeName>* names,
                    const std::vector<FsExtTypeNumber>* numbers);
    // Null containers are read and dropped. False on a wrong version or an error.
    bool readTable(std::vector<FsExtUnitRef>* units, std::vector<FsExtTypeRef>* types2,
                   std::vector<FsExtTypeRef>* types3, std::vector<FsExtTypeName>* names,
                   std::vector<FsExtTypeNumber>* numbers);
};

// ---------------------------------------------------------------------------
// Unit-using table "unitused".

struct FsUnitUsedEntry {
    String name;
    String typeName;
    GUID guid = GUID_NULL;
    uint32_t version = 0;
    bool used = false;
    uint16_t number = 0;
    int32_t flags = 0;
    GUID guid2 = GUID_NULL;  // not in the 1.0 form
};

class FsSecUnUseTable : public FsSecVersioned {
public:
    static const char* const VERSION;     // "UnitUsingTable_Version 3.2"
    static const char* const VERSION_10;  // "UnitUsingTable_Version 1.0"

    uint32_t typeId() const override { return FS_SECTYPE_UNUSETABLE; }

    bool writeTable(const std::vector<FsUnitUsedEntry>& entries);
    bool readTable(std::vector<FsUnitUsedEntry>& entries);
};

// ---------------------------------------------------------------------------
// Function-export table "funcexport".

struct FsFuncExport {
    int32_t first = 0;
    int32_t second = 0;
};

class FsSecUnFuncExportTable : public FsSecVersioned {
public:
    static const char* const VERSION;  // "FuncExportTable_Version 0.1"

    uint32_t typeId() const override { return FS_SECTYPE_FUNCEXPORT; }

    bool writeTable(const std::vector<FsFuncExport>& entries);
    bool readTable(std::vector<FsFuncExport>& entries);
};

// ---------------------------------------------------------------------------
// Alarm-references table "alarmrefs".

struct FsAlarmRef {
    String name;
    uint32_t id = 0;
    int32_t value = 0;
};

class FsSecAlarmUsing : public FsSecVersioned {
public:
    static const char* const VERSION;  // "AlarmReferences_Version 1.0"

    uint32_t typeId() const override { return FS_SECTYPE_ALARMUSING; }

    bool writeTable(const std::vector<FsAlarmRef>& entries);
    bool readTable(std::vector<FsAlarmRef>& entries);
};

// ---------------------------------------------------------------------------
// Data-description section "unittoadrrefs", written and read step by step:
// openTable, the announced numbers, then units, each with its entries.

class FsSecDataDescr : public FsSecVersioned {
public:
    static const char* const VERSION;  // "DataDescription_Version 1.0"

    uint32_t typeId() const override { return FS_SECTYPE_DATADESCR; }

    // Once per direction. Writing empties the section and writes the
    // version line and count; reading goes to the start and reads them.
    // Numbers then go in base 16.
    bool openTable(bool write, uint32_t& count);
    // While announced numbers remain and no unit is open.
    bool writeNumber(uint32_t number);
    bool readNumber(uint32_t& number);
    // Once the numbers are done and the previous unit's entries are:
    // "\r\n", n in decimal and "\r\n" (or n is read).
    bool beginUnit(uint32_t& n);
    // While entries of the unit remain: name, blank, list, "\r\n".
    bool writeEntry(const String& name, const std::vector<uint32_t>& list);
    bool readEntry(String& name, std::vector<uint32_t>& list);

    uint32_t numbersLeft() const { return m_numbersLeft; }
    uint32_t entriesLeft() const { return m_entriesLeft; }

private:
    enum Dir { DIR_NONE = 0, DIR_WRITE = 1, DIR_READ = 2 };
    int m_dir = DIR_NONE;
    bool m_wroteOnce = false;
    bool m_readOnce = false;
    bool m_unitOpen = false;
    uint32_t m_numbersLeft = 0;
    uint32_t m_entriesLeft = 0;
};

// ---------------------------------------------------------------------------
// Constant-value table "values": a text header, then raw 32-bit words.

class FsSecCValue : public FsSecVersioned {
public:
    static const char* const VERSION;  // "ValueTable_Version 1.0"

    explicit FsSecCValue(uint32_t count = 0) : m_count(count) {}

    uint32_t typeId() const override { return FS_SECTYPE_CVALUE; }

    // The number of values the header announces; set before the first value.
    void setValueCount(uint32_t count) { m_count = count; }
    uint32_t valueCount() const { return m_count; }
    uint32_t writtenCount() const { return m_written; }

    // The first call empties the section and writes the version line, the
    // count in hexadecimal, "\r\n" and ">", then switches to binary. True
    // when every announced value is written or an error is set.
    bool writeValue(uint32_t value);
    // 0 when all announced values were read, 12 a wrong version, 1 an error.
    uint32_t readValues(std::vector<uint32_t>& values);

private:
    uint32_t m_count;
    uint32_t m_written = 0;
    bool m_started = false;
};

// ---------------------------------------------------------------------------
// Sections whose content the symbol table writes and reads itself.

class FsSecSymbTab : public FsSecCl {
public:
    uint32_t typeId() const override { return FS_SECTYPE_SYMBTAB; }
};

class FsSecUnInterface : public FsSecCl {
public:
    uint32_t typeId() const override { return FS_SECTYPE_UNINTERFACE; }
};

class FsSecUnDataEx : public FsSecCl {
public:
    uint32_t typeId() const override { return FS_SECTYPE_UNDATAEX; }
};
