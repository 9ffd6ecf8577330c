// The header rewrite of name-exports sections: the goldens of the header,
// refusals that leave the section as it was, and random sections of every
// entry kind (written here and exported from random symbol tables)
// converted between the two versions and back.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/fs/FsSecClMem.h"
#include "tests/base/fs/section_bytes.h"
#include "tests/base/st/stsymtab/name_export_gen.h"
#include "tools/md/tavolin/NameExportFile.h"

namespace {

void setBytes(FsSecCl& s, const std::string& bytes)
{
    s.setSize(0);
    if (!bytes.empty()) s.writeBytes(bytes.data(), uint32_t(bytes.size()));
    s.reset();
}

// Writes random name-exports sections in the exporter's layout. Every value
// is drawn whatever the version, so that two writers with one seed write
// the same entries in both versions.
class SectionWriter {
public:
    SectionWriter(FsSecCl& s, unsigned seed, int version, bool frameMinusOne)
        : m_s(s), m_rng(seed), m_version(version), m_minusOne(frameMinusOne)
    {
    }

    void write(uint32_t entries)
    {
        m_s.setBase(10);
        m_s << "            ";
        m_s << String(m_version == 2 ? "Name_Exports_V3.1" : "Name_Exports_V0.5");
        m_s.putBlank();
        const uint32_t body = m_s.tell();
        m_s.seek(0, 0);
        m_s.setBase(16);
        m_s << entries;
        m_s.seek(int32_t(body), 0);
        m_s.setBase(10);
        for (uint32_t i = 0; i < entries; ++i) entry(int32_t(pick(13)), 0);
    }

private:
    uint32_t pick(uint32_t n) { return uint32_t(m_rng() % n); }
    template <class T>
    void put(T v)
    {
        m_s << v;
        m_s.putBlank();
    }
    void name()
    {
        static const char* const names[] = {"x", "axis", "Limits", "a b", "p@@unit", "$$x"};
        put(String(names[pick(6)]));
    }

    void typeRef(int depth)
    {
        static const char* const names[] = {"INT", "LREAL", "STRING", "myType", "TO#axis", "a#b#c"};
        if (depth < 3 && pick(4) == 0) {
            put(String("$$"));
            typeRef(depth + 1);
            put(int32_t(pick(5)) - 2);
            put(pick(100));
        } else {
            put(String(names[pick(6)]));
        }
        put(int32_t(pick(64)));
        put(pick(8));
    }

    void constant(int kind, int depth)
    {
        switch (kind) {
        case 0: {
            const int32_t type = int32_t(pick(36));
            put(type);
            put(int32_t(pick(2)));
            const uint32_t v = pick(200);
            switch (type) {
            case 1: case 2: case 6: case 10: put(uint8_t(v)); break;
            case 3: case 7: case 11: put(uint16_t(v * 300)); break;
            case 4: case 8: case 12: case 17: case 18: case 19: case 20: case 22: case 23: case 31:
                put(v * 70000u);
                break;
            case 14: put(float(v) / 4); break;
            case 15: case 32: put(double(v) / 8); break;
            case 16: put(uint16_t(v)); put(uint16_t(v + 1)); put(v + 2); break;
            case 21: put(v); put(v * 3); break;
            default: break;
            }
            break;
        }
        case 1: {
            const int32_t n = depth < 3 ? int32_t(pick(3)) : 0;
            put(n);
            for (int32_t i = 0; i < n; ++i) {
                const int32_t k = int32_t(pick(4));  // 0-3: an integer array may be a member
                put(k);
                constant(k, depth + 1);
            }
            break;
        }
        case 2: {
            const std::string text(pick(6), 'a' + char(pick(26)));
            put(uint8_t(text.size()));
            put(String(text.c_str()));
            break;
        }
        case 3:
        case 4: {
            const int32_t n = depth < 3 ? int32_t(pick(3)) : 0;
            put(n);
            put(int32_t(pick(16)));
            if (n != 0) {
                put(int32_t(0));
                constant(0, depth + 1);
            }
            if (kind == 4) {
                put(uint32_t(17));
                put(RTTypeID(GUID{pick(1000), 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}}, uint16_t(pick(9)), 0));
                put(int32_t(pick(50)));
            }
            break;
        }
        }
    }

    void initValue()
    {
        static const int16_t kinds[] = {0, 1, 2, 4};
        if (pick(3) == 0) {
            put(int16_t(0));
            return;
        }
        const int16_t kind = kinds[pick(4)];
        put(int16_t(1));
        put(kind);
        constant(kind, 0);
        m_s.putBlank();  // the field's blank after the value's own
    }

    void list(int depth)
    {
        const uint32_t n = depth < 2 ? pick(3) : 0;
        put(n);
        for (uint32_t i = 0; i < n; ++i) entry(6, depth + 1);
    }

    void entry(int32_t kind, int depth)
    {
        put(kind);
        name();
        switch (kind) {
        case 0: case 5: typeRef(0); initValue(); break;
        case 1: typeRef(0); put(int32_t(pick(3))); put(pick(10)); initValue(); break;
        case 2: {
            const uint32_t n = pick(4);
            put(n);
            for (uint32_t i = 0; i < n; ++i) { name(); put(int32_t(i)); }
            const bool init = pick(2) == 0;
            put(int32_t(init));
            if (init) name();
            const uint32_t ids = pick(3);
            put(ids);
            for (uint32_t i = 0; i < ids; ++i) put(pick(100000));
            put(int32_t(4));
            put(uint32_t(4));
            break;
        }
        case 3: {
            const uint32_t n = pick(3);
            put(n);
            for (uint32_t i = 0; i < n; ++i) { name(); typeRef(0); initValue(); }
            put(int32_t(pick(64)));
            put(pick(8));
            break;
        }
        case 4: break;
        case 6: case 7: case 8:
            typeRef(0); initValue(); put(int32_t(pick(1000))); put(int32_t(pick(5))); put(pick(2) == 1);
            break;
        case 9:
            typeRef(0); initValue(); put(int32_t(pick(1000))); put(int32_t(pick(1000))); put(int32_t(pick(5)));
            put(pick(2) == 1);
            break;
        case 10: {
            const int32_t unit = 6 + int32_t(pick(3));
            put(unit);
            if (unit == 6) {
                typeRef(0);
            } else {
                const uint32_t used = pick(3);
                put(used);
                for (uint32_t i = 0; i < used; ++i) name();
            }
            list(depth);
            if (unit != 6) list(depth);
            put(pick(2) == 1);
            put(pick(100));
            put(int32_t(pick(100)));
            put(pick(100));
            put(int32_t(pick(100)));
            put(int32_t(pick(100)) - 1);
            const int32_t frame = int32_t(pick(1000));
            if (m_version == 2) put(m_minusOne ? int32_t(-1) : frame);
            break;
        }
        case 11: {
            const bool base = pick(2) == 0;
            put(int32_t(base));
            if (base) name();
            break;
        }
        case 12: typeRef(0); put(int32_t(pick(1000))); put(pick(2) == 1); break;
        }
    }

    FsSecCl& m_s;
    std::mt19937 m_rng;
    int m_version;
    bool m_minusOne;
};

const std::string kEmptyV1 = std::string("0           17 Name_Exports_V0.5 ");
const std::string kEmptyV2 = std::string("0           17 Name_Exports_V3.1 ");

}  // namespace

TEST(NameExportFile, HeaderGoldensAndRefusals)
{
    const struct {
        const char* what;
        std::string in;
        int version;
        int result;
        std::string out;  // empty: unchanged
    } cases[] = {
        {"version 2 already", kEmptyV2, 2, 0, ""},
        {"empty section", "", 2, 1, ""},
        {"unknown header word", "0           17 Name_Exports_V9.9 ", 2, 1, ""},
        {"requested version 0", kEmptyV1, 0, 1, ""},
        {"version 1 without entries", kEmptyV1, 2, 0, kEmptyV2},
        // Initial values written without the blank that closes them read
        // the same and are written with it.
        {"older initial values",
         "2           17 Name_Exports_V0.5 5 1 c 4 DINT 4 4 1 0 8 1 5 7 1 g 4 DINT 4 4 1 0 8 1 5 92 4 0 ", 2, 0,
         "2           17 Name_Exports_V3.1 5 1 c 4 DINT 4 4 1 0 8 1 5  7 1 g 4 DINT 4 4 1 0 8 1 5  92 4 0 "},
        {"back to version 1", kEmptyV2, 1, 0, kEmptyV1},
        {"a constant of kind 3", "1           17 Name_Exports_V0.5 5 1 c 3 INT 2 2 1 3 0 0 ", 2, 2, ""},
        {"kind 13", "1           17 Name_Exports_V0.5 13 1 c ", 2, 2, ""},
        {"program unit of sub-kind 9", "1           17 Name_Exports_V0.5 10 1 p 9 ", 2, 2, ""},
        {"fewer entries than counted", "2           17 Name_Exports_V0.5 4 1 s ", 2, 2, ""},
        {"truncated type reference", "1           17 Name_Exports_V0.5 0 1 t 3 INT 2 ", 2, 2, ""},
    };
    for (const auto& c : cases) {
        FsSecClMem s;
        setBytes(s, c.in);
        NameExportFile file;
        EXPECT_EQ(file.update(&s, c.version), c.result) << c.what;
        EXPECT_EQ(sectionBytesClearing(s), c.out.empty() ? c.in : c.out) << c.what;
    }
}

TEST(NameExportFile, ACountOfManyEntriesIsWrittenInLowerCaseHexadecimal)
{
    std::string in = "1a          17 Name_Exports_V0.5 ";
    for (int i = 0; i < 26; ++i) in += "4 1 s ";
    FsSecClMem s;
    setBytes(s, in);
    NameExportFile file;
    ASSERT_EQ(file.update(&s, 2), 0);
    std::string out = "1a          17 Name_Exports_V3.1 ";
    for (int i = 0; i < 26; ++i) out += "4 1 s ";
    EXPECT_EQ(sectionBytesClearing(s), out);
}

TEST(NameExportFile, DeepNestingIsAReadFailure)
{
    std::string in = "1           17 Name_Exports_V0.5 0 1 t ";
    for (int i = 0; i < 200; ++i) in += "2 $$ ";
    in += "3 INT 2 2 ";
    FsSecClMem s;
    setBytes(s, in);
    NameExportFile file;
    EXPECT_EQ(file.update(&s, 2), 2);
    EXPECT_EQ(sectionBytesClearing(s), in);
}

TEST(NameExportFile, RandomSectionsConvertToVersionOneAndBack)
{
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const uint32_t entries = seed % 40;
        FsSecClMem v2, v1, v2back;
        SectionWriter(v2, seed, 2, false).write(entries);
        SectionWriter(v1, seed, 1, false).write(entries);
        SectionWriter(v2back, seed, 2, true).write(entries);
        ASSERT_FALSE(v2.hasError() || v1.hasError() || v2back.hasError());

        NameExportFile down;
        ASSERT_EQ(down.update(&v2, 1), 0) << seed;
        ASSERT_EQ(sectionBytesClearing(v2), sectionBytesClearing(v1)) << seed;
        NameExportFile up;
        ASSERT_EQ(up.update(&v2, 2), 0) << seed;
        ASSERT_EQ(sectionBytesClearing(v2), sectionBytesClearing(v2back)) << seed;
    }
}

TEST(NameExportFile, ExportsOfRandomTablesConvertToVersionOneAndBack)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        StSymbTable table;
        StSymbEntryIDList ids;
        std::vector<StNeEntry> records;
        netest::ExportTableGen(seed).fill(table, ids, records);
        auto exported = [&](FsSecCl& s) {
            netest::Exporter x;
            ASSERT_TRUE(x.beginExport(&table, &s, ST_INVALID_SID, false));
            ASSERT_TRUE(x.exportList(ids));
            x.endExport();
        };
        FsSecClMem s, minusOne;
        exported(s);
        // What comes back: the program units' trailing word is -1.
        for (const uint32_t sid : ids)
            if (StFrameProperties* f = table.findEntry(StSymbEntryID(sid))->getFrameProperties()) f->frameSize = -1;
        exported(minusOne);

        NameExportFile down;
        ASSERT_EQ(down.update(&s, 1), 0) << seed;
        const std::string v1 = sectionBytesClearing(s);
        EXPECT_NE(v1.find("Name_Exports_V0.5"), std::string::npos);
        NameExportFile up;
        ASSERT_EQ(up.update(&s, 2), 0) << seed;
        EXPECT_EQ(sectionBytesClearing(s), sectionBytesClearing(minusOne)) << seed;
    }
}
