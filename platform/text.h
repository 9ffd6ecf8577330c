// Text conversions of the platform layer: the ANSI code page 1252 <-> UTF-16,
// UTF-16 <-> UTF-8 (for console and standard-error output), paths <-> UTF-16,
// and small helpers over NUL-terminated UTF-16 text. Locale independent: nothing here calls
// setlocale or depends on the C library's locale.
#pragma once
#include <cstddef>
#include <string>

namespace tvp {

// --- code page 1252 --------------------------------------------------------

// The UTF-16 unit of one code-page byte. Every byte maps; the five bytes the
// code page leaves undefined map to the C1 control of the same value.
char16_t ansiCharToWide(unsigned char c);
// The code-page byte of one UTF-16 unit, or '?' when the code page has no
// such character (then *mapped, when given, is set to false).
char wideCharToAnsi(char16_t u, bool* mapped = nullptr);
// Whether the code page leaves byte c undefined: 0x81, 0x8D, 0x8F, 0x90 and
// 0x9D, the bytes that map to the C1 control of their own value. Windows
// maps them so, but a converter that follows the code page's definition
// refuses them (a resource compiler may then drop or cut the text).
bool ansiByteUndefined(unsigned char c);

std::u16string ansiToWide(const char* s, size_t n);
std::u16string ansiToWide(const char* s);  // NUL-terminated; null gives ""
std::u16string ansiToWide(const std::string& s);

// A surrogate pair (a character beyond the 16-bit range) becomes one '?'.
std::string wideToAnsi(const char16_t* s, size_t n);
std::string wideToAnsi(const char16_t* s);  // NUL-terminated; null gives ""
std::string wideToAnsi(const std::u16string& s);

// --- UTF-8 -----------------------------------------------------------------

// Appends one code point (below 0x110000) as UTF-8.
void appendUtf8(std::string& out, char32_t c);
// Lone surrogates become U+FFFD.
std::string wideToUtf8(const char16_t* s, size_t n);
std::string wideToUtf8(const std::u16string& s);
// Malformed sequences become U+FFFD, one per offending byte.
std::u16string utf8ToWide(const char* s, size_t n);
std::u16string utf8ToWide(const std::string& s);

// --- paths -----------------------------------------------------------------
// A path is a string of bytes in no particular encoding. Its UTF-16 form (a
// BSTR, the name of a storage) reads it as UTF-8, and each byte that is no
// part of a valid UTF-8 sequence becomes the lone surrogate U+DC00 + byte
// (U+DC80-U+DCFF), which valid UTF-8 never gives; wideToPath undoes that, so
// that every byte string comes back as it was: a UTF-8 path, a Latin-1 path,
// one with bytes 0x80-0x9F. Any other lone surrogate becomes U+FFFD.

std::u16string pathToWide(const char* s, size_t n);
std::u16string pathToWide(const char* s);  // NUL-terminated; null gives ""
std::u16string pathToWide(const std::string& s);
std::string wideToPath(const char16_t* s, size_t n);
std::string wideToPath(const char16_t* s);  // NUL-terminated; null gives ""
std::string wideToPath(const std::u16string& s);

// --- NUL-terminated UTF-16 helpers -----------------------------------------

size_t u16len(const char16_t* s);  // null gives 0
// Unit-wise three-way comparison (unsigned units); null counts as "".
int u16cmp(const char16_t* a, const char16_t* b);
// As u16cmp, but a-z and A-Z compare equal (nothing else is folded).
int u16icmpAscii(const char16_t* a, const char16_t* b);
// Narrow counterpart of u16icmpAscii (bytes compared unsigned).
int icmpAscii(const char* a, const char* b);
// Copies at most n-1 units and always terminates (n > 0); returns the length.
size_t u16copy(char16_t* dst, size_t n, const char16_t* src);

// --- case of UTF-16 units ----------------------------------------------------
// Simple one-to-one mappings for ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic and the full-width Latin letters. A unit without a mapping (for
// example the sharp s, which has no single upper-case unit) stays as it is.

bool wideIsLower(char16_t u);
bool wideIsUpper(char16_t u);
char16_t wideToUpper(char16_t u);
char16_t wideToLower(char16_t u);

}  // namespace tvp
