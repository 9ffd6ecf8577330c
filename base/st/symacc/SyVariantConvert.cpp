// Conversion of constant values to and from VARIANTs and literal text.
// Contracts in SyVariantConvert.h.
#include "base/st/symacc/SyVariantConvert.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/st/symacc/SyVarScanner.h"
#include "base/st/symacc/sy_decodehlp.h"
#include "co/TraceApi.h"
#include "platform/text.h"

using namespace SyConv;

namespace {

const char kFile[] = "syvriant";

#define SY_TRACE(level, method, ...) TV_TRACE((level), kFile, (method), __VA_ARGS__)

// --- small helpers ----------------------------------------------------------

// A structure converted into `copy` (a clone of `value`) replaces `value`.
uint32_t takeConverted(StConstantVal* value, const StConstantVal* copy, const char* method)
{
    if (value->assign(copy) == 0) return kOk;
    SY_TRACE(4, method, "error assigning the converted structure");
    return kOther;
}

bool isUnsignedId(uint32_t t) { return (t >= ST_BOOL && t <= ST_DWORD) || (t >= ST_USINT && t <= ST_UDINT); }
bool isSignedId(uint32_t t) { return t >= ST_SINT && t <= ST_DINT; }
bool isTimeId(uint32_t t) { return t >= ST_TIME && t <= ST_DT; }

// Which bound a limit literal of the scanner names ("DINT#MAX",
// "uint#min": its text is the whole literal): "MAX" or "MIN"; empty for
// any other text.
std::string limitOf(const String& text)
{
    const std::string s = text.stdString();
    if (s.size() < 4 || s[s.size() - 4] != '#') return std::string();
    std::string word = s.substr(s.size() - 3);
    for (char& c : word) c = char(std::toupper(static_cast<unsigned char>(c)));
    return word == "MAX" || word == "MIN" ? word : std::string();
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The text without the blanks around it (isSpace's), which are no part of
// a literal (the scanner skips them).
String trimmed(String text)
{
    text.trim();
    return text;
}

bool isWordChar(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }

bool equalsNoCase(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

// Whether a text whose first token is a number is that one literal and
// nothing around it but blanks: at most one type prefix ("INT#"), then a
// number (signed, decimal, real or based) or TRUE or FALSE. The scanner
// takes a prefix as a state, so "INT# 5", "INT#INT#5" and "REAL#INT#5"
// would otherwise give a number of the last prefix's type, and it ends an
// open quote at the end of the text without a token ("5'").
bool isOneLiteral(const String& text)
{
    const std::string s = trimmed(text).stdString();
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("#_.+-", c)) return false;
    size_t rest = 0;
    const size_t hash = s.find('#');
    if (hash != std::string::npos && hash > 0 && isWordChar(s[0])) {
        for (size_t i = 0; i < hash; ++i)
            if (!isWordChar(s[i])) return false;
        rest = hash + 1;
    }
    if (rest >= s.size()) return false;
    const char c = s[rest];
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-') return true;
    // TRUE and FALSE are BOOL literals: no prefix of another type.
    const std::string word = s.substr(rest);
    if (rest > 0 && !equalsNoCase(s.substr(0, rest), "BOOL#")) return false;
    return equalsNoCase(word, "TRUE") || equalsNoCase(word, "FALSE");
}

// The value of type t (an integer type, REAL or LREAL) that a scanned
// number denotes: its digits (without prefix and '_') in its radix, as
// every reader of literals takes them (StStdConstantVal::literalOfType).
// False when the text is no value of the type.
bool buildNumber(const String& digits, int radix, uint32_t t, std::unique_ptr<StStdConstantVal>& out)
{
    if (digits.length() == 0) return false;
    auto v = std::make_unique<StStdConstantVal>(t);
    if (StStdConstantVal::literalOfType(digits, radix, t, *v) != StStdConstantVal::LiteralFit::Ok) return false;
    out = std::move(v);
    return true;
}

// Whether a literal the scanner gave (its token text, which has no '_')
// is the whole text, blanks around it aside: no type prefix stands before
// it ("REAL#D#2000-01-01", "REAL#USINT#MAX") and nothing after it
// ("INT#MAX'abc", which the end of the text would close as a string).
bool isWholeLiteral(const String& text, const String& literal)
{
    std::string s = trimmed(text).stdString();
    s.erase(std::remove(s.begin(), s.end(), '_'), s.end());
    return s == literal.stdString();
}

// VARTYPE of an elementary id for the numeric rows of the table; VT_EMPTY
// for every other id.
VARTYPE numericVarType(uint32_t t)
{
    switch (t) {
    case ST_BOOL: case ST_BYTE: case ST_USINT: return VT_UI1;
    case ST_WORD: case ST_UINT: return VT_UI2;
    case ST_DWORD: case ST_UDINT: return VT_UI4;
    case ST_SINT: return VT_I1;
    case ST_INT: return VT_I2;
    case ST_DINT: return VT_I4;
    case ST_REAL: return VT_R4;
    case ST_LREAL: return VT_R8;
    default: return VT_EMPTY;
    }
}

const char* varTypeName(VARTYPE vt)
{
    switch (vt) {
    case VT_UI1: return "VT_UI1";
    case VT_UI2: return "VT_UI2";
    case VT_UI4: return "VT_UI4";
    case VT_I1: return "VT_I1";
    case VT_I2: return "VT_I2";
    case VT_I4: return "VT_I4";
    case VT_R4: return "VT_R4";
    case VT_R8: return "VT_R8";
    default: return "VT_BSTR";
    }
}

// Text setters and their names by the time ids 18-21.
const char* timeName(uint32_t t)
{
    static const char* const n[] = {"TIME", "DATE", "TOD", "DT"};
    return n[t - ST_TIME];
}

void setBstr(VARIANT* out, const String& text)
{
    VariantInit(out);
    std::u16string w = tvp::ansiToWide(text.chars(), size_t(text.length()));
    out->vt = VT_BSTR;
    out->bstrVal = SysAllocStringLen(w.data(), UINT(w.size()));
}

String bstrText(BSTR b)
{
    return String(tvp::wideToAnsi(b, SysStringLen(b)));
}

// A lookup answer: 0 stays 0; 25 (and `also` when given) is success when
// not strict; anything else is passed on.
uint32_t lookupResult(uint32_t code, bool strict, uint32_t also = 0)
{
    if (code == 0) return 0;
    if (!strict && (code == kSyNotOnlineIdentical || (also && code == also))) return 0;
    return code;
}

constexpr uint32_t kNoTOAddress = 44;

// Scans `text` once; the token, or -1 when the scan failed.
int scanOnce(SyVarScannerFlexLexer& scan, const String& text, bool decode)
{
    scan.decodeString = decode;
    try {
        scan.setText(text);
        int tok = scan.yylex();
        return tok == SyVarScannerFlexLexer::TokScanError ? -1 : tok;
    } catch (...) {
        return -1;
    }
}

// Sets the value from a duration, date, time-of-day or date-and-time text;
// false when the text was refused (the value then stays as it was). A
// duration whose digits below a millisecond were dropped is taken.
bool setTimeText(StStdConstantVal* v, uint32_t t, const String& whole)
{
    const String text(trimmed(whole));
    switch (t) {
    case ST_TIME: {
        const int s = v->parseTime(text);
        return s == 0 || s == 3;
    }
    case ST_DATE: return v->parseDate(text);
    case ST_TOD: return v->parseTimeOfDay(text);
    default: return v->parseDateAndTime(text);
    }
}

bool getTimeText(const StStdConstantVal* v, uint32_t t, String& text)
{
    switch (t) {
    case ST_TIME: return v->getTimeText(text);
    case ST_DATE: return v->getDateText(text);
    case ST_TOD: return v->getTimeOfDayText(text);
    default: return v->getDateAndTimeText(text);
    }
}

// An elementary number read with its getter: false, with the getter's
// trace, when the getter reports an error. t must satisfy isNumberId.
struct Number {
    uint32_t u = 0;
    int32_t l = 0;
    float f = 0;
    double d = 0;
};

bool isNumberId(uint32_t t) { return isUnsignedId(t) || isSignedId(t) || t == ST_REAL || t == ST_LREAL; }

bool readNumber(const StStdConstantVal* v, uint32_t t, const char* method, Number& n)
{
    bool err = false;
    const char* what;
    if (isUnsignedId(t)) {
        n.u = v->GetULongVal(err);
        what = "GetULongVal failed";
    } else if (isSignedId(t)) {
        // A based literal keeps its bit pattern (16#FF in a SINT): the
        // number is that pattern in the type's width, as its VARIANT holds it.
        n.l = v->GetLongVal(err);
        if (t == ST_SINT) n.l = int8_t(n.l);
        if (t == ST_INT) n.l = int16_t(n.l);
        what = "GetLongVal failed";
    } else if (t == ST_REAL) {
        n.f = v->GetRealVal(err);
        what = "VT_R4: GetRealVal failed";
    } else {
        n.d = v->GetLRealVal(err);
        what = "VT_R8: GetLRealVal failed";
    }
    if (err) SY_TRACE(4, method, "%s", what);
    return !err;
}

// The literal text of a TIME, DATE, TOD or DT value, traced on failure.
bool readTimeText(const StStdConstantVal* v, uint32_t t, const char* method, String& text)
{
    if (getTimeText(v, t, text)) return true;
    static const char* const getter[] = {"GetTimeString", "GetDateString", "GetTodString", "GetDateTimeString"};
    SY_TRACE(4, method, "%s: %s failed", timeName(t), getter[t - ST_TIME]);
    return false;
}

// The number of an alarm or task id, traced on failure.
bool readId(const StStdConstantVal* v, bool alarm, const char* method, uint32_t& id)
{
    bool err = false;
    id = alarm ? uint32_t(v->GetLongVal(err)) : v->GetULongVal(err);
    if (err) SY_TRACE(4, method, alarm ? "GetLongVal failed" : "GetULongVal failed");
    return !err;
}

// The name of an alarm or task id looked up over the host.
uint32_t lookupIdName(bool alarm, uint32_t id, String& name, IUnknown* context, IUnknown* navigation)
{
    return alarm ? CSyDecodeHelper::getAlarmName(id, &name, context, navigation)
                 : CSyDecodeHelper::getTaskName(id, &name, context, navigation);
}

// Looks up the id of an alarm or task name and stores it in the value.
uint32_t storeIdOfName(StStdConstantVal* value, bool alarm, const String& name, bool strict, const char* method,
                       IUnknown* context, IUnknown* navigation)
{
    uint32_t id = 0;
    uint32_t code = alarm ? CSyDecodeHelper::getAlarmID(name, &id, context, navigation)
                          : CSyDecodeHelper::getTaskID(name, &id, context, navigation);
    if (uint32_t r = lookupResult(code, strict)) {
        SY_TRACE(4, method, alarm ? "error getAlarmID 0x%08X" : "error getTaskID 0x%08X", r);
        return r;
    }
    if ((alarm ? value->SetLongVal(int32_t(id)) : value->SetULongVal(id)) != 0) {
        SY_TRACE(4, method, alarm ? "_ALARMTYPE: SetLongVal failed" : "_TASKTYPE: SetULongVal failed");
        return kOther;
    }
    return kOk;
}

}  // namespace

// ===========================================================================
// constant -> VARIANT
// ===========================================================================

// Every conversion into a VARIANT starts here: the output is cleared, and a
// missing output or source value (traced) ends the conversion with kOther.
static bool startVariantOutput(VARIANT* out, bool haveValue, const char* method)
{
    if (!out) return false;
    VariantInit(out);
    if (!haveValue) {
        SY_TRACE(4, method, "source cval is a NULL pointer");
        return false;
    }
    return true;
}

static uint32_t constVal2VariantImpl(VARIANT* out, bool strict, const StConstantVal* value, IUnknown* context,
                                     IUnknown* navigation, bool raw)
{
    const char* method = raw ? "SyVariantConvert::constVal2VariantRaw" : "SyVariantConvert::constVal2Variant";
    if (!startVariantOutput(out, value != nullptr, method)) return kOther;
    switch (value->getKind()) {
    case ST_CONST_STD: {
        auto* s = static_cast<const StStdConstantVal*>(value);
        return raw ? SyVariantConvert::stdVal2VariantRaw(out, s)
                   : SyVariantConvert::stdVal2Variant(out, strict, s, context, navigation);
    }
    case ST_CONST_STRING:
        return raw ? SyVariantConvert::stringVal2VariantRaw(out, value) : SyVariantConvert::stringVal2Variant(out, value);
    case ST_CONST_STRUCT:
        return structVal2Variant(out, strict, value, context, navigation, raw);
    default:
        SY_TRACE(4, method, "invalid ConstValType");
        return kOther;
    }
}

uint32_t SyVariantConvert::constVal2Variant(VARIANT* out, bool strict, const StConstantVal* value, IUnknown* context,
                                            IUnknown* navigation)
{
    return constVal2VariantImpl(out, strict, value, context, navigation, false);
}

uint32_t SyVariantConvert::constVal2VariantRaw(VARIANT* out, bool strict, const StConstantVal* value,
                                               IUnknown* context, IUnknown* navigation)
{
    return constVal2VariantImpl(out, strict, value, context, navigation, true);
}

uint32_t SyVariantConvert::stdVal2Variant(VARIANT* out, bool strict, const StStdConstantVal* value, IUnknown* context,
                                          IUnknown* navigation)
{
    static const char kM[] = "SyVariantConvert::stdVal2Variant";
    if (!startVariantOutput(out, value != nullptr, kM)) return kOther;
    const uint32_t t = value->getTypeId();
    bool err = false;
    const VARTYPE vt = numericVarType(t);
    if (isNumberId(t)) {
        Number n;
        if (!readNumber(value, t, kM, n)) return kWrongVarType;
        out->vt = vt;
        switch (vt) {
        case VT_UI1: out->bVal = BYTE(n.u); break;
        case VT_UI2: out->uiVal = USHORT(n.u); break;
        case VT_UI4: out->ulVal = n.u; break;
        case VT_I1: out->cVal = CHAR(n.l); break;
        case VT_I2: out->iVal = SHORT(n.l); break;
        case VT_I4: out->lVal = n.l; break;
        case VT_R4: out->fltVal = n.f; break;
        default: out->dblVal = n.d; break;
        }
        return kOk;
    }
    switch (t) {
    case ST_ANYOBJECT: {
        uint16_t first = 0, second = 0;
        uint32_t word = 0;
        value->GetSysAddrVal(err, first, second, word);
        if (err) {
            SY_TRACE(4, kM, "GetSysAddrVal failed");
            return kWrongVarType;
        }
        String name;
        uint32_t code = CSyDecodeHelper::getTOName(SyTOAddress{first, second, word}, &name, navigation, context);
        if (uint32_t r = lookupResult(code, strict, kNoTOAddress)) {
            SY_TRACE(4, kM, "error getTOName 0x%08X", r);
            return r;
        }
        setBstr(out, name);
        return kOk;
    }
    case ST_MEMADR:
        out->vt = VT_I4;
        out->lVal = int32_t(value->getSysAddr());
        return kOk;
    case ST_TIME: case ST_DATE: case ST_TOD: case ST_DT: {
        String text;
        if (!readTimeText(value, t, kM, text)) return kWrongVarType;
        setBstr(out, text);
        return kOk;
    }
    case ST_STRUCTALARMID:
    case ST_STRUCTTASKID: {
        const bool alarm = t == ST_STRUCTALARMID;
        uint32_t id = 0;
        if (!readId(value, alarm, kM, id)) return kWrongVarType;
        // The alarm lookup names every id, without a host too (the name it
        // makes from the number reads back without one); a task is named
        // only by the host of a context.
        String name;
        if (alarm || context) {
            uint32_t code = lookupIdName(alarm, id, name, context, navigation);
            if (code != 0) {
                uint32_t r = lookupResult(code, strict);
                if (r) {
                    SY_TRACE(4, kM, alarm ? "error getAlarmName 0x%08X" : "error getTaskName 0x%08X", r);
                    return r;
                }
                name = String();
            }
        }
        if (name.length() == 0) {
            // An id without a name keeps its number: the VARIANTs are hashed
            // into content versions, and a 0 for every id would let two
            // different values hash alike.
            out->vt = alarm ? VT_I4 : VT_UI4;
            out->ulVal = id;
            return kOk;
        }
        setBstr(out, name);
        return kOk;
    }
    default:
        SY_TRACE(4, kM, "invalid stdTypeSpec %d", int(t));
        return kNotConvertible;
    }
}

uint32_t SyVariantConvert::stdVal2VariantRaw(VARIANT* out, const StStdConstantVal* value)
{
    static const char kM[] = "SyVariantConvert::stdVal2VariantRaw";
    if (!startVariantOutput(out, value != nullptr, kM)) return kOther;
    const uint32_t t = value->getTypeId();
    const uint32_t w = value->getTargetWord();
    bool err = false;
    switch (McConvert::getMachModeOfTypeId(t)) {
    case MC_SINT: out->vt = VT_I1; out->cVal = CHAR(w); return kOk;
    case MC_INT: out->vt = VT_I2; out->iVal = SHORT(w); return kOk;
    case MC_DINT: out->vt = VT_I4; out->lVal = LONG(w); return kOk;
    case MC_USINT: out->vt = VT_UI1; out->bVal = BYTE(w); return kOk;
    case MC_UINT: out->vt = VT_UI2; out->uiVal = USHORT(w); return kOk;
    case MC_UDINT: out->vt = VT_UI4; out->ulVal = w; return kOk;
    case MC_REAL:
        out->fltVal = value->GetRealVal(err);
        break;
    case MC_LREAL:
        out->dblVal = value->GetLRealVal(err);
        break;
    default:
        SY_TRACE(4, kM, "invalid stdTypeSpec %d", int(t));
        return kNotConvertible;
    }
    if (err) {
        SY_TRACE(4, kM, t == ST_REAL ? "VT_R4: GetRealVal failed" : "VT_R8: GetLRealVal failed");
        VariantInit(out);
        return kWrongVarType;
    }
    out->vt = McConvert::getMachModeOfTypeId(t) == MC_REAL ? VT_R4 : VT_R8;
    return kOk;
}

static uint32_t stringToVariant(VARIANT* out, const StConstantVal* value, bool normalised, const char* method)
{
    if (!startVariantOutput(out, value && value->getKind() == ST_CONST_STRING, method)) return kOther;
    String text;
    uint8_t len = 0;
    value->getText(text, len);
    setBstr(out, normalised ? normalizeStringVal(text.chars(), size_t(text.length())) : text);
    return kOk;
}

uint32_t SyVariantConvert::stringVal2Variant(VARIANT* out, const StConstantVal* value)
{
    return stringToVariant(out, value, true, "SyVariantConvert::stringVal2Variant");
}

uint32_t SyVariantConvert::stringVal2VariantRaw(VARIANT* out, const StConstantVal* value)
{
    return stringToVariant(out, value, false, "SyVariantConvert::stringVal2VariantRaw");
}

uint32_t structVal2Variant(VARIANT* out, bool strict, const StConstantVal* value, IUnknown* context,
                           IUnknown* navigation, bool raw)
{
    static const char kM[] = "structVal2Variant";
    if (!out) return kOther;
    VariantInit(out);
    const uint32_t n = value ? value->elementCount() : 0;
    if (!value || value->getKind() != ST_CONST_STRUCT || n == 0) {
        SY_TRACE(4, kM, "invalid struct val structure");
        return kBadStructure;
    }
    SAFEARRAY* psa = SafeArrayCreateVectorEx(VT_VARIANT, 0, n, nullptr);
    if (!psa) {
        SY_TRACE(4, kM, "error SafeArrayCreateVectorEx");
        return kOther;
    }
    for (uint32_t i = 0; i < n; ++i) {
        VARIANT ev;
        VariantInit(&ev);
        const StConstantVal* e = value->elementAt(i);
        uint32_t code = raw ? SyVariantConvert::constVal2VariantRaw(&ev, strict, e, context, navigation)
                            : SyVariantConvert::constVal2Variant(&ev, strict, e, context, navigation);
        if (code != 0) {
            SY_TRACE(4, kM, "error constVal2Variant in recursion");
            VariantClear(&ev);
            SafeArrayDestroy(psa);
            return code;
        }
        LONG idx = LONG(i);
        HRESULT hr = SafeArrayPutElement(psa, &idx, &ev);
        VariantClear(&ev);
        if (FAILED(hr)) {
            SY_TRACE(4, kM, "error SafeArrayPutElement");
            SafeArrayDestroy(psa);
            return kOther;
        }
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = psa;
    return kOk;
}

// ===========================================================================
// VARIANT -> constant
// ===========================================================================

uint32_t SyVariantConvert::variant2StdVal(StStdConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                          IUnknown* navigation)
{
    static const char kM[] = "SyVariantConvert::variant2StdVal";
    if (!value) {
        SY_TRACE(4, kM, "destination cval is a NULL pointer");
        return kOther;
    }
    if (v.vt == VT_EMPTY) {
        SY_TRACE(1, kM, "empty source variant");
        return kOk;
    }
    const uint32_t t = value->getTypeId();
    const VARTYPE want = numericVarType(t);
    if (want != VT_EMPTY) {
        if (v.vt != want) {
            SY_TRACE(4, kM, "%s expected", varTypeName(want));
            return kWrongVarType;
        }
        int r = 0;
        const char* setter = nullptr;
        switch (want) {
        case VT_UI1:
            // A BOOL holds 0 and 1 only (its setMax): the setter would keep
            // any byte and read it back.
            r = t == ST_BOOL && v.bVal > 1 ? 1 : value->SetULongVal(uint32_t(v.bVal));
            setter = "SetULongVal";
            break;
        case VT_UI2: r = value->SetULongVal(uint32_t(v.uiVal)); setter = "SetULongVal"; break;
        case VT_UI4: r = value->SetULongVal(uint32_t(v.ulVal)); setter = "SetULongVal"; break;
        case VT_I1: r = value->SetLongVal(int32_t(v.cVal)); setter = "SetLongVal"; break;
        case VT_I2: r = value->SetLongVal(int32_t(v.iVal)); setter = "SetLongVal"; break;
        case VT_I4: r = value->SetLongVal(int32_t(v.lVal)); setter = "SetLongVal"; break;
        case VT_R4: r = value->SetRealVal(v.fltVal); setter = "SetRealVal"; break;
        default: r = value->SetLRealVal(v.dblVal); setter = "SetLRealVal"; break;
        }
        if (r != 0) {
            SY_TRACE(4, kM, "%s: %s failed", varTypeName(want), setter);
            return kOther;
        }
        return kOk;
    }
    switch (t) {
    case ST_ANYOBJECT: {
        if (v.vt != VT_BSTR) {
            SY_TRACE(4, kM, "BSTR expected (ANYOBJECT)");
            return kWrongReference;
        }
        SyTOAddress addr{0, 0, 0};
        uint32_t code = CSyDecodeHelper::getTOAddress(bstrText(v.bstrVal), &addr, navigation, context);
        if (uint32_t r = lookupResult(code, strict, kNoTOAddress)) {
            SY_TRACE(4, kM, "error getTOAddress 0x%08X", r);
            return r;
        }
        const uint32_t words[2] = {uint32_t(addr.device) | (uint32_t(addr.object) << 16), addr.extra};
        value->SetSysAddrVal(words);
        return kOk;
    }
    case ST_MEMADR:
        if (v.vt != VT_I4) {
            SY_TRACE(4, kM, "VT_I4 expected");
            return kWrongVarType;
        }
        if (value->setSysAddr(uint32_t(v.lVal)) != 0) {
            SY_TRACE(4, kM, "VT_I4: SetCMemoryVal failed");
            return kOther;
        }
        return kOk;
    case ST_TIME: case ST_DATE: case ST_TOD: case ST_DT: {
        static const char* const what[] = {"time", "date", "time of day", "date and time"};
        static const char* const setter[] = {"SetCTimeVal", "SetCDateVal", "SetCTimeOfDayVal", "SetCDateAndTimeVal"};
        if (v.vt != VT_BSTR) {
            SY_TRACE(4, kM, "VT_BSTR expected (%s)", what[t - ST_TIME]);
            return kWrongVarType;
        }
        const String text = bstrText(v.bstrVal);
        if (uint32_t r = checkSyntax(t, text)) return r;
        if (!setTimeText(value, t, text)) {
            SY_TRACE(4, kM, "%s: %s failed", timeName(t), setter[t - ST_TIME]);
            return kOther;
        }
        return kOk;
    }
    case ST_STRUCTALARMID:
    case ST_STRUCTTASKID:
        if (v.vt != VT_BSTR) {
            SY_TRACE(4, kM, "VT_BSTR expected");
            return kWrongVarType;
        }
        return storeIdOfName(value, t == ST_STRUCTALARMID, bstrText(v.bstrVal), strict, kM, context, navigation);
    default:
        SY_TRACE(4, kM, "invalid stdTypeSpec %d", int(t));
        return kNotConvertible;
    }
}

uint32_t SyVariantConvert::variant2StdValEx(StConstantVal* dest, const VARIANT& v, bool strict, IUnknown* context,
                                            IUnknown* navigation)
{
    static const char kM[] = "SyVariantConvert::variant2StdValEx";
    if (!dest || dest->getKind() != ST_CONST_STD) {
        SY_TRACE(4, kM, "dynamic_cast failed");
        return kOther;
    }
    auto* value = static_cast<StStdConstantVal*>(dest);
    if (v.vt == VT_EMPTY) {
        SY_TRACE(1, kM, "empty source variant");
        return kOk;
    }
    const uint32_t t = value->getTypeId();
    if (t == ST_ANYOBJECT || isTimeId(t)) return variant2StdVal(value, v, strict, context, navigation);
    if (t == ST_STRUCTALARMID || t == ST_STRUCTTASKID) {
        if (v.vt == VT_I4 && value->SetLongVal(int32_t(v.lVal)) == 0) return kOk;
        return variant2StdVal(value, v, strict, context, navigation);
    }
    if (t == ST_BOOL && v.vt == VT_BOOL) {
        // True is -1 in a VT_BOOL, which the type change makes 255.
        value->SetULongVal(v.boolVal ? 1u : 0u);
        return kOk;
    }
    if (v.vt != VT_BSTR) {
        VARIANT copy;
        VariantInit(&copy);
        VariantCopy(&copy, &v);
        if (changeVariantType(&copy, t) != 0) SY_TRACE(4, kM, "Error adjusting variant type");
        uint32_t r = variant2StdVal(value, copy, strict, context, navigation);
        VariantClear(&copy);
        return r;
    }
    SyVarScannerFlexLexer scan;
    const String text = bstrText(v.bstrVal);
    const int tok = scanOnce(scan, text, false);
    if (tok < 0) {
        SY_TRACE(4, kM, "error starting the scanner");
        return kOther;
    }
    // TRUE and FALSE without a prefix are the numbers 1 and 0, which every
    // number type takes (as a value of the variables section has them);
    // behind "BOOL#" they are a BOOL's only.
    const std::string bare = trimmed(text).stdString();
    const bool bareBool = equalsNoCase(bare, "TRUE") || equalsNoCase(bare, "FALSE");
    if (tok == SyVarScannerFlexLexer::TokConstant && scan.type >= 0 && scan.type <= 23 && uint32_t(scan.type) != t &&
        !(bareBool && isNumberId(t))) {
        SY_TRACE(4, kM, "literal of type %d for type %d", int(scan.type), int(t));
        return kWrongReference;
    }
    // Only a number that is the whole text is built: a word or a number
    // with something behind it is no value of the type.
    const bool number = tok == SyVarScannerFlexLexer::TokInteger || tok == SyVarScannerFlexLexer::TokConstant;
    const String literal = scan.name;
    const int32_t radix = scan.radix;
    int after = -1;
    try {
        after = number ? scan.yylex() : -1;
    } catch (...) {
    }
    if (number && after == SyVarScannerFlexLexer::TokEnd) {
        const std::string limit = limitOf(literal);
        std::unique_ptr<StStdConstantVal> built;
        if (!limit.empty()) {
            // "DINT#MAX" is the type's bound (the scanner gives it only with
            // the type's own name, checked above), not a number its digits
            // would give.
            std::unique_ptr<StConstantVal> bound(value->clone());
            if (bound && isWholeLiteral(text, literal) && (limit == "MAX" ? bound->setMax() : bound->setMin()) &&
                value->assign(bound.get()) == 0)
                return kOk;
        } else if (isOneLiteral(text) && buildNumber(literal, radix, t, built) &&
                   value->assign(built.get()) == 0) {
            return kOk;
        }
    }
    SY_TRACE(4, kM, "literal does not convert to type %d", int(t));
    return kNoConversion;
}

uint32_t SyVariantConvert::variant2StringVal(StConstantVal* value, const VARIANT& v)
{
    static const char kM[] = "SyVariantConvert::variant2StringVal";
    if (!value || value->getKind() != ST_CONST_STRING) {
        SY_TRACE(4, kM, "destination cval is a NULL pointer");
        return kOther;
    }
    if (v.vt == VT_EMPTY) {
        SY_TRACE(1, kM, "empty source variant");
        return kOk;
    }
    if (v.vt != VT_BSTR) {
        SY_TRACE(4, kM, "variant type VT_BSTR expected");
        return kWrongVarType;
    }
    String text = bstrText(v.bstrVal);
    if (!decodeNormalizedStringVal(text)) {
        SY_TRACE(4, kM, "invalid syntax for 'string'");
        return kSyntax;
    }
    if (text.length() >= 255) {
        SY_TRACE(4, kM, "String-Lenght out of bounds!");
        return kTooLong;
    }
    if (!static_cast<StStringConstantVal*>(value)->setText(text)) {
        SY_TRACE(4, kM, "String-Value out of bounds!");
        return kTooLong;
    }
    return kOk;
}

static uint32_t variant2ConstValImpl(StConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                     IUnknown* navigation, bool tolerant)
{
    const char* method = tolerant ? "SyVariantConvert::variant2ConstValEx" : "SyVariantConvert::variant2ConstVal";
    if (!value) {
        SY_TRACE(4, method, "destination cval is a NULL pointer");
        return kOther;
    }
    switch (value->getKind()) {
    case ST_CONST_STD:
        return tolerant ? SyVariantConvert::variant2StdValEx(value, v, strict, context, navigation)
                        : SyVariantConvert::variant2StdVal(static_cast<StStdConstantVal*>(value), v, strict, context,
                                                           navigation);
    case ST_CONST_STRING:
        return SyVariantConvert::variant2StringVal(value, v);
    case ST_CONST_STRUCT:
        return SyVariantConvert::variant2StructVal(value, v, strict, context, navigation, tolerant);
    default:
        SY_TRACE(4, method, "invalid ConstValType");
        return kOther;
    }
}

uint32_t SyVariantConvert::variant2ConstVal(StConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                            IUnknown* navigation)
{
    return variant2ConstValImpl(value, v, strict, context, navigation, false);
}

uint32_t SyVariantConvert::variant2ConstValEx(StConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                              IUnknown* navigation)
{
    return variant2ConstValImpl(value, v, strict, context, navigation, true);
}

uint32_t SyVariantConvert::variant2StructVal(StConstantVal* value, const VARIANT& v, bool strict, IUnknown* context,
                                             IUnknown* navigation, bool tolerant)
{
    static const char kM[] = "SyVariantConvert::variant2StructVal";
    if (!value || value->getKind() != ST_CONST_STRUCT) {
        SY_TRACE(4, kM, "destination cval is a NULL pointer");
        return kOther;
    }
    if (!(v.vt & VT_ARRAY) || (v.vt & VT_BYREF)) {
        SY_TRACE(4, kM, "array variant expected");
        return kWrongVarType;
    }
    LONG lb = 0, ub = -1;
    if (FAILED(SafeArrayGetLBound(v.parray, 1, &lb))) {
        SY_TRACE(4, kM, "error SafeArrayGetLBound");
        return kOther;
    }
    if (FAILED(SafeArrayGetUBound(v.parray, 1, &ub))) {
        SY_TRACE(4, kM, "error SafeArrayGetUBound");
        return kOther;
    }
    // Converted into a copy that replaces the value only when every element
    // converted: a refused element leaves the whole value as it was.
    std::unique_ptr<StConstantVal> copy(value->clone());
    const uint32_t n = copy->elementCount();
    uint32_t next = 0;
    for (int64_t i = lb; i <= ub; ++i, ++next) {
        if (next >= n) {
            SY_TRACE(4, kM, "more array elements than structure elements");
            return kWrongVarType;
        }
        VARIANT ev;
        VariantInit(&ev);
        if (uint32_t r = SafeArrayGetElement(v.parray, LONG(i), &ev)) {
            SY_TRACE(4, kM, "error SafeArrayGetElement");
            return r;
        }
        StConstantVal* e = copy->elementAt(next);
        uint32_t r = tolerant ? variant2ConstValEx(e, ev, strict, context, navigation)
                              : variant2ConstVal(e, ev, strict, context, navigation);
        VariantClear(&ev);
        if (r != 0) {
            SY_TRACE(4, kM, "error variant2ConstVal in recursion");
            return r;
        }
    }
    return takeConverted(value, copy.get(), kM);
}

StStdConstantVal* SyVariantConvert::createStdValFromVariant(const VARIANT& v)
{
    static const char kM[] = "SyVariantConvert::createStdValFromVariant";
    uint32_t t = 0;
    switch (v.vt) {
    case VT_R8: t = ST_LREAL; break;
    case VT_R4: t = ST_REAL; break;
    case VT_I4: t = ST_DINT; break;
    case VT_I2: t = ST_INT; break;
    case VT_I1: t = ST_SINT; break;
    case VT_UI4: t = ST_UDINT; break;
    case VT_UI2: t = ST_UINT; break;
    case VT_UI1: t = ST_USINT; break;
    case VT_EMPTY:
        SY_TRACE(4, kM, "empty source variant");
        return nullptr;
    default:
        SY_TRACE(4, kM, "invalid variant type");
        return nullptr;
    }
    auto* value = new StStdConstantVal(t);
    if (variant2StdVal(value, v, true, nullptr) != 0) {
        delete value;
        return nullptr;
    }
    return value;
}

StStructConstantVal* SyVariantConvert::createStructValFromVariant(const VARIANT& v)
{
    static const char kM[] = "SyVariantConvert::createStructValFromVariant";
    if (!(v.vt & VT_ARRAY) || (v.vt & VT_BYREF) || !v.parray) {
        SY_TRACE(4, kM, "no Array");
        return nullptr;
    }
    LONG lb = 0, ub = -1;
    if (FAILED(SafeArrayGetLBound(v.parray, 1, &lb)) || FAILED(SafeArrayGetUBound(v.parray, 1, &ub))) {
        SY_TRACE(4, kM, "no Array");
        return nullptr;
    }
    auto* result = new StStructConstantVal();
    for (int64_t i = lb; i <= ub; ++i) {
        VARIANT ev;
        VariantInit(&ev);
        StConstantVal* e = nullptr;
        if (SafeArrayGetElement(v.parray, LONG(i), &ev) == 0)
            e = (ev.vt & VT_ARRAY) ? static_cast<StConstantVal*>(createStructValFromVariant(ev))
                                   : createStdValFromVariant(ev);
        VariantClear(&ev);
        if (!e) {
            SY_TRACE(4, kM, "error createConstValFromVariant");
            delete result;
            return nullptr;
        }
        result->addMember(e);
    }
    return result;
}

// ===========================================================================
// text
// ===========================================================================

uint32_t stdVal2String(String& out, const StStdConstantVal* value, bool withType, IUnknown* context,
                       IUnknown* navigation)
{
    static const char kM[] = "stdVal2String";
    out = String();
    if (!value) {
        SY_TRACE(4, kM, "source cval is a NULL pointer");
        return kOther;
    }
    const uint32_t t = value->getTypeId();
    if (withType) {
        const char* name = stTypeIdName(t);
        out += "(";
        out += name ? name : "";
        out += ")";
    }
    char buf[32];
    if (isNumberId(t)) {
        Number n;
        if (!readNumber(value, t, kM, n)) return kWrongVarType;
        if (isUnsignedId(t)) std::snprintf(buf, sizeof buf, "%u", n.u);
        else if (isSignedId(t)) std::snprintf(buf, sizeof buf, "%d", n.l);
        else std::snprintf(buf, sizeof buf, t == ST_REAL ? "%.10g" : "%.20g", t == ST_REAL ? double(n.f) : n.d);
        out += buf;
        return kOk;
    }
    switch (t) {
    case ST_ANYOBJECT:
        out += "<nil>";
        return kOk;
    case ST_TIME: case ST_DATE: case ST_TOD: case ST_DT: {
        String text;
        if (!readTimeText(value, t, kM, text)) return kWrongVarType;
        out += text;
        return kOk;
    }
    case ST_STRUCTALARMID:
    case ST_STRUCTTASKID: {
        const bool alarm = t == ST_STRUCTALARMID;
        uint32_t id = 0;
        if (!readId(value, alarm, kM, id)) return kWrongVarType;
        if (context) {
            String name;
            uint32_t code = lookupIdName(alarm, id, name, context, navigation);
            if (code == 0) {
                out += name.length() ? name : String("0");
                return kOk;
            }
            SY_TRACE(4, kM, alarm ? "error getAlarmName 0x%08X" : "error getTaskName 0x%08X", code);
        }
        if (alarm) std::snprintf(buf, sizeof buf, "%d", int32_t(id));
        else std::snprintf(buf, sizeof buf, "%u", id);
        out += buf;
        return kOk;
    }
    default:
        SY_TRACE(4, kM, "invalid stdTypeSpec %d", int(t));
        return kNotConvertible;
    }
}

static uint32_t stringVal2String(String& out, const StConstantVal* value)
{
    String text;
    uint8_t len = 0;
    value->getText(text, len);
    out = normalizeStringVal(text.chars(), size_t(text.length()));
    return kOk;
}

uint32_t SyVariantConvert::constVal2String(String& out, const StConstantVal* value, bool withType, IUnknown* context,
                                           IUnknown* navigation)
{
    static const char kM[] = "SyVariantConvert::constVal2String";
    out = String();
    if (!value) {
        SY_TRACE(4, kM, "source cval is a NULL pointer");
        return kOther;
    }
    switch (value->getKind()) {
    case ST_CONST_STD:
        return stdVal2String(out, static_cast<const StStdConstantVal*>(value), withType, context, navigation);
    case ST_CONST_STRING:
        return stringVal2String(out, value);
    case ST_CONST_STRUCT:
        return structVal2String(out, value, withType, context, navigation);
    default:
        SY_TRACE(4, kM, "invalid ConstValType");
        return kOther;
    }
}

uint32_t SyVariantConvert::structVal2String(String& out, const StConstantVal* value, bool withType,
                                            IUnknown* context, IUnknown* navigation)
{
    static const char kM[] = "SyVariantConvert::structVal2String";
    out = String("{");
    const uint32_t n = value ? value->elementCount() : 0;
    if (n == 0) SY_TRACE(4, kM, "Zero element struct");
    for (uint32_t i = 0; i < n; ++i) {
        if (i) out += ", ";
        const StConstantVal* e = value->elementAt(i);
        if (!e) {
            SY_TRACE(4, kM, "source cval is a NULL pointer");
            out += "<null>";
            continue;
        }
        String text;
        if (uint32_t r = constVal2String(text, e, withType, context, navigation)) {
            out = String();
            return r;
        }
        // A string left unquoted holds no blank, quote or '$'; one that holds
        // a comma or a brace is quoted here so that the element still reads
        // back as one (quoting adds nothing else to such a text).
        if (e->getKind() == ST_CONST_STRING && text.length() && text.chars()[0] != '\'' &&
            std::strpbrk(text.c_str(), ",{}")) {
            out += "'";
            out += text;
            out += "'";
            continue;
        }
        out += text;
    }
    out += "}";
    return kOk;
}

namespace {

// Whether a text is a decimal real as strtod reads it: a sign, digits with
// at most one point, an exponent.
bool isDecimalRealText(const String& text)
{
    const char* p = text.chars();
    const char* const end = p + text.length();
    if (p < end && (*p == '+' || *p == '-')) ++p;
    bool digits = false, point = false;
    for (; p < end && (std::isdigit(static_cast<unsigned char>(*p)) || (*p == '.' && !point)); ++p) {
        if (*p == '.') point = true;
        else digits = true;
    }
    if (!digits) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        if (p == end) return false;
        while (p < end && std::isdigit(static_cast<unsigned char>(*p))) ++p;
    }
    return p == end;
}

// Whether a text is a decimal integer: a sign and digits.
bool isDecimalIntegerText(const String& text)
{
    const char* p = text.chars();
    const char* const end = p + text.length();
    if (p < end && (*p == '+' || *p == '-')) ++p;
    if (p == end) return false;
    for (; p < end; ++p)
        if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    return true;
}

}  // namespace

uint32_t string2StdVal(StStdConstantVal* value, const String& text, IUnknown* context, IUnknown* navigation)
{
    static const char kM[] = "string2StdVal";
    if (!value) {
        SY_TRACE(4, kM, "destination cval is a NULL pointer");
        return kOther;
    }
    if (text.length() == 0) {
        SY_TRACE(4, kM, "empty source string");
        return kOther;
    }
    const uint32_t t = value->getTypeId();
    if (isUnsignedId(t) || isSignedId(t)) {
        // A decimal integer of the type's range, as every reader of
        // literals takes it; never stored cut to the type's width.
        std::unique_ptr<StStdConstantVal> built;
        const String digits(trimmed(text));
        if (!isDecimalIntegerText(digits) || !buildNumber(digits, 10, t, built)) {
            SY_TRACE(4, kM, isUnsignedId(t) ? "Ulong decode error" : "long decode error");
            return kSyntax;
        }
        if (value->assign(built.get()) != 0) {
            SY_TRACE(4, kM, isUnsignedId(t) ? "SetULongVal failed" : "SetLongVal failed");
            return kOther;
        }
        return kOk;
    }
    switch (t) {
    case ST_REAL:
    case ST_LREAL: {
        // A decimal number only, read as a literal of the type is: no
        // hexadecimal ("0x10"), INF or NAN that strtod would take too, and
        // nothing the type holds only as 0.
        std::unique_ptr<StStdConstantVal> built;
        const String digits(trimmed(text));
        if (!isDecimalRealText(digits) || !buildNumber(digits, 10, t, built)) {
            SY_TRACE(4, kM, "float decode error");
            return kSyntax;
        }
        if (value->assign(built.get()) != 0) {
            SY_TRACE(4, kM, t == ST_REAL ? "SetRealVal failed" : "SetLRealVal failed");
            return kOther;
        }
        return kOk;
    }
    case ST_ANYOBJECT:
        return kOk;
    case ST_TIME: case ST_DATE: case ST_TOD: case ST_DT: {
        static const char* const msg[] = {"TIME: checkSyntax failed", "DATE: checkSyntax/SetCDateVal failed",
                                          "TOD: checkSyntax/SetCTimeOfDayVal failed",
                                          "DT: checkSyntax/SetCDateAndTimeVal failed"};
        if (uint32_t r = SyVariantConvert::checkSyntax(t, text)) {
            SY_TRACE(4, kM, "%s", msg[t - ST_TIME]);
            return r;
        }
        if (!setTimeText(value, t, text)) {
            SY_TRACE(4, kM, "%s", msg[t - ST_TIME]);
            return kOther;
        }
        return kOk;
    }
    case ST_STRUCTALARMID:
    case ST_STRUCTTASKID:
        return storeIdOfName(value, t == ST_STRUCTALARMID, text, true, kM, context, navigation);
    default:
        SY_TRACE(4, kM, "invalid variant type");
        return kNotConvertible;
    }
}

namespace {

// Cuts the next element text of a structure text from `pos`: a nested
// structure with its braces (nested set), or the text up to the next comma
// outside quotes, trimmed. False when nothing is left or braces or quotes
// do not close.
bool getNextStructVal(const std::string& s, size_t& pos, std::string& out, bool& nested)
{
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    if (pos >= s.size()) return false;
    const size_t start = pos;
    int depth = 0;
    bool quoted = false;
    for (; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (quoted) {
            if (c == '$' && pos + 1 < s.size()) ++pos;
            else if (c == '\'') quoted = false;
            continue;
        }
        if (c == '\'') quoted = true;
        else if (c == '{') ++depth;
        else if (c == '}') {
            if (--depth < 0) return false;
        } else if (c == ',' && depth == 0) break;
    }
    if (quoted || depth != 0) return false;
    size_t end = pos;
    while (end > start && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
    out = s.substr(start, end - start);
    nested = !out.empty() && out[0] == '{';
    if (pos < s.size()) ++pos;  // the comma
    return true;
}

}  // namespace

uint32_t string2StructVal(StConstantVal* value, const String& text, IUnknown* context, IUnknown* navigation)
{
    static const char kM[] = "string2StructVal";
    std::string s = text.stdString();
    size_t b = s.find_first_not_of(" \t");
    size_t e = s.find_last_not_of(" \t");
    if (b == std::string::npos || s[b] != '{' || s[e] != '}') {
        SY_TRACE(4, kM, "getNextStructVal failed");
        return kWrongVarType;
    }
    s = s.substr(b + 1, e - b - 1);
    size_t pos = 0;
    // Into a copy, as a structure from a VARIANT is.
    std::unique_ptr<StConstantVal> copy(value->clone());
    const uint32_t n = copy->elementCount();
    for (uint32_t i = 0; i < n; ++i) {
        std::string part;
        bool nested = false;
        if (pos >= s.size() || s.find_first_not_of(" \t", pos) == std::string::npos) break;  // text used up
        if (!getNextStructVal(s, pos, part, nested)) {
            SY_TRACE(4, kM, "getNextStructVal failed");
            return kWrongVarType;
        }
        StConstantVal* el = copy->elementAt(i);
        if (!el || nested != (el->getKind() == ST_CONST_STRUCT)) {
            SY_TRACE(4, kM, "getNextStructVal failed");
            return kWrongVarType;
        }
        if (uint32_t r = SyVariantConvert::String2ConstVal(el, String(part), context, navigation)) return r;
    }
    // More element texts than elements, as more array elements than
    // elements in a VARIANT, are no value of the structure.
    if (pos < s.size() && s.find_first_not_of(" \t", pos) != std::string::npos) {
        SY_TRACE(4, kM, "getNextStructVal failed");
        return kWrongVarType;
    }
    return takeConverted(value, copy.get(), kM);
}

uint32_t SyVariantConvert::String2ConstVal(StConstantVal* value, const String& text, IUnknown* context,
                                           IUnknown* navigation)
{
    static const char kM[] = "SyVariantConvert::String2ConstVal";
    if (!value) {
        SY_TRACE(4, kM, "destination cval is a NULL pointer");
        return kOther;
    }
    switch (value->getKind()) {
    case ST_CONST_STD:
        return string2StdVal(static_cast<StStdConstantVal*>(value), text, context, navigation);
    case ST_CONST_STRING: {
        String decoded = text;
        if (!decodeNormalizedStringVal(decoded)) return kSyntax;
        if (decoded.length() >= 255 || !static_cast<StStringConstantVal*>(value)->setText(decoded)) {
            SY_TRACE(4, kM, "String-Lenght out of bounds!");
            return kTooLong;
        }
        return kOk;
    }
    case ST_CONST_STRUCT:
        return string2StructVal(value, text, context, navigation);
    default:
        SY_TRACE(4, kM, "invalid ConstValType");
        return kOther;
    }
}

uint32_t SyVariantConvert::checkSyntax(uint32_t typeId, const String& text)
{
    static const char kM[] = "SyVariantConvert::checkSyntax";
    int want = 0;
    const char* what = nullptr;
    switch (typeId) {
    case ST_TIME: want = SyVarScannerFlexLexer::TokTime; what = "time"; break;
    case ST_DATE: want = SyVarScannerFlexLexer::TokDate; what = "date"; break;
    case ST_TOD: want = SyVarScannerFlexLexer::TokTod; what = "time of day"; break;
    case ST_DT: want = SyVarScannerFlexLexer::TokDt; what = "date and time"; break;
    default:
        SY_TRACE(4, kM, "invalid typespec for syntax check");
        return kSyntax;
    }
    // The literal must be the whole text: nothing may follow it (a quote
    // behind it would open a string that the end of the text closes
    // without a token).
    SyVarScannerFlexLexer scan;
    bool whole = scanOnce(scan, text, false) == want && !std::strchr(text.c_str(), '\'') &&
                 isWholeLiteral(text, scan.name);
    if (whole) {
        try {
            whole = scan.yylex() == SyVarScannerFlexLexer::TokEnd;
        } catch (...) {
            whole = false;
        }
    }
    if (!whole) {
        SY_TRACE(4, kM, "invalid syntax for '%s'", what);
        return kSyntax;
    }
    return kOk;
}

uint32_t SyVariantConvert::changeVariantType(VARIANT* v, uint32_t typeId)
{
    static const char kM[] = "SyVariantConvert::changeVariantType";
    const VARTYPE vt = numericVarType(typeId);
    if (!v || vt == VT_EMPTY || v->vt == vt) return kOk;
    if (FAILED(VariantChangeTypeEx(v, v, 1033, 0, vt))) {
        SY_TRACE(4, kM, "VariantChangeTypeEx failed");
        return kWrongVarType;
    }
    return kOk;
}

// ===========================================================================
// comparisons
// ===========================================================================

bool SyVariantConvert::equalVariantType(const VARIANT& a, const VARIANT& b)
{
    if (a.vt != b.vt) return false;
    if (a.vt & VT_ARRAY) return equalArrayVariantType(a, b);
    return true;
}

bool SyVariantConvert::equalArrayVariantType(const VARIANT& a, const VARIANT& b)
{
    static const char kM[] = "SyVariantConvert::equalArrayVariantType";
    VARTYPE ta = VT_EMPTY, tb = VT_EMPTY;
    if (!(a.vt & VT_ARRAY) || !(b.vt & VT_ARRAY) || (a.vt & VT_BYREF) || (b.vt & VT_BYREF) ||
        FAILED(SafeArrayGetVartype(a.parray, &ta)) || FAILED(SafeArrayGetVartype(b.parray, &tb))) {
        SY_TRACE(4, kM, "invalid Type");
        return false;
    }
    return ta == tb;
}

static size_t valueBytes(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_INT: case VT_UINT: case VT_ERROR: return 4;
    case VT_EMPTY: case VT_NULL: return 0;
    default: return 8;
    }
}

bool SyVariantConvert::equalVariant(const VARIANT& a, const VARIANT& b)
{
    if (!equalVariantType(a, b)) return false;
    if (a.vt & VT_ARRAY) return equalArrayVariant(a, b);
    if (a.vt == VT_BSTR) {
        const UINT na = SysStringLen(a.bstrVal), nb = SysStringLen(b.bstrVal);
        return na == nb && (na == 0 || std::memcmp(a.bstrVal, b.bstrVal, na * sizeof(char16_t)) == 0);
    }
    return std::memcmp(&a.llVal, &b.llVal, valueBytes(a.vt)) == 0;
}

bool SyVariantConvert::equalArrayVariant(const VARIANT& a, const VARIANT& b)
{
    static const char kM[] = "SyVariantConvert::equalArrayVariant";
    LONG la = 0, ua = 0, lb = 0, ubb = 0;
    HRESULT hr = SafeArrayGetLBound(a.parray, 1, &la);
    if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(a.parray, 1, &ua);
    if (SUCCEEDED(hr)) hr = SafeArrayGetLBound(b.parray, 1, &lb);
    if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(b.parray, 1, &ubb);
    if (FAILED(hr)) {
        SY_TRACE(4, kM, "error SafeArrayGetLBound - hr = 0x%08X", uint32_t(hr));
        return false;
    }
    if (int64_t(ua) - la != int64_t(ubb) - lb) return false;
    for (int64_t i = 0; la + i <= ua; ++i) {
        VARIANT ea, eb;
        VariantInit(&ea);
        VariantInit(&eb);
        uint32_t r = SafeArrayGetElement(a.parray, LONG(la + i), &ea);
        if (r == 0) r = SafeArrayGetElement(b.parray, LONG(lb + i), &eb);
        bool same = r == 0 && equalVariant(ea, eb);
        if (r) SY_TRACE(4, kM, "error SafeArrayGetElement - dwRet = 0x%08X", r);
        VariantClear(&ea);
        VariantClear(&eb);
        if (!same) return false;
    }
    return true;
}

// ===========================================================================
// array elements
// ===========================================================================

uint32_t SyVariantConvert::SafeArrayGetElement(SAFEARRAY* array, LONG index, VARIANT* out)
{
    static const char kM[] = "SyVariantConvert::SafeArrayGetElement";
    if (!out) return kBadStructure;
    VariantClear(out);
    VariantInit(out);
    LONG lb = 0, ub = -1;
    if (!array || index < 0 || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lb)) ||
        FAILED(SafeArrayGetUBound(array, 1, &ub)) || index < lb || index > ub) {
        SY_TRACE(4, kM, "invalid array pointer or invalid index");
        return kBadStructure;
    }
    VARTYPE vt = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(array, &vt))) {
        SY_TRACE(4, kM, "error SafeArrayGetVartype");
        return kOther;
    }
    if (!(vt & VT_ARRAY)) {
        if (FAILED(SafeArrayLock(array))) {
            SY_TRACE(4, kM, "error SafeArrayLock");
            return kOther;
        }
        void* p = nullptr;
        uint32_t r = kBadStructure;
        if (SUCCEEDED(SafeArrayPtrOfIndex(array, &index, &p))) r = ptr2variant(vt, p, out);
        SafeArrayUnlock(array);
        return r;
    }
    if (FAILED(::SafeArrayGetElement(array, &index, out))) {
        SY_TRACE(4, kM, "error SafeArrayGetElement");
        return kOther;
    }
    return kOk;
}

uint32_t ptr2variant(VARTYPE vt, const void* memory, VARIANT* out)
{
    static const char kM[] = "ptr2variant";
    if (!out) return kBadStructure;
    VariantInit(out);
    if (!memory) {
        SY_TRACE(4, kM, "error: empty source variant array");
        return kBadStructure;
    }
    try {
        switch (vt) {
        case VT_I1: case VT_UI1: std::memcpy(&out->bVal, memory, 1); break;
        case VT_I2: case VT_UI2: std::memcpy(&out->iVal, memory, 2); break;
        case VT_I4: case VT_UI4: case VT_R4: std::memcpy(&out->lVal, memory, 4); break;
        case VT_R8: std::memcpy(&out->dblVal, memory, 8); break;
        case VT_VARIANT:
            if (FAILED(VariantCopy(out, static_cast<const VARIANT*>(memory)))) return kOther;
            return kOk;
        default:
            SY_TRACE(4, kM, "element type %d cannot be copied", int(vt));
            return kWrongReference;
        }
    } catch (...) {
        SY_TRACE(4, kM, "caught any unhandled exception");
        VariantInit(out);
        return kOther;
    }
    out->vt = vt;
    return kOk;
}

// ===========================================================================
// string literals
// ===========================================================================

String escapeStringChar(char c, int next, int& consumed)
{
    consumed = 1;
    switch (c) {
    case '\t': return String("$T");
    case '\n': return String("$L");
    case '\f': return String("$P");
    case '\r':
        if (next == '\n') {
            consumed = 2;
            return String("$N");
        }
        return String("$R");
    case '$': return String("$$");
    case '\'': return String("$'");
    default: {
        char buf[4];
        std::snprintf(buf, sizeof buf, "$%02X", unsigned(static_cast<unsigned char>(c)));
        return String(buf);
    }
    }
}

String normalizeStringVal(const char* chars, size_t length)
{
    if (!chars || length == 0) return String();
    auto special = [](unsigned char c) { return c <= 32 || c == '$' || c == '\''; };
    size_t first = 0;
    while (first < length && !special(static_cast<unsigned char>(chars[first]))) ++first;
    if (first == length) return String(chars, int(length));
    String out("'");
    out += String(chars, int(first));
    for (size_t i = first; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(chars[i]);
        if (c < 32 || c == '$' || c == '\'') {
            int consumed = 1;
            out += escapeStringChar(char(c), i + 1 < length ? static_cast<unsigned char>(chars[i + 1]) : -1, consumed);
            i += size_t(consumed - 1);
        } else {
            out += char(c);
        }
    }
    out += "'";
    return out;
}

bool SyVariantConvert::decodeNormalizedStringVal(String& text)
{
    static const char kM[] = "SyVariantConvert::decodeNormalizedStringVal";
    SyVarScannerFlexLexer scan;
    const int tok = scanOnce(scan, text, true);
    // The text is one string and nothing else: a quoted string with only
    // blanks behind its closing quote, a word, or nothing. The end of input
    // also ends an open quote ("'a") without a token, and text behind the
    // closing quote ("'a'b'") would be dropped.
    bool whole = tok == SyVarScannerFlexLexer::TokDecodeWord || (tok == SyVarScannerFlexLexer::TokEnd && text.length() == 0);
    if (tok == SyVarScannerFlexLexer::TokString) {
        // The string began at the first character (a run before a quote is
        // no string); behind its closing quote only blanks may follow. The
        // scanner would end a second, open quote there without a token.
        const char* const p = text.chars();
        const int n = text.length();
        int i = 1;
        for (; i < n && p[i] != '\''; ++i)
            if (p[i] == '$') ++i;
        for (++i; i < n && isSpace(p[i]);) ++i;
        whole = i >= n;
    }
    if (!whole) {
        SY_TRACE(4, kM, "invalid syntax for '%s'", text.chars());
        return false;
    }
    text = scan.name;
    return true;
}
