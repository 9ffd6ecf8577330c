// Message-text modules: the string tables that a resource library would carry,
// kept here as resource-script files.
//
// A library name such as "tvmsgtxa.dll" or ".\tvmsgtxx.dll" names the file
// "tvmsgtxa.rc" (the extension ".dll" is replaced by ".rc"; a name without
// extension gets ".rc") in the given directory. Backslashes count as path
// separators and a leading ".\" is dropped. A relative name is only ever
// looked up below the given directory, never in the current directory; an
// empty or relative directory finds nothing. An absolute name ("/...") is used as it is.
// When the exact file name does not exist, the name with a lower-cased file
// part is tried (library names are case-insensitive where they come from).
//
// File format: the resource-script syntax this system writes, e.g.
//
//   STRINGTABLE DISCARDABLE
//   BEGIN
//      0x01A3   "text"
//      32701    "1 0 0 Info"
//   END
//
// "BEGIN"/"END" may also be written "{"/"}". An entry is a decimal or 0x
// hexadecimal id from 0 to 65535, an optional comma and one quoted text on
// the same line. Inside the quotes "" stands for one quote, and the escapes
// \n \r \t \a \\ \" are decoded; any other backslash stays as it is. Lines
// starting with "//" or "#", other resource statements and malformed entries
// are skipped; the first text of a repeated id wins.
//
// Encoding: UTF-8 (a leading byte-order mark is skipped). A file that is not
// valid UTF-8 is read as Windows code page 1252, so scripts written by older
// tools still load. Files above 16 MiB are refused.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace tvp {

class ResModule {
public:
    // Loads the string tables of library `name` from `directory`; null when
    // the file does not exist, cannot be read or is too large.
    static std::unique_ptr<ResModule> open(const std::string& name, const std::string& directory);

    // Why the last `open` of this thread found nothing ("<file>: <reason>");
    // empty after a successful open.
    static std::string lastOpenError();

    // A module over resource-script text (bytes as they would stand in a file).
    static std::unique_ptr<ResModule> fromText(const std::string& bytes);

    // The file `open` would read for (name, directory); empty when a relative
    // name is given without a directory.
    static std::string filePath(const std::string& name, const std::string& directory);

    // Text of string `id`; false (text untouched) when the module has none.
    bool lookup(uint32_t id, std::u16string& text) const;

    // Copies string `id` into buf, cut to bufUnits - 1 units, and ends it
    // with 0. Returns the number of units copied; 0 when the id is absent
    // (buf then holds the empty text when bufUnits > 0).
    int loadString(uint32_t id, char16_t* buf, int bufUnits) const;

    // Number of strings and the file they came from (empty for fromText).
    std::size_t size() const { return m_strings.size(); }
    const std::string& path() const { return m_path; }

private:
    ResModule() = default;
    void parse(const std::string& bytes);

    std::map<uint32_t, std::u16string> m_strings;
    std::string m_path;
};

// The narrow string load of a resource module: string `id` of `module`
// converted to code page 1252 (a character it lacks becomes '?'), cut to
// bufBytes - 1 bytes and ended with 0. Returns the number of bytes copied;
// 0 when there is no module or no such string (buf then holds the empty
// text when bufBytes > 0). The module handle of the callers is a
// `const ResModule*`, null for none.
int loadStringA(const ResModule* module, uint32_t id, char* buf, int bufBytes);

}  // namespace tvp
