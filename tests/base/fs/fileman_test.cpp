// File manager: opening and creating compound files, working copies, the
// storage modes and the storage library, paths and plain text files.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/fs/FsFileMan.h"
#include "base/fs/FsLockBytes.h"
#include "co/GlobTools.h"
#include "platform/library.h"
#include "platform/settings_store.h"

namespace {

const char* const kHklm = "HKEY_LOCAL_MACHINE";
const char* const kKernfeld = "SOFTWARE\\Korvent\\VRX\\4.1\\Kernfeld";

// A fresh directory for one test, removed afterwards; the working
// directory is restored.
struct TempDir {
    std::string path;
    std::string savedCwd;
    TempDir()
    {
        String d = createTempDirectory();
        path = std::string(d.chars(), size_t(d.length()));
        char buf[4096];
        savedCwd = ::getcwd(buf, sizeof(buf)) ? buf : ".";
    }
    ~TempDir()
    {
        if (::chdir(savedCwd.c_str()) != 0) std::perror("chdir");
        removeDirectoryTree(path.c_str());
    }
    std::string file(const char* name) const { return path + "/" + name; }
};

bool exists(const std::string& p) { return ::access(p.c_str(), F_OK) == 0; }

// Makes a compound file with a "header" holding the magic number 3 and one
// section of the given text.
void makeFile(const std::string& path, const char* text)
{
    FsFileMan f;
    ASSERT_EQ(0u, f.openFile(path.c_str(), FS_OPEN_CREATE));
    FsSecCl* h = f.getSect("header", FS_MODE_WRITE);
    ASSERT_NE(nullptr, h);
    *h << int32_t(3);
    h->putNewLine();
    FsSecCl* s = f.getSect("body", FS_MODE_WRITE);
    *s << text;
    ASSERT_EQ(0u, f.CloseFile());
}

std::string readBody(FsSectMan& m)
{
    FsSecCl* s = nullptr;
    if (m.openSect("body", &s, 0) != 0) return "<none>";
    std::string out(s->getSize(), '\0');
    if (!out.empty()) s->readBytes(&out[0], uint32_t(out.size()));
    m.CloseSect("body");
    return out;
}

}  // namespace

TEST(FsFileMan, OpenResults)
{
    TempDir dir;
    FsFileMan f;
    EXPECT_EQ(uint32_t(FS_NOT_FOUND), f.openFile(dir.file("missing").c_str(), 0));
    std::ofstream(dir.file("text.txt")) << "just text\n";
    EXPECT_EQ(uint32_t(FS_WRONG_KIND), f.openFile(dir.file("text.txt").c_str(), 0));
    EXPECT_FALSE(f.hasStorage());

    makeFile(dir.file("a.cf"), "alpha");
    ASSERT_EQ(0u, f.openFile(dir.file("a.cf").c_str(), 0));
    EXPECT_EQ(3, f.getMagic());
    EXPECT_EQ(dir.file("a.cf"), std::string(f.getFileName()));
    EXPECT_EQ(uint32_t(FS_ALREADY_OPEN), f.openFile(dir.file("a.cf").c_str(), FS_OPEN_WRITE));
    EXPECT_FALSE(f.isWritable());  // the second open changed nothing
    EXPECT_EQ(std::string("alpha"), readBody(f));

    // Read-only: writing and saving are refused.
    FsSecCl* s = nullptr;
    EXPECT_EQ(uint32_t(FS_LENT), f.openSect("body", &s, FS_MODE_WRITE));
    EXPECT_EQ(nullptr, f.getSect("new", FS_MODE_WRITE));
    EXPECT_EQ(uint32_t(FS_LENT), f.saveFile());
    EXPECT_EQ(0u, f.CloseFile());
    EXPECT_EQ(uint32_t(FS_FAILED), f.CloseFile());

    // A storage made afterwards on the same manager has no magic number yet.
    ASSERT_EQ(0u, f.openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
    EXPECT_EQ(-1, f.getMagic());
    EXPECT_EQ(0u, f.CloseFile());
}

TEST(FsFileMan, CreateInTheWorkingDirectoryAndInMemory)
{
    TempDir dir;
    ASSERT_EQ(0, ::chdir(dir.path.c_str()));
    {
        FsFileMan f;
        ASSERT_EQ(0u, f.openFile("", FS_OPEN_CREATE));
        std::string name = f.getFileName();
        EXPECT_EQ(dir.path + "/Fs", name.substr(0, dir.path.size() + 3));
        EXPECT_EQ(0u, f.CloseFile());
        EXPECT_TRUE(exists(name));
    }
    {
        FsFileMan m;
        ASSERT_EQ(0u, m.openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
        EXPECT_TRUE(m.isWritable());
        FsSecCl* s = m.getSect("body", FS_MODE_WRITE);
        ASSERT_NE(nullptr, s);
        *s << "in memory";
        EXPECT_EQ(0u, m.CloseSect("body"));
        EXPECT_EQ(std::string("in memory"), readBody(m));
        EXPECT_EQ(0u, m.CloseFile());
    }
}

// A file is named by the bytes of its path, whatever their encoding: made,
// opened again, and read through a working copy under the name given.
TEST(FsFileMan, PathsAreBytes)
{
    TempDir dir;
    for (const char* name : {"Gr\xC3\xBC\xC3\x9F" "e.cf", "Gr\xFC\xDF" "e.cf", "c1 \x80\x9F.cf"}) {
        const std::string path = dir.file(name);
        makeFile(path, "bytes");
        EXPECT_TRUE(exists(path)) << name;
        for (uint32_t flags : {0u, FS_OPEN_TEMP_COPY}) {
            FsFileMan f;
            ASSERT_EQ(0u, f.openFile(path.c_str(), flags)) << name;
            EXPECT_EQ(path, f.getFileName());
            EXPECT_EQ(std::string("bytes"), readBody(f)) << name;
            EXPECT_EQ(0u, f.CloseFile());
        }
    }
}

TEST(FsFileMan, WorkingCopyIsSavedBack)
{
    TempDir dir;
    std::string path = dir.file("w.cf");
    makeFile(path, "first");
    {
        FsFileMan f;
        ASSERT_EQ(0u, f.openFile(path.c_str(), FS_OPEN_WRITE | FS_OPEN_TEMP_COPY));
        ASSERT_TRUE(f.onTempCopy());
        std::string temp = f.getTempName();
        EXPECT_NE(path, temp);
        FsSecCl* s = f.getSect("body", FS_MODE_WRITE);
        ASSERT_NE(nullptr, s);
        s->setSize(0);
        *s << "second";  // still in the section's window when saving
        EXPECT_EQ(0u, f.saveFile());
        {
            FsFileMan r;
            ASSERT_EQ(0u, r.openFile(path.c_str(), 0));
            EXPECT_EQ(std::string("second"), readBody(r));
        }
        *s << " and third";  // not saved: lost on close
        EXPECT_EQ(0u, f.CloseFile());
        EXPECT_FALSE(exists(temp));
    }
    FsFileMan r;
    ASSERT_EQ(0u, r.openFile(path.c_str(), 0));
    EXPECT_EQ(std::string("second"), readBody(r));

    // A new file on a working copy appears only when saved.
    std::string fresh = dir.file("fresh.cf");
    FsFileMan c;
    ASSERT_EQ(0u, c.openFile(fresh.c_str(), FS_OPEN_CREATE | FS_OPEN_TEMP_COPY));
    *c.getSect("body", FS_MODE_WRITE) << "made";
    EXPECT_FALSE(exists(fresh));
    EXPECT_EQ(0u, c.saveFile());
    EXPECT_TRUE(exists(fresh));
    EXPECT_EQ(0u, c.CloseFile());
    FsFileMan r2;
    ASSERT_EQ(0u, r2.openFile(fresh.c_str(), 0));
    EXPECT_EQ(std::string("made"), readBody(r2));
}

TEST(FsFileMan, SaveWithoutACopyCommitsOpenSections)
{
    TempDir dir;
    std::string path = dir.file("direct.cf");
    makeFile(path, "before");
    FsFileMan f;
    ASSERT_EQ(0u, f.openFile(path.c_str(), FS_OPEN_WRITE));
    FsSecCl* s = f.getSect("body", FS_MODE_WRITE);
    s->setSize(0);
    *s << "after";
    EXPECT_EQ(0u, f.saveFile());
    FsFileMan r;  // the writer holds the file: read through a copy
    ASSERT_EQ(0u, r.openFile(path.c_str(), 0));
    EXPECT_EQ(std::string("after"), readBody(r));
}

TEST(FsFileMan, ScratchFileIsRemovedUnwrittenOnClose)
{
    TempDir dir;
    const std::string path = dir.file("scratch.cf");
    FsFileMan f;
    ASSERT_EQ(0u, f.openFile(path.c_str(), FS_OPEN_CREATE | FS_OPEN_DISCARD));
    struct stat made;
    ASSERT_EQ(0, ::stat(path.c_str(), &made));  // an empty compound file at first
    FsSecCl* s = f.getSect("body", FS_MODE_WRITE);
    ASSERT_NE(nullptr, s);
    *s << std::string(100000, 'x').c_str();
    EXPECT_EQ(0u, f.CloseSect("body"));
    EXPECT_EQ(std::string(100000, 'x'), readBody(f));  // the sections live in memory meanwhile
    struct stat open;
    ASSERT_EQ(0, ::stat(path.c_str(), &open));
    EXPECT_EQ(made.st_size, open.st_size);
    EXPECT_EQ(0u, f.CloseFile());
    struct stat closed;
    EXPECT_NE(0, ::stat(path.c_str(), &closed));
}

TEST(FsFileMan, LockedFileIsReadThroughACopy)
{
    TempDir dir;
    std::string path = dir.file("locked.cf");
    makeFile(path, "locked content");
    FsFileMan holder;
    ASSERT_EQ(0u, holder.openFile(path.c_str(), FS_OPEN_WRITE));

    FsFileMan writer;
    EXPECT_EQ(uint32_t(FS_OPEN_FAILED), writer.openFile(path.c_str(), FS_OPEN_WRITE));

    FsFileMan reader;
    ASSERT_EQ(0u, reader.openFile(path.c_str(), 0));
    EXPECT_TRUE(reader.onTempCopy());
    EXPECT_TRUE((reader.getFlags() & FS_OPEN_TEMP_COPY) != 0);
    EXPECT_EQ(std::string("locked content"), readBody(reader));
    EXPECT_EQ(uint32_t(FS_LENT), reader.saveFile());
    std::string temp = reader.getTempName();
    EXPECT_TRUE(exists(temp));
    EXPECT_EQ(0u, reader.CloseFile());
    EXPECT_FALSE(exists(temp));
}

TEST(FsFileMan, StorageModes)
{
    struct Case {
        bool present;
        uint32_t value;
        uint32_t mode;
    } cases[] = {{false, 0, 3}, {true, 0, 1}, {true, 2, 3}, {true, 1, 2}, {true, 3, 2}, {true, 6, 3}};
    for (const Case& c : cases) {
        if (c.present)
            tvp::settingsSetDword(kHklm, kKernfeld, "STORAGE_MODE", c.value);
        else
            tvp::settingsDeleteValue(kHklm, kKernfeld, "STORAGE_MODE");
        fsResetStorageMode();
        EXPECT_EQ(c.mode, fsStorageMode(false)) << c.value;
        EXPECT_EQ(c.mode, fsStorageMode(true)) << c.value;

        LONG before = fsMemoryObjectCount();
        {
            FsFileMan m;
            ASSERT_EQ(0u, m.openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY)) << c.value;
            FsSectMan* d = m.getDir("code", FS_MODE_WRITE);
            ASSERT_NE(nullptr, d);
            FsSecCl* s = d->getSect("body", FS_MODE_WRITE);
            std::string big(70000, 'm');
            s->writeBytes(big.data(), uint32_t(big.size()));
            m.CloseAll();
            IStream* copy = nullptr;
            m.getDir("code", 0)->getCopyOfSect(&copy, "body");
            ASSERT_NE(nullptr, copy);
            STATSTG st{};
            copy->Stat(&st, STATFLAG_NONAME);
            EXPECT_EQ(70000u, st.cbSize.QuadPart);
            if (c.mode == 3) {
                EXPECT_GT(fsMemoryObjectCount(), before);  // lock bytes and stream of ours
            }
            copy->Release();

            FsSecClMem mem;
            mem << "abc";
            EXPECT_EQ(0u, mem.getError());
            EXPECT_EQ(3u, mem.getSize());
        }
        EXPECT_EQ(before, fsMemoryObjectCount());
    }
    tvp::settingsDeleteValue(kHklm, kKernfeld, "STORAGE_MODE");
    fsResetStorageMode();
}

// Without the storage library the open is refused; a stand-in library,
// compiled at run time next to the tests, answers every file with fixed
// results and counts its calls.
TEST(FsFileMan, StorageLibrary)
{
    TempDir dir;
    makeFile(dir.file("s.cf"), "x");
    std::string lib = std::string(TV_BINARY_DIR) + "/tests/libtvstorag.so";
    if (exists(lib)) GTEST_SKIP() << "a storage library lies next to the tests";
    {
        FsFileMan f;
        EXPECT_EQ(uint32_t(FS_FAILED), f.openFile(dir.file("s.cf").c_str(), FS_OPEN_STORAGE_LIB));
        EXPECT_FALSE(f.hasStorage());
    }

    std::string src = dir.file("stg.c");
    std::ofstream(src) << "static int calls;\n"
                          "int AdoStgIsStorageFile(const void* n) { calls++; return 0; }\n"
                          "int AdoStgOpenStorage(const void* n, void* p, unsigned m, void* s, unsigned r, void** o)\n"
                          "{ calls += 10; *o = 0; return (int)0x80030002u; }\n"
                          "int AdoStgCreateDocfile(const void* n, unsigned m, unsigned r, void** o)\n"
                          "{ calls += 100; *o = 0; return (int)0x80030005u; }\n"
                          "int stand_in_calls(void) { return calls; }\n";
    std::string cmd = "cc -shared -fPIC -o '" + lib + "' '" + src + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "no C compiler for the stand-in storage library";

    // The library is released when openFile returns.
    {
        FsFileMan once;
        EXPECT_EQ(uint32_t(FS_OPEN_FAILED), once.openFile(dir.file("s.cf").c_str(), FS_OPEN_STORAGE_LIB));
        EXPECT_EQ(nullptr, dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD));
    }

    // Held here, the stand-in keeps its call counter across the opens.
    HMODULE h = LoadLibraryA("tvstorag");
    ASSERT_NE(nullptr, h);
    FsFileMan f;
    // The stand-in says "compound file" but cannot open it: the read-only
    // open falls back to a copy, which fails as well.
    EXPECT_EQ(uint32_t(FS_OPEN_FAILED), f.openFile(dir.file("s.cf").c_str(), FS_OPEN_STORAGE_LIB));
    FsFileMan g;
    EXPECT_EQ(uint32_t(FS_CREATE_FAILED), g.openFile(dir.file("n.cf").c_str(), FS_OPEN_STORAGE_LIB | FS_OPEN_CREATE));
    auto calls = reinterpret_cast<int (*)()>(GetProcAddress(h, "stand_in_calls"));
    ASSERT_NE(nullptr, calls);
    EXPECT_EQ(1 + 10 + 10 + 100, calls());
    FreeLibrary(h);
    std::remove(lib.c_str());
}

TEST(FsFile, PathsAndRemoval)
{
    TempDir dir;
    ASSERT_EQ(0, ::mkdir(dir.file("sub").c_str(), 0700));
    ASSERT_EQ(0, ::chdir(dir.path.c_str()));
    char before[4096];
    ASSERT_NE(nullptr, ::getcwd(before, sizeof(before)));
    FsFile f;
    EXPECT_EQ(0u, f.setName("sub/../sub/x.cf"));
    EXPECT_EQ(dir.file("sub/x.cf"), std::string(f.getFileName()));
    EXPECT_EQ(0u, f.setName("bare.cf"));
    EXPECT_EQ(dir.file("bare.cf"), std::string(f.getFileName()));
    EXPECT_EQ(0u, f.setName("C:\\cfg\\x.cf"));
    EXPECT_EQ(std::string("C:\\cfg\\x.cf"), std::string(f.getFileName()));
    EXPECT_EQ(1u, f.setName("nodir/x.cf"));
    EXPECT_EQ(1u, f.setName(std::string(300, 'a').c_str()));
    char after[4096];
    ASSERT_NE(nullptr, ::getcwd(after, sizeof(after)));
    EXPECT_STREQ(before, after);

    makeFile(dir.file("gone.cf"), "x");
    FsFileMan m;
    ASSERT_EQ(0u, m.openFile(dir.file("gone.cf").c_str(), FS_OPEN_WRITE));
    EXPECT_EQ(0u, m.removeFile());
    EXPECT_FALSE(exists(dir.file("gone.cf")));
    FsFile none;
    EXPECT_EQ(1u, none.removeFile());
}

TEST(FsStdFile, TemporaryTextFile)
{
    TempDir dir;
    ASSERT_EQ(0, ::chdir(dir.path.c_str()));
    FsStdFile f;
    ASSERT_EQ(0u, f.open("", std::ios::out | std::ios::trunc));
    std::string name = f.getFileName();
    EXPECT_EQ(dir.path + "/FS", name.substr(0, dir.path.size() + 3));
    f << "line\n";
    EXPECT_EQ(0u, f.close());
    std::ifstream in(name);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ("line", line);

    FsStdFile g;
    EXPECT_EQ(1u, g.open("", std::ios::in));
    EXPECT_EQ(1u, g.open(dir.file("no/such/file").c_str(), std::ios::in));
}
