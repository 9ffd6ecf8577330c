#include "host/host_display.h"

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
    return E_NOINTERFACE;
}

void HostErrorDisplay::show(BSTR text, LONG level)
{
    m_counts[level >= 0 && level < 4 ? level : 2]++;
    if (!m_out) return;
    std::string line = text ? tvp::wideToUtf8(text, tvp::u16len(text)) : std::string();
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
