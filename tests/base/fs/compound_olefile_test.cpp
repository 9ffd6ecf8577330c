// A compound file written through the file manager, the section manager and
// section streams is read by an independent reader (olefile under the
// system's Python) with the same tree and the same bytes, and reads back
// identically through our own layer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/fs/FsFileMan.h"
#include "co/GlobTools.h"

namespace {

uint32_t crc32(const std::string& data)
{
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : data) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Deterministic bytes for a stream.
std::string pattern(uint32_t size, uint32_t seed)
{
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (uint32_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = char(x >> 24);
    }
    return s;
}

struct StreamPlan {
    std::string path;  // "dir/sub/name"
    uint32_t size;
};

const uint32_t kSizes[] = {0, 1, 4095, 4096, 4097, 16383, 16384, 16385, 1u << 20, 8u << 20};

std::vector<StreamPlan> layout()
{
    std::vector<StreamPlan> v;
    int n = 0;
    for (uint32_t size : kSizes) {
        const char* dir = (n % 3 == 0) ? "" : (n % 3 == 1) ? "code/" : "code/deep/";
        v.push_back({std::string(dir) + "s" + std::to_string(n), size});
        ++n;
    }
    v.push_back({"other/empty", 0});
    v.push_back({"header", 7});
    return v;
}

// Opens the directory chain of a path ("a/b/name") and returns the manager
// holding the stream, plus the stream's name.
FsSectMan* walk(FsSectMan* root, const std::string& path, uint32_t mode, std::string& leaf)
{
    FsSectMan* m = root;
    size_t start = 0;
    for (size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1) {
        std::string dir = path.substr(start, slash - start);
        m = m->getDir(dir.c_str(), mode);
        if (!m) return nullptr;
    }
    leaf = path.substr(start);
    return m;
}

std::string runCapture(const std::string& cmd)
{
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
    if (::pclose(p) != 0) out += "\n<exit status non-zero>";
    return out;
}

const char* kLister = R"(
import sys, zlib
import olefile
ole = olefile.OleFileIO(sys.argv[1])
for entry in sorted(ole.listdir(streams=True, storages=True)):
    name = "/".join(entry)
    if ole.get_type(entry) == olefile.STGTY_STORAGE:
        print("D", name)
    else:
        data = ole.openstream(entry).read()
        print("S", name, len(data), "%08x" % (zlib.crc32(data) & 0xffffffff))
)";

}  // namespace

TEST(CompoundFile, IndependentReaderSeesTheSameTreeAndBytes)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    if (std::system("/usr/bin/python3 -c 'import olefile' 2>/dev/null") != 0) GTEST_SKIP() << "no olefile";

    String dirName = createTempDirectory();
    std::string dir(dirName.chars(), size_t(dirName.length()));
    std::string file = dir + "/tree.cf";
    std::vector<StreamPlan> plans = layout();

    // Write: everything through section streams, in pieces of odd sizes so
    // that writes straddle the section window.
    {
        FsFileMan f;
        ASSERT_EQ(0u, f.openFile(file.c_str(), FS_OPEN_CREATE));
        uint32_t seed = 1;
        for (const StreamPlan& sp : plans) {
            std::string leaf;
            FsSectMan* m = walk(&f, sp.path, FS_MODE_WRITE, leaf);
            ASSERT_NE(nullptr, m) << sp.path;
            FsSecCl* s = m->getSect(leaf.c_str(), FS_MODE_WRITE);
            ASSERT_NE(nullptr, s) << sp.path;
            std::string data = pattern(sp.size, seed++);
            for (size_t pos = 0; pos < data.size();) {
                size_t piece = std::min<size_t>(7919, data.size() - pos);
                s->writeBytes(data.data() + pos, uint32_t(piece));
                pos += piece;
            }
            ASSERT_EQ(0u, s->getError()) << sp.path;
            ASSERT_EQ(0u, m->CloseSect(leaf.c_str()));
        }
        ASSERT_EQ(0u, f.CloseFile());
    }

    // The expected listing, in the lister's order.
    std::map<std::string, std::string> expected;
    uint32_t seed = 1;
    for (const StreamPlan& sp : plans) {
        std::string data = pattern(sp.size, seed++);
        char line[512];
        std::snprintf(line, sizeof(line), "S %s %u %08x", sp.path.c_str(), sp.size, crc32(data));
        expected[sp.path] = line;
        for (size_t slash = sp.path.find('/'); slash != std::string::npos; slash = sp.path.find('/', slash + 1))
            expected[sp.path.substr(0, slash)] = "D " + sp.path.substr(0, slash);
    }
    std::string want;
    for (auto& e : expected) want += e.second + "\n";

    std::string script = dir + "/list.py";
    std::ofstream(script) << kLister;
    std::string got = runCapture("/usr/bin/python3 '" + script + "' '" + file + "' 2>&1");
    EXPECT_EQ(want, got);

    // Our own layer reads the same bytes, through section streams.
    {
        FsFileMan f;
        ASSERT_EQ(0u, f.openFile(file.c_str(), 0));
        seed = 1;
        for (const StreamPlan& sp : plans) {
            std::string leaf;
            FsSectMan* m = walk(&f, sp.path, 0, leaf);
            ASSERT_NE(nullptr, m) << sp.path;
            FsSecCl* s = nullptr;
            ASSERT_EQ(0u, m->openSect(leaf.c_str(), &s, 0)) << sp.path;
            ASSERT_EQ(sp.size, s->getSize()) << sp.path;
            std::string back(sp.size, '\0');
            for (size_t pos = 0; pos < back.size();) {
                size_t piece = std::min<size_t>(6007, back.size() - pos);
                s->readBytes(&back[pos], uint32_t(piece));
                pos += piece;
            }
            EXPECT_EQ(0u, s->getError()) << sp.path;
            EXPECT_TRUE(back == pattern(sp.size, seed)) << sp.path;
            ++seed;
            m->CloseSect(leaf.c_str());
        }
    }
    removeDirectoryTree(dir.c_str());
}

TEST(CompoundFile, TextSectionsKeepTheirExactBytes)
{
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    String dirName = createTempDirectory();
    std::string dir(dirName.chars(), size_t(dirName.length()));
    std::string file = dir + "/text.cf";
    {
        FsFileMan f;
        ASSERT_EQ(0u, f.openFile(file.c_str(), FS_OPEN_CREATE));
        FsSecCl* s = f.getSect("header", FS_MODE_WRITE);
        *s << int32_t(3);
        s->putNewLine();
        RTTypeID id({0x81A04A91, 0x1554, 0x43C3, {0x97, 0xFA, 0x63, 0xDD, 0x5E, 0xA7, 0xD9, 0xFE}}, 0, 0);
        *s << id;
        s->putNewLine();
        *s << String("Name") << ' ' << uint32_t(0xFFFFFFFFu) << ' ' << -0.5;
        s->putNewLine();
        ASSERT_EQ(0u, f.CloseFile());
    }
    std::string script = dir + "/dump.py";
    std::ofstream(script) << "import sys, olefile\n"
                             "ole = olefile.OleFileIO(sys.argv[1])\n"
                             "sys.stdout.write(repr(ole.openstream('header').read()))\n";
    std::string got = runCapture("/usr/bin/python3 '" + script + "' '" + file + "' 2>&1");
    EXPECT_EQ("b'3\\r\\n{81A04A91-1554-43C3-97FA-63DD5EA7D9FE}  0 0 \\r\\n4 Name 4294967295 -0.5\\r\\n'", got);
    removeDirectoryTree(dir.c_str());
}
