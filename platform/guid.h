// GUID text and generation.
//
// Text form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" - Data1, Data2, Data3,
// then Data4[0..1] and Data4[2..7] as hexadecimal digits. Written in upper
// case; read in either case. Braces are required and nothing may follow the
// closing brace.
#pragma once
#include <string>

#include "platform/wintypes.h"

// Failure of CLSIDFromString for a text that is not a braced GUID.
constexpr HRESULT CO_E_CLASSSTRING = HRESULT(0x800401F3u);

// Writes the 38 characters and a terminating 0 into buf. Returns 39, or 0
// (buf untouched) when cchMax is below 39 or buf is null.
int StringFromGUID2(REFGUID guid, LPOLESTR buf, int cchMax);

// S_OK, or CO_E_CLASSSTRING (clsid set to GUID_NULL) for malformed text;
// E_INVALIDARG for null pointers.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
// As CLSIDFromString, but reports E_INVALIDARG for malformed text.
HRESULT IIDFromString(LPCOLESTR text, IID* iid);

// A new random GUID (version 4) from the system random source. E_FAIL when
// the source cannot be read (the GUID is then GUID_NULL).
HRESULT CoCreateGuid(GUID* guid);

namespace tvp {

std::string guidToString(REFGUID guid);
std::u16string guidToU16String(REFGUID guid);
// False (guid untouched) when the text is not exactly one braced GUID.
bool guidFromString(const std::string& text, GUID& guid);
bool guidFromU16String(const std::u16string& text, GUID& guid);

// Numeric order: Data1, Data2, Data3 as unsigned numbers, then the bytes of
// Data4 from first to last. Negative, 0 or positive.
int guidCompare(REFGUID a, REFGUID b);

}  // namespace tvp
