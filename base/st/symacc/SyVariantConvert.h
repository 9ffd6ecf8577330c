// Conversion of the symbol table's constant values to and from host values:
// VARIANTs (structures and arrays as one-dimensional SAFEARRAYs of
// VT_VARIANT with lower bound 0) and Structured Text literal text.
//
// References to technology objects, tasks and alarms travel as names; they
// are looked up over the host interfaces `context` (the unit's identity)
// and `navigation`. An alarm id always converts to a VT_BSTR name: the
// host's, or, when no host can tell, "STRUCTALARMID#<id>"
// ("STRUCTALARMID#NIL" for 0), which converts back without a host. A task
// id is named only through a context; without a name it stays a number
// (VT_UI4 with the id), as does an alarm id whose host gives an empty name
// (VT_I4), so that different ids never convert to one VARIANT. With
// `strict` clear a lookup answering 25 (no such name or id) counts as
// success (and 44 for technology-object addresses).
//
// Every function answers a result code: 0 success; 9 type not convertible;
// 10 wrong reference form or typed literal of another type; 11 literal
// syntax; 12 empty structure, null array or negative index; 29 wrong
// VARTYPE or failed type change; 38 literal not convertible to the target;
// 55 string too long; 65535 any other failure; a lookup's own code passed
// on. Every failure writes a trace line (source "syvriant").
//
// A text converts to the exact value of the whole text, blanks around it
// aside, or is refused with the value unchanged: one literal (at most one
// type prefix), never cut to the part a reader could take. A real is no
// value of an integer type, whatever its prefix; a number is read as every
// reader of literals reads it (StStdConstantVal::literalOfType: a based
// number into REAL or LREAL is its unsigned integer, into a signed type its
// pattern in the type's width, a real the nearest value within its type's
// normal range); TRUE and FALSE without prefix are 1 and 0 in every number
// type; a BOOL holds 0 and 1 only, from a VARIANT number as from a text; a
// string text is one string, its closing quote followed by blanks only. A
// structure is converted whole or left as it was.
//
// The VARIANTs made here are hashed into content versions: their shape is a
// stored format. A failure inside a structure destroys everything made so
// far and leaves the output VT_EMPTY.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/st/stsymtab/StCompConstantVal.h"
#include "base/st/stsymtab/StStdConstantVal.h"
#include "co/tvstring.h"
#include "platform/variant.h"

namespace SyConv {
constexpr uint32_t kOk = 0;
constexpr uint32_t kNotConvertible = 9;
constexpr uint32_t kWrongReference = 10;
constexpr uint32_t kSyntax = 11;
constexpr uint32_t kBadStructure = 12;
constexpr uint32_t kWrongVarType = 29;
constexpr uint32_t kNoConversion = 38;
constexpr uint32_t kTooLong = 55;
constexpr uint32_t kOther = 65535;
}  // namespace SyConv

class SyVariantConvert {
public:
    // --- constant -> VARIANT (out is overwritten without being cleared) ---
    static uint32_t constVal2Variant(VARIANT* out, bool strict, const StConstantVal* value, IUnknown* context,
                                     IUnknown* navigation = nullptr);
    // Elementary values by machine mode, strings as plain text; no lookups.
    static uint32_t constVal2VariantRaw(VARIANT* out, bool strict, const StConstantVal* value, IUnknown* context,
                                        IUnknown* navigation = nullptr);
    static uint32_t stdVal2Variant(VARIANT* out, bool strict, const StStdConstantVal* value, IUnknown* context,
                                   IUnknown* navigation = nullptr);
    static uint32_t stdVal2VariantRaw(VARIANT* out, const StStdConstantVal* value);
    static uint32_t stringVal2Variant(VARIANT* out, const StConstantVal* value);
    static uint32_t stringVal2VariantRaw(VARIANT* out, const StConstantVal* value);

    // --- VARIANT -> constant (into an existing value of the wanted type) ---
    static uint32_t variant2ConstVal(StConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                     IUnknown* navigation = nullptr);
    // Tolerant: numbers of another VARTYPE are changed, texts scanned.
    static uint32_t variant2ConstValEx(StConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                       IUnknown* navigation = nullptr);
    static uint32_t variant2StdVal(StStdConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                   IUnknown* navigation = nullptr);
    static uint32_t variant2StdValEx(StConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                     IUnknown* navigation = nullptr);
    static uint32_t variant2StringVal(StConstantVal* value, const VARIANT& v);
    static uint32_t variant2StructVal(StConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                      IUnknown* navigation = nullptr, bool tolerant = false);

    // New values typed by the VARIANT; null on failure.
    static StStdConstantVal* createStdValFromVariant(const VARIANT& v);
    static StStructConstantVal* createStructValFromVariant(const VARIANT& v);

    // --- text ---
    static uint32_t constVal2String(String& out, const StConstantVal* value, bool withType, IUnknown* context,
                                    IUnknown* navigation = nullptr);
    static uint32_t structVal2String(String& out, const StConstantVal* value, bool withType, IUnknown* context,
                                     IUnknown* navigation = nullptr);
    static uint32_t String2ConstVal(StConstantVal* value, const String& text, IUnknown* context,
                                    IUnknown* navigation = nullptr);
    // 0 when the text is a literal of the type (TIME, DATE, TOD, DT), else 11.
    static uint32_t checkSyntax(uint32_t typeId, const String& text);

    // Changes the VARIANT in place to the VARTYPE of an elementary id (ids
    // 1-4, 6-8, 10-12, 14, 15; others leave it): 0 or 29.
    static uint32_t changeVariantType(VARIANT* v, uint32_t typeId);

    // --- comparisons ---
    static bool equalVariantType(const VARIANT& a, const VARIANT& b);
    static bool equalArrayVariantType(const VARIANT& a, const VARIANT& b);
    static bool equalVariant(const VARIANT& a, const VARIANT& b);
    static bool equalArrayVariant(const VARIANT& a, const VARIANT& b);

    // Element `index` of a one-dimensional array into `out` (cleared first);
    // the index is checked against the bounds before memory is read.
    static uint32_t SafeArrayGetElement(SAFEARRAY* array, LONG index, VARIANT* out);

    // Decodes normalised literal text in place; false for text that is none.
    static bool decodeNormalizedStringVal(String& text);
};

// A VARIANT of element type `vt` holding the value at `memory` (which must
// hold a whole element of that type): 0, 10 other type, 12 null memory.
uint32_t ptr2variant(VARTYPE vt, const void* memory, VARIANT* out);

// Literal text of a string: unchanged when every character is above 32 and
// none is '$' or a quote, else quoted with escapes.
String normalizeStringVal(const char* chars, size_t length);
// Escape of c (n the next character or -1); `consumed` is 1 or 2.
String escapeStringChar(char c, int next, int& consumed);

// Free conversions the class builds on (also used alone).
uint32_t stdVal2String(String& out, const StStdConstantVal* value, bool withType, IUnknown* context,
                       IUnknown* navigation = nullptr);
uint32_t string2StdVal(StStdConstantVal* value, const String& text, IUnknown* context,
                       IUnknown* navigation = nullptr);
uint32_t string2StructVal(StConstantVal* value, const String& text, IUnknown* context,
                          IUnknown* navigation = nullptr);
uint32_t structVal2Variant(VARIANT* out, bool strict, const StConstantVal* value, IUnknown* context,
                           IUnknown* navigation, bool raw);
