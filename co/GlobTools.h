// Free helper functions used across the system: temporary files and
// directories, absolute paths below the configuration directory, text forms
// of times, GUIDs and object ids, OA consistency entries, lists in VARIANTs,
// stream and BSTR conversions, waiting, memory checks, scrambling, the
// lower-case table and the process-wide validation patterns.
//
// Failures are written as trace lines (source "co_globtools") and answered
// with false or an empty text; nothing here throws (the stream and BSTR
// conversions answer E_OUTOFMEMORY when memory is exhausted).
#pragma once
#include <boost/regex.hpp>
#include <cstdint>

#include <string>
#include <vector>

#include "co/tvstring.h"
#include "platform/storage.h"
#include "platform/system.h"
#include "platform/variant.h"
#include "platform/wintypes.h"

// ---- temporary files and directories -------------------------------------
//
// Created in $TMPDIR (else /tmp), never in the current directory.

// Creates a new empty file exclusively (mode 0600) and returns its path;
// empty on failure. The name starts with "mctmp", followed with `unique` by
// the process id and the thread id (eight hexadecimal digits each, the
// prefix cut to 20 characters). The caller owns the file and removes it.
String createTempName(bool unique);

// Creates a new directory (mode 0700) and returns its path; empty on failure.
String createTempDirectory();

// Removes the directory with everything below it. Symbolic links are removed
// as links, never followed (a link given as `path` is left alone); there is
// no limit on the depth or the path length. True when the directory is gone.
bool removeDirectoryTree(const char* path);

// ---- paths ----------------------------------------------------------------
//
// Paths come from the host in Windows form but are used on Linux. A path is
// absolute when it starts with a drive letter and a colon ("C:\x"), with a
// backslash (also "\\srv\x") or with a slash ("/x"); such a path is left as
// it is. A relative path ("a\b") is put below the configuration directory:
// - a directory in Linux form (starting with '/') is joined with one '/',
//   and every backslash of the result becomes a slash ("/opt\cfg\" and
//   "a\b" give "/opt/cfg/a/b");
// - a directory in Windows form is joined with one backslash, even when it
//   already ends in one: "C:\cfg\" + "a\b" -> "C:\cfg\\a\b";
// - without a configuration directory the path stays relative (false).

// The configuration directory of the settings (see CoSettings.h) is stored
// into configDir when given. True when the path was changed.
bool makeAbsolutePath(String& path, String* configDir = nullptr);
// The same rule with an explicit configuration directory.
bool makeAbsolutePathIn(String& path, const String& configDir);
// True for the absolute forms above.
bool isAbsolutePath(const char* path);

// ---- texts ----------------------------------------------------------------

// "%d-%02d-%02d#%02d:%02d:%02d.%d" (year, month, day, hour, minute, second,
// milliseconds) of the UTC time; empty for a time beyond the range of
// system times (top bit set).
String fileTimeToText(const FILETIME& ft);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
String guidToText(const GUID& guid);
// Accepts exactly one braced GUID (either case); false sets GUID_NULL.
bool textToGuid(const char* text, GUID* guid);

// The GUID text, a blank and the two numbers: "{...} 1 -2".
String guidNumbersToText(const GUID& guid, int32_t first, int32_t second);
// The GUID is the text up to the first blank; both numbers must follow.
bool textToGuidNumbers(const char* text, GUID* guid, int32_t* first, int32_t* second);

// Object id: kind 0 holds a GUID, kind 1 six 32-bit numbers (a PX object
// descriptor).
struct CoObjectId {
    uint32_t kind;
    union {
        GUID guid;
        uint32_t pxod[6];
    };
};

// Kind 0: "ESOBJID:" and the GUID text; kind 1: "PXOD:" and the six numbers
// in upper-case hexadecimal joined by ':'; any other kind: empty.
String objectIdToText(const CoObjectId& id);
// "ESOBJID:" sets kind 0 and is true when the GUID converts; "PXOD:" sets
// kind 1 and is true when all six numbers are read (each as a 32-bit
// hexadecimal number); any other text is false.
bool textToObjectId(const char* text, CoObjectId* id);

// ---- OA consistency entries --------------------------------------------------
//
// "ONL_OBJ:oa_app_instance(ID=\"12\",NAME=\"axis\",PDI=\"1\")": the prefix,
// then the decimal id, the name (without double quotes) and the flag 1 or 0.

String encodeOAConsEntry(uint32_t id, const String& name, bool pdi);
// False with a trace line naming what is wrong: "not an OA Consistency
// entry" (no prefix), "ID-Attribute not found", "Error decoding OA-ID" (no
// digits, no closing quote, above 32 bits), "Name-Attribute not found",
// "Name boundary not found", "PDI-Attribute not found", "Invalid Value for
// PDI-Attr" (not "1" or "0"). The outputs are written only on success.
bool decodeOAConsEntry(const char* entry, uint32_t* id, String* name, bool* pdi);

// ---- lists in VARIANTs ----------------------------------------------------------
//
// The VARIANT holds a one-dimensional array of BSTR (by reference too);
// every element from the lower to the upper bound is appended. False with a
// trace line: "error getting safearray bounds!" (not such an array),
// "Error SafeArrayGetElement"; what was appended before stays.

// Each element a GUID text; a single BSTR is taken as a list of one.
// "Error decoding package GUID" for a text that is no GUID.
bool decodeTypeIDList(const VARIANT& v, std::vector<GUID>& ids);
bool decodeInstallClassificationList(const VARIANT& v, std::vector<std::u16string>& texts);

// ---- streams and BSTRs ------------------------------------------------------------
//
// Nothing here throws: memory running out is answered as E_OUTOFMEMORY
// (through `result` where the result is no HRESULT); every other failure is
// a trace line and the result below.

// Writes the whole stream (from position 0) into a new or emptied file:
// S_OK; STG_E_FILENOTFOUND "Error opening file"; the stream's code "Error
// Stream read"; STG_E_WRITEFAULT "Error writing to File". The narrow path
// names the file by its bytes, as the wide one does in its UTF-16 form
// (tvp::pathToWide).
HRESULT writeStream2File(IStream* stream, const char16_t* path);
HRESULT writeStream2File(IStream* stream, const char* path);
// The whole stream as a BSTR of its byte length (caller frees it); null
// with "No Stream Member" (E_POINTER) or "Stat/Seek error" (E_FAIL), or
// null and E_OUTOFMEMORY. `result`, when given, receives S_OK or the code.
BSTR convertStream2BSTR(IStream* stream, HRESULT* result = nullptr);
// A new memory stream holding the BSTR's bytes, positioned at 0 (the
// caller releases it); null with "Error creating stream!" or "Error
// writing Data" and, in `result`, E_OUTOFMEMORY when memory ran out (else
// the failing call's code).
IStream* convertBSTR2Stream(BSTR text, HRESULT* result = nullptr);
// The whole stream as bytes; empty with "No Stream Parameter" (E_POINTER)
// or "Stat/Seek error" (E_FAIL), or empty and E_OUTOFMEMORY.
String convertStream2String(IStream* stream, HRESULT* result = nullptr);

// ---- waiting and memory -------------------------------------------------------------

// Waits until every handle is signalled, in slices of at most 200 ms;
// between slices betweenSlices runs when given (where a window system would
// dispatch its messages). 0 when signalled, 258 (WAIT_TIMEOUT) once the
// total time reaches *timeoutMs (null or INFINITE: no limit), WAIT_FAILED
// for bad handles. *timeoutMs receives the time left.
uint32_t waitWithMessages(uint32_t count, const HANDLE* handles, uint32_t* timeoutMs,
                          void (*betweenSlices)() = nullptr);
// Whether the process sees a virtual address space of 2 GB or more (always
// so for a 64-bit process); asked once.
bool isLargeAddressSpace();
// Whether `size` bytes fit the available virtual space and, with a limit
// (1-100), the memory load (percent of physical memory in use) is below it.
bool isMemoryAvailable(uint32_t size, uint32_t limit);
// The same rule on given figures: without the large address space only
// what lies below 0x7FFE0000 counts as available.
bool isMemoryAvailableIn(const MEMORYSTATUSEX& status, bool largeAddressSpace, uint32_t size,
                         uint32_t limit);

// ---- scrambling ----------------------------------------------------------------------
//
// Hides printable text from a casual look (no protection): each printable
// character (32-126) is shifted by the character of a 16-character key at
// its position modulo 16, then characters are exchanged along a table of
// eight words and the sum of the shifted characters. Other bytes are not
// shifted, only moved. unscrambleString(scrambleString(t)) == t.
String scrambleString(const String& text);
String unscrambleString(const String& text);

// ---- letter case ------------------------------------------------------------------------

// tolower of each byte value 0-255 in the C locale, built when the module loads.
const unsigned char* coLowerCaseTable();

// ---- validation patterns -----------------------------------------------------
//
// Built once, shared by the whole process; normal (Perl-style) syntax.
namespace CoPatterns {
const boost::regex& whiteSpace();            // "[ \n\t\r\v\f]+"
const boost::regex& letters();               // "[A-Za-z]+"
const boost::regex& signedInteger();         // "-?[0-9]+"
const boost::regex& unsignedInteger();       // "[0-9]+"
const boost::regex& hexDigits();             // "[0-9a-fA-F]+"
const boost::regex& floatNumber();           // "-?(([0-9]+\.[0-9]*)|([0-9]+)|(\.[0-9]+))([eE][-+][0-9]+)?"
const boost::regex& version();               // "[0-9]+\.[0-9]+"
const boost::regex& versionSuffix();         // "\.[0-9]+\.[0-9]+"
const boost::regex& identifier();            // "[A-Za-z_][A-Za-z0-9_]*"
const boost::regex& identifierNoDoubleUnderscore();  // "((_?[A-Za-z])|(_[0-9]))(_?[A-Za-z0-9])*_?"
const boost::regex& indexOrMember();         // "[\[\.]"
const boost::regex& driveLetter();           // "^[a-zA-Z]:"
const boost::regex& leadingBackslash();      // "^\\"
}  // namespace CoPatterns
