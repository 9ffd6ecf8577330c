// The settings store that stands in for the registry: values addressed by
// (root, backslash key path, value name), all compared case-insensitively.
// Loaded once from the text file named by TAVOLIN_SETTINGS; without it every
// value is missing, so every reader falls back to its default. Safe to call
// during static initialisation.
//
// Roots: "HKEY_LOCAL_MACHINE"/"HKLM", "HKEY_CURRENT_USER"/"HKCU",
// "HKEY_CLASSES_ROOT"/"HKCR" (any case). An unknown root never holds values.
// Key paths are backslash separated; leading, trailing and doubled
// backslashes are ignored ("\\A\\\\B\\" is the key "A\B"). The empty value
// name is the key's default value. Names are compared ASCII case-insensitively.
//
// File format (UTF-8 text, one item per line; see README "Settings file"):
//   ; comment            (also '#')
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Korvent\VRX\4.1\Kernfeld]
//   "PURIFY_MODE"=dword:00000001
//   "ProductDir"="C:\\Program Files\\x"
//   @="default value"
//   "Blob"=hex:01,02,ff
// Malformed lines are skipped. Key paths with control characters are
// refused; files above 16 MiB are not read.
//
// All functions are thread-safe. The store is created on first use and never
// destroyed, so it may be used from static constructors and destructors.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tvp {

// Roots as the registry names them ("HKEY_LOCAL_MACHINE", "HKLM", ...).
bool settingsGetDword(const std::string& root, const std::string& keyPath,
                      const std::string& valueName, uint32_t& value);
bool settingsGetString(const std::string& root, const std::string& keyPath,
                       const std::string& valueName, std::u16string& value);

// --- further readers -----------------------------------------------------

enum class SettingKind { Dword = 1, String = 2, Binary = 3 };

struct SettingValue {
    SettingKind kind = SettingKind::Dword;
    uint32_t dword = 0;              // Dword
    std::u16string text;             // String
    std::vector<uint8_t> bytes;      // Binary
};

bool settingsGetBinary(const std::string& root, const std::string& keyPath,
                       const std::string& valueName, std::vector<uint8_t>& value);
// Any kind.
bool settingsGetValue(const std::string& root, const std::string& keyPath,
                      const std::string& valueName, SettingValue& value);
// A key exists when it was named in the file or written, or when one of its
// subkeys exists.
bool settingsKeyExists(const std::string& root, const std::string& keyPath);
// Names (as first written) of the direct subkeys / of the values of a key,
// in case-insensitive order.
std::vector<std::string> settingsEnumKeys(const std::string& root, const std::string& keyPath);
std::vector<std::string> settingsEnumValues(const std::string& root, const std::string& keyPath);

// --- writing (in memory; tests use these as overrides) --------------------
// Setters create the key. They fail only for an unknown root or an empty path.

bool settingsSetDword(const std::string& root, const std::string& keyPath,
                      const std::string& valueName, uint32_t value);
bool settingsSetString(const std::string& root, const std::string& keyPath,
                       const std::string& valueName, const std::u16string& value);
bool settingsSetBinary(const std::string& root, const std::string& keyPath,
                       const std::string& valueName, const std::vector<uint8_t>& value);
// False when the value did not exist.
bool settingsDeleteValue(const std::string& root, const std::string& keyPath,
                         const std::string& valueName);
// Deletes the key with all its subkeys and values; false when nothing existed.
bool settingsDeleteKey(const std::string& root, const std::string& keyPath);
// Forgets every key and value (the file is not touched).
void settingsClear();

// --- files ------------------------------------------------------------------

// Replaces the content by the file named by TAVOLIN_SETTINGS (empty when the
// variable is unset or the file cannot be read). False when a named file
// could not be read.
bool settingsReload();
// Replaces the content by the given file; false (and empty) when unreadable.
bool settingsLoadFile(const std::string& path);
// Replaces the content by the given text in the file format.
void settingsLoadText(const std::string& text);
// The content in the file format (keys and values in case-insensitive order).
std::string settingsToText();
// Writes the content to the file named by TAVOLIN_SETTINGS; false when the
// variable is unset or the file cannot be written.
bool settingsSave();
// Writes the content to the path atomically (temporary file, then rename).
bool settingsSaveFile(const std::string& path);

}  // namespace tvp
