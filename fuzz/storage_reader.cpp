// Feeds damaged compound files to the storage layer through a memory
// lock-bytes object, walks whatever opens, and writes it back.
//
// Input that starts with the compound-file signature is taken as it is;
// any other input patches a small valid file (three bytes per patch: a
// 16-bit offset and a value; a final odd byte truncates the file), so that
// short random inputs reach the parser behind the header checks.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/storage.h"

namespace {

constexpr DWORD kRO = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

ILockBytes* lockBytesOf(const uint8_t* data, size_t size)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!h) return nullptr;
    if (size) std::memcpy(GlobalLock(h), data, size);
    GlobalUnlock(h);
    ILockBytes* lb = nullptr;
    if (FAILED(CreateILockBytesOnHGlobal(h, TRUE, &lb))) {
        GlobalFree(h);
        return nullptr;
    }
    return lb;
}

std::vector<uint8_t> bytesOf(ILockBytes* lb)
{
    HGLOBAL h = nullptr;
    std::vector<uint8_t> out;
    if (SUCCEEDED(GetHGlobalFromILockBytes(lb, &h))) {
        auto* p = static_cast<uint8_t*>(GlobalLock(h));
        out.assign(p, p + GlobalSize(h));
        GlobalUnlock(h);
    }
    return out;
}

const std::vector<uint8_t>& baseFile()
{
    static const std::vector<uint8_t> base = [] {
        ILockBytes* lb = lockBytesOf(nullptr, 0);
        IStorage* root = nullptr;
        StgCreateDocfileOnILockBytes(lb, kRW | STGM_CREATE, 0, &root);
        auto put = [](IStorage* stg, const char16_t* name, size_t n) {
            IStream* s = nullptr;
            if (SUCCEEDED(stg->CreateStream(name, kRW, 0, 0, &s))) {
                std::vector<uint8_t> b(n);
                for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 31 + 7);
                ULONG w;
                s->Write(b.data(), ULONG(n), &w);
                s->Release();
            }
        };
        put(root, u"small", 100);
        put(root, u"big", 5000);
        put(root, u"zero", 0);
        IStorage* sub = nullptr;
        if (SUCCEEDED(root->CreateStorage(u"sub", kRW, 0, 0, &sub))) {
            CLSID id = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
            sub->SetClass(id);
            put(sub, u"inner", 700);
            IStorage* empty = nullptr;
            if (SUCCEEDED(sub->CreateStorage(u"empty", kRW, 0, 0, &empty))) empty->Release();
            sub->Release();
        }
        root->Release();
        auto bytes = bytesOf(lb);
        lb->Release();
        return bytes;
    }();
    return base;
}

void walk(IStorage* stg, int depth)
{
    STATSTG self;
    if (SUCCEEDED(stg->Stat(&self, STATFLAG_DEFAULT))) CoTaskMemFree(self.pwcsName);
    IEnumSTATSTG* en = nullptr;
    if (FAILED(stg->EnumElements(0, nullptr, 0, &en))) return;
    STATSTG st;
    ULONG got = 0;
    while (en->Next(1, &st, &got) == S_OK && got == 1) {
        if (st.type == STGTY_STORAGE && depth < 64) {
            IStorage* sub = nullptr;
            if (SUCCEEDED(stg->OpenStorage(st.pwcsName, nullptr, kRO, nullptr, 0, &sub))) {
                walk(sub, depth + 1);
                sub->Release();
            }
        } else if (st.type == STGTY_STREAM) {
            IStream* s = nullptr;
            if (SUCCEEDED(stg->OpenStream(st.pwcsName, nullptr, kRO, 0, &s))) {
                uint8_t buf[4096];
                ULONG n = 0;
                while (s->Read(buf, sizeof buf, &n) == S_OK && n) {
                }
                s->Release();
            }
        }
        CoTaskMemFree(st.pwcsName);
    }
    en->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const uint8_t kSig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::vector<uint8_t> file;
    if (size >= 8 && std::memcmp(data, kSig, 8) == 0) {
        file.assign(data, data + size);
    } else {
        file = baseFile();
        size_t i = 0;
        for (; i + 3 <= size; i += 3) {
            size_t off = (size_t(data[i]) | (size_t(data[i + 1]) << 8)) % file.size();
            file[off] = data[i + 2];
        }
        if (i < size) file.resize(file.size() * data[i] / 256);
    }

    ILockBytes* lb = lockBytesOf(file.data(), file.size());
    if (!lb) return 0;
    StgIsStorageILockBytes(lb);
    IStorage* stg = nullptr;
    if (SUCCEEDED(StgOpenStorageOnILockBytes(lb, nullptr, kRO, nullptr, 0, &stg))) {
        walk(stg, 0);
        stg->Release();
    }
    // What opens must also survive a change and a rewrite.
    if (SUCCEEDED(StgOpenStorageOnILockBytes(lb, nullptr, kRW, nullptr, 0, &stg))) {
        IStream* s = nullptr;
        if (SUCCEEDED(stg->CreateStream(u"added", kRW | STGM_CREATE, 0, 0, &s))) {
            ULONG w;
            s->Write("x", 1, &w);
            s->Release();
        }
        stg->Commit(STGC_DEFAULT);
        stg->Release();
        IStorage* again = nullptr;
        if (SUCCEEDED(StgOpenStorageOnILockBytes(lb, nullptr, kRO, nullptr, 0, &again))) {
            walk(again, 0);
            again->Release();
        }
    }
    lb->Release();
    return 0;
}
