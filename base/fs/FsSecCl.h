// FsSecCl: the section stream. One named stream of a compound file, read and
// written through a 16384-byte window, with values serialised either as
// blank-separated text (the normal form) or as raw little-endian bytes
// (binary mode). The first failure is kept in a sticky error code; while it
// is set every further operation does nothing, so a caller checks the code
// once after a run of operators.
//
// Numbers are 32-bit on both sides of the file: int32_t / uint32_t are the
// integer types of the format. 64-bit integers (including the 64-bit C++
// `long` of this platform) are refused with error 1, never narrowed or
// widened. Floating-point text does not depend on the C locale.
//
// Separators are NUL, TAB, LF, CR and blank. The number writers never write
// one; callers use putBlank / putNewLine (text mode only) or << ' '.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <vector>

#include "base/fs/FsRTTypeID.h"
#include "co/tvstring.h"
#include "co/tvwstring.h"
#include "platform/storage.h"
#include "platform/variant.h"
#include "platform/wintypes.h"

// Writes v in the base (2 to 36, lower-case letters) into out, which has
// room for 32 digits, as a section writes an unsigned number in text mode;
// the count of characters.
int fsFormatUnsigned(uint32_t v, uint32_t base, char* out);

// Sticky error codes of a section stream.
enum FsSecError : uint32_t {
    FSSEC_OK = 0,
    FSSEC_EOF = 1,            // read past the end; 64-bit value; attach failed
    FSSEC_LONG_SYNTAX = 4,    // signed number not followed by a separator
    FSSEC_ULONG_SYNTAX = 5,   // unsigned number not followed by a separator
    FSSEC_FLOAT_RANGE = 6,    // float outside +-3.4028234663852886e38
    FSSEC_DOUBLE = 7,         // double not finite, or text not wholly a number
    FSSEC_BOOL = 8,           // bool value above 1
    FSSEC_GUID = 9,           // GUID text not convertible
    FSSEC_SHORT_RANGE = 10,   // short outside -32768..32767
    FSSEC_USHORT_RANGE = 11,  // unsigned short >= 0x10000
    FSSEC_UCHAR_RANGE = 12,   // unsigned char >= 256
    FSSEC_LENT = 13,          // the stream is lent out
    FSSEC_NOT_WRITABLE = 14,  // write on a read-only section; copy target short
    FSSEC_COPY_SOURCE = 15,   // copy source not fully read
    FSSEC_STREAM_CALL = 16,   // a call of the stream failed
    FSSEC_LENGTH = 17,        // a count or length larger than the rest of the section
    FSSEC_INTERNAL = 18,      // buffer/position inconsistency, stream too large
    FSSEC_BINARY_TOKEN = 19,  // text token asked in binary mode
};

// Open mode bits shared with the section manager.
constexpr uint32_t FS_MODE_WRITE = 0x01;
constexpr uint32_t FS_MODE_CREATE = 0x04;
constexpr uint32_t FS_MODE_ADOPT = 0x10;

class FsSecCl {
public:
    static constexpr uint32_t WINDOW_SIZE = 16384;
    static constexpr uint32_t NO_WINDOW = 0xFFFFFFFFu;

    FsSecCl();
    explicit FsSecCl(IStream* stream);
    FsSecCl(const FsSecCl&) = delete;
    FsSecCl& operator=(const FsSecCl&) = delete;

    // Section classes override these: read the content after opening, write
    // it when the section is closed. 0 is success.
    virtual uint32_t read();
    virtual uint32_t write();
    // Flushes, commits and releases the stream.
    virtual ~FsSecCl();
    // 0 for the plain section stream.
    virtual uint32_t typeId() const;

    // --- attachment ---
    // 3 when a stream is attached already, 1 for a null stream or a failing
    // Stat (error 16) / a stream of 4 GB or more (error 18); else 0.
    uint32_t attach(IStream* stream, uint32_t mode);
    // Opens the named stream of the storage (read-write when mode bit 0 is
    // set, else read; exclusive) and attaches it. 3 attached already, 7 the
    // stream does not open, else the result of attach.
    uint32_t openStream(IStorage* storage, const char* name, uint32_t mode);

    // --- state ---
    uint32_t getError() const { return m_error; }
    // Sets the error unless one is set; the position is recorded. Readers of
    // the model set 18 themselves for a count that does not match.
    void setError(uint32_t code);
    uint32_t getErrorPos() const { return m_errorPos; }
    bool hasError() const { return m_error != 0; }
    void clearError()
    {
        m_error = 0;
        m_errorPos = 0;
    }
    uint32_t getFlags() const { return m_flags; }
    void setFlags(uint32_t flags) { m_flags = flags; }
    bool isWritable() const { return (m_flags & FS_MODE_WRITE) != 0; }
    bool isBinary() const { return m_binary != 0; }
    void setBinary(bool binary) { m_binary = binary ? 1 : 0; }
    uint32_t getBase() const { return m_base; }
    // Number base of text integers (2..36; other values are ignored).
    void setBase(uint32_t base)
    {
        if (base >= 2 && base <= 36) m_base = base;
    }
    // Longest next text token (0 = no limit); reset after each token.
    void setTokenLimit(int32_t limit) { m_tokenLimit = limit; }
    bool isChanged() const { return m_changed != 0; }
    void setChanged(bool changed = true) { m_changed = changed ? 1 : 0; }
    const FILETIME& getStamp() const { return m_stamp; }
    // Absolute position and logical size of the section.
    uint32_t tell() const { return m_windowStart == NO_WINDOW ? m_windowPos : m_windowStart + m_windowPos; }
    uint32_t getSize() const { return m_end; }
    bool atEnd() const { return tell() >= m_end; }
    // The attached stream (no reference is added), null when none.
    IStream* stream() const { return m_pStream; }

    // --- positioning ---
    // origin 0 start, 1 current, 2 end. A target outside 0..size, another
    // origin, or a set error leave the position unchanged. Returns the
    // position (0 when the window could not be reloaded).
    uint32_t seek(int32_t offset, uint32_t origin = 0);
    // Back to position 0.
    void reset() { seek(0, 0); }
    // Truncates or extends the section; the position becomes the new end.
    // 0 success, 1 an error is set, the section is read-only (error 14) or
    // the stream call failed (error 16), 9 no stream.
    uint32_t setSize(uint32_t size);

    // --- raw bytes (both modes) ---
    FsSecCl& operator<<(char c);
    FsSecCl& operator<<(const char* text);  // up to the NUL, no terminator
    void writeBytes(const void* data, uint32_t length)
    {
        // Most writes are a few bytes that fit in the loaded window short of
        // its end: copied here, without a call.
        if (m_windowStart != NO_WINDOW && m_windowPos < WINDOW_SIZE && length - 1 < WINDOW_SIZE - m_windowPos - 1 &&
            !m_error && (m_flags & FS_MODE_WRITE) && data &&
            uint64_t(m_windowStart) + m_windowPos + length <= 0xFFFFFFFFull) {
            std::memcpy(m_buffer + m_windowPos, data, length);
            m_windowPos += length;
            m_dirty = 1;
            if (m_windowPos > m_windowValid) m_windowValid = m_windowPos;
            const uint32_t pos = m_windowStart + m_windowPos;
            if (pos > m_end) m_end = pos;
            return;
        }
        writeBytesAnywhere(data, length);
    }
    // The byte at the position (0 and error 1 at the end).
    char readChar();
    // Copies length bytes; error 1 when the end comes first (the bytes up
    // to the end are copied).
    void readBytes(void* data, uint32_t length);
    // One blank / "\r\n", in text mode only.
    void putBlank();
    void putNewLine();

    // --- numbers ---
    FsSecCl& operator<<(int32_t v);
    FsSecCl& operator<<(uint32_t v);
    FsSecCl& operator<<(int16_t v);
    FsSecCl& operator<<(uint16_t v);
    FsSecCl& operator<<(uint8_t v);
    FsSecCl& operator<<(bool v);
    FsSecCl& operator<<(float v);
    FsSecCl& operator<<(double v);
    // Refused: error 1 and a trace line.
    FsSecCl& operator<<(long v);
    FsSecCl& operator<<(unsigned long v);
    FsSecCl& operator<<(long long v);
    FsSecCl& operator<<(unsigned long long v);

    FsSecCl& operator>>(int32_t& v);
    FsSecCl& operator>>(uint32_t& v);
    FsSecCl& operator>>(int16_t& v);
    FsSecCl& operator>>(uint16_t& v);
    FsSecCl& operator>>(uint8_t& v);
    FsSecCl& operator>>(bool& v);
    FsSecCl& operator>>(float& v);
    FsSecCl& operator>>(double& v);
    FsSecCl& operator>>(long& v);
    FsSecCl& operator>>(unsigned long& v);
    FsSecCl& operator>>(long long& v);
    FsSecCl& operator>>(unsigned long long& v);

    // --- texts ---
    // Length (decimal; 4 raw bytes in binary mode), a blank in text mode,
    // then the characters.
    FsSecCl& operator<<(const String& s);
    FsSecCl& operator>>(String& s);
    // Length in UTF-16 units, a blank in text mode, then 2 x length bytes.
    FsSecCl& operator<<(const WString& s);
    FsSecCl& operator>>(WString& s);
    // A text token into buf: skips separators, copies up to the next
    // separator, the token limit or the end, and consumes the separator
    // that ended it. The token limit (setTokenLimit) bounds it; without one
    // (0) it may run to the end of the section, so buf must hold the rest of
    // the section and a NUL.
    FsSecCl& operator>>(char* buf);
    // The same with the room given: at most bufSize - 1 characters and a
    // NUL. Returns the number of characters, 0 when nothing was read.
    uint32_t readTokenInto(char* buf, uint32_t bufSize);
    // Appends characters until the terminator (consumed, not stored) or the
    // end. True when the end was reached or an error is set.
    bool readUntil(String& s, char terminator);
    // Appends characters until LF , ; = or | (consumed, not stored); drops
    // blanks, keeps everything else (CR included). True at the end or on error.
    bool readToken(String& s);

    // --- GUIDs and composite values ---
    // Text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and a blank; binary 16 bytes.
    FsSecCl& operator<<(const GUID& g);
    FsSecCl& operator>>(GUID& g);
    FsSecCl& operator<<(const RTTypeID& id);
    FsSecCl& operator>>(RTTypeID& id);
    FsSecCl& operator<<(const std::list<RTTypeID>& ids);
    FsSecCl& operator>>(std::list<RTTypeID>& ids);
    FsSecCl& operator<<(const std::list<FsSupportedToTypeEntry>& entries);
    FsSecCl& operator>>(std::list<FsSupportedToTypeEntry>& entries);
    // Count, then per connector: id, blank, name, blank, id, blank, GUID,
    // blank, five flags each followed by a blank, group, blank, major,
    // blank, minor, blank (blanks in text mode only). The reader keeps the
    // first of two connectors with one id.
    FsSecCl& operator<<(const FsConnectionList& list);
    FsSecCl& operator>>(FsConnectionList& list);
    void writeULongPair(uint32_t first, uint32_t second);
    void readULongPair(uint32_t& first, uint32_t& second);
    FsSecCl& operator<<(const VARIANT& v);
    // Clears v first; an unknown or unsupported type yields VT_EMPTY.
    FsSecCl& operator>>(VARIANT& v);

    // --- lending the stream ---
    // Flushes and hands out the stream with a new reference; the section
    // then does nothing (error 13) until reloadIfChanged. 0 on success, the
    // error code (out null) when an error is set, 1 for a null out.
    uint32_t getIStreamPtr(IStream** out);
    // Takes the stream back: 1 unless lent; clears error 13 and, unless the
    // stream is known unchanged, re-reads it from position 0.
    uint32_t reloadIfChanged();
    uint32_t releaseIStreamPtr() { return reloadIfChanged(); }

    // --- copying ---
    // Replaces the content by the content of source (nothing when both are
    // the same stream). Stops when the section cannot be emptied. A short
    // copy sets error 15 on the source and 14 here.
    void copyFrom(FsSecCl& source);

    // Writes the window to the stream (only when writable and dirty).
    void flush();

protected:
    void setErrorAt(uint32_t code, uint32_t pos);
    // Loads the window at p; false (error 16/18) on failure.
    bool loadWindow(uint32_t p);
    bool ensureWindow()
    {
        return m_windowStart != NO_WINDOW || loadWindow(m_windowPos);
    }
    // writeBytes for any length and state: errors, whole windows, crossings.
    void writeBytesAnywhere(const void* data, uint32_t length);
    // Moves past the window end when the position reached it.
    void crossWindow();
    // Writes n bytes (whole windows) at the start of the window straight to
    // the stream, after flushing the window, and loads the window that
    // follows them. False (error 16 or 18) on failure.
    bool writeDirect(const uint8_t* p, uint32_t n);
    // Next byte without consuming it; false at the end (no error set).
    bool peekChar(char& c);
    // Raw token (separators skipped); limit characters at most. Sets error
    // 19 in binary mode, 1 when the end comes before any character.
    uint32_t readRawToken(char* buf, uint32_t limit);
    // Text number: in place in the window when possible, else through a
    // token. False when an error was set.
    bool readTextNumber(bool isSigned, uint32_t& out);
    void writeTextSigned(int32_t v);
    void writeTextUnsigned(uint32_t v);
    void refuse64(const char* method);
    // Writes every field, each followed by a blank (text mode).
    template <typename... Fields>
    void putFields(const Fields&... fields)
    {
        ((*this << fields, putBlank()), ...);
    }
    // Integers of 32 bits at most: their own size in binary mode, digits in
    // the current base in text mode. Reading a narrower type sets rangeError
    // when the text number does not fit.
    template <typename T>
    FsSecCl& putInteger(T v);
    template <typename T>
    FsSecCl& getInteger(T& v, uint32_t rangeError = 0);
    // In binary mode reads sizeof(T) bytes into v (left as it was on error)
    // and returns true; false in text mode.
    template <typename T>
    bool getBinary(T& v);
    // Length in front of a text; getLength is false when an error was set.
    void putLength(uint32_t len);
    bool getLength(uint32_t& len);
    // Number of list entries, checked against what the section still holds.
    bool getCount(uint32_t& count, uint32_t leastBytesEach);
    uint32_t writeVariant(const VARIANT& v, int depth);
    void readVariant(VARIANT& v, int depth);
    uint32_t remaining() const { return m_end > tell() ? m_end - tell() : 0; }

    uint32_t m_flags;
    IStream* m_pStream;
    uint32_t m_error;
    uint32_t m_errorPos;
    FILETIME m_stamp;
    uint32_t m_windowStart;
    uint32_t m_windowPos;
    uint32_t m_windowValid;
    uint32_t m_end;
    uint32_t m_base;
    int32_t m_tokenLimit;
    uint8_t m_changed;
    uint8_t m_binary;
    uint8_t m_dirty;
    uint8_t m_buffer[WINDOW_SIZE + 1];
};

static_assert(sizeof(long) == 8, "the 64-bit refusals assume an LP64 platform");
