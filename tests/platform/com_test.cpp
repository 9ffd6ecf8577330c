// COM basics: BSTR layout, the smart pointer's reference counting, time.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "platform/com.h"

namespace {

TEST(Bstr, LengthPrefixAndTerminator)
{
    BSTR b = SysAllocString(u"abc");
    ASSERT_NE(b, nullptr);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const char*>(b) - 4, 4);
    EXPECT_EQ(prefix, 6u);  // bytes, not characters
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(SysStringByteLen(b), 6u);
    EXPECT_EQ(b[3], 0);
    SysFreeString(b);

    // Embedded NULs are kept; a null source gives zeroed characters.
    const char16_t withNul[] = {u'x', 0, u'y'};
    b = SysAllocStringLen(withNul, 3);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(b[2], u'y');
    SysFreeString(b);
    b = SysAllocStringLen(nullptr, 2);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[2], 0);
    SysFreeString(b);

    // An odd byte count is kept and still followed by a NUL unit.
    b = SysAllocStringByteLen("abc", 3);
    EXPECT_EQ(SysStringByteLen(b), 3u);
    EXPECT_EQ(SysStringLen(b), 1u);
    EXPECT_EQ(std::memcmp(b, "abc\0\0", 5), 0);
    SysFreeString(b);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Bstr, ReAllocFromItsOwnText)
{
    BSTR b = SysAllocString(u"hello world");
    ASSERT_EQ(SysReAllocString(&b, b + 6), TRUE);
    EXPECT_EQ(std::u16string(b, SysStringLen(b)), u"world");
    ASSERT_EQ(SysReAllocStringLen(&b, b, 3), TRUE);
    EXPECT_EQ(std::u16string(b, SysStringLen(b)), u"wor");
    SysFreeString(b);
}

struct Counted : IUnknown {
    int refs = 1;
    bool deleted = false;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown) {
            *ppv = this;
            ++refs;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (--refs == 0) deleted = true;
        return ULONG(refs);
    }
};

TEST(ComPtrTest, CountsReferences)
{
    Counted obj;  // starts with the creator's reference
    {
        ComPtr<IUnknown> a(&obj);
        EXPECT_EQ(obj.refs, 2);
        ComPtr<IUnknown> b = a;
        EXPECT_EQ(obj.refs, 3);
        ComPtr<IUnknown> c = std::move(b);
        EXPECT_EQ(obj.refs, 3);
        EXPECT_FALSE(b);
        c = nullptr;
        EXPECT_EQ(obj.refs, 2);
        // Filling through operator& drops what was held before.
        ComPtr<IUnknown> d(&obj);
        EXPECT_EQ(obj.refs, 3);
        IUnknown** slot = &d;
        EXPECT_EQ(obj.refs, 2);
        EXPECT_EQ(*slot, nullptr);
        ComPtr<IUnknown> q;
        EXPECT_EQ(a.QueryInterface(q.put()), S_OK);
        EXPECT_EQ(obj.refs, 3);
        EXPECT_TRUE(a.IsEqualObject(q));
        IUnknown* raw = q.Detach();
        EXPECT_EQ(obj.refs, 3);
        q.Attach(raw);
        EXPECT_EQ(obj.refs, 3);
    }
    EXPECT_EQ(obj.refs, 1);
    obj.Release();
    EXPECT_TRUE(obj.deleted);
}

TEST(ComTime, FileTimeNowIsUtcSince1601)
{
    FILETIME ft;
    ASSERT_EQ(CoFileTimeNow(&ft), S_OK);
    ULONGLONG ticks = tvp::fileTimeToTicks(ft);
    long long unixSec = static_cast<long long>((ticks - tvp::kFileTimeUnixEpoch) / 10000000ULL);
    EXPECT_LE(std::llabs(unixSec - static_cast<long long>(std::time(nullptr))), 2);
    EXPECT_EQ(CoFileTimeNow(nullptr), E_INVALIDARG);
}

}  // namespace

namespace {

TEST(LiveCounters, TaskMemoryAndBstrsComeAndGo)
{
    long mem = tvp::liveTaskMemBlocks(), bstrs = tvp::liveBstrs();
    void* p = CoTaskMemAlloc(8);
    p = CoTaskMemRealloc(p, 64);  // a resize is still one block
    BSTR b = SysAllocString(u"x");
    EXPECT_EQ(mem + 1, tvp::liveTaskMemBlocks());
    EXPECT_EQ(bstrs + 1, tvp::liveBstrs());
    CoTaskMemRealloc(p, 0);  // frees
    SysFreeString(b);
    CoTaskMemFree(nullptr);
    SysFreeString(nullptr);
    EXPECT_EQ(mem, tvp::liveTaskMemBlocks());
    EXPECT_EQ(bstrs, tvp::liveBstrs());
}

TEST(HresultText, KnownNamesElseTheNumber)
{
    EXPECT_STREQ("S_OK", hresultText(S_OK));
    EXPECT_STREQ("E_NOINTERFACE", hresultText(E_NOINTERFACE));
    EXPECT_STREQ("HRESULT 0x80041234", hresultText(HRESULT(0x80041234u)));
}

}  // namespace
