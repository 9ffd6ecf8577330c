// Descriptor files: the header text, kind checks, the sections a new file
// gets (checked on disk with an independent compound-file reader) and the
// refusal of files of another kind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "base/fs/FsDsc.h"
#include "base/fs/FsObjFile.h"
#include "test_dsc_util.h"

using namespace dsctest;

namespace {

const char* const kInvalidId = "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}  65535 65535 ";
const char* const kToKind = "{183021FF-2E4E-4315-B613-7E3A69210C36}  0 0 ";
const char* const kTpKind = "{81A04A91-1554-43C3-97FA-63DD5EA7D9FE}  0 0 ";
const char* const kDvKind = "{AC5106C8-1BF0-4BFA-B3C9-072AAD0516D3}  0 0 ";

std::string freshHeaderText(const std::string& kind, const std::string& list)
{
    std::string inv = kInvalidId;
    return "3\r\n" + kind + "\r\n" + list + "\r\n" + inv + "\r\n" + inv + "\r\n" + inv +
           "\r\n0\r\n0 \r\n0 \r\n0\r\n0\r\n";
}

// A temporary directory removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/tv_dsc_XXXXXX";
        const char* p = mkdtemp(tmpl);
        EXPECT_NE(nullptr, p);
        m_path = p ? p : "/tmp";
    }
    ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string file(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// The elements of a compound file as the independent reader lists them:
// "S:path" for streams, "D:path" for storages, sorted.
std::set<std::string> oleEntries(const std::string& path)
{
    std::string script = path + ".py";
    {
        std::ofstream py(script);
        py << "import sys, olefile\n"
              "ole = olefile.OleFileIO(sys.argv[1])\n"
              "for e in ole.listdir(streams=True, storages=True):\n"
              "    kind = 'S' if ole.get_type(e) == olefile.STGTY_STREAM else 'D'\n"
              "    print(kind + ':' + '/'.join(e))\n";
    }
    std::set<std::string> out;
    std::string cmd = "/usr/bin/python3 '" + script + "' '" + path + "'";
    FILE* p = popen(cmd.c_str(), "r");
    EXPECT_NE(nullptr, p);
    if (!p) return out;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        out.insert(s);
    }
    EXPECT_EQ(0, pclose(p));
    return out;
}

std::set<std::string> streams(std::initializer_list<const char*> names, const std::string& prefix = "")
{
    std::set<std::string> s;
    for (const char* n : names) s.insert("S:" + prefix + n);
    return s;
}

const std::initializer_list<const char*> kObjectFileStreams = {
    "header", "unitused", "unitinterf", "bss_symbolic", "externrefs", "unittoadrrefs", "code",
    "values", "debug", "symb", "funcexport", "progstate", "alarmrefs", "func_tree"};

std::string headerBytes(FsDsc& dsc)
{
    FsSecCl* sec = dsc.openSect("header", 0);
    EXPECT_NE(nullptr, sec);
    if (!sec) return std::string();
    std::string bytes;
    sec->reset();
    while (!sec->atEnd()) bytes += sec->readChar();
    dsc.CloseSect("header");
    return bytes;
}

}  // namespace

// ---------------------------------------------------------------------------
// Header text

TEST(FsDscHead, FreshHeaderGolden)
{
    FsSecCl sec;
    attachMem(sec);
    FsDscHead head;
    head.write(sec);
    EXPECT_EQ(freshHeaderText(kInvalidId, "0 "), sectionBytes(sec));

    sec.reset();
    FsDscHead back;
    back.number = 7;
    back.text1 = "x";
    EXPECT_TRUE(back.read(sec));
    EXPECT_TRUE(back.kindId.isInvalid());
    EXPECT_TRUE(back.typeId3.isInvalid());
    EXPECT_EQ(0u, back.number);
    EXPECT_TRUE(back.text1.empty());
}

TEST(FsDscHead, FilledHeaderRoundTrips)
{
    FsSecCl sec;
    attachMem(sec);
    FsDscHead head;
    head.kindId = fsKindIdDV();
    head.kindList.push_back(fsKindIdTP());
    GUID g = {0x0B77C3C0, 0x79ED, 0x11D5, {0xAE, 0x65, 0x00, 0x40, 0xC7, 0x99, 0x8E, 0x91}};
    head.typeId1 = RTTypeID(g, 1, 0);
    head.number = 4000000000u;
    head.text1 = "text with blanks";
    head.id1 = 65535;
    head.id2 = 12;
    head.write(sec);
    std::string expect = std::string("3\r\n") + kDvKind + "\r\n1 " + kTpKind +
                         " \r\n{0B77C3C0-79ED-11D5-AE65-0040C7998E91}  1 0 \r\n";
    EXPECT_EQ(expect, sectionBytes(sec).substr(0, expect.size()));
    sec.reset();
    FsDscHead back;
    ASSERT_TRUE(back.read(sec));
    EXPECT_TRUE(back.kindId == fsKindIdDV());
    ASSERT_EQ(1u, back.kindList.size());
    EXPECT_TRUE(back.kindList.front() == fsKindIdTP());
    EXPECT_TRUE(back.typeId1 == head.typeId1);
    EXPECT_EQ(4000000000u, back.number);
    EXPECT_EQ(String("text with blanks"), back.text1);
    EXPECT_EQ(65535, back.id1);
    EXPECT_EQ(12, back.id2);
}

TEST(FsDscHead, DamagedHeaderFailsToRead)
{
    FsSecCl sec;
    std::string text = freshHeaderText(kInvalidId, "0 ");
    attachMem(sec, text.substr(0, text.size() - 5), 0);
    FsDscHead back;
    EXPECT_FALSE(back.read(sec));

    FsSecCl bad;
    attachMem(bad, "3\r\n{nonsense}  1 1 \r\n", 0);
    EXPECT_FALSE(back.read(bad));
}

// ---------------------------------------------------------------------------
// Kinds

TEST(FsDsc, KindIdsAndTheirTextForm)
{
    EXPECT_EQ(String(kToKind), fsRTTypeIDText(fsKindIdTO()));
    EXPECT_EQ(String(kTpKind), fsRTTypeIDText(fsKindIdTP()));
    EXPECT_EQ(String(kDvKind), fsRTTypeIDText(fsKindIdDV()));
    EXPECT_EQ(String(kInvalidId), fsRTTypeIDText(RTTypeID()));
}

TEST(FsDsc, WriteHeadSetsTheKindAndTruncates)
{
    FsTODscFile to;
    ASSERT_EQ(0u, to.openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
    FsDscHead head;
    head.text1 = std::string(300, 'x');
    ASSERT_EQ(0u, to.write_head(head));  // "header" is created when missing
    EXPECT_TRUE(head.kindId == fsKindIdTO());
    FsDscHead shorter;
    ASSERT_EQ(0u, to.write_head(shorter));
    EXPECT_EQ(freshHeaderText(kToKind, "0 "), headerBytes(to));

    FsDscHead back;
    ASSERT_EQ(0u, to.read_head(back));
    EXPECT_TRUE(to.checkKind(back));
}

TEST(FsDsc, KindChecks)
{
    FsTODsc to;
    FsTPDsc tp;
    FsDvDsc dv;

    FsTPDscFile tpFile;
    // openFile of a package descriptor accepts only existing packages.
    EXPECT_EQ(11u, tpFile.openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
    ASSERT_EQ(0u, tpFile.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
    FsDscHead pkg;
    ASSERT_EQ(0u, tpFile.write_head(pkg));
    EXPECT_TRUE(tp.checkKind(pkg));
    EXPECT_FALSE(to.checkKind(pkg));
    EXPECT_FALSE(dv.checkKind(pkg));
    EXPECT_EQ(freshHeaderText(kTpKind, "0 "), headerBytes(tpFile));

    FsDvDscFile dvFile;
    ASSERT_EQ(0u, dvFile.FsFileMan::openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
    FsDscHead dev;
    ASSERT_EQ(0u, dvFile.write_head(dev));
    EXPECT_EQ(freshHeaderText(kDvKind, std::string("1 ") + kTpKind + " "), headerBytes(dvFile));
    EXPECT_TRUE(dv.checkKind(dev));
    EXPECT_FALSE(tp.checkKind(dev));
    // Written again from the head read back: still one package kind.
    FsDscHead again;
    ASSERT_EQ(0u, dvFile.read_head(again));
    ASSERT_EQ(0u, dvFile.write_head(again));
    EXPECT_EQ(1u, again.kindList.size());
    EXPECT_TRUE(dv.checkKind(again));

    FsDscHead noList = dev;
    noList.kindList.clear();
    EXPECT_FALSE(dv.checkKind(noList));
    FsDscHead twoIds = dev;
    twoIds.kindList.push_back(fsKindIdTP());
    EXPECT_FALSE(dv.checkKind(twoIds));

    // Versions: a newer present kind is compatible, an older one is not.
    FsDscHead newer;
    newer.kindId = fsKindIdTO();
    newer.kindId.version = 1;
    newer.kindId.second = 99;
    EXPECT_TRUE(to.checkKind(newer));
    RTTypeID required = fsKindIdTO();
    required.version = 2;
    EXPECT_FALSE(isCompatibleRTTypeID(required, newer.kindId));
}

TEST(FsDsc, OpenSectNeverCreatesGetSectAndTheKeyDo)
{
    FsTODscFile to;
    ASSERT_EQ(0u, to.openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
    EXPECT_EQ(nullptr, to.openSect("rttotypes", 0));
    EXPECT_EQ(nullptr, to.openSect("rttotypes", 0, 0));
    EXPECT_EQ(nullptr, to.openSect("rttotypes", FS_MODE_WRITE));
    EXPECT_EQ(nullptr, to.openSect("rttotypes", FS_MODE_CREATE));
    EXPECT_EQ(2u, to.getType("rttotypes"));
    FsSecCl* sec = to.getSect("rttotypes", FS_MODE_WRITE);
    ASSERT_NE(nullptr, sec);
    *sec << "abc";
    EXPECT_EQ(0u, to.CloseSect("rttotypes"));
    EXPECT_EQ(3u, to.GetSize("rttotypes"));
    ASSERT_NE(nullptr, to.openSect("rttotypes", FS_MODE_WRITE));
    EXPECT_EQ(0u, to.CloseSect("rttotypes"));
    EXPECT_NE(nullptr, to.getKeySect(FS_MODE_WRITE));
    EXPECT_EQ(1u, to.getType("key"));
}

TEST(FsDsc, OverALentStorage)
{
    FsTODscFile owner;
    ASSERT_EQ(0u, owner.openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
    IStorage* stg = nullptr;
    ASSERT_TRUE(owner.getIStoragePtr(&stg));
    {
        FsDvDscFile dv(stg);
        FsDscHead head;
        EXPECT_EQ(0u, dv.write_head(head));
    }
    stg->Release();
    ASSERT_EQ(0u, owner.releaseIStoragePtr());
    FsDscHead back;
    ASSERT_EQ(0u, owner.read_head(back));
    EXPECT_TRUE(FsDvDsc().checkKind(back));
}

// ---------------------------------------------------------------------------
// Files on disk

TEST(FsDscFiles, CreateFileMakesTheSectionsOfEachKind)
{
    TempDir dir;
    const std::set<std::string> toSections =
        streams({"header", "cfghead", "symb", "unitinterf", "bfinterf", "units", "varval", "varcomment", "varext",
                 "varcont", "enums", "bitfield", "const", "bfsymb", "boot", "bfvarcomment", "connectors",
                 "almcfg", "almstr", "errmsg"});
    {
        FsTODscFile to;
        ASSERT_EQ(0u, to.createFile(dir.file("to.dsc").c_str()));
        EXPECT_EQ(3, to.getMagic());
        ASSERT_EQ(0u, to.CloseFile());
    }
    EXPECT_EQ(toSections, oleEntries(dir.file("to.dsc")));
    {
        FsTODscFile to;
        ASSERT_EQ(0u, to.createFile(dir.file("to_oa.dsc").c_str(), true));
        ASSERT_EQ(0u, to.CloseFile());
    }
    std::set<std::string> withOa = toSections;
    withOa.insert("S:oa");
    EXPECT_EQ(withOa, oleEntries(dir.file("to_oa.dsc")));

    std::set<std::string> pkg = streams({"header", "rttotypes", "licence", "rtcompattptypes"});
    std::set<std::string> obj = streams(kObjectFileStreams, "code/");
    pkg.insert(obj.begin(), obj.end());
    pkg.insert("D:code");
    pkg.insert("D:code/cross_refdir");
    for (const char* name : {"tp.dsc", "dv.dsc"}) {
        std::unique_ptr<FsTPDscFile> f(std::string(name) == "tp.dsc" ? new FsTPDscFile : new FsDvDscFile);
        ASSERT_EQ(0u, f->createFile(dir.file(name).c_str())) << name;
        ASSERT_EQ(0u, f->CloseFile());
        EXPECT_EQ(pkg, oleEntries(dir.file(name))) << name;
    }
}

TEST(FsDscFiles, CreateFileOnAnExistingPathLeavesItAlone)
{
    TempDir dir;
    std::string path = dir.file("exists.dsc");
    {
        std::ofstream f(path);
        f << "not a compound file";
    }
    FsTODscFile to;
    EXPECT_EQ(2u, to.createFile(path.c_str()));
    FsTPDscFile tp;
    EXPECT_EQ(2u, tp.createFile(path.c_str()));
    EXPECT_FALSE(to.hasStorage());
    std::ifstream in(path);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ("not a compound file", content);
}

TEST(FsDscFiles, OpeningAFileOfAnotherKindGives11AndLeavesItClosed)
{
    TempDir dir;
    std::string toPath = dir.file("to.dsc"), tpPath = dir.file("tp.dsc"), dvPath = dir.file("dv.dsc");
    {
        FsTODscFile to;
        ASSERT_EQ(0u, to.createFile(toPath.c_str()));
        FsDscHead head;
        ASSERT_EQ(0u, to.write_head(head));
        ASSERT_EQ(0u, to.CloseFile());
        FsTPDscFile tp;
        ASSERT_EQ(0u, tp.createFile(tpPath.c_str()));
        ASSERT_EQ(0u, tp.write_head(head));
        ASSERT_EQ(0u, tp.CloseFile());
        FsDvDscFile dv;
        ASSERT_EQ(0u, dv.createFile(dvPath.c_str()));
        ASSERT_EQ(0u, dv.write_head(head));
        ASSERT_EQ(0u, dv.CloseFile());
    }
    {
        FsTPDscFile tp;
        EXPECT_EQ(11u, tp.openFile(toPath.c_str(), 0));
        EXPECT_FALSE(tp.hasStorage());
        EXPECT_EQ(11u, tp.openFile(dvPath.c_str(), 0));
        EXPECT_EQ(0u, tp.openFile(tpPath.c_str(), 0));
        EXPECT_EQ(3u, tp.openFile(tpPath.c_str(), 0));
    }
    {
        FsDvDscFile dv;
        EXPECT_EQ(11u, dv.openExistFile(tpPath.c_str(), 0));
        EXPECT_FALSE(dv.hasStorage());
        EXPECT_EQ(0u, dv.openExistFile(dvPath.c_str(), 0));
    }
    {
        FsTODscFile to;
        EXPECT_EQ(11u, to.openExistFile(dvPath.c_str(), FS_OPEN_WRITE));
        EXPECT_FALSE(to.hasStorage());
        EXPECT_EQ(8u, to.openExistFile(dir.file("missing.dsc").c_str(), 0));
        EXPECT_EQ(0u, to.openExistFile(toPath.c_str(), FS_OPEN_WRITE));
    }
    {
        // A new descriptor whose header was never written is not accepted.
        FsTODscFile fresh;
        ASSERT_EQ(0u, fresh.createFile(dir.file("fresh.dsc").c_str()));
        ASSERT_EQ(0u, fresh.CloseFile());
        FsTODscFile to;
        EXPECT_EQ(11u, to.openExistFile(dir.file("fresh.dsc").c_str(), 0));
    }
    {
        FsObjFile obj;
        EXPECT_EQ(11u, obj.open_exist_file(toPath.c_str(), 0));
        EXPECT_FALSE(obj.hasStorage());
    }
}

TEST(FsDscFiles, PrepareFileAndTheObjectFile)
{
    TempDir dir;
    std::string path = dir.file("pkg.dsc");
    {
        // A technology-object descriptor becomes a package: its header is
        // emptied and the package sections are made.
        FsTODscFile to;
        ASSERT_EQ(0u, to.createFile(path.c_str()));
        FsDscHead head;
        ASSERT_EQ(0u, to.write_head(head));
        ASSERT_EQ(0u, to.CloseFile());
    }
    {
        FsTPDscFile tp;
        ASSERT_EQ(0u, tp.prepareFile(path.c_str()));
        EXPECT_EQ(0u, tp.GetSize("header"));
        EXPECT_EQ(1u, tp.getType("licence"));
        EXPECT_EQ(0u, tp.getType("code"));
        FsDscHead head;
        ASSERT_EQ(0u, tp.write_head(head));
        ASSERT_EQ(0u, tp.CloseFile());
    }
    {
        FsTPDscFile tp;
        ASSERT_EQ(0u, tp.openFile(path.c_str(), FS_OPEN_WRITE));
        ASSERT_EQ(0u, tp.prepareFile(path.c_str()));  // a package header stays
        EXPECT_NE(0u, tp.GetSize("header"));
        FsObjFileBase* obj = tp.openObjFile();
        ASSERT_NE(nullptr, obj);
        EXPECT_TRUE(obj->isWritable());
        FsObjHeadData h;
        h.name = "unit";
        EXPECT_EQ(0u, obj->setHeader(h));
        FsSecCl* lic = tp.openLicenceSect(FS_MODE_WRITE);
        ASSERT_NE(nullptr, lic);
        *lic << "licence data";
        EXPECT_EQ(0u, tp.closeLicenceSect());
        EXPECT_EQ(0u, tp.CloseDir("code"));
        ASSERT_EQ(0u, tp.CloseFile());
    }
    {
        FsTPDscFile tp;
        ASSERT_EQ(0u, tp.openFile(path.c_str(), 0));
        FsObjFileBase* obj = tp.openObjFile();
        ASSERT_NE(nullptr, obj);
        FsObjHeadData h;
        EXPECT_EQ(0u, obj->getHeader(h));
        EXPECT_EQ(String("unit"), h.name);
        EXPECT_EQ(12u, tp.GetSize("licence"));
    }
    {
        // Not a descriptor at all: the magic number of an object file.
        std::string objPath = dir.file("unit.obj");
        FsObjFile obj;
        ASSERT_EQ(0u, obj.openFile(objPath.c_str(), FS_OPEN_CREATE));
        ASSERT_EQ(0u, obj.initSections());
        FsObjHeadData h;
        ASSERT_EQ(0u, obj.setHeader(h));
        ASSERT_EQ(0u, obj.CloseFile());
        FsTPDscFile tp;
        EXPECT_EQ(11u, tp.prepareFile(objPath.c_str()));
        EXPECT_FALSE(tp.hasStorage());
    }
}

// ---------------------------------------------------------------------------

TEST(FsSectNames, TableInDeclarationOrder)
{
    EXPECT_EQ(102u, uint32_t(FSN_COUNT));
    EXPECT_STREQ("versionstamp", fsSectName(FSN_versionstamp));
    EXPECT_STREQ("const", fsSectName(FSN_const));
    EXPECT_STREQ("ParentInfo", fsSectName(FSN_ParentInfo));
    EXPECT_STREQ("rttotypes", fsSectName(FSN_rttotypes));
    EXPECT_STREQ("conn_ydbdata", fsSectName(FSN_conn_ydbdata));
    EXPECT_EQ(nullptr, fsSectName(FSN_COUNT));
    EXPECT_EQ(uint32_t(FSN_unittoadrrefs), fsSectId("unittoadrrefs"));
    EXPECT_EQ(uint32_t(FSN_COUNT), fsSectId("parentinfo"));
    for (uint32_t i = 0; i < FSN_COUNT; ++i) EXPECT_EQ(i, fsSectId(fsSectName(i))) << fsSectName(i);
}
