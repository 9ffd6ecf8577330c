// A memory stream for the tests of stream users, which can be told to fail
// its seeks or reads (or to throw from a read). Not reference counted: it
// lives on the test's stack.
#pragma once
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/storage.h"

namespace cotest {

class TestStream : public IStream {
public:
    using Bytes = std::vector<uint8_t>;
    explicit TestStream(Bytes data) : m_data(std::move(data)) {}
    bool failSeek = false, failRead = false, throwRead = false;
    Bytes m_data;
    size_t m_pos = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (throwRead) throw 1;
        if (failRead) return STG_E_READFAULT;
        size_t n = m_pos < m_data.size() ? std::min<size_t>(cb, m_data.size() - m_pos) : 0;
        std::copy(m_data.begin() + m_pos, m_data.begin() + m_pos + n, static_cast<uint8_t*>(pv));
        m_pos += n;
        if (pcbRead) *pcbRead = ULONG(n);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (m_pos + cb > m_data.size()) m_data.resize(m_pos + cb);
        std::copy(static_cast<const uint8_t*>(pv), static_cast<const uint8_t*>(pv) + cb, m_data.begin() + m_pos);
        m_pos += cb;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override
    {
        if (failSeek || origin != STREAM_SEEK_SET || move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
        m_pos = size_t(move.QuadPart);
        if (newPos) newPos->QuadPart = m_pos;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override
    {
        m_data.resize(size_t(size.QuadPart));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

}  // namespace cotest
