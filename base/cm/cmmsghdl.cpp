#include "base/cm/cmmsghdl.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/cm/cmformat.h"
#include "base/cm/cmwstr.h"
#include "co/CoSettings.h"
#include "co/TraceApi.h"
#include "platform/memory_watch.h"
#include "platform/text.h"

using cm::toU16;
using cm::toWString;

namespace {

const char* const kSource = "cmmsghdl";
const uint32_t kWordOffset = 32700;
const uint32_t kNoHelpId = 0xFFFFFFFFu;

// The handler's fixed words when no library or table has them.
const char16_t* const kBuiltinWords[11] = {
    u"Interner Fehler",
    u"Info",
    u"Warnung",
    u"Fehler",
    u"Unbekannte Meldung",
    u"Interner Formatierungsfehler",
    u"Msg-Parameterfehler",
    u"Zeile ",
    u"Zuwenig Speicher",
    u"Spalte ",
    u"Sicherheitsrelevanter Fehler",
};

enum WordId : uint32_t {
    kWordInternalError = 0,
    kWordInfo = 1,
    kWordWarning = 2,
    kWordError = 3,
    kWordUnknown = 4,
    kWordParamError = 6,
    kWordSafety = 10,
};

std::atomic<CmMessageHandler*> g_handler{nullptr};

bool contains(const std::vector<uint32_t>& v, uint32_t id)
{
    return std::find(v.begin(), v.end(), id) != v.end();
}

void removeFrom(std::vector<uint32_t>& v, uint32_t id) { v.erase(std::remove(v.begin(), v.end(), id), v.end()); }

void addTo(std::vector<uint32_t>& v, uint32_t id)
{
    if (!contains(v, id)) v.push_back(id);
}

std::u16string gcvtText(double v, int digits) { return cm::ascii(cm::gcvt(v, digits).c_str()); }

double bitsToDouble(uint64_t bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

float bitsToFloat(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// One runtime-message placeholder "/n/[%s]%letters%width[$enum$]".
struct Placeholder {
    std::size_t start = 0, end = 0;
    uint32_t arg = 0;
    uint32_t shift = 0;
    std::u16string letters;
    uint32_t width = 32;
    std::u16string enumName;
};

bool isLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// "%letters%digits" and the optional "$enum$" at i.
bool matchTail(const std::u16string& t, std::size_t i, Placeholder& ph)
{
    if (i >= t.size() || t[i] != u'%') return false;
    std::size_t j = i + 1;
    while (j < t.size() && isLetter(t[j])) ++j;
    if (j == i + 1 || j >= t.size() || t[j] != u'%') return false;
    std::size_t k = j + 1;
    uint64_t width = 0;
    while (k < t.size() && isDigit(t[k])) {
        if (width < 1000) width = width * 10 + (t[k] - u'0');
        ++k;
    }
    if (k == j + 1) return false;
    ph.letters = t.substr(i + 1, j - i - 1);
    ph.width = (width == 8 || width == 16 || width == 32) ? static_cast<uint32_t>(width) : 32;
    ph.enumName.clear();
    ph.end = k;
    if (k < t.size() && t[k] == u'$') {
        std::size_t close = t.find(u'$', k + 1);
        if (close != std::u16string::npos) {
            ph.enumName = t.substr(k + 1, close - k - 1);
            ph.end = close + 1;
        }
    }
    return true;
}

bool findPlaceholder(const std::u16string& t, std::size_t from, Placeholder& ph)
{
    for (std::size_t p = t.find(u'/', from); p != std::u16string::npos; p = t.find(u'/', p + 1)) {
        if (p + 2 >= t.size() || t[p + 1] < u'1' || t[p + 1] > u'5' || t[p + 2] != u'/') continue;
        ph.start = p;
        ph.arg = t[p + 1] - u'0';
        std::size_t q = p + 3;
        if (q + 1 < t.size() && t[q] == u'%' && t[q + 1] >= u'0' && t[q + 1] <= u'3' &&
            matchTail(t, q + 2, ph)) {
            ph.shift = t[q + 1] - u'0';
            return true;
        }
        if (matchTail(t, q, ph)) {
            ph.shift = 0;
            return true;
        }
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// CmMsgArg

CmMsgArg::CmMsgArg(const char* narrowText)
    : m_type(Text), m_narrowText(narrowText), m_narrow(1) {}

CmMsgArg::CmMsgArg(int32_t value)
    : m_bits(static_cast<uint32_t>(value)), m_type(Integer) {}

CmMsgArg::CmMsgArg(uint32_t value) : m_bits(value), m_type(Integer) {}

CmMsgArg::CmMsgArg(double value) : m_type(Double) { std::memcpy(&m_bits, &value, sizeof value); }

CmMsgArg::CmMsgArg(const char16_t* wideText) : m_type(Text), m_wideText(wideText) {}

CmMsgArg::CmMsgArg(const CmMsgArg& o)
    : m_bits(o.m_bits), m_type(o.m_type), m_narrowText(o.m_narrowText), m_wideText(o.m_wideText),
      m_narrow(o.m_narrow)
{
}

CmMsgArg& CmMsgArg::operator=(const CmMsgArg& o)
{
    if (this != &o) {
        m_bits = o.m_bits;
        m_type = o.m_type;
        m_narrowText = o.m_narrowText;
        m_wideText = o.m_wideText;
        m_narrow = o.m_narrow;
        m_widened.reset();
    }
    return *this;
}

double CmMsgArg::asDouble() const { return bitsToDouble(m_bits); }

const char16_t* CmMsgArg::wideText() const
{
    if (m_type != Text) return nullptr;
    if (!m_narrow) return m_wideText;
    if (!m_narrowText) return nullptr;
    if (!m_widened) m_widened.reset(new std::u16string(tvp::ansiToWide(m_narrowText)));
    return m_widened->c_str();
}

const CmMsgArg& CmMsgArg::none()
{
    static const CmMsgArg* s = new CmMsgArg();
    return *s;
}

CmRtMsg::~CmRtMsg() = default;

// ---------------------------------------------------------------------------
// CmMessageHandler

CmMessageHandler::CmMessageHandler(CmMsgTable* table, CmMsgOut* out)
    : m_table(table), m_out(out ? out : &CmMsgOut_StdErr::instance())
{
}

CmMessageHandler::~CmMessageHandler()
{
    try {
        m_registered1.clear();
        m_registered2.clear();
        m_textLibrary.reset();
    } catch (...) {
        TraceRecord rec(4, __LINE__, kSource, "~CmMessageHandler");
        traceLine(rec, "caught any unhandled exception");
    }
}

void CmMessageHandler::reserved() {}

void CmMessageHandler::setContextName(const WString& name) { m_contextName = name; }

void CmMessageHandler::setMsgLevel(const CmMsgLevel& level) { m_level = level; }

CmMsgTable* CmMessageHandler::setMsgTable(CmMsgTable* table)
{
    if (!table) return nullptr;
    CmMsgTable* old = m_table;
    m_table = table;
    forgetLevelWords();
    m_heldBackId = HeldBackId();
    return old;
}

void CmMessageHandler::setMsgOut(CmMsgOut* out) { m_out = out ? out : &CmMsgOut_StdErr::instance(); }

void CmMessageHandler::setTextLibrary(CmBErrResTable* table)
{
    m_textLibrary.reset(table);
    m_textLibraryTried = true;
    forgetLevelWords();
}

void CmMessageHandler::forgetLevelWords()
{
    for (bool& known : m_levelWordKnown) known = false;
}

void CmMessageHandler::suppressMsg(uint32_t id)
{
    removeFrom(m_enabled, id);
    removeFrom(m_promoted, id);
    addTo(m_suppressed, id);
}

void CmMessageHandler::enableMsg(uint32_t id)
{
    removeFrom(m_suppressed, id);
    removeFrom(m_promoted, id);
    addTo(m_enabled, id);
}

void CmMessageHandler::promoteMsg(uint32_t id)
{
    removeFrom(m_suppressed, id);
    removeFrom(m_enabled, id);
    addTo(m_promoted, id);
}

void CmMessageHandler::suppressGroup(uint16_t group)
{
    if (std::find(m_suppressedGroups.begin(), m_suppressedGroups.end(), group) == m_suppressedGroups.end())
        m_suppressedGroups.push_back(group);
}

bool CmMessageHandler::isSuppressed(uint32_t id, uint16_t group, uint32_t* level)
{
    if (*level == kCmLevelError || *level == kCmLevelSafety) return false;
    if (m_warningsAsErrors && *level == kCmLevelWarning) *level = kCmLevelError;
    if (contains(m_promoted, id)) {
        *level = kCmLevelError;
        return false;
    }
    if (contains(m_suppressed, id)) return true;
    if (contains(m_enabled, id)) return false;
    return std::find(m_suppressedGroups.begin(), m_suppressedGroups.end(), group) !=
           m_suppressedGroups.end();
}

WString CmMessageHandler::lookupText(uint32_t textId, uint32_t* helpId, WString* moduleText)
{
    if (!m_textLibraryTried) {
        m_textLibraryTried = true;
        std::u16string dir;
        if (CCoSettings::getString(1, "SOFTWARE\\Korvent\\VRX\\4.1\\ProductDir", &dir) == 0)
            m_textLibrary.reset(new CmBErrResTable(".\\tvmsgtxx.dll", "", true));
        else
            m_textLibrary.reset(new CmBErrResTable(".\\tvmsgtxa.dll", "", false));
    }
    const CmMsgKey key(textId + kWordOffset);
    uint32_t level = 0;
    uint16_t group = 0;
    WString text;
    if (m_textLibrary) text = m_textLibrary->findKnownMsg(key, &level, &group, helpId, moduleText);
    if (text.empty() && m_table) text = m_table->findMsg(key, &level, &group, helpId, moduleText);
    if (text.empty() && textId < 11) {
        text = WString(kBuiltinWords[textId]);
        if (helpId) *helpId = kNoHelpId;
        if (moduleText) *moduleText = WString();
    }
    return text;
}

WString CmMessageHandler::levelPrefix(uint32_t level, uint32_t id)
{
    uint32_t word;
    switch (level) {
    case kCmLevelInfo: word = kWordInfo; break;
    case kCmLevelWarning: word = kWordWarning; break;
    case kCmLevelError: word = kWordError; break;
    case kCmLevelSafety: word = kWordSafety; break;
    default: word = kWordUnknown; break;
    }
    // The word stays the same while the tables do: looked up once, not for
    // every message.
    const uint32_t slot = level < 4 ? level : 4;
    if (!m_levelWordKnown[slot]) {
        m_levelWords[slot] = toU16(lookupText(word));
        m_levelWordKnown[slot] = true;
    }
    std::u16string t = m_levelWords[slot];
    t += u' ';
    t += cm::numberText(id);
    t += u' ';
    return toWString(t);
}

void CmMessageHandler::output(const WString& text, uint32_t level, uint32_t helpId,
                              const WString& moduleText, const CmMsgKey& key)
{
    if (m_level.extended())
        m_out->msgOutExt(text, level, helpId, moduleText, key.position, key.id);
    else
        m_out->msgOut(text, level, helpId, moduleText);
}

void CmMessageHandler::report(uint32_t id, const CmMsgArg& a1, const CmMsgArg& a2, const CmMsgArg& a3,
                              const CmMsgArg& a4, const CmMsgArg& a5, const CmMsgArg& a6,
                              const CmMsgArg& a7, const CmMsgArg& a8, const CmMsgArg& a9)
{
    reportMsg(CmMsgKey(id, 0, 0), a1, a2, a3, a4, a5, a6, a7, a8, a9);
}

void CmMessageHandler::reportMsg(const CmMsgKey& key, const CmMsgArg& a1, const CmMsgArg& a2,
                                 const CmMsgArg& a3, const CmMsgArg& a4, const CmMsgArg& a5,
                                 const CmMsgArg& a6, const CmMsgArg& a7, const CmMsgArg& a8,
                                 const CmMsgArg& a9)
{
    const CmMsgArg* args[9] = {&a1, &a2, &a3, &a4, &a5, &a6, &a7, &a8, &a9};
    reportCounted(key, 1, args);
}

void CmMessageHandler::reportMsgRun(const CmMsgKey& key, uint32_t count, const CmMsgArg& a1, const CmMsgArg& a2)
{
    const CmMsgArg& none = CmMsgArg::none();
    const CmMsgArg* args[9] = {&a1, &a2, &none, &none, &none, &none, &none, &none, &none};
    reportCounted(key, count == 0 ? 1 : count, args);
}

uint32_t CmMessageHandler::count(uint32_t level, uint32_t times)
{
    if (level == kCmLevelInfo) {
        m_infos += times;
    } else if (level == kCmLevelWarning || level == kCmLevelSafety) {
        m_warnings += times;
    } else {
        m_errors += times;
        level = kCmLevelError;
    }
    return level;
}

bool CmMessageHandler::templateLevel(uint32_t id, uint32_t& level, uint16_t& group)
{
    if (!m_heldBackId.known || m_heldBackId.id != id) {
        HeldBackId h;
        h.known = true;
        h.id = id;
        h.level = kCmLevelUnclassified;
        if (m_table) {
            uint32_t helpId = kNoHelpId;
            WString moduleText;
            h.found = !m_table->findMsg(CmMsgKey(id), &h.level, &h.group, &helpId, &moduleText).empty();
        }
        m_heldBackId = h;
    }
    level = m_heldBackId.level;
    group = m_heldBackId.group;
    return m_heldBackId.found;
}

bool CmMessageHandler::holdsBackFromNowOn(uint32_t id)
{
    try {
        uint32_t level = 0;
        uint16_t group = 0;
        if (!templateLevel(id, level, group)) return false;
        return isSuppressed(id, group, &level) || m_out->showsNoMore(level);
    } catch (...) {
        return false;
    }
}

void CmMessageHandler::countAllHeldBack(uint32_t id, uint32_t messages, uint32_t times)
{
    try {
        uint32_t level = 0;
        uint16_t group = 0;
        if (messages == 0 || !templateLevel(id, level, group) || isSuppressed(id, group, &level)) return;
        m_out->countHeld(level, messages);
        level = count(level, times);
        if (times > messages) m_out->countMore(level, times - messages);
    } catch (...) {
        TraceRecord rec(4, __LINE__, kSource, "CmMessageHandler::countAllHeldBack");
        traceLine(rec, "caught any unhandled exception");
    }
}

bool CmMessageHandler::countHeldBack(uint32_t id, uint32_t times)
{
    // Once memory ran out, what the compilers say next comes of that (a
    // message 0, a parse error at the line they stood on), not of the
    // source: it is neither shown nor counted.
    if (tvp::memoryRanOut()) return true;
    try {
        uint32_t level = 0;
        uint16_t group = 0;
        // An id without a template is an internal error, always shown.
        if (!templateLevel(id, level, group)) return false;
        if (times == 0) times = 1;
        if (isSuppressed(id, group, &level)) return true;
        if (!m_out->countWithoutText(level)) return false;
        level = count(level, times);
        if (times > 1) m_out->countMore(level, times - 1);
        return true;
    } catch (...) {
        TraceRecord rec(4, __LINE__, kSource, "CmMessageHandler::countHeldBack");
        traceLine(rec, "caught any unhandled exception");
        return false;
    }
}

void CmMessageHandler::reportCounted(const CmMsgKey& key, uint32_t times, const CmMsgArg* const* args)
{
    if (tvp::memoryRanOut()) return;
    // Most messages past those shown are counted without a table lookup.
    if (countHeldBack(key.id, times)) return;
    try {
        uint32_t level = kCmLevelUnclassified;
        uint16_t group = 0;
        uint32_t helpId = kNoHelpId;
        WString moduleText;
        WString templ;
        if (m_table) templ = m_table->findMsg(key, &level, &group, &helpId, &moduleText);

        if (isSuppressed(key.id, group, &level)) return;

        // The level it is counted and sent with: unclassified counts as an
        // error. The output counts what the message stands for beyond
        // itself right after it has it.
        const auto countMore = [this, times](uint32_t l) {
            if (times > 1) m_out->countMore(l, times - 1);
        };

        const uint32_t mode = m_level.mode;
        std::u16string text;
        text.reserve(128);  // room for most messages: grown once, not piece by piece
        if (mode != 0 && mode != 4 && !m_contextName.empty()) text = toU16(m_contextName);

        if (templ.empty()) {
            text += u": ";
            text += toU16(lookupText(kWordInternalError));
            text += u' ';
            text += cm::numberText(key.id);
            count(kCmLevelError, times);
            output(toWString(text), kCmLevelError, helpId, moduleText, key);
            countMore(kCmLevelError);
            return;
        }

        if (key.position != 0) {
            text += u'(';
            text += cm::decimal(key.position);
            text += u") : ";
        } else if (!text.empty()) {
            text += u": ";
        }

        if (mode == 3 || mode == 4) {
            if (mode == 3 && m_showNumber) {
                text += cm::decimal(key.id);
                text += u" :";
            }
        } else {
            text += toU16(levelPrefix(level, key.id));
        }

        if (mode == 2 || mode == 3 || mode == 4) {
            std::u16string body = toU16(formatArgs(templ, args));
            if (m_level.extended())
                text = body;
            else
                text += body;
        }

        level = count(level, times);
        output(toWString(text), level, helpId, moduleText, key);
        countMore(level);
    } catch (...) {
        TraceRecord rec(4, __LINE__, kSource, "CmMessageHandler::reportMsg");
        traceLine(rec, "caught any unhandled exception");
    }
}

namespace {

// The first of the markers "%f", "%d", "%i", "%s" (and "%x" with hex) at
// or behind from, in one pass over the text; npos when there is none.
std::size_t findMarker(const std::u16string& t, std::size_t from, bool hex)
{
    for (std::size_t p = t.find(u'%', from); p != std::u16string::npos && p + 1 < t.size(); p = t.find(u'%', p + 1)) {
        const char16_t c = t[p + 1];
        if (c == u'f' || c == u'd' || c == u'i' || c == u's' || (hex && c == u'x')) return p;
    }
    return std::u16string::npos;
}

}  // namespace

WString CmMessageHandler::formatArgs(const WString& templ, const CmMsgArg* const* args)
{
    std::u16string t = toU16(templ);
    std::size_t from = 0;  // markers are only looked for behind the last inserted text
    bool mismatch = false;
    int next = 0;
    for (; next < 9; ++next) {
        const CmMsgArg& a = *args[next];
        if (a.type() == CmMsgArg::None) break;
        const std::size_t best = findMarker(t, from, true);
        if (best == std::u16string::npos) break;
        const char16_t kind = t[best + 1];

        std::u16string rep;
        bool bad = false;
        const uint32_t low = static_cast<uint32_t>(a.bits());
        switch (kind) {
        case u'f':
            rep = gcvtText(a.asDouble(), 20);
            bad = a.type() != CmMsgArg::Double;
            break;
        case u'd':
        case u'i':
            rep = cm::decimalSigned(static_cast<int32_t>(low));
            bad = a.type() != CmMsgArg::Integer;
            break;
        case u'x':
            rep = u"0x" + cm::hexLower(low);
            bad = a.type() != CmMsgArg::Integer;
            break;
        case u's': {
            const char16_t* w = a.wideText();
            if (a.type() != CmMsgArg::Text || !w) {
                mismatch = true;  // the marker stays
                break;
            }
            rep = w;
            break;
        }
        }
        if (mismatch) break;
        t.replace(best, 2, rep);
        from = best + rep.size();
        if (bad) {
            mismatch = true;
            ++next;
            break;
        }
    }

    bool paramError = mismatch;
    for (int i = next; !paramError && i < 9; ++i)
        if (args[i]->type() != CmMsgArg::None) paramError = true;
    if (!paramError && findMarker(t, from, false) != std::u16string::npos) paramError = true;
    if (paramError) {
        t += u' ';
        t += toU16(lookupText(kWordParamError));
    }
    return toWString(t);
}

WString CmMessageHandler::formatEnumValue(const WString& enumName, uint32_t value)
{
    WString named;
    if (m_table && m_table->findEnumText(enumName, value, &named)) return named;
    std::u16string t = toU16(enumName);
    t += u':';
    t += cm::decimal(value);
    return toWString(t);
}

WString CmMessageHandler::formatValue(uint64_t value, uint32_t shift, const WString& lettersW,
                                      uint32_t width, const WString& enumName)
{
    if (shift > 3) shift = 0;
    if (width != 8 && width != 16 && width != 32) width = 32;
    const uint32_t low = static_cast<uint32_t>(value);
    const uint32_t mask = width == 32 ? 0xFFFFFFFFu : ((1u << width) - 1u);
    uint32_t v = (low >> (8 * shift)) & mask;
    const std::u16string letters = toU16(lettersW);

    std::u16string r;
    if (letters == u"f") {
        r = gcvtText(static_cast<double>(bitsToFloat(low)), 8);
    } else if (letters == u"d") {
        uint32_t s = v;
        if (width < 32 && (v & (1u << (width - 1)))) s |= ~mask;
        r = cm::decimalSigned(static_cast<int32_t>(s));
    } else if (letters == u"u" || letters == u"s" || letters == u"i") {
        r = cm::decimal(v);
    } else if (letters == u"x") {
        r = cm::groupFours(cm::hexUpper(v)) + u" hex";
    } else if (letters == u"y") {
        r = cm::groupFours(cm::binary(v));
    } else if (letters == u"e") {
        r = toU16(formatEnumValue(enumName, v));
    } else if (letters == u"b") {
        r = u"(bitfield " + cm::decimal(v) + u")";
    }
    return toWString(r);
}

WString CmMessageHandler::formatMsg(const WString& templ, const CmRtMsgRecord& record, bool noSeparator)
{
    std::u16string t = noSeparator ? std::u16string() : std::u16string(u": ");
    t += toU16(templ);

    Placeholder ph;
    std::size_t from = 0;
    while (findPlaceholder(t, from, ph)) {
        std::u16string rep = toU16(formatValue(record.arg(ph.arg), ph.shift, toWString(ph.letters),
                                               ph.width, toWString(ph.enumName)));
        t.replace(ph.start, ph.end - ph.start, rep);
        from = ph.start + rep.size();
    }

    static const char16_t* const kEndings[6] = {u"/%d", u"/%u", u"/%X", u"/%f", u"/%lf", u"/%s"};
    for (uint32_t n = 1; n <= 5; ++n) {
        const uint64_t value = record.arg(n);
        const uint32_t low = static_cast<uint32_t>(value);
        for (const char16_t* ending : kEndings) {
            std::u16string form = u"/";
            form += char16_t(u'0' + n);
            form += ending;
            std::size_t p = t.find(form);
            if (p == std::u16string::npos) continue;
            std::u16string rep;
            switch (ending[2]) {
            case u'd': rep = cm::decimalSigned(static_cast<int32_t>(low)); break;
            case u'u': rep = cm::decimal(low); break;
            case u'X': rep = cm::groupFours(cm::hexLower(low)); break;
            case u'f': rep = gcvtText(static_cast<double>(bitsToFloat(low)), 16); break;
            case u'l': rep = gcvtText(bitsToDouble(value), 16); break;
            case u's': {
                WString s = m_table ? m_table->findText(low) : WString();
                rep = s.empty() ? toU16(lookupText(kWordParamError)) : toU16(s);
                break;
            }
            }
            t.replace(p, form.size(), rep);
        }
    }

    std::u16string out;
    out.reserve(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
        out.push_back(t[i]);
        if (t[i] == u'%' && i + 1 < t.size() && t[i + 1] == u'%') ++i;
    }
    return toWString(out);
}

bool CmMessageHandler::reportRtMsg(WString* out, CmMsgLevel mode, const CmRtMsg* message)
{
    if (!out) return false;
    const CmRtMsgRecord record = message ? message->getRecord() : CmRtMsgRecord();
    std::u16string t;
    if (mode.mode != 0 && !m_contextName.empty()) {
        t = toU16(m_contextName);
        t += u": ";
    }
    uint32_t level = kCmLevelUnclassified;
    uint16_t group = 0;
    uint32_t helpId = kNoHelpId;
    WString moduleText;
    WString templ;
    if (m_table) templ = m_table->findMsg(CmMsgKey(record.id), &level, &group, &helpId, &moduleText);
    if (templ.empty()) {
        t += toU16(lookupText(kWordInternalError));
        t += u' ';
        t += cm::decimal(record.id);
        *out = toWString(t);
        return false;
    }
    if (mode.mode != 3 && mode.mode != 4) t += toU16(levelPrefix(level, record.id));
    if (mode.mode == 2 || mode.mode == 3 || mode.mode == 4)
        t += toU16(formatMsg(templ, record, mode.mode == 4));
    *out = toWString(t);
    return true;
}

void CmMessageHandler::appendTimeText(WString& text, const Time& tm)
{
    std::u16string t = u" - ";
    t += cm::decimal(tm.day) + u"." + cm::decimal(tm.month) + u"." + cm::decimal(tm.year) + u" ";
    t += cm::decimal(tm.hour) + u":" + cm::decimal(tm.minute) + u":" + cm::decimal(tm.second) + u",";
    t += cm::decimal(tm.milliseconds);
    text += toWString(t);
}

// ---------------------------------------------------------------------------
// CmStdMessageHandler

CmStdMessageHandler::CmStdMessageHandler(IUnknown* display, const WString& contextName)
    : CmMessageHandler(nullptr, nullptr)
{
    CmIfErrorDisplayMsgOut* out = new CmIfErrorDisplayMsgOut(display);
    m_ownOut.reset(out);
    setMsgOut(out);
    m_ownTable.reset(new CmResourceTable(".\\tvmsgtxx.dll", "", true));
    setMsgTable(m_ownTable.get());
    CmMsgLevel level;
    bool hostFlag = false;
    out->getMsgLevel(&level, &hostFlag, false);
    setMsgLevel(level);
    setContextName(contextName);
}

CmStdMessageHandler::~CmStdMessageHandler()
{
    try {
        m_ownTable.reset();
        m_ownOut.reset();
    } catch (...) {
        TraceRecord rec(4, __LINE__, kSource, "CmStdMessageHandler::~CmStdMessageHandler");
        traceLine(rec, "caught any unhandled exception");
    }
}

// ---------------------------------------------------------------------------
// The process-wide handler

CmMessageHandler* cmGetMessageHandler() { return g_handler.load(); }

CmMessageHandler* cmSetMessageHandler(CmMessageHandler* handler) { return g_handler.exchange(handler); }

bool cmClearMessageHandler(CmMessageHandler* handler)
{
    CmMessageHandler* expected = handler;
    return handler && g_handler.compare_exchange_strong(expected, nullptr);
}
