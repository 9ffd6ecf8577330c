// Feeds damaged compound files to the storage layer through a memory
// lock-bytes object, walks whatever opens, and writes it back: what opened
// must read back the same after the rewrite (a file is read whole or
// refused, never in part).
//
// Input that starts with the compound-file signature is taken as it is;
// any other input patches a small valid file (three bytes per patch: a
// 16-bit offset and a value; a final odd byte truncates the file), so that
// short random inputs reach the parser behind the header checks.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
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

const char16_t kAdded[] = u"zz-fuzz-added";

// Appends every element below stg as "path type size checksum" lines
// (the element kAdded at the top left out).
void walk(IStorage* stg, int depth, const std::string& prefix, std::string& sig)
{
    STATSTG self;
    if (SUCCEEDED(stg->Stat(&self, STATFLAG_DEFAULT))) CoTaskMemFree(self.pwcsName);
    IEnumSTATSTG* en = nullptr;
    if (FAILED(stg->EnumElements(0, nullptr, 0, &en))) return;
    STATSTG st;
    ULONG got = 0;
    while (en->Next(1, &st, &got) == S_OK && got == 1) {
        std::u16string name(st.pwcsName);
        std::string line = prefix;
        for (char16_t c : name) line += std::to_string(unsigned(c)) + ".";
        if (depth == 0 && name == kAdded) {
            CoTaskMemFree(st.pwcsName);
            continue;
        }
        if (st.type == STGTY_STORAGE && depth < 64) {
            sig += line + " storage\n";
            IStorage* sub = nullptr;
            if (SUCCEEDED(stg->OpenStorage(st.pwcsName, nullptr, kRO, nullptr, 0, &sub))) {
                walk(sub, depth + 1, line + "/", sig);
                sub->Release();
            }
        } else if (st.type == STGTY_STREAM) {
            IStream* s = nullptr;
            uint32_t sum = 0;
            uint64_t size = 0;
            if (SUCCEEDED(stg->OpenStream(st.pwcsName, nullptr, kRO, 0, &s))) {
                uint8_t buf[4096];
                ULONG n = 0;
                while (s->Read(buf, sizeof buf, &n) == S_OK && n) {
                    for (ULONG i = 0; i < n; ++i) sum = sum * 31 + buf[i];
                    size += n;
                }
                s->Release();
            }
            sig += line + " stream " + std::to_string(size) + " " + std::to_string(sum) + "\n";
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
    std::string before;
    bool opened = false;
    if (SUCCEEDED(StgOpenStorageOnILockBytes(lb, nullptr, kRO, nullptr, 0, &stg))) {
        opened = true;
        walk(stg, 0, "", before);
        stg->Release();
    }
    // What opens must also survive a change and a rewrite, and read back
    // the same.
    if (SUCCEEDED(StgOpenStorageOnILockBytes(lb, nullptr, kRW, nullptr, 0, &stg))) {
        IStream* s = nullptr;
        bool added = false;
        if (SUCCEEDED(stg->CreateStream(kAdded, kRW | STGM_CREATE, 0, 0, &s))) {
            ULONG w;
            added = SUCCEEDED(s->Write("x", 1, &w));
            s->Release();
        }
        const bool committed = SUCCEEDED(stg->Commit(STGC_DEFAULT));
        stg->Release();
        IStorage* again = nullptr;
        if (SUCCEEDED(StgOpenStorageOnILockBytes(lb, nullptr, kRO, nullptr, 0, &again))) {
            std::string after;
            walk(again, 0, "", after);
            again->Release();
            if (opened && added && committed && after != before) std::abort();
        } else if (committed) {
            std::abort();  // a file this layer wrote must open
        }
    }
    lb->Release();
    return 0;
}
