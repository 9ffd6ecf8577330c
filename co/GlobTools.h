// Free helper functions used across the system: temporary files and
// directories, absolute paths below the configuration directory, text forms
// of times, GUIDs and object ids, and the process-wide validation patterns.
//
// Failures are written as trace lines (source "co_globtools") and answered
// with false or an empty text; nothing here throws.
#pragma once
#include <boost/regex.hpp>
#include <cstdint>

#include "co/tvstring.h"
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
