// Structured storage: compound files written here are read by an
// independent reader (olefile under /usr/bin/python3) and by this layer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/storage.h"
#include "platform/storage_internal.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Each byte as one unit (Latin-1).
std::u16string w(const std::string& s)
{
    std::u16string out;
    for (unsigned char c : s) out += char16_t(c);
    return out;
}

std::string tempDir()
{
    std::string tmpl = std::string(TV_BINARY_DIR) + "/storage_test_XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) return "/tmp";
    return buf.data();
}

// A directory per test, removed with its content afterwards.
class StorageTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = tempDir(); }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::u16string wpath(const std::string& name) const { return w(path(name)); }

    std::string dir_;
};

Bytes pattern(size_t n, uint32_t seed)
{
    Bytes b(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = uint8_t(x >> 24);
    }
    return b;
}

std::string md5hex(const Bytes& b)
{
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(b.data(), b.size(), d, &n, EVP_md5(), nullptr);
    std::string s;
    char h[3];
    for (unsigned i = 0; i < n; ++i) {
        std::snprintf(h, sizeof h, "%02x", d[i]);
        s += h;
    }
    return s;
}

// Class id as olefile prints it.
std::string clsidText(const CLSID& c)
{
    if (c == GUID_NULL) return "-";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", c.Data1, c.Data2, c.Data3,
                  c.Data4[0], c.Data4[1], c.Data4[2], c.Data4[3], c.Data4[4], c.Data4[5], c.Data4[6], c.Data4[7]);
    return buf;
}

// Runs the olefile lister; returns its lines keyed by kind and path.
std::map<std::string, std::string> oleListing(const std::string& file, int* status = nullptr)
{
    std::string cmd = std::string("/usr/bin/python3 '") + TV_SOURCE_DIR + "/tests/platform/olefile_dump.py' '" +
                      file + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::map<std::string, std::string> out;
    if (!p) return out;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int st = pclose(p);
    if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string kind, name, rest;
        ls >> kind;
        if (kind == "R") {
            ls >> rest;
            out["R"] = rest;
            continue;
        }
        ls >> name;
        std::getline(ls, rest);
        if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
        out[kind + " " + name] = rest;
    }
    return out;
}

CLSID makeClsid(uint32_t d1)
{
    return CLSID{d1, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x22, 0x33, 0x44}};
}

constexpr DWORD kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRO = STGM_READ | STGM_SHARE_EXCLUSIVE;

void putStream(IStorage* stg, const std::string& name, const Bytes& data)
{
    ComPtr<IStream> s;
    ASSERT_EQ(stg->CreateStream(w(name).c_str(), kRW | STGM_CREATE, 0, 0, &s), S_OK) << name;
    ULONG written = 0;
    ASSERT_EQ(s->Write(data.data(), ULONG(data.size()), &written), S_OK);
    ASSERT_EQ(written, data.size());
}

// The whole content of a stream, read from its start.
Bytes readAll(IStream* s)
{
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    EXPECT_EQ(s->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
    STATSTG st;
    EXPECT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
    Bytes b(size_t(st.cbSize.QuadPart));
    ULONG got = 0;
    if (!b.empty()) {
        EXPECT_EQ(s->Read(b.data(), ULONG(b.size()), &got), S_OK);
    }
    EXPECT_EQ(got, b.size());
    return b;
}

Bytes getStream(IStorage* stg, const std::string& name)
{
    ComPtr<IStream> s;
    HRESULT hr = stg->OpenStream(w(name).c_str(), nullptr, kRO, 0, &s);
    EXPECT_EQ(hr, S_OK) << name;
    if (FAILED(hr)) return {};
    return readAll(s);
}

ComPtr<IStorage> createFile(const std::u16string& p)
{
    ComPtr<IStorage> stg;
    EXPECT_EQ(StgCreateDocfile(p.c_str(), kRW | STGM_CREATE, 0, &stg), S_OK);
    return stg;
}

ComPtr<IStorage> openFile(const std::u16string& p, DWORD mode = kRO)
{
    ComPtr<IStorage> stg;
    EXPECT_EQ(StgOpenStorage(p.c_str(), nullptr, mode, nullptr, 0, &stg), S_OK);
    return stg;
}

const size_t kSizes[] = {0, 1, 4095, 4096, 4097, 16383, 16384, 16385, 1u << 20, 8u << 20};

// --- round trip through an independent reader ---------------------------------

TEST_F(StorageTest, FileRoundTripMatchesIndependentReader)
{
    const CLSID rootId = makeClsid(0xA1), subId = makeClsid(0xB2);
    {
        ComPtr<IStorage> root = createFile(wpath("a.stg"));
        ASSERT_TRUE(root);
        ASSERT_EQ(root->SetClass(rootId), S_OK);
        for (size_t n : kSizes) putStream(root, "s" + std::to_string(n), pattern(n, uint32_t(n)));
        ComPtr<IStorage> sub, deeper, empty;
        ASSERT_EQ(root->CreateStorage(u"Sub", kRW, 0, 0, &sub), S_OK);
        ASSERT_EQ(sub->SetClass(subId), S_OK);
        putStream(sub, "inner", pattern(5000, 7));
        ASSERT_EQ(sub->CreateStorage(u"Deeper", kRW, 0, 0, &deeper), S_OK);
        putStream(deeper, "leaf", pattern(3, 9));
        putStream(deeper, "zero", {});
        ASSERT_EQ(root->CreateStorage(u"Empty", kRW, 0, 0, &empty), S_OK);
    }  // the final Release writes the file

    auto ole = oleListing(path("a.stg"));
    EXPECT_EQ(ole["R"], clsidText(rootId));
    for (size_t n : kSizes) {
        Bytes b = pattern(n, uint32_t(n));
        EXPECT_EQ(ole["S s" + std::to_string(n)], std::to_string(n) + " " + md5hex(b)) << n;
    }
    EXPECT_EQ(ole["S Sub/inner"], "5000 " + md5hex(pattern(5000, 7)));
    EXPECT_EQ(ole["S Sub/Deeper/leaf"], "3 " + md5hex(pattern(3, 9)));
    EXPECT_EQ(ole["S Sub/Deeper/zero"], "0 " + md5hex({}));
    EXPECT_EQ(ole["D Sub"].substr(0, ole["D Sub"].find(' ')), clsidText(subId));
    EXPECT_TRUE(ole.count("D Empty"));
    EXPECT_TRUE(ole.count("D Sub/Deeper"));
    EXPECT_EQ(ole.size(), 1 + std::size(kSizes) + 3 + 3);  // root, streams, storages, nested streams

    ComPtr<IStorage> root = openFile(wpath("a.stg"));
    ASSERT_TRUE(root);
    STATSTG st;
    ASSERT_EQ(root->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.clsid, rootId);
    for (size_t n : kSizes) EXPECT_EQ(getStream(root, "s" + std::to_string(n)), pattern(n, uint32_t(n))) << n;
    ComPtr<IStorage> sub, deeper, empty;
    ASSERT_EQ(root->OpenStorage(u"Sub", nullptr, kRO, nullptr, 0, &sub), S_OK);
    ASSERT_EQ(sub->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.clsid, subId);
    EXPECT_EQ(getStream(sub, "inner"), pattern(5000, 7));
    ASSERT_EQ(sub->OpenStorage(u"Deeper", nullptr, kRO, nullptr, 0, &deeper), S_OK);
    EXPECT_EQ(getStream(deeper, "leaf"), pattern(3, 9));
    EXPECT_TRUE(getStream(deeper, "zero").empty());
    ASSERT_EQ(root->OpenStorage(u"Empty", nullptr, kRO, nullptr, 0, &empty), S_OK);
    ComPtr<IEnumSTATSTG> en;
    ASSERT_EQ(empty->EnumElements(0, nullptr, 0, &en), S_OK);
    ULONG got = 9;
    EXPECT_EQ(en->Next(1, &st, &got), S_FALSE);
    EXPECT_EQ(got, 0u);
}

TEST_F(StorageTest, RewriteKeepsUntouchedElementsAndTimes)
{
    FILETIME stamp = tvp::ticksToFileTime(tvp::kFileTimeUnixEpoch + 1000000000ULL * 10000000ULL);
    {
        ComPtr<IStorage> root = createFile(wpath("b.stg"));
        putStream(root, "keep", pattern(70000, 1));
        putStream(root, "change", pattern(10, 2));
        ComPtr<IStorage> sub;
        ASSERT_EQ(root->CreateStorage(u"dir", kRW, 0, 0, &sub), S_OK);
        ASSERT_EQ(sub->SetClass(makeClsid(5)), S_OK);
        putStream(sub, "x", pattern(100, 3));
        sub = nullptr;
        ASSERT_EQ(root->SetElementTimes(u"dir", nullptr, nullptr, &stamp), S_OK);
    }
    {
        ComPtr<IStorage> root = openFile(wpath("b.stg"), kRW);
        putStream(root, "change", pattern(20000, 4));
        putStream(root, "added", pattern(1, 5));
        ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    }
    auto ole = oleListing(path("b.stg"));
    EXPECT_EQ(ole["S keep"], "70000 " + md5hex(pattern(70000, 1)));
    EXPECT_EQ(ole["S change"], "20000 " + md5hex(pattern(20000, 4)));
    EXPECT_EQ(ole["S added"], "1 " + md5hex(pattern(1, 5)));
    EXPECT_EQ(ole["S dir/x"], "100 " + md5hex(pattern(100, 3)));
    EXPECT_EQ(ole["D dir"], clsidText(makeClsid(5)) + " 1000000000");

    ComPtr<IStorage> root = openFile(wpath("b.stg"));
    ComPtr<IEnumSTATSTG> en;
    ASSERT_EQ(root->EnumElements(0, nullptr, 0, &en), S_OK);
    STATSTG st[8];
    ULONG got = 0;
    EXPECT_EQ(en->Next(8, st, &got), S_FALSE);
    ASSERT_EQ(got, 4u);
    // Directory order: shorter names first, then by upper-case name.
    std::vector<std::u16string> names;
    for (ULONG i = 0; i < got; ++i) {
        names.push_back(st[i].pwcsName);
        if (names.back() == u"dir") {
            EXPECT_EQ(st[i].type, STGTY_STORAGE);
            EXPECT_EQ(tvp::fileTimeToTicks(st[i].mtime), tvp::fileTimeToTicks(stamp));
            EXPECT_EQ(st[i].clsid, makeClsid(5));
        }
        CoTaskMemFree(st[i].pwcsName);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"dir", u"keep", u"added", u"change"}));
}

TEST_F(StorageTest, LockBytesRoundTrip)
{
    ComPtr<ILockBytes> lb;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, &lb), S_OK);
    EXPECT_EQ(StgIsStorageILockBytes(lb), S_FALSE);
    {
        ComPtr<IStorage> stg;
        ASSERT_EQ(StgCreateDocfileOnILockBytes(lb, 0x1012, 0, &stg), S_OK);
        EXPECT_EQ(StgIsStorageILockBytes(lb), S_OK);  // written at creation
        putStream(stg, "one", pattern(4097, 11));
        ComPtr<IStorage> sub;
        ASSERT_EQ(stg->CreateStorage(u"sub", kRW, 0, 0, &sub), S_OK);
        putStream(sub, "two", pattern(64, 12));
    }
    HGLOBAL h = nullptr;
    ASSERT_EQ(GetHGlobalFromILockBytes(lb, &h), S_OK);
    Bytes bytes(static_cast<uint8_t*>(GlobalLock(h)), static_cast<uint8_t*>(GlobalLock(h)) + GlobalSize(h));
    GlobalUnlock(h);
    GlobalUnlock(h);
    std::ofstream(path("lb.stg"), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto ole = oleListing(path("lb.stg"));
    EXPECT_EQ(ole["S one"], "4097 " + md5hex(pattern(4097, 11)));
    EXPECT_EQ(ole["S sub/two"], "64 " + md5hex(pattern(64, 12)));

    ComPtr<IStorage> stg;
    ASSERT_EQ(StgOpenStorageOnILockBytes(lb, nullptr, kRO, nullptr, 0, &stg), S_OK);
    EXPECT_EQ(getStream(stg, "one"), pattern(4097, 11));
    // Without STGM_CREATE a lock-bytes object that holds data is not replaced.
    ComPtr<IStorage> again;
    EXPECT_EQ(StgCreateDocfileOnILockBytes(lb, kRW, 0, &again), STG_E_FILEALREADYEXISTS);
}

// --- names -------------------------------------------------------------------------

TEST_F(StorageTest, NamesAreCaseInsensitiveAndLimited)
{
    ComPtr<IStorage> root = createFile(wpath("n.stg"));
    putStream(root, "Header", pattern(4, 1));
    ComPtr<IStream> s;
    EXPECT_EQ(root->CreateStream(u"HEADER", kRW, 0, 0, &s), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(getStream(root, "hEaDeR"), pattern(4, 1));
    ComPtr<IStorage> sub;
    EXPECT_EQ(root->CreateStorage(u"header", kRW, 0, 0, &sub), STG_E_FILEALREADYEXISTS);
    // Non-ASCII letters fold too (as in the file format's upper-case compare).
    putStream(root, "\xE4" "rger", pattern(1, 2));
    EXPECT_EQ(getStream(root, "\xC4" "RGER"), pattern(1, 2));

    std::u16string n31(31, u'x'), n32(32, u'x');
    EXPECT_EQ(root->CreateStream(n31.c_str(), kRW, 0, 0, &s), S_OK);
    EXPECT_EQ(root->CreateStream(n32.c_str(), kRW, 0, 0, &s), STG_E_INVALIDNAME);
    EXPECT_EQ(root->CreateStream(u"", kRW, 0, 0, &s), STG_E_INVALIDNAME);
    EXPECT_EQ(root->CreateStream(u"a/b", kRW, 0, 0, &s), STG_E_INVALIDNAME);
    EXPECT_EQ(root->CreateStream(u"a!b", kRW, 0, 0, &s), STG_E_INVALIDNAME);
    EXPECT_EQ(root->OpenStream(n32.c_str(), nullptr, kRO, 0, &s), STG_E_INVALIDNAME);

    // Renaming keeps the content; a taken name is refused.
    s = nullptr;
    EXPECT_EQ(root->RenameElement(u"header", u"HEAD2"), S_OK);
    EXPECT_EQ(getStream(root, "head2"), pattern(4, 1));
    EXPECT_EQ(root->RenameElement(u"head2", n31.c_str()), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(root->RenameElement(u"nothere", u"x"), STG_E_FILENOTFOUND);
}

// --- modes, opening twice, reverting -------------------------------------------

TEST_F(StorageTest, OpenElementsAreExclusive)
{
    ComPtr<IStorage> root = createFile(wpath("o.stg"));
    putStream(root, "s", pattern(10, 1));
    ComPtr<IStorage> sub;
    ASSERT_EQ(root->CreateStorage(u"d", kRW, 0, 0, &sub), S_OK);

    ComPtr<IStream> a, b;
    ASSERT_EQ(root->OpenStream(u"s", nullptr, kRO, 0, &a), S_OK);
    EXPECT_EQ(root->OpenStream(u"s", nullptr, kRO, 0, &b), STG_E_ACCESSDENIED);
    ComPtr<IStorage> sub2;
    EXPECT_EQ(root->OpenStorage(u"d", nullptr, kRO, nullptr, 0, &sub2), STG_E_ACCESSDENIED);
    // Open elements can be neither replaced nor renamed.
    EXPECT_EQ(root->CreateStream(u"s", kRW | STGM_CREATE, 0, 0, &b), STG_E_ACCESSDENIED);
    EXPECT_EQ(root->RenameElement(u"s", u"t"), STG_E_ACCESSDENIED);
    // Streams need exclusive sharing; wrong kinds are not found.
    a = nullptr;
    EXPECT_EQ(root->OpenStream(u"s", nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, 0, &b), STG_E_INVALIDFLAG);
    EXPECT_EQ(root->OpenStream(u"d", nullptr, kRO, 0, &b), STG_E_FILENOTFOUND);
    EXPECT_EQ(root->OpenStorage(u"s", nullptr, kRO, nullptr, 0, &sub2), STG_E_FILENOTFOUND);

    // A read-only stream refuses writes; a read-only storage refuses changes.
    ASSERT_EQ(root->OpenStream(u"s", nullptr, kRO, 0, &a), S_OK);
    ULONG n = 0;
    EXPECT_EQ(a->Write("x", 1, &n), STG_E_ACCESSDENIED);
    a = nullptr;
    sub = nullptr;
    ASSERT_EQ(root->OpenStorage(u"d", nullptr, kRO, nullptr, 0, &sub), S_OK);
    EXPECT_EQ(sub->CreateStream(u"x", kRW, 0, 0, &b), STG_E_ACCESSDENIED);
    ComPtr<IStorage> sub3;
    EXPECT_EQ(sub->CreateStorage(u"x", kRW, 0, 0, &sub3), STG_E_ACCESSDENIED);

    // Destroying an open element reverts the objects on it.
    sub = nullptr;
    ASSERT_EQ(root->OpenStream(u"s", nullptr, kRW, 0, &a), S_OK);
    EXPECT_EQ(root->DestroyElement(u"s"), S_OK);
    EXPECT_EQ(a->Write("x", 1, &n), STG_E_REVERTED);
    EXPECT_EQ(root->DestroyElement(u"s"), STG_E_FILENOTFOUND);
}

TEST_F(StorageTest, ReleasingTheRootRevertsChildren)
{
    ComPtr<IStorage> root = createFile(wpath("r.stg"));
    ComPtr<IStream> s;
    ASSERT_EQ(root->CreateStream(u"s", kRW, 0, 0, &s), S_OK);
    ULONG n = 0;
    ASSERT_EQ(s->Write("abc", 3, &n), S_OK);
    root = nullptr;
    EXPECT_EQ(s->Write("d", 1, &n), STG_E_REVERTED);
    s = nullptr;
    ComPtr<IStorage> again = openFile(wpath("r.stg"));
    EXPECT_EQ(getStream(again, "s"), (Bytes{'a', 'b', 'c'}));
}

// --- files: create, lock, delete on release ------------------------------------

TEST_F(StorageTest, CreateReplacesOnlyWithCreateFlag)
{
    { ComPtr<IStorage> root = createFile(wpath("c.stg")); putStream(root, "old", pattern(3, 1)); }
    ComPtr<IStorage> stg;
    EXPECT_EQ(StgCreateDocfile(wpath("c.stg").c_str(), kRW, 0, &stg), STG_E_FILEALREADYEXISTS);
    ASSERT_EQ(StgCreateDocfile(wpath("c.stg").c_str(), kRW | STGM_CREATE, 0, &stg), S_OK);
    ComPtr<IStream> s;
    EXPECT_EQ(stg->OpenStream(u"old", nullptr, kRO, 0, &s), STG_E_FILENOTFOUND);
    // A file in use is not replaced.
    ComPtr<IStorage> other;
    EXPECT_EQ(StgCreateDocfile(wpath("c.stg").c_str(), kRW | STGM_CREATE, 0, &other), STG_E_SHAREVIOLATION);
    EXPECT_EQ(StgCreateDocfile(w(dir_ + "/missing/x.stg").c_str(), kRW, 0, &other), STG_E_PATHNOTFOUND);
    EXPECT_EQ(StgCreateDocfile(wpath("t.stg").c_str(), STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &other),
              STG_E_INVALIDFLAG);
    EXPECT_EQ(StgCreateDocfile(wpath("t.stg").c_str(), kRW | STGM_TRANSACTED, 0, &other), STG_E_INVALIDFLAG);
}

TEST_F(StorageTest, SecondOpenIsRefusedWhileLocked)
{
    { ComPtr<IStorage> root = createFile(wpath("l.stg")); putStream(root, "s", pattern(9, 1)); }
    std::u16string p = wpath("l.stg");
    ComPtr<IStorage> first, second;
    ASSERT_EQ(StgOpenStorage(p.c_str(), nullptr, kRW, nullptr, 0, &first), S_OK);
    EXPECT_EQ(StgOpenStorage(p.c_str(), nullptr, kRO, nullptr, 0, &second), STG_E_SHAREVIOLATION);
    EXPECT_FALSE(second);

    // Another process sees the lock too, also after a rewrite of the file.
    putStream(first, "t", pattern(5, 2));
    ASSERT_EQ(first->Commit(STGC_DEFAULT), S_OK);
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(path("l.stg").c_str(), O_RDONLY);
        _exit(fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    first = nullptr;
    ASSERT_EQ(StgOpenStorage(p.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &first), S_OK);
    // Readers that deny only writing share the file; a writer is kept out.
    EXPECT_EQ(StgOpenStorage(p.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &second), S_OK);
    ComPtr<IStorage> writer;
    EXPECT_EQ(StgOpenStorage(p.c_str(), nullptr, kRW, nullptr, 0, &writer), STG_E_SHAREVIOLATION);
    EXPECT_EQ(getStream(second, "t"), pattern(5, 2));
}

TEST_F(StorageTest, DeleteOnRelease)
{
    ComPtr<IStorage> tmp;
    ASSERT_EQ(StgCreateDocfile(nullptr, 0x4001012, 0, &tmp), S_OK);
    STATSTG st;
    ASSERT_EQ(tmp->Stat(&st, STATFLAG_DEFAULT), S_OK);
    std::u16string name = st.pwcsName;
    CoTaskMemFree(st.pwcsName);
    std::string file(name.begin(), name.end());
    putStream(tmp, "s", pattern(100, 1));
    ASSERT_EQ(tmp->Commit(STGC_DEFAULT), S_OK);
    struct stat sb;
    EXPECT_EQ(stat(file.c_str(), &sb), 0);
    EXPECT_EQ(StgIsStorageFile(name.c_str()), S_OK);
    tmp = nullptr;
    EXPECT_NE(stat(file.c_str(), &sb), 0);

    ComPtr<IStorage> named;
    ASSERT_EQ(StgCreateDocfile(wpath("d.stg").c_str(), 0x4001012, 0, &named), S_OK);
    EXPECT_EQ(stat(path("d.stg").c_str(), &sb), 0);
    named = nullptr;
    EXPECT_NE(stat(path("d.stg").c_str(), &sb), 0);
}

// --- damaged and foreign files --------------------------------------------------

TEST_F(StorageTest, ForeignCorruptAndTruncatedFilesAreRefused)
{
    ComPtr<IStorage> stg;
    EXPECT_EQ(StgIsStorageFile(wpath("none").c_str()), STG_E_FILENOTFOUND);
    EXPECT_EQ(StgOpenStorage(wpath("none").c_str(), nullptr, kRO, nullptr, 0, &stg), STG_E_FILENOTFOUND);

    std::ofstream(path("text.txt")) << "just some text, not a compound file\n";
    EXPECT_EQ(StgIsStorageFile(wpath("text.txt").c_str()), S_FALSE);
    EXPECT_EQ(StgOpenStorage(wpath("text.txt").c_str(), nullptr, kRO, nullptr, 0, &stg), STG_E_FILEALREADYEXISTS);
    std::ofstream(path("empty.bin"));
    EXPECT_EQ(StgIsStorageFile(wpath("empty.bin").c_str()), S_FALSE);
    EXPECT_EQ(StgOpenStorage(wpath("empty.bin").c_str(), nullptr, kRO, nullptr, 0, &stg), STG_E_FILEALREADYEXISTS);

    {
        ComPtr<IStorage> root = createFile(wpath("good.stg"));
        putStream(root, "big", pattern(20000, 3));
        putStream(root, "small", pattern(300, 4));
        ComPtr<IStorage> sub;
        ASSERT_EQ(root->CreateStorage(u"sub", kRW, 0, 0, &sub), S_OK);
        putStream(sub, "x", pattern(5000, 5));
    }
    std::ifstream in(path("good.stg"), std::ios::binary);
    Bytes good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(good.size(), 1024u);
    auto tryBytes = [&](const Bytes& b) {
        std::ofstream(path("bad.stg"), std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
        ComPtr<IStorage> s;
        HRESULT hr = StgOpenStorage(wpath("bad.stg").c_str(), nullptr, kRO, nullptr, 0, &s);
        if (SUCCEEDED(hr)) {
            // Whatever was accepted must be readable without harm.
            ComPtr<IEnumSTATSTG> en;
            EXPECT_EQ(s->EnumElements(0, nullptr, 0, &en), S_OK);
        }
        return hr;
    };
    for (size_t len : {size_t(8), size_t(100), size_t(511)})
        EXPECT_EQ(tryBytes(Bytes(good.begin(), good.begin() + long(len))), STG_E_INVALIDHEADER) << len;
    for (size_t len : {size_t(512), size_t(1000), good.size() / 2, good.size() - 1})
        EXPECT_TRUE(FAILED(tryBytes(Bytes(good.begin(), good.begin() + long(len))))) << len;
    Bytes badOrder = good;
    badOrder[28] = 0;
    EXPECT_EQ(tryBytes(badOrder), STG_E_INVALIDHEADER);
    // Damage anywhere: refused or read, never a crash.
    for (size_t i = 32; i < good.size(); i += 97) {
        Bytes b = good;
        b[i] ^= 0xFF;
        tryBytes(b);
    }
    // The same through a lock-bytes object.
    Bytes half(good.begin(), good.begin() + long(good.size() / 2));
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, half.size());
    std::memcpy(GlobalLock(h), half.data(), half.size());
    GlobalUnlock(h);
    ComPtr<ILockBytes> lb;
    ASSERT_EQ(CreateILockBytesOnHGlobal(h, TRUE, &lb), S_OK);
    EXPECT_EQ(StgIsStorageILockBytes(lb), S_OK);
    EXPECT_TRUE(FAILED(StgOpenStorageOnILockBytes(lb, nullptr, kRO, nullptr, 0, &stg)));
}

// Elements below a storage, each as "path size" (storages with size 0).
void listTree(IStorage* stg, const std::string& prefix, std::vector<std::string>& out)
{
    ComPtr<IEnumSTATSTG> en;
    if (FAILED(stg->EnumElements(0, nullptr, 0, &en))) return;
    STATSTG st;
    ULONG got = 0;
    while (en->Next(1, &st, &got) == S_OK && got == 1) {
        std::string name = prefix;
        for (const char16_t* c = st.pwcsName; *c; ++c) name += char(*c);
        out.push_back(name + " " + std::to_string(st.cbSize.QuadPart));
        if (st.type == STGTY_STORAGE) {
            ComPtr<IStorage> sub;
            if (SUCCEEDED(stg->OpenStorage(st.pwcsName, nullptr, kRO, nullptr, 0, &sub))) listTree(sub, name + "/", out);
        }
        CoTaskMemFree(st.pwcsName);
    }
}

HRESULT openBytes(const Bytes& b, std::vector<std::string>& tree)
{
    tree.clear();
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, b.size());
    std::memcpy(GlobalLock(h), b.data(), b.size());
    GlobalUnlock(h);
    ComPtr<ILockBytes> lb;
    if (FAILED(CreateILockBytesOnHGlobal(h, TRUE, &lb))) return E_FAIL;
    ComPtr<IStorage> stg;
    HRESULT hr = StgOpenStorageOnILockBytes(lb, nullptr, kRO, nullptr, 0, &stg);
    if (SUCCEEDED(hr)) listTree(stg, "", tree);
    return hr;
}

uint32_t le32At(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// A damaged file is refused as a whole instead of opening with elements
// missing, which the next write would drop for good.
TEST_F(StorageTest, DamagedFilesAreRefusedNotReadInPart)
{
    {
        ComPtr<IStorage> root = createFile(wpath("many.stg"));
        for (int i = 0; i < 16; ++i)
            putStream(root, "s" + std::to_string(i), pattern(i % 3 == 0 ? 5000 + 700 * i : 90 * i + 1, i));
        ComPtr<IStorage> sub;
        ASSERT_EQ(root->CreateStorage(u"sub", kRW, 0, 0, &sub), S_OK);
        putStream(sub, "a", pattern(300, 50));
        putStream(sub, "b", pattern(9000, 51));
        ASSERT_EQ(sub->Commit(STGC_DEFAULT), S_OK);
    }
    std::ifstream in(path("many.stg"), std::ios::binary);
    const Bytes good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> expected, tree;
    ASSERT_EQ(openBytes(good, expected), S_OK);
    ASSERT_EQ(expected.size(), 19u);

    // The directory entries: each 128 bytes, the first at the first
    // directory sector (sectors of 512 bytes after a header of 512).
    const size_t dir = (size_t(le32At(good, 48)) + 1) * 512;
    auto entryOf = [&](const std::string& name) -> size_t {
        for (size_t e = dir; e + 128 <= good.size(); e += 128) {
            std::string n;
            for (size_t k = 0; k + 2 < good[e + 64] && k < 64; k += 2) n += char(good[e + k]);
            if (n == name) return e;
        }
        return 0;
    };
    const size_t big = entryOf("s3"), small = entryOf("s4");
    ASSERT_NE(big, 0u);
    ASSERT_NE(small, 0u);
    struct {
        const char* what;
        size_t at;
        uint32_t value;
    } damage[] = {
        {"a size larger than the chain", big + 120, le32At(good, big + 120) + 512},
        {"a size smaller than the chain", big + 120, le32At(good, big + 120) - 1024},
        {"a mini stream's size larger than its chain", small + 120, le32At(good, small + 120) + 64},
        {"a size past the file", big + 120, 0x7FFFFFFFu},
        {"a chain into a loop", big + 116, le32At(good, small + 116)},
        {"a start past the file", big + 116, 0x00FFFFF0u},
        {"an entry the tree does not reach", big + 68, 0xFFFFFFFFu},
        {"an entry the tree does not reach", big + 72, 0xFFFFFFFFu},
        {"an entry reached twice", big + 68, le32At(good, big + 72)},
        {"a directory chain past the file", 48, 0x00FFFFFFu},
        // The root has no siblings (the reader would follow them).
        {"a root entry with a left sibling", dir + 68, uint32_t((big - dir) / 128)},
        {"a root entry with a right sibling", dir + 72, uint32_t((small - dir) / 128)},
        {"a root entry that is its own sibling", dir + 72, 0},
    };
    for (const auto& d : damage) {
        Bytes b = good;
        for (int k = 0; k < 4; ++k) b[d.at + size_t(k)] = uint8_t(d.value >> (8 * k));
        if (b == good) continue;  // the field held that value already
        EXPECT_EQ(openBytes(b, tree), STG_E_DOCFILECORRUPT) << d.what;
    }

    // Any one changed byte: the file is refused, or every element is there.
    for (size_t i = 0; i < good.size(); i += (i < 2048 || i >= dir ? 1 : 61)) {
        for (uint8_t flip : {uint8_t(0x01), uint8_t(0x80)}) {
            Bytes b = good;
            b[i] ^= flip;
            if (SUCCEEDED(openBytes(b, tree))) {
                EXPECT_EQ(tree.size(), expected.size()) << "byte " << i << " ^ " << int(flip);
            }
        }
    }
}

// --- streams ---------------------------------------------------------------------

TEST_F(StorageTest, StreamSemantics)
{
    ComPtr<IStorage> root = createFile(wpath("s.stg"));
    ComPtr<IStream> s;
    ASSERT_EQ(root->CreateStream(u"s", kRW, 0, 0, &s), S_OK);
    LARGE_INTEGER off;
    ULARGE_INTEGER pos;
    ULONG n = 0;
    // A write past the end leaves a gap of zeros.
    off.QuadPart = 5;
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_SET, &pos), S_OK);
    ASSERT_EQ(s->Write("ab", 2, &n), S_OK);
    off.QuadPart = 0;
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    char buf[16] = {};
    ASSERT_EQ(s->Read(buf, sizeof buf, &n), S_OK);
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(std::memcmp(buf, "\0\0\0\0\0ab", 7), 0);
    // Reading at the end gives nothing; a negative target is refused.
    EXPECT_EQ(s->Read(buf, 1, &n), S_OK);
    EXPECT_EQ(n, 0u);
    off.QuadPart = -8;
    EXPECT_EQ(s->Seek(off, STREAM_SEEK_END, &pos), STG_E_INVALIDFUNCTION);
    off.QuadPart = -2;
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 5u);
    EXPECT_EQ(s->Seek(off, 3, &pos), STG_E_INVALIDFUNCTION);
    // SetSize keeps the position; growing adds zeros.
    ULARGE_INTEGER sz;
    sz.QuadPart = 3;
    ASSERT_EQ(s->SetSize(sz), S_OK);
    off.QuadPart = 0;
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 5u);
    sz.QuadPart = 6;
    ASSERT_EQ(s->SetSize(sz), S_OK);
    STATSTG st;
    ASSERT_EQ(s->Stat(&st, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(std::u16string(st.pwcsName), u"s");
    CoTaskMemFree(st.pwcsName);
    EXPECT_EQ(st.type, STGTY_STREAM);
    EXPECT_EQ(st.cbSize.QuadPart, 6u);
    EXPECT_EQ(st.grfMode, kRW);

    // A clone shares the bytes but keeps its own position; CopyTo into the
    // clone (the same element) copies what was there before.
    off.QuadPart = 0;
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(s->Write("123456", 6, &n), S_OK);
    ComPtr<IStream> c;
    ASSERT_EQ(s->Clone(&c), S_OK);
    off.QuadPart = 0;
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    ULARGE_INTEGER all, rd, wr;
    all.QuadPart = ~0ull;
    ASSERT_EQ(s->CopyTo(c, all, &rd, &wr), S_OK);
    EXPECT_EQ(rd.QuadPart, 6u);
    EXPECT_EQ(wr.QuadPart, 6u);
    off.QuadPart = 0;
    ASSERT_EQ(c->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(c->Read(buf, sizeof buf, &n), S_OK);
    EXPECT_EQ(std::string(buf, n), "123456123456");
    // Copy into a stream of another file, part of the bytes.
    ComPtr<IStorage> other = createFile(wpath("s2.stg"));
    ComPtr<IStream> t;
    ASSERT_EQ(other->CreateStream(u"t", kRW, 0, 0, &t), S_OK);
    off.QuadPart = 2;
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    all.QuadPart = 3;
    ASSERT_EQ(s->CopyTo(t, all, &rd, &wr), S_OK);
    t = nullptr;
    EXPECT_EQ(getStream(other, "t"), (Bytes{'3', '4', '5'}));
    EXPECT_EQ(s->LockRegion(pos, pos, LOCK_WRITE), STG_E_INVALIDFUNCTION);
}

// A position or offset near the top of the 64-bit range must not wrap the
// end of a write around to a small number.
TEST_F(StorageTest, WritesFarPastTheEndAreRefused)
{
    ComPtr<IStorage> root = createFile(wpath("far.stg"));
    ComPtr<IStream> s;
    ASSERT_EQ(root->CreateStream(u"s", kRW, 0, 0, &s), S_OK);
    ULONG n = 7;
    ASSERT_EQ(s->Write("abcd", 4, &n), S_OK);
    LARGE_INTEGER off;
    off.QuadPart = INT64_MAX;
    ULARGE_INTEGER pos;
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, ~0ull - 1);
    EXPECT_EQ(s->Write("xyz", 3, &n), STG_E_MEDIUMFULL);
    EXPECT_EQ(n, 0u);
    STATSTG st;
    ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, 4u);

    ComPtr<ILockBytes> lb;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, &lb), S_OK);
    ULARGE_INTEGER at;
    at.QuadPart = ~0ull - 1;
    n = 7;
    EXPECT_EQ(lb->WriteAt(at, "xyz", 3, &n), STG_E_MEDIUMFULL);
    EXPECT_EQ(n, 0u);
    ASSERT_EQ(lb->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, 0u);
}

// --- storage copies and moves -----------------------------------------------------

TEST_F(StorageTest, CopyToIsDeepAndKeepsClassIds)
{
    ComPtr<IStorage> src = createFile(wpath("src.stg"));
    ASSERT_EQ(src->SetClass(makeClsid(1)), S_OK);
    putStream(src, "a", pattern(10, 1));
    putStream(src, "skip", pattern(10, 2));
    ComPtr<IStorage> sub;
    ASSERT_EQ(src->CreateStorage(u"sub", kRW, 0, 0, &sub), S_OK);
    ASSERT_EQ(sub->SetClass(makeClsid(2)), S_OK);
    putStream(sub, "b", pattern(5000, 3));
    sub = nullptr;

    ComPtr<IStorage> dst = createFile(wpath("dst.stg"));
    putStream(dst, "a", pattern(99, 9));  // replaced
    putStream(dst, "mine", pattern(4, 4));  // kept
    ComPtr<IStorage> dsub;
    ASSERT_EQ(dst->CreateStorage(u"SUB", kRW, 0, 0, &dsub), S_OK);
    putStream(dsub, "c", pattern(7, 5));  // merged with the source's sub-storage
    dsub = nullptr;
    OLECHAR skipName[] = u"skip";
    OLECHAR* snb[] = {skipName, nullptr};
    ASSERT_EQ(src->CopyTo(0, nullptr, snb, dst), S_OK);
    // Copying into itself or below itself is refused.
    EXPECT_EQ(src->CopyTo(0, nullptr, nullptr, src), STG_E_ACCESSDENIED);

    // The copy does not share bytes with the source.
    putStream(src, "a", pattern(1, 0));
    ASSERT_EQ(dst->Commit(STGC_DEFAULT), S_OK);
    auto ole = oleListing(path("dst.stg"));
    EXPECT_EQ(ole["R"], clsidText(makeClsid(1)));
    EXPECT_EQ(ole["S a"], "10 " + md5hex(pattern(10, 1)));
    EXPECT_EQ(ole["S mine"], "4 " + md5hex(pattern(4, 4)));
    EXPECT_EQ(ole.count("S skip"), 0u);
    EXPECT_EQ(ole["S SUB/b"], "5000 " + md5hex(pattern(5000, 3)));
    EXPECT_EQ(ole["S SUB/c"], "7 " + md5hex(pattern(7, 5)));
    EXPECT_EQ(ole["D SUB"].substr(0, ole["D SUB"].find(' ')), clsidText(makeClsid(2)));

    // Only streams, through the interface-id exclusion.
    ComPtr<IStorage> dst2 = createFile(wpath("dst2.stg"));
    IID noStorages = IID_IStorage;
    ASSERT_EQ(src->CopyTo(1, &noStorages, nullptr, dst2), S_OK);
    ComPtr<IStorage> none;
    EXPECT_EQ(dst2->OpenStorage(u"sub", nullptr, kRO, nullptr, 0, &none), STG_E_FILENOTFOUND);
    EXPECT_EQ(getStream(dst2, "skip"), pattern(10, 2));

    // Move within the file relinks; a copy to another file leaves the source.
    ASSERT_EQ(src->CreateStorage(u"target", kRW, 0, 0, &sub), S_OK);
    ASSERT_EQ(src->MoveElementTo(u"sub", sub, u"moved", STGMOVE_MOVE), S_OK);
    ComPtr<IStorage> moved;
    ASSERT_EQ(sub->OpenStorage(u"moved", nullptr, kRO, nullptr, 0, &moved), S_OK);
    EXPECT_EQ(getStream(moved, "b"), pattern(5000, 3));
    EXPECT_EQ(src->OpenStorage(u"sub", nullptr, kRO, nullptr, 0, &none), STG_E_FILENOTFOUND);
    EXPECT_EQ(src->MoveElementTo(u"a", dst2, u"a", STGMOVE_COPY), STG_E_FILEALREADYEXISTS);
    ASSERT_EQ(src->MoveElementTo(u"a", dst2, u"a2", STGMOVE_COPY), S_OK);
    EXPECT_EQ(getStream(dst2, "a2"), pattern(1, 0));
    EXPECT_EQ(getStream(src, "a"), pattern(1, 0));
}

// --- memory streams ------------------------------------------------------------------

TEST(StorageMemory, StreamOnHGlobal)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 4);
    std::memcpy(GlobalLock(h), "wxyz", 4);
    GlobalUnlock(h);
    ComPtr<IStream> s;
    ASSERT_EQ(CreateStreamOnHGlobal(h, TRUE, &s), S_OK);
    STATSTG st;
    ASSERT_EQ(s->Stat(&st, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, 4u);  // starts with the block's content
    EXPECT_EQ(st.pwcsName, nullptr);
    EXPECT_EQ(tvp::fileTimeToTicks(st.ctime), 0u);
    LARGE_INTEGER off;
    off.QuadPart = 6;
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    ULONG n = 0;
    ASSERT_EQ(s->Write("!", 1, &n), S_OK);
    HGLOBAL back = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(s, &back), S_OK);
    EXPECT_EQ(back, h);
    ASSERT_EQ(GlobalSize(h), 7u);
    EXPECT_EQ(std::memcmp(GlobalLock(h), "wxyz\0\0!", 7), 0);
    GlobalUnlock(h);
    ComPtr<IStream> c;
    ASSERT_EQ(s->Clone(&c), S_OK);
    s = nullptr;  // the clone keeps the block alive
    off.QuadPart = 0;
    ASSERT_EQ(c->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    char buf[8];
    ASSERT_EQ(c->Read(buf, 8, &n), S_OK);
    EXPECT_EQ(n, 7u);
    // The block's own bytes written into it, past its end and across it:
    // the source moves while the block grows.
    ASSERT_EQ(c->Write(GlobalLock(h), 7, &n), S_OK);
    GlobalUnlock(h);
    off.QuadPart = 10;
    ASSERT_EQ(c->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(c->Write(GlobalLock(h), 7, &n), S_OK);
    GlobalUnlock(h);
    ASSERT_EQ(GlobalSize(h), 17u);
    EXPECT_EQ(std::memcmp(GlobalLock(h), "wxyz\0\0!wxywxyz\0\0!", 17), 0);
    GlobalUnlock(h);
    ComPtr<ILockBytes> lb;
    EXPECT_EQ(GetHGlobalFromILockBytes(lb, &back), E_INVALIDARG);
}

}  // namespace

// --- streams spilled into temporary files --------------------------------------

namespace {

// Every stream above a few KB is spilled (the budget of one byte is always
// exceeded); spill files go to the test's directory.
class SpillTest : public StorageTest {
protected:
    void SetUp() override
    {
        StorageTest::SetUp();
        const char* old = std::getenv("TMPDIR");
        hadTmp_ = old != nullptr;
        if (old) oldTmp_ = old;
        ::setenv("TMPDIR", dir_.c_str(), 1);
        tvp::stg::setSpillLimits(4096, 1);
    }
    void TearDown() override
    {
        tvp::stg::setSpillLimits(0, 0);
        if (hadTmp_) ::setenv("TMPDIR", oldTmp_.c_str(), 1);
        else ::unsetenv("TMPDIR");
        StorageTest::TearDown();
    }

    bool hadTmp_ = false;
    std::string oldTmp_;
};

void writeAt(IStream* s, uint64_t at, const Bytes& b)
{
    LARGE_INTEGER off;
    off.QuadPart = int64_t(at);
    ASSERT_EQ(s->Seek(off, STREAM_SEEK_SET, nullptr), S_OK);
    ULONG n = 0;
    ASSERT_EQ(s->Write(b.data(), ULONG(b.size()), &n), S_OK);
    ASSERT_EQ(n, b.size());
}

// What the same write does to the expected bytes.
void modelWrite(Bytes& model, uint64_t at, const Bytes& b)
{
    if (model.size() < at + b.size()) model.resize(size_t(at + b.size()), 0);
    std::copy(b.begin(), b.end(), model.begin() + std::ptrdiff_t(at));
}

}  // namespace

// A spilled stream answers every call as one in memory: appends in window
// pieces, writes inside, a write past the end over a gap of zeros,
// shrinking and growing, a clone's writes, CopyTo into itself and into other
// files, storage copies, commit and reopening - the bytes after each step
// against a model, the file against the independent reader.
TEST_F(SpillTest, SpilledStreamsKeepEveryOperation)
{
    const size_t before = tvp::stg::spillableBytesInMemory();
    Bytes model, inOther;
    {
        ComPtr<IStorage> root = createFile(wpath("spill.stg"));
        ComPtr<IStream> s;
        ASSERT_EQ(root->CreateStream(u"big", kRW, 0, 0, &s), S_OK);
        for (uint32_t i = 0; i < 64; ++i) {
            const Bytes piece = pattern(16384, i);
            writeAt(s, model.size(), piece);
            modelWrite(model, model.size(), piece);
        }
        // The megabyte is no longer held in memory.
        EXPECT_LT(tvp::stg::spillableBytesInMemory(), before + 65536);
        EXPECT_EQ(readAll(s), model);

        const struct {
            const char* what;
            uint64_t at;
            size_t n;
        } writes[] = {{"inside", 5000, 70000}, {"at the end", model.size() - 10, 20}, {"past a gap", 2u << 20, 9000}};
        for (const auto& w : writes) {
            const Bytes b = pattern(w.n, uint32_t(w.at));
            writeAt(s, w.at, b);
            modelWrite(model, w.at, b);
            EXPECT_EQ(readAll(s), model) << w.what;
        }
        for (uint64_t size : {uint64_t(300000), uint64_t(1) << 21, uint64_t(4096), uint64_t(0), uint64_t(100000)}) {
            ULARGE_INTEGER sz;
            sz.QuadPart = size;
            ASSERT_EQ(s->SetSize(sz), S_OK);
            model.resize(size_t(size), 0);
            EXPECT_EQ(readAll(s), model) << "size " << size;
        }
        const Bytes refill = pattern(500000, 77);
        writeAt(s, 0, refill);
        modelWrite(model, 0, refill);

        // A clone writes into the same bytes; CopyTo into the clone copies
        // what was there before.
        ComPtr<IStream> c;
        ASSERT_EQ(s->Clone(&c), S_OK);
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        ASSERT_EQ(s->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
        ASSERT_EQ(c->Seek(zero, STREAM_SEEK_END, nullptr), S_OK);
        ULARGE_INTEGER all, rd, wr;
        all.QuadPart = ~0ull;
        ASSERT_EQ(s->CopyTo(c, all, &rd, &wr), S_OK);
        EXPECT_EQ(rd.QuadPart, model.size());
        EXPECT_EQ(wr.QuadPart, model.size());
        const Bytes once = model;
        modelWrite(model, once.size(), once);
        EXPECT_EQ(readAll(c), model);

        // Into a stream of another file and into a storage copy.
        ComPtr<IStorage> other = createFile(wpath("other.stg"));
        {
            ComPtr<IStream> t;
            ASSERT_EQ(other->CreateStream(u"t", kRW, 0, 0, &t), S_OK);
            ASSERT_EQ(s->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
            ASSERT_EQ(s->CopyTo(t, all, &rd, &wr), S_OK);
            EXPECT_EQ(rd.QuadPart, model.size());
            EXPECT_EQ(wr.QuadPart, model.size());
            // Both positions are at the end: a further write appends.
            ULARGE_INTEGER at;
            ASSERT_EQ(t->Seek(zero, STREAM_SEEK_CUR, &at), S_OK);
            EXPECT_EQ(at.QuadPart, model.size());
            ASSERT_EQ(s->Seek(zero, STREAM_SEEK_CUR, &at), S_OK);
            EXPECT_EQ(at.QuadPart, model.size());
            EXPECT_EQ(readAll(t), model);
        }
        s = nullptr;
        c = nullptr;
        ComPtr<IStorage> copy = createFile(wpath("copy.stg"));
        ASSERT_EQ(root->CopyTo(0, nullptr, nullptr, copy), S_OK);
        // The copy is a copy: writes into the original and into the copy
        // each change only their own bytes.
        Bytes original = model;
        inOther = model;
        {
            ComPtr<IStream> o;
            ASSERT_EQ(root->OpenStream(u"big", nullptr, kRW, 0, &o), S_OK);
            const Bytes b = pattern(5000, 8);
            writeAt(o, 100, b);
            modelWrite(original, 100, b);
        }
        {
            ComPtr<IStream> o;
            ASSERT_EQ(copy->OpenStream(u"big", nullptr, kRW, 0, &o), S_OK);
            const Bytes b = pattern(20000, 9);
            writeAt(o, model.size(), b);
            modelWrite(model, model.size(), b);
        }
        EXPECT_EQ(getStream(root, "big"), original);
        EXPECT_EQ(getStream(copy, "big"), model);
        ASSERT_EQ(copy->Commit(STGC_DEFAULT), S_OK);
        ASSERT_EQ(other->Commit(STGC_DEFAULT), S_OK);
        // A second commit writes the same file again.
        ASSERT_EQ(copy->Commit(STGC_DEFAULT), S_OK);
    }
    EXPECT_EQ(tvp::stg::spillableBytesInMemory(), before);
    for (const char* file : {"copy.stg", "other.stg"}) {
        ComPtr<IStorage> again = openFile(wpath(file));
        const bool copied = std::string(file) == "copy.stg";
        EXPECT_EQ(getStream(again, copied ? "big" : "t"), copied ? model : inOther) << file;
    }
    auto listing = oleListing(path("copy.stg"));
    EXPECT_EQ(listing["S big"], std::to_string(model.size()) + " " + md5hex(model));
}

// A file opened with large streams spills them as it reads them, and small
// compound files stay in memory while the budget holds.
TEST_F(SpillTest, BudgetDecidesWhatSpills)
{
    const Bytes big = pattern(3u << 20, 5);
    {
        ComPtr<IStorage> root = createFile(wpath("open.stg"));
        putStream(root, "big", big);
    }
    const size_t before = tvp::stg::spillableBytesInMemory();
    {
        ComPtr<IStorage> root = openFile(wpath("open.stg"), kRW);
        EXPECT_LT(tvp::stg::spillableBytesInMemory(), before + 65536);
        EXPECT_EQ(getStream(root, "big"), big);
    }
    tvp::stg::setSpillLimits(4096, 256u << 10);
    {
        ComPtr<IStorage> root = createFile(wpath("budget.stg"));
        for (int i = 0; i < 3; ++i) putStream(root, "small" + std::to_string(i), pattern(50000, uint32_t(i)));
        EXPECT_GE(tvp::stg::spillableBytesInMemory(), before + 150000);
        putStream(root, "big", big);
        EXPECT_LT(tvp::stg::spillableBytesInMemory(), before + (256u << 10));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(getStream(root, "small" + std::to_string(i)), pattern(50000, uint32_t(i)));
        EXPECT_EQ(getStream(root, "big"), big);
    }
    EXPECT_EQ(tvp::stg::spillableBytesInMemory(), before);
}

// The large streams of an opened file are read where they lie in it. A copy
// made of them elsewhere keeps the bytes they had when the file is written
// anew - by a new file put in its place, or in place where no new file can be
// made beside it (a name too long for the temporary one) - and writes into
// the stream change only the stream.
TEST_F(SpillTest, OpenedStreamsStayInTheirFile)
{
    const Bytes big = pattern(3u << 20, 21);
    const Bytes also = pattern(300000, 22);
    for (const std::string& name : {std::string("regions.stg"), std::string(248, 'r') + ".stg"}) {
        {
            ComPtr<IStorage> root = createFile(wpath(name));
            putStream(root, "big", big);
            ComPtr<IStorage> sub;
            ASSERT_EQ(root->CreateStorage(u"sub", kRW, 0, 0, &sub), S_OK);
            putStream(sub, "also", also);
        }
        ComPtr<IStorage> other = createFile(wpath("other.stg"));
        Bytes changed = big;
        {
            ComPtr<IStorage> root = openFile(wpath(name), kRW);
            ASSERT_EQ(root->CopyTo(0, nullptr, nullptr, other), S_OK);
            ComPtr<IStream> s;
            ASSERT_EQ(root->OpenStream(u"big", nullptr, kRW, 0, &s), S_OK);
            const Bytes b = pattern(70000, 23);
            writeAt(s, 1000, b);
            modelWrite(changed, 1000, b);
            s = nullptr;
            EXPECT_EQ(getStream(root, "big"), changed) << name;
            ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK) << name;
            ComPtr<IStorage> sub;
            ASSERT_EQ(root->OpenStorage(u"sub", nullptr, kRW, nullptr, 0, &sub), S_OK);
            EXPECT_EQ(getStream(sub, "also"), also) << name;
        }
        EXPECT_EQ(getStream(other, "big"), big) << name;
        ASSERT_EQ(other->Commit(STGC_DEFAULT), S_OK);
        auto listing = oleListing(path(name));
        EXPECT_EQ(listing["S big"], std::to_string(changed.size()) + " " + md5hex(changed)) << name;
        EXPECT_EQ(listing["S sub/also"], std::to_string(also.size()) + " " + md5hex(also)) << name;
        listing = oleListing(path("other.stg"));
        EXPECT_EQ(listing["S big"], std::to_string(big.size()) + " " + md5hex(big)) << name;
        EXPECT_EQ(listing["S sub/also"], std::to_string(also.size()) + " " + md5hex(also)) << name;
    }
    // Copies of its streams do not keep the file locked once its root is
    // released.
    {
        ComPtr<IStorage> held = createFile(wpath("held.stg"));
        {
            ComPtr<IStorage> root = openFile(wpath("regions.stg"), kRW);
            ASSERT_EQ(root->CopyTo(0, nullptr, nullptr, held), S_OK);
        }
        ComPtr<IStorage> again;
        EXPECT_EQ(StgOpenStorage(wpath("regions.stg").c_str(), nullptr, kRW, nullptr, 0, &again), S_OK);
        EXPECT_EQ(getStream(held, "big"), getStream(again, "big"));
    }
    // A file cut short behind its opener's back is a read fault, not zeros.
    ComPtr<IStorage> root = openFile(wpath("regions.stg"));
    ASSERT_EQ(::truncate(path("regions.stg").c_str(), 8192), 0);
    ComPtr<IStream> s;
    ASSERT_EQ(root->OpenStream(u"big", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s), S_OK);
    Bytes buf(65536);
    ULONG n = 0;
    EXPECT_EQ(s->Read(buf.data(), ULONG(buf.size()), &n), STG_E_READFAULT);
}

// A file opened as a copy is read where it is and never written: its copy
// receives the whole file at the first commit, or at the release when
// nothing was committed - also when nothing changed.
TEST_F(SpillTest, OpenedAsACopyTheFileStaysAsItWas)
{
    const Bytes big = pattern(1u << 20, 31);
    const Bytes small = pattern(300, 32);
    {
        ComPtr<IStorage> root = createFile(wpath("orig.stg"));
        putStream(root, "big", big);
        putStream(root, "small", small);
    }
    auto readBytes = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::string before = readBytes(path("orig.stg"));
    const int fd = ::open(path("orig.stg").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (const char* name : {"changed.stg", "same.stg"}) {
        ::close(::open(path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        const bool change = std::string(name) == "changed.stg";
        {
            ComPtr<IStorage> copy;
            ASSERT_EQ(TvOpenStorageAsCopy(fd, wpath(name).c_str(), &copy), S_OK) << name;
            EXPECT_EQ(getStream(copy, "big"), big) << name;
            if (change) {
                putStream(copy, "small", big);
                ASSERT_EQ(copy->Commit(STGC_DEFAULT), S_OK);
            }
        }
        auto listing = oleListing(path(name));
        EXPECT_EQ(listing["S big"], std::to_string(big.size()) + " " + md5hex(big)) << name;
        const Bytes& now = change ? big : small;
        EXPECT_EQ(listing["S small"], std::to_string(now.size()) + " " + md5hex(now)) << name;
    }
    ::close(fd);
    EXPECT_EQ(readBytes(path("orig.stg")), before);
}

// Past the most spill files open at once, new large contents stay in memory.
TEST_F(SpillTest, SpillFilesAreLimited)
{
    tvp::stg::setSpillLimits(4096, 1, 2);
    const size_t before = tvp::stg::spillableBytesInMemory();
    ComPtr<IStorage> root = createFile(wpath("files.stg"));
    for (int i = 0; i < 4; ++i) putStream(root, "s" + std::to_string(i), pattern(100000, uint32_t(i)));
    // Two spilled, two in memory.
    EXPECT_GE(tvp::stg::spillableBytesInMemory(), before + 200000);
    EXPECT_LT(tvp::stg::spillableBytesInMemory(), before + 300000);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(getStream(root, "s" + std::to_string(i)), pattern(100000, uint32_t(i)));
    ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    EXPECT_EQ(oleListing(path("files.stg"))["S s3"], "100000 " + md5hex(pattern(100000, 3)));
}

// Without a place for spill files the bytes stay in memory and nothing fails.
TEST_F(SpillTest, WithoutSpillFilesTheBytesStayInMemory)
{
    ::setenv("TMPDIR", path("missing/dir").c_str(), 1);
    const size_t before = tvp::stg::spillableBytesInMemory();
    ComPtr<IStorage> root = createFile(wpath("mem.stg"));
    const Bytes big = pattern(1u << 20, 9);
    putStream(root, "big", big);
    EXPECT_GE(tvp::stg::spillableBytesInMemory(), before + big.size());
    EXPECT_EQ(getStream(root, "big"), big);
    ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    EXPECT_EQ(oleListing(path("mem.stg"))["S big"], std::to_string(big.size()) + " " + md5hex(big));
}

// A full disk while spilling: a write fails with STG_E_MEDIUMFULL once the
// bytes it gathered cannot reach the spill file, the bytes taken before stay
// readable, and a commit that cannot write the file fails and leaves the
// file as it was.
TEST_F(SpillTest, FullDiskWhileSpillingFailsClearly)
{
    const Bytes old = pattern(10000, 3);
    ComPtr<IStorage> root = createFile(wpath("full.stg"));
    putStream(root, "old", old);
    ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    const std::string listed = oleListing(path("full.stg"))["S old"];
    ASSERT_EQ(listed, std::to_string(old.size()) + " " + md5hex(old));

    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 256u << 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);

    ComPtr<IStream> s;
    ASSERT_EQ(root->CreateStream(u"big", kRW, 0, 0, &s), S_OK);
    Bytes taken;
    HRESULT failed = S_OK;
    for (uint32_t i = 0; i < 256 && failed == S_OK; ++i) {
        const Bytes piece = pattern(16384, i);
        ULONG n = 0;
        failed = s->Write(piece.data(), ULONG(piece.size()), &n);
        if (failed == S_OK) taken.insert(taken.end(), piece.begin(), piece.end());
        else EXPECT_EQ(n, 0u);
    }
    EXPECT_EQ(failed, STG_E_MEDIUMFULL);
    EXPECT_EQ(readAll(s), taken);
    s = nullptr;
    EXPECT_NE(root->Commit(STGC_DEFAULT), S_OK);

    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(oleListing(path("full.stg"))["S old"], listed);
    EXPECT_EQ(oleListing(path("full.stg")).count("S big"), 0u);
    // With room again the commit writes everything taken.
    ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    EXPECT_EQ(oleListing(path("full.stg"))["S big"], std::to_string(taken.size()) + " " + md5hex(taken));
}
