// Memory lock bytes and streams on 1536-byte blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/fs/FsLockBytes.h"

namespace {

ULARGE_INTEGER ul(uint64_t v)
{
    ULARGE_INTEGER u;
    u.QuadPart = v;
    return u;
}
LARGE_INTEGER li(int64_t v)
{
    LARGE_INTEGER l;
    l.QuadPart = v;
    return l;
}

template <class T>
ComPtr<T> make()
{
    ComPtr<T> p;
    HRESULT hr = std::is_same<T, ILockBytes>::value
                     ? FsLockBytes::create(IID_ILockBytes, reinterpret_cast<void**>(&p))
                     : FsStream::create(IID_IStream, reinterpret_cast<void**>(&p));
    EXPECT_EQ(S_OK, hr);
    return p;
}

}  // namespace

TEST(FsLockBytes, BlocksGrowAndShrink)
{
    ComPtr<ILockBytes> lb = make<ILockBytes>();
    auto* obj = static_cast<FsLockBytes*>(lb.get());
    ULONG n = 0;
    EXPECT_EQ(S_OK, lb->WriteAt(ul(3000), "z", 1, &n));
    EXPECT_EQ(1u, n);
    EXPECT_EQ(2u, obj->blockCount());
    STATSTG st{};
    EXPECT_EQ(S_OK, lb->Stat(&st, STATFLAG_NONAME));
    EXPECT_EQ(3001u, st.cbSize.QuadPart);
    EXPECT_EQ(nullptr, st.pwcsName);
    EXPECT_EQ(STGTY_LOCKBYTES, st.type);

    EXPECT_EQ(S_OK, lb->SetSize(ul(0)));
    EXPECT_EQ(0u, obj->blockCount());
    EXPECT_EQ(S_OK, lb->SetSize(ul(1)));
    EXPECT_EQ(1u, obj->blockCount());
    EXPECT_EQ(STG_E_MEDIUMFULL, lb->SetSize(ul(1ull << 32)));

    // Bytes beyond a shrunk size read as zero when the size grows again.
    EXPECT_EQ(S_OK, lb->WriteAt(ul(0), "abcdef", 6, &n));
    EXPECT_EQ(S_OK, lb->SetSize(ul(2)));
    EXPECT_EQ(S_OK, lb->SetSize(ul(6)));
    char buf[8] = {};
    EXPECT_EQ(S_OK, lb->ReadAt(ul(0), buf, 6, &n));
    EXPECT_EQ(0, std::memcmp(buf, "ab\0\0\0\0", 6));

    EXPECT_EQ(S_OK, lb->Stat(&st, STATFLAG_DEFAULT));
    ASSERT_NE(nullptr, st.pwcsName);
    EXPECT_EQ(std::u16string(u"FsILockedBytesImpl_Root"), std::u16string(st.pwcsName));
    CoTaskMemFree(st.pwcsName);
}

TEST(FsLockBytes, ReadsStopAtTheAllocatedBlocks)
{
    ComPtr<ILockBytes> lb = make<ILockBytes>();
    std::string data(5000, 'q');
    ULONG n = 0;
    lb->WriteAt(ul(0), data.data(), ULONG(data.size()), &n);
    lb->SetSize(ul(100));  // one block is left, zero behind the size
    char buf[200];
    std::memset(buf, '#', sizeof(buf));
    EXPECT_EQ(S_OK, lb->ReadAt(ul(50), buf, 200, &n));
    EXPECT_EQ(200u, n);
    EXPECT_EQ(std::string(50, 'q') + std::string(150, '\0'), std::string(buf, 200));
    // A range that ends past the allocated blocks fails and reads nothing.
    n = 7;
    EXPECT_EQ(E_FAIL, lb->ReadAt(ul(1500), buf, 37, &n));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(E_FAIL, lb->ReadAt(ul(5000), buf, 10, &n));
    EXPECT_EQ(S_OK, lb->ReadAt(ul(1500), buf, 36, &n));
    EXPECT_EQ(36u, n);
    EXPECT_EQ(STG_E_READFAULT, lb->ReadAt(ul(0xFFFFFFF0u), buf, 100, &n));
    EXPECT_EQ(STG_E_INVALIDPOINTER, lb->ReadAt(ul(0), nullptr, 1, &n));
    EXPECT_EQ(STG_E_WRITEFAULT, lb->WriteAt(ul(0xFFFFFFF0u), buf, 100, &n));
    // An offset whose sum with the count wraps around 64 bits is no smaller.
    EXPECT_EQ(STG_E_READFAULT, lb->ReadAt(ul(~0ull), buf, 2, &n));
    EXPECT_EQ(STG_E_WRITEFAULT, lb->WriteAt(ul(~0ull), buf, 2, &n));
    EXPECT_EQ(STG_E_WRITEFAULT, lb->WriteAt(ul(1ull << 32), buf, 0, &n));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, lb->LockRegion(ul(0), ul(1), 0));
}

TEST(FsStream, SeekReadWrite)
{
    ComPtr<IStream> s = make<IStream>();
    ULARGE_INTEGER pos;
    EXPECT_EQ(STG_E_INVALIDFUNCTION, s->Seek(li(-1), STREAM_SEEK_SET, &pos));
    EXPECT_EQ(S_OK, s->Seek(li(10), STREAM_SEEK_END, &pos));
    EXPECT_EQ(10u, pos.QuadPart);
    char buf[4];
    ULONG n = 99;
    EXPECT_EQ(S_OK, s->Read(buf, 4, &n));
    EXPECT_EQ(0u, n);

    // A write beyond the end fills the gap with zeros.
    EXPECT_EQ(S_OK, s->Write("xy", 2, &n));
    STATSTG st{};
    s->Stat(&st, STATFLAG_NONAME);
    EXPECT_EQ(12u, st.cbSize.QuadPart);
    EXPECT_EQ(STGTY_STREAM, st.type);
    s->Seek(li(8), STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(S_OK, s->Read(buf, 4, &n));
    EXPECT_EQ(4u, n);
    EXPECT_EQ(0, std::memcmp(buf, "\0\0xy", 4));

    EXPECT_EQ(STG_E_INVALIDFUNCTION, s->Seek(li(int64_t(1) << 32), STREAM_SEEK_SET, &pos));
    EXPECT_EQ(S_OK, s->Seek(li(0xFFFFFFFFll), STREAM_SEEK_SET, &pos));
    EXPECT_EQ(STG_E_MEDIUMFULL, s->Write("a", 1, &n));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, s->Seek(li(1), STREAM_SEEK_CUR, &pos));

    // SetSize keeps the position.
    s->Seek(li(5), STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(S_OK, s->SetSize(ul(2)));
    s->Seek(li(0), STREAM_SEEK_CUR, &pos);
    EXPECT_EQ(5u, pos.QuadPart);

    IStream* clone = reinterpret_cast<IStream*>(1);
    EXPECT_EQ(E_NOTIMPL, s->Clone(&clone));
    EXPECT_EQ(nullptr, clone);
}

TEST(FsStream, CopyToEndsTheTargetWhereTheCopyEnds)
{
    ComPtr<IStream> src = make<IStream>();
    ComPtr<IStream> dst = make<IStream>();
    std::string a(4000, 'a');
    std::string b(6000, 'b');
    ULONG n = 0;
    src->Write(a.data(), ULONG(a.size()), &n);
    dst->Write(b.data(), ULONG(b.size()), &n);
    src->Seek(li(1000), STREAM_SEEK_SET, nullptr);
    dst->Seek(li(100), STREAM_SEEK_SET, nullptr);
    ULARGE_INTEGER rd, wr;
    EXPECT_EQ(S_OK, src->CopyTo(dst, ul(2000), &rd, &wr));
    EXPECT_EQ(2000u, rd.QuadPart);
    EXPECT_EQ(2000u, wr.QuadPart);
    STATSTG st{};
    dst->Stat(&st, STATFLAG_NONAME);
    EXPECT_EQ(2100u, st.cbSize.QuadPart);
    std::string out(2100, '\0');
    dst->Seek(li(0), STREAM_SEEK_SET, nullptr);
    dst->Read(&out[0], 2100, &n);
    EXPECT_EQ(std::string(100, 'b') + std::string(2000, 'a'), out);

    // "All" copies up to the end and grows the target.
    src->Seek(li(0), STREAM_SEEK_SET, nullptr);
    dst->Seek(li(5000), STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(S_OK, src->CopyTo(dst, ul(~0ull), &rd, &wr));
    EXPECT_EQ(4000u, wr.QuadPart);
    dst->Stat(&st, STATFLAG_NONAME);
    EXPECT_EQ(9000u, st.cbSize.QuadPart);
    EXPECT_EQ(S_OK, src->CopyTo(dst, ul(10), &rd, &wr));  // at the end: nothing
    EXPECT_EQ(0u, rd.QuadPart);
    EXPECT_EQ(STG_E_INVALIDPOINTER, src->CopyTo(nullptr, ul(1), &rd, &wr));
}

TEST(FsStream, ConcurrentWritersKeepEveryByte)
{
    ComPtr<IStream> s = make<IStream>();
    const int kThreads = 4, kWrites = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&s, t] {
            char rec[8];
            std::memset(rec, 'A' + t, sizeof(rec));
            for (int i = 0; i < kWrites; ++i) {
                ULONG n = 0;
                s->Write(rec, sizeof(rec), &n);
            }
        });
    for (auto& th : threads) th.join();
    STATSTG st{};
    s->Stat(&st, STATFLAG_NONAME);
    EXPECT_EQ(uint64_t(kThreads) * kWrites * 8, st.cbSize.QuadPart);
}

TEST(FsStream, ObjectsAreCounted)
{
    LONG before = fsMemoryObjectCount();
    {
        ComPtr<IStream> s = make<IStream>();
        ComPtr<ILockBytes> l = make<ILockBytes>();
        EXPECT_EQ(before + 2, fsMemoryObjectCount());
        ComPtr<IUnknown> u;
        EXPECT_EQ(S_OK, s->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u)));
        ComPtr<ILockBytes> wrong;
        EXPECT_EQ(E_NOINTERFACE, s->QueryInterface(IID_ILockBytes, reinterpret_cast<void**>(&wrong)));
    }
    EXPECT_EQ(before, fsMemoryObjectCount());

    // Each object keeps the module loaded while it lives.
    CComModule module;
    ASSERT_EQ(S_OK, module.Init(nullptr, 0, reinterpret_cast<const void*>(&fsMemoryObjectCount)));
    {
        ComPtr<IStream> s = make<IStream>();
        ComPtr<ILockBytes> l = make<ILockBytes>();
        EXPECT_EQ(2, module.GetLockCount());
        EXPECT_EQ(S_FALSE, module.DllCanUnloadNow());
    }
    EXPECT_EQ(0, module.GetLockCount());
    EXPECT_EQ(S_OK, module.DllCanUnloadNow());
    module.Term();
}
