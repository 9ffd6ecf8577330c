// Object files: the sections of a new file, header access, hashing against
// an independent MD5, the unit-used numbering check and the trace condition.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "base/fs/FsObjFile.h"
#include "test_dsc_util.h"

using namespace dsctest;

namespace {

std::string md5(const std::string& bytes)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EXPECT_EQ(1, EVP_Digest(bytes.data(), bytes.size(), out, &len, EVP_md5(), nullptr));
    return std::string(reinterpret_cast<char*>(out), len);
}

std::string guidBytes(const GUID& g)
{
    std::string s;
    for (int i = 0; i < 4; ++i) s += char((g.Data1 >> (8 * i)) & 0xFF);
    s += char(g.Data2 & 0xFF);
    s += char(g.Data2 >> 8);
    s += char(g.Data3 & 0xFF);
    s += char(g.Data3 >> 8);
    s.append(reinterpret_cast<const char*>(g.Data4), 8);
    return s;
}

std::string le32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = char((v >> (8 * i)) & 0xFF);
    return s;
}

const GUID kG1 = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const GUID kG2 = {0xA0B0C0D0, 0x1111, 0x2222, {0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0x00}};

// An object file in memory with its sections.
struct MemObj {
    FsObjFile obj;
    MemObj()
    {
        EXPECT_EQ(0u, obj.openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
        EXPECT_EQ(0u, obj.initSections());
    }
    void put(const char* name, const std::string& bytes)
    {
        FsSecCl* sec = nullptr;
        uint32_t r = obj.FsSectMan::openSect(name, &sec, FS_MODE_WRITE);
        if (r == FS_NOT_FOUND) r = obj.FsSectMan::openSect(name, &sec, FS_MODE_CREATE);
        ASSERT_EQ(0u, r);
        sec->setSize(0);
        sec->writeBytes(bytes.data(), uint32_t(bytes.size()));
        ASSERT_EQ(0u, obj.CloseSect(name));
    }
    void units(const std::vector<FsUnitUsedEntry>& entries)
    {
        FsSecCl* sec = nullptr;
        ASSERT_EQ(0u, obj.FsSectMan::openSect("unitused", &sec, FS_MODE_WRITE, FsBinAdm::factoryFor("unitused")));
        ASSERT_TRUE(static_cast<FsSecUnUseTable*>(sec)->writeTable(entries));
        ASSERT_EQ(0u, obj.CloseSect("unitused"));
    }
};

FsUnitUsedEntry unit(const char* name, uint16_t number, bool used = true, int32_t flags = 1)
{
    FsUnitUsedEntry e;
    e.name = name;
    e.number = number;
    e.used = used;
    e.flags = flags;
    return e;
}

}  // namespace

TEST(FsObjFileBase, InitSectionsMakesOnlyWhatIsMissing)
{
    FsObjFile obj;
    ASSERT_EQ(0u, obj.openFile(nullptr, FS_OPEN_CREATE | FS_OPEN_MEMORY));
    FsSecCl* sec = nullptr;
    ASSERT_EQ(0u, obj.FsSectMan::openSect("code", &sec, FS_MODE_CREATE));
    *sec << "kept";
    ASSERT_EQ(0u, obj.CloseSect("code"));

    ASSERT_EQ(0u, obj.initSections());
    for (const char* name : {"header", "unitused", "unitinterf", "bss_symbolic", "externrefs", "unittoadrrefs",
                             "code", "values", "debug", "symb", "funcexport", "progstate", "alarmrefs",
                             "func_tree"})
        EXPECT_EQ(1u, obj.getType(name)) << name;
    EXPECT_EQ(0u, obj.getType("cross_refdir"));
    EXPECT_EQ(2u, obj.getType("data"));
    EXPECT_EQ(4u, obj.GetSize("code"));
    EXPECT_EQ(0u, obj.initSections());  // again: everything exists
}

TEST(FsObjFileBase, HeaderAccess)
{
    MemObj m;
    FsObjHeadData h;
    h.name = "unit";
    h.bools[0] = h.bools[1] = h.bools[2] = true;
    h.translations.resize(2);
    ASSERT_EQ(0u, m.obj.setHeader(h));
    FsObjHeadData back;
    ASSERT_EQ(0u, m.obj.getHeader(back));
    EXPECT_TRUE(back == h);

    ASSERT_EQ(0u, m.obj.clearHeaderFlags());
    ASSERT_EQ(0u, m.obj.getHeader(back));
    EXPECT_FALSE(back.bools[0]);
    EXPECT_FALSE(back.bools[1]);
    EXPECT_TRUE(back.bools[2]);

    // A header that does not read is reported and replaced by the next write.
    m.put("header", "1\r\n3 bad\r\n4 unit\r\n");
    EXPECT_EQ(12u, m.obj.getHeader(back));
    ASSERT_EQ(0u, m.obj.setHeader(h));
    EXPECT_EQ(0u, m.obj.getHeader(back));
}

TEST(FsObjFile, OpenExistFileChecksTheMagicNumber)
{
    char tmpl[] = "/tmp/tv_obj_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    std::string dir = tmpl;
    std::string path = dir + "/unit.obj";
    {
        FsObjFile obj;
        ASSERT_EQ(0u, obj.openFile(path.c_str(), FS_OPEN_CREATE));
        ASSERT_EQ(0u, obj.initSections());
        FsObjHeadData h;
        ASSERT_EQ(0u, obj.setHeader(h));
        ASSERT_EQ(0u, obj.CloseFile());
    }
    {
        FsObjFile obj;
        EXPECT_EQ(0u, obj.open_exist_file(path.c_str(), 0));
        EXPECT_EQ(1, obj.getMagic());
        EXPECT_EQ(3u, obj.open_exist_file(path.c_str(), 0));
    }
    {
        // A header of another format number.
        FsObjFile obj;
        ASSERT_EQ(0u, obj.openFile(path.c_str(), FS_OPEN_WRITE));
        FsSecCl* sec = nullptr;
        ASSERT_EQ(0u, obj.FsSectMan::openSect("header", &sec, FS_MODE_WRITE));
        sec->setSize(0);
        *sec << "3\r\n";
        ASSERT_EQ(0u, obj.CloseSect("header"));
        ASSERT_EQ(0u, obj.CloseFile());
        FsObjFile again;
        EXPECT_EQ(11u, again.open_exist_file(path.c_str(), 0));
        EXPECT_FALSE(again.hasStorage());
    }
    std::system(("rm -rf '" + dir + "'").c_str());
}

TEST(FsObjFileBase, HashSectEqualsAnIndependentMd5)
{
    MemObj m;
    std::string code;
    for (int i = 0; i < 1000; ++i) code += char(i * 7);  // several hash blocks, not a multiple of 256
    m.put("code", code);

    CoCryptHashStream h;
    ASSERT_TRUE(m.obj.hashCode(h));
    uint8_t digest[16];
    ASSERT_TRUE(h.getHash16(digest));
    EXPECT_EQ(md5(code), std::string(reinterpret_cast<char*>(digest), 16));

    // An open section is hashed as it stands and stays open and usable.
    FsSecCode* sec = m.obj.getCodeSect(FS_MODE_WRITE);
    ASSERT_NE(nullptr, sec);
    sec->setSize(0);
    *sec << "xyz";
    CoCryptHashStream h2;
    ASSERT_TRUE(m.obj.hashSect(h2, "code"));
    ASSERT_TRUE(h2.getHash16(digest));
    EXPECT_EQ(md5("xyz"), std::string(reinterpret_cast<char*>(digest), 16));
    EXPECT_EQ(sec, m.obj.getCodeSect(FS_MODE_WRITE));
    EXPECT_EQ(0u, sec->getError());
    EXPECT_EQ(3u, sec->tell());
    *sec << "!";
    EXPECT_EQ(4u, sec->getSize());

    CoCryptHashStream h3;
    EXPECT_FALSE(m.obj.hashSect(h3, "data"));  // no such section
}

TEST(FsObjFileBase, CachedSectionsNeverGoStale)
{
    MemObj m;
    FsSecCode* code = m.obj.getCodeSect(FS_MODE_WRITE);
    ASSERT_NE(nullptr, code);
    EXPECT_EQ(code, m.obj.getCodeSect(0));
    ASSERT_EQ(0u, m.obj.CloseAll());
    FsSecCode* again = m.obj.getCodeSect(0);
    ASSERT_NE(nullptr, again);
    EXPECT_FALSE(again->isWritable());
    EXPECT_EQ(nullptr, m.obj.getDataSect(0));  // never made
    EXPECT_NE(nullptr, m.obj.getDebugSect(0));
    EXPECT_NE(nullptr, m.obj.getProgStateSect(0));
    EXPECT_NE(nullptr, m.obj.getSymbSect(0));
    EXPECT_NE(nullptr, m.obj.getFuncTreeSect(0));
}

TEST(FsObjFileBase, DamagedSectionsAreReachableAndRewritten)
{
    // A program state of another type id does not read: the getter still
    // hands the section out, with state 0, and closing it writes it anew.
    MemObj m;
    m.put("progstate", "17\r\n12 PrgState 0.2\r\n5\r\n");
    FsSecProgState* ps = m.obj.getProgStateSect(FS_MODE_WRITE);
    ASSERT_NE(nullptr, ps);
    EXPECT_EQ(0u, ps->getState());
    ps->setState(7);
    ASSERT_EQ(0u, m.obj.CloseSect("progstate"));
    ps = m.obj.getProgStateSect(0);
    ASSERT_NE(nullptr, ps);
    EXPECT_EQ(7u, ps->getState());
}

TEST(FsBinAdm, ReadUnitUsedNumbering)
{
    MemObj m;
    std::vector<FsUnitUsedEntry> list;
    EXPECT_EQ(0u, m.obj.readUnitUsed(list, 1));  // empty section: nothing read
    EXPECT_TRUE(list.empty());

    m.units({unit("a", 1), unit("b", 3)});
    EXPECT_EQ(11u, m.obj.readUnitUsed(list, 1));

    m.units({unit("b", 2), unit("x", 9, false, 0), unit("a", 1, true, 0)});
    list.clear();
    EXPECT_EQ(0u, m.obj.readUnitUsed(list, 1));
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ(String("a"), list[0].name);
    EXPECT_EQ(String("b"), list[1].name);

    list.clear();
    EXPECT_EQ(0u, m.obj.readUnitUsed(list, 2));  // bit 0 of the flag word
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ(String("b"), list[0].name);

    // More than 255 used units are numbered on.
    std::vector<FsUnitUsedEntry> many;
    for (uint16_t i = 300; i >= 1; --i) many.push_back(unit("u", i));
    m.units(many);
    list.clear();
    EXPECT_EQ(0u, m.obj.readUnitUsed(list, 1));
    EXPECT_EQ(300u, list.size());
}

TEST(FsBinAdm, ReadersOfMissingOrEmptySections)
{
    MemObj m;
    std::vector<FsFuncExport> fe;
    std::vector<FsAlarmRef> al;
    EXPECT_EQ(0u, m.obj.readFuncExport(fe));
    EXPECT_EQ(0u, m.obj.readAlarmRefs(al));
    EXPECT_EQ(0u, m.obj.readExtRefs(nullptr, nullptr, nullptr, nullptr, nullptr));
    bool called = false;
    EXPECT_EQ(0u, m.obj.readSymbTab([&](FsSecCl&) { return called = true; }));
    EXPECT_FALSE(called);

    m.put("symb", "content");
    std::string seen;
    EXPECT_EQ(0u, m.obj.readSymbTab([&](FsSecCl& s) {
        while (!s.atEnd()) seen += s.readChar();
        return true;
    }));
    EXPECT_EQ("content", seen);
    EXPECT_EQ(1u, m.obj.readSymbTab([](FsSecCl&) { return false; }));

    m.put("alarmrefs", "27 AlarmReferences_Version 9.9\r\n0 ");
    EXPECT_EQ(1u, m.obj.readAlarmRefs(al));
}

TEST(FsObjFileBase, TraceConditionAndRenewedSections)
{
    MemObj m;
    FsTraceCondition c;
    c.name = "unit";
    c.guid = kG1;
    c.guids[2] = kG2;
    c.value1 = -1;
    c.value2 = 2;
    c.value3 = 3;
    ASSERT_EQ(0u, m.obj.writeTraceCondition(c));

    FsTraceCondition same;
    same.name = "unit";
    ASSERT_EQ(0u, m.obj.readTraceCondition(same));
    EXPECT_EQ(3, same.value3);
    EXPECT_TRUE(same.guids[2] == kG2);
    EXPECT_EQ(-1, same.value1);

    FsTraceCondition other;
    other.name = "another";
    ASSERT_EQ(0u, m.obj.readTraceCondition(other));
    EXPECT_EQ(0x7FFFFFFF, other.value3);
    EXPECT_EQ(String("unit"), other.name);

    m.put("dcc_blockrefs", "old");
    FsSecCl* refs = m.obj.getDccBlockRefs(FS_MODE_CREATE);
    ASSERT_NE(nullptr, refs);
    EXPECT_EQ(0u, refs->getSize());
    EXPECT_TRUE(refs->isWritable());
    ASSERT_EQ(0u, m.obj.CloseSect("dcc_blockrefs"));
    EXPECT_EQ(0u, m.obj.renewSect("fresh", false));
    EXPECT_EQ(1u, m.obj.getType("fresh"));

    IStorage* xref = nullptr;
    ASSERT_TRUE(m.obj.getCrossRefDir(&xref));
    ASSERT_NE(nullptr, xref);
    xref->Release();
}

TEST(FsObjFileBase, CodeVersionDigestMatchesAnIndependentMd5)
{
    MemObj m;
    m.put("code", "CODE BYTES");
    m.put("values", "VALUES");
    m.put("unittoadrrefs", "REFS");
    FsUnitUsedEntry a = unit("alpha", 1);
    a.guid = kG1;
    a.version = 0x01020304;
    FsUnitUsedEntry skipped = unit("beta", 2, true, 0xC);  // both bits 2 and 3
    FsUnitUsedEntry unused = unit("gamma", 3, false);
    FsUnitUsedEntry c = unit("delta", 4, true, 4);
    c.guid = kG2;
    c.version = 7;
    m.units({a, skipped, unused, c});

    FsObjHeadData head;
    head.codeGuid = kG2;
    head.guid1 = kG1;
    FsAddrTranslEntry e;
    e.guid = kG1;
    e.kind = 2;
    e.area = 770;
    head.translations.push_back(e);

    std::string rec = guidBytes(kG1) + le32(2) + le32(770) + le32(0x7FFFFFFF) + le32(0x7FFFFFFF) + le32(0) + le32(0);
    std::string d1 = md5("CODE BYTES" "VALUES" + std::string("alpha") + guidBytes(kG1) + le32(0x01020304) + "delta" +
                         guidBytes(kG2) + le32(7) + guidBytes(kG2) + rec + guidBytes(kG1));
    std::string d2 = md5(d1 + "REFS" + "CodeVersion V4.1");

    FsObjHeadData h = head;
    ASSERT_TRUE(m.obj.computeCodeVersion(h, false));
    EXPECT_EQ(d2, guidBytes(h.codeGuid));
    EXPECT_EQ(d1, guidBytes(h.guid1));

    std::string d1Refs = md5("CODE BYTES" "VALUES" "REFS" + std::string("alpha") + guidBytes(kG1) +
                             le32(0x01020304) + "delta" + guidBytes(kG2) + le32(7) + guidBytes(kG2) + rec +
                             guidBytes(kG1));
    h = head;
    ASSERT_TRUE(m.obj.computeCodeVersion(h, true));
    EXPECT_EQ(d1Refs, guidBytes(h.codeGuid));
    EXPECT_EQ(d1Refs, guidBytes(h.guid1));

    // A missing section fails the digest and leaves the head alone.
    ASSERT_EQ(0u, m.obj.DestroySect("values"));
    h = head;
    EXPECT_FALSE(m.obj.computeCodeVersion(h, false));
    EXPECT_TRUE(h == head);
}
