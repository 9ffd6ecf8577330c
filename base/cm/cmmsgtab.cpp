#include "base/cm/cmmsgtab.h"

#include <algorithm>
#include <cstdlib>

#include "base/cm/cmwstr.h"
#include "co/CoSettings.h"
#include "co/TraceApi.h"
#include "platform/resmodule.h"
#include "platform/text.h"

namespace {

const char* const kSource = "cmrestab";
const uint32_t kModuleTextId = 65534;
const int kStringBufferUnits = 512;

// wcstoul, base 10, on UTF-16: leading white space and a sign are accepted;
// *end is left at `from` when no digit follows.
uint32_t parseUnsigned(const std::u16string& s, std::size_t from, std::size_t* end)
{
    std::size_t i = from;
    while (i < s.size() && (s[i] == u' ' || (s[i] >= u'\t' && s[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    std::size_t digits = i;
    uint64_t v = 0;
    bool overflow = false;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
        v = v * 10 + (s[i] - u'0');
        if (v > 0xFFFFFFFFull) overflow = true, v = 0xFFFFFFFFull;
        ++i;
    }
    if (i == digits) {
        *end = from;
        return 0;
    }
    *end = i;
    if (overflow) return 0xFFFFFFFFu;
    return negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(v)) : static_cast<uint32_t>(v);
}

bool s_skipOverride = false;
bool s_skipOverridden = false;

}  // namespace

// ---------------------------------------------------------------------------

CmMsgTable::~CmMsgTable() = default;

bool CmMsgTable::findEnumText(const WString&, uint32_t, WString*) const { return false; }

uint32_t CmMsgTable::listIds(std::list<uint32_t>&) const { return 0; }

// ---------------------------------------------------------------------------

CmMemoryMsgTable::CmMemoryMsgTable(const CmMsgTableEntry* entries, std::size_t count,
                                   const CmMsgTableEntry* textEntries, std::size_t textCount)
    : m_entries(entries), m_count(entries ? count : 0), m_sorted(true), m_textEntries(textEntries),
      m_textCount(textEntries ? textCount : 0)
{
    for (std::size_t i = 1; i < m_count && m_sorted; ++i) m_sorted = m_entries[i - 1].id <= m_entries[i].id;
}

const CmMsgTableEntry* CmMemoryMsgTable::entryOf(uint32_t id) const
{
    if (m_sorted) {
        const CmMsgTableEntry* const end = m_entries + m_count;
        const CmMsgTableEntry* e = std::lower_bound(
            m_entries, end, id, [](const CmMsgTableEntry& entry, uint32_t key) { return entry.id < key; });
        return e != end && e->id == id ? e : nullptr;
    }
    for (std::size_t i = 0; i < m_count; ++i)
        if (m_entries[i].id == id) return &m_entries[i];
    return nullptr;
}

WString CmMemoryMsgTable::findMsg(const CmMsgKey& key, uint32_t* level, uint16_t* group,
                                  uint32_t* helpId, WString* moduleText) const
{
    if (helpId) *helpId = 0xFFFFFFFFu;
    if (moduleText) *moduleText = WString();
    if (const CmMsgTableEntry* e = entryOf(key.id)) {
        if (level) *level = e->level > kCmLevelUnclassified ? kCmLevelUnclassified : e->level;
        if (group) *group = e->group;
        return e->text ? WString(e->text) : WString();
    }
    if (level) *level = kCmLevelUnclassified;
    if (group) *group = 0;
    return WString();
}

WString CmMemoryMsgTable::findText(uint32_t textId) const
{
    for (std::size_t i = 0; i < m_textCount; ++i)
        if (m_textEntries[i].id == textId && m_textEntries[i].text) return WString(m_textEntries[i].text);
    return WString();
}

uint32_t CmMemoryMsgTable::listIds(std::list<uint32_t>& ids) const
{
    for (std::size_t i = 0; i < m_count; ++i) ids.push_back(m_entries[i].id);
    return static_cast<uint32_t>(m_count);
}

// ---------------------------------------------------------------------------

CmResourceTable::Candidates CmResourceTable::candidates(const std::string& name,
                                                        const std::string& secondName,
                                                        bool languageVariants,
                                                        const std::string& language)
{
    Candidates c{name, name, name, secondName};
    if (!languageVariants) return c;
    std::size_t p = name.find(".dll");
    if (p == std::string::npos || p == 0) return c;
    c.b[p - 1] = 'b';
    c.c[p - 1] = 'a';
    if (name[p - 1] == 'x' && !language.empty()) {
        c.a[p - 1] = language[0];
        std::size_t q = c.second.find(".dll");
        if (!c.second.empty() && q != std::string::npos && q > 0 && c.second[q - 1] == 'x')
            c.second[q - 1] = language[0];
    }
    return c;
}

CmResourceTable::CmResourceTable(const char* name, const char* secondName, bool languageVariants)
{
    std::u16string dir;
    std::string directory;
    if (CCoSettings::getString(1, "SOFTWARE\\Korvent\\VRX\\4.1\\ProductDir", &dir) == 0)
        directory = tvp::wideToUtf8(dir);
    load(name, secondName, languageVariants, directory);
}

CmResourceTable::CmResourceTable(const char* name, const char* secondName, bool languageVariants,
                                 const std::string& directory)
{
    load(name, secondName, languageVariants, directory);
}

CmResourceTable::~CmResourceTable() = default;

void CmResourceTable::load(const char* name, const char* secondName, bool languageVariants,
                           const std::string& directory)
{
    const std::string n = name ? name : "";
    const std::string m = secondName ? secondName : "";
    std::string language;
    if (languageVariants) {
        std::size_t p = n.find(".dll");
        if (p != std::string::npos && p > 0 && n[p - 1] == 'x') language = getSelectedLanguageName().c_str();
    }
    Candidates c = candidates(n, m, languageVariants, language);

    const char* method = "CmResourceTable::CmResourceTable";
    m_module = tvp::ResModule::open(c.a, directory);
    if (m_module) {
        if (!c.second.empty()) {
            m_second = tvp::ResModule::open(c.second, directory);
            if (!m_second) {
                TraceRecord rec(4, __LINE__, kSource, method);
                traceLineReason(rec, tvp::ResModule::lastOpenError().c_str(), "Failed to call LoadLibrary %s",
                                c.second.c_str());
            }
        }
        return;
    }
    m_module = tvp::ResModule::open(c.b, directory);
    if (!m_module) m_module = tvp::ResModule::open(c.c, directory);
    if (!m_module) {
        TraceRecord rec(4, __LINE__, kSource, method);
        traceLineReason(rec, tvp::ResModule::lastOpenError().c_str(), "Failed to call LoadLibrary %s",
                        c.a.c_str());
    }
}

std::string CmResourceTable::loadedPath() const { return m_module ? m_module->path() : std::string(); }

WString CmResourceTable::loadString(uint32_t id) const
{
    if (!m_module) return WString();
    char16_t buf[kStringBufferUnits];
    int n = m_module->loadString(id, buf, kStringBufferUnits);
    return n > 0 ? cm::toWString(std::u16string(buf, static_cast<std::size_t>(n))) : WString();
}

WString CmResourceTable::findMsg(const CmMsgKey& key, uint32_t* level, uint16_t* group,
                                 uint32_t* helpId, WString* moduleText) const
{
    if (helpId) *helpId = 0xFFFFFFFFu;
    if (!m_module) return WString();
    WString module = loadString(kModuleTextId);
    if (moduleText && !module.empty()) *moduleText = module;

    std::u16string s = cm::toU16(loadString(key.id));
    if (s.empty()) return WString();
    std::size_t pos = 0, end = 0;
    uint32_t lv = parseUnsigned(s, pos, &end);
    pos = end;
    uint32_t grp = parseUnsigned(s, pos, &end);
    pos = end;
    uint32_t help = parseUnsigned(s, pos, &end);
    pos = end;
    // One blank stands in front of the template. Only a blank is skipped: a
    // string without numbers keeps its first character.
    if (pos < s.size() && s[pos] == u' ') ++pos;
    if (level) *level = lv;
    if (group) *group = static_cast<uint16_t>(grp);
    if (helpId) *helpId = help;
    return cm::toWString(s.substr(pos));
}

WString CmResourceTable::findText(uint32_t textId) const
{
    if (!m_second) return WString();
    char16_t buf[kStringBufferUnits];
    int n = m_second->loadString(textId, buf, kStringBufferUnits);
    return n > 0 ? cm::toWString(std::u16string(buf, static_cast<std::size_t>(n))) : WString();
}

// ---------------------------------------------------------------------------

bool CmBErrResTable::skipModuleInfo()
{
    return s_skipOverridden ? s_skipOverride : isSkipModuleInfo();
}

void CmBErrResTable::setSkipModuleInfo(bool skip)
{
    s_skipOverride = skip;
    s_skipOverridden = true;
}

WString CmBErrResTable::findKnownMsg(const CmMsgKey& key, uint32_t* level, uint16_t* group,
                                     uint32_t* helpId, WString* moduleText) const
{
    std::u16string prefix;
    if (!skipModuleInfo()) {
        prefix = cm::toU16(loadString(((key.id >> 24) & 0xFF) + 10000));
        prefix += cm::toU16(loadString(((key.id >> 16) & 0xFF) + 1000));
    }
    CmMsgKey low(key.id & 0xFFFF, key.position, key.reserved);
    std::u16string t = cm::toU16(CmResourceTable::findMsg(low, level, group, helpId, moduleText));
    if (t.empty()) return WString();
    return cm::toWString(prefix + t);
}

WString CmBErrResTable::findMsg(const CmMsgKey& key, uint32_t* level, uint16_t* group,
                                uint32_t* helpId, WString* moduleText) const
{
    if (!isLoaded()) {
        if (helpId) *helpId = 0xFFFFFFFFu;
        return WString();
    }
    WString t = findKnownMsg(key, level, group, helpId, moduleText);
    if (!t.empty()) return t;
    std::u16string prefix;
    if (!skipModuleInfo()) {
        prefix = cm::toU16(loadString(((key.id >> 24) & 0xFF) + 10000));
        prefix += cm::toU16(loadString(((key.id >> 16) & 0xFF) + 1000));
    }
    TraceRecord rec(4, __LINE__, kSource, "CmBErrResTable::findMsg");
    traceLine(rec, "message-id %d not found", static_cast<int>(key.id & 0xFFFF));
    return cm::toWString(prefix + u"Unknown ErrorCode");
}
