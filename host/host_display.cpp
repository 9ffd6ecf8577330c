#include "host/host_display.h"

#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"

HRESULT HostErrorDisplay::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IErrorDisplayEx) {
        *ppv = static_cast<IErrorDisplayEx*>(this);
        AddRef();
        return S_OK;
    }
    if (riid == IID_IErrorDisplayCount) {
        *ppv = static_cast<IErrorDisplayCount*>(&m_counter);
        AddRef();
        return S_OK;
    }
    if (riid == IID_IErrorDisplayCountMore) {
        *ppv = static_cast<IErrorDisplayCountMore*>(&m_moreCounter);
        AddRef();
        return S_OK;
    }
    if (riid == IID_IErrorDisplayCountMany) {
        *ppv = static_cast<IErrorDisplayCountMany*>(&m_manyCounter);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

// The reader's code is the one argument of its messages, which end the
// line: "... Fehler 1300 ACX Fatal Error 2".
void HostErrorDisplay::noteAcx(const std::string& line)
{
    static const struct {
        uint32_t message;
        const char* text;
    } kReader[] = {{1300, " 1300 ACX Fatal Error "}, {1301, " 1301 ACX Error "}, {1302, " 1302 ACX Warning "}};
    for (const auto& r : kReader) {
        const size_t at = line.rfind(r.text);
        if (at == std::string::npos) continue;
        const char* digits = line.c_str() + at + std::strlen(r.text);
        char* end = nullptr;
        const long code = std::strtol(digits, &end, 10);
        if (end == digits || *end || code < INT32_MIN || code > INT32_MAX) return;
        const AcxNote note{r.message, int32_t(code)};
        for (const AcxNote& n : m_acxNotes)
            if (n.message == note.message && n.code == note.code) return;
        // A reader has some twenty codes: a file cannot make the list long.
        if (m_acxNotes.size() < 64) m_acxNotes.push_back(note);
        return;
    }
}

void HostErrorDisplay::show(BSTR text, LONG level)
{
    const int l = slotOf(level);
    m_counts[l]++;
    m_received++;
    m_lastShown = printsMore();
    // UTF-8, with the paths in it (the source's, a file's of message 100)
    // as the bytes they are.
    std::string line = text ? tvp::wideToPath(text, tvp::u16len(text)) : std::string();
    noteAcx(line);
    if (!m_lastShown) return;
    m_shown[l]++;
    m_shownAll++;
    if (!m_sourceRead.empty() && line.compare(0, m_sourceRead.size(), m_sourceRead) == 0)
        line.replace(0, m_sourceRead.size(), m_sourceShown);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fflush(m_out);
}

HRESULT HostErrorDisplay::ShowMessage(BSTR text, LONG level, LONG, BSTR)
{
    show(text, level);
    return S_OK;
}

HRESULT HostErrorDisplay::ShowMessageExt(CmErrorDisplayRecord record)
{
    show(record.text, record.level);
    return S_OK;
}

HRESULT HostErrorDisplay::countMessage(LONG level, LONG* counted)
{
    if (!counted) return E_POINTER;
    *counted = printsMore() ? 0 : 1;
    if (*counted) {
        m_counts[slotOf(level)]++;
        m_received++;
        m_lastShown = false;
    }
    return S_OK;
}

HRESULT HostErrorDisplay::countMore(LONG level, ULONG count)
{
    const int l = slotOf(level);
    m_counts[l] += count;
    if (m_lastShown) m_shown[l] += count;
    return S_OK;
}

HRESULT HostErrorDisplay::showsNoMore(LONG, LONG* none)
{
    if (!none) return E_POINTER;
    // Only the limit is for good: the output may be set again.
    *none = m_limit && m_shownAll >= m_limit ? 1 : 0;
    return S_OK;
}

HRESULT HostErrorDisplay::countMessages(LONG level, ULONG messages)
{
    if (messages == 0) return S_OK;
    m_counts[slotOf(level)] += messages;
    m_received += messages;
    m_lastShown = false;
    return S_OK;
}

HRESULT HostErrorDisplay::GetExtendedOutput(LONG* extended)
{
    if (!extended) return E_POINTER;
    *extended = 0;
    return S_OK;
}

HRESULT HostErrorDisplay::GetMsgLevel(LONG* mode, LONG* flag)
{
    if (!mode || !flag) return E_POINTER;
    *mode = kOutputMode;
    *flag = 0;
    return S_OK;
}

void HostErrorDisplay::printHeldBack() const
{
    if (!m_out) return;
    static const char* const kWords[4][2] = {
        {"info", "infos"}, {"warning", "warnings"}, {"error", "errors"}, {"safety message", "safety messages"}};
    const uint64_t total = m_received - m_shownAll;
    if (!total) return;
    std::string parts;
    for (int l = 3; l >= 0; --l) {
        const uint32_t n = m_counts[l] - m_shown[l];
        if (!n) continue;
        if (!parts.empty()) parts += ", ";
        parts += std::to_string(n) + " " + kWords[l][n == 1 ? 0 : 1];
    }
    std::fprintf(m_out, "\xE2\x80\xA6 and %" PRIu64 " more message%s (%s)\n", total, total == 1 ? "" : "s", parts.c_str());
    std::fflush(m_out);
}
