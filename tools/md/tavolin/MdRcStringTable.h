// Writer of the string tables that the section compilers append to the
// resource script named by the host. Shared by every compiler that has texts
// for the host's resources (variables, comments, alarms, error texts).
//
// A table is
//
//   STRINGTABLE DISCARDABLE
//   BEGIN
//      0x0001   "first text"
//      0x000A   "second text"
//   END
//   (empty line)
//
// Each text line is three blanks, "0x", the id in upper-case hexadecimal of
// at least four digits, three blanks and the text between double quotes,
// each double quote inside it doubled (""), each line end in it (CR LF, LF
// or CR) written as the escape \n so that the entry keeps to its line, and
// every other byte as it stands. A backslash is an escape to a resource
// compiler, and the author's escapes stay (C:\temp\new is read with a tab
// and a line end, a\\b with one backslash); but a run of backslashes that
// leaves a lone last one before a quote, a line end or the text's end gets
// one more, so that it stands for itself rather than escape the quote or
// the \n written there: a\"b is written "a\\""b", ends\ "ends\\". So does
// one before an x or X that no hexadecimal digit follows (no escape, but
// read as a NUL byte): c\x is written "c\\x". The numeric escapes stay
// the author's: \x41 is an A, and D:\0815 holds a NUL byte. Thus
// every text line compiles, and reads back as the text with its escapes
// taken. (A text is not written as it stands between the quotes: a bare
// quote, line end or such a backslash would break the script.) Every line
// ends with "\r\n". The script is opened for appending and never
// truncated: what it held stays in front.
//
// Errors are sticky: after the first failed write nothing more is written,
// and close() reports the failure. A writer that is never opened fails.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "co/tvstring.h"

// Line end of the resource script.
extern const char kMdRcLineEnd[];

// The last id a section compiler gives a text. Ids of a resource script are
// 16 bits; 0xFFFE is the entry method's own text and 0xFFFF, all ones, no
// id. From a counter at 0 the texts of one source take 0 to 0xFFFD: 65,534
// texts fit.
constexpr uint32_t kMdRcLastTextId = 0xFFFD;

// Whether a text may take id (ids are handled as the 32-bit words the
// counters are: a negative one has wrapped and is past the last id).
constexpr bool mdRcTextIdFits(int32_t id)
{
    return uint32_t(id) <= kMdRcLastTextId;
}

// id as the script writes it ("0x" and at least four upper-case digits).
std::string mdRcIdText(int32_t id);

// The most characters one string resource holds: a resource compiler stores
// its length as a 16-bit word, and a longer text is read back as an empty
// one, with the rest of its block of sixteen ids taken from its pieces.
constexpr uint64_t kMdRcMostTextChars = 0xFFFF;

// The characters a resource compiler stores for text as addText writes it:
// each byte one (code page 1252), a quote one (written doubled), a line end
// one (CR LF, LF or CR, written \n), and a backslash run as the compiler
// reads it: a pair is one backslash, and a lone last one (the writer doubles
// it before a quote, a line end, the end or an x without a hexadecimal digit)
// escapes what follows - \a \b \f \n \r \t \v one, up to three octal digits
// one, an x or X with up to two hexadecimal digits one, any other byte two
// (the backslash stays). Linear in length; nothing is copied.
uint64_t mdRcStoredChars(const char* text, std::size_t length);

// What a resource compiler reads back of text as addText writes it: the
// characters it stores (mdRcStoredChars), and the first byte it reads that
// code page 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D;
// tvp::ansiByteUndefined), or 0. Such a byte comes raw, after a backslash
// that escapes nothing, or from an escape: \x81 or \X8d (up to two
// hexadecimal digits of either case), \201, or \601 (up to three octal
// digits, the value's low eight bits). Not from what the writer makes
// stand for itself: \\x81 is a backslash and "x81". The writer keeps
// such a byte (Windows maps it to the C1 control of its value); a
// resource compiler that converts by the code page's definition refuses
// it and drops or cuts the text. undefinedAt is where in text that byte
// was read (its escape's backslash for an escape), for the line it stands
// on. utf8 tells whether text's own bytes (not its escapes) hold a
// well-formed UTF-8 sequence of two to four bytes: a sign that the source
// was saved as UTF-8, whose letters a code page 1252 script shows as two
// or three characters each ("GrÃ¶ÃŸe"). Rare in a code page 1252 text,
// though not impossible ("Ã¤" is two letters there). One pass, as
// mdRcStoredChars.
struct MdRcReadBack {
    uint64_t chars = 0;
    unsigned char undefinedByte = 0;
    std::size_t undefinedAt = 0;
    bool utf8 = false;
};
MdRcReadBack mdRcReadBack(const char* text, std::size_t length);

// Whether a text whose stored characters are `chars` (a prefix counted in)
// fits one string resource.
constexpr bool mdRcTextLengthFits(uint64_t chars)
{
    return chars <= kMdRcMostTextChars;
}

class MdRcStringTable {
public:
    MdRcStringTable() = default;
    // Closes a script still open (its result is then lost).
    ~MdRcStringTable();
    MdRcStringTable(const MdRcStringTable&) = delete;
    MdRcStringTable& operator=(const MdRcStringTable&) = delete;

    // Opens path for appending, creating it when missing. False when it
    // cannot be opened (an empty path included); the writer is then failed.
    bool open(const String& path);
    // "STRINGTABLE DISCARDABLE" and "BEGIN".
    void beginTable();
    // How the id of a text line is written: upper-case hexadecimal digits,
    // or lower-case ones (the entry line of the source opening, "0xfffe").
    enum IdDigits { UpperCaseId, LowerCaseId };
    // One text line.
    void addText(int32_t id, const String& text);
    void addText(int32_t id, const char* text, std::size_t length, IdDigits digits = UpperCaseId);
    // "END" and the empty line.
    void endTable();
    // Closes the script. True when it was opened and every write and the
    // close succeeded.
    bool close();

    bool good() const { return m_file && !m_failed; }

private:
    void put(const char* text, std::size_t len);
    void put(const char* text);
    // Where n more bytes go, writing what is pending first when they would
    // not fit; null when the writer is failed.
    char* room(std::size_t n);
    // Writes what is pending.
    void flush();

    std::FILE* m_file = nullptr;
    bool m_failed = false;
    std::unique_ptr<char[]> m_pending;  // put, not yet written: m_used of m_room bytes
    std::size_t m_room = 0;
    std::size_t m_used = 0;
};

// Appends one whole table with the texts in their order (id, text) to the
// script at path. False when the script cannot be opened or written.
bool mdAppendStringTable(const String& path, const std::vector<std::pair<int32_t, String>>& texts);
